// inputs_panel_draw.cpp - what the inputs panel draws each frame: the dissolving body
// and header layers, scene buttons, rows with faders and meters, the master strip,
// the header text and the status line.
#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "rig/rigmix.h"
#include "rig/views/inputs_panel_internal.h"
#include "ui/canvas.h"
#include "ui/dither.h"
#include "ui/hitregion.h"
#include "ui/text.h"

static const double kPi = 3.14159265358979323846;
static const char* const kDefaultGlyphs[4] = {"\xE2\x99\x97", "\xE2\x9D\xA6", "\xE2\x99\xA8", "\xE2\x98\xAF"};

static void with_alpha(const float* c, float a, float* out)
{
    out[0] = c[0];
    out[1] = c[1];
    out[2] = c[2];
    out[3] = c[3] * a;
}

// Draws text with its ink centred on (cx, cy).
static void ink_centred(InputsPanel* p, const char* text, float cx, float cy, float size, const float* colour)
{
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (!text_ink_bounds(p->text, p->canvas, 0, text, size, 400, &x0, &y0, &x1, &y1))
        return;
    text_draw(p->text, p->canvas, 0, text, cx - (x0 + x1) / 2, cy - (y0 + y1) / 2, size, 400, colour, 0);
}

static void fader_bar(InputsPanel* p, float x, float y, float w, float level, float post, float peak, float knob,
                      bool muted, bool dragged, bool knob_on)
{
    Canvas* c = p->canvas;
    float col[4];
    float track[4] = {p->pal[1][0] * 0.65f, p->pal[1][1] * 0.65f, p->pal[1][2] * 0.65f, p->pal[1][3]};
    canvas_fill_rect(c, x, y, w, 12, track);
    with_alpha(p->pal[5], 0.28f, col);
    canvas_fill_rect(c, x, y, w * level, 12, col);
    float op = c->level.opacity;
    if (muted)
        canvas_set_alpha(c, op * 0.45f);
    with_alpha(p->pal[10], 0.06f, col);
    canvas_fill_rect(c, x + w * 0.75f, y, w * 0.25f, 12, col);
    with_alpha(p->pal[5], 0.9f, col);
    canvas_fill_rect(c, x, y + 3, w * post, 6, col);
    if (peak > 0.001f)
        canvas_fill_rect(c, x + w * peak - 1, y, 2, 12, p->pal[5]);
    with_alpha(p->pal[4], 0.6f, col);
    canvas_fill_rect(c, x + w * 0.75f, y - 2, 1, 16, col);
    if (knob_on)
        canvas_fill_rect(c, x + w * knob - 2, y - 4, 4, 20, dragged ? p->pal[5] : p->pal[3]);
    canvas_set_alpha(c, op);
}

static bool wheel_ring(const InputsPanel* p, int kind)
{
    return p->hovering && p->hover_kind == kind && ip_editable(p) && p->now >= p->scroll_hold &&
           (p->max_scroll <= 0.5f || p->now - p->hover_time >= 0.25);
}

