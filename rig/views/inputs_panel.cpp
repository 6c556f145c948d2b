// inputs_panel.cpp - the panel's life and its link to the rig: creation, the palette,
// opening and closing, scroll state, and every read and edit through the back-end or
// the rig session.
#include "rig/views/inputs_panel.h"

#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "rig/rigmix.h"
#include "rig/views/inputs_panel_internal.h"
#include "ui/canvas.h"
#include "ui/colour.h"
#include "ui/text.h"
#include "ui/theme.h"

static void set_colour(float* dst, const float* src, float alpha)
{
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
    dst[3] = alpha;
}

void inputs_panel_set_palette(InputsPanelPalette* out)
{
    if (!out)
        return;
    const ThemePalette* t = theme_palette();
    static const float white[4] = {1, 1, 1, 1};
    static const float gold[4] = {0.90f, 0.72f, 0.28f, 1.0f};
    set_colour(out->c[0], t->colours[1], 1.0f);
    set_colour(out->c[1], t->colours[0], 1.0f);
    set_colour(out->c[2], white, 0.06f);
    set_colour(out->c[3], t->colours[7], 1.0f);
    set_colour(out->c[4], t->colours[6], 1.0f);
    set_colour(out->c[5], t->colours[2], 1.0f);
    set_colour(out->c[6], t->colours[2], 1.0f);
    set_colour(out->c[7], t->colours[3], 0.95f);
    set_colour(out->c[8], gold, 1.0f);
    set_colour(out->c[9], t->colours[9], 1.0f);
    set_colour(out->c[10], t->colours[10], 1.0f);
}

static float rgb_distance(const float* a, const float* b)
{
    float r = a[0] - b[0], g = a[1] - b[1], bl = a[2] - b[2];
    return std::sqrt(r * r + g * g + bl * bl);
}

InputsPanel* inputs_panel_create(SDL_Renderer* renderer, RigSession* session, const InputsPanelPalette* palette)
{
    if (!renderer)
        return nullptr;
    InputsPanel* p = (InputsPanel*)calloc(1, sizeof(InputsPanel));
    if (!p)
        return nullptr;
    p->renderer = renderer;
    p->session = session;
    p->canvas = canvas_create(renderer);
    p->text = p->canvas ? text_renderer_create(renderer) : nullptr;
    if (!p->canvas || !p->text) {
        inputs_panel_destroy(p);
        return nullptr;
    }
    SDL_Window* win = SDL_RenderGetWindow(renderer);
    p->window_id = win ? SDL_GetWindowID(win) : 0;
    InputsPanelPalette pal;
    if (palette)
        pal = *palette;
    else
        inputs_panel_set_palette(&pal);
    memcpy(p->pal, pal.c, sizeof p->pal);
    const float* c5 = p->pal[5];
    bool keep = rgb_distance(c5, p->pal[9]) >= 0.12f && rgb_distance(c5, p->pal[10]) >= 0.12f &&
                rgb_distance(c5, p->pal[8]) >= 0.12f && colour_contrast(c5, p->pal[1]) >= 3.0f;
    if (!keep)
        memcpy(p->pal[5], p->pal[6], sizeof p->pal[5]);
    p->selected = -1;
    p->hover_kind = 0;
    p->hover_index = -1;
    p->drag_input = -1;
    spring_init(&p->list_spring, IP_MIN_LIST, 20.0f, 0.9f);
    spring_init(&p->scene_spring, 12.0f, 26.0f, 0.8f);
    spring_init(&p->bus_spring, 1.0f, 26.0f, 0.5f);
    for (IpAnim& a : p->anim) {
        spring_init(&a.mute_spring, 1.0f, 26.0f, 0.5f);
        spring_init(&a.lamp_spring, 1.0f, 26.0f, 0.5f);
        a.fresh = 1;
    }
    return p;
}

void inputs_panel_destroy(InputsPanel* p)
{
    if (!p)
        return;
    canvas_texture_free(&p->body);
    canvas_texture_free(&p->header);
    canvas_texture_free(&p->row_layer);
    rig_doc_free(p->device_doc);
    text_renderer_destroy(p->text);
    canvas_destroy(p->canvas);
    free(p);
}

void inputs_panel_set_backend(InputsPanel* p, const InputsPanelBackend* backend)
{
    if (p)
        p->backend = backend;
}

void inputs_panel_reset_textures(InputsPanel* p)
{
    if (!p)
        return;
    canvas_reset(p->canvas);
    text_renderer_clear(p->text);
}

// ---- The rig, through the back-end or the session ---------------------------------

