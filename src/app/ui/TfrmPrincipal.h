#pragma once

#include "base/AppEnvironment.h"
#include "contacts/PseudoList.h"
#include "contacts/ui/TOnlineList.h"
#include "media/ID3Tag.h"
#include "service/CredentialCodec.h"
#include "service/HttpClient.h"

#include <QHash>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class AvatarCache;
class DialogService;
class PopupNotifier;
class PresenceMonitor;
class ServiceSession;
class SettingsStore;
class AlertSound;
class ContactManager;
class TfrmMsgBox;
class TfrmNewContact;
class TClickLabel;
class TDistractBar;
class ControlChannel;
class OfferQueue;
class TransferManager;
class TransferPanels;
class TransferListStore;
class TransferListOps;
class TvzkFileAsso;
class DesktopFileClassStore;
class QScrollArea;
class TfrmCard;
class TfrmChangeAvatar;
class TMediaPage;
class TMediaPlayer;
class TPiconeBarreTache;
class TRbButton;
class TRbCheckBox;
class TRbPanel;
class TRbProgressBar;
class TShape;
class TStatusBar;

class QCheckBox;
class QFileSystemModel;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QTreeWidgetItem;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTcpServer;
class QTcpSocket;
class QTimer;
class QToolButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

// What the main window is given by whoever creates it: the desktop services
// and the environment of the run. Tests pass their own.
struct AppServices
{
    DialogService *dialogs = nullptr;
    SettingsStore *settings = nullptr;
    AppEnvironment environment;
    // Time limits of every request to the community service.
    HttpLimits httpLimits;
    // The session with the service; when none is given the window makes its
    // own from the environment above.
    ServiceSession *session = nullptr;
    // Presence polling over that session; made by the window when not given.
    PresenceMonitor *presence = nullptr;
    // What the pop-ups share; made by the window when not given.
    PopupNotifier *notifier = nullptr;
    // The avatars fetched during the run; made by the window when not given.
    AvatarCache *avatars = nullptr;
};

