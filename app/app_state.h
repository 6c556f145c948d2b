// app_state.h - AppState, the application's one record on the UI thread: settings
// mirror, main-screen animation, toasts, panel states, hit rectangles, library and
// video handles, session-take bookkeeping and folders; its init, per-frame update
// and shutdown.
// Threads: UI thread only. The Engine's counters and meters are read without a lock;
//          the clip flags are the only Engine fields app_update writes (it clears them).
// Depends on: audio/engine.h, audio/looper.h, audio/vst.h (VstPickerEntry), ui/spring.h, ui/particles.h,
//             ui/hitregion.h (HitRect), ui/widget.h (WidgetTable), app/toast.h, app/meter.h,
//             app/take_grid.h.
#pragma once
#include <cstdint>
#include <type_traits>

#include "app/take_grid.h"
#include "audio/vst.h"
#include "platform/plat_file_stamp.h"
#include "ui/hitregion.h"
#include "ui/particles.h"
#include "ui/spring.h"
#include "ui/widget.h"

struct Engine;
struct SDL_Window;
struct SDL_Texture;
// Records of modules still to come; the AppState holds only pointers to them.
struct Library;
struct PreviewPlayer;
struct FolderTree;
struct FavouritesPanel;
struct VideoPlayer;
struct Canvas;
struct TextRenderer;
struct Station;

enum {
    APP_TOASTS = 4,                // toast ring
    APP_TOAST_TEXT = 64,           // bytes, at most 63 characters
    APP_OVERVIEW_COLUMNS = 180,    // waveform overview columns per side
    APP_TAKES_MAX = 256,
    APP_SETTINGS_TEXT = 8192,      // the settings text must stay below this
    APP_SETTINGS_ROWS = 9,
    APP_DEVICE_LIST_MAX = 16,
    APP_PICKER_MAX = 256,
    APP_BACKDROP_STARS = 173,
};

// Transport pads, in drawing and layout order.
enum { PAD_RECORD = 0, PAD_REVERSE, PAD_STOP, PAD_FORWARD, PAD_HOLD_DUB, PAD_COUNT };
// Flash pulses.
enum { FLASH_LOOP_SET = 0, FLASH_CLEARED, FLASH_BEAT, FLASH_EXPORTED, FLASH_COUNT };

enum { APP_VIDEO_REMOVE = 0 };
// The close of the program: none asked for (or a failed close gave the window back);
// the take still being secured while the window runs on; the program may end.
enum { APP_CLOSING_NONE = 0, APP_CLOSING_SAVE, APP_CLOSING_END };
// What waits for the loop to be secured before it acts: none, n, a LOOPS row, the
// loader's decoded file or bars of the take player's take, e.
enum { TAKE_WAIT_NONE = 0, TAKE_WAIT_NEW, TAKE_WAIT_ROW, TAKE_WAIT_LOAD, TAKE_WAIT_EXPORT };

enum DragMode : int32_t {
    DRAG_NONE = 0,
    DRAG_SEEK,
    DRAG_PAD,
    DRAG_GAIN,
    DRAG_GATE,
    DRAG_FX_KNOB,
    DRAG_VIDEO_TRIM,
};

// A short message in capitals, shown for `seconds` while alpha falls from 1 to 0.
struct Toast {
    char text[APP_TOAST_TEXT];
    float alpha;          // 1.0 when shown, 0 = gone
    float seconds;        // 2.4
    uint32_t colour;      // packed kit colour (ui/drawkit.h)
};

// A value that jumps to 1 and falls to 0 over `duration` seconds.
struct Pulse {
    float value;
    float duration;
};

// A level meter on the 60 dB display scale (0..1) with a held peak.
struct Meter {
    float level;
    float peak;
    float hold;           // seconds since the peak was last raised
};

struct PadSpring {
    Spring spring;        // 1.0 at rest; a press knocks it down and it springs back
    Pulse pulse;
};

