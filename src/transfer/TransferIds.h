#pragma once

#include <QDateTime>
#include <QString>

// Transfer ids: the member id then the local time as "YYYYMMDDHHNNSSzzz".
// Stamps only go up during a run, whoever is logged in: a stamp not later
// than the last one given (same millisecond, clock set back, another
// member's ids) is the last one plus a millisecond, so ids never repeat and
// next() never loops. Ids met otherwise (restored from a saved list) are
// noted, so that no new id repeats them either.
class TransferIds
{
public:
    QString next(int userId, const QDateTime &localTime);
    void note(const QString &id);

private:
    qint64 m_lastStamp = 0; // the digits of the last stamp given or noted
};
