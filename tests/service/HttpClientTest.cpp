#include "service/HttpClient.h"
#include "service/ServiceRequests.h"

#include "support/FakeService.h"
#include "support/QtPrinters.h"
#include "support/Timing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class HttpClientTest : public testing::Test
{
protected:
    FakeService service;
};

TEST_F(HttpClientTest, GetSendsRawTargetAndTheThreeHeadersOverHttp11)
{
    service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("José")));
    HttpClient client(service.baseUrl());

    QString text;
    ASSERT_TRUE(
        client.get(ServiceRequests::memberInfo(QStringLiteral("getmail"), QStringLiteral("Zoé a&b=#")), text))
        << client.lastError().toStdString();
    EXPECT_EQ(text, QStringLiteral("José")); // the reply is read as Windows-1252
    EXPECT_EQ(client.lastStatus(), 200);

    ASSERT_EQ(service.requests.size(), 1);
    const FakeService::Request &r = service.requests.at(0);
    // 'é' is the single byte 0xE9; nothing is percent-encoded.
    EXPECT_EQ(
        r.requestLine, QByteArray("GET /script/getinfo.php?function=getmail&pseudo=Zo\xE9 a&b=# HTTP/1.1"));
    EXPECT_EQ(r.header("Accept"), QByteArray("text/html, */*"));
    EXPECT_EQ(r.header("User-Agent"), QByteArray("Mozilla/3.0 (compatible; Indy Library)"));
    EXPECT_EQ(r.header("Content-Type"), QByteArray("text/html"));
    // Nothing else: no credentials, no second Accept, no keep-alive games.
    EXPECT_EQ(r.headerNames(), QList<QByteArray>({ "Host", "Accept", "User-Agent", "Content-Type" }));
    EXPECT_EQ(r.header("Host"), QStringLiteral("127.0.0.1:%1").arg(service.port()).toLatin1());
    EXPECT_TRUE(r.body.isEmpty());
}

TEST_F(HttpClientTest, BytesComeBackUntouched)
{
    QByteArray jpeg;
    for (int b = 0; b < 256; ++b)
        jpeg.append(char(b));
    service.script("/avatars/42\r\n.jpg", FakeService::Reply::bytes(jpeg));
    service.script("/avatars/42.jpg", FakeService::Reply::bytes(jpeg));
    HttpClient client(service.baseUrl());
    QByteArray body;
    ASSERT_TRUE(client.get(ServiceRequests::avatar(QStringLiteral("42")), body));
    EXPECT_EQ(body, jpeg);
}

TEST_F(HttpClientTest, FailuresLeaveTheTargetUntouched)
{
    service.script("/missing", FakeService::Reply::text(QStringLiteral("gone"), 404));
    service.script("/broken", FakeService::Reply::text(QStringLiteral("oops"), 500));
    service.script("/closed", FakeService::Reply::closeWithoutReply());
    HttpClient client(service.baseUrl());
    for (const char *target : { "/missing", "/broken", "/closed" }) {
        QString text = QStringLiteral("before");
        EXPECT_FALSE(client.get(QByteArray(target), text)) << target;
        EXPECT_EQ(text, QStringLiteral("before")) << target;
        EXPECT_FALSE(client.lastError().isEmpty()) << target;
    }
    EXPECT_EQ(service.requests.size(), 3);
}

TEST_F(HttpClientTest, RedirectIsNotFollowed)
{
    service.script("/voxlane/getconnected.php", FakeService::Reply::redirect("/elsewhere"));
    service.script("/elsewhere", FakeService::Reply::text(QStringLiteral("pseudo=a<br>b<br>")));
    HttpClient client(service.baseUrl());
    QString text;
    EXPECT_FALSE(client.get(ServiceRequests::connectedMembers(), text));
    EXPECT_EQ(client.lastStatus(), 302);
    ASSERT_EQ(service.requests.size(), 1);
    EXPECT_EQ(service.requests.at(0).path(), QByteArray("/voxlane/getconnected.php"));
}

TEST_F(HttpClientTest, UnreachableServiceFailsAtOnce)
{
    HttpClient client(QStringLiteral("http://127.0.0.1:%1").arg(FakeService::closedPort()));
    QElapsedTimer timer;
    timer.start();
    QString text;
    EXPECT_FALSE(client.get("/voxlane/getconnected.php", text));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(client.lastStatus(), 0);
}

TEST_F(HttpClientTest, ServiceThatFallsSilentFailsAtTheStallLimit)
{
    service.script("/voxlane/getconnected.php", FakeService::Reply::neverAnswer());
    HttpLimits limits;
    limits.connectTimeoutMs = 500;
    limits.stallTimeoutMs = 300;
    HttpClient client(service.baseUrl(), limits);
    QString text = QStringLiteral("before");
    // Without a stall limit this call would never return.
    EXPECT_FALSE(client.get(ServiceRequests::connectedMembers(), text));
    EXPECT_EQ(text, QStringLiteral("before"));
    EXPECT_EQ(service.requests.size(), 1); // the request did go out
    EXPECT_TRUE(client.lastError().contains(QStringLiteral("no data"))) << client.lastError().toStdString();
}