// The main window: the pages, the menu and their handlers. It holds no state
// of a subsystem: the handlers read and call the controllers it was given
// (session, presence, notifier, avatars, control channel, transfers) and the
// window shows what their signals tell.
class TfrmPrincipal : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr quint16 kControlPort = 2000;
    static constexpr int kClientWidth = 716;
    static constexpr int kClientHeight = 518;
    static constexpr quint32 kMenuPlainColor = 1263955;     // RGB 83, 73, 19
    static constexpr quint32 kMenuSelectedColor = 12937777; // RGB 49, 106, 197

    explicit TfrmPrincipal(const AppServices &services, QWidget *parent = nullptr);
    ~TfrmPrincipal() override;

    // --- settings -----------------------------------------------------------
    QString ReadRegistryString(const QString &name) const;
    void WriteRegistryString(const QString &name, const QString &value);

    // --- start-up, layout, navigation, exit ---------------------------------
    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void FormResize();
    // The diagnostic toggle: the key left of "1" shows the control log, then
    // the online list instead, and so on; never while a text field has the
    // focus.
    void FormKeyDown(const QKeyEvent &event);
    static bool IsDiagnosticKey(const QKeyEvent &event);
    static bool IsTextEntry(const QWidget *widget);
    void lblEnvoyerClick(TClickLabel *sender);
    void lblTelEnCoursMouseEnter(TClickLabel *sender);
    void lblTelEnCoursMouseLeave(TClickLabel *sender);
    void lblAboutClick();
    void TabSheet5Show();
    void btnConfigApplyClick();
    void ceTempPathButtonClick();
    void ShellTreeViewDblClick();
    void Quitter1Click();
    // Dropped local files and folders: the send page shows them, ready to be
    // offered to the member typed there.
    void DropFiles(const QStringList &paths);
    // Dropped on an online contact of the list: offered to that contact at
    // once, one after the other. False when pseudo is not an online contact.
    bool DropFilesOnContact(const QString &pseudo, const QStringList &paths);
    void setDropAccepted(bool accepted);
    bool dropAccepted() const { return m_dropAccepted; }
    // The shell's "open" action; when no program can open the address, the
    // info bar says so (otherwise only a terminal would have seen it).
    void ShellOpen(const QString &address);
    void ShellOpenFailed(const QString &address);
    // Writes one line to the hidden control log, which keeps the last
    // kLogLines lines, each cut at kLogLineLength characters.
    static constexpr int kLogLines = 2000;
    static constexpr int kLogLineLength = 1000;
    void LogWatch(const QString &line);
    QString programDir() const; // with trailing separator
    void setAboutBox(QWidget *about) { m_about = about; }

    // --- info bar and pop-ups ------------------------------------------------
    // Shows Text in the info panel (Show set), for Milliseconds when above 0;
    // hides the panel (Show clear).
    void AffichInfo(const QString &Text, bool Show, int Milliseconds);
    void TimerInfoTimer();
    // Shows one notification pop-up of the given kind (0 contact online,
    // 1 file offered, 2 download ended, 3 upload ended); it talks to the
    // notifier, whose requests connectNotifier hands to the handlers.
    // The pop-up frees itself when it goes: hold it in a QPointer.
    TfrmMsgBox *NewMsgBox(const QString &Pseudo, const QString &Text, quint8 Kind);
    // Gradient over Image, colours as 0x00BBGGRR values (see DrawingHelpers).
    void Degrade(QImage &Image, bool Vertical, double FromColor, double ToColor);
    // Target := Source resampled by Ratio. With MarkModified, the widget that
    // shows Target (if given) repaints.
    void BITMAP_REDIMENSIONAR(const QImage &Source, QImage &Target, double Ratio, bool MarkModified,
                              QWidget *shownBy = nullptr);
    // Plays "newalert.wav" from the program's folder unless a sound of the
    // pop-ups is still playing; a missing file plays nothing.
    void PlayAlertSound();
    AlertSound *alertSound();
    void connectNotifier();
    void setAlertSound(AlertSound *sound); // takes it over

    // The avatar of a contact for a "came online" pop-up, where tests want
    // no network; a null image leaves the pop-up's picture empty. When
    // empty, the avatar cache is asked (GetAvatar).
    std::function<QImage(const QString &pseudo)> PopupAvatarLoader;
    // The incoming-file window, restored by a click on a "file offered" pop-up.
    QPointer<QWidget> ReceptionWindow;
    // Brings the main window back: applicationRestoring (the tray icon's
    // "bring the application back"), then shown, in its normal state, raised
    // and active.
    void RestoreMainWindow();
    // "Envoyer un fichier" of a pop-up: the send page for that contact, then
    // sendFileRequested (the send page fills the recipient and opens the
    // file choice).
    void SendFileToContact(const QString &pseudo);

    TShape *Shape2 = nullptr;
    QLabel *Image6 = nullptr;
    TDistractBar *DistractBar1 = nullptr;
    TRbProgressBar *pBarLoading = nullptr;
    TRbButton *btnCancelTrans = nullptr;

    // --- session --------------------------------------------------------------
    // Log-in page: the connect button follows the two fields; showing the
    // page puts the focus in the field to fill; Enter anywhere on the page
    // presses the connect button.
    void txtMDPChange();
    void TabSheet1Show();
    void lblChangeUserClick();
    void lblSubmitClick();
    // Log-in sequence of the connect button.
    void btnConnexionClick();
    // The session's log-in and log-out (see ServiceSession); true on success.
    bool OpenSession(const QString &Pseudo, const QString &Digest);
    bool CloseSession();
    // The menu label: the log-in page while logged out, log-out while logged in.
    void lblDeconnectClick();
    // The session's local address (VOXLANE_LOCAL_IP when set, otherwise the
    // last IPv4 address of the machine's interfaces, loopback only when there
    // is no other), request client and contact sorting.
    QString GetLocalIP() const;
    std::unique_ptr<HttpClient> NewHttpClient() const;
    void SortContactList();
    // A row of lbOnline: the text in the second column, the image index
    // (which also tells the row's kind) under kImageIndexRole of column 0.
    static constexpr int kImageIndexRole = Qt::UserRole;
    static QTreeWidgetItem *NewOnlineRow(const QString &text, int imageIndex);
    static int OnlineRowImage(const QTreeWidgetItem *row);
    static QString OnlineRowText(const QTreeWidgetItem *row);
    // What an accepted log-in shows: the contacts offline in lbOnline, one
    // window per pending contact request, the contact view.
    void SessionLoggedIn(const QStringList &requests);
    // Connects the log-in page, the session's menu label and the session's
    // signals; run once by the constructor.
    void setupSession();
    HttpClient *IdHTTP1 = nullptr;

    // --- presence and contacts -----------------------------------------------
    // Menus, the recipient list and the look of the contact view; run once
    // by the constructor.
    void buildPresence();
    // The windows made at start that show a card and change the own avatar;
    // when none is given the main window makes its own on first use.
    void setContactWindows(TfrmCard *card, TfrmChangeAvatar *changeAvatar);
    TfrmCard *cardWindow();
    TfrmChangeAvatar *changeAvatarWindow();
    void attachChangeAvatar(TfrmChangeAvatar *window);

    void TimerRefreshTimer();
    bool PollOnline();
    // The part of a poll after the reply came: listOnline, OnlineUsers and
    // status panel 1 from the reply body.
    void ApplyPresenceReply(const QString &body);
    void CheckFriend(bool popups);
    // lBoxSendToFriends := the online contacts, in list order.
    void RefillSendToFriends();
    QString GetIP(const QString &pseudo) const;
    static QTreeWidgetItem *FindInSubItems(const QString &text, QTreeWidget *view, int column);
    void lbOnlineContextPopup(const QPoint &pos);
    void PopupMenuContactsPopup();
    // Pseudonym of the selected row of lbOnline; empty when none.
    QString SelectedContact() const;

    void GetAvatar(const QString &pseudo, QLabel *target, bool refresh);
    void AffichCarte(const QString &pseudo);
    QString GetMemberInfo(const QString &pseudo, const QString &function);
    void AfficherProfil1Click();
    void Afficherlacartedevisite1Click();
    void Envoyerunmessage2Click();
    void Changersonavatar1Click();
    void Affichermacartedevisite1Click();
    void Affichermonprofil1Click();
    void imgAvatarClick();
    // PopupMenuAvatar belongs to imgAvatar from log-in to log-out.
    void setAvatarMenuAttached(bool attached);
    bool avatarMenuAttached() const { return m_avatarMenuAttached; }

    QMenu *PopupMenuContacts = nullptr;
    QAction *Dialoguer1 = nullptr;
    QAction *Envoyerunmessage2 = nullptr;
    QAction *Envoyerunfichier1 = nullptr;
    QAction *Afficherlacartedevisite1 = nullptr;
    QAction *AfficherProfil1 = nullptr;
    QAction *Supprimerceprofil1 = nullptr;   // wired by contact management
    QAction *Gestiondescontacts1 = nullptr;  // wired by contact management
    QMenu *PopupMenuAvatar = nullptr;
    QAction *Changersonavatar1 = nullptr;
    QAction *Affichermacartedevisite1 = nullptr;
    QAction *Affichermonprofil1 = nullptr;
    QTreeWidget *lBoxSendToFriends = nullptr;

    // --- contact management ---------------------------------------------------
    // The contact page, the contact menu's two items and the controller of
    // every change to the service's contact tables; run once by the constructor.
    void buildContacts();
    void btnPseudoOKClick();
    void txtAddPseudoKeyDown(int key);
    void TabSheet6Show();
    void Gestiondescontacts1Click();
    void Supprimerceprofil1Click();
    // The window of one pending request, answered through Contacts.
    TfrmNewContact *NewContactWindow(const QString &pseudo);
    ContactManager *Contacts = nullptr;
    QLineEdit *txtAddPseudo = nullptr;
    TRbPanel *grpAddContact = nullptr;
    TRbButton *btnPseudoOK = nullptr;


    // --- negotiation and transfers ---------------------------------------------
    // The control channel, the transfers, the send page; run once by the
    // constructor.
    void buildNegotiation();
    void FileNameSendChange();
    void FileNameSendButtonClick();
    void lBoxSendToFriendsDblClick();
    void btnShowTelClick();
    // The files the send page offers: the one of FileNameSend, or several
    // chosen or dropped at once (FileNameSend then shows the first).
    void setSendFiles(const QStringList &files);
    QStringList sendFiles() const { return m_sendFiles; }
    OfferQueue *Offers = nullptr;
    // Log-out: every transfer panel goes and both lists are emptied.
    void ClearTransfers();
    ControlChannel *Control = nullptr;
    TransferManager *Transfers = nullptr;
    TransferPanels *TransferView = nullptr;
    QScrollArea *SBDown = nullptr;
    QScrollArea *SBUp = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QLineEdit *txtDesti = nullptr;
    TRbButton *btnShowTel = nullptr;
    QToolButton *FileNameSendButton = nullptr;
    // The picture of a file type; null when none is registered.
    std::function<QPixmap(const QString &extension)> IconForExtension;

