#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Readers of the community service's replies. Each takes the whole reply body,
// already decoded from Windows-1252, and gives a value; none touches the
// network or a window, so each is tested with tables of bodies.
class ServiceReplies
{
public:
    // The words the service answers with; each is searched anywhere in a
    // body, with exact letter case.
    static const QString kAuthorized; // "autorisé"
    static const QString kError; // "error"
    static const QString kDisconnected; // "Déconnecté"
    static const QString kOk; // "ok"

    enum class LoginOutcome {
        Accepted, // the body holds "autorisé" (even alongside "error")
        ServiceError, // no "autorisé", but "error"
        Refused, // neither word
    };

    struct LoginReply
    {
        LoginOutcome outcome = LoginOutcome::Refused;
        QStringList contacts; // between "[Contacts]" and "[Bloqués]"
        QStringList requests; // between the lines "[Ask]" and "[Messages]"
    };

    struct PresenceRecord
    {
        QString name;
        QString address; // as received: the member's address encrypted for name
        bool operator==(const PresenceRecord &) const = default;
    };

    struct CardDetails
    {
        QString email;
        QString web;
    };

    static LoginOutcome loginOutcome(const QString &body);
    static LoginReply readLogin(const QString &body);
    // The contact block of a log-in reply: found by character positions of
    // its two markers; a missing marker (or markers in the wrong order) gives
    // no contact.
    static QStringList loginContacts(const QString &body);
    // Pending contact requests: the lines strictly between the first line
    // "[Ask]" and the first line "[Messages]" (whole lines, any letter case),
    // blank ones skipped, each taken as received.
    static QStringList loginRequests(const QString &body);

    // The online list: every record "pseudo=" NAME "<" ... ">" ADDRESS "<",
    // in body order. Linear in the size of the body.
    static QList<PresenceRecord> readPresence(const QString &body);

    // A member id as a number: true and id set when the whole body is a
    // decimal integer; otherwise false and id untouched. Where the id is used
    // as text (avatar and profile addresses) the body is used as received.
    static bool readMemberId(const QString &body, int &id);

    // E-mail address before the first line feed, web address after it (at
    // most 255 characters).
    static CardDetails readCardDetails(const QString &body);

    // The registered spelling of a pseudonym; empty when no member has it.
    static QString readRegisteredSpelling(const QString &body);

    static bool isDisconnected(const QString &body) { return body.contains(kDisconnected); }
    static bool isOk(const QString &body) { return body.contains(kOk); }

    // Text helpers with the program's own rules: blanks are every character
    // up to and including the space (control characters too); lines end at
    // CR LF, CR or LF, and a final line end adds no empty line.
    static QString trimBlanks(const QString &text);
    static QStringList splitLines(const QString &text);
};
