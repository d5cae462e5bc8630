#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

// Runs the event loop until done() holds or timeoutMs have passed; true when
// done() holds. Unlike QTest::qWaitFor, it never sleeps between two looks:
// that sleep (10 ms) costs every round trip of two peers living in the same
// test process, which turns a transfer of a few hundred blocks into minutes.
template <typename Done>
bool waitUntil(Done done, int timeoutMs)
{
    if (done())
        return true;
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer look;
    look.setInterval(1);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    look.start();
    loop.exec();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return done();
}