void ip_draw_rows(InputsPanel* p, int from_input, int to_input)
{
    Canvas* c = p->canvas;
    const RigScene* sc = ip_scene(p);
    if (!sc)
        return;
    float w = p->w;
    int n = ip_opened(p);
    for (int r = 0; r < p->row_count; r++) {
        const IpRow& row = p->rows[r];
        int i = row.input;
        if (i < from_input || i >= to_input)
            continue;
        if (row.top + row.height < p->list_y - 34 || row.top > p->list_y + p->list_h + 34)
            continue;
        float y = row.top;
        const RigInput& in = sc->inputs[i];
        bool pair = p->linked[i];
        float op = c->level.opacity;
        canvas_set_alpha(c, op * row.weight);
        bool hovered = p->hovering && p->hover_index == i && p->hover_kind >= IPH_ROW && p->hover_kind <= IPH_LAMP;
        if (hovered || p->selected == i)
            canvas_fill_rect(c, 16, y, w - 32, 32, p->pal[2]);
        if (p->selected == i)
            canvas_fill_rect(c, 16, y, 2, 32, p->pal[3]);
        char num[16];
        if (pair) {
            snprintf(num, sizeof num, "%d", i + 1);
            canvas_draw_pixel_text(c, num, 48, y + 6, 1.0f, p->pal[4], 2);
            snprintf(num, sizeof num, "%d", i + 2);
            canvas_draw_pixel_text(c, num, 48, y + 17, 1.0f, p->pal[4], 2);
        } else {
            snprintf(num, sizeof num, "%d", i + 1);
            canvas_draw_pixel_text(c, num, 48, y + 12, 1.0f, p->pal[4], 2);
        }
        // Mute toggle, pulsing while the muted input carries signal.
        float mcol[4];
        with_alpha(in.muted ? p->pal[4] : p->pal[3], 1.0f, mcol);
        if (in.muted && p->view.hot_input == i && !p->reduced_motion)
            mcol[3] *= 0.6f + 0.4f * (float)std::sin(2 * kPi * p->now / 0.9);
        float ms = 14.0f * p->anim[i].mute_spring.value;
        ink_centred(p, in.muted ? "\xE2\x97\x8C" : "\xE2\x97\x89", 70, y + 16, ms, mcol);
        // Fader with its meter.
        float level = p->meters.level[i], post = p->meters.post[i], peak = p->meters.peak[i];
        if (pair && i + 1 < RIG_MAX_INPUTS) {
            level = std::fmax(level, p->meters.level[i + 1]);
            post = std::fmax(post, p->meters.post[i + 1]);
            peak = std::fmax(peak, p->meters.peak[i + 1]);
        }
        float fw = p->fader1 - p->fader0;
        fader_bar(p, p->fader0, y + 10, fw, level, post, peak, ip_fader_shown(p, i), in.muted,
                  p->drag_kind == 2 && p->drag_input == i, true);
        if (wheel_ring(p, IPH_FADER) && p->hover_index == i)
            canvas_stroke_rect(c, p->fader0 - 3, y + 4, fw + 6, 24, 1, p->pal[4]);
        // Pan.
        float cx = (p->pan0 + p->pan1) / 2;
        float mop = c->level.opacity;
        if (in.muted)
            canvas_set_alpha(c, mop * 0.45f);
        canvas_fill_rect(c, cx - 22, y + 15, 44, 2, p->pal[1]);
        canvas_fill_rect(c, cx - 0.5f, y + 11, 1, 10, p->pal[4]);
        canvas_fill_diamond(c, cx + 20 * ip_pan_shown(p, i), y + 16, 4, 5, p->pal[3]);
        canvas_set_alpha(c, mop);
        if (wheel_ring(p, IPH_PAN) && p->hover_index == i)
            canvas_stroke_rect(c, p->pan0, y + 4, p->pan1 - p->pan0, 24, 1, p->pal[4]);
        if (p->can_link[i])
            ink_centred(p, "\xE2\x99\xAB", (p->link0 + p->link1) / 2, y + 16, 12, pair ? p->pal[8] : p->pal[4]);
        if (p->meters.clip[i] || p->meters.bad[i] || (pair && (p->meters.clip[i + 1] || p->meters.bad[i + 1])))
            ink_centred(p, "\xE2\x96\xB2", p->lamp0 + 8, y + 16, 11 * p->anim[i].lamp_spring.value, p->pal[10]);
        canvas_set_alpha(c, op);
        (void)n;
    }
}

static void draw_master(InputsPanel* p)
{
    Canvas* c = p->canvas;
    float y = p->master_y;
    float w = p->w;
    canvas_fill_rect(c, 8, y, w - 16, 52, p->pal[2]);
    const RigScene* sc = ip_scene(p);
    int n = ip_opened(p);
    ink_centred(p, "\xE2\x9B\x81", 34, y + 26, 16, p->pal[3]);
    if (n > 0 && p->view.state != RIG_STATE_NONE) {
        bool all_muted = p->doc && p->view.no_live_input;
        if (all_muted) {
            ink_centred(p, "\xE2\x97\x8C", 60, y + 26, 14, p->pal[9]);
        } else {
            char num[16];
            snprintf(num, sizeof num, "%d", p->doc ? p->view.live_count : n);
            canvas_draw_pixel_text(c, num, 52, y + 22, 1.0f, p->pal[4], 0);
        }
    }
    float x0 = p->master0, bw = p->master1 - p->master0;
    for (int ch = 0; ch < 2; ch++) {
        float by = y + 12 + 16 * ch;
        float track[4] = {p->pal[1][0] * 0.65f, p->pal[1][1] * 0.65f, p->pal[1][2] * 0.65f, p->pal[1][3]};
        canvas_fill_rect(c, x0, by, bw, 8, track);
        canvas_fill_rect(c, x0, by + 1, bw * p->meters.bus[ch], 6, p->pal[5]);
        if (p->meters.bus[2 + ch] > 0.001f)
            canvas_fill_rect(c, x0 + bw * p->meters.bus[2 + ch] - 1, by, 2, 8, p->pal[5]);
        float col[4];
        with_alpha(p->pal[4], 0.6f, col);
        canvas_fill_rect(c, x0 + bw * 0.75f, by - 1, 1, 10, col);
    }
    if (sc)
        canvas_fill_rect(c, x0 + bw * ip_master_shown(p) - 2, y + 9, 4, 30, p->drag_kind == 4 ? p->pal[5] : p->pal[3]);
    if (wheel_ring(p, IPH_MASTER_FADER))
        canvas_stroke_rect(c, x0 - 3, y + 6, bw + 6, 36, 1, p->pal[4]);
    if (p->meters.bus_clip)
        ink_centred(p, "\xE2\x96\xB2", w - 46, y + 26, 11 * p->bus_spring.value, p->pal[10]);
}

