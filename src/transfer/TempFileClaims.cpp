#include "transfer/TempFileClaims.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

// Only the user-interface thread touches transfers, so no lock is needed.
QSet<QString> &claims()
{
    static QSet<QString> set;
    return set;
}

} // namespace

QString TempFileClaims::key(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool TempFileClaims::claim(const QString &path)
{
    const QString k = key(path);
    if (claims().contains(k))
        return false;
    claims().insert(k);
    return true;
}

void TempFileClaims::release(const QString &path)
{
    if (!path.isEmpty())
        claims().remove(key(path));
}

bool TempFileClaims::isClaimed(const QString &path)
{
    return claims().contains(key(path));
}
