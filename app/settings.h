// settings.h - the settings file "tessel.ini": the whole set-up rendered as key=value
// lines in a fixed order, written whole through a temporary file, and read back and
// applied once at start-up (transport, gain and pan, effect slots with their plug-ins,
// the instrument, the audio device and buffer, panels, the take player, video, session).
// Threads: UI thread only. Plug-ins reach the audio thread only through
//          engine_publish_plugin; engine fields are the relaxed stores the UI always makes.
// Depends on: app/app_state.h, app/video_panel.h, audio/engine.h,
//             audio/engine_retire.h, audio/fx.h, audio/vst.h, audio/loop_file.h,
//             platform/plat_file.h.
#pragma once
#include <cstddef>
#include <cstdint>

struct AppState;

#define SETTINGS_FILE_NAME "tessel.ini"

// Renders the settings text into buffer (cut at capacity, always terminated when
// capacity > 0; buffer may be null with capacity 0). Returns the length the whole
// text needs, which may exceed the capacity.
size_t settings_format(AppState* app, char* buffer, size_t capacity);

// Renders into a buffer of APP_SETTINGS_TEXT bytes and, when the text fits below
// that, writes it over "tessel.ini" in the data folder through a temporary file;
// only a finished write updates the last settings text written. A text too long, an
// empty data folder or any failed step leaves the old file as it was.
void settings_save(AppState* app);

// Reads "tessel.ini" from the data folder (a regular file only, at most
// APP_SETTINGS_TEXT - 1 bytes) and applies every key; a key that is missing, damaged,
// not finite or outside its choices takes its default, a number outside its range is
// clamped. May reopen the stream, load the session take and load plug-ins. A missing
// or unreadable file changes nothing.
void settings_load(AppState* app);

// settings_save calls since the program started (written or not): the shell's tests
// count them to see when the settings are saved.
uint32_t settings_save_count(void);

// The settings file's path in the data folder; false (out emptied) when the data
// folder is empty or the path does not fit.
bool settings_path(const AppState* app, char* out, size_t out_cap);
