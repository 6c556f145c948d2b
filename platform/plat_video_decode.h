// plat_video_decode.h - reads the first video stream of a media file frame by frame,
// with its times, and converts a frame into a caller's 32-bit buffer.
// Threads: one reader per thread at a time; the interrupt callback is called on the
// reader's thread from inside FFmpeg's blocking calls.
// Depends on: FFmpeg (libavformat, libavcodec, libswscale, libavutil), plat_file.h.
//
// Times are seconds from the first frame of the stream (the stream's start time taken
// off), so the first frame of a file is at 0. Output pixels are bytes B, G, R, 0 per
// pixel, rows top-down, width x 4 bytes a row (SDL_PIXELFORMAT_RGB888 on little-endian).
#pragma once
#include <cstdint>

struct PlatVideoReader;

enum {
    PLAT_VIDEO_FRAME = 1,        // a frame was decoded: its time is given
    PLAT_VIDEO_END = 0,          // the stream ended
    PLAT_VIDEO_FAILED = -2,      // read or decode error
    PLAT_VIDEO_CANCELLED = -3,   // the interrupt callback asked to stop
};

// Largest side a file may declare, and the longest side of a converted frame.
constexpr int32_t PLAT_VIDEO_MAX_SIDE = 16384;
constexpr int32_t PLAT_VIDEO_OUT_SIDE = 1920;

struct PlatVideoInfo {
    int32_t width, height;       // as the stream declares them
    int32_t rotation;            // clockwise degrees to turn for display: 0, 90, 180, 270
    double frame_duration;       // seconds; 1/30 when the stream gives no rate
    double duration;             // seconds; 0 when unknown
};

// Returns nonzero to abandon a blocking open, read or search.
typedef int (*PlatVideoInterrupt)(void* ctx);

// Opens a regular file (anything else is refused before FFmpeg sees it) through the
// container formats of the video file names: the first video stream that is not an
// attached picture; every other stream is discarded. Null on failure, on a declared
// size of 0 or above PLAT_VIDEO_MAX_SIDE a side, or when interrupted. [slow]
PlatVideoReader* plat_video_open(const char* path, PlatVideoInterrupt interrupt, void* ctx, PlatVideoInfo* info);
void plat_video_close(PlatVideoReader* r);      // accepts null

// Moves to the key frame at or before seconds (falling back to any frame), and empties
// the decoder. False when the container cannot seek there.
bool plat_video_seek(PlatVideoReader* r, double seconds);
// Decodes the next frame; *time gets its time. Damaged packets are skipped. Returns a
// PLAT_VIDEO_ code.
int plat_video_next(PlatVideoReader* r, double* time);
// Size of the frame just decoded once converted: its own size, brought down to at most
// PLAT_VIDEO_OUT_SIDE on the longer side with the aspect kept. False without a frame.
bool plat_video_out_size(const PlatVideoReader* r, int32_t* width, int32_t* height);
// Converts the frame just decoded into dst (width x height x 4 bytes of the sizes
// plat_video_out_size gives). A frame of another size or pixel format than the one
// before rebuilds the converter. False when the conversion cannot be made.
bool plat_video_convert(PlatVideoReader* r, uint8_t* dst, int32_t width, int32_t height);
