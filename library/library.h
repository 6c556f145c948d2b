// library.h - the take library: audio files as items with waveform summaries, the
// filtered and ordered view of one source, the selection, the take handed to the
// preview player, the take view's model state, and the reader that decodes files.
// Threads: UI thread only. The reader thread (library_reader.h) shares nothing with
//          this record: requests and results pass through the reader's own queues.
// Depends on: library_reader.h, marks.h, audio/preview.h, audio/audiofile.h,
//             ui/spring.h, platform/plat_file.h, platform/plat_folders.h,
//             platform/plat_trash.h, library_seams.h.
//
// Items are identified by their full UTF-8 path, compared byte for byte. A path that
// does not fit a path field is refused, never cut.
#pragma once
#include <cstddef>
#include <cstdint>

#include "library/library_reader.h"
#include "library/marks.h"
#include "library/path_index.h"
#include "library/take_view.h"
#include "ui/spring.h"

struct PreviewPlayer;
struct FolderTree;
struct FavouritesPanel;
struct LibraryViewUi;

enum : uint32_t {
    LIBRARY_KIND_CLOUD = 0,           // nothing makes these: the cloud client is absent
    LIBRARY_KIND_LOCAL = 1,
};

enum : uint32_t {
    LIBRARY_SOURCE_ALL = 0,
    LIBRARY_SOURCE_CLOUD = 1,
    LIBRARY_SOURCE_LOCAL = 2,
    LIBRARY_SOURCE_BROWSE = 3,        // the folder tree instead of cards: an empty view
};

enum {
    LIBRARY_WAVEFORM_COLUMNS = 1024,
    LIBRARY_FIRST_CAPACITY = 256,
};

struct LibraryItem {
    uint32_t kind;
    char folder[40];                  // the folder holding the file (name only)
    char ext[40];                     // extension without the dot, upper case
    char name[96];                    // file name without the extension
    double time;                      // last write, ms since 1970 UTC
    uint64_t size;                    // bytes
    char path[LIBRARY_PATH];          // the identity
    float summary[LIBRARY_SUMMARY_COLUMNS];   // peaks 0..1, loudest column 1
    uint8_t ready;                    // the summary has arrived
    uint8_t failed;                   // the file could not be read: cannot be played
    double duration;                  // seconds
    float colour[4];                  // RGBA from library_item_colour
    float mark_in, mark_out;          // fractions of the file; 0 and 1 without marks
    uint8_t has_marks;
    uint8_t requested;                // its summary read is queued or done
};

// The view state the shell keeps in its settings.
struct LibraryViewState {
    uint32_t source;                  // LIBRARY_SOURCE_*
    char filter[32];
    float scroll;                     // list scroll, canvas units
    char selected_path[LIBRARY_PATH];
};

typedef void (*LibrarySelectedHook)(void* ctx, const LibraryItem* item);
typedef void (*LibraryMarksHook)(void* ctx, const LibraryItem* item, float in, float out, bool has_marks);
typedef void (*LibraryDeletedHook)(void* ctx, const char* name, bool file_kept);

struct Library {
    // Items and the view (indices into items, in display order).
    LibraryItem* items;
    int32_t count, capacity;
    int32_t* view;
    int32_t view_count;
    int32_t local_count;              // items of kind 1

    LibraryViewState state;
    float scroll_target;
    int32_t selected;                 // index into items, -1 none
    int32_t removing;                 // item whose card slides out, -1 none
    Spring removal;                   // that card's slide (omega 28, zeta 0.9)
    uint8_t dirty;                    // rebuild the view before the next draw

    // BROWSE: the folder tree and favourites panel, absent until first enabled.
    uint8_t browse_enabled;
    FolderTree* tree;
    FavouritesPanel* favourites;
    char browse_root[LIBRARY_PATH];   // the folder the tree opens on
    char pending_pick[LIBRARY_PATH];  // a file picked in the tree, opened after a pause
    double pending_time;              // -1: not yet stamped
    char transient_path[LIBRARY_PATH];   // the item the last tree pick added
    char menu_path[LIBRARY_PATH];     // the tree entry a tree menu was opened on

    // The player (not owned) and the take in it or being read for it.
    PreviewPlayer* player;
    char loaded_path[LIBRARY_PATH];   // empty when none
    uint8_t loading;
    // The take the player held when a new one was asked for: it stays in the player
    // (stopped) until the new one arrives, and is the loaded take again when the new
    // one cannot be read. Empty when there was none.
    char previous_path[LIBRARY_PATH];
    uint8_t previous_waveform_ready;
    uint32_t load_failures;           // takes asked for that could not be played; the
                                      // shell says so when it rises
    double next_visual_time;          // band visualiser clock, 24 steps a second

    // Hooks (none installed by the application).
    LibrarySelectedHook on_selected;
    LibraryMarksHook on_marks;
    LibraryDeletedHook on_deleted;
    void* hook_ctx;

