// library_view.cpp - the library view's state, colours, card geometry and drawing.
#include "library/views/library_view.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/preview.h"
#include "library/library.h"
#include "library/library_seams.h"
#include "library/views/favourites_panel.h"
#include "library/views/folder_tree_view.h"
#include "library/views/lv_draw.h"
#include "library/views/wavestrip.h"
#include "platform/plat_time.h"
#include "ui/text.h"
#include "ui/theme.h"

static const float kHeader = 30.0f;
static const float kTakeHeight = 188.0f;
static const float kPi = 3.14159265f;
static const char* const kSourceNames[4] = {"ALL", "CLOUD", "LOCAL", "BROWSE"};

void library_init_colours(float out[LIBRARY_COLOURS][4])
{
    const ThemePalette* t = theme_palette();
    const float* bg = t->colours[THEME_BACKGROUND];
    std::memcpy(out[0], bg, sizeof out[0]);
    lv_mix(bg, t->colours[THEME_SURFACE], 0.55f, out[1]);
    lv_mix(bg, t->colours[THEME_SURFACE], 0.95f, out[2]);
    std::memcpy(out[3], t->colours[THEME_SECONDARY], sizeof out[3]);
    std::memcpy(out[4], t->colours[THEME_PRIMARY], sizeof out[4]);
    std::memcpy(out[5], t->colours[THEME_TERTIARY], sizeof out[5]);
    std::memcpy(out[6], t->colours[THEME_BLUE], sizeof out[6]);
    std::memcpy(out[7], t->colours[THEME_RED], sizeof out[7]);
    std::memcpy(out[8], t->colours[THEME_LIGHT], sizeof out[8]);
}

bool library_view_create(Library* lib)
{
    if (!lib)
        return false;
    LibraryViewUi* ui = (LibraryViewUi*)std::calloc(1, sizeof(LibraryViewUi));
    if (!ui)
        return false;
    ui->hover_card = -1;
    ui->press_pos = -1;
    ui->last_click = -1;
    ui->favourites_visible = 1;
    library_init_colours(ui->colours);
    popup_menu_init(&ui->menu);
    viz_bands_init(&ui->bands, LIBRARY_SUMMARY_COLUMNS, 3.0f, 0.8f);
    widget_table_reset(&ui->widgets);
    lib->ui = ui;
    return true;
}

void library_view_destroy(Library* lib)
{
    if (!lib || !lib->ui)
        return;
    popup_menu_free(&lib->ui->menu);
    std::free(lib->ui);
    lib->ui = nullptr;
}

// The seams of the model: the frame's widget step and the band visualiser.
void library_view_frame(Library* lib, float dt)
{
    if (lib && lib->ui)
        widget_frame(&lib->ui->widgets);
}

void library_visual_clear(Library* lib)
{
    if (lib && lib->ui)
        viz_bands_clear(&lib->ui->bands);
}

void library_visual_step(Library* lib, double position, const float* summary, double t)
{
    if (lib && lib->ui)
        viz_bands_update(&lib->ui->bands, position, summary, t);
}

bool library_popup_open(const Library* lib)
{
    return lib && lib->ui && popup_menu_is_open(&lib->ui->menu);
}

bool library_wants_keyboard(const Library* lib)
{
    return lib && lib->ui && lib->ui->filter_focused;
}

// -- Geometry ----------------------------------------------------------------------

bool library_card_rect(const Library* lib, int32_t pos, CanvasRect* out)
{
    if (!lib || !lib->ui || pos < 0 || pos >= lib->view_count)
        return false;
    const CanvasRect& l = lib->ui->list;
    float d = lib->view[pos] == lib->removing ? lib->removal.value : 0.0f;
    *out = CanvasRect{l.x + d, l.y + LIBRARY_CARD_STEP * (float)pos - lib->state.scroll, l.w, (float)LIBRARY_CARD_HEIGHT};
    return true;
}

static bool has(float x, float y, float rx, float ry, float rw, float rh)
{
    return x >= rx && x < rx + rw && y >= ry && y < ry + rh;
}

