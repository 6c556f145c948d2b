// The WAV reader on any bytes. What it reads has the header's channels and rate, as
// many frames as the header's data size holds, and finite samples (within -1..1 for
// integer data); a failure has its word and leaves the buffer empty. The callback sink
// gets exactly the samples the buffer sink does, and the duration probe agrees with
// the frames read.
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "audio/audiofile_sink.h"
#include "audio/wav_read.h"
#include "fuzz_kit.h"
#include "platform/plat_file.h"
#include "fuzz_wav.h"

namespace {

struct Collected {
    int32_t channels = 0;
    double rate = 0.0;
    std::vector<float> samples;
};

bool on_begin(void* ctx, int32_t channels, double rate, int64_t)
{
    Collected* c = (Collected*)ctx;
    c->channels = channels;
    c->rate = rate;
    return true;
}

bool on_append(void* ctx, const float* interleaved, int64_t frames)
{
    Collected* c = (Collected*)ctx;
    c->samples.insert(c->samples.end(), interleaved, interleaved + frames * c->channels);
    return true;
}

// The block alignment of the last "fmt " chunk before "data" (the one the reader takes); -1 when none.
int64_t block_align(const uint8_t* data, size_t size)
{
    int64_t align = -1;
    size_t at = 12;
    while (size >= 8 && at <= size - 8) {
        uint32_t len = (uint32_t)data[at + 4] | (uint32_t)data[at + 5] << 8 | (uint32_t)data[at + 6] << 16 |
                       (uint32_t)data[at + 7] << 24;
        if (std::memcmp(data + at, "fmt ", 4) == 0)
            align = at + 22 <= size ? (int64_t)(data[at + 20] | data[at + 21] << 8) : -1;
        if (std::memcmp(data + at, "data", 4) == 0)
            return align;
        at += 8 + (size_t)len + (len & 1);
    }
    return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzz_write_file("in.wav", data, size);
    SampleBuffer b;
    int r = fuzz_wav_read(path, &b);

    WavFormat h{};
    FILE* f = plat_file_open_read(path.c_str());
    FUZZ_CHECK(f);
    int head = wav_read_header(f, &h, nullptr);
    std::fclose(f);
    if (r == WAV_OK) {
        FUZZ_CHECK(head == WAV_OK);
        FUZZ_CHECK(b.channels == h.channels && b.sample_rate == (double)h.sample_rate);
        FUZZ_CHECK(b.frames == h.data_bytes / h.frame_bytes);
        bool integer = h.format == 1;
        for (int64_t i = 0; i < b.frames * b.channels; i++) {
            float s = b.samples[i];
            FUZZ_CHECK(std::isfinite(s) && (!integer || std::fabs(s) <= 1.0f));
        }
        // The probe measures frames by the header's block alignment, which the reader
        // does not need, and takes a declared size of 0 as no data: where the headers
        // leave no such doubt, the lengths agree.
        float seconds = wav_duration_seconds(path.c_str());
        if (block_align(data, size) == h.frame_bytes && h.data_declared != 0)
            FUZZ_CHECK(std::fabs(seconds - (float)((double)b.frames / b.sample_rate)) <= 1e-3f * seconds + 1e-6f);
    }

    Collected c;
    AudioSinkCallbacks cb{on_begin, on_append, &c};
    AudioSink sink = audiofile_callback_sink(&cb);
    int r2 = wav_read(path.c_str(), &sink, nullptr, nullptr, 0);
    audiofile_sink_release(&sink);
    FUZZ_CHECK(r2 == r);
    if (r == WAV_OK) {
        FUZZ_CHECK(c.channels == b.channels && c.rate == b.sample_rate);
        FUZZ_CHECK(c.samples.size() == (size_t)(b.frames * b.channels));
        FUZZ_CHECK(c.samples.empty() || std::memcmp(c.samples.data(), b.samples, c.samples.size() * sizeof(float)) == 0);
    }
    sample_buffer_free(&b);
    return 0;
}
