#include "contacts/ui/TfrmCard.h"

#include "base/DialogService.h"
#include "components/TColor.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TRbPanel.h"
#include "components/ui/TRoundedPanel.h"

#include <QEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

QPixmap closePicture(bool hover)
{
    QPixmap pm(13, 13);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(hover ? QColor(200, 40, 40) : QColor(150, 150, 150));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(0, 0, 13, 13, 3, 3);
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(3, 3, 9, 9);
    p.drawLine(9, 3, 3, 9);
    return pm;
}

} // namespace

TfrmCard::TfrmCard(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmCard"));
    setWindowTitle(QStringLiteral("Carte de visite"));
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_TranslucentBackground);

    // The styled panel behind the card: a rounded vertical gradient with a
    // grey border 2 pixels wide and corners 10 pixels wide, its caption in
    // the top-left corner. The gradient needs the smoothing off first: the
    // two exclude each other.
    RbPanel4 = new TRbPanel(this);
    RbPanel4->setObjectName(QStringLiteral("RbPanel4"));
    RbPanel4->setCaption(QStringLiteral("Carte de visite"));
    RbPanel4->setCaptionPosition(cpTopLeft);
    RbPanel4->setAntialiased(false);
    RbPanel4->setGradient(true);
    RbPanel4->setGradientType(gtVertical);
    RbPanel4->setDefaultFrom(14086904);
    RbPanel4->setDefaultTo(10740718);
    RbPanel4->setBorderColor(0x808080);
    RbPanel4->setBorderWidth(2);
    RbPanel4->setCornerWidth(10);
    RbPanel4->setGeometry(0, 0, kWidth, kHeight);
    RbPanel4->setMouseTracking(true);
    RbPanel4->installEventFilter(this);

    // The rounded frame the avatar sits in.
    auto *frame = new TRoundedPanel(RbPanel4);
    frame->setCornerWidth(8);
    frame->setBorder(1, QColor(160, 160, 160));
    pnAvatar = frame;
    pnAvatar->setGeometry(10, 32, 96, 96);
    imgAvatar = new QLabel(pnAvatar);
    imgAvatar->setObjectName(QStringLiteral("imgAvatar"));
    imgAvatar->setGeometry(2, 2, 92, 92);
    imgAvatar->setAlignment(Qt::AlignCenter);

    lblPseudo = new QLabel(RbPanel4);
    lblPseudo->setObjectName(QStringLiteral("lblPseudo"));
    lblPseudo->setGeometry(112, 20, 136, 20);
    lblPseudo->setAlignment(Qt::AlignCenter);
    lblPseudo->setTextFormat(Qt::PlainText);
    QFont bold = lblPseudo->font();
    bold.setBold(true);
    lblPseudo->setFont(bold);

    Label1 = new QLabel(QStringLiteral("Mail :"), RbPanel4);
    Label1->setGeometry(112, 52, 136, 16);
    lblMail = new TClickLabel(QString(), RbPanel4);
    lblMail->setObjectName(QStringLiteral("lblMail"));
    lblMail->setGeometry(112, 68, 140, 16);
    lblMail->setCursor(Qt::PointingHandCursor);
    Label3 = new QLabel(QStringLiteral("Site Web :"), RbPanel4);
    Label3->setGeometry(112, 92, 136, 16);
    lblWeb = new TClickLabel(QString(), RbPanel4);
    lblWeb->setObjectName(QStringLiteral("lblWeb"));
    lblWeb->setGeometry(112, 108, 140, 16);
    lblWeb->setCursor(Qt::PointingHandCursor);

    lblEnvoyerFichier = new TClickLabel(QStringLiteral("Envoyer un fichier…"), RbPanel4);
    lblEnvoyerFichier->setObjectName(QStringLiteral("lblEnvoyerFichier"));
    lblEnvoyerFichier->setGeometry(112, 126, 140, 16);
    lblEnvoyerFichier->setCursor(Qt::PointingHandCursor);
    {
        QFont underlined = lblEnvoyerFichier->font();
        underlined.setUnderline(true);
        lblEnvoyerFichier->setFont(underlined);
        QPalette olive = lblEnvoyerFichier->palette();
        olive.setColor(QPalette::WindowText, QColor(128, 128, 0));
        lblEnvoyerFichier->setPalette(olive);
    }
    lblEnvoyerFichier->hide();

    btnClose = new TClickLabel(QString(), RbPanel4);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(kWidth - 21, 6, 15, 15);
    btnClose->setAlignment(Qt::AlignCenter);
    btnClose->setMouseTracking(true);
    btnClose->installEventFilter(this);

    connect(btnClose, &TClickLabel::clicked, this, &TfrmCard::btnCloseClick);
    connect(lblMail, &TClickLabel::clicked, this, &TfrmCard::lblMailClick);
    connect(lblWeb, &TClickLabel::clicked, this, &TfrmCard::lblWebClick);
    connect(lblEnvoyerFichier, &TClickLabel::clicked, this, &TfrmCard::lblEnvoyerFichierClick);
    FormCreate();
}

