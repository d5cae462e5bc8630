#include "HttpRequestParser.h"

#include <algorithm>
#include <cctype>

namespace devserver {

namespace {

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool lowerEquals(std::string_view a, std::string_view lower)
{
    return a.size() == lower.size() && std::equal(a.begin(), a.end(), lower.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == y;
    });
}

} // namespace

HttpRequestParser::HttpRequestParser()
    : HttpRequestParser(Limits {})
{
}

HttpRequestParser::HttpRequestParser(Limits limits)
    : m_limits(limits)
{
}

bool HttpRequestParser::takeContinueRequest()
{
    const bool pending = m_continuePending;
    m_continuePending = false;
    return pending;
}

HttpRequestParser::State HttpRequestParser::fail(int status)
{
    m_state = State::Error;
    m_errorStatus = status;
    m_buffer.clear();
    return m_state;
}

HttpRequestParser::State HttpRequestParser::feed(std::string_view bytes)
{
    if (m_state != State::NeedMore)
        return m_state;

    if (!m_headDone) {
        // Never hold more than the head limit plus the body limit.
        // The bytes held before this read hold no end of head, except
        // perhaps its first three bytes at their very end: only from there
        // is it looked for again, so a head sent a byte at a time is not
        // read over again for every byte.
        const std::size_t from = m_buffer.size() < 3 ? 0 : m_buffer.size() - 3;
        m_buffer.append(bytes.substr(0, m_limits.maxHead + m_limits.maxBody));
        std::size_t end = m_buffer.find("\r\n\r\n", from);
        std::size_t sep = 4;
        const std::size_t lfEnd = m_buffer.find("\n\n", from);
        if (lfEnd != std::string::npos && (end == std::string::npos || lfEnd < end)) {
            end = lfEnd;
            sep = 2;
        }
        if (end == std::string::npos) {
            if (m_buffer.size() > m_limits.maxHead)
                return fail(m_buffer.find('\n') == std::string::npos ? 414 : 431);
            return m_state;
        }
        if (end > m_limits.maxHead)
            return fail(431);
        if (parseHead(std::string_view(m_buffer).substr(0, end)) == State::Error)
            return m_state;
        m_headDone = true;
        m_bodyStart = end + sep;
    } else {
        const std::size_t room = m_bodyStart + m_contentLength - m_buffer.size();
        m_buffer.append(bytes.substr(0, room));
    }

    if (m_buffer.size() - m_bodyStart >= m_contentLength) {
        m_request.body = m_buffer.substr(m_bodyStart, m_contentLength);
        m_buffer.clear();
        m_continuePending = false;
        m_state = State::Complete;
    }
    return m_state;
}

HttpRequestParser::State HttpRequestParser::parseHead(std::string_view head)
{
    std::size_t lineEnd = head.find('\n');
    std::string_view line = head.substr(0, lineEnd);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);

    const std::size_t first = line.find(' ');
    const std::size_t last = line.rfind(' ');
    if (first == std::string_view::npos || first == last)
        return fail(400);
    const std::string_view method = line.substr(0, first);
    const std::string_view target = line.substr(first + 1, last - first - 1);
    const std::string_view version = line.substr(last + 1);
    if (target.size() > m_limits.maxTarget)
        return fail(414);
    if (method.empty()
        || !std::all_of(method.begin(), method.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
        return fail(400);
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return fail(400);
    if (target.empty() || target.front() != '/')
        return fail(400);
    for (char c : target) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            return fail(400);
    }
    m_request.method = std::string(method);
    m_request.target = std::string(target);
    m_request.version = std::string(version);

    bool haveLength = false;
    while (lineEnd != std::string_view::npos) {
        const std::size_t start = lineEnd + 1;
        lineEnd = head.find('\n', start);
        std::string_view h = head.substr(
            start, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - start);
        if (!h.empty() && h.back() == '\r')
            h.remove_suffix(1);
        if (h.empty())
            continue;
        const std::size_t colon = h.find(':');
        if (colon == std::string_view::npos || colon == 0)
            return fail(400);
        const std::string_view name = trimmed(h.substr(0, colon));
        const std::string_view value = trimmed(h.substr(colon + 1));
        if (lowerEquals(name, "transfer-encoding"))
            return fail(501); // bodies come with a length or not at all
        if (lowerEquals(name, "content-length")) {
            if (value.empty() || value.size() > 12
                || !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return fail(400);
            const std::size_t length = std::stoull(std::string(value));
            if (haveLength && length != m_contentLength)
                return fail(400);
            if (length > m_limits.maxBody)
                return fail(413);
            m_contentLength = length;
            haveLength = true;
        }
        if (lowerEquals(name, "expect") && lowerEquals(value, "100-continue"))
            m_continuePending = true;
        m_request.headers.emplace_back(std::string(name), std::string(value));
    }
    if (m_contentLength == 0)
        m_continuePending = false;
    return m_state;
}

} // namespace devserver
