#include "transfer/TransferManager.h"

#include "base/ErrorReport.h"
#include "base/SettingsStore.h"
#include "contacts/PresenceMonitor.h"
#include "service/ServiceSession.h"
#include "transfer/PeerKeys.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferListRules.h"
#include "transfer/TransferRetries.h"

#include <QCoreApplication>
#include <QFileInfo>

TransferManager::TransferManager(ServiceSession &session, PresenceMonitor &presence, SettingsStore &settings,
    const QString &bindAddress, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_presence(presence)
    , m_settings(settings)
    , m_bindAddress(bindAddress)
{
    setObjectName(QStringLiteral("Transfers"));
    m_retries = new TransferRetries(this);
    m_retries->GetIP = [this](const QString &pseudo) { return m_presence.GetIP(pseudo); };
}

TransferManager::~TransferManager()
{
    // The jobs are children: they go with the manager, their views first.
    ClearTransfers();
}

QString TransferManager::NewTransferId()
{
    return m_ids.next(m_session.userId(), m_now ? m_now() : QDateTime::currentDateTime());
}

bool TransferManager::PortHeld(int port) const
{
    for (const TransferJob *job : m_downloads) {
        if (job->Port() == port && job->Status() != QStringLiteral("0")
            && job->Status() != TransferJob::CancelledStatus)
            return true;
    }
    return false;
}

void TransferManager::ReleasePort(int port)
{
    for (TransferJob *job : m_downloads) {
        if (job->Port() == port && job->Status() == QStringLiteral("0") && job->isServerActive())
            job->setServerActive(false);
    }
}

QString TransferManager::ExtractFileExt(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot);
}

TransferJob *TransferManager::makeJob(const TransferRecord &r, bool download)
{
    auto *job = new TransferJob(this);
    job->setObjectName(QStringLiteral("Tel") + r.IDTel);
    job->setRecord(r);
    job->ResolvePeer = [this](const QString &pseudo) { return m_presence.GetIP(pseudo); };
    job->setTempPath(m_settings.tempFolder());
    job->setBindAddress(m_bindAddress);
    job->setSecurity(m_security);
    connect(job, &TransferJob::OnTelTermine, this, download ? &TransferManager::DownTermine : &TransferManager::UpTermine);
    connect(job, &TransferJob::OnLog, this, [this](QObject *, const QString &line) { emit Log(line); });
    connect(job, &TransferJob::peerKeyRefused, this, [this](const QString &info) { emit Info(info, true, KeyInfoMs); });
    return job;
}

// In its list before anything lets events run: a log-out meanwhile saves it
// with the others and removes it with them.
void TransferManager::list(TransferJob *job, bool download)
{
    m_ids.note(job->IDTel());
    (download ? m_downloads : m_uploads).append(job);
    connect(job, &TransferJob::stateChanged, this, &TransferManager::ListChanged);
    connect(job, &TransferJob::cancelledByPeer, this, &TransferManager::ListChanged);
}

bool TransferManager::NewDownload(const TransferRecord &record, const QString &peerAddress, bool replaceConfirmed)
{
    const QString ip = m_presence.GetIP(record.FichierProprio);
    TransferJob *job = makeJob(record, true);
    job->setPeerAddress(peerAddress.isEmpty() ? ip : peerAddress);
    job->setReplaceConfirmed(replaceConfirmed);
    // A finished download listens too (it never throws then): it answers a
    // sender that never learnt it completed. An unfinished one comes first:
    // a list restored at log-in holds finished downloads on the port an
    // unfinished one waits on, and they give it up rather than leave the
    // unfinished one without a port (an error box, and a transfer that
    // could never resume).
    if (record.Status != u"0" && record.Status != TransferJob::CancelledStatus)
        ReleasePort(record.Port);
    try {
        job->setServerActive(true);
    } catch (const VoxlaneError &error) {
        // The port is held by someone else: no transfer, no list entry.
        delete job;
        ErrorReport::report(error.message());
        return false;
    }
    list(job, true);
    emit jobAdded(job, !ip.isEmpty());
    emit JobFollowed(job, false);
    emit AddPort(record.Port, record.IDTel);
    emit ListChanged();
    emit jobStarted(job);
    return true;
}

bool TransferManager::NewUpload(const TransferRecord &record)
{
    emit AddPort(record.Port, record.IDTel);
    const QString ip = m_presence.GetIP(record.FichierProprio);
    TransferRecord r = record;
    r.FichierName = QFileInfo(record.FichierPath).fileName();
    TransferJob *job = makeJob(r, false);
    job->setPeerAddress(ip);
    list(job, false);
    emit jobAdded(job, !ip.isEmpty());
    // Started once its view is there, so that a connection that opens at
    // once shows its bar.
    if (!ip.isEmpty() && r.Status != u"0" && r.Status != TransferJob::CancelledStatus) {
        job->setClientAddress(ip);
        job->setClientActive(true);
    }
    m_retries->watch(job);
    emit JobFollowed(job, true);
    emit ListChanged();
    emit jobStarted(job);
    return true;
}

