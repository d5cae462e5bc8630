// A connection's bytes through the reference service's request reader, fed
// in pieces as reads arrive, with small limits now and then so that every
// refusal path is reached; a complete request then goes through the target
// splitter and, for a multipart body, the form reader, as the service does.
#include "HttpRequestParser.h"
#include "MultipartForm.h"
#include "RawTarget.h"

#include <cstdint>
#include <cstdlib>

using namespace devserver;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const size_t step = 1 + data[0] % 97;
    HttpRequestParser::Limits limits;
    if (data[1] & 1) {
        limits.maxHead = 64 + data[1];
        limits.maxTarget = 16 + data[1] / 4;
        limits.maxBody = 8 + data[1];
    }
    const std::string_view bytes(reinterpret_cast<const char *>(data) + 2, size - 2);

    HttpRequestParser parser(limits);
    for (size_t at = 0; at < bytes.size() && parser.state() == HttpRequestParser::State::NeedMore; at += step) {
        parser.feed(bytes.substr(at, step));
        (void)parser.takeContinueRequest();
    }
    switch (parser.state()) {
    case HttpRequestParser::State::Error: {
        const int status = parser.errorStatus();
        if (status != 400 && status != 411 && status != 413 && status != 414 && status != 431 && status != 501)
            std::abort();
        break;
    }
    case HttpRequestParser::State::Complete: {
        const HttpRequest &request = parser.request();
        if (request.body.size() > limits.maxBody || request.target.size() > limits.maxTarget)
            std::abort();
        const RawTarget target(request.target);
        (void)target.valueOr("pseudo");
        const auto boundary = MultipartForm::boundaryOf(request.header("Content-Type").value_or(""));
        if (boundary) {
            const auto form = MultipartForm::parse(request.body, *boundary);
            if (form)
                (void)form->part("avatar");
        }
        break;
    }
    case HttpRequestParser::State::NeedMore:
        break;
    }
    return 0;
}
