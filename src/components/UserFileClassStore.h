#pragma once

#include "components/FileClassStore.h"

#include <QMap>
#include <QSet>
#include <QString>

#include <memory>

// The per-user file-class store: what the lookup writes (CreateExtension,
// DeleteExtension, the property writers) lives in a file of its own beside
// the settings, laid over the desktop's read-only view.
//
// Reading: a value the user store holds wins; otherwise the desktop's view
// answers. Deleting a key the desktop provides cannot touch the desktop's
// database, so the user store remembers the deletion and hides that key
// and everything below it from then on; a key created there again starts
// empty. Values pass through Windows-1252 as every stored text does. The
// file is rewritten atomically after each change.
class UserFileClassStore : public FileClassStore
{
public:
    // base may be null: a store of its own (tests build any layout so).
    explicit UserFileClassStore(
        const QString &filePath, std::shared_ptr<const FileClassStore> base = nullptr);

    // The store of the running program: the user's file over the desktop.
    static std::shared_ptr<FileClassStore> forCurrentUser();
    // "<configuration folder>/Tovanik/VoxlaneFileClasses.json"
    static QString defaultFilePath();

    bool keyExists(const QString &key) const override;
    std::optional<Value> value(const QString &key, const QString &name) const override;
    bool createKey(const QString &key) override;
    bool setValue(const QString &key, const QString &name, const Value &value) override;
    bool deleteKey(const QString &key) override;

    QString fileName() const { return m_filePath; }

private:
    struct Key
    {
        QString path; // as first spelled
        QMap<QString, QString> names; // folded name -> name as spelled
        QMap<QString, Value> values; // folded name -> value
    };

    bool hiddenInBase(const QString &folded) const;
    void addKey(const QString &path);
    void load();
    bool save() const;

    QString m_filePath;
    std::shared_ptr<const FileClassStore> m_base;
    QMap<QString, Key> m_keys; // folded path -> key
    QSet<QString> m_hidden; // folded paths of desktop keys deleted here
};
