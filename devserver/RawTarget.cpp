#include "RawTarget.h"

namespace devserver {

RawTarget::RawTarget(std::string_view target)
{
    const std::size_t q = target.find('?');
    m_path = std::string(target.substr(0, q));
    if (q == std::string_view::npos)
        return;
    m_query = std::string(target.substr(q + 1));

    std::string_view rest = m_query;
    while (true) {
        const std::size_t amp = rest.find('&');
        const std::string_view item = rest.substr(0, amp);
        if (!item.empty()) {
            const std::size_t eq = item.find('=');
            if (eq == std::string_view::npos)
                m_pairs.emplace_back(std::string(item), std::string());
            else
                m_pairs.emplace_back(std::string(item.substr(0, eq)), std::string(item.substr(eq + 1)));
        }
        if (amp == std::string_view::npos)
            break;
        rest.remove_prefix(amp + 1);
    }
}

std::optional<std::string> RawTarget::value(std::string_view name) const
{
    for (const auto &[key, val] : m_pairs) {
        if (key == name)
            return val;
    }
    return std::nullopt;
}

std::string RawTarget::valueOr(std::string_view name, std::string_view fallback) const
{
    auto v = value(name);
    return v ? *v : std::string(fallback);
}

} // namespace devserver
