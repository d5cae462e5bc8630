#include "components/TFileClassRegistry.h"

#include "components/FileClassStore.h"

TFileClassRegistry::TFileClassRegistry(FileClassStore &store)
    : m_store(store)
{
}

QString TFileClassRegistry::resolve(const QString &key) const
{
    if (key.startsWith(u'\\') || m_current.isEmpty())
        return FileClassStore::normalizedKey(key);
    return FileClassStore::normalizedKey(m_current + u'\\' + key);
}

bool TFileClassRegistry::OpenKey(const QString &key, bool canCreate)
{
    const QString path = resolve(key);
    if (path.isEmpty())
        return false;
    if (!m_store.keyExists(path) && !(canCreate && m_store.createKey(path)))
        return false;
    m_current = path;
    return true;
}

void TFileClassRegistry::CloseKey()
{
    m_current.clear();
}

bool TFileClassRegistry::KeyExists(const QString &key) const
{
    const QString path = resolve(key);
    return !path.isEmpty() && m_store.keyExists(path);
}

bool TFileClassRegistry::ValueExists(const QString &name) const
{
    return !m_current.isEmpty() && m_store.value(m_current, name).has_value();
}

QString TFileClassRegistry::ReadString(const QString &name) const
{
    if (m_current.isEmpty())
        return QString();
    const auto value = m_store.value(m_current, name);
    return value ? value->data : QString();
}

bool TFileClassRegistry::WriteString(const QString &name, const QString &value)
{
    return !m_current.isEmpty() && m_store.setValue(m_current, name, { value, false });
}

bool TFileClassRegistry::WriteExpandString(const QString &name, const QString &value)
{
    return !m_current.isEmpty() && m_store.setValue(m_current, name, { value, true });
}

bool TFileClassRegistry::DeleteKey(const QString &key)
{
    const QString path = resolve(key);
    return !path.isEmpty() && m_store.deleteKey(path);
}
