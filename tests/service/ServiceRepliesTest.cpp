#include "service/ServiceReplies.h"

#include "support/QtPrinters.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

static void PrintTo(const ServiceReplies::PresenceRecord &r, std::ostream *os)
{
    *os << '(' << r.name.toStdString() << ", " << r.address.toStdString() << ')';
}

namespace {

using Outcome = ServiceReplies::LoginOutcome;
using Record = ServiceReplies::PresenceRecord;

QString crlf(const QStringList &lines)
{
    return lines.join(QStringLiteral("\r\n"));
}

TEST(ServiceReplies, LoginOutcomeByWords)
{
    const struct
    {
        const char16_t *body;
        Outcome outcome;
    } cases[] = {
        { u"autorisé", Outcome::Accepted },
        { u"xxautoriséyy", Outcome::Accepted },
        { u"error autorisé", Outcome::Accepted }, // both words: accepted
        { u"error", Outcome::ServiceError },
        { u"Database error 12", Outcome::ServiceError },
        { u"Autorisé", Outcome::Refused }, // letter case counts
        { u"autorise", Outcome::Refused },
        { u"ERROR", Outcome::Refused },
        { u"", Outcome::Refused },
    };
    for (const auto &c : cases)
        EXPECT_EQ(ServiceReplies::loginOutcome(QString::fromUtf16(c.body)), c.outcome)
            << QString::fromUtf16(c.body).toStdString();
}

TEST(ServiceReplies, FullLoginReply)
{
    const QString body = crlf({ "autorisé", "[Contacts]", "carl", "Bob", "alice", "[Bloqués]", "mallory",
        "[Ask]", "dave", "Émile ", "[Messages]", "hello", "" });
    const auto reply = ServiceReplies::readLogin(body);
    EXPECT_EQ(reply.outcome, Outcome::Accepted);
    EXPECT_EQ(reply.contacts, QStringList({ "carl", "Bob", "alice" }));
    // Requests are taken as received, trailing blank included.
    EXPECT_EQ(reply.requests, QStringList({ "dave", "Émile " }));
}

TEST(ServiceReplies, RefusedReplyListsNothing)
{
    const auto reply = ServiceReplies::readLogin(crlf({ "error", "[Contacts]", "carl", "[Bloqués]" }));
    EXPECT_EQ(reply.outcome, Outcome::ServiceError);
    EXPECT_TRUE(reply.contacts.isEmpty());
}

TEST(ServiceReplies, ContactBlockTable)
{
    const struct
    {
        QString body;
        QStringList contacts;
    } cases[] = {
        { crlf({ "[Contacts]", "alice", "Bob", "[Bloqués]" }), { "alice", "Bob" } },
        // Blank lines before and after are trimmed away.
        { crlf({ "[Contacts]", "", "  ", "alice", "Bob", "", "", "[Bloqués]" }), { "alice", "Bob" } },
        { crlf({ "[Contacts]", "[Bloqués]" }), {} },
        { crlf({ "[Contacts]", "", "[Bloqués]" }), {} },
        { crlf({ "[Contacts]", "solo", "[Bloqués]", "x" }), { "solo" } },
        // A blank line inside the block names nobody.
        { crlf({ "[Contacts]", "a", "", "b", "[Bloqués]" }), { "a", "b" } },
        // Missing markers, or markers in the wrong order: no contact.
        { crlf({ "[Contacts]", "alice", "[Ask]" }), {} },
        { crlf({ "alice", "[Bloqués]" }), {} },
        { crlf({ "[Bloqués]", "alice", "[Contacts]", "bob" }), {} },
        { QStringLiteral("[Contacts]"), {} },
        // Markers are matched with exact letter case.
        { crlf({ "[contacts]", "alice", "[Bloqués]" }), {} },
        { QString(), {} },
    };
    for (const auto &c : cases)
        EXPECT_EQ(ServiceReplies::loginContacts(c.body), c.contacts) << c.body.toStdString();
}

TEST(ServiceReplies, RequestBlockTable)
{
    const struct
    {
        QString body;
        QStringList requests;
    } cases[] = {
        { crlf({ "[Ask]", "[Messages]" }), {} }, // adjacent markers
        { crlf({ "[Ask]", "", "  ", "[Messages]" }), {} }, // blank lines skipped
        { crlf({ "[ASK]", "x", "[messages]", "y" }), { "x" } }, // marker lines in any case
        { crlf({ "[Ask]", " a", "\tb\t", "[Messages]" }), { " a", "\tb\t" } }, // untrimmed
        { crlf({ "[Ask]", " [Messages] ", "c", "[Messages]" }), { "c" } }, // marker with blanks skipped
        { crlf({ "[Ask]", "a", "b" }), {} }, // no end marker
        { crlf({ "a", "[Messages]" }), {} }, // no start marker
        { crlf({ "[Messages]", "a", "[Ask]", "b" }), {} }, // wrong order
        { crlf({ " [Ask]", "a", "[Messages]" }), {} }, // whole-line comparison
        { QStringLiteral("[Ask]\na\rb\r\n[Messages]"), { "a", "b" } }, // any line end
    };
    for (const auto &c : cases)
        EXPECT_EQ(ServiceReplies::loginRequests(c.body), c.requests) << c.body.toStdString();
}

TEST(ServiceReplies, PresenceTable)
{
    const struct
    {
        QString body;
        QList<Record> records;
    } cases[] = {
        { QString(), {} },
        { QStringLiteral("nobody online"), {} },
        { QStringLiteral("pseudo=alice<br>abcd<br>pseudo=Bob<br>efgh<br>"),
            { { "alice", "abcd" }, { "Bob", "efgh" } } },
        // Text before the first record and after the last one is ignored.
        { QStringLiteral("<html>pseudo=a<x>b<y></html>"), { { "a", "b" } } },
        // No '<' after the name: empty name and address.
        { QStringLiteral("pseudo=alice"), { { "", "" } } },
        // No '<' after the address.
        { QStringLiteral("pseudo=alice<br>abcd"), { { "alice", "" } } },
        // No '>' at all: nothing dropped, the address reads like the name.
        { QStringLiteral("pseudo=a<b"), { { "a", "a" } } },
        // '>' before the first '<' belongs to the name.
        { QStringLiteral("pseudo=a>b<c"), { { "a>b", "b" } } },
        { QStringLiteral("pseudo=<br><br>"), { { "", "" } } },
        { QStringLiteral("pseudo=x<>pseudo=y<>z<"), { { "x", "pseudo=y" }, { "y", "z" } } },
        { QStringLiteral("pseudo=é ü<br>k<br>"), { { "é ü", "k" } } },
    };
    for (const auto &c : cases)
        EXPECT_EQ(ServiceReplies::readPresence(c.body), c.records) << c.body.toStdString();
}

TEST(ServiceReplies, PresenceIsLinear)
{
    QString well;
    for (int i = 0; i < 100000; ++i)
        well += QStringLiteral("pseudo=member%1<br>abcdefghijklmnop<br>\r\n").arg(i);
    // Records without separators: a reader that searches the rest of the body
    // for each record would be quadratic here.
    const QString bare = QStringLiteral("pseudo=x ").repeated(100000);

    QElapsedTimer timer;
    timer.start();
    const auto records = ServiceReplies::readPresence(well);
    const auto bareRecords = ServiceReplies::readPresence(bare);
    const qint64 elapsed = timer.elapsed();

    ASSERT_EQ(records.size(), 100000);
    EXPECT_EQ(records.last(), (Record { "member99999", "abcdefghijklmnop" }));
    EXPECT_EQ(bareRecords.size(), 100000);
    EXPECT_LT(elapsed, 1000);
}

TEST(ServiceReplies, MemberIdTable)
{
    const struct
    {
        const char *body;
        bool ok;
        int id;
    } cases[] = {
        { "42", true, 42 },
        { "0", true, 0 },
        { "-7", true, -7 },
        { "42\r\n", false, 99 }, // digits followed by a line end are no number
        { " 42", false, 99 },
        { "", false, 99 },
        { "abc", false, 99 },
        { "99999999999", false, 99 },
    };
    for (const auto &c : cases) {
        int id = 99;
        EXPECT_EQ(ServiceReplies::readMemberId(QString::fromLatin1(c.body), id), c.ok) << c.body;
        EXPECT_EQ(id, c.id) << c.body;
    }
}

TEST(ServiceReplies, CardDetailsTable)
{
    const QString longWeb = QString(300, u'w');
    const struct
    {
        QString body;
        QString email;
        QString web;
    } cases[] = {
        { "a@b.fr\nhttp://b.fr", "a@b.fr", "http://b.fr" },
        { "a@b.fr\r\nhttp://b.fr", "a@b.fr\r", "http://b.fr" }, // the CR stays with the address
        { "a@b.fr\nl1\nl2", "a@b.fr", "l1\nl2" },
        { "no line feed", "", "no line feed" },
        { longWeb, "", longWeb.left(255) },
        { "m\n" + longWeb, "m", longWeb.left(255) },
        { "", "", "" },
        { "\n", "", "" },
    };
    for (const auto &c : cases) {
        const auto details = ServiceReplies::readCardDetails(c.body);
        EXPECT_EQ(details.email, c.email) << c.body.toStdString();
        EXPECT_EQ(details.web, c.web) << c.body.toStdString();
    }
}

TEST(ServiceReplies, RegisteredSpellingTable)
{
    EXPECT_EQ(ServiceReplies::readRegisteredSpelling(QString()), QString());
    EXPECT_EQ(ServiceReplies::readRegisteredSpelling(QStringLiteral(" \r\n")), QString());
    EXPECT_EQ(ServiceReplies::readRegisteredSpelling(QStringLiteral("Alice\r\n")), QStringLiteral("Alice"));
    EXPECT_EQ(
        ServiceReplies::readRegisteredSpelling(QStringLiteral("\t Jean Paul ")), QStringLiteral("Jean Paul"));
}

TEST(ServiceReplies, SimpleWordsMatchExactCase)
{
    EXPECT_TRUE(ServiceReplies::isDisconnected(QStringLiteral("Vous êtes Déconnecté.")));
    EXPECT_FALSE(ServiceReplies::isDisconnected(QStringLiteral("déconnecté")));
    EXPECT_FALSE(ServiceReplies::isDisconnected(QStringLiteral("Deconnecte")));
    EXPECT_TRUE(ServiceReplies::isOk(QStringLiteral("ok")));
    EXPECT_TRUE(ServiceReplies::isOk(QStringLiteral("bookmark")));
    EXPECT_FALSE(ServiceReplies::isOk(QStringLiteral("OK")));
}

TEST(ServiceReplies, SplitLinesLikeTheProgramsLists)
{
    EXPECT_EQ(
        ServiceReplies::splitLines(QStringLiteral("a\r\nb\rc\nd")), QStringList({ "a", "b", "c", "d" }));
    EXPECT_EQ(ServiceReplies::splitLines(QStringLiteral("a\r\n")), QStringList({ "a" }));
    EXPECT_EQ(ServiceReplies::splitLines(QStringLiteral("a\r\n\r\nb")), QStringList({ "a", "", "b" }));
    EXPECT_EQ(ServiceReplies::splitLines(QString()), QStringList());
    EXPECT_EQ(ServiceReplies::trimBlanks(QStringLiteral("\x01 a b\x1f\r\n")), QStringLiteral("a b"));
}

} // namespace
