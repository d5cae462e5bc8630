#include "components/DistractBarModel.h"

#include "base/ErrorReport.h"
#include "components/TDistractBarAnimateProcess.h"
#include "components/TDistractBarThread.h"

#include <QPainter>

#include <cstdlib>

using Guard = std::lock_guard<std::mutex>;

DistractBarModel::DistractBarModel()
{
    m_font = QFont(QStringLiteral("Arial"));
    m_font.setPointSize(10);
    ProcessClasses.fill(nullptr);
    ProcessClasses[apToLeft] = &TDistractBarAnimateProcess::create<TDBAProcessToLeft>;
    ProcessClasses[apToRight] = &TDistractBarAnimateProcess::create<TDBAProcessToRight>;
    ProcessClasses[apBounce] = &TDistractBarAnimateProcess::create<TDBAProcessBounce>;
    ProcessClasses[apDouble] = &TDistractBarAnimateProcess::create<TDBAProcessDouble>;
    ProcessClasses[apRandom] = &TDistractBarAnimateProcess::create<TDBAProcessRandom>;
    ProcessClasses[apFillLeft] = &TDistractBarAnimateProcess::create<TDBAProcessFillLeft>;
    ProcessClasses[apFillRight] = &TDistractBarAnimateProcess::create<TDBAProcessFillRight>;
    ProcessClasses[apFillBounce] = &TDistractBarAnimateProcess::create<TDBAProcessFillBounce>;
}

DistractBarModel::~DistractBarModel()
{
    Shutdown();
}

void DistractBarModel::Shutdown()
{
    if (m_destroying.exchange(true))
        return;
    // From here on Tick and Paint do nothing; stop as for Animated := False.
    if (m_animated.exchange(false)) {
        stopThread();
        RestartProcess();
    }
    Guard lock(PaintLock);
    m_buffer = QImage();
}

// --- properties ----------------------------------------------------------------

void DistractBarModel::setAnimated(bool value)
{
    if (value == m_animated.load())
        return;
    m_animated.store(value);
    if (value) {
        RestartProcess();
        m_thread = std::make_unique<TDistractBarThread>(this, m_interval.load());
        if (!m_loading)
            m_thread->Start();
    } else {
        // No lock is held while waiting for the thread.
        stopThread();
        RestartProcess();
    }
}

void DistractBarModel::stopThread()
{
    if (!m_thread)
        return;
    m_thread->Terminate();
    m_thread->WaitFor();
    m_thread.reset();
}

bool DistractBarModel::threadRunning() const
{
    return m_thread && m_thread->started();
}

void DistractBarModel::Loaded()
{
    m_loading = false;
    if (m_animated.load() && m_thread)
        m_thread->Start();
}

QString DistractBarModel::Caption() const
{
    Guard lock(PaintLock);
    return m_caption;
}

void DistractBarModel::setCaption(const QString &value)
{
    {
        Guard lock(PaintLock);
        m_caption = value;
    }
    RepaintNow();
}

int DistractBarModel::BarSpacing() const
{
    Guard lock(PaintLock);
    return m_barSpacing;
}

void DistractBarModel::setBarSpacing(int value)
{
    if (value < 0)
        throw VoxlaneError(QStringLiteral("Invalid width"));
    {
        Guard lock(PaintLock);
        m_barSpacing = value;
    }
    RepaintNow();
}

int DistractBarModel::BarCount() const
{
    Guard lock(PaintLock);
    return m_barCount;
}

void DistractBarModel::setBarCount(int value)
{
    if (value < 1)
        throw VoxlaneError(QStringLiteral("Invalid count"));
    {
        Guard lock(PaintLock);
        m_barCount = value;
    }
    ResetProcess();
    RepaintNow();
}

quint32 DistractBarModel::color(const quint32 &field) const
{
    Guard lock(PaintLock);
    return field;
}

void DistractBarModel::setColor(quint32 &field, quint32 value)
{
    {
        Guard lock(PaintLock);
        field = value;
    }
    RepaintNow();
}

quint32 DistractBarModel::EnableMask() const
{
    Guard lock(MaskLock);
    return m_enableMask;
}

void DistractBarModel::setEnableMask(quint32 value)
{
    {
        Guard lock(MaskLock);
        m_enableMask = value;
    }
    RepaintNow();
}

void DistractBarModel::setInterval(int value)
{
    m_interval.store(value);
    if (m_thread)
        m_thread->setInterval(value);
}

