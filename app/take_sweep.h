// take_sweep.h - the temporaries "<name>.wav.tmp.<pid>" that a killed writer left in
// the takes folder or the loops folder, settled at start-up: a whole take newer than its file is put in
// place (a write killed in its last step, the sync, lost nothing), anything else goes.
// Threads: UI thread (start-up).
// Depends on: audio/wav_read.h, platform/plat_file.h.
#pragma once
#include <cstdint>
#include <cstdio>

enum TakeTempAction {
    TAKE_TEMP_REMOVE = 0,      // torn, or older than the file under its name
    TAKE_TEMP_REPLACE = 1,     // a session take: put in place over its file
    TAKE_TEMP_RENAME = 2,      // an export: put in place without replacing, the next
                               // free name ("-2", "-3" ...) when its own is taken
};

// What the sweep knows of one temporary.
struct TakeTempFacts {
    bool whole;                // a whole WAV (take_temp_is_whole)
    bool is_export;            // written as an export ("tessel-loop-*.wav")
    bool final_exists;         // something has the name it was to become
    double temp_mtime_ms;      // last writes, milliseconds since 1970
    double final_mtime_ms;
};
TakeTempAction take_temp_action(const TakeTempFacts* facts);

// Whether f, size bytes long, holds a whole WAV: its RIFF size and its data chunk's
// size both end where the file ends. f is read from its start.
bool take_temp_is_whole(FILE* f, int64_t size);

// Settles every stale "<name>.wav.tmp.<pid>" in folder (one a running writer holds
// stays), each with a line on standard error saying what became of it. Returns how
// many temporaries were handled.
int take_sweep_temps(const char* folder);
// The same for the loops folder that bar exports go to, where every temporary is an
// export: put in place without replacing, as "<name> (2).wav" ... when its name is taken.
int take_sweep_loops(const char* folder);
