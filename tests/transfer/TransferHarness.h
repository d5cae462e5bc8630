#pragma once

#include "transfer/TestPanel.h"

#include "support/EventWait.h"

#include <QByteArray>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

// Panels on loopback for the data-channel tests: a download panel listening
// on a free port of 127.0.0.1 and, when wanted, an upload panel sending to it.
struct TransferHarness
{
    QTemporaryDir dir;
    QString temp = dir.filePath(QStringLiteral("temp"));
    QString sources = dir.filePath(QStringLiteral("sources"));
    QString received = dir.filePath(QStringLiteral("received"));
    // Whether the panels made here ask for and grant fast mode.
    bool fast = true;

    TransferHarness()
    {
        QDir().mkpath(temp);
        QDir().mkpath(sources);
        QDir().mkpath(received);
    }

    static QByteArray randomBytes(qsizetype n)
    {
        QByteArray b(n, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(b.data()), n / 4);
        for (qsizetype i = n / 4 * 4; i < n; ++i)
            b[i] = char(QRandomGenerator::global()->generate());
        return b;
    }
    static QByteArray contents(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // Compared without printing megabytes when they differ.
    static bool sameBytes(const QString &path, const QByteArray &expected)
    {
        const QByteArray actual = contents(path);
        if (actual == expected)
            return true;
        qsizetype i = 0;
        while (i < actual.size() && i < expected.size() && actual[i] == expected[i])
            ++i;
        qWarning("%s: %lld bytes, %lld expected, first difference at %lld", qPrintable(path),
            qlonglong(actual.size()), qlonglong(expected.size()), qlonglong(i));
        return false;
    }
    static void write(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
    QString source(const QString &name) const { return QDir(sources).filePath(name); }
    QString destination(const QString &name) const { return QDir(received).filePath(name); }
    QString partial(const QString &name) const { return QDir(temp).filePath(name); }

    // A download panel listening on 127.0.0.1, its port fixed once chosen so
    // that it can be reopened after a pause.
    std::unique_ptr<TvzkLoadPanel> download(
        const QString &name, qint64 size, qint64 tel = 0)
    {
        auto panel = std::make_unique<TestPanel>();
        panel->job()->setTempPath(temp);
        panel->job()->setBindAddress(QStringLiteral("127.0.0.1"));
        panel->job()->setPeerAddress(QStringLiteral("127.0.0.1"));
        panel->job()->setFichierName(name);
        panel->job()->setFichierPath(destination(name));
        panel->job()->setFichierPoids(QString::number(size));
        panel->job()->setFichierTel(tel);
        panel->job()->setFastMode(fast);
        panel->job()->setPort(0);
        panel->job()->setServerActive(true);
        panel->job()->setPort(panel->ServerSocket()->serverPort());
        return panel;
    }

    std::unique_ptr<TvzkLoadPanel> upload(
        const QString &name, quint16 port, qint64 tel = 0)
    {
        auto panel = std::make_unique<TestPanel>();
        panel->job()->setFichierName(name);
        panel->job()->setFichierPath(source(name));
        panel->job()->setFichierPoids(QString::number(QFileInfo(source(name)).size()));
        panel->job()->setFichierTel(tel);
        panel->job()->setFastMode(fast);
        panel->job()->setPort(port);
        panel->job()->setClientAddress(QStringLiteral("127.0.0.1"));
        return panel;
    }
};
