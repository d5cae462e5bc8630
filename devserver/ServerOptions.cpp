#include "ServerOptions.h"

#include <algorithm>
#include <arpa/inet.h>

namespace devserver {

std::optional<ServerOptions> ServerOptions::parse(const std::vector<std::string> &args, std::string &error)
{
    ServerOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return std::nullopt;
            }
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--db") {
            auto v = value();
            if (!v)
                return std::nullopt;
            o.database = *v;
        } else if (a == "--seed") {
            auto v = value();
            if (!v)
                return std::nullopt;
            if (*v != "demo") {
                error = "unknown seed \"" + *v + "\" (only \"demo\" exists)";
                return std::nullopt;
            }
            o.seed = *v;
        } else if (a == "--trusted-proxy") {
            auto v = value();
            if (!v)
                return std::nullopt;
            in_addr address {};
            if (::inet_pton(AF_INET, v->c_str(), &address) != 1) {
                error = "--trusted-proxy wants an IPv4 address, for instance 10.0.0.10";
                return std::nullopt;
            }
            o.trustedProxies.push_back(*v);
        } else if (a == "--tls-cert" || a == "--tls-key") {
            auto v = value();
            if (!v)
                return std::nullopt;
            if (v->empty()) {
                error = a + " wants a file";
                return std::nullopt;
            }
            (a == "--tls-cert" ? o.tlsCertificate : o.tlsKey) = *v;
        } else if (a == "--listen") {
            auto v = value();
            if (!v)
                return std::nullopt;
            const auto colon = v->rfind(':');
            const std::string portText = colon == std::string::npos ? std::string() : v->substr(colon + 1);
            if (colon == std::string::npos || colon == 0 || portText.empty() || portText.size() > 5
                || !std::all_of(portText.begin(), portText.end(), [](char c) { return c >= '0' && c <= '9'; })
                || std::stoi(portText) > 65535) {
                error = "--listen wants ADDRESS:PORT, for instance 127.0.0.1:8080";
                return std::nullopt;
            }
            o.address = v->substr(0, colon);
            o.port = static_cast<std::uint16_t>(std::stoi(portText));
        } else {
            error = "unknown argument \"" + a + "\"";
            return std::nullopt;
        }
    }
    if (o.tlsCertificate.empty() != o.tlsKey.empty()) {
        error = "--tls-cert and --tls-key go together: HTTPS needs the certificate and its key";
        return std::nullopt;
    }
    return o;
}

std::string ServerOptions::usage()
{
    return "Usage: voxlane-devserver [--db FILE|URL] [--listen ADDR:PORT] [--seed demo] [--trusted-proxy ADDR]...\n"
           "                         [--tls-cert FILE --tls-key FILE] [--quiet]\n"
           "  --db FILE           SQLite database, created on first start (default "
           "voxlane-devserver.sqlite)\n"
           "  --db URL            PostgreSQL database, postgresql://USER@HOST/DBNAME; several instances\n"
           "                      may share one\n"
           "  --listen ADDR:PORT  IPv4 address and port to serve on (default 127.0.0.1:8080; port 0 = any)\n"
           "  --seed demo         add the demo members alice, bob and carol once (password = pseudonym)\n"
           "  --trusted-proxy ADDR\n"
           "                      a load balancer in front: requests from ADDR come from the address it\n"
           "                      names last in X-Forwarded-For (may be given several times)\n"
           "  --tls-cert FILE     serve HTTPS with this certificate (PEM; the chain may follow it)\n"
           "  --tls-key FILE      ... and this private key (PEM); without them: plain HTTP\n"
           "  --quiet             no log line per request\n";
}

} // namespace devserver
