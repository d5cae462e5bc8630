#include "base/SettingsStore.h"

#include "base/Cp1252.h"
#include "base/ErrorReport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

SettingsStore::SettingsStore(const QString &filePath)
    : m_filePath(filePath)
{
    if (m_filePath.isEmpty()) {
        QSettings probe(QStringLiteral("Tovanik"), QStringLiteral("Voxlane"));
        m_filePath = probe.fileName();
    }
}

void SettingsStore::ensureExists() const
{
    if (QFileInfo::exists(m_filePath))
        return;
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    QFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw VoxlaneError(QStringLiteral("Impossible de créer la clé de configuration %1").arg(m_filePath));
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
    if (settings.status() != QSettings::NoError)
        throw VoxlaneError(QStringLiteral("Impossible d'écrire la valeur \"%1\" de la configuration").arg(name));
}
