// WAV reader and duration probe: every PCM and float width, extensible files, lying and
// cut headers, codings left to the general decoder, and files that are not files.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "audio/audiofile.h"
#include "audio/audiofile_sink.h"
#include "audio/loop_file.h"
#include "audio/sample_buffer.h"
#include "audio/wav_read.h"
#include "media_fixture.h"

using fixture::WavSpec;

struct ReadResult {
    int code;
    std::string err;
    SampleBuffer buf;
    int64_t capacity;
};

static ReadResult read_wav(const std::string& path)
{
    ReadResult r{};
    char err[64] = "";
    AudioSink sink = audiofile_buffer_sink(&r.buf);
    r.code = wav_read(path.c_str(), &sink, nullptr, err, sizeof err);
    r.capacity = sink.capacity;
    r.err = err;
    audiofile_sink_release(&sink);
    return r;
}

static std::string put(const fixture::TempDir& dir, const char* name, const std::vector<uint8_t>& b)
{
    std::string p = dir.file(name);
    EXPECT_TRUE(fixture::write_file(p, b));
    return p;
}

// Every width and layout, as other programs write them, against ffmpeg's own reading.
TEST(WavRead, FilesMadeBySoxAndFfmpegMatchFfmpegsSamples)
{
    fixture::TempDir dir;
    std::string src = dir.file("src.wav");
    ASSERT_EQ(fixture::run("sox -D -n -r 44100 -c 2 -b 16 " + src + " synth 0.3 sine 997 sine 440"), 0);
    const char* made[] = {
        "sox -D {src} -b 8 {out}",                      // unsigned 8-bit
        "sox -D {src} -t wavpcm -b 24 {out}",           // plain 24-bit
        "sox -D {src} -t wavpcm -e float -b 32 {out}",  // plain float
        "sox -D {src} -b 24 {out}",                     // extensible 24-bit (sox)
        "sox -D {src} -c 6 {out}",                      // extensible, 6 channels
        "ffmpeg -v error -y -i {src} -c:a pcm_s32le {out}",   // extensible + LIST chunk
        "ffmpeg -v error -y -i {src} -c:a pcm_f32le {out}",   // extensible float + fact
        "ffmpeg -v error -y -i {src} -c:a pcm_f64le {out}",
    };
    for (const char* tmpl : made) {
        std::string cmd = tmpl, out = dir.file("made.wav");
        cmd.replace(cmd.find("{src}"), 5, src);
        cmd.replace(cmd.find("{out}"), 5, out);
        ASSERT_EQ(fixture::run(cmd), 0) << cmd;
        std::vector<float> ref = fixture::ffmpeg_f32(out);
        ReadResult r = read_wav(out);
        SCOPED_TRACE(cmd);
        ASSERT_EQ(r.code, 0) << r.err;
        ASSERT_EQ((size_t)(r.buf.frames * r.buf.channels), ref.size());
        for (size_t i = 0; i < ref.size(); i++)
            ASSERT_NEAR(r.buf.samples[i], ref[i], 1e-7) << i;
        sample_buffer_free(&r.buf);
    }
}

