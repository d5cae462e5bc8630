#pragma once

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QList>
#include <QString>
#include <QtEndian>

// Icon files for the tests, drawn on the spot: one flat colour per image so
// a test can tell which image it got.
namespace IconFiles {

inline QImage square(int size, QColor colour)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

inline bool writePng(const QString &fileName, const QImage &image)
{
    return image.save(fileName, "PNG");
}

// An .ico file holding the images in order: Qt writes one image per file,
// so each is written alone and their directory entries are joined.
inline bool writeIco(const QString &fileName, const QList<QImage> &images)
{
    QList<QByteArray> entries;
    QList<QByteArray> payloads;
    for (const QImage &image : images) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "ico");
        if (!writer.write(image))
            return false;
        const QByteArray single = buffer.data();
        const quint32 size = qFromLittleEndian<quint32>(single.constData() + 6 + 8);
        const quint32 offset = qFromLittleEndian<quint32>(single.constData() + 6 + 12);
        entries << single.mid(6, 16);
        payloads << single.mid(offset, size);
    }
    QByteArray out(6, '\0');
    qToLittleEndian<quint16>(1, out.data() + 2);
    qToLittleEndian<quint16>(quint16(images.size()), out.data() + 4);
    quint32 offset = quint32(6 + 16 * images.size());
    for (int i = 0; i < entries.size(); ++i) {
        QByteArray entry = entries[i];
        qToLittleEndian<quint32>(offset, entry.data() + 12);
        out += entry;
        offset += quint32(payloads[i].size());
    }
    for (const QByteArray &payload : payloads)
        out += payload;
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

inline bool writeText(const QString &fileName, const QByteArray &text)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace IconFiles