// One row of the take list: a session take in the takes folder. The name is whole
// (a file name is at most 255 bytes), since loading and playing build the path from it.
struct TakeEntry {
    char name[256];
    float seconds;
    uint64_t write_time;  // last-write time, newest first
};
static_assert((int)APP_PICKER_MAX == (int)VST_PICKER_MAX, "the picker keeps what the scan lists");

// A wait for the loop to stop changing: a recording's fade and a stop's run-out write
// into it for about 0.1 s after they end.
struct TakeSettle {
    double began;                       // ui_time the wait began
    uint32_t gen;                       // the loop's content generation last seen
    uint64_t blocks;                    // audio blocks ended when it was seen
};

// Securing the loop (app/take_secure.h): settling, then writing, then done or failed.
enum { TAKE_SECURE_NONE = 0, TAKE_SECURE_SETTLING, TAKE_SECURE_WRITING, TAKE_SECURE_DONE, TAKE_SECURE_FAILED };
struct TakeSecure {
    uint8_t state;                      // TAKE_SECURE_*
    uint8_t to_export;                  // the write is the export's, not the session take's
    uint8_t hurry;                      // settling is no longer waited for
    uint8_t write_begun;                // the write was started (or was not needed)
    uint32_t failures;                  // the session writer's failed count before it
    TakeSettle settle;
};

// Plug-in picker state (app/vst_picker.h): the scan's entries with, per entry, the
// kind, label and file size the kind cache and loads found.
struct AppPicker {
    uint8_t open;
    int32_t target;                     // -1 the instrument, 0..3 an insert slot
    int32_t count;
    VstPickerEntry entries[APP_PICKER_MAX];
    uint8_t kind[APP_PICKER_MAX];       // 0 unknown, 1 effect, 2 instrument, 3 failed
    char label[APP_PICKER_MAX][40];
    int64_t size[APP_PICKER_MAX];
    int32_t filtered[APP_PICKER_MAX];
    int32_t filtered_count;
    int32_t selection;
    int32_t scroll;
    int32_t tab;                        // 0 all, 1 effects, 2 instruments
    char search[48];
    char status[128];
    uint8_t identifying;
    int32_t identify_next;
    char identify_status[64];
    HitRect tabs[3];
    HitRect identify_button;
};

// The main screen's fixed hit rectangles in 640 x 1080 units, rewritten by app_draw
// every frame before anything is drawn (app_layout_write).
struct AppLayout {
    HitRect loop_display;
    HitRect input_slider;
    HitRect output_slider;
    HitRect pads[PAD_COUNT];
    HitRect pad_tabs[2];
    HitRect mix_pad;
    HitRect patch_tabs[2];
    HitRect fx_switch;
    HitRect slot_name[2];
    HitRect slot_knob1[2];
    HitRect slot_knob2[2];
    HitRect slot_button[2];
    HitRect key_sheet;
    HitRect buttons[5];                 // MONITOR, OVERDUB, CLEAR, EXPORT, INST
    HitRect status_left;
    HitRect status_right;
    HitRect library_switch;
    HitRect new_session;
    HitRect video_switch;
};

// The loop player panel's rectangles (written by its painter; zeroed by app_draw
// while the library panel is not shown).
struct AppPlayerRects {
    HitRect panel;
    HitRect strip;
    HitRect loop_switch;
    HitRect to_input_switch;
    HitRect bars[4];                    // 1, 2, 4, 8 bars
    HitRect steppers[2];                // left, right
};

// The pointer's desktop position from two sources: the window position plus a
// motion event's coordinates, and SDL's global position, which on some X servers
// (Xvfb, remote desktops) moves only on raw input and so can stay stale for good.
// Whichever changed last is followed.
struct PointerTrack {
    int32_t event_x, event_y;
    uint32_t event_ms;
    int32_t global_x, global_y;
    uint32_t global_ms;
    uint8_t have_event, have_global;
};

struct AppState {
    // Engine
    Engine* engine;

    // Settings mirror
    uint8_t overdub;                    // default 1
    uint8_t pad_mode;                   // 0 gain and pan, 1 crossfade and wet/dry
    uint8_t patch_b;                    // 0 patch A shown, 1 patch B
    float gain;                         // 0..2, default 1.0
    float pan;                          // -1..1