// The header's glyphs: they belong to the body layer, so they dissolve with the body.
// While the rig loads with a save pending or on a fallback mix, "⏏" blinks by a clip
// one glyph wide sweeping across it every 0.9 s: it comes in from the left, stands
// whole at mid-period and leaves to the right.
static void draw_header_glyphs(InputsPanel* p)
{
    Canvas* c = p->canvas;
    float w = p->w;
    bool blink = p->view.state == RIG_STATE_LOADING && (p->view.store_busy || p->view.fallback) && !p->reduced_motion;
    float x0 = 0, x1 = 0;
    if (blink && text_ink_bounds(p->text, c, 0, "\xE2\x8F\x8F", 14, 400, &x0, nullptr, &x1, nullptr)) {
        float iw = x1 - x0;
        double phase = std::fmod(p->now, 0.9) / 0.9;
        if (phase < 0)
            phase += 1;
        CanvasRect sweep{219 - 1.5f * iw + 2 * iw * (float)phase, 24 - 16, iw, 32};
        canvas_set_clip(c, &sweep);
        ink_centred(p, "\xE2\x8F\x8F", 219, 24, 14, p->pal[4]);
        canvas_set_clip(c, nullptr);
    } else {
        ink_centred(p, "\xE2\x8F\x8F", 219, 24, 14, p->pal[4]);
    }
    bool hc = p->hovering && p->hover_kind == IPH_CLOSE;
    ink_centred(p, "\xC3\x97", w - 26, 26, 16, hc ? p->pal[3] : p->pal[4]);
    if (p->option) {
        bool ho = p->hovering && p->hover_kind == IPH_OPTION;
        ink_centred(p, "\xE2\x86\x97", w - 58, 26, 14, ho ? p->pal[3] : p->pal[4]);
    }
}

