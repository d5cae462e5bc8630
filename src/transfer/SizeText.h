#pragma once

#include <QString>

// The byte-count and file-size texts every page of the client shows.
class SizeText
{
public:
    // "0 octet", "1023 octets", "1 Ko", "1024 Ko", "1,0 Mo" (the decimal
    // separator is the locale's; no group separator). Counts of 2 GiB and
    // more stay in megabytes ("3072,0 Mo").
    static QString FormatSize(qint64 count);

    // The main window's form: the empty text when no file exists at path,
    // "0" when it exists but cannot be read, otherwise the size, formatted
    // by FormatSize or in decimal digits.
    static QString FileSizeText(const QString &path, bool formatted);

    // The transfer panel's raw size: as FileSizeText raw, but "0" for an
    // empty path or a missing file.
    static QString RawFileSize(const QString &path);
};