    // Meters
    Meter input_meter;
    Meter output_meter;

    // Pad springs of the transport
    PadSpring pads[PAD_COUNT];

    // Mix-pad springs
    Spring pad_x;
    Spring pad_y;
    Spring out_level;

    // Flash pulses
    Pulse flashes[FLASH_COUNT];

    float record_phase;                 // advances 3.4 per second while recording
    float input_clip;                   // clip lights, 0..1
    float output_clip;
    float level_phase;
    float smoothed_level;
    float shake;
    uint32_t random_state;              // xorshift32, also the screen shake's generator
    ParticleRing particles;

    // Toasts
    Toast toasts[APP_TOASTS];
    int32_t toast_next;

    // Waveform overview
    float overview_left[APP_OVERVIEW_COLUMNS];        // shown
    float overview_right[APP_OVERVIEW_COLUMNS];
    float overview_target_left[APP_OVERVIEW_COLUMNS];
    float overview_target_right[APP_OVERVIEW_COLUMNS];
    float overview_timer;

    // Counter copies
    uint32_t seen_wraps;
    uint32_t seen_loop_sets;

    // Pointer
    DragMode drag_mode;
    int32_t drag_slot;                  // 0..3
    int32_t drag_knob;                  // 0, 1
    float drag_start_gain;
    float drag_start_y;
    uint8_t pad_relative;
    float pad_anchor_x, pad_anchor_y;   // pointer at the anchor
    float pad_anchor_u, pad_anchor_v;   // pad values at the anchor
    uint8_t pad_lock;
    uint8_t hold_dub_held;
    float mouse_x, mouse_y;             // main-view units
    PointerTrack pointer;               // desktop position: motion events against the global value

    // Plug-in picker
    AppPicker picker;

    // Settings list
    uint8_t settings_open;
    HitRect logo_rect;
    HitRect settings_rows[APP_SETTINGS_ROWS];
    uint8_t device_list_open;
    int32_t device_indices[APP_DEVICE_LIST_MAX];
    int32_t device_count;

    // Inputs panel
    uint8_t inputs_open;
    uint8_t inputs_toggle;
    float inputs_scroll;
    int32_t inputs_selected;            // -1 none

    // Library
    uint8_t library_open;
    uint8_t library_toggle;
    uint8_t library_shown;
    float library_x;
    TakeEntry takes[APP_TAKES_MAX];
    int32_t take_count;
    int32_t take_scroll;
    int32_t library_tab;
    HitRect library_new_button;         // written by the library strip's painter
    HitRect library_tabs[2];            // LOOPS, FILES
    HitRect library_view_rect;          // the embedded library view; zero while not drawn
    uint8_t library_press_inside;       // a button press began inside the library view
    AppPlayerRects player_rects;
    // The loop player panel's pending press on the segment strip.
    int32_t segment_press;              // 0 none, 1 pressed, 2 dragging
    float segment_press_x, segment_press_y;
    int32_t segment_press_index;
    float segment_scroll;               // the strip's scroll in units
    TakeGridState take_grid;            // the beat grid of the take in the player
    Library* library;
    uint32_t library_failures_seen;     // the library's failed loads already told
    PreviewPlayer* preview;
    float library_gain;
    float library_zoom;
    uint8_t player_loop;
    uint8_t player_to_input;
    int32_t bars_per_segment;
    FolderTree* folder_tree;
    FavouritesPanel* favourites;
    char folder_tree_state[2048];
    char favourites_state[600];
    float library_colours[9][4];        // the library view's colour set

