#pragma once

#include "contacts/ContactManager.h"

#include <QDialog>
#include <QPoint>
#include <QPointer>

#include <functional>

class QLabel;
class TRbButton;
class TRbRadioButton;

// The window of one pending contact request: a member asks to join the
// account's contact list. One window per request, made at log-in and placed
// in a cascade from its design position; it stays above other windows and
// frees itself when closed. Closing it by its close box leaves the request
// pending at the service; OK answers it through the contact manager.
class TfrmNewContact : public QDialog
{
    Q_OBJECT

public:
    static constexpr QPoint kDesignPosition { 304, 243 };

    explicit TfrmNewContact(QWidget *parent = nullptr);

    // Who answers the request, and who shows a member's avatar (the main
    // window's avatar loader); either may be left unset.
    void setContactManager(ContactManager *manager) { m_manager = manager; }
    std::function<void(const QString &pseudo, QLabel *target)> AvatarLoader;

    // Shows the asking member's avatar.
    void FormShow();
    // Accepts with rbOK, refuses otherwise (also with neither selected);
    // the window goes once the request is answered.
    void btnPseudoOKClick();

    QLabel *lblUsername = nullptr;
    QLabel *imgAvatar = nullptr;
    TRbRadioButton *rbOK = nullptr;
    TRbRadioButton *rbNo = nullptr;
    TRbButton *btnPseudoOK = nullptr;

    // Escape closes the window like its close box, except while it waits.
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QPointer<ContactManager> m_manager;
    // While the avatar or the answer waits for the service, events keep
    // running: the window must neither answer twice nor be freed under its
    // own handler, so it refuses to close meanwhile.
    bool m_busy = false;
};
