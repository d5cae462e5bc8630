#include "transfer/TransferListStore.h"

#include "base/ErrorReport.h"
#include "base/SafeFile.h"
#include "base/TextConvert.h"
#include "transfer/DataReceiver.h"
#include "transfer/SizeText.h"
#include "transfer/TempFileClaims.h"
#include "transfer/TransferJob.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
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

// The bytes a download's partial file holds (0 when there is none), the
// whole size for a finished download. A partial file named by the file name
// alone (an older client's) becomes this download's own when nothing else
// holds it and it is not longer than the file: it belongs to this saved
// transfer of the same member and name.
qint64 downloadCount(const TransferRecord &r, const QString &tempPath)
{
    qint64 size = 0;
    const bool sized = TextConvert::tryStrToInt64(r.FichierPoids, size);
    if (r.Status == u"0")
        return sized ? size : 0;
    const QString own = DataReceiver::tempFilePath(tempPath, TransferJob::partialFileName(r.IDTel, r.FichierName));
    if (own.isEmpty())
        return 0;
    const QString legacy = DataReceiver::tempFilePath(tempPath, r.FichierName);
    if (r.Status != TransferJob::CancelledStatus && !QFileInfo::exists(own) && !legacy.isEmpty() && legacy != own
        && sized) {
        const QFileInfo info(legacy);
        if (info.isFile() && !info.isSymLink() && info.size() <= size && !TempFileClaims::isClaimed(legacy))
            QFile::rename(legacy, own);
    }
    // A file that cannot be read counts as empty.
    return TextConvert::strToInt64Def(SizeText::FileSizeText(own, false), 0);
}

// A save cut short by a crash leaves its new file beside the list
// ("<pseudo>.xml.XXXXXX"); the list itself is whole, so those go.
void removeUnfinishedSaves(const QString &path)
{
    const QFileInfo list(path);
    const QDir folder = list.absoluteDir();
    const QStringList names
        = folder.entryList({ list.fileName() + QStringLiteral(".??????") }, QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        // A list set aside (".bad", ".bad2"...) is the user's to look at.
        if (!name.mid(list.fileName().size() + 1).startsWith(QStringLiteral("bad")))
            QFile::remove(folder.filePath(name));
    }
}

} // namespace

