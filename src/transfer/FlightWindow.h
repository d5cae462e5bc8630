#pragma once

#include "transfer/DataPacket.h"

#include <QtGlobal>

#include <array>
#include <deque>

// How many bytes a fast connection keeps in flight (sent, not yet
// acknowledged). A constant caps every path at that constant per round
// trip, so the window follows the path instead, from two measures taken
// per round (a round ends when what was in flight at its start is
// acknowledged, one round trip later):
//
//   - grown while the acknowledged rate grows: while the window is what
//     holds the sender back, it doubles every two rounds as long as each
//     doubling brought at least a fifth more rate; the first doubling that
//     did not marks the knee, and growth stops there. This finds what a
//     path needs even where the round trip varies with the load (a receiver
//     whose disk and hash work run in bursts needs more in flight than its
//     shortest round trip suggests);
//   - and at least twice the path's bandwidth-delay product: the best rate
//     of the last rounds times the shortest round trip seen (the path's own
//     delay, without the queues a full window builds).
//
// A receiver that falls behind (slower disk, busier machine) acknowledges
// less per round: the product follows the rate by itself, and once the best
// rate of the last rounds is under half the rate at the knee, the grown
// window starts again from the smallest and grows as far as the new rate
// makes worth it.
//
// The window never goes below the first fast window (32 blocks of 64 KiB)
// nor above Ceiling, and never above what the receiver advertises in its
// FastAcks: a receiver that knows only the first fast mode advertises those
// 32 blocks, and its sender keeps to them as it always did.
//
// Times are nanoseconds of a clock the owner reads (tests drive their own).
class FlightWindow
{
public:
    static constexpr qint64 Floor = qint64(DataPacket::FastWindow) * DataPacket::FastBlockSize;
    static constexpr qint64 Ceiling = qint64(DataPacket::FastMaxWindow) * DataPacket::FastBlockSize;
    static constexpr int Gain = 2;
    // The best rate is that of the last RateRounds rounds, of those that
    // ended within RateHorizonNs: rounds grow long when the receiver falls
    // behind, and a rate from before must not linger for as many of them.
    static constexpr int RateRounds = 10;
    static constexpr qint64 RateHorizonNs = qint64(1000) * 1000 * 1000;
    // Rounds measured at each size while growing, and the gain in rate that
    // makes the next doubling worth it.
    static constexpr int RoundsPerStep = 2;
    static constexpr double GrowthWorthIt = 1.2;

    // A new connection: nothing in flight, `acknowledged` bytes held.
    void start(qint64 acknowledged, qint64 nowNs);
    // The window the receiver's last FastAck advertised, in blocks.
    void setPeerWindow(qint32 blocks);
    // Bytes up to `end` were handed to the connection at nowNs.
    void onSent(qint64 end, qint64 nowNs);
    // The receiver acknowledged bytes up to `acknowledged` at nowNs.
    void onAcknowledged(qint64 acknowledged, qint64 nowNs);

    // Bytes the sender may have in flight now.
    qint64 bytes() const { return m_bytes; }
    // The shortest round trip seen on this connection (-1: none yet): a
    // longer one later is the queues a full window builds, not the path.
    // And the best rate of the last rounds, in bytes per second.
    qint64 shortestRoundTripNs() const { return m_minRtt; }
    double bestRate() const;
    // The window found by growing, and whether it still grows.
    qint64 grown() const { return m_grown; }
    bool isGrowing() const { return m_growing; }
    // The bounds that apply with this receiver.
    qint64 lowest() const;
    qint64 highest() const;

private:
    void endRound(double rate, qint64 nowNs);
    void update();

    qint64 m_bytes = Floor;
    qint64 m_peerLimit = Floor;
    struct Sent
    {
        qint64 end;
        qint64 atNs;
    };
    // Bounded by the window: one entry per batch handed to the connection.
    std::deque<Sent> m_sent;
    qint64 m_highestSent = 0;
    qint64 m_acknowledged = 0;
    qint64 m_minRtt = -1;
    // The round under way.
    bool m_roundStarted = false;
    qint64 m_roundStartNs = 0;
    qint64 m_roundStartAcknowledged = 0;
    qint64 m_roundEnd = 0;
    bool m_roundWindowLimited = false;
    struct Rate
    {
        double bytesPerSecond = 0;
        qint64 atNs = 0;
    };
    std::array<Rate, RateRounds> m_rates {};
    int m_roundsDone = 0;
    qint64 m_nowNs = 0;
    // Growing: the size tried now, the rounds and best rate measured at it,
    // and the best rate at the size before.
    qint64 m_grown = Floor;
    bool m_growing = true;
    int m_stepRounds = 0;
    double m_stepRate = 0;
    double m_previousStepRate = 0;
    double m_kneeRate = 0;
};
