// keys_help_view.cpp - layout, drawing and events of the keys help panel.
#include "app/panels/keys_help_view.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "ui/keyboard_caps.h"
#include "ui/canvas.h"
#include "ui/dither.h"
#include "ui/text.h"

// Vertical rhythm of the list and the keyboard block.
static const float kListTop = 10.0f;
static const float kHeadingH = 14.0f + 5.0f;
static const float kEntryH = 23.0f;
static const float kSectionGap = 12.0f;
static const float kCapH = 19.0f;
static const float kKeyboardTitleGap = 8.0f;    // list bottom to the keyboard's title line
static const float kKeyboardTitleH = 14.0f;
static const float kKeyboardTop = 26.0f;        // list bottom to the keyboard's top
static const float kKeyboardBottom = 10.0f;
static const float kDimKey = 0.55f;

// ---------------------------------------------------------------------------
// Layout
// ---------------------------------------------------------------------------

int32_t keys_help_section_column(const KeysHelp* help, int32_t s)
{
    if (!help || s < 0 || s >= help->section_count || help->columns < 1)
        return 0;
    const KeysHelpSection& sec = help->sections[s];
    int32_t col = help->columns == 3 ? sec.column3 : sec.column2;
    return std::clamp(col, 0, help->columns - 1);
}

static int32_t keys_shown(const KeysHelpSection& s)
{
    return std::clamp(s.entry_count, 0, KEYS_HELP_MAX_SHOWN);
}

bool keys_help_layout(KeysHelp* help, Canvas* c, TextRenderer* tr, float w, float h)
{
    if (!help)
        return false;
    float scale = canvas_get_scale(c);
    if (help->layout_valid && help->layout_width == w && help->layout_height == h && help->layout_scale == scale)
        return true;
    help->layout_valid = 0;
    float pw = std::min(w - 32.0f, 820.0f);
    if (!(pw >= KEYS_HELP_MIN_WIDTH))
        return false;
    help->panel_w = pw;
    help->panel_x = (w - pw) / 2.0f;
    help->columns = pw >= 600.0f ? 3 : 2;
    help->column_w = (pw - 32.0f - (float)(help->columns - 1) * 14.0f) / (float)help->columns;
    float col_y[3] = {kListTop, kListTop, kListTop};
    bool used[3] = {};
    for (int32_t i = 0; i < 3; i++) {
        help->column_x[i] = 16.0f + (float)i * (help->column_w + 14.0f);
        help->cap_column_w[i] = 0.0f;
    }
    for (int32_t s = 0; s < help->section_count; s++) {
        const KeysHelpSection& sec = help->sections[s];
        int32_t col = keys_help_section_column(help, s);
        if (used[col])
            col_y[col] += kSectionGap;
        used[col] = true;
        help->section_y[s] = col_y[col];
        col_y[col] += kHeadingH + kEntryH * (float)keys_shown(sec);
        for (int32_t e = 0; e < keys_shown(sec); e++) {
            const char* keys = sec.entries[e].keys;
            for (float& cw : help->cap_w[s][e])
                cw = 0.0f;
            keys_for_each_label(keys, [&](int32_t i, const char* label) {
                if (i < KEYS_HELP_MAX_CAPS)
                    help->cap_w[s][e][i] = keyboard_cap_width(c, tr, kCapH, label);
            });
            float kw = keyboard_keycaps_width(c, tr, kCapH, keys);
            help->cap_column_w[col] = std::max(help->cap_column_w[col], std::min(kw, help->column_w * 0.48f));
        }
    }
    help->list_h = std::max({col_y[0], col_y[1], col_y[2]});
    help->key_size = (pw - 93.0f) / 16.0f;
    help->key_h = std::clamp(std::floor(help->key_size * 1.1f), 12.0f, 18.0f);
    help->keyboard_h = kKeyboardTop + 5.0f + 5.0f * (help->key_h + 3.0f) + kKeyboardBottom;
    help->content_h = help->list_h + help->keyboard_h;
    help->panel_h = std::min(KEYS_HELP_TITLE_H + help->content_h, h - 32.0f);
    help->panel_y = (h - help->panel_h) / 2.0f;
    float top = std::max(0.0f, help->content_h - (help->panel_h - KEYS_HELP_TITLE_H));
    help->scroll = std::clamp(help->scroll, 0.0f, top);
    help->layout_width = w;
    help->layout_height = h;
    help->layout_scale = scale;
    help->layout_valid = 1;
    return true;
}

