// Which code answers which request: the route table's own rules on a small
// table of named handlers, then the service's table, each route reached
// through CommunityService::handle and told apart by its reply.
#include "TestDatabase.h"

#include "CommunityService.h"
#include "PasswordHash.h"
#include "RouteTable.h"
#include "Store.h"
#include "WebPages.h"
#include "Win1252.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using devserver::PathPattern;
using devserver::RawTarget;
using Table = devserver::RouteTable<std::string>;
namespace Methods = devserver::Methods;

TEST(RouteTable, FirstRouteWhosePathMatchesDecidesWhateverTheMethod)
{
    const Table table({
        { Methods::Post, PathPattern::exact("/files/upload"), "upload", "POST only" },
        { Methods::Read | Methods::Post, PathPattern::exact("/site/").where("page", "join"), "join" },
        { Methods::Read, PathPattern::exact("/status"), "status" },
        { Methods::Read, PathPattern::under("/files/"), "file" },
        { Methods::Read, PathPattern::exact("/"), "home" },
    });
    const struct
    {
        const char *method;
        const char *target;
        const char *route; // "" when no route claims the path
        bool taken;
    } cases[] = {
        { "GET", "/status", "status", true },
        { "HEAD", "/status", "status", true },
        { "POST", "/status", "status", false },
        { "PUT", "/status", "status", false },
        // Methods are compared exactly.
        { "get", "/status", "status", false },
        { "GET", "/status?x=1&y", "status", true },
        // An exact path is exactly that path.
        { "GET", "/status/", "", false },
        { "GET", "/Status", "", false },
        { "GET", "/statusx", "", false },
        { "GET", "", "", false },
        // A folder holds itself and everything below it, not its siblings
        // nor its name without the slash.
        { "GET", "/files/", "file", true },
        { "GET", "/files/7.jpg", "file", true },
        { "GET", "/files/a/b?c=d", "file", true },
        { "GET", "/files", "", false },
        { "GET", "/filesx/7.jpg", "", false },
        // The particular path listed first wins over its folder, with any
        // method: a read of the upload address is the upload's to refuse.
        { "POST", "/files/upload", "upload", true },
        { "GET", "/files/upload", "upload", false },
        { "GET", "/files/upload/", "file", true },
        // A query condition selects by the first pair of that name.
        { "GET", "/site/?page=join", "join", true },
        { "POST", "/site/?x=1&page=join", "join", true },
        { "DELETE", "/site/?page=join", "join", false },
        { "GET", "/site/?page=join&page=other", "join", true },
        { "GET", "/site/?page=other&page=join", "", false },
        { "GET", "/site/?page=joined", "", false },
        { "GET", "/site/", "", false },
        { "GET", "/site/join", "", false },
        { "GET", "/", "home", true },
        { "GET", "/?page=join", "home", true },
    };
    for (const auto &k : cases) {
        const auto found = table.find(k.method, RawTarget(k.target));
        const std::string what = std::string(k.method) + " " + k.target;
        if (*k.route == '\0') {
            EXPECT_EQ(found.route, nullptr) << what << " went to " << found.route->handler;
            EXPECT_FALSE(found.methodTaken) << what;
            continue;
        }
        ASSERT_NE(found.route, nullptr) << what;
        EXPECT_EQ(found.route->handler, k.route) << what;
        EXPECT_EQ(found.methodTaken, k.taken) << what;
    }
    EXPECT_EQ(table.find("GET", RawTarget("/files/upload")).route->methodRefusal, "POST only");
    EXPECT_EQ(table.find("POST", RawTarget("/status")).route->methodRefusal, "");
}

TEST(RouteTable, MethodBits)
{
    EXPECT_EQ(Methods::of("GET"), Methods::Get);
    EXPECT_EQ(Methods::of("HEAD"), Methods::Head);
    EXPECT_EQ(Methods::of("POST"), Methods::Post);
    for (const char *other : { "", "PUT", "DELETE", "OPTIONS", "Get", "POST ", "GETX" })
        EXPECT_EQ(Methods::of(other), 0u) << other;
    EXPECT_NE(Methods::Get, Methods::Head);
    EXPECT_EQ(Methods::Read & Methods::Post, 0u);
}

// The service over a fresh SQLite database, called without any socket.
class ServiceRoutes : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "voxlane-routes-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        m_db = std::make_unique<TestDatabase>(Engine::Sqlite, m_dir, "routes");
        ASSERT_FALSE(m_db->location().empty()) << m_db->error();
        m_store = std::make_unique<devserver::Store>(m_db->location());
        const auto id
            = m_store->addMember("alice", devserver::PasswordHash::md5Hex("secret"), "a@b.fr", "", kNow);
        ASSERT_TRUE(id);
        m_aliceId = *id;
        m_store->setAvatar(m_aliceId, "jpeg bytes", kNow);
        m_service = std::make_unique<devserver::CommunityService>(*m_store, [] { return kNow; });
    }
    void TearDown() override
    {
        m_service.reset();
        m_store.reset();
        m_db.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    devserver::HttpResponse call(const std::string &method, const std::string &target, std::string body = {})
    {
        devserver::HttpRequest request;
        request.method = method;
        request.target = target;
        request.version = "HTTP/1.1";
        request.body = std::move(body);
        request.remoteAddr = "127.0.0.1";
        return m_service->handle(request);
    }

    static constexpr std::int64_t kNow = 1'800'000'000;
    std::filesystem::path m_dir;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<devserver::Store> m_store;
    std::unique_ptr<devserver::CommunityService> m_service;
    std::int64_t m_aliceId = 0;
};

