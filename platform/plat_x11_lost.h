// plat_x11_lost.h - a lost connection to the X server (the server ended or crashed,
// the desktop session logged out). Xlib's own answer ends the process wherever it
// stands, in the middle of a write; here the thread that watches runs its owner's
// handler instead, which saves what it can without a window and ends the process. Any
// other thread that meets a lost connection (a plug-in's own) waits where it is until
// the process ends.
// Threads: plat_x11_watch_lost on the UI thread, the thread whose lost connection
//          runs the handler. The handler runs on it, inside the Xlib call that failed.
// Depends on: Xlib, pthreads.
#pragma once

// Installs the watch for the calling thread. on_lost should not return: it ends the
// process itself; when it does return, or is null (nothing left to save), the
// process ends with status 1. Install it after the window system is up, so no one
// else's handler replaces it.
void plat_x11_watch_lost(void (*on_lost)(void* ctx), void* ctx);
// Whether a connection to the X server was lost (any thread's).
bool plat_x11_lost(void);
