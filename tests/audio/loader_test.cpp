// Load jobs fed directly: column sizes, the spread of columns over a poll, progress and
// duration; and a one-hour file whose job keeps only its peaks.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "audio/audiofile_loader.h"
#include "media_fixture.h"
#include "support/test_wait.h"

namespace {

struct Job {
    AudioLoadJob* j;
    explicit Job(const char* path = "x.wav") : j(audiofile_loader_create(path)) {}
    ~Job() { audiofile_loader_release(j); }
};

// Frames of constant value v on both channels.
std::vector<float> frames_of(int64_t n, float v)
{
    return std::vector<float>((size_t)(n * 2), v);
}

int64_t vm_hwm_kb(void)
{
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6));
    return -1;
}

}   // namespace

TEST(LoadJob, ColumnWidthFollowsTheLengthWhenKnown)
{
    struct Case { int64_t expected; int64_t block; } cases[] = {
        {28800000, 7031}, {-1, 1024}, {0, 1024}, {100000, 256}, {172800000, 42187}};
    for (const Case& c : cases) {
        Job job;
        ASSERT_TRUE(audiofile_loader_begin(job.j, 2, 48000.0, c.expected));
        // One column's worth of frames finishes exactly one column: the second block
        // of frames then shows up as a column of its own.
        std::vector<float> quiet = frames_of(c.block, 0.25f);
        std::vector<float> loud = frames_of(1, 1.0f);
        ASSERT_TRUE(audiofile_loader_append(job.j, quiet.data(), c.block));
        ASSERT_TRUE(audiofile_loader_append(job.j, loud.data(), 1));
        float out[2];
        float progress, duration;
        audiofile_loader_poll(job.j, out, 2, &progress, &duration);
        if (c.expected < 1) {
            // Unknown length: the columns so far fill the whole poll.
            EXPECT_FLOAT_EQ(out[0], 0.25f) << c.expected;
            EXPECT_FLOAT_EQ(out[1], 1.0f) << c.expected;
            EXPECT_EQ(progress, 1.0f);
        }
        EXPECT_GT(out[0], 0.0f) << c.expected;
    }
}

TEST(LoadJob, PollSpreadsFinishedColumnsAndThePartialOneOverTheWholeFile)
{
    Job job;
    ASSERT_TRUE(audiofile_loader_begin(job.j, 2, 1000.0, 2560));    // block 256, span 11
    for (float v : {0.2f, 0.4f, 0.8f}) {
        std::vector<float> col = frames_of(256, 0.0f);
        col[10] = -v;     // one sample of the column, negative
        ASSERT_TRUE(audiofile_loader_append(job.j, col.data(), 256));
    }
    std::vector<float> part = frames_of(100, 0.1f);
    ASSERT_TRUE(audiofile_loader_append(job.j, part.data(), 100));
    float out[100];
    float progress = -1, duration = -1;
    EXPECT_EQ(audiofile_loader_poll(job.j, out, 100, &progress, &duration), 0);
    // Output column i covers job columns i * 11 / 100 up to (i + 1) * 11 / 100.
    for (int i = 0; i < 100; i++) {
        int c = i * 11 / 100;
        float want = c == 0 ? 0.25f : c == 1 ? 0.5f : c == 2 ? 1.0f : c == 3 ? 0.125f : 0.0f;
        EXPECT_FLOAT_EQ(out[i], want) << i;
    }
    EXPECT_FLOAT_EQ(progress, 868.0f / 2560.0f);
    EXPECT_FLOAT_EQ(duration, 2.56f);
}

TEST(LoadJob, NullAndFreshJobsPollEmpty)
{
    float out[4] = {1, 1, 1, 1};
    float progress = 5, duration = 5;
    EXPECT_EQ(audiofile_loader_poll(nullptr, out, 4, &progress, &duration), -1);
    EXPECT_EQ(out[0] + out[3] + progress + duration, 0.0f);
    Job job;
    EXPECT_EQ(audiofile_loader_poll(job.j, out, 4, &progress, &duration), 0);
    EXPECT_EQ(out[0] + out[3] + progress + duration, 0.0f);
    EXPECT_EQ(audiofile_loader_start("notes.txt"), nullptr);
    EXPECT_EQ(audiofile_loader_start(nullptr), nullptr);
    audiofile_loader_release(nullptr);
}

// Runs one job to its end; returns its final state.
static int run_job(const std::string& path, float* duration)
{
    AudioLoadJob* job = audiofile_loader_start(path.c_str());
    if (!job)
        return -1;
    float out[64], progress = 0.0f;
    int state = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while ((state = audiofile_loader_poll(job, out, 64, &progress, duration)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(progress, state == 1 ? 1.0f : progress);
    audiofile_loader_release(job);
    return state;
}

// An hour of stereo: the samples would take 1.4 GB; the job keeps one peak per column,
// so after a short file has paid for the decoder and the thread, an hour costs little
// more. (Sanitizer builds keep freed blocks in quarantine: the bound allows for that.)
TEST(LoadJob, OneHourFileKeepsOnlyItsPeaks)
{
    fixture::TempDir dir;
    std::string hour = dir.file("hour.flac"), second = dir.file("second.flac");
    const std::string make = "ffmpeg -v error -y -f lavfi -i anullsrc=r=48000:cl=stereo -c:a flac -t ";
    ASSERT_EQ(fixture::run(make + "3600 " + hour), 0);
    ASSERT_EQ(fixture::run(make + "1 " + second), 0);
    float duration = 0.0f;
    ASSERT_EQ(run_job(second, &duration), 1);
    int64_t before = vm_hwm_kb();
    ASSERT_EQ(run_job(hour, &duration), 1);
    EXPECT_NEAR(duration, 3600.0f, 0.01f);
    int64_t grown_kb = vm_hwm_kb() - before;
#if defined(__SANITIZE_ADDRESS__)
    const int64_t bound_kb = 160 * 1024;
#else
    const int64_t bound_kb = 16 * 1024;
#endif
    EXPECT_LT(grown_kb, bound_kb) << "peak memory grew by " << grown_kb << " kB";
    RecordProperty("peak_growth_kb", (int)grown_kb);
    EXPECT_TRUE(audiofile_loader_shutdown(TEST_WAIT_SECONDS * 1000));
}
