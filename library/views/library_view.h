// library_view.h - the library view: the Library drawn into a rectangle of the
// canvas (header with source tabs, filter and reading progress; the cards of the
// view; or, on BROWSE, the favourites panel and the folder tree; the take view; the
// popup menus) and the events the shell forwards to it.
// Threads: UI thread only.
// Depends on: library.h, cloud.h, folder_tree.h, views/favourites_panel.h, views/popup_menu.h,
//             views/viz.h, views/wavestrip.h, ui/, platform/plat_open.h,
//             platform/plat_trash.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "library/library_reader.h"
#include "library/views/popup_menu.h"
#include "library/views/viz.h"
#include "ui/canvas.h"
#include "ui/widget.h"

union SDL_Event;
struct Library;
struct TextRenderer;

enum {
    LIBRARY_COLOURS = 9,
    LIBRARY_FILTER_MAX = 31,          // bytes of filter text
};
constexpr float LIBRARY_CARD_STEP = 96.0f;
constexpr float LIBRARY_CARD_HEIGHT = 82.0f;

// Card parts, as hover_part and the press record number them.
enum : int32_t {
    CARD_BODY = 0,
    CARD_PLAY = 1,
    CARD_DELETE = 2,
    CARD_OPEN = 3,
    CARD_CANCEL = 4,
    CARD_CONFIRM = 5,
};

// The cloud client's header buttons.
enum : int32_t {
    LIBRARY_CLOUD_REFRESH = 1,
    LIBRARY_CLOUD_BUSY = 2,           // "...": a job runs
    LIBRARY_CLOUD_SIGN_IN = 3,
    LIBRARY_CLOUD_CANCEL = 4,
};

// The view's own state, kept beside the Library.
struct LibraryViewUi {
    CanvasRect rect;
    CanvasRect tabs[4];
    uint32_t tab_source[4];
    int32_t tab_count;
    CanvasRect filter;
    CanvasRect list;
    CanvasRect take;
    float openness;
    uint8_t filter_focused;
    double caret_time;
    int32_t hover_card, hover_part;
    uint8_t pressed;
    int32_t press_pos, press_part;
    float press_x;
    int32_t last_click;
    double last_click_time;
    uint8_t favourites_visible;
    float colours[LIBRARY_COLOURS][4];
    float mouse_x, mouse_y;
    PopupMenu menu;
    char menu_item[LIBRARY_PATH];     // the card the card menu was opened on, by path
    BandVisualiser bands;
    WidgetTable widgets;
    double now;                       // the last draw's clock
    char highlight_seen[LIBRARY_PATH];  // the player's take the tree was last told of
    CanvasRect cloud_buttons[2];      // with a cloud client: its header buttons ...
    int32_t cloud_actions[2];         // ... what each does (LIBRARY_CLOUD_*)
    int32_t cloud_count;
};

// The library's colour set: background, card, card hover, selection, text, muted
// text, accent, danger, waveform.
void library_init_colours(float out[LIBRARY_COLOURS][4]);

// Draws one frame. colours null: the library's own; perf_seconds: the UI clock (the
// age texts read the wall clock themselves).
void library_draw(Canvas* c, TextRenderer* tr, Library* lib, const CanvasRect* r, const float (*colours)[4],
                  void* cloud, double perf_seconds);
bool library_handle_event(Library* lib, const SDL_Event* e, float mouse_x, float mouse_y, void* cloud, double now);
bool library_popup_open(const Library* lib);
// With a cloud client (a CloudClient, null for none): its buttons right-aligned to
// end at right and its status line left of them, down to left, in the header at y;
// a press on a button (true when one was hit); the empty view's hint.
void library_cloud_header(Canvas* c, Library* lib, void* cloud, float left, float right, float y);
bool library_cloud_press(Library* lib, void* cloud, float x, float y);
const char* library_cloud_hint(void* cloud);
// True while the filter field has the focus: every key and text goes to the library.
bool library_wants_keyboard(const Library* lib);

// Cards: the rectangle of view position pos, and the card and part at a point (-1 none).
bool library_card_rect(const Library* lib, int32_t pos, CanvasRect* out);
int32_t library_card_at(const Library* lib, float x, float y, int32_t* part);
// "NOW", "%d M", "%d H", "%d D" or "JAN 3" (local time) for an item written at item_ms.
void library_format_age(double item_ms, double now_ms, char* out, size_t cap);
// The nine-bar glyph of the empty view and of cards without a summary.
void library_draw_glyph(Canvas* c, float cx, float cy, float size, const float* colour);

// The sibling program "quill" beside the program; false (and "") when absent.
bool library_find_quill(char* out, size_t cap);
bool library_launch_quill(const char* folder, const char* file);
// The card and tree actions of the menus (ids as the menus give them).
void library_card_action(Library* lib, int32_t id);
void library_tree_action(Library* lib, int32_t id, double now);
