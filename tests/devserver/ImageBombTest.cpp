// Pictures that are small on the wire and huge once decoded: their size is
// read from the header and they are refused before any decoding.
#include "ServiceFixture.h"
#include "ServiceProgram.h"
#include "TestJpeg.h"

#include "Jpeg.h"

#include <filesystem>
#include <iostream>
#include <thread>

namespace {

using devserver::Jpeg;

// 4096 x 4096 progressive: under 512 KiB, about 100 MB for a decoder.
const std::string &bomb()
{
    static const std::string data = makeProgressiveJpeg(4096, 4096);
    return data;
}

TEST(Jpeg, SizeReadFromTheHeaderAlone)
{
    const std::string baseline = makeTestJpeg(94, 47);
    std::string withFill = baseline;
    withFill.insert(2, "\xFF\xFF"); // fill bytes may precede a marker
    const struct
    {
        const char *what;
        std::string data;
        int width; // 0: no size
        int height;
    } cases[] = {
        { "baseline", baseline, 94, 47 },
        { "progressive bomb", bomb(), 4096, 4096 },
        { "fill bytes", withFill, 94, 47 },
        { "not a JPEG", "GIF89a........", 0, 0 },
        { "start marker only", "\xFF\xD8", 0, 0 },
        { "ends before the frame header", baseline.substr(0, 20), 0, 0 },
        { "end of image before any frame", std::string("\xFF\xD8\xFF\xD9", 4), 0, 0 },
        { "garbage between segments", std::string("\xFF\xD8\x00\x00\xFF\xC0", 6), 0, 0 },
    };
    for (const auto &k : cases) {
        const auto size = Jpeg::frameSize(k.data);
        if (k.width == 0) {
            EXPECT_FALSE(size.has_value()) << k.what;
            continue;
        }
        ASSERT_TRUE(size.has_value()) << k.what;
        EXPECT_EQ(size->width, k.width) << k.what;
        EXPECT_EQ(size->height, k.height) << k.what;
    }
}

TEST(Jpeg, SidesUpTo1024AreDecodedAndLargerRefused)
{
    EXPECT_TRUE(Jpeg::isValid(makeProgressiveJpeg(1024, 16)));
    EXPECT_TRUE(Jpeg::isValid(makeProgressiveJpeg(16, 1024)));
    EXPECT_FALSE(Jpeg::isValid(makeProgressiveJpeg(1025, 16)));
    EXPECT_FALSE(Jpeg::isValid(makeProgressiveJpeg(16, 1025)));
    EXPECT_FALSE(Jpeg::isValid(bomb()));
}

using ImageBomb = ServiceFixture;
VOXLANE_ON_EVERY_ENGINE(ImageBomb);

TEST_P(ImageBomb, RefusedAsTooLargeAndTheAvatarKept)
{
    const auto alice = client("127.0.0.2");
    logIn(alice, "alice", "alice");
    const std::string before = alice.get("/avatars/1.jpg").body;
    ASSERT_LT(bomb().size(), devserver::CommunityService::kMaxAvatarBytes);
    const auto r = alice.uploadAvatar("alice", bomb());
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "refus\xE9 : image trop grande (1024 pixels de c\xF4t\xE9 au plus)");
    EXPECT_TRUE(alice.get("/avatars/1.jpg").body == before);
}

// The built program's own memory, read by the kernel: 16 uploads at once,
// half of them 4096 x 4096 bombs and half the largest pictures accepted
// (1024 x 1024, progressive, decoded in full).
TEST(DevserverProgram, SixteenBombUploadsAtOnceStayUnder200MB)
{
    char dir[] = "/tmp/voxlane-devserver-bomb-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string largest = makeProgressiveJpeg(1024, 1024);
    ASSERT_LT(largest.size(), devserver::CommunityService::kMaxAvatarBytes);
    {
        ServiceProgram program(dir,
            { { "--db", std::string(dir) + "/bomb.sqlite", "--listen", "127.0.0.1:0", "--seed", "demo",
                "--quiet" } });
        const int port = program.waitForPort();
        ASSERT_NE(port, 0) << program.errors();
        const RawHttpClient alice(static_cast<std::uint16_t>(port), "127.0.0.2");
        ASSERT_EQ(alice
                      .get("/voxlane/connect.php?pseudo=alice&psw=" + devserver::PasswordHash::md5Hex("alice")
                          + "&ip=abcd")
                      .body.rfind("autoris\xE9", 0),
            0u);
        const long before = program.peakResidentKiB();

        std::vector<std::string> replies(16);
        std::vector<std::thread> uploads;
        for (std::size_t i = 0; i < replies.size(); ++i)
            uploads.emplace_back([&, i] { replies[i] = alice.uploadAvatar("alice", i % 2 ? largest : bomb()).body; });
        for (auto &t : uploads)
            t.join();
        for (std::size_t i = 0; i < replies.size(); ++i)
            EXPECT_EQ(replies[i] == "ok", i % 2 == 1) << i << ": " << replies[i];

        const long peak = program.peakResidentKiB();
        std::cout << "service peak resident memory: " << before / 1024 << " MB before, " << peak / 1024
                  << " MB after 16 simultaneous uploads" << std::endl;
        RecordProperty("peak_rss_kib", static_cast<int>(peak));
        EXPECT_GT(peak, 0);
        EXPECT_LT(peak, 200 * 1024);
        EXPECT_EQ(program.stop(), 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

} // namespace
