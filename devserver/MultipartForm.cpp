#include "MultipartForm.h"

#include <algorithm>
#include <cctype>

namespace devserver {

namespace {

std::string lower(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
        [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Parameters of a header value such as `form-data; name="file"; filename="x"`.
// Parameter names are matched whole, so "name" never picks up "filename".
std::optional<std::string> parameter(std::string_view value, std::string_view wanted)
{
    std::size_t pos = value.find(';');
    while (pos != std::string_view::npos) {
        std::string_view rest = trimmed(value.substr(pos + 1));
        const std::size_t eq = rest.find('=');
        if (eq == std::string_view::npos)
            return std::nullopt;
        const std::string key = lower(trimmed(rest.substr(0, eq)));
        rest = trimmed(rest.substr(eq + 1));
        std::string val;
        std::size_t consumed = 0;
        if (!rest.empty() && rest.front() == '"') {
            // The client writes a Windows path here, backslashes as they are:
            // a quoted value ends at the next quote.
            const std::size_t close = rest.find('"', 1);
            if (close == std::string_view::npos)
                return std::nullopt;
            val = std::string(rest.substr(1, close - 1));
            consumed = close + 1;
        } else {
            consumed = std::min(rest.find(';'), rest.size());
            val = std::string(trimmed(rest.substr(0, consumed)));
        }
        if (key == wanted)
            return val;
        const std::size_t next = rest.find(';', consumed);
        if (next == std::string_view::npos)
            return std::nullopt;
        value = rest;
        pos = next;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> MultipartForm::boundaryOf(std::string_view contentType)
{
    const std::size_t semi = contentType.find(';');
    if (lower(trimmed(contentType.substr(0, semi))) != "multipart/form-data")
        return std::nullopt;
    auto boundary = parameter(contentType, "boundary");
    if (!boundary || boundary->empty() || boundary->size() > 200)
        return std::nullopt;
    return boundary;
}

std::optional<MultipartForm> MultipartForm::parse(std::string_view body, std::string_view boundary)
{
    const std::string delimiter = "--" + std::string(boundary);
    const std::string separator = "\r\n" + delimiter;

    // A preamble must end with its own line end; one or two stray bytes
    // before the delimiter cannot.
    std::size_t pos = body.find(delimiter);
    if (pos == std::string_view::npos || (pos != 0 && (pos < 2 || body.substr(pos - 2, 2) != "\r\n")))
        return std::nullopt;
    pos += delimiter.size();

    MultipartForm form;
    while (true) {
        if (body.substr(pos, 2) == "--")
            return form; // closing delimiter
        if (body.substr(pos, 2) != "\r\n")
            return std::nullopt;
        pos += 2;
        const std::size_t next = body.find(separator, pos);
        if (next == std::string_view::npos)
            return std::nullopt;
        // The head's blank line is looked for before the next delimiter
        // only: searching the rest of the body for every part would make a
        // body of many small parts cost its size squared.
        const std::size_t headEnd = body.substr(0, next).find("\r\n\r\n", pos);
        Part part;
        if (body.substr(pos, 2) == "\r\n" && next >= pos + 2) {
            // A part with no headers at all starts with its blank line; a
            // blank line inside its data does not end any head.
            part.data = std::string(body.substr(pos + 2, next - pos - 2));
        } else if (headEnd == std::string_view::npos || headEnd + 4 > next) {
            // The head must end before the next delimiter, with the blank
            // line of its own: sharing that line end with the delimiter
            // would put the data before its own start.
            return std::nullopt;
        } else {
            std::string_view headers = body.substr(pos, headEnd - pos);
            while (!headers.empty()) {
                const std::size_t eol = headers.find("\r\n");
                const std::string_view line = headers.substr(0, eol);
                const std::size_t colon = line.find(':');
                if (colon != std::string_view::npos) {
                    const std::string name = lower(trimmed(line.substr(0, colon)));
                    const std::string_view value = trimmed(line.substr(colon + 1));
                    if (name == "content-disposition") {
                        part.name = parameter(value, "name").value_or(std::string());
                        part.filename = parameter(value, "filename");
                    } else if (name == "content-type") {
                        part.contentType = std::string(value);
                    }
                }
                if (eol == std::string_view::npos)
                    break;
                headers.remove_prefix(eol + 2);
            }
            part.data = std::string(body.substr(headEnd + 4, next - headEnd - 4));
        }
        form.m_parts.push_back(std::move(part));
        pos = next + separator.size();
    }
}

const MultipartForm::Part *MultipartForm::part(std::string_view name) const
{
    for (const auto &p : m_parts) {
        if (p.name == name)
            return &p;
    }
    return nullptr;
}

} // namespace devserver
