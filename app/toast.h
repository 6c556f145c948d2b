// toast.h - the toast ring: four short messages that fade out over 2.4 s, newest
// overwriting the oldest, and the colours the shell's toasts and particles use.
// Threads: UI thread only.
// Depends on: app/app_state.h (Toast), ui/drawkit.h (packed colours).
#pragma once
#include <cstdint>

#include "ui/drawkit.h"

struct AppState;

constexpr float TOAST_SECONDS = 2.4f;

// Opaque packed colours of the shell's toasts and particles.
constexpr uint32_t TOAST_TEAL = draw_rgba(46, 199, 184, 255);        // success
constexpr uint32_t TOAST_RED = draw_rgba(235, 66, 77, 255);          // failure
constexpr uint32_t TOAST_GREY = draw_rgba(148, 148, 148, 255);       // neutral notices
constexpr uint32_t TOAST_MAGENTA = draw_rgba(255, 0, 128, 255);      // "LOOP SET"
constexpr uint32_t TOAST_ORANGE = draw_rgba(230, 153, 51, 255);      // hold-dub sparks
constexpr uint32_t TOAST_LIGHT_TEAL = draw_rgba(107, 230, 224, 255); // device, buffer, plug-in notices
constexpr uint32_t TOAST_YELLOW = draw_rgba(245, 214, 107, 255);
constexpr uint32_t TOAST_PURPLE = draw_rgba(140, 46, 191, 255);

// Writes text (cut to 63 bytes), alpha 1.0, 2.4 s and colour into the entry at the
// next index and advances it modulo 4, overwriting the oldest toast.
void toast_show(AppState* app, const char* text, uint32_t colour);
// "<what>: <why in capitals>" in colour, such as "TAKE SAVED AS A NEW TAKE: NOT A
// DIRECTORY".
void toast_show_because(AppState* app, const char* what, const char* why, uint32_t colour);
// A failure with its reason, in red: "<what>: <the errno's text in capitals>", such as
// "EXPORT FAILED: NO SPACE LEFT ON DEVICE".
void toast_show_failure(AppState* app, const char* what, int err);
