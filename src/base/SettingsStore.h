#pragma once

#include <QString>

// Per-user string values of the program, in the store QSettings keeps for
// organisation "Tovanik", application "Voxlane" (under XDG_CONFIG_HOME on
// Linux). Values are Windows-1252 texts like everything else: what cannot be
// carried is stored as '?'. The folder and the file are private to the user
// (0700 and 0600): the remembered password is in them.
class SettingsStore
{
public:
    // An empty path means the user's store; tests pass a file of their own.
    explicit SettingsStore(const QString &filePath = QString());

    // Opening the key creates it when missing, so the first read leaves an
    // empty store behind. An absent value reads as the empty text.
    QString read(const QString &name) const;
    void write(const QString &name, const QString &value);

    QString fileName() const { return m_filePath; }

private:
    void ensureExists() const;

    QString m_filePath;
    mutable bool m_privacyChecked = false;
};
