// The HTTP server's limits and deadlines on their own, without a socket:
// who is served, refused or dropped, how much body memory is held, and what
// is due to a connection at a time the test sets.
#include "ConnectionLimits.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

using devserver::ConnectionLimits;
using Admission = ConnectionLimits::Admission;
using Phase = ConnectionLimits::Phase;
using Verdict = ConnectionLimits::Verdict;

TEST(ConnectionLimitsAdmission, CapsPerAddressInAllAndOnRefusals)
{
    ConnectionLimits::Settings settings;
    settings.maxConnections = 4;
    settings.maxPerAddress = 2;
    settings.maxRefusing = 2;
    settings.trustedProxies = { "10.0.0.9" };
    ConnectionLimits limits(settings);

    enum Op { Admit, Release };
    const struct
    {
        Op op;
        const char *remote;
        Admission admission; // the answer to Admit, what is released by Release
        int served;
        int refusing;
        int heldByRemote;
    } steps[] = {
        { Admit, "10.0.0.1", Admission::Serve, 1, 0, 1 },
        { Admit, "10.0.0.1", Admission::Serve, 2, 0, 2 },
        // Over its own limit while there is room for others.
        { Admit, "10.0.0.1", Admission::Refuse, 2, 1, 2 },
        { Admit, "10.0.0.2", Admission::Serve, 3, 1, 1 },
        // A balancer is not held to the per-address limit...
        { Admit, "10.0.0.9", Admission::Serve, 4, 1, 1 },
        // ... but to the total, like everyone.
        { Admit, "10.0.0.9", Admission::Refuse, 4, 2, 1 },
        // Refusals at their own limit: dropped, nothing counted.
        { Admit, "10.0.0.3", Admission::Drop, 4, 2, 0 },
        { Release, "10.0.0.2", Admission::Serve, 3, 2, 0 },
        { Admit, "10.0.0.3", Admission::Serve, 4, 2, 1 },
        { Release, "10.0.0.9", Admission::Refuse, 4, 1, 1 },
        { Admit, "10.0.0.4", Admission::Refuse, 4, 2, 0 },
        { Release, "10.0.0.1", Admission::Serve, 3, 2, 1 },
        { Release, "10.0.0.1", Admission::Serve, 2, 2, 0 },
        // Room again for the address that was over its limit.
        { Admit, "10.0.0.1", Admission::Serve, 3, 2, 1 },
        { Release, "10.0.0.1", Admission::Refuse, 3, 1, 1 },
        { Release, "10.0.0.4", Admission::Refuse, 3, 0, 0 },
        // Releasing what was dropped changes nothing.
        { Release, "10.0.0.3", Admission::Drop, 3, 0, 1 },
    };
    int n = 0;
    for (const auto &s : steps) {
        ++n;
        if (s.op == Admit)
            EXPECT_EQ(limits.admit(s.remote), s.admission) << "step " << n;
        else
            limits.release(s.remote, s.admission);
        EXPECT_EQ(limits.served(), s.served) << "step " << n;
        EXPECT_EQ(limits.refusing(), s.refusing) << "step " << n;
        EXPECT_EQ(limits.heldBy(s.remote), s.heldByRemote) << "step " << n;
    }
}

TEST(ConnectionLimitsAdmission, OnlyTheListedBalancersAreTrusted)
{
    ConnectionLimits::Settings settings;
    settings.maxPerAddress = 1;
    settings.trustedProxies = { "10.0.0.9", "10.0.0.10" };
    ConnectionLimits limits(settings);
    for (const char *proxy : { "10.0.0.9", "10.0.0.10" }) {
        EXPECT_TRUE(limits.isTrustedProxy(proxy)) << proxy;
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(limits.admit(proxy), Admission::Serve) << proxy << " #" << i;
    }
    for (const char *other : { "10.0.0.1", "10.0.0.90", "10.0.0", "" }) {
        EXPECT_FALSE(limits.isTrustedProxy(other)) << other;
        EXPECT_EQ(limits.admit(other), Admission::Serve) << other;
        EXPECT_EQ(limits.admit(other), Admission::Refuse) << other;
    }
}

TEST(ConnectionLimitsBodies, TheBudgetIsSharedAndNeverWrapsAround)
{
    ConnectionLimits::Settings settings;
    settings.maxBufferedBodies = 100;
    ConnectionLimits limits(settings);
    constexpr auto kHuge = std::numeric_limits<std::size_t>::max();
    enum Op { Reserve, Release };
    const struct
    {
        Op op;
        std::size_t bytes;
        bool granted; // for Reserve
        std::size_t held;
    } steps[] = {
        { Reserve, 60, true, 60 },
        { Reserve, 41, false, 60 },
        { Reserve, 40, true, 100 },
        { Reserve, 1, false, 100 },
        { Reserve, 0, true, 100 },
        { Release, 40, true, 60 },
        // A length near the maximum must not wrap the sum into "fits".
        { Reserve, kHuge, false, 60 },
        { Reserve, kHuge - 59, false, 60 },
        { Release, 60, true, 0 },
        { Reserve, 100, true, 100 },
        { Release, 100, true, 0 },
        { Reserve, kHuge, false, 0 },
    };
    int n = 0;
    for (const auto &s : steps) {
        ++n;
        if (s.op == Reserve)
            EXPECT_EQ(limits.reserveBody(s.bytes), s.granted) << "step " << n;
        else
            limits.releaseBody(s.bytes);
        EXPECT_EQ(limits.bufferedBodies(), s.held) << "step " << n;
    }
}

