// The info panel, notification pop-ups, the alert sound and the shell of
// the main window.
#include "app/ui/TfrmPrincipal.h"

#include "app/PopupNotifier.h"
#include "app/ui/AlertSound.h"
#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmMsgBox.h"
#include "base/DialogService.h"
#include "components/TColor.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TDistractBar.h"
#include "components/ui/TRbButton.h"
#include "components/ui/TRbProgressBar.h"
#include "components/ui/TShape.h"
#include "contacts/ui/AvatarLabel.h"
#include "negotiation/ui/TSendPage.h"
#include "service/ServiceSession.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QStackedWidget>
#include <QTimer>

namespace {

// The info panel's icon: an "i" in a disc, in the panel's colours.
QPixmap infoIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0xBF, 0xA9, 0x2B), 2));
    p.setBrush(QColor(0xE9, 0xDE, 0x9D));
    p.drawEllipse(QRectF(2, 2, 28, 28));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 128));
    p.drawEllipse(QRectF(14, 7, 4, 4));
    p.drawRoundedRect(QRectF(14, 13, 4, 12), 1, 1);
    return pixmap;
}

} // namespace

// The info panel: its frame lies under everything, the message label, the
// activity bar, the loading bar and "Annuler" above it.
void TfrmPrincipal::buildInfoPanel(QWidget *central)
{
    m_infoPanel = new QFrame(central);
    m_infoPanel->setObjectName(QStringLiteral("pnInfo"));
    m_infoPanel->setGeometry(8, 368, 361, 123);
    m_infoPanel->setAutoFillBackground(true);
    QPalette pal = m_infoPanel->palette();
    pal.setColor(QPalette::Window, TColor::toQColor(10346217));
    m_infoPanel->setPalette(pal);
    m_infoPanel->hide();
    m_infoText = new QLabel(m_infoPanel);
    m_infoText->setObjectName(QStringLiteral("lblInfo"));
    m_infoText->setGeometry(44, 15, 310, 75);
    m_infoText->setWordWrap(true);
    // Messages carry names and addresses from the service and from peers:
    // shown as written, never read as markup.
    m_infoText->setTextFormat(Qt::PlainText);
    m_infoText->setFont(PageLook::font(11, true));
    m_infoText->setAttribute(Qt::WA_TranslucentBackground);
    m_infoText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette infoPal = m_infoText->palette();
    infoPal.setColor(QPalette::WindowText, QColor(0, 0, 128)); // navy
    m_infoText->setPalette(infoPal);

    m_infoFrame = new TShape(m_infoPanel);
    m_infoFrame->setObjectName(QStringLiteral("Shape2"));
    m_infoFrame->setGeometry(0, 0, 361, 122);
    m_infoFrame->setBrushColor(14611448);
    m_infoFrame->setPenColor(2861503);
    m_infoFrame->setPenWidth(2);
    m_infoFrame->lower();

    m_infoIcon = new QLabel(m_infoPanel);
    m_infoIcon->setObjectName(QStringLiteral("Image6"));
    m_infoIcon->setGeometry(8, 16, 32, 32);
    m_infoIcon->setPixmap(infoIcon());

    m_activityBar = new TDistractBar(m_infoPanel);
    m_activityBar->setObjectName(QStringLiteral("DistractBar1"));
    m_activityBar->setGeometry(100, 104, 160, 9);
    m_activityBar->setBarCount(15);
    m_activityBar->setBackGroundColor(14611448);
    m_activityBar->setBarColorOn(14611448);
    m_activityBar->setBarColorOnEnd(14611448);
    m_activityBar->setBarColorOff(10346217);
    m_activityBar->setBarColorOffEnd(10346217);
    m_activityBar->setLineColor(2861503);
    m_activityBar->setLineColorEnd(2861503);
    m_activityBar->setInterval(40);
    m_activityBar->setProcess(apDouble);
    QFont barFont(QStringLiteral("Arial"));
    barFont.setPixelSize(13);
    m_activityBar->setFont(barFont);
    m_activityBar->setFontColor(0);

    m_loadingBar = new TRbProgressBar(m_infoPanel);
    m_loadingBar->setObjectName(QStringLiteral("pBarLoading"));
    m_loadingBar->setGeometry(104, 84, 150, 16);
    m_loadingBar->hide();

    m_cancelOffer = new TRbButton(m_infoPanel);
    m_cancelOffer->setObjectName(QStringLiteral("btnCancelTrans"));
    m_cancelOffer->setCaption(QStringLiteral("Annuler"));
    m_cancelOffer->UseFormColors();
    m_cancelOffer->setGeometry(268, 80, 75, 22);
    m_cancelOffer->hide();

    m_infoTimer = new QTimer(this);
    m_infoTimer->setObjectName(QStringLiteral("TimerInfo"));
    m_infoTimer->setInterval(0);
    connect(m_infoTimer, &QTimer::timeout, this, &TfrmPrincipal::TimerInfoTimer);
}

