// take_names.h - names of the files the program writes into the takes folder: a time
// stamp, and "-2", "-3" ... when a file (or a temporary one being written) already
// has the name, so no take is ever written over another; and how take names compare.
// Threads: UI thread; the session take's writer also picks free names.
// Depends on: platform/plat_time.h, platform/plat_file.h, platform/plat_dir.h.
#pragma once
#include <cstddef>

// The named lock every running copy holds while it puts a session take in place over
// another, and the start-up sweep while it puts one back: one for all takes, since it
// is held only to compare and move (one lock file in all, however many takes).
constexpr char TAKE_LOCK_NAME[] = "takes";

struct PlatLocalTime;

// "<prefix>%04d%02d%02d-%02d%02d%02d.wav", with "-n" before ".wav" when n > 1. False
// when it does not fit.
bool take_name_stamped(const char* prefix, const PlatLocalTime* t, int n, char* out, size_t out_cap);
// Whether folder holds something under name, or a temporary "<name>.tmp..." of a
// write that has not been put in place yet.
bool take_name_taken(const char* folder, const char* name);
// The first stamped name (n = 1, 2 ... 99) that folder does not hold; false when
// none is free or it does not fit.
bool take_name_free(const char* folder, const char* prefix, const PlatLocalTime* t, char* out, size_t out_cap);

// Take names, like all paths, compare byte for byte: "Jam.wav" and "jam.wav" are two
// takes. Only a file's kind goes by its extension in any case of the ASCII letters,
// as the library's audio kinds do: "TAKE.WAV" is a WAV file.
bool take_name_same(const char* a, const char* b);
// Whether the text from name's last dot is ext (".wav"), in any case. False for null.
bool take_name_has_extension(const char* name, const char* ext);
// Whether name is one of the user's kept copies rather than a session take: a loop
// export ("tessel-loop-...") or a bar loop ("<take>  bar 3  1 bar  120 bpm.wav",
// "<take>  end  2.5 beats  120 bpm.wav").
bool take_name_is_kept_copy(const char* name);
