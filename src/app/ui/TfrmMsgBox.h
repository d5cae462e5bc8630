#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>

class QLabel;
class QTimer;
class TClickLabel;
class PopupNotifier;
class TShape;
class TRbPanel;

// A notification pop-up: a small borderless window, always on top, that
// slides down from the top edge of the screen, holds, and slides away again,
// then frees itself. Each one counts in the notifier's MsgBoxCount from
// creation until it is released; its clicks are requests to the notifier.
class TfrmMsgBox : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kWidth = 181;
    static constexpr int kHeight = 144;
    static constexpr int kSlideStep = 3;
    static constexpr int kHoldTicks = 450;
    // The slide's timer ticks at the pace of the desktop's message timers
    // (about 15.6 ms): 48 steps in about 0.75 s, a hold of about 7 s.
    static constexpr int kMoteurInterval = 16;

    explicit TfrmMsgBox(PopupNotifier *notifier);
    ~TfrmMsgBox() override;

    void FormCreate();
    void FormShow();
    void MoteurTimer();
    void btnCloseClick();
    void btnCloseMouseDown();
    void btnCloseMouseMove();
    void Image1MouseMove();
    void lblTexteCentralClick();
    void lblSendFileClick();

    // Used by NewMsgBox.
    void setAvatar(const QImage &picture);
    void setKindIcon(int index); // index into ImageListTel
    void makeBodyClickable(); // the body runs lblTexteCentralClick
    QPoint screenOrigin() const;

    // Top edge relative to the top of the screen (T of the slide).
    int top() const { return m_top; }
    int closeButtonPicture() const { return m_closePicture; }
    bool released() const { return m_released; }

    QLabel *Image2 = nullptr;
    QLabel *Image1 = nullptr;
    TShape *Shape1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *lblTexteCentral = nullptr;
    QLabel *btnClose = nullptr;
    TClickLabel *lblDialoguer = nullptr;
    TClickLabel *lblSendFile = nullptr;
    TRbPanel *RbPanel3 = nullptr;
    QLabel *imgAvatar = nullptr;
    QTimer *Moteur = nullptr;
    QList<QPixmap> ImageList; // close button: normal, pointed at, pressed
    QList<QPixmap> ImageListTel; // ended upload, ended download, file offered

    int HoldTicks = 0;
    quint8 Kind = 0;
    QString ContactPseudo;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setTop(int top);
    void showClosePicture(int index);
    void release();

    QPointer<PopupNotifier> m_notifier;
    int m_top = 0;
    int m_closePicture = -1;
    bool m_bodyClickable = false;
    bool m_released = false;
};
