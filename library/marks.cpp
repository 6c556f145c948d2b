// marks.cpp - in and out marks per file: where the file lives, reading and rewriting
// it, setting and clearing marks with the loaded take's region following.
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/preview.h"
#include "library/library.h"
#include "library/library_store.h"
#include "platform/plat_dir.h"
#include "platform/plat_folders.h"

static const float kMinMarkGap = 0.002f;
static const int32_t kFirstEntries = 64;

// ---------------------------------------------------------------------------
// Where the files live
// ---------------------------------------------------------------------------

void library_locate_marks(Library* lib)
{
    if (!lib)
        return;
    char base[1024], folder[1100];
    bool placed = false;
    if (plat_config_folder(base, sizeof base) == PLAT_PATH_OK) {
        int n = snprintf(folder, sizeof folder, "%s/TideCoil", base);
        int m = n > 0 && (size_t)n < sizeof folder
                    ? snprintf(lib->marks_path, sizeof lib->marks_path, "%s/marks.ini", folder)
                    : -1;
        // A path that does not fit is not cut: the marks go to the working folder.
        placed = m > 0 && (size_t)m < sizeof lib->marks_path;
        if (placed)
            plat_dir_make(folder);
    }
    if (!placed)
        snprintf(lib->marks_path, sizeof lib->marks_path, "marks.ini");

    size_t len = std::strlen(lib->marks_path);
    lib->bars_path[0] = '\0';
    if (len >= 9 && std::strcmp(lib->marks_path + len - 9, "marks.ini") == 0)
        snprintf(lib->bars_path, sizeof lib->bars_path, "%.*sbars.ini", (int)(len - 9), lib->marks_path);
}

// ---------------------------------------------------------------------------
// The list
// ---------------------------------------------------------------------------

// Brings in..out into 0..1 with the smallest gap; false for values that are not numbers.
static bool marks_normalise(float* in, float* out)
{
    if (!std::isfinite(*in) || !std::isfinite(*out))
        return false;
    *out = std::fmin(*out, 1.0f);
    *in = std::fmax(*in, 0.0f);
    if (*in + kMinMarkGap > *out) {
        *in = std::fmin(*in, 1.0f - kMinMarkGap);
        *out = *in + kMinMarkGap;
    }
    return true;
}

// The marks as a keyed list; *array stands in for lib->marks during the call.
static KeyedList marks_list(Library* lib, void** array)
{
    *array = lib->marks;
    return KeyedList{array, &lib->marks_count, &lib->marks_capacity, sizeof(MarksEntry),
                     offsetof(MarksEntry, path), &lib->marks_index};
}

int32_t library_find_marks(const Library* lib, const char* path)
{
    if (!lib || !path)
        return -1;
    void* array;
    return library_keyed_find(marks_list((Library*)lib, &array), path);
}

// Appends an entry for path; null when the list cannot grow or the path does not fit.
static MarksEntry* marks_append(Library* lib, const char* path)
{
    size_t len = std::strlen(path);
    if (len == 0 || len >= LIBRARY_PATH)
        return nullptr;
    void* array;
    MarksEntry* e = (MarksEntry*)library_keyed_append(marks_list(lib, &array), path, kFirstEntries);
    lib->marks = (MarksEntry*)array;
    if (!e)
        return nullptr;
    e->mark_in = 0.0f;
    e->mark_out = 1.0f;
    return e;
}

void library_free_marks(Library* lib)
{
    if (!lib)
        return;
    void* array;
    library_keyed_free(marks_list(lib, &array));
    lib->marks = nullptr;
    library_free_bars(lib);
}

// ---------------------------------------------------------------------------
// The file
// ---------------------------------------------------------------------------

// "<in> <out>\t<path>": two numbers first, the path after the first tab.
static bool marks_line(void* ctx, char* line)
{
    Library* lib = (Library*)ctx;
    const char* tab = std::strchr(line, '\t');
    if (!tab || !tab[1])
        return true;
    char* end = nullptr;
    float in = std::strtof(line, &end);
    if (end == line)
        return true;
    const char* second = end;
    float out = std::strtof(second, &end);
    if (end == second || !marks_normalise(&in, &out))
        return true;
    // Only the first line of a path counts, so clearing it clears it for good.
    const char* path = tab + 1;
    if (library_find_marks(lib, path) >= 0)
        return true;
    MarksEntry* e = marks_append(lib, path);
    if (!e)
        return std::strlen(path) >= LIBRARY_PATH;   // a full memory ends the reading
    e->mark_in = in;
    e->mark_out = out;
    return true;
}

