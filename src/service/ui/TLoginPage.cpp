#include "service/ui/TLoginPage.h"

#include "base/DialogService.h"
#include "components/ui/PageLook.h"
#include "components/ui/TClickLabel.h"
#include "service/CredentialCodec.h"
#include "service/ServiceRequests.h"
#include "service/ServiceSession.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <cmath>

namespace {

const QString kConnecting = QStringLiteral("Connexion en cours...");
const QString kLoading = QStringLiteral("Chargement en cours...");

// Enter or Return pressed while the log-in page is on show, and not taken by
// the control that has the focus, presses the page's default button. It
// watches the whole window, not only the page: at start the focus may be
// nowhere in the page (the remembered account shows no field), and Enter
// must still log in.
class DefaultButtonKeys : public QObject
{
public:
    DefaultButtonKeys(QPushButton *button, QObject *parent)
        : QObject(parent)
        , m_button(button)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && m_button) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_button->isEnabled()
                && m_button->isVisibleTo(m_button->window())) {
                m_button->click();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QPushButton> m_button;
};

} // namespace

TLoginPage::TLoginPage(ServiceSession &session, SettingsStore &settings, DialogService &dialogs,
    const QString &serviceUrl, QWidget *parent)
    : QWidget(parent)
    , m_session(session)
    , m_settings(settings)
    , m_dialogs(dialogs)
    , m_serviceUrl(serviceUrl)
{
    setObjectName(QStringLiteral("TabSheet1"));
    PageLook::heading(QStringLiteral("Connexion"), QStringLiteral("lblHeading1"), this);
    m_intro = new QLabel(
        QStringLiteral("Entrez votre pseudo et votre mot de passe pour vous connecter au réseau"), this);
    m_intro->setObjectName(QStringLiteral("Label2"));
    m_intro->setGeometry(16, 44, 500, 20);

    m_items = new QWidget(this);
    m_items->setObjectName(QStringLiteral("pnConexionItems"));
    m_items->resize(300, 200);

    m_typedAccount = new QWidget(m_items);
    m_typedAccount->setObjectName(QStringLiteral("pnMdpLogin"));
    m_typedAccount->setGeometry(0, 0, 300, 100);
    auto *pseudoCaption = new QLabel(QStringLiteral("Pseudo :"), m_typedAccount);
    pseudoCaption->setGeometry(0, 4, 100, 20);
    m_pseudo = new QLineEdit(m_typedAccount);
    m_pseudo->setObjectName(QStringLiteral("txtPseudo"));
    m_pseudo->setGeometry(104, 2, 190, 22);
    auto *passwordCaption = new QLabel(QStringLiteral("Mot de passe :"), m_typedAccount);
    passwordCaption->setGeometry(0, 34, 100, 20);
    m_password = new QLineEdit(m_typedAccount);
    m_password->setObjectName(QStringLiteral("txtMDP"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setGeometry(104, 32, 190, 22);
    m_remember = new QCheckBox(QStringLiteral("Mémoriser ce compte"), m_typedAccount);
    m_remember->setObjectName(QStringLiteral("cbSaveComptInfo"));
    m_remember->setGeometry(104, 62, 190, 22);

    m_rememberedPseudo = new QLabel(QStringLiteral("................."), m_items);
    m_rememberedPseudo->setObjectName(QStringLiteral("lblPseudoConnec"));
    m_rememberedPseudo->setFont(PageLook::font(24, true));
    m_rememberedPseudo->setGeometry(0, 20, 300, 40);
    // Pseudonyms are shown as written, never read as markup.
    m_rememberedPseudo->setTextFormat(Qt::PlainText);

    m_connect = new QPushButton(QStringLiteral("Se connecter"), m_items);
    m_connect->setObjectName(QStringLiteral("btnConnexion"));
    m_connect->setGeometry(104, 104, 120, 26);
    m_connect->setEnabled(false);

    m_changeUser = new TClickLabel(QStringLiteral("Changer d'utilisateur"), m_items);
    m_changeUser->setObjectName(QStringLiteral("lblChangeUser"));
    m_changeUser->setGeometry(104, 140, 190, 18);
    m_changeUser->setCursor(Qt::PointingHandCursor);
    m_register = new TClickLabel(QStringLiteral("S'inscrire"), m_items);
    m_register->setObjectName(QStringLiteral("lblSubmit"));
    m_register->setGeometry(104, 162, 190, 18);
    m_register->setCursor(Qt::PointingHandCursor);
    for (TClickLabel *link : { m_changeUser, m_register }) {
        QFont f = link->font();
        f.setUnderline(true);
        link->setFont(f);
        link->setTColor(0xFF0000); // blue
    }

    // The account remembered at start (the session holds it already).
    if (!m_session.currentPseudo().isEmpty()) {
        m_typedAccount->hide();
        m_rememberedPseudo->setText(m_session.currentPseudo());
        m_rememberedPseudo->show();
        m_connect->setEnabled(true);
    } else {
        m_typedAccount->show();
        m_rememberedPseudo->hide();
    }

    connect(m_pseudo, &QLineEdit::textChanged, this, &TLoginPage::txtMDPChange);
    connect(m_password, &QLineEdit::textChanged, this, &TLoginPage::txtMDPChange);
    connect(m_connect, &QPushButton::clicked, this, &TLoginPage::btnConnexionClick);
    connect(m_changeUser, &TClickLabel::clicked, this, &TLoginPage::lblChangeUserClick);
    connect(m_register, &TClickLabel::clicked, this, &TLoginPage::lblSubmitClick);
}

void TLoginPage::watchKeysOf(QWidget *window)
{
    window->installEventFilter(new DefaultButtonKeys(m_connect, this));
}

void TLoginPage::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The log-in block sits above and left of the centre; halves round to even.
    const int dx = (width() - m_items->width()) / 2;
    const int dy = (height() - m_items->height()) / 2;
    m_items->move(int(std::nearbyint(dx * 0.7)), int(std::nearbyint(dy * 0.7)));
}

void TLoginPage::txtMDPChange()
{
    m_connect->setEnabled(!m_pseudo->text().trimmed().isEmpty() && !m_password->text().trimmed().isEmpty());
}

void TLoginPage::TabSheet1Show()
{
    if (m_typedAccount->isHidden())
        return;
    if (!m_pseudo->text().trimmed().isEmpty())
        m_password->setFocus();
    else
        m_pseudo->setFocus();
}

void TLoginPage::lblChangeUserClick()
{
    m_changeUser->hide();
    m_typedAccount->show();
    m_rememberedPseudo->hide();
    m_pseudo->setFocus();
}

void TLoginPage::lblSubmitClick()
{
    const QString address = ServiceRequests::registrationPage(m_serviceUrl);
    if (!m_dialogs.openUrl(address))
        emit openFailed(address);
}

void TLoginPage::btnConnexionClick()
{
    emit loggingIn();
    m_pseudo->setEnabled(false);
    m_password->setEnabled(false);
    m_connect->setEnabled(false);
    emit info(kConnecting, true, 0);

    // The typed account, as typed; otherwise the remembered one already in
    // the session.
    if (!m_typedAccount->isHidden())
        m_session.setAccount(m_pseudo->text(), m_password->text());

    // Requests let events run: the window may be closed and destroyed
    // before they return, and then nothing more is done here.
    const QPointer<TLoginPage> alive(this);
    const bool accepted
        = m_session.OpenSession(m_session.currentPseudo(), CredentialCodec::MD5Hex(m_session.currentPassword()));
    if (!alive)
        return;
    if (accepted) {
        emit info(kLoading, true, 0);
        if (m_remember->isChecked())
            m_session.rememberAccount(m_settings);
        m_password->clear();
        emit loggedIn();
        if (!alive)
            return;
    } else {
        m_pseudo->setEnabled(true);
        m_password->setEnabled(true);
    }
    m_connect->setEnabled(true);
}

void TLoginPage::showLoggedOut()
{
    m_pseudo->setEnabled(true);
    m_password->setEnabled(true);
    // The remembered account comes back; without one, the account just used
    // stays in memory and is offered again. The label names the account the
    // connect button will use.
    m_session.restoreRememberedAccount(m_settings);
    m_rememberedPseudo->setText(m_session.currentPseudo());
    m_typedAccount->hide();
    m_rememberedPseudo->show();
    m_changeUser->show();
}
