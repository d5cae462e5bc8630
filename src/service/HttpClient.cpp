#include "service/HttpClient.h"

#include "base/Cp1252.h"
#include "service/TlsFailureText.h"

#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QUrl>

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

const QByteArray HttpClient::kAccept = QByteArrayLiteral("text/html, */*");
const QByteArray HttpClient::kUserAgent = QByteArrayLiteral("Mozilla/3.0 (compatible; Indy Library)");
const QByteArray HttpClient::kGetContentType = QByteArrayLiteral("text/html");

struct HttpClient::Request
{
    QByteArray target;
    QByteArray contentType;
    bool post = false;
    QByteArray postBody;
};

namespace {

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Collects the reply body up to a limit; beyond it the transfer is broken
// off (a short count makes libcurl fail the request).
struct BodySink
{
    QByteArray body;
    qint64 maxBytes = 0;
    bool tooLarge = false;
};

size_t appendBody(char *data, size_t size, size_t count, void *userData)
{
    auto *sink = static_cast<BodySink *>(userData);
    const qint64 n = qint64(size * count);
    if (sink->maxBytes > 0 && sink->body.size() + n > sink->maxBytes) {
        sink->tooLarge = true;
        return 0;
    }
    sink->body.append(data, qsizetype(n));
    return size * count;
}

// Progress of a transfer, watched for a stall from the worker thread.
struct Progress
{
    explicit Progress(qint64 limitMs)
        : watch(limitMs, nowMs())
    {
    }

    static qint64 nowMs()
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }

    StallWatch watch;
    bool stalled = false;
};

int checkProgress(void *userData, curl_off_t downloaded, curl_off_t, curl_off_t uploaded, curl_off_t)
{
    auto *progress = static_cast<Progress *>(userData);
    if (progress->watch.stalled(Progress::nowMs(), qint64(downloaded + uploaded))) {
        progress->stalled = true;
        return 1; // aborts the transfer
    }
    return 0;
}

// Authorities of the extra CA file, added to those libcurl has loaded from
// the system's store, for the connection it is setting up (OpenSSL builds of
// libcurl call this with the connection's SSL_CTX).
struct ExtraAuthorities
{
    QByteArray pem;
};

CURLcode addExtraAuthorities(CURL *, void *sslContext, void *userData)
{
    const auto *extra = static_cast<const ExtraAuthorities *>(userData);
    X509_STORE *store = SSL_CTX_get_cert_store(static_cast<SSL_CTX *>(sslContext));
    BIO *bio = BIO_new_mem_buf(extra->pem.constData(), int(extra->pem.size()));
    if (!store || !bio) {
        BIO_free(bio);
        return CURLE_OUT_OF_MEMORY;
    }
    int added = 0;
    while (X509 *certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) {
        // One already there (the system's own, say) is no failure.
        X509_STORE_add_cert(store, certificate);
        X509_free(certificate);
        ++added;
    }
    // Reading stops at the end of the file with an error on the queue.
    ERR_clear_error();
    BIO_free(bio);
    return added > 0 ? CURLE_OK : CURLE_SSL_CACERT_BADFILE;
}

// Bytes that would end the request line or a header early.
bool breaksFraming(const QByteArray &bytes)
{
    return bytes.contains('\r') || bytes.contains('\n') || bytes.contains('\0');
}

QByteArray quotedParameter(const QByteArray &value)
{
    QByteArray out = value;
    out.replace('"', "%22");
    out.replace('\r', "%0D");
    out.replace('\n', "%0A");
    return out;
}

struct Outcome
{
    explicit Outcome(const HttpLimits &limits)
        : progress(limits.stallTimeoutMs)
    {
        sink.maxBytes = limits.maxBodyBytes;
    }

    CURLcode code = CURLE_OK;
    long status = 0;
    long verifyResult = 0;
    BodySink sink;
    Progress progress;
    char error[CURL_ERROR_SIZE] = {};
    // Set when the caller stops waiting (the application quits); libcurl
    // then ends the transfer at its next progress call.
    std::atomic<bool> abandoned { false };
};

