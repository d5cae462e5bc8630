#include "transfer/TransferIds.h"

namespace {

const QString kStampFormat = QStringLiteral("yyyyMMddHHmmsszzz");
constexpr int kStampLength = 17;

// The stamp's digits as a number, which orders stamps as their texts do.
qint64 stampValue(const QDateTime &when)
{
    return when.toString(kStampFormat).toLongLong();
}

// A stamp's wall-clock fields as a time without time zone, so that adding
// a millisecond never meets a daylight-saving gap.
QDateTime naiveOf(const QDateTime &when)
{
    return QDateTime(when.date(), when.time(), Qt::UTC);
}

} // namespace

QString TransferIds::next(int userId, const QDateTime &localTime)
{
    QDateTime when = naiveOf(localTime);
    if (stampValue(when) <= m_lastStamp) {
        const QDateTime last = QDateTime::fromString(QString::number(m_lastStamp), kStampFormat);
        when = naiveOf(last).addMSecs(1);
    }
    m_lastStamp = stampValue(when);
    return QString::number(userId) + when.toString(kStampFormat);
}

void TransferIds::note(const QString &id)
{
    if (id.size() <= kStampLength)
        return;
    bool ok = false;
    const qint64 stamp = id.right(kStampLength).toLongLong(&ok);
    if (ok && stamp > m_lastStamp && QDateTime::fromString(id.right(kStampLength), kStampFormat).isValid())
        m_lastStamp = stamp;
}
