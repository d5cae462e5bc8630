// The info panel, notification pop-ups, the alert sound and the drawing
// helpers of the main window.
#include "app/ui/TfrmPrincipal.h"

#include "base/DialogService.h"
#include "base/DrawingHelpers.h"
#include "app/PopupNotifier.h"
#include "app/ui/AlertSound.h"
#include "app/ui/TfrmMsgBox.h"
#include "base/DrawingHelpers.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TDistractBar.h"
#include "components/ui/TRbButton.h"
#include "components/ui/TRbProgressBar.h"
#include "components/ui/TShape.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
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

// The info panel's controls around its message label: the frame lies
// under everything, the others above it.
void TfrmPrincipal::buildInfoBarControls()
{
    lblInfo->setAttribute(Qt::WA_TranslucentBackground);
    lblInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette infoPal = lblInfo->palette();
    infoPal.setColor(QPalette::WindowText, QColor(0, 0, 128)); // navy
    lblInfo->setPalette(infoPal);

    Shape2 = new TShape(pnInfo);
    Shape2->setObjectName(QStringLiteral("Shape2"));
    Shape2->setGeometry(0, 0, 361, 122);
    Shape2->setBrushColor(14611448);
    Shape2->setPenColor(2861503);
    Shape2->setPenWidth(2);
    Shape2->lower();

    Image6 = new QLabel(pnInfo);
    Image6->setObjectName(QStringLiteral("Image6"));
    Image6->setGeometry(8, 16, 32, 32);
    Image6->setPixmap(infoIcon());

    DistractBar1 = new TDistractBar(pnInfo);
    DistractBar1->setObjectName(QStringLiteral("DistractBar1"));
    DistractBar1->setGeometry(100, 104, 160, 9);
    DistractBar1->setBarCount(15);
    DistractBar1->setBackGroundColor(14611448);
    DistractBar1->setBarColorOn(14611448);
    DistractBar1->setBarColorOnEnd(14611448);
    DistractBar1->setBarColorOff(10346217);
    DistractBar1->setBarColorOffEnd(10346217);
    DistractBar1->setLineColor(2861503);
    DistractBar1->setLineColorEnd(2861503);
    DistractBar1->setInterval(40);
    DistractBar1->setProcess(apDouble);
    QFont barFont(QStringLiteral("Arial"));
    barFont.setPixelSize(13);
    DistractBar1->setFont(barFont);
    DistractBar1->setFontColor(0);

    pBarLoading = new TRbProgressBar(pnInfo);
    pBarLoading->setObjectName(QStringLiteral("pBarLoading"));
    pBarLoading->setGeometry(104, 84, 150, 16);
    pBarLoading->hide();

    btnCancelTrans = new TRbButton(pnInfo);
    btnCancelTrans->setObjectName(QStringLiteral("btnCancelTrans"));
    btnCancelTrans->setCaption(QStringLiteral("Annuler"));
    btnCancelTrans->UseFormColors();
    btnCancelTrans->setGeometry(268, 80, 75, 22);
    btnCancelTrans->hide();
}

void TfrmPrincipal::AffichInfo(const QString &Text, bool Show, int Milliseconds)
{
    if (!Show) {
        pnInfo->hide();
        DistractBar1->setAnimated(false);
        return;
    }
    pnInfo->show();
    pnInfo->raise();
    lblInfo->setText(Text);
    pnInfo->repaint();
    DistractBar1->setAnimated(true);
    DistractBar1->repaint();
    if (Milliseconds > 0) {
        TimerInfo->setInterval(Milliseconds);
        TimerInfo->start();
    }
}

void TfrmPrincipal::TimerInfoTimer()
{
    AffichInfo(QString(), false, 0);
    TimerInfo->stop();
}

TfrmMsgBox *TfrmPrincipal::NewMsgBox(const QString &Pseudo, const QString &Text, quint8 Kind)
{
    auto *box = new TfrmMsgBox(&notifier);
    if (Kind == 0) {
        if (PopupAvatarLoader) {
            box->setAvatar(PopupAvatarLoader(Pseudo));
        } else {
            // The contact's avatar, fitted to the pop-up's 40 pixels. A
            // picture that does not decode leaves no half-made pop-up behind.
            try {
                GetAvatar(Pseudo, box->imgAvatar, false);
            } catch (...) {
                delete box;
                throw;
            }
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
    connect(&notifier, &PopupNotifier::alertWanted, this, &TfrmPrincipal::PlayAlertSound);
    connect(&notifier, &PopupNotifier::receptionWanted, this, [this] {
        if (QWidget *reception = ReceptionWindow.data())
            reception->setWindowState(
                reception->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    });
    connect(&notifier, &PopupNotifier::downloadsWanted, this, [this] {
        RestoreMainWindow();
        lblEnvoyerClick(lblTelEnCours);
    });
    connect(&notifier, &PopupNotifier::uploadsWanted, this, [this] {
        RestoreMainWindow();
        lblEnvoyerClick(lblEnvoisEnCours);
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
    PageControl->setCurrentIndex(3);
    emit sendFileRequested(pseudo);
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
    alertSound()->play(programDir() + QStringLiteral("newalert.wav"));
}

void TfrmPrincipal::Degrade(QImage &Image, bool Vertical, double FromColor, double ToColor)
{
    DrawingHelpers::Degrade(Image, Vertical, FromColor, ToColor);
}

void TfrmPrincipal::BITMAP_REDIMENSIONAR(
    const QImage &Source, QImage &Target, double Ratio, bool MarkModified, QWidget *shownBy)
{
    if (DrawingHelpers::BITMAP_REDIMENSIONAR(Source, Target, Ratio) && MarkModified && shownBy)
        shownBy->update();
}

void TfrmPrincipal::ShellOpen(const QString &address)
{
    if (!services.dialogs->openUrl(address))
        ShellOpenFailed(address);
}

void TfrmPrincipal::ShellOpenFailed(const QString &address)
{
    AffichInfo(QStringLiteral("Aucun programme n'a pu ouvrir :\n\r") + address, true, 3000);
}
