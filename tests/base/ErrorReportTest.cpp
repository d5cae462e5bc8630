#include "base/ErrorReport.h"
#include "base/TextConvert.h"

#include "support/RecordedErrors.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

TEST(ErrorReport, ExceptionFromATimerIsReportedOnceAndTheLoopGoesOn)
{
    RecordedErrors::take();
    QObject context;
    int after = 0;
    QTimer::singleShot(0, &context, [] { TextConvert::strToInt(QStringLiteral("12a")); });
    QTimer::singleShot(5, &context, [&] { ++after; });
    QTimer::singleShot(20, &context, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    const QStringList errors = RecordedErrors::take();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors.first(), QStringLiteral("'12a' is not a valid integer value"));
    EXPECT_EQ(after, 1);
}

TEST(ErrorReport, AThrowingSlotIsReportedAtItsBoundaryAndTheSignalGoesOn)
{
    RecordedErrors::take();
    QObject sender;
    QStringList seen;
    QObject::connect(&sender, &QObject::objectNameChanged, &sender, reportingSlot([&](const QString &name) {
        seen << name;
        throw VoxlaneError(QStringLiteral("refused ") + name);
    }));
    int shorter = 0; // a slot may take fewer arguments than the signal gives
    QObject::connect(&sender, &QObject::objectNameChanged, &sender, reportingSlot([&] {
        ++shorter;
        TextConvert::strToInt(QStringLiteral("x1"));
    }));
    QObject::connect(&sender, &QObject::objectNameChanged, &sender,
        [&](const QString &name) { seen << QStringLiteral("after ") + name; });

    sender.setObjectName(QStringLiteral("a"));
    sender.setObjectName(QStringLiteral("b"));

    EXPECT_EQ(seen, (QStringList { "a", "after a", "b", "after b" }));
    EXPECT_EQ(shorter, 2);
    EXPECT_EQ(RecordedErrors::take(),
        (QStringList { "refused a", "'x1' is not a valid integer value", "refused b",
            "'x1' is not a valid integer value" }));
}

TEST(TextConvert, IntegerTexts)
{
    const struct {
        const char *text;
        bool valid;
        qint64 value;
    } cases[] = {
        {"0", true, 0},           {"-12", true, -12},        {"+7", true, 7},
        {"2147483647", true, 2147483647LL}, {"-2147483648", true, -2147483648LL},
        {"2147483648", false, 0}, {"", false, 0},             {" 1", false, 0},
        {"1 ", false, 0},         {"-", false, 0},            {"0x10", false, 0},
        {"12\r\n", false, 0},
    };
    for (const auto &c : cases) {
        int v = -99;
        EXPECT_EQ(TextConvert::tryStrToInt(QString::fromLatin1(c.text), v), c.valid) << c.text;
        if (c.valid)
            EXPECT_EQ(v, c.value) << c.text;
        else
            EXPECT_THROW(TextConvert::strToInt(QString::fromLatin1(c.text)), VoxlaneError) << c.text;
    }
    qint64 big = 0;
    EXPECT_TRUE(TextConvert::tryStrToInt64(QStringLiteral("9223372036854775807"), big));
    EXPECT_FALSE(TextConvert::tryStrToInt64(QStringLiteral("9223372036854775808"), big));
}

} // namespace
