#include "negotiation/ui/TfrmReception.h"

#include "base/DialogService.h"
#include "components/TColor.h"
#include "components/ui/TRbButton.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/DownloadFolder.h"
#include "transfer/TransferManager.h"
#include "transfer/ui/TTransferPage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QFileInfo>
#include <QLabel>
#include <QScreen>
#include <QTimer>

namespace {

QLabel *plainLabel(const QString &text, QWidget *parent, const QRect &geometry)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText); // peer's texts are never markup
    label->setGeometry(geometry);
    return label;
}

void setTextColor(QWidget *w, QColor color)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, color);
    pal.setColor(QPalette::ButtonText, color);
    w->setPalette(pal);
}

} // namespace

TfrmReception::TfrmReception(QWidget *parent)
    : QDialog(parent,
        Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
            | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmReception"));
    setWindowTitle(QStringLiteral("VX - Réception"));
    setFixedSize(445, 225);
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(8);
    setFont(f);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, TColor::toQColor(kBackground));
    setPalette(pal);

    auto *top = new QFrame(this);
    top->setGeometry(0, 0, 445, 50);
    auto *heading = plainLabel(QStringLiteral("Réception"), top, QRect(12, 6, 300, 20));
    QFont bold = font();
    bold.setBold(true);
    bold.setPointSize(10);
    heading->setFont(bold);
    setTextColor(heading, TColor::toQColor(12937777));
    plainLabel(QStringLiteral("Voulez-vous accepter ce fichier ?"), top, QRect(24, 28, 400, 16));

    auto *box = new QFrame(this);
    box->setFrameShape(QFrame::Box);
    box->setGeometry(12, 54, 421, 100);
    imgIco = new QLabel(box);
    imgIco->setObjectName(QStringLiteral("imgIco"));
    imgIco->setGeometry((421 - 32) / 2, 8, 32, 32);
    lblFichier = plainLabel(QString(), box, QRect(8, 44, 405, 50));
    lblFichier->setObjectName(QStringLiteral("lblFichier"));
    lblFichier->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblFichier->setWordWrap(true);

    plainLabel(QStringLiteral("Taille :"), this, QRect(12, 162, 50, 16));
    lblTaille = plainLabel(QString(), this, QRect(64, 162, 150, 16));
    lblTaille->setObjectName(QStringLiteral("lblTaille"));
    plainLabel(QStringLiteral("De :"), this, QRect(220, 162, 30, 16));
    lblDe = plainLabel(QString(), this, QRect(252, 162, 180, 16));
    lblDe->setObjectName(QStringLiteral("lblDe"));
    QFont deFont = font();
    deFont.setBold(true);
    lblDe->setFont(deFont);
    setTextColor(lblDe, QColor(0, 0, 128));

    // Each button's corners take the window's colour; the captions keep the
    // colours that say which answer is which.
    btnRefuser = new TRbButton(this);
    btnRefuser->setObjectName(QStringLiteral("btnRefuser"));
    btnRefuser->setCaption(QStringLiteral("Refuser"));
    btnRefuser->UseFormColors();
    btnRefuser->setColor(kBackground);
    btnRefuser->setFontColor(0x0000FF);
    btnRefuser->setGeometry(12, 188, 100, 26);
    btnAccepter = new TRbButton(this);
    btnAccepter->setObjectName(QStringLiteral("btnAccepter"));
    btnAccepter->setCaption(QStringLiteral("Accepter"));
    btnAccepter->UseFormColors();
    btnAccepter->setColor(kBackground);
    btnAccepter->setFontColor(0x008000);
    btnAccepter->setGeometry(333, 188, 100, 26);
    connect(btnAccepter, &TRbButton::OnClick, this, &TfrmReception::btnAccepterClick);
    connect(btnRefuser, &TRbButton::OnClick, this, &TfrmReception::btnRefuserClick);

    // Clicks anywhere but on the buttons mean the user has seen the window.
    for (QWidget *w :
        { static_cast<QWidget *>(top), static_cast<QWidget *>(box), static_cast<QWidget *>(lblFichier),
            static_cast<QWidget *>(imgIco), static_cast<QWidget *>(heading) })
        w->installEventFilter(this);

    Flash = [this](bool on) {
        if (on)
            QApplication::alert(this, 0);
    };
    FlashTimer = new QTimer(this);
    FlashTimer->setInterval(kFlashInterval);
    connect(FlashTimer, &QTimer::timeout, this, &TfrmReception::FlashTimerTimer);
    FlashTimer->start();
}

