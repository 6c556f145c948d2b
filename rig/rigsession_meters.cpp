// rigsession_meters.cpp - the router's meters turned into what the panel shows:
// falling levels, held peaks, latched clip and bad-sample flags, the bus, and the hint
// at a muted input that carries signal while nothing is heard.
#include <cmath>
#include <cstring>

#include "rig/rigsession_internal.h"

static const float kFloor = -200.0f;

void rigsession_reset_meters(RigSession* s)
{
    s->mview = RigMeterView{};
    for (int i = 0; i < RIG_MAX_INPUTS; i++) {
        s->level_db[i] = s->post_db[i] = s->peak_db[i] = kFloor;
        s->peak_time[i] = 0.0;
    }
    s->bus_db[0] = s->bus_db[1] = s->bus_peak_db[0] = s->bus_peak_db[1] = kFloor;
    s->meters_started = 0;
    s->hot_input = -1;
    s->hot_candidate = -1;
}

static float to_db(float peak)
{
    if (!(peak > 0.0f))
        return kFloor;
    float db = 20.0f * std::log10(peak);
    return db < kFloor ? kFloor : db > 24.0f ? 24.0f : db;
}

static float fader(float db)
{
    return db <= kFloor ? 0.0f : rig_db_to_fader(db);
}

// One falling value with an optional hold.
static void fall(float* shown, float level, float drop)
{
    float v = *shown - drop;
    *shown = level > v ? level : v;
    if (*shown < kFloor)
        *shown = kFloor;
    if (*shown > 24.0f)
        *shown = 24.0f;
}

static void hold(float* peak, double* since, float shown, double now)
{
    if (shown >= *peak) {
        *peak = shown;
        *since = now;
    } else if (now - *since > 1.5) {
        *peak = shown;
    }
}

void rigsession_update_meters(RigSession* s)
{
    const RigMeters& m = s->meters;
    float drop = 0.0f;
    if (s->meters_started) {
        double dt = s->now - s->last_meter_time;
        drop = (float)((dt < 0 ? 0 : dt > 1.0 ? 1.0 : dt) * 24.0);
    }
    s->meters_started = 1;
    s->last_meter_time = s->now;
    int n = s->bound ? rigsession_opened(s) : 0;
    RigMeterView* v = &s->mview;
    v->channels = n;
    float raw = 0.0f;
    for (int i = 0; i < RIG_MAX_INPUTS; i++) {
        if (i >= n) {
            s->level_db[i] = s->post_db[i] = s->peak_db[i] = kFloor;
            v->level[i] = v->post[i] = v->peak[i] = 0.0f;
            v->clip[i] = v->bad[i] = 0;
            continue;
        }
        if (m.input_peak[i] > raw)
            raw = m.input_peak[i];
        fall(&s->level_db[i], to_db(m.input_peak[i]), drop);
        fall(&s->post_db[i], to_db(m.post_peak[i]), drop);
        hold(&s->peak_db[i], &s->peak_time[i], s->level_db[i], s->now);
        if (m.clip_mask & (1ull << i))
            v->clip[i] = 1;
        if (m.bad_mask & (1ull << i))
            v->bad[i] = 1;
        v->level[i] = fader(s->level_db[i]);
        v->post[i] = fader(s->post_db[i]);
        v->peak[i] = fader(s->peak_db[i]);
    }
    float bus[2] = {m.bus_peak_left, m.bus_peak_right};
    for (int c = 0; c < 2; c++) {
        fall(&s->bus_db[c], to_db(bus[c]), drop);
        hold(&s->bus_peak_db[c], &s->bus_peak_time[c], s->bus_db[c], s->now);
        v->bus[c] = fader(s->bus_db[c]);
        v->bus[2 + c] = fader(s->bus_peak_db[c]);
    }
    if (m.bus_clip)
        v->bus_clip = 1;
    v->raw_peak = raw;
    v->silent = m.silent;
}

void rigsession_find_hot_input(RigSession* s)
{
    const RigDocument* doc = rigsession_current_doc(s);
    if (!doc) {
        s->hot_input = -1;
        s->hot_candidate = -1;
        return;
    }
    const RigScene* sc = &doc->scenes[s->active_scene & 3];
    int n = rigsession_opened(s);
    int cand = -1;
    float best = -40.0f;
    bool heard = false;
    for (int i = 0; i < n; i++) {
        int lead = rig_link_partner(sc, i, n);
        if (lead >= sc->channels)
            continue;
        const RigInput& in = sc->inputs[lead];
        if (in.muted) {
            if (s->level_db[i] > best) {
                best = s->level_db[i];
                cand = i;
            }
        } else if (in.gain > 0.0f && s->post_db[i] >= -50.0f) {
            heard = true;
        }
    }
    if (heard)
        cand = -1;
    if (cand >= 0) {
        if (cand != s->hot_candidate) {
            s->hot_candidate = cand;
            s->hot_since = s->now;
        }
        if (s->hot_input >= 0 || s->now - s->hot_since >= 1.5)
            s->hot_input = cand;
        s->hot_gone_since = s->now;
    } else {
        s->hot_candidate = -1;
        if (s->hot_input >= 0 && s->now - s->hot_gone_since >= 0.5)
            s->hot_input = -1;
    }
}
