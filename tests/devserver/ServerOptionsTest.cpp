#include "ServerOptions.h"

#include <gtest/gtest.h>

namespace {

using devserver::ServerOptions;

TEST(ServerOptions, CommandLines)
{
    std::string error;
    const auto defaults = ServerOptions::parse({}, error);
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->address, "127.0.0.1"); // loopback unless told otherwise
    EXPECT_EQ(defaults->port, 8080);
    EXPECT_EQ(defaults->seed, "");

    const auto full
        = ServerOptions::parse({ "--db", "x.sqlite", "--listen", "0.0.0.0:0", "--seed", "demo" }, error);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->database, "x.sqlite");
    EXPECT_EQ(full->address, "0.0.0.0");
    EXPECT_EQ(full->port, 0);
    EXPECT_EQ(full->seed, "demo");

    const std::vector<std::vector<std::string>> bad = {
        { "--db" },
        { "--listen", "8080" },
        { "--listen", ":8080" },
        { "--listen", "127.0.0.1:" },
        { "--listen", "127.0.0.1:65536" },
        { "--listen", "127.0.0.1:80a" },
        { "--seed", "full" },
        { "--verbose" },
    };
    for (const auto &args : bad) {
        error.clear();
        EXPECT_FALSE(ServerOptions::parse(args, error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}

} // namespace
