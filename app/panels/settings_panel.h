// settings_panel.h - the settings list's rows: their labels, their rectangles and the
// value text each shows, shared by the painter (view_settings in app/panels/main/view.h) and
// whoever checks what it shows.
// Threads: UI thread only.
// Depends on: app/app_state.h, audio/engine.h, broadcast/firewall.h,
//             platform/plat_audio_api.h (the direct host API's label).
#pragma once
#include <cstddef>

#include "ui/hitregion.h"

struct AppState;

constexpr int SETTINGS_VALUE_TEXT = 64;          // bytes of a row's value text
constexpr uint32_t SETTINGS_WIDGET_ID = 8000;    // row i animates as widget 8000 + i

// Row i (0..8): (64, 330.5 + 48i, 512, 44).
HitRect settings_row_rect(int i);
// "INPUT", "BUFFER", "DEVICE", "MONITOR", "OVERDUB", "BROADCAST", "INPUTS PANEL",
// "LIBRARY", "KEYS"; "" outside 0..8.
const char* settings_row_label(int i);
// The value row i shows, cut to fit out; *warning (may be null) is set when the row is
// drawn in its warning state (exclusive mode wanted and refused on a device that does
// not run on the direct host API).
void settings_row_value(const AppState* app, int i, char* out, size_t size, bool* warning);
