#include "contacts/ui/TfrmCard.h"

#include "app/DialogService.h"
#include "components/TColor.h"
#include "components/ui/TClickLabel.h"

#include <QEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

// The styled panel behind the card: a rounded vertical gradient with a grey
// border 2 pixels wide and corners 10 pixels wide.
class CardPanel : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, 0, height());
        g.setColorAt(0, TColor::toQColor(14086904));
        g.setColorAt(1, TColor::toQColor(10740718));
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 10, 10);
        p.fillPath(path, g);
        p.setPen(QPen(QColor(128, 128, 128), 2));
        p.drawPath(path);
    }
};

// The rounded frame the avatar sits in.
class AvatarFrame : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
        p.fillPath(path, Qt::white);
        p.setPen(QColor(160, 160, 160));
        p.drawPath(path);
    }
};

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

    RbPanel4 = new CardPanel(this);
    RbPanel4->setObjectName(QStringLiteral("RbPanel4"));
    RbPanel4->setGeometry(0, 0, kWidth, kHeight);
    RbPanel4->setMouseTracking(true);
    RbPanel4->installEventFilter(this);

    lblCaption = new QLabel(QStringLiteral("Carte de visite"), RbPanel4);
    lblCaption->setGeometry(10, 4, 120, 16);
    QFont small = lblCaption->font();
    small.setPixelSize(10);
    lblCaption->setFont(small);

    pnAvatar = new AvatarFrame(RbPanel4);
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

    btnClose = new TClickLabel(QString(), RbPanel4);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(kWidth - 21, 6, 15, 15);
    btnClose->setAlignment(Qt::AlignCenter);
    btnClose->setMouseTracking(true);
    btnClose->installEventFilter(this);

    connect(btnClose, &TClickLabel::clicked, this, &TfrmCard::btnCloseClick);
    connect(lblMail, &TClickLabel::clicked, this, &TfrmCard::lblMailClick);
    connect(lblWeb, &TClickLabel::clicked, this, &TfrmCard::lblWebClick);
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
    lblWeb->setText(web.left(kMaxWebAddress));
    Label3->setVisible(!lblWeb->text().isEmpty());
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

void TfrmCard::lblMailClick()
{
    if (m_dialogs)
        m_dialogs->openUrl(QStringLiteral("mailto:") + lblMail->text());
    close();
}

void TfrmCard::lblWebClick()
{
    if (m_dialogs)
        m_dialogs->openUrl(lblWeb->text());
    close();
}
