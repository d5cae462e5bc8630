#include "components/ExtractIcon.h"

#include <QImageReader>

QImage ExtractIcon(const QString &fileName, int index)
{
    if (index < 0 || fileName.isEmpty())
        return QImage();
    QImageReader reader(fileName);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead())
        return QImage();
    if (reader.format() == "svg" || reader.format() == "svgz")
        reader.setScaledSize(QSize(32, 32));
    // Formats that cannot tell how many images they hold answer 0.
    const int count = std::max(reader.imageCount(), 1);
    if (index >= count)
        return QImage();
    if (index > 0 && !reader.jumpToImage(index))
        return QImage();
    return reader.read();
}
