// shell_cursor.h - the frame loop's cursor steps: which cursor kind the pointer asks
// for, and the custom cursor's update before the overlays draw it.
// Threads: UI thread only.
// Depends on: SDL2 video and mouse, app/shell.h, app/window.h, ui/cursor.h.
#pragma once
#include <cstdint>

struct ShellCtx;

// The pointer's window position (global position less the window's) and its kind:
// 3 (the system pointer) outside the window, without mouse focus, over a resize
// border or the drag strip; 2 while the popup is open; while the keys help is open, 2
// on its panel and 0 elsewhere; the open inputs panel's own mode on it; 2 over the
// inputs badge or the window buttons; else the main view's kind.
uint32_t shell_cursor_kind(ShellCtx* sh, float* window_x, float* window_y);
// The cursor's press and busy flags and its per-frame update (tint (1, 0, 0.5), the
// pointer in cursor units, reduced motion as instant). The caller then draws the busy
// gem inside a canvas pass and the cursor last.
void shell_cursor_update(ShellCtx* sh, uint32_t kind, float window_x, float window_y, double t, float dt);
