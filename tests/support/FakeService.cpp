#include "support/FakeService.h"

#include <memory>

#include "base/Cp1252.h"

#include <QHostAddress>
#include <QFile>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

FakeService::Reply FakeService::Reply::text(const QString &body, int status)
{
    return bytes(Cp1252::encode(body), status);
}

FakeService::Reply FakeService::Reply::bytes(const QByteArray &body, int status)
{
    Reply r;
    r.status = status;
    r.body = body;
    return r;
}

FakeService::Reply FakeService::Reply::redirect(const QByteArray &location, int status)
{
    Reply r;
    r.status = status;
    r.body = "moved";
    r.headers.append({ "Location", location });
    return r;
}

FakeService::Reply FakeService::Reply::neverAnswer()
{
    Reply r;
    r.kind = Kind::NeverAnswer;
    return r;
}

FakeService::Reply FakeService::Reply::closeWithoutReply()
{
    Reply r;
    r.kind = Kind::CloseWithoutReply;
    return r;
}

QByteArray FakeService::Request::path() const
{
    const qsizetype q = target.indexOf('?');
    return q < 0 ? target : target.left(q);
}

QByteArray FakeService::Request::query() const
{
    const qsizetype q = target.indexOf('?');
    return q < 0 ? QByteArray() : target.mid(q + 1);
}

QByteArray FakeService::Request::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

QList<QByteArray> FakeService::Request::headerNames() const
{
    QList<QByteArray> names;
    for (const auto &h : headers)
        names.append(h.first);
    return names;
}

FakeService::FakeService()
    : m_server(new QTcpServer(this))
{
    listen();
    connect(m_server, &QTcpServer::newConnection, this, &FakeService::onNewConnection);
}

FakeService::FakeService(const QString &certificateFile, const QString &keyFile)
    : m_tls(true)
{
    auto *server = new QSslServer(this);
    m_server = server;
    QFile certificate(certificateFile);
    QFile key(keyFile);
    if (!certificate.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly))
        qFatal("FakeService: cannot read %s or %s", qPrintable(certificateFile), qPrintable(keyFile));
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(QSslCertificate(certificate.readAll(), QSsl::Pem));
    configuration.setPrivateKey(QSslKey(key.readAll(), QSsl::Ec, QSsl::Pem));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    server->setSslConfiguration(configuration);
    listen();
    // A connection is handed over once its handshake is done.
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &FakeService::onNewConnection);
}

void FakeService::listen()
{
    if (!m_server->listen(QHostAddress(QHostAddress::LocalHost), 0))
        qFatal("FakeService: cannot listen on 127.0.0.1: %s", qPrintable(m_server->errorString()));
}

FakeService::~FakeService() = default;

quint16 FakeService::port() const
{
    return m_server->serverPort();
}

QString FakeService::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(m_tls ? QStringLiteral("https") : QStringLiteral("http")).arg(port());
}

void FakeService::script(const QByteArray &path, const Reply &reply)
{
    m_scripts[path].enqueue(reply);
}

QList<FakeService::Request> FakeService::requestsTo(const QByteArray &path) const
{
    QList<Request> out;
    for (const Request &r : requests) {
        if (r.path() == path)
            out.append(r);
    }
    return out;
}

quint16 FakeService::closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress(QHostAddress::LocalHost), 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

void FakeService::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        m_pending.insert(socket, QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
    }
}

void FakeService::onReadyRead(QTcpSocket *socket)
{
    auto it = m_pending.find(socket);
    if (it == m_pending.end()) {
        socket->readAll(); // already answered: ignore what follows
        return;
    }
    it->append(socket->readAll());
    const QByteArray &data = *it;
    const qsizetype headEnd = data.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;

    Request request;
    request.head = data.left(headEnd + 2);
    const QList<QByteArray> lines = data.left(headEnd).split('\n');
    request.requestLine = lines.value(0);
    request.requestLine.chop(request.requestLine.endsWith('\r') ? 1 : 0);
    // "METHOD SP target SP version": the target may itself hold spaces when
    // a value was sent unescaped, so it is everything between the first and
    // the last space.
    const qsizetype firstSpace = request.requestLine.indexOf(' ');
    const qsizetype lastSpace = request.requestLine.lastIndexOf(' ');
    if (firstSpace > 0 && lastSpace > firstSpace) {
        request.method = request.requestLine.left(firstSpace);
        request.target = request.requestLine.mid(firstSpace + 1, lastSpace - firstSpace - 1);
        request.version = request.requestLine.mid(lastSpace + 1);
    }
    qsizetype contentLength = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = line.left(colon);
        const QByteArray value = line.mid(colon + 1).trimmed();
        request.headers.append({ name, value });
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
            contentLength = value.toLongLong();
    }
    const qsizetype bodyStart = headEnd + 4;
    if (data.size() - bodyStart < contentLength)
        return;
    request.body = data.mid(bodyStart, contentLength);
    m_pending.erase(it);
    requests.append(request);
    emit requestReceived(request.path());
    answer(socket, request);
}

void FakeService::answer(QTcpSocket *socket, const Request &request)
{
    Reply reply;
    reply.status = 404;
    reply.body = "not found";
    auto script = m_scripts.find(request.path());
    if (script != m_scripts.end() && !script->isEmpty())
        reply = script->size() > 1 ? script->dequeue() : script->head();

    if (reply.delayMs > 0) {
        Reply now = reply;
        now.delayMs = 0;
        QPointer<QTcpSocket> guard(socket);
        QTimer::singleShot(reply.delayMs, this, [guard, now] {
            if (guard)
                send(guard, now);
        });
        return;
    }
    send(socket, reply);
}

void FakeService::send(QTcpSocket *socket, const Reply &reply)
{
    switch (reply.kind) {
    case Reply::Kind::NeverAnswer:
        return; // the socket stays open until the client gives up
    case Reply::Kind::CloseWithoutReply:
        socket->abort();
        return;
    case Reply::Kind::Answer:
        break;
    }
    QByteArray out
        = "HTTP/1.1 " + QByteArray::number(reply.status) + (reply.status < 300 ? " OK" : " Other") + "\r\n";
    out += "Content-Type: text/html\r\n";
    out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    out += "Connection: close\r\n";
    for (const auto &h : reply.headers)
        out += h.first + ": " + h.second + "\r\n";
    out += "\r\n";
    if (reply.trickleBytes <= 0) {
        out += reply.body;
        socket->write(out);
        socket->disconnectFromHost();
        return;
    }
    socket->write(out);
    auto *pace = new QTimer(socket);
    pace->setInterval(reply.trickleEveryMs);
    auto offset = std::make_shared<qsizetype>(0);
    QObject::connect(pace, &QTimer::timeout, socket, [socket, pace, reply, offset] {
        socket->write(reply.body.mid(*offset, reply.trickleBytes));
        *offset += reply.trickleBytes;
        if (*offset >= reply.body.size()) {
            pace->stop();
            socket->disconnectFromHost();
        }
    });
    pace->start();
}
