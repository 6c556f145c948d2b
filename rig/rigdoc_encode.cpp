// rigdoc_encode.cpp - the rig file writer: one compact JSON object in a fixed member
// order, kept unknown members written back verbatim after the known ones.
#include "rig/rigdoc.h"

#include "rig/json_write.h"
#include "rig/rigdoc_internal.h"

#include <cmath>
#include <cstring>

namespace {

// A member name with its quotation marks and colon.
void name(JsonWriter* w, const char* key)
{
    json_write_char(w, '"');
    json_write_raw(w, key);
    json_write_raw(w, "\":");
}

void text_member(JsonWriter* w, const char* key, const char* field, size_t size)
{
    name(w, key);
    json_write_string(w, field, size);
}

void int_member(JsonWriter* w, const char* key, int64_t v)
{
    name(w, key);
    json_write_int(w, v);
}

// Levels and times are written as their fallback when not finite.
void float_member(JsonWriter* w, const char* key, float v, float fallback)
{
    name(w, key);
    json_write_float(w, std::isfinite(v) ? v : fallback);
}

void time_member(JsonWriter* w, const char* key, double t)
{
    name(w, key);
    json_write_double(w, std::isfinite(t) ? t : 0.0);
}

// A kept raw text, after a ',' when something precedes it in its container.
void raw_items(JsonWriter* w, const char* raw, bool after_something)
{
    if (!raw || !raw[0])
        return;
    if (after_something)
        json_write_char(w, ',');
    json_write_raw(w, raw);
}

void write_device(JsonWriter* w, const RigDocument* doc)
{
    const RigDocDevice& dev = doc->device;
    json_write_char(w, '{');
    text_member(w, "api", dev.api, sizeof dev.api);
    json_write_char(w, ',');
    text_member(w, "name", dev.name, sizeof dev.name);
    json_write_char(w, ',');
    int_member(w, "channels", dev.channels);
    json_write_char(w, ',');
    int names = rigdoc_clamp_int(dev.channels, 0, RIG_MAX_INPUTS);
    for (int i = names; i < RIG_MAX_INPUTS; i++)
        if (dev.channel_names[i][0])
            names = i + 1;
    name(w, "channelNames");
    json_write_char(w, '[');
    for (int i = 0; i < names; i++) {
        if (i)
            json_write_char(w, ',');
        json_write_string(w, dev.channel_names[i], sizeof dev.channel_names[i]);
    }
    json_write_char(w, ']');
    raw_items(w, doc->raw_device, true);
    json_write_char(w, '}');
}

void write_app_scenes(JsonWriter* w, const RigDocument* doc)
{
    int count = rigdoc_clamp_int(doc->app_scene_count, 0, RIG_APP_SCENES);
    if (count == 0)
        return;
    json_write_char(w, ',');
    name(w, "appScenes");
    json_write_char(w, '{');
    for (int i = 0; i < count; i++) {
        const RigAppScene& e = doc->app_scenes[i];
        if (i)
            json_write_char(w, ',');
        json_write_string(w, e.app, sizeof e.app);
        json_write_raw(w, ":{");
        int_member(w, "scene", e.scene);
        json_write_char(w, ',');
        time_member(w, "at", e.at);
        json_write_char(w, '}');
    }
    json_write_char(w, '}');
}

void write_input(JsonWriter* w, const RigInput& in, int index)
{
    json_write_char(w, '{');
    text_member(w, "id", in.id, sizeof in.id);
    json_write_raw(w, ",\"kind\":{\"input\":{\"channel\":");
    json_write_int(w, index);
    json_write_raw(w, "}},");
    text_member(w, "label", in.label, sizeof in.label);
    json_write_char(w, ',');
    float_member(w, "gain", in.gain, 1.0f);
    json_write_char(w, ',');
    float_member(w, "pan", in.pan, 0.0f);
    json_write_char(w, ',');
    name(w, "muted");
    json_write_bool(w, in.muted != 0);
    json_write_char(w, ',');
    name(w, "link");
    json_write_bool(w, in.link != 0);
    raw_items(w, in.raw, true);
    json_write_char(w, '}');
}

void write_scene(JsonWriter* w, const RigScene& s)
{
    json_write_char(w, '{');
    text_member(w, "id", s.id, sizeof s.id);
    json_write_char(w, ',');
    text_member(w, "name", s.name, sizeof s.name);
    json_write_char(w, ',');
    text_member(w, "glyph", s.glyph, sizeof s.glyph);
    if (s.fresh)
        json_write_raw(w, ",\"fresh\":true");
    json_write_char(w, ',');
    float_member(w, "masterGain", s.master_gain, 1.0f);
    json_write_char(w, ',');
    time_member(w, "updatedAt", s.updated_at);
    json_write_char(w, ',');
    text_member(w, "author", s.author, sizeof s.author);
    json_write_char(w, ',');
    name(w, "channels");
    json_write_char(w, '[');
    int count = rigdoc_clamp_int(s.channels, 0, RIG_MAX_INPUTS);
    for (int i = 0; i < count; i++) {
        if (i)
            json_write_char(w, ',');
        write_input(w, s.inputs[i], i);
    }
    raw_items(w, s.raw_channels, count > 0);
    json_write_char(w, ']');
    raw_items(w, s.raw_members, true);
    json_write_char(w, '}');
}

void write_writer(JsonWriter* w, const RigWriter& wr)
{
    json_write_char(w, '{');
    text_member(w, "app", wr.app, sizeof wr.app);
    json_write_char(w, ',');
    text_member(w, "platform", wr.platform, sizeof wr.platform);
    json_write_char(w, ',');
    text_member(w, "version", wr.version, sizeof wr.version);
    json_write_char(w, ',');
    text_member(w, "instance", wr.instance, sizeof wr.instance);
    json_write_char(w, ',');
    time_member(w, "at", wr.at);
    json_write_char(w, '}');
}

}  // namespace

uint64_t rig_encode(const RigDocument* doc, char* buf, uint64_t cap)
{
    JsonWriter w;
    json_writer_init(&w, buf, cap);
    if (!doc)
        return json_writer_finish(&w);
    json_write_char(&w, '{');
    text_member(&w, "format", "tidecoil.rig", 13);
    json_write_char(&w, ',');
    int_member(&w, "version", doc->version);
    json_write_char(&w, ',');
    int_member(&w, "rev", doc->rev);
    json_write_char(&w, ',');
    text_member(&w, "key", doc->key, sizeof doc->key);
    json_write_char(&w, ',');
    name(&w, "device");
    write_device(&w, doc);
    json_write_char(&w, ',');
    int_member(&w, "activeScene", doc->active_scene);
    write_app_scenes(&w, doc);
    json_write_char(&w, ',');
    name(&w, "scenes");
    json_write_char(&w, '[');
    for (int s = 0; s < RIG_SCENES; s++) {
        if (s)
            json_write_char(&w, ',');
        write_scene(&w, doc->scenes[s]);
    }
    raw_items(&w, doc->raw_scenes, true);
    json_write_char(&w, ']');
    json_write_char(&w, ',');
    name(&w, "writer");
    write_writer(&w, doc->writer);
    raw_items(&w, doc->raw_top, true);
    json_write_char(&w, '}');
    return json_writer_finish(&w);
}
