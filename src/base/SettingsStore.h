#pragma once

#include <QObject>
#include <QString>

// Per-user string values of the program, in the store QSettings keeps for
// organisation "Tovanik", application "Voxlane" (under XDG_CONFIG_HOME on
// Linux). Values are Windows-1252 texts like everything else: what cannot be
// carried is stored as '?'. The folder and the file are private to the user
// (0700 and 0600): the remembered password is in them.
//
// It also holds the folder partial downloads go to during the run: "temp"
// in the program's folder, made at start (prepareTempFolder). The "TempPath"
// value the options page stores is only shown there, never applied.
class SettingsStore : public QObject
{
    Q_OBJECT

public:
    // An empty path means the user's store; tests pass a file of their own.
    explicit SettingsStore(const QString &filePath = QString(), QObject *parent = nullptr);

    // Opening the key creates it when missing, so the first read leaves an
    // empty store behind. An absent value reads as the empty text.
    QString read(const QString &name) const;
    void write(const QString &name, const QString &value);

    QString fileName() const { return m_filePath; }

    // The folder of partial downloads (no trailing separator); empty until
    // prepareTempFolder or setTempFolder.
    QString tempFolder() const { return m_tempFolder; }
    // Transfers made from now on keep their partial files there.
    void setTempFolder(const QString &folder);
    // "temp" in the program's folder, made when missing (a failure shows
    // later, where a write into it fails), becomes the temp folder.
    void prepareTempFolder(const QString &homeDir);

signals:
    void tempFolderChanged(const QString &folder);

private:
    void ensureExists() const;

    QString m_filePath;
    QString m_tempFolder;
    mutable bool m_privacyChecked = false;
};
