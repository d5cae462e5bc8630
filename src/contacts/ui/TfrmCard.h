#pragma once

#include <QDialog>
#include <QPixmap>

#include <functional>

class DialogService;
class QLabel;
class TRbPanel;
class TClickLabel;

// A member's business card: a small borderless window above all others
// that closes as soon as it loses the focus.
class TfrmCard : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kWidth = 259;
    static constexpr int kHeight = 147;
    static constexpr int kMaxWebAddress = 255;

    explicit TfrmCard(QWidget *parent = nullptr);

    // Where the mail and web addresses are handed to the shell.
    void setDialogs(DialogService *dialogs) { m_dialogs = dialogs; }

    // The web address as handed to the shell: one written without a scheme
    // ("www.site.fr") is a web page, not a local file.
    static QString webAddressToOpen(const QString &web);

    // Fills the texts; each caption label shows only with its address.
    void setDetails(const QString &pseudo, const QString &mail, const QString &web);
    // "Envoyer un fichier…" shows on the card of a member who is online
    // (not on one's own card).
    void setCanSendFile(bool can);
    void lblEnvoyerFichierClick();
    // The web address of the card, whole (the label may show it shortened).
    QString webAddress() const { return m_webAddress; }

    void FormCreate();
    void FormShow();
    void FormDeactivate();
    void btnCloseClick();
    void btnCloseMouseMove();
    void RbPanel4MouseMove();
    void lblMailClick();
    void lblWebClick();

    // Picture of the close button on show: 0 normal, 1 under the mouse.
    int closeImageIndex() const { return m_closeImage; }

    TRbPanel *RbPanel4 = nullptr;
    QWidget *pnAvatar = nullptr;
    QLabel *imgAvatar = nullptr;
    QLabel *lblPseudo = nullptr;
    QLabel *Label1 = nullptr;
    TClickLabel *lblMail = nullptr;
    QLabel *Label3 = nullptr;
    TClickLabel *lblWeb = nullptr;
    TClickLabel *btnClose = nullptr;
    TClickLabel *lblEnvoyerFichier = nullptr;

signals:
    // No program could open the mail or web address.
    void openFailed(const QString &address);
    // "Envoyer un fichier…": the card has closed.
    void sendFileRequested(const QString &pseudo);

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setCloseImage(int index);

    DialogService *m_dialogs = nullptr;
    QString m_webAddress;
    QPixmap m_closeImages[2];
    int m_closeImage = 0;
};
