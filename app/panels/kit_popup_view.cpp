// kit_popup_view.cpp - drawing the training and version-notes popup: a dimmed window,
// a centred panel with the title, the edition label, the two tabs, the page's
// content (scrolled and clipped), the save warning and the buttons.
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/kit_popup.h"
#include "ui/keyboard_caps.h"
#include "ui/canvas.h"
#include "ui/text.h"
#include "ui/theme.h"
#include "ui/widget.h"

static const float kPanelMaxW = 560.0f;
static const float kPanelMaxH = 700.0f;
static const float kContentTop = 104.0f;     // below the title and the tabs
static const float kFooterH = 64.0f;
static const float kPad = 24.0f;

static const float kBright[4] = {0.95f, 0.95f, 0.95f, 1.0f};
static const float kMuted[4] = {0.58f, 0.58f, 0.58f, 1.0f};
static const float kTeal[4] = {46 / 255.0f, 199 / 255.0f, 184 / 255.0f, 1.0f};
static const float kMagenta[4] = {1.0f, 0.0f, 128 / 255.0f, 1.0f};
static const float kRed[4] = {235 / 255.0f, 66 / 255.0f, 77 / 255.0f, 1.0f};
static const float kPanel[4] = {23 / 255.0f, 29 / 255.0f, 29 / 255.0f, 1.0f};

// Lines of text wrapped to width: words split at spaces, a line break ends a line.
// A word is cut at 900 bytes and a line holds at most 1,023.
template <typename Emit>
static void kit_popup_wrap_text(TextRenderer* tr, Canvas* c, const char* text, float width, float size, Emit emit)
{
    char line[1024] = "";
    size_t len = 0;
    const char* p = text ? text : "";
    while (*p) {
        if (*p == '\n') {
            emit(line);
            line[0] = '\0';
            len = 0;
            p++;
            continue;
        }
        if (*p == ' ') {
            p++;
            continue;
        }
        size_t n = strcspn(p, " \n");
        size_t wn = std::min(n, (size_t)900);
        char candidate[1024];
        int cl = snprintf(candidate, sizeof candidate, "%s%s%.*s", line, len ? " " : "", (int)wn, p);
        float w = 0.0f, h = 0.0f;
        text_measure(tr, c, 0, candidate, size, 400, &w, &h);
        if (len && (w > width || cl >= (int)sizeof candidate)) {
            emit(line);
            snprintf(line, sizeof line, "%.*s", (int)wn, p);
        } else {
            snprintf(line, sizeof line, "%s", candidate);
        }
        len = strlen(line);
        p += n;
    }
    if (len)
        emit(line);
}

static CanvasRect kit_px(const CanvasRect& r, float s)
{
    return CanvasRect{r.x * s, r.y * s, r.w * s, r.h * s};
}

static bool kit_hit(const CanvasRect& r, float x, float y)
{
    return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
}

// A pill button; its rectangle is kept in window pixels for the events.
static void kit_popup_button(VividKitPopup* p, int32_t id, const CanvasRect& r, const char* label, bool selected,
                             float s, float dt, bool instant)
{
    CanvasRect px = kit_px(r, s);
    p->buttons[id] = px;
    bool hovered = kit_hit(px, p->mouse_x, p->mouse_y);
    bool pressed = p->pressed_button == id && hovered;
    widget_draw_pill(p->canvas, &p->widgets, widget_id(label, (uint32_t)id), &r, label, selected ? 1 : 0, nullptr,
                     hovered ? 1 : 0, pressed ? 1 : 0, 0, dt, instant ? 1 : 0);
}