TDBAnimProcessType DistractBarModel::Process() const
{
    Guard lock(ProcessLock);
    return m_processType;
}

void DistractBarModel::setProcess(TDBAnimProcessType value)
{
    {
        Guard lock(ProcessLock);
        if (value == m_processType)
            return;
        m_processType = value;
    }
    RestartProcess();
}

int DistractBarModel::TextSkip() const
{
    Guard lock(PaintLock);
    return m_textSkip;
}

void DistractBarModel::setTextSkip(int value)
{
    if (value < 0)
        throw VoxlaneError(QStringLiteral("Invalid value"));
    {
        Guard lock(PaintLock);
        m_textSkip = value;
    }
    RepaintNow();
}

TDBTextAnimType DistractBarModel::TextAnim() const
{
    Guard lock(ProcessLock);
    return m_textAnim;
}

void DistractBarModel::setTextAnim(TDBTextAnimType value)
{
    Guard lock(ProcessLock);
    if (value == m_textAnim)
        return;
    m_textAnim = value;
    {
        Guard paint(PaintLock);
        m_textSkip = 0;
    }
    m_textForward = true;
}

bool DistractBarModel::TextForward() const
{
    Guard lock(ProcessLock);
    return m_textForward;
}

int DistractBarModel::BarBorderWidth() const
{
    Guard lock(PaintLock);
    return m_barBorderWidth;
}

void DistractBarModel::setBarBorderWidth(int value)
{
    if (value < 1)
        throw VoxlaneError(QStringLiteral("Invalid width"));
    {
        Guard lock(PaintLock);
        m_barBorderWidth = value;
    }
    RepaintNow();
}

TDBShowOptions DistractBarModel::Options() const
{
    Guard lock(PaintLock);
    return m_options;
}

void DistractBarModel::setOptions(TDBShowOptions value)
{
    {
        Guard lock(PaintLock);
        m_options = value;
    }
    RepaintNow();
}

TDBOrientation DistractBarModel::Orientation() const
{
    Guard lock(PaintLock);
    return m_orientation;
}

void DistractBarModel::setOrientation(TDBOrientation value)
{
    {
        Guard lock(PaintLock);
        m_orientation = value;
    }
    RepaintNow();
}

int DistractBarModel::AnimProcessSkip() const
{
    Guard lock(ProcessLock);
    return m_animProcessSkip;
}

void DistractBarModel::setAnimProcessSkip(int value)
{
    if (value < 0)
        throw VoxlaneError(QStringLiteral("Invalid value"));
    Guard lock(ProcessLock);
    m_animProcessSkip = value;
}

int DistractBarModel::AnimTextSkip() const
{
    Guard lock(ProcessLock);
    return m_animTextSkip;
}

void DistractBarModel::setAnimTextSkip(int value)
{
    if (value < 0)
        throw VoxlaneError(QStringLiteral("Invalid value"));
    Guard lock(ProcessLock);
    m_animTextSkip = value;
}

void DistractBarModel::setOnAnimate(NotifyEvent handler)
{
    Guard lock(ProcessLock);
    m_onAnimate = std::move(handler);
}

QFont DistractBarModel::CaptionFont() const
{
    Guard lock(PaintLock);
    return m_font;
}

void DistractBarModel::setCaptionFont(const QFont &font)
{
    {
        Guard lock(PaintLock);
        m_font = font;
    }
    RepaintNow();
}

QSize DistractBarModel::BarSize() const
{
    Guard lock(PaintLock);
    return m_size;
}

void DistractBarModel::setBarSize(const QSize &size)
{
    Guard lock(PaintLock);
    m_size = size;
}

// --- operations ------------------------------------------------------------------

void DistractBarModel::SetBarState(int Index, bool On)
{
    // The mask has 32 bits: bars from the 33rd on cannot be switched.
    if (Index < 0 || Index >= BarCount() || Index >= 32)
        return;
    {
        Guard lock(MaskLock);
        if (On)
            m_enableMask |= (1u << Index);
        else
            m_enableMask &= ~(1u << Index);
    }
    RepaintNow();
}

bool DistractBarModel::IsBarOn(int Index) const
{
    if (Index < 0 || Index >= BarCount() || Index >= 32)
        return false;
    Guard lock(MaskLock);
    return (m_enableMask >> Index) & 1u;
}

void DistractBarModel::ClearBars()
{
    setEnableMask(0);
}

void DistractBarModel::BeginUpdate()
{
    Guard lock(UpdateLock);
    if (m_updateCount.load() < 0)
        m_updateCount.store(0);
    m_updateCount.fetch_add(1);
}

