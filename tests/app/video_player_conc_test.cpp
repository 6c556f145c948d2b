// The video player's worker against the threads that drive it: destroyed in the middle
// of an open or a search, and seeks and frame locks from another thread while it
// decodes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>

#include "app/video_player.h"
#include "support/test_wait.h"
#include "support/video_fixtures.h"

// FFmpeg's decoder threads hand frames and buffers over through atomics and locks in
// libraries built without ThreadSanitizer, which cannot see them: what it reports inside
// them is FFmpeg's own business. Races on the player's fields have none of these frames.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:libavcodec.so\nrace:libavutil.so\n";
}

namespace {

using Clock = std::chrono::steady_clock;

class VideoPlayerConc : public ::testing::Test {
protected:
    std::string dir = video_fixture_dir();
    void SetUp() override
    {
        if (dir.empty())
            GTEST_SKIP() << "no ffmpeg to make the video files";
    }
};

// The join waits for the worker, which cuts an open or a search short: no use of freed
// memory (AddressSanitizer), and the destroy returns (bench_video times it).
TEST_F(VideoPlayerConc, DestroyDuringAnOpenOrASearchIsPromptAndClean)
{
    for (int i = 0; i < 40; i++) {
        bool search = i % 2;
        VideoPlayer* p = video_player_create();
        ASSERT_NE(p, nullptr);
        video_player_open(p, (dir + (search || i % 4 ? "/h264.mp4" : "/vp9.webm")).c_str());
        if (search)
            test_wait_until([&] { return video_player_state(p) != VIDEO_OPENING; }, [] {}, 1);
        // 1.95 s: the last frame before a key frame, the longest search the file has.
        video_player_seek(p, search ? 1.95 : 0.0);
        std::this_thread::sleep_for(std::chrono::microseconds(150 * i));
        auto start = Clock::now();
        video_player_destroy(p);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(TEST_WAIT_SECONDS)) << (search ? "search " : "open ") << i;
    }
}

// The UI thread locks frames while another thread spams seeks: every frame it sees is
// whole (its strip reads), and ThreadSanitizer finds no race.
TEST_F(VideoPlayerConc, SeekSpamAndFrameLocksDuringDecoding)
{
    VideoPlayer* p = video_player_create();
    ASSERT_NE(p, nullptr);
    video_player_open(p, (dir + "/h264.mp4").c_str());
    std::atomic<bool> stop{false};
    std::thread spammer([&] {
        for (uint32_t k = 1; !stop.load(); k++) {
            video_player_seek(p, std::fmod(k * 0.37, 4.0));
            if (k % 64 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    // For 1.5 s at least, and until more than ten frames came (a minute at most).
    int frames = 0, torn = 0;
    uint32_t last = 0, serial = 0;
    for (auto start = Clock::now();
         (frames <= 10 || Clock::now() < start + std::chrono::milliseconds(1500)) &&
         Clock::now() < start + std::chrono::seconds(60);) {
        int32_t w = 0, h = 0;
        const uint8_t* px = video_player_lock_frame(p, &w, &h, nullptr, &serial);
        if (px && serial != last) {
            frames++;
            torn += video_strip_read_frame(px, w, h) < 0;
            last = serial;
        }
        video_player_unlock_frame(p);
        video_player_state(p);
        video_player_duration(p);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop = true;
    spammer.join();
    video_player_destroy(p);
    EXPECT_GT(frames, 10) << "frames in a minute of seeks";
    EXPECT_EQ(torn, 0);
}

}  // namespace
