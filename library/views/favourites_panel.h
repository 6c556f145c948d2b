// favourites_panel.h - the list of favourite folders beside the folder tree: a click
// opens a favourite, a drag reorders the list.
// Threads: UI thread only.
// Depends on: library/user_stores.h, ui/canvas.h, ui/text.h, ui/widget.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "library/user_stores.h"

union SDL_Event;
struct Canvas;
struct CanvasRect;
struct TextRenderer;

typedef void (*FavPanelClick)(const char* path, void* user);

struct FavouritesPanel {
    char current[FOLDERS_PATH];
    char selected[FOLDERS_PATH];
    char marked[FOLDERS_PATH];
    float rx, ry, rw, rh;
    float pointer_x, pointer_y;
    uint8_t hovering;
    int32_t pressed, target;
    float press_y;
    uint8_t dragging;
    uint8_t button_held;
    FavPanelClick on_click;
    void* click_user;
    float colours[5][4];
};

FavouritesPanel* favpanel_create(void);
void favpanel_free(FavouritesPanel* p);
void favpanel_palette(float out[5][4]);
void favpanel_draw(Canvas* c, TextRenderer* tr, FavouritesPanel* p, const CanvasRect* r, const float (*colours)[4]);
bool favpanel_handle_event(FavouritesPanel* p, const SDL_Event* e, float x, float y);
int32_t favpanel_row_at(const FavouritesPanel* p, float x, float y);
void favpanel_set_current(FavouritesPanel* p, const char* path);
void favpanel_set_marked(FavouritesPanel* p, const char* path);
void favpanel_set_click_cb(FavouritesPanel* p, FavPanelClick fn, void* user);
int32_t favpanel_index_of(const char* path);
const char* favpanel_path(int32_t n);
bool favpanel_toggle(const char* path);
// The active favourite: the selected one when listed, else the longest favourite that
// is a prefix of the current folder ending at a '/' (ties: the later); -1 none.
int32_t favpanel_active(const FavouritesPanel* p);
// The selected favourite path (false when the buffer is below 2 or it does not fit,
// or the path holds '|' or a line feed).
bool favpanel_state_string(const FavouritesPanel* p, char* out, size_t size);
void favpanel_restore(FavouritesPanel* p, const char* text);
