// standins.h - stand-ins for functions that modules still to come own, called by the
// shell under their final names so the call sites stay as they are when the real
// ones arrive. Each does the least its caller relies on and counts its calls, so
// tests can watch the shell drive them. Delete each one (and its counter) when the
// module named beside it lands.
// Threads: UI thread only.
// Depends on: app/app_state.h.
#pragma once
#include <cstddef>
#include <cstdint>

struct AppState;
struct Library;
struct VideoPlayer;
union SDL_Event;

// What the stand-ins were asked to do, and how tests script them.
struct StandinLog {
    int32_t video_destroys;
    // Calls into take loading and the session take, counted for the shell's tests.
    int32_t session_saves;            // session_wav_save calls that started a write
    int32_t session_saves_waited;     // ... of them with wait
    int32_t opened_paths;             // app_open_path calls
    char opened_path[600];            // the path last opened
    int32_t library_scans;            // app_library_scan calls
    int32_t take_load_finishes;       // take_load_finish calls
    int32_t take_loads;               // take_load_into_loop calls
    int32_t take_loaded_index;
    // Video.
    int32_t video_closes;
};

StandinLog* standin_log(void);
void standin_reset(void);             // zeroes the log and the script


// -- Video player (replaced by the video player) --------------------------------
void video_player_destroy(VideoPlayer* player);

// -- Video panel (replaced by the video player) ----------------------------------
void video_player_close(VideoPlayer* player);
// Opens path in the video panel: the path copied, keep_trim as the trim-restored flag,
// ready and duration cleared, in and out cleared unless keep_trim. The stand-in has no
// player to ask, so no video opens.
void video_panel_open(AppState* app, const char* path, bool keep_trim);
// Moves the dragged trim handle to the pointer: in within max(0, out - 360) ..
// out - 0.25, out within in + 0.25 .. min(duration, in + 360).
void video_panel_trim_drag(AppState* app, float mouse_x);