// The content of the TRAINING page from y (already scrolled); returns its height.
static float kit_popup_training(VividKitPopup* p, const KeyCapPalette* pal, float x, float y, float w, double t)
{
    Canvas* c = p->canvas;
    TextRenderer* tr = p->text;
    float y0 = y;
    int32_t total = kit_training_step_count(&p->training);
    if (total == 0) {
        text_draw(tr, c, 0, "No training steps in this build yet. You are excused from class.", x, y, 14.0f, 400,
                  kMuted, 0);
        return 24.0f;
    }
    char line[128];
    snprintf(line, sizeof line, "%d / %d discovered. No homework. No gold stars required.",
             (int)p->training.done.count, (int)total);
    text_draw(tr, c, 0, line, x, y, 13.0f, 400, kMuted, 0);
    y += 30.0f;
    for (int32_t ci = 0; ci < p->info.course_count; ci++) {
        const TrainingCourse& course = p->info.courses[ci];
        text_draw(tr, c, 0, course.title, x, y, 12.0f, 700, kTeal, 0);
        y += 24.0f;
        for (int32_t i = 0; i < course.step_count; i++) {
            const TrainingStep& step = course.steps[i];
            bool done = kit_training_is_done(&p->training, step.id);
            bool unseen = kit_training_is_unseen(&p->training, step.id);
            bool just = strcmp(p->marked_last, step.id) == 0 && t - p->marked_at < 0.6;
            const float row[4] = {1.0f, 1.0f, 1.0f, done ? 0.05f : 0.025f};
            canvas_fill_rect(c, x, y, w, 62.0f, row);
            // The mark: an empty box, a filled one when done, a magenta dot while unseen,
            // and a short flash just after it was marked seen.
            float mx = x + 12.0f, my = y + 14.0f;
            canvas_stroke_rect(c, mx, my, 14.0f, 14.0f, 1.0f, done ? kTeal : kMuted);
            if (done)
                canvas_fill_rect(c, mx + 3.0f, my + 3.0f, 8.0f, 8.0f, kTeal);
            if (unseen)
                canvas_fill_rect(c, mx + 18.0f, my - 2.0f, 4.0f, 4.0f, kMagenta);
            if (just) {
                float f = 1.0f - (float)((t - p->marked_at) / 0.6);
                float glow[4] = {kTeal[0], kTeal[1], kTeal[2], 0.35f * f};
                float grow = 6.0f * (1.0f - f);
                canvas_fill_rect(c, mx - grow, my - grow, 14.0f + 2 * grow, 14.0f + 2 * grow, glow);
            }
            float capw = keyboard_keycaps_width(c, tr, 19.0f, step.keys);
            keyboard_draw_keycap_lit(c, tr, pal, x + w - 12.0f - capw, y + 12.0f, 19.0f, step.keys, 1.0f, done);
            text_draw_fit(tr, c, 0, step.title, x + 40.0f, y + 10.0f, w - 64.0f - capw, 15.0f, 700,
                          done ? kBright : kMuted);
            text_draw_fit(tr, c, 0, step.text, x + 40.0f, y + 34.0f, w - 52.0f, 12.0f, 400, kMuted);
            y += 70.0f;
        }
        y += 10.0f;
    }
    return y - y0;
}

// The content of the VERSION NOTES page; returns its height.
static float kit_popup_notes(VividKitPopup* p, float x, float y, float w)
{
    Canvas* c = p->canvas;
    TextRenderer* tr = p->text;
    if (p->note < 0 || p->note >= p->info.note_count) {
        text_draw(tr, c, 0, "No version notes in this build yet.", x, y, 14.0f, 400, kMuted, 0);
        return 24.0f;
    }
    const VersionNote& n = p->info.notes[p->note];
    float y0 = y;
    char head[96];
    snprintf(head, sizeof head, "%s   %s", n.version, n.date);
    text_draw(tr, c, 0, head, x, y, 13.0f, 700, kTeal, 0);
    y += 26.0f;
    kit_popup_wrap_text(tr, c, n.headline, w, 20.0f, [&](const char* line) {
        text_draw(tr, c, 3, line, x, y, 20.0f, 700, kBright, 0);
        y += 28.0f;
    });
    y += 8.0f;
    for (int32_t i = 0; i < n.line_count; i++) {
        kit_popup_wrap_text(tr, c, n.lines[i], w - 14.0f, 14.0f, [&](const char* line) {
            text_draw(tr, c, 0, line, x + 14.0f, y, 14.0f, 400, kBright, 0);
            y += 20.0f;
        });
        y += 8.0f;
    }
    if (n.link && n.link[0]) {
        text_draw(tr, c, 0, "U: OPEN LINK   C: COPY LINK", x, y + 4.0f, 11.0f, 700, kMuted, 0);
        y += 24.0f;
    }
    return y - y0;
}

static bool kit_popup_ensure_drawing(VividKitPopup* p, SDL_Renderer* renderer)
{
    if (p->renderer != renderer) {
        text_renderer_destroy(p->text);
        canvas_destroy(p->canvas);
        p->text = nullptr;
        p->canvas = nullptr;
        p->renderer = renderer;
    }
    if (!p->canvas)
        p->canvas = canvas_create(renderer);
    if (p->canvas && !p->text)
        p->text = text_renderer_create(renderer);
    if (SDL_Window* win = SDL_RenderGetWindow(renderer))
        p->window_id = SDL_GetWindowID(win);
    return p->canvas && p->text;
}

