#pragma once

#include <QString>
#include <QStringList>

// Rules of the media page and of the tray menu's player item, kept apart
// from the widgets.
namespace MediaRules {

// Page indexes of the main window that hold transfer panels.
constexpr int kDownloadsPage = 1;
constexpr int kUploadsPage = 2;

// The file "Lecture" plays for the selected panel of the page on show.
// A finished download (Status not empty) is at FichierPath; one still
// arriving is played from its partial file in the temp folder. An upload
// plays its source. Any other page, or a partial file name that would
// leave the temp folder, gives the empty text (nothing to play).
// partialName is the download's partial file in the temp folder.
QString FileToPlay(int page, const QString &status, const QString &fichierPath, const QString &tempPath,
    const QString &partialName);

// Whether the media page can play fileName: its type (from the name, and
// from the content when path names an existing file) is one of
// playableMimeTypes (what the player's back end decodes) or derives from
// one; the names the page always took (".mp3", ".avi", ".wma", ".wmv",
// ".mpeg", spelt so) are played in any case.
bool canPlay(const QString &fileName, const QStringList &playableMimeTypes, const QString &path = QString());

// The open dialog's filter for playable files, in the program's
// "description|patterns" form: the extensions of playableMimeTypes, then
// every file.
QString openFilter(const QStringList &playableMimeTypes);

// The tray menu's player item (Lecture2).
struct PlayerItem
{
    QString caption;
    int imageIndex = -1; // in the menu's image list; -1 none
    bool enabled = false;
    int tag = 0;
};

constexpr int kImagePlay = 8;
constexpr int kImagePause = 9;

// The item as the tray menu opens with the player in state (0-11): the
// caption and picture change only for 0 (no picture change), 1-2 and 3;
// other states keep what the item showed before.
PlayerItem PlayerItemFor(int state, const PlayerItem &previous);

enum class PlayerAction { None, Play, Pause };
// What choosing the item does, from its Tag.
PlayerAction PlayerActionFor(int tag);

} // namespace MediaRules
