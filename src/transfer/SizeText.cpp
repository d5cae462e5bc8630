#include "transfer/SizeText.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>


QString SizeText::FormatSize(qint64 count)
{
    if (count <= 0)
        return QString::number(count) + QStringLiteral(" octet");
    if (count < 1024)
        return QString::number(count) + QStringLiteral(" octets");
    const double n = double(count);
    if (n / 1024.0 >= 1024.0) {
        QLocale locale;
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return locale.toString(n / 1048576.0, 'f', 1) + QStringLiteral(" Mo");
    }
    return QString::number(qRound(n / 1024.0)) + QStringLiteral(" Ko");
}

namespace {

// The size of a readable file, or -1. The file is opened for reading only:
// a read-only file has a size like any other.
qint64 readableSize(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.size();
}

QString sizeText(qint64 size, bool formatted)
{
    if (size < 0)
        return QStringLiteral("0");
    if (!formatted)
        return QString::number(size);
    return SizeText::FormatSize(size);
}

} // namespace

QString SizeText::FileSizeText(const QString &path, bool formatted)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return QString();
    return sizeText(readableSize(path), formatted);
}

QString SizeText::RawFileSize(const QString &path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return QStringLiteral("0");
    return sizeText(readableSize(path), false);
}
