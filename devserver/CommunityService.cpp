#include "CommunityService.h"

#include "Jpeg.h"
#include "MemberRules.h"
#include "MultipartForm.h"
#include "PasswordHash.h"
#include "StoreError.h"
#include "WebPages.h"
#include "Win1252.h"

#include <algorithm>
#include <chrono>

namespace devserver {

namespace {

// Application refusals are answered with status 200: the client reads the
// body for its words, and treats any other status as a network failure.
HttpResponse refusal(std::string_view reason)
{
    return HttpResponse::text("refus\xE9 : " + Win1252::fromUtf8(reason));
}

std::optional<std::int64_t> decimal(std::string_view text)
{
    if (text.empty() || text.size() > 12
        || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoll(std::string(text));
}

void appendLines(std::string &out, const std::vector<std::string> &lines)
{
    for (const auto &line : lines)
        out += line + "\r\n";
}

// The one path whose callers read a failing database from the body.
constexpr std::string_view kLogInPath = "/voxlane/connect.php";

} // namespace

CommunityService::CommunityService(Store &store, Clock clock)
    : m_store(store)
    , m_clock(std::move(clock))
{
}

std::int64_t CommunityService::systemClock()
{
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

HttpResponse CommunityService::handle(const HttpRequest &request)
{
    const RawTarget target(request.target);
    try {
        // Stale sessions end first, so a request arriving after the time-out
        // does not bring its member back online; then any request from an
        // address keeps the members logged in from it alive.
        const auto now = m_clock();
        m_store.expire(now, kPresenceTimeout);
        m_store.touch(request.remoteAddr, now);
        return dispatch(request, target);
    } catch (const StoreError &) {
        // The log-in reply is read for "error"; other callers see a failure.
        auto r = HttpResponse::text(kServiceError, target.path() == kLogInPath ? 200 : 500);
        return r;
    }
}

const RouteTable<CommunityService::Action> &CommunityService::routes()
{
    using namespace Methods;
    using P = PathPattern;
    // First match by path wins (see RouteTable): the upload is listed before
    // the avatars' folder that holds it.
    static const RouteTable<Action> table({
        { Post, P::exact("/avatars/uploadqxa.php"), &CommunityService::uploadAvatar, "POST attendu" },
        { Read | Post, P::exact("/voxlane/").where("file", "inscriptions.php"),
            &CommunityService::registration },
        { Read | Post, P::exact("/voxlane/index.php").where("file", "inscriptions.php"),
            &CommunityService::registration },
        { Read, P::exact(kLogInPath), &CommunityService::logIn },
        { Read, P::exact("/voxlane/deconnect.php"), &CommunityService::logOut },
        { Read, P::exact("/voxlane/getconnected.php"), &CommunityService::presence },
        { Read, P::exact("/script/getinfo.php"), &CommunityService::memberInfo },
        { Read, P::exact("/script/qxd.php"), &CommunityService::contactTable },
        { Read, P::under("/avatars/"), &CommunityService::avatar },
        { Read, P::exact("/quixvale/index.php"), &CommunityService::profile },
        { Read, P::exact("/"), &CommunityService::home },
        { Read, P::exact("/index.html"), &CommunityService::home },
    });
    return table;
}

HttpResponse CommunityService::dispatch(const HttpRequest &request, const RawTarget &t)
{
    const auto found = routes().find(request.method, t);
    if (found.methodTaken)
        return (this->*found.route->handler)(request, t);
    if (found.route && !found.route->methodRefusal.empty())
        return HttpResponse::text(std::string(found.route->methodRefusal), 405);
    // A path nobody serves is "not found" to a read; any other method is
    // refused wherever it is sent, as the wrong method on a served path is.
    if (found.route || (Methods::of(request.method) & Methods::Read) == 0)
        return HttpResponse::text(Win1252::fromUtf8("méthode non prise en charge"), 405);
    return HttpResponse::text(WebPages::notFound(Win1252::fromUtf8("Aucune page à cette adresse.")), 404);
}

HttpResponse CommunityService::home(const HttpRequest &, const RawTarget &)
{
    return HttpResponse::text(WebPages::home());
}

HttpResponse CommunityService::logIn(const HttpRequest &request, const RawTarget &t)
{
    const std::string &remote = request.remoteAddr;
    const auto pseudo = t.value("pseudo");
    const auto digest = t.value("psw");
    const auto address = t.value("ip");
    if (!pseudo || !digest || !address || !MemberRules::isAcceptableAddress(*address))
        return HttpResponse::text(kRefused);
    // The spelling must be the registered one: other clients decode the
    // member's address with the name the service lists, so a log-in as
    // "ALICE" for "alice" would publish an address nobody can read.
    const auto member = m_store.findMember(*pseudo);
    if (!member || member->pseudo != *pseudo || !m_store.checkDigest(member->id, *digest))
        return HttpResponse::text(kRefused);

    m_store.setOnline(member->id, *address, remote, m_clock());

    std::string body = std::string(kAccepted) + "\r\n[Contacts]\r\n";
    appendLines(body, m_store.table(member->id, Store::Contacts));
    body += "[Bloqu\xE9s]\r\n";
    appendLines(body, m_store.table(member->id, Store::Blocked));
    body += "[Ask]\r\n";
    appendLines(body, m_store.table(member->id, Store::Requests));
    body += "[Messages]\r\n";
    return HttpResponse::text(body);
}

HttpResponse CommunityService::logOut(const HttpRequest &, const RawTarget &t)
{
    const auto member = m_store.findMember(t.valueOr("pseudo"));
    if (!member || member->pseudo != t.valueOr("pseudo")
        || !m_store.checkDigest(member->id, t.valueOr("psw")))
        return HttpResponse::text(kRefused);
    m_store.setOffline(member->id);
    return HttpResponse::text(kLoggedOut);
}

HttpResponse CommunityService::presence(const HttpRequest &, const RawTarget &)
{
    std::string body;
    for (const auto &[pseudo, address] : m_store.online())
        body += "pseudo=" + pseudo + "<br>" + address + "<br>";
    return HttpResponse::text(body);
}

HttpResponse CommunityService::memberInfo(const HttpRequest &, const RawTarget &t)
{
    const std::string function = t.valueOr("function");
    const auto member = m_store.findMember(t.valueOr("pseudo"));
    // An unknown member gives an empty body for every function: "no such
    // member" for the spelling, no id, an empty card.
    if (function == "getid")
        return HttpResponse::text(member ? std::to_string(member->id) : std::string());
    if (function == "getcorrectpseudo")
        return HttpResponse::text(member ? member->pseudo : std::string());
    if (function == "getinfo")
        return HttpResponse::text(member ? member->email + "\n" + member->web : std::string());
    if (function == "getmail")
        return HttpResponse::text(member ? member->email : std::string());
    return HttpResponse::text("fonction inconnue", 400);
}

HttpResponse CommunityService::contactTable(const HttpRequest &request, const RawTarget &t)
{
    const std::string &remote = request.remoteAddr;
    const std::string cmd = t.valueOr("cmd");
    if (cmd != "1" && cmd != "2")
        return refusal("commande inconnue");
    const auto other = t.value(cmd == "1" ? "add" : "del");
    const std::string catego = t.valueOr("catego");
    if (catego != "1" && catego != "2" && catego != "3")
        return refusal("catégorie inconnue");
    const auto owner = m_store.findMember(t.valueOr("pseudo"));
    const auto target = other ? m_store.findMember(*other) : std::nullopt;
    if (!owner || !target)
        return refusal("membre inconnu");
    if (owner->id == target->id)
        return refusal("un membre ne figure pas dans ses propres listes");
    // The requests carry no credentials, so the member acting is the one
    // logged in from where the request comes. Its own tables it changes
    // freely; another member's only as far as the contact flow needs.
    const auto category = static_cast<Store::Category>(catego[0] - '0');
    if (!m_store.isOnlineFrom(owner->id, remote)) {
        if (!m_store.isOnlineFrom(target->id, remote))
            return refusal("connexion requise");
        if (const auto why = othersTableRefusal(cmd == "1", category, *owner, *target))
            return refusal(*why);
    }
    if (cmd == "1")
        m_store.addToTable(owner->id, category, target->id, m_clock());
    else
        m_store.removeFromTable(owner->id, category, target->id);
    return HttpResponse::text(kOk);
}

std::optional<std::string> CommunityService::othersTableRefusal(
    bool add, Store::Category category, const Member &owner, const Member &actor)
{
    // Filing one's own request with the owner.
    if (add && category == Store::Requests)
        return std::nullopt;
    // Completing the acceptance of the owner's request: the acting member
    // has just put the owner into its own contacts and now writes itself
    // into the owner's, while the owner's request still waits with it (the
    // acceptance removes it last).
    if (add && category == Store::Contacts) {
        const auto waiting = m_store.table(actor.id, Store::Requests);
        if (std::find(waiting.begin(), waiting.end(), owner.pseudo) == waiting.end())
            return "pas de demande de contact en attente de ce membre";
        return std::nullopt;
    }
    // Leaving the owner's contacts, the second half of deleting a contact.
    if (!add && category == Store::Contacts)
        return std::nullopt;
    return "seul le membre concerné peut modifier cette liste";
}

HttpResponse CommunityService::avatar(const HttpRequest &, const RawTarget &t)
{
    const std::string &path = t.path();
    constexpr std::string_view prefix = "/avatars/", suffix = ".jpg";
    const std::string_view name = std::string_view(path).substr(prefix.size());
    std::optional<std::int64_t> id;
    if (name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix)
        id = decimal(name.substr(0, name.size() - suffix.size()));
    const auto jpeg = id ? m_store.avatar(*id) : std::nullopt;
    if (!jpeg)
        return HttpResponse::text(WebPages::notFound("Pas d'avatar."), 404);
    HttpResponse r;
    r.contentType = "image/jpeg";
    r.body = *jpeg;
    return r;
}

HttpResponse CommunityService::uploadAvatar(const HttpRequest &request, const RawTarget &t)
{
    const auto member = m_store.findMember(t.valueOr("pseudo"));
    if (!member)
        return refusal("membre inconnu");
    if (!m_store.isOnlineFrom(member->id, request.remoteAddr))
        return refusal("connexion requise");
    const auto boundary = MultipartForm::boundaryOf(request.header("Content-Type").value_or(""));
    const auto form = boundary ? MultipartForm::parse(request.body, *boundary) : std::nullopt;
    if (!form)
        return refusal("formulaire multipart attendu");
    const auto *file = form->part("file");
    if (!file)
        return refusal("fichier manquant");
    if (file->data.size() > kMaxAvatarBytes)
        return refusal("image trop grande (512 Kio au plus)");
    const auto size = Jpeg::frameSize(file->data);
    if (size && (size->width > Jpeg::kMaxSide || size->height > Jpeg::kMaxSide))
        return refusal("image trop grande (1024 pixels de côté au plus)");
    if (!Jpeg::isValid(file->data))
        return refusal("ce n'est pas une image JPEG");
    m_store.setAvatar(member->id, file->data, m_clock());
    return HttpResponse::text(kOk);
}

HttpResponse CommunityService::registration(const HttpRequest &request, const RawTarget &)
{
    if (request.method != "POST")
        return HttpResponse::text(WebPages::registration({}, {}));

    // The form is sent url-encoded; the page declares Windows-1252, so the
    // decoded bytes are already in the service's encoding.
    const RawTarget fields("/?" + request.body);
    const auto field = [&](const char *name) { return Win1252::formDecode(fields.valueOr(name)); };
    WebPages::RegistrationForm values { field("pseudo"), field("email"), field("web") };
    const std::string password = field("password");

    auto problem = MemberRules::pseudonymProblem(values.pseudo);
    if (!problem)
        problem = MemberRules::passwordProblem(password, field("confirm"));
    if (!problem)
        problem = MemberRules::emailProblem(values.email);
    if (!problem)
        problem = MemberRules::webProblem(values.web);
    if (!problem) {
        const auto id = m_store.addMember(
            values.pseudo, PasswordHash::md5Hex(password), values.email, values.web, m_clock());
        if (id)
            return HttpResponse::text(WebPages::registered(*m_store.memberById(*id)));
        problem = Win1252::fromUtf8("Ce pseudo est déjà pris.");
    }
    return HttpResponse::text(WebPages::registration(values, *problem), 400);
}

HttpResponse CommunityService::profile(const HttpRequest &, const RawTarget &t)
{
    // The address is ".../index.php?page=affichmembre.php?id=7": the second
    // '?' belongs to the value of "page".
    const std::string page = t.valueOr("page");
    constexpr std::string_view prefix = "affichmembre.php?id=";
    std::optional<std::int64_t> id;
    if (page.rfind(prefix, 0) == 0)
        id = decimal(std::string_view(page).substr(prefix.size()));
    const auto member = id ? m_store.memberById(*id) : std::nullopt;
    if (!member)
        return HttpResponse::text(WebPages::notFound("Membre inconnu."), 404);
    return HttpResponse::text(
        WebPages::profile(*member, m_store.avatar(member->id).has_value(), m_store.isOnline(member->id)));
}

} // namespace devserver
