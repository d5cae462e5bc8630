#include "WanProxy.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QTimer>

namespace {
// Bytes a bucket may save up while idle: a few milliseconds' worth at the
// link's rate (at least 16 KiB), so that the rate holds over any few
// milliseconds. The ticks come every millisecond, or later on a loaded
// machine: a burst smaller than what one late tick must let through would
// hold the link below its rate (a fixed 16 KiB held any link to about
// 16 MB/s, whatever its rate).
constexpr double kMinBurst = 16 * 1024;
constexpr double kBurstSeconds = 0.004;
// A direction stops reading while this much is on its line: the link's
// buffer, which gives the sender's TCP its back pressure. It holds the
// bytes of half a round trip at the link's rate, and as much again.
constexpr qint64 kMinLineLimit = 4 * 1024 * 1024;
} // namespace

WanProxy::WanProxy(quint16 target, double bytesPerSecond, int rttMs)
    : m_target(target)
    , m_rate(bytesPerSecond)
    , m_burst(qMax(kMinBurst, bytesPerSecond * kBurstSeconds))
    , m_halfRttNs(qint64(rttMs) * 500000)
    , m_lineLimit(qMax(kMinLineLimit, qint64(bytesPerSecond * rttMs / 1000.0)))
{
    m_thread.start();
    moveToThread(&m_thread);
    QMetaObject::invokeMethod(
        this, [this] { start(); }, Qt::BlockingQueuedConnection);
}

WanProxy::~WanProxy()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            delete m_server;
            delete m_timer;
            for (Direction *d : { &m_up, &m_down })
                if (d->from)
                    d->from->abort();
            moveToThread(nullptr);
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void WanProxy::start()
{
    m_server = new QTcpServer;
    m_server->listen(QHostAddress::LocalHost);
    m_port = m_server->serverPort();
    QObject::connect(m_server, &QTcpServer::newConnection, this, [this] { accept(); });
    m_timer = new QTimer;
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(1);
    QObject::connect(m_timer, &QTimer::timeout, this, [this] { tick(); });
    m_clock.start();
}

void WanProxy::accept()
{
    while (QTcpSocket *in = m_server->nextPendingConnection()) {
        in->setParent(nullptr);
        auto *out = new QTcpSocket;
        for (QTcpSocket *s : { in, out })
            s->setReadBufferSize(256 * 1024);
        m_up = Direction { in, out, {}, 0, m_burst };
        m_down = Direction { out, in, {}, 0, m_burst };
        QObject::connect(in, &QTcpSocket::readyRead, this, [this] { take(m_up); });
        QObject::connect(out, &QTcpSocket::readyRead, this, [this] { take(m_down); });
        QObject::connect(in, &QTcpSocket::disconnected, out, &QTcpSocket::disconnectFromHost);
        QObject::connect(out, &QTcpSocket::disconnected, in, &QTcpSocket::disconnectFromHost);
        out->connectToHost(QHostAddress::LocalHost, m_target);
        out->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        in->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_lastNs = m_clock.nsecsElapsed();
        m_timer->start();
    }
}

void WanProxy::take(Direction &d)
{
    if (!d.from)
        return;
    if (d.onLine >= m_lineLimit)
        return; // read again on the next tick
    const QByteArray bytes = d.from->read(m_lineLimit - d.onLine);
    if (!bytes.isEmpty()) {
        d.onLine += bytes.size();
        d.line.push_back({ m_clock.nsecsElapsed() + m_halfRttNs, bytes });
    }
}

void WanProxy::tick()
{
    const qint64 now = m_clock.nsecsElapsed();
    const double refill = (now - m_lastNs) / 1e9 * m_rate;
    m_lastNs = now;
    pump(m_up, now, refill);
    pump(m_down, now, refill);
}

void WanProxy::pump(Direction &d, qint64 now, double refill)
{
    d.tokens = qMin(d.tokens + refill, m_burst);
    if (d.from && d.from->bytesAvailable() > 0)
        take(d);
    if (!d.to || d.to->state() != QAbstractSocket::ConnectedState)
        return;
    while (!d.line.empty() && d.line.front().dueNs <= now && d.tokens >= 1) {
        Chunk &c = d.line.front();
        const qint64 n = qMin<qint64>(c.bytes.size() - c.sent, qint64(d.tokens));
        d.to->write(c.bytes.constData() + c.sent, n);
        d.tokens -= double(n);
        d.onLine -= n;
        c.sent += n;
        if (c.sent == c.bytes.size())
            d.line.pop_front();
    }
    d.to->flush();
}
