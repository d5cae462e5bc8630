#pragma once

#include "RawHttpClient.h"

#include "CommunityService.h"
#include "HttpServer.h"
#include "PasswordHash.h"
#include "Store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The service in-process on a free loopback port, over a database in a
// fresh folder, with a clock the test moves by hand.
class ServiceFixture : public ::testing::Test
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

    std::filesystem::path m_dir;
    std::filesystem::path m_dbPath;
    std::atomic<std::int64_t> m_now { 1'800'000'000 };
    std::unique_ptr<devserver::Store> m_store;
    std::unique_ptr<devserver::CommunityService> m_service;
    std::unique_ptr<devserver::HttpServer> m_server;

private:
    std::mutex m_logMutex;
    std::vector<std::string> m_log;
};
