#include "service/ServiceReplies.h"

#include "base/TextConvert.h"

const QString ServiceReplies::kAuthorized = QStringLiteral("autorisé");
const QString ServiceReplies::kError = QStringLiteral("error");
const QString ServiceReplies::kDisconnected = QStringLiteral("Déconnecté");
const QString ServiceReplies::kOk = QStringLiteral("ok");

namespace {

constexpr qsizetype kMaxWebAddress = 255;

bool isBlank(QChar c)
{
    return c.unicode() <= u' ';
}

} // namespace

QString ServiceReplies::trimBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text.at(first)))
        ++first;
    while (last > first && isBlank(text.at(last - 1)))
        --last;
    return text.mid(first, last - first);
}

QStringList ServiceReplies::splitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            lines.append(text.mid(start, i - start));
            if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
                ++i;
            start = i + 1;
        }
        ++i;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

ServiceReplies::LoginOutcome ServiceReplies::loginOutcome(const QString &body)
{
    if (body.contains(kAuthorized))
        return LoginOutcome::Accepted;
    if (body.contains(kError))
        return LoginOutcome::ServiceError;
    return LoginOutcome::Refused;
}

ServiceReplies::LoginReply ServiceReplies::readLogin(const QString &body)
{
    LoginReply reply;
    reply.outcome = loginOutcome(body);
    if (reply.outcome == LoginOutcome::Accepted) {
        reply.contacts = loginContacts(body);
        reply.requests = loginRequests(body);
    }
    return reply;
}

QStringList ServiceReplies::loginContacts(const QString &body)
{
    static const QString contactsMarker = QStringLiteral("[Contacts]");
    static const QString blockedMarker = QStringLiteral("[Bloqués]");
    const qsizetype c = body.indexOf(contactsMarker);
    const qsizetype b = body.indexOf(blockedMarker);
    if (c < 0 || b < 0)
        return {};
    // The block starts after the marker and its CR LF and stops before the
    // line end in front of "[Bloqués]"; what is left of that line end is
    // trimmed away below.
    const qsizetype start = c + contactsMarker.size() + 2;
    const qsizetype length = b - start - 1;
    if (length <= 0 || start >= body.size())
        return {};
    QStringList contacts;
    for (const QString &line : splitLines(trimBlanks(body.mid(start, length)))) {
        // An empty line names nobody; it would become an empty contact row.
        if (!line.isEmpty())
            contacts.append(line);
    }
    return contacts;
}

QStringList ServiceReplies::loginRequests(const QString &body)
{
    static const QString askMarker = QStringLiteral("[Ask]");
    static const QString messagesMarker = QStringLiteral("[Messages]");
    const QStringList lines = splitLines(body);
    qsizetype ask = -1;
    qsizetype messages = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (ask < 0 && lines.at(i).compare(askMarker, Qt::CaseInsensitive) == 0)
            ask = i;
        if (messages < 0 && lines.at(i).compare(messagesMarker, Qt::CaseInsensitive) == 0)
            messages = i;
    }
    QStringList requests;
    if (ask < 0 || messages < 0)
        return requests;
    for (qsizetype i = ask + 1; i < messages; ++i) {
        const QString trimmed = trimBlanks(lines.at(i));
        if (!trimmed.isEmpty() && trimmed != messagesMarker)
            requests.append(lines.at(i));
    }
    return requests;
}

QList<ServiceReplies::PresenceRecord> ServiceReplies::readPresence(const QString &body)
{
    static const QString recordMarker = QStringLiteral("pseudo=");
    QList<PresenceRecord> records;
    // The reader walks one cursor forward through the body. The next '<' and
    // '>' found from some position stay valid until the cursor passes them,
    // so each character is searched at most once per kind: linear time even
    // for records that lack their separators.
    qsizetype nextLt = -2; // -2: not searched yet; -1: none left
    qsizetype nextGt = -2;
    const auto findFrom = [&body](qsizetype &cache, QChar ch, qsizetype from) {
        if (cache == -1 || (cache >= from))
            return cache;
        cache = body.indexOf(ch, from);
        return cache;
    };
    qsizetype cursor = 0;
    for (;;) {
        const qsizetype p = body.indexOf(recordMarker, cursor);
        if (p < 0)
            break;
        cursor = p + recordMarker.size();
        PresenceRecord record;
        const qsizetype lt = findFrom(nextLt, u'<', cursor);
        if (lt >= 0)
            record.name = body.mid(cursor, lt - cursor);
        const qsizetype gt = findFrom(nextGt, u'>', cursor);
        if (gt >= 0)
            cursor = gt + 1;
        const qsizetype lt2 = findFrom(nextLt, u'<', cursor);
        if (lt2 >= 0)
            record.address = body.mid(cursor, lt2 - cursor);
        records.append(record);
    }
    return records;
}

bool ServiceReplies::readMemberId(const QString &body, int &id)
{
    return TextConvert::tryStrToInt(body, id);
}

ServiceReplies::CardDetails ServiceReplies::readCardDetails(const QString &body)
{
    CardDetails details;
    const qsizetype lf = body.indexOf(u'\n');
    if (lf < 0) {
        details.web = body.left(kMaxWebAddress);
    } else {
        details.email = body.left(lf);
        details.web = body.mid(lf + 1, kMaxWebAddress);
    }
    return details;
}

QString ServiceReplies::readRegisteredSpelling(const QString &body)
{
    // A body of blanks only names nobody either.
    return trimBlanks(body);
}