// Milliseconds the test moves by hand.
struct TestClock
{
    std::int64_t now = 7'000'000;
};

TEST(ConnectionLimitsDeadlines, EachPhaseHasItsOwnDeadline)
{
    // Every time different, so that one read in place of another shows.
    ConnectionLimits::Settings settings;
    settings.idleMs = 100;
    settings.headMs = 1000;
    settings.requestMs = 5000;
    settings.refuseReadMs = 200;
    settings.writeMs = 3000;
    settings.lingerMs = 300;
    const ConnectionLimits limits(settings);

    const struct
    {
        const char *what;
        Phase first; // at the connection
        Phase phase; // the phase it is in, entered `enteredAt` after the connection
        std::int64_t enteredAt;
        bool received;
        bool headDone;
        std::int64_t at; // since the connection
        Verdict verdict;
    } cases[] = {
        { "silent, just in time", Phase::Reading, Phase::Reading, 0, false, false, 99, Verdict::Wait },
        { "silent", Phase::Reading, Phase::Reading, 0, false, false, 100, Verdict::Close },
        // Silence is closed without a word even once the head time is out.
        { "silent long", Phase::Reading, Phase::Reading, 0, false, false, 1000, Verdict::Close },
        { "head started", Phase::Reading, Phase::Reading, 0, true, false, 100, Verdict::Wait },
        { "head, just in time", Phase::Reading, Phase::Reading, 0, true, false, 999, Verdict::Wait },
        { "head too slow", Phase::Reading, Phase::Reading, 0, true, false, 1000, Verdict::RequestTimeout },
        { "body, past the head time", Phase::Reading, Phase::Reading, 0, true, true, 1000, Verdict::Wait },
        { "body, just in time", Phase::Reading, Phase::Reading, 0, true, true, 4999, Verdict::Wait },
        { "body too slow", Phase::Reading, Phase::Reading, 0, true, true, 5000, Verdict::RequestTimeout },
        { "refusing", Phase::Refusing, Phase::Refusing, 0, true, false, 199, Verdict::Wait },
        { "refusing, time out", Phase::Refusing, Phase::Refusing, 0, false, false, 200, Verdict::Refuse },
        // The handler has no time limit of its own.
        { "handling", Phase::Reading, Phase::Handling, 50, true, true, 1'000'000, Verdict::Wait },
        // Writing and lingering count from their own start, not the connection.
        { "writing", Phase::Reading, Phase::Writing, 4000, true, true, 6999, Verdict::Wait },
        { "writing too slow", Phase::Reading, Phase::Writing, 4000, true, true, 7000, Verdict::Close },
        { "a refusal written", Phase::Refusing, Phase::Writing, 200, false, false, 3199, Verdict::Wait },
        { "lingering", Phase::Reading, Phase::Lingering, 7000, true, true, 7299, Verdict::Wait },
        { "lingering over", Phase::Reading, Phase::Lingering, 7000, true, true, 7300, Verdict::Close },
    };
    for (const auto &k : cases) {
        TestClock clock;
        const std::int64_t opened = clock.now;
        auto progress = ConnectionLimits::Progress::opened(k.first, clock.now);
        progress.receivedAny = k.received;
        clock.now = opened + k.enteredAt;
        if (k.phase != k.first)
            progress.enter(k.phase, clock.now);
        clock.now = opened + k.at;
        EXPECT_EQ(limits.due(progress, k.headDone, clock.now), k.verdict) << k.what;
    }
}

TEST(ConnectionLimitsDeadlines, DefaultsAreTheServersLongStandingTimes)
{
    // The values the server has always run with, which tests over the wire
    // read back through HttpServer::Tuning: a change here is a decision.
    const ConnectionLimits limits;
    const auto &s = limits.settings();
    EXPECT_EQ(s.idleMs, 2000);
    EXPECT_EQ(s.headMs, 10000);
    EXPECT_EQ(s.requestMs, 60000);
    EXPECT_EQ(s.refuseReadMs, 1000);
    EXPECT_EQ(s.writeMs, 30000);
    EXPECT_EQ(s.lingerMs, 1000);
    EXPECT_EQ(s.maxConnections, 512);
    EXPECT_EQ(s.maxPerAddress, 32);
    EXPECT_EQ(s.maxRefusing, 256);
    EXPECT_EQ(s.maxBufferedBodies, 48u * 1024 * 1024);
    EXPECT_TRUE(s.trustedProxies.empty());
}

} // namespace