void DistractBarModel::EndUpdate()
{
    Guard lock(UpdateLock);
    if (m_updateCount.load() > 0 && m_updateCount.fetch_sub(1) == 1)
        RepaintNow(); // still under UpdateLock: one frame for the whole update
}

void DistractBarModel::RepaintNow()
{
    if (Paint())
        FrameReady();
}

void DistractBarModel::Tick()
{
    if (m_destroying.load() || !m_animated.load())
        return;
    BeginUpdate();
    NotifyEvent onAnimate;
    {
        Guard lock(ProcessLock);
        if (++m_processTicks > m_animProcessSkip) {
            if (m_process) {
                BeginUpdate();
                m_process->Step();
                EndUpdate();
            }
            m_processTicks = 0;
        }
        if (++m_textTicks > m_animTextSkip) {
            if (m_textAnim != taNone)
                StepText();
            m_textTicks = 0;
        }
        onAnimate = m_onAnimate;
    }
    EndUpdate();
    if (onAnimate)
        onAnimate(this);
}

// Under ProcessLock.
void DistractBarModel::StepText()
{
    Guard lock(PaintLock);
    const int n = m_barCount;
    const int c = int(m_caption.size());
    switch (m_textAnim) {
    case taNone:
        break;
    case taToLeft:
        if (++m_textSkip > n - 1)
            m_textSkip = 0;
        break;
    case taToRight:
        if (--m_textSkip < 0)
            m_textSkip = n - 1;
        break;
    case taBounce:
        if (m_textForward) {
            ++m_textSkip;
            if (c + m_textSkip > n) {
                m_textSkip = n - c - 1;
                m_textForward = false;
            }
        } else {
            --m_textSkip;
            if (m_textSkip < 0) {
                m_textSkip = 1;
                m_textForward = true;
            }
        }
        // A caption as long as the bar or longer has no room to move: it
        // stays put instead of taking a negative shift.
        if (m_textSkip < 0)
            m_textSkip = 0;
        break;
    }
}

void DistractBarModel::RestartProcess()
{
    Guard lock(ProcessLock);
    if (m_process) {
        m_process->Finish();
        m_process.reset();
    }
    m_processTicks = 0;
    m_textTicks = 0;
    if (m_animated.load() && m_processType != apNone && ProcessClasses[m_processType]) {
        m_process = ProcessClasses[m_processType](this);
        m_process->Reset();
    }
}

void DistractBarModel::ResetProcess()
{
    Guard lock(ProcessLock);
    if (m_process)
        m_process->Reset();
}

QImage DistractBarModel::Buffer() const
{
    Guard lock(PaintLock);
    return m_buffer;
}

bool DistractBarModel::bufferMatchesSize() const
{
    Guard lock(PaintLock);
    return !m_buffer.isNull() && m_buffer.size() == m_size;
}

void DistractBarModel::drawBuffer(QPainter &painter) const
{
    Guard lock(PaintLock);
    if (!m_buffer.isNull())
        painter.drawImage(0, 0, m_buffer);
}

// --- painting ------------------------------------------------------------------------

quint32 DistractBarModel::BlendColor(quint32 A, quint32 Z, float t)
{
    quint32 result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int a = int((A >> shift) & 0xFF);
        const int z = int((Z >> shift) & 0xFF);
        const int s = int(double(std::abs(a - z)) * double(t));
        const int channel = a < z ? a + s : a - s;
        result |= quint32(channel & 0xFF) << shift;
    }
    return result;
}

DistractBarModel::Layout DistractBarModel::barLayout(int length, int count, int spacing)
{
    if (count < 1)
        return { 0, 0 };
    // 64-bit intermediates: a large count or spacing cannot overflow.
    const qint64 gaps = qint64(count - 1) * spacing;
    const qint64 extent = (qint64(length) - gaps) / count;
    const qint64 remainder = qint64(length) - qint64(count) * extent - gaps;
    return { int(extent), int(remainder / 2) };
}

int DistractBarModel::captionIndex(int i, int textSkip, int count)
{
    int k = i + 1 - textSkip;
    if (k <= 0)
        k += count;
    return k;
}

