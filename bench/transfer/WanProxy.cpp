#include "WanProxy.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QTimer>

namespace {
// Bytes a bucket may save up while idle: one burst of about a millisecond's
// worth at 10 MB/s, so that the rate holds over any few milliseconds.
constexpr double kBurst = 16 * 1024;
// A direction stops reading while this much is on its line: the link's
// buffer, which gives the sender's TCP its back pressure.
constexpr qint64 kLineLimit = 4 * 1024 * 1024;
} // namespace

WanProxy::WanProxy(quint16 target, double bytesPerSecond, int rttMs)
    : m_target(target)
    , m_rate(bytesPerSecond)
    , m_halfRttNs(qint64(rttMs) * 500000)
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
        m_up = Direction { in, out, {}, kBurst };
        m_down = Direction { out, in, {}, kBurst };
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
    qint64 onLine = 0;
    for (const Chunk &c : d.line)
        onLine += c.bytes.size();
    if (onLine >= kLineLimit)
        return; // read again on the next tick
    const QByteArray bytes = d.from->read(kLineLimit - onLine);
    if (!bytes.isEmpty())
        d.line.push_back({ m_clock.nsecsElapsed() + m_halfRttNs, bytes });
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
    d.tokens = qMin(d.tokens + refill, kBurst);
    if (d.from && d.from->bytesAvailable() > 0)
        take(d);
    if (!d.to || d.to->state() != QAbstractSocket::ConnectedState)
        return;
    while (!d.line.empty() && d.line.front().dueNs <= now && d.tokens >= 1) {
        Chunk &c = d.line.front();
        const qint64 n = qMin<qint64>(c.bytes.size(), qint64(d.tokens));
        d.to->write(c.bytes.constData(), n);
        d.tokens -= double(n);
        if (n == c.bytes.size())
            d.line.pop_front();
        else
            c.bytes.remove(0, n);
    }
    d.to->flush();
}
