#pragma once

#include <QByteArray>
#include <QString>

// Files that must never be left half written: each operation either puts
// the whole new contents in place or leaves the old file as it was.
//
// Every step is checked, the writing, the flush to the disk, the closing
// and the rename: a full disk or a quota may only show at the flush or the
// close, and a file that looks written but is not must not replace a good
// one. Reasons are the system's own texts.
class SafeFile
{
public:
    // Writes bytes to a new file beside path, flushes it to the disk, then
    // renames it over path. A file already there keeps its permissions;
    // a new one is readable and writable by its owner only.
    static bool writeWhole(const QString &path, const QByteArray &bytes, QString *error = nullptr);

    // Puts source in the place of destination, replacing whatever is there,
    // in one step (a rename; across file systems, a copy written beside the
    // destination and renamed over it, then the source is removed).
    static bool replace(const QString &source, const QString &destination, QString *error = nullptr);
};
