#include "transfer/TransferManager.h"

#include <QFileInfo>

TransferManager::TransferManager(QObject *parent)
    : QObject(parent)
{
}

QString TransferManager::NewTransferId()
{
    QDateTime when = Now ? Now() : QDateTime::currentDateTime();
    const QString user = QString::number(UserId ? UserId() : 0);
    QString id = user + when.toString(QStringLiteral("yyyyMMddHHmmsszzz"));
    // A second transfer within the same millisecond would collide with the
    // first panel's name; take the next millisecond instead.
    while (id <= m_lastId && m_lastId.size() == id.size()) {
        when = when.addMSecs(1);
        id = user + when.toString(QStringLiteral("yyyyMMddHHmmsszzz"));
    }
    m_lastId = id;
    return id;
}

QString TransferManager::ExtractFileExt(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot);
}

bool TransferManager::NewDownload(const QString &id, const QString &pseudo, const QString &fileName,
    const QString &size, const QString &count, const QString &path, int port, const QString &status,
    const QString &peerAddress)
{
    const QString ip = GetIP ? GetIP(pseudo) : QString();
    TransferInfo t;
    t.download = true;
    t.id = id;
    t.pseudo = pseudo;
    t.fileName = fileName;
    t.filePath = path;
    t.size = size;
    t.count = count;
    t.port = port;
    t.status = status;
    t.peerAddress = peerAddress.isEmpty() ? ip : peerAddress;
    t.extension = ExtractFileExt(fileName);
    QObject *panel = View ? View->CreatePanel(t, int(DownloadList.size()), !ip.isEmpty()) : nullptr;
    if (!panel)
        return false;
    LastPanel = panel;
    DownloadList.append(QStringLiteral("Tel") + id);
    emit AddPort(port, id);
    return true;
}

bool TransferManager::NewUpload(const QString &id, const QString &pseudo, const QString &path,
    const QString &size, const QString &count, const QString &, int port, const QString &status)
{
    emit AddPort(port, id);
    const QString ip = GetIP ? GetIP(pseudo) : QString();
    TransferInfo t;
    t.download = false;
    t.id = id;
    t.pseudo = pseudo;
    t.fileName = QFileInfo(path).fileName();
    t.filePath = path;
    t.size = size;
    t.count = count.isEmpty() ? QStringLiteral("0") : count;
    t.port = port;
    t.status = status;
    t.peerAddress = ip;
    t.extension = ExtractFileExt(path);
    QObject *panel = View ? View->CreatePanel(t, int(UploadList.size()), !ip.isEmpty()) : nullptr;
    if (!panel)
        return false;
    LastPanel = panel;
    UploadList.append(QStringLiteral("Tel") + id);
    return true;
}

void TransferManager::DownTermine(QObject *)
{
    emit Popup(QStringLiteral("Telechargement"), QStringLiteral("terminé"), 2);
}

void TransferManager::UpTermine(QObject *)
{
    emit Popup(QStringLiteral("Envoi"), QStringLiteral("terminé"), 3);
}
