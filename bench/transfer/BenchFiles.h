#pragma once

#include "transfer/PeerKeys.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

// Files for the transfer benchmarks: the same pseudo-random bytes for the
// same size (xorshift, written a MiB at a time), and a byte comparison.
inline bool makeRandomFile(const QString &path, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    quint64 x = 0x9E3779B97F4A7C15ull;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 done = 0; done < size; done += chunk.size()) {
        auto *words = reinterpret_cast<quint64 *>(chunk.data());
        for (qsizetype i = 0; i < chunk.size() / 8; ++i) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            words[i] = x;
        }
        const qint64 n = qMin<qint64>(chunk.size(), size - done);
        if (f.write(chunk.constData(), n) != n)
            return false;
    }
    return true;
}

inline bool sameFiles(const QString &a, const QString &b)
{
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size())
        return false;
    while (!fa.atEnd()) {
        if (fa.read(1 << 20) != fb.read(1 << 20))
            return false;
    }
    return true;
}

// Two members, each with a key of its own made under work; none when the
// run is not encrypted.
struct BenchKeys
{
    std::shared_ptr<TransferSecurity> sender, receiver;
};

inline BenchKeys benchKeys(const QString &work, bool encrypted)
{
    if (!encrypted)
        return {};
    return { TransferSecurity::open(QDir(work).filePath(QStringLiteral("sender"))),
        TransferSecurity::open(QDir(work).filePath(QStringLiteral("receiver"))) };
}
