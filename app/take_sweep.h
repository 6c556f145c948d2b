// take_sweep.h - the temporaries "<name>.wav.tmp.<pid>" that a killed writer left in
// the takes folder or the loops folder, settled at start-up. Nothing whole is lost: a
// session take goes over its file only when, under the takes' lock, that file is still
// the one its writer noted it would replace (a write killed in its last step, the sync,
// lost nothing); any other whole take, whose file another running copy may have
// written since, is put in place under a free name as a take of its own, as exports
// are. Only a torn one goes.
// Threads: UI thread (start-up).
// Depends on: app/take_names.h, audio/wav_read.h, platform/plat_file.h,
//             platform/plat_file_stamp.h, platform/plat_named_lock.h.
#pragma once
#include <cstdint>
#include <cstdio>

enum TakeTempAction {
    TAKE_TEMP_REMOVE = 0,      // torn: no whole take in it
    TAKE_TEMP_REPLACE = 1,     // a session take over its file, as its writer expected it
    TAKE_TEMP_RENAME = 2,      // put in place without replacing, the next free name
                               // ("-2", "-3" ...) when its own is taken
};

// What the sweep knows of one temporary.
struct TakeTempFacts {
    bool whole;                // a whole WAV (take_temp_is_whole)
    bool is_export;            // written as an export ("tessel-loop-*.wav"), or in the loops folder
    bool locked;               // the takes' lock is held while it is settled
    bool as_expected;          // its writer noted the file it would replace, and the name
                               // still holds that file (or still nothing, when it expected none)
};
TakeTempAction take_temp_action(const TakeTempFacts* facts);

// Whether f, size bytes long, holds a whole WAV: its RIFF size and its data chunk's
// size both end where the file ends. f is read from its start.
bool take_temp_is_whole(FILE* f, int64_t size);

// Settles every stale "<name>.wav.tmp.<pid>" in folder (one a running writer holds
// stays), each with a line on standard error saying what became of it; the takes' lock
// lies in lock_folder. Returns how many temporaries were handled.
int take_sweep_temps(const char* folder, const char* lock_folder);
// The same for the loops folder that bar exports go to, where every temporary is an
// export: put in place without replacing, as "<name> (2).wav" ... when its name is taken.
int take_sweep_loops(const char* folder);
