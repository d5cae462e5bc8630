#include "ServiceFixture.h"

#include "DemoSeed.h"

#include <cstdlib>

void ServiceFixture::SetUp()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "voxlane-devserver-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
    m_dbPath = m_dir / "service.sqlite";
    startService(true);
}

void ServiceFixture::TearDown()
{
    stopService();
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

void ServiceFixture::startService(bool seedDemo)
{
    m_store = std::make_unique<devserver::Store>(m_dbPath.string());
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
    return RawHttpClient(m_server->port(), std::move(from));
}

RawReply ServiceFixture::logIn(const RawHttpClient &c, std::string_view pseudo, std::string_view password,
    std::string_view address) const
{
    return c.get("/voxlane/connect.php?pseudo=" + std::string(pseudo) + "&psw=" + md5(password)
        + "&ip=" + std::string(address));
}

RawReply ServiceFixture::logOut(
    const RawHttpClient &c, std::string_view pseudo, std::string_view password) const
{
    return c.get("/voxlane/deconnect.php?pseudo=" + std::string(pseudo) + "&psw=" + md5(password));
}

RawReply ServiceFixture::registerMember(std::string_view encodedPseudo, std::string_view password,
    std::string_view encodedEmail, std::string_view encodedWeb) const
{
    const std::string body = "pseudo=" + std::string(encodedPseudo) + "&password=" + std::string(password)
        + "&confirm=" + std::string(password) + "&email=" + std::string(encodedEmail)
        + "&web=" + std::string(encodedWeb);
    return client().exchange("POST /voxlane/?file=inscriptions.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                             "Content-Type: application/x-www-form-urlencoded\r\n"
                             "Content-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body);
}

std::vector<std::string> ServiceFixture::logLines()
{
    std::lock_guard lock(m_logMutex);
    return m_log;
}
