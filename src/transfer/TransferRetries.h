#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QTimer;
class TransferJob;

// The waits between two connection attempts of an upload: 2 s, doubling,
// at most 60 s; back to 2 s once an attempt moved the transfer on.
class RetryBackoff
{
public:
    static constexpr int FirstDelayMs = 2000;
    static constexpr int MaxDelayMs = 60000;

    // The wait before the next attempt; the one after it doubles.
    int next()
    {
        const int delay = m_next;
        m_next = qMin(MaxDelayMs, m_next * 2);
        return delay;
    }
    int peek() const { return m_next; }
    void reset() { m_next = FirstDelayMs; }

private:
    int m_next = FirstDelayMs;
};

// Uploads that go on by themselves. An upload that stopped (the link cut,
// the receiver paused or restarting, the stall limit) is tried again while
// its recipient is online, after the back-off's wait, and at once when the
// presence poll shows the recipient back online (or at a new address).
// Nothing is tried for an upload the user paused, one that completed, was
// cancelled or stopped for a lasting reason (TransferJob::wantsRetry), nor
// while the recipient is offline.
//
// Now is the clock of the waits, in milliseconds that only go forward; a
// test sets its own and calls runDue() after moving it.
class TransferRetries : public QObject
{
    Q_OBJECT

public:
    explicit TransferRetries(QObject *parent = nullptr);
    ~TransferRetries() override;

    std::function<QString(const QString &pseudo)> GetIP; // empty: not online
    std::function<qint64()> Now;

    // Follows an upload from now on, until it is destroyed.
    void watch(TransferJob *job);
    // The presence poll has answered: recipients back online are tried at
    // once, those gone offline wait for their return.
    void presenceChanged();
    // Runs the attempts whose time has come.
    void runDue();

    // When the next attempt of job is due on Now's clock; -1 when none is
    // planned (running, offline, paused, over).
    qint64 dueAt(const TransferJob *job) const;

private:
    struct Entry;
    Entry *entryOf(const TransferJob *job) const;
    void onStopped(Entry *entry);
    void onStateChanged(Entry *entry);
    void arm();
    qint64 now() const;

    QList<std::shared_ptr<Entry>> m_entries;
    QTimer *m_timer = nullptr;
};