TransferListStore::TransferListStore(TransferListHost &host, const QString &homeDir, QObject *parent)
    : QObject(parent)
    , m_host(host)
    , m_homeDir(homeDir)
{
    m_soon = new QTimer(this);
    m_soon->setSingleShot(true);
    m_soon->setInterval(0);
    connect(m_soon, &QTimer::timeout, this, [this] { autoSave(); });
    m_periodic = new QTimer(this);
    m_periodic->setInterval(AutoSaveIntervalMs);
    connect(m_periodic, &QTimer::timeout, this, [this] { autoSave(); });
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

QByteArray TransferListStore::document()
{
    QList<TransferRecord> downloads = m_host.downloadRecords() + m_keptDownloads;
    QList<TransferRecord> uploads = m_host.uploadRecords() + m_keptUploads;
    if (m_loading) {
        if (m_making) {
            QList<TransferRecord> &list = m_makingDownload ? downloads : uploads;
            const QString &id = m_making->IDTel;
            if (std::none_of(list.cbegin(), list.cend(), [&id](const TransferRecord &r) { return r.IDTel == id; }))
                list.append(*m_making);
        }
        downloads += m_pendingDownloads;
        uploads += m_pendingUploads;
    }
    return TransferListDocument::write(downloads, uploads);
}

void TransferListStore::write(const QString &pseudo, const QByteArray &bytes)
{
    const QString path = listFilePath(pseudo);
    QString error;
    if (!SafeFile::writeWhole(path, bytes, &error))
        throw VoxlaneError(QStringLiteral("Impossible d'écrire le fichier %1 : %2").arg(path, error));
    if (pseudo == m_sessionPseudo)
        m_lastSaved = bytes;
    emit saved();
}

void TransferListStore::SaveLoad(const QString &pseudo)
{
    const QByteArray bytes = document();
    if (m_loading)
        m_abort = true;
    write(pseudo, bytes);
}

void TransferListStore::beginSession(const QString &pseudo)
{
    m_sessionPseudo = pseudo;
    m_lastSaved.clear();
    m_failing = false;
    m_periodic->start();
}

void TransferListStore::endSession()
{
    m_sessionPseudo.clear();
    m_keptDownloads.clear();
    m_keptUploads.clear();
    m_periodic->stop();
    m_soon->stop();
}

void TransferListStore::requestSave()
{
    if (!m_sessionPseudo.isEmpty())
        m_soon->start();
}

bool TransferListStore::autoSave()
{
    // The lists are being rebuilt: the loading saves nothing half made,
    // and asks again once it is over.
    if (m_sessionPseudo.isEmpty() || m_loading)
        return true;
    const QByteArray bytes = document();
    if (bytes == m_lastSaved && !m_failing)
        return true;
    try {
        write(m_sessionPseudo, bytes);
    } catch (const VoxlaneError &e) {
        if (!m_failing)
            emit autoSaveFailed(e.message());
        m_failing = true;
        return false;
    }
    m_failing = false;
    return true;
}

bool TransferListStore::OpenLoad(const QString &pseudo, const QString &tempPath)
{
    const QString path = listFilePath(pseudo);
    removeUnfinishedSaves(path);
    // A log-in cannot begin while another one is loading; should it happen
    // anyway, the list being loaded is the one that counts.
    if (m_loading || !QFileInfo(path).isFile())
        return true;

    m_loading = true;
    m_abort = false;
    m_keptDownloads.clear();
    m_keptUploads.clear();
    emit loadingStarted();
    QString failure;
    QStringList entryFailures;
    try {
        entryFailures = load(path, tempPath);
    } catch (...) {
        failure = currentExceptionText();
    }
    m_loading = false;
    m_pendingDownloads.clear();
    m_pendingUploads.clear();
    emit loadingFinished();
    // What changed while loading is saved now.
    requestSave();
    if (!entryFailures.isEmpty()) {
        ErrorReport::report(QStringLiteral("Ces transferts n'ont pas pu être repris ; ils restent dans la liste "
                                           "et seront repris à la prochaine connexion :\n")
            + entryFailures.join(u'\n'));
        return false;
    }
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

QStringList TransferListStore::load(const QString &path, const QString &tempPath)
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
    // progress bar's maximum. Without "Info", or with counts that are not
    // numbers, there is nothing to decide with, so every section present
    // is read.
    bool readDownloads = true, readUploads = true;
    qint64 maximum = contents->downloads.size() + contents->uploads.size();
    int nbUp = 0, nbDown = 0;
    if (contents->hasInfo && TextConvert::tryStrToInt(contents->NbUpLoad, nbUp)
        && TextConvert::tryStrToInt(contents->NbDownLoad, nbDown)) {
        readUploads = nbUp > 0;
        readDownloads = nbDown > 0;
        maximum = qint64(nbUp) + nbDown;
    }
    emit progressMaximum(int(qBound(qint64(0), maximum, qint64(std::numeric_limits<int>::max()))));

    m_pendingDownloads.clear();
    m_pendingUploads.clear();
    if (readDownloads)
        for (const auto &e : contents->downloads)
            m_pendingDownloads.append(e.record);
    if (readUploads)
        for (const auto &e : contents->uploads)
            m_pendingUploads.append(e.record);

    int count = 0;
    auto entryDone = [&] {
        emit progressPosition(++count);
        m_host.processPendingEvents();
    };
    // One entry that cannot be made costs that entry alone: it is kept as
    // it was read, for the saves of this session.
    QStringList failures;
    const auto make = [&](const TransferListDocument::Entry &e, bool download) {
        const TransferRecord &kept = e.record;
        TransferRecord r = kept;
        try {
            // A download's saved count is not used (its partial file says
            // how much really arrived); an upload resumes from its own.
            if (e.badPort || (!download && e.badCount))
                throw VoxlaneError(
                    QStringLiteral("'%1' is not a valid integer value").arg(e.badPort ? *e.badPort : *e.badCount));
            if (download) {
                r.FichierTel = downloadCount(r, tempPath);
                m_host.restoreDownload(r);
            } else {
                r.FichierName.clear(); // an upload's name comes from its path
                m_host.restoreUpload(r, m_host.GetIP(r.FichierProprio));
            }
        } catch (...) {
            const QString name = download ? kept.FichierName : kept.FichierPath;
            failures << QStringLiteral("%1 (%2) : %3").arg(name, kept.FichierProprio, currentExceptionText());
            (download ? m_keptDownloads : m_keptUploads).append(kept);
        }
    };

    if (readDownloads) {
        for (const auto &e : contents->downloads) {
            if (m_abort)
                return failures;
            m_making = e.record;
            m_makingDownload = true;
            m_pendingDownloads.removeFirst();
            make(e, true);
            m_making.reset();
            entryDone();
        }
    }
    if (readUploads) {
        for (const auto &e : contents->uploads) {
            if (m_abort)
                return failures;
            m_making = e.record;
            m_makingDownload = false;
            m_pendingUploads.removeFirst();
            make(e, false);
            m_making.reset();
            entryDone();
        }
    }
    return failures;
}