TransferJob *TransferManager::job(const QString &idTel) const
{
    for (const QList<TransferJob *> *jobs : { &m_downloads, &m_uploads }) {
        for (TransferJob *job : *jobs) {
            if (job->IDTel() == idTel)
                return job;
        }
    }
    return nullptr;
}

TransferManager::List TransferManager::listOf(const TransferJob *job) const
{
    return m_uploads.contains(job) ? List::Uploads : List::Downloads;
}

bool TransferManager::contains(const TransferJob *job) const
{
    return job && (m_downloads.contains(job) || m_uploads.contains(job));
}

void TransferManager::KillTel(TransferJob *job)
{
    QList<TransferJob *> &jobs = listOf(job) == List::Downloads ? m_downloads : m_uploads;
    if (!jobs.removeOne(job))
        return;
    emit jobRemoved(job);
    // Its sockets close; the file and the port stay.
    delete job;
    emit ListChanged();
}

void TransferManager::Cancel(TransferJob *job)
{
    if (!contains(job))
        return;
    job->cancelByUser();
    KillTel(job);
}

void TransferManager::RemoveFinished(List list)
{
    const QList<TransferJob *> snapshot = jobs(list);
    QStringList statuses;
    for (const TransferJob *job : snapshot)
        statuses << job->Status();
    for (int index : TransferListRules::finishedFromLast(statuses))
        KillTel(snapshot.at(index));
}

void TransferManager::ClearTransfers()
{
    for (QList<TransferJob *> *jobs : { &m_downloads, &m_uploads }) {
        const QList<TransferJob *> gone = std::exchange(*jobs, {});
        for (TransferJob *job : gone) {
            emit jobRemoved(job);
            delete job;
        }
    }
}

void TransferManager::DownTermine()
{
    emit ListChanged();
    emit Popup(QStringLiteral("Telechargement"), QStringLiteral("terminé"), 2);
}

void TransferManager::UpTermine()
{
    emit ListChanged();
    emit Popup(QStringLiteral("Envoi"), QStringLiteral("terminé"), 3);
}

void TransferManager::PresenceChanged()
{
    m_retries->presenceChanged();
}

void TransferManager::SuspendAll()
{
    for (const QList<TransferJob *> *jobs : { &m_downloads, &m_uploads }) {
        for (TransferJob *job : *jobs)
            job->suspend();
    }
}

void TransferManager::ResumeAll()
{
    for (const QList<TransferJob *> *jobs : { &m_downloads, &m_uploads }) {
        for (TransferJob *job : *jobs)
            job->resumeSuspended();
    }
}

TransferManager::Rates TransferManager::TotalRates() const
{
    const auto total = [](const QList<TransferJob *> &jobs) -> std::optional<double> {
        std::optional<double> sum;
        for (const TransferJob *job : jobs) {
            if (!job->isMoving())
                continue;
            sum = sum.value_or(0.0) + job->rate().value_or(0.0);
        }
        return sum;
    };
    return { total(m_downloads), total(m_uploads) };
}

bool TransferManager::DownloadsTo(const QString &path) const
{
    for (const TransferJob *job : m_downloads)
        if (job->FichierPath() == path)
            return true;
    return false;
}

QList<TransferRecord> TransferManager::downloadRecords() const
{
    QList<TransferRecord> records;
    for (const TransferJob *job : m_downloads)
        records.append(job->record());
    return records;
}

QList<TransferRecord> TransferManager::uploadRecords() const
{
    QList<TransferRecord> records;
    for (const TransferJob *job : m_uploads)
        records.append(job->record());
    return records;
}

void TransferManager::restoreDownload(const TransferRecord &record)
{
    if (!NewDownload(record))
        throw VoxlaneError(QStringLiteral("Le téléchargement de %1 n'a pas pu être repris.").arg(record.FichierName));
}

void TransferManager::restoreUpload(const TransferRecord &record, const QString &)
{
    if (!NewUpload(record))
        throw VoxlaneError(QStringLiteral("L'envoi de %1 n'a pas pu être repris.").arg(record.FichierPath));
}

QString TransferManager::GetIP(const QString &pseudo) const
{
    return m_presence.GetIP(pseudo);
}

void TransferManager::processPendingEvents()
{
    QCoreApplication::processEvents();
}
