// library_view_events.cpp - the library view's events: the menu first, tabs, the
// BROWSE source, the filter field, cards, the wheel and keys.
#include <SDL.h>

#include <cmath>
#include <cstring>

#include "audio/preview.h"
#include "library/library.h"
#include "library/library_seams.h"
#include "library/marks.h"
#include "library/views/favourites_panel.h"
#include "library/views/folder_tree_view.h"
#include "library/views/library_view.h"
#include "library/views/lv_draw.h"

static const double kDoubleClick = 0.4;
static const float kWheelStep = 48.0f;
static const float kSlideTarget = -112.0f;

static float max_scroll(const Library* lib)
{
    float content = LIBRARY_CARD_STEP * (float)lib->view_count - 14.0f + 16.0f;
    return std::fmax(0.0f, content - lib->ui->list.h);
}

static void cancel_slide(Library* lib)
{
    lib->removal.target = 0.0f;
    lib->removing = -1;
}

static void start_slide(Library* lib, int32_t index)
{
    lib->removing = index;
    spring_init(&lib->removal, 0.0f, 28.0f, 0.9f);
    lib->removal.target = kSlideTarget;
}

static void focus_filter(Library* lib, bool on, double now)
{
    LibraryViewUi* ui = lib->ui;
    if (on && !ui->filter_focused) {
        SDL_StartTextInput();
        ui->caret_time = now;
    }
    ui->filter_focused = on ? 1 : 0;
}

// The wheel over the open take view: the segment strip scrolls; over the volume
// slider, and only there, the volume moves 0.05 a notch. False elsewhere.
static bool take_view_wheel(Library* lib, float x, float y, int32_t notches)
{
    if (library_take_wheel(lib, x, y, notches))
        return true;
    if (!lv_inside(lib->take.volume_slider, x, y))
        return false;
    library_set_volume(lib, lib->volume + 0.05f * (float)notches);
    return true;
}

// The marks keys: i sets the in-mark to the play position (Shift: 0), o the out-mark
// (Shift: 1); marks covering 0..1 are cleared.
static bool marks_key(Library* lib, const SDL_KeyboardEvent* k)
{
    SDL_Keycode sym = k->keysym.sym;
    if (sym != SDLK_i && sym != SDLK_o)
        return false;
    LibraryItem* item = library_loaded_item(lib);
    if (!item || !lib->player || (!lib->player_only && lib->ui->openness <= 0.0f))
        return false;
    bool shift = (k->keysym.mod & KMOD_SHIFT) != 0;
    float position = (float)preview_position(lib->player);
    float in = item->has_marks ? item->mark_in : 0.0f, out = item->has_marks ? item->mark_out : 1.0f;
    if (sym == SDLK_i)
        in = shift ? 0.0f : position;
    else
        out = shift ? 1.0f : position;
    if (in <= 0.0f && out >= 1.0f)
        library_clear_marks(lib, item);
    else
        library_set_marks(lib, item, in, out);
    return true;
}

static bool player_only_event(Library* lib, const SDL_Event* e, float x, float y)
{
    switch (e->type) {
    case SDL_KEYDOWN: {
        if (marks_key(lib, &e->key))
            return true;
        SDL_Keycode sym = e->key.keysym.sym;
        if (sym == SDLK_SPACE) {
            library_play_item(lib, library_loaded_item(lib));
            return true;
        }
        if ((sym == SDLK_LEFT || sym == SDLK_RIGHT) && lib->player) {
            double d = preview_duration(lib->player);
            if (d > 0.0) {
                double p = preview_position(lib->player) + (sym == SDLK_LEFT ? -5.0 : 5.0) / d;
                preview_seek(lib->player, p < 0.0 ? 0.0 : p > 1.0 ? 1.0 : p);
            }
            return true;
        }
        return false;
    }
    case SDL_MOUSEMOTION: return library_take_view_motion(lib, e, x, y);
    case SDL_MOUSEBUTTONDOWN: return lv_inside(lib->ui->rect, x, y) && library_take_view_press(lib, e, x, y);
    case SDL_MOUSEBUTTONUP: return library_take_view_release(lib, e, x, y);
    case SDL_MOUSEWHEEL:
        return lv_inside(lib->ui->rect, x, y) && take_view_wheel(lib, x, y, e->wheel.y);
    default: return false;
    }
}

