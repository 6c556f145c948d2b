// inputs_status.cpp - the inputs panel's status line: one text chosen by priority from
// the rig's state, the hovered control and the drag under way.
#include <cmath>
#include <cstdio>
#include <cstdarg>
#include <cstring>

#include "rig/rigmix.h"
#include "rig/views/inputs_panel.h"

// Upper-cased copy of at most max_chars whole UTF-8 characters.
static void upper_chars(char* out, int size, const char* in, int max_chars)
{
    int o = 0, chars = 0;
    for (int i = 0; in && in[i] && chars < max_chars;) {
        unsigned char c = (unsigned char)in[i];
        int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        if (o + len >= size)
            break;
        for (int k = 0; k < len && in[i + k]; k++)
            out[o++] = (char)(len == 1 && c >= 'a' && c <= 'z' ? c - 32 : in[i + k]);
        i += len;
        chars++;
    }
    out[o] = '\0';
}

// Keeps at most max_chars whole characters of text in place.
static void cut_chars(char* text, int max_chars)
{
    int chars = 0;
    for (int i = 0; text[i]; i++) {
        if (((unsigned char)text[i] & 0xC0) != 0x80) {
            if (chars == max_chars) {
                text[i] = '\0';
                return;
            }
            chars++;
        }
    }
}

static const RigScene* scene_of(const InputsStatusInput* in)
{
    if (!in->doc)
        return nullptr;
    int s = in->view.active_scene;
    return &in->doc->scenes[s < 0 || s > 3 ? 0 : s];
}

static bool linked_pair(const RigScene* sc, int lead, int n)
{
    return !(lead & 1) && lead + 1 < n && sc->inputs[lead].link;
}

static void input_text(const InputsStatusInput* in, int kind, int input, char* out, int size)
{
    const RigScene* sc = scene_of(in);
    int n = in->view.inputs_opened;
    int lead = rig_link_partner(sc, input, n);
    bool pair = linked_pair(sc, lead, n);
    const char* label = in->label ? in->label(in->label_ctx, lead) : "";
    char up[600];
    upper_chars(up, sizeof up, label, 127);
    char head[700];
    if (up[0])
        pair ? snprintf(head, sizeof head, "%d-%d \xC2\xB7 %s", lead + 1, lead + 2, up)
             : snprintf(head, sizeof head, "%d \xC2\xB7 %s", lead + 1, up);
    else
        pair ? snprintf(head, sizeof head, "%d-%d", lead + 1, lead + 2) : snprintf(head, sizeof head, "%d", lead + 1);
    const RigInput& ri = sc->inputs[lead];
    char tail[64];
    const char* word = pair ? "BAL" : "PAN";
    bool clipped = in->any_clip[lead] || (pair && in->any_clip[lead + 1]);
    bool bad = in->any_bad[lead] || (pair && in->any_bad[lead + 1]);
    if (kind == IPH_PAN) {
        int v = (int)std::floor(std::fabs(ri.pan) * 100.0f + 0.5f);
        if (v == 0)
            snprintf(tail, sizeof tail, "%s C", word);
        else
            snprintf(tail, sizeof tail, "%s %c %d", word, ri.pan < 0 ? 'L' : 'R', v);
    } else if (kind == IPH_LAMP && clipped) {
        snprintf(tail, sizeof tail, "CLIPPED");
    } else if (kind == IPH_LAMP && bad) {
        snprintf(tail, sizeof tail, "BAD SAMPLES");
    } else if (ri.muted) {
        snprintf(tail, sizeof tail, "MUTED");
    } else {
        inputs_panel_db_text(ri.gain, tail, sizeof tail);
    }
    snprintf(out, (size_t)size, "%s \xC2\xB7 %s", head, tail);
}

// The inputs the default mix lets through: "1", "1-2", a count, or "1-2" for none.
static void default_inputs(const RigInputView* v, char* out, int size)
{
    RigMix mix;
    rig_default_input_mix(v->api, v->inputs_opened, &mix);
    int first = -1, last = -1, count = 0;
    bool run = true;
    for (int i = 0; i < mix.channels; i++) {
        if (mix.left[i] == 0.0f && mix.right[i] == 0.0f)
            continue;
        if (first < 0)
            first = i;
        else if (i != last + 1)
            run = false;
        last = i;
        count++;
    }
    if (count == 0)
        snprintf(out, (size_t)size, "1-2");
    else if (count == 1)
        snprintf(out, (size_t)size, "%d", first + 1);
    else if (run)
        snprintf(out, (size_t)size, "%d-%d", first + 1, last + 1);
    else
        snprintf(out, (size_t)size, "%d", count);
}

