#include "components/FileTypeLook.h"

#include "base/ErrorReport.h"
#include "components/DesktopFileClassStore.h"
#include "components/TvzkFileAsso.h"

#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPainter>

QString FileTypeLook::ExtensionOf(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const qsizetype separator = std::max(fileName.lastIndexOf(u'/'), fileName.lastIndexOf(u'\\'));
    if (dot < 0 || dot < separator)
        return QString();
    return fileName.mid(dot);
}

QImage FileTypeLook::FitToSize(const QImage &image, int size)
{
    if (image.isNull() || (image.width() == size && image.height() == size))
        return image;
    const QImage scaled = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (scaled.width() == size && scaled.height() == size)
        return scaled;
    QImage square(size, size, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    QPainter painter(&square);
    painter.drawImage((size - scaled.width()) / 2, (size - scaled.height()) / 2, scaled);
    return square;
}

QImage FileTypeLook::IconFor(TvzkFileAsso &asso, const QString &fileName, const QImage &stock, IconSize size)
{
    asso.SetExtension(ExtensionOf(fileName));
    QImage icon;
    try {
        icon = asso.GetIcon();
    } catch (const VoxlaneError &) {
        icon = QImage();
    }
    return icon.isNull() ? stock : FitToSize(icon, size);
}

QString FileTypeLook::DescriptionFor(TvzkFileAsso &asso, const QString &fileName)
{
    asso.SetExtension(ExtensionOf(fileName));
    return asso.FileDesc();
}

QImage FileTypeLook::AssociatedIcon(
    const DesktopFileClassStore &desktop, const QString &filePath, const QImage &stock, IconSize size)
{
    if (!QFileInfo(filePath).isFile())
        return stock;
    QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(filePath);
    const QString iconFile = desktop.iconFileFor(type, size);
    if (iconFile.isEmpty())
        return stock;
    // Drawn at the size asked, not at the theme's large size: an SVG icon
    // stays sharp at 16 pixels.
    QImageReader reader(iconFile);
    if (reader.format() == "svg" || reader.format() == "svgz")
        reader.setScaledSize(QSize(size, size));
    const QImage icon = reader.read();
    return icon.isNull() ? stock : FitToSize(icon, size);
}
