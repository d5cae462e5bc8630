// Avatar upload (multipart, as the client frames it) and avatar serving.
#include "ServiceFixture.h"
#include "TestJpeg.h"

namespace {

using Avatars = ServiceFixture;
VOXLANE_ON_EVERY_ENGINE(Avatars);

TEST_P(Avatars, RealJpegAcceptedAndServedByMemberId)
{
    const auto alice = client("127.0.0.2");
    logIn(alice, "alice", "alice");
    const std::string jpeg = makeTestJpeg(94, 47);

    const auto up = alice.uploadAvatar("alice", jpeg);
    ASSERT_TRUE(up.ok());
    EXPECT_EQ(up.body, "ok");

    const auto served = alice.get("/avatars/1.jpg");
    ASSERT_TRUE(served.ok());
    EXPECT_EQ(served.header("Content-Type"), "image/jpeg");
    EXPECT_TRUE(served.body == jpeg); // bytes compared without dumping them
    // Other members keep theirs.
    EXPECT_FALSE(alice.get("/avatars/2.jpg").body == jpeg);
}

TEST_P(Avatars, AnythingButAReasonableJpegIsRefused)
{
    const auto alice = client("127.0.0.2");
    logIn(alice, "alice", "alice");
    const std::string before = alice.get("/avatars/1.jpg").body;
    const std::string jpeg = makeTestJpeg(64, 64, 7);
    const struct
    {
        const char *what;
        std::string data;
    } cases[] = {
        { "text", "<html>not a picture</html>" },
        { "empty", "" },
        { "truncated JPEG", jpeg.substr(0, jpeg.size() / 2) },
        { "JPEG start only", "\xFF\xD8\xFF\xE0" },
        // Valid picture data padded past 512 KiB: refused for its size.
        { "over 512 KiB", jpeg + std::string(512 * 1024, '\0') },
    };
    for (const auto &k : cases) {
        const auto r = alice.uploadAvatar("alice", k.data);
        EXPECT_EQ(r.status, 200) << k.what;
        EXPECT_EQ(r.body.find("ok"), std::string::npos) << k.what << ": " << r.body;
    }
    EXPECT_TRUE(alice.get("/avatars/1.jpg").body == before);
}

TEST_P(Avatars, UploadNeedsTheMemberLoggedInFromThere)
{
    const std::string jpeg = makeTestJpeg(32, 32);
    const auto alice = client("127.0.0.2");
    EXPECT_EQ(alice.uploadAvatar("alice", jpeg).body.find("ok"), std::string::npos);
    logIn(alice, "alice", "alice");
    EXPECT_EQ(client("127.0.0.5").uploadAvatar("alice", jpeg).body.find("ok"), std::string::npos);
    EXPECT_EQ(alice.uploadAvatar("zoe", jpeg).body.find("ok"), std::string::npos);
    EXPECT_EQ(alice.uploadAvatar("alice", jpeg).body, "ok");
}

TEST_P(Avatars, UnknownAvatarAddresses)
{
    const auto c = client();
    for (const char *target : { "/avatars/99.jpg", "/avatars/1.png", "/avatars/.jpg", "/avatars/-1.jpg",
             "/avatars/1.jpg.jpg", "/avatars/" })
        EXPECT_EQ(c.get(target).status, 404) << target;
    EXPECT_TRUE(c.get("/avatars/1.jpg").ok());
}

} // namespace
