#include "support/TestClient.h"

#include "app/PopupNotifier.h"
#include "app/ui/TfrmPrincipal.h"
#include "base/SettingsStore.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TDistractBar.h"
#include "components/ui/TPiconeBarreTache.h"
#include "components/ui/TRbButton.h"
#include "components/ui/TRbCheckBox.h"
#include "components/ui/TRbPanel.h"
#include "components/ui/TRbProgressBar.h"
#include "components/ui/TShape.h"
#include "components/ui/TStatusBar.h"
#include "contacts/AvatarCache.h"
#include "contacts/ContactManager.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/TContactPage.h"
#include "contacts/ui/TContactView.h"
#include "contacts/ui/TOnlineList.h"
#include "contacts/ui/TfrmCard.h"
#include "contacts/ui/TfrmChangeAvatar.h"
#include "media/ui/TMediaPage.h"
#include "media/ui/TMediaPlayer.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/ui/TSendPage.h"
#include "negotiation/ui/TfrmReception.h"
#include "service/CredentialCodec.h"
#include "service/ServiceSession.h"
#include "service/ui/TLoginPage.h"
#include "app/ui/TOptionsPage.h"
#include "support/FakeService.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferListStore.h"
#include "transfer/ui/TTransferPage.h"
#include "transfer/ui/TfrmPropriete.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

// The control of that object name in the window; a name the window does not
// have is a failure of the test that asked.
template <class Control> Control *named(QObject &window, const char *name)
{
    auto *control = window.findChild<Control *>(QLatin1String(name));
    if (!control)
        ADD_FAILURE() << "the main window has no " << name;
    return control;
}

} // namespace

