// rigsession_edit.cpp - the user's edits: gains, pans, mutes, links, the master gain,
// glyphs, scene switches and copies. Each marks its field for the next save and
// publishes the mix.
#include <cmath>
#include <cstring>

#include "rig/json_utf8.h"
#include "rig/rigsession_internal.h"

void rigsession_mark_edited(RigSession* s)
{
    RigSaveSlot* sl = &s->slot;
    if (!sl->pending.any)
        sl->first_edit = s->now;
    sl->pending.any = 1;
    sl->last_edit = s->now;
}

static void touch_scene(RigSession* s, int sc)
{
    RigScene* scene = &s->slot.doc->scenes[sc];
    scene->updated_at = s->wall > 0 ? s->wall : rig_wall_clock();
    rig_utf8_copy(scene->author, sizeof scene->author, s->app);
}

static void mark_input(RigSession* s, int sc, int input, uint8_t bit)
{
    s->slot.pending.inputs[sc][input] |= bit;
    if (s->slot.doc->scenes[sc].fresh) {
        s->slot.doc->scenes[sc].fresh = 0;
    }
    s->slot.pending.scenes[sc] |= RIG_EDIT_FRESH;
    touch_scene(s, sc);
    rigsession_mark_edited(s);
}

static void mark_scene(RigSession* s, int sc, uint8_t bit)
{
    s->slot.pending.scenes[sc] |= bit;
    if (bit == RIG_EDIT_MASTER) {
        s->slot.doc->scenes[sc].fresh = 0;
        s->slot.pending.scenes[sc] |= RIG_EDIT_FRESH;
    }
    touch_scene(s, sc);
    rigsession_mark_edited(s);
}

static bool editable(RigSession* s)
{
    return s && s->bound && s->state == RIG_STATE_READY && s->slot.doc && !s->slot.doc->read_only;
}

static RigScene* active(RigSession* s)
{
    return &s->slot.doc->scenes[s->active_scene & 3];
}

int rigsession_lead_input(RigSession* s, int input)
{
    if (!s || !s->slot.doc || input < 0 || input >= RIG_MAX_INPUTS)
        return input;
    return rig_link_partner(active(s), input, rigsession_opened(s));
}

static int valid_input(RigSession* s, int input)
{
    if (!editable(s) || input < 0 || input >= RIG_MAX_INPUTS)
        return -1;
    int lead = rigsession_lead_input(s, input);
    return lead >= 0 && lead < active(s)->channels ? lead : -1;
}

// A gain or pan of the input's lead, clamped to lo..hi; NaN refused.
static void set_input_value(RigSession* s, int input, float v, float lo, float hi, float RigInput::*field,
                            uint8_t bit)
{
    int i = valid_input(s, input);
    if (i < 0 || std::isnan(v))
        return;
    v = v < lo ? lo : v > hi ? hi : v;
    RigInput* in = &active(s)->inputs[i];
    if (in->*field == v)
        return;
    in->*field = v;
    mark_input(s, s->active_scene & 3, i, bit);
    rigsession_publish_mix(s, 0.0f);
}

void rigsession_set_input_gain(RigSession* s, int input, float gain)
{
    set_input_value(s, input, gain, 0.0f, RIG_GAIN_MAX, &RigInput::gain, RIG_EDIT_GAIN);
}

void rigsession_nudge_input_gain(RigSession* s, int input, float step_db)
{
    int i = valid_input(s, input);
    if (i < 0)
        return;
    rigsession_set_input_gain(s, i, rig_gain_nudge(active(s)->inputs[i].gain, step_db));
}

void rigsession_set_pan(RigSession* s, int input, float pan)
{
    set_input_value(s, input, pan, -1.0f, 1.0f, &RigInput::pan, RIG_EDIT_PAN);
}

void rigsession_set_muted(RigSession* s, int input, bool muted)
{
    int i = valid_input(s, input);
    if (i < 0)
        return;
    RigInput* in = &active(s)->inputs[i];
    if ((in->muted != 0) == muted)
        return;
    in->muted = muted ? 1 : 0;
    mark_input(s, s->active_scene & 3, i, RIG_EDIT_MUTED);
    rigsession_publish_mix(s, 0.0f);
}

