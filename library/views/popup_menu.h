// popup_menu.h - the library's context menu: up to twelve items opened at the
// pointer, hovered with the mouse or the arrow keys, the chosen id handed back once;
// it opens and closes through the dither dissolve and its rows slide in.
// Threads: UI thread only.
// Depends on: ui/canvas.h, ui/widget.h, ui/dither.h, ui/theme.h, ui/keyboard_caps.h
//             (the key hints are drawn as the on-screen keyboard's key caps).
#pragma once
#include <cstdint>

#include "ui/canvas.h"
#include "ui/keyboard_caps.h"
#include "ui/widget.h"

union SDL_Event;
struct TextRenderer;

enum { POPUP_MAX_ITEMS = 12, POPUP_LABEL = 40 };

struct PopupMenuItem {
    char label[POPUP_LABEL];
    const char* key_hint;             // key-cap labels split by tabs; not owned: must outlive
                                      // the open menu (a literal)
    int32_t id;
    uint8_t danger;
    uint8_t disabled;
};

struct PopupMenu {
    PopupMenuItem items[POPUP_MAX_ITEMS];
    int32_t count;
    uint8_t open;
    double open_time, close_time;
    float anchor_x, anchor_y;
    float x, y, w, h;
    int32_t hover, pressed;
    int32_t choice;
    uint8_t choice_ready;
    float pointer_x, pointer_y;
    WidgetTable widgets;
    CanvasTarget target;
    float colours[6][4];
    KeyCapPalette caps;               // the keyboard's, for the key hints
};

void popup_menu_init(PopupMenu* m);
void popup_menu_free(PopupMenu* m);
void popup_menu_open(PopupMenu* m, float x, float y, const PopupMenuItem* items, int32_t n, double now);
bool popup_menu_is_open(const PopupMenu* m);
bool popup_menu_handle_event(PopupMenu* m, const SDL_Event* e, float x, float y, double now);
// bounds: the rectangle the menu must stay 6 units inside. tr (may be null) measures
// and sets the key caps' labels, as keyboard_draw_keycap_lit does.
void popup_menu_layout(PopupMenu* m, Canvas* c, TextRenderer* tr, const CanvasRect* bounds);
void popup_menu_draw(Canvas* c, TextRenderer* tr, PopupMenu* m, const CanvasRect* bounds, double now, float dt,
                     uint8_t reduced_motion);
int32_t popup_menu_take_choice(PopupMenu* m);
int32_t popup_menu_item_at(const PopupMenu* m, float x, float y);
int32_t popup_menu_next_item(const PopupMenu* m, int32_t from, int32_t step);