int32_t library_card_at(const Library* lib, float x, float y, int32_t* part)
{
    if (part)
        *part = CARD_BODY;
    if (!lib || !lib->ui)
        return -1;
    const CanvasRect& l = lib->ui->list;
    if (!has(x, y, l.x, l.y, l.w, l.h))
        return -1;
    float rel = y - l.y + lib->state.scroll;
    if (rel < 0.0f)
        return -1;
    int32_t pos = (int32_t)std::floor(rel / LIBRARY_CARD_STEP);
    if (pos >= lib->view_count || rel - LIBRARY_CARD_STEP * (float)pos >= LIBRARY_CARD_HEIGHT)
        return -1;   // past the end, or in the gap
    CanvasRect c;
    library_card_rect(lib, pos, &c);
    int32_t p = CARD_BODY;
    bool sliding = lib->view[pos] == lib->removing && lib->removal.value < -8.0f;
    if (sliding && has(x, y, l.x + l.w - 112.0f, c.y, 56.0f, 82.0f))
        p = CARD_CANCEL;
    else if (sliding && has(x, y, l.x + l.w - 56.0f, c.y, 56.0f, 82.0f))
        p = CARD_CONFIRM;
    else if (has(x, y, c.x + 10.0f, c.y + 13.0f, 32.0f, 56.0f))
        p = CARD_PLAY;
    else if (!sliding && has(x, y, c.x + c.w - 34.0f, c.y + 13.0f, 24.0f, 56.0f))
        p = CARD_OPEN;
    else if (!sliding && has(x, y, c.x + c.w - 64.0f, c.y + 50.0f, 24.0f, 24.0f))
        p = CARD_DELETE;
    if (part)
        *part = p;
    return pos;
}

// -- Texts --------------------------------------------------------------------------

void library_format_age(double item_ms, double now_ms, char* out, size_t cap)
{
    static const char* const kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                            "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    if (!out || cap == 0)
        return;
    out[0] = '\0';
    if (!(item_ms > 0.0))
        return;
    double s = (now_ms - item_ms) / 1000.0;
    if (s < 0.0)
        s = 0.0;
    if (s < 60.0)
        std::snprintf(out, cap, "NOW");
    else if (s < 3600.0)
        std::snprintf(out, cap, "%d M", (int)(s / 60.0));
    else if (s < 86400.0)
        std::snprintf(out, cap, "%d H", (int)(s / 3600.0));
    else if (s < 14.0 * 86400.0)
        std::snprintf(out, cap, "%d D", (int)(s / 86400.0));
    else {
        PlatLocalTime lt;
        if (plat_local_time_of(item_ms / 1000.0, &lt))
            std::snprintf(out, cap, "%s %d", kMonths[(lt.month - 1) % 12], lt.day);
    }
}

void library_draw_glyph(Canvas* c, float cx, float cy, float size, const float* colour)
{
    static const float kHeights[9] = {0.16f, 0.38f, 0.62f, 0.30f, 0.84f, 0.46f, 0.66f, 0.34f, 0.18f};
    float bw = std::fmax(1.0f, 0.055f * size);
    for (int i = 0; i < 9; i++) {
        float h = kHeights[i] * size;
        float x = cx + (0.1f * (float)i - 0.4f) * size;
        canvas_fill_rect(c, x - 0.5f * bw, cy - 0.5f * h, bw, h, colour);
    }
}

// -- Header -----------------------------------------------------------------------------