// -- BROWSE -------------------------------------------------------------------------

static void open_tree_menu(Library* lib, const char* path, bool folder, bool root, float x, float y, double now)
{
    LibraryViewUi* ui = lib->ui;
    char quill[LIBRARY_PATH];
    bool have_quill = library_find_quill(quill, sizeof quill);
    std::snprintf(lib->menu_path, sizeof lib->menu_path, "%s", path);
    PopupMenuItem items[5] = {};
    int32_t n = 0;
    auto add = [&](const char* label, int32_t id, bool danger, bool disabled) {
        std::snprintf(items[n].label, sizeof items[n].label, "%s", label);
        items[n].id = id;
        items[n].danger = danger;
        items[n].disabled = disabled;
        n++;
    };
    add("OPEN", 100, false, false);
    if (folder) {
        add(favs_index_of(path) >= 0 ? "UNFAVORITE" : "FAVORITE", 101, false, false);
        add("MAKE ROOT", 102, false, root);
    }
    add("SHOW IN QUILL", 103, false, !have_quill);
    add("SHOW IN EXPLORER", 104, false, false);
    popup_menu_open(&ui->menu, x, y, items, n, now);
}

static void open_favourite_menu(Library* lib, const char* path, float x, float y, double now)
{
    char quill[LIBRARY_PATH];
    bool have_quill = library_find_quill(quill, sizeof quill);
    std::snprintf(lib->menu_path, sizeof lib->menu_path, "%s", path);
    favpanel_set_marked(lib->favourites, path);
    PopupMenuItem items[3] = {};
    std::snprintf(items[0].label, sizeof items[0].label, "OPEN");
    items[0].id = 105;
    std::snprintf(items[1].label, sizeof items[1].label, "SHOW IN QUILL");
    items[1].id = 106;
    items[1].disabled = !have_quill;
    std::snprintf(items[2].label, sizeof items[2].label, "UNFAVORITE");
    items[2].id = 107;
    items[2].danger = 1;
    popup_menu_open(&lib->ui->menu, x, y, items, 3, now);
}

static bool favourites_shown(const Library* lib)
{
    return lib->favourites && lib->ui->favourites_visible;
}

static bool browse_event(Library* lib, const SDL_Event* e, float x, float y, double now)
{
    LibraryViewUi* ui = lib->ui;
    bool in_take = ui->openness > 0.5f && lv_inside(ui->take, x, y);
    if (e->type == SDL_MOUSEBUTTONDOWN && e->button.button == SDL_BUTTON_RIGHT) {
        if (in_take)
            return library_take_view_press(lib, e, x, y);
        if (favourites_shown(lib)) {
            int32_t row = favpanel_row_at(lib->favourites, x, y);
            if (row >= 0) {
                open_favourite_menu(lib, favs_path(row), x, y, now);
                return true;
            }
        }
        FolderTree* t = lib->tree;
        if (x >= t->rx && x < t->rx + t->rw && y >= t->ry && y < t->ry + t->rh) {
            int32_t row = foldertree_row_at(t, x, y);
            if (row >= 0) {
                const FolderNode* n = foldertree_node_at(t, row);
                foldertree_set_highlight(t, n->path);
                foldertree_select(t, row);
                n = foldertree_node_at(t, row);
                open_tree_menu(lib, n->path, n->folder != 0, false, x, y, now);
            } else {
                open_tree_menu(lib, foldertree_root(t), true, true, x, y, now);
            }
            return true;
        }
        return false;
    }
    if (e->type == SDL_MOUSEMOTION && ui->openness > 0.0f)
        library_take_view_motion(lib, e, x, y);
    if (e->type == SDL_MOUSEBUTTONUP && library_take_view_release(lib, e, x, y))
        return true;
    if (e->type == SDL_MOUSEBUTTONDOWN && in_take)
        return library_take_view_press(lib, e, x, y);
    if (e->type == SDL_MOUSEWHEEL && in_take)
        return take_view_wheel(lib, x, y, e->wheel.y);
    if (favourites_shown(lib) && favpanel_handle_event(lib->favourites, e, x, y))
        return true;
    if (e->type == SDL_KEYDOWN) {
        SDL_Keycode sym = e->key.keysym.sym;
        if (sym == SDLK_SPACE) {
            library_play_item(lib, library_loaded_item(lib));
            return true;
        }
        if (sym == SDLK_b) {
            ui->favourites_visible = !ui->favourites_visible;
            return true;
        }
        if (sym == SDLK_f) {
            const FolderNode* n = foldertree_node_at(lib->tree, foldertree_selected(lib->tree));
            favs_toggle(n && n->folder ? n->path : foldertree_root(lib->tree));
            return true;
        }
        if (marks_key(lib, &e->key))
            return true;
    }
    return foldertree_handle_event(lib->tree, e, x, y);
}

