// view_status.h - the bottom of the main screen: what the button row, the two status
// lines and the musical-typing key sheet show, as plain functions (the painters
// view_transport, view_status_bar and view_keys_sheet are declared in app/panels/main/view.h).
// Threads: UI thread only.
// Depends on: audio/engine.h, audio/vst.h (read with relaxed loads),
//             broadcast/tcstream.h (on air, listeners), broadcast/firewall.h (firewall words).
#pragma once
#include <cstddef>
#include <cstdint>

struct AppState;
struct Engine;

constexpr int32_t VIEW_BUTTONS = 5;        // MONITOR, OVERDUB, CLEAR, EXPORT, INST
constexpr int32_t VIEW_SHEET_KEYS = 13;    // C to the next C
constexpr size_t VIEW_STATUS_CAP = 160;

// One button of the row as drawn.
struct ButtonLook {
    char label[16];
    bool lit;
    uint32_t accent;
};
// Button i (0..4); a missing engine reads as monitor off and no instrument. The
// export button lights with the export flash; the clear button never lights here
// (its flash is the loop display's).
ButtonLook view_button_look(const AppState* app, int32_t i);

// The left status line: the input device (cut to 24 characters) or "AUDIO OFFLINE",
// then, on air, the firewall's words or "ON AIR" with the listener count, then
// "SAVING" while the session take is written, else "TAKE NOT SAVED" while a failed
// save stands. True when the line is drawn in grey; false (red) while the stream is
// offline or no save has succeeded since one failed.
bool view_status_left_text(const AppState* app, char* out, size_t cap);
// The right status line: "<buffer> @ <rate>K  <latency>MS", "  EXCL" appended when
// exclusive mode was granted; offline, the last stream's; empty without an engine or
// before any stream ran.
void view_status_right_text(const Engine* e, char* out, size_t cap);

// Key i of the sheet is a black key (1, 3, 6, 8, 10).
bool view_key_black(int32_t i);
// Key i is held by the mouse or by the keyboard.
bool view_key_held(const AppState* app, int32_t i);
