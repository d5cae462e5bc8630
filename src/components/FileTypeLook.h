#pragma once

#include <QImage>
#include <QString>

class DesktopFileClassStore;
class TvzkFileAsso;

// What the windows show for a file's type, in one call each: the transfer
// panels and the confirmation window ask the file-type lookup by extension,
// the send page asks the desktop about the file itself. Every call falls
// back to the caller's own stock picture, so a machine without MIME database
// or icon theme shows the stock pictures and never an error.
//
// The main window makes the lookup once, read-only as it comes:
//     auto desktop = std::make_shared<DesktopFileClassStore>();
//     vzkFileAsso1 = new TvzkFileAsso(
//         std::make_shared<UserFileClassStore>(UserFileClassStore::defaultFilePath(), desktop),
//         dialogs, this);
//
//   Transfer panel (icon step):
//     const QString ext = FileTypeLook::ExtensionOf(path);
//     const QImage stock = imgListeIco.image(ext == ".exe" ? 1 : 0);
//     PictureIco->setPixmap(QPixmap::fromImage(
//         FileTypeLook::IconFor(*vzkFileAsso1, path, stock, FileTypeLook::Large)));
//   Confirmation window (DessinerIcone):
//     FileTypeLook::IconFor(*vzkFileAsso1, ShownFileName, imgListeIco.image(0), FileTypeLook::Large)
//   Send page:
//     FileTypeLook::AssociatedIcon(*desktop, FileNameSend->text(), imgListeIco.image(0),
//     FileTypeLook::Large)
class FileTypeLook
{
public:
    // The desktop's small (lists, menus) and large (windows) icon sizes.
    enum IconSize { Small = 16, Large = 32 };

    // The file name's extension as the callers take it: from the last "."
    // of the name (a "." in a folder name does not count) to the end, the
    // "." included; empty when there is none. ".exe" stays as spelled.
    static QString ExtensionOf(const QString &fileName);

    // fileName may be a bare name, a path, or an extension with its ".".
    // Sets asso's Extension from fileName and reads its Icon; the icon
    // comes back at size x size pixels, or stock, unchanged, when the type
    // has none. A malformed icon index in the association also gives stock:
    // one foreign association must not stop a panel from being built.
    static QImage IconFor(
        TvzkFileAsso &asso, const QString &fileName, const QImage &stock, IconSize size = Large);

    // The description of the file's type (asso's FileDesc after its
    // Extension has been set from fileName); empty when unknown.
    static QString DescriptionFor(TvzkFileAsso &asso, const QString &fileName);

    // The icon the desktop associates with the file itself (its type found
    // from its name and content), at size x size pixels; stock when the
    // file does not exist or its type has no icon.
    static QImage AssociatedIcon(const DesktopFileClassStore &desktop, const QString &filePath,
        const QImage &stock, IconSize size = Large);

    // image scaled to size x size (aspect kept, centred on transparency);
    // a null image stays null.
    static QImage FitToSize(const QImage &image, int size);
};