static float keys_list_top(const KeysHelp* help)
{
    return help->panel_y + KEYS_HELP_TITLE_H - help->scroll;
}

float keys_help_keyboard_top(const KeysHelp* help)
{
    return help ? keys_list_top(help) + help->list_h + kKeyboardTop : 0.0f;
}

bool keys_help_panel_rect(const KeysHelp* help, CanvasRect* out)
{
    if (!help || !help->layout_valid || !out)
        return false;
    *out = CanvasRect{help->panel_x, help->panel_y, help->panel_w, help->panel_h};
    return true;
}

bool keys_help_heading_rect(const KeysHelp* help, int32_t s, CanvasRect* out)
{
    if (!help || !help->layout_valid || !out || s < 0 || s >= help->section_count)
        return false;
    int32_t col = keys_help_section_column(help, s);
    *out = CanvasRect{help->panel_x + help->column_x[col], keys_list_top(help) + help->section_y[s],
                      help->column_w, 14.0f};
    return true;
}

bool keys_help_entry_rect(const KeysHelp* help, int32_t s, int32_t e, CanvasRect* out)
{
    if (!keys_help_heading_rect(help, s, out) || e < 0 || e >= keys_shown(help->sections[s]))
        return false;
    out->y += kHeadingH + kEntryH * (float)e;
    out->h = kEntryH;
    return true;
}

bool keys_help_cap_rect(const KeysHelp* help, int32_t s, int32_t e, int32_t cap, CanvasRect* out)
{
    if (!keys_help_entry_rect(help, s, e, out) || cap < 0 || cap >= KEYS_HELP_MAX_CAPS)
        return false;
    float x = out->x + 8.0f;
    for (int32_t i = 0; i < cap; i++)
        x += help->cap_w[s][e][i] + 3.0f;
    float w = help->cap_w[s][e][cap];
    if (!(w > 0.0f))
        return false;
    *out = CanvasRect{x, out->y + 2.0f, w, kCapH};
    return true;
}

bool keys_help_key_rect(const KeysHelp* help, int32_t key, CanvasRect* out)
{
    if (!help || !help->layout_valid || !out || key < 0 || key >= KEYBOARD_KEYS)
        return false;
    const KeyboardKey& k = kKeyboardKeys[key];
    float before = 0.0f;
    for (int32_t i = 0; i < key; i++)
        if (kKeyboardKeys[i].row == k.row)
            before += kKeyboardKeys[i].width;
    float s = help->key_size;
    float x0 = help->panel_x + 16.0f;
    *out = CanvasRect{x0 + 8.0f + (s + 3.0f) * before,
                      keys_help_keyboard_top(help) + 5.0f + (float)k.row * (help->key_h + 3.0f),
                      (k.width - 1.0f) * 3.0f + k.width * s, help->key_h};
    return true;
}

static bool keys_label_listed(const KeysHelp* help, const char* label)
{
    for (int32_t s = 0; s < help->section_count; s++) {
        const KeysHelpSection& sec = help->sections[s];
        for (int32_t e = 0; e < keys_shown(sec); e++) {
            bool found = false;
            keys_for_each_label(sec.entries[e].keys,
                                [&](int32_t, const char* l) { found = found || keys_label_equal(l, label); });
            if (found)
                return true;
        }
    }
    return false;
}

float keys_help_key_opacity(const KeysHelp* help, int32_t key, double t)
{
    if (!help || key < 0 || key >= KEYBOARD_KEYS)
        return kDimKey;
    const char* label = kKeyboardKeys[key].label;
    if (keys_help_light_level(help, label, t) > 0.02f || keys_label_listed(help, label))
        return 1.0f;
    return kDimKey;
}

// ---------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------

// The opening reveal: a part is covered at the step its delay gives.
struct KeysReveal {
    Canvas* c;
    bool on;
    double since;           // seconds since opening
    float ox, oy;           // the panel's corner
};

static void keys_cover(const KeysReveal& rv, const CanvasRect& r, double delay, const float* colour)
{
    if (!rv.on)
        return;
    keyboard_dither_fill(rv.c, &r, rv.ox, rv.oy, dither_step_at(rv.since - delay), colour);
}

