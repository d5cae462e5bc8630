#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace devserver {

// One request as read from the wire. The target is kept exactly as the
// client sent it: the client never percent-encodes, so its bytes (spaces and
// Windows-1252 letters included) are the values themselves.
struct HttpRequest
{
    std::string method;
    std::string target;
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string remoteAddr;

    // First header of that name, compared ignoring ASCII letter case.
    std::optional<std::string> header(std::string_view name) const;
};

struct HttpResponse
{
    int status = 200;
    std::string contentType = "text/html; charset=windows-1252";
    std::string body;

    static HttpResponse text(std::string body, int status = 200);
    static std::string reason(int status);

    // Status line, headers and body; the connection is closed after it.
    std::string serialize(bool headOnly = false) const;
};

} // namespace devserver