private:
    AlertSound *m_alertSound = nullptr;

public:

    // --- transfers ------------------------------------------------------------
    // The transfer list file and the list operations; run once by the
    // constructor.
    void buildTransferLists();
    // Re-creates the member's saved transfers (after log-in).
    void OpenLoad();
    // Writes both lists to the member's file; false when that failed (it
    // was reported), and the log-out or exit that called it stops.
    bool SaveLoad();
    // The save of a log-out or an exit: every transfer stops first, so that
    // the file holds their last state, and the session's own saves end.
    // False when the save failed: the transfers go on as before.
    bool SaveLoadForLeaving();
    // A log-out or exit given up after SaveLoadForLeaving succeeded: the
    // session's saves and the transfers start again.
    void StayAfterLeavingFailed();
    TransferListStore *TransferLists = nullptr;
    TransferListOps *ListOps = nullptr;
    // The file-type lookup behind IconForExtension: the desktop's database
    // under the user's own file (beside the settings), read-only here.
    TvzkFileAsso *vzkFileAsso1 = nullptr;
    std::shared_ptr<DesktopFileClassStore> DesktopFileClasses;

    // --- state of the running client -----------------------------------------
    AppServices services;

    // Each controller the creator gave none of is made by the window; the
    // members are in this order because each is made from the ones above.
