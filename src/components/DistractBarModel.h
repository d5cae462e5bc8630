#pragma once

#include <QFont>
#include <QImage>
#include <QSize>
#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>

class TDistractBarAnimateProcess;
class TDistractBarThread;

enum TDBAnimProcessType {
    apNone,
    apToLeft,
    apToRight,
    apBounce,
    apDouble,
    apRandom,
    apFillLeft,
    apFillRight,
    apFillBounce
};
enum TDBTextAnimType { taNone, taToLeft, taToRight, taBounce };
enum TDBShowOption {
    doDrawLine,
    doDrawText,
    doColorOnUseEnd,
    doColorOffUseEnd,
    doLineUseEnd,
    doFontUseEnd,
    doBar3d
};
enum TDBOrientation { boHorizontal, boVertical };

// A set of drawing options in one byte, bit n for the option of ordinal n.
class TDBShowOptions
{
public:
    constexpr TDBShowOptions() = default;
    constexpr TDBShowOptions(std::initializer_list<TDBShowOption> options)
    {
        for (TDBShowOption o : options)
            m_bits = quint8(m_bits | (1u << o));
    }
    static constexpr TDBShowOptions fromBits(quint8 bits)
    {
        TDBShowOptions s;
        s.m_bits = bits;
        return s;
    }
    constexpr bool contains(TDBShowOption o) const { return (m_bits >> o) & 1u; }
    constexpr quint8 bits() const { return m_bits; }
    friend constexpr bool operator==(TDBShowOptions a, TDBShowOptions b) { return a.m_bits == b.m_bits; }

private:
    quint8 m_bits = 0;
};

// The activity bar without its window: properties, animation patterns, the
// tick of the animation thread and the painting into the off-screen Buffer.
// The control (TDistractBar) adds the window that shows Buffer.
//
// Two threads use it: the GUI thread sets properties, the animation thread
// ticks and paints Buffer. Locks are taken in this order: ProcessLock, then
// UpdateLock or MaskLock, then PaintLock. Nobody waits for the animation
// thread while holding one of them.
//
// Colours are 0x00BBGGRR values; a high byte of 0xFF names a system colour.
// Setters raise VoxlaneError ("Invalid count", "Invalid width",
// "Invalid value") on out-of-range values and keep the former value.
class DistractBarModel
{
public:
    static constexpr quint32 kButtonFaceColor = 0xFF00000Fu; // system colour 15

    DistractBarModel();
    virtual ~DistractBarModel();
    DistractBarModel(const DistractBarModel &) = delete;
    DistractBarModel &operator=(const DistractBarModel &) = delete;

    // --- published properties (GUI thread) ---------------------------------
    bool Animated() const { return m_animated.load(); }
    void setAnimated(bool value);
    QString Caption() const;
    void setCaption(const QString &value);
    int BarSpacing() const;
    void setBarSpacing(int value);
    int BarCount() const;
    void setBarCount(int value);
    quint32 BackGroundColor() const { return color(m_backGroundColor); }
    void setBackGroundColor(quint32 value) { setColor(m_backGroundColor, value); }
    quint32 BarColorOn() const { return color(m_barColorOn); }
    void setBarColorOn(quint32 value) { setColor(m_barColorOn, value); }
    quint32 BarColorOff() const { return color(m_barColorOff); }
    void setBarColorOff(quint32 value) { setColor(m_barColorOff, value); }
    quint32 LineColor() const { return color(m_lineColor); }
    void setLineColor(quint32 value) { setColor(m_lineColor, value); }
    quint32 BarColorOnEnd() const { return color(m_barColorOnEnd); }
    void setBarColorOnEnd(quint32 value) { setColor(m_barColorOnEnd, value); }
    quint32 BarColorOffEnd() const { return color(m_barColorOffEnd); }
    void setBarColorOffEnd(quint32 value) { setColor(m_barColorOffEnd, value); }
    quint32 LineColorEnd() const { return color(m_lineColorEnd); }
    void setLineColorEnd(quint32 value) { setColor(m_lineColorEnd, value); }
    quint32 FontColorEnd() const { return color(m_fontColorEnd); }
    void setFontColorEnd(quint32 value) { setColor(m_fontColorEnd, value); }
    // The colour of the caption font.
    quint32 FontColor() const { return color(m_fontColor); }
    void setFontColor(quint32 value) { setColor(m_fontColor, value); }
    quint32 EnableMask() const;
    void setEnableMask(quint32 value);
    int Interval() const { return m_interval.load(); }
    void setInterval(int value);
    TDBAnimProcessType Process() const;
    void setProcess(TDBAnimProcessType value);
    int TextSkip() const;
    void setTextSkip(int value);
    TDBTextAnimType TextAnim() const;
    void setTextAnim(TDBTextAnimType value);
    int BarBorderWidth() const;
    void setBarBorderWidth(int value);
    TDBShowOptions Options() const;
    void setOptions(TDBShowOptions value);
    TDBOrientation Orientation() const;
    void setOrientation(TDBOrientation value);
    int AnimProcessSkip() const;
    void setAnimProcessSkip(int value);
    int AnimTextSkip() const;
    void setAnimTextSkip(int value);
    // Called on the animation thread after every tick, with the bar as
    // sender; a handler that touches widgets hands that work to the GUI thread.
    using NotifyEvent = std::function<void(DistractBarModel *sender)>;
    void setOnAnimate(NotifyEvent handler);

