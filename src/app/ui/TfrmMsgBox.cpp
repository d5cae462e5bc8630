#include "app/ui/TfrmMsgBox.h"

#include "app/PopupNotifier.h"
#include "base/DrawingHelpers.h"
#include "components/TColor.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TRbPanel.h"
#include "components/ui/TShape.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace {

QColor tcolor(quint32 c)
{
    return TColor::toQColor(c);
}

QPixmap gradient(int w, int h, quint32 from, quint32 to)
{
    QImage img(w, h, QImage::Format_RGB32);
    DrawingHelpers::Degrade(img, true, from, to);
    return QPixmap::fromImage(img);
}

QPixmap closePicture(const QColor &fill, const QColor &cross)
{
    QPixmap pixmap(13, 13);
    pixmap.fill(fill);
    QPainter p(&pixmap);
    p.setPen(tcolor(0x2D9EB3));
    p.drawRect(0, 0, 12, 12);
    p.setPen(QPen(cross, 2));
    p.drawLine(4, 4, 8, 8);
    p.drawLine(8, 4, 4, 8);
    return pixmap;
}

// The three kind icons: an arrow up (upload ended), an arrow down (download
// ended), a page (file offered).
QPixmap kindIcon(int index)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (index == 2) {
        QPainterPath page;
        page.moveTo(8, 3);
        page.lineTo(19, 3);
        page.lineTo(25, 9);
        page.lineTo(25, 29);
        page.lineTo(8, 29);
        page.closeSubpath();
        p.setPen(QPen(QColor(0x1B, 0x37, 0x67), 1.5));
        p.setBrush(Qt::white);
        p.drawPath(page);
        p.drawLine(QPointF(12, 14), QPointF(21, 14));
        p.drawLine(QPointF(12, 19), QPointF(21, 19));
        p.drawLine(QPointF(12, 24), QPointF(21, 24));
        return pixmap;
    }
    const bool up = index == 0;
    QPolygonF arrow;
    if (up)
        arrow << QPointF(16, 3) << QPointF(28, 16) << QPointF(21, 16) << QPointF(21, 29) << QPointF(11, 29)
              << QPointF(11, 16) << QPointF(4, 16);
    else
        arrow << QPointF(16, 29) << QPointF(28, 16) << QPointF(21, 16) << QPointF(21, 3) << QPointF(11, 3)
              << QPointF(11, 16) << QPointF(4, 16);
    p.setPen(QPen(QColor(0x1B, 0x37, 0x67), 1.5));
    p.setBrush(up ? QColor(0x3C, 0xB3, 0x4A) : QColor(0x31, 0x6A, 0xC5));
    p.drawPolygon(arrow);
    return pixmap;
}