TestClient::TestClient(const AppServices &services)
    : m_windows(services)
    , window(&m_windows.main())
    , reception(&m_windows.reception())
    , card(&m_windows.card())
    , changeAvatar(&m_windows.changeAvatar())
    , properties(&m_windows.properties())
    , loginPage(&m_windows.main().loginPage())
    , downloadsPage(&m_windows.main().transferPage(TransferManager::List::Downloads))
    , uploadsPage(&m_windows.main().transferPage(TransferManager::List::Uploads))
    , sendPage(&m_windows.main().sendPage())
    , optionsPage(&m_windows.main().optionsPage())
    , contactPage(&m_windows.main().contactPage())
    , mediaPage(&m_windows.main().mediaPage())
    , lbOnline(&m_windows.main().contactView())
    , pnMenu(named<QWidget>(m_windows.main(), "pnMenu"))
    , imgAvatar(named<QLabel>(m_windows.main(), "imgAvatar"))
    , lblPseudo(named<QLabel>(m_windows.main(), "lblPseudo"))
    , lblTelEnCours(named<TClickLabel>(m_windows.main(), "lblTelEnCours"))
    , lblEnvoisEnCours(named<TClickLabel>(m_windows.main(), "lblEnvoisEnCours"))
    , lblEnvoyer(named<TClickLabel>(m_windows.main(), "lblEnvoyer"))
    , lblLecture(named<TClickLabel>(m_windows.main(), "lblLecture"))
    , lblMnuContact(named<TClickLabel>(m_windows.main(), "lblMnuContact"))
    , lblMnuOptions(named<TClickLabel>(m_windows.main(), "lblMnuOptions"))
    , lblDeconnect(named<TClickLabel>(m_windows.main(), "lblDeconnect"))
    , lblAbout(named<TClickLabel>(m_windows.main(), "lblAbout"))
    , lblContactsEnLigne(named<QLabel>(m_windows.main(), "lblContactsEnLigne"))
    , PopupMenuContacts(named<QMenu>(m_windows.main(), "PopupMenuContacts"))
    , Dialoguer1(named<QAction>(m_windows.main(), "Dialoguer1"))
    , Envoyerunfichier1(named<QAction>(m_windows.main(), "Envoyerunfichier1"))
    , Envoyerunmessage2(named<QAction>(m_windows.main(), "Envoyerunmessage2"))
    , Afficherlacartedevisite1(named<QAction>(m_windows.main(), "Afficherlacartedevisite1"))
    , AfficherProfil1(named<QAction>(m_windows.main(), "AfficherProfil1"))
    , Supprimerceprofil1(named<QAction>(m_windows.main(), "Supprimerceprofil1"))
    , Gestiondescontacts1(named<QAction>(m_windows.main(), "Gestiondescontacts1"))
    , PopupMenuAvatar(named<QMenu>(m_windows.main(), "PopupMenuAvatar"))
    , Changersonavatar1(named<QAction>(m_windows.main(), "Changersonavatar1"))
    , Affichermacartedevisite1(named<QAction>(m_windows.main(), "Affichermacartedevisite1"))
    , Affichermonprofil1(named<QAction>(m_windows.main(), "Affichermonprofil1"))
    , PageControl(named<QStackedWidget>(m_windows.main(), "PageControl"))
    , Label2(named<QLabel>(m_windows.main(), "Label2"))
    , pnConexionItems(named<QWidget>(m_windows.main(), "pnConexionItems"))
    , pnMdpLogin(named<QWidget>(m_windows.main(), "pnMdpLogin"))
    , txtPseudo(named<QLineEdit>(m_windows.main(), "txtPseudo"))
    , txtMDP(named<QLineEdit>(m_windows.main(), "txtMDP"))
    , cbSaveComptInfo(named<QCheckBox>(m_windows.main(), "cbSaveComptInfo"))
    , lblPseudoConnec(named<QLabel>(m_windows.main(), "lblPseudoConnec"))
    , btnConnexion(named<QPushButton>(m_windows.main(), "btnConnexion"))
    , lblChangeUser(named<TClickLabel>(m_windows.main(), "lblChangeUser"))
    , lblSubmit(named<TClickLabel>(m_windows.main(), "lblSubmit"))
    , SBDown(named<QScrollArea>(m_windows.main(), "SBDown"))
    , SBUp(named<QScrollArea>(m_windows.main(), "SBUp"))
    , btnNettoyer(named<TRbButton>(m_windows.main(), "btnNettoyer"))
    , btnNettoyer2(named<TRbButton>(m_windows.main(), "btnNettoyer2"))
    , imgIcoDecompose(named<QLabel>(m_windows.main(), "imgIcoDecompose"))
    , lblFileDecompose(named<QLabel>(m_windows.main(), "lblFileDecompose"))
    , lblDecompFileSize(named<QLabel>(m_windows.main(), "lblDecompFileSize"))
    , FileNameSend(named<QLineEdit>(m_windows.main(), "FileNameSend"))
    , FileNameSendButton(named<QToolButton>(m_windows.main(), "FileNameSendButton"))
    , lBoxSendToFriends(named<QTreeWidget>(m_windows.main(), "lBoxSendToFriends"))
    , txtDesti(named<QLineEdit>(m_windows.main(), "txtDesti"))
    , btnShowTel(named<TRbButton>(m_windows.main(), "btnShowTel"))
    , cbFireWall(named<QCheckBox>(m_windows.main(), "cbFireWall"))
    , ckPlaySound(named<TRbCheckBox>(m_windows.main(), "ckPlaySound"))
    , ceTempPath(named<QLineEdit>(m_windows.main(), "ceTempPath"))
    , ceTempPathButton(named<QToolButton>(m_windows.main(), "ceTempPathButton"))
    , ceDownloadPath(named<QLineEdit>(m_windows.main(), "ceDownloadPath"))
    , ckSaveWithoutAsking(named<QCheckBox>(m_windows.main(), "ckSaveWithoutAsking"))
    , ShellTreeView(named<QTreeView>(m_windows.main(), "ShellTreeView"))
    , btnConfigApply(named<TRbButton>(m_windows.main(), "btnConfigApply"))
    , grpAddContact(named<TRbPanel>(m_windows.main(), "grpAddContact"))
    , txtAddPseudo(named<QLineEdit>(m_windows.main(), "txtAddPseudo"))
    , btnPseudoOK(named<TRbButton>(m_windows.main(), "btnPseudoOK"))
    , lblTitre(named<QLabel>(m_windows.main(), "lblPlayName"))
    , lblArtiste(named<QLabel>(m_windows.main(), "lblPlayArtiste"))
    , WMPlayer(m_windows.main().mediaPage().WMPlayer)
    , pnInfo(named<QFrame>(m_windows.main(), "pnInfo"))
    , lblInfo(named<QLabel>(m_windows.main(), "lblInfo"))
    , Shape2(named<TShape>(m_windows.main(), "Shape2"))
    , Image6(named<QLabel>(m_windows.main(), "Image6"))
    , DistractBar1(named<TDistractBar>(m_windows.main(), "DistractBar1"))
    , pBarLoading(named<TRbProgressBar>(m_windows.main(), "pBarLoading"))
    , btnCancelTrans(named<TRbButton>(m_windows.main(), "btnCancelTrans"))
    , TimerInfo(named<QTimer>(m_windows.main(), "TimerInfo"))
    , StatusBar(named<TStatusBar>(m_windows.main(), "StatusBar"))
    , reWatch(named<QPlainTextEdit>(m_windows.main(), "reWatch"))
    , listOnline(named<TOnlineList>(m_windows.main(), "listOnline"))
    , TimerRefresh(&m_windows.controllers().presence().refreshTimer())
    , PiconeBarreTache1(named<TPiconeBarreTache>(m_windows.main(), "PiconeBarreTache1"))
    , PopupSysTray(named<QMenu>(m_windows.main(), "PopupSysTray"))
    , OuvrirVoxlane1(named<QAction>(m_windows.main(), "OuvrirVoxlane1"))
    , Lecture2(named<QAction>(m_windows.main(), "Lecture2"))
    , Quitter1(named<QAction>(m_windows.main(), "Quitter1"))
{
}

