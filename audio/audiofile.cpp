// audiofile.cpp - choice of reader by extension, loading into buffers, the overview.
#include "audio/audiofile.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include "audio/audiofile_sink.h"
#include "audio/mf_decode.h"
#include "audio/sample_buffer.h"
#include "audio/wav_read.h"

static const char* const kExtensions[] = {".wav", ".mp3", ".m4a", ".aac",
                                          ".flac", ".wma", ".ogg", ".opus"};

// The extension after the last dot of the name part, or null.
static const char* audiofile_extension(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; p++)
        if (*p == '/' || *p == '\\')
            name = p + 1;
    return std::strrchr(name, '.');
}

static bool same_text_ignoring_case(const char* a, const char* b)
{
    for (; *a && *b; a++, b++)
        if (std::tolower((unsigned char)*a) != std::tolower((unsigned char)*b))
            return false;
    return *a == *b;
}

static bool audiofile_is_wav(const char* path)
{
    const char* ext = audiofile_extension(path);
    return ext && same_text_ignoring_case(ext, ".wav");
}

bool audiofile_is_supported(const char* path)
{
    const char* ext = path ? audiofile_extension(path) : nullptr;
    if (!ext)
        return false;
    for (const char* known : kExtensions)
        if (same_text_ignoring_case(ext, known))
            return true;
    return false;
}

int audiofile_load(const char* path, AudioSink* sink, const std::atomic<int32_t>* cancel,
                   char* err, size_t err_cap)
{
    audiofile_error(err, err_cap, "");
    if (!path || !sink)
        return -1;
    if (!audiofile_is_supported(path)) {
        audiofile_error(err, err_cap, "COULDN'T READ THAT FILE");
        return -2;
    }
    if (audiofile_is_wav(path)) {
        char wav_err[64] = "";
        int r = wav_read(path, sink, cancel, wav_err, sizeof wav_err);
        if (r != WAV_UNSUPPORTED) {
            if (r != 0)
                audiofile_error(err, err_cap, wav_err);
            return r;
        }
    }
    return mf_decode_file(path, sink, cancel, err, err_cap);
}

int audiofile_load_into(const char* path, SampleBuffer* b, const std::atomic<int32_t>* cancel,
                        char* err, size_t err_cap)
{
    if (!b) {
        audiofile_error(err, err_cap, "");
        return -1;
    }
    sample_buffer_free(b);
    AudioSink sink = audiofile_buffer_sink(b);
    int r = audiofile_load(path, &sink, cancel, err, err_cap);
    audiofile_sink_release(&sink);
    if (r != 0)
        sample_buffer_free(b);
    return r;
}

void audiofile_overview(const SampleBuffer* b, float* out, int columns)
{
    if (!out || columns < 1)
        return;
    std::memset(out, 0, sizeof(float) * (size_t)columns);
    if (!b || !b->samples || b->frames < 1 || b->channels < 1)
        return;
    int64_t ch = b->channels;
    float top = 0.0f;
    for (int i = 0; i < columns; i++) {
        int64_t start = (int64_t)i * b->frames / columns;
        int64_t end = (int64_t)(i + 1) * b->frames / columns;
        int64_t span = end - start;
        int64_t stride = span > 4096 ? span / 4096 : 1;
        float peak = 0.0f;
        for (int64_t f = start; f < end; f += stride) {
            const float* s = b->samples + f * ch;
            for (int64_t c = 0; c < ch; c++) {
                float a = std::fabs(s[c]);
                if (a > peak)
                    peak = a;
            }
        }
        out[i] = std::isfinite(peak) ? peak : 0.0f;
        if (out[i] > top)
            top = out[i];
    }
    if (top > 0.0f)
        for (int i = 0; i < columns; i++)
            out[i] /= top;
}
