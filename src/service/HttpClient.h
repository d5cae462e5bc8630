#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

// Limits of a request to the community service. A service that accepts the
// connection and then falls silent would otherwise keep the caller waiting
// for ever, and one that sends without end would fill the memory; with these
// limits both become an ordinary failure. A slow reply that keeps coming is
// waited for as long as it takes.
struct HttpLimits
{
    int connectTimeoutMs = 10000;
    // No byte sent or received for this long ends the request.
    int stallTimeoutMs = 60000;
    // The whole request, when above 0. Only used where the outcome hardly
    // matters, such as the log-out on the way out of the program.
    int totalTimeoutMs = 0;
    // The total limit given to the log-out request at exit.
    int exitTimeoutMs = 3000;
    // Largest reply body taken: far above the presence list of a community of
    // a hundred thousand members (under 100 bytes each).
    qint64 maxBodyBytes = 32 * 1024 * 1024;
};

// Tells when a transfer has made no progress for a given time. Fed with the
// time and the count of bytes moved so far, from whatever clock the caller
// uses (milliseconds).
class StallWatch
{
public:
    explicit StallWatch(qint64 limitMs, qint64 startMs = 0)
        : m_limitMs(limitMs)
        , m_lastProgressMs(startMs)
    {
    }

    // True once no byte has moved for the limit.
    bool stalled(qint64 nowMs, qint64 bytesMoved)
    {
        if (bytesMoved != m_bytes) {
            m_bytes = bytesMoved;
            m_lastProgressMs = nowMs;
            return false;
        }
        return nowMs - m_lastProgressMs >= m_limitMs;
    }

private:
    qint64 m_limitMs;
    qint64 m_lastProgressMs;
    qint64 m_bytes = 0;
};

// The HTTP client of the community service, over libcurl. One call is one
// request on a connection of its own. The call blocks its caller, but the
// transfer runs on a worker thread while the calling thread keeps
// dispatching its events in a local event loop, so timers, sockets and clicks
// go on meanwhile and may start further requests (even on the same client).
//
// Targets are path and query as bytes, sent as they are: values are put in
// unescaped, in Windows-1252, as the service expects. Every request carries
// the same three headers; GETs go out as HTTP/1.1, the multipart POST as
// HTTP/1.0; redirects are not followed. A transport failure or a status
// outside 2xx is a failure of the call.
//
// An https:// base URL carries the very same bytes inside TLS. The service's
// certificate must be valid for the URL's host and issued by an authority of
// the system's store (Debian's ca-certificates) or of the extra CA file, if
// one is named; otherwise nothing is sent and the call fails with the reason
// in lastTlsFailure().
class HttpClient : public QObject
{
    Q_OBJECT

public:
    // One part of a multipart/form-data body.
    struct FormPart
    {
        QByteArray name;
        QByteArray content;
        QByteArray contentType; // none when empty
        bool hasFileName = false;
        QByteArray fileName;
    };

    static const QByteArray kAccept;
    static const QByteArray kUserAgent;
    static const QByteArray kGetContentType;

    // baseUrl: "http://host[:port][/prefix]"; targets are appended to it.
    explicit HttpClient(const QString &baseUrl, const HttpLimits &limits = {}, QObject *parent = nullptr);
    ~HttpClient() override;

    QString baseUrl() const { return m_baseUrl; }
    HttpLimits limits() const { return m_limits; }

    // A PEM file of authorities trusted beside the system's, for a community
    // that runs its own; empty: the system's only. Only https:// uses it.
    void setExtraCaFile(const QString &path) { m_extraCaFile = path; }
    QString extraCaFile() const { return m_extraCaFile; }

    // GET; on success body holds the reply bytes (text: decoded from
    // Windows-1252). On failure the target is left untouched.
    bool get(const QByteArray &target, QByteArray &body);
    bool get(const QByteArray &target, QString &text);

    // POST of a multipart/form-data body made of parts, in order.
    bool postMultipart(const QByteArray &target, const QList<FormPart> &parts, QString &reply);

    // What the last call ended with: the HTTP status (0 when none came back)
    // and a readable reason for a failure.
    int lastStatus() const { return m_lastStatus; }
    QString lastError() const { return m_lastError; }
    // When the last call failed on the secure connection (the service's
    // certificate refused, the extra CA file unusable, no TLS agreed): what
    // to tell the user, in French ("Certificat du service refusé : ...").
    // Empty after any other outcome.
    QString lastTlsFailure() const { return m_lastTlsFailure; }
    // The text that tells the user about the last failure: the TLS one when
    // there is one, otherwise networkText (the network being down).
    QString failureText(const QString &networkText) const
    {
        return m_lastTlsFailure.isEmpty() ? networkText : m_lastTlsFailure;
    }

    // The body and its boundary as the POST sends them. Quotes and line ends
    // in a name or file name are written as %22, %0D, %0A so they cannot
    // break the part's header.
    static QByteArray multipartBody(const QByteArray &boundary, const QList<FormPart> &parts);
    static QByteArray newBoundary(const QList<FormPart> &parts);

private:
    struct Request;
    bool perform(const Request &request, QByteArray &body);
    bool readExtraAuthorities(QByteArray &pem);

    QString m_baseUrl;
    HttpLimits m_limits;
    QString m_extraCaFile;
    int m_lastStatus = 0;
    QString m_lastError;
    QString m_lastTlsFailure;
};
