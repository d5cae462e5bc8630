#pragma once

#include <QDialog>
#include <QLabel>

class DialogService;
class TRbButton;
class ServiceSession;

// Replacement of the member's own avatar: a picture is chosen (JPEG, PNG,
// WebP or BMP), brought down to at most 94 pixels a side, uploaded as the
// JPEG the service expects, and the new avatar shown.
class TfrmChangeAvatar : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kWidth = 355;
    static constexpr int kHeight = 302;
    // The choice of a picture: every kind read first, then the JPEG filter
    // of old ("description|patterns" pairs).
    static inline const QString kPictureFilter = QStringLiteral(
        "Images (JPEG, PNG, WebP, BMP)|*.jpg;*.jpeg;*.png;*.webp;*.bmp|Fichier image JPEG (*.jpg)|*.jpg");

    // session: the account and the service; dialogs: the file choice and
    // messages; programDir: where the upload file is written (with trailing
    // separator).
    TfrmChangeAvatar(ServiceSession &session, DialogService &dialogs, const QString &programDir,
                     QWidget *parent = nullptr);

    void FormShow();
    void btnChangeAvatarClick();
    void btnOKClick();

    // The file written for the upload, in the program's folder.
    QString uploadFilePath() const;

    QLabel *lblHeading = nullptr;
    QWidget *pnAvatar = nullptr;
    QLabel *imgAvatar = nullptr;
    QLabel *lblPseudo = nullptr;
    TRbButton *btnChangeAvatar = nullptr;
    TRbButton *btnOK = nullptr;

signals:
    // Target should show pseudo's avatar, fetched again when refresh is set
    // (whoever keeps the avatar cache answers, before emit returns).
    void avatarWanted(const QString &pseudo, QLabel *target, bool refresh);
    // The member's own avatar was replaced on the service.
    void ownAvatarChanged();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void changeAvatar(const QString &chosenFile);

    ServiceSession &m_session;
    DialogService &m_dialogs;
    QString m_programDir;
};
