#pragma once

#include <QString>
#include <QtGlobal>

#include <deque>
#include <optional>

// The speed of one transfer, smoothed over the last few seconds, and the
// time it still needs at that speed.
//
// Samples are (time in ms, acknowledged byte count) pairs taken whenever the
// count moves; the speed at time `now` is what moved between now - Window
// and now, divided by the time covered. A transfer that stops moving is seen
// slowing down to nothing, without any further sample. Times come from the
// caller, so that a test drives the clock.
class TransferRate
{
public:
    static constexpr qint64 DefaultWindowMs = 5000;
    // No speed is told before this much time has been seen.
    static constexpr qint64 MinimumSpanMs = 1000;

    explicit TransferRate(qint64 windowMs = DefaultWindowMs);

    // A new connection: what was measured before does not count. A count
    // that goes back (a transfer resumed from an earlier point) restarts
    // the measure too.
    void reset();
    void sample(qint64 nowMs, qint64 position);

    // Bytes per second at time now; nullopt while too little has been seen.
    std::optional<double> bytesPerSecond(qint64 nowMs) const;
    // Whole seconds until total at that speed (rounded up); nullopt while the
    // speed is unknown or nil.
    std::optional<qint64> secondsLeft(qint64 nowMs, qint64 total) const;

    // "850 o/s", "350 Ko/s", "1.2 Mo/s" (the sizes' units and decimals).
    static QString rateText(double bytesPerSecond);
    // "12 s restantes", "3 min 05 s restantes", "2 h 10 min restantes";
    // "1 s restante".
    static QString timeLeftText(qint64 seconds);
    // The line shown under a running transfer: "350 Ko/s — 12 s restantes";
    // "350 Ko/s" alone when the time left is unknown; "Calcul de la
    // vitesse…" before any speed is known; "En attente de données" for a
    // stalled transfer.
    static QString caption(std::optional<double> bytesPerSecond, std::optional<qint64> secondsLeft);

    // The status bar's total of every running transfer: "Réception :
    // 1.2 Mo/s   Envoi : 350 Ko/s", the side without a running transfer left
    // out; empty when none runs.
    static QString totalsText(std::optional<double> download, std::optional<double> upload);

private:
    struct Sample
    {
        qint64 time;
        qint64 position;
    };
    qint64 m_window;
    std::deque<Sample> m_samples;
};
