#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class TfrmPrincipal;

// Replacement of the member's own avatar: a JPEG file is chosen, brought
// down to at most 94 pixels a side, uploaded, and the new avatar shown.
class TfrmChangeAvatar : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kWidth = 355;
    static constexpr int kHeight = 302;

    explicit TfrmChangeAvatar(QWidget *parent = nullptr);

    // The main window whose account, service and avatar cache it uses.
    void setMainWindow(TfrmPrincipal *main) { m_main = main; }

    void FormShow();
    void btnChangeAvatarClick();
    void btnOKClick();

    // The file written for the upload, in the program's folder.
    QString uploadFilePath() const;

    QLabel *lblHeading = nullptr;
    QWidget *pnAvatar = nullptr;
    QLabel *imgAvatar = nullptr;
    QLabel *lblPseudo = nullptr;
    QPushButton *btnChangeAvatar = nullptr;
    QPushButton *btnOK = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void changeAvatar(const QString &chosenFile);

    TfrmPrincipal *m_main = nullptr;
};