    // Options.
    uint8_t reduced_motion;           // option c
    int32_t take_panel_mode;          // option b: 1 = take view under the list
    uint8_t player_only;              // option a: the take view alone

    // The take view's model: the loaded take's waveform and the visible window.
    float take_waveform[LIBRARY_WAVEFORM_COLUMNS];
    uint8_t waveform_ready;
    uint8_t take_dirty;               // the waveform must be redrawn
    float window_start;               // fraction of the take
    float zoom;                       // visible fraction, 0.02..1
    float reference_length;           // seconds a newly loaded take shows; 0 none
    uint8_t region_loop;              // loop between the marks
    uint8_t tempo_row;                // tempo row and analysis: off, nothing sets it
    int32_t bars_per_segment;
    float volume;                     // 0..1, the player's gain
    LibraryTake take;                 // the take view's input and the tempo row
    uint8_t marks_deferred;           // a mark drag: marks.ini is written on release

    // Marks and bar shifts (marks.h).
    MarksEntry* marks;
    int32_t marks_count, marks_capacity;
    PathIndex marks_index;
    char marks_path[260];             // empty: no marks file
    BarsEntry* bars;
    int32_t bars_count, bars_capacity;
    PathIndex bars_index;
    char bars_path[260];              // empty: no bars file

    // Reader and progress ("READING done / queued").
    LibraryReader* reader;
    ReadResult* arrived;              // LIBRARY_RESULTS results taken per frame
    int32_t queued, done;
    int32_t unrequested;              // items whose summary request found the ring full

    LibraryViewUi* ui;                // the view's own state, made and freed by the view

    float dt;                         // the last frame time
};

// -- Lifecycle and wiring -------------------------------------------------------
// Null when out of memory or when the reader thread cannot start.
Library* library_create(void);
// Stops the reader (waiting up to 5000 ms) and frees everything; null does nothing.
// A reader thread still decoding then frees its own state when it ends.
void library_destroy(Library* lib);

void library_set_player(Library* lib, PreviewPlayer* player);
void library_set_volume(Library* lib, float volume);        // clamped 0..1, to the player
float library_get_volume(const Library* lib);               // 1.0 for null
void library_set_reference_length(Library* lib, float seconds);   // negative -> 0
float library_reference_length(const Library* lib);         // 0 for null
void library_enable_browse(Library* lib, bool on);
FolderTree* library_folder_tree(Library* lib);              // null before BROWSE
FavouritesPanel* library_favourites_panel(Library* lib);
LibraryViewState library_get_view_state(const Library* lib);   // zeroed for null
void library_set_view_state(Library* lib, const LibraryViewState* state);
void library_set_option_a(Library* lib, uint8_t player_only);
void library_set_option_b(Library* lib, int32_t take_panel_mode);
void library_set_option_c(Library* lib, uint8_t reduced_motion);

// -- Items ----------------------------------------------------------------------
// True for a name whose extension (after the last dot of the file name) is one of the
// audio extensions, in any case.
bool library_is_audio_path(const char* path);
// Adds a regular audio file (or selects it when present) and, with load, plays it
// unless it is the loaded take already. False for a refused path or a full memory.
bool library_add_file(Library* lib, const char* path, bool load);
int32_t library_find_item(const Library* lib, const char* path);   // -1 none or empty
const char* library_item_path(const LibraryItem* item);   // "" for null
// Queues a read of item's file; urgent requests are served first. False when dropped.
bool library_request_read(Library* lib, uint32_t kind, const LibraryItem* item, bool urgent);
void library_play_item(Library* lib, LibraryItem* item);    // load, or play/pause the loaded take
void library_stop(Library* lib);
LibraryItem* library_loaded_item(Library* lib);             // item of loaded_path, or null
// Moves the file to the trash and removes the item. When the trash refuses (another
// file system, no trash folder) the item stays and its card springs back: false.
bool library_delete_item(Library* lib, int32_t index);
// Selects item index (the view's selection); _item also fires the selected hook.
void library_select_index(Library* lib, int32_t index);
void library_select_item(Library* lib, int32_t index);
void library_remove_pending(Library* lib);                  // removes the transient item
void library_open_transient(Library* lib, const char* path);
// The folder tree's callbacks: a selection (picked files wait 0.15 s before they
// open) and an open (audio files become the transient take, others go to the desktop).
void library_on_tree_select(Library* lib, const char* path, bool is_folder);
void library_open_with_shell(Library* lib, const char* path);
void library_item_colour(const char* path, float out[4]);

// -- View and frame -------------------------------------------------------------
// Sorts the items (newer first, then by name) and keeps those of the source that the
// filter matches; the selection follows its path.
void library_rebuild_view(Library* lib);
// Case-insensitive substring; an empty filter matches everything.
bool library_filter_match(const char* filter, const char* text);
// Once per frame: results of the reader, the pending pick, the player's retired
// buffer, scroll and slide easing, the band visualiser clock.
void library_update(Library* lib, double now, float dt);
