// bars.cpp - the bar grid's shift in beats per file, kept in bars.ini.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "library/library.h"
#include "library/library_store.h"

static const int32_t kFirstEntries = 64;

// The shifts as a keyed list; *array stands in for lib->bars during the call.
static KeyedList bars_list(Library* lib, void** array)
{
    *array = lib->bars;
    return KeyedList{array, &lib->bars_count, &lib->bars_capacity, sizeof(BarsEntry),
                     offsetof(BarsEntry, path), &lib->bars_index};
}

int32_t library_find_bars(const Library* lib, const char* path)
{
    if (!lib || !path)
        return -1;
    void* array;
    return library_keyed_find(bars_list((Library*)lib, &array), path);
}

static BarsEntry* bars_append(Library* lib, const char* path)
{
    size_t len = std::strlen(path);
    if (len == 0 || len >= LIBRARY_PATH)
        return nullptr;
    void* array;
    BarsEntry* e = (BarsEntry*)library_keyed_append(bars_list(lib, &array), path, kFirstEntries);
    lib->bars = (BarsEntry*)array;
    return e;
}

void library_free_bars(Library* lib)
{
    if (!lib)
        return;
    void* array;
    library_keyed_free(bars_list(lib, &array));
    lib->bars = nullptr;
}

// "<shift>\t<path>": an integer first, the path after the first tab.
static bool bars_line(void* ctx, char* line)
{
    Library* lib = (Library*)ctx;
    const char* tab = std::strchr(line, '\t');
    if (!tab || !tab[1])
        return true;
    char* end = nullptr;
    errno = 0;
    long shift = std::strtol(line, &end, 10);
    if (end == line || errno == ERANGE || shift < INT32_MIN || shift > INT32_MAX)
        return true;
    const char* path = tab + 1;
    if (library_find_bars(lib, path) >= 0)
        return true;
    BarsEntry* e = bars_append(lib, path);
    if (!e)
        return std::strlen(path) >= LIBRARY_PATH;   // a full memory ends the reading
    e->shift = (int32_t)shift;
    return true;
}

void library_load_bars(Library* lib)
{
    if (lib && lib->bars_path[0])
        library_text_read(lib->bars_path, bars_line, lib);
}

static bool bars_write(void* ctx, FILE* f)
{
    const Library* lib = (const Library*)ctx;
    for (int32_t i = 0; i < lib->bars_count; i++) {
        const BarsEntry* e = &lib->bars[i];
        if (e->shift != 0 && library_path_storable(e->path) && fprintf(f, "%d\t%s\n", e->shift, e->path) < 0)
            return false;
    }
    return true;
}

bool library_save_bars(Library* lib)
{
    if (!lib || !lib->bars_path[0])
        return false;
    return library_text_write(lib->bars_path, bars_write, lib);
}

void library_set_grid_shift(Library* lib, const char* path, int32_t beats)
{
    // A path with a line break cannot be written: its shift is not kept.
    if (!lib || !path || !path[0] || !library_path_storable(path))
        return;
    int32_t i = library_find_bars(lib, path);
    BarsEntry* e = i >= 0 ? &lib->bars[i] : bars_append(lib, path);
    if (!e)
        return;
    e->shift = beats;
    library_save_bars(lib);
}
