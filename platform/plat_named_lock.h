// plat_named_lock.h - a lock shared by every running copy of the program under a name:
// an exclusive flock on "<folder>/.locks/<name>.lock", taken with a bounded wait.
// Threads: any; a taken lock belongs to whoever took it until it is released.
// Depends on: the OS file calls (open, flock, mkdir).
//
// Two takes of one name contend even inside one process (each take opens the file
// anew). The lock file is opened close-on-exec and without following a link; it is
// never the guarded file itself and is never deleted (deleting it would let a second
// taker lock a new file while the first still holds the old one). A process that dies
// releases its locks with its descriptors.
#pragma once

struct PlatNamedLock {
    int fd;      // -1 when not held
};

enum PlatLockResult {
    PLAT_LOCK_TAKEN = 0,
    PLAT_LOCK_TIMEOUT = 1,     // another holder kept it for the whole wait
    PLAT_LOCK_FAILED = 2,      // the lock file could not be made or opened (err says why)
};

// Takes the lock, trying again after 1, 2, 4 ... 10 ms until wait_ms have passed; a
// wait of 0 or less is one try. err (may be null) gets the errno of a failure.
PlatLockResult plat_named_lock_take(const char* folder, const char* name, int wait_ms, PlatNamedLock* out,
                                    int* err);
void plat_named_lock_release(PlatNamedLock* lock);   // null or not held is fine
// The lock file's path for a folder and a name. False when it does not fit.
bool plat_named_lock_path(const char* folder, const char* name, char* out, int size);

// Test fake: while set, every take reports this result (PLAT_LOCK_TAKEN lifts it).
void plat_named_lock_fake(PlatLockResult result);
