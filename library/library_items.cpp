// library_items.cpp - items: adding and naming files, finding, removing and deleting
// them, the transient item of tree picks, playing the loaded take, card colours.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/preview.h"
#include "library/library.h"
#include "library/library_seams.h"
#include "library/library_store.h"
#include "platform/plat_file.h"
#include "platform/plat_trash.h"
#include "rig/rig_device.h"

static const char* const kAudioExtensions[] = {"wav", "aif", "aiff", "flac", "mp3",
                                               "m4a", "aac", "ogg", "opus", "wma"};

static const char* file_name_of(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// The text after the last dot of the file name, or null without a dot.
static const char* extension_of(const char* path)
{
    const char* dot = std::strrchr(file_name_of(path), '.');
    return dot ? dot + 1 : nullptr;
}

bool library_is_audio_path(const char* path)
{
    const char* ext = path ? extension_of(path) : nullptr;
    if (!ext)
        return false;
    for (const char* known : kAudioExtensions) {
        size_t i = 0;
        while (known[i] && std::tolower((unsigned char)ext[i]) == known[i])
            i++;
        if (!known[i] && !ext[i])
            return true;
    }
    return false;
}

int32_t library_find_item(const Library* lib, const char* path)
{
    if (!lib || !path || !path[0])
        return -1;
    for (int32_t i = 0; i < lib->count; i++)
        if (std::strcmp(lib->items[i].path, path) == 0)
            return i;
    return -1;
}

const char* library_item_path(const LibraryItem* item)
{
    return item ? item->path : "";
}

void library_item_colour(const char* path, float out[4])
{
    static const uint32_t kColours[6] = {0x2EC7B8, 0x8C2EBF, 0xCC4073, 0xD9802E, 0x80BF4D, 0x4DA6D9};
    uint32_t h = 0x811C9DC5u;
    for (const unsigned char* p = (const unsigned char*)(path ? path : ""); *p; p++) {
        h ^= *p;
        h *= 16777619u;
    }
    uint32_t c = kColours[h % 6];
    out[0] = (float)((c >> 16) & 0xFF) / 255.0f;
    out[1] = (float)((c >> 8) & 0xFF) / 255.0f;
    out[2] = (float)(c & 0xFF) / 255.0f;
    out[3] = 1.0f;
}

// Items and the view share one capacity.
static bool grow_items(Library* lib)
{
    if (lib->count < lib->capacity)
        return true;
    int32_t view_capacity = lib->capacity;
    void* view = lib->view;
    if (!library_grow(&view, &view_capacity, lib->count, sizeof(int32_t), LIBRARY_FIRST_CAPACITY))
        return false;
    lib->view = (int32_t*)view;
    void* items = lib->items;
    if (!library_grow(&items, &lib->capacity, lib->count, sizeof(LibraryItem), LIBRARY_FIRST_CAPACITY))
        return false;
    lib->items = (LibraryItem*)items;
    return true;
}

static void select_index(Library* lib, int32_t index)
{
    lib->selected = index;
    std::memcpy(lib->state.selected_path, lib->items[index].path, LIBRARY_PATH);
}

void library_select_index(Library* lib, int32_t index)
{
    if (lib && index >= 0 && index < lib->count)
        select_index(lib, index);
}

void library_select_item(Library* lib, int32_t index)
{
    if (!lib || index < 0 || index >= lib->count)
        return;
    select_index(lib, index);
    if (lib->on_selected)
        lib->on_selected(lib->hook_ctx, &lib->items[index]);
}

// Fills the naming fields of a new item from its path.
static void name_item(LibraryItem* item, const char* path)
{
    const char* name = file_name_of(path);
    const char* ext = extension_of(path);
    int i = 0;
    for (; ext[i] && i < (int)sizeof item->ext - 1; i++)
        item->ext[i] = (char)std::toupper((unsigned char)ext[i]);
    item->ext[i] = '\0';

    // The folder: the component before the name, none when the path starts there.
    if (name - path >= 2) {
        const char* end = name - 1;
        const char* start = end;
        while (start > path && start[-1] != '/')
            start--;
        char folder[LIBRARY_PATH];
        size_t len = (size_t)(end - start);
        std::memcpy(folder, start, len);
        folder[len] = '\0';
        rig_utf8_copy(item->folder, sizeof item->folder, folder);
    }

    // The name without its extension, unless the dot opens the name.
    char base[LIBRARY_PATH];
    size_t len = std::strlen(name);
    const char* dot = std::strrchr(name, '.');
    if (dot && dot != name)
        len = (size_t)(dot - name);
    std::memcpy(base, name, len);
    base[len] = '\0';
    rig_utf8_copy(item->name, sizeof item->name, base);
}

bool library_add_file(Library* lib, const char* path, bool load)
{
    if (!lib || !path || !path[0] || std::strlen(path) >= LIBRARY_PATH)
        return false;
    if (!library_is_audio_path(path))
        return false;
    PlatFileInfo info;
    if (!plat_file_info(path, &info) || !info.is_regular)
        return false;

    int32_t index = library_find_item(lib, path);
    if (index >= 0) {
        select_index(lib, index);
    } else {
        if (!grow_items(lib))
            return false;
        index = lib->count;
        LibraryItem* item = &lib->items[index];
        std::memset(item, 0, sizeof *item);
        item->kind = LIBRARY_KIND_LOCAL;
        std::memcpy(item->path, path, std::strlen(path) + 1);
        name_item(item, path);
        item->time = info.mtime_ms;
        item->size = (uint64_t)info.size;
        library_item_colour(item->path, item->colour);
        library_apply_marks(lib, item);
        lib->count++;
        lib->local_count++;
        // A full ring: asked for again as it drains (library_update).
        item->requested = library_request_read(lib, LIBRARY_READ_SUMMARY, item, true) ? 1 : 0;
        if (item->requested)
            lib->queued++;
        else
            lib->unrequested++;
        lib->dirty = 1;
        select_index(lib, index);
    }
    if (load && std::strcmp(lib->items[index].path, lib->loaded_path) != 0)
        library_play_item(lib, &lib->items[index]);
    return true;
}

void library_play_item(Library* lib, LibraryItem* item)
{
    if (!lib || !item || item->kind != LIBRARY_KIND_LOCAL || !lib->player)
        return;
    if (item->failed) {
        lib->load_failures++;
        return;
    }
    if (std::strcmp(item->path, lib->loaded_path) != 0 || lib->loading) {
        // A take already in the player is kept until the new one has arrived.
        if (!lib->loading) {
            std::memcpy(lib->previous_path, lib->loaded_path, LIBRARY_PATH);
            lib->previous_waveform_ready = lib->waveform_ready;
        }
        preview_stop(lib->player);
        std::memcpy(lib->loaded_path, item->path, LIBRARY_PATH);
        lib->loading = 1;
        lib->waveform_ready = 0;
        lib->take_dirty = 1;
        library_visual_clear(lib);
        library_request_read(lib, LIBRARY_READ_LOAD, item, true);
        return;
    }
    if (preview_is_playing(lib->player))
        preview_pause(lib->player);
    else
        preview_play(lib->player);
}

void library_stop(Library* lib)
{
    if (!lib)
        return;
    if (lib->player)
        preview_stop(lib->player);
    lib->loaded_path[0] = '\0';
    lib->previous_path[0] = '\0';
    lib->loading = 0;
    library_visual_clear(lib);
}

LibraryItem* library_loaded_item(Library* lib)
{
    if (!lib || !lib->loaded_path[0])
        return nullptr;
    int32_t index = library_find_item(lib, lib->loaded_path);
    return index >= 0 ? &lib->items[index] : nullptr;
}

// Takes item index out of the list; the selection stays on the same item.
static void remove_item(Library* lib, int32_t index)
{
    if (std::strcmp(lib->items[index].path, lib->loaded_path) == 0)
        library_stop(lib);
    if (lib->items[index].kind == LIBRARY_KIND_LOCAL)
        lib->local_count--;
    std::memmove(&lib->items[index], &lib->items[index + 1],
                 sizeof(LibraryItem) * (size_t)(lib->count - index - 1));
    lib->count--;
    if (lib->selected == index)
        lib->selected = -1;
    else if (lib->selected > index)
        lib->selected--;
    lib->removing = -1;
    lib->dirty = 1;
}

void library_remove_pending(Library* lib)
{
    if (!lib)
        return;
    int32_t index = library_find_item(lib, lib->transient_path);
    if (index >= 0)
        remove_item(lib, index);
    lib->transient_path[0] = '\0';
}

bool library_delete_item(Library* lib, int32_t index)
{
    if (!lib || index < 0 || index >= lib->count || lib->items[index].kind != LIBRARY_KIND_LOCAL)
        return false;
    // The trash may refuse (another file system, no trash folder): the file then stays
    // where it was, so the item stays too and its card springs back.
    if (!plat_trash_move(lib->items[index].path)) {
        fprintf(stderr, "library: the trash refused a file; it stays in place\n");
        lib->removal.target = 0.0f;
        if (lib->on_deleted)
            lib->on_deleted(lib->hook_ctx, lib->items[index].name, true);
        return false;
    }
    char name[sizeof lib->items[index].name];
    std::memcpy(name, lib->items[index].name, sizeof name);
    remove_item(lib, index);
    if (lib->on_deleted)
        lib->on_deleted(lib->hook_ctx, name, false);
    return true;
}

void library_open_transient(Library* lib, const char* path)
{
    if (!lib || !path)
        return;
    if (library_find_item(lib, path) >= 0) {
        library_add_file(lib, path, true);
        return;
    }
    library_remove_pending(lib);
    if (library_add_file(lib, path, true))
        std::memcpy(lib->transient_path, path, std::strlen(path) + 1);
}

void library_on_tree_select(Library* lib, const char* path, bool is_folder)
{
    if (!lib)
        return;
    size_t len = path ? std::strlen(path) : 0;
    bool pick = !is_folder && len > 0 && len < sizeof lib->pending_pick && library_is_audio_path(path) &&
                std::strcmp(path, lib->loaded_path) != 0;
    if (!pick) {
        lib->pending_pick[0] = '\0';
        return;
    }
    std::memcpy(lib->pending_pick, path, len + 1);
    lib->pending_time = -1.0;
}

void library_open_with_shell(Library* lib, const char* path)
{
    if (!lib || !path || !path[0])
        return;
    if (library_is_audio_path(path)) {
        lib->pending_pick[0] = '\0';
        library_open_transient(lib, path);
        return;
    }
    library_shell_open(path);
}
