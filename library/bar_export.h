// bar_export.h - the names and folder of the loops a take view exports
// (library_export_bar in take_view.h does the export).
// Threads: any for the names; loops_folder makes folders.
// Depends on: take_view.h, platform/plat_folders.h, platform/plat_dir.h.
#pragma once
#include <cstddef>
#include <cstdint>

struct LibrarySegment;

// The XDG music folder + "/TideCoil/Loops", made with its parents. False (out empty)
// without a music folder or when it cannot be made.
bool loops_folder(char* out, size_t cap);
// The same path, without making anything.
bool loops_folder_path(char* out, size_t cap);
// The take's part of a loop's name: the item's name cut at 199 bytes on a whole
// character, a short last extension (under 6 characters with its dot) dropped, and
// characters other programs refuse in names turned to '_'.
void bar_export_take_name(const char* item_name, char* out, size_t cap);
// "<folder>/<take>  bar <n>  <k> bars  <bpm> bpm.wav", or "... end  <b> beats ..." for
// a partial segment; copy > 1 adds " (<copy>)" before ".wav". False when it does not fit.
bool bar_export_file_name(const char* folder, const char* take, const LibrarySegment* seg, int32_t index,
                          int32_t copy, char* out, size_t cap);
