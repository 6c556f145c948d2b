// Writers: exact header bytes, sample conversion and rate rounding, checked writes.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "audio/loop_file.h"
#include "audio/wav_write.h"
#include "media_fixture.h"

using fixture::Bytes;

static std::vector<uint8_t> head_of(const std::vector<uint8_t>& file, size_t n)
{
    return std::vector<uint8_t>(file.begin(), file.begin() + (long)std::min(n, file.size()));
}

static int16_t pcm_at(const std::vector<uint8_t>& file, size_t offset)
{
    return (int16_t)(uint16_t)(file[offset] | file[offset + 1] << 8);
}

TEST(WavWriters, LoopExportHas44ByteHeaderAndClampsSamplesTowardZero)
{
    fixture::TempDir dir;
    fixture::LoopEngine eng;
    ASSERT_NE(eng.e, nullptr);
    eng.e->sample_rate = 44100.9;
    eng.set_loop({1.5f, 0.99999f, NAN, 0.25f}, {-1.5f, -0.5f, 0.0f, -0.25f});
    std::string path = dir.file("loop.wav");
    ASSERT_TRUE(loop_write_wav16(eng.e, path.c_str()));

    std::vector<uint8_t> f = fixture::read_file(path);
    ASSERT_EQ(f.size(), 44u + 16u);
    Bytes want;
    want.tag("RIFF").u32(16 + 36).tag("WAVE").tag("fmt ").u32(16).u16(1).u16(2);
    want.u32(44100).u32(44100 * 4).u16(4).u16(16).tag("data").u32(16);
    EXPECT_EQ(head_of(f, 44), want.v);
    EXPECT_EQ(pcm_at(f, 44), 32767);
    EXPECT_EQ(pcm_at(f, 46), -32767);
    EXPECT_EQ(pcm_at(f, 48), 32766);
    EXPECT_EQ(pcm_at(f, 50), -16383);
    EXPECT_EQ(pcm_at(f, 52), 0);          // NaN
    EXPECT_EQ(pcm_at(f, 56), 8191);
    EXPECT_EQ(pcm_at(f, 58), -8191);

    // Other readers agree with the layout.
    EXPECT_EQ(fixture::run("test \"$(sox --i -r " + fixture::quote(path) + ")\" = 44100"), 0);
    EXPECT_EQ(fixture::run("test \"$(sox --i -s " + fixture::quote(path) + ")\" = 4"), 0);
    EXPECT_EQ(fixture::run("/usr/bin/python3 -c \"import wave,sys; w=wave.open(sys.argv[1]); "
                           "sys.exit(0 if (w.getnchannels(),w.getsampwidth(),w.getframerate(),"
                           "w.getnframes())==(2,2,44100,4) else 1)\" " + fixture::quote(path)),
              0);
}