static int put(char* out, int size, int colour, const char* format, ...) __attribute__((format(printf, 4, 5)));
static int put(char* out, int size, int colour, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    vsnprintf(out, (size_t)size, format, ap);
    va_end(ap);
    return colour;
}

int inputs_status_line(const InputsStatusInput* in, char* out, int size)
{
    if (!out || size < 1)
        return -1;
    out[0] = '\0';
    if (!in)
        return -1;
    const RigInputView& v = in->view;
    bool value_drag = in->drag_kind >= 2 && in->drag_kind <= 4;
    if (!value_drag && v.other_writer[0] && v.other_writer_at >= 0 && in->now - v.other_writer_at < 2.5) {
        char name[400];
        upper_chars(name, sizeof name, v.other_writer, 159);
        put(out, size, 3, "\xE2\x9C\xA7 CHANGED IN %s", name);
        return 3;
    }
    if (in->hovering || in->drag_kind) {
        int kind = in->hover_kind, index = in->hover_index;
        if (in->drag_kind == 2) {
            kind = IPH_FADER;
            index = in->drag_input;
        } else if (in->drag_kind == 3) {
            kind = IPH_PAN;
            index = in->drag_input;
        } else if (in->drag_kind == 4) {
            kind = IPH_MASTER_FADER;
        }
        if (kind == IPH_HEADER && in->narrow && v.device_name[0])
            return put(out, size, 3, "%s", v.device_name);
        if (kind >= IPH_ROW && kind <= IPH_LAMP && in->doc && index >= 0 && index < RIG_MAX_INPUTS &&
            index < scene_of(in)->channels) {
            input_text(in, kind, index, out, size);
            return 3;
        }
        if (kind >= IPH_MASTER_STRIP && kind <= IPH_BUS_LAMP && in->doc) {
            char db[32];
            inputs_panel_db_text(scene_of(in)->master_gain, db, sizeof db);
            return put(out, size, 3, "BUS \xC2\xB7 %s%s", db, in->bus_over ? " \xC2\xB7 OVER" : "");
        }
    }
    if (v.state == RIG_STATE_READ_ONLY)
        return put(out, size, 3, "\xE2\x96\xA0 READ ONLY - MADE BY A NEWER APP");
    if (v.save_failed) {
        put(out, size, 10, "\xE2\x9C\x97 COULDN'T SAVE - %s", v.save_message[0] ? v.save_message : "RETRYING");
        cut_chars(out, 159);
        return 10;
    }
    if (v.on_defaults)
        return put(out, size, 10, "CAN'T READ THE RIG FILE - CHANGES STAY IN THIS SESSION");
    if (v.state == RIG_STATE_LOADING) {
        if (v.fallback) {
            char which[32];
            default_inputs(&v, which, sizeof which);
            return put(out, size, 3, "\xE2\x97\x8C LOADING RIG - PLAYING %s MEANWHILE", which);
        }
        if (v.store_busy)
            return put(out, size, 4, "\xE2\x97\x8C LOADING RIG\xE2\x80\xA6");
        return -1;
    }
    if (v.state == RIG_STATE_NONE)
        return put(out, size, 4, "\xE2\x97\x8C NO INTERFACE");
    if (v.no_live_input && v.inputs_opened >= 1)
        return put(out, size, 9, "ALL INPUTS MUTED - NOTHING WILL RECORD");
    if (v.hot_input >= 0)
        return put(out, size, 10, "INPUT %d HAS SIGNAL - IT'S MUTED", v.hot_input + 1);
    if (v.mismatch)
        return put(out, size, 10, "RIG DOESN'T MATCH THE STREAM");
    if (v.inputs_opened >= 1 && v.inputs_opened < v.inputs_on_device)
        return put(out, size, 10, "ONLY %d OF %d INPUTS OPENED", v.inputs_opened, v.inputs_on_device);
    if (v.state == RIG_STATE_READY && v.save_pending)
        return put(out, size, 3, "\xE2\x9C\xA6 SAVING\xE2\x80\xA6");
    return -1;
}
