// library_store.h - storage helpers of the library: arrays that grow by doubling, and
// small text files read line by line (over-long lines skipped whole) and written
// through a temporary file and a rename.
// Threads: UI thread (any one thread per file).
// Depends on: platform/plat_file.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "library/path_index.h"

enum { LIBRARY_TEXT_LINE = 800 };   // bytes of a line with its end and the NUL

// Calls visit with each line, its CR and LF removed; a line that does not fit (more
// than LIBRARY_TEXT_LINE - 1 bytes with its line feed) is skipped whole, never read as
// two. A NUL ends the text of the line it is in and nothing more. visit returns false to stop. False when the file
// cannot be opened (a missing file, or anything but a regular file).
bool library_text_read(const char* path, bool (*visit)(void* ctx, char* line), void* ctx);

// Writes path whole: write fills the temporary file, which then replaces path. False
// (path untouched, the temporary removed) when write or any file step fails.
bool library_text_write(const char* path, bool (*write)(void* ctx, FILE* f), void* ctx);

// False for a path holding a line feed or a carriage return: written into a line of
// a text file it would start another line, and could stand for another file's entry.
bool library_path_storable(const char* path);

// Makes room for one more element in *array (count in use, *capacity allocated):
// first elements at the first growth, then doubling. False (array unchanged) when it
// cannot grow.
bool library_grow(void** array, int32_t* capacity, int32_t count, size_t element_size, int32_t first);

// A keyed list: an array of entries of `size` bytes whose member at `path_offset` is a
// `char*` owning the entry's path, with a PathIndex over the paths.
struct KeyedList {
    void** array;
    int32_t* count;
    int32_t* capacity;
    size_t size;
    size_t path_offset;
    PathIndex* index;
};

// Position of path's entry, -1 when none.
int32_t library_keyed_find(KeyedList l, const char* path);
// Appends a zeroed entry holding a copy of path (first entries at the first growth,
// then doubling). Null, with nothing changed, when it cannot grow.
void* library_keyed_append(KeyedList l, const char* path, int32_t first);
// Removes entry i; later entries move up.
void library_keyed_remove(KeyedList l, int32_t i);
// Frees every path, the array and the index.
void library_keyed_free(KeyedList l);
