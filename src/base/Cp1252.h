#pragma once

#include <QByteArray>
#include <QString>

// The one place where text meets bytes. Voxlane speaks single-byte
// Windows-1252 everywhere: on the wire, in the settings store, in files.
//
// Characters that Windows-1252 cannot carry are written as '?' (0x3F), the
// default character Windows itself substitutes; they are never turned into
// UTF-8 sequences. The five byte values Windows-1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) decode to the C1 control with the same
// number and encode back to it, so any byte string survives a round trip.
class Cp1252
{
public:
    static QByteArray encode(const QString &text);
    static QString decode(const QByteArray &bytes);
    static QString decode(const char *data, qsizetype size);

    // The byte of one character, or '?' when it has none.
    static unsigned char byteOf(QChar c);
    static QChar charOf(unsigned char byte);

    // True when every character of the text has a Windows-1252 byte.
    static bool canEncode(const QString &text);

    // What the text becomes after a trip through a Windows-1252 store.
    static QString normalized(const QString &text) { return decode(encode(text)); }
};
