// The session with the community service: the log-in page, log-in, log-out,
// the remembered account and the local address.
#include "app/ui/TfrmPrincipal.h"

#include "base/DialogService.h"
#include "base/ErrorReport.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TStatusBar.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/ContactRows.h"
#include "contacts/ui/TfrmNewContact.h"
#include "service/ServiceRequests.h"
#include "service/ServiceSession.h"

#include <QCheckBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeWidget>

namespace {

const QString kConnecting = QStringLiteral("Connexion en cours...");
const QString kLoading = QStringLiteral("Chargement en cours...");
const QString kLogoutQuestion = QStringLiteral("Êtes-vous sûr de vouloir vous déconnecter ?");

constexpr int kRequestWindowStep = 20;
constexpr int kMaxRequestWindows = 5;

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
        if (event->type() == QEvent::KeyPress) {
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
    QPushButton *m_button;
};

} // namespace

void TfrmPrincipal::setupSession()
{
    IdHTTP1 = session.IdHTTP1;
    // What the session tells, shown here; once the window is gone these
    // connections go with it and a late reply changes only the session.
    connect(&session, &ServiceSession::info, this, &TfrmPrincipal::AffichInfo);
    connect(&session, &ServiceSession::statusText, this,
        [this](int panel, const QString &text) { StatusBar->setPanelText(panel, text); });
    connect(&session, &ServiceSession::loggedIn, this, &TfrmPrincipal::SessionLoggedIn);
    connect(&session, &ServiceSession::loginAnswered, this, [this] { TimerRefresh->start(); });
    connect(&session, &ServiceSession::loggedOut, lbOnline, &QWidget::hide);

    // Pseudonyms are shown as written, never read as markup.
    lblPseudo->setTextFormat(Qt::PlainText);
    lblPseudoConnec->setTextFormat(Qt::PlainText);

    connect(txtPseudo, &QLineEdit::textChanged, this, &TfrmPrincipal::txtMDPChange);
    connect(txtMDP, &QLineEdit::textChanged, this, &TfrmPrincipal::txtMDPChange);
    connect(btnConnexion, &QPushButton::clicked, this, &TfrmPrincipal::btnConnexionClick);
    connect(lblChangeUser, &TClickLabel::clicked, this, &TfrmPrincipal::lblChangeUserClick);
    connect(lblSubmit, &TClickLabel::clicked, this, &TfrmPrincipal::lblSubmitClick);
    connect(lblDeconnect, &TClickLabel::clicked, this, &TfrmPrincipal::lblDeconnectClick);
    connect(PageControl, &QStackedWidget::currentChanged, this, [this](int index) {
        if (index == 0)
            TabSheet1Show();
    });
    installEventFilter(new DefaultButtonKeys(btnConnexion, this));
}

std::unique_ptr<HttpClient> TfrmPrincipal::NewHttpClient() const
{
    return session.NewHttpClient();
}

QTreeWidgetItem *TfrmPrincipal::NewOnlineRow(const QString &text, int imageIndex)
{
    return ContactRows::makeRow(text, imageIndex);
}

int TfrmPrincipal::OnlineRowImage(const QTreeWidgetItem *row)
{
    return ContactRows::imageIndexOf(row);
}

QString TfrmPrincipal::OnlineRowText(const QTreeWidgetItem *row)
{
    return ContactRows::textOf(row);
}

void TfrmPrincipal::SortContactList()
{
    session.SortContactList();
}

QString TfrmPrincipal::GetLocalIP() const
{
    return session.GetLocalIP();
}

void TfrmPrincipal::txtMDPChange()
{
    btnConnexion->setEnabled(!txtPseudo->text().trimmed().isEmpty() && !txtMDP->text().trimmed().isEmpty());
}

void TfrmPrincipal::TabSheet1Show()
{
    if (pnMdpLogin->isHidden())
        return;
    if (!txtPseudo->text().trimmed().isEmpty())
        txtMDP->setFocus();
    else
        txtPseudo->setFocus();
}

void TfrmPrincipal::lblChangeUserClick()
{
    lblChangeUser->hide();
    pnMdpLogin->show();
    lblPseudoConnec->hide();
    txtPseudo->setFocus();
}

void TfrmPrincipal::lblSubmitClick()
{
    ShellOpen(ServiceRequests::registrationPage(services.environment.serviceUrl));
}

