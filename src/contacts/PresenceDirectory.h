#pragma once

#include "contacts/PseudoList.h"
#include "service/ServiceReplies.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The online list of the last successful poll: the records in reply order,
// with an index built once per poll so that finding a member's address does
// not scan the list.
class PresenceDirectory
{
public:
    using Record = ServiceReplies::PresenceRecord;

    // Replaces the whole directory with the records of one poll.
    void assign(QList<Record> records);
    void clear();

    const QList<Record> &records() const { return m_records; }
    qsizetype size() const { return m_records.size(); }
    // The names in reply order, duplicates included.
    QStringList names() const;

    // The address column of the LAST record whose name equals name once
    // ASCII letters are upper-cased; nothing when no record matches.
    std::optional<QString> lastAddress(const QString &name) const;

    // Upper-cases a..z only; other characters stay as they are.
    static QString asciiUpper(const QString &text);

private:
    QList<Record> m_records;
    QHash<QString, qsizetype> m_lastRow;
};

// One contact whose shown presence changes.
struct PresenceTransition
{
    QString name; // as spelled in the contact list
    bool online; // true: came online; false: went offline
    bool operator==(const PresenceTransition &) const = default;
};

// The contact check: for every contact, in contact-list order, a contact
// in onlineUsers (ignoring case) and shown offline moves to online, one not listed and shown
// online moves to offline; every other contact stays where it is (among
// them a contact in neither list). The two lists are updated and the moves
// returned in the order they were made.
QList<PresenceTransition> CheckContacts(const QStringList &contactList, const PseudoList &onlineUsers,
    PseudoList &onlineContacts, PseudoList &offlineContacts);
