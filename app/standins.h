// standins.h - stand-ins for functions that modules still to come own, called by the
// shell under their final names so the call sites stay as they are when the real
// ones arrive. Each does the least its caller relies on and counts its calls, so
// tests can watch the shell drive them. Delete each one (and its counter) when the
// module named beside it lands.
// Threads: UI thread only.
// Depends on: app/app_state.h, audio/engine.h (the session writer reads the loop).
#pragma once
#include <cstddef>
#include <cstdint>

struct AppState;
struct PreviewPlayer;
struct SampleBuffer;
struct Library;
struct VideoPlayer;

// What the stand-ins were asked to do, and how tests script them.
struct StandinLog {
    int32_t session_saves;            // session_wav_save calls
    int32_t session_saves_waited;     // ... of them with wait
    int32_t settings_saves;           // settings_save calls
    int32_t library_scans;            // app_library_scan calls
    int32_t take_load_finishes;       // take_load_finish calls
    int32_t identify_steps;           // vst_picker_identify_step calls
    int32_t library_destroys;
    int32_t video_destroys;
    int32_t preview_stops;
    int32_t preview_detaches;

    // Script: the session writer finishes inside session_wav_save (true, a write of
    // a few MB on a fast disk) or stays busy until the test clears writer_busy.
    bool writer_finishes_at_once;
    bool writer_busy;
    uint32_t writes_completed;        // raised by each finished write
    int32_t settings_filler;          // extra bytes settings_format appends
};

StandinLog* standin_log(void);
void standin_reset(void);             // zeroes the log and the script

// -- Session take writer (replaced by the session take module) ----------------
// Writes the loop as the session take when the loop exists; marks the content
// generation saved. Without wait and while busy it returns at once.
void session_wav_save(AppState* app, bool wait);
bool session_wav_busy(void);
// Raised after each finished write (after the rename): the update compares it with
// its copy, so a write that starts and ends within one frame is still noticed.
uint32_t session_wav_writes_completed(void);

// -- Settings file (replaced by the settings module) ---------------------------
// Renders the settings text into buffer (cut at capacity); returns the length the
// whole text needs. The stand-in renders only the mirrored transport settings.
size_t settings_format(AppState* app, char* buffer, size_t capacity);
// Renders and, below 8192 bytes, keeps the text as the last settings text written.
void settings_save(AppState* app);

// -- Take list, take loader, library (replaced by take loading and the library) --
void app_library_scan(AppState* app);
void take_load_finish(AppState* app, float dt);   // ends in library_update
void library_destroy(Library* library);

// -- Plug-in picker (replaced by the plug-in picker) ---------------------------
// Loads and identifies the next unknown plug-in file while identification runs.
void vst_picker_identify_step(AppState* app);

// -- Preview player and sample buffers (replaced by the preview player) -------
void preview_stop(PreviewPlayer* player);
// Stops, frees the pending buffer, hands over the current and the retired buffers.
void preview_detach_buffers(PreviewPlayer* player, SampleBuffer** current, SampleBuffer** retired);
void sample_buffer_destroy(SampleBuffer* buffer);

// -- Video player (replaced by the video player) --------------------------------
void video_player_destroy(VideoPlayer* player);
