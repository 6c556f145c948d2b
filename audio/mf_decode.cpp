// mf_decode.cpp - drives the platform's media decoder into a sink, converting each
// block straight into the buffer's free tail.
#include "audio/mf_decode.h"

#include "audio/audiofile_sink.h"
#include "platform/plat_media_decode.h"

static const char* kUnreadable = "COULDN'T READ THAT FILE";

// Maps a decoder status to a result code and its error word.
static int decode_result(int status, const char** word)
{
    if (status == PLAT_MEDIA_CANCELLED) {
        *word = "";
        return -3;
    }
    if (status == PLAT_MEDIA_NO_MEMORY) {
        *word = "OUT OF MEMORY";
        return -1;
    }
    *word = kUnreadable;
    return -2;
}

int mf_decode_file(const char* path, AudioSink* sink, const std::atomic<int32_t>* cancel,
                   char* err, size_t err_cap)
{
    if (!sink)
        return -1;
    const char* word = "";
    PlatMediaInfo info;
    int status = PLAT_MEDIA_FAILED;
    int threads = sink->buffer ? 0 : 1;
    PlatMediaDecoder* d = path ? plat_media_decode_open(path, cancel, threads, &info, &status) : nullptr;
    int result = 0;
    int64_t total = 0;
    if (!d) {
        result = decode_result(status, &word);
    } else if (!audiofile_sink_begin(sink, info.channels, info.rate, info.expected_frames)) {
        word = sink->buffer ? "OUT OF MEMORY" : "";
        result = sink->buffer ? -1 : -3;
    } else {
        for (;;) {
            if (cancel && cancel->load(std::memory_order_acquire) != 0) {
                result = -3;
                break;
            }
            int64_t frames = 0;
            status = plat_media_decode_next(d, &frames);
            if (status == PLAT_MEDIA_END)
                break;
            if (status != PLAT_MEDIA_BLOCK) {
                result = decode_result(status, &word);
                break;
            }
            float* dst = audiofile_sink_reserve(sink, frames);
            if (!dst) {
                result = decode_result(PLAT_MEDIA_NO_MEMORY, &word);
                break;
            }
            int64_t got = plat_media_decode_take(d, dst);
            if (got < 0) {
                result = decode_result(PLAT_MEDIA_FAILED, &word);
                break;
            }
            audiofile_scrub(dst, got * info.channels);
            if (audiofile_sink_commit(sink, got) == 0) {
                result = -3;
                break;
            }
            total += got;
        }
        if (result == 0 && total == 0)
            result = decode_result(PLAT_MEDIA_FAILED, &word);
    }
    plat_media_decode_close(d);
    if (result != 0) {
        audiofile_sink_clear(sink);
        if (word[0])
            audiofile_error(err, err_cap, word);
    }
    return result;
}