void TfrmPrincipal::AffichInfo(const QString &Text, bool Show, int Milliseconds)
{
    if (!Show) {
        m_infoPanel->hide();
        m_activityBar->setAnimated(false);
        return;
    }
    m_infoPanel->show();
    m_infoPanel->raise();
    m_infoText->setText(Text);
    m_infoPanel->repaint();
    m_activityBar->setAnimated(true);
    m_activityBar->repaint();
    if (Milliseconds > 0) {
        m_infoTimer->setInterval(Milliseconds);
        m_infoTimer->start();
    }
}

void TfrmPrincipal::TimerInfoTimer()
{
    AffichInfo(QString(), false, 0);
    m_infoTimer->stop();
}

TfrmMsgBox *TfrmPrincipal::NewMsgBox(const QString &Pseudo, const QString &Text, quint8 Kind)
{
    PopupNotifier &notifier = m_controllers.notifier();
    auto *box = new TfrmMsgBox(&notifier);
    if (Kind == 0) {
        // The contact's avatar, fitted to the pop-up's 40 pixels. A
        // picture that does not decode leaves no half-made pop-up behind.
        try {
            AvatarLabel::show(m_controllers.avatars(), Pseudo, box->imgAvatar, false);
        } catch (...) {
            delete box;
            throw;
        }
        box->lblDialoguer->show();
        box->lblSendFile->show();
    } else if (Kind <= 3) {
        box->setKindIcon(Kind == 1 ? 2 : Kind == 2 ? 1 : 0);
    }
    if (Kind != 0)
        box->makeBodyClickable();
    box->lblTexteCentral->setText(Pseudo + QStringLiteral("\n\r") + Text);
    box->move(box->screenOrigin().x() + box->width() * notifier.MsgBoxCount + 10, box->y());
    box->Kind = Kind;
    if (Kind == 0)
        box->ContactPseudo = Pseudo;
    box->show();
    notifier.popupShown();
    return box;
}

void TfrmPrincipal::connectNotifier()
{
    PopupNotifier &notifier = m_controllers.notifier();
    connect(&notifier, &PopupNotifier::alertWanted, this, &TfrmPrincipal::PlayAlertSound);
    connect(&notifier, &PopupNotifier::receptionWanted, this, [this] {
        if (QWidget *reception = m_reception.data())
            reception->setWindowState(
                reception->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    });
    connect(&notifier, &PopupNotifier::downloadsWanted, this, [this] {
        RestoreMainWindow();
        lblEnvoyerClick(m_downloadsLabel);
    });
    connect(&notifier, &PopupNotifier::uploadsWanted, this, [this] {
        RestoreMainWindow();
        lblEnvoyerClick(m_uploadsLabel);
    });
    // Queued: the file dialog that follows runs its own event loop, during
    // which the pop-up may expire; it must not be under its own click then.
    connect(&notifier, &PopupNotifier::sendFileWanted, this, &TfrmPrincipal::SendFileToContact,
        Qt::QueuedConnection);
}

void TfrmPrincipal::RestoreMainWindow()
{
    emit applicationRestoring();
    show();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}

void TfrmPrincipal::SendFileToContact(const QString &pseudo)
{
    RestoreMainWindow();
    QCoreApplication::processEvents();
    show();
    repaint();
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    m_pages->setCurrentWidget(m_sendPage);
    m_sendPage->sendFileTo(pseudo);
}

AlertSound *TfrmPrincipal::alertSound()
{
    if (!m_alertSound)
        m_alertSound = new AlertSound(this);
    return m_alertSound;
}

void TfrmPrincipal::setAlertSound(AlertSound *sound)
{
    delete m_alertSound;
    m_alertSound = sound;
    if (sound)
        sound->setParent(this);
}

void TfrmPrincipal::PlayAlertSound()
{
    alertSound()->play(m_controllers.environment().homeDir + QStringLiteral("/newalert.wav"));
}

void TfrmPrincipal::ShellOpen(const QString &address)
{
    if (!m_controllers.dialogs().openUrl(address))
        ShellOpenFailed(address);
}

void TfrmPrincipal::ShellOpenFailed(const QString &address)
{
    AffichInfo(QStringLiteral("Aucun programme n'a pu ouvrir :\n\r") + address, true, 3000);
}

void TfrmPrincipal::showOwnAvatar(bool refresh)
{
    AvatarLabel::show(m_controllers.avatars(), m_controllers.session().currentPseudo(), m_ownAvatar, refresh);
}
