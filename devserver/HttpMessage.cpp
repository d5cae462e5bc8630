#include "HttpMessage.h"

#include <algorithm>
#include <cctype>

namespace devserver {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

std::optional<std::string> HttpRequest::header(std::string_view name) const
{
    for (const auto &[key, value] : headers) {
        if (equalsIgnoringCase(key, name))
            return value;
    }
    return std::nullopt;
}

HttpResponse HttpResponse::text(std::string body, int status)
{
    HttpResponse r;
    r.status = status;
    r.body = std::move(body);
    return r;
}

std::string HttpResponse::reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 414:
        return "URI Too Long";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

std::string HttpResponse::serialize(bool headOnly) const
{
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\n";
    out += "Content-Type: " + contentType + "\r\n";
    out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    out += "Cache-Control: no-store\r\n";
    out += "Connection: close\r\n\r\n";
    if (!headOnly)
        out += body;
    return out;
}

} // namespace devserver