static void keys_draw_title(Canvas* c, TextRenderer* tr, KeysHelp* help, const KeyCapPalette* pal, float px,
                            float py)
{
    const float* text = pal->colours[2];
    float muted[4] = {text[0], text[1], text[2], 0.55f};
    text_draw(tr, c, 2, "KEYS", px + 16.0f, py + 8.0f, 36.0f, 400, text, 0);
    text_draw(tr, c, 0, "?  opens and closes it", px + 16.0f + 70.0f, py + 20.0f, 11.0f, 400, muted, 0);
    const float line[4] = {1.0f, 1.0f, 1.0f, 0.06f};
    canvas_fill_rect(c, px, py + 52.0f, help->panel_w, 1.0f, line);
    float bx = px + help->panel_w - 44.0f, by = py + 8.0f;
    if (help->hover_close) {
        const float hover[4] = {1.0f, 1.0f, 1.0f, 0.12f};
        canvas_fill_rect(c, bx, by, 36.0f, 36.0f, hover);
    }
    float cx = bx + 18.0f, cy = by + 18.0f;
    canvas_draw_line(c, cx - 5.0f, cy - 5.0f, cx + 5.0f, cy + 5.0f, 1.4f, text);
    canvas_draw_line(c, cx - 5.0f, cy + 5.0f, cx + 5.0f, cy - 5.0f, 1.4f, text);
}

static void keys_draw_list(Canvas* c, TextRenderer* tr, KeysHelp* help, const KeyCapPalette* pal, float dy,
                           double t, const KeysReveal& rv)
{
    const float* text = pal->colours[2];
    float desc[4] = {text[0], text[1], text[2], 0.78f};
    int32_t n = help->section_count;
    for (int32_t s = 0; s < n; s++) {
        const KeysHelpSection& sec = help->sections[s];
        int32_t col = keys_help_section_column(help, s);
        CanvasRect head{};
        keys_help_heading_rect(help, s, &head);
        head.y += dy;
        text_draw(tr, c, 0, sec.name, head.x + 8.0f, head.y, 12.0f, 700, pal->colours[7], 0);
        keys_cover(rv, head, s * 0.045 + 0.01, pal->colours[0]);
        for (int32_t e = 0; e < keys_shown(sec); e++) {
            const KeysHelpEntry& entry = sec.entries[e];
            CanvasRect row{};
            keys_help_entry_rect(help, s, e, &row);
            row.y += dy;
            bool recent = help->click_section == s && help->click_entry == e && t - help->click_time < 0.15;
            float x = row.x + 8.0f;
            keys_for_each_label(entry.keys, [&](int32_t i, const char* label) {
                if (i >= KEYS_HELP_MAX_CAPS)
                    return;
                float lit = keys_help_light_level(help, label, t);
                bool pressed = lit > 0.5f || (recent && (help->click_cap < 0 || help->click_cap == i));
                bool hovered = help->hover_section == s && help->hover_entry == e && help->hover_cap == i;
                keyboard_cap_state(pressed ? 1.0f : 0.0f, hovered ? 1.0f : 0.0f);
                float w = help->cap_w[s][e][i];
                keyboard_draw_cap(c, tr, pal, x, row.y + 2.0f, kCapH, w, label, 1.0f, entry.flag || lit > 0.02f);
                x += w + 3.0f;
            });
            float tx = row.x + 8.0f + help->cap_column_w[col] + 12.0f;
            text_draw_fit(tr, c, 0, entry.text, tx, row.y + 4.0f, row.x + row.w - tx, 13.0f, 400, desc);
            if (entry.key >= 0 && help->callback)
                help->callback(c, tr, row.x + help->cap_column_w[col] + 28.0f, row.y + 11.5f, 16.0f, pal->colours[2],
                               entry.key, entry.extra, help->context);
            keys_cover(rv, row, s * 0.045 + 0.04 + e * 0.012, pal->colours[1]);
        }
    }
    keyboard_cap_state(0.0f, 0.0f);
}

