#include "Win1252.h"

namespace devserver {

namespace {

unsigned char foldByte(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c + 0x20);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) // À..Þ except the multiplication sign
        return static_cast<unsigned char>(c + 0x20);
    switch (c) {
    case 0x8A:
        return 0x9A; // Š
    case 0x8C:
        return 0x9C; // Œ
    case 0x8E:
        return 0x9E; // Ž
    case 0x9F:
        return 0xFF; // Ÿ
    default:
        return c;
    }
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string Win1252::fold(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = static_cast<char>(foldByte(static_cast<unsigned char>(c)));
    return out;
}

bool Win1252::isControl(unsigned char byte)
{
    return byte < 0x20 || byte == 0x7F || byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90
        || byte == 0x9D;
}

std::string Win1252::htmlEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Win1252::printable(std::string_view text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += c;
        } else {
            out += "\\x";
            out += digits[b >> 4];
            out += digits[b & 0x0F];
        }
    }
    return out;
}

std::string Win1252::fromUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out += static_cast<char>(b);
        } else if ((b & 0xE0) == 0xC0 && i + 1 < text.size()) {
            const unsigned code = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            out += code >= 0xA0 && code <= 0xFF ? static_cast<char>(code) : '?';
            ++i;
        } else {
            out += '?';
            while (i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80)
                ++i;
        }
    }
    return out;
}

std::string Win1252::formDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0
            && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace devserver