private:
    std::unique_ptr<ServiceSession> m_ownSession;

public:
    // The session: log-in state, the member's contacts, the request client.
    ServiceSession &session;

private:
    std::unique_ptr<PresenceMonitor> m_ownPresence;

public:
    // Presence: the poll and the online/offline lists.
    PresenceMonitor &presence;

private:
    std::unique_ptr<PopupNotifier> m_ownNotifier;

public:
    // The pop-ups' notifier: their count and the alert sound's switch.
    PopupNotifier &notifier;

private:
    std::unique_ptr<AvatarCache> m_ownAvatars;

public:
    // The avatar cache.
    AvatarCache &avatars;

    TClickLabel *HighlightedMenuLabel = nullptr;
    QString SelectedDownload;
    QString SelectedUpload;
    QString TempPath;

    // --- controls -------------------------------------------------------------
    QWidget *pnMenu = nullptr;
    TClickLabel *lblTelEnCours = nullptr;
    TClickLabel *lblEnvoisEnCours = nullptr;
    TClickLabel *lblEnvoyer = nullptr;
    TClickLabel *lblLecture = nullptr;
    TClickLabel *lblMnuContact = nullptr;
    TClickLabel *lblMnuOptions = nullptr;
    TClickLabel *lblDeconnect = nullptr;
    TClickLabel *lblAbout = nullptr;
    QLabel *lblContactsEnLigne = nullptr;
    QTreeWidget *lbOnline = nullptr;
    QLabel *imgAvatar = nullptr;
    QLabel *lblPseudo = nullptr;

    QStackedWidget *PageControl = nullptr;
    QWidget *TabSheet1 = nullptr;
    QWidget *TabSheet2 = nullptr;
    QWidget *TabSheet3 = nullptr;
    QWidget *TabSheet4 = nullptr;
    QWidget *TabSheet5 = nullptr;
    QWidget *TabSheet6 = nullptr;
    QWidget *TabSheet7 = nullptr;

    // log-in page
    QLabel *Label2 = nullptr;
    QWidget *pnConexionItems = nullptr;
    QWidget *pnMdpLogin = nullptr;
    QLineEdit *txtPseudo = nullptr;
    QLineEdit *txtMDP = nullptr;
    QCheckBox *cbSaveComptInfo = nullptr;
    QLabel *lblPseudoConnec = nullptr;
    QPushButton *btnConnexion = nullptr;
    TClickLabel *lblChangeUser = nullptr;
    TClickLabel *lblSubmit = nullptr;

    // send page
    QLabel *imgIcoDecompose = nullptr;
    QLabel *lblFileDecompose = nullptr;
    QLabel *lblDecompFileSize = nullptr;
    QLineEdit *FileNameSend = nullptr;

    // options page
    QCheckBox *cbFireWall = nullptr;
    TRbCheckBox *ckPlaySound = nullptr;
    QLineEdit *ceTempPath = nullptr;
    // Where accepted files go, and whether they go there without asking.
    QLineEdit *ceDownloadPath = nullptr;
    QCheckBox *ckSaveWithoutAsking = nullptr;
    QToolButton *ceTempPathButton = nullptr;
    QTreeView *ShellTreeView = nullptr;
    QFileSystemModel *ShellTreeModel = nullptr;
    TRbButton *btnConfigApply = nullptr;

    // media page: the title and artist labels and the player are those of
    // MediaPage (lblPlayName, lblPlayArtiste, WMPlayer)
    QLabel *lblTitre = nullptr;
    QLabel *lblArtiste = nullptr;
    QWidget *WMPlayer = nullptr;
    TMediaPage *MediaPage = nullptr;
    TMediaPlayer *mediaPlayer() const;
    // The last tag read by Lecture1Click.
    TID3Tag ID3Tag;
    // "Lecture" of a transfer's context menu: plays the selected panel's
    // file of the page on show and shows the media page.
    void Lecture1Click();
    // Plays path, labels the page from its tag or its name, shows the page.
    // An unreadable or too short file reaches the general error report
    // after playback was asked for; the labels and the page stay as they were.
    void PlayMediaFile(const QString &path);
    // "Ouvrir…" of the media page: a file of the disk to play; one the
    // player cannot take is said in the info bar.
    void OpenMediaFile();
    void ReadID3Tag(const QString &path);
    // The tray menu is opening / its player item was chosen.
    void PopupSysTrayPopup();
    void Lecture2Click();

    // tray icon and its menu
    TPiconeBarreTache *PiconeBarreTache1 = nullptr;
    QMenu *PopupSysTray = nullptr;
    QAction *OuvrirVoxlane1 = nullptr;
    QAction *Lecture2 = nullptr;
    QAction *Quitter1 = nullptr;
    QList<QIcon> ImageListMenu; // pictures of the tray menu's items
    void OuvrirVoxlane1Click();

    // info panel
    QFrame *pnInfo = nullptr;
    QLabel *lblInfo = nullptr;
    QTimer *TimerInfo = nullptr;

    TStatusBar *StatusBar = nullptr;
    QPlainTextEdit *reWatch = nullptr;
    TOnlineList *listOnline = nullptr;

    QTimer *TimerRefresh = nullptr;

    QList<TClickLabel *> menuLabels() const;

