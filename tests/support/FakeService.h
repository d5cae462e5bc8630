#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QQueue>
#include <QString>

class QTcpServer;
class QTcpSocket;

// A stand-in for the community service, inside the test process: an HTTP
// server on 127.0.0.1 (port chosen by the system) that answers scripted
// replies per path and records every request exactly as it came off the
// wire. It runs on the test's own thread; a client that waits in a local
// event loop on that thread still gets its answer, since that loop serves
// the server's sockets too.
//
//   FakeService service;
//   service.script("/voxlane/connect.php", FakeService::Reply::text("autorisé"));
//   ... service.baseUrl() as the service address ...
//   service.requests.at(0).target
class FakeService : public QObject
{
    Q_OBJECT

public:
    struct Reply
    {
        enum class Kind {
            Answer, // status line, headers, body
            NeverAnswer, // keep the connection open and say nothing
            CloseWithoutReply, // close the connection as soon as the request is in
        };
        Kind kind = Kind::Answer;
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers; // extra headers
        int delayMs = 0; // wait before answering
        // When above 0: the body goes out in pieces of this many bytes, one
        // every trickleEveryMs, as a slow but steady service sends it.
        int trickleBytes = 0;
        int trickleEveryMs = 0;

        Reply after(int ms) const
        {
            Reply r = *this;
            r.delayMs = ms;
            return r;
        }

        Reply trickled(int bytes, int everyMs) const
        {
            Reply r = *this;
            r.trickleBytes = bytes;
            r.trickleEveryMs = everyMs;
            return r;
        }

        static Reply text(const QString &body, int status = 200); // body in Windows-1252
        static Reply bytes(const QByteArray &body, int status = 200);
        static Reply redirect(const QByteArray &location, int status = 302);
        static Reply neverAnswer();
        static Reply closeWithoutReply();
    };

    struct Request
    {
        QByteArray head; // request line and headers, up to the empty line, as received
        QByteArray requestLine;
        QByteArray method;
        QByteArray target;
        QByteArray version;
        QList<QPair<QByteArray, QByteArray>> headers; // in order, names as sent
        QByteArray body;

        QByteArray path() const; // target up to '?'
        QByteArray query() const; // after '?'
        // First header of that name (any letter case); empty when absent.
        QByteArray header(const QByteArray &name) const;
        QList<QByteArray> headerNames() const;
    };

    FakeService();
    // The same over HTTPS, with this certificate and key (PEM files): what
    // is recorded is what came inside TLS.
    FakeService(const QString &certificateFile, const QString &keyFile);
    ~FakeService() override;

    quint16 port() const;
    QString baseUrl() const; // "http://127.0.0.1:<port>" (https:// over TLS)

    // Replies for requests whose path is exactly path, used in turn; the
    // last one then answers every further request. Unscripted paths get 404.
    void script(const QByteArray &path, const Reply &reply);
    void clearScripts() { m_scripts.clear(); }
    void clearScript(const QByteArray &path) { m_scripts.remove(path); }

    QList<Request> requests;
    QList<Request> requestsTo(const QByteArray &path) const;

    // A loopback port on which nothing listens: connections are refused.
    static quint16 closedPort();

signals:
    // A whole request came in; its reply is sent after the slots return
    // (and after the reply's delay), so a test can act between the two.
    void requestReceived(const QByteArray &path);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Request &request);
    static void send(QTcpSocket *socket, const Reply &reply);

    void listen();

    QTcpServer *m_server;
    bool m_tls = false;
    QHash<QTcpSocket *, QByteArray> m_pending;
    QHash<QByteArray, QQueue<Reply>> m_scripts;
};
