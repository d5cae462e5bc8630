#include "transfer/TransferManager.h"

#include "transfer/TransferJob.h"
#include "transfer/TransferRetries.h"

#include <QFileInfo>

TransferManager::TransferManager(QObject *parent)
    : QObject(parent)
{
    Retries = new TransferRetries(this);
    Retries->GetIP = [this](const QString &pseudo) { return GetIP ? GetIP(pseudo) : QString(); };
}

TransferManager::~TransferManager() = default;

namespace {

const QString kStampFormat = QStringLiteral("yyyyMMddHHmmsszzz");
constexpr int kStampLength = 17;

// The stamp's digits as a number, which orders stamps as their texts do.
qint64 stampValue(const QDateTime &when)
{
    return when.toString(kStampFormat).toLongLong();
}

// A stamp's wall-clock fields as a time without time zone, so that adding
// a millisecond never meets a daylight-saving gap.
QDateTime naiveOf(const QDateTime &when)
{
    return QDateTime(when.date(), when.time(), Qt::UTC);
}

} // namespace

QString TransferManager::NewTransferId()
{
    QDateTime when = naiveOf(Now ? Now() : QDateTime::currentDateTime());
    if (stampValue(when) <= m_lastStamp) {
        const QDateTime last = QDateTime::fromString(QString::number(m_lastStamp), kStampFormat);
        when = naiveOf(last).addMSecs(1);
    }
    m_lastStamp = stampValue(when);
    return QString::number(UserId ? UserId() : 0) + when.toString(kStampFormat);
}

void TransferManager::NoteTransferId(const QString &id)
{
    if (id.size() <= kStampLength)
        return;
    bool ok = false;
    const qint64 stamp = id.right(kStampLength).toLongLong(&ok);
    if (ok && stamp > m_lastStamp && QDateTime::fromString(id.right(kStampLength), kStampFormat).isValid())
        m_lastStamp = stamp;
}

QList<TransferJob *> TransferManager::downloadJobs() const
{
    QList<TransferJob *> jobs;
    for (const QString &name : DownloadList) {
        if (TransferJob *job = JobNamed(name))
            jobs.append(job);
    }
    return jobs;
}

bool TransferManager::PortHeld(int port) const
{
    for (const TransferJob *job : downloadJobs()) {
        if (job->Port() == port && job->Status() != QStringLiteral("0")
            && job->Status() != TransferJob::CancelledStatus)
            return true;
    }
    return false;
}

void TransferManager::ReleasePort(int port)
{
    for (TransferJob *job : downloadJobs()) {
        if (job->Port() == port && job->Status() == QStringLiteral("0") && job->isServerActive())
            job->setServerActive(false);
    }
}

QString TransferManager::ExtractFileExt(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot);
}

bool TransferManager::NewDownload(const QString &id, const QString &pseudo, const QString &fileName,
    const QString &size, const QString &count, const QString &path, int port, const QString &status,
    const QString &peerAddress, bool replaceConfirmed)
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
    t.replaceConfirmed = replaceConfirmed;
    QObject *panel = View ? View->CreatePanel(t, int(DownloadList.size()), !ip.isEmpty()) : nullptr;
    if (!panel)
        return false;
    // In its list before anything lets events run: a log-out meanwhile
    // saves it with the others and removes it with them.
    LastPanel = panel;
    const QString name = QStringLiteral("Tel") + id;
    NoteTransferId(id);
    DownloadList.append(name);
    emit AddPort(port, id);
    follow(name, panel, false);
    View->PanelListed(panel, t);
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
    const QString name = QStringLiteral("Tel") + id;
    NoteTransferId(id);
    UploadList.append(name);
    follow(name, panel, true);
    View->PanelListed(panel, t);
    return true;
}

void TransferManager::follow(const QString &name, QObject *panel, bool upload)
{
    TransferJob *job = View->JobOf(panel);
    if (!job)
        return;
    m_jobs.removeIf([](const auto &entry) { return entry.value().isNull(); });
    m_jobs.insert(name, job);
    connect(job, &TransferJob::stateChanged, this, &TransferManager::ListChanged);
    connect(job, &TransferJob::cancelledByPeer, this, &TransferManager::ListChanged);
    if (upload)
        Retries->watch(job);
    emit JobFollowed(job, upload);
    emit ListChanged();
}

TransferJob *TransferManager::JobNamed(const QString &name) const
{
    return m_jobs.value(name);
}

void TransferManager::DownTermine(QObject *)
{
    emit ListChanged();
    emit Popup(QStringLiteral("Telechargement"), QStringLiteral("terminé"), 2);
}

void TransferManager::UpTermine(QObject *)
{
    emit ListChanged();
    emit Popup(QStringLiteral("Envoi"), QStringLiteral("terminé"), 3);
}

void TransferManager::PresenceChanged()
{
    Retries->presenceChanged();
}

void TransferManager::SuspendAll()
{
    for (const QStringList *list : { &DownloadList, &UploadList }) {
        for (const QString &name : *list) {
            if (TransferJob *job = m_jobs.value(name))
                job->suspend();
        }
    }
}

void TransferManager::ResumeAll()
{
    for (const QStringList *list : { &DownloadList, &UploadList }) {
        for (const QString &name : *list) {
            if (TransferJob *job = m_jobs.value(name))
                job->resumeSuspended();
        }
    }
}

TransferManager::Rates TransferManager::TotalRates() const
{
    const auto total = [this](const QStringList &list) -> std::optional<double> {
        std::optional<double> sum;
        for (const QString &name : list) {
            const TransferJob *job = JobNamed(name);
            if (!job || !job->isMoving())
                continue;
            sum = sum.value_or(0.0) + job->rate().value_or(0.0);
        }
        return sum;
    };
    return { total(DownloadList), total(UploadList) };
}

bool TransferManager::DownloadsTo(const QString &path) const
{
    for (const QString &name : DownloadList)
        if (const TransferJob *job = JobNamed(name); job && job->FichierPath() == path)
            return true;
    return false;
}
