#pragma once

#include "contacts/PresenceDirectory.h"
#include "contacts/PseudoList.h"

#include <QObject>
#include <QString>

class OnlineListModel;
class QTimer;
class ServiceSession;

// Presence of the members: the poll of the service every 10 seconds, the
// online list of the last poll (with the members' encoded addresses), and
// the contacts shown online and offline. It is the one owner of that state;
// the contact view shows what CheckFriend decides. It outlives the windows,
// so a poll that answers after a window is gone changes only this.
//
// Each tick of the refresh timer (TimerRefreshTimer) polls, then announces
// polled(): the uploads waiting for their recipient, the contact view and
// the send page's recipients follow it, in the order they connected.
class PresenceMonitor : public QObject
{
    Q_OBJECT

public:
    static constexpr int kPollIntervalMs = 10000;

    explicit PresenceMonitor(ServiceSession &session, QObject *parent = nullptr);
    ~PresenceMonitor() override;

    // One poll: asks the service who is online and applies the reply. False
    // when the request failed, or when polling was stopped (a log-out) while
    // the reply was on its way: a late reply must not fill the lists again.
    bool PollOnline();
    // The part of a poll after the reply came: the online users and the
    // online list from the reply body; statusText(1, own address).
    void ApplyPresenceReply(const QString &body);
    // The contact check against the last poll: the online and offline
    // contacts updated, the moves returned in the order made.
    QList<PresenceTransition> CheckFriend();
    // One tick of the refresh timer: a poll, then polled() when it was
    // answered. The poll waits for the service while events run; a tick
    // that comes meanwhile is skipped rather than nested, so two polls
    // never update the lists over each other.
    void TimerRefreshTimer();
    // The decoded address of an online member as the last poll listed it
    // (last record of that name, letter case of ASCII ignored); empty when
    // not online or not decodable.
    QString GetIP(const QString &pseudo) const;

    // The online list of the last poll, as the diagnostic view shows it.
    OnlineListModel *onlineList() const { return m_onlineList; }
    const PresenceDirectory &directory() const;

    // The poll's timer (object name "TimerRefresh"): runs from the end of a
    // log-in attempt that reached the service until a confirmed log-out.
    QTimer &refreshTimer() const { return *m_refreshTimer; }

    const PseudoList &onlineContacts() const { return m_onlineContacts; }
    const PseudoList &offlineContacts() const { return m_offlineContacts; }
    const PseudoList &onlineUsers() const { return m_onlineUsers; }

    // An accepted log-in: every contact of the session starts offline.
    void startContacts(const QStringList &contacts);
    // A contact accepted during the session counts as online until the next
    // check says better; one already counted (both members asked each
    // other) is not counted twice.
    void noteNewContact(const QString &pseudo);
    // A confirmed log-out: polling stops and every list is emptied.
    void endSession();

signals:
    // A text for one panel of the status bar.
    void statusText(int panel, const QString &text);
    // A tick's poll was answered: the lists hold its reply.
    void polled();

private:
    ServiceSession &m_session;
    OnlineListModel *m_onlineList = nullptr;
    QTimer *m_refreshTimer = nullptr;
    PseudoList m_onlineContacts;
    PseudoList m_offlineContacts;
    PseudoList m_onlineUsers;
    bool m_tickRunning = false;
};
