#include "base/SafeFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool failWith(QString *error, int code)
{
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(code));
    return false;
}

// All of it, or false with errno set.
bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// The rename itself reaches the disk only with its folder.
void syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// A new file beside target, named target.XXXXXX; -1 with errno set.
int openBeside(const QString &target, QByteArray &tempName)
{
    tempName = QFile::encodeName(QFileInfo(target).absoluteFilePath()) + ".XXXXXX";
    return ::mkostemp(tempName.data(), O_CLOEXEC);
}

// Flushes, closes and renames the temporary file over target; on any
// failure the temporary file goes and target is untouched.
bool settle(int fd, const QByteArray &tempName, const QString &target, QString *error)
{
    const QByteArray path = QFile::encodeName(QFileInfo(target).absoluteFilePath());
    struct stat old;
    if (::stat(path.constData(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd, old.st_mode & 07777);
    int code = 0;
    if (::fsync(fd) != 0)
        code = errno;
    if (::close(fd) != 0 && code == 0)
        code = errno;
    if (code == 0 && ::rename(tempName.constData(), path.constData()) != 0)
        code = errno;
    if (code != 0) {
        ::unlink(tempName.constData());
        return failWith(error, code);
    }
    syncFolder(QFile::encodeName(QFileInfo(target).absolutePath()));
    return true;
}

} // namespace

bool SafeFile::writeWhole(const QString &path, const QByteArray &bytes, QString *error)
{
    if (QFileInfo(path).isDir())
        return failWith(error, EISDIR);
    QByteArray tempName;
    const int fd = openBeside(path, tempName);
    if (fd < 0)
        return failWith(error, errno);
    if (!writeAll(fd, bytes.constData(), bytes.size())) {
        const int code = errno;
        ::close(fd);
        ::unlink(tempName.constData());
        return failWith(error, code);
    }
    return settle(fd, tempName, path, error);
}

bool SafeFile::replace(const QString &source, const QString &destination, QString *error)
{
    if (QFileInfo(destination).isDir())
        return failWith(error, EISDIR);
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(destination);
    if (::rename(from.constData(), to.constData()) == 0) {
        syncFolder(QFile::encodeName(QFileInfo(destination).absolutePath()));
        return true;
    }
    if (errno != EXDEV)
        return failWith(error, errno);

    // Another file system: the copy is made whole beside the destination
    // before it takes its place.
    const int in = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return failWith(error, errno);
    QByteArray tempName;
    const int out = openBeside(destination, tempName);
    if (out < 0) {
        const int code = errno;
        ::close(in);
        return failWith(error, code);
    }
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            break;
        if (n < 0 || !writeAll(out, buffer, n)) {
            const int code = errno;
            ::close(in);
            ::close(out);
            ::unlink(tempName.constData());
            return failWith(error, code);
        }
    }
    ::close(in);
    if (!settle(out, tempName, destination, error))
        return false;
    ::unlink(from.constData());
    return true;
}