void TfrmPrincipal::btnConnexionClick()
{
    lbOnline->clear();
    lbOnline->addTopLevelItem(NewOnlineRow(ContactRows::onlineHeader(), ContactRows::kHeader));
    lbOnline->addTopLevelItem(NewOnlineRow(ContactRows::offlineHeader(), ContactRows::kHeader));

    txtPseudo->setEnabled(false);
    txtMDP->setEnabled(false);
    btnConnexion->setEnabled(false);
    AffichInfo(kConnecting, true, 0);

    // The typed account, as typed; otherwise the remembered one already in
    // memory.
    if (!pnMdpLogin->isHidden()) {
        session.CurrentPseudo = txtPseudo->text();
        session.CurrentPassword = txtMDP->text();
    }

    // Requests let events run: the window may be closed and destroyed
    // before they return, and then nothing more is done here.
    const QPointer<TfrmPrincipal> alive(this);
    const bool accepted = OpenSession(session.CurrentPseudo, CredentialCodec::MD5Hex(session.CurrentPassword));
    if (!alive)
        return;
    if (accepted) {
        AffichInfo(kLoading, true, 0);
        setDropAccepted(true);
        if (cbSaveComptInfo->isChecked()) {
            WriteRegistryString(QStringLiteral("User"), session.CurrentPseudo);
            QString stored;
            session.Codec.EncryptForUser(session.CurrentPseudo, session.CurrentPassword, stored);
            WriteRegistryString(QStringLiteral("Mdp"), stored);
        }
        lblPseudo->setText(session.CurrentPseudo);
        // An avatar the service sends broken is reported, but does not stop
        // the log-in half way.
        ErrorReport::guard([this] { GetAvatar(session.CurrentPseudo, imgAvatar, false); });
        if (!alive)
            return;
        setAvatarMenuAttached(true);
        txtMDP->clear();
        // Contacts already online move up without pop-ups.
        PollOnline();
        if (!alive)
            return;
        CheckFriend(false);
        lblDeconnect->setText(QStringLiteral("Se déconnecter"));
        for (TClickLabel *label :
            { lblTelEnCours, lblEnvoyer, lblEnvoisEnCours, lblMnuOptions, lblMnuContact, lblLecture })
            label->setEnabled(true);
        lblEnvoyerClick(lblTelEnCours);
        imgAvatar->setCursor(Qt::PointingHandCursor);
        OpenLoad();
        AffichInfo(QString(), false, 0);
    } else {
        txtPseudo->setEnabled(true);
        txtMDP->setEnabled(true);
    }
    btnConnexion->setEnabled(true);
    CenterControl(WMPlayer, TabSheet7, 1);
}

bool TfrmPrincipal::OpenSession(const QString &Pseudo, const QString &Digest)
{
    return session.OpenSession(Pseudo, Digest);
}

void TfrmPrincipal::SessionLoggedIn(const QStringList &requests)
{
    presence.OfflineContacts = session.ContactList;
    // Each contact goes in at row 3: the first lands under the offline
    // header, every later one right under the first.
    for (const QString &name : presence.OfflineContacts) {
        QTreeWidgetItem *row = NewOnlineRow(name, ContactRows::kOffline);
        if (lbOnline->topLevelItemCount() < 3)
            lbOnline->addTopLevelItem(row);
        else
            lbOnline->insertTopLevelItem(3, row);
    }

    // A handful of request windows at a time: a reply listing thousands
    // would otherwise open thousands of windows. The others stay waiting
    // at the service and come back at a later log-in.
    int open = 0;
    for (const TfrmNewContact *window : findChildren<TfrmNewContact *>()) {
        if (window->isVisible())
            ++open;
    }
    int n = 0;
    for (const QString &request : requests) {
        if (open + n >= kMaxRequestWindows)
            break;
        ++n;
        TfrmNewContact *window = NewContactWindow(request);
        window->move(TfrmNewContact::kDesignPosition + QPoint(n, n) * kRequestWindowStep);
        window->show();
        window->repaint();
    }

    lbOnline->show();
}

bool TfrmPrincipal::CloseSession()
{
    return session.CloseSession();
}

void TfrmPrincipal::lblDeconnectClick()
{
    if (!session.Connected) {
        PageControl->setCurrentIndex(0);
        setHighlighted(lblDeconnect);
        return;
    }
    if (!services.dialogs->askYesNo(kLogoutQuestion, QStringLiteral("Confirmation")))
        return;
    // The transfer lists are saved before the session closes.
    if (!SaveLoadForLeaving())
        return;
    const QPointer<TfrmPrincipal> alive(this);
    const bool closed = CloseSession();
    if (!alive)
        return;
    if (!closed) {
        // Still logged in: everything goes on as before.
        StayAfterLeavingFailed();
        return;
    }

    setDropAccepted(false);
    txtPseudo->setEnabled(true);
    txtMDP->setEnabled(true);
    lblPseudo->clear();
    imgAvatar->clear();
    for (TClickLabel *label : { lblTelEnCours, lblEnvoyer, lblEnvoisEnCours, lblMnuContact, lblLecture })
        label->setEnabled(false);
    setAvatarMenuAttached(false);

    // The remembered account comes back; without one, the account just used
    // stays in memory and is offered again.
    const QString user = ReadRegistryString(QStringLiteral("User"));
    if (!user.isEmpty()) {
        session.CurrentPseudo = user;
        QString password; // no result: no password, never the previous account's
        session.Codec.DecryptForUser(user, ReadRegistryString(QStringLiteral("Mdp")), password);
        session.CurrentPassword = password;
    }
    // The label names the account the connect button will use.
    lblPseudoConnec->setText(session.CurrentPseudo);

    lbOnline->clear();
    // The count belonged to the session; its design text comes back.
    lblContactsEnLigne->setText(QStringLiteral("Contacts en ligne"));
    TimerRefresh->stop();
    session.ContactList.clear();
    listOnline->clear();
    presence.OfflineContacts.clear();
    presence.OnlineContacts.clear();

    pnMdpLogin->hide();
    lblPseudoConnec->show();
    lblChangeUser->show();

    ClearTransfers();

    lblDeconnect->setText(QStringLiteral("Se connecter"));
    lblDeconnectClick();
    PageControl->setCurrentIndex(0);
}
