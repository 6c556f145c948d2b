// The general decoder: eight kinds of file against ffmpeg's own decoding, the choice
// of reader by extension, and files it must refuse.
#include <gtest/gtest.h>

#include "audio/audiofile.h"
#include "audio/audiofile_sink.h"
#include "audio/mf_decode.h"
#include "audio/sample_buffer.h"
#include "audio/wav_write.h"
#include "media_fixture.h"

namespace {

struct Loaded {
    int code;
    std::string err;
    SampleBuffer buf;
};

Loaded load(const std::string& path, const std::atomic<int32_t>* cancel = nullptr)
{
    Loaded l{};
    char err[64] = "x";
    l.code = audiofile_load_into(path.c_str(), &l.buf, cancel, err, sizeof err);
    l.err = err;
    return l;
}

// The source every coded fixture is made from: 3 s of the test signal, 48 kHz stereo.
std::string make_source(const fixture::TempDir& dir)
{
    std::vector<float> x = fixture::signal(2, 48000, 3 * 48000);
    std::string src = dir.file("source.wav");
    EXPECT_TRUE(wav_write_float(src.c_str(), x.data(), 2, 3 * 48000, 48000.0));
    return src;
}

}   // namespace

TEST(Decode, EightKindsDecodeToFfmpegsOwnSamples)
{
    fixture::TempDir dir;
    std::string src = make_source(dir);
    struct Kind { const char* name; const char* codec; double tol; } kinds[] = {
        {"a.mp3", "-c:a libmp3lame -b:a 192k", 1e-6}, {"a.m4a", "-c:a aac", 1e-6},
        {"a.aac", "-c:a aac", 1e-6},                  {"a.flac", "-c:a flac", 0.0},
        {"a.ogg", "-c:a libvorbis", 1e-6},            {"a.opus", "-c:a libopus", 1e-6},
        {"a.wma", "-c:a wmav2", 1e-6},                {"adpcm.wav", "-c:a adpcm_ms", 0.0},
    };
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.name);
        std::string path = dir.file(k.name);
        ASSERT_EQ(fixture::run("ffmpeg -v error -y -i " + src + " " + k.codec + " " + path), 0);
        std::vector<float> ref = fixture::ffmpeg_f32(path);
        ASSERT_FALSE(ref.empty());
        Loaded l = load(path);
        ASSERT_EQ(l.code, 0) << l.err;
        EXPECT_EQ(l.err, "");
        EXPECT_EQ(l.buf.channels, 2);
        EXPECT_EQ(l.buf.sample_rate, 48000.0);
        ASSERT_EQ((size_t)(l.buf.frames * 2), ref.size());
        double worst = 0.0;
        for (size_t i = 0; i < ref.size(); i++)
            worst = std::max(worst, (double)std::fabs(l.buf.samples[i] - ref[i]));
        EXPECT_LE(worst, k.tol);
        sample_buffer_free(&l.buf);
    }
}

TEST(Decode, ExtensionChoosesTheReaderInAnyCase)
{
    EXPECT_TRUE(audiofile_is_supported("/music/song.WAV"));
    EXPECT_TRUE(audiofile_is_supported("x.Opus"));
    EXPECT_TRUE(audiofile_is_supported("C:\\takes\\a.FLAC"));
    EXPECT_FALSE(audiofile_is_supported("notes.txt"));
    EXPECT_FALSE(audiofile_is_supported("a.b/noext"));
    EXPECT_FALSE(audiofile_is_supported("a.mp3\\noext"));
    EXPECT_FALSE(audiofile_is_supported(".wav/"));
    EXPECT_FALSE(audiofile_is_supported(nullptr));

    fixture::TempDir dir;
    std::vector<float> x = fixture::signal(2, 44100, 1000);
    std::string upper = dir.file("song.WAV");
    ASSERT_TRUE(wav_write_float(upper.c_str(), x.data(), 2, 1000, 44100.0));
    Loaded l = load(upper);
    ASSERT_EQ(l.code, 0) << l.err;
    ASSERT_EQ(l.buf.frames, 1000);
    EXPECT_EQ(std::memcmp(l.buf.samples, x.data(), x.size() * 4), 0);
    sample_buffer_free(&l.buf);

    std::filesystem::create_directories(dir.file("a.b"));
    ASSERT_TRUE(fixture::write_file(dir.file("a.b/noext"), {'R', 'I', 'F', 'F'}));
    ASSERT_TRUE(fixture::write_file(dir.file("notes.txt"), {'h', 'i'}));
    for (const char* name : {"a.b/noext", "notes.txt"}) {
        l = load(dir.file(name));
        EXPECT_EQ(l.code, -2) << name;
        EXPECT_EQ(l.err, "COULDN'T READ THAT FILE") << name;
    }
    SampleBuffer b;
    EXPECT_EQ(audiofile_load_into(nullptr, &b, nullptr, nullptr, 0), -1);
    EXPECT_EQ(audiofile_load_into(upper.c_str(), nullptr, nullptr, nullptr, 0), -1);
}

