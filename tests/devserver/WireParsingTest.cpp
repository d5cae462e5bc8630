// The pure pieces under the service: request reading, raw targets,
// multipart bodies and Windows-1252 helpers, without a socket.
#include "HttpRequestParser.h"
#include "MultipartForm.h"
#include "RawTarget.h"
#include "Win1252.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using devserver::HttpRequestParser;
using State = HttpRequestParser::State;

TEST(HttpRequestParser, RawTargetsKeptByteForByte)
{
    const struct
    {
        std::string line;
        std::string target;
    } cases[] = {
        { "GET /voxlane/connect.php?pseudo=\xE9mile&psw=ab&ip=cd HTTP/1.1",
            "/voxlane/connect.php?pseudo=\xE9mile&psw=ab&ip=cd" },
        // Blanks typed around a name reach the service unescaped.
        { "GET /voxlane/connect.php?pseudo= bob &psw=x HTTP/1.1", "/voxlane/connect.php?pseudo= bob &psw=x" },
        { "GET /a?b=c  d HTTP/1.0", "/a?b=c  d" },
        { "GET /a?x=%41 HTTP/1.1", "/a?x=%41" }, // never percent-decoded
    };
    for (const auto &k : cases) {
        HttpRequestParser p;
        ASSERT_EQ(p.feed(k.line + "\r\nHost: x\r\n\r\n"), State::Complete) << k.line;
        EXPECT_EQ(p.request().target, k.target);
        EXPECT_EQ(p.request().method, "GET");
    }
}

TEST(HttpRequestParser, ByteByByteWithBodyAndContinue)
{
    const std::string wire
        = "POST /avatars/uploadqxa.php?pseudo=bob HTTP/1.1\r\nContent-Length: 5\r\n"
          "Expect: 100-continue\r\ncontent-type: multipart/form-data; boundary=b\r\n\r\nhelloEXTRA";
    HttpRequestParser p;
    bool continued = false;
    for (std::size_t i = 0; i < wire.size() && p.state() == State::NeedMore; ++i) {
        p.feed(wire.substr(i, 1));
        continued = continued || p.takeContinueRequest();
    }
    ASSERT_EQ(p.state(), State::Complete);
    EXPECT_TRUE(continued);
    EXPECT_EQ(p.request().body, "hello");
    EXPECT_EQ(p.request().header("Content-Type").value_or(""), "multipart/form-data; boundary=b");
}

// Wherever the reads cut the head's end, the head ends there and the body
// after it is whole; the first end of head wins, CR LF or bare LF.
TEST(HttpRequestParser, HeadEndAcrossReads)
{
    const struct
    {
        std::string wire;
        std::string body;
    } cases[] = {
        { "POST /a HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", "abc" },
        { "POST /a HTTP/1.1\nContent-Length: 3\n\nabc", "abc" },
        { "POST /a HTTP/1.1\nContent-Length: 4\n\n\r\n\r\n", "\r\n\r\n" },
    };
    for (const auto &c : cases) {
        for (std::size_t first = 1; first < c.wire.size(); ++first) {
            for (std::size_t second = first; second < c.wire.size(); ++second) {
                HttpRequestParser p;
                p.feed(std::string_view(c.wire).substr(0, first));
                p.feed(std::string_view(c.wire).substr(first, second - first));
                p.feed(std::string_view(c.wire).substr(second));
                ASSERT_EQ(p.state(), State::Complete) << first << " " << second << " " << c.wire;
                EXPECT_EQ(p.request().target, "/a");
                EXPECT_EQ(p.request().body, c.body) << first << " " << second;
            }
        }
    }
}

