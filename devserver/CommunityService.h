#pragma once

#include "HttpMessage.h"
#include "RawTarget.h"
#include "RouteTable.h"
#include "Store.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace devserver {

// Answers the client's requests: one HttpRequest in, one HttpResponse out,
// no socket involved. The exact reply texts are the constants below; the
// client looks for them as substrings, so no refusal ever contains one of
// the success words ("autoris\xE9", "D\xE9connect\xE9", "ok").
class CommunityService
{
public:
    using Clock = std::function<std::int64_t()>; // seconds since the epoch

    static constexpr std::int64_t kPresenceTimeout = 30 * 60;
    static constexpr std::size_t kMaxAvatarBytes = 512 * 1024;

    // Reply bodies, Windows-1252.
    static constexpr const char *kAccepted = "autoris\xE9";
    static constexpr const char *kRefused = "Acc\xE8s refus\xE9";
    static constexpr const char *kServiceError = "error: service indisponible";
    static constexpr const char *kLoggedOut = "D\xE9"
                                              "connect\xE9";
    static constexpr const char *kOk = "ok";

    CommunityService(Store &store, Clock clock);

    HttpResponse handle(const HttpRequest &request);

    static std::int64_t systemClock();

private:
    // Every handler takes the request and its split target, so that one
    // table can name them all.
    using Action = HttpResponse (CommunityService::*)(const HttpRequest &, const RawTarget &);
    static const RouteTable<Action> &routes();

    HttpResponse dispatch(const HttpRequest &request, const RawTarget &target);

    HttpResponse logIn(const HttpRequest &request, const RawTarget &t);
    HttpResponse logOut(const HttpRequest &request, const RawTarget &t);
    HttpResponse presence(const HttpRequest &request, const RawTarget &t);
    HttpResponse memberInfo(const HttpRequest &request, const RawTarget &t);
    HttpResponse contactTable(const HttpRequest &request, const RawTarget &t);
    // Why `actor` may not make this change to `owner`'s table, if it may not.
    std::optional<std::string> othersTableRefusal(
        bool add, Store::Category category, const Member &owner, const Member &actor);
    HttpResponse avatar(const HttpRequest &request, const RawTarget &t);
    HttpResponse uploadAvatar(const HttpRequest &request, const RawTarget &t);
    HttpResponse registration(const HttpRequest &request, const RawTarget &t);
    HttpResponse profile(const HttpRequest &request, const RawTarget &t);
    HttpResponse home(const HttpRequest &request, const RawTarget &t);

    Store &m_store;
    Clock m_clock;
};

} // namespace devserver
