#include "WebPages.h"

#include "Win1252.h"

namespace devserver {

namespace {

std::string u(std::string_view utf8)
{
    return Win1252::fromUtf8(utf8);
}

std::string esc(std::string_view cp1252)
{
    return Win1252::htmlEscape(cp1252);
}

} // namespace

std::string WebPages::page(std::string_view title, std::string_view body)
{
    std::string out = "<!DOCTYPE html>\n<html lang=\"fr\"><head><meta charset=\"windows-1252\">";
    out += "<title>" + std::string(title) + "</title>";
    out += "<style>body{font-family:sans-serif;max-width:36em;margin:2em auto}"
           "label{display:block;margin-top:.6em}.err{color:#a00;border:1px solid #a00;padding:.5em}"
           "</style></head>\n<body>\n";
    out += body;
    out += "\n</body></html>\n";
    return out;
}

std::string WebPages::registration(const RegistrationForm &values, std::string_view error)
{
    std::string body = "<h1>" + u("Inscription à Voxlane") + "</h1>\n";
    if (!error.empty())
        body += "<p class=\"err\" id=\"error\">" + esc(error) + "</p>\n";
    body += "<form method=\"post\" action=\"/voxlane/?file=inscriptions.php\" "
            "accept-charset=\"windows-1252\">\n";
    body += "<label>Pseudo <input name=\"pseudo\" maxlength=\"32\" required value=\"" + esc(values.pseudo)
        + "\"></label>\n";
    const std::string rule = u("32 caractères au plus, sans espace ni & = # ? % + < > [ ] \" \\ /, ni espace "
                                 "insécable, trait d'union conditionnel, guillemets ou tirets typographiques.");
    body += "<small>" + esc(rule) + "</small>\n";
    body += "<label>Mot de passe <input name=\"password\" type=\"password\" maxlength=\"64\" "
            "required></label>\n";
    body += "<label>Mot de passe (encore) <input name=\"confirm\" type=\"password\" maxlength=\"64\" "
            "required></label>\n";
    body += "<label>E-mail <input name=\"email\" maxlength=\"255\" value=\"" + esc(values.email)
        + "\"></label>\n";
    body += "<label>Site web <input name=\"web\" maxlength=\"255\" value=\"" + esc(values.web)
        + "\"></label>\n";
    body += "<p><button type=\"submit\">S'inscrire</button></p>\n</form>";
    return page(u("Inscription"), body);
}

std::string WebPages::registered(const Member &member)
{
    const std::string id = std::to_string(member.id);
    std::string body = "<h1>Bienvenue, " + esc(member.pseudo) + " !</h1>\n";
    body += "<p id=\"done\">" + u("Votre compte est créé (membre n° ") + id
        + u("). Vous pouvez maintenant vous connecter avec Voxlane.") + "</p>\n";
    body
        += "<p><a href=\"/quixvale/index.php?page=affichmembre.php?id=" + id + "\">Voir votre profil</a></p>";
    return page(u("Inscription réussie"), body);
}

std::string WebPages::profile(const Member &member, bool hasAvatar, bool online)
{
    const std::string id = std::to_string(member.id);
    std::string body = "<h1>" + esc(member.pseudo) + "</h1>\n";
    if (hasAvatar)
        body += "<p><img src=\"/avatars/" + id + ".jpg\" alt=\"avatar\" width=\"94\"></p>\n";
    body
        += "<p>" + u("Membre n° ") + id + " &mdash; " + (online ? u("en ligne") : u("hors ligne")) + "</p>\n";
    if (!member.email.empty())
        body
            += "<p>E-mail : <a href=\"mailto:" + esc(member.email) + "\">" + esc(member.email) + "</a></p>\n";
    // Only registered web addresses are shown, and those start with http(s),
    // so no "javascript:" link can be planted here.
    if (!member.web.empty())
        body += "<p>Site web : <a href=\"" + esc(member.web) + "\" rel=\"nofollow\">" + esc(member.web)
            + "</a></p>\n";
    return page(u("Profil de ") + esc(member.pseudo), body);
}

std::string WebPages::notFound(std::string_view what)
{
    return page(u("Introuvable"), "<h1>Introuvable</h1>\n<p>" + esc(what) + "</p>");
}

std::string WebPages::home()
{
    return page("Voxlane",
        "<h1>Voxlane</h1>\n<p>" + u("Service communautaire de référence.") + "</p>\n"
            + "<p><a href=\"/voxlane/?file=inscriptions.php\">" + u("Créer un compte") + "</a></p>");
}

} // namespace devserver
