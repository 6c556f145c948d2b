// folders.h - the program's folders, settled once at start-up: its own folder, the
// data folder (beside the program in portable mode, else per user), the takes folder
// that exports go to, and the screenshot's request and picture files.
// Threads: UI thread (start-up).
// Depends on: app/take_sweep.h, library/bar_export.h, platform/plat_folders.h,
//             platform/plat_file.h, platform/plat_dir.h.
#pragma once
#include <cstddef>

struct Folders {
    char program[512];
    char data[512];
    char takes[600];
    char screenshot_request[512];   // "tessel_screenshot_request" in the temporary folder
    char screenshot_bmp[512];       // "tessel_screenshot.bmp" beside it
    bool portable;                  // "tessel.ini" beside the program, or no user folder
};

// The program folder, or "." when it cannot be found. False with a message when its
// path is too long for out: a cut path would name another folder.
bool folders_program(char* out, size_t cap, char* err, size_t err_cap);

// Portable mode holds when "tessel.ini" lies in the program folder or no per-user
// configuration folder can be formed. Portable: data = the program folder, takes =
// "exports" in it. Otherwise data = "TideCoil" in the configuration folder, takes =
// "tessel" in the music folder, or "exports" in the data folder without one. False
// with a message (out emptied) when any path does not fit. Nothing is made on disk.
bool folders_settle(Folders* out, const char* program, char* err, size_t err_cap);

// Makes the data folder with its parents unless portable; false when it cannot be made.
bool folders_make_data(const Folders* f);

// At start-up: settles the temporaries that killed writers left in the takes folder
// and the loops folder of bar exports (take_sweep_temps, take_sweep_loops: whole takes
// put in place, over their file only when it is the one their writer expected, torn
// ones removed, each said on standard error) and removes those of the data folder's
// own files (its settings and stores); one another running copy still writes is left
// alone. Returns how many of the data folder's went.
int folders_sweep_temps(const Folders* f);

// The program's one data folder, set by the shell once the folders are settled (tests
// point it at a temporary folder); "" until then. Every store that keeps files in the
// data folder asks here, portable mode included.
const char* folders_data(void);
void folders_set_data(const char* path);
