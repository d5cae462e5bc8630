#pragma once

#include <QCoreApplication>
#include <QString>

// 127.x.y.z derived from the process id, never 127.0.0.1, so that test
// programs running in parallel never compete for the control port. A test
// that runs two or three clients asks for index 1 and 2 too: addresses of
// this process that no other process id maps to.
inline QString uniqueLoopbackAddress(int index = 0)
{
    // One address per process id (below 16 million), never in 127.0.x.x.
    const qint64 pid = QCoreApplication::applicationPid();
    const qint64 host = pid % 254 + 1;
    const qint64 mid = (pid / 254) % 256;
    // Process ids stay below 254 * 256 * 65 (pid_max is at most 4194304),
    // so high is at most 65 for index 0; index 2 lives in 65..129 (meeting
    // index 0 of another process only above 4 million), index 1 in 128..254.
    const qint64 base = (pid / (254 * 256)) % 127 + 1;
    const qint64 high = base + (index == 1 ? 127 : index == 2 ? 64 : 0);
    return QStringLiteral("127.%1.%2.%3").arg(high).arg(mid).arg(host);
}
