// inputs_panel_layout.cpp - the per-frame update (list height, scene highlight, row
// weights, eased faders and pans, springs, scroll), the layout of rows and columns,
// the dissolve levels and the hit test.
#include <cmath>
#include <cstring>

#include "rig/rigmix.h"
#include "rig/views/inputs_panel_internal.h"
#include "ui/dither.h"

static float clampf(float v, float lo, float hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

int ip_level(const InputsPanel* p, double delay)
{
    if (p->reduced_motion)
        return 12;
    if (p->closing) {
        double v = 12.0 - std::floor((p->now - p->close_time + delay) / 0.02 + 1e-9);
        return (int)clampf((float)v, 0.0f, 12.0f);
    }
    return dither_step_at(p->now - p->open_time - delay);
}

void ip_to_panel(const InputsPanel* p, float wx, float wy, float* px, float* py)
{
    float sc = p->scale > 0 ? p->scale : 1.0f;
    *px = (wx - p->origin_x) / sc - p->frame_x - p->slide_x;
    *py = (wy - p->origin_y) / sc - p->frame_y - p->slide_y;
}

static void spring_to(Spring* s, float target, float dt)
{
    s->target = target;
    spring_step(s, dt);
}

static float ease(float from, float to, double at, double now, bool reduced)
{
    if (reduced || at <= 0.0)
        return to;
    double t = (now - at) / 0.12;
    if (t >= 1.0)
        return to;
    if (t < 0.0)
        t = 0.0;
    double k = 1.0 - (1.0 - t) * (1.0 - t) * (1.0 - t);
    return (float)(from + (to - from) * k);
}

float ip_fader_shown(const InputsPanel* p, int i)
{
    const IpAnim& a = p->anim[i];
    return ease(a.fader_from, a.fader_to, a.fader_at, p->now, p->reduced_motion);
}

float ip_pan_shown(const InputsPanel* p, int i)
{
    const IpAnim& a = p->anim[i];
    return ease(a.pan_from, a.pan_to, a.pan_at, p->now, p->reduced_motion);
}

float ip_master_shown(const InputsPanel* p)
{
    return ease(p->master_from, p->master_to, p->master_at, p->now, p->reduced_motion);
}

static void kick(Spring* s)
{
    s->value = 0.82f;
    s->velocity = 0.0f;
    s->target = 1.0f;
}

void ip_update(InputsPanel* p, const InputsPanelFrame* f)
{
    float dt = clampf(f->dt > 0 && f->dt < 1 ? f->dt : 1.0f / 60.0f, 0.0f, 0.033f);
    bool snap = p->first_frame || p->reduced_motion;
    int n = ip_opened(p);
    float list_target = (float)((n < 3 ? 3 : n > 12 ? 12 : n) * IP_ROW - 2 + 8);
    bool new_key = !p->remembered_key[0] || strcmp(p->remembered_key, p->view.key) != 0;
    if (new_key || snap) {
        if (new_key && p->remembered_key[0] && p->view.key[0]) {
            p->scroll = p->scroll_target = 0.0f;
            p->selected = -1;
        }
        p->list_spring.value = p->list_spring.target = list_target;
        p->list_spring.velocity = 0.0f;
        memcpy(p->remembered_key, p->view.key, sizeof p->remembered_key);
        for (IpAnim& a : p->anim)
            a.fresh = 1;
        p->grow_time = 0.0;
    } else {
        if (n > p->last_count && p->last_count > 0) {
            p->grow_time = p->now;
            p->grow_from = p->last_count;
        }
        spring_to(&p->list_spring, list_target, dt);
    }
    p->last_count = n;

    float scene_x = 12.0f + 48.0f * (p->view.active_scene >= 0 && p->view.active_scene <= 3 ? p->view.active_scene : 0);
    if (snap || !p->scene_spring_used) {
        p->scene_spring.value = p->scene_spring.target = scene_x;
        p->scene_spring.velocity = 0.0f;
        p->scene_spring_used = 1;
    } else {
        spring_to(&p->scene_spring, scene_x, dt);
    }

    const RigScene* sc = ip_scene(p);
    for (int i = 0; i < RIG_MAX_INPUTS; i++) {
        IpAnim& a = p->anim[i];
        bool folded = (i & 1) && sc && i - 1 >= 0 && i < n && sc->inputs[i - 1].link;
        float target = folded ? 0.0f : 1.0f;
        if (snap || a.fresh)
            a.weight = target;
        else if (a.weight < target)
            a.weight = clampf(a.weight + dt / 0.16f, 0.0f, target);
        else if (a.weight > target)
            a.weight = clampf(a.weight - dt / 0.16f, target, 1.0f);
        if (sc) {
            float fader = rig_gain_to_fader(sc->inputs[i].gain);
            float pan = sc->inputs[i].pan;
            if (fader != a.fader_to) {
                a.fader_from = a.gain_edited || a.fresh ? fader : ip_fader_shown(p, i);
                a.fader_at = a.gain_edited || a.fresh ? 0.0 : p->now;
                a.fader_to = fader;
            }
            if (pan != a.pan_to) {
                a.pan_from = a.pan_edited || a.fresh ? pan : ip_pan_shown(p, i);
                a.pan_at = a.pan_edited || a.fresh ? 0.0 : p->now;
                a.pan_to = pan;
            }
            uint8_t muted = sc->inputs[i].muted;
            if (muted != a.muted && !snap && !a.fresh)
                kick(&a.mute_spring);
            a.muted = muted;
        }
        uint8_t flagged = p->meters.clip[i] || p->meters.bad[i];
        if (flagged && !a.flagged && !snap && !a.fresh)
            kick(&a.lamp_spring);
        a.flagged = flagged;
        spring_step(&a.mute_spring, dt);
        spring_step(&a.lamp_spring, dt);
        a.gain_edited = a.pan_edited = 0;
        a.fresh = 0;
    }
    if (sc) {
        float m = rig_gain_to_fader(sc->master_gain);
        if (m != p->master_to) {
            p->master_from = p->master_edited || snap ? m : ip_master_shown(p);
            p->master_at = p->master_edited || snap ? 0.0 : p->now;
            p->master_to = m;
        }
    }
    p->master_edited = 0;
    if (p->meters.bus_clip && !p->bus_over && !snap)
        kick(&p->bus_spring);
    p->bus_over = p->meters.bus_clip;
    spring_step(&p->bus_spring, dt);

    if (p->reduced_motion) {
        p->scroll = p->scroll_target;
    } else {
        float k = 18.0f * dt > 1.0f ? 1.0f : 18.0f * dt;
        p->scroll += k * (p->scroll_target - p->scroll);
        if (std::fabs(p->scroll_target - p->scroll) < 0.05f)
            p->scroll = p->scroll_target;
    }
    p->first_frame = 0;
}

void ip_layout(InputsPanel* p, const InputsPanelFrame* f)
{
    p->frame_x = f->x;
    p->frame_y = f->y;
    p->origin_x = f->origin_x;
    p->origin_y = f->origin_y;
    p->scale = f->scale > 0 ? f->scale : 1.0f;
    p->w = f->w;
    p->h = f->h;
    float w = p->w;
    p->narrow = w < 400.0f;
    // Slide offset.
    float off = 0.0f;
    if (!p->reduced_motion && f->slide_edge != 4) {
        if (p->closing) {
            float t = clampf((float)((p->now - p->close_time) / 0.24), 0.0f, 1.0f);
            off = 8.0f * t * t * t;
        } else {
            float t = clampf((float)((p->now - p->open_time) / 0.36), 0.0f, 1.0f);
            off = 8.0f * (1 - t) * (1 - t) * (1 - t);
        }
    }
    p->slide_x = p->slide_y = 0.0f;
    switch (f->slide_edge) {
    case 0: p->slide_y = -off; break;
    case 1: p->slide_x = off; break;
    case 2: p->slide_y = off; break;
    case 3: p->slide_x = -off; break;
    default: break;
    }
    float list = p->list_spring.value;
    if (list > p->h - IP_BELOW_LIST)
        list = p->h - IP_BELOW_LIST;
    if (list < IP_MIN_LIST)
        list = IP_MIN_LIST;
    p->list_y = IP_LIST_TOP;
    p->list_h = list;
    p->master_y = p->list_y + list + 8.0f;
    p->status_y = p->master_y + 52.0f;
    p->mute0 = 54; p->mute1 = 86;
    p->fader0 = 92; p->fader1 = w - 112;
    p->pan0 = w - 104; p->pan1 = w - 56;
    p->link0 = w - 52; p->link1 = w - 32;
    p->lamp0 = w - 32; p->lamp1 = w - 12;
    p->master0 = 88; p->master1 = w - 64;
    p->header_right = p->option ? w - 72 : w - 40;

    int n = ip_opened(p);
    const RigScene* sc = ip_scene(p);
    float content = 0.0f;
    for (int i = 0; i < n && sc; i++) {
        float a = p->anim[i].weight;
        float s = (3 - 2 * a) * a * a;
        if (s > 0.001f)
            content += IP_ROW * s;
    }
    if (content > 0)
        content += 6.0f;
    p->content_h = content;
    p->max_scroll = content - list > 0 ? content - list : 0.0f;
    if (p->doc)
        p->scroll_target = clampf(p->scroll_target, 0.0f, p->max_scroll);
    p->scroll = clampf(p->scroll, 0.0f, p->max_scroll);
    p->row_count = 0;
    float y = 60.0f - p->scroll;
    for (int i = 0; i < n && sc; i++) {
        float a = p->anim[i].weight;
        float s = (3 - 2 * a) * a * a;
        p->can_link[i] = !(i & 1) && i + 1 < n;
        p->linked[i] = p->can_link[i] && sc->inputs[i].link;
        if (s <= 0.001f)
            continue;
        p->rows[p->row_count++] = IpRow{i, y, IP_ROW * s, a};
        y += IP_ROW * s;
    }
    for (int i = n; i < RIG_MAX_INPUTS; i++)
        p->can_link[i] = p->linked[i] = 0;
}

int ip_hit(const InputsPanel* p, float x, float y, int* index)
{
    if (index)
        *index = -1;
    float w = p->w;
    if (x < 0 || y < 0 || x >= w || y >= p->h)
        return IPH_OUTSIDE;
    for (int i = 0; i < 4; i++) {
        float bx = 12.0f + 48.0f * i;
        if (x >= bx && x < bx + 44 && y >= 4 && y < 48) {
            if (index)
                *index = i;
            return IPH_SCENE;
        }
    }
    if (p->option && x >= w - 72 && x < w - 44 && y >= 12 && y < 40)
        return IPH_OPTION;
    if (x >= w - 40 && x < w - 12 && y >= 12 && y < 40)
        return IPH_CLOSE;
    if (x >= 208 && x < p->header_right - 8 && y >= 8 && y < 44)
        return IPH_HEADER;
    if (y >= p->list_y && y < p->list_y + p->list_h) {
        for (int r = 0; r < p->row_count; r++) {
            const IpRow& row = p->rows[r];
            if (row.weight < 0.5f || y < row.top || y >= row.top + 32)
                continue;
            int i = row.input;
            if (index)
                *index = i;
            if (x >= p->mute0 && x < p->mute1)
                return IPH_MUTE;
            if (x >= p->fader0 - 4 && x < p->fader1 + 4)
                return IPH_FADER;
            if (x >= p->pan0 && x < p->pan1)
                return IPH_PAN;
            if (p->can_link[i] && x >= p->link0 && x < p->link1)
                return IPH_LINK;
            if (x >= p->lamp0 && x < p->lamp1)
                return IPH_LAMP;
            return IPH_ROW;
        }
        return IPH_LIST;
    }
    if (y >= p->master_y && y < p->master_y + 52) {
        if (x >= p->master0 - 4 && x < p->master1 + 4)
            return IPH_MASTER_FADER;
        if (x >= w - 60 && x < w - 32)
            return IPH_BUS_LAMP;
        return IPH_MASTER_STRIP;
    }
    if (y >= p->status_y)
        return IPH_STATUS;
    return IPH_PANEL;
}
