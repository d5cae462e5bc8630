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

bool MemberRules::isInvisibleOrLookAlike(unsigned char byte)
{
    // No-break space and soft hyphen show as a blank or as nothing at all.
    if (byte == 0xA0 || byte == 0xAD)
        return true;
    if (byte < 0x80 || byte > 0x9F)
        return false;
    // In Windows-1252 most of 0x80..0x9F are printable, but they are
    // typographic marks that pass for plain ones: quotes and a low quote
    // like a comma, dashes like the hyphen,   like < >,  
    // like ^ ~, the ellipsis like three dots, the florin sign like an f.
    // The letters of that range are real letters of real names (Œ œ in
    // French, Š š Ž ž, and Ÿ) and the lookup folds their capitals, so
    // they stay allowed.
    switch (byte) {
    case 0x8A: // Š
    case 0x8C: // Œ
    case 0x8E: // Ž
    case 0x9A: // š
    case 0x9C: // œ
    case 0x9E: // ž
    case 0x9F: // Ÿ
        return false;
    default:
        return true;
    }
}

std::optional<std::string> MemberRules::pseudonymProblem(std::string_view pseudo)
{
    if (pseudo.empty())
        return Win1252::fromUtf8("Le pseudo est vide.");
    if (pseudo.size() > kMaxPseudo)
        return Win1252::fromUtf8("Le pseudo dépasse 32 caractères.");
    if (hasControl(pseudo))
        return Win1252::fromUtf8("Le pseudo contient un caractère de contrôle.");
    if (std::any_of(pseudo.begin(), pseudo.end(),
            [](char c) { return isInvisibleOrLookAlike(static_cast<unsigned char>(c)); }))
        return Win1252::fromUtf8("Le pseudo contient un caractère invisible ou trompeur (espace insécable, "
                                 "trait d'union conditionnel, guillemet, tiret ou autre signe typographique).");
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
    // The client's address encoding writes each byte as two letters from
    // "a" to "p" and encodes a terminating zero too: a text of L bytes gives
    // 2 x (L + 1) letters, so at least 4. Anything else is not an address
    // other clients could decode, and could forge presence records.
    return address.size() >= 4 && address.size() <= kMaxAddressLetters && address.size() % 2 == 0
        && std::all_of(address.begin(), address.end(), [](char c) { return c >= 'a' && c <= 'p'; });
}

} // namespace devserver
