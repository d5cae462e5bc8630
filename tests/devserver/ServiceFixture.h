#pragma once

#include "RawHttpClient.h"
#include "TestDatabase.h"

#include "CommunityService.h"
#include "HttpServer.h"
#include "PasswordHash.h"
#include "Store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The registration form as a browser posts it to the service `c` talks to.
RawReply registerThrough(const RawHttpClient &c, std::string_view encodedPseudo, std::string_view password,
    std::string_view encodedEmail = "", std::string_view encodedWeb = "");
// A log-in as the client sends it.
std::string logInTarget(std::string_view pseudo, std::string_view password, std::string_view address);
// qxd.php: `owner`'s table of `category`, adding or removing `other`.
std::string qxd(std::string_view owner, bool add, std::string_view category, std::string_view other);
// The sections of a log-in reply, one "NAME\r\n" per member.
std::string contactsIn(const std::string &logInReply);
std::string blockedIn(const std::string &logInReply);
std::string requestsIn(const std::string &logInReply);

// The service in-process on a free loopback port, over a fresh database of
// the engine the test is instantiated for, with a clock the test moves by
// hand. Without a PostgreSQL server for the tests, the PostgreSQL instances
// are skipped, saying why.
class ServiceFixture : public ::testing::TestWithParam<Engine>
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Stops and starts again over the same database file.
    void restart();
    void startService(bool seedDemo);
    void stopService();

    RawHttpClient client(std::string from = "127.0.0.1") const;
    static std::string md5(std::string_view password) { return devserver::PasswordHash::md5Hex(password); }

    RawReply logIn(const RawHttpClient &c, std::string_view pseudo, std::string_view password,
        std::string_view address = "kfjdmcbaepgohlin") const;
    RawReply logOut(const RawHttpClient &c, std::string_view pseudo, std::string_view password) const;
    // The registration form as a browser posts it (values already url-encoded).
    RawReply registerMember(std::string_view encodedPseudo, std::string_view password,
        std::string_view encodedEmail = "", std::string_view encodedWeb = "") const;
    std::vector<std::string> logLines();

    // Set before SetUp() to serve HTTPS with this certificate and key;
    // client() then talks TLS, trusting the authority in caFile.
    struct Https
    {
        std::string certificateFile;
        std::string keyFile;
        std::string caFile;
    };
    std::optional<Https> m_https;

    std::filesystem::path m_dir;
    std::unique_ptr<TestDatabase> m_db;
    std::atomic<std::int64_t> m_now { 1'800'000'000 };
    std::unique_ptr<devserver::Store> m_store;
    std::unique_ptr<devserver::CommunityService> m_service;
    std::unique_ptr<devserver::HttpServer> m_server;

private:
    std::mutex m_logMutex;
    std::vector<std::string> m_log;
};
