#include "ServiceFixture.h"

#include "DemoSeed.h"

#include <cstdlib>

void ServiceFixture::SetUp()
{
    if (GetParam() == Engine::Postgres && testPostgresUrl().empty())
        GTEST_SKIP() << kNoPostgres;
    std::string pattern = (std::filesystem::temp_directory_path() / "voxlane-devserver-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
    m_db = std::make_unique<TestDatabase>(GetParam(), m_dir, "service");
    ASSERT_FALSE(m_db->location().empty()) << m_db->error();
    startService(true);
}

void ServiceFixture::TearDown()
{
    stopService();
    m_db.reset();
    if (!m_dir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
}

void ServiceFixture::startService(bool seedDemo)
{
    m_store = std::make_unique<devserver::Store>(m_db->location());
    if (seedDemo)
        devserver::DemoSeed::apply(*m_store, m_now);
    m_service = std::make_unique<devserver::CommunityService>(*m_store, [this] { return m_now.load(); });
    m_server = std::make_unique<devserver::HttpServer>(
        [this](const devserver::HttpRequest &r) { return m_service->handle(r); },
        [this](const std::string &line) {
            std::lock_guard lock(m_logMutex);
            m_log.push_back(line);
        });
    std::string error;
    if (m_https) {
        ASSERT_TRUE(m_server->useTls(m_https->certificateFile, m_https->keyFile, &error)) << error;
    }
    ASSERT_TRUE(m_server->listen("127.0.0.1", 0, &error)) << error;
    m_server->start();
}

void ServiceFixture::stopService()
{
    m_server.reset();
    m_service.reset();
    m_store.reset();
}

void ServiceFixture::restart()
{
    stopService();
    startService(false);
}

RawHttpClient ServiceFixture::client(std::string from) const
{
    const RawHttpClient plain(m_server->port(), std::move(from));
    return m_https ? plain.overTls(m_https->caFile) : plain;
}

RawReply ServiceFixture::logIn(const RawHttpClient &c, std::string_view pseudo, std::string_view password,
    std::string_view address) const
{
    return c.get(logInTarget(pseudo, password, address));
}

std::string logInTarget(std::string_view pseudo, std::string_view password, std::string_view address)
{
    return "/voxlane/connect.php?pseudo=" + std::string(pseudo)
        + "&psw=" + devserver::PasswordHash::md5Hex(password) + "&ip=" + std::string(address);
}

RawReply ServiceFixture::logOut(
    const RawHttpClient &c, std::string_view pseudo, std::string_view password) const
{
    return c.get("/voxlane/deconnect.php?pseudo=" + std::string(pseudo) + "&psw=" + md5(password));
}

RawReply ServiceFixture::registerMember(std::string_view encodedPseudo, std::string_view password,
    std::string_view encodedEmail, std::string_view encodedWeb) const
{
    return registerThrough(client(), encodedPseudo, password, encodedEmail, encodedWeb);
}

RawReply registerThrough(const RawHttpClient &c, std::string_view encodedPseudo, std::string_view password,
    std::string_view encodedEmail, std::string_view encodedWeb)
{
    const std::string body = "pseudo=" + std::string(encodedPseudo) + "&password=" + std::string(password)
        + "&confirm=" + std::string(password) + "&email=" + std::string(encodedEmail)
        + "&web=" + std::string(encodedWeb);
    return c.exchange("POST /voxlane/?file=inscriptions.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                      "Content-Type: application/x-www-form-urlencoded\r\n"
                      "Content-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body);
}

std::vector<std::string> ServiceFixture::logLines()
{
    std::lock_guard lock(m_logMutex);
    return m_log;
}

std::string qxd(std::string_view owner, bool add, std::string_view category, std::string_view other)
{
    return "/script/qxd.php?pseudo=" + std::string(owner) + (add ? "&cmd=1&catego=" : "&cmd=2&catego=")
        + std::string(category) + (add ? "&add=" : "&del=") + std::string(other);
}

namespace {

std::string section(const std::string &logInReply, std::string_view head, std::string_view next)
{
    const auto at = logInReply.find(head);
    const auto end = logInReply.find(next);
    if (at == std::string::npos || end == std::string::npos || end < at + head.size())
        return "(no " + std::string(head) + " section)";
    return logInReply.substr(at + head.size(), end - at - head.size());
}

} // namespace

std::string contactsIn(const std::string &logInReply)
{
    return section(logInReply, "[Contacts]\r\n", "[Bloqu\xE9s]");
}

std::string blockedIn(const std::string &logInReply)
{
    return section(logInReply, "[Bloqu\xE9s]\r\n", "[Ask]");
}

std::string requestsIn(const std::string &logInReply)
{
    return section(logInReply, "[Ask]\r\n", "[Messages]");
}