void kit_popup_draw(VividKitPopup* p, SDL_Renderer* renderer, int32_t width, int32_t height, float scale,
                    float mouse_x, float mouse_y, double t, float dt, bool reduced_motion)
{
    if (!p || !renderer)
        return;
    float alpha = 1.0f, dy = 0.0f;
    if (!p->open) {
        for (CanvasRect& r : p->buttons)
            r = CanvasRect{};
        if (reduced_motion || t - p->closed_at >= 0.16)
            return;
        float k = (float)((t - p->closed_at) / 0.16);
        alpha = 1.0f - k * k;
    }
    for (CanvasRect& r : p->buttons)
        r = CanvasRect{};
    p->undrawable = 1;
    if (!kit_popup_ensure_drawing(p, renderer))
        return;
    if (p->open && p->shown_at < 0.0)
        p->shown_at = t;
    if (p->open && !reduced_motion) {
        float k = (float)std::clamp((t - p->shown_at) / 0.22, 0.0, 1.0);
        float e = 1.0f - (1.0f - k) * (1.0f - k) * (1.0f - k);
        alpha = e;
        dy = 18.0f * (1.0f - e);
    }
    if (p->open && p->page == KIT_PAGE_TRAINING)
        kit_popup_mark_tick(p, t);
    p->mouse_x = mouse_x;
    p->mouse_y = mouse_y;
    float s = scale > 0.0f ? scale : 1.0f;
    float w = (float)width / s, h = (float)height / s;
    float pw = std::min(w - 48.0f, kPanelMaxW), ph = std::min(h - 64.0f, kPanelMaxH);
    if (pw < 200.0f || ph < 240.0f)
        return;
    p->undrawable = 0;
    float px = (w - pw) / 2.0f, py = (h - ph) / 2.0f + dy;
    p->panel = kit_px(CanvasRect{px, py, pw, ph}, s);
    bool instant = reduced_motion;
    KeyCapPalette pal;
    keyboard_palette_init(&pal);

    Canvas* c = p->canvas;
    TextRenderer* tr = p->text;
    widget_frame(&p->widgets);
    canvas_begin(c, 0.0f, 0.0f, s);
    const float shade[4] = {0.0f, 0.0f, 0.0f, 0.6f * alpha};
    canvas_fill_rect(c, 0.0f, 0.0f, w, h, shade);
    canvas_set_alpha(c, alpha);
    canvas_fill_rect(c, px, py, pw, ph, kPanel);
    canvas_fill_rect(c, px, py, pw, 3.0f, kMagenta);
    canvas_stroke_rect(c, px, py, pw, ph, 1.0f, theme_palette()->colours[THEME_SURFACE]);

    // Title and edition label.
    float tw = text_draw(tr, c, 3, p->info.title ? p->info.title : "", px + kPad, py + 18.0f, 24.0f, 700, kBright, 0);
    float lw = 0.0f, lh = 0.0f;
    text_measure(tr, c, 0, "VIVID", 10.0f, 700, &lw, &lh);
    float lx = px + kPad + tw + 12.0f;
    canvas_fill_rect(c, lx, py + 24.0f, lw + 12.0f, 16.0f, kMagenta);
    text_draw(tr, c, 0, "VIVID", lx + 6.0f, py + 25.0f, 10.0f, 700, kBright, 0);

    // Tabs.
    bool training = p->page == KIT_PAGE_TRAINING;
    kit_popup_button(p, KIT_BUTTON_TAB_TRAINING, CanvasRect{px + kPad, py + 60.0f, 120.0f, 28.0f}, "TRAINING",
                     training, s, dt, instant);
    kit_popup_button(p, KIT_BUTTON_TAB_NOTES, CanvasRect{px + kPad + 130.0f, py + 60.0f, 150.0f, 28.0f},
                     "VERSION NOTES", !training, s, dt, instant);

    // The page, scrolled within its clip.
    float cx = px + kPad, cw = pw - 2.0f * kPad;
    float top = py + kContentTop, bottom = py + ph - kFooterH - (p->save_failed ? 22.0f : 0.0f);
    p->visible_height = (bottom - top) * s;
    CanvasRect clip{px, top, pw, bottom - top};
    canvas_set_clip(c, &clip);
    float content = training ? kit_popup_training(p, &pal, cx, top - p->scroll / s, cw, t)
                             : kit_popup_notes(p, cx, top - p->scroll / s, cw);
    canvas_set_clip(c, nullptr);
    p->content_height = content * s;
    p->scroll = std::clamp(p->scroll, 0.0f, std::max(0.0f, p->content_height - p->visible_height));

    if (p->save_failed)
        text_draw(tr, c, 0, "Could not save. Try again.", cx, bottom + 2.0f, 13.0f, 700, kRed, 0);

    // Buttons.
    float by = py + ph - kFooterH + 16.0f;
    for (int32_t id : {KIT_BUTTON_RESET, KIT_BUTTON_OLDER, KIT_BUTTON_NEWER})
        p->buttons[id] = CanvasRect{};
    if (training) {
        const char* label = p->reset_armed ? "RESET? CLICK AGAIN / ENTER" : "RESET ALL TRAINING";
        kit_popup_button(p, KIT_BUTTON_RESET, CanvasRect{px + kPad, by, 230.0f, 32.0f}, label, p->reset_armed, s,
                         dt, instant);
    } else {
        kit_popup_button(p, KIT_BUTTON_OLDER, CanvasRect{px + kPad, by, 90.0f, 32.0f}, "OLDER", false, s, dt,
                         instant);
        kit_popup_button(p, KIT_BUTTON_NEWER, CanvasRect{px + kPad + 100.0f, by, 90.0f, 32.0f}, "NEWER", false, s,
                         dt, instant);
    }
    kit_popup_button(p, KIT_BUTTON_GOT_IT, CanvasRect{px + pw - kPad - 110.0f, by, 110.0f, 32.0f}, "GOT IT", true,
                     s, dt, instant);
    if (!p->open)
        for (CanvasRect& r : p->buttons)
            r = CanvasRect{};
    canvas_set_alpha(c, 1.0f);
    canvas_end(c);
    text_renderer_trim(tr);
}
