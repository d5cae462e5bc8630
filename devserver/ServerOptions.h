#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace devserver {

// The command line of voxlane-devserver.
struct ServerOptions
{
    std::string database = "voxlane-devserver.sqlite"; // a SQLite file or a postgresql:// URL
    std::string address = "127.0.0.1";
    std::uint16_t port = 8080;
    std::string seed; // "" or "demo"
    // Load balancers whose X-Forwarded-For names the client (IPv4).
    std::vector<std::string> trustedProxies;
    // HTTPS with this certificate (PEM, chain after it) and key; both or
    // neither.
    std::string tlsCertificate;
    std::string tlsKey;
    bool quiet = false;
    bool help = false;

    // Nothing with a message in `error` when the arguments are not valid.
    static std::optional<ServerOptions> parse(const std::vector<std::string> &args, std::string &error);
    static std::string usage();
};

} // namespace devserver
