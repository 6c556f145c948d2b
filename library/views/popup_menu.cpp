// popup_menu.cpp - layout, events and drawing of the context menu.
#include "library/views/popup_menu.h"

#include <SDL.h>

#include <cmath>
#include <cstring>

#include "library/views/lv_draw.h"
#include "ui/dither.h"
#include "ui/theme.h"

static const float kRow = 28.0f;
static const float kCapHeight = 19.0f;
static const double kCloseSeconds = 0.24;
static const double kCloseStep = 0.02;

void popup_menu_init(PopupMenu* m)
{
    if (!m)
        return;
    std::memset(m, 0, sizeof *m);
    m->hover = m->pressed = m->choice = -1;
    m->close_time = -1e9;
    widget_table_reset(&m->widgets);
    const ThemePalette* t = theme_palette();
    lv_mix(t->colours[0], t->colours[1], 0.6f, m->colours[0]);
    lv_alpha(t->colours[7], 0.1f, m->colours[1]);
    std::memcpy(m->colours[2], t->colours[7], sizeof m->colours[2]);
    lv_alpha(t->colours[7], 0.6f, m->colours[3]);
    std::memcpy(m->colours[4], t->colours[2], sizeof m->colours[4]);
    std::memcpy(m->colours[5], t->colours[9], sizeof m->colours[5]);
    keyboard_palette_init(&m->caps);
}

void popup_menu_free(PopupMenu* m)
{
    if (m)
        canvas_texture_free(&m->target);
}

void popup_menu_open(PopupMenu* m, float x, float y, const PopupMenuItem* items, int32_t n, double now)
{
    if (!m || !items || n <= 0)
        return;
    m->count = n < POPUP_MAX_ITEMS ? n : POPUP_MAX_ITEMS;
    std::memcpy(m->items, items, sizeof(PopupMenuItem) * (size_t)m->count);
    for (int32_t i = 0; i < m->count; i++)
        m->items[i].label[POPUP_LABEL - 1] = '\0';
    m->anchor_x = m->pointer_x = x;
    m->anchor_y = m->pointer_y = y;
    m->open = 1;
    m->open_time = now;
    m->hover = m->pressed = m->choice = -1;
    m->choice_ready = 0;
}

bool popup_menu_is_open(const PopupMenu* m)
{
    return m && m->open;
}

static void close_menu(PopupMenu* m, double now)
{
    m->open = 0;
    m->close_time = now;
    m->pressed = -1;
}

int32_t popup_menu_item_at(const PopupMenu* m, float x, float y)
{
    if (!m || x < m->x || x >= m->x + m->w || y < m->y || y >= m->y + m->h)
        return -1;
    int32_t i = (int32_t)std::floor((y - m->y - 4.0f) / kRow);
    if (y - m->y - 4.0f < 0.0f || i < 0 || i >= m->count || m->items[i].disabled)
        return -1;
    return i;
}

int32_t popup_menu_next_item(const PopupMenu* m, int32_t from, int32_t step)
{
    if (!m || m->count <= 0)
        return -1;
    int32_t base = from;
    if (from < 0)
        base = step > 0 ? -1 : 0;
    for (int32_t k = 1; k <= m->count; k++) {
        int32_t i = ((base + 2 * m->count + k * step) % m->count + m->count) % m->count;
        if (!m->items[i].disabled)
            return i;
    }
    return -1;
}

static void choose(PopupMenu* m, int32_t i, double now)
{
    m->choice = m->items[i].id;
    m->choice_ready = 1;
    close_menu(m, now);
}

bool popup_menu_handle_event(PopupMenu* m, const SDL_Event* e, float x, float y, double now)
{
    if (!m || !e || !m->open)
        return false;
    switch (e->type) {
    case SDL_MOUSEMOTION:
        m->pointer_x = x;
        m->pointer_y = y;
        m->hover = popup_menu_item_at(m, x, y);
        return true;
    case SDL_MOUSEBUTTONDOWN: {
        int32_t i = popup_menu_item_at(m, x, y);
        if (e->button.button == SDL_BUTTON_LEFT && i >= 0)
            m->hover = m->pressed = i;
        else
            close_menu(m, now);
        return true;
    }
    case SDL_MOUSEBUTTONUP: {
        if (e->button.button != SDL_BUTTON_LEFT)
            return true;
        int32_t i = popup_menu_item_at(m, x, y);
        if (i >= 0 && i == m->pressed)
            choose(m, i, now);
        else
            m->pressed = -1;
        return true;
    }
    case SDL_MOUSEWHEEL: return true;
    case SDL_WINDOWEVENT:
        if (e->window.event == SDL_WINDOWEVENT_FOCUS_LOST)
            close_menu(m, now);
        return false;
    case SDL_KEYDOWN:
        switch (e->key.keysym.sym) {
        case SDLK_ESCAPE: close_menu(m, now); break;
        case SDLK_DOWN: m->hover = popup_menu_next_item(m, m->hover, 1); break;
        case SDLK_UP: m->hover = popup_menu_next_item(m, m->hover, -1); break;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
        case SDLK_SPACE:
            if (m->hover >= 0 && m->hover < m->count && !m->items[m->hover].disabled)
                choose(m, m->hover, now);
            break;
        default: break;
        }
        return true;
    case SDL_KEYUP:
    case SDL_TEXTINPUT: return true;
    default: return false;
    }
}

int32_t popup_menu_take_choice(PopupMenu* m)
{
    if (!m || !m->choice_ready)
        return -1;
    m->choice_ready = 0;
    int32_t id = m->choice;
    m->choice = -1;
    return id;
}