TEST(Decode, FilesThatAreNotAudioOrChangeFormatAreRefused)
{
    fixture::TempDir dir;
    std::string fake = dir.file("fake.mp3");
    ASSERT_TRUE(fixture::write_file(fake, std::vector<uint8_t>(300, 'a')));
    std::string empty = dir.file("e.flac");
    ASSERT_EQ(fixture::run("ffmpeg -v error -y -f lavfi -i anullsrc=r=48000:cl=stereo -t 0 -c:a flac " + empty), 0);
    // Two chained Ogg streams: 1 s mono 44.1 kHz, then 1 s stereo 48 kHz.
    std::string a = dir.file("a.ogg"), b = dir.file("b.ogg"), chained = dir.file("chained.ogg");
    ASSERT_EQ(fixture::run("ffmpeg -v error -y -f lavfi -i sine=f=440:r=44100 -t 1 -c:a libvorbis " + a), 0);
    ASSERT_EQ(fixture::run("ffmpeg -v error -y -f lavfi -i sine=f=440:r=48000 -t 1 -ac 2 -c:a libvorbis " + b), 0);
    ASSERT_EQ(fixture::run("(cat " + a + " " + b + " > " + chained + ")"), 0);
    // An HLS playlist named .mp3 must not make the decoder open other files or URLs.
    std::string playlist = dir.file("list.mp3");
    std::string text = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n" + a + "\n#EXT-X-ENDLIST\n";
    ASSERT_TRUE(fixture::write_file(playlist, std::vector<uint8_t>(text.begin(), text.end())));

    ASSERT_GT(std::filesystem::file_size(chained), std::filesystem::file_size(a));
    Loaded first = load(a);
    EXPECT_EQ(first.code, 0);            // each part alone decodes
    sample_buffer_free(&first.buf);
    for (const std::string& p : {fake, empty, chained, playlist, dir.file("missing.ogg")}) {
        Loaded l = load(p);
        EXPECT_EQ(l.code, -2) << p;
        EXPECT_EQ(l.err, "COULDN'T READ THAT FILE") << p;
        EXPECT_EQ(l.buf.samples, nullptr) << p;
        EXPECT_EQ(l.buf.frames, 0) << p;
    }
}

TEST(Decode, CutFilesLoadWhatTheyHoldAndDamagedSamplesBecomeZero)
{
    fixture::TempDir dir;
    std::string src = make_source(dir);
    for (const char* name : {"c.mp3", "c.flac", "c.ogg", "c.m4a"}) {
        std::string path = dir.file(name);
        ASSERT_EQ(fixture::run("ffmpeg -v error -y -i " + src + " " + path), 0);
        std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
        Loaded l = load(path);      // whatever it gives, safely
        if (l.code == 0)
            EXPECT_LT(l.buf.frames, 3 * 48000 + 4096) << name;
        else
            EXPECT_EQ(l.buf.samples, nullptr) << name;
        sample_buffer_free(&l.buf);
    }

    // RF64 goes past the own reader to the general decoder, whose NaN must not pass.
    std::vector<float> x = {NAN, 0.5f, INFINITY, -0.5f};
    std::string plain = dir.file("nan.wav"), rf64 = dir.file("nan64.wav");
    ASSERT_TRUE(wav_write_float(plain.c_str(), x.data(), 2, 2, 48000.0));
    ASSERT_EQ(fixture::run("ffmpeg -v error -y -i " + plain + " -c:a copy -rf64 always " + rf64), 0);
    Loaded l = load(rf64);
    ASSERT_EQ(l.code, 0) << l.err;
    ASSERT_EQ(l.buf.frames, 2);
    EXPECT_EQ(l.buf.samples[0], 0.0f);
    EXPECT_EQ(l.buf.samples[1], 0.5f);
    EXPECT_EQ(l.buf.samples[2], 0.0f);
    sample_buffer_free(&l.buf);
}

TEST(Decode, CancelAndSinkStopEndTheDecodeAndFreeTheBuffer)
{
    fixture::TempDir dir;
    std::string src = make_source(dir), path = dir.file("s.ogg");
    ASSERT_EQ(fixture::run("ffmpeg -v error -y -i " + src + " -c:a libvorbis " + path), 0);
    std::atomic<int32_t> cancel{1};
    Loaded l = load(path, &cancel);
    EXPECT_EQ(l.code, -3);
    EXPECT_EQ(l.buf.samples, nullptr);

    struct Ctx { std::atomic<int32_t> cancel{0}; int blocks = 0; int64_t expected = 0; } ctx;
    AudioSinkCallbacks cb = {
        [](void* p, int32_t, double, int64_t expected) {
            ((Ctx*)p)->expected = expected;
            return true;
        },
        [](void* p, const float*, int64_t) {
            Ctx* c = (Ctx*)p;
            c->cancel.store(1);
            return ++c->blocks < 1;
        },
        &ctx};
    AudioSink sink = audiofile_callback_sink(&cb);
    EXPECT_EQ(mf_decode_file(path.c_str(), &sink, &ctx.cancel, nullptr, 0), -3);
    EXPECT_EQ(ctx.blocks, 1);
    EXPECT_GT(ctx.expected, 3 * 48000 - 2048);
    audiofile_sink_release(&sink);
}
