#pragma once

#include "HttpMessage.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace devserver {

// Reads one HTTP/1.x request from bytes fed as they arrive, with every size
// checked before it is buffered. The request target is taken as everything
// between the first and the last space of the request line, so raw blanks
// and bytes >= 0x80 in a value are read back exactly as sent.
class HttpRequestParser
{
public:
    struct Limits
    {
        std::size_t maxHead = 16 * 1024;
        std::size_t maxTarget = 4 * 1024;
        std::size_t maxBody = 1024 * 1024;
    };

    enum class State { NeedMore, Complete, Error };

    HttpRequestParser();
    explicit HttpRequestParser(Limits limits);

    State feed(std::string_view bytes);
    State state() const { return m_state; }

    // After an error: the status to answer with (400, 411, 413, 414, 431, 501).
    int errorStatus() const { return m_errorStatus; }
    // True once, when the head is read and the client waits for "100 Continue".
    bool takeContinueRequest();

    // Once the head is read: the body size it announced.
    bool headDone() const { return m_headDone; }
    std::size_t contentLength() const { return m_contentLength; }

    // The complete request (valid once the state is Complete).
    const HttpRequest &request() const { return m_request; }

private:
    State fail(int status);
    State parseHead(std::string_view head);

    Limits m_limits;
    State m_state = State::NeedMore;
    int m_errorStatus = 0;
    std::string m_buffer;
    bool m_headDone = false;
    bool m_continuePending = false;
    std::size_t m_bodyStart = 0;
    std::size_t m_contentLength = 0;
    HttpRequest m_request;
};

} // namespace devserver
