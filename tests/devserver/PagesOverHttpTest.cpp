// The registration and profile pages a member opens in the browser.
#include "ServiceFixture.h"

namespace {

using Pages = ServiceFixture;
VOXLANE_ON_EVERY_ENGINE(Pages);

TEST_P(Pages, RegistrationFormAndNewMember)
{
    const auto c = client();
    const auto form = c.get("/voxlane/?file=inscriptions.php");
    ASSERT_TRUE(form.ok());
    EXPECT_NE(form.body.find("action=\"/voxlane/?file=inscriptions.php\""), std::string::npos);
    EXPECT_NE(form.body.find("windows-1252"), std::string::npos);
    // The rule text names "<" and ">" without opening a tag.
    EXPECT_NE(form.body.find("&lt; &gt;"), std::string::npos);
    EXPECT_EQ(form.body.find("< >"), std::string::npos);

    const auto done
        = registerMember("Zo%E9", "mot+de+passe", "zoe%40example.org", "https%3A%2F%2Fexample.org");
    ASSERT_TRUE(done.ok()) << done.body;
    EXPECT_NE(done.body.find("Zo\xE9"), std::string::npos);
    // The password was form-decoded: "mot de passe".
    EXPECT_EQ(logIn(c, "Zo\xE9", "mot de passe").body.rfind("autoris\xE9", 0), 0u);
    EXPECT_EQ(c.get("/script/getinfo.php?function=getinfo&pseudo=zo\xE9").body,
        "zoe@example.org\nhttps://example.org");
}

TEST_P(Pages, RegistrationRefusesNamesThatDoNotSurviveRawTransport)
{
    const struct
    {
        const char *encoded;
        const char *what;
    } cases[] = {
        { "", "empty" },
        { "two+words", "blank" },
        { "a%26b", "&" },
        { "a%3Db", "=" },
        { "a%23b", "#" },
        { "a%3Fb", "?" },
        { "a%25b", "%" },
        { "a%2Bb", "+" },
        { "a%3Cb%3E", "< >" },
        { "%5BAsk%5D", "[ ]" },
        { "a%0Db", "CR" },
        { "a%09b", "tab" },
        { "a%7Fb", "DEL" },
        { "a%2Fb", "slash" },
        { "ALICE", "taken in another letter case" },
        { "abcdefghijabcdefghijabcdefghijabc", "33 characters" },
        // Invisible or passing for something else, beside a name in use.
        { "alice%AD", "soft hyphen" },
        { "ali%ADce", "soft hyphen inside" },
        { "alice%A0", "no-break space" },
        { "%93bob%94", "typographic quotes" },
        { "bob%96", "en dash" },
        { "a%8Bb", "angle quote like <" },
        { "caro%85", "ellipsis" },
        { "%80uro", "euro sign" },
        { "%83red", "florin sign like f" },
    };
    for (const auto &k : cases) {
        const auto r = registerMember(k.encoded, "pw");
        EXPECT_EQ(r.status, 400) << k.what;
        EXPECT_NE(r.body.find("class=\"err\""), std::string::npos) << k.what;
    }
    // Nothing was created: ids go on from the demo members.
    ASSERT_TRUE(registerMember("dave", "pw").ok());
    EXPECT_EQ(client().get("/script/getinfo.php?function=getid&pseudo=dave").body, "4");
    // The letters of 0x80..0x9F are letters of names; their capitals fold.
    ASSERT_TRUE(registerMember("C%9Cur", "pw").ok());
    EXPECT_EQ(client().get("/script/getinfo.php?function=getcorrectpseudo&pseudo=C\x8Cur").body, "C\x9Cur");
    EXPECT_EQ(registerMember("%8Aarka", "pw").status, 200);
    EXPECT_EQ(registerMember("%9Aarka", "pw").status, 400);

    const struct
    {
        std::string body;
        const char *what;
    } others[] = {
        { "pseudo=eve&password=a&confirm=b&email=&web=", "passwords differ" },
        { "pseudo=eve&password=&confirm=&email=&web=", "empty password" },
        { "pseudo=eve&password=a&confirm=a&email=nomail&web=", "e-mail without @" },
        { "pseudo=eve&password=a&confirm=a&email=&web=javascript%3Aalert(1)", "web not http" },
    };
    for (const auto &k : others) {
        const auto r = client().exchange("POST /voxlane/?file=inscriptions.php HTTP/1.1\r\nContent-Length: "
            + std::to_string(k.body.size()) + "\r\n\r\n" + k.body);
        EXPECT_EQ(r.status, 400) << k.what;
    }
    EXPECT_EQ(client().get("/script/getinfo.php?function=getid&pseudo=eve").body, "");
}

TEST_P(Pages, ProfileShowsCardAndAvatarEscaped)
{
    ASSERT_TRUE(registerMember("o'neil", "pw", "a%22%3Cb%3E%40x.org").ok());
    const auto c = client();
    const auto page = c.get("/quixvale/index.php?page=affichmembre.php?id=4");
    ASSERT_TRUE(page.ok());
    EXPECT_NE(page.body.find("o&#39;neil"), std::string::npos);
    EXPECT_NE(page.body.find("a&quot;&lt;b&gt;@x.org"), std::string::npos);
    EXPECT_EQ(page.body.find("<b>"), std::string::npos);
    EXPECT_EQ(page.body.find("/avatars/4.jpg"), std::string::npos); // no avatar yet

    const auto alice = c.get("/quixvale/index.php?page=affichmembre.php?id=1");
    EXPECT_NE(alice.body.find("<img src=\"/avatars/1.jpg\""), std::string::npos);
    EXPECT_NE(alice.body.find("mailto:alice@voxlane.test"), std::string::npos);
    EXPECT_NE(alice.body.find("https://voxlane.test/~alice"), std::string::npos);

    for (const char *target : { "/quixvale/index.php?page=affichmembre.php?id=99",
             "/quixvale/index.php?page=affichmembre.php?id=1x", "/quixvale/index.php" })
        EXPECT_EQ(c.get(target).status, 404) << target;
}

} // namespace
