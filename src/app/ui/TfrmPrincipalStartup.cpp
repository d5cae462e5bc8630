// Start-up, settings, layout, navigation, options page, dropped files and
// exit of the main window.
#include "app/ui/TfrmPrincipal.h"

#include "app/PopupNotifier.h"
#include "base/DialogService.h"
#include "base/ErrorReport.h"
#include "base/SettingsStore.h"
#include "service/ServiceSession.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TRbCheckBox.h"
#include "components/ui/TStatusBar.h"
#include "contacts/ui/TOnlineList.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/OfferQueue.h"
#include "negotiation/DownloadFolder.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QHostAddress>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <cmath>

void CenterControl(QWidget *control, QWidget *parent, int mode)
{
    if (!control || !parent)
        return;
    // Integer division truncates toward zero, so a control wider than its
    // parent gets a negative position.
    if (mode == 1 || mode == 3)
        control->move((parent->width() - control->width()) / 2, control->y());
    if (mode == 2 || mode == 3)
        control->move(control->x(), (parent->height() - control->height()) / 2);
}

bool FolderExists(const QString &path)
{
    QString p = path;
    if (p.endsWith(u'\\') || p.endsWith(u'/'))
        p.chop(1);
    if (p.isEmpty())
        return path == QStringLiteral("/");
    return QFileInfo(p).isDir();
}

QString TfrmPrincipal::ReadRegistryString(const QString &name) const
{
    return services.settings->read(name);
}

void TfrmPrincipal::WriteRegistryString(const QString &name, const QString &value)
{
    services.settings->write(name, value);
}

QString TfrmPrincipal::programDir() const
{
    return services.environment.homeDir + QDir::separator();
}

void TfrmPrincipal::FormCreate()
{
    // Key preview: the window sees every key press first.
    qApp->installEventFilter(this);
    pnInfo->raise();
    StatusBar->setPanelText(2, QStringLiteral("Déconnecté"));
    HighlightedMenuLabel = lblDeconnect;
    setHighlighted(lblDeconnect);

    PageControl->setCurrentIndex(0);

    // A store that cannot be opened (a folder that cannot be written) goes to
    // the general error report once; the client then starts without a
    // remembered account and with the defaults, as on a first start.
    QString user;
    QString storedPassword;
    QString playSound;
    ErrorReport::guard([&] {
        user = ReadRegistryString(QStringLiteral("User"));
        if (!user.isEmpty())
            storedPassword = ReadRegistryString(QStringLiteral("Mdp"));
        playSound = ReadRegistryString(QStringLiteral("PlaySound"));
    });
    if (!user.isEmpty()) {
        session.CurrentPseudo = user;
        session.Codec.DecryptForUser(session.CurrentPseudo, storedPassword, session.CurrentPassword);
        pnMdpLogin->hide();
        lblPseudoConnec->setText(session.CurrentPseudo);
        lblPseudoConnec->show();
        btnConnexion->setEnabled(true);
    } else {
        pnMdpLogin->show();
        lblPseudoConnec->hide();
    }

    notifier.SoundEnabled = playSound == QStringLiteral("1");

    const QString temp = programDir() + QStringLiteral("temp");
    if (!FolderExists(temp))
        QDir().mkpath(temp); // a failure shows later, where a write into it fails
    TempPath = temp;

    startControlListener();
}

void TfrmPrincipal::startControlListener()
{
    if (Control->Listen(services.environment.localIp, kControlPort))
        return;
    // Another client (or program) holds the port: this one still runs, but
    // cannot receive offers. Say so once the window is up.
    const QString text = QStringLiteral(
        "Le port %1 est déjà utilisé sur cet ordinateur (%2).\n\r"
        "Voxlane fonctionne, mais ne pourra pas recevoir de fichiers tant qu'il n'est pas relancé.")
                             .arg(kControlPort)
                             .arg(Control->ServerTransac->errorString());
    LogWatch(QStringLiteral("Écoute du port %1 impossible : %2").arg(kControlPort).arg(Control->ServerTransac->errorString()));
    QTimer::singleShot(0, this, [this, text] {
        services.dialogs->showMessage(text, QStringLiteral("Voxlane"), DialogService::Kind::Warning);
    });
}