TEST(HttpRequestParser, LimitsAndMalformedHeads)
{
    HttpRequestParser::Limits limits;
    limits.maxHead = 256;
    limits.maxTarget = 64;
    limits.maxBody = 100;
    const struct
    {
        std::string wire;
        int status;
    } cases[] = {
        { "GET /" + std::string(64, 'a') + " HTTP/1.1\r\n\r\n", 414 },
        { "GET /" + std::string(300, 'a'), 414 }, // no line end in sight
        { "GET / HTTP/1.1\r\nX: " + std::string(300, 'a'), 431 },
        { "POST / HTTP/1.1\r\nContent-Length: 101\r\n\r\n", 413 },
        { "POST / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n", 400 },
        { "POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\n", 400 },
        { "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 501 },
        { "GET / HTTP/1.1\r\nno colon here\r\n\r\n", 400 },
        { "GET /\r\n\r\n", 400 },
        { "get / HTTP/1.1\r\n\r\n", 400 },
        { "GET relative HTTP/1.1\r\n\r\n", 400 },
        { "GET / HTTP/9\r\n\r\n", 400 },
    };
    for (const auto &k : cases) {
        HttpRequestParser p(limits);
        EXPECT_EQ(p.feed(k.wire), State::Error) << k.wire;
        EXPECT_EQ(p.errorStatus(), k.status) << k.wire;
    }
    HttpRequestParser lf(limits);
    EXPECT_EQ(lf.feed("GET /x HTTP/1.0\nHost: y\n\n"), State::Complete);
    EXPECT_EQ(lf.request().header("host").value_or(""), "y");
}

TEST(RawTarget, SplitsByHandWithoutDecoding)
{
    const devserver::RawTarget t("/quixvale/index.php?page=affichmembre.php?id=7&x=&flag&x=2&e=%E9+");
    EXPECT_EQ(t.path(), "/quixvale/index.php");
    EXPECT_EQ(t.valueOr("page"), "affichmembre.php?id=7");
    EXPECT_EQ(t.value("x"), std::optional<std::string>(""));
    EXPECT_EQ(t.value("flag"), std::optional<std::string>(""));
    EXPECT_EQ(t.valueOr("e"), "%E9+");
    EXPECT_FALSE(t.value("id"));
    EXPECT_EQ(devserver::RawTarget("/voxlane/getconnected.php").query(), "");
}

TEST(MultipartForm, ClientFramedUpload)
{
    const std::string body
        = "--XyZ\r\n"
          "Content-Disposition: form-data; name=\"dossier\"\r\n\r\n\r\n"
          "--XyZ\r\n"
          "Content-Disposition: form-data; name=\"file\"; filename=\"C:\\Mes images\\a;b.jpg\"\r\n"
          "Content-Type: multipart/form-data\r\n\r\n"
          "\xFF\xD8\r\n--Xy\r\n\xFF\xD9\r\n"
          "--XyZ--\r\n";
    const auto boundary = devserver::MultipartForm::boundaryOf("multipart/form-data; boundary=\"XyZ\"");
    ASSERT_EQ(boundary, std::optional<std::string>("XyZ"));
    const auto form = devserver::MultipartForm::parse(body, *boundary);
    ASSERT_TRUE(form);
    ASSERT_EQ(form->parts().size(), 2u);
    EXPECT_EQ(form->parts()[0].name, "dossier");
    EXPECT_EQ(form->parts()[0].data, "");
    const auto *file = form->part("file");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->filename, std::optional<std::string>("C:\\Mes images\\a;b.jpg"));
    EXPECT_EQ(file->contentType, "multipart/form-data");
    EXPECT_EQ(file->data, "\xFF\xD8\r\n--Xy\r\n\xFF\xD9");
}

