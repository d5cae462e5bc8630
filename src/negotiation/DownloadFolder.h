#pragma once

#include <QString>

#include <functional>

class SettingsStore;

// Where accepted files go: the user's download folder (the desktop's
// "Téléchargements", as xdg-user-dir names it), the folder the save dialog
// opens in (the last one used, else the download folder), and whether
// accepted files are saved there without asking. Everything is kept in the
// program's settings; without a store the defaults hold and nothing is kept.
class DownloadFolder
{
public:
    explicit DownloadFolder(SettingsStore *settings);

    // The download folder: the "DownloadPath" setting when set, else the
    // desktop's download folder, else the home folder.
    QString folder() const;
    static QString desktopDownloadFolder();

    // Where the save dialog opens: the folder of the last file saved, when
    // it still exists, else folder().
    QString dialogFolder() const;
    void noteSaved(const QString &path);

    bool saveWithoutAsking() const;
    void setSaveWithoutAsking(bool on);

    // A path in folder() for a file the other member calls offeredName,
    // never an existing file nor one for which taken() says true (a download
    // under way to that path): "name (2).ext", "name (3).ext"… The offered
    // name is the peer's: only its last part is kept, so that it cannot
    // name a place outside the folder.
    QString automaticPath(const QString &offeredName,
        const std::function<bool(const QString &path)> &taken = {}) const;
    // The offered name reduced to a plain file name ("fichier" when nothing
    // usable is left).
    static QString safeFileName(const QString &offeredName);

private:
    SettingsStore *m_settings;
};
