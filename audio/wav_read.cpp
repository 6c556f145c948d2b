// wav_read.cpp - the WAV header walk, the reader and the duration probe. Sizes in a
// header are never trusted beyond the bytes the file really holds.
#include "audio/wav_read.h"

#include <cstdlib>
#include <cstring>

#include "audio/audiofile_sink.h"
#include "audio/sample_buffer.h"
#include "platform/plat_file.h"

// One read block stays near this size whatever the channel count.
static const int64_t kBlockBytes = 262144;
static const int64_t kBlockFrames = 4096;

// Tail of the KSDATAFORMAT sub-format GUIDs for PCM and IEEE float.
static const uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                           0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

static uint32_t le32(const uint8_t* p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static uint16_t le16(const uint8_t* p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

static bool read_exact(FILE* f, void* dst, size_t n)
{
    return n == 0 || fread(dst, 1, n, f) == n;
}

// Reads the next chunk header; false at the end of the file.
static bool next_chunk(FILE* f, char id[4], uint32_t* size)
{
    uint8_t h[8];
    if (!read_exact(f, h, 8))
        return false;
    std::memcpy(id, h, 4);
    *size = le32(h + 4);
    return true;
}

// Skips skip bytes of a chunk body and its pad byte when the chunk size is odd.
static bool skip_chunk(FILE* f, int64_t skip, uint32_t size)
{
    return plat_file_seek(f, skip + (size & 1u), SEEK_CUR);
}

// Reads up to 64 bytes of a "fmt " chunk into buf (zeroed first, so a short chunk
// leaves no field unread) and skips the rest.
static bool read_fmt(FILE* f, uint32_t size, uint8_t buf[64])
{
    std::memset(buf, 0, 64);
    uint32_t want = size < 64 ? size : 64;
    return read_exact(f, buf, want) && skip_chunk(f, (int64_t)size - want, size);
}

int64_t wav_block_frames(const WavFormat* h)
{
    int64_t converted = (int64_t)h->channels * (int64_t)sizeof(float);
    int64_t widest = h->frame_bytes > converted ? h->frame_bytes : converted;
    int64_t block = widest > 0 ? kBlockBytes / widest : 1;
    return block < 1 ? 1 : block > kBlockFrames ? kBlockFrames : block;
}

bool wav_sample_size_ok(const WavFormat* h)
{
    int b = h->bytes_per_sample;
    return h->format == 3 ? b == 4 || b == 8 : b >= 1 && b <= 4;
}

int wav_read_header(FILE* f, WavFormat* out, const char** word)
{
    static const char* dummy;
    if (!word)
        word = &dummy;
    *out = WavFormat{};
    uint8_t riff[12];
    if (!f || !read_exact(f, riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        *word = "NOT A WAV";
        return WAV_UNSUPPORTED;
    }
    bool have_fmt = false;
    char id[4];
    uint32_t size;
    for (;;) {
        if (!next_chunk(f, id, &size)) {
            *word = "NO DATA CHUNK";
            return WAV_UNSUPPORTED;
        }
        if (std::memcmp(id, "fmt ", 4) == 0) {
            uint8_t buf[64];
            if (!read_fmt(f, size, buf)) {
                *word = "TRUNCATED";
                return WAV_FAILED;
            }
            uint16_t tag = le16(buf);
            if (tag == 0xFFFE && size >= 40 && std::memcmp(buf + 26, kSubFormatTail, 14) == 0)
                tag = le16(buf + 24);
            out->format = tag;
            out->channels = le16(buf + 2);
            out->sample_rate = le32(buf + 4);
            out->bits = le16(buf + 14);
            // A chunk shorter than the 16-byte PCM layout is a coding of its own.
            if (size < 16 || (tag != 1 && tag != 3) || out->channels == 0 ||
                out->sample_rate == 0 || out->bits == 0) {
                *word = "WAV CODEC NOT SUPPORTED";
                return WAV_UNSUPPORTED;
            }
            have_fmt = true;
        } else if (std::memcmp(id, "data", 4) == 0) {
            break;
        } else if (!skip_chunk(f, size, size)) {
            *word = "NO DATA CHUNK";
            return WAV_UNSUPPORTED;
        }
    }
    if (!have_fmt) {
        *word = "NO FMT CHUNK";
        return WAV_UNSUPPORTED;
    }
    int64_t file_size = plat_file_size(f);
    int64_t here = plat_file_tell(f);
    int64_t avail = file_size >= 0 && here >= 0 && file_size > here ? file_size - here : 0;
    out->data_declared = size;
    out->data_wanted = size == 0 || size == 0xFFFFFFFFu ? avail : (int64_t)size;
    out->data_bytes = out->data_wanted < avail ? out->data_wanted : avail;
    out->bytes_per_sample = (out->bits + 7) / 8;
    out->frame_bytes = (int64_t)out->bytes_per_sample * out->channels;
    if (out->data_wanted / out->frame_bytes < 1) {
        *word = "EMPTY";
        return WAV_UNSUPPORTED;
    }
    if (!wav_sample_size_ok(out)) {
        *word = "SAMPLE SIZE NOT SUPPORTED";
        return WAV_UNSUPPORTED;
    }
    // Integer samples narrower than a byte are packed several to a byte: read a byte
    // each they are noise. The general decoder reads them the same wrong way, so the
    // file is refused here rather than handed on, for every reader of the header.
    if (out->format == 1 && out->bits < 8) {
        *word = "SAMPLE SIZE NOT SUPPORTED";
        return WAV_FAILED;
    }
    return WAV_OK;
}

static bool wav_cancelled(const std::atomic<int32_t>* cancel)
{
    return cancel && cancel->load(std::memory_order_acquire) != 0;
}

// Streams the data chunk into the sink after its begin.
static int wav_read_data(FILE* f, const WavFormat* h, int64_t frames, AudioSink* sink,
                         const std::atomic<int32_t>* cancel, const char** word)
{
    int64_t block = wav_block_frames(h);
    uint8_t* raw = (uint8_t*)std::malloc((size_t)(block * h->frame_bytes));
    if (!raw) {
        *word = "OUT OF MEMORY";
        return WAV_FAILED;
    }
    int result = WAV_OK;
    int64_t delivered = 0;
    while (delivered < frames) {
        if (wav_cancelled(cancel)) {
            result = WAV_STOPPED;
            break;
        }
        int64_t want = frames - delivered < block ? frames - delivered : block;
        // Whole frames only: a cut file ends at its last complete frame.
        size_t got = fread(raw, (size_t)h->frame_bytes, (size_t)want, f);
        if (got == 0)
            break;
        int r = audiofile_sink_append(sink, raw, (int64_t)got, h->channels, h->bytes_per_sample,
                                      h->format == 3);
        if (r < 0) {
            *word = "OUT OF MEMORY";
            result = WAV_FAILED;
            break;
        }
        if (r == 0) {
            result = WAV_STOPPED;
            break;
        }
        delivered += (int64_t)got;
    }
    std::free(raw);
    if (result == WAV_OK && delivered == 0) {
        *word = "TRUNCATED";
        result = WAV_FAILED;
    }
    return result;
}

int wav_read(const char* path, AudioSink* sink, const std::atomic<int32_t>* cancel, char* err,
             size_t err_cap)
{
    const char* word = "";
    if (!sink)
        return WAV_FAILED;
    FILE* f = path ? plat_file_open_read(path) : nullptr;
    if (!f) {
        audiofile_error(err, err_cap, "FILE NOT FOUND");
        return WAV_FAILED;
    }
    WavFormat h;
    int result = wav_read_header(f, &h, &word);
    int64_t frames = h.data_bytes / (h.frame_bytes > 0 ? h.frame_bytes : 1);
    if (result == WAV_OK && frames < 1) {
        word = "TRUNCATED";
        result = WAV_FAILED;
    }
    if (result == WAV_OK) {
        if (!audiofile_sink_begin(sink, h.channels, (double)h.sample_rate, frames)) {
            word = sink->buffer ? "OUT OF MEMORY" : "";
            result = sink->buffer ? WAV_FAILED : WAV_STOPPED;
        } else {
            result = wav_read_data(f, &h, frames, sink, cancel, &word);
        }
        if (result != WAV_OK)
            audiofile_sink_clear(sink);
    }
    fclose(f);
    if (result != WAV_OK && word[0])
        audiofile_error(err, err_cap, word);
    return result;
}

float wav_duration_seconds(const char* path)
{
    FILE* f = path ? plat_file_open_read(path) : nullptr;
    if (!f)
        return 0.0f;
    uint8_t head[12];
    double seconds = 0.0;
    uint32_t rate = 0, align = 0;
    char id[4];
    uint32_t size;
    if (read_exact(f, head, 12) && std::memcmp(head, "RIFF", 4) == 0) {
        while (next_chunk(f, id, &size)) {
            if (std::memcmp(id, "fmt ", 4) == 0) {
                uint8_t buf[64];
                if (!read_fmt(f, size, buf))
                    break;
                rate = le32(buf + 4);
                align = le16(buf + 12);
            } else if (std::memcmp(id, "data", 4) == 0) {
                int64_t here = plat_file_tell(f), total = plat_file_size(f);
                int64_t avail = here >= 0 && total > here ? total - here : 0;
                int64_t bytes = size == 0xFFFFFFFFu || (int64_t)size > avail ? avail : size;
                if (rate > 0 && align > 0)
                    seconds = (double)(bytes / align) / rate;
                break;
            } else if (!skip_chunk(f, size, size)) {
                break;
            }
        }
    }
    fclose(f);
    return (float)seconds;
}
