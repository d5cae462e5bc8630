#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <deque>

class QTimer;

// A userspace stand-in for a long, narrow link, on loopback only: every byte
// is held for half the round trip in each direction (a delay line), and the
// two directions share nothing but each is limited to `rate` bytes per
// second by a token bucket. Each direction buffers at most its line limit
// (at least 4 MiB, and at least a round trip's worth at the rate): what a
// real path's queues would hold. Runs on a thread of its own so that the
// transfer's own thread is measured, not the proxy's work.
class WanProxy : public QObject
{
public:
    WanProxy(quint16 target, double bytesPerSecond, int rttMs);
    ~WanProxy() override;
    // The port to connect to instead of the target (127.0.0.1).
    quint16 port() const { return m_port; }

private:
    struct Chunk
    {
        qint64 dueNs;
        QByteArray bytes;
        qsizetype sent = 0; // bytes of it already let through
    };
    struct Direction
    {
        QPointer<QTcpSocket> from, to;
        std::deque<Chunk> line;
        qint64 onLine = 0; // bytes on the line, not yet let through
        double tokens = 0;
    };
    void start();
    void accept();
    void take(Direction &d);
    void tick();
    void pump(Direction &d, qint64 now, double refill);

    quint16 m_target;
    double m_rate;
    double m_burst;
    qint64 m_halfRttNs;
    qint64 m_lineLimit;
    quint16 m_port = 0;
    QThread m_thread;
    QTcpServer *m_server = nullptr;
    QTimer *m_timer = nullptr;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    Direction m_up, m_down;
};
