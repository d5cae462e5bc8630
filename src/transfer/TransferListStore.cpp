#include "transfer/TransferListStore.h"

#include "base/ErrorReport.h"
#include "base/TextConvert.h"
#include "transfer/SizeText.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <limits>

const QString TransferListStore::LoadingText = QStringLiteral("Chargement de la liste de téléchargements...");

namespace {

QString currentExceptionText()
{
    try {
        throw;
    } catch (const VoxlaneError &e) {
        return e.message();
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Erreur inconnue");
    }
}

} // namespace

TransferListStore::TransferListStore(TransferListHost &host, const QString &homeDir, QObject *parent)
    : QObject(parent)
    , m_host(host)
    , m_homeDir(homeDir)
{
}

QString TransferListStore::listFilePath(const QString &pseudo) const
{
    QString name = pseudo;
    name.replace(u'/', u'_');
    name.replace(u'\\', u'_');
    name.replace(QChar(0), u'_');
    return m_homeDir + u'/' + name + QStringLiteral(".xml");
}

QString TransferListStore::asideName(const QString &path)
{
    QString aside = path + QStringLiteral(".bad");
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + QStringLiteral(".bad") + QString::number(n);
    return aside;
}

void TransferListStore::SaveLoad(const QString &pseudo)
{
    QList<TransferRecord> downloads = m_host.downloadRecords();
    QList<TransferRecord> uploads = m_host.uploadRecords();
    if (m_loading) {
        downloads += m_pendingDownloads;
        uploads += m_pendingUploads;
        m_abort = true;
    }
    const QByteArray bytes = TransferListDocument::write(downloads, uploads);

    const QString path = listFilePath(pseudo);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw VoxlaneError(QStringLiteral("Impossible d'écrire le fichier %1 : %2").arg(path, file.errorString()));
}

bool TransferListStore::OpenLoad(const QString &pseudo, const QString &tempPath)
{
    const QString path = listFilePath(pseudo);
    // A log-in cannot begin while another one is loading; should it happen
    // anyway, the list being loaded is the one that counts.
    if (m_loading || !QFileInfo(path).isFile())
        return true;

    m_loading = true;
    m_abort = false;
    emit loadingStarted();
    QString failure;
    try {
        load(path, tempPath);
    } catch (...) {
        failure = currentExceptionText();
    }
    m_loading = false;
    m_pendingDownloads.clear();
    m_pendingUploads.clear();
    emit loadingFinished();
    if (failure.isNull())
        return true;

    // What was not loaded would be lost when this session's lists are saved
    // over the file, so the file is kept under another name.
    const QString aside = asideName(path);
    if (QFile::rename(path, aside))
        failure += QStringLiteral("\nLa liste des transferts a été conservée sous %1.").arg(aside);
    else
        failure += QStringLiteral("\nLa liste des transferts %1 n'a pas pu être mise de côté.").arg(path);
    ErrorReport::report(failure);
    return false;
}

void TransferListStore::load(const QString &path, const QString &tempPath)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw VoxlaneError(QStringLiteral("Impossible de lire le fichier %1 : %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    file.close();

    QString error;
    const auto contents = TransferListDocument::read(bytes, &error);
    if (!contents)
        throw VoxlaneError(QStringLiteral("Le fichier %1 n'est pas un document XML valide : %2").arg(path, error));

    // The counts of "Info" only decide whether a section is read and the
    // progress bar's maximum. Without "Info" there is nothing to decide
    // with, so every section present is read.
    bool readDownloads = true, readUploads = true;
    qint64 maximum = contents->downloads.size() + contents->uploads.size();
    if (contents->hasInfo) {
        const int nbUp = TextConvert::strToInt(contents->NbUpLoad);
        const int nbDown = TextConvert::strToInt(contents->NbDownLoad);
        readUploads = nbUp > 0;
        readDownloads = nbDown > 0;
        maximum = qint64(nbUp) + nbDown;
    }
    emit progressMaximum(int(qBound(qint64(0), maximum, qint64(std::numeric_limits<int>::max()))));

    m_pendingDownloads.clear();
    m_pendingUploads.clear();
    if (readDownloads)
        for (const auto &e : contents->downloads)
            m_pendingDownloads.append(e.record());
    if (readUploads)
        for (const auto &e : contents->uploads)
            m_pendingUploads.append(e.record());

    int count = 0;
    auto entryDone = [&] {
        emit progressPosition(++count);
        m_host.processPendingEvents();
    };

    if (readDownloads) {
        for (const auto &e : contents->downloads) {
            if (m_abort)
                return;
            TransferRecord r = e.record();
            r.Port = TextConvert::strToInt(e.Port); // a malformed port stops the loading
            // The saved count is not trusted: the partial file says how much
            // really arrived ("" when it is gone).
            r.FichierTel = SizeText::FileSizeText(tempPath + u'/' + e.FichierName, false);
            m_pendingDownloads.removeFirst();
            m_host.NewDownload(r);
            entryDone();
        }
    }
    if (readUploads) {
        for (const auto &e : contents->uploads) {
            if (m_abort)
                return;
            TransferRecord r = e.record();
            r.FichierName.clear(); // an upload's name comes from its path
            r.Port = TextConvert::strToInt(e.Port);
            m_pendingUploads.removeFirst();
            m_host.NewUpload(r, m_host.GetIP(r.FichierProprio));
            entryDone();
        }
    }
}