TEST(WavWriters, EmptyLoopIsNotExported)
{
    fixture::TempDir dir;
    fixture::LoopEngine eng;
    ASSERT_NE(eng.e, nullptr);
    std::string path = dir.file("none.wav");
    EXPECT_FALSE(loop_write_wav16(eng.e, path.c_str()));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(WavWriters, SessionTakeHas46ByteFloatHeader)
{
    fixture::TempDir dir;
    fixture::LoopEngine eng;
    ASSERT_NE(eng.e, nullptr);
    eng.e->sample_rate = 44100.9;
    eng.set_loop({0.5f, -0.75f, 1.5f}, {0.125f, 2.0f, -3.0f});
    std::string path = dir.file("take.wav");
    ASSERT_TRUE(loop_write_wav_float(eng.e, path.c_str()));

    std::vector<uint8_t> f = fixture::read_file(path);
    ASSERT_EQ(f.size(), 46u + 24u);
    Bytes want;
    want.tag("RIFF").u32(24 + 38).tag("WAVE").tag("fmt ").u32(18).u16(3).u16(2);
    want.u32(44100).u32(44100 * 8).u16(8).u16(32).u16(0).tag("data").u32(24);
    EXPECT_EQ(head_of(f, 46), want.v);
    float s[6];
    std::memcpy(s, f.data() + 46, sizeof s);
    EXPECT_EQ(s[0], 0.5f);
    EXPECT_EQ(s[1], 0.125f);
    EXPECT_EQ(s[4], 1.5f);      // floats are stored unclamped
    EXPECT_EQ(s[5], -3.0f);
    EXPECT_EQ(fixture::run("test \"$(sox --i -s " + fixture::quote(path) + ")\" = 3"), 0);
}

TEST(WavWriters, FloatFileWithFactChunkRoundsTheRate)
{
    fixture::TempDir dir;
    std::vector<float> x = {0.1f, 0.2f, 0.3f, -0.1f, -0.2f, -0.3f};
    struct Case { double rate; uint32_t written; } cases[] = {{48000.4, 48000}, {44099.6, 44100}};
    for (const Case& c : cases) {
        std::string path = dir.file("bar.wav");
        ASSERT_TRUE(wav_write_float(path.c_str(), x.data(), 3, 2, c.rate));
        std::vector<uint8_t> f = fixture::read_file(path);
        ASSERT_EQ(f.size(), 58u + 24u);
        Bytes want;
        want.tag("RIFF").u32(24 + 50).tag("WAVE").tag("fmt ").u32(18).u16(3).u16(3);
        want.u32(c.written).u32(c.written * 12).u16(12).u16(32).u16(0);
        want.tag("fact").u32(4).u32(2).tag("data").u32(24);
        EXPECT_EQ(head_of(f, 58), want.v) << c.rate;
        EXPECT_EQ(std::memcmp(f.data() + 58, x.data(), 24), 0);
        EXPECT_EQ(fixture::run("test \"$(sox --i -r " + fixture::quote(path) + ")\" = " +
                               std::to_string(c.written)), 0);
    }
    EXPECT_FALSE(wav_write_float(dir.file("z.wav").c_str(), x.data(), 3, 0, 48000.0));
    EXPECT_FALSE(wav_write_float("", x.data(), 3, 2, 48000.0));
    EXPECT_FALSE(wav_write_float(dir.file("z.wav").c_str(), nullptr, 3, 2, 48000.0));
}

// The size fields must never wrap: the whole file stays within 4 GiB and every
// header field within its width.
TEST(WavWriters, FloatFileLimitsKeepEveryHeaderFieldInRange)
{
    const int64_t max_data = 0xFFFFFFFFll - 58;               // 4,294,967,237 bytes
    EXPECT_TRUE(wav_float_fits(1, max_data / 4, 48000.0));     // 4,294,967,236 bytes
    EXPECT_FALSE(wav_float_fits(1, max_data / 4 + 1, 48000.0));
    EXPECT_FALSE(wav_float_fits(1, 0xFFFFFFF0ll / 4, 48000.0));  // wrapped the RIFF size
    EXPECT_TRUE(wav_float_fits(2, max_data / 8, 48000.0));
    EXPECT_FALSE(wav_float_fits(2, max_data / 8 + 1, 48000.0));
    EXPECT_FALSE(wav_float_fits(1, (int64_t)1 << 62, 48000.0));
    EXPECT_TRUE(wav_float_fits(16383, 1, 48000.0));            // block align 65,532
    EXPECT_FALSE(wav_float_fits(16384, 1, 48000.0));
    EXPECT_TRUE(wav_float_fits(1, 1, 1073741823.0));           // byte rate just fits
    EXPECT_FALSE(wav_float_fits(1, 1, 1073741824.0));
    EXPECT_FALSE(wav_float_fits(1, 1, 0.4));                   // rounds to 0
    EXPECT_FALSE(wav_float_fits(1, 1, NAN));
    EXPECT_FALSE(wav_float_fits(1, 1, INFINITY));
    EXPECT_FALSE(wav_float_fits(0, 1, 48000.0));
}

TEST(WavWriters, WriteToFullDeviceFailsAndLeavesTheDevice)
{
    fixture::TempDir dir;
    fixture::LoopEngine eng;
    ASSERT_NE(eng.e, nullptr);
    std::vector<float> left(3000, 0.25f), right(3000, -0.25f);
    eng.set_loop(left, right);
    std::string link = dir.file("full.wav");
    ASSERT_EQ(symlink("/dev/full", link.c_str()), 0);

    EXPECT_FALSE(loop_write_wav16(eng.e, link.c_str()));       // 12 KB: short fwrite
    EXPECT_FALSE(loop_write_wav_float(eng.e, link.c_str()));
    std::vector<float> small(20, 0.5f);                        // fits the stdio buffer:
    EXPECT_FALSE(wav_write_float(link.c_str(), small.data(), 2, 10, 48000.0));  // only the close fails
    eng.e->length.store(10);
    EXPECT_FALSE(loop_write_wav16(eng.e, link.c_str()));

    struct stat st;
    ASSERT_EQ(stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

// A write past the file size limit fails part way: the partial file must go.
TEST(WavWriters, FailedExportRemovesThePartialFile)
{
    fixture::TempDir dir;
    fixture::LoopEngine eng;
    ASSERT_NE(eng.e, nullptr);
    std::vector<float> left(48000, 0.25f), right(48000, -0.25f);
    eng.set_loop(left, right);
    std::string paths[3] = {dir.file("a.wav"), dir.file("b.wav"), dir.file("c.wav")};
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {50000, 50000};
        setrlimit(RLIMIT_FSIZE, &lim);
        int failures = 0;
        failures += !loop_write_wav16(eng.e, paths[0].c_str());
        failures += !loop_write_wav_float(eng.e, paths[1].c_str());
        failures += !wav_write_float(paths[2].c_str(), left.data(), 1, 48000, 48000.0);
        _exit(failures);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    for (const std::string& p : paths)
        EXPECT_FALSE(std::filesystem::exists(p)) << p;
}