TEST_F(HttpClientTest, SlowReplyThatKeepsComingIsWaitedFor)
{
    // 40 pieces, one every 25 ms: a second in all, far beyond the stall
    // limit if it were a limit on the whole request, far below it between
    // two pieces.
    QByteArray body;
    for (int i = 0; i < 40; ++i)
        body += "pseudo=m" + QByteArray::number(i) + "<br>ab<br>";
    service.script("/voxlane/getconnected.php", FakeService::Reply::bytes(body).trickled(40, 25));
    HttpLimits limits;
    limits.stallTimeoutMs = 3000 * kTimeScale;
    limits.totalTimeoutMs = 0;
    HttpClient client(service.baseUrl(), limits);
    QByteArray received;
    ASSERT_TRUE(client.get(ServiceRequests::connectedMembers(), received)) << client.lastError().toStdString();
    EXPECT_EQ(received, body);
}

TEST(StallWatch, OnlyTimeWithoutAByteCounts)
{
    // A clock the test drives: (time, bytes moved so far, stalled?).
    const struct
    {
        qint64 nowMs;
        qint64 bytes;
        bool stalled;
    } steps[] = {
        { 0, 0, false },
        { 59999, 0, false },  // nothing yet, just below the limit
        { 60000, 1, false },  // a byte at the last moment restarts the count
        { 119999, 1, false },
        { 120000, 1, true },  // then a full minute without one
        { 120001, 2, false }, // progress again clears it
        { 500000, 900, false },
        { 560000, 900, true },
    };
    StallWatch watch(60000);
    for (const auto &s : steps)
        EXPECT_EQ(watch.stalled(s.nowMs, s.bytes), s.stalled) << s.nowMs;
}

TEST_F(HttpClientTest, ReplyBodyLargerThanTheCapFails)
{
    const QByteArray atCap(4096, 'a');
    service.script("/at-cap", FakeService::Reply::bytes(atCap));
    service.script("/over-cap", FakeService::Reply::bytes(atCap + 'b'));
    HttpLimits limits;
    limits.maxBodyBytes = atCap.size();
    HttpClient client(service.baseUrl(), limits);
    QByteArray body;
    ASSERT_TRUE(client.get("/at-cap", body)) << client.lastError().toStdString();
    EXPECT_EQ(body, atCap);
    QByteArray over = "before";
    EXPECT_FALSE(client.get("/over-cap", over));
    EXPECT_EQ(over, QByteArray("before"));
    EXPECT_TRUE(client.lastError().contains(QStringLiteral("larger"))) << client.lastError().toStdString();
}

TEST_F(HttpClientTest, ARequestWaitingWhenTheApplicationQuitsIsAbandoned)
{
    // The program ends while a request waits on a service that never
    // answers: the request gives up rather than holding the exit until its
    // time limit, far beyond this test's.
    service.script("/voxlane/getconnected.php", FakeService::Reply::neverAnswer());
    HttpClient client(service.baseUrl(), HttpLimits { 600000, 600000, 0 });
    QObject::connect(&service, &FakeService::requestReceived, &service, [] { QCoreApplication::exit(0); });
    bool ok = true;
    QString text = QStringLiteral("untouched");
    QTimer::singleShot(0, &service, [&] {
        ok = client.get(ServiceRequests::connectedMembers(), text);
        QCoreApplication::exit(0);
    });
    QCoreApplication::exec();
    EXPECT_FALSE(ok);
    EXPECT_EQ(client.lastError(), QStringLiteral("request abandoned: the application is quitting"));
    EXPECT_EQ(text, QStringLiteral("untouched"));
    EXPECT_EQ(service.requests.size(), 1);
}

TEST(HttpLimits, TenSecondsToConnectAMinuteWithoutDataNoTotalAndACap)
{
    const HttpLimits limits;
    EXPECT_EQ(limits.connectTimeoutMs, 10000);
    EXPECT_EQ(limits.stallTimeoutMs, 60000);
    EXPECT_EQ(limits.totalTimeoutMs, 0);
    EXPECT_GE(limits.exitTimeoutMs, 1000);
    EXPECT_LE(limits.exitTimeoutMs, 5000);
    // A presence list of 100 000 members fits many times over.
    EXPECT_GE(limits.maxBodyBytes, 100000 * 100 * 2);
}

TEST_F(HttpClientTest, TargetsThatWouldBreakTheRequestAreNotSent)
{
    HttpClient client(service.baseUrl());
    for (const QByteArray &target : { QByteArray("/voxlane/deconnect.php?pseudo=a\r\nX-Injected: 1"),
             QByteArray("/a?b=c\nd"), QByteArray("/a?b=\0c", 7), QByteArray("noslash") }) {
        QString text = QStringLiteral("before");
        EXPECT_FALSE(client.get(target, text));
        EXPECT_EQ(text, QStringLiteral("before"));
    }
    EXPECT_TRUE(service.requests.isEmpty());
}

