// takes.h - takes reaching the loop: dropped and named files, the loader thread that
// decodes a file or resamples bars into the loop, listed takes loaded into the loop,
// the take list, and the library player made on first use.
// Threads: UI thread, except the loader's runs (take_decode, the bars' resampling: the
//          loader's own thread) and app_player_render_hook (audio thread [RT]).
// Depends on: app/app_state.h, app/session_take.h, app/worker.h, audio/audiofile.h,
//             audio/looper.h, audio/loop_file.h, audio/preview.h, audio/resampler.h,
//             audio/sample_buffer.h, audio/wav_read.h, library/library.h,
//             platform/plat_dir.h, platform/plat_file.h.
#pragma once
#include <cstdint>

struct AppState;
struct LoopLoadLoss;
struct SampleBuffer;

constexpr int32_t TAKE_LOAD_MAX_FRAMES = 17280000;

// A video by its extension (after the last dot, any case).
bool is_video_file_name(const char* name);
// The folder tree's file filter: a supported audio file or a video.
bool take_is_openable(const char* name);
// A dropped file or one named on the command line: audio to the library player, a
// video to the video panel, anything else "CAN'T PLAY THAT".
void app_open_path(AppState* app, const char* path);
// A file opened from the folder tree: decoded on the loader thread into the loop
// ("CAN'T LOAD THAT" when the thread cannot start).
void take_load_start(AppState* app, const char* path);
// frames frames of take from frame position start, resampled on the loader thread to
// the engine's rate, become the loop with the toast text (take_grid.h's bars). The
// take is shared while the loader reads it; the caller keeps its own hold.
void take_load_bars(AppState* app, SampleBuffer* take, double start, int32_t frames, const char* toast);
// Every frame: the library's update, and the finished load collected into the loop
// once the loop it replaces is secured (take_wait.h).
void take_load_finish(AppState* app, float dt);
// Loads take-list entry index into the loop (left stopped) once the loop it replaces
// is secured (take_wait.h).
void take_load_into_loop(AppState* app, int32_t index);
// Loads the takes folder's file name into the loop now (left stopped).
void take_load_row_now(AppState* app, const char* name);
// The decoded file or the bars into the loop now, the loop they replace being secured.
void take_load_finish_now(AppState* app);
// The decoded file or the bars dropped: the loader is idle again.
void take_load_discard(AppState* app);
// Before a take replaces the loop, once it is secured: the engine stops recording,
// hold-dubbing and playing.
void take_engine_stop(AppState* app);
// Rebuilds the take list from the takes folder: its newest APP_TAKES_MAX WAV files,
// newest first (one time stamp ordered by name), whatever order the folder lists.
void app_library_scan(AppState* app);
// Makes the library player when there is none.
void app_player_ensure(AppState* app);
// [RT] Renders the preview player into the engine's buffers.
void app_player_render_hook(void* ctx, float* left, float* right, int32_t frames, double rate);

// Decodes path and resamples it to target_rate times volume (resampler.h: the whole
// file as the loop's cycle), at most TAKE_LOAD_MAX_FRAMES frames (mono on both sides). False on
// any failure; on true *left and *right are malloc'd arrays of *frames floats; *loss
// (may be null) tells whether the file was longer than that, had more than two
// channels or was resampled.
bool take_decode(const char* path, double target_rate, float volume, float** left, float** right,
                 int32_t* frames, LoopLoadLoss* loss = nullptr);
// "LOADED", teal; when the loop does not hold the file as it was, yellow, with each
// reason: "CUT TO 180.0S", "4 CHANNELS, 2 KEPT", "96K MADE 48K", "32-BIT NARROWED".
void take_toast_loaded(AppState* app, const LoopLoadLoss* loss, int32_t frames, double rate);
// The loader's state: 0 idle, 1 loading, 2 done, 3 failed.
int32_t take_load_state(void);
