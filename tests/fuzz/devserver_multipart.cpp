// An avatar upload's form: the first line is the Content-Type header's
// value, the rest the body, through the service's multipart reader.
#include "MultipartForm.h"

#include <cstdint>
#include <cstdlib>

using namespace devserver;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t eol = input.find('\n');
    const std::string_view contentType = eol == std::string_view::npos ? input : input.substr(0, eol);
    const std::string_view body = eol == std::string_view::npos ? std::string_view() : input.substr(eol + 1);

    const auto boundary = MultipartForm::boundaryOf(contentType);
    // The body is tried with the header's boundary, and with a fixed one so
    // that the part reader is reached without guessing a boundary.
    for (const std::string_view b : {boundary ? std::string_view(*boundary) : std::string_view("xyz"),
                                     std::string_view("xyz")}) {
        if (b.empty())
            continue;
        const auto form = MultipartForm::parse(body, b);
        if (!form)
            continue;
        size_t total = 0;
        for (const auto &part : form->parts())
            total += part.data.size();
        if (total > body.size())
            std::abort();
        (void)form->part("avatar");
    }
    return 0;
}
