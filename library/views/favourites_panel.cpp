// favourites_panel.cpp - drawing and events of the favourites list.
#include "library/views/favourites_panel.h"

#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "library/views/lv_draw.h"
#include "ui/canvas.h"
#include "ui/text.h"
#include "ui/theme.h"
#include "ui/widget.h"

static const float kRow = 26.0f;
static const float kTop = 8.0f;
static const float kDragStart = 4.0f;
static const size_t kRestoreMax = 5183;

void favpanel_palette(float out[5][4])
{
    static const int kSlots[] = {THEME_BACKGROUND, THEME_PRIMARY};
    theme_colours(out, kSlots, 2);
    lv_alpha(out[1], 0.42f, out[2]);
    const float amber[4] = {0.90f, 0.70f, 0.30f, 1.0f};
    std::memcpy(out[3], amber, sizeof out[3]);
    std::memcpy(out[4], amber, sizeof out[4]);
}

FavouritesPanel* favpanel_create(void)
{
    FavouritesPanel* p = (FavouritesPanel*)std::calloc(1, sizeof(FavouritesPanel));
    if (!p)
        return nullptr;
    p->pressed = -1;
    p->target = -1;
    favpanel_palette(p->colours);
    return p;
}

void favpanel_free(FavouritesPanel* p)
{
    std::free(p);
}

static void copy_path(char* out, const char* path)
{
    std::snprintf(out, FOLDERS_PATH, "%s", path ? path : "");
}

void favpanel_set_current(FavouritesPanel* p, const char* path)
{
    if (p)
        copy_path(p->current, path);
}

void favpanel_set_marked(FavouritesPanel* p, const char* path)
{
    if (p)
        copy_path(p->marked, path);
}

void favpanel_set_click_cb(FavouritesPanel* p, FavPanelClick fn, void* user)
{
    if (p) {
        p->on_click = fn;
        p->click_user = user;
    }
}

int32_t favpanel_index_of(const char* path)
{
    return favs_index_of(path);
}

const char* favpanel_path(int32_t n)
{
    return favs_path(n);
}

bool favpanel_toggle(const char* path)
{
    return favs_toggle(path);
}

int32_t favpanel_active(const FavouritesPanel* p)
{
    if (!p)
        return -1;
    int32_t sel = favs_index_of(p->selected);
    if (sel >= 0)
        return sel;
    if (!p->current[0])
        return -1;
    int32_t best = -1;
    size_t best_len = 0;
    for (int32_t i = 0; i < favs_count(); i++) {
        const char* f = favs_path(i);
        size_t len = std::strlen(f);
        bool prefix = std::strncmp(p->current, f, len) == 0 &&
                      (p->current[len] == '\0' || p->current[len] == '/' || (len > 0 && f[len - 1] == '/'));
        if (prefix && len >= best_len) {
            best = i;
            best_len = len;
        }
    }
    return best;
}

int32_t favpanel_row_at(const FavouritesPanel* p, float x, float y)
{
    if (!p || x < p->rx || x >= p->rx + p->rw || y < p->ry || y >= p->ry + p->rh)
        return -1;
    float f = std::floor((y - p->ry - kTop) / kRow);
    int32_t row = (int32_t)f;
    return f >= 0.0f && row < favs_count() ? row : -1;
}

static const char* last_component(const char* path)
{
    size_t len = std::strlen(path);
    const char* slash = std::strrchr(path, '/');
    if (!slash || (len > 0 && path[len - 1] == '/'))
        return path;
    return slash + 1;
}

static void draw_label(Canvas* c, TextRenderer* tr, const char* path, float x, float cy, float w, const float* ink)
{
    lv_draw_label(c, tr, last_component(path), x, cy, w, ink);
}

