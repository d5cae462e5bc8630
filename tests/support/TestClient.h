#pragma once

#include "app/PopupNotifier.h"
#include "app/ui/ApplicationWindows.h"
#include "app/ui/TOptionsPage.h"
#include "app/ui/TfrmPrincipal.h"
#include "base/SettingsStore.h"
#include "components/ui/PageLook.h"
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
#include "contacts/ui/AvatarLabel.h"
#include "contacts/ui/ContactRows.h"
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
#include "service/ServiceSession.h"
#include "service/ui/TLoginPage.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferListStore.h"
#include "transfer/TransferManager.h"
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

#include <QString>
#include <QStringList>

class FakeService;

// One member's whole client in a test, wired as the program wires it
// (ApplicationWindows) on the test's services: its controllers, its pages,
// and the controls of its main window found by their object names (the
// names the program gives them), so that a test reads and
// clicks what a member sees.
class TestClient
{
    // First: every pointer below is found in it.
    ApplicationWindows m_windows;

public:
    explicit TestClient(const AppServices &services);
    ~TestClient();

    ApplicationWindows &windows() { return m_windows; }
    AppControllers &controllers() const { return m_windows.controllers(); }
    ServiceSession &session() const;
    PresenceMonitor &presence() const;
    PopupNotifier &notifier() const;
    AvatarCache &avatars() const;
    ContactManager &contacts() const;
    TransferManager &transfers() const;
    ControlChannel &control() const;
    TransferListStore &transferLists() const;
    SettingsStore &settings() const;

    // Logs the session in through service (which the client must use):
    // the service accepts, with these contacts and pending requests, and
    // gives userId (the scripts of those two requests are replaced, then
    // removed). Only the session's log-in: the page and the menu stay as
    // they are, the contact view takes the contacts, the poll starts.
    bool logInSession(FakeService &service, const QString &pseudo, int userId = 0,
        const QStringList &contacts = {}, const QStringList &requests = {});

    // A presence poll answered with members online at ip, and the contact
    // check after it (the contacts among them move online).
    void pollAnswers(const QStringList &members, const QString &ip = QStringLiteral("127.0.0.1"));

    // The transfers' panel names ("Tel" + IDTel), in list order.
    QStringList downloadNames() const;
    QStringList uploadNames() const;
    // A panel of either page by name, or of a job; nullptr when none.
    TvzkLoadPanel *panel(const QString &name) const;
    TvzkLoadPanel *panelOf(const TransferJob *job) const;
    TTransferPage *pageOf(TransferManager::List list) const;
    // What a right click on panel does before a command is picked: its page
    // on show, the panel selected, the context menu prepared. Returns the
    // page, whose commands then act on that panel.
    TTransferPage &openMenuOn(TvzkLoadPanel *panel);
    // The control log's text.
    QString log() const;

    TfrmPrincipal *const window;
    TfrmReception *const reception;
    TfrmCard *const card;
    TfrmChangeAvatar *const changeAvatar;
    TfrmPropriete *const properties;

    // Pages and the contact view.
    TLoginPage *const loginPage;
    TTransferPage *const downloadsPage;
    TTransferPage *const uploadsPage;
    TSendPage *const sendPage;
    TOptionsPage *const optionsPage;
    TContactPage *const contactPage;
    TMediaPage *const mediaPage;
    TContactView *const lbOnline;

    // The menu.
    QWidget *const pnMenu;
    QLabel *const imgAvatar;
    QLabel *const lblPseudo;
    TClickLabel *const lblTelEnCours;
    TClickLabel *const lblEnvoisEnCours;
    TClickLabel *const lblEnvoyer;
    TClickLabel *const lblLecture;
    TClickLabel *const lblMnuContact;
    TClickLabel *const lblMnuOptions;
    TClickLabel *const lblDeconnect;
    TClickLabel *const lblAbout;
    QLabel *const lblContactsEnLigne;
    QMenu *const PopupMenuContacts;
    QAction *const Dialoguer1;
    QAction *const Envoyerunfichier1;
    QAction *const Envoyerunmessage2;
    QAction *const Afficherlacartedevisite1;
    QAction *const AfficherProfil1;
    QAction *const Supprimerceprofil1;
    QAction *const Gestiondescontacts1;
    QMenu *const PopupMenuAvatar;
    QAction *const Changersonavatar1;
    QAction *const Affichermacartedevisite1;
    QAction *const Affichermonprofil1;

    QStackedWidget *const PageControl;
    // Log-in page.
    QLabel *const Label2;
    QWidget *const pnConexionItems;
    QWidget *const pnMdpLogin;
    QLineEdit *const txtPseudo;
    QLineEdit *const txtMDP;
    QCheckBox *const cbSaveComptInfo;
    QLabel *const lblPseudoConnec;
    QPushButton *const btnConnexion;
    TClickLabel *const lblChangeUser;
    TClickLabel *const lblSubmit;
    // Transfer pages.
    QScrollArea *const SBDown;
    QScrollArea *const SBUp;
    TRbButton *const btnNettoyer;
    TRbButton *const btnNettoyer2;
    // Send page.
    QLabel *const imgIcoDecompose;
    QLabel *const lblFileDecompose;
    QLabel *const lblDecompFileSize;
    QLineEdit *const FileNameSend;
    QToolButton *const FileNameSendButton;
    QTreeWidget *const lBoxSendToFriends;
    QLineEdit *const txtDesti;
    TRbButton *const btnShowTel;
    // Options page.
    QCheckBox *const cbFireWall;
    TRbCheckBox *const ckPlaySound;
    QLineEdit *const ceTempPath;
    QToolButton *const ceTempPathButton;
    QLineEdit *const ceDownloadPath;
    QCheckBox *const ckSaveWithoutAsking;
    QTreeView *const ShellTreeView;
    TRbButton *const btnConfigApply;
    // Contact page.
    TRbPanel *const grpAddContact;
    QLineEdit *const txtAddPseudo;
    TRbButton *const btnPseudoOK;
    // Media page.
    QLabel *const lblTitre;
    QLabel *const lblArtiste;
    TMediaPlayer *const WMPlayer;
    // Info bar.
    QFrame *const pnInfo;
    QLabel *const lblInfo;
    TShape *const Shape2;
    QLabel *const Image6;
    TDistractBar *const DistractBar1;
    TRbProgressBar *const pBarLoading;
    TRbButton *const btnCancelTrans;
    QTimer *const TimerInfo;
    // Status bar, hidden log and online list, the poll's timer.
    TStatusBar *const StatusBar;
    QPlainTextEdit *const reWatch;
    TOnlineList *const listOnline;
    QTimer *const TimerRefresh;
    // Tray icon and its menu.
    TPiconeBarreTache *const PiconeBarreTache1;
    QMenu *const PopupSysTray;
    QAction *const OuvrirVoxlane1;
    QAction *const Lecture2;
    QAction *const Quitter1;
};

// A transfer's saved properties in the order the list file holds them, for
// the tests that make transfers without an offer.
TransferRecord makeRecord(const QString &idTel, const QString &proprio, const QString &name,
    const QString &poids, qint64 tel, const QString &path, int port, const QString &status);