static void draw_header(Canvas* c, TextRenderer* tr, Library* lib, const CanvasRect* r, void* cloud, double now)
{
    LibraryViewUi* ui = lib->ui;
    const float(*k)[4] = ui->colours;
    float x = r->x + 6.0f;
    ui->tab_count = 0;
    for (uint32_t s = 0; s < 4; s++) {
        if (s == LIBRARY_SOURCE_BROWSE && !lib->browse_enabled)
            continue;
        const int32_t counts[3] = {lib->count, lib->count - lib->local_count, lib->local_count};
        char label[32];
        if (s == LIBRARY_SOURCE_BROWSE)
            std::snprintf(label, sizeof label, "%s", kSourceNames[s]);
        else
            std::snprintf(label, sizeof label, "%s %d", kSourceNames[s], counts[s]);
        float w = canvas_pixel_text_width(c, label, 1.0f) + 16.0f;
        CanvasRect tab{x, r->y + 6.0f, w, 18.0f};
        int32_t i = ui->tab_count++;
        ui->tabs[i] = tab;
        ui->tab_source[i] = s;
        uint8_t hovered = has(ui->mouse_x, ui->mouse_y, tab.x, tab.y, tab.w, tab.h);
        widget_draw_pill(c, &ui->widgets, widget_id(label, 900 + s), &tab, label, lib->state.source == s, nullptr,
                         hovered, 0, 0, lib->dt, lib->reduced_motion);
        x += w + 4.0f;
    }
    ui->filter = CanvasRect{};
    float left = x + 4.0f;   // the cloud's status line may use what lies right of this
    if (lib->state.source != LIBRARY_SOURCE_BROWSE) {
        CanvasRect f{x + 8.0f, r->y + 5.0f, 150.0f, 20.0f};
        left = f.x + f.w + 8.0f;
        ui->filter = f;
        canvas_fill_rect(c, f.x, f.y, f.w, f.h, k[1]);
        if (ui->filter_focused)
            canvas_stroke_rect(c, f.x, f.y, f.w, f.h, 1.0f, k[3]);
        char shown[72];
        const float* ink = k[4];
        if (!lib->state.filter[0] && !ui->filter_focused) {
            std::snprintf(shown, sizeof shown, "FILTER");
            ink = k[5];
        } else {
            bool caret = ui->filter_focused && std::fmod(now - ui->caret_time, 1.0) < 0.5;
            char text[64];
            lv_fit_pixel(c, lib->state.filter, 1.0f, 138.0f, text, sizeof text);
            std::snprintf(shown, sizeof shown, "%s%s", text, caret ? "_" : "");
        }
        canvas_draw_pixel_text(c, shown, f.x + 6.0f, f.y + 6.5f, 1.0f, ink, 0);
    }
    float right = r->x + r->w - 6.0f;
    char progress[48] = "";
    float fraction = -1.0f;
    if (lib->loading) {
        std::snprintf(progress, sizeof progress, "READING THE TAKE...");
    } else if (lib->done < lib->queued) {
        std::snprintf(progress, sizeof progress, "READING %d / %d", lib->done + 1, lib->queued);
        fraction = (float)lib->done / (float)lib->queued;
    }
    float w = progress[0] ? canvas_pixel_text_width(c, progress, 1.0f) : 0.0f;
    library_cloud_header(c, lib, cloud, left, progress[0] ? right - w - 10.0f : right, r->y);
    if (progress[0]) {
        canvas_draw_pixel_text(c, progress, right, r->y + 8.0f, 1.0f, k[5], 2);
        if (fraction >= 0.0f) {
            canvas_fill_rect(c, right - w, r->y + 19.0f, w * fraction, 2.0f, k[6]);
        } else {
            double phase = std::fmod(now * 0.7, 1.0);
            canvas_fill_rect(c, right - w + (w - 20.0f) * (float)phase, r->y + 19.0f, 20.0f, 2.0f, k[6]);
        }
    }
}

// -- Cards ---------------------------------------------------------------------------------

static void draw_trash_glyph(Canvas* c, float cx, float cy, const float* ink)
{
    canvas_fill_rect(c, cx - 5.0f, cy - 5.0f, 10.0f, 1.5f, ink);
    canvas_fill_rect(c, cx - 2.0f, cy - 7.0f, 4.0f, 1.5f, ink);
    canvas_stroke_rect(c, cx - 4.0f, cy - 3.0f, 8.0f, 9.0f, 1.0f, ink);
}

