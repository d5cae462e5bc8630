#include "components/DesktopFileClassStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QTextStream>

namespace {

// The values of one [section] of a desktop-style key file.
QHash<QString, QString> readSection(const QString &fileName, const QString &wanted)
{
    QHash<QString, QString> values;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return values;
    QTextStream in(&file);
    bool inSection = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(u'[')) {
            inSection = line == u'[' + wanted + u']';
            continue;
        }
        if (!inSection || line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && !values.contains(line.left(eq).trimmed()))
            values.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return values;
}

} // namespace

DesktopFileClassStore::DesktopFileClassStore(DesktopRoots roots)
    : m_roots(std::move(roots))
    , m_icons(m_roots)
{
}

QMimeType DesktopFileClassStore::mimeTypeForExtension(const QString &extension) const
{
    // Only a real extension: ".", "" or a name without its dot match nothing.
    if (extension.size() < 2 || !extension.startsWith(u'.') || extension.contains(u'\\'))
        return QMimeType();
    QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(QStringLiteral("x") + extension, QMimeDatabase::MatchExtension);
    return type.isValid() && !type.isDefault() ? type : QMimeType();
}

QMimeType DesktopFileClassStore::mimeTypeNamed(const QString &name) const
{
    if (!name.contains(u'/'))
        return QMimeType();
    QMimeDatabase db;
    QMimeType type = db.mimeTypeForName(name);
    if (type.isValid())
        return type;
    // Keys compare without letter case; MIME names mostly are lower case,
    // but not all ("application/vnd.ms-excel.sheet.macroEnabled.12").
    for (const QMimeType &candidate : db.allMimeTypes()) {
        if (candidate.name().compare(name, Qt::CaseInsensitive) == 0)
            return candidate;
    }
    return QMimeType();
}

QString DesktopFileClassStore::iconFileFor(const QMimeType &type, int size) const
{
    if (!type.isValid())
        return QString();
    QString file = m_icons.lookup(type.iconName(), size);
    if (file.isEmpty())
        file = m_icons.lookup(type.genericIconName(), size);
    return file;
}

DesktopFileClassStore::Application DesktopFileClassStore::readDesktopEntry(const QString &desktopId) const
{
    for (const QString &data : m_roots.dataDirs) {
        const QString fileName = QDir(data).filePath(QStringLiteral("applications/") + desktopId);
        if (!QFileInfo(fileName).isFile())
            continue;
        const auto entry = readSection(fileName, QStringLiteral("Desktop Entry"));
        const QString command = entry.value(QStringLiteral("Exec"));
        if (command.isEmpty() || entry.value(QStringLiteral("Hidden")) == QStringLiteral("true"))
            return {};
        return { entry.value(QStringLiteral("Name")), command };
    }
    return {};
}

DesktopFileClassStore::Application DesktopFileClassStore::defaultApplication(const QMimeType &type) const
{
    auto cached = m_applications.constFind(type.name());
    if (cached != m_applications.constEnd())
        return *cached;

    // The user's choice first (mimeapps.list in the configuration folders,
    // then beside the applications), then any application that declares
    // the type, as the desktop's own launcher falls back.
    QStringList lists;
    for (const QString &config : m_roots.configDirs)
        lists << QDir(config).filePath(QStringLiteral("mimeapps.list"));
    for (const QString &data : m_roots.dataDirs)
        lists << QDir(data).filePath(QStringLiteral("applications/mimeapps.list"));
    QStringList candidates;
    for (const QString &list : lists)
        candidates << readSection(list, QStringLiteral("Default Applications"))
                          .value(type.name())
                          .split(u';', Qt::SkipEmptyParts);
    for (const QString &data : m_roots.dataDirs) {
        const QString cache = QDir(data).filePath(QStringLiteral("applications/mimeinfo.cache"));
        candidates << readSection(cache, QStringLiteral("MIME Cache"))
                          .value(type.name())
                          .split(u';', Qt::SkipEmptyParts);
    }

    Application found;
    for (const QString &id : candidates) {
        found = readDesktopEntry(id.trimmed());
        if (!found.command.isEmpty())
            break;
    }
    m_applications.insert(type.name(), found);
    return found;
}

std::optional<QString> DesktopFileClassStore::defaultValueOf(const QString &key) const
{
    const QStringList parts = normalizedKey(key).split(u'\\', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return std::nullopt;

    if (parts.size() == 1 && parts.first().startsWith(u'.')) {
        const QMimeType type = mimeTypeForExtension(parts.first().toLower());
        return type.isValid() ? std::optional<QString>(type.name()) : std::nullopt;
    }

    const QMimeType type = mimeTypeNamed(parts.first());
    if (!type.isValid())
        return std::nullopt;
    const QStringList rest = QStringList(parts.mid(1)).join(u'\\').toLower().split(u'\\', Qt::SkipEmptyParts);
    if (rest.isEmpty())
        return type.comment();
    if (rest == QStringList { QStringLiteral("defaulticon") }) {
        const QString file = iconFileFor(type, kIconSize);
        return file.isEmpty() ? std::nullopt : std::optional<QString>(file + QStringLiteral(",0"));
    }
    const bool shellPath = rest.first() == QStringLiteral("shell") && rest.size() <= 3
        && (rest.size() < 2 || rest.at(1) == QStringLiteral("open"))
        && (rest.size() < 3 || rest.at(2) == QStringLiteral("command"));
    if (!shellPath)
        return std::nullopt;
    const Application app = defaultApplication(type);
    if (app.command.isEmpty())
        return std::nullopt;
    switch (rest.size()) {
    case 1: // "shell": the verbs' parent holds no value of its own
        return QString();
    case 2: // "shell\open": the verb's description
        return app.name;
    default: // "shell\open\command"
        return app.command;
    }
}

bool DesktopFileClassStore::keyExists(const QString &key) const
{
    return defaultValueOf(key).has_value();
}

std::optional<FileClassStore::Value> DesktopFileClassStore::value(
    const QString &key, const QString &name) const
{
    if (!name.isEmpty())
        return std::nullopt;
    const auto data = defaultValueOf(key);
    if (!data)
        return std::nullopt;
    // A key without a value of its own ("shell") still has no default value.
    if (data->isEmpty() && normalizedKey(key).endsWith(QStringLiteral("shell"), Qt::CaseInsensitive))
        return std::nullopt;
    return Value { *data, false };
}
