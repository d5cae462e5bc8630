#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace devserver {

// What a new member's values must respect. The client sends pseudonyms raw
// inside request targets and the service writes them into line-based and
// "<"-delimited replies, so a name must survive both unescaped.
class MemberRules
{
public:
    static constexpr std::size_t kMaxPseudo = 32;
    static constexpr std::size_t kMaxPassword = 64;
    static constexpr std::size_t kMaxField = 255;
    // An IPv6 text address (45 bytes) and its terminator, two letters a byte.
    static constexpr std::size_t kMaxAddressLetters = 2 * (45 + 1);

    // Nothing when valid; otherwise the reason, in French, Windows-1252.
    static std::optional<std::string> pseudonymProblem(std::string_view pseudo);
    static std::optional<std::string> passwordProblem(
        std::string_view password, std::string_view confirmation);
    static std::optional<std::string> emailProblem(std::string_view email);
    static std::optional<std::string> webProblem(std::string_view web);

    // Bytes a pseudonym may not hold because they are invisible or pass for
    // another character: Windows-1252 0xA0, 0xAD and the punctuation and
    // symbols of 0x80..0x9F (its letters are allowed).
    static bool isInvisibleOrLookAlike(unsigned char byte);

    // The encoded address a client reports at log-in: only what the address
    // encoding produces (letters "a" to "p", two per byte, terminator
    // included), never empty.
    static bool isAcceptableAddress(std::string_view address);
};

} // namespace devserver