static void draw_card(Canvas* c, TextRenderer* tr, Library* lib, int32_t pos, double now, double wall_ms)
{
    LibraryViewUi* ui = lib->ui;
    const float(*k)[4] = ui->colours;
    LibraryItem* it = &lib->items[lib->view[pos]];
    CanvasRect card;
    library_card_rect(lib, pos, &card);
    bool removing = lib->view[pos] == lib->removing;
    bool slid = removing && lib->removal.value < -8.0f;
    bool hovered = ui->hover_card == pos;
    bool pressed = ui->pressed && ui->press_pos == pos;
    const CanvasRect& l = ui->list;
    const float white[4] = {1, 1, 1, 1};

    if (slid) {
        float cancel_fill[4], confirm_fill[4];
        lv_mix(k[0], k[2], hovered && ui->hover_part == CARD_CANCEL ? 1.0f : 0.5f, cancel_fill);
        lv_mix(k[0], k[7], hovered && ui->hover_part == CARD_CONFIRM ? (pressed ? 1.0f : 0.8f) : 0.5f, confirm_fill);
        canvas_fill_rect(c, l.x + l.w - 112.0f, card.y, 56.0f, 82.0f, cancel_fill);
        canvas_fill_rect(c, l.x + l.w - 56.0f, card.y, 56.0f, 82.0f, confirm_fill);
        float cx = l.x + l.w - 84.0f, cy = card.y + 41.0f;
        canvas_draw_line(c, cx + 3.0f, cy - 6.0f, cx - 3.0f, cy, 2.0f, k[4]);
        canvas_draw_line(c, cx - 3.0f, cy, cx + 3.0f, cy + 6.0f, 2.0f, k[4]);
        draw_trash_glyph(c, l.x + l.w - 28.0f, cy, white);
    }
    float body[4];
    float t = (int32_t)lib->view[pos] == lib->selected ? 0.6f : hovered ? 0.35f : 0.0f;
    lv_mix(k[1], k[2], t, body);
    canvas_fill_rect(c, card.x, card.y, card.w, card.h, body);
    if ((int32_t)lib->view[pos] == lib->selected)
        canvas_stroke_rect(c, card.x, card.y, card.w, card.h, 1.0f, k[3]);

    // Play button.
    bool loaded = std::strcmp(it->path, lib->loaded_path) == 0;
    bool playing = loaded && !lib->loading && lib->player && preview_is_playing(lib->player);
    bool can_play = it->kind == LIBRARY_KIND_LOCAL && !it->failed;
    float play[4];
    std::memcpy(play, k[6], sizeof play);
    if (hovered && ui->hover_part == CARD_PLAY)
        lv_mix(k[6], white, 0.25f, play);
    float glyph_scale = 1.0f;
    if (pressed && ui->press_part == CARD_PLAY) {
        play[3] *= 0.55f;
        glyph_scale = 0.86f;
    }
    float bx = card.x + 10.0f, by = card.y + 13.0f;
    float button_fill[4];
    lv_alpha(play, 0.18f, button_fill);
    canvas_fill_rect(c, bx, by, 32.0f, 56.0f, button_fill);
    float gx = bx + 16.0f, gy = by + 28.0f, g = 7.0f * glyph_scale;
    if (playing) {
        canvas_fill_rect(c, gx - g, gy - g, 0.7f * g, 2.0f * g, play);
        canvas_fill_rect(c, gx + 0.3f * g, gy - g, 0.7f * g, 2.0f * g, play);
    } else {
        float ink[4];
        std::memcpy(ink, play, sizeof ink);
        if (loaded && lib->loading)
            ink[3] *= 0.45f + 0.25f * std::sin(2.0f * kPi * 1.2f * (float)now);
        else if (!can_play)
            ink[3] *= 0.3f;
        canvas_fill_triangle(c, gx - 0.7f * g, gy - g, gx + g, gy, gx - 0.7f * g, gy + g, ink);
    }

    // Texts.
    float open_x = card.x + card.w - 34.0f;
    float text_x = card.x + 52.0f, text_w = open_x - 12.0f - text_x;
    char right[32] = "";
    if (it->duration > 0.0)
        format_duration(it->duration, right, sizeof right);
    else
        library_format_age(it->time, wall_ms, right, sizeof right);
    float rw = right[0] ? canvas_pixel_text_width(c, right, 1.0f) + 10.0f : 0.0f;
    lv_draw_name(c, tr, it->name, text_x, card.y + 10.0f, 15.0f, text_w - rw, k[4]);
    if (right[0])
        canvas_draw_pixel_text(c, right, open_x - 12.0f, card.y + 14.0f, 1.0f, k[5], 2);
    if (it->folder[0]) {
        char sub[128];
        std::snprintf(sub, sizeof sub, "%s  .  %s", it->folder, it->ext);
        char fitted[128];
        lv_fit_pixel(c, sub, 1.0f, text_w, fitted, sizeof fitted);
        canvas_draw_pixel_text(c, fitted, text_x, card.y + 34.0f, 1.0f, k[5], 0);
    }

    // The strip.
    float strip_w = card.x + card.w - 70.0f - text_x;
    CanvasRect strip{text_x, card.y + 50.0f, strip_w, 24.0f};
    if (!it->ready) {
        float ink[4];
        lv_alpha(k[8], 0.45f, ink);
        library_draw_glyph(c, strip.x + 0.5f * strip.w, strip.y + 0.5f * strip.h, 20.0f, ink);
    } else {
        float points[LIBRARY_SUMMARY_COLUMNS];
        std::memcpy(points, it->summary, sizeof points);
        float cursor = -1.0f;
        const float* overlay = nullptr;
        float glow[LIBRARY_SUMMARY_COLUMNS];
        if (loaded && lib->player && !lib->loading) {
            double position = preview_position(lib->player);
            cursor = strip.x + (float)position * strip.w;
            for (int32_t i = 0; i < LIBRARY_SUMMARY_COLUMNS; i++) {
                points[i] *= 1.0f + 0.04f * ui->bands.displacement[i];
                glow[i] = ui->bands.glow[i] / 1.5f;
            }
            overlay = glow;
        }
        wavestrip_draw(c, &strip, points, LIBRARY_SUMMARY_COLUMNS, nullptr, 0.36f * strip.h, overlay,
                       overlay ? LIBRARY_SUMMARY_COLUMNS : 0, cursor, it->colour);
        if (cursor >= 0.0f)
            canvas_fill_rect(c, cursor - 0.5f, strip.y, 1.0f, strip.h, k[4]);
    }

    // OPEN and delete.
    if (!removing) {
        float ink[4];
        lv_mix(k[5], k[4], hovered && ui->hover_part == CARD_OPEN ? 1.0f : 0.0f, ink);
        if (pressed && ui->press_part == CARD_OPEN)
            ink[3] *= 0.55f;
        float ox = open_x + 12.0f, oy = card.y + 41.0f;
        canvas_draw_line(c, ox - 3.0f, oy - 6.0f, ox + 3.0f, oy, 2.0f, ink);
        canvas_draw_line(c, ox + 3.0f, oy, ox - 3.0f, oy + 6.0f, 2.0f, ink);
        if (hovered && it->kind == LIBRARY_KIND_LOCAL) {
            const float* trash = ui->hover_part == CARD_DELETE ? k[7] : k[5];
            draw_trash_glyph(c, card.x + card.w - 52.0f, card.y + 62.0f, trash);
        }
    }
}

