#include "transfer/TransferRetries.h"

#include "transfer/TransferJob.h"

#include <QElapsedTimer>
#include <QTimer>

#include <limits>

struct TransferRetries::Entry
{
    QPointer<TransferJob> job;
    QString pseudo;
    RetryBackoff backoff;
    qint64 due = -1;
    bool online = false;
    QString address;
    qint64 positionAtStart = 0; // where the current attempt began
};

TransferRetries::TransferRetries(QObject *parent)
    : QObject(parent)
{
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &TransferRetries::runDue);
}

TransferRetries::~TransferRetries() = default;

qint64 TransferRetries::now() const
{
    if (Now)
        return Now();
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

TransferRetries::Entry *TransferRetries::entryOf(const TransferJob *job) const
{
    for (const auto &e : m_entries) {
        if (e->job == job)
            return e.get();
    }
    return nullptr;
}

qint64 TransferRetries::dueAt(const TransferJob *job) const
{
    const Entry *e = entryOf(job);
    return e ? e->due : -1;
}

void TransferRetries::watch(TransferJob *job)
{
    if (!job || entryOf(job))
        return;
    auto entry = std::make_shared<Entry>();
    entry->job = job;
    entry->pseudo = job->FichierProprio();
    entry->address = GetIP ? GetIP(entry->pseudo) : QString();
    entry->online = !entry->address.isEmpty();
    entry->positionAtStart = job->FichierTel();
    Entry *e = entry.get();
    m_entries.append(entry);
    connect(job, &TransferJob::stopped, this, [this, e] { onStopped(e); });
    connect(job, &TransferJob::stateChanged, this, [this, e] { onStateChanged(e); });
    connect(job, &QObject::destroyed, this, [this, e] {
        m_entries.removeIf([e](const std::shared_ptr<Entry> &x) { return x.get() == e; });
    });
    // Its first attempt is its own (made at once when the recipient is
    // online); what follows a stop is planned here.
}

void TransferRetries::onStopped(Entry *e)
{
    TransferJob *job = e->job;
    if (!job)
        return;
    e->due = -1;
    if (!job->wantsRetry()) {
        arm();
        return;
    }
    // An attempt that moved the transfer on starts the waits over.
    if (job->FichierTel() > e->positionAtStart)
        e->backoff.reset();
    e->positionAtStart = job->FichierTel();
    const QString address = GetIP ? GetIP(e->pseudo) : QString();
    e->online = !address.isEmpty();
    if (e->online) {
        e->address = address;
        e->due = now() + e->backoff.next();
    }
    arm();
}

void TransferRetries::onStateChanged(Entry *e)
{
    TransferJob *job = e->job;
    if (!job)
        return;
    if (!job->wantsRetry()) {
        // Paused, cancelled, running again: nothing planned. Whatever the
        // user did starts the waits over.
        e->due = -1;
        if (job->isRunning() || job->isPausedByUser())
            e->backoff.reset();
    } else if (e->due < 0 && e->online) {
        // Back from a suspension while it was waiting: tried at once.
        e->due = now();
    }
    arm();
}

void TransferRetries::presenceChanged()
{
    const qint64 t = now();
    for (const auto &entry : std::as_const(m_entries)) {
        Entry *e = entry.get();
        if (!e->job)
            continue;
        const QString address = GetIP ? GetIP(e->pseudo) : QString();
        if (address.isEmpty()) {
            // Nobody to try while the recipient is away.
            e->online = false;
            e->due = -1;
            continue;
        }
        const bool cameBack = !e->online || address != e->address;
        e->online = true;
        e->address = address;
        if (e->job->wantsRetry() && (cameBack || e->due < 0)) {
            e->backoff.reset();
            e->due = t;
        }
    }
    runDue();
}

void TransferRetries::runDue()
{
    const qint64 t = now();
    // An attempt may fail at once and plan the next one: the entries due
    // now are taken first.
    QList<std::shared_ptr<Entry>> due;
    for (const auto &e : std::as_const(m_entries)) {
        if (e->job && e->due >= 0 && e->due <= t)
            due.append(e);
    }
    for (const auto &e : due) {
        e->due = -1;
        TransferJob *job = e->job;
        if (!job || !job->wantsRetry())
            continue;
        const QString address = GetIP ? GetIP(e->pseudo) : QString();
        if (address.isEmpty()) {
            e->online = false;
            continue;
        }
        e->online = true;
        e->address = address;
        e->positionAtStart = job->FichierTel();
        job->retry(address);
    }
    arm();
}

void TransferRetries::arm()
{
    qint64 earliest = std::numeric_limits<qint64>::max();
    for (const auto &e : std::as_const(m_entries)) {
        if (e->job && e->due >= 0)
            earliest = qMin(earliest, e->due);
    }
    if (earliest == std::numeric_limits<qint64>::max()) {
        m_timer->stop();
        return;
    }
    m_timer->start(int(qBound(qint64(0), earliest - now(), qint64(RetryBackoff::MaxDelayMs))));
}