void TfrmReception::setServices(ControlChannel *channel, DialogService *dialogs)
{
    m_channel = channel;
    m_dialogs = dialogs;
}

void TfrmReception::setDownloads(SettingsStore *settings, std::function<bool(const QString &path)> pathTaken)
{
    m_settings = settings;
    m_pathTaken = std::move(pathTaken);
}

// The save dialog opens in the last folder used (else the download folder);
// with "save without asking", the file goes to the download folder under a
// name no other file there has.
QString TfrmReception::savePath()
{
    DownloadFolder downloads(m_settings);
    if (downloads.saveWithoutAsking()) {
        QDir().mkpath(downloads.folder());
        return downloads.automaticPath(OfferFileName, m_pathTaken);
    }
    // A desktop that never made its download folder gets it now, as a
    // browser does: a dialog opened on a missing folder shows another one.
    const QString folder = downloads.dialogFolder();
    if (folder == downloads.folder())
        QDir().mkpath(folder);
    const QString path = m_dialogs
        ? m_dialogs->saveFileName(QString(), folder, DownloadFolder::safeFileName(OfferFileName))
        : QString();
    if (!path.isEmpty())
        downloads.noteSaved(path);
    return path;
}

void TfrmReception::ShowOffer(int id, const QString &fileName, const QString &sender, const QString &sizeText)
{
    m_offerId = id;
    ShownFileName = fileName;
    ShownSender = sender;
    ShownSize = sizeText;
    OfferFileName = fileName;
    if (isVisible()) {
        // Already on screen: back to the taskbar; the texts stay those of
        // the last showing.
        showMinimized();
        return;
    }
    showMinimized();
}

void TfrmReception::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    FormShow();
}

void TfrmReception::FormShow()
{
    lblTaille->setText(ShownSize);
    lblFichier->setText(ShownFileName);
    lblDe->setText(ShownSender);
    DessinerIcone();
}

void TfrmReception::DessinerIcone()
{
    const QString ext = TransferManager::ExtractFileExt(ShownFileName);
    QPixmap picture = IconForExtension ? IconForExtension(ext) : QPixmap();
    if (picture.isNull())
        picture = TTransferPage::StockPicture(0);
    imgIco->setPixmap(picture);
}

void TfrmReception::FlashTimerTimer()
{
    m_flashState = !m_flashState;
    if (Flash)
        Flash(m_flashState);
}

void TfrmReception::FormClick()
{
    FlashTimer->stop();
    if (m_flashState && Flash)
        Flash(false);
    m_flashState = false;
}

bool TfrmReception::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease)
        FormClick();
    return QDialog::eventFilter(watched, event);
}

void TfrmReception::mouseReleaseEvent(QMouseEvent *event)
{
    FormClick();
    QDialog::mouseReleaseEvent(event);
}

void TfrmReception::OfferClosed(int id)
{
    if (id == 0 || id != m_offerId)
        return;
    m_offerId = 0;
    close();
}

void TfrmReception::btnAccepterClick()
{
    const int id = m_offerId;
    hide();
    if (id == 0)
        return;
    // The save dialog runs its own event loop: the offer may be withdrawn
    // meanwhile, and the answer then goes nowhere.
    const QString path = savePath();
    if (m_channel && m_channel->OfferAwaitingAnswer(id)) {
        if (path.isEmpty()) {
            m_channel->RefuseOffer(id);
        } else {
            // The dialog asked before naming an existing file: replacing it
            // is what the user chose.
            m_channel->AcceptOffer(id, path, QFileInfo::exists(path));
        }
    }
    // Another offer may have reached the window meanwhile: it stays.
    if (m_offerId != id && m_offerId != 0)
        return;
    m_offerId = 0;
    close();
}

void TfrmReception::btnRefuserClick()
{
    refuseUnanswered();
    close();
}

void TfrmReception::refuseUnanswered()
{
    const int id = m_offerId;
    m_offerId = 0;
    if (m_channel && id != 0)
        m_channel->RefuseOffer(id);
}

void TfrmReception::closeEvent(QCloseEvent *event)
{
    // Any closing answers an offer left without answer, once.
    refuseUnanswered();
    QDialog::closeEvent(event);
}

void TfrmReception::reject()
{
    // Escape closes the window like its close box does.
    refuseUnanswered();
    QDialog::reject();
}