void TfrmPrincipal::LogWatch(const QString &line)
{
    if (line.size() <= kLogLineLength) {
        reWatch->appendPlainText(line);
        return;
    }
    reWatch->appendPlainText(line.left(kLogLineLength) + QStringLiteral("…"));
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
    if (PageControl->currentIndex() == 0)
        TabSheet1Show();
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
    StatusBar->setGeometry(0, h - StatusBar->height(), w, StatusBar->height());
    const int body = h - StatusBar->height();
    // The menu keeps the width it was given for its captions (170 by design).
    const int menu = pnMenu->width();
    pnMenu->setGeometry(0, 0, menu, body);
    PageControl->setGeometry(menu, 0, w - menu, body);
    reWatch->setGeometry(w - 330, 0, 330, 220);
    listOnline->setGeometry(w - 330, 0, 330, 220);

    // Every page has the page control's size, not only the one on show, so
    // the centring below holds whichever page comes up next.
    for (int i = 0; i < PageControl->count(); ++i)
        PageControl->widget(i)->setGeometry(PageControl->contentsRect());

    CenterControl(pnInfo, m_central, 3);
    for (QWidget *c : {static_cast<QWidget *>(imgIcoDecompose), static_cast<QWidget *>(lblFileDecompose),
                       static_cast<QWidget *>(lblDecompFileSize)})
        CenterControl(c, TabSheet4, 1);

    // The log-in block sits above and left of the centre; halves round to even.
    const int dx = (TabSheet1->width() - pnConexionItems->width()) / 2;
    const int dy = (TabSheet1->height() - pnConexionItems->height()) / 2;
    pnConexionItems->move(int(std::nearbyint(dx * 0.7)), int(std::nearbyint(dy * 0.7)));

    WMPlayer->update();
    TabSheet7->update();
    StatusBar->setPanelWidth(0, w - 237);
}

void TfrmPrincipal::setHighlighted(TClickLabel *label)
{
    if (HighlightedMenuLabel) {
        HighlightedMenuLabel->setBold(false);
        HighlightedMenuLabel->setTColor(kMenuPlainColor);
    }
    label->setBold(true);
    label->setTColor(kMenuSelectedColor);
    HighlightedMenuLabel = label;
}

void TfrmPrincipal::lblEnvoyerClick(TClickLabel *sender)
{
    int page = -1;
    if (sender == lblTelEnCours)
        page = 1;
    else if (sender == lblEnvoisEnCours)
        page = 2;
    else if (sender == lblEnvoyer)
        page = 3;
    else if (sender == lblMnuOptions)
        page = 4;
    else if (sender == lblMnuContact)
        page = 5;
    else if (sender == lblLecture)
        page = 6;
    if (page < 0)
        return;
    PageControl->setCurrentIndex(page);
    setHighlighted(sender);
    pnMenu->setFocus();
    // Enabling leaves a running timer alone: restarting it at every click
    // would hold the presence poll back for as long as the user navigates.
    if (session.Connected && !TimerRefresh->isActive())
        TimerRefresh->start();
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
    if (sender != HighlightedMenuLabel)
        sender->setBold(false);
}

void TfrmPrincipal::lblAboutClick()
{
    if (auto *dialog = qobject_cast<QDialog *>(m_about.data()))
        dialog->exec();
}

void TfrmPrincipal::TabSheet5Show()
{
    cbFireWall->setChecked(ReadRegistryString(QStringLiteral("FireWall")) == QStringLiteral("1"));
    ckPlaySound->setChecked(ReadRegistryString(QStringLiteral("PlaySound")) == QStringLiteral("1"));
    const QString stored = ReadRegistryString(QStringLiteral("TempPath"));
    // The default shown is the folder partial downloads really go to; names
    // differ by case on Linux, so "Temp" would name another folder.
    ceTempPath->setText(stored.isEmpty() ? programDir() + QStringLiteral("temp") : stored);
    const DownloadFolder downloads(services.settings);
    ceDownloadPath->setText(downloads.folder());
    ckSaveWithoutAsking->setChecked(downloads.saveWithoutAsking());
}

