// library.cpp - the library's lifetime, wiring to the player and the shell, the view
// state block and the BROWSE switch.
#include "library/library.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/preview.h"
#include "library/library_seams.h"
#include "platform/plat_file.h"
#include "platform/plat_folders.h"

static const float kInitialZoom = 0.54f;
static const float kRemovalStiffness = 28.0f;
static const float kRemovalDamping = 0.9f;
static const int kReaderWaitMs = 5000;

Library* library_create(void)
{
    Library* lib = (Library*)std::calloc(1, sizeof(Library));
    if (!lib)
        return nullptr;
    lib->selected = -1;
    lib->removing = -1;
    lib->pending_time = -1.0;

    library_locate_marks(lib);
    library_load_marks(lib);
    library_load_bars(lib);

    lib->zoom = kInitialZoom;
    lib->take_dirty = 1;
    lib->volume = 1.0f;
    lib->bars_per_segment = 4;

    lib->dirty = 1;
    spring_init(&lib->removal, 0.0f, kRemovalStiffness, kRemovalDamping);

    lib->arrived = (ReadResult*)std::calloc(LIBRARY_RESULTS, sizeof(ReadResult));
    lib->reader = lib->arrived && library_view_create(lib) ? library_reader_start() : nullptr;
    if (!lib->reader) {
        library_destroy(lib);
        return nullptr;
    }
    return lib;
}

void library_destroy(Library* lib)
{
    if (!lib)
        return;
    library_browse_destroy(lib);
    library_take_free(lib);
    library_view_destroy(lib);
    library_free_marks(lib);
    // The reader is told to stop and cancel its decode; a thread that outlives the
    // wait keeps its own record alive and frees it, with any queued buffers, itself.
    library_reader_stop(lib->reader, kReaderWaitMs);
    std::free(lib->arrived);
    std::free(lib->items);
    std::free(lib->view);
    std::free(lib);
}

void library_set_player(Library* lib, PreviewPlayer* player)
{
    if (lib)
        lib->player = player;
}

void library_set_volume(Library* lib, float volume)
{
    if (!lib || std::isnan(volume))
        return;
    lib->volume = volume < 0.0f ? 0.0f : volume > 1.0f ? 1.0f : volume;
    if (lib->player)
        preview_set_gain(lib->player, lib->volume);
}

float library_get_volume(const Library* lib)
{
    return lib ? lib->volume : 1.0f;
}

void library_set_reference_length(Library* lib, float seconds)
{
    if (!lib || std::isnan(seconds))
        return;
    lib->reference_length = seconds < 0.0f ? 0.0f : seconds;
}

float library_reference_length(const Library* lib)
{
    return lib ? lib->reference_length : 0.0f;
}

LibraryViewState library_get_view_state(const Library* lib)
{
    return lib ? lib->state : LibraryViewState{};
}

void library_set_view_state(Library* lib, const LibraryViewState* state)
{
    if (!lib || !state)
        return;
    lib->state = *state;
    lib->state.filter[sizeof lib->state.filter - 1] = '\0';
    lib->state.selected_path[sizeof lib->state.selected_path - 1] = '\0';
    if (!std::isfinite(lib->state.scroll))
        lib->state.scroll = 0.0f;
    lib->scroll_target = lib->state.scroll;
    lib->dirty = 1;
}

void library_set_option_a(Library* lib, uint8_t player_only)
{
    if (lib)
        lib->player_only = player_only;
}

void library_set_option_b(Library* lib, int32_t take_panel_mode)
{
    if (lib)
        lib->take_panel_mode = take_panel_mode;
}

void library_set_option_c(Library* lib, uint8_t reduced_motion)
{
    if (lib)
        lib->reduced_motion = reduced_motion;
}

// The folder the tree opens on: the music folder, else home, else the file system's root.
static void browse_root(char* out, size_t cap)
{
    PlatFileInfo info;
    if (plat_music_folder(out, cap) == PLAT_PATH_OK && plat_file_info(out, &info) && info.is_dir)
        return;
    if (plat_home_folder(out, cap) == PLAT_PATH_OK)
        return;
    snprintf(out, cap, "/");
}

void library_enable_browse(Library* lib, bool on)
{
    if (!lib)
        return;
    if (!on) {
        lib->browse_enabled = 0;
        if (lib->state.source == LIBRARY_SOURCE_BROWSE) {
            lib->state.source = LIBRARY_SOURCE_ALL;
            lib->dirty = 1;
        }
        return;
    }
    if (!lib->browse_enabled && !lib->tree) {
        browse_root(lib->browse_root, sizeof lib->browse_root);
        library_browse_create(lib, lib->browse_root);
    }
    lib->browse_enabled = 1;
}

FolderTree* library_folder_tree(Library* lib)
{
    return lib ? lib->tree : nullptr;
}

FavouritesPanel* library_favourites_panel(Library* lib)
{
    return lib ? lib->favourites : nullptr;
}

bool library_request_read(Library* lib, uint32_t kind, const LibraryItem* item, bool urgent)
{
    if (!lib || !item)
        return false;
    return library_reader_request(lib->reader, kind, item->path, urgent);
}
