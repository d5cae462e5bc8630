#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace devserver {

// A multipart/form-data body split into its parts. Only what the avatar
// upload needs: each part's form name, file name, content type and bytes.
class MultipartForm
{
public:
    struct Part
    {
        std::string name;
        std::optional<std::string> filename;
        std::string contentType;
        std::string data;
    };

    // The boundary of a Content-Type value "multipart/form-data; boundary=...",
    // quoted or not; nothing when the type is another one or has no boundary.
    static std::optional<std::string> boundaryOf(std::string_view contentType);

    // Nothing when the body is not well framed by that boundary (no closing
    // delimiter, a part without its blank line, ...).
    static std::optional<MultipartForm> parse(std::string_view body, std::string_view boundary);

    const std::vector<Part> &parts() const { return m_parts; }
    const Part *part(std::string_view name) const;

private:
    std::vector<Part> m_parts;
};

} // namespace devserver
