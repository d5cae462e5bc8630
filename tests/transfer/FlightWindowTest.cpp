#include "transfer/FlightWindow.h"
#include "transfer/DataPacket.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>

// The window of a fast connection on simulated paths, with the simulation's
// own clock: a bottleneck of a given rate (which may change), a delay each
// way, and for some paths a delay that varies from batch to batch.

namespace {

constexpr qint64 kMs = 1000 * 1000;
constexpr qint64 kSecond = 1000 * kMs;
constexpr qint64 kBatch = 256 * 1024;

struct Path
{
    std::function<double(qint64 nowNs)> rate; // bytes per second at the bottleneck
    qint64 oneWayNs = 0;
    qint64 jitterNs = 0; // added to the delay of a batch: 0 to this, pseudo-random
    qint32 advertised = DataPacket::FastMaxWindow; // the receiver's window, in blocks
};

// A sender that keeps the window full, as DataSender does, and records
// what the window and the path did.
struct Simulation
{
    FlightWindow window;
    qint64 now = 0;
    qint64 next = 0; // end of what was sent
    qint64 acknowledged = 0;
    qint64 largestWindow = 0;
    qint64 largestInFlight = 0;
    // (time, acknowledged) at every ack, for rates over an interval.
    std::deque<std::pair<qint64, qint64>> acks;

    explicit Simulation(const Path &path)
        : m_path(path)
    {
        window.start(0, 0);
    }

    void runUntil(qint64 endNs)
    {
        while (now < endNs) {
            window.setPeerWindow(m_path.advertised);
            while (next - acknowledged < window.bytes())
                send();
            largestWindow = qMax(largestWindow, window.bytes());
            largestInFlight = qMax(largestInFlight, next - acknowledged);
            // The next ack.
            const Pending ack = m_pending.front();
            m_pending.pop_front();
            now = qMax(now, ack.atNs);
            acknowledged = ack.upTo;
            window.onAcknowledged(acknowledged, now);
            acks.emplace_back(now, acknowledged);
        }
    }

    // Bytes per second acknowledged between two moments.
    double rateBetween(qint64 fromNs, qint64 toNs) const
    {
        qint64 first = -1, last = -1;
        for (const auto &[at, upTo] : acks) {
            if (at >= fromNs && first < 0)
                first = upTo;
            if (at <= toNs)
                last = upTo;
        }
        return first < 0 ? 0 : double(last - first) * 1e9 / double(toNs - fromNs);
    }

private:
    struct Pending
    {
        qint64 atNs;
        qint64 upTo;
    };

    void send()
    {
        next += kBatch;
        window.onSent(next, now);
        // The bottleneck sends batches one after the other at its rate;
        // the delays keep their order (a later batch never overtakes).
        // At the rate the bottleneck has when the batch's turn comes.
        const qint64 start = qMax(m_linkFree, now);
        m_linkFree = start + qint64(double(kBatch) * 1e9 / m_path.rate(start));
        qint64 arrival = m_linkFree + m_path.oneWayNs;
        if (m_path.jitterNs > 0) {
            m_seed = m_seed * 6364136223846793005ull + 1442695040888963407ull;
            arrival += qint64((m_seed >> 33) % quint64(m_path.jitterNs));
        }
        m_lastArrival = qMax(m_lastArrival, arrival);
        m_pending.push_back({ m_lastArrival + m_path.oneWayNs, next });
    }

