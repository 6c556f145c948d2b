// plat_dir_watch.h - waiting on a folder: a change notification for the names, sizes
// and write times of one folder's entries (no subfolders), and a wake another thread
// can give, both in one wait.
// Threads: plat_dir_watch_wake from any thread; everything else from the one waiting
//          thread.
// Depends on: inotify, eventfd, poll.
#pragma once

struct PlatDirWatch;

// A watcher with its wake, no folder watched yet; null when it cannot be made.
PlatDirWatch* plat_dir_watch_create(void);
void plat_dir_watch_destroy(PlatDirWatch* w);            // null is fine
// Watches folder (replacing any earlier one). False when it cannot be watched.
bool plat_dir_watch_arm(PlatDirWatch* w, const char* folder);
void plat_dir_watch_disarm(PlatDirWatch* w);
bool plat_dir_watch_armed(const PlatDirWatch* w);
void plat_dir_watch_wake(PlatDirWatch* w);               // the next wait returns at once

enum PlatWatchWait {
    PLAT_WATCH_TIMEOUT = 0,
    PLAT_WATCH_WOKEN = 1,        // plat_dir_watch_wake was called
    PLAT_WATCH_CHANGED = 2,      // something in the folder changed (or events overflowed)
    PLAT_WATCH_FAILED = -1,      // the wait failed
};
// Waits up to ms (0: no wait) for a wake or a change; every pending event is drained.
// A watch the system dropped (the folder went away) is closed: the result is then
// CHANGED and plat_dir_watch_armed turns false, so the caller can arm again later.
// A wake that comes with changes reports CHANGED (the wake is drained as well).
PlatWatchWait plat_dir_watch_wait(PlatDirWatch* w, int ms);
