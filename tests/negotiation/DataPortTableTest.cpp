#include "negotiation/DataPortTable.h"

#include "app/ui/TfrmPrincipal.h"
#include "negotiation/ControlChannel.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"

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
    ASSERT_EQ(table.TestPort("2010", "10.0.0.1", &port), DataPortTable::Request::Accepted);
    ASSERT_EQ(table.TestPort("2011", "10.0.0.2", &port), DataPortTable::Request::Accepted);
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
        int port; // CurrentPort on acceptance
    };
    const struct
    {
        const char *name;
        std::vector<Step> steps;
        QStringList table;
    } cases[] = {
        { "first request takes row 0, the second is refused",
            { { "2010", R::Accepted, 2010 }, { "2010", R::Taken, 0 } }, { "2010:peer" } },
        { "beyond the table: rows in between stay free and carry their port",
            { { "2012", R::Accepted, 2012 } }, { "2010:", "2011:", "2012:peer" } },
        { "a free row in between can be requested later",
            { { "2012", R::Accepted, 2012 }, { "2011", R::Accepted, 2011 }, { "2012", R::Taken, 0 } },
            { "2010:", "2011:peer", "2012:peer" } },
        { "malformed or out-of-range texts are refused and change nothing",
            { { "20a0", R::Invalid, 0 }, { "", R::Invalid, 0 }, { " 2010", R::Invalid, 0 },
                { "+2010", R::Invalid, 0 }, { "02010", R::Invalid, 0 }, { "-2010", R::Invalid, 0 },
                { "2009", R::Invalid, 0 }, { "80", R::Invalid, 0 }, { "65536", R::Invalid, 0 },
                { "99999999999", R::Invalid, 0 }, { "２０１０", R::Invalid, 0 } },
            { "2010:" } },
        { "the highest port is accepted", { { "65535", R::Accepted, 65535 } }, {} },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DataPortTable table;
        for (const Step &step : c.steps) {
            SCOPED_TRACE(step.text);
            int port = 0;
            EXPECT_EQ(table.TestPort(QString::fromUtf8(step.text), "peer", &port), step.expected);
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
    ASSERT_EQ(table.TestPort("2300", "peer", &port), DataPortTable::Request::Accepted);
    ASSERT_EQ(table.size(), 291);
    EXPECT_EQ(table.at(290).port, "2300");
    EXPECT_EQ(table.at(290).owner, "peer");
    EXPECT_EQ(table.at(289).port, "2299");
    EXPECT_EQ(table.at(289).owner, "");
    // Row 256 is not row 0 again: requesting 2266 claims its own row.
    ASSERT_EQ(table.TestPort("2266", "other", &port), DataPortTable::Request::Accepted);
    EXPECT_EQ(table.at(256).owner, "other");
    EXPECT_EQ(table.at(0).owner, "");
    for (int i = 0; i <= 300; ++i)
        table.TestPort(QString::number(2010 + i), "x", &port);
    const qsizetype rows = table.size();
    EXPECT_EQ(rows, 301);
    EXPECT_EQ(table.FindPort(), 2311);
    EXPECT_EQ(table.size(), rows + 1);
}

TEST(DataPortTable, AddPortAppendsEvenForAPortAlreadyListed)
{
    DataPortTable table;
    int port = 0;
    ASSERT_EQ(table.TestPort("2010", "10.0.0.9", &port), DataPortTable::Request::Accepted);
    table.AddPort(2010, "1220261210101010123");
    EXPECT_EQ(dump(table), QStringList({ "2010:10.0.0.9", "2010:1220261210101010123" }));
    // Both rows are owned: the next offer gets a new row whose port follows the row count.
    EXPECT_EQ(table.FindPort(), 2012);
    // 2011 lies within the table's range but no row carries it: granted with a row of its own.
    ASSERT_EQ(table.TestPort("2011", "10.0.0.7", &port), DataPortTable::Request::Accepted);
    EXPECT_EQ(port, 2011);
    EXPECT_EQ(dump(table).last(), "2011:10.0.0.7");
    EXPECT_EQ(table.TestPort("2011", "10.0.0.8", &port), DataPortTable::Request::Taken);
}

TEST(DataPortTable, PortsOfReloadedTransfersAreNeverGrantedAgain)
{
    using R = DataPortTable::Request;
    // The saved list is reloaded at log-in: its transfers hold their ports
    // through rows appended after the free row 2010, one of them far beyond
    // the table's 2010 + index range.
    const struct
    {
        const char *text;
        R expected;
    } requests[] = {
        { "2010", R::Taken }, // row 0 is free, but a later row holds 2010
        { "2050", R::Taken }, // beyond the table, held by a later row
        { "2011", R::Accepted }, // nobody holds it
        { "2011", R::Taken },
    };
    DataPortTable table;
    table.AddPort(2010, "1220261210101010123");
    table.AddPort(2050, "1220261210101010456");
    for (const auto &r : requests) {
        SCOPED_TRACE(r.text);
        int port = 0;
        EXPECT_EQ(table.TestPort(QString::fromUtf8(r.text), "10.0.0.9", &port), r.expected);
        EXPECT_EQ(port, r.expected == R::Accepted ? QString::fromUtf8(r.text).toInt() : 0);
    }
    EXPECT_EQ(table.at(0).owner, "");
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

TEST_F(MainWindowPorts, TestPortLogsTheRequestAndSetsCurrentPortOnAcceptance)
{
    TfrmPrincipal &w = createWindow();
    w.Control->PeerAddress = QStringLiteral("192.168.1.20");
    EXPECT_TRUE(w.Control->TestPort(QStringLiteral("2012")));
    EXPECT_EQ(w.Control->CurrentPort, 2012);
    EXPECT_EQ(w.Control->PortTable.at(2).owner, QStringLiteral("192.168.1.20"));
    EXPECT_FALSE(w.Control->TestPort(QStringLiteral("2012")));
    EXPECT_EQ(w.Control->CurrentPort, 2012);
    EXPECT_EQ(w.Control->FindPort(), 2010);
    EXPECT_EQ(w.Control->CurrentPort, 2010);
    w.Control->AddPort(2010, QStringLiteral("5"));
    EXPECT_EQ(w.Control->PortTable.size(), 4);
    const QStringList log = w.reWatch->toPlainText().split(u'\n');
    EXPECT_EQ(log.mid(log.size() - 2), QStringList({ "Demande de port :2012", "Demande de port :2012" }));
}

TEST_F(MainWindowPorts, AMalformedRequestIsRefusedAndLoggedWithoutAnyBox)
{
    TfrmPrincipal &w = createWindow();
    w.Control->CurrentPort = 7;
    w.Control->PeerAddress = QStringLiteral("10.1.1.1");
    EXPECT_FALSE(w.Control->TestPort(QStringLiteral("20x0")));
    EXPECT_EQ(w.Control->CurrentPort, 7);
    EXPECT_EQ(w.Control->PortTable.size(), 1);
    const QStringList log = w.reWatch->toPlainText().split(u'\n');
    EXPECT_EQ(
        log.mid(log.size() - 2), QStringList({ "Demande de port :20x0", "Port refusé (invalide) :20x0" }));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

} // namespace
