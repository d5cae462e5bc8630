#include "base/Cp1252.h"

namespace {

// Code points of the bytes 0x80..0x9F.
constexpr char16_t kHighTable[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

} // namespace

QChar Cp1252::charOf(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return QChar(kHighTable[byte - 0x80]);
    return QChar(char16_t(byte));
}

unsigned char Cp1252::byteOf(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return static_cast<unsigned char>(u);
    for (int i = 0; i < 32; ++i) {
        if (kHighTable[i] == u)
            return static_cast<unsigned char>(0x80 + i);
    }
    return '?';
}

bool Cp1252::canEncode(const QString &text)
{
    for (QChar c : text) {
        if (byteOf(c) == '?' && c != u'?')
            return false;
    }
    return true;
}

QByteArray Cp1252::encode(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        // A character outside the basic plane is one '?', not two.
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        out.append(static_cast<char>(byteOf(c)));
    }
    return out;
}

QString Cp1252::decode(const char *data, qsizetype size)
{
    QString out;
    out.resize(size);
    QChar *dst = out.data();
    for (qsizetype i = 0; i < size; ++i)
        dst[i] = charOf(static_cast<unsigned char>(data[i]));
    return out;
}

QString Cp1252::decode(const QByteArray &bytes)
{
    return decode(bytes.constData(), bytes.size());
}
