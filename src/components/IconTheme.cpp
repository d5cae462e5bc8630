#include "components/IconTheme.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTextStream>

#include <climits>

namespace {

// Sections of an index.theme file: [section] key=value.
using IniSections = QHash<QString, QHash<QString, QString>>;

IniSections readIni(const QString &fileName)
{
    IniSections sections;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return sections;
    QTextStream in(&file);
    QString section;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            section = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0)
            sections[section].insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return sections;
}

QStringList listValue(const QString &text)
{
    QStringList items = text.split(u',', Qt::SkipEmptyParts);
    for (QString &item : items)
        item = item.trimmed();
    items.removeAll(QString());
    return items;
}

} // namespace

int IconTheme::Directory::distance(int wanted) const
{
    switch (type) {
    case Fixed:
        return std::abs(size - wanted);
    case Scalable:
        if (wanted < minSize)
            return minSize - wanted;
        if (wanted > maxSize)
            return wanted - maxSize;
        return 0;
    case Threshold:
        if (wanted < size - threshold)
            return size - threshold - wanted;
        if (wanted > size + threshold)
            return wanted - size - threshold;
        return 0;
    }
    return INT_MAX;
}

IconTheme::IconTheme(DesktopRoots roots)
    : m_roots(std::move(roots))
{
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    m_extensions << QStringLiteral("png");
    if (formats.contains("svg"))
        m_extensions << QStringLiteral("svg");
    if (formats.contains("xpm"))
        m_extensions << QStringLiteral("xpm");
}

const IconTheme::Theme &IconTheme::theme(const QString &name) const
{
    auto it = m_themes.constFind(name);
    if (it != m_themes.constEnd())
        return *it;

    Theme theme;
    IniSections index;
    for (const QString &data : m_roots.dataDirs) {
        const QString base = QDir(data).filePath(QStringLiteral("icons/") + name);
        if (!QFileInfo(base).isDir())
            continue;
        theme.baseDirs << base;
        if (index.isEmpty())
            index = readIni(QDir(base).filePath(QStringLiteral("index.theme")));
    }
    const auto header = index.value(QStringLiteral("Icon Theme"));
    theme.inherits = listValue(header.value(QStringLiteral("Inherits")));
    const QStringList dirs = listValue(header.value(QStringLiteral("Directories")))
        + listValue(header.value(QStringLiteral("ScaledDirectories")));
    for (const QString &dirName : dirs) {
        const auto keys = index.value(dirName);
        if (keys.value(QStringLiteral("Scale"), QStringLiteral("1")) != QStringLiteral("1"))
            continue; // drawn for high-density screens at another scale
        Directory dir;
        dir.path = dirName;
        dir.size = keys.value(QStringLiteral("Size")).toInt();
        dir.minSize = keys.value(QStringLiteral("MinSize"), QString::number(dir.size)).toInt();
        dir.maxSize = keys.value(QStringLiteral("MaxSize"), QString::number(dir.size)).toInt();
        dir.threshold = keys.value(QStringLiteral("Threshold"), QStringLiteral("2")).toInt();
        const QString type = keys.value(QStringLiteral("Type"), QStringLiteral("Threshold"));
        dir.type = type == QStringLiteral("Fixed") ? Directory::Fixed
            : type == QStringLiteral("Scalable")   ? Directory::Scalable
                                                   : Directory::Threshold;
        if (dir.size > 0)
            theme.directories << dir;
    }
    return *m_themes.insert(name, theme);
}

QStringList IconTheme::themeChain() const
{
    // Breadth-first through the inheritance, each theme once, "hicolor" last
    // as the icon theme rules ask.
    QStringList chain;
    QStringList queue;
    if (!m_roots.themeName.isEmpty())
        queue << m_roots.themeName;
    queue << QStringLiteral("default");
    while (!queue.isEmpty()) {
        const QString name = queue.takeFirst();
        if (name.isEmpty() || chain.contains(name) || name == QStringLiteral("hicolor"))
            continue;
        chain << name;
        queue << theme(name).inherits;
    }
    chain << QStringLiteral("hicolor");
    return chain;
}

QString IconTheme::lookupIn(const Theme &theme, const QString &iconName, int size) const
{
    QString best;
    int bestDistance = INT_MAX;
    for (const Directory &dir : theme.directories) {
        const int distance = dir.distance(size);
        if (distance >= bestDistance)
            continue;
        for (const QString &base : theme.baseDirs) {
            bool found = false;
            for (const QString &ext : m_extensions) {
                const QString file = base + u'/' + dir.path + u'/' + iconName + u'.' + ext;
                if (QFileInfo(file).isFile()) {
                    best = file;
                    bestDistance = distance;
                    found = true;
                    break;
                }
            }
            if (found)
                break;
        }
        if (bestDistance == 0)
            break;
    }
    return best;
}

QString IconTheme::lookup(const QString &iconName, int size) const
{
    if (iconName.isEmpty() || iconName.contains(u'/'))
        return QString();
    const QString cacheKey = iconName + u'@' + QString::number(size);
    auto cached = m_found.constFind(cacheKey);
    if (cached != m_found.constEnd())
        return *cached;

    QString file;
    for (const QString &name : themeChain()) {
        file = lookupIn(theme(name), iconName, size);
        if (!file.isEmpty())
            break;
    }
    if (file.isEmpty()) {
        for (const QString &data : m_roots.dataDirs) {
            for (const QString &ext : m_extensions) {
                const QString candidate
                    = QDir(data).filePath(QStringLiteral("pixmaps/") + iconName + u'.' + ext);
                if (QFileInfo(candidate).isFile()) {
                    file = candidate;
                    break;
                }
            }
            if (!file.isEmpty())
                break;
        }
    }
    m_found.insert(cacheKey, file);
    return file;
}