    // Video
    uint8_t take_loading;               // the loader decodes a file or resamples bars
    uint8_t video_open;
    uint8_t video_toggle;
    uint8_t video_shown;
    float video_x;
    VideoPlayer* video_player;
    SDL_Texture* video_texture;
    int32_t video_texture_w, video_texture_h;
    int32_t video_rotation;             // clockwise degrees of the frame in the texture
    uint32_t video_texture_serial;      // the frame's serial in the texture
    uint8_t video_texture_fresh;        // the texture holds video_texture_serial's frame
    char video_path[1024];
    double video_in, video_out;
    double video_duration;
    double video_shown_time;
    uint8_t video_ready;
    uint8_t video_trim_restored;
    int32_t video_trim_handle;          // 1 in, 2 out
    HitRect video_rects[2];             // [APP_VIDEO_REMOVE] the remove-video button

    // Session take
    char session_name[80];
    PlatFileStamp session_stamp;        // the session take's file as this copy last read or wrote it
    uint8_t session_keep_file;          // the session's file is never saved over: the first save starts a new take
    uint32_t session_elsewhere_seen;    // the writer's count of saves another copy's kept out, last seen
    uint32_t session_lockless_seen;     // the writer's count of saves made a new take for want of the lock
    uint32_t session_locked_seen;       // the writer's count of saves put in place under the lock
    uint8_t session_lockless_told;      // "TAKE SAVED AS A NEW TAKE" shown since a save last had the lock
    uint32_t session_gen_seen;
    uint32_t session_gen_saved;
    uint32_t session_writes_seen;       // the writer's completed-writes count last seen
    uint32_t session_failures_seen;     // the writer's failed-writes count last seen
    float session_quiet;                // seconds the loop has been unchanged
    uint8_t session_saving;             // the writer was busy at the last update
    uint8_t take_unsaved;               // the last session write failed: "TAKE NOT SAVED" stands
    uint8_t closing;                    // APP_CLOSING_*: a close was asked for
    uint8_t close_failed;               // a close's write failed: the next one's failure ends
    double closing_asked;               // when the first close request came (seconds)
    TakeSecure closing_secure;
    uint8_t take_wait;                  // TAKE_WAIT_*: what waits for the loop to be secured
    double take_wait_toast;             // ui_time the waiting toast last showed
    char take_wait_row[sizeof(TakeEntry::name)];   // the LOOPS row's file name
    TakeSecure take_wait_secure;
    float settings_timer;
    char settings_last[APP_SETTINGS_TEXT];

    // Toolkit objects
    Canvas* canvas;
    TextRenderer* text;
    WidgetTable widgets;                // the main screen's widget animation (settings rows)
    float backdrop_stars[APP_BACKDROP_STARS][5];
    float backdrop_colours[2][4];
    double ui_time;                     // UI clock in seconds, set by the frame loop

    // Keyboard
    uint8_t reduced_motion;
    uint8_t keys_help_toggle;
    uint8_t keys_help_open;
    uint8_t musical_typing;
    uint16_t notes_mouse;               // bit n = semitone n held
    uint16_t notes_keys;
    int32_t clicked_key;                // -1 none

    // Hit rectangles
    AppLayout layout;

    // Window
    uint8_t close_request;
    uint8_t minimise_request;
    float window_button_hover[2];       // minimise, close
    HitRect window_buttons[2];          // window pixels
    SDL_Window* window;

    // Folders
    char program_folder[512];
    char data_folder[512];
    char takes_folder[600];

    // Broadcast
    Station* station;                   // null when the station could not start
    uint8_t broadcast;
};

static_assert(std::is_trivially_copyable_v<AppState>, "app_init zero-fills the record");

// The program's one AppState (static, never freed).
AppState* app_instance(void);

// Zero-fills the record, sets the defaults and copies the program folder.
void app_init(AppState* app, Engine* engine, const char* program_folder);
// The per-frame update, before drawing; dt in seconds (the caller caps it at 0.05).
void app_update(AppState* app, float dt);
// At exit, after the last settings save: retires the plug-ins, frees the video, the
// preview hook, the library and the preview's buffers. [blocks]
void app_shutdown(AppState* app);

// Performance counter / performance frequency.
double perf_seconds(void);
// One step of the app's xorshift32 (13, 17, 5); a state of 0 starts from 0x12345.
uint32_t app_random_next(uint32_t* state);
