// The main window's frame: the menu, the page stack, the hidden log, the
// layout, the navigation between pages, the key that shows the log, and
// dropped files.
#include "app/ui/TfrmPrincipal.h"

#include "app/ui/ApplicationWindows.h"
#include "app/ui/TOptionsPage.h"
#include "base/ErrorReport.h"
#include "components/TColor.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TStatusBar.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/ContactRows.h"
#include "contacts/ui/TContactPage.h"
#include "contacts/ui/TContactView.h"
#include "contacts/ui/TOnlineList.h"
#include "media/ui/TMediaPage.h"
#include "media/ui/TMediaPlayer.h"
#include "negotiation/OfferQueue.h"
#include "negotiation/ui/TSendPage.h"
#include "service/ServiceSession.h"
#include "service/ui/TLoginPage.h"
#include "transfer/ui/TTransferPage.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStackedWidget>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kMenuWidth = 170;

// Page indexes of the stack.
enum Page { kLoginPage, kDownloadsPage, kUploadsPage, kSendPage, kOptionsPage, kContactPage, kMediaPage };

// The menu panel is 170 pixels wide by design, which holds its captions in
// the design's fonts. The fonts found on Linux are wider: the bold
// "Téléchargements en cours", the heading with its count and the contact
// view's headers were cut. Where they do not fit, the panel and its controls
// grow to the widest of them; the pages start where the panel ends.
void fitMenuToCaptions(QWidget *menu, const QList<TClickLabel *> &labels, QLabel *heading, QTreeWidget *view)
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
    menu->resize(width, menu->height());
    for (TClickLabel *label : labels)
        label->resize(width - kLabelLeft - 2, label->height());
    heading->resize(width - heading->x() - 2, heading->height());
    view->resize(width - 2 * kViewLeft, view->height());
}

} // namespace

TfrmPrincipal::TfrmPrincipal(AppControllers &controllers, QWidget *parent)
    : QMainWindow(parent)
    , m_controllers(controllers)
{
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

    m_statusBar = new TStatusBar(m_central);
    m_statusBar->setObjectName(QStringLiteral("StatusBar"));
    m_statusBar->addPanel(kClientWidth - 237);
    m_statusBar->addPanel(100, Qt::AlignHCenter);
    m_statusBar->addPanel(50, Qt::AlignHCenter);

    buildAvatarMenu();
    connectControllers();
    buildTray();
    FormCreate();
    FormResize();
}

TfrmPrincipal::~TfrmPrincipal()
{
    qApp->removeEventFilter(this);
}

QList<TClickLabel *> TfrmPrincipal::menuLabels() const
{
    return { m_downloadsLabel, m_uploadsLabel, m_sendLabel, m_mediaLabel, m_contactsLabel, m_optionsLabel,
        m_sessionLabel, m_aboutLabel };
}

TTransferPage &TfrmPrincipal::transferPage(TransferManager::List list) const
{
    return list == TransferManager::List::Downloads ? *m_downloadsPage : *m_uploadsPage;
}