void rigsession_set_link(RigSession* s, int even_input, bool link)
{
    if (!editable(s) || even_input < 0 || (even_input & 1))
        return;
    RigScene* sc = active(s);
    if (even_input + 1 >= rigsession_opened(s) || even_input + 1 >= sc->channels)
        return;
    RigInput* in = &sc->inputs[even_input];
    if ((in->link != 0) == link)
        return;
    in->link = link ? 1 : 0;
    mark_input(s, s->active_scene & 3, even_input, RIG_EDIT_LINK);
    rigsession_publish_mix(s, 0.0f);
}

void rigsession_set_master_gain(RigSession* s, float gain)
{
    if (!editable(s) || std::isnan(gain))
        return;
    gain = gain < 0.0f ? 0.0f : gain > RIG_GAIN_MAX ? RIG_GAIN_MAX : gain;
    RigScene* sc = active(s);
    if (sc->master_gain == gain)
        return;
    sc->master_gain = gain;
    mark_scene(s, s->active_scene & 3, RIG_EDIT_MASTER);
    rigsession_publish_mix(s, 0.0f);
}

void rigsession_nudge_master_gain(RigSession* s, float step_db)
{
    if (!editable(s))
        return;
    rigsession_set_master_gain(s, rig_gain_nudge(active(s)->master_gain, step_db));
}

void rigsession_set_glyph(RigSession* s, int scene, const char* text)
{
    if (!editable(s) || scene < 0 || scene > 3 || !text)
        return;
    char cut[8];
    int len = (int)strlen(text);
    if (len > 7)
        len = 7;
    memcpy(cut, text, (size_t)len);
    cut[len] = '\0';
    uint32_t cp = 0;
    int n = json_utf8_decode((const unsigned char*)cut, len, &cp);
    if (n <= 0 || cp == 0xFFFFFFFFu || cp < 0x20 || cp == 0xFE0E || cp == 0xFE0F || cp == 0xFFFD)
        return;
    cut[n] = '\0';
    RigScene* sc = &s->slot.doc->scenes[scene];
    if (strcmp(sc->glyph, cut) == 0)
        return;
    memcpy(sc->glyph, cut, (size_t)n + 1);
    s->slot.pending.scenes[scene] |= RIG_EDIT_GLYPH;
    touch_scene(s, scene);
    rigsession_mark_edited(s);
    s->slot.save_now = 1;
}

static void scene_copied(RigSession* s, int to)
{
    s->slot.pending.scenes[to] |= (uint8_t)(RIG_EDIT_WHOLE_SCENE | RIG_EDIT_FRESH);
    touch_scene(s, to);
    s->slot.save_now = 1;
    rigsession_mark_edited(s);
}

void rigsession_switch_scene(RigSession* s, int scene)
{
    if (!editable(s) || scene < 0 || scene > 3 || scene == s->active_scene)
        return;
    RigDocument* doc = s->slot.doc;
    RigMix before;
    rig_scene_to_mix(active(s), rigsession_opened(s), &before);
    if (doc->scenes[scene].fresh) {
        rig_scene_copy_mix(&doc->scenes[scene], active(s));
        scene_copied(s, scene);
    }
    double at = s->wall;
    int mine = rig_app_scene_find(doc, s->app);
    if (mine >= 0 && doc->app_scenes[mine].at + 0.001 > at)
        at = doc->app_scenes[mine].at + 0.001;
    if (s->scene_at + 0.001 > at)
        at = s->scene_at + 0.001;
    rig_doc_set_app_scene(doc, s->app, scene, at);
    s->scene_at = at;
    s->active_scene = scene;
    s->slot.pending.active_scene = 1;
    s->slot.save_now = 1;
    rigsession_mark_edited(s);
    RigMix after;
    rig_scene_to_mix(active(s), rigsession_opened(s), &after);
    rigsession_publish_mix(s, 0.0f);
    rigsession_post(s, RIGMSG_SCENE, scene, 1, !rig_mix_equal(&before, &after), nullptr);
}

void rigsession_copy_scene(RigSession* s, int from, int to)
{
    if (!editable(s) || from < 0 || from > 3 || to < 0 || to > 3 || from == to)
        return;
    RigDocument* doc = s->slot.doc;
    rig_scene_copy_mix(&doc->scenes[to], &doc->scenes[from]);
    scene_copied(s, to);
    if (to == s->active_scene)
        rigsession_publish_mix(s, 0.0f);
}
