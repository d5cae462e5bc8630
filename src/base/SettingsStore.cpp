#include "base/SettingsStore.h"

#include "base/Cp1252.h"
#include "base/ErrorReport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

SettingsStore::SettingsStore(const QString &filePath, QObject *parent)
    : QObject(parent)
    , m_filePath(filePath)
{
    if (m_filePath.isEmpty()) {
        QSettings probe(QStringLiteral("Tovanik"), QStringLiteral("Voxlane"));
        m_filePath = probe.fileName();
    }
}

void SettingsStore::ensureExists() const
{
    // The store holds the remembered password in a form anyone can decode
    // who knows the pseudonym: only its owner may read it. The folder and the
    // file are made private, also when an earlier version left them open.
    constexpr auto kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const QString folder = QFileInfo(m_filePath).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        QDir().mkpath(folder);
        QFile::setPermissions(folder, kOwnerOnly | QFileDevice::ExeOwner);
    }
    if (!QFileInfo::exists(m_filePath)) {
        QFile file(m_filePath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
            throw VoxlaneError(
                QStringLiteral("Impossible de créer la clé de configuration %1").arg(m_filePath));
    }
    if (m_privacyChecked)
        return;
    m_privacyChecked = true;
    QFile::setPermissions(folder, kOwnerOnly | QFileDevice::ExeOwner);
    QFile::setPermissions(m_filePath, kOwnerOnly);
}

QString SettingsStore::read(const QString &name) const
{
    ensureExists();
    QSettings settings(m_filePath, QSettings::IniFormat);
    return settings.value(name).toString();
}

void SettingsStore::write(const QString &name, const QString &value)
{
    ensureExists();
    QSettings settings(m_filePath, QSettings::IniFormat);
    settings.setValue(name, Cp1252::normalized(value));
    settings.sync();
    // QSettings writes a new file and renames it over the old one.
    QFile::setPermissions(m_filePath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (settings.status() != QSettings::NoError)
        throw VoxlaneError(QStringLiteral("Impossible d'écrire la valeur \"%1\" de la configuration").arg(name));
}

void SettingsStore::setTempFolder(const QString &folder)
{
    if (folder == m_tempFolder)
        return;
    m_tempFolder = folder;
    emit tempFolderChanged(folder);
}

void SettingsStore::prepareTempFolder(const QString &homeDir)
{
    const QString folder = homeDir + QStringLiteral("/temp");
    if (!QFileInfo(folder).isDir())
        QDir().mkpath(folder);
    setTempFolder(folder);
}
