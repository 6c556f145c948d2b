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

// Normalised column peaks. every_frame: frame f in column f * columns / frames, every
// frame read; else columns of equal shares from i * frames / columns, at most 4096
// frames of each read.
static void overview_fill(const SampleBuffer* b, float* out, int columns, bool every_frame)
{
    if (!out || columns < 1)
        return;
    std::memset(out, 0, sizeof(float) * (size_t)columns);
    if (!b || !b->samples || b->frames < 1 || b->channels < 1)
        return;
    const int64_t frames = b->frames, ch = b->channels, n = columns;
    float top = 0.0f;
    for (int64_t i = 0; i < n; i++) {
        int64_t start = every_frame ? (i * frames + n - 1) / n : i * frames / n;
        int64_t end = every_frame ? ((i + 1) * frames + n - 1) / n : (i + 1) * frames / n;
        int64_t stride = !every_frame && end - start > 4096 ? (end - start) / 4096 : 1;
        float peak = 0.0f;
        for (int64_t f = start; f < end; f += stride) {
            const float* s = b->samples + f * ch;
            for (int64_t c = 0; c < ch; c++) {
                float a = std::fabs(s[c]);
                peak = a > peak ? a : peak;
            }
        }
        out[i] = std::isfinite(peak) ? peak : 0.0f;
        top = out[i] > top ? out[i] : top;
    }
    if (top > 0.0f)
        for (int i = 0; i < columns; i++)
            out[i] /= top;
}

void audiofile_overview(const SampleBuffer* b, float* out, int columns)
{
    overview_fill(b, out, columns, false);
}

void audiofile_peaks(const SampleBuffer* b, float* out, int columns)
{
    overview_fill(b, out, columns, true);
}