void TfrmPrincipal::buildMenu(QWidget *central)
{
    m_menu = new QWidget(central);
    m_menu->setObjectName(QStringLiteral("pnMenu"));
    m_menu->setFocusPolicy(Qt::StrongFocus);
    m_menu->setAutoFillBackground(true);
    QPalette pal = m_menu->palette();
    pal.setColor(QPalette::Window, TColor::toQColor(14611448)); // 0xDEF3F8
    m_menu->setPalette(pal);

    auto *avatar = new TClickLabel(QString(), m_menu);
    m_ownAvatar = avatar;
    m_ownAvatar->setObjectName(QStringLiteral("imgAvatar"));
    m_ownAvatar->setAlignment(Qt::AlignCenter);
    // The own avatar: 62 pixels high, a click changes it, and its menu while
    // logged in.
    m_ownAvatar->setGeometry(6, 6, 62, 62);
    m_ownAvatar->setToolTip(QStringLiteral("Changez votre avatar"));
    connect(avatar, &TClickLabel::clicked, this, &TfrmPrincipal::imgAvatarClick);
    m_ownPseudo = new QLabel(m_menu);
    m_ownPseudo->setObjectName(QStringLiteral("lblPseudo"));
    m_ownPseudo->setGeometry(74, 27, 92, 20);
    m_ownPseudo->setFont(PageLook::font(13, true));
    // Pseudonyms are shown as written, never read as markup.
    m_ownPseudo->setTextFormat(Qt::PlainText);

    struct Entry
    {
        TClickLabel **label;
        const char *name;
        QString caption;
    };
    const Entry entries[] = {
        { &m_downloadsLabel, "lblTelEnCours", QStringLiteral("Téléchargements en cours") },
        { &m_uploadsLabel, "lblEnvoisEnCours", QStringLiteral("Envois en cours") },
        { &m_sendLabel, "lblEnvoyer", QStringLiteral("Envoyer un fichier") },
        { &m_mediaLabel, "lblLecture", QStringLiteral("Lecture") },
        { &m_contactsLabel, "lblMnuContact", QStringLiteral("Contacts") },
        { &m_optionsLabel, "lblMnuOptions", QStringLiteral("Options") },
        { &m_sessionLabel, "lblDeconnect", QStringLiteral("Se connecter") },
        { &m_aboutLabel, "lblAbout", QStringLiteral("A propos") },
    };
    int y = 72;
    for (const Entry &e : entries) {
        auto *label = new TClickLabel(e.caption, m_menu);
        label->setObjectName(QLatin1String(e.name));
        label->setFont(PageLook::font(11));
        label->setGeometry(8, y, 160, 20);
        label->setCursor(Qt::PointingHandCursor);
        label->setTColor(kMenuPlainColor);
        *e.label = label;
        y += 22;
        connect(label, &TClickLabel::entered, this, [this, label] { lblTelEnCoursMouseEnter(label); });
        connect(label, &TClickLabel::left, this, [this, label] { lblTelEnCoursMouseLeave(label); });
    }
    for (TClickLabel *label :
        { m_downloadsLabel, m_uploadsLabel, m_sendLabel, m_mediaLabel, m_contactsLabel, m_optionsLabel })
        connect(label, &TClickLabel::clicked, this, [this, label] { lblEnvoyerClick(label); });
    connect(m_aboutLabel, &TClickLabel::clicked, this, &TfrmPrincipal::lblAboutClick);
    connect(m_sessionLabel, &TClickLabel::clicked, this, &TfrmPrincipal::lblDeconnectClick);
    for (TClickLabel *label : { m_downloadsLabel, m_uploadsLabel, m_sendLabel, m_mediaLabel, m_contactsLabel })
        label->setEnabled(false);

    m_contactsHeading = new QLabel(QStringLiteral("Contacts en ligne"), m_menu);
    m_contactsHeading->setObjectName(QStringLiteral("lblContactsEnLigne"));
    m_contactsHeading->setFont(PageLook::font(12, true));
    m_contactsHeading->setGeometry(10, y + 12, 150, 18);
    AppControllers &c = m_controllers;
    m_contactView = new TContactView(c.session(), c.presence(), c.contacts(), c.avatars(), c.dialogs(),
        *m_contactsHeading, c.environment().serviceUrl, m_menu);
    m_contactView->setGeometry(8, y + 32, 154, 200);
    m_contactView->hide();
    fitMenuToCaptions(m_menu, menuLabels(), m_contactsHeading, m_contactView);
}

