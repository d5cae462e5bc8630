#include "RouteTable.h"

namespace devserver {

unsigned Methods::of(std::string_view method)
{
    if (method == "GET")
        return Get;
    if (method == "HEAD")
        return Head;
    if (method == "POST")
        return Post;
    return 0;
}

bool PathPattern::matches(const RawTarget &target) const
{
    const std::string &p = target.path();
    const bool pathMatches = underFolder ? p.compare(0, path.size(), path) == 0 : p == path;
    if (!pathMatches)
        return false;
    return queryName.empty() || target.valueOr(queryName) == queryValue;
}

} // namespace devserver
