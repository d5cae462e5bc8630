#pragma once

#include <QString>

class FileClassStore;

// A registry object rooted at the file-class root, as the lookup uses one:
// open a key (creating it or not), ask whether keys and values exist, read
// and write string values, delete keys. Cheap to make: every access of the
// lookup opens and closes its own.
//
// A key given to OpenKey, KeyExists or DeleteKey is relative to the open key
// unless it begins with '\' or no key is open; then it is taken from the root.
class TFileClassRegistry
{
public:
    explicit TFileClassRegistry(FileClassStore &store);

    // False when the key does not exist and canCreate is false, when it
    // cannot be created, or when it names the root itself.
    bool OpenKey(const QString &key, bool canCreate);
    void CloseKey();
    QString CurrentPath() const { return m_current; }

    bool KeyExists(const QString &key) const;
    bool ValueExists(const QString &name) const;
    // An absent key or value reads as the empty text.
    QString ReadString(const QString &name) const;
    bool WriteString(const QString &name, const QString &value);
    bool WriteExpandString(const QString &name, const QString &value);
    bool DeleteKey(const QString &key);

private:
    QString resolve(const QString &key) const;

    FileClassStore &m_store;
    QString m_current; // normalised; empty: no key open
};
