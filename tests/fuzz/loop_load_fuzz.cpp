// Loading any bytes into the loop, against the WAV reader: the loop takes a file
// exactly when the reader reads frames that come to at least one loop frame; at the
// engine's rate the loop holds the file's first channel left and its second right (a
// mono file on both), up to the loop's capacity. A refused file leaves the loop as it was.
#include <cstring>
#include <string>

#include "audio/engine.h"
#include "audio/loop_file.h"
#include "audio/wav_read.h"
#include "fuzz_kit.h"
#include "fuzz_wav.h"

// Loops that a low rate would stretch past this many frames are left to the
// resampler's own tests: filling millions of frames per input only slows the search.
static const int64_t kMostFrames = 1 << 20;


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Engine* e = fuzz_engine();
    std::string path = fuzz_write_file("loop.wav", data, size);
    SampleBuffer b;
    int r = fuzz_wav_read(path, &b);
    if (r == WAV_OK && b.sample_rate > 0.0 && (double)b.frames * 48000.0 / b.sample_rate > (double)kMostFrames) {
        sample_buffer_free(&b);
        return 0;
    }

    // A loop that a refusal must leave alone.
    const int32_t before = 3;
    e->loop_left[0] = 0.25f;
    e->loop_right[before - 1] = -0.5f;
    e->length.store(before);
    bool loaded = loop_load_wav(e, path.c_str());
    // A file taken gives the loop at least one frame at the engine's rate.
    bool gives = r == WAV_OK && b.frames > 0 &&
                 (b.sample_rate == 48000.0 || (int64_t)((double)b.frames / (b.sample_rate / 48000.0)) >= 1);
    FUZZ_CHECK(loaded == gives);
    int32_t length = e->length.load();
    if (!loaded) {
        FUZZ_CHECK(length == before && e->loop_left[0] == 0.25f && e->loop_right[before - 1] == -0.5f);
    } else if (b.sample_rate == 48000.0) {
        int64_t want = b.frames < ENGINE_LOOP_CAPACITY ? b.frames : ENGINE_LOOP_CAPACITY;
        FUZZ_CHECK(length == want);
        int32_t right = b.channels > 1 ? 1 : 0;
        for (int32_t i = 0; i < length; i++) {
            FUZZ_CHECK(e->loop_left[i] == b.samples[(int64_t)i * b.channels]);
            FUZZ_CHECK(e->loop_right[i] == b.samples[(int64_t)i * b.channels + right]);
        }
    } else {
        FUZZ_CHECK(length > 0);
    }
    sample_buffer_free(&b);
    return 0;
}
