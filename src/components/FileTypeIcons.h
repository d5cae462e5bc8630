#pragma once

#include <QImage>
#include <QString>

#include <memory>

class DesktopFileClassStore;
class DialogService;
class TvzkFileAsso;

// The file-type pictures the windows show, from one lookup for the whole
// program: the desktop's database under the user's own associations file.
// It only reads: the windows never change the member's associations.
class FileTypeIcons
{
public:
    // userFile: the user's associations file (beside the settings).
    FileTypeIcons(const QString &userFile, DialogService &dialogs);
    ~FileTypeIcons();

    // The registered picture of an extension ("." included), 32 x 32; a
    // null image when none is registered: the caller's stock picture
    // stands in.
    QImage forExtension(const QString &extension) const;
    // The picture the desktop gives the file itself (its type from its name
    // and content), 32 x 32; stock when it has none.
    QImage forFile(const QString &path, const QImage &stock) const;

private:
    std::shared_ptr<DesktopFileClassStore> m_desktop;
    std::unique_ptr<TvzkFileAsso> m_asso;
};