// Where a part's head ends decides where its data starts: a blank line
// inside the data of a part without headers is data, and a head whose
// blank line runs into the next delimiter has no data at all.
TEST(MultipartForm, HeadAndDataBoundaries)
{
    const struct
    {
        std::string body;
        std::optional<std::vector<std::string>> data; // nothing: refused
    } cases[] = {
        { "--b\r\n\r\nx\r\n\r\ny\r\n--b--\r\n", std::vector<std::string> { "x\r\n\r\ny" } },
        { "--b\r\n\r\n\r\n--b--\r\n", std::vector<std::string> { "" } },
        { "--b\r\nContent-Type: a\r\n\r\n\r\n--b\r\n\r\nz\r\n--b--", std::vector<std::string> { "", "z" } },
        // The head's blank line is the delimiter's own line end: once this
        // gave the part everything up to the end of the body.
        { "--b\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n--b\r\n\r\nsecond\r\n--b--\r\n", std::nullopt },
        { "--b\r\n\r\n--b--\r\n", std::nullopt },
        // A head without its blank line does not borrow the next part's.
        { "--b\r\nContent-Type: a\r\nx\r\n--b\r\nContent-Type: c\r\n\r\nd\r\n--b--", std::nullopt },
        { "--b\r\nContent-Type: a\r\n\r\nx\r\n--b\r\nContent-Type: c\r\n\r\nd\r\n--b--",
            std::vector<std::string> { "x", "d" } },
    };
    for (const auto &c : cases) {
        const auto form = devserver::MultipartForm::parse(c.body, "b");
        ASSERT_EQ(form.has_value(), c.data.has_value()) << c.body;
        if (!form)
            continue;
        std::vector<std::string> data;
        for (const auto &part : form->parts())
            data.push_back(part.data);
        EXPECT_EQ(data, *c.data) << c.body;
    }

    // Many small parts, each head read up to its own delimiter only.
    std::string many;
    for (int i = 0; i < 2000; ++i)
        many += "--b\r\nContent-Disposition: form-data; name=\"p" + std::to_string(i) + "\"\r\n\r\n" + std::to_string(i) + "\r\n";
    many += "--b--\r\n";
    const auto form = devserver::MultipartForm::parse(many, "b");
    ASSERT_TRUE(form);
    ASSERT_EQ(form->parts().size(), 2000u);
    EXPECT_EQ(form->part("p1999")->data, "1999");
}

TEST(MultipartForm, BadFramingAndTypes)
{
    EXPECT_FALSE(devserver::MultipartForm::boundaryOf("text/html"));
    EXPECT_FALSE(devserver::MultipartForm::boundaryOf("multipart/form-data"));
    EXPECT_FALSE(devserver::MultipartForm::boundaryOf("multipart/form-data; boundary="));
    for (const std::string &body : {
             std::string("--b\r\nContent-Disposition: form-data; name=\"file\"\r\n\r\ndata"), // never closed
             std::string("no delimiter at all"),
             std::string("--b\r\nContent-Disposition: form-data; name=\"file\"\r\n\r\ndata\r\n--b"), // cut
             // A delimiter one byte into the body: too close to the start
             // for a line end before it (this once threw out_of_range).
             std::string("\xA9--b\r\nContent-Disposition: form-data; name=\"file\"\r\n\r\ndata\r\n--b--\r\n"),
             std::string("\n--b\r\n\r\ndata\r\n--b--\r\n"),
         })
        EXPECT_FALSE(devserver::MultipartForm::parse(body, "b")) << body;
}

TEST(Win1252, FoldingEscapingAndForms)
{
    using devserver::Win1252;
    EXPECT_EQ(Win1252::fold("\xC9MILE \x8A\x9F\xD7"), "\xE9mile \x9A\xFF\xD7");
    EXPECT_EQ(Win1252::htmlEscape("<a href='x'>&\"</a>"), "&lt;a href=&#39;x&#39;&gt;&amp;&quot;&lt;/a&gt;");
    EXPECT_EQ(Win1252::formDecode("a+b%E9%2b%zz%4"), "a b\xE9+%zz%4");
    EXPECT_EQ(Win1252::printable("a\xE9\r\\"), "a\\xE9\\x0D\\x5C");
    EXPECT_EQ(Win1252::fromUtf8("Déconnecté €"),
        "D\xE9"
        "connect\xE9 ?");
}

} // namespace
