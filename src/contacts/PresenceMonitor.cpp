#include "contacts/PresenceMonitor.h"

#include "contacts/OnlineListModel.h"
#include "service/HttpClient.h"
#include "service/ServiceReplies.h"
#include "service/ServiceRequests.h"
#include "service/ServiceSession.h"

#include <QPointer>
#include <QTimer>

PresenceMonitor::PresenceMonitor(ServiceSession &session, QObject *parent)
    : QObject(parent)
    , m_session(session)
{
    setObjectName(QStringLiteral("PresenceMonitor"));
    TimerRefresh = new QTimer(this);
    TimerRefresh->setObjectName(QStringLiteral("TimerRefresh"));
    TimerRefresh->setInterval(kPollIntervalMs);
    m_onlineList = new OnlineListModel(this);
}

PresenceMonitor::~PresenceMonitor() = default;

const PresenceDirectory &PresenceMonitor::directory() const
{
    return m_onlineList->directory();
}

bool PresenceMonitor::PollOnline()
{
    // Events run while the service answers: the monitor may be destroyed
    // (the program ending) or polling stopped (a log-out) meanwhile.
    const QPointer<PresenceMonitor> alive(this);
    const bool polling = TimerRefresh->isActive();
    QString body;
    const bool answered = m_session.NewHttpClient()->get(ServiceRequests::connectedMembers(), body);
    if (!alive || !answered)
        return false;
    if (polling && !TimerRefresh->isActive())
        return false;
    ApplyPresenceReply(body);
    return true;
}

void PresenceMonitor::ApplyPresenceReply(const QString &body)
{
    QList<PresenceDirectory::Record> records = ServiceReplies::readPresence(body);
    QStringList names;
    names.reserve(records.size());
    for (const PresenceDirectory::Record &r : std::as_const(records))
        names.append(r.name);
    OnlineUsers = names;
    m_onlineList->assign(std::move(records));
    emit statusText(1, GetIP(m_session.CurrentPseudo));
}

QList<PresenceTransition> PresenceMonitor::CheckFriend()
{
    return CheckContacts(m_session.ContactList, OnlineUsers, OnlineContacts, OfflineContacts);
}

QString PresenceMonitor::GetIP(const QString &pseudo) const
{
    const std::optional<QString> letters = directory().lastAddress(pseudo);
    if (!letters)
        return {};
    // The key comes from the pseudonym as the caller spells it.
    QString address;
    m_session.Codec.DecryptForUser(pseudo, ServiceReplies::trimBlanks(*letters), address);
    return address;
}
