// plat_open.h - handing a file or folder to the desktop ("xdg-open") and starting a
// sibling program; the children are reaped, never waited for by the caller.
// Threads: any.
// Depends on: posix_spawn, waitpid, plat_thread.h.
#pragma once

// Runs argv[0] (looked up on PATH when path_lookup, else taken as a path) with argv
// (null-terminated), inheriting no descriptor of ours beyond close-on-exec rules. A
// detached thread reaps the child. False when it could not be started.
bool plat_spawn(const char* const argv[], bool path_lookup);
// "xdg-open path". False when xdg-open could not be started.
bool plat_open_with_desktop(const char* path);
