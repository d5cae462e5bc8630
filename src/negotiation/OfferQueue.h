#pragma once

#include "negotiation/ControlChannel.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// Several files for one member: each is offered in turn, with its own
// confirmation on the other side and its own panel once accepted. The next
// offer starts when the one before is over; a refused file does not stop the
// others, while an offer that failed (the member cannot be reached) or that
// the user withdrew drops the files still waiting for that member.
//
// Every offer of the send page goes through here, so that offers never
// overlap on the channel, which carries one at a time.
class OfferQueue : public QObject
{
    Q_OBJECT

public:
    explicit OfferQueue(ControlChannel &channel, QObject *parent = nullptr);

    // Queues the files of paths for recipient (as typed; see
    // ControlChannel::StartOffer), after those already waiting. Returns how
    // many files were queued.
    int Offer(const QString &recipient, const QStringList &paths);
    // The regular files named by paths, a folder standing for every file
    // under it (all levels, in name order, links not followed); what does
    // not exist is left out. Order kept, each file once.
    static QStringList FilesOf(const QStringList &paths);

    // Files waiting for their turn (the one on offer not counted).
    int Pending() const { return int(m_waiting.size()); }
    bool Busy() const { return m_busy; }
    // Forgets the files waiting (log-out); an offer under way is the
    // channel's.
    void Clear();

signals:
    // For the info bar, as ControlChannel::Info.
    void Info(const QString &text, bool show, int milliseconds);

private:
    struct Item
    {
        QString recipient;
        QString path;
    };
    void startNext();
    void offerEnded(ControlChannel::OfferOutcome outcome);

    ControlChannel &m_channel;
    QList<Item> m_waiting;
    Item m_current;
    bool m_busy = false;
    bool m_scheduled = false;
};