void TfrmPrincipal::btnConfigApplyClick()
{
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    WriteRegistryString(QStringLiteral("FireWall"), flag(cbFireWall->isChecked()));
    WriteRegistryString(QStringLiteral("PlaySound"), flag(ckPlaySound->Checked()));
    notifier.SoundEnabled = ckPlaySound->Checked();
    WriteRegistryString(QStringLiteral("TempPath"), ceTempPath->text());
    // The desktop's download folder is not written down: it follows the
    // desktop's own setting until the user names another one.
    const QString downloads = ceDownloadPath->text().trimmed();
    WriteRegistryString(QStringLiteral("DownloadPath"),
        downloads == DownloadFolder::desktopDownloadFolder() ? QString() : downloads);
    DownloadFolder(services.settings).setSaveWithoutAsking(ckSaveWithoutAsking->isChecked());
}

void TfrmPrincipal::ceTempPathButtonClick()
{
    if (!ShellTreeModel) {
        ShellTreeModel = new QFileSystemModel(this);
        ShellTreeModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
        ShellTreeModel->setRootPath(QDir::rootPath());
        ShellTreeView->setModel(ShellTreeModel);
        for (int column = 1; column < ShellTreeModel->columnCount(); ++column)
            ShellTreeView->hideColumn(column);
    }
    const QString typed = ceTempPath->text().trimmed();
    if (FolderExists(typed)) {
        const QModelIndex index = ShellTreeModel->index(typed);
        ShellTreeView->setCurrentIndex(index);
        ShellTreeView->scrollTo(index);
    }
    ShellTreeView->setVisible(!ShellTreeView->isVisible());
    if (ShellTreeView->isVisible())
        ShellTreeView->setFocus();
}

void TfrmPrincipal::ShellTreeViewDblClick()
{
    if (!ShellTreeModel)
        return;
    const QModelIndex index = ShellTreeView->currentIndex();
    if (index.isValid())
        ceTempPath->setText(QDir::toNativeSeparators(ShellTreeModel->filePath(index)));
    ShellTreeView->hide();
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
    reWatch->setVisible(!reWatch->isVisible());
    listOnline->setVisible(!reWatch->isVisible());
    (reWatch->isVisible() ? static_cast<QWidget *>(reWatch) : listOnline)->raise();
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
    lbOnline->viewport()->setAcceptDrops(accepted);
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
    lblEnvoyerClick(lblEnvoyer);
    const QStringList files = OfferQueue::FilesOf(paths);
    if (files.size() > 1)
        setSendFiles(files);
    else
        FileNameSend->setText(files.isEmpty() ? paths.last() : files.first());
}

bool TfrmPrincipal::DropFilesOnContact(const QString &pseudo, const QStringList &paths)
{
    if (!m_dropAccepted || pseudo.isEmpty() || GetIP(pseudo).isEmpty())
        return false;
    const int queued = Offers->Offer(pseudo, paths);
    if (queued == 0) {
        AffichInfo(QStringLiteral("Vous devez sélectionner un fichier qui existe !"), true, 1500);
        return false;
    }
    return true;
}

bool TfrmPrincipal::FormCloseQuery()
{
    // An offer still on show is answered before the connections go, and its
    // window (which has no parent) must not keep the program running.
    if (ReceptionWindow)
        ReceptionWindow->close();
    Control->CloseAll();
    if (session.Connected) {
        // The transfer lists are saved before the session closes; a list
        // that cannot be written keeps the program open, as it was: its
        // transfers going on and offers taken again.
        if (!SaveLoadForLeaving()) {
            startControlListener();
            return false;
        }
        // The outcome does not matter on the way out, so a service that hangs
        // gets a few seconds, not the stall limit of an ordinary request.
        session.CloseSession(services.httpLimits.exitTimeoutMs);
    }
    return true;
}

void TfrmPrincipal::closeEvent(QCloseEvent *event)
{
    if (FormCloseQuery()) {
        emit closing();
        event->accept();
    } else {
        event->ignore();
    }
}
