// video_player.h - the video panel's decoder: a worker thread that opens a video file,
// decodes it to the time the UI asks for and hands the newest frame over under a lock.
// Threads: any thread may call every function; video_player_lock_frame and
// video_player_unlock_frame pair up on one thread. The worker is the player's own.
// Depends on: platform/plat_video_decode.h.
//
// States: 0 none -> 1 opening (open asked) -> 2 ready or 3 failed (worker) -> 0 none
// (close) or 1 (another open). Each call holds the lock only to copy a few fields,
// except the frame hand-over: the worker converts into a buffer of its own and swaps it
// with the shared one under the lock, and the UI holds the lock while it uploads.
#pragma once
#include <cstdint>

struct VideoPlayer;

enum {
    VIDEO_NONE = 0,
    VIDEO_OPENING = 1,
    VIDEO_READY = 2,
    VIDEO_FAILED = 3,
};

// Starts the worker. Null when the player or its thread cannot be made.
VideoPlayer* video_player_create(void);
// Tells the worker to quit and joins it (an open or a search in progress is cut
// short), then frees the frames and the player. Null is ignored.
void video_player_destroy(VideoPlayer* player);

// Asks for utf8_path (cut at 1023 bytes) to be opened: state 1, target time 0.
void video_player_open(VideoPlayer* player, const char* utf8_path);
void video_player_close(VideoPlayer* player);              // state 0 once the worker sees it
void video_player_seek(VideoPlayer* player, double seconds);  // the time the frame should cover
int32_t video_player_state(VideoPlayer* player);           // 0 for null
double video_player_duration(VideoPlayer* player);         // seconds; 0 for null

// Enters the lock and leaves it held: the newest frame's pixels (B, G, R, 0; rows
// top-down, width x 4 bytes each) or null without a frame, its size, its clockwise
// display rotation and its serial (raised with each new frame, open and close).
// Always pair with video_player_unlock_frame.
const uint8_t* video_player_lock_frame(VideoPlayer* player, int32_t* width, int32_t* height, int32_t* rotation,
                                       uint32_t* serial);
void video_player_unlock_frame(VideoPlayer* player);
// The last target time whose frame is delivered: the frame that covers it, or when the
// file has none, the last it gave on the way; *serial is that frame's. False (outputs
// untouched) before the first since the last open or close, and while the newest frame
// is a late one shown on the way to the target.
bool video_player_served(VideoPlayer* player, double* target, uint32_t* serial);
