// plat_dl.h - shared libraries loaded at run time (plug-ins): open, look up, close.
// Threads: any; the loader serialises itself. The caller keeps a library open while
// anything it found in it may still run.
// Depends on: the OS dynamic loader (dlopen).
#pragma once
#include <cstddef>

struct PlatLib;

// Opens the library at path with every symbol bound now and kept private to it. With
// keep_mapped the code stays mapped after the last close (for libraries whose threads
// outlive their own shutdown). Anything but a regular file (a FIFO, a device, a folder)
// is refused unopened. Null on failure, with the loader's reason in err.
PlatLib* plat_dl_open(const char* path, bool keep_mapped, char* err, size_t err_cap);

// Looks name up in this library only (never in the program or libraries loaded
// before it). Null when the library does not define it.
void* plat_dl_sym(PlatLib* lib, const char* name);

// Drops this reference to the library; null is ignored.
void plat_dl_close(PlatLib* lib);

// True when a library whose path contains path_part is mapped into this process.
bool plat_dl_is_mapped(const char* path_part);