void favpanel_draw(Canvas* c, TextRenderer* tr, FavouritesPanel* p, const CanvasRect* r, const float (*colours)[4])
{
    if (!c || !p || !r)
        return;
    folders_poll();
    const float(*k)[4] = colours ? colours : p->colours;
    p->rx = r->x;
    p->ry = r->y;
    p->rw = r->w;
    p->rh = r->h;
    CanvasRect saved;
    bool had = lv_panel_begin(c, r, k[0], &saved);

    int32_t count = favs_count();
    if (p->pressed >= count) {
        p->pressed = -1;
        p->dragging = 0;
    }
    if (p->pressed >= 0 && p->button_held) {
        if (std::fabs(p->pointer_y - p->press_y) > kDragStart)
            p->dragging = 1;
        if (p->dragging) {
            int32_t t = (int32_t)std::floor((p->pointer_y - r->y - kTop) / kRow);
            p->target = t < 0 ? 0 : t >= count ? count - 1 : t;
        }
    }
    int32_t active = favpanel_active(p);
    float shadow[4] = {0.0f, 0.0f, 0.0f, 0.6f};
    float marked_fill[4];
    lv_alpha(k[1], 0.10f, marked_fill);
    int32_t slot = 0;
    for (int32_t i = 0; i < count; i++) {
        if (p->dragging && i == p->pressed)
            continue;
        if (p->dragging && slot == p->target)
            slot++;   // the gap where the dragged row will land
        float top = r->y + kTop + kRow * (float)slot;
        float cy = top + 13.0f;
        const char* path = favs_path(i);
        CanvasRect row{r->x, top, r->w, kRow};
        if (i == active)
            widget_draw_shadow(c, &row, shadow);
        lv_hit(c, r->x, top, r->w, kRow, 2);
        if (p->marked[0] && std::strcmp(path, p->marked) == 0)
            canvas_fill_rect(c, r->x, top, r->w, kRow, marked_fill);
        bool hovered = !p->dragging && p->hovering && p->pointer_y >= top && p->pointer_y < top + kRow;
        const float* ink = std::strcmp(path, p->selected) == 0 ? k[3] : hovered ? k[1] : k[2];
        draw_label(c, tr, path, r->x + 16.0f, cy, r->w - 24.0f, ink);
        slot++;
    }
    if (p->dragging && p->pressed >= 0) {
        float top = p->pointer_y - 13.0f;
        float fill[4];
        lv_mix(k[0], k[1], 0.15f, fill);
        canvas_fill_rect(c, r->x, top, r->w, kRow, fill);
        draw_label(c, tr, favs_path(p->pressed), r->x + 16.0f, p->pointer_y, r->w - 24.0f, k[4]);
    }
    lv_panel_end(c, had, &saved);
}

bool favpanel_handle_event(FavouritesPanel* p, const SDL_Event* e, float x, float y)
{
    if (!p || !e)
        return false;
    bool inside = x >= p->rx && x < p->rx + p->rw && y >= p->ry && y < p->ry + p->rh;
    if (lv_track_pointer(e, x, y, inside, &p->pointer_x, &p->pointer_y, &p->hovering))
        return e->type == SDL_MOUSEMOTION && p->dragging;
    switch (e->type) {
    case SDL_MOUSEBUTTONDOWN: {
        if (e->button.button != SDL_BUTTON_LEFT || !inside)
            return false;
        int32_t row = favpanel_row_at(p, x, y);
        if (row >= 0) {
            p->pressed = p->target = row;
            p->press_y = y;
            p->pointer_y = y;
            p->dragging = 0;
            p->button_held = 1;
            SDL_CaptureMouse(SDL_TRUE);
        }
        return true;
    }
    case SDL_MOUSEBUTTONUP: {
        if (e->button.button != SDL_BUTTON_LEFT || p->pressed < 0)
            return false;
        int32_t row = p->pressed;
        if (!p->dragging && std::fabs(y - p->press_y) > kDragStart) {
            p->dragging = 1;
            int32_t t = (int32_t)std::floor((y - p->ry - kTop) / kRow);
            int32_t count = favs_count();
            p->target = t < 0 ? 0 : t >= count ? count - 1 : t;
        }
        if (p->dragging) {
            if (p->target != row)
                favs_move(row, p->target);
        } else if (const char* path = favs_path(row)) {
            copy_path(p->selected, path);
            if (p->on_click)
                p->on_click(p->selected, p->click_user);
        }
        p->pressed = -1;
        p->dragging = 0;
        p->button_held = 0;
        SDL_CaptureMouse(SDL_FALSE);
        return true;
    }
    default: return false;
    }
}

bool favpanel_state_string(const FavouritesPanel* p, char* out, size_t size)
{
    if (!p || !out || size < 2)
        return false;
    out[0] = '\0';
    if (std::strchr(p->selected, '|') || std::strchr(p->selected, '\n') || std::strchr(p->selected, '\r'))
        return true;
    int n = std::snprintf(out, size, "%s", p->selected);
    if (n < 0 || (size_t)n >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

void favpanel_restore(FavouritesPanel* p, const char* text)
{
    if (!p)
        return;
    p->selected[0] = '\0';
    if (!text)
        return;
    char* copy = (char*)std::malloc(kRestoreMax + 1);
    if (!copy)
        return;
    std::snprintf(copy, kRestoreMax + 1, "%s", text);
    const char* list[FAVS_MAX];
    int32_t n = 0;
    char* field = copy;
    for (int32_t i = 0; field; i++) {
        char* bar = std::strchr(field, '|');
        if (bar)
            *bar = '\0';
        if (i == 0)
            copy_path(p->selected, std::strlen(field) < FOLDERS_PATH ? field : "");
        else if (field[0] && n < FAVS_MAX)
            list[n++] = field;
        field = bar ? bar + 1 : nullptr;
    }
    if (n > 0 && !favs_from_file())
        favs_set_all(list, n);
    std::free(copy);
}