void ip_refresh(InputsPanel* p)
{
    if (p->backend) {
        p->view = RigInputView{};
        p->view.hot_input = -1;
        if (p->backend->get_input_view)
            p->backend->get_input_view(p->backend->ctx, &p->view);
        p->doc = p->backend->get_document ? p->backend->get_document(p->backend->ctx) : nullptr;
    } else {
        rigsession_input_view(p->session, &p->view);
        p->doc = rigsession_current_doc(p->session);
    }
    if (p->view.hot_input < -1 || p->view.hot_input >= RIG_MAX_INPUTS)
        p->view.hot_input = -1;
    // Rows while loading: the opened device's own defaults.
    int n = ip_opened(p);
    if (!p->doc && p->view.state == RIG_STATE_LOADING && n > 0) {
        if (!p->device_doc || strcmp(p->device_doc_key, p->view.key) != 0 || p->device_doc_inputs != n) {
            if (!p->device_doc)
                p->device_doc = rig_doc_new();
            if (p->device_doc) {
                rig_doc_init_for_device(p->device_doc, p->view.key, p->view.api, p->view.device_name, n, nullptr, "",
                                        0.0);
                snprintf(p->device_doc_key, sizeof p->device_doc_key, "%s", p->view.key);
                p->device_doc_inputs = n;
            }
        }
    }
}

void ip_read_meters(InputsPanel* p)
{
    p->meters = RigMeterView{};
    if (p->backend) {
        if (p->backend->get_meter_view)
            p->backend->get_meter_view(p->backend->ctx, &p->meters);
    } else {
        rigsession_meter_view(p->session, &p->meters);
    }
}

// The document the rows show: the session's, or the device's defaults while loading.
const RigDocument* ip_rows_doc(const InputsPanel* p)
{
    if (p->doc)
        return p->doc;
    if (p->view.state == RIG_STATE_LOADING && p->device_doc && ip_opened(p) > 0)
        return p->device_doc;
    return nullptr;
}

const RigScene* ip_scene(const InputsPanel* p)
{
    const RigDocument* d = ip_rows_doc(p);
    if (!d)
        return nullptr;
    int sc = p->doc ? p->view.active_scene : 0;
    return &d->scenes[sc < 0 || sc > 3 ? 0 : sc];
}

int ip_opened(const InputsPanel* p)
{
    int n = p->view.inputs_opened;
    return n < 0 ? 0 : n > RIG_MAX_INPUTS ? RIG_MAX_INPUTS : n;
}

bool ip_editable(const InputsPanel* p)
{
    return p->view.state == RIG_STATE_READY && !p->view.fallback && p->doc;
}

const char* ip_label(InputsPanel* p, int input)
{
    const char* l = nullptr;
    if (p->backend)
        l = p->backend->get_input_label ? p->backend->get_input_label(p->backend->ctx, input) : nullptr;
    else
        l = rigsession_input_label(p->session, input);
    return l ? l : "";
}

void ip_send(InputsPanel* p, int kind, int index, int second, float value, bool flag, const char* text)
{
    if (p->backend) {
        if (p->backend->send) {
            InputsPanelCommand c{kind, index, second, value, (uint8_t)(flag ? 1 : 0), text};
            p->backend->send(p->backend->ctx, &c);
        }
    } else if (p->session) {
        RigSession* s = p->session;
        switch (kind) {
        case IPC_SET_GAIN: rigsession_set_input_gain(s, index, value); break;
        case IPC_NUDGE_GAIN: rigsession_nudge_input_gain(s, index, value); break;
        case IPC_SET_PAN: rigsession_set_pan(s, index, value); break;
        case IPC_SET_MUTED: rigsession_set_muted(s, index, flag); break;
        case IPC_SET_LINK: rigsession_set_link(s, index, flag); break;
        case IPC_SET_MASTER: rigsession_set_master_gain(s, value); break;
        case IPC_NUDGE_MASTER: rigsession_nudge_master_gain(s, value); break;
        case IPC_SWITCH_SCENE: rigsession_switch_scene(s, index); break;
        case IPC_COPY_SCENE: rigsession_copy_scene(s, index, second); break;
        case IPC_SET_GLYPH: rigsession_set_glyph(s, index, text); break;
        case IPC_SELECT_INPUT: rigsession_clear_latches(s, index); break;
        default: break;
        }
    }
    ip_refresh(p);
}

// ---- Opening, closing, state --------------------------------------------------------

void inputs_panel_open(InputsPanel* p, double now)
{
    if (!p || p->open)
        return;
    if (p->visible && p->closing) {
        double steps = 12.0 - std::floor((now - p->close_time) / 0.02);
        p->open_time = now - (steps > 0.0 ? steps : 0.0) * 0.03;
    } else {
        p->open_time = now;
        p->first_frame = 1;
    }
    p->open = 1;
    p->visible = 1;
    p->closing = 0;
}

static void end_drag(InputsPanel* p)
{
    if (p->drag_kind)
        SDL_CaptureMouse(SDL_FALSE);
    p->drag_kind = 0;
    p->drag_input = -1;
}

