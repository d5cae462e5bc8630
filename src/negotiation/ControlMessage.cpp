#include "negotiation/ControlMessage.h"

#include "base/Cp1252.h"

#include <limits>

namespace ControlMessage {

QStringList CommandTable()
{
    return { QString(), QStringLiteral("{ask}"), QStringLiteral("{oui}"), QStringLiteral("{non}"),
        QStringLiteral("{can}"), QStringLiteral("{trc}"), QStringLiteral("{pok}"), QStringLiteral("{pre}") };
}

Command classify(const QString &message)
{
    const QString tag = message.left(kTagLength);
    // Every message read goes through here: the table is made once.
    static const QStringList table = CommandTable();
    for (int i = 0; i < table.size(); ++i) {
        if (table.at(i) == tag)
            return static_cast<Command>(i);
    }
    return Command::Unknown;
}

QByteArray encode(const QString &command)
{
    QByteArray bytes = Cp1252::encode(command);
    bytes.append(kEnd);
    return bytes;
}

QString payload(const QString &message)
{
    return message.mid(kTagLength);
}

namespace {

QString withoutSeparators(QString field)
{
    for (const char c : { kSep1, kSep2, kSep3, kEnd })
        field.remove(QChar::fromLatin1(c));
    return field;
}

// Characters from `from` up to (not including) `to`; empty when either is
// missing or they are out of order.
QString between(const QString &text, qsizetype from, qsizetype to)
{
    if (from < 0 || to < 0 || to < from)
        return {};
    return text.mid(from, to - from);
}

} // namespace

QString makeOffer(const Offer &offer)
{
    return QStringLiteral("{ask}") + withoutSeparators(offer.pseudo) + QChar::fromLatin1(kSep1)
        + withoutSeparators(offer.fileName) + QChar::fromLatin1(kSep2) + withoutSeparators(offer.size)
        + QChar::fromLatin1(kSep3) + withoutSeparators(offer.address);
}

Offer parseOffer(const QString &text)
{
    const qsizetype p1 = text.indexOf(QChar::fromLatin1(kSep1));
    const qsizetype p2 = text.indexOf(QChar::fromLatin1(kSep2));
    const qsizetype p3 = text.indexOf(QChar::fromLatin1(kSep3));
    qsizetype p5 = text.indexOf(QChar::fromLatin1(kEnd));
    if (p5 < 0)
        p5 = text.size(); // the framer already took the 0x05 away
    Offer offer;
    offer.pseudo = between(text, 0, p1);
    offer.fileName = between(text, p1 < 0 ? -1 : p1 + 1, p2);
    offer.size = between(text, p2 < 0 ? -1 : p2 + 1, p3);
    offer.address = between(text, p3 < 0 ? -1 : p3 + 1, p5);
    return offer;
}

std::optional<qint64> offerSize(const QString &text)
{
    if (text.isEmpty() || text.size() > 19)
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c.unicode() - u'0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

QString portText(const QString &message)
{
    return message.mid(kTagLength, 4);
}

Framer::Result Framer::feed(const QByteArray &bytes)
{
    Result result;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype end = bytes.indexOf(kEnd, start);
        const qsizetype stop = end < 0 ? bytes.size() : end;
        if (!m_discarding)
            m_pending.append(bytes.constData() + start, stop - start);
        if (!m_discarding && m_pending.size() > kMaxPending) {
            m_pending.clear();
            m_discarding = true;
            ++result.dropped;
        }
        if (end < 0)
            break;
        if (m_discarding)
            m_discarding = false;
        else
            result.messages.append(m_pending);
        m_pending.clear();
        start = end + 1;
    }
    return result;
}

void Framer::clear()
{
    m_pending.clear();
    m_discarding = false;
}

} // namespace ControlMessage
