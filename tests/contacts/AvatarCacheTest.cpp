// The avatar cache on its own, against the fake service.
#include "contacts/AvatarCache.h"

#include "base/ErrorReport.h"
#include "contacts/JpegCodec.h"
#include "service/ServiceSession.h"

#include "support/FakeService.h"
#include "support/ScriptedDialogs.h"
#include "support/QtPrinters.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

class AvatarCacheTest : public testing::Test
{
protected:
    AvatarCacheTest()
    {
        service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("5")));
    }

    static QByteArray jpeg(QColor colour, QSize size = QSize(30, 20))
    {
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(colour);
        return JpegCodec::encode(picture, 90);
    }

    QList<QByteArray> paths() const
    {
        QList<QByteArray> out;
        for (const FakeService::Request &r : service.requests)
            out << r.path();
        return out;
    }

    FakeService service;
    ScriptedDialogs dialogs;
    ServiceSession session { service.baseUrl(), HttpLimits { 2000, 2000 }, QString(), dialogs };
    AvatarCache cache { session };
};

TEST_F(AvatarCacheTest, FetchesOnceKeepsFullSizeAndRefreshReplaces)
{
    service.script("/avatars/5.jpg", FakeService::Reply::bytes(jpeg(Qt::red, QSize(100, 50))));
    service.script("/avatars/5.jpg", FakeService::Reply::bytes(jpeg(Qt::blue)));

    const std::optional<QImage> first = cache.GetAvatar(QStringLiteral("bob"), false);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), QSize(100, 50));
    EXPECT_EQ(paths(), QList<QByteArray>({ "/script/getinfo.php", "/avatars/5.jpg" }));

    // From the cache: no request.
    ASSERT_TRUE(cache.GetAvatar(QStringLiteral("bob"), false));
    EXPECT_EQ(service.requests.size(), 2);

    // Refresh: fetched again, the entry replaced in place.
    const std::optional<QImage> again = cache.GetAvatar(QStringLiteral("bob"), true);
    ASSERT_TRUE(again);
    EXPECT_GT(qBlue(again->pixel(5, 5)), 200);
    EXPECT_EQ(cache.AvatarCacheNames, QStringList { "bob" });
    EXPECT_GT(qBlue(cache.AvatarCachePictures.at(0).pixel(5, 5)), 200);
    EXPECT_EQ(service.requests.size(), 4);
}

TEST_F(AvatarCacheTest, NamesCompareExactlyAndEachEntryLookedAtIsLogged)
{
    service.script("/avatars/5.jpg", FakeService::Reply::bytes(jpeg(Qt::green)));
    ASSERT_TRUE(cache.GetAvatar(QStringLiteral("bob"), false));
    ASSERT_TRUE(cache.GetAvatar(QStringLiteral("Bob"), false)); // another entry, fetched
    EXPECT_EQ(cache.AvatarCacheNames, (QStringList { "bob", "Bob" }));

    QSignalSpy log(&cache, &AvatarCache::logLine);
    ASSERT_TRUE(cache.GetAvatar(QStringLiteral("Bob"), false));
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log.at(0).at(0).toString(), QStringLiteral("bob"));
    EXPECT_EQ(log.at(1).at(0).toString(), QStringLiteral("Bob"));
}

TEST_F(AvatarCacheTest, FailuresKeepTheCacheAsItWas)
{
    const struct
    {
        const char *name;
        QString pseudo;
        FakeService::Reply picture;
        bool throws;
        int requests;
    } cases[] = {
        { "blank pseudonym", QStringLiteral("  "), FakeService::Reply::bytes(jpeg(Qt::red)), false, 0 },
        { "picture missing", QStringLiteral("ann"), FakeService::Reply::bytes("gone", 404), false, 2 },
        { "picture broken", QStringLiteral("ann"), FakeService::Reply::bytes("not a jpeg"), true, 2 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        service.requests.clear();
        service.clearScripts();
        service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("5")));
        service.script("/avatars/5.jpg", c.picture);
        if (c.throws)
            EXPECT_THROW(cache.GetAvatar(c.pseudo, false), VoxlaneError);
        else
            EXPECT_FALSE(cache.GetAvatar(c.pseudo, false));
        EXPECT_TRUE(cache.AvatarCacheNames.isEmpty());
        EXPECT_TRUE(cache.AvatarCachePictures.isEmpty());
        EXPECT_EQ(service.requests.size(), c.requests);
    }
}

} // namespace