void inputs_panel_close(InputsPanel* p, double now)
{
    if (!p || !p->open)
        return;
    int level = ip_level(p, 0.0);
    p->open = 0;
    end_drag(p);
    p->hovering = 0;
    p->hover_kind = 0;
    p->hover_index = -1;
    if (p->reduced_motion) {
        p->visible = 0;
        p->closing = 0;
        return;
    }
    p->closing = 1;
    p->close_time = now - (12 - level) * 0.02;
}

bool inputs_panel_is_open(const InputsPanel* p)
{
    return p && p->open;
}

bool inputs_panel_is_dragging(const InputsPanel* p)
{
    return p && p->drag_kind != 0;
}

void inputs_panel_set_flag(InputsPanel* p, uint8_t flag)
{
    if (p)
        p->option = flag;
}

int inputs_panel_take_pending(InputsPanel* p)
{
    if (!p)
        return 0;
    int v = p->pending;
    p->pending = 0;
    return v;
}

void inputs_panel_get_scroll(const InputsPanel* p, InputsPanelScroll* out)
{
    if (!out)
        return;
    if (!p) {
        *out = InputsPanelScroll{0.0f, -1};
        return;
    }
    *out = InputsPanelScroll{p->scroll_target / IP_ROW, p->selected};
}

void inputs_panel_set_scroll(InputsPanel* p, const InputsPanelScroll* in)
{
    if (!p || !in)
        return;
    float v = std::isfinite(in->rows) && in->rows > 0.0f ? in->rows * IP_ROW : 0.0f;
    p->scroll = p->scroll_target = v;
    p->selected = in->selected >= 0 && in->selected < RIG_MAX_INPUTS ? in->selected : -1;
}

void inputs_panel_preferred_size(InputsPanel* p, float avail_w, float avail_h, float* w, float* h)
{
    float pw = avail_w < IP_WIDTH ? avail_w : IP_WIDTH;
    float list;
    if (p && p->remembered_key[0] && strcmp(p->remembered_key, p->view.key) == 0) {
        list = p->list_spring.value;
    } else {
        int n = p ? ip_opened(p) : 0;
        if (p && !p->remembered_key[0]) {
            RigInputView v;
            if (p->backend && p->backend->get_input_view)
                p->backend->get_input_view(p->backend->ctx, &v), n = v.inputs_opened;
            else if (!p->backend && p->session)
                rigsession_input_view(p->session, &v), n = v.inputs_opened;
        }
        n = n < 3 ? 3 : n > 12 ? 12 : n;
        list = (float)(n * IP_ROW - 2 + 8);
    }
    if (list < IP_MIN_LIST)
        list = IP_MIN_LIST;
    if (list + IP_BELOW_LIST > avail_h)
        list = avail_h - IP_BELOW_LIST > IP_MIN_LIST ? avail_h - IP_BELOW_LIST : IP_MIN_LIST;
    if (w)
        *w = pw;
    if (h)
        *h = list + IP_BELOW_LIST;
}

void inputs_panel_db_text(float gain, char* out, int size)
{
    if (!out || size < 1)
        return;
    float db = rig_gain_to_db(gain);
    if (!(gain > 0.0f) || !(db > -200.0f)) {
        snprintf(out, (size_t)size, "OFF");
        return;
    }
    double r = std::floor(db * 10.0 + 0.5) / 10.0;
    if (r < 0.0)
        snprintf(out, (size_t)size, "\xE2\x88\x92%.1f DB", -r);
    else if (r > 0.0)
        snprintf(out, (size_t)size, "+%.1f DB", r);
    else
        snprintf(out, (size_t)size, "0.0 DB");
}

int inputs_panel_cursor_mode(const InputsPanel* p)
{
    if (!p || !p->visible)
        return 0;
    if (p->drag_kind == 1)
        return 2;
    if (p->drag_kind)
        return 5;
    if (!p->hovering)
        return 0;
    switch (p->hover_kind) {
    case IPH_SCENE: case IPH_HEADER: case IPH_OPTION: case IPH_CLOSE: case IPH_MUTE: case IPH_LINK: case IPH_LAMP:
    case IPH_BUS_LAMP:
        return 2;
    case IPH_FADER: case IPH_PAN: case IPH_MASTER_FADER:
        return 5;
    default:
        return 0;
    }
}

bool inputs_panel_hit_test(const InputsPanel* p, float x, float y)
{
    if (!p || !p->visible || !p->open)
        return false;
    float px, py;
    ip_to_panel(p, x, y, &px, &py);
    return px >= 0 && py >= 0 && px < p->w && py < p->h;
}

int inputs_panel_hit_kind(InputsPanel* p, float x, float y, int* index)
{
    if (index)
        *index = -1;
    if (!p)
        return 0;
    float px, py;
    ip_to_panel(p, x, y, &px, &py);
    return ip_hit(p, px, py, index);
}