TEST(WavRead, SizeFieldsAreReadUpToWhatTheFileHolds)
{
    fixture::TempDir dir;
    std::vector<float> x = fixture::signal(2, 48000, 300);
    std::vector<uint8_t> data = fixture::encode(x, 2, false);
    for (int64_t declared : {(int64_t)0, (int64_t)0xFFFFFFFF, (int64_t)0x7FFFF000}) {
        WavSpec s;
        s.data_size = declared;
        ReadResult r = read_wav(put(dir, "s.wav", fixture::wav(s, data)));
        EXPECT_EQ(r.code, 0) << declared;
        EXPECT_EQ(r.buf.frames, 300) << declared;
        EXPECT_LE(r.capacity, 300 + 8192) << declared;
        sample_buffer_free(&r.buf);
    }
    // A 100-byte file that claims almost 4 GiB reserves only for what it holds.
    WavSpec s;
    s.data_size = 0xFFFFFFF0;
    std::vector<uint8_t> small = fixture::wav(s, std::vector<uint8_t>(56, 0x11));
    ASSERT_EQ(small.size(), 100u);
    ReadResult r = read_wav(put(dir, "lie.wav", small));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.buf.frames, 14);
    EXPECT_LE(r.capacity, 14 + 8192);
    sample_buffer_free(&r.buf);

    // sox writing to a pipe cannot seek back: it declares 0x7FFFF000 data bytes.
    std::string piped = dir.file("piped.wav");
    ASSERT_EQ(fixture::run("(sox -n -r 48000 -c 2 -b 16 -t wav - synth 0.5 sine 997 | cat > " + piped + ")"), 0);
    r = read_wav(piped);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.buf.frames, 24000);
    EXPECT_LE(r.capacity, 24000 + 8192);
    EXPECT_NEAR(wav_duration_seconds(piped.c_str()), 0.5f, 1e-6);
    sample_buffer_free(&r.buf);
}

TEST(WavRead, OddChunksAreSkippedWithTheirPadByte)
{
    fixture::TempDir dir;
    std::vector<uint8_t> data = fixture::encode(fixture::signal(1, 8000, 10), 2, false);
    fixture::Bytes b;
    b.tag("RIFF").u32(0).tag("WAVE");
    b.tag("junk").u32(3).raw({1, 2, 3}).zeros(1);
    b.tag("fmt ").u32(16).u16(1).u16(1).u32(8000).u32(16000).u16(2).u16(16);
    b.tag("LIST").u32(5).raw({'I', 'N', 'F', 'O', 0}).zeros(1);
    b.tag("data").u32((uint32_t)data.size()).raw(data);
    ReadResult r = read_wav(put(dir, "odd.wav", b.v));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.buf.frames, 10);
    EXPECT_EQ(r.buf.sample_rate, 8000.0);
    sample_buffer_free(&r.buf);
}

TEST(WavRead, CutFilesKeepTheFramesPresentOrFailTruncated)
{
    fixture::TempDir dir;
    std::vector<uint8_t> full = fixture::wav(WavSpec{}, fixture::encode(fixture::signal(2, 48000, 100), 2, false));
    std::vector<uint8_t> mid(full.begin(), full.begin() + 44 + 41 * 4 + 3);   // 41 frames and a bit
    ReadResult r = read_wav(put(dir, "mid.wav", mid));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.buf.frames, 41);
    sample_buffer_free(&r.buf);

    std::vector<uint8_t> none(full.begin(), full.begin() + 44 + 3);
    r = read_wav(put(dir, "none.wav", none));
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(r.err, "TRUNCATED");
    EXPECT_EQ(r.buf.samples, nullptr);

    std::vector<uint8_t> in_fmt(full.begin(), full.begin() + 30);
    r = read_wav(put(dir, "fmt.wav", in_fmt));
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(r.err, "TRUNCATED");
}

