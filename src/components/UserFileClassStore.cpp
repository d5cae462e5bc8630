#include "components/UserFileClassStore.h"

#include "base/Cp1252.h"
#include "components/DesktopFileClassStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

bool isBelowOrAt(const QString &folded, const QString &ancestor)
{
    return folded == ancestor || folded.startsWith(ancestor + u'\\');
}

} // namespace

UserFileClassStore::UserFileClassStore(const QString &filePath, std::shared_ptr<const FileClassStore> base)
    : m_filePath(filePath)
    , m_base(std::move(base))
{
    load();
}

std::shared_ptr<FileClassStore> UserFileClassStore::forCurrentUser()
{
    return std::make_shared<UserFileClassStore>(defaultFilePath(), std::make_shared<DesktopFileClassStore>());
}

QString UserFileClassStore::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Tovanik/VoxlaneFileClasses.json");
}

bool UserFileClassStore::hiddenInBase(const QString &folded) const
{
    for (const QString &hidden : m_hidden) {
        if (isBelowOrAt(folded, hidden))
            return true;
    }
    return false;
}

bool UserFileClassStore::keyExists(const QString &key) const
{
    const QString folded = foldedKey(key);
    if (folded.isEmpty())
        return false;
    if (m_keys.contains(folded))
        return true;
    return m_base && !hiddenInBase(folded) && m_base->keyExists(normalizedKey(key));
}

std::optional<FileClassStore::Value> UserFileClassStore::value(const QString &key, const QString &name) const
{
    const QString folded = foldedKey(key);
    if (folded.isEmpty())
        return std::nullopt;
    auto it = m_keys.constFind(folded);
    if (it != m_keys.constEnd()) {
        auto v = it->values.constFind(name.toLower());
        if (v != it->values.constEnd())
            return *v;
    }
    if (m_base && !hiddenInBase(folded))
        return m_base->value(normalizedKey(key), name);
    return std::nullopt;
}

void UserFileClassStore::addKey(const QString &path)
{
    // A key brings its parents into being, as in the registry.
    const QStringList parts = normalizedKey(path).split(u'\\');
    QString spelled;
    for (const QString &part : parts) {
        spelled = spelled.isEmpty() ? part : spelled + u'\\' + part;
        const QString folded = spelled.toLower();
        if (!m_keys.contains(folded))
            m_keys.insert(folded, Key { spelled, {}, {} });
    }
}

bool UserFileClassStore::createKey(const QString &key)
{
    if (normalizedKey(key).isEmpty())
        return false;
    if (m_keys.contains(foldedKey(key)))
        return true;
    addKey(key);
    return save();
}

bool UserFileClassStore::setValue(const QString &key, const QString &name, const Value &value)
{
    if (normalizedKey(key).isEmpty())
        return false;
    addKey(key);
    Key &k = m_keys[foldedKey(key)];
    const QString foldedName = name.toLower();
    if (!k.names.contains(foldedName))
        k.names.insert(foldedName, Cp1252::normalized(name));
    k.values.insert(foldedName, Value { Cp1252::normalized(value.data), value.expandable });
    return save();
}

bool UserFileClassStore::deleteKey(const QString &key)
{
    const QString folded = foldedKey(key);
    if (folded.isEmpty() || !keyExists(folded))
        return false;
    for (auto it = m_keys.begin(); it != m_keys.end();) {
        if (isBelowOrAt(it.key(), folded))
            it = m_keys.erase(it);
        else
            ++it;
    }
    if (m_base && !hiddenInBase(folded) && m_base->keyExists(folded)) {
        for (auto it = m_hidden.begin(); it != m_hidden.end();) {
            if (isBelowOrAt(*it, folded))
                it = m_hidden.erase(it);
            else
                ++it;
        }
        m_hidden.insert(folded);
    }
    return save();
}

void UserFileClassStore::load()
{
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly))
        return; // no store yet: the desktop's view alone
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    for (const QJsonValue &entry : root.value(QStringLiteral("keys")).toArray()) {
        const QJsonObject keyObject = entry.toObject();
        const QString path = normalizedKey(keyObject.value(QStringLiteral("path")).toString());
        if (path.isEmpty())
            continue;
        addKey(path);
        Key &key = m_keys[path.toLower()];
        for (const QJsonValue &v : keyObject.value(QStringLiteral("values")).toArray()) {
            const QJsonObject valueObject = v.toObject();
            const QString name = valueObject.value(QStringLiteral("name")).toString();
            key.names.insert(name.toLower(), name);
            key.values.insert(name.toLower(),
                Value { valueObject.value(QStringLiteral("data")).toString(),
                    valueObject.value(QStringLiteral("expandable")).toBool() });
        }
    }
    for (const QJsonValue &hidden : root.value(QStringLiteral("deleted")).toArray()) {
        const QString folded = foldedKey(hidden.toString());
        if (!folded.isEmpty())
            m_hidden.insert(folded);
    }
}

bool UserFileClassStore::save() const
{
    QJsonArray keys;
    for (const Key &key : m_keys) {
        QJsonArray values;
        for (auto it = key.values.constBegin(); it != key.values.constEnd(); ++it) {
            values.append(QJsonObject { { QStringLiteral("name"), key.names.value(it.key()) },
                { QStringLiteral("data"), it->data }, { QStringLiteral("expandable"), it->expandable } });
        }
        keys.append(
            QJsonObject { { QStringLiteral("path"), key.path }, { QStringLiteral("values"), values } });
    }
    QJsonArray deleted;
    for (const QString &hidden : m_hidden)
        deleted.append(hidden);
    const QJsonObject root { { QStringLiteral("keys"), keys }, { QStringLiteral("deleted"), deleted } };

    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(root).toJson());
    return file.commit();
}