// -- Cards ------------------------------------------------------------------------------

static void open_card_menu(Library* lib, int32_t index, float x, float y, double now)
{
    LibraryViewUi* ui = lib->ui;
    const LibraryItem* it = &lib->items[index];
    std::memcpy(ui->menu_item, it->path, LIBRARY_PATH);
    library_select_index(lib, index);
    bool local = it->kind == LIBRARY_KIND_LOCAL;
    char quill[LIBRARY_PATH];
    bool have_quill = library_find_quill(quill, sizeof quill);
    static const char* const kLabels[5] = {"OPEN", "PREVIEW", "SHOW IN QUILL", "SHOW IN EXPLORER", "DELETE..."};
    PopupMenuItem items[5] = {};
    for (int32_t i = 0; i < 5; i++) {
        std::snprintf(items[i].label, sizeof items[i].label, "%s", kLabels[i]);
        items[i].id = i;
        items[i].disabled = i > 0 && !local;
    }
    items[2].disabled = items[2].disabled || !have_quill;
    items[4].danger = 1;
    popup_menu_open(&ui->menu, x, y, items, 5, now);
}

static void card_press(Library* lib, const SDL_Event* e, float x, float y, double now)
{
    LibraryViewUi* ui = lib->ui;
    int32_t part = CARD_BODY;
    int32_t pos = library_card_at(lib, x, y, &part);
    if (pos < 0) {
        cancel_slide(lib);
        return;
    }
    int32_t index = lib->view[pos];
    if (e->button.button == SDL_BUTTON_RIGHT) {
        open_card_menu(lib, index, x, y, now);
        return;
    }
    if (e->button.button != SDL_BUTTON_LEFT)
        return;
    ui->pressed = 1;
    ui->press_pos = pos;
    ui->press_part = part;
    ui->press_x = x;
    switch (part) {
    case CARD_PLAY: library_play_item(lib, &lib->items[index]); break;
    case CARD_DELETE:
        if (lib->items[index].kind == LIBRARY_KIND_LOCAL)
            start_slide(lib, index);
        break;
    case CARD_OPEN: library_select_item(lib, index); break;
    case CARD_CANCEL: cancel_slide(lib); break;
    case CARD_CONFIRM: library_delete_item(lib, index); break;
    default:
        if (lib->removing >= 0 && lib->removing != index)
            cancel_slide(lib);
        library_select_index(lib, index);
        if (ui->last_click == pos && now - ui->last_click_time <= kDoubleClick) {
            library_select_item(lib, index);
            ui->last_click = -1;
        } else {
            ui->last_click = pos;
            ui->last_click_time = now;
        }
        break;
    }
}

static int32_t selected_pos(const Library* lib)
{
    for (int32_t i = 0; i < lib->view_count; i++)
        if (lib->view[i] == lib->selected)
            return i;
    return -1;
}