signals:
    void closing();
    void applicationRestoring();
    void sendFileRequested(const QString &pseudo);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenu(QWidget *central);
    void buildPages(QWidget *central);
    void buildLoginPage();
    void buildSendPage();
    void buildOptionsPage();
    void buildMediaPage();
    void buildTray();
    void buildInfoPanel(QWidget *central);
    void buildInfoBarControls();
    void buildDiagnostics(QWidget *central);
    void startControlListener();
    void setHighlighted(TClickLabel *label);

    QWidget *m_central = nullptr;
    QPointer<QWidget> m_about;
    bool m_dropAccepted = false;
    QStringList m_sendFiles;
    bool m_settingSendFiles = false;
    bool m_shown = false;
    // presence and contacts
    QPointer<TfrmCard> m_card;
    QPointer<TfrmChangeAvatar> m_changeAvatar;
    bool m_avatarMenuAttached = false;
    bool m_tickRunning = false;
    // The "file offered" pop-up of each offer still open, by offer id.
    QHash<int, QPointer<TfrmMsgBox>> m_offerPopups;
};

// Centres control in parent's client area: mode 1 horizontally, 2
// vertically, 3 both; other modes do nothing.
void CenterControl(QWidget *control, QWidget *parent, int mode);

// True when the folder exists; one trailing '\' or '/' is ignored.
bool FolderExists(const QString &path);
