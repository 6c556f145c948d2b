// vst_kinds.h - the plug-in kind cache "vst-kinds.txt" in the data folder: one line
// "kind|size|label|path" appended per load, read back onto the picker's entries when
// it opens; a file's line counts only while the file keeps its size.
// Threads: UI thread only [file I/O].
// Depends on: app/app_state.h (AppPicker), platform/plat_file.h, rig/rig_device.h (UTF-8 cut).
#pragma once
#include <cstddef>
#include <cstdint>

struct AppState;

enum VstKind : uint8_t {
    VST_KIND_UNKNOWN = 0,        // in the file: a load under way (reads back as failed)
    VST_KIND_EFFECT = 1,
    VST_KIND_INSTRUMENT = 2,
    VST_KIND_FAILED = 3,
};

enum {
    VST_KINDS_LINE_MAX = 900,                 // longer lines are damage and skipped whole
    VST_KINDS_LABEL_MAX = 39,                 // label bytes kept, cut at a whole character
    VST_KINDS_COMPACT_BYTES = 256 * 1024,     // a larger file is rewritten on reading
    VST_KINDS_KEEP = 1024,                    // newest (path, size) lines a rewrite keeps
};

// "<data folder>/vst-kinds.txt" into out; false (out empty) without a data folder or
// when the name does not fit.
bool vst_kinds_path(const AppState* app, char* out, size_t cap);

// Applies the cache to the picker's entries: for each valid line, the first entry
// with the same path (byte for byte) and the same size takes the line's kind (a load
// under way reads as failed) and label; later lines override earlier ones. Malformed
// and over-long lines are skipped; a missing or unreadable file changes nothing. A
// file above VST_KINDS_COMPACT_BYTES is then rewritten (vst_kinds_compact).
void vst_kinds_read(AppState* app);

// Appends one line for the entry with its current size and path: opens for
// appending, writes, flushes, closes. The label is cut to 39 bytes and loses "|" and
// line breaks. False (nothing written) when the file cannot be opened or the path
// cannot be stored on one line.
bool vst_kinds_append(AppState* app, int32_t entry, int kind, const char* label);

// Rewrites the cache at path with only its valid lines, the last one per path and
// size, at most VST_KINDS_KEEP of them (the newest), through a temporary file and a
// rename. False when it cannot be read or written (the old file then stays).
bool vst_kinds_compact(const char* path);
