// Load jobs on their loader threads: release at any moment frees each job once,
// progress never falls, the finished overview matches the file's samples, and shutdown
// waits for running loaders within its bound.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "audio/audiofile_loader.h"
#include "audio/wav_write.h"
#include "media_fixture.h"
#include "support/test_wait.h"

namespace {

using Clock = std::chrono::steady_clock;

// One FLAC of the test signal shared by the tests of this process.
const std::string& flac_fixture(void)
{
    static fixture::TempDir dir;
    static std::string path;
    if (path.empty()) {
        std::vector<float> x = fixture::signal(2, 48000, 8 * 48000);
        std::string src = dir.file("src.wav");
        EXPECT_TRUE(wav_write_float(src.c_str(), x.data(), 2, 8 * 48000, 48000.0));
        path = dir.file("signal.flac");
        EXPECT_EQ(fixture::run("ffmpeg -v error -y -i " + src + " -c:a flac " + path), 0);
    }
    return path;
}

// Ten minutes of silence: long enough that a job is still decoding when shut down.
const std::string& long_fixture(void)
{
    static fixture::TempDir dir;
    static std::string path;
    if (path.empty()) {
        path = dir.file("long.flac");
        EXPECT_EQ(fixture::run("ffmpeg -v error -y -f lavfi -i anullsrc=r=48000:cl=stereo -t 600 -c:a flac " + path), 0);
    }
    return path;
}

bool wait_loaders_idle(int ms)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (audiofile_loader_running() > 0 && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return audiofile_loader_running() == 0;
}

}   // namespace

TEST(LoadJobThreads, ReleaseAtAnyMomentFreesEveryJobOnce)
{
    const std::string& path = flac_fixture();
    for (int moment = 0; moment < 3; moment++) {
        for (int round = 0; round < 100; round++) {
            AudioLoadJob* job = audiofile_loader_start(path.c_str());
            ASSERT_NE(job, nullptr);
            float progress = 0.0f, last = 0.0f, duration;
            float out[32];
            // 0: at once; 1: after the first progress; 2: near the end (or when done).
            float until = moment == 0 ? -1.0f : moment == 1 ? 0.0f : 0.9f;
            auto end = Clock::now() + std::chrono::seconds(10);
            while (until >= 0.0f && Clock::now() < end) {
                int state = audiofile_loader_poll(job, out, 32, &progress, &duration);
                ASSERT_GE(progress, last);
                last = progress;
                if (progress > until || state != 0)
                    break;
                std::this_thread::yield();
            }
            audiofile_loader_release(job);
        }
        EXPECT_TRUE(wait_loaders_idle(TEST_WAIT_SECONDS * 1000)) << "moment " << moment;
    }
}

TEST(LoadJobThreads, FinishedOverviewMatchesThePeaksOfTheSamples)
{
    const std::string& path = flac_fixture();
    std::vector<float> ref = fixture::ffmpeg_f32(path);
    ASSERT_EQ(ref.size(), (size_t)8 * 48000 * 2);
    AudioLoadJob* job = audiofile_loader_start(path.c_str());
    ASSERT_NE(job, nullptr);
    const int n = 200;
    float out[n], progress = 0.0f, last = 0.0f, duration = 0.0f;
    int state = 0;
    auto end = Clock::now() + std::chrono::seconds(TEST_WAIT_SECONDS);
    while ((state = audiofile_loader_poll(job, out, n, &progress, &duration)) == 0 && Clock::now() < end) {
        ASSERT_GE(progress, last);
        last = progress;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(state, 1);
    EXPECT_EQ(progress, 1.0f);
    EXPECT_FLOAT_EQ(duration, 8.0f);

    // The same columns from the samples: 384,000 frames in columns of max(384000 / 4096,
    // 256) = 256 frames, 1,501 columns spread over the poll, normalised.
    int64_t frames = (int64_t)ref.size() / 2, block = 256, span = frames / block + 1;
    std::vector<float> cols((size_t)span, 0.0f);
    for (int64_t f = 0; f < frames; f++)
        for (int c = 0; c < 2; c++)
            cols[(size_t)(f / block)] = std::max(cols[(size_t)(f / block)], std::fabs(ref[(size_t)(f * 2 + c)]));
    std::vector<float> want(n, 0.0f);
    float top = 0.0f;
    for (int i = 0; i < n; i++) {
        int64_t a = (int64_t)i * span / n, b = std::max(a + 1, (int64_t)(i + 1) * span / n);
        for (int64_t c = a; c < b; c++)
            want[i] = std::max(want[i], cols[(size_t)c]);
        top = std::max(top, want[i]);
    }
    for (int i = 0; i < n; i++)
        EXPECT_FLOAT_EQ(out[i], want[i] / top) << i;
    audiofile_loader_release(job);
    EXPECT_TRUE(wait_loaders_idle(TEST_WAIT_SECONDS * 1000));
}

TEST(LoadJobThreads, ShutdownCancelsRunningJobs)
{
    const std::string& path = long_fixture();
    AudioLoadJob* jobs[8];
    for (AudioLoadJob*& j : jobs) {
        j = audiofile_loader_start(path.c_str());
        ASSERT_NE(j, nullptr);
    }
    // Ended by the cancel, not by decoding ten minutes to the end.
    EXPECT_TRUE(audiofile_loader_shutdown(TEST_WAIT_SECONDS * 1000));
    EXPECT_EQ(audiofile_loader_running(), 0);
    for (AudioLoadJob* j : jobs) {
        EXPECT_EQ(audiofile_loader_poll(j, nullptr, 0, nullptr, nullptr), -1);   // cancelled
        audiofile_loader_release(j);
    }
}