TEST(WavRead, CodingsTheReaderDoesNotHandleAreLeftToTheGeneralDecoder)
{
    fixture::TempDir dir;
    std::vector<uint8_t> four(64, 0);
    auto expect = [&](const std::string& path, int code, const char* word) {
        ReadResult r = read_wav(path);
        EXPECT_EQ(r.code, code) << path;
        EXPECT_EQ(r.err, word) << path;
        EXPECT_EQ(r.buf.samples, nullptr);
    };
    WavSpec f3;
    f3.tag = 3;
    f3.bits = 24;
    expect(put(dir, "f24.wav", fixture::wav(f3, std::vector<uint8_t>(60, 0))), -2, "SAMPLE SIZE NOT SUPPORTED");
    WavSpec zero_ch;
    zero_ch.channels = 0;
    expect(put(dir, "c0.wav", fixture::wav(zero_ch, four)), -2, "WAV CODEC NOT SUPPORTED");
    WavSpec zero_rate;
    zero_rate.rate = 0;
    expect(put(dir, "r0.wav", fixture::wav(zero_rate, four)), -2, "WAV CODEC NOT SUPPORTED");
    WavSpec odd_ext;
    odd_ext.tag = 0xFFFE;
    odd_ext.sub_tag = 2;      // ADPCM sub-format
    expect(put(dir, "ext.wav", fixture::wav(odd_ext, four)), -2, "WAV CODEC NOT SUPPORTED");

    // A 14-byte fmt chunk (the old WAVEFORMAT) has no bits field at all.
    fixture::Bytes b;
    b.tag("RIFF").u32(0).tag("WAVE").tag("fmt ").u32(14).u16(1).u16(1).u32(8000).u32(8000).u16(1);
    b.tag("data").u32(16).zeros(16);
    expect(put(dir, "fmt14.wav", b.v), -2, "WAV CODEC NOT SUPPORTED");

    fixture::Bytes nofmt;
    nofmt.tag("RIFF").u32(0).tag("WAVE").tag("data").u32(4).zeros(4);
    expect(put(dir, "nofmt.wav", nofmt.v), -2, "NO FMT CHUNK");
    fixture::Bytes nodata;
    nodata.tag("RIFF").u32(0).tag("WAVE").tag("fmt ").u32(16).u16(1).u16(1).u32(8000).u32(16000).u16(2).u16(16);
    expect(put(dir, "nodata.wav", nodata.v), -2, "NO DATA CHUNK");
    WavSpec s;
    expect(put(dir, "empty.wav", fixture::wav(s, {})), -2, "EMPTY");
    expect(put(dir, "text.wav", {'h', 'e', 'l', 'l', 'o'}), -2, "NOT A WAV");
    expect(dir.file("missing.wav"), -1, "FILE NOT FOUND");

    std::string src = dir.file("src.wav"), adpcm = dir.file("adpcm.wav"), rf64 = dir.file("rf64.wav");
    ASSERT_EQ(fixture::run("sox -n -r 48000 -c 2 -b 16 " + src + " synth 0.2 sine 997"), 0);
    ASSERT_EQ(fixture::run("ffmpeg -v error -y -i " + src + " -c:a adpcm_ms " + adpcm), 0);
    ASSERT_EQ(fixture::run("ffmpeg -v error -y -i " + src + " -rf64 always " + rf64), 0);
    expect(adpcm, -2, "WAV CODEC NOT SUPPORTED");
    expect(rf64, -2, "NOT A WAV");
}

TEST(WavRead, ManyChannelsAreReadInBlocksOfAtMostAQuarterMegabyte)
{
    fixture::TempDir dir;
    WavSpec s;
    s.channels = 65535;
    s.bits = 16;
    std::vector<uint8_t> data(65535u * 2u * 5u, 0);
    data[2] = 0xFF;     // channel 1 of frame 0: -1/32768 + ...
    data[3] = 0x7F;
    std::string path = put(dir, "wide.wav", fixture::wav(s, data));

    struct Seen { int64_t frames = 0; int64_t biggest = 0; float ch1 = 0; } seen;
    AudioSinkCallbacks cb = {
        [](void*, int32_t ch, double, int64_t) { return ch == 65535; },
        [](void* ctx, const float* x, int64_t frames) {
            Seen* s = (Seen*)ctx;
            if (s->frames == 0)
                s->ch1 = x[1];
            s->frames += frames;
            s->biggest = std::max<int64_t>(s->biggest, frames * 65535 * 4);
            return true;
        },
        &seen};
    AudioSink sink = audiofile_callback_sink(&cb);
    EXPECT_EQ(wav_read(path.c_str(), &sink, nullptr, nullptr, 0), 0);
    audiofile_sink_release(&sink);
    EXPECT_EQ(seen.frames, 5);
    EXPECT_LE(seen.biggest, 262144);
    EXPECT_NEAR(seen.ch1, 32767.0f / 32768.0f, 1e-6);
}