TestClient::~TestClient() = default;

ServiceSession &TestClient::session() const
{
    return controllers().session();
}

PresenceMonitor &TestClient::presence() const
{
    return controllers().presence();
}

PopupNotifier &TestClient::notifier() const
{
    return controllers().notifier();
}

AvatarCache &TestClient::avatars() const
{
    return controllers().avatars();
}

ContactManager &TestClient::contacts() const
{
    return controllers().contacts();
}

TransferManager &TestClient::transfers() const
{
    return controllers().transfers();
}

ControlChannel &TestClient::control() const
{
    return controllers().control();
}

TransferListStore &TestClient::transferLists() const
{
    return controllers().transferLists();
}

SettingsStore &TestClient::settings() const
{
    return controllers().settings();
}

bool TestClient::logInSession(FakeService &service, const QString &pseudo, int userId,
    const QStringList &contacts, const QStringList &requests)
{
    QString reply = QStringLiteral("autorisé\r\n[Contacts]\r\n");
    for (const QString &contact : contacts)
        reply += contact + QStringLiteral("\r\n");
    reply += QStringLiteral("[Bloqués]\r\n[Ask]\r\n");
    for (const QString &request : requests)
        reply += request + QStringLiteral("\r\n");
    reply += QStringLiteral("[Messages]\r\n");
    for (const QByteArray &path : { QByteArray("/voxlane/connect.php"), QByteArray("/script/getinfo.php") })
        service.clearScript(path);
    service.script("/voxlane/connect.php", FakeService::Reply::text(reply));
    service.script("/script/getinfo.php", FakeService::Reply::text(QString::number(userId)));
    session().setAccount(pseudo, pseudo);
    const bool accepted = session().OpenSession(pseudo, CredentialCodec::MD5Hex(pseudo));
    for (const QByteArray &path : { QByteArray("/voxlane/connect.php"), QByteArray("/script/getinfo.php") })
        service.clearScript(path);
    return accepted;
}

QStringList TestClient::downloadNames() const
{
    QStringList names;
    for (const TransferJob *job : transfers().downloads())
        names << QStringLiteral("Tel") + job->IDTel();
    return names;
}

QStringList TestClient::uploadNames() const
{
    QStringList names;
    for (const TransferJob *job : transfers().uploads())
        names << QStringLiteral("Tel") + job->IDTel();
    return names;
}

TvzkLoadPanel *TestClient::panel(const QString &name) const
{
    for (const TTransferPage *page : { downloadsPage, uploadsPage }) {
        for (TvzkLoadPanel *panel : page->panels()) {
            if (panel->objectName() == name)
                return panel;
        }
    }
    return nullptr;
}

TvzkLoadPanel *TestClient::panelOf(const TransferJob *job) const
{
    for (const TTransferPage *page : { downloadsPage, uploadsPage }) {
        if (TvzkLoadPanel *panel = page->panelOf(job))
            return panel;
    }
    return nullptr;
}

TTransferPage *TestClient::pageOf(TransferManager::List list) const
{
    return list == TransferManager::List::Downloads ? downloadsPage : uploadsPage;
}

QString TestClient::log() const
{
    return reWatch->toPlainText();
}

TTransferPage &TestClient::openMenuOn(TvzkLoadPanel *panel)
{
    TTransferPage &page = *pageOf(transfers().listOf(panel->job()));
    PageControl->setCurrentWidget(&page);
    if (page.selectedJob() != panel->job())
        page.vzkLoadPanelClick(panel, Qt::LeftButton, panel->mapToGlobal(QPoint(0, 0)));
    page.PopupMenu1Popup();
    return page;
}

TransferRecord makeRecord(const QString &idTel, const QString &proprio, const QString &name,
    const QString &poids, qint64 tel, const QString &path, int port, const QString &status)
{
    TransferRecord r;
    r.IDTel = idTel;
    r.FichierProprio = proprio;
    r.FichierName = name;
    r.FichierPoids = poids;
    r.FichierTel = tel;
    r.FichierPath = path;
    r.Port = port;
    r.Status = status;
    return r;
}

void TestClient::pollAnswers(const QStringList &members, const QString &ip)
{
    QString body = QStringLiteral("<html><body>\r\n");
    for (const QString &name : members) {
        QString letters;
        session().codec().EncryptForUser(name, ip, letters);
        body += QStringLiteral("pseudo=") + name + QStringLiteral("<br>") + letters + QStringLiteral("<br>\r\n");
    }
    presence().ApplyPresenceReply(body + QStringLiteral("</body></html>"));
    presence().CheckFriend();
}