// -- The frame -------------------------------------------------------------------------------

static void draw_empty(Canvas* c, TextRenderer* tr, Library* lib, const CanvasRect* list, void* cloud)
{
    const float(*k)[4] = lib->ui->colours;
    float cx = list->x + 0.5f * list->w, cy = list->y + 0.4f * list->h;
    library_draw_glyph(c, cx, cy - 30.0f, 36.0f, k[5]);
    const char* title = lib->count == 0 ? "NO ITEMS YET" : "NOTHING MATCHES";
    canvas_draw_pixel_text(c, title, cx, cy + 4.0f, 2.0f, k[4], 1);
    const char* hint = lib->count > 0 ? "Clear the filter, or pick another source." : library_cloud_hint(cloud);
    if (tr) {
        text_draw(tr, c, 3, hint, cx, cy + 26.0f, 13.0f, 400, k[5], 1);
    } else {
        canvas_draw_pixel_text(c, lib->count > 0 ? "CLEAR THE FILTER, OR PICK ANOTHER SOURCE." : "DROP AUDIO FILES HERE",
                               cx, cy + 28.0f, 1.0f, k[5], 1);
    }
}

static void draw_browse(Canvas* c, TextRenderer* tr, Library* lib, const CanvasRect* body)
{
    LibraryViewUi* ui = lib->ui;
    CanvasRect tree_rect = *body;
    if (lib->favourites && ui->favourites_visible) {
        float fw = std::fmin(0.4f * body->w, 176.0f);
        CanvasRect fav{body->x, body->y, fw, body->h};
        favpanel_set_current(lib->favourites, foldertree_root(lib->tree));
        favpanel_draw(c, tr, lib->favourites, &fav, nullptr);
        tree_rect.x += fw;
        tree_rect.w -= fw;
    }
    // The tree marks the player's take when it changes; between changes the mark is
    // left to whoever set it (a take being decoded into the loop, an open menu).
    if (std::strcmp(ui->highlight_seen, lib->loaded_path) != 0) {
        std::memcpy(ui->highlight_seen, lib->loaded_path, sizeof ui->highlight_seen);
        foldertree_set_highlight(lib->tree, lib->loaded_path);
    }
    foldertree_set_reduced_motion(lib->tree, lib->reduced_motion);
    foldertree_draw(c, tr, lib->tree, &tree_rect, nullptr, lib->dt);
}

static void step_openness(Library* lib)
{
    LibraryViewUi* ui = lib->ui;
    float target = lib->take_panel_mode == 1 && library_loaded_item(lib) ? 1.0f : 0.0f;
    ui->openness = lib->reduced_motion ? target : spring_ease(ui->openness, target, 14.0f, lib->dt);
    if (ui->openness < 0.003f)
        ui->openness = 0.0f;
}

static double wall_clock_ms(void)
{
    return plat_wall_ms();
}

