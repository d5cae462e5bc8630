#include "components/ui/TDistractBar.h"

#include <QEvent>
#include <QMetaObject>
#include <QPainter>
#include <QThread>

TDistractBar::TDistractBar(QWidget *parent)
    : QWidget(parent)
{
    // Every pixel comes from Buffer: the background is never erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(10);
    setFont(f);
    setCaptionFont(f);
    resize(150, 20);
    setBarSize(size());
}

TDistractBar::~TDistractBar()
{
    // Stop the thread before this object starts coming apart.
    Shutdown();
}

void TDistractBar::FrameReady()
{
    if (QThread::currentThread() == thread()) {
        m_displayPending.store(false);
        repaint();
        return;
    }
    // From the animation thread: ask the GUI thread to show the frame. One
    // request at a time, so frames never pile up in the event queue. The
    // request carries no data of ours (the frame is in Buffer, under
    // PaintLock), so nothing crosses threads but the call itself.
    if (!m_displayPending.exchange(true)) {
        std::lock_guard<std::mutex> lock(m_requestLock);
        QMetaObject::invokeMethod(this, "showFrame", Qt::QueuedConnection);
    }
}

void TDistractBar::showFrame()
{
    {
        std::lock_guard<std::mutex> lock(m_requestLock);
    }
    m_displayPending.store(false);
    repaint();
}

void TDistractBar::paintEvent(QPaintEvent *)
{
    if (!bufferMatchesSize())
        Paint();
    QPainter painter(this);
    if (!bufferMatchesSize())
        painter.fillRect(rect(), paintColor(BackGroundColor()));
    drawBuffer(painter);
    ++m_framesShown;
}

void TDistractBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    setBarSize(size());
}

void TDistractBar::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        setCaptionFont(font());
}
