#include "contacts/PresenceMonitor.h"

#include "base/ErrorReport.h"
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
    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setObjectName(QStringLiteral("TimerRefresh"));
    m_refreshTimer->setInterval(kPollIntervalMs);
    m_onlineList = new OnlineListModel(this);
    // What follows a poll may fail (a pop-up's avatar that does not decode):
    // reported at the slot, never thrown into the event loop.
    connect(m_refreshTimer, &QTimer::timeout, this, reportingSlot([this] { TimerRefreshTimer(); }));
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
    const bool polling = m_refreshTimer->isActive();
    QString body;
    const bool answered = m_session.NewHttpClient()->get(ServiceRequests::connectedMembers(), body);
    if (!alive || !answered)
        return false;
    if (polling && !m_refreshTimer->isActive())
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
    m_onlineUsers = names;
    m_onlineList->assign(std::move(records));
    emit statusText(1, GetIP(m_session.currentPseudo()));
}

QList<PresenceTransition> PresenceMonitor::CheckFriend()
{
    return CheckContacts(m_session.contactList(), m_onlineUsers, m_onlineContacts, m_offlineContacts);
}

QString PresenceMonitor::GetIP(const QString &pseudo) const
{
    const std::optional<QString> letters = directory().lastAddress(pseudo);
    if (!letters)
        return {};
    // The key comes from the pseudonym as the caller spells it.
    QString address;
    m_session.codec().DecryptForUser(pseudo, ServiceReplies::trimBlanks(*letters), address);
    return address;
}

void PresenceMonitor::TimerRefreshTimer()
{
    if (m_tickRunning)
        return;
    m_tickRunning = true;
    // The monitor may be destroyed while the poll waits (the program
    // ending); the flag is put back however the tick ends, a report
    // included.
    struct Done
    {
        QPointer<PresenceMonitor> monitor;
        ~Done()
        {
            if (monitor)
                monitor->m_tickRunning = false;
        }
    } done { this };
    if (PollOnline() && done.monitor)
        emit polled();
}

void PresenceMonitor::startContacts(const QStringList &contacts)
{
    m_offlineContacts = contacts;
}

void PresenceMonitor::noteNewContact(const QString &pseudo)
{
    if (!m_onlineContacts.contains(pseudo) && !m_offlineContacts.contains(pseudo))
        m_onlineContacts.append(pseudo);
}

void PresenceMonitor::endSession()
{
    m_refreshTimer->stop();
    m_onlineList->clear();
    m_offlineContacts = QStringList();
    m_onlineContacts = QStringList();
}
