#include "RawHttpClient.h"

#include "TlsClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

RawHttpClient::RawHttpClient(std::uint16_t port, std::string from)
    : m_port(port)
    , m_from(std::move(from))
{
}

RawHttpClient RawHttpClient::overTls(std::string caFile) const
{
    RawHttpClient c = *this;
    c.m_caFile = std::move(caFile);
    return c;
}

namespace {

RawReply readReply(const std::string &reply)
{
    RawReply r;
    const auto end = reply.find("\r\n\r\n");
    if (reply.rfind("HTTP/1.1 ", 0) != 0 || end == std::string::npos)
        return r;
    r.status = std::stoi(reply.substr(9, 3));
    r.head = reply.substr(0, end);
    r.body = reply.substr(end + 4);
    return r;
}

} // namespace

RawReply RawHttpClient::get(std::string_view target) const
{
    std::string request = "GET " + std::string(target) + " HTTP/1.1\r\n";
    request += "Host: 127.0.0.1\r\nAccept: text/html, */*\r\n";
    request += "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\nContent-Type: text/html\r\n\r\n";
    return exchange(request);
}

RawReply RawHttpClient::uploadAvatar(std::string_view pseudo, std::string_view jpeg) const
{
    const std::string boundary = "--------120910041517123";
    std::string body = "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"dossier\"\r\n\r\n\r\n";
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"file\"; filename=\"C:\\Voxlane\\temp.jpg\"\r\n";
    body += "Content-Type: multipart/form-data\r\n\r\n";
    body += jpeg;
    body += "\r\n--" + boundary + "--\r\n";
    std::string request = "POST /avatars/uploadqxa.php?pseudo=" + std::string(pseudo) + " HTTP/1.0\r\n";
    request += "Host: 127.0.0.1\r\nAccept: text/html, */*\r\n";
    request += "Content-Type: multipart/form-data; boundary=" + boundary + "\r\n";
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    return exchange(request + body);
}

RawReply RawHttpClient::exchange(std::string_view bytes) const
{
    if (!m_caFile.empty()) {
        TlsClient tls(m_port, m_from, m_caFile);
        if (!tls.connected())
            throw std::runtime_error("cannot connect from " + m_from);
        if (!tls.handshake())
            throw std::runtime_error("TLS: " + tls.error());
        tls.send(bytes);
        return readReply(tls.readToEnd());
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        throw std::runtime_error("socket");
    sockaddr_in local {};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, m_from.c_str(), &local.sin_addr);
    sockaddr_in server {};
    server.sin_family = AF_INET;
    server.sin_port = htons(m_port);
    ::inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    timeval timeout { 10, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0
        || ::connect(fd, reinterpret_cast<sockaddr *>(&server), sizeof server) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot connect from " + m_from);
    }
    std::string_view rest = bytes;
    while (!rest.empty()) {
        const ssize_t n = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
        if (n <= 0)
            break; // the server may answer and close before reading it all
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
    std::string reply;
    char buffer[8192];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
        reply.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return readReply(reply);
}

std::string RawReply::header(std::string_view name) const
{
    std::string lowerHead = head;
    std::transform(lowerHead.begin(), lowerHead.end(), lowerHead.begin(),
        [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::string key = "\r\n" + std::string(name) + ":";
    std::transform(key.begin(), key.end(), key.begin(),
        [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto at = lowerHead.find(key);
    if (at == std::string::npos)
        return {};
    const auto start = at + key.size();
    const auto end = head.find("\r\n", start);
    std::string value = head.substr(start, end == std::string::npos ? std::string::npos : end - start);
    while (!value.empty() && value.front() == ' ')
        value.erase(0, 1);
    return value;
}