void ip_draw_body(InputsPanel* p)
{
    Canvas* c = p->canvas;
    float w = p->w, h = p->h;
    canvas_fill_rect(c, 0, 0, w, h, p->pal[0]);
    // Scene buttons.
    const RigDocument* doc = ip_rows_doc(p);
    bool shift = (SDL_GetModState() & KMOD_SHIFT) && (p->hovering || (p->focus_mask & 1)) && p->doc;
    if (p->doc || p->view.state != RIG_STATE_NONE)
        canvas_fill_rect(c, p->scene_spring.value, 4, 44, 44, p->pal[3]);
    for (int i = 0; i < 4; i++) {
        float bx = 12.0f + 48.0f * i;
        bool covered = std::fabs(p->scene_spring.value - bx) < 22.0f && (p->doc || p->view.state != RIG_STATE_NONE);
        if (!covered && p->hovering && p->hover_kind == IPH_SCENE && p->hover_index == i)
            canvas_fill_rect(c, bx, 4, 44, 44, p->pal[2]);
        const char* glyph = doc && doc->scenes[i].glyph[0] ? doc->scenes[i].glyph : kDefaultGlyphs[i];
        if (shift && i != p->view.active_scene)
            glyph = "\xE2\x86\x92";
        const float* gc = covered ? p->pal[0] : p->pal[7];
        const float* nc = covered ? p->pal[0] : (p->focus && (p->focus_mask & 1)) ? p->pal[8] : p->pal[3];
        ink_centred(p, glyph, bx + 22, 18, 18, gc);
        char num[16];
        snprintf(num, sizeof num, "%d", i + 1);
        canvas_draw_pixel_text(c, num, bx + 22, 30, 1.0f, nc, 1);
    }
    draw_header_glyphs(p);
    // The list.
    CanvasRect clip{8, p->list_y, w - 16, p->list_h};
    float list_bg[4] = {p->pal[1][0], p->pal[1][1], p->pal[1][2], p->pal[1][3] * 0.5f};
    canvas_fill_rect(c, 8, p->list_y, w - 16, p->list_h, list_bg);
    canvas_set_clip(c, &clip);
    float op = c->level.opacity;
    if (p->view.state == RIG_STATE_LOADING || p->view.fallback)
        canvas_set_alpha(c, op * 0.5f);
    bool growing = p->grow_time > 0 && p->now - p->grow_time < 0.36 && !p->reduced_motion;
    int split = growing ? p->grow_from : RIG_MAX_INPUTS;
    ip_draw_rows(p, 0, split);
    if (growing) {
        float sc = p->scale;
        int tw = (int)std::ceil(w * sc), th = (int)std::ceil(p->h * sc);
        if (canvas_target_ensure(c, &p->row_layer, tw, th) == 0) {
            static const float clear[4] = {0, 0, 0, 0};
            canvas_push_target(c, &p->row_layer, clear);
            ip_draw_rows(p, split, RIG_MAX_INPUTS);
            canvas_pop_target(c);
            canvas_dissolve_target(c, &p->row_layer, dither_step_at(p->now - p->grow_time), 2.0f);
            canvas_draw_target(c, &p->row_layer, 0, 0);
        } else {
            ip_draw_rows(p, split, RIG_MAX_INPUTS);
        }
    }
    canvas_set_alpha(c, op);
    canvas_set_clip(c, nullptr);
    if (p->max_scroll > 0.0f) {
        float thumb = p->list_h * p->list_h / (p->content_h > 1 ? p->content_h : 1);
        if (thumb < 12)
            thumb = 12;
        float top = p->list_y + p->scroll / p->max_scroll * (p->list_h - thumb);
        canvas_fill_rect(c, w - 8 - 3 - 2, top, 2, thumb, p->pal[4]);
    }
    draw_master(p);
    if (p->focus && p->focus_mask)
        canvas_stroke_rect(c, 0, 0, w, h, 1, p->pal[8]);
}

static void header_line(const InputsPanel* p, char* out, int size)
{
    const RigInputView& v = p->view;
    char api[24];
    if (strcmp(v.api, "wdmks") == 0 || strcmp(v.api, "WDMKS") == 0)
        snprintf(api, sizeof api, "WDM-KS");
    else {
        int k = 0;
        for (; v.api[k] && k < 23; k++)
            api[k] = (char)(v.api[k] >= 'a' && v.api[k] <= 'z' ? v.api[k] - 32 : v.api[k]);
        api[k] = '\0';
    }
    char ins[32] = "", rate[32] = "";
    if (v.inputs_opened >= 1 && v.inputs_opened < v.inputs_on_device)
        snprintf(ins, sizeof ins, "%d/%d IN", v.inputs_opened, v.inputs_on_device);
    else if (v.inputs_opened >= 1)
        snprintf(ins, sizeof ins, "%d IN", v.inputs_opened);
    if (v.sample_rate > 0) {
        double k = v.sample_rate / 1000.0;
        if (std::fabs(k - std::round(k)) <= 0.01)
            snprintf(rate, sizeof rate, "%d KHZ", (int)std::round(k));
        else
            snprintf(rate, sizeof rate, "%.1f KHZ", k);
    }
    const char* parts[3] = {api, ins, rate};
    int o = 0;
    out[0] = '\0';
    for (const char* part : parts) {
        if (!part[0])
            continue;
        o += snprintf(out + o, (size_t)(size - o), o ? " \xC2\xB7 %s" : "%s", part);
        if (o >= size)
            break;
    }
}

static void fill_status(InputsPanel* p, InputsStatusInput* in)
{
    *in = InputsStatusInput{};
    in->view = p->view;
    in->doc = p->doc;
    in->now = p->now;
    in->drag_kind = p->drag_kind;
    in->drag_input = p->drag_input;
    in->hovering = p->hovering;
    in->hover_kind = p->hover_kind;
    in->hover_index = p->hover_index;
    in->narrow = p->narrow;
    memcpy(in->any_clip, p->meters.clip, sizeof in->any_clip);
    memcpy(in->any_bad, p->meters.bad, sizeof in->any_bad);
    in->bus_over = p->meters.bus_clip;
    in->label = [](void* ctx, int i) { return ip_label((InputsPanel*)ctx, i); };
    in->label_ctx = p;
}

