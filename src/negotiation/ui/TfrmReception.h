#pragma once

#include <QDialog>
#include <QPixmap>

#include <functional>

class ControlChannel;
class DialogService;
class SettingsStore;
class QLabel;
class TRbButton;
class QTimer;

// Confirmation of an incoming file, created once and reused for every offer.
// It has no parent window, so it stands on the taskbar by itself and can
// draw attention there; it stays above other windows.
class TfrmReception : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kFlashInterval = 512;
    static constexpr quint32 kBackground = 10740718;

    explicit TfrmReception(QWidget *parent = nullptr);

    // The channel whose offer is shown and the dialogs for the save choice.
    void setServices(ControlChannel *channel, DialogService *dialogs);
    // Where accepted files go (the settings behind DownloadFolder) and which
    // paths unfinished downloads already hold.
    void setDownloads(SettingsStore *settings, std::function<bool(const QString &path)> pathTaken);

    // Set before each showing.
    QString ShownFileName;
    QString ShownSize;
    QString ShownSender;
    // The proposed name of the save dialog (the offer's file name).
    QString OfferFileName;

    // An offer arrived: fields set, window shown minimized. Its answer goes
    // to the channel for offer id, and for no other.
    void ShowOffer(int id, const QString &fileName, const QString &sender, const QString &sizeText);
    // Offer id ended without this window's answer (withdrawn, or its sender
    // gone): the window closes if it shows that offer.
    void OfferClosed(int id);
    int OfferOnShow() const { return m_offerId; }

    void FormShow();
    void DessinerIcone();
    void FlashTimerTimer();
    void FormClick();
    void btnAccepterClick();
    void btnRefuserClick();

    // The file-type picture of an extension; a null picture means none.
    std::function<QPixmap(const QString &extension)> IconForExtension;
    // Draws attention on the taskbar (on) or stops (off); by default the
    // window manager's urgency hint.
    std::function<void(bool on)> Flash;
    bool FlashState() const { return m_flashState; }

    QLabel *lblFichier = nullptr;
    QLabel *lblTaille = nullptr;
    QLabel *lblDe = nullptr;
    QLabel *imgIco = nullptr;
    TRbButton *btnAccepter = nullptr;
    TRbButton *btnRefuser = nullptr;
    QTimer *FlashTimer = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    ControlChannel *m_channel = nullptr;
    DialogService *m_dialogs = nullptr;
    SettingsStore *m_settings = nullptr;
    std::function<bool(const QString &path)> m_pathTaken;
    QString savePath();
    // Answers the offer on show once; later calls do nothing.
    void refuseUnanswered();

    int m_offerId = 0; // the offer on show; 0 once answered or gone
    bool m_flashState = false;
    bool m_centred = false;
};
