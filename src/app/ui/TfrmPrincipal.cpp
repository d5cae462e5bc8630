#include "app/ui/TfrmPrincipal.h"
#include "base/ErrorReport.h"

#include "app/PopupNotifier.h"
#include "app/ui/TransferListOps.h"
#include "base/DialogService.h"
#include "contacts/AvatarCache.h"
#include "base/SettingsStore.h"
#include "components/TColor.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TRbButton.h"
#include "components/ui/TRbCheckBox.h"
#include "components/ui/TStatusBar.h"
#include "contacts/ui/ContactRows.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/TOnlineList.h"
#include "service/ServiceSession.h"
#include "media/ui/TMediaPage.h"
#include "media/ui/TMediaPlayer.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>

namespace {

constexpr int kMenuWidth = 170;
constexpr int kStatusHeight = 19;

QFont uiFont(int pixelSize, bool bold = false)
{
    QFont f(QStringLiteral("Trebuchet MS"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QLabel *heading(const QString &text, QWidget *page)
{
    auto *label = new QLabel(text, page);
    label->setFont(uiFont(18, true));
    label->setGeometry(16, 10, 500, 26);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, TColor::toQColor(TfrmPrincipal::kMenuSelectedColor));
    label->setPalette(p);
    return label;
}

// The menu panel is 170 pixels wide by design, which holds its captions in
// the design's fonts. The fonts found on Linux are wider: the bold
// "Téléchargements en cours", the heading with its count and the contact
// view's headers were cut. Where they do not fit, the panel and its controls
// grow to the widest of them; the pages start where the panel ends.
void fitMenuToCaptions(QWidget *pnMenu, const QList<TClickLabel *> &labels, QLabel *heading, QTreeWidget *view)
{
    constexpr int kLabelLeft = 8;
    constexpr int kViewLeft = 8;
    constexpr int kImageColumn = 19;
    constexpr int kTextMargins = 8; // the cell's margins
    int width = kMenuWidth;
    for (TClickLabel *label : labels) {
        QFont bold = label->font();
        bold.setBold(true); // the look of the highlighted and hovered entry
        width = std::max(width, kLabelLeft + QFontMetrics(bold).horizontalAdvance(label->text()) + 4);
    }
    width = std::max(width,
        heading->x() + QFontMetrics(heading->font()).horizontalAdvance(QStringLiteral("Contacts en ligne (000)")) + 4);
    QFont bold = view->font();
    bold.setBold(true);
    int textColumn = view->columnWidth(1); // 130 by design
    for (const QString &header : { ContactRows::onlineHeader(), ContactRows::offlineHeader() })
        textColumn = std::max(textColumn, QFontMetrics(bold).horizontalAdvance(header) + kTextMargins);
    view->setColumnWidth(1, textColumn);
    const int viewWidth = std::max(view->width(), kImageColumn + textColumn + 2 * view->frameWidth());
    width = std::max(width, kViewLeft + viewWidth + kViewLeft);
    pnMenu->resize(width, pnMenu->height());
    for (TClickLabel *label : labels)
        label->resize(width - kLabelLeft - 2, label->height());
    heading->resize(width - heading->x() - 2, heading->height());
    view->resize(width - 2 * kViewLeft, view->height());
}

} // namespace

TfrmPrincipal::TfrmPrincipal(const AppServices &appServices, QWidget *parent)
    : QMainWindow(parent)
    , services(appServices)
    , m_ownSession(appServices.session ? nullptr
                                       : std::make_unique<ServiceSession>(appServices.environment.serviceUrl,
                                           appServices.httpLimits, appServices.environment.localIp,
                                           appServices.dialogs))
    , session(appServices.session ? *appServices.session : *m_ownSession)
    , m_ownPresence(appServices.presence ? nullptr : std::make_unique<PresenceMonitor>(session))
    , presence(appServices.presence ? *appServices.presence : *m_ownPresence)
    , m_ownNotifier(appServices.notifier ? nullptr : std::make_unique<PopupNotifier>())
    , notifier(appServices.notifier ? *appServices.notifier : *m_ownNotifier)
    , m_ownAvatars(appServices.avatars ? nullptr : std::make_unique<AvatarCache>(session))
    , avatars(appServices.avatars ? *appServices.avatars : *m_ownAvatars)
{
    if (m_ownSession)
        m_ownSession->setServiceCaFile(appServices.environment.serviceCaFile);
    setObjectName(QStringLiteral("frmPrincipal"));
    setWindowTitle(QStringLiteral("Voxlane"));
    m_central = new QWidget(this);
    setCentralWidget(m_central);
    resize(kClientWidth, kClientHeight);
    setMinimumSize(kClientWidth, kClientHeight);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
    }

    buildMenu(m_central);
    buildPages(m_central);
    buildDiagnostics(m_central);
    buildInfoPanel(m_central);

    StatusBar = new TStatusBar(m_central);
    StatusBar->addPanel(kClientWidth - 237);
    StatusBar->addPanel(100, Qt::AlignHCenter);
    StatusBar->addPanel(50, Qt::AlignHCenter);

    TimerRefresh = presence.TimerRefresh;
    buildPresence();
    buildNegotiation();
    buildTransferLists();

    setupSession();
    buildContacts();
    buildTray();
    FormCreate();
    FormResize();
}

TfrmPrincipal::~TfrmPrincipal()
{
    qApp->removeEventFilter(this);
    // The list operations read this window's fields: from here on, the
    // events of children being destroyed must not reach them.
    if (ListOps)
        ListOps->detach();
}

QList<TClickLabel *> TfrmPrincipal::menuLabels() const
{
    return {lblTelEnCours, lblEnvoisEnCours, lblEnvoyer, lblLecture,
            lblMnuContact, lblMnuOptions, lblDeconnect, lblAbout};
}

void TfrmPrincipal::buildMenu(QWidget *central)
{
    pnMenu = new QWidget(central);
    pnMenu->setObjectName(QStringLiteral("pnMenu"));
    pnMenu->setFocusPolicy(Qt::StrongFocus);
    pnMenu->setAutoFillBackground(true);
    QPalette pal = pnMenu->palette();
    pal.setColor(QPalette::Window, TColor::toQColor(14611448)); // 0xDEF3F8
    pnMenu->setPalette(pal);

    imgAvatar = new TClickLabel(QString(), pnMenu);
    imgAvatar->setGeometry(10, 10, 48, 48);
    imgAvatar->setAlignment(Qt::AlignCenter);
    lblPseudo = new QLabel(pnMenu);
    lblPseudo->setGeometry(64, 24, 100, 20);
    lblPseudo->setFont(uiFont(13, true));

    struct Entry {
        TClickLabel **label;
        const char *name;
        QString caption;
    };
    const Entry entries[] = {
        {&lblTelEnCours, "lblTelEnCours", QStringLiteral("Téléchargements en cours")},
        {&lblEnvoisEnCours, "lblEnvoisEnCours", QStringLiteral("Envois en cours")},
        {&lblEnvoyer, "lblEnvoyer", QStringLiteral("Envoyer un fichier")},
        {&lblLecture, "lblLecture", QStringLiteral("Lecture")},
        {&lblMnuContact, "lblMnuContact", QStringLiteral("Contacts")},
        {&lblMnuOptions, "lblMnuOptions", QStringLiteral("Options")},
        {&lblDeconnect, "lblDeconnect", QStringLiteral("Se connecter")},
        {&lblAbout, "lblAbout", QStringLiteral("A propos")},
    };
    int y = 72;
    for (const Entry &e : entries) {
        auto *label = new TClickLabel(e.caption, pnMenu);
        label->setObjectName(QLatin1String(e.name));
        label->setFont(uiFont(11));
        label->setGeometry(8, y, 160, 20);
        label->setCursor(Qt::PointingHandCursor);
        label->setTColor(kMenuPlainColor);
        *e.label = label;
        y += 22;
        connect(label, &TClickLabel::entered, this, [this, label] { lblTelEnCoursMouseEnter(label); });
        connect(label, &TClickLabel::left, this, [this, label] { lblTelEnCoursMouseLeave(label); });
    }
    for (TClickLabel *label : {lblTelEnCours, lblEnvoisEnCours, lblEnvoyer, lblLecture, lblMnuContact,
                               lblMnuOptions}) {
        connect(label, &TClickLabel::clicked, this, [this, label] { lblEnvoyerClick(label); });
    }
    connect(lblAbout, &TClickLabel::clicked, this, &TfrmPrincipal::lblAboutClick);
    for (TClickLabel *label : {lblTelEnCours, lblEnvoisEnCours, lblEnvoyer, lblLecture, lblMnuContact})
        label->setEnabled(false);

    lblContactsEnLigne = new QLabel(QStringLiteral("Contacts en ligne"), pnMenu);
    lblContactsEnLigne->setFont(uiFont(12, true));
    lblContactsEnLigne->setGeometry(10, y + 12, 150, 18);
    lbOnline = new QTreeWidget(pnMenu);
    lbOnline->setObjectName(QStringLiteral("lbOnline"));
    lbOnline->setColumnCount(2);
    lbOnline->setHeaderHidden(true);
    lbOnline->setFont(uiFont(11));
    lbOnline->setRootIsDecorated(false);
    lbOnline->setColumnWidth(0, 19);
    lbOnline->setColumnWidth(1, 130);
    lbOnline->setGeometry(8, y + 32, 154, 200);
    lbOnline->hide();
    fitMenuToCaptions(pnMenu, menuLabels(), lblContactsEnLigne, lbOnline);
}

void TfrmPrincipal::buildPages(QWidget *central)
{
    PageControl = new QStackedWidget(central);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    QWidget **sheets[] = {&TabSheet1, &TabSheet2, &TabSheet3, &TabSheet4, &TabSheet5, &TabSheet6, &TabSheet7};
    const QString headings[] = {
        QStringLiteral("Connexion"),
        QStringLiteral("Téléchargements en cours"),
        QStringLiteral("Envois en cours"),
        QStringLiteral("Envoyer un fichier"),
        QStringLiteral("Options"),
        QStringLiteral("Gestion des contacts"),
        QString(), // the media page carries "Titre" and "Artiste"
    };
    for (int i = 0; i < 7; ++i) {
        auto *page = new QWidget;
        page->setObjectName(QStringLiteral("TabSheet%1").arg(i + 1));
        if (!headings[i].isEmpty())
            heading(headings[i], page)->setObjectName(QStringLiteral("lblHeading%1").arg(i + 1));
        PageControl->addWidget(page);
        *sheets[i] = page;
    }
    buildLoginPage();
    buildSendPage();
    buildOptionsPage();
    buildMediaPage();
    connect(PageControl, &QStackedWidget::currentChanged, this, [this](int index) {
        if (index == 4)
            TabSheet5Show();
    });
}

void TfrmPrincipal::buildLoginPage()
{
    Label2 = new QLabel(QStringLiteral("Entrez votre pseudo et votre mot de passe pour vous connecter au réseau"),
                        TabSheet1);
    Label2->setGeometry(16, 44, 500, 20);

    pnConexionItems = new QWidget(TabSheet1);
    pnConexionItems->setObjectName(QStringLiteral("pnConexionItems"));
    pnConexionItems->resize(300, 200);

    pnMdpLogin = new QWidget(pnConexionItems);
    pnMdpLogin->setObjectName(QStringLiteral("pnMdpLogin"));
    pnMdpLogin->setGeometry(0, 0, 300, 100);
    auto *lblP = new QLabel(QStringLiteral("Pseudo :"), pnMdpLogin);
    lblP->setGeometry(0, 4, 100, 20);
    txtPseudo = new QLineEdit(pnMdpLogin);
    txtPseudo->setObjectName(QStringLiteral("txtPseudo"));
    txtPseudo->setGeometry(104, 2, 190, 22);
    auto *lblM = new QLabel(QStringLiteral("Mot de passe :"), pnMdpLogin);
    lblM->setGeometry(0, 34, 100, 20);
    txtMDP = new QLineEdit(pnMdpLogin);
    txtMDP->setObjectName(QStringLiteral("txtMDP"));
    txtMDP->setEchoMode(QLineEdit::Password);
    txtMDP->setGeometry(104, 32, 190, 22);
    cbSaveComptInfo = new QCheckBox(QStringLiteral("Mémoriser ce compte"), pnMdpLogin);
    cbSaveComptInfo->setObjectName(QStringLiteral("cbSaveComptInfo"));
    cbSaveComptInfo->setGeometry(104, 62, 190, 22);

    lblPseudoConnec = new QLabel(QStringLiteral("................."), pnConexionItems);
    lblPseudoConnec->setObjectName(QStringLiteral("lblPseudoConnec"));
    lblPseudoConnec->setFont(uiFont(24, true));
    lblPseudoConnec->setGeometry(0, 20, 300, 40);

    btnConnexion = new QPushButton(QStringLiteral("Se connecter"), pnConexionItems);
    btnConnexion->setObjectName(QStringLiteral("btnConnexion"));
    btnConnexion->setGeometry(104, 104, 120, 26);
    btnConnexion->setEnabled(false);

    lblChangeUser = new TClickLabel(QStringLiteral("Changer d'utilisateur"), pnConexionItems);
    lblChangeUser->setObjectName(QStringLiteral("lblChangeUser"));
    lblChangeUser->setGeometry(104, 140, 190, 18);
    lblChangeUser->setCursor(Qt::PointingHandCursor);
    lblSubmit = new TClickLabel(QStringLiteral("S'inscrire"), pnConexionItems);
    lblSubmit->setObjectName(QStringLiteral("lblSubmit"));
    lblSubmit->setGeometry(104, 162, 190, 18);
    lblSubmit->setCursor(Qt::PointingHandCursor);
    for (TClickLabel *link : {lblChangeUser, lblSubmit}) {
        QFont f = link->font();
        f.setUnderline(true);
        link->setFont(f);
        link->setTColor(0xFF0000); // blue
    }
}

void TfrmPrincipal::buildSendPage()
{
    imgIcoDecompose = new QLabel(TabSheet4);
    imgIcoDecompose->setObjectName(QStringLiteral("imgIcoDecompose"));
    imgIcoDecompose->setGeometry(0, 60, 32, 32);
    lblFileDecompose = new QLabel(TabSheet4);
    lblFileDecompose->setObjectName(QStringLiteral("lblFileDecompose"));
    lblFileDecompose->setAlignment(Qt::AlignCenter);
    lblFileDecompose->setGeometry(0, 96, 300, 18);
    lblDecompFileSize = new QLabel(TabSheet4);
    lblDecompFileSize->setObjectName(QStringLiteral("lblDecompFileSize"));
    lblDecompFileSize->setAlignment(Qt::AlignCenter);
    lblDecompFileSize->setGeometry(0, 116, 200, 18);
    FileNameSend = new QLineEdit(TabSheet4);
    FileNameSend->setObjectName(QStringLiteral("FileNameSend"));
    FileNameSend->setGeometry(16, 160, 400, 22);
}

void TfrmPrincipal::buildOptionsPage()
{
    cbFireWall = new QCheckBox(QStringLiteral("Ce PC est derrière un par-feu"), TabSheet5);
    cbFireWall->setObjectName(QStringLiteral("cbFireWall"));
    cbFireWall->setGeometry(16, 56, 400, 22);
    ckPlaySound = new TRbCheckBox(TabSheet5);
    ckPlaySound->setObjectName(QStringLiteral("ckPlaySound"));
    ckPlaySound->setCaption(QStringLiteral("Emettre un son lors d'un évenement"));
    ckPlaySound->setGeometry(16, 84, 400, 22);
    auto *lblTemp = new QLabel(QStringLiteral("Dossier temporaire :"), TabSheet5);
    lblTemp->setGeometry(16, 118, 400, 18);
    ceTempPath = new QLineEdit(TabSheet5);
    ceTempPath->setObjectName(QStringLiteral("ceTempPath"));
    ceTempPath->setGeometry(16, 138, 370, 22);
    ceTempPathButton = new QToolButton(TabSheet5);
    ceTempPathButton->setText(QStringLiteral("..."));
    ceTempPathButton->setGeometry(390, 138, 26, 22);
    connect(ceTempPathButton, &QToolButton::clicked, this, &TfrmPrincipal::ceTempPathButtonClick);
    auto *lblDownloads = new QLabel(QStringLiteral("Dossier de réception :"), TabSheet5);
    lblDownloads->setGeometry(16, 172, 400, 18);
    ceDownloadPath = new QLineEdit(TabSheet5);
    ceDownloadPath->setObjectName(QStringLiteral("ceDownloadPath"));
    ceDownloadPath->setGeometry(16, 192, 400, 22);
    ckSaveWithoutAsking = new QCheckBox(
        QStringLiteral("Enregistrer les fichiers acceptés dans ce dossier sans demander"), TabSheet5);
    ckSaveWithoutAsking->setObjectName(QStringLiteral("ckSaveWithoutAsking"));
    ckSaveWithoutAsking->setGeometry(16, 220, 420, 22);
    ShellTreeView = new QTreeView(TabSheet5);
    ShellTreeView->setObjectName(QStringLiteral("ShellTreeView"));
    ShellTreeView->setGeometry(16, 164, 400, 220);
    ShellTreeView->hide();
    connect(ShellTreeView, &QTreeView::doubleClicked, this, &TfrmPrincipal::ShellTreeViewDblClick);
    btnConfigApply = new TRbButton(TabSheet5);
    btnConfigApply->setObjectName(QStringLiteral("btnConfigApply"));
    btnConfigApply->setCaption(QStringLiteral("Appliquer"));
    btnConfigApply->UseFormColors();
    btnConfigApply->setGeometry(16, 400, 100, 26);
    connect(btnConfigApply, &TRbButton::OnClick, this, &TfrmPrincipal::btnConfigApplyClick);
}

void TfrmPrincipal::buildMediaPage()
{
    MediaPage = new TMediaPage(TabSheet7);
    auto *layout = new QVBoxLayout(TabSheet7);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(MediaPage);
    lblTitre = MediaPage->lblPlayName;
    lblArtiste = MediaPage->lblPlayArtiste;
    WMPlayer = MediaPage->WMPlayer;
    connect(MediaPage, &TMediaPage::openRequested, this, [this] { ErrorReport::guard([this] { OpenMediaFile(); }); });
}

void TfrmPrincipal::buildInfoPanel(QWidget *central)
{
    pnInfo = new QFrame(central);
    pnInfo->setObjectName(QStringLiteral("pnInfo"));
    pnInfo->setGeometry(8, 368, 361, 123);
    pnInfo->setAutoFillBackground(true);
    QPalette pal = pnInfo->palette();
    pal.setColor(QPalette::Window, TColor::toQColor(10346217));
    pnInfo->setPalette(pal);
    pnInfo->hide();
    lblInfo = new QLabel(pnInfo);
    lblInfo->setObjectName(QStringLiteral("lblInfo"));
    lblInfo->setGeometry(44, 15, 310, 75);
    lblInfo->setWordWrap(true);
    // Messages carry names and addresses from the service and from peers:
    // shown as written, never read as markup.
    lblInfo->setTextFormat(Qt::PlainText);
    lblInfo->setFont(uiFont(11, true));
    buildInfoBarControls();
    connectNotifier();
    TimerInfo = new QTimer(this);
    TimerInfo->setInterval(0);
    connect(TimerInfo, &QTimer::timeout, this, &TfrmPrincipal::TimerInfoTimer);
}

void TfrmPrincipal::buildDiagnostics(QWidget *central)
{
    reWatch = new QPlainTextEdit(central);
    reWatch->setObjectName(QStringLiteral("reWatch"));
    reWatch->setReadOnly(true);
    // The log keeps the latest lines only: peers decide how much is said.
    reWatch->setMaximumBlockCount(kLogLines);
    QPalette pal = reWatch->palette();
    pal.setColor(QPalette::Base, Qt::black);
    pal.setColor(QPalette::Text, Qt::yellow);
    reWatch->setPalette(pal);
    reWatch->hide();
    listOnline = new TOnlineList(presence.onlineList(), central);
    listOnline->setObjectName(QStringLiteral("listOnline"));
    listOnline->hide();
}