static void keys_draw_keyboard(Canvas* c, TextRenderer* tr, KeysHelp* help, const KeyCapPalette* pal, float dy,
                               double t, const KeysReveal& rv)
{
    int32_t n = help->section_count;
    float px = help->panel_x, pw = help->panel_w;
    float top = keys_help_keyboard_top(help) + dy;
    float title_y = top - kKeyboardTop + kKeyboardTitleGap;
    const float* text = pal->colours[2];
    float muted[4] = {text[0], text[1], text[2], 0.5f};
    text_draw(tr, c, 0, "KEYBOARD", px + 24.0f, title_y, 12.0f, 700, pal->colours[7], 0);
    text_draw(tr, c, 0, "CLICK A KEY TO SEND IT. HELD KEYS LIGHT EVERYWHERE", px + pw - 24.0f, title_y + 1.0f,
              10.0f, 400, muted, 2);
    keys_cover(rv, CanvasRect{px + 16.0f, title_y, pw - 32.0f, kKeyboardTitleH}, n * 0.045 + 0.01, pal->colours[0]);
    for (int32_t k = 0; k < KEYBOARD_KEYS; k++) {
        const char* label = kKeyboardKeys[k].label;
        if (!label[0])
            continue;
        CanvasRect r{};
        keys_help_key_rect(help, k, &r);
        float lit = keys_help_light_level(help, label, t);
        bool pressed = lit > 0.5f || (help->click_key == k && t - help->click_time < 0.15);
        keyboard_cap_state(pressed ? 1.0f : 0.0f, help->hover_key == k ? 1.0f : 0.0f);
        keyboard_draw_cap(c, tr, pal, r.x, r.y + dy, r.h, r.w, label, keys_help_key_opacity(help, k, t), lit > 0.02f);
    }
    keyboard_cap_state(0.0f, 0.0f);
    for (int32_t r = 0; r < KEYBOARD_ROWS; r++) {
        float e = r == 0 ? 5.0f : 0.0f;
        float y = top + 5.0f + (float)r * (help->key_h + 3.0f) - e;
        CanvasRect row{px + 16.0f, y, pw - 32.0f, help->key_h + 3.0f + e};
        keys_cover(rv, row, n * 0.045 + 0.04 + r * 0.012, pal->colours[1]);
    }
}

void keyboard_panel_draw(Canvas* c, TextRenderer* tr, KeysHelp* help, const KeyCapPalette* palette, float w,
                         float h, double t, float dt, bool reduced_motion)
{
    (void)dt;
    if (!c || !help)
        return;
    bool closing = !help->open;
    if (closing && (reduced_motion || t - help->closed_at >= 0.18))
        return;
    if (!keys_help_layout(help, c, tr, w, h))
        return;
    KeyCapPalette own;
    if (!palette) {
        keyboard_palette_init(&own);
        palette = &own;
    }
    float alpha = 1.0f, dy = 0.0f;
    if (!reduced_motion) {
        if (closing) {
            float p = (float)std::clamp((t - help->closed_at) / 0.18, 0.0, 1.0);
            alpha = 1.0f - p * p * p;
        } else {
            float p = (float)std::clamp((t - help->opened_at) / 0.22, 0.0, 1.0);
            float e = 1.0f - (1.0f - p) * (1.0f - p) * (1.0f - p);
            alpha = e;
            dy = -24.0f * (1.0f - e);
        }
    }
    float px = help->panel_x, py = help->panel_y + dy;
    CanvasRect saved_clip{};
    bool had_clip = canvas_get_clip(c, &saved_clip);
    float shade[4] = {0.0f, 0.0f, 0.0f, 0.35f * alpha};
    canvas_fill_rect(c, 0.0f, 0.0f, w, h, shade);
    canvas_set_alpha(c, alpha);
    const float* bg = palette->colours[1];
    canvas_fill_rect(c, px, py, help->panel_w, help->panel_h, bg);
    canvas_stroke_rect(c, px, py, help->panel_w, help->panel_h, 1.0f, palette->colours[3]);
    keys_draw_title(c, tr, help, palette, px, py);

    CanvasRect clip{px, py + KEYS_HELP_TITLE_H, help->panel_w, help->panel_h - KEYS_HELP_TITLE_H};
    canvas_set_clip(c, &clip);
    KeysReveal rv{c, !closing && !reduced_motion, t - help->opened_at, px, py};
    keys_draw_list(c, tr, help, palette, dy, t, rv);
    keys_draw_keyboard(c, tr, help, palette, dy, t, rv);
    canvas_set_clip(c, had_clip ? &saved_clip : nullptr);
    canvas_set_alpha(c, 1.0f);
}

// ---------------------------------------------------------------------------
// Events
// ---------------------------------------------------------------------------

static bool keys_in(const CanvasRect& r, float x, float y)
{
    return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
}

static bool keys_in_close(const KeysHelp* help, float x, float y)
{
    CanvasRect r{help->panel_x + help->panel_w - 44.0f, help->panel_y + 8.0f, 36.0f, 36.0f};
    return keys_in(r, x, y);
}

static bool keys_in_content(const KeysHelp* help, float y)
{
    return y >= help->panel_y + KEYS_HELP_TITLE_H && y < help->panel_y + help->panel_h;
}