static float hint_width(Canvas* c, TextRenderer* tr, const char* hint)
{
    return hint && hint[0] ? keyboard_keycaps_width(c, tr, kCapHeight, hint) : 0.0f;
}

void popup_menu_layout(PopupMenu* m, Canvas* c, TextRenderer* tr, const CanvasRect* b)
{
    if (!m || !b)
        return;
    float w = 150.0f;
    for (int32_t i = 0; i < m->count; i++) {
        float hint = hint_width(c, tr, m->items[i].key_hint);
        float iw = canvas_pixel_text_width(c, m->items[i].label, 1.0f) + 12.0f + (hint > 0.0f ? hint + 18.0f : 0.0f) +
                   14.0f + 8.0f;
        w = iw > w ? iw : w;
    }
    float h = (float)m->count * kRow + 8.0f;
    float x = m->anchor_x, y = m->anchor_y;
    if (x + w > b->x + b->w - 6.0f)
        x -= w;
    if (y + h > b->y + b->h - 6.0f)
        y -= h;
    x = x < b->x + 6.0f ? b->x + 6.0f : x;
    y = y < b->y + 6.0f ? b->y + 6.0f : y;
    m->x = canvas_snap(c, x);
    m->y = canvas_snap(c, y);
    m->w = w;
    m->h = h;
}

// The body at (ox, oy) (the menu's corner, or 0, 0 inside its layer).
static void draw_body(Canvas* c, TextRenderer* tr, PopupMenu* m, float ox, float oy, double now, float dt,
                      uint8_t reduced)
{
    canvas_fill_rect(c, ox, oy, m->w, m->h, m->colours[0]);
    canvas_stroke_rect(c, ox, oy, m->w, m->h, 1.0f, m->colours[1]);
    const float dim[4] = {m->colours[4][0], m->colours[4][1], m->colours[4][2], 0.35f};
    for (int32_t i = 0; i < m->count; i++) {
        const PopupMenuItem* it = &m->items[i];
        uint8_t hovered = m->open && i == m->hover && !it->disabled;
        uint8_t pressed = hovered && i == m->pressed;
        WidgetAnim* a = widget_state(&m->widgets, widget_id(it->label, 7000 + (uint32_t)i), hovered, pressed, dt,
                                     reduced);
        float alpha = 1.0f, shift = 0.0f;
        if (m->open && !reduced) {
            double t = (now - m->open_time - 0.025 * i) / 0.18;
            t = t < 0.0 ? 0.0 : t > 1.0 ? 1.0 : t;
            float u = 1.0f - (float)t;
            alpha = 1.0f - u * u * u;
            shift = -8.0f * (1.0f - alpha);
        }
        CanvasRect row{ox + 4.0f, oy + 4.0f + kRow * (float)i, m->w - 8.0f, kRow}, pr;
        widget_press_rect(&pr, a, &row);
        float hv = a ? a->hover : (float)hovered;
        float pv = a ? 1.0f - a->press : 0.0f;
        float label_col[4];
        if (it->disabled)
            std::memcpy(label_col, dim, sizeof label_col);
        else if (it->danger)
            std::memcpy(label_col, m->colours[5], sizeof label_col);
        else
            lv_mix(m->colours[4], m->colours[2], hv, label_col);
        if (hv > 0.01f || pv > 0.01f) {
            float fill[4];
            lv_alpha(label_col, it->danger ? 0.26f : 0.18f, fill);
            fill[3] = (it->danger ? 0.26f : 0.18f) * alpha;
            canvas_fill_rect(c, pr.x + shift, pr.y, pr.w, pr.h, fill);
        }
        label_col[3] *= alpha;
        canvas_draw_pixel_text(c, it->label, row.x + 12.0f + shift, row.y + 0.5f * (kRow - 7.0f), 1.0f, label_col, 0);
        float hw = hint_width(c, tr, it->key_hint);
        if (hw > 0.0f)
            keyboard_draw_keycap_lit(c, tr, &m->caps, row.x + row.w - 10.0f - hw + shift,
                                     row.y + 0.5f * (kRow - kCapHeight), kCapHeight, it->key_hint, alpha, false);
    }
}

void popup_menu_draw(Canvas* c, TextRenderer* tr, PopupMenu* m, const CanvasRect* bounds, double now, float dt,
                     uint8_t reduced)
{
    if (!c || !m || !bounds)
        return;
    if (!m->open && now - m->close_time >= kCloseSeconds)
        return;
    popup_menu_layout(m, c, tr, bounds);
    if (m->open)
        lv_hit(c, m->x, m->y, m->w, m->h, 2);
    widget_frame(&m->widgets);
    int32_t level;
    if (reduced)
        level = m->open ? 12 : 0;
    else if (m->open)
        level = dither_step_at(now - m->open_time);
    else
        level = 12 - (int32_t)std::floor((now - m->close_time) / kCloseStep);
    if (level <= 0)
        return;
    float scale = canvas_get_scale(c);
    if (level < 12 && scale > 0.0f &&
        canvas_target_ensure(c, &m->target, (int32_t)std::ceil(m->w * scale), (int32_t)std::ceil(m->h * scale)) == 0) {
        const float clear[4] = {0, 0, 0, 0};
        canvas_push_target(c, &m->target, clear);
        draw_body(c, tr, m, 0.0f, 0.0f, now, dt, reduced);
        canvas_pop_target(c);
        canvas_dissolve_target(c, &m->target, level, 2.0f);
        canvas_draw_target(c, &m->target, m->x, m->y);
        return;
    }
    draw_body(c, tr, m, m->x, m->y, now, dt, reduced);
}
