// media_fixture.h - test media made at test time: WAV bytes put together by hand,
// other kinds through the ffmpeg and sox command-line tools, and reference samples
// decoded by `ffmpeg -f f32le`.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fixture {

// A fresh folder, removed with everything in it at the end of the test.
struct TempDir {
    std::string path;
    TempDir()
    {
        std::random_device rd;
        auto base = std::filesystem::temp_directory_path();
        path = (base / ("tessel-audio-" + std::to_string(rd()) + std::to_string(rd()))).string();
        std::filesystem::create_directories(path);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string file(const std::string& name) const { return path + "/" + name; }
};

// Runs a shell command quietly; returns its exit status.
inline int run(const std::string& cmd)
{
    return std::system((cmd + " >/dev/null 2>&1").c_str());
}

inline std::string quote(const std::string& s)
{
    return "'" + s + "'";
}

inline bool write_file(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

inline std::vector<uint8_t> read_file(const std::string& path)
{
    std::vector<uint8_t> out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

// Little-endian byte builder for hand-made headers.
struct Bytes {
    std::vector<uint8_t> v;
    Bytes& tag(const char* four)
    {
        v.insert(v.end(), four, four + 4);
        return *this;
    }
    Bytes& u16(uint32_t x)
    {
        v.push_back((uint8_t)x);
        v.push_back((uint8_t)(x >> 8));
        return *this;
    }
    Bytes& u32(uint32_t x)
    {
        u16(x & 0xFFFF);
        return u16(x >> 16);
    }
    Bytes& raw(const std::vector<uint8_t>& b)
    {
        v.insert(v.end(), b.begin(), b.end());
        return *this;
    }
    Bytes& zeros(size_t n)
    {
        v.insert(v.end(), n, 0);
        return *this;
    }
};

// Samples in [-1, 1] as WAV data of the given width.
inline std::vector<uint8_t> encode(const std::vector<float>& x, int bytes, bool is_float)
{
    Bytes b;
    for (float s : x) {
        if (is_float && bytes == 4) {
            uint32_t u;
            std::memcpy(&u, &s, 4);
            b.u32(u);
        } else if (is_float) {
            double d = s;
            uint64_t u;
            std::memcpy(&u, &d, 8);
            b.u32((uint32_t)u).u32((uint32_t)(u >> 32));
        } else if (bytes == 1) {
            b.v.push_back((uint8_t)std::lround(s * 127.0 + 128.0));
        } else {
            int64_t full = (int64_t)1 << (8 * bytes - 1);
            int64_t q = std::llround((double)s * (double)(full - 1));
            for (int k = 0; k < bytes; k++)
                b.v.push_back((uint8_t)((uint64_t)q >> (8 * k)));
        }
    }
    return b.v;
}

struct WavSpec {
    uint16_t tag = 1;             // 1 PCM, 3 float, 0xFFFE extensible
    uint16_t sub_tag = 1;         // sub-format of an extensible file
    uint32_t channels = 2;
    uint32_t rate = 48000;
    uint32_t bits = 16;
    int64_t data_size = -1;       // the size field; -1: the data's real size
};

// A whole WAV file: RIFF, fmt (16 bytes, or 40 for extensible), data.
inline std::vector<uint8_t> wav(const WavSpec& s, const std::vector<uint8_t>& data)
{
    uint32_t align = s.channels * ((s.bits + 7) / 8);
    bool ext = s.tag == 0xFFFE;
    uint32_t fmt_size = ext ? 40 : 16;
    Bytes b;
    b.tag("RIFF").u32((uint32_t)(4 + 8 + fmt_size + 8 + data.size())).tag("WAVE");
    b.tag("fmt ").u32(fmt_size).u16(s.tag).u16(s.channels).u32(s.rate).u32(s.rate * align);
    b.u16(align).u16(s.bits);
    if (ext) {
        b.u16(22).u16(s.bits).u32(0).u16(s.sub_tag);
        b.raw({0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
    }
    b.tag("data").u32(s.data_size >= 0 ? (uint32_t)s.data_size : (uint32_t)data.size());
    return b.raw(data).v;
}

// The test signal: a 997 Hz sine at half scale with a short click at every second.
inline std::vector<float> signal(int channels, double rate, int64_t frames)
{
    std::vector<float> x((size_t)(channels * frames));
    for (int64_t i = 0; i < frames; i++) {
        double t = (double)i / rate;
        double v = 0.5 * std::sin(2.0 * M_PI * 997.0 * t);
        if (i % (int64_t)rate < 24)
            v += 0.4;
        for (int c = 0; c < channels; c++)
            x[(size_t)(i * channels + c)] = (float)(c == 1 ? -v : v);
    }
    return x;
}

// Reference samples: ffmpeg's own decode to interleaved 32-bit float.
inline std::vector<float> ffmpeg_f32(const std::string& path)
{
    std::string raw = path + ".ref.f32";
    std::vector<float> out;
    if (run("ffmpeg -v error -y -i " + quote(path) + " -f f32le " + quote(raw)) != 0)
        return out;
    std::vector<uint8_t> b = read_file(raw);
    out.resize(b.size() / 4);
    std::memcpy(out.data(), b.data(), out.size() * 4);
    std::remove(raw.c_str());
    return out;
}

}   // namespace fixture

#include "audio/engine.h"
#include "support/fake_audio.h"

namespace fixture {

// An engine on the scripted audio library with no stream, so loop writes never wait.
struct LoopEngine {
    Engine* e = nullptr;
    LoopEngine()
    {
        fake_audio_reset();
        engine_use_backend(fake_audio_backend(), nullptr);
        e = new Engine();
        if (!engine_init(e)) {
            delete e;
            e = nullptr;
        }
    }
    ~LoopEngine()
    {
        if (e) {
            engine_shutdown(e);
            delete e;
        }
        engine_use_backend(nullptr, nullptr);
    }
    void set_loop(const std::vector<float>& left, const std::vector<float>& right)
    {
        for (size_t i = 0; i < left.size(); i++) {
            e->loop_left[i] = left[i];
            e->loop_right[i] = right[i];
        }
        e->length.store((int32_t)left.size());
    }
};

}   // namespace fixture
