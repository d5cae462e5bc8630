#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace devserver {

// A request target split by hand: the path before the first '?', then
// name=value pairs separated by '&'. Nothing is percent-decoded, because the
// client inserts its values raw, as Windows-1252 bytes. A value runs to the
// next '&', so it may itself hold '?' (the profile page's
// "page=affichmembre.php?id=7") or blanks.
class RawTarget
{
public:
    explicit RawTarget(std::string_view target);

    const std::string &path() const { return m_path; }
    const std::string &query() const { return m_query; }

    // Value of the first pair with that exact name.
    std::optional<std::string> value(std::string_view name) const;
    std::string valueOr(std::string_view name, std::string_view fallback = {}) const;

    const std::vector<std::pair<std::string, std::string>> &pairs() const { return m_pairs; }

private:
    std::string m_path;
    std::string m_query;
    std::vector<std::pair<std::string, std::string>> m_pairs;
};

} // namespace devserver