QColor DistractBarModel::paintColor(quint32 color)
{
    if ((color >> 24) == 0xFF) {
        switch (color & 0xFF) {
        case 5: // window
        case 14: // highlighted text
        case 20: // button highlight
            return QColor(255, 255, 255);
        case 6: // window frame
        case 7: // menu text
        case 8: // window text
        case 18: // button text
        case 21: // 3D dark shadow
            return QColor(0, 0, 0);
        case 13: // highlight
            return QColor(0, 120, 215);
        case 16: // button shadow
            return QColor(160, 160, 160);
        case 17: // grey text
            return QColor(109, 109, 109);
        default: // button face and the rest
            return QColor(240, 240, 240);
        }
    }
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

bool DistractBarModel::Paint()
{
    if (m_destroying.load() || m_updateCount.load() != 0)
        return false;
    quint32 mask;
    {
        Guard lock(MaskLock);
        mask = m_enableMask;
    }
    Guard lock(PaintLock);
    if (m_size.isEmpty()) {
        m_buffer = QImage();
        return false;
    }
    if (m_buffer.size() != m_size)
        m_buffer = QImage(m_size, QImage::Format_RGB32);
    if (m_buffer.isNull())
        return false;

    const int length = m_orientation == boVertical ? m_size.height() : m_size.width();
    const Layout layout = barLayout(length, m_barCount, m_barSpacing);
    QPainter painter(&m_buffer);
    painter.fillRect(m_buffer.rect(), paintColor(m_backGroundColor));
    // With no room for the bars their extent is 0 or below: none shows.
    if (layout.extent > 0) {
        for (int i = 0; i < m_barCount; ++i)
            drawBar(painter, i, layout.offset + i * (layout.extent + m_barSpacing), layout.extent, mask);
    }
    return true;
}

// Under PaintLock.
void DistractBarModel::drawBar(QPainter &painter, int i, int position, int extent, quint32 mask) const
{
    int left, top, right, bottom;
    if (m_orientation == boHorizontal) {
        left = position;
        top = 0;
        right = position + extent;
        bottom = m_size.height();
    } else {
        left = 0;
        top = position;
        right = m_size.width();
        bottom = position + extent;
    }
    const int border = m_barBorderWidth;
    const bool bar3d = m_options.contains(doBar3d);
    if (bar3d) {
        right -= border;
        bottom -= border;
    }
    const auto fill = [&painter](int l, int t, int r, int b, const QColor &c) {
        if (r > l && b > t)
            painter.fillRect(QRect(l, t, r - l, b - t), c);
    };
    const float t = float(i + 1) / float(m_barCount);

    const bool on = i < 32 && ((mask >> i) & 1u);
    quint32 fillColor;
    if (on) {
        fillColor = m_barColorOn;
        if (m_options.contains(doColorOnUseEnd) && m_barColorOn != m_barColorOnEnd)
            fillColor = BlendColor(m_barColorOn, m_barColorOnEnd, t);
    } else {
        fillColor = m_barColorOff;
        if (m_options.contains(doColorOffUseEnd) && m_barColorOff != m_barColorOffEnd)
            fillColor = BlendColor(m_barColorOff, m_barColorOffEnd, t);
    }
    fill(left, top, right, bottom, paintColor(fillColor));

    if (m_options.contains(doDrawLine)) {
        quint32 lineColor = m_lineColor;
        if (m_options.contains(doLineUseEnd) && m_lineColor != m_lineColorEnd)
            lineColor = BlendColor(m_lineColor, m_lineColorEnd, t);
        const QColor c = paintColor(lineColor);
        // A frame one pixel wide just inside the rectangle.
        fill(left, top, right, top + 1, c);
        fill(left, bottom - 1, right, bottom, c);
        fill(left, top, left + 1, bottom, c);
        fill(right - 1, top, right, bottom, c);
    }

    if (m_options.contains(doDrawText)) {
        const int k = captionIndex(i, m_textSkip, m_barCount);
        if (k >= 1 && k <= m_caption.size() && right > left && bottom > top) {
            quint32 fontColor = m_fontColor;
            if (m_options.contains(doFontUseEnd) && m_fontColor != m_fontColorEnd)
                fontColor = BlendColor(m_fontColor, m_fontColorEnd, t);
            painter.setFont(m_font);
            painter.setPen(paintColor(fontColor));
            painter.drawText(QRect(left, top, right - left, bottom - top),
                Qt::AlignCenter | Qt::TextSingleLine, QString(m_caption.at(k - 1)));
        }
    }

    if (bar3d) {
        fill(left + border, bottom, right + border, bottom + border, Qt::black);
        fill(right, top + border, right + border, bottom + border, Qt::black);
    }
}
