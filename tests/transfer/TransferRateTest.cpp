#include "transfer/TransferRate.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Step
{
    qint64 time;
    qint64 position;
};

// The speed and the time left as the clock (the test's) goes on: a steady
// transfer, one that speeds up, one that stalls, one resumed from an
// earlier point, and the first second, which tells nothing yet.
TEST(TransferRate, SmoothedSpeedAndTimeLeftFollowTheCount)
{
    const qint64 total = 10'000'000;
    const struct
    {
        const char *what;
        std::vector<Step> steps;
        qint64 now;
        std::optional<double> rate;
        std::optional<qint64> left;
    } cases[] = {
        { "nothing measured", {}, 0, std::nullopt, std::nullopt },
        { "under a second seen", { { 0, 0 }, { 500, 50'000 } }, 900, std::nullopt, std::nullopt },
        { "steady 100 KB/s, 2 s", { { 0, 0 }, { 1000, 100'000 }, { 2000, 200'000 } }, 2000, 100'000.0, 98 },
        // Only the last five seconds count: 1 MB/s now, whatever came before.
        { "faster after a slow start",
            { { 0, 0 }, { 5000, 50'000 }, { 6000, 1'050'000 }, { 10000, 5'050'000 } }, 10000, 1'000'000.0, 5 },
        // Nothing moved for 2 of the last 5 seconds: the speed falls
        // without any new sample.
        { "slowing down", { { 0, 0 }, { 3000, 300'000 } }, 5000, 60'000.0, 162 },
        { "stalled for longer than the window", { { 0, 0 }, { 3000, 300'000 } }, 9000, 0.0, std::nullopt },
        // A resume from an earlier count starts the measure again.
        { "count went back", { { 0, 0 }, { 2000, 2'000'000 }, { 2500, 1'000'000 }, { 3000, 1'200'000 } }, 3000,
            std::nullopt, std::nullopt },
        { "count went back, then a second", { { 0, 0 }, { 2000, 2'000'000 }, { 2500, 1'000'000 }, { 3500, 1'200'000 } },
            3500, 200'000.0, 44 },
        { "done", { { 0, 0 }, { 2000, total } }, 2000, 5'000'000.0, 0 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TransferRate rate;
        for (const Step &s : c.steps)
            rate.sample(s.time, s.position);
        const auto measured = rate.bytesPerSecond(c.now);
        ASSERT_EQ(measured.has_value(), c.rate.has_value());
        if (measured) {
            EXPECT_NEAR(*measured, *c.rate, 0.5);
        }
        EXPECT_EQ(rate.secondsLeft(c.now, total), c.left);
    }
}

TEST(TransferRate, ANewConnectionForgetsTheOldSpeed)
{
    TransferRate rate;
    rate.sample(0, 0);
    rate.sample(2000, 4'000'000);
    ASSERT_TRUE(rate.bytesPerSecond(2000).has_value());
    rate.reset();
    rate.sample(10'000, 4'000'000);
    EXPECT_FALSE(rate.bytesPerSecond(10'500).has_value());
    rate.sample(11'000, 4'100'000);
    EXPECT_NEAR(*rate.bytesPerSecond(11'000), 100'000.0, 0.5);
}

TEST(TransferRate, TextsInTheSizesUnits)
{
    const struct
    {
        double rate;
        const char *text;
    } rates[] = {
        { 0, "0 o/s" }, { 850, "850 o/s" }, { 1023.4, "1023 o/s" }, { 1024, "1 Ko/s" },
        { 358'400, "350 Ko/s" }, { 1'048'575, "1024 Ko/s" }, { 1'258'291, "1.2 Mo/s" },
        { 115'000'000, "109.7 Mo/s" },
    };
    for (const auto &r : rates)
        EXPECT_EQ(TransferRate::rateText(r.rate), QString::fromUtf8(r.text)) << r.rate;

    const struct
    {
        qint64 seconds;
        const char *text;
    } times[] = {
        { 0, "0 s restante" }, { 1, "1 s restante" }, { 12, "12 s restantes" }, { 59, "59 s restantes" },
        { 60, "1 min 00 s restantes" }, { 185, "3 min 05 s restantes" }, { 3599, "59 min 59 s restantes" },
        { 3600, "1 h 00 min restantes" }, { 3601, "1 h 01 min restantes" }, { 7800, "2 h 10 min restantes" },
    };
    for (const auto &t : times)
        EXPECT_EQ(TransferRate::timeLeftText(t.seconds), QString::fromUtf8(t.text)) << t.seconds;

    EXPECT_EQ(TransferRate::caption(358'400.0, 12), QString::fromUtf8("350 Ko/s — 12 s restantes"));
    EXPECT_EQ(TransferRate::caption(358'400.0, std::nullopt), QStringLiteral("350 Ko/s"));
    EXPECT_EQ(TransferRate::caption(std::nullopt, std::nullopt), QString::fromUtf8("Calcul de la vitesse…"));
    EXPECT_EQ(TransferRate::caption(0.0, std::nullopt), QString::fromUtf8("En attente de données"));

    EXPECT_EQ(TransferRate::totalsText(std::nullopt, std::nullopt), QString());
    EXPECT_EQ(TransferRate::totalsText(1'258'291.0, std::nullopt), QString::fromUtf8("Réception : 1.2 Mo/s"));
    EXPECT_EQ(TransferRate::totalsText(std::nullopt, 0.0), QString::fromUtf8("Envoi : 0 o/s"));
    EXPECT_EQ(TransferRate::totalsText(1'258'291.0, 358'400.0),
        QString::fromUtf8("Réception : 1.2 Mo/s   Envoi : 350 Ko/s"));
}

} // namespace
