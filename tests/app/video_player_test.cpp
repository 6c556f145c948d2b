// The video player on real files through FFmpeg and its worker: each codec opens with
// its duration and shows the frame at the target over steps, jumps, the end and wraps;
// odd sizes, rotations, files that cannot play, damaged ones, and close.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/video_player.h"
#include "support/test_wait.h"
#include "support/video_fixtures.h"

namespace {

// What the frame shows.
struct Shown {
    int32_t number = -2;         // the strip; -2 without a frame
    int32_t w = 0, h = 0, rotation = 0;
    uint32_t serial = 0;
};

class VideoPlayerTest : public ::testing::Test {
protected:
    std::string dir = video_fixture_dir();
    VideoPlayer* p = nullptr;

    void SetUp() override
    {
        if (dir.empty())
            GTEST_SKIP() << "no ffmpeg to make the video files";
        ASSERT_NE(p = video_player_create(), nullptr);
    }
    void TearDown() override { video_player_destroy(p); }

    // The state once the worker has answered the open (a minute at most).
    int32_t open(const std::string& name)
    {
        video_player_open(p, (dir + "/" + name).c_str());
        test_wait_until([&] { return video_player_state(p) != VIDEO_OPENING; });
        EXPECT_NE(video_player_state(p), VIDEO_OPENING) << name << " still opening after a minute";
        return video_player_state(p);
    }
    Shown now()
    {
        Shown s;
        const uint8_t* px = video_player_lock_frame(p, &s.w, &s.h, &s.rotation, &s.serial);
        s.number = px ? video_strip_read_frame(px, s.w, s.h) : -2;
        video_player_unlock_frame(p);
        return s;
    }
    // What the frame shows once the worker has delivered the frame for target (a
    // minute at most).
    Shown served(double target)
    {
        double done = -1.0;
        video_player_seek(p, target);
        test_wait_until([&] { return video_player_served(p, &done, nullptr) && done == target; });
        EXPECT_EQ(done, target) << "no frame delivered for " << target << " s within a minute";
        return now();
    }
    int32_t show(int32_t frame) { return served((frame + 0.5) / 30.0).number; }
};

TEST_F(VideoPlayerTest, EachCodecOpensWithItsDurationAndShowsTheFrameAtTheTarget)
{
    const struct {
        const char* file;
        double duration;
        int32_t w, h;
    } cases[] = {
        {"ffv1.mkv", 4, 320, 180},  {"h264.mp4", 4, 640, 360},  {"mpeg4.avi", 3, 320, 180},
        {"vp9.webm", 3, 320, 180},  {"mjpeg.mov", 3, 320, 180}, {"wmv2.wmv", 3, 320, 180},
        {"odd_ffv1.mkv", 2, 321, 241}, {"odd_h264.mp4", 2, 321, 241},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_EQ(open(c.file), VIDEO_READY);
        EXPECT_NEAR(video_player_duration(p), c.duration, 1.0 / 30);
        int32_t last = (int32_t)c.duration * 30 - 1;
        // Forward steps, a jump beyond 1 s, a step back, the end; then past the end, the
        // wrap and steps again: each step after the end shows the next frame.
        for (int32_t f : {0, 1, 2, 3, 40, 41, 12, last - 2, last - 1, last})
            EXPECT_EQ(show(f), f);
        served(c.duration);
        for (int32_t f = 0; f < 8; f++)
            EXPECT_EQ(show(f), f) << "after the wrap";
        Shown s = now();
        EXPECT_EQ(s.w, c.w);
        EXPECT_EQ(s.h, c.h);
    }
}

// The last column and row of an odd-sized frame match ffmpeg's own conversion.
TEST_F(VideoPlayerTest, OddSizesKeepTheirLastColumnAndRow)
{
    for (std::string name : {"odd_ffv1.mkv", "odd_h264.mp4"}) {
        ASSERT_EQ(open(name), VIDEO_READY);
        ASSERT_EQ(show(0), 0);
        std::vector<uint8_t> want(321 * 241 * 4);
        FILE* f = popen(("ffmpeg -v error -i " + dir + "/" + name + " -frames:v 1 -f rawvideo -pix_fmt bgr0 -").c_str(), "r");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(fread(want.data(), 1, want.size(), f), want.size());
        pclose(f);
        int32_t w = 0, h = 0, worst = 0;
        const uint8_t* px = video_player_lock_frame(p, &w, &h, nullptr, nullptr);
        for (int i = 0; px && i < 321 + 241; i++) {
            size_t at = (i < 321 ? (size_t)240 * 321 + i : (size_t)(i - 321) * 321 + 320) * 4;
            for (int k = 0; k < 3; k++)
                worst = std::max(worst, std::abs(px[at + k] - want[at + k]));
        }
        video_player_unlock_frame(p);
        EXPECT_TRUE(px && w == 321 && h == 241) << name;
        EXPECT_LE(worst, 24) << name;
    }
}

TEST_F(VideoPlayerTest, TheRotationIsTheClockwiseTurnForDisplay)
{
    for (auto [name, rotation] : {std::pair{"h264.mp4", 0}, {"rot90.mp4", 270}, {"rot180.mp4", 180}, {"rot270.mp4", 90}}) {
        ASSERT_EQ(open(name), VIDEO_READY) << name;
        EXPECT_EQ(show(5), 5) << name;
        EXPECT_EQ(now().rotation, rotation) << name;
    }
}

// Each fails without a frame or a hang; a good file opens straight after.
TEST_F(VideoPlayerTest, FilesThatCannotPlayFailWithoutAFrameOrAHang)
{
    for (const char* name : {"audio_only.mp4", "cut_no_index.mp4", "zero.mp4", "text.mp4", "fifo.mp4"}) {
        EXPECT_EQ(open(name), VIDEO_FAILED) << name;
        EXPECT_EQ(now().number, -2) << name;
        EXPECT_EQ(video_player_duration(p), 0.0) << name;
    }
    EXPECT_EQ(open("ffv1.mkv"), VIDEO_READY);
}

// Cut short: the claimed length, the frames it holds. Damaged bytes: pictures keep coming.
TEST_F(VideoPlayerTest, DamagedFilesPlayWhatTheyHold)
{
    ASSERT_EQ(open("cut.mp4"), VIDEO_READY);
    EXPECT_NEAR(video_player_duration(p), 4.0, 1.0 / 30);
    EXPECT_EQ(show(30), 30);
    EXPECT_EQ(show(100), 30) << "past the cut the last frame shown stays";
    EXPECT_EQ(show(5), 5);

    ASSERT_EQ(open("flipped.mp4"), VIDEO_READY);
    uint32_t first = served(0.0).serial;
    for (int f = 0; f < 240; f++) {
        // Each step answered: a new picture, or the worker done with it.
        double target = std::fmod((f + 0.5) / 30.0, 4.0), done = -1.0;
        uint32_t before = now().serial;
        video_player_seek(p, target);
        EXPECT_TRUE(test_wait_until([&] {
            return now().serial != before || (video_player_served(p, &done, nullptr) && done == target);
        })) << "no answer for " << target << " s within a minute";
    }
    EXPECT_GT(now().serial - first, 60u);
}

TEST_F(VideoPlayerTest, CloseLeavesNoFrameAndANewSerial)
{
    ASSERT_EQ(open("ffv1.mkv"), VIDEO_READY);
    Shown before = served(0.0);
    ASSERT_EQ(before.number, 0);
    video_player_close(p);
    test_wait_until([&] { return video_player_state(p) == VIDEO_NONE; });
    ASSERT_EQ(video_player_state(p), VIDEO_NONE) << "not closed within a minute";
    Shown after = now();
    double target = 0.0;
    EXPECT_FALSE(video_player_served(p, &target, nullptr)) << "a closed file has nothing served";
    EXPECT_EQ(after.number, -2);
    EXPECT_EQ(after.w + after.h, 0);
    EXPECT_EQ(after.serial, before.serial + 1);
    EXPECT_EQ(video_player_duration(p), 0.0);
}

}  // namespace
