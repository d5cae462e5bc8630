#include "negotiation/DataPortTable.h"

#include "app/ui/TfrmPrincipal.h"
#include "negotiation/ControlChannel.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferManager.h"
#include "transfer/ui/TTransferPage.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

namespace {

QStringList dump(const DataPortTable &table)
{
    QStringList out;
    for (const DataPortTable::Row &row : table.rows())
        out << row.port + u':' + row.owner;
    return out;
}

TEST(DataPortTable, FindPortOnAFreshTableOffersTheFirstRowWithoutTakingIt)
{
    DataPortTable table;
    EXPECT_EQ(table.FindPort(), 2010);
    EXPECT_EQ(table.FindPort(), 2010);
    EXPECT_EQ(dump(table), QStringList({ "2010:" }));
}

TEST(DataPortTable, FindPortAppendsAFreeRowWhenEveryRowIsOwned)
{
    DataPortTable table;
    int port = 0;
    ASSERT_EQ(table.TestPort("2010", "10.0.0.1", {}, &port), DataPortTable::Request::Accepted);
    ASSERT_EQ(table.TestPort("2011", "10.0.0.2", {}, &port), DataPortTable::Request::Accepted);
    EXPECT_EQ(table.FindPort(), 2012);
    EXPECT_EQ(dump(table), QStringList({ "2010:10.0.0.1", "2011:10.0.0.2", "2012:" }));
    // The appended row stays free: the next offer proposes it again.
    EXPECT_EQ(table.FindPort(), 2012);
    EXPECT_EQ(table.size(), 3);
}

TEST(DataPortTable, TestPortSequences)
{
    using R = DataPortTable::Request;
    struct Step
    {
        const char *text;
        R expected;
        int port; // the port granted
    };
    const struct
    {
        const char *name;
        std::vector<Step> steps;
        QStringList table;
    } cases[] = {
        { "a port granted once is granted again while nothing holds it",
            { { "2010", R::Accepted, 2010 }, { "2010", R::Accepted, 2010 } }, { "2010:peer" } },
        { "beyond the table: rows in between stay free and carry their port",
            { { "2012", R::Accepted, 2012 } }, { "2010:", "2011:", "2012:peer" } },
        { "a free row in between can be requested later",
            { { "2012", R::Accepted, 2012 }, { "2011", R::Accepted, 2011 } }, { "2010:", "2011:peer", "2012:peer" } },
        { "a port a download holds is refused and changes nothing",
            { { "2020", R::Taken, 0 }, { "2010", R::Accepted, 2010 }, { "2020", R::Taken, 0 } }, { "2010:peer" } },
        { "malformed or out-of-range texts are refused and change nothing",
            { { "20a0", R::Invalid, 0 }, { "", R::Invalid, 0 }, { " 2010", R::Invalid, 0 },
                { "+2010", R::Invalid, 0 }, { "02010", R::Invalid, 0 }, { "-2010", R::Invalid, 0 },
                { "2009", R::Invalid, 0 }, { "80", R::Invalid, 0 }, { "65536", R::Invalid, 0 },
                { "99999999999", R::Invalid, 0 }, { "２０１０", R::Invalid, 0 } },
            { "2010:" } },
        { "the highest port is accepted", { { "65535", R::Accepted, 65535 } }, {} },
    };
    const auto held = [](int port) { return port == 2020; };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DataPortTable table;
        for (const Step &step : c.steps) {
            SCOPED_TRACE(step.text);
            int port = 0;
            EXPECT_EQ(table.TestPort(QString::fromUtf8(step.text), "peer", held, &port), step.expected);
            EXPECT_EQ(port, step.port);
        }
        if (!c.table.isEmpty()) {
            EXPECT_EQ(dump(table), c.table);
        }
    }
}

TEST(DataPortTable, WorksPastTwoHundredFiftySixRows)
{
    DataPortTable table;
    int port = 0;
    ASSERT_EQ(table.TestPort("2300", "peer", {}, &port), DataPortTable::Request::Accepted);
    ASSERT_EQ(table.size(), 291);
    EXPECT_EQ(table.at(290).port, "2300");
    EXPECT_EQ(table.at(290).owner, "peer");
    EXPECT_EQ(table.at(289).port, "2299");
    EXPECT_EQ(table.at(289).owner, "");
    // Row 256 is not row 0 again: requesting 2266 claims its own row.
    ASSERT_EQ(table.TestPort("2266", "other", {}, &port), DataPortTable::Request::Accepted);
    EXPECT_EQ(table.at(256).owner, "other");
    EXPECT_EQ(table.at(0).owner, "");
    for (int i = 0; i <= 300; ++i)
        table.TestPort(QString::number(2010 + i), "x", {}, &port);
    const qsizetype rows = table.size();
    EXPECT_EQ(rows, 301);
    EXPECT_EQ(table.FindPort(), 2311);
    EXPECT_EQ(table.size(), rows + 1);
}