void TfrmPrincipal::buildPages(QWidget *central)
{
    AppControllers &c = m_controllers;
    m_pages = new QStackedWidget(central);
    m_pages->setObjectName(QStringLiteral("PageControl"));
    m_loginPage = new TLoginPage(c.session(), c.settings(), c.dialogs(), c.environment().serviceUrl);
    m_downloadsPage = new TTransferPage(TransferManager::List::Downloads, c.transfers(), c.session(), c.avatars(),
        c.settings(), c.dialogs(), c.fileTypes());
    m_uploadsPage = new TTransferPage(TransferManager::List::Uploads, c.transfers(), c.session(), c.avatars(),
        c.settings(), c.dialogs(), c.fileTypes());
    m_sendPage = new TSendPage(c.control(), c.offers(), c.presence(), c.dialogs(), c.fileTypes());
    m_optionsPage = new TOptionsPage(c.settings(), c.notifier());
    m_contactPage = new TContactPage(c.contacts());
    m_mediaPage = new TMediaPage;
    for (QWidget *page : std::initializer_list<QWidget *> { m_loginPage, m_downloadsPage, m_uploadsPage,
             m_sendPage, m_optionsPage, m_contactPage, m_mediaPage })
        m_pages->addWidget(page);
    connect(m_pages, &QStackedWidget::currentChanged, this, &TfrmPrincipal::pageShown);

    m_loginPage->watchKeysOf(this);
    connect(m_loginPage, &TLoginPage::info, this, &TfrmPrincipal::AffichInfo);
    connect(m_loginPage, &TLoginPage::openFailed, this, &TfrmPrincipal::ShellOpenFailed);
    connect(m_loginPage, &TLoginPage::loggingIn, m_contactView, &TContactView::beginLogIn);
    connect(m_loginPage, &TLoginPage::loggedIn, this, &TfrmPrincipal::logInAccepted);
    connect(m_sendPage, &TSendPage::info, this, &TfrmPrincipal::AffichInfo);
    // "Lecture" of a transfer's menu: a file that cannot be read goes to the
    // error report here rather than through Qt's signal machinery.
    for (TTransferPage *page : { m_downloadsPage, m_uploadsPage }) {
        connect(page, &TTransferPage::playRequested, this,
            [this](const QString &path) { ErrorReport::guard([&] { PlayMediaFile(path); }); });
        connect(page, &TTransferPage::openFailed, this, &TfrmPrincipal::ShellOpenFailed);
    }
    connect(m_mediaPage, &TMediaPage::openRequested, this, [this] { ErrorReport::guard([this] { OpenMediaFile(); }); });
    connect(m_contactView, &TContactView::filesDropped, this, &TfrmPrincipal::DropFilesOnContact);
    connect(m_contactView, &TContactView::sendFileWanted, this, &TfrmPrincipal::SendFileToContact);
    connect(m_contactView, &TContactView::contactPageWanted, this, [this] { lblEnvoyerClick(m_contactsLabel); });
    connect(m_contactView, &TContactView::openFailed, this, &TfrmPrincipal::ShellOpenFailed);
}

// What a page does when it comes on show.
void TfrmPrincipal::pageShown(int index)
{
    switch (index) {
    case kLoginPage:
        m_loginPage->TabSheet1Show();
        break;
    case kDownloadsPage:
        m_downloadsPage->TabSheet2Show();
        break;
    case kUploadsPage:
        m_uploadsPage->TabSheet2Show();
        break;
    case kOptionsPage:
        m_optionsPage->TabSheet5Show();
        break;
    case kContactPage:
        m_contactPage->TabSheet6Show();
        break;
    default:
        break;
    }
}

void TfrmPrincipal::buildDiagnostics(QWidget *central)
{
    m_log = new QPlainTextEdit(central);
    m_log->setObjectName(QStringLiteral("reWatch"));
    m_log->setReadOnly(true);
    // The log keeps the latest lines only: peers decide how much is said.
    m_log->setMaximumBlockCount(kLogLines);
    QPalette pal = m_log->palette();
    pal.setColor(QPalette::Base, Qt::black);
    pal.setColor(QPalette::Text, Qt::yellow);
    m_log->setPalette(pal);
    m_log->hide();
    m_onlineList = new TOnlineList(m_controllers.presence().onlineList(), central);
    m_onlineList->setObjectName(QStringLiteral("listOnline"));
    m_onlineList->hide();
}

