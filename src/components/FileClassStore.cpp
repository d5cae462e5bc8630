#include "components/FileClassStore.h"

#include <QStringList>

bool FileClassStore::createKey(const QString &)
{
    return false;
}

bool FileClassStore::setValue(const QString &, const QString &, const Value &)
{
    return false;
}

bool FileClassStore::deleteKey(const QString &)
{
    return false;
}

QString FileClassStore::normalizedKey(const QString &path)
{
    return path.split(u'\\', Qt::SkipEmptyParts).join(u'\\');
}

QString FileClassStore::foldedKey(const QString &path)
{
    return normalizedKey(path).toLower();
}
