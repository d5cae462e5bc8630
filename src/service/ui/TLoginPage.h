#pragma once

#include <QWidget>

class DialogService;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class ServiceSession;
class SettingsStore;
class TClickLabel;

// The log-in page (TabSheet1): the pseudonym and password fields, or the
// remembered account's name, the connect button, "Changer d'utilisateur"
// and "S'inscrire". The connect button follows the two fields; showing the
// page puts the focus in the field to fill; Enter anywhere in the main
// window presses the connect button while the page is on show.
class TLoginPage : public QWidget
{
    Q_OBJECT

public:
    TLoginPage(ServiceSession &session, SettingsStore &settings, DialogService &dialogs,
        const QString &serviceUrl, QWidget *parent = nullptr);

    // Enter and Return reaching window press the connect button.
    void watchKeysOf(QWidget *window);

    // Handlers.
    void txtMDPChange();
    void TabSheet1Show();
    void lblChangeUserClick();
    void lblSubmitClick();
    // The log-in sequence of the connect button: the typed account (or the
    // remembered one), the session's log-in, the account remembered when
    // asked; then loggedIn, for the rest of the window.
    void btnConnexionClick();
    // A confirmed log-out: the fields come back, with the remembered
    // account (or, without one, the account just used) on show.
    void showLoggedOut();

signals:
    // The connect button was pressed: the log-in begins.
    void loggingIn();
    // The service accepted the log-in and the page has done its part.
    void loggedIn();
    // A message for the info bar (AffichInfo's arguments).
    void info(const QString &text, bool show, int milliseconds);
    // No program could open the address.
    void openFailed(const QString &address);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    ServiceSession &m_session;
    SettingsStore &m_settings;
    DialogService &m_dialogs;
    QString m_serviceUrl;

    QLabel *m_intro = nullptr;
    QWidget *m_items = nullptr;
    QWidget *m_typedAccount = nullptr;
    QLineEdit *m_pseudo = nullptr;
    QLineEdit *m_password = nullptr;
    QCheckBox *m_remember = nullptr;
    QLabel *m_rememberedPseudo = nullptr;
    QPushButton *m_connect = nullptr;
    TClickLabel *m_changeUser = nullptr;
    TClickLabel *m_register = nullptr;
};
