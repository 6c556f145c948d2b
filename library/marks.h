// marks.h - in and out marks and bar-grid shifts per file, kept in "marks.ini" and
// "bars.ini" of the data folder and rewritten whole after every change.
// Threads: UI thread only. Several running copies share the files: the last writer wins.
// Depends on: library.h (the Library record), platform/plat_file.h, platform/plat_dir.h,
//             platform/plat_folders.h.
//
// marks.ini: "%.6f %.6f\t%s\n" (in, out, path) per entry.
// bars.ini:  "%d\t%s\n" (shift in beats, path) per entry whose shift is not 0.
// Both are written through a temporary file moved over the old one, so a full disk or
// a crash mid-write leaves the previous file whole.
#pragma once
#include <cstddef>
#include <cstdint>

#include "library/library_reader.h"

struct Library;
struct LibraryItem;

// Each entry owns its path (at most LIBRARY_PATH - 1 bytes), held at its own length
// so that a list takes memory in proportion to its file; the library keeps a hash
// index over each list's paths.
struct MarksEntry {
    char* path;
    float mark_in, mark_out;          // fractions 0..1
};

struct BarsEntry {
    char* path;
    int32_t shift;                    // beats
};

// The marks file path: "<config base>/TideCoil/marks.ini" (the folder made when
// missing), else the bare "marks.ini" when the base is unknown or the path does not
// fit; and the bars file beside it ("bars.ini"). Written into the library's fields.
void library_locate_marks(Library* lib);

// Reads marks.ini: lines "<in> <out>\t<path>"; bad, over-long or repeated lines are
// skipped, values outside 0..1 are brought in as library_set_marks does.
void library_load_marks(Library* lib);
int32_t library_find_marks(const Library* lib, const char* path);   // -1 none
// Copies the item's marks from its entry, else 0, 1 and no marks.
void library_apply_marks(const Library* lib, LibraryItem* item);
// Stores in..out (out at most 1, in at least 0, at least 0.002 apart) for the item's
// path, updates the item in the library and the loaded take's region, saves, and calls
// the marks hook. Values that are not numbers are ignored.
void library_set_marks(Library* lib, const LibraryItem* item, float in, float out);
void library_clear_marks(Library* lib, const LibraryItem* item);
// Rewrites marks.ini; false when it could not be written (the old file stays).
bool library_save_marks(Library* lib);

// Reads bars.ini: lines "<shift>\t<path>"; the first line of a path wins.
void library_load_bars(Library* lib);
int32_t library_find_bars(const Library* lib, const char* path);    // -1 none
// Stores the shift and rewrites bars.ini with every non-zero shift.
void library_set_grid_shift(Library* lib, const char* path, int32_t beats);
bool library_save_bars(Library* lib);

// Frees the lists (library_free_bars the shifts alone).
void library_free_marks(Library* lib);
void library_free_bars(Library* lib);