// What lies under a point of the content: a keyboard key, or an entry with its cap.
static void keys_hit(const KeysHelp* help, float x, float y, int32_t* key, int32_t* section, int32_t* entry,
                     int32_t* cap)
{
    *key = *section = *entry = *cap = -1;
    if (!help->layout_valid || !keys_in_content(help, y))
        return;
    CanvasRect r{};
    for (int32_t k = 0; k < KEYBOARD_KEYS; k++)
        if (kKeyboardKeys[k].label[0] && keys_help_key_rect(help, k, &r) && keys_in(r, x, y)) {
            *key = k;
            return;
        }
    for (int32_t s = 0; s < help->section_count; s++)
        for (int32_t e = 0; e < keys_shown(help->sections[s]); e++) {
            if (!keys_help_entry_rect(help, s, e, &r) || !keys_in(r, x, y))
                continue;
            *section = s;
            *entry = e;
            for (int32_t i = 0; i < KEYS_HELP_MAX_CAPS; i++)
                if (keys_help_cap_rect(help, s, e, i, &r) && keys_in(r, x, y))
                    *cap = i;
            return;
        }
}

static void keys_scroll_by(KeysHelp* help, float dy)
{
    float top = std::max(0.0f, help->content_h - (help->panel_h - KEYS_HELP_TITLE_H));
    help->scroll = std::clamp(help->scroll + dy, 0.0f, top);
}

static void keys_close(KeysHelp* help, double t)
{
    help->open = 0;
    help->closed_at = t;
}

static void keys_press(KeysHelp* help, float x, float y, double t)
{
    int32_t key, s, e, cap;
    keys_hit(help, x, y, &key, &s, &e, &cap);
    if (key >= 0) {
        const char* label = kKeyboardKeys[key].label;
        keys_help_light(help, label, t);
        help->click_key = key;
        help->click_section = help->click_entry = help->click_cap = -1;
        help->click_time = t;
        keyboard_send_key(label);
        return;
    }
    if (s < 0)
        return;
    const char* keys = help->sections[s].entries[e].keys;
    keys_for_each_label(keys, [&](int32_t i, const char* label) {
        if (cap < 0 || cap == i)
            keys_help_light(help, label, t);
    });
    help->click_key = -1;
    help->click_section = s;
    help->click_entry = e;
    help->click_cap = cap;
    help->click_time = t;
    keyboard_send_key(keys);
}

bool keyboard_panel_handle_event(KeysHelp* help, const SDL_Event* ev, float scale, double t)
{
    if (!help || !ev || !help->open || !help->layout_valid)
        return false;   // closed, or too narrow to be drawn
    float s = scale > 0.0f ? scale : 1.0f;
    switch (ev->type) {
    case SDL_KEYDOWN: {
        const SDL_Keysym& k = ev->key.keysym;
        if (!ev->key.repeat)
            keys_help_light(help, keyboard_label_for_key(k.sym), t);
        if (k.sym == SDLK_ESCAPE) {
            keys_close(help, t);
            return true;
        }
        if (k.sym == SDLK_UP || k.sym == SDLK_DOWN) {
            keys_scroll_by(help, k.sym == SDLK_UP ? -40.0f : 40.0f);
            return true;
        }
        return false;
    }
    case SDL_MOUSEMOTION: {
        float x = (float)ev->motion.x / s, y = (float)ev->motion.y / s;
        help->hover_close = help->layout_valid && keys_in_close(help, x, y);
        keys_hit(help, x, y, &help->hover_key, &help->hover_section, &help->hover_entry, &help->hover_cap);
        return true;
    }
    case SDL_MOUSEBUTTONDOWN: {
        float x = (float)ev->button.x / s, y = (float)ev->button.y / s;
        CanvasRect panel{};
        if (!keys_help_panel_rect(help, &panel))
            return true;
        if (ev->button.button == SDL_BUTTON_LEFT && keys_in_close(help, x, y))
            keys_close(help, t);
        else if (!keys_in(panel, x, y))
            keys_close(help, t);
        else if (ev->button.button == SDL_BUTTON_LEFT)
            keys_press(help, x, y, t);
        return true;
    }
    case SDL_MOUSEBUTTONUP:
        return true;
    case SDL_MOUSEWHEEL:
        keys_scroll_by(help, -(float)ev->wheel.y * 40.0f);
        return true;
    default:
        return false;
    }
}
