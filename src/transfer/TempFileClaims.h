#pragma once

#include <QString>

// Partial downloads being written, process-wide. Two receivers must never
// write the same file of the temp folder, whatever their peers send; the
// first one to claim a path holds it until it releases it.
class TempFileClaims
{
public:
    static bool claim(const QString &path);
    static void release(const QString &path);
    static bool isClaimed(const QString &path);

private:
    static QString key(const QString &path);
};