void TfrmPrincipal::LogWatch(const QString &line)
{
    if (line.size() <= kLogLineLength) {
        m_log->appendPlainText(line);
        return;
    }
    m_log->appendPlainText(line.left(kLogLineLength) + QStringLiteral("…"));
}

void TfrmPrincipal::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TfrmPrincipal::FormShow()
{
    // Paint now, before any further start-up work.
    repaint();
    QCoreApplication::processEvents();
    // The log-in page is current from the start, so no page change ever
    // "shows" it: put the focus where the user will type now.
    if (m_pages->currentIndex() == kLoginPage)
        m_loginPage->TabSheet1Show();
}

void TfrmPrincipal::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TfrmPrincipal::FormResize()
{
    const int w = m_central->width();
    const int h = m_central->height();
    // Anchored children follow the client area.
    m_statusBar->setGeometry(0, h - m_statusBar->height(), w, m_statusBar->height());
    const int body = h - m_statusBar->height();
    // The menu keeps the width it was given for its captions (170 by design).
    const int menu = m_menu->width();
    m_menu->setGeometry(0, 0, menu, body);
    m_pages->setGeometry(menu, 0, w - menu, body);
    m_log->setGeometry(w - 330, 0, 330, 220);
    m_onlineList->setGeometry(w - 330, 0, 330, 220);

    // Every page has the page control's size, not only the one on show, so
    // that each lays itself out for when it comes up.
    for (int i = 0; i < m_pages->count(); ++i)
        m_pages->widget(i)->setGeometry(m_pages->contentsRect());

    CenterControl(m_infoPanel, m_central, 3);
    m_mediaPage->WMPlayer->update();
    m_mediaPage->update();
    m_statusBar->setPanelWidth(0, w - 237);
}

void TfrmPrincipal::setHighlighted(TClickLabel *label)
{
    if (m_highlighted) {
        m_highlighted->setBold(false);
        m_highlighted->setTColor(kMenuPlainColor);
    }
    label->setBold(true);
    label->setTColor(kMenuSelectedColor);
    m_highlighted = label;
}

void TfrmPrincipal::lblEnvoyerClick(TClickLabel *sender)
{
    int page = -1;
    if (sender == m_downloadsLabel)
        page = kDownloadsPage;
    else if (sender == m_uploadsLabel)
        page = kUploadsPage;
    else if (sender == m_sendLabel)
        page = kSendPage;
    else if (sender == m_optionsLabel)
        page = kOptionsPage;
    else if (sender == m_contactsLabel)
        page = kContactPage;
    else if (sender == m_mediaLabel)
        page = kMediaPage;
    if (page < 0)
        return;
    m_pages->setCurrentIndex(page);
    setHighlighted(sender);
    m_menu->setFocus();
    // Enabling leaves a running timer alone: restarting it at every click
    // would hold the presence poll back for as long as the user navigates.
    QTimer &poll = m_controllers.presence().refreshTimer();
    if (m_controllers.session().isConnected() && !poll.isActive())
        poll.start();
}

void TfrmPrincipal::lblTelEnCoursMouseEnter(TClickLabel *sender)
{
    // A disabled entry does not answer the pointer: turning bold would make
    // it look usable.
    if (!sender->isEnabled())
        return;
    sender->setBold(true);
}

void TfrmPrincipal::lblTelEnCoursMouseLeave(TClickLabel *sender)
{
    if (sender != m_highlighted)
        sender->setBold(false);
}

void TfrmPrincipal::lblAboutClick()
{
    if (auto *dialog = qobject_cast<QDialog *>(m_about.data()))
        dialog->exec();
}

void TfrmPrincipal::Quitter1Click()
{
    close();
}