static void move_selection(Library* lib, int32_t step)
{
    if (lib->view_count == 0)
        return;
    int32_t pos = selected_pos(lib);
    pos = pos < 0 ? 0 : pos + step;
    pos = pos < 0 ? 0 : pos >= lib->view_count ? lib->view_count - 1 : pos;
    library_select_index(lib, lib->view[pos]);
    float top = LIBRARY_CARD_STEP * (float)pos;
    if (top < lib->scroll_target)
        lib->scroll_target = top;
    else if (top + LIBRARY_CARD_HEIGHT > lib->scroll_target + lib->ui->list.h)
        lib->scroll_target = top + LIBRARY_CARD_HEIGHT - lib->ui->list.h;
    lib->scroll_target = std::fmin(std::fmax(lib->scroll_target, 0.0f), max_scroll(lib));
}

static bool card_key(Library* lib, const SDL_KeyboardEvent* k, float x, float y)
{
    if (marks_key(lib, k))
        return true;
    if (!lv_inside(lib->ui->rect, x, y) && lib->selected < 0)
        return false;
    int32_t sel = lib->selected;
    switch (k->keysym.sym) {
    case SDLK_DOWN: move_selection(lib, 1); return true;
    case SDLK_UP: move_selection(lib, -1); return true;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        if (sel >= 0)
            library_select_item(lib, sel);
        return sel >= 0;
    case SDLK_SPACE:
        if (sel >= 0)
            library_play_item(lib, &lib->items[sel]);
        return sel >= 0;
    case SDLK_DELETE:
        if (sel < 0 || lib->items[sel].kind != LIBRARY_KIND_LOCAL)
            return false;
        if (lib->removing == sel)
            library_delete_item(lib, sel);
        else
            start_slide(lib, sel);
        return true;
    case SDLK_ESCAPE:
        if (lib->removing < 0)
            return false;
        cancel_slide(lib);
        return true;
    default: return false;
    }
}

// -- The filter ----------------------------------------------------------------------------

static void filter_append(Library* lib, const char* text, double now)
{
    char* f = lib->state.filter;
    size_t len = std::strlen(f);
    const unsigned char* s = (const unsigned char*)text;
    while (*s) {
        size_t n = *s < 0x80 ? 1 : (*s >> 5) == 6 ? 2 : (*s >> 4) == 14 ? 3 : (*s >> 3) == 30 ? 4 : 1;
        bool whole = true;
        for (size_t i = 1; i < n; i++)
            whole = whole && s[i] && (s[i] & 0xC0) == 0x80;
        if (!whole)
            n = 1;
        if (*s >= 0x20 && *s != 0x7F && whole && len + n <= LIBRARY_FILTER_MAX) {
            std::memcpy(f + len, s, n);
            len += n;
            f[len] = '\0';
        }
        s += n;
    }
    lib->scroll_target = 0.0f;
    lib->ui->caret_time = now;
    lib->dirty = 1;
}

static bool filter_key(Library* lib, const SDL_KeyboardEvent* k, double now)
{
    SDL_Keycode sym = k->keysym.sym;
    if (sym == SDLK_ESCAPE || sym == SDLK_RETURN || sym == SDLK_KP_ENTER) {
        focus_filter(lib, false, now);
        return true;
    }
    if (sym == SDLK_BACKSPACE) {
        char* f = lib->state.filter;
        size_t len = std::strlen(f);
        while (len > 0 && ((unsigned char)f[len - 1] & 0xC0) == 0x80)
            len--;
        if (len > 0)
            len--;
        f[len] = '\0';
        lib->ui->caret_time = now;
        lib->dirty = 1;
        return true;
    }
    if (sym == SDLK_v && (k->keysym.mod & KMOD_CTRL)) {
        char* clip = SDL_GetClipboardText();
        if (clip)
            filter_append(lib, clip, now);
        SDL_free(clip);
        return true;
    }
    return true;   // every other key belongs to the field while it has the focus
}

// -- The handler ----------------------------------------------------------------------------

