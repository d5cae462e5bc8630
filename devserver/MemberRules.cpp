#include "MemberRules.h"

#include "Win1252.h"

#include <algorithm>

namespace devserver {

namespace {

bool hasControl(std::string_view s)
{
    return std::any_of(
        s.begin(), s.end(), [](char c) { return Win1252::isControl(static_cast<unsigned char>(c)); });
}

} // namespace

std::optional<std::string> MemberRules::pseudonymProblem(std::string_view pseudo)
{
    if (pseudo.empty())
        return Win1252::fromUtf8("Le pseudo est vide.");
    if (pseudo.size() > kMaxPseudo)
        return Win1252::fromUtf8("Le pseudo dépasse 32 caractères.");
    if (hasControl(pseudo))
        return Win1252::fromUtf8("Le pseudo contient un caractère de contrôle.");
    // Blanks and & = # ? % + would be misread in a raw query; < > break the
    // presence records and [ ] the section markers of the log-in reply.
    static constexpr std::string_view forbidden = " \xA0&=#?%+<>[]\"\\/";
    for (char c : pseudo) {
        if (forbidden.find(c) != std::string_view::npos) {
            std::string shown = c == ' ' || c == '\xA0' ? Win1252::fromUtf8("espace") : std::string(1, c);
            return Win1252::fromUtf8("Le pseudo ne peut pas contenir « ") + shown
                + Win1252::fromUtf8(" » (ni espace, ni & = # ? % + < > [ ] \" \\ /).");
        }
    }
    return std::nullopt;
}

std::optional<std::string> MemberRules::passwordProblem(
    std::string_view password, std::string_view confirmation)
{
    if (password.empty())
        return Win1252::fromUtf8("Le mot de passe est vide.");
    if (password.size() > kMaxPassword)
        return Win1252::fromUtf8("Le mot de passe dépasse 64 caractères.");
    if (password != confirmation)
        return Win1252::fromUtf8("Les deux mots de passe diffèrent.");
    return std::nullopt;
}

std::optional<std::string> MemberRules::emailProblem(std::string_view email)
{
    if (email.size() > kMaxField || hasControl(email))
        return Win1252::fromUtf8("L'adresse e-mail est trop longue ou contient un caractère de contrôle.");
    if (!email.empty()
        && (email.find('@') == std::string_view::npos || email.find(' ') != std::string_view::npos))
        return Win1252::fromUtf8("L'adresse e-mail n'est pas valable.");
    return std::nullopt;
}

std::optional<std::string> MemberRules::webProblem(std::string_view web)
{
    if (web.size() > kMaxField || hasControl(web))
        return Win1252::fromUtf8("L'adresse du site est trop longue ou contient un caractère de contrôle.");
    if (!web.empty() && web.rfind("http://", 0) != 0 && web.rfind("https://", 0) != 0)
        return Win1252::fromUtf8("L'adresse du site doit commencer par http:// ou https://.");
    return std::nullopt;
}

bool MemberRules::isAcceptableAddress(std::string_view address)
{
    return address.size() <= 256 && !hasControl(address) && address.find('<') == std::string_view::npos
        && address.find('>') == std::string_view::npos;
}

} // namespace devserver