TEST_F(ServiceRoutes, EachRouteReachesItsHandlerAndEverythingElseIsRefusedAsBefore)
{
    const std::string psw = devserver::PasswordHash::md5Hex("secret");
    const std::string alice = std::to_string(m_aliceId);
    const std::string notFound
        = devserver::WebPages::notFound(devserver::Win1252::fromUtf8("Aucune page à cette adresse."));
    const std::string noMethod = devserver::Win1252::fromUtf8("méthode non prise en charge");
    const std::string noAvatar = devserver::WebPages::notFound("Pas d'avatar.");
    const struct
    {
        std::string method;
        std::string target;
        int status;
        std::string body; // the whole body, or a part of it when `part`
        bool part = false;
    } cases[] = {
        // Each route, in the table's order.
        { "POST", "/avatars/uploadqxa.php?pseudo=nobody", 200, "refus\xE9 : membre inconnu" },
        { "GET", "/avatars/uploadqxa.php?pseudo=alice", 405, "POST attendu" },
        { "HEAD", "/avatars/uploadqxa.php", 405, "POST attendu" },
        { "PUT", "/avatars/uploadqxa.php", 405, "POST attendu" },
        { "GET", "/voxlane/?file=inscriptions.php", 200, devserver::WebPages::registration({}, {}) },
        { "HEAD", "/voxlane/index.php?file=inscriptions.php", 200,
            devserver::WebPages::registration({}, {}) },
        { "POST", "/voxlane/index.php?file=inscriptions.php", 400, "<p class=\"err\" id=\"error\">", true },
        { "PUT", "/voxlane/?file=inscriptions.php", 405, noMethod },
        { "GET", "/voxlane/connect.php?pseudo=alice&psw=" + psw + "&ip=kfjdmcbaepgohlin", 200,
            "autoris\xE9\r\n[Contacts]\r\n[Bloqu\xE9s]\r\n[Ask]\r\n[Messages]\r\n" },
        { "GET", "/voxlane/getconnected.php", 200, "pseudo=alice<br>kfjdmcbaepgohlin<br>" },
        { "GET", "/script/getinfo.php?function=getid&pseudo=alice", 200, alice },
        { "GET", "/script/getinfo.php?function=nothing", 400, "fonction inconnue" },
        { "GET", "/script/qxd.php?cmd=9", 200, "refus\xE9 : commande inconnue" },
        { "GET", "/avatars/" + alice + ".jpg", 200, "jpeg bytes" },
        { "GET", "/avatars/", 404, noAvatar },
        { "GET", "/avatars/x/" + alice + ".jpg", 404, noAvatar },
        { "GET", "/quixvale/index.php?page=affichmembre.php?id=" + alice, 200,
            devserver::WebPages::profile(*m_store->memberById(m_aliceId), true, true) },
        { "GET", "/", 200, devserver::WebPages::home() },
        { "HEAD", "/index.html", 200, devserver::WebPages::home() },
        { "GET", "/voxlane/deconnect.php?pseudo=alice&psw=" + psw, 200,
            devserver::CommunityService::kLoggedOut },
        { "GET", "/voxlane/getconnected.php", 200, "" },
        // Wrong methods on a served path.
        { "POST", "/voxlane/connect.php", 405, noMethod },
        { "DELETE", "/", 405, noMethod },
        { "get", "/", 405, noMethod },
        { "POST", "/avatars/" + alice + ".jpg", 405, noMethod },
        // Paths nobody serves: not found to a reader, refused to the rest.
        { "GET", "/nowhere", 404, notFound },
        { "HEAD", "/nowhere", 404, notFound },
        { "POST", "/nowhere", 405, noMethod },
        { "GET", "/avatars", 404, notFound },
        { "GET", "/voxlane/connect.php/", 404, notFound },
        { "GET", "/VOXLANE/connect.php", 404, notFound },
        { "GET", "/voxlane/", 404, notFound },
        { "GET", "/voxlane/index.php?file=autre.php", 404, notFound },
        { "POST", "/voxlane/index.php?file=autre.php", 405, noMethod },
    };
    for (const auto &k : cases) {
        const auto r = call(k.method, k.target);
        const std::string what = k.method + " " + k.target;
        EXPECT_EQ(r.status, k.status) << what;
        if (k.part)
            EXPECT_NE(r.body.find(k.body), std::string::npos) << what << "\n" << r.body;
        else
            EXPECT_EQ(r.body, k.body) << what;
    }
    EXPECT_EQ(call("GET", "/avatars/" + alice + ".jpg").contentType, "image/jpeg");
}

} // namespace