static void take_choice(Library* lib, double now)
{
    int32_t id = popup_menu_take_choice(&lib->ui->menu);
    if (id < 0)
        return;
    if (id < 100)
        library_card_action(lib, id);
    else
        library_tree_action(lib, id, now);
}

bool library_handle_event(Library* lib, const SDL_Event* e, float x, float y, void* cloud, double now)
{
    if (!lib || !lib->ui || !e)
        return false;
    LibraryViewUi* ui = lib->ui;
    if (lib->dirty)
        library_rebuild_view(lib);
    if (e->type == SDL_MOUSEMOTION) {
        ui->mouse_x = x;
        ui->mouse_y = y;
    }
    if (popup_menu_is_open(&ui->menu)) {
        bool used = popup_menu_handle_event(&ui->menu, e, x, y, now);
        take_choice(lib, now);
        if (!popup_menu_is_open(&ui->menu)) {
            favpanel_set_marked(lib->favourites, nullptr);
        }
        return used;
    }
    if (lib->player_only)
        return player_only_event(lib, e, x, y);

    bool inside = lv_inside(ui->rect, x, y);
    if (ui->filter_focused) {
        if (e->type == SDL_TEXTINPUT) {
            filter_append(lib, e->text.text, now);
            return true;
        }
        if (e->type == SDL_KEYDOWN)
            return filter_key(lib, &e->key, now);
    }
    if (e->type == SDL_MOUSEBUTTONDOWN && e->button.button == SDL_BUTTON_LEFT && inside) {
        for (int32_t i = 0; i < ui->tab_count; i++) {
            if (!lv_inside(ui->tabs[i], x, y))
                continue;
            uint32_t source = ui->tab_source[i];
            focus_filter(lib, false, now);
            if (source != LIBRARY_SOURCE_BROWSE && lib->state.source == LIBRARY_SOURCE_BROWSE) {
                library_remove_pending(lib);
                lib->pending_pick[0] = '\0';
            }
            lib->state.source = source;
            lib->scroll_target = 0.0f;
            lib->dirty = 1;
            return true;
        }
        if (library_cloud_press(lib, cloud, x, y))
            return true;
    }
    if (lib->state.source == LIBRARY_SOURCE_BROWSE && lib->tree) {
        if (e->type == SDL_MOUSEBUTTONDOWN && !inside)
            focus_filter(lib, false, now);
        return browse_event(lib, e, x, y, now);
    }
    switch (e->type) {
    case SDL_MOUSEBUTTONDOWN:
        if (!inside) {
            focus_filter(lib, false, now);
            return false;
        }
        if (ui->openness > 0.5f && lv_inside(ui->take, x, y))
            return library_take_view_press(lib, e, x, y);
        if (ui->filter_focused && !lv_inside(ui->filter, x, y))
            focus_filter(lib, false, now);
        if (e->button.button == SDL_BUTTON_LEFT && lv_inside(ui->filter, x, y)) {
            focus_filter(lib, true, now);
            return true;
        }
        card_press(lib, e, x, y, now);
        return true;
    case SDL_MOUSEBUTTONUP:
        if (library_take_view_release(lib, e, x, y))
            return true;
        ui->pressed = 0;
        ui->press_pos = -1;
        return inside;
    case SDL_MOUSEWHEEL:
        if (ui->openness > 0.5f && lv_inside(ui->take, x, y) && take_view_wheel(lib, x, y, e->wheel.y))
            return true;
        if (!inside)
            return false;
        lib->scroll_target = std::fmin(std::fmax(lib->scroll_target - kWheelStep * (float)e->wheel.y, 0.0f),
                                       max_scroll(lib));
        return true;
    case SDL_KEYDOWN: return card_key(lib, &e->key, x, y);
    case SDL_MOUSEMOTION:
        if (ui->openness > 0.5f && library_take_view_motion(lib, e, x, y))
            return false;
        ui->hover_card = library_card_at(lib, x, y, &ui->hover_part);
        return false;
    default: return false;
    }
}
