#pragma once

#include <string>
#include <string_view>

namespace devserver {

// Helpers for texts kept as Windows-1252 bytes, the only encoding the client
// speaks. std::string here always holds those single bytes, never UTF-8.
class Win1252
{
public:
    // Lower-case form used to look members up ignoring letter case,
    // accented capitals included ("\xC9mile" and "\xE9mile" fold alike).
    static std::string fold(std::string_view text);

    // True for bytes that must never appear in a name or a one-line value:
    // C0 controls, DEL and the five bytes Windows-1252 leaves undefined.
    static bool isControl(unsigned char byte);

    // Escapes & < > " ' for HTML text and attribute values.
    static std::string htmlEscape(std::string_view text);

    // A printable form for the request log: bytes outside 0x20..0x7E as \xHH.
    static std::string printable(std::string_view text);

    // Source texts are UTF-8; replies are Windows-1252. Converts the Latin-1
    // range (all the accented letters of French); anything else becomes '?'.
    static std::string fromUtf8(std::string_view text);

    // Decodes an application/x-www-form-urlencoded value ('+' and %HH).
    // Malformed escapes are kept as they are.
    static std::string formDecode(std::string_view text);
};

} // namespace devserver