void library_load_marks(Library* lib)
{
    if (lib && lib->marks_path[0])
        library_text_read(lib->marks_path, marks_line, lib);
}

static bool marks_write(void* ctx, FILE* f)
{
    const Library* lib = (const Library*)ctx;
    for (int32_t i = 0; i < lib->marks_count; i++) {
        const MarksEntry* e = &lib->marks[i];
        if (library_path_storable(e->path) && fprintf(f, "%.6f %.6f\t%s\n", e->mark_in, e->mark_out, e->path) < 0)
            return false;
    }
    return true;
}

bool library_save_marks(Library* lib)
{
    if (!lib || !lib->marks_path[0])
        return false;
    return library_text_write(lib->marks_path, marks_write, lib);
}

// ---------------------------------------------------------------------------
// Marks of an item
// ---------------------------------------------------------------------------

void library_apply_marks(const Library* lib, LibraryItem* item)
{
    if (!item)
        return;
    int32_t i = library_find_marks(lib, item->path);
    if (i >= 0) {
        item->mark_in = lib->marks[i].mark_in;
        item->mark_out = lib->marks[i].mark_out;
        item->has_marks = 1;
    } else {
        item->mark_in = 0.0f;
        item->mark_out = 1.0f;
        item->has_marks = 0;
    }
}

// The loaded take's item (loaded, not still being read) when it has this path.
static bool is_loaded_take(const Library* lib, const char* path)
{
    return lib->player && !lib->loading && lib->loaded_path[0] && std::strcmp(lib->loaded_path, path) == 0;
}

static void marks_changed(Library* lib, const LibraryItem* item, float in, float out, bool has)
{
    if (!lib->marks_deferred)
        library_save_marks(lib);
    if (lib->on_marks)
        lib->on_marks(lib->hook_ctx, item, in, out, has);
}

void library_set_marks(Library* lib, const LibraryItem* item, float in, float out)
{
    // A path with a line break cannot be written: its marks are not kept.
    if (!lib || !item || !item->path[0] || !library_path_storable(item->path) || !marks_normalise(&in, &out))
        return;
    int32_t i = library_find_marks(lib, item->path);
    MarksEntry* e = i >= 0 ? &lib->marks[i] : marks_append(lib, item->path);
    if (!e)
        return;
    e->mark_in = in;
    e->mark_out = out;

    int32_t index = library_find_item(lib, item->path);
    if (index >= 0) {
        LibraryItem* own = &lib->items[index];
        own->mark_in = in;
        own->mark_out = out;
        own->has_marks = 1;
        item = own;
    }
    if (is_loaded_take(lib, item->path)) {
        bool was_active = preview_region_active(lib->player);
        preview_set_region(lib->player, in, out, true);
        // A region switched on where the play head lies outside it applies only from
        // a seek: seeking to the same place lets the player take it up.
        if (!was_active && !lib->region_loop)
            preview_seek(lib->player, preview_position(lib->player));
    }
    marks_changed(lib, item, in, out, true);
}

void library_clear_marks(Library* lib, const LibraryItem* item)
{
    if (!lib || !item || !item->path[0])
        return;
    int32_t i = library_find_marks(lib, item->path);
    if (i >= 0) {
        void* array;
        library_keyed_remove(marks_list(lib, &array), i);
    }
    int32_t index = library_find_item(lib, item->path);
    if (index >= 0) {
        LibraryItem* own = &lib->items[index];
        own->mark_in = 0.0f;
        own->mark_out = 1.0f;
        own->has_marks = 0;
        item = own;
    }
    if (is_loaded_take(lib, item->path))
        preview_set_region(lib->player, 0.0, 1.0, false);
    marks_changed(lib, item, 0.0f, 1.0f, false);
}