void ip_draw_header(InputsPanel* p)
{
    Canvas* c = p->canvas;
    float w = p->w;
    float right = p->header_right - 8;
    const float* name_col = p->view.state != RIG_STATE_NONE ? p->pal[3] : p->pal[4];
    if (p->view.device_name[0])
        text_draw_fit(p->text, c, 0, p->view.device_name, 232, 10, right - 232, 10, 500, name_col);
    char line[160];
    header_line(p, line, sizeof line);
    if (line[0])
        text_draw_fit(p->text, c, 0, line, 232, 26, right - 232, 9, 400, p->pal[4]);
    // Status line.
    InputsStatusInput in;
    fill_status(p, &in);
    char text[400];
    int colour = inputs_status_line(&in, text, sizeof text);
    float sy = p->status_y, sh = p->h - p->status_y;
    bool saving = p->view.state == RIG_STATE_READY && p->view.save_pending;
    float limit = w - 16 - 8;
    if (colour >= 0 && saving && strstr(text, "SAVING") == nullptr) {
        ink_centred(p, "\xE2\x9C\xA6", w - 8 - 10, sy + 12, 12, p->pal[3]);
        limit -= 28;
    }
    if (colour >= 0) {
        float tw = 0, th = 0;
        text_measure(p->text, c, 0, text, 10, 500, &tw, &th);
        text_draw_fit(p->text, c, 0, text, 8 + 4, sy + (sh - th) / 2, limit, 10, 500, p->pal[colour]);
    }
}

static void draw_layer(InputsPanel* p, CanvasTarget* t, int level, void (*fn)(InputsPanel*))
{
    Canvas* c = p->canvas;
    float sc = p->scale;
    int tw = (int)std::ceil(p->w * sc), th = (int)std::ceil(p->h * sc);
    float px = p->frame_x + p->slide_x, py = p->frame_y + p->slide_y;
    if (level >= 12 || canvas_target_ensure(c, t, tw, th) != 0) {
        // Straight onto the screen (no layer, or nothing to dissolve).
        float ox = p->origin_x + px * sc, oy = p->origin_y + py * sc;
        canvas_begin(c, ox, oy, sc);
        fn(p);
        canvas_end(c);
        return;
    }
    static const float clear[4] = {0, 0, 0, 0};
    canvas_push_target(c, t, clear);
    fn(p);
    canvas_pop_target(c);
    canvas_dissolve_target(c, t, level, 2.0f);
    canvas_draw_target(c, t, px, py);
}

void inputs_panel_draw(InputsPanel* p, const InputsPanelFrame* f)
{
    if (!p || !f || !p->visible)
        return;
    p->now = f->time;
    p->reduced_motion = f->reduced_motion;
    p->focus_mask = f->focus_mask;
    p->focus = f->focus;
    float sc = f->scale > 0 ? f->scale : 1.0f;
    HitMap map = hitregion_map_canvas(f->origin_x, f->origin_y, sc);
    hitregion_add(&map, HitRect{f->x, f->y, f->w, f->h}, (uint32_t)inputs_panel_cursor_mode(p));
    if (p->closing && ip_level(p, 0.0) < 1) {
        p->visible = 0;
        p->open = 0;
        p->closing = 0;
        return;
    }
    ip_refresh(p);
    ip_read_meters(p);
    ip_update(p, f);
    ip_layout(p, f);
    if (p->mouse_x || p->mouse_y)
        if (!p->drag_kind) {
            int index = -1;
            float px, py;
            ip_to_panel(p, p->mouse_x, p->mouse_y, &px, &py);
            int kind = ip_hit(p, px, py, &index);
            if (kind != p->hover_kind || index != p->hover_index)
                p->hover_time = p->now;
            p->hover_kind = kind;
            p->hover_index = index;
            p->hovering = kind != IPH_OUTSIDE;
        }
    if (p->doc) {
        int n = ip_opened(p);
        if (p->selected >= n)
            p->selected = -1;
        const RigScene* s = ip_scene(p);
        if (p->selected > 0 && (p->selected & 1) && s && s->inputs[p->selected - 1].link)
            p->selected--;
    }
    // Both layers are drawn inside one canvas pass at the frame's origin and scale.
    canvas_begin(p->canvas, f->origin_x, f->origin_y, sc);
    draw_layer(p, &p->body, ip_level(p, 0.0), ip_draw_body);
    draw_layer(p, &p->header, ip_level(p, 0.07), ip_draw_header);
    canvas_end(p->canvas);
    text_renderer_trim(p->text);
}