// Rows of uploads, of finished transfers and of earlier peers are records,
// not holds: only a download that holds the port refuses it, wherever its
// row stands.
TEST(DataPortTable, OnlyAHoldingDownloadRefusesAPort)
{
    using R = DataPortTable::Request;
    DataPortTable table;
    int port = 0;
    ASSERT_EQ(table.TestPort("2010", "10.0.0.9", {}, &port), R::Accepted);
    table.AddPort(2010, "1220261210101010123"); // an upload's row, or a finished download's
    table.AddPort(2050, "1220261210101010456"); // a restored unfinished download
    EXPECT_EQ(dump(table), QStringList({ "2010:10.0.0.9", "2010:1220261210101010123", "2050:1220261210101010456" }));
    const auto held = [](int p) { return p == 2050; };
    EXPECT_EQ(table.TestPort("2010", "10.0.0.7", held, &port), R::Accepted);
    EXPECT_EQ(port, 2010);
    port = 0;
    EXPECT_EQ(table.TestPort("2050", "10.0.0.7", held, &port), R::Taken);
    EXPECT_EQ(port, 0);
    // 2011 lies within the table's range but no row carries it: granted with a row of its own.
    EXPECT_EQ(table.TestPort("2011", "10.0.0.7", held, &port), R::Accepted);
    EXPECT_EQ(dump(table).last(), "2011:10.0.0.7");
}

TEST(DataPortTable, OfferingSideKeepsProposingTheFreeRowAfterAnUpload)
{
    DataPortTable table;
    const int offered = table.FindPort();
    table.AddPort(offered, "77");
    EXPECT_EQ(dump(table), QStringList({ "2010:", "2010:77" }));
    EXPECT_EQ(table.FindPort(), 2010);
}

class MainWindowPorts : public MainWindowFixture
{
};

// On a whole client: an unfinished download holds its port; a finished one
// that still listens for its sender gives it up to the new download.
TEST_F(MainWindowPorts, UnfinishedDownloadsHoldTheirPortsFinishedOnesGiveThemUp)
{
    TestClient &w = createWindow();
    ASSERT_TRUE(w.transfers().NewDownload(makeRecord(QStringLiteral("11"), QStringLiteral("bob"), QStringLiteral("a.bin"),
        QStringLiteral("10"), 0, home.filePath(QStringLiteral("a.bin")), 2012, QString())));
    QFile done(home.filePath(QStringLiteral("b.bin")));
    ASSERT_TRUE(done.open(QIODevice::WriteOnly));
    done.write("0123456789");
    done.close();
    ASSERT_TRUE(w.transfers().NewDownload(makeRecord(QStringLiteral("12"), QStringLiteral("bob"), QStringLiteral("b.bin"),
        QStringLiteral("10"), 10, done.fileName(), 2010, QStringLiteral("0"))));
    TransferJob *finished = w.transfers().job(QStringLiteral("12"));
    ASSERT_NE(finished, nullptr);
    EXPECT_TRUE(finished->isServerActive());

    int port = 0;
    EXPECT_FALSE(w.control().TestPort(QStringLiteral("2012"), QStringLiteral("192.168.1.20"), &port));
    EXPECT_TRUE(w.transfers().PortHeld(2012));
    EXPECT_FALSE(w.transfers().PortHeld(2010));
    EXPECT_TRUE(w.control().TestPort(QStringLiteral("2010"), QStringLiteral("192.168.1.20"), &port));
    EXPECT_EQ(port, 2010);
    w.transfers().ReleasePort(2010);
    EXPECT_FALSE(finished->isServerActive());
    EXPECT_EQ(finished->Status(), QStringLiteral("0"));
    // A new download can listen there now.
    EXPECT_TRUE(w.transfers().NewDownload(makeRecord(QStringLiteral("13"), QStringLiteral("bob"), QStringLiteral("c.bin"),
        QStringLiteral("10"), 0, home.filePath(QStringLiteral("c.bin")), 2010, QString())));
    const QStringList log = w.reWatch->toPlainText().split(u'\n');
    EXPECT_TRUE(log.contains(QStringLiteral("Demande de port :2012")));
    EXPECT_TRUE(log.contains(QStringLiteral("Demande de port :2010")));
}

TEST_F(MainWindowPorts, AMalformedRequestIsRefusedAndLoggedWithoutAnyBox)
{
    TestClient &w = createWindow();
    int port = 7;
    EXPECT_FALSE(w.control().TestPort(QStringLiteral("20x0"), QStringLiteral("10.1.1.1"), &port));
    EXPECT_EQ(port, 7);
    EXPECT_EQ(w.control().portTable().size(), 1);
    const QStringList log = w.reWatch->toPlainText().split(u'\n');
    EXPECT_EQ(
        log.mid(log.size() - 2), QStringList({ "Demande de port :20x0", "Port refusé (invalide) :20x0" }));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

} // namespace
