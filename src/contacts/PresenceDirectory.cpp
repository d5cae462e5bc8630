#include "contacts/PresenceDirectory.h"

void PresenceDirectory::assign(QList<Record> records)
{
    m_records = std::move(records);
    m_lastRow.clear();
    m_lastRow.reserve(m_records.size());
    for (qsizetype i = 0; i < m_records.size(); ++i) {
        const QString &name = m_records.at(i).name;
        m_lastRow.insert(asciiUpper(name), i); // a later record replaces an earlier one
    }
}

void PresenceDirectory::clear()
{
    m_records.clear();
    m_lastRow.clear();
}

QStringList PresenceDirectory::names() const
{
    QStringList out;
    out.reserve(m_records.size());
    for (const Record &r : m_records)
        out.append(r.name);
    return out;
}

std::optional<QString> PresenceDirectory::lastAddress(const QString &name) const
{
    const auto it = m_lastRow.constFind(asciiUpper(name));
    if (it == m_lastRow.cend())
        return std::nullopt;
    return m_records.at(*it).address;
}

QString PresenceDirectory::asciiUpper(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        if (u >= u'a' && u <= u'z')
            c = QChar(char16_t(u - 32));
    }
    return out;
}

QList<PresenceTransition> CheckContacts(const QStringList &contactList, const PseudoList &onlineUsers,
    PseudoList &onlineContacts, PseudoList &offlineContacts)
{
    QList<PresenceTransition> moves;
    for (const QString &name : contactList) {
        const bool listed = onlineUsers.contains(name);
        if (listed && offlineContacts.contains(name)) {
            onlineContacts.append(name);
            offlineContacts.removeOne(name);
            moves.append({ name, true });
        } else if (!listed && onlineContacts.contains(name)) {
            offlineContacts.append(name);
            onlineContacts.removeOne(name);
            moves.append({ name, false });
        }
    }
    return moves;
}