void library_draw(Canvas* c, TextRenderer* tr, Library* lib, const CanvasRect* r, const float (*colours)[4],
                  void* cloud, double perf_seconds)
{
    if (!c || !lib || !lib->ui || !r)
        return;
    LibraryViewUi* ui = lib->ui;
    if (colours)
        std::memcpy(ui->colours, colours, sizeof ui->colours);
    ui->rect = *r;
    ui->now = perf_seconds;
    const float(*k)[4] = ui->colours;
    if (lib->dirty)
        library_rebuild_view(lib);
    // On BROWSE the tree and the favourites cover the body: only the header is filled.
    bool browse = !lib->player_only && lib->state.source == LIBRARY_SOURCE_BROWSE && lib->tree;
    canvas_fill_rect(c, r->x, r->y, r->w, browse ? kHeader : r->h, k[0]);

    if (lib->player_only) {
        ui->openness = 1.0f;
        ui->take = *r;
        ui->list = CanvasRect{};
        if (library_loaded_item(lib) && !lib->loading)
            library_draw_take_view(c, tr, lib, r, perf_seconds);
        else
            canvas_draw_pixel_text(c, lib->loading ? "READING THE TAKE..." : "NO TAKE", r->x + 0.5f * r->w,
                                   r->y + 0.5f * r->h - 3.5f, 1.0f, k[5], 1);
        popup_menu_draw(c, tr, &ui->menu, r, perf_seconds, lib->dt, lib->reduced_motion);
        return;
    }
    lv_hit(c, r->x, r->y, r->w, r->h, ui->filter_focused ? 4 : 2);
    draw_header(c, tr, lib, r, cloud, perf_seconds);
    if (ui->filter.w > 0.0f)
        lv_hit(c, ui->filter.x, ui->filter.y, ui->filter.w, ui->filter.h, 4);
    step_openness(lib);
    float take_h = (kTakeHeight + (lib->tempo_row ? TAKE_TEMPO_ROW_HEIGHT : 0.0f)) * ui->openness;
    ui->take = CanvasRect{r->x, r->y + r->h - take_h, r->w, take_h};
    float body_top = r->y + kHeader;
    float body_h = std::fmax(40.0f, r->h - kHeader - take_h);

    if (lib->state.source == LIBRARY_SOURCE_BROWSE && lib->tree) {
        ui->list = CanvasRect{};
        CanvasRect body{r->x, body_top, r->w, body_h};
        draw_browse(c, tr, lib, &body);
    } else {
        float lw = r->w - 28.0f;
        lw = lw < 120.0f ? 120.0f : lw > 760.0f ? 760.0f : lw;
        float ltop = body_top + 8.0f;
        float lh = std::fmax(40.0f, r->y + r->h - take_h - ltop);
        ui->list = CanvasRect{r->x + 0.5f * (r->w - lw), ltop, lw, lh};
        float content = LIBRARY_CARD_STEP * (float)lib->view_count - 14.0f + 16.0f;
        float max = std::fmax(0.0f, content - lh);
        lib->scroll_target = std::fmin(std::fmax(lib->scroll_target, 0.0f), max);
        lib->state.scroll = std::fmin(std::fmax(lib->state.scroll, 0.0f), max);
        if (lib->view_count == 0) {
            draw_empty(c, tr, lib, &ui->list, cloud);
        } else {
            CanvasRect saved;
            bool had = canvas_get_clip(c, &saved);
            canvas_set_clip(c, &ui->list);
            double wall = wall_clock_ms();
            for (int32_t pos = (int32_t)std::floor(lib->state.scroll / LIBRARY_CARD_STEP); pos < lib->view_count; pos++) {
                CanvasRect card;
                library_card_rect(lib, pos, &card);
                if (card.y >= ui->list.y + ui->list.h)
                    break;
                draw_card(c, tr, lib, pos, perf_seconds, wall);
            }
            canvas_set_clip(c, had ? &saved : nullptr);
            if (max > 0.5f) {
                float thumb = std::fmax(24.0f, lh * lh / content);
                float ty = ltop + (lib->state.scroll / max) * (lh - thumb);
                float ink[4];
                lv_alpha(k[4], 0.35f, ink);
                canvas_fill_rect(c, ui->list.x + ui->list.w + 5.0f, ty, 2.0f, thumb, ink);
            }
        }
    }
    if (ui->openness > 0.0f) {
        canvas_fill_rect(c, ui->take.x, ui->take.y, ui->take.w, ui->take.h, k[0]);
        library_draw_take_view(c, tr, lib, &ui->take, perf_seconds);
    }
    popup_menu_draw(c, tr, &ui->menu, r, perf_seconds, lib->dt, lib->reduced_motion);
}
