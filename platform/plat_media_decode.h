// plat_media_decode.h - decodes the first audio stream of a media file to packed floats.
// Threads: one decoder per thread at a time; any thread may set the cancel flag.
// Depends on: FFmpeg (libavformat, libavcodec, libswresample, libavutil), plat_file.h.
#pragma once
#include <atomic>
#include <cstdint>

struct PlatMediaDecoder;

enum {
    PLAT_MEDIA_BLOCK = 1,        // a block is ready: take it
    PLAT_MEDIA_END = 0,          // the stream ended
    PLAT_MEDIA_NO_MEMORY = -1,
    PLAT_MEDIA_FAILED = -2,      // cannot open or decode, read error, format changed
    PLAT_MEDIA_CANCELLED = -3,   // the cancel flag was set
};

struct PlatMediaInfo {
    int32_t channels;
    double rate;
    int64_t expected_frames;     // from the container's claimed duration; -1 unknown
};

// Opens a regular file and decodes up to its first block, which fixes the channel
// count and rate every later block must keep. The cancel flag (may be null) is also
// read inside FFmpeg's blocking calls. threads: decoder threads, 0 for as many as the
// machine suits (codecs that cannot share the work use one). Null with *status set on
// failure. [slow]
PlatMediaDecoder* plat_media_decode_open(const char* path, const std::atomic<int32_t>* cancel,
                                         int threads, PlatMediaInfo* info, int* status);
// Decodes the next block; *frames gets its length. Returns a PLAT_MEDIA_ code.
int plat_media_decode_next(PlatMediaDecoder* d, int64_t* frames);
// Writes the block just decoded as interleaved floats into dst (room for its frames
// times the channels). Returns the frames written, or -1.
int64_t plat_media_decode_take(PlatMediaDecoder* d, float* dst);
void plat_media_decode_close(PlatMediaDecoder* d);    // accepts null
