// The video player on real files through FFmpeg and its worker: each codec opens with
// its duration and shows the frame at the target over steps, jumps, the end and wraps;
// odd sizes, rotations, files that cannot play and a damaged one; close.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/video_player.h"
#include "support/video_fixtures.h"

namespace {

using Clock = std::chrono::steady_clock;

class VideoPlayerTest : public ::testing::Test {
protected:
    std::string dir;
    VideoPlayer* p = nullptr;

    void SetUp() override
    {
        dir = video_fixture_dir();
        if (dir.empty())
            GTEST_SKIP() << "no ffmpeg to make the video files";
        p = video_player_create();
        ASSERT_NE(p, nullptr);
    }
    void TearDown() override { video_player_destroy(p); }

    // Opens a fixture and waits for the worker's answer.
    int32_t open(const char* name)
    {
        video_player_open(p, (dir + "/" + name).c_str());
        auto until = Clock::now() + std::chrono::seconds(10);
        while (video_player_state(p) == VIDEO_OPENING && Clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return video_player_state(p);
    }
    // Once the frame has stopped changing for 150 ms: its strip (-2 without a frame).
    int32_t settled(int32_t* w = nullptr, int32_t* h = nullptr, int32_t* rotation = nullptr)
    {
        uint32_t last = 0;
        auto still_since = Clock::now(), until = Clock::now() + std::chrono::seconds(10);
        for (bool first = true; Clock::now() < until; first = false) {
            uint32_t serial = 0;
            video_player_lock_frame(p, nullptr, nullptr, nullptr, &serial);
            video_player_unlock_frame(p);
            if (first || serial != last)
                still_since = Clock::now();
            last = serial;
            if (Clock::now() - still_since > std::chrono::milliseconds(150))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        int32_t fw = 0, fh = 0;
        const uint8_t* px = video_player_lock_frame(p, &fw, &fh, rotation, nullptr);
        int32_t n = px ? video_strip_read_frame(px, fw, fh) : -2;
        video_player_unlock_frame(p);
        if (w)
            *w = fw;
        if (h)
            *h = fh;
        return n;
    }
    int32_t show(int32_t frame)
    {
        video_player_seek(p, (frame + 0.5) / 30.0);
        return settled();
    }
};

struct CodecCase {
    const char* file;
    double duration;
    int32_t width, height;
};

TEST_F(VideoPlayerTest, EachCodecOpensWithItsDurationAndShowsTheFrameAtTheTarget)
{
    const CodecCase cases[] = {
        {"ffv1.mkv", 4.0, 320, 180},  {"h264.mp4", 4.0, 640, 360},   {"mpeg4.avi", 3.0, 320, 180},
        {"vp9.webm", 3.0, 320, 180},  {"mjpeg.mov", 3.0, 320, 180},  {"wmv2.wmv", 3.0, 320, 180},
        {"odd_ffv1.mkv", 2.0, 321, 241}, {"odd_h264.mp4", 2.0, 321, 241},
    };
    for (const CodecCase& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_EQ(open(c.file), VIDEO_READY);
        EXPECT_NEAR(video_player_duration(p), c.duration, 1.0 / 30);
        int32_t last = (int32_t)std::lround(c.duration * 30) - 1;
        // Forward steps, a jump beyond 1 s, a step back, the end, then the wrap and
        // steps again: each step after the end must show the next frame.
        std::vector<int32_t> frames = {0, 1, 2, 3, 40, 41, 12, last - 2, last - 1, last};
        for (int32_t f : frames)
            EXPECT_EQ(show(f), f) << "frame " << f;
        video_player_seek(p, c.duration);
        settled();
        for (int32_t f = 0; f < 8; f++)
            EXPECT_EQ(show(f), f) << "after the wrap, frame " << f;
        int32_t w = 0, h = 0;
        settled(&w, &h);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
    }
}

// The last column and row of an odd-sized frame match ffmpeg's own conversion.
TEST_F(VideoPlayerTest, OddSizesKeepTheirLastColumnAndRow)
{
    for (const char* name : {"odd_ffv1.mkv", "odd_h264.mp4"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(open(name), VIDEO_READY);
        ASSERT_EQ(show(0), 0);
        std::string cmd = "ffmpeg -v error -i " + dir + "/" + name + " -frames:v 1 -f rawvideo -pix_fmt bgr0 -";
        std::vector<uint8_t> want(321 * 241 * 4);
        FILE* f = popen(cmd.c_str(), "r");
        ASSERT_NE(f, nullptr);
        size_t got = fread(want.data(), 1, want.size(), f);
        pclose(f);
        ASSERT_EQ(got, want.size());
        int32_t w = 0, h = 0;
        const uint8_t* px = video_player_lock_frame(p, &w, &h, nullptr, nullptr);
        ASSERT_TRUE(px && w == 321 && h == 241);
        int worst = 0;
        for (int i = 0; i < 321 + 241; i++) {
            size_t at = i < 321 ? ((size_t)240 * 321 + i) * 4 : ((size_t)(i - 321) * 321 + 320) * 4;
            for (int k = 0; k < 3; k++)
                worst = std::max(worst, std::abs(px[at + k] - want[at + k]));
        }
        video_player_unlock_frame(p);
        EXPECT_LE(worst, 24);
    }
}

TEST_F(VideoPlayerTest, TheRotationIsTheClockwiseTurnForDisplay)
{
    const std::pair<const char*, int32_t> cases[] = {
        {"h264.mp4", 0}, {"rot90.mp4", 270}, {"rot180.mp4", 180}, {"rot270.mp4", 90}};
    for (const auto& [name, rotation] : cases) {
        ASSERT_EQ(open(name), VIDEO_READY) << name;
        int32_t r = -1;
        show(5);
        settled(nullptr, nullptr, &r);
        EXPECT_EQ(r, rotation) << name;
    }
}

// Each fails without a frame, and none holds the worker: the player opens a good file
// straight after.
TEST_F(VideoPlayerTest, FilesThatCannotPlayFailWithoutAFrameOrAHang)
{
    for (const char* name : {"audio_only.mp4", "cut_no_index.mp4", "zero.mp4", "text.mp4", "fifo.mp4"}) {
        SCOPED_TRACE(name);
        auto start = Clock::now();
        EXPECT_EQ(open(name), VIDEO_FAILED);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(settled(), -2);
        EXPECT_EQ(video_player_duration(p), 0.0);
    }
    EXPECT_EQ(open("ffv1.mkv"), VIDEO_READY);
}

// A file cut short opens with the length it claims and shows what it holds; one
// with damaged bytes keeps showing pictures.
TEST_F(VideoPlayerTest, DamagedFilesPlayWhatTheyHold)
{
    ASSERT_EQ(open("cut.mp4"), VIDEO_READY);
    EXPECT_NEAR(video_player_duration(p), 4.0, 1.0 / 30);
    EXPECT_EQ(show(30), 30);
    EXPECT_EQ(show(100), 30) << "past the cut the last frame shown stays";
    EXPECT_EQ(show(5), 5);

    ASSERT_EQ(open("flipped.mp4"), VIDEO_READY);
    uint32_t first = 0, serial = 0;
    video_player_lock_frame(p, nullptr, nullptr, nullptr, &first);
    video_player_unlock_frame(p);
    for (int f = 0; f < 240; f++) {
        video_player_seek(p, std::fmod((f + 0.5) / 30.0, 4.0));
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    video_player_lock_frame(p, nullptr, nullptr, nullptr, &serial);
    video_player_unlock_frame(p);
    EXPECT_GT(serial - first, 60u);
}

TEST_F(VideoPlayerTest, CloseLeavesNoFrameAndANewSerial)
{
    ASSERT_EQ(open("ffv1.mkv"), VIDEO_READY);
    ASSERT_EQ(show(3), 3);
    uint32_t before = 0, after = 0;
    video_player_lock_frame(p, nullptr, nullptr, nullptr, &before);
    video_player_unlock_frame(p);
    video_player_close(p);
    auto until = Clock::now() + std::chrono::seconds(5);
    while (video_player_state(p) != VIDEO_NONE && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    int32_t w = -1, h = -1;
    const uint8_t* px = video_player_lock_frame(p, &w, &h, nullptr, &after);
    video_player_unlock_frame(p);
    EXPECT_EQ(video_player_state(p), VIDEO_NONE);
    EXPECT_EQ(px, nullptr);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(after, before + 1);
    EXPECT_EQ(video_player_duration(p), 0.0);
}

}  // namespace