// Ends the transfer when the caller stopped waiting or when no byte moved
// for the stall limit.
int watchProgress(void *userData, curl_off_t total, curl_off_t downloaded, curl_off_t uploadTotal,
    curl_off_t uploaded)
{
    auto *outcome = static_cast<Outcome *>(userData);
    if (outcome->abandoned.load())
        return 1;
    return checkProgress(&outcome->progress, total, downloaded, uploadTotal, uploaded);
}

} // namespace

HttpClient::HttpClient(const QString &baseUrl, const HttpLimits &limits, QObject *parent)
    : QObject(parent)
    , m_baseUrl(baseUrl)
    , m_limits(limits)
{
    initCurlOnce();
}

HttpClient::~HttpClient() = default;

bool HttpClient::get(const QByteArray &target, QByteArray &body)
{
    Request request;
    request.target = target;
    request.contentType = kGetContentType;
    return perform(request, body);
}

bool HttpClient::get(const QByteArray &target, QString &text)
{
    QByteArray body;
    if (!get(target, body))
        return false;
    text = Cp1252::decode(body);
    return true;
}

bool HttpClient::postMultipart(const QByteArray &target, const QList<FormPart> &parts, QString &reply)
{
    const QByteArray boundary = newBoundary(parts);
    Request request;
    request.target = target;
    request.post = true;
    request.contentType = "multipart/form-data; boundary=" + boundary;
    request.postBody = multipartBody(boundary, parts);
    QByteArray body;
    if (!perform(request, body))
        return false;
    reply = Cp1252::decode(body);
    return true;
}

QByteArray HttpClient::newBoundary(const QList<FormPart> &parts)
{
    for (;;) {
        const quint64 r = QRandomGenerator::global()->generate64();
        const QByteArray boundary = "--------" + QByteArray::number(r, 16).rightJustified(16, '0');
        bool clash = false;
        for (const FormPart &part : parts)
            clash = clash || part.content.contains(boundary);
        if (!clash)
            return boundary;
    }
}

QByteArray HttpClient::multipartBody(const QByteArray &boundary, const QList<FormPart> &parts)
{
    QByteArray body;
    for (const FormPart &part : parts) {
        body += "--" + boundary + "\r\n";
        body += "Content-Disposition: form-data; name=\"" + quotedParameter(part.name) + '"';
        if (part.hasFileName)
            body += "; filename=\"" + quotedParameter(part.fileName) + '"';
        body += "\r\n";
        if (!part.contentType.isEmpty())
            body += "Content-Type: " + part.contentType + "\r\n";
        body += "\r\n";
        body += part.content;
        body += "\r\n";
    }
    body += "--" + boundary + "--\r\n";
    return body;
}

bool HttpClient::readExtraAuthorities(QByteArray &pem)
{
    QFile file(m_extraCaFile);
    if (file.open(QIODevice::ReadOnly))
        pem = file.read(4 * 1024 * 1024);
    if (!pem.contains("-----BEGIN CERTIFICATE-----")) {
        m_lastError = QStringLiteral("no certificate can be read from the extra CA file %1").arg(m_extraCaFile);
        m_lastTlsFailure = TlsFailureText::unreadableAuthorities(m_extraCaFile);
        return false;
    }
    return true;
}