void TfrmCard::FormCreate()
{
    m_closeImages[0] = closePicture(false);
    m_closeImages[1] = closePicture(true);
    setCloseImage(0);
}

void TfrmCard::setCloseImage(int index)
{
    m_closeImage = index;
    btnClose->setPixmap(m_closeImages[index]);
}

void TfrmCard::setDetails(const QString &pseudo, const QString &mail, const QString &web)
{
    lblPseudo->setText(pseudo);
    // Addresses come from the service: shown as plain text, never as markup.
    lblMail->setTextFormat(Qt::PlainText);
    lblWeb->setTextFormat(Qt::PlainText);
    lblMail->setText(mail);
    Label1->setVisible(!mail.isEmpty());
    // The card is small and an address can be long: what does not fit is
    // shown shortened in the middle, whole in the tooltip, and opened whole.
    m_webAddress = web.left(kMaxWebAddress);
    lblWeb->setText(lblWeb->fontMetrics().elidedText(m_webAddress, Qt::ElideMiddle, lblWeb->width()));
    lblWeb->setToolTip(m_webAddress);
    Label3->setVisible(!m_webAddress.isEmpty());
}

void TfrmCard::setCanSendFile(bool can)
{
    lblEnvoyerFichier->setVisible(can);
}

void TfrmCard::lblEnvoyerFichierClick()
{
    const QString pseudo = lblPseudo->text();
    close();
    emit sendFileRequested(pseudo);
}

void TfrmCard::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TfrmCard::FormShow()
{
    // Above every other window, and focused so that a click elsewhere
    // takes the focus away and closes it.
    raise();
    activateWindow();
}

void TfrmCard::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow())
        FormDeactivate();
}

void TfrmCard::FormDeactivate()
{
    close();
}

void TfrmCard::btnCloseClick()
{
    close();
}

void TfrmCard::btnCloseMouseMove()
{
    setCloseImage(1);
}

void TfrmCard::RbPanel4MouseMove()
{
    setCloseImage(0);
}

bool TfrmCard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove) {
        if (watched == btnClose) {
            btnCloseMouseMove();
            return true; // not passed on to the panel below
        }
        if (watched == RbPanel4)
            RbPanel4MouseMove();
    }
    return QDialog::eventFilter(watched, event);
}

QString TfrmCard::webAddressToOpen(const QString &web)
{
    const QString address = web.trimmed();
    if (address.isEmpty() || address.contains(QStringLiteral("://"))
        || address.startsWith(QStringLiteral("mailto:"), Qt::CaseInsensitive))
        return address;
    return QStringLiteral("http://") + address;
}

void TfrmCard::lblMailClick()
{
    const QString address = QStringLiteral("mailto:") + lblMail->text();
    if (m_dialogs && !m_dialogs->openUrl(address))
        emit openFailed(address);
    close();
}

void TfrmCard::lblWebClick()
{
    const QString address = webAddressToOpen(m_webAddress);
    if (m_dialogs && !m_dialogs->openUrl(address))
        emit openFailed(address);
    close();
}