TEST(WavRead, CancelOrStopAfterTheFirstBlockGivesStopped)
{
    fixture::TempDir dir;
    std::string path = put(dir, "long.wav",
                           fixture::wav(WavSpec{}, fixture::encode(fixture::signal(2, 48000, 20000), 2, false)));
    struct Ctx { std::atomic<int32_t> cancel{0}; int blocks = 0; bool stop = false; } ctx;
    AudioSinkCallbacks cb = {
        nullptr,
        [](void* p, const float*, int64_t) {
            Ctx* c = (Ctx*)p;
            c->blocks++;
            c->cancel.store(1);
            return !c->stop;
        },
        &ctx};
    AudioSink sink = audiofile_callback_sink(&cb);
    EXPECT_EQ(wav_read(path.c_str(), &sink, &ctx.cancel, nullptr, 0), -3);
    EXPECT_EQ(ctx.blocks, 1);
    ctx.cancel.store(0);
    ctx.blocks = 0;
    ctx.stop = true;
    EXPECT_EQ(wav_read(path.c_str(), &sink, nullptr, nullptr, 0), -3);
    EXPECT_EQ(ctx.blocks, 1);
    audiofile_sink_release(&sink);

    // A buffer sink that is cancelled at once keeps nothing.
    SampleBuffer b;
    std::atomic<int32_t> cancel{1};
    EXPECT_EQ(audiofile_load_into(path.c_str(), &b, &cancel, nullptr, 0), -3);
    EXPECT_EQ(b.samples, nullptr);
    EXPECT_EQ(b.frames, 0);
}

TEST(WavDuration, ProbeReadsTheHeaderAndTrustsOnlyThePresentBytes)
{
    fixture::TempDir dir;
    std::vector<uint8_t> data(48000 * 4, 0);
    EXPECT_FLOAT_EQ(wav_duration_seconds(put(dir, "a.wav", fixture::wav(WavSpec{}, data)).c_str()), 1.0f);
    WavSpec zero;
    zero.data_size = 0;
    EXPECT_EQ(wav_duration_seconds(put(dir, "z.wav", fixture::wav(zero, data)).c_str()), 0.0f);
    WavSpec lie;
    lie.data_size = 0xFFFFFFF0;
    EXPECT_FLOAT_EQ(wav_duration_seconds(put(dir, "l.wav", fixture::wav(lie, data)).c_str()), 1.0f);
    WavSpec slow;
    slow.rate = 3;
    slow.channels = 1;
    EXPECT_FLOAT_EQ(wav_duration_seconds(put(dir, "s.wav", fixture::wav(slow, std::vector<uint8_t>(10, 0))).c_str()),
                    5.0f / 3.0f);
    EXPECT_EQ(wav_duration_seconds(put(dir, "t.wav", {'R', 'I', 'F'}).c_str()), 0.0f);
    EXPECT_EQ(wav_duration_seconds(dir.file("missing.wav").c_str()), 0.0f);
}

// A FIFO or a folder with an audio name must be refused, never waited on.
TEST(WavRead, FifosAndFoldersAreRefusedWithoutBlocking)
{
    fixture::TempDir dir;
    std::string wav_fifo = dir.file("x.wav"), mp3_fifo = dir.file("x.mp3"), folder = dir.file("d.wav");
    ASSERT_EQ(mkfifo(wav_fifo.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(mp3_fifo.c_str(), 0600), 0);
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(20);                      // a hang ends the child by SIGALRM
        fixture::LoopEngine eng;
        int bad = 0;
        for (const std::string& p : {wav_fifo, mp3_fifo, folder}) {
            SampleBuffer b;
            AudioSink sink = audiofile_buffer_sink(&b);
            bad += wav_read(p.c_str(), &sink, nullptr, nullptr, 0) != -1;
            bad += audiofile_load_into(p.c_str(), &b, nullptr, nullptr, 0) >= 0;
            bad += wav_duration_seconds(p.c_str()) != 0.0f;
            bad += loop_load_wav(eng.e, p.c_str());
        }
        _exit(bad);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "a reader blocked";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
