#pragma once

#include "RawTarget.h"

#include <string_view>
#include <utility>
#include <vector>

namespace devserver {

// The methods a route takes, as a set of bits. Only these three are ever
// answered by a handler; any other method is refused wherever it goes.
namespace Methods {
constexpr unsigned Get = 1u << 0;
constexpr unsigned Head = 1u << 1;
constexpr unsigned Post = 1u << 2;
// What a browser or the client sends to read something.
constexpr unsigned Read = Get | Head;

// The bit of a request's method; 0 for a method no route takes. Compared
// exactly: "get" is not GET.
unsigned of(std::string_view method);
} // namespace Methods

// Which request paths a route claims: one exact path, or every path under a
// folder; and, for a page served from a shared script, the query value that
// selects it ("index.php?file=inscriptions.php").
struct PathPattern
{
    std::string_view path;
    bool underFolder = false;
    std::string_view queryName = {};
    std::string_view queryValue = {};

    static constexpr PathPattern exact(std::string_view path) { return { path, false }; }
    // Every path that starts with `folder`, the folder itself included;
    // `folder` ends with '/' so that "/avatarsX" is not under "/avatars/".
    static constexpr PathPattern under(std::string_view folder) { return { folder, true }; }
    // The same paths, only when the query's first `name` pair is `value`.
    constexpr PathPattern where(std::string_view name, std::string_view value) const
    {
        return { path, underFolder, name, value };
    }

    bool matches(const RawTarget &target) const;
};

// A request's way to the code that answers it. The routes are looked at in
// order and the first whose pattern matches the target decides, whatever
// the method: a more particular path ("/avatars/uploadqxa.php") is listed
// before the folder that holds it ("/avatars/"), and a request to it with
// the wrong method is that route's to refuse, not the folder's to serve.
template <class Handler> class RouteTable
{
public:
    struct Route
    {
        unsigned methods;
        PathPattern pattern;
        Handler handler;
        // The body of the 405 for any other method; empty: the caller's
        // common refusal.
        std::string_view methodRefusal = {};
    };

    struct Found
    {
        const Route *route = nullptr; // none: no route claims the path
        bool methodTaken = false;
    };

    explicit RouteTable(std::vector<Route> routes)
        : m_routes(std::move(routes))
    {
    }

    Found find(std::string_view method, const RawTarget &target) const
    {
        for (const auto &route : m_routes) {
            if (route.pattern.matches(target))
                return { &route, (route.methods & Methods::of(method)) != 0 };
        }
        return {};
    }

    const std::vector<Route> &routes() const { return m_routes; }

private:
    std::vector<Route> m_routes;
};

} // namespace devserver
