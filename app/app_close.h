// app_close.h - the close of the program (the close button, SIGTERM, SIGINT): the
// window runs on, showing "SAVING", until the take is in place: a take still recording
// ends through its fade, the loop settles, a write under way (the session take's or an
// export) ends, and a changed loop is written. However many requests come, none ends
// the program before that; ending a program that will not end is the system's force
// quit. A failed write gives the window back to play ("TAKE NOT SAVED" in the status
// line); the next close writes again, and ends even when that write fails too.
// Threads: UI thread only.
// Depends on: app/app_state.h, app/loop_export.h, app/session_take.h,
//             app/take_secure.h, app/transport.h, audio/engine.h.
#pragma once

struct AppState;

// A close request at now, in seconds. The first begins the close (app_close_begin).
// Requests within a second of it are the same close (a double click, a window manager
// that sends two); a later one only stops waiting for the loop to settle. True only
// when there is nothing to close (no engine).
bool app_close_request(AppState* app, double now);
// The first close request: closing becomes APP_CLOSING_SAVE, a take still recording is
// ended as r ends it, and securing the take begins.
void app_close_begin(AppState* app);
// Each frame from the first close request on; never blocks. True once the take is in
// place (or there was nothing to write), and when a second close's write failed too:
// the program may end. A first failed write ends the close: closing is
// APP_CLOSING_NONE again and the window plays on.
bool app_close_step(AppState* app);
// At exit: waits for a running writer (the session take's or an export), for as long
// as it takes, and writes the session take when the loop changed and no close wrote
// it; nothing after a second failed close.
void app_save_on_exit(AppState* app);