bool TfrmPrincipal::IsDiagnosticKey(const QKeyEvent &event)
{
    // The key at the top left of the letter block, left of "1": "²" on the
    // French keyboards this client was made for, "`" on a US one. Nobody
    // types it in a name or a password, unlike the apostrophe that shares a
    // Windows key code with it on other layouts. Its place is what counts,
    // so the test is on the hardware key (X and Wayland number it 49),
    // whatever the layout and the modifiers make of it.
    constexpr quint32 kKeyLeftOfOne = 49;
    if (event.nativeScanCode() != 0)
        return event.nativeScanCode() == kKeyLeftOfOne;
    // A platform that reports no hardware key: the characters that key
    // carries on the French and the US layouts.
    return event.key() == Qt::Key_twosuperior || event.key() == Qt::Key_QuoteLeft;
}

bool TfrmPrincipal::IsTextEntry(const QWidget *widget)
{
    // Where a key press types text, the key is the member's, never a command.
    if (const auto *line = qobject_cast<const QLineEdit *>(widget))
        return !line->isReadOnly();
    if (const auto *text = qobject_cast<const QTextEdit *>(widget))
        return !text->isReadOnly();
    if (const auto *plain = qobject_cast<const QPlainTextEdit *>(widget))
        return !plain->isReadOnly();
    if (const auto *spin = qobject_cast<const QAbstractSpinBox *>(widget))
        return !spin->isReadOnly();
    if (const auto *combo = qobject_cast<const QComboBox *>(widget))
        return combo->isEditable();
    return false;
}

void TfrmPrincipal::FormKeyDown(const QKeyEvent &event)
{
    if (!IsDiagnosticKey(event) || IsTextEntry(QApplication::focusWidget()))
        return;
    m_log->setVisible(!m_log->isVisible());
    m_onlineList->setVisible(!m_log->isVisible());
    (m_log->isVisible() ? static_cast<QWidget *>(m_log) : m_onlineList)->raise();
}

bool TfrmPrincipal::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *widget = qobject_cast<QWidget *>(watched);
        // A key event travels up the parents when ignored; look at it once,
        // where it is first delivered.
        QWidget *focus = QApplication::focusWidget();
        if (widget && widget->window() == this && (widget == focus || (!focus && widget == this)))
            FormKeyDown(*static_cast<QKeyEvent *>(event));
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmPrincipal::setDropAccepted(bool accepted)
{
    m_dropAccepted = accepted;
    setAcceptDrops(accepted);
    // Files dropped on an online contact go to that contact.
    m_contactView->setDropAccepted(accepted);
}

void TfrmPrincipal::dragEnterEvent(QDragEnterEvent *event)
{
    if (m_dropAccepted && event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TfrmPrincipal::dropEvent(QDropEvent *event)
{
    if (!m_dropAccepted)
        return;
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    DropFiles(paths);
}

void TfrmPrincipal::DropFiles(const QStringList &paths)
{
    if (!m_dropAccepted || paths.isEmpty())
        return;
    // Paths are taken whole: a long path is not cut to a fixed buffer. A
    // folder stands for the files in it.
    lblEnvoyerClick(m_sendLabel);
    const QStringList files = OfferQueue::FilesOf(paths);
    if (files.size() > 1)
        m_sendPage->setSendFiles(files);
    else
        m_sendPage->setFile(files.isEmpty() ? paths.last() : files.first());
}

bool TfrmPrincipal::DropFilesOnContact(const QString &pseudo, const QStringList &paths)
{
    if (!m_dropAccepted || pseudo.isEmpty() || m_controllers.presence().GetIP(pseudo).isEmpty())
        return false;
    if (m_controllers.offers().Offer(pseudo, paths) == 0) {
        AffichInfo(QStringLiteral("Vous devez sélectionner un fichier qui existe !"), true, 1500);
        return false;
    }
    return true;
}