    // The caption's font and the painted size (a control passes its own).
    QFont CaptionFont() const;
    void setCaptionFont(const QFont &font);
    QSize BarSize() const;
    void setBarSize(const QSize &size);

    // --- operations for the patterns and the thread --------------------------
    void SetBarState(int Index, bool On);
    bool IsBarOn(int Index) const;
    void ClearBars();
    void BeginUpdate();
    void EndUpdate();
    // Paints Buffer now and hands the frame on (FrameReady).
    void RepaintNow();
    // One interval's work; called by the animation thread.
    void Tick();
    void RestartProcess();
    void ResetProcess();

    // While a control is being set up, setting Animated does not start the
    // thread yet; Loaded starts it.
    void Loading() { m_loading = true; }
    virtual void Loaded();

    // --- state, for the control and for tests --------------------------------
    int UpdateCount() const { return m_updateCount.load(); }
    bool TextForward() const;
    bool threadRunning() const;
    QImage Buffer() const; // a copy of the last frame

    // Pure painting maths.
    static quint32 BlendColor(quint32 A, quint32 Z, float t);
    struct Layout
    {
        int extent; // W, 0 or below when no bar fits
        int offset; // O
    };
    static Layout barLayout(int length, int count, int spacing);
    // Which character of the caption (counted from 1) bar i shows; outside
    // 1..caption length the bar shows none.
    static int captionIndex(int i, int textSkip, int count);
    // The RGB a colour value paints with; system colours take the classic
    // desktop defaults, so the animation thread never asks the platform.
    static QColor paintColor(quint32 color);

    // Factories of the patterns, indexed by TDBAnimProcessType; entry 0 is empty.
    using ProcessFactory = std::unique_ptr<TDistractBarAnimateProcess> (*)(DistractBarModel *bar);
    std::array<ProcessFactory, 9> ProcessClasses {};

protected:
    // Renders Buffer; false when nothing was drawn (destroying, inside an
    // update, no size).
    bool Paint();
    // A new frame is in Buffer. Runs on the thread that painted it.
    virtual void FrameReady() { }
    // Draws Buffer with painter under PaintLock (GUI side of a control).
    void drawBuffer(class QPainter &painter) const;
    bool bufferMatchesSize() const;
    // Stops everything; a derived class calls it first in its destructor so
    // that the thread never calls into a half-destroyed object.
    void Shutdown();

private:
    quint32 color(const quint32 &field) const;
    void setColor(quint32 &field, quint32 value);
    void stopThread();
    void StepText();
    void drawBar(class QPainter &painter, int i, int position, int extent, quint32 mask) const;

    mutable std::mutex PaintLock;
    mutable std::mutex MaskLock;
    mutable std::mutex ProcessLock;
    mutable std::mutex UpdateLock;

    // PaintLock
    QString m_caption;
    int m_barSpacing = 3;
    int m_barCount = 10;
    quint32 m_backGroundColor = kButtonFaceColor;
    quint32 m_barColorOn = 65280;
    quint32 m_barColorOff = 32768;
    quint32 m_lineColor = 0;
    quint32 m_barColorOnEnd = 65280;
    quint32 m_barColorOffEnd = 32768;
    quint32 m_lineColorEnd = 0;
    quint32 m_fontColorEnd = 0;
    quint32 m_fontColor = 0;
    int m_textSkip = 0;
    int m_barBorderWidth = 1;
    TDBShowOptions m_options { doDrawLine, doDrawText };
    TDBOrientation m_orientation = boHorizontal;
    QFont m_font;
    QSize m_size { 150, 20 };
    QImage m_buffer;

    // MaskLock
    quint32 m_enableMask = 0;

    // ProcessLock
    std::unique_ptr<TDistractBarAnimateProcess> m_process;
    TDBAnimProcessType m_processType = apNone;
    int m_processTicks = 0;
    int m_textTicks = 0;
    int m_animProcessSkip = 0;
    int m_animTextSkip = 0;
    TDBTextAnimType m_textAnim = taNone;
    bool m_textForward = true;
    NotifyEvent m_onAnimate;

    // UpdateLock (read without it by Paint)
    std::atomic<int> m_updateCount { 0 };

    std::atomic<bool> m_animated { false };
    std::atomic<bool> m_destroying { false };
    std::atomic<int> m_interval { 100 };
    bool m_loading = false;
    std::unique_ptr<TDistractBarThread> m_thread; // GUI thread only
};
