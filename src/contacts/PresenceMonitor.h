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
    // The part of a poll after the reply came: OnlineUsers and the online
    // list from the reply body; statusText(1, own address).
    void ApplyPresenceReply(const QString &body);
    // The contact check against the last poll: OnlineContacts and
    // OfflineContacts updated, the moves returned in the order made.
    QList<PresenceTransition> CheckFriend();
    // The decoded address of an online member as the last poll listed it
    // (last record of that name, letter case of ASCII ignored); empty when
    // not online or not decodable.
    QString GetIP(const QString &pseudo) const;

    // The online list of the last poll, as the diagnostic view shows it.
    OnlineListModel *onlineList() const { return m_onlineList; }
    const PresenceDirectory &directory() const;

    QTimer *TimerRefresh = nullptr;
    PseudoList OnlineContacts;
    PseudoList OfflineContacts;
    PseudoList OnlineUsers;

signals:
    // A text for one panel of the status bar.
    void statusText(int panel, const QString &text);

private:
    ServiceSession &m_session;
    OnlineListModel *m_onlineList = nullptr;
};
