// bars.cpp - the bar grid's shift in beats per file, kept in bars.ini.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "library/library.h"
#include "library/library_store.h"

static const int32_t kFirstEntries = 64;

int32_t library_find_bars(const Library* lib, const char* path)
{
    if (!lib || !path)
        return -1;
    for (int32_t i = 0; i < lib->bars_count; i++)
        if (std::strcmp(lib->bars[i].path, path) == 0)
            return i;
    return -1;
}

static BarsEntry* bars_append(Library* lib, const char* path)
{
    size_t len = std::strlen(path);
    if (len == 0 || len >= LIBRARY_PATH)
        return nullptr;
    void* array = lib->bars;
    if (!library_grow(&array, &lib->bars_capacity, lib->bars_count, sizeof(BarsEntry), kFirstEntries))
        return nullptr;
    lib->bars = (BarsEntry*)array;
    BarsEntry* e = &lib->bars[lib->bars_count++];
    std::memcpy(e->path, path, len + 1);
    e->shift = 0;
    return e;
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
        if (e->shift != 0 && fprintf(f, "%d\t%s\n", e->shift, e->path) < 0)
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
    if (!lib || !path || !path[0])
        return;
    int32_t i = library_find_bars(lib, path);
    BarsEntry* e = i >= 0 ? &lib->bars[i] : bars_append(lib, path);
    if (!e)
        return;
    e->shift = beats;
    library_save_bars(lib);
}
