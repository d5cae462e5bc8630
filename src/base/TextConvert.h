#pragma once

#include <QString>

// Number <-> text conversions that fail loudly, as the program's own
// conversions do: a malformed number in a place where the program expects a
// valid one throws VoxlaneError and reaches the general error report.
class TextConvert
{
public:
    // Decimal, optional sign, 32-bit signed; surrounding blanks are an error.
    static int strToInt(const QString &text);
    static qint64 strToInt64(const QString &text);
    // The same, but a malformed text gives fallback instead of throwing.
    static int strToIntDef(const QString &text, int fallback);
    static qint64 strToInt64Def(const QString &text, qint64 fallback);
    static bool tryStrToInt(const QString &text, int &value);
    static bool tryStrToInt64(const QString &text, qint64 &value);
};