bool HttpClient::perform(const Request &request, QByteArray &body)
{
    m_lastStatus = 0;
    m_lastError.clear();
    m_lastTlsFailure.clear();

    const QUrl base(m_baseUrl);
    const QString scheme = base.scheme().toLower();
    if (!base.isValid() || base.host().isEmpty() || (scheme != u"http" && scheme != u"https")) {
        m_lastError = QStringLiteral("invalid service address: %1").arg(m_baseUrl);
        return false;
    }
    // Values go into the target unescaped, but a line end or a zero byte
    // would end the request line early and let a value write headers of its
    // own: such a request is not sent.
    if (!request.target.startsWith('/') || breaksFraming(request.target)) {
        m_lastError = QStringLiteral("request target holds a line end or does not start with '/'");
        return false;
    }
    QString host = base.host(QUrl::FullyEncoded);
    if (host.contains(u':'))
        host = u'[' + host + u']';
    const int port = base.port(scheme == u"https" ? 443 : 80);
    const QByteArray origin = QStringLiteral("%1://%2:%3").arg(scheme, host).arg(port).toLatin1();
    QByteArray prefix = base.path(QUrl::FullyEncoded).toLatin1();
    while (prefix.endsWith('/'))
        prefix.chop(1);
    const QByteArray target = prefix + request.target;
    const bool secure = scheme == u"https";
    // A CA file that was named but cannot be used stops the request: it
    // must not quietly fall back to the system's authorities alone, nor
    // send anything before the service is known.
    ExtraAuthorities extra;
    if (secure && !m_extraCaFile.isEmpty() && !readExtraAuthorities(extra.pem))
        return false;

    CURL *easy = curl_easy_init();
    if (!easy) {
        m_lastError = QStringLiteral("libcurl could not start a transfer");
        return false;
    }
    curl_slist *headers = nullptr;
    const QByteArray accept = "Accept: " + kAccept;
    const QByteArray agent = "User-Agent: " + kUserAgent;
    const QByteArray type = "Content-Type: " + request.contentType;
    headers = curl_slist_append(headers, accept.constData());
    headers = curl_slist_append(headers, agent.constData());
    headers = curl_slist_append(headers, type.constData());
    headers = curl_slist_append(headers, "Expect:");

    auto outcome = std::make_shared<Outcome>(m_limits);
    curl_easy_setopt(easy, CURLOPT_URL, origin.constData());
    curl_easy_setopt(easy, CURLOPT_REQUEST_TARGET, target.constData());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(m_limits.connectTimeoutMs));
    if (m_limits.totalTimeoutMs > 0)
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(m_limits.totalTimeoutMs));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &outcome->sink);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, outcome->error);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, watchProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, outcome.get());
    if (secure) {
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(easy, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2));
        if (!extra.pem.isEmpty()) {
#if LIBCURL_VERSION_NUM >= 0x075700
            // The store with the extra authorities is this request's only:
            // never one kept for later handles.
            curl_easy_setopt(easy, CURLOPT_CA_CACHE_TIMEOUT, 0L);
#endif
            curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &extra);
            if (curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, addExtraAuthorities) != CURLE_OK) {
                // A libcurl over another TLS library: the file alone is
                // trusted then, which is narrower, never wider.
                const QByteArray path = QFile::encodeName(m_extraCaFile);
                curl_easy_setopt(easy, CURLOPT_CAINFO, path.constData());
            }
        }
    }
    if (request.post) {
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.postBody.constData());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.postBody.size()));
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }

    // The transfer runs on a worker; this thread waits in a local loop that
    // keeps dispatching its events until the worker says it is done.
    QEventLoop loop;
    std::thread worker([easy, outcome, &loop] {
        outcome->code = curl_easy_perform(easy);
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &outcome->status);
        curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &outcome->verifyResult);
        // Queued: the quit is delivered by the loop itself, so it cannot be
        // lost even when the transfer ends before the loop starts.
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    // The loop only returns early when the application is quitting: the
    // request is then abandoned, so that the program ends within about a
    // second instead of at the request's time limit. After a normal end the
    // flag comes too late to matter.
    loop.exec();
    outcome->abandoned = true;
    worker.join();
    curl_slist_free_all(headers);
    curl_easy_cleanup(easy);

    m_lastStatus = int(outcome->status);
    if (outcome->code == CURLE_ABORTED_BY_CALLBACK && !outcome->progress.stalled) {
        m_lastError = QStringLiteral("request abandoned: the application is quitting");
        return false;
    }
    if (outcome->code != CURLE_OK) {
        if (outcome->sink.tooLarge)
            m_lastError = QStringLiteral("reply larger than %1 bytes").arg(m_limits.maxBodyBytes);
        else if (outcome->progress.stalled)
            m_lastError = QStringLiteral("no data for %1 ms").arg(m_limits.stallTimeoutMs);
        else
            m_lastError
                = QString::fromLatin1(outcome->error[0] ? outcome->error : curl_easy_strerror(outcome->code));
        if (secure)
            m_lastTlsFailure = TlsFailureText::forTransfer(
                int(outcome->code), outcome->verifyResult, base.host(), m_extraCaFile);
        return false;
    }
    if (outcome->status < 200 || outcome->status > 299) {
        m_lastError = QStringLiteral("HTTP status %1").arg(outcome->status);
        return false;
    }
    body = outcome->sink.body;
    return true;
}
