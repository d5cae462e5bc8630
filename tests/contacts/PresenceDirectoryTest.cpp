#include "contacts/PresenceDirectory.h"
#include "contacts/PseudoList.h"

#include "support/QtPrinters.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

using Record = PresenceDirectory::Record;

qsizetype naiveIndexOf(const QStringList &list, const QString &name)
{
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (list.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// The indexed list must behave exactly like a plain list searched with a
// case-blind comparison, whatever the mix of operations.
TEST(PseudoList, BehavesLikeACaseBlindList)
{
    const QStringList pool = { QStringLiteral("alice"), QStringLiteral("ALICE"), QStringLiteral("Bob"),
        QStringLiteral("bob"), QStringLiteral("Émile"), QStringLiteral("émile"), QStringLiteral("carl"),
        QStringLiteral("dora"), QStringLiteral("Eve") };
    QRandomGenerator rng(7);
    PseudoList list;
    QStringList model;
    for (int step = 0; step < 5000; ++step) {
        const QString name = pool.at(rng.bounded(int(pool.size())));
        switch (rng.bounded(4)) {
        case 0:
        case 1:
            list.append(name);
            model.append(name);
            break;
        case 2: {
            const qsizetype i = naiveIndexOf(model, name);
            EXPECT_EQ(list.removeOne(name), i >= 0);
            if (i >= 0)
                model.removeAt(i);
            break;
        }
        default:
            EXPECT_EQ(list.indexOf(name), naiveIndexOf(model, name));
            break;
        }
        ASSERT_EQ(list.contains(name), naiveIndexOf(model, name) >= 0) << step;
        ASSERT_EQ(list.size(), model.size());
    }
    EXPECT_EQ(list.toStringList(), model);
    for (qsizetype i = 0; i < model.size(); ++i)
        EXPECT_EQ(list.at(i), model.at(i));
}

TEST(PseudoList, RemovesTheFirstMatchAndKeepsOrder)
{
    PseudoList list { QStringLiteral("Bob"), QStringLiteral("alice"), QStringLiteral("BOB") };
    EXPECT_TRUE(list.removeOne(QStringLiteral("bob")));
    EXPECT_EQ(list.toStringList(), (QStringList { QStringLiteral("alice"), QStringLiteral("BOB") }));
    EXPECT_EQ(list.removeAll(QStringLiteral("Bob")), 1);
    EXPECT_FALSE(list.removeOne(QStringLiteral("bob")));
    list.clear();
    EXPECT_TRUE(list.isEmpty());
    EXPECT_FALSE(list.contains(QStringLiteral("alice")));
}

TEST(PresenceDirectory, LastRecordWinsAndOnlyAsciiLettersFold)
{
    PresenceDirectory dir;
    dir.assign({ { QStringLiteral("bob"), QStringLiteral("AAA") },
        { QStringLiteral("éric"), QStringLiteral("EEE") }, { QStringLiteral("Bob"), QStringLiteral("BBB") },
        { QStringLiteral("carl"), QStringLiteral("CCC") } });
    EXPECT_EQ(dir.lastAddress(QStringLiteral("BOB")), QStringLiteral("BBB"));
    EXPECT_EQ(dir.lastAddress(QStringLiteral("bob")), QStringLiteral("BBB"));
    EXPECT_EQ(dir.lastAddress(QStringLiteral("éRIC")), QStringLiteral("EEE"));
    // é is not an ASCII letter: "ÉRIC" is another name for the address look-up.
    EXPECT_EQ(dir.lastAddress(QStringLiteral("ÉRIC")), std::nullopt);
    EXPECT_EQ(dir.lastAddress(QStringLiteral("dora")), std::nullopt);
    EXPECT_EQ(dir.names(),
        (QStringList {
            QStringLiteral("bob"), QStringLiteral("éric"), QStringLiteral("Bob"), QStringLiteral("carl") }));

    dir.assign({});
    EXPECT_EQ(dir.lastAddress(QStringLiteral("bob")), std::nullopt);
}

TEST(CheckContacts, MovesFollowTheContactListOrder)
{
    const QStringList contacts = { QStringLiteral("alice"), QStringLiteral("Bob"), QStringLiteral("carl"),
        QStringLiteral("dora"), QStringLiteral("eve") };
    PseudoList online { QStringLiteral("dora"), QStringLiteral("carl") };
    PseudoList offline { QStringLiteral("alice"), QStringLiteral("Bob"), QStringLiteral("eve") };
    // bob differs from the contact only by case; dora stays online; carl left;
    // zed is no contact.
    const PseudoList users { QStringLiteral("zed"), QStringLiteral("eve"), QStringLiteral("bob"),
        QStringLiteral("dora") };
    const QList<PresenceTransition> moves = CheckContacts(contacts, users, online, offline);
    const QList<PresenceTransition> expected = { { QStringLiteral("Bob"), true },
        { QStringLiteral("carl"), false }, { QStringLiteral("eve"), true } };
    EXPECT_EQ(moves, expected);
    EXPECT_EQ(online.toStringList(),
        (QStringList { QStringLiteral("dora"), QStringLiteral("Bob"), QStringLiteral("eve") }));
    EXPECT_EQ(offline.toStringList(), (QStringList { QStringLiteral("alice"), QStringLiteral("carl") }));

    // Same presence again: nothing moves.
    EXPECT_TRUE(CheckContacts(contacts, users, online, offline).isEmpty());
}

TEST(CheckContacts, ContactInNeitherListStaysOut)
{
    PseudoList online;
    PseudoList offline;
    const PseudoList users { QStringLiteral("rita") };
    EXPECT_TRUE(
        CheckContacts({ QStringLiteral("rita"), QStringLiteral("sam") }, users, online, offline).isEmpty());
    EXPECT_TRUE(online.isEmpty());
    EXPECT_TRUE(offline.isEmpty());
}

} // namespace

namespace {

TEST(PseudoList, IteratesLiveEntriesAndCopiesFromAPlainList)
{
    PseudoList list = QStringList { QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c") };
    list.removeOne(QStringLiteral("B"));
    QStringList seen;
    for (const QString &name : list)
        seen.append(name);
    EXPECT_EQ(seen, (QStringList { QStringLiteral("a"), QStringLiteral("c") }));
}

} // namespace
