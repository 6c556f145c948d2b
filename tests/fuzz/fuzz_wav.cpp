// fuzz_wav.cpp - the WAV reader into a buffer, with the checks every caller wants.
#include "fuzz_wav.h"

#include <atomic>

#include "audio/audiofile_sink.h"
#include "audio/wav_read.h"
#include "fuzz_kit.h"

int fuzz_wav_read(const std::string& path, SampleBuffer* b)
{
    sample_buffer_free(b);
    AudioSink sink = audiofile_buffer_sink(b);
    std::atomic<int32_t> cancel{0};
    char err[64] = "";
    int r = wav_read(path.c_str(), &sink, &cancel, err, sizeof err);
    audiofile_sink_release(&sink);
    FUZZ_CHECK(r == WAV_OK ? err[0] == '\0' : err[0] != '\0');
    if (r != WAV_OK)
        FUZZ_CHECK(b->samples == nullptr && b->frames == 0);
    return r;
}

