// The general decoder's entry on any bytes, under each supported file name ending:
// what it decodes has channels, a rate and finite samples; a failure has its word and
// leaves the buffer empty. A file the WAV reader reads loads to exactly what the WAV
// reader gives, whatever its ending says.
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>

#include "audio/audiofile.h"
#include "audio/sample_buffer.h"
#include "audio/wav_read.h"
#include "fuzz_kit.h"
#include "fuzz_wav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const char* const endings[] = {".wav", ".mp3", ".m4a", ".aac", ".flac", ".wma", ".ogg", ".opus"};
    if (size < 1)
        return 0;
    std::string name = std::string("in") + endings[data[0] % 8];
    std::string path = fuzz_write_file(name.c_str(), data + 1, size - 1);
    FUZZ_CHECK(audiofile_is_supported(path.c_str()));

    SampleBuffer b;
    std::atomic<int32_t> cancel{0};
    char err[64] = "stale";
    int r = audiofile_load_into(path.c_str(), &b, &cancel, err, sizeof err);
    if (r == WAV_OK) {
        FUZZ_CHECK(err[0] == '\0');
        FUZZ_CHECK(b.channels >= 1 && b.sample_rate > 0.0 && b.frames >= 1 && b.samples);
        for (int64_t i = 0; i < b.frames * b.channels; i++)
            FUZZ_CHECK(std::isfinite(b.samples[i]));
    } else {
        FUZZ_CHECK(err[0] != '\0' && std::strcmp(err, "stale") != 0);
        FUZZ_CHECK(b.samples == nullptr && b.frames == 0);
    }

    SampleBuffer w;
    if (name == "in.wav" && fuzz_wav_read(path, &w) == WAV_OK) {
        FUZZ_CHECK(r == WAV_OK && b.channels == w.channels && b.sample_rate == w.sample_rate);
        FUZZ_CHECK(b.frames == w.frames);
        FUZZ_CHECK(std::memcmp(b.samples, w.samples, sizeof(float) * (size_t)(w.frames * w.channels)) == 0);
    }
    sample_buffer_free(&w);
    sample_buffer_free(&b);
    return 0;
}