    Path m_path;
    qint64 m_linkFree = 0;
    qint64 m_lastArrival = 0;
    quint64 m_seed = 12345;
    std::deque<Pending> m_pending;
};

Path constantPath(double rate, qint64 rttNs)
{
    Path p;
    p.rate = [rate](qint64) { return rate; };
    p.oneWayNs = rttNs / 2;
    return p;
}

// Long paths: the window grows past what the path holds, the link is full,
// and the window stays within its ceiling.
TEST(FlightWindow, GrowsToFillLongPaths)
{
    struct Case
    {
        const char *what;
        double rate;
        qint64 rtt;
    };
    const Case cases[] = {
        { "10 MB/s, 50 ms", 10e6, 50 * kMs },
        { "100 MB/s, 50 ms", 100e6, 50 * kMs },
        { "100 MB/s, 100 ms", 100e6, 100 * kMs },
        { "1 GB/s, 100 ms (more than the ceiling holds)", 1e9, 100 * kMs },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Simulation sim(constantPath(c.rate, c.rtt));
        sim.runUntil(10 * kSecond);
        const double bdp = c.rate * double(c.rtt) / 1e9;
        const double reachable = qMin(c.rate, double(FlightWindow::Ceiling) * 1e9 / double(c.rtt));
        EXPECT_GE(sim.rateBetween(5 * kSecond, 10 * kSecond), 0.9 * reachable);
        EXPECT_GE(double(sim.window.bytes()), qMin(bdp, double(FlightWindow::Ceiling)));
        EXPECT_LE(sim.largestWindow, FlightWindow::Ceiling);
        EXPECT_LE(sim.largestInFlight, FlightWindow::Ceiling + kBatch);
    }
}

// A receiver of the first fast mode advertises 32 blocks: the sender keeps
// to them, whatever the path could carry.
TEST(FlightWindow, KeepsToTheFirstWindowWithAReceiverThatAdvertisesIt)
{
    Path path = constantPath(100e6, 50 * kMs);
    path.advertised = DataPacket::FastWindow;
    Simulation sim(path);
    sim.runUntil(5 * kSecond);
    EXPECT_EQ(sim.largestWindow, FlightWindow::Floor);
    EXPECT_LE(sim.largestInFlight, FlightWindow::Floor + kBatch);
    // And any smaller window a receiver advertises.
    path.advertised = 8;
    Simulation small(path);
    small.runUntil(2 * kSecond);
    EXPECT_EQ(small.largestWindow, 8 * DataPacket::FastBlockSize);
}

// A short path whose round trip varies with each batch (a receiver whose
// disk and hash work come in bursts): the shortest round trip says little
// about what must be in flight, and growing while the rate grows finds it,
// without running to the ceiling.
TEST(FlightWindow, GrowsWhereTheRoundTripVaries)
{
    Path path = constantPath(600e6, 100 * 1000);
    path.jitterNs = 30 * kMs;
    Simulation sim(path);
    sim.runUntil(5 * kSecond);
    EXPECT_GT(sim.window.bytes(), FlightWindow::Floor);
    EXPECT_GE(sim.rateBetween(3 * kSecond, 5 * kSecond), 0.8 * 600e6);
    EXPECT_LT(sim.largestWindow, FlightWindow::Ceiling);
    EXPECT_FALSE(sim.window.isGrowing());

    // Without the variation, nothing makes a larger window worth it.
    Simulation steady(constantPath(600e6, 100 * 1000));
    steady.runUntil(2 * kSecond);
    EXPECT_LE(steady.largestWindow, 4 * FlightWindow::Floor);
}

// The receiver falls behind (its rate drops to a twentieth): the window
// comes down to what the slower rate needs, and grows again once the
// receiver is back to its speed.
TEST(FlightWindow, ShrinksWhenTheReceiverFallsBehindAndGrowsBack)
{
    Path path;
    path.rate = [](qint64 now) { return now >= 5 * kSecond && now < 15 * kSecond ? 5e6 : 100e6; };
    path.oneWayNs = 25 * kMs;
    Simulation sim(path);
    sim.runUntil(5 * kSecond);
    const qint64 fast = sim.window.bytes();
    EXPECT_GE(double(fast), 100e6 * 0.05);
    sim.runUntil(15 * kSecond);
    const qint64 slow = sim.window.bytes();
    EXPECT_LE(slow, fast / 2);
    EXPECT_LE(double(slow), qMax(double(FlightWindow::Floor), 4 * 5e6 * 0.05));
    sim.runUntil(25 * kSecond);
    EXPECT_GE(sim.window.bytes(), fast / 2);
    EXPECT_GE(sim.rateBetween(22 * kSecond, 25 * kSecond), 0.9 * 100e6);
}

} // namespace