QFont tahoma()
{
    QFont f(QStringLiteral("Tahoma"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    f.setUnderline(true);
    return f;
}

} // namespace

TfrmMsgBox::TfrmMsgBox(PopupNotifier *notifier)
    : QWidget(nullptr,
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint)
    , m_notifier(notifier)
{
    // A window of the desktop, not of the main window: it shows whatever
    // state the main window is in, also while that one is hidden.
    setObjectName(QStringLiteral("frmMsgBox"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(kWidth, kHeight);
    QFont formFont(QStringLiteral("Trebuchet MS"));
    formFont.setStyleHint(QFont::SansSerif);
    formFont.setPixelSize(11);
    setFont(formFont);

    Image2 = new QLabel(this);
    Image2->setGeometry(0, 24, 181, 120);
    Image2->setScaledContents(true);
    Image2->setPixmap(gradient(181, 120, 0xFFFFFF, 14611448));
    Image1 = new QLabel(this);
    Image1->setGeometry(0, 0, 181, 25);
    Image1->setPixmap(gradient(181, 25, 14611448, 10346217));
    // The frame lies over the pictures; the pointer goes through it to them.
    Shape1 = new TShape(this);
    Shape1->setGeometry(0, 0, kWidth, kHeight);
    Shape1->setBrushClear(true);
    Shape1->setPenColor(2989747);
    Shape1->setPenWidth(1);
    Shape1->setAttribute(Qt::WA_TransparentForMouseEvents);

    Label1 = new QLabel(QStringLiteral("Voxlane"), this);
    Label1->setGeometry(31, 5, 120, 15);
    QPalette pal = Label1->palette();
    pal.setColor(QPalette::WindowText, tcolor(25186));
    Label1->setPalette(pal);

    lblTexteCentral = new QLabel(this);
    lblTexteCentral->setObjectName(QStringLiteral("lblTexteCentral"));
    lblTexteCentral->setGeometry(52, 35, 125, 94);
    lblTexteCentral->setAlignment(Qt::AlignCenter);
    lblTexteCentral->setWordWrap(false);
    lblTexteCentral->setTextFormat(Qt::PlainText);
    pal = lblTexteCentral->palette();
    pal.setColor(QPalette::WindowText, tcolor(6764315));
    lblTexteCentral->setPalette(pal);

    btnClose = new QLabel(this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(160, 4, 13, 13);
    btnClose->setMouseTracking(true);

    const auto link = [this](const QString &caption, int x, Qt::Alignment align) {
        auto *label = new TClickLabel(caption, this);
        label->setFont(tahoma());
        label->setTColor(0x008080); // olive
        label->setCursor(Qt::PointingHandCursor);
        label->setAlignment(align | Qt::AlignVCenter);
        // Sized to the caption as the font renders it; a right-aligned link
        // keeps its right edge and grows to the left.
        const int designWidth = align == Qt::AlignRight ? 90 : 70;
        const int width = std::max(designWidth, label->fontMetrics().horizontalAdvance(caption) + 2);
        label->setGeometry(align == Qt::AlignRight ? x + designWidth - width : x, 127, width, 14);
        label->hide();
        return label;
    };
    lblDialoguer = link(QStringLiteral("Dialoguer"), 7, Qt::AlignLeft);
    lblDialoguer->setObjectName(QStringLiteral("lblDialoguer"));
    lblSendFile = link(QStringLiteral("Envoyer un fichier"), 87, Qt::AlignRight);
    lblSendFile->setObjectName(QStringLiteral("lblSendFile"));
    connect(lblSendFile, &TClickLabel::clicked, this, &TfrmMsgBox::lblSendFileClick);

    // The styled rounded panel that frames the picture. Its corners show
    // the pop-up's background gradient at the panel's middle row.
    RbPanel3 = new TRbPanel(this);
    RbPanel3->setObjectName(QStringLiteral("RbPanel3"));
    RbPanel3->setGeometry(9, 62, 42, 42);
    RbPanel3->setShowCaption(false);
    RbPanel3->setColor(12250871);
    RbPanel3->setCornerWidth(10);
    RbPanel3->setBorderWidth(2);
    RbPanel3->setBorderColor(5163486);
    RbPanel3->setOuterColor(TColor::fromQColor(Image2->pixmap().toImage().pixel(0, 62 + 21 - 24)));
    imgAvatar = new QLabel(RbPanel3);
    imgAvatar->setObjectName(QStringLiteral("imgAvatar"));
    imgAvatar->setGeometry(1, 1, 40, 40);
    imgAvatar->setAlignment(Qt::AlignCenter);
    imgAvatar->setAttribute(Qt::WA_TranslucentBackground);

    ImageList = { closePicture(tcolor(14611448), tcolor(0x67371B)),
        closePicture(tcolor(0xFFFFFF), QColor(200, 30, 30)),
        closePicture(tcolor(10346217), QColor(120, 20, 20)) };
    ImageListTel = { kindIcon(0), kindIcon(1), kindIcon(2) };

    for (QWidget *w : { static_cast<QWidget *>(btnClose), static_cast<QWidget *>(Image1),
             static_cast<QWidget *>(Image2) }) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }

    Moteur = new QTimer(this);
    Moteur->setTimerType(Qt::PreciseTimer);
    Moteur->setInterval(kMoteurInterval);
    connect(Moteur, &QTimer::timeout, this, &TfrmMsgBox::MoteurTimer);

    FormCreate();
    Moteur->start();
}

TfrmMsgBox::~TfrmMsgBox() = default;

QPoint TfrmMsgBox::screenOrigin() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().topLeft() : QPoint();
}

void TfrmMsgBox::FormCreate()
{
    if (m_notifier)
        m_notifier->Alert();
    showClosePicture(0);
    setTop(-height());
}

void TfrmMsgBox::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    FormShow();
}

void TfrmMsgBox::FormShow()
{
    // On top of the other always-on-top windows, where it stands.
    raise();
}

void TfrmMsgBox::setTop(int top)
{
    m_top = top;
    move(x(), screenOrigin().y() + top);
}

void TfrmMsgBox::MoteurTimer()
{
    if (m_released)
        return;
    const int h = height();
    if (HoldTicks == kHoldTicks && m_top > -h) {
        setTop(m_top - kSlideStep);
        if (m_top <= -h)
            release();
        return;
    }
    if (m_top < 0 && HoldTicks < kHoldTicks) {
        // Never past 0, so a height that is not a multiple of the step
        // still comes to rest and holds.
        setTop(qMin(0, m_top + kSlideStep));
        return;
    }
    if (m_top == 0 && HoldTicks != kHoldTicks)
        ++HoldTicks;
}

void TfrmMsgBox::release()
{
    if (m_released)
        return;
    m_released = true;
    Moteur->stop();
    if (m_notifier)
        m_notifier->popupReleased();
    hide();
    deleteLater();
}

void TfrmMsgBox::showClosePicture(int index)
{
    if (index == m_closePicture)
        return;
    m_closePicture = index;
    btnClose->setPixmap(ImageList.value(index));
    btnClose->repaint();
}

void TfrmMsgBox::btnCloseClick()
{
    release();
}

void TfrmMsgBox::btnCloseMouseDown()
{
    showClosePicture(2);
}

void TfrmMsgBox::btnCloseMouseMove()
{
    showClosePicture(1);
}

void TfrmMsgBox::Image1MouseMove()
{
    showClosePicture(0);
}

void TfrmMsgBox::setAvatar(const QImage &picture)
{
    if (picture.isNull()) {
        imgAvatar->clear();
        return;
    }
    QPixmap pixmap = QPixmap::fromImage(picture);
    if (pixmap.width() > 40 || pixmap.height() > 40)
        pixmap = pixmap.scaled(40, 40, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    imgAvatar->setPixmap(pixmap);
}

void TfrmMsgBox::setKindIcon(int index)
{
    imgAvatar->setPixmap(ImageListTel.value(index));
}

void TfrmMsgBox::makeBodyClickable()
{
    m_bodyClickable = true;
    for (QWidget *w : { static_cast<QWidget *>(lblTexteCentral), static_cast<QWidget *>(imgAvatar),
             static_cast<QWidget *>(Image2) }) {
        w->setCursor(Qt::PointingHandCursor);
        w->installEventFilter(this);
    }
}

void TfrmMsgBox::lblTexteCentralClick()
{
    if (!m_notifier)
        return;
    switch (Kind) {
    case 1:
        m_notifier->showReception();
        break;
    case 2:
        m_notifier->showDownloads();
        break;
    case 3:
        m_notifier->showUploads();
        break;
    default:
        break;
    }
}

void TfrmMsgBox::lblSendFileClick()
{
    if (m_notifier)
        m_notifier->sendFileTo(ContactPseudo);
}

bool TfrmMsgBox::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == btnClose) {
        if (type == QEvent::MouseButtonPress) {
            btnCloseMouseDown();
        } else if (type == QEvent::MouseMove) {
            btnCloseMouseMove();
        } else if (type == QEvent::MouseButtonRelease) {
            const auto *me = static_cast<QMouseEvent *>(event);
            if (me->button() == Qt::LeftButton && btnClose->rect().contains(me->position().toPoint())) {
                btnCloseClick();
                return true;
            }
        }
        return false;
    }
    if ((watched == Image1 || watched == Image2) && type == QEvent::MouseMove)
        Image1MouseMove();
    if (m_bodyClickable && (watched == lblTexteCentral || watched == imgAvatar || watched == Image2)
        && type == QEvent::MouseButtonRelease) {
        const auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() == Qt::LeftButton)
            lblTexteCentralClick();
    }
    return QWidget::eventFilter(watched, event);
}