TEST_F(HttpClientTest, BaseUrlPathPrefixesEveryTarget)
{
    service.script("/svc/voxlane/getconnected.php", FakeService::Reply::text(QString()));
    HttpClient client(service.baseUrl() + QStringLiteral("/svc/"));
    QString text = QStringLiteral("before");
    ASSERT_TRUE(client.get(ServiceRequests::connectedMembers(), text));
    EXPECT_EQ(text, QString()); // an empty reply is a successful one
}

TEST_F(HttpClientTest, PostIsHttp10WithTwoPartsInOrder)
{
    service.script("/avatars/uploadqxa.php", FakeService::Reply::text(QStringLiteral("ok")));
    HttpClient client(service.baseUrl());
    const QByteArray jpeg("\xFF\xD8\xFF\xE0\r\n--\x00\x01 end", 14);
    const QString path = QStringLiteral("/home/zoé/photo.jpg");

    QString reply;
    ASSERT_TRUE(client.postMultipart(ServiceRequests::avatarUpload(QStringLiteral("Zoé")),
        ServiceRequests::avatarUploadParts(path, jpeg), reply))
        << client.lastError().toStdString();
    EXPECT_EQ(reply, QStringLiteral("ok"));

    ASSERT_EQ(service.requests.size(), 1);
    const FakeService::Request &r = service.requests.at(0);
    EXPECT_EQ(r.requestLine, QByteArray("POST /avatars/uploadqxa.php?pseudo=Zo\xE9 HTTP/1.0"));
    EXPECT_EQ(r.header("Accept"), QByteArray("text/html, */*"));
    EXPECT_EQ(r.header("User-Agent"), QByteArray("Mozilla/3.0 (compatible; Indy Library)"));
    EXPECT_EQ(r.headerNames(),
        QList<QByteArray>({ "Host", "Accept", "User-Agent", "Content-Type", "Content-Length" }));
    const QByteArray type = r.header("Content-Type");
    ASSERT_TRUE(type.startsWith("multipart/form-data; boundary=")) << type.toStdString();
    const QByteArray boundary = type.mid(qsizetype(strlen("multipart/form-data; boundary=")));
    ASSERT_FALSE(boundary.isEmpty());
    EXPECT_EQ(r.header("Content-Length"), QByteArray::number(r.body.size()));

    const QByteArray expected = "--" + boundary + "\r\n"
        + "Content-Disposition: form-data; name=\"dossier\"\r\n"
          "\r\n"
          "\r\n"
        + "--" + boundary + "\r\n"
        + "Content-Disposition: form-data; name=\"file\"; filename=\"/home/zo\xE9/photo.jpg\"\r\n"
          "Content-Type: multipart/form-data\r\n"
          "\r\n"
        + jpeg + "\r\n" + "--" + boundary + "--\r\n";
    EXPECT_EQ(r.body, expected);
}

TEST(HttpClientBody, QuotesAndLineEndsInAFileNameCannotBreakThePartHeader)
{
    HttpClient::FormPart part;
    part.name = "file";
    part.hasFileName = true;
    part.fileName = "/tmp/a\"b\r\nc.jpg";
    part.content = "x";
    EXPECT_EQ(HttpClient::multipartBody("B", { part }),
        QByteArray(
            "--B\r\nContent-Disposition: form-data; name=\"file\"; filename=\"/tmp/a%22b%0D%0Ac.jpg\"\r\n"
            "\r\nx\r\n--B--\r\n"));
}

TEST(HttpClientBody, BoundaryNeverOccursInTheContent)
{
    HttpClient::FormPart part;
    part.name = "file";
    for (int i = 0; i < 50; ++i) {
        part.content = HttpClient::newBoundary({});
        EXPECT_FALSE(part.content.contains(HttpClient::newBoundary({ part })));
    }
}

TEST_F(HttpClientTest, EventsRunDuringAWaitAndMayStartANestedRequest)
{
    service.script("/slow", FakeService::Reply::text(QStringLiteral("slow")).after(400));
    service.script("/fast", FakeService::Reply::text(QStringLiteral("fast")));
    HttpClient shared(service.baseUrl());

    QString nested;
    bool nestedOk = false;
    QTimer::singleShot(50, &shared, [&] { nestedOk = shared.get("/fast", nested); });
    QString outer;
    ASSERT_TRUE(shared.get("/slow", outer));
    EXPECT_EQ(outer, QStringLiteral("slow"));
    EXPECT_TRUE(nestedOk);
    EXPECT_EQ(nested, QStringLiteral("fast"));
    ASSERT_EQ(service.requests.size(), 2);
    EXPECT_EQ(service.requests.at(0).path(), QByteArray("/slow"));
    EXPECT_EQ(service.requests.at(1).path(), QByteArray("/fast"));
}

} // namespace
