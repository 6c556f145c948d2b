// plat_x11_editor.h - top-level X11 windows that host plug-in editors, all on one
// Xlib connection of the program's own, opened on first use.
// Threads: plat_x11_init_threads: first thing in main, before any other X call.
//          Everything else: UI thread only.
// Plug-ins draw into these windows through their own connections; this one only
// creates, sizes, raises and destroys them and hears the window manager's close
// requests, which the UI thread collects with plat_editor_poll_closed each frame.
// Depends on: Xlib.
#pragma once
#include <cstddef>

typedef unsigned long PlatWindowId;   // an X11 window id; 0 = none

// Makes Xlib safe for the several connections plug-ins open from their own threads.
void plat_x11_init_threads(void);

// Opens the shared connection when none is open. False without a display (DISPLAY
// unset or the server refuses): editors cannot open.
bool plat_editor_display_ready(void);

// Closes the shared connection (its windows go with it); the next
// plat_editor_display_ready opens a new one. Program shutdown and tests.
void plat_editor_display_close(void);

// An unmapped top-level window of width x height with a black background, titled
// title (UTF-8), not resizable by the user, whose close button sends a close request.
// 0 when it cannot be made.
PlatWindowId plat_editor_window_create(const char* title, int width, int height);
void plat_editor_window_resize(PlatWindowId w, int width, int height);   // keeps place
void plat_editor_window_show(PlatWindowId w);      // maps and raises
void plat_editor_window_raise(PlatWindowId w);     // to the front, asks for focus
void plat_editor_window_destroy(PlatWindowId w);   // 0 is ignored
void plat_editor_sync(void);                       // the server has seen every request

// Drains the connection's event queue and writes the windows whose close was
// requested since the last call (at most max). Never opens the connection.
int plat_editor_poll_closed(PlatWindowId* out, int max);

// Probes (tests and diagnostics): what the server knows of a window.
bool plat_editor_window_geometry(PlatWindowId w, int* width, int* height);
bool plat_editor_window_title(PlatWindowId w, char* out, size_t cap);
bool plat_editor_window_exists(PlatWindowId w);    // a top-level window of the screen
// Sends the window the close request a window manager sends for its close button.
void plat_editor_send_close(PlatWindowId w);
