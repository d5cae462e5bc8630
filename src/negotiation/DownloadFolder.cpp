#include "negotiation/DownloadFolder.h"

#include "base/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString kDownloadPath = QStringLiteral("DownloadPath");
const QString kLastSaveFolder = QStringLiteral("LastSaveFolder");
const QString kSaveWithoutAsking = QStringLiteral("SaveWithoutAsking");

} // namespace

DownloadFolder::DownloadFolder(SettingsStore *settings)
    : m_settings(settings)
{
}

QString DownloadFolder::desktopDownloadFolder()
{
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return downloads.isEmpty() ? QDir::homePath() : downloads;
}

QString DownloadFolder::folder() const
{
    const QString chosen = m_settings ? m_settings->read(kDownloadPath).trimmed() : QString();
    return chosen.isEmpty() ? desktopDownloadFolder() : chosen;
}

QString DownloadFolder::dialogFolder() const
{
    const QString last = m_settings ? m_settings->read(kLastSaveFolder) : QString();
    if (!last.isEmpty() && QFileInfo(last).isDir())
        return last;
    return folder();
}

void DownloadFolder::noteSaved(const QString &path)
{
    if (m_settings && !path.isEmpty())
        m_settings->write(kLastSaveFolder, QFileInfo(path).absolutePath());
}

bool DownloadFolder::saveWithoutAsking() const
{
    return m_settings && m_settings->read(kSaveWithoutAsking) == u"1";
}

void DownloadFolder::setSaveWithoutAsking(bool on)
{
    if (m_settings)
        m_settings->write(kSaveWithoutAsking, on ? QStringLiteral("1") : QStringLiteral("0"));
}

QString DownloadFolder::safeFileName(const QString &offeredName)
{
    QString name = offeredName;
    name.replace(u'\\', u'/');
    name = name.section(u'/', -1).trimmed();
    name.remove(QChar(0));
    if (name.isEmpty() || name == u"." || name == u"..")
        return QStringLiteral("fichier");
    return name;
}

QString DownloadFolder::automaticPath(
    const QString &offeredName, const std::function<bool(const QString &path)> &taken) const
{
    const QDir dir(folder());
    const QString name = safeFileName(offeredName);
    // "photo.jpg" becomes "photo (2).jpg", "archive.tar.gz" "archive
    // (2).tar.gz"; a leading dot is part of the name, not an extension.
    qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0 && name.left(dot).endsWith(QStringLiteral(".tar"), Qt::CaseInsensitive) && dot - 4 > 0)
        dot -= 4;
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    for (int n = 1;; ++n) {
        const QString candidate
            = dir.filePath(n == 1 ? name : stem + QStringLiteral(" (%1)").arg(n) + extension);
        if (!QFileInfo::exists(candidate) && !(taken && taken(candidate)))
            return candidate;
    }
}
