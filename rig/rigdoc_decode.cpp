// rigdoc_decode.cpp - the tolerant rig file reader: every fault is repaired and
// reported (the first report kept), unknown members are kept verbatim, and the
// document is either complete and repaired or reset.
#include "rig/rigdoc.h"

#include "rig/json_read.h"
#include "rig/rigdoc_internal.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

// ---- Decoder state and reports ---------------------------------------------------

namespace {

// Room for one report before it is cut for the caller.
const int kReportCap = 320;
// Room for a context such as "scene 4 input 64" or an app name.
const int kContextCap = 80;

struct Decoder {
    RigDocument* doc;
    char first[kReportCap];   // the first report, whole
    bool repaired;
    bool no_memory;
};

// Records a repair; only the first report is kept.
__attribute__((format(printf, 2, 3))) void report(Decoder* d, const char* fmt, ...)
{
    if (!d->repaired) {
        char text[kReportCap];
        va_list ap;
        va_start(ap, fmt);
        std::vsnprintf(text, sizeof text, fmt, ap);
        va_end(ap);
        // An app name may be cut by the formatting: keep whole characters only.
        rig_utf8_copy(d->first, sizeof d->first, text);
    }
    d->repaired = true;
}

// Writes a message into the caller's buffer, cut at a whole character.
void put_message(char* msg, size_t cap, const char* text)
{
    if (msg && cap > 0)
        rig_utf8_copy(msg, cap > 0x7FFFFFFF ? 0x7FFFFFFF : (int)cap, text);
}

void take_raw(Decoder* d, RigRawBuf* b, char** field)
{
    if (b->failed) {
        d->no_memory = true;
        rigdoc_raw_free(b);
        return;
    }
    *field = rigdoc_raw_take(b);
}

// ---- Members ---------------------------------------------------------------------

// A walk over an object's members sorted by name: known names at their first
// occurrence, repeats reported and skipped, unknown members kept (or dropped).
struct MemberWalk {
    JsonIter it;
    const char* const* names;
    int count;
    uint32_t seen;
    const char* context;
    RigRawBuf* unknown;       // null: unknown members are dropped
    bool had_unknown;
};

MemberWalk member_walk(JsonValue obj, const char* const* names, int count, const char* context,
                       RigRawBuf* unknown)
{
    MemberWalk w{};
    json_iter_begin(&w.it, obj);
    w.names = names;
    w.count = count;
    w.context = context;
    w.unknown = unknown;
    return w;
}

// The index of the next known member (its value in *value), or -1 at the end.
int next_known(Decoder* d, MemberWalk* w, JsonValue* value)
{
    JsonValue key;
    while (json_iter_next_member(&w->it, &key, value)) {
        int k = 0;
        while (k < w->count && !json_string_equals(key, w->names[k]))
            k++;
        if (k == w->count) {
            w->had_unknown = true;
            if (w->unknown)
                rigdoc_raw_append(w->unknown, key.text, key.len, value->text, value->len);
            continue;
        }
        if (w->seen & (1u << k)) {
            report(d, "%s: \"%s\" appears twice (the first kept)", w->context, w->names[k]);
            continue;
        }
        w->seen |= 1u << k;
        return k;
    }
    return -1;
}

// The first member called name, if any.
bool find_member(JsonValue obj, const char* name, JsonValue* out)
{
    return json_find_member(obj, name, out);
}

// ---- Fields ----------------------------------------------------------------------

// A string into a field of size bytes; a value that is no string leaves the field.
void take_text(Decoder* d, const char* ctx, const char* what, JsonValue v, char* field, int size)
{
    if (v.kind != JSON_STRING) {
        report(d, "%s: %s is not a string", ctx, what);
        return;
    }
    int flags = 0;
    json_get_string(v, field, (size_t)size, &flags);
    if (flags & JSON_STR_CUT)
        report(d, "%s: %s is longer than %d bytes (cut)", ctx, what, size - 1);
    if (flags & JSON_STR_REPLACED)
        report(d, "%s: %s had invalid text (replaced)", ctx, what);
}

void take_id(Decoder* d, const char* ctx, JsonValue v, char id[37])
{
    int flags = 0;
    size_t n = v.kind == JSON_STRING ? json_get_string(v, id, 37, &flags) : 0;
    if (n == 0 || flags != 0) {
        report(d, "%s: id is not a usable UUID (a new one minted)", ctx);
        rig_uuid_new(id);
    }
}

// An integer in lo..hi; false (reported) otherwise.
bool take_int(Decoder* d, const char* ctx, const char* what, JsonValue v, int64_t lo, int64_t hi,
              int64_t* out)
{
    int64_t x = 0;
    if (!json_get_int64(v, &x) || x < lo || x > hi) {
        report(d, "%s: %s is not an integer in %lld..%lld", ctx, what, (long long)lo, (long long)hi);
        return false;
    }
    *out = x;
    return true;
}

// A level in lo..hi: clamped when outside (a number too large for a float is outside
// by its sign), the fallback when no number.
float take_level(Decoder* d, const char* ctx, const char* what, JsonValue v, float lo, float hi,
                 float fallback)
{
    if (v.kind != JSON_NUMBER) {
        report(d, "%s: %s is not a number", ctx, what);
        return fallback;
    }
    float f = 0.0f;
    if (!json_get_float(v, &f))
        f = v.text[0] == '-' ? -INFINITY : INFINITY;
    if (f < lo || f > hi) {
        report(d, "%s: %s is out of range (clamped)", ctx, what);
        return f < lo ? lo : hi;
    }
    return f;
}

// A time in seconds; 0 when no number (or none a double holds).
double take_time(Decoder* d, const char* ctx, const char* what, JsonValue v)
{
    double t = 0.0;
    if (!json_get_double(v, &t)) {
        report(d, "%s: %s is not a number", ctx, what);
        return 0.0;
    }
    return t;
}

// A boolean; otherwise reported, and 0 unless keep_default.
void take_flag(Decoder* d, const char* ctx, const char* what, JsonValue v, uint8_t* out, bool keep_default)
{
    uint8_t b = 0;
    if (json_get_bool(v, &b)) {
        *out = b;
        return;
    }
    report(d, "%s: %s is not true / false", ctx, what);
    if (!keep_default)
        *out = 0;
}

// ---- Device ----------------------------------------------------------------------

struct DeviceSeen {
    bool channels_valid;
};

void decode_channel_names(Decoder* d, JsonValue arr)
{
    if (arr.kind != JSON_ARRAY) {
        report(d, "device: channelNames is not an array");
        return;
    }
    JsonIter it;
    JsonValue v;
    json_iter_begin(&it, arr);
    for (int j = 0; json_iter_next(&it, &v); j++) {
        if (j >= RIG_MAX_INPUTS) {
            report(d, "device: more than %d channelNames (the rest dropped)", RIG_MAX_INPUTS);
            break;
        }
        char ctx[kContextCap];
        std::snprintf(ctx, sizeof ctx, "device channelNames[%d]", j);
        take_text(d, ctx, "the name", v, d->doc->device.channel_names[j], 64);
    }
}

void decode_device(Decoder* d, JsonValue obj, DeviceSeen* seen)
{
    if (obj.kind != JSON_OBJECT) {
        report(d, "device is not an object");
        return;
    }
    static const char* const kNames[] = {"api", "name", "channels", "channelNames"};
    RigDocDevice* dev = &d->doc->device;
    RigRawBuf unknown{};
    MemberWalk w = member_walk(obj, kNames, 4, "device", &unknown);
    JsonValue v;
    int64_t n = 0;
    for (int k; (k = next_known(d, &w, &v)) >= 0;) {
        switch (k) {
        case 0: take_text(d, "device", "api", v, dev->api, sizeof dev->api); break;
        case 1: take_text(d, "device", "name", v, dev->name, sizeof dev->name); break;
        case 2:
            if (take_int(d, "device", "channels", v, 1, RIG_MAX_INPUTS, &n)) {
                dev->channels = (int32_t)n;
                seen->channels_valid = true;
            }
            break;
        case 3: decode_channel_names(d, v); break;
        }
    }
    take_raw(d, &unknown, &d->doc->raw_device);
}

// ---- App scenes ------------------------------------------------------------------

// Where a decoded choice goes: the next free entry, else the place of the oldest when
// this one is newer (the later entries moving down), else nowhere (-1).
int app_scene_place(RigDocument* doc, double at)
{
    if (doc->app_scene_count < RIG_APP_SCENES)
        return doc->app_scene_count++;
    int oldest = 0;
    for (int i = 1; i < RIG_APP_SCENES; i++)
        if (doc->app_scenes[i].at < doc->app_scenes[oldest].at)
            oldest = i;
    if (!(at > doc->app_scenes[oldest].at))
        return -1;
    std::memmove(&doc->app_scenes[oldest], &doc->app_scenes[oldest + 1],
                 (size_t)(RIG_APP_SCENES - 1 - oldest) * sizeof doc->app_scenes[0]);
    return RIG_APP_SCENES - 1;
}

void decode_app_scenes(Decoder* d, JsonValue obj)
{
    if (obj.kind != JSON_OBJECT) {
        report(d, "appScenes is not an object");
        return;
    }
    bool told_full = false;
    JsonIter it;
    JsonValue key, val;
    json_iter_begin(&it, obj);
    while (json_iter_next_member(&it, &key, &val)) {
        RigAppScene e{};
        int flags = 0;
        json_get_string(key, e.app, sizeof e.app, &flags);
        char ctx[kContextCap];
        std::snprintf(ctx, sizeof ctx, "appScenes \"%s\"", e.app);
        if (flags & JSON_STR_CUT)
            report(d, "%s: the app name is longer than %d bytes (cut)", ctx, (int)sizeof e.app - 1);
        if (flags & JSON_STR_REPLACED)
            report(d, "%s: the app name had invalid text (replaced)", ctx);
        if (val.kind != JSON_OBJECT) {
            report(d, "%s is not an object (dropped)", ctx);
            continue;
        }
        static const char* const kNames[] = {"scene", "at"};
        MemberWalk w = member_walk(val, kNames, 2, ctx, nullptr);
        JsonValue v;
        int64_t n = 0;
        for (int k; (k = next_known(d, &w, &v)) >= 0;) {
            if (k == 0)
                e.scene = take_int(d, ctx, "scene", v, 0, RIG_SCENES - 1, &n) ? (int32_t)n : 0;
            else
                e.at = take_time(d, ctx, "at", v);
        }
        if (w.had_unknown)
            report(d, "%s: members other than scene / at (dropped)", ctx);

        if (d->doc->app_scene_count >= RIG_APP_SCENES && !told_full) {
            report(d, "appScenes has more than %d members (the oldest dropped)", RIG_APP_SCENES);
            told_full = true;
        }
        int place = app_scene_place(d->doc, e.at);
        if (place >= 0)
            d->doc->app_scenes[place] = e;
    }
}

// ---- Scenes ----------------------------------------------------------------------

void decode_input(Decoder* d, JsonValue obj, int scene, int index, RigInput* in)
{
    char ctx[kContextCap];
    std::snprintf(ctx, sizeof ctx, "scene %d input %d", scene + 1, index + 1);
    static const char* const kNames[] = {"id", "kind", "label", "gain", "pan", "muted", "link"};
    RigRawBuf unknown{};
    MemberWalk w = member_walk(obj, kNames, 7, ctx, &unknown);
    JsonValue v;
    bool has_id = false;
    for (int k; (k = next_known(d, &w, &v)) >= 0;) {
        switch (k) {
        case 0:
            take_id(d, ctx, v, in->id);
            has_id = true;
            break;
        case 1: break;   // the channel, already taken
        case 2: take_text(d, ctx, "label", v, in->label, sizeof in->label); break;
        case 3: in->gain = take_level(d, ctx, "gain", v, 0.0f, RIG_GAIN_MAX, 1.0f); break;
        case 4: in->pan = take_level(d, ctx, "pan", v, -1.0f, 1.0f, 0.0f); break;
        case 5: take_flag(d, ctx, "muted", v, &in->muted, true); break;
        case 6: take_flag(d, ctx, "link", v, &in->link, false); break;
        }
    }
    if (!has_id)
        rig_uuid_new(in->id);
    take_raw(d, &unknown, &in->raw);
}

// What a channel entry is: an input at a channel below 64, or kept verbatim.
// Returns the channel, or -1 to keep the entry as it stands.
int64_t entry_channel(Decoder* d, JsonValue entry, int scene, int e)
{
    if (entry.kind != JSON_OBJECT) {
        report(d, "scene %d: channel entry %d is not an object (kept verbatim)", scene + 1, e);
        return -1;
    }
    JsonValue kind;
    if (!find_member(entry, "kind", &kind) || kind.kind != JSON_OBJECT || json_count(kind) != 1) {
        report(d, "scene %d: channel entry %d has no single-member kind (kept verbatim)", scene + 1, e);
        return -1;
    }
    JsonIter it;
    JsonValue name, input, channel;
    json_iter_begin(&it, kind);
    json_iter_next_member(&it, &name, &input);
    if (!json_string_equals(name, "input"))
        return -1;   // a kind of channel this program does not know
    int64_t ch = -1;
    if (input.kind != JSON_OBJECT || json_count(input) != 1 || !find_member(input, "channel", &channel) ||
        !json_get_int64(channel, &ch) || ch < 0) {
        report(d, "scene %d: channel entry %d is an input with no usable channel (kept verbatim)",
               scene + 1, e);
        return -1;
    }
    if (ch >= RIG_MAX_INPUTS) {
        // Counted from 1 without overflow: a channel may be as large as INT64_MAX.
        report(d, "scene %d: input %llu is past the %d a rig holds (kept verbatim)", scene + 1,
               (unsigned long long)ch + 1, RIG_MAX_INPUTS);
        return -1;
    }
    return ch;
}

void decode_channels(Decoder* d, JsonValue arr, int scene, RigScene* s)
{
    if (arr.kind != JSON_ARRAY) {
        report(d, "scene %d: channels is not an array", scene + 1);
        return;
    }
    bool filled[RIG_MAX_INPUTS] = {};
    int highest = -1;
    RigRawBuf kept{};
    JsonIter it;
    JsonValue entry;
    json_iter_begin(&it, arr);
    for (int e = 0; json_iter_next(&it, &entry); e++) {
        int64_t ch = entry_channel(d, entry, scene, e);
        if (ch < 0) {
            rigdoc_raw_append(&kept, nullptr, 0, entry.text, entry.len);
            continue;
        }
        if (filled[ch]) {
            report(d, "scene %d: input %d appears twice (the first kept)", scene + 1, (int)ch + 1);
            continue;
        }
        filled[ch] = true;
        highest = ch > highest ? (int)ch : highest;
        RigInput* in = &s->inputs[ch];
        rigdoc_input_defaults(in, (int)ch);
        in->id[0] = '\0';   // the entry's own id, or one minted when it has none
        decode_input(d, entry, scene, (int)ch, in);
    }
    s->channels = highest + 1;
    for (int i = 0; i < s->channels; i++) {
        if (!filled[i]) {
            rigdoc_input_defaults(&s->inputs[i], i);
            report(d, "scene %d: input %d is missing (defaults)", scene + 1, i + 1);
        }
    }
    take_raw(d, &kept, &s->raw_channels);
}

void decode_scene(Decoder* d, JsonValue obj, int index)
{
    RigScene* s = &d->doc->scenes[index];
    rig_scene_reset(s, index);
    char ctx[kContextCap];
    std::snprintf(ctx, sizeof ctx, "scene %d", index + 1);
    static const char* const kNames[] = {"id",        "name",   "glyph", "fresh", "masterGain",
                                         "updatedAt", "author", "channels"};
    RigRawBuf unknown{};
    MemberWalk w = member_walk(obj, kNames, 8, ctx, &unknown);
    JsonValue v;
    bool has_id = false;
    for (int k; (k = next_known(d, &w, &v)) >= 0;) {
        switch (k) {
        case 0:
            take_id(d, ctx, v, s->id);
            has_id = true;
            break;
        case 1: take_text(d, ctx, "name", v, s->name, sizeof s->name); break;
        case 2: take_text(d, ctx, "glyph", v, s->glyph, sizeof s->glyph); break;
        case 3: take_flag(d, ctx, "fresh", v, &s->fresh, false); break;
        case 4: s->master_gain = take_level(d, ctx, "masterGain", v, 0.0f, RIG_GAIN_MAX, 1.0f); break;
        case 5: s->updated_at = take_time(d, ctx, "updatedAt", v); break;
        case 6: take_text(d, ctx, "author", v, s->author, sizeof s->author); break;
        case 7: decode_channels(d, v, index, s); break;
        }
    }
    if (!has_id)
        rig_uuid_new(s->id);
    take_raw(d, &unknown, &s->raw_members);
}

// Decodes the scenes array; returns how many of the four had an element, and marks
// those that were objects.
int decode_scenes(Decoder* d, JsonValue arr, bool decoded[RIG_SCENES])
{
    if (arr.kind != JSON_ARRAY) {
        report(d, "scenes is not an array (defaults)");
        return 0;
    }
    RigRawBuf extra{};
    JsonIter it;
    JsonValue v;
    int n = 0;
    json_iter_begin(&it, arr);
    for (; json_iter_next(&it, &v); n++) {
        if (n >= RIG_SCENES) {
            rigdoc_raw_append(&extra, nullptr, 0, v.text, v.len);
        } else if (v.kind == JSON_OBJECT) {
            decode_scene(d, v, n);
            decoded[n] = true;
        } else {
            report(d, "scene %d is not an object (defaults)", n + 1);
        }
    }
    take_raw(d, &extra, &d->doc->raw_scenes);
    return n < RIG_SCENES ? n : RIG_SCENES;
}

// ---- Writer ----------------------------------------------------------------------

void decode_writer(Decoder* d, JsonValue obj)
{
    if (obj.kind != JSON_OBJECT) {
        report(d, "writer is not an object");
        return;
    }
    static const char* const kNames[] = {"app", "platform", "version", "instance", "at"};
    RigWriter* wr = &d->doc->writer;
    MemberWalk w = member_walk(obj, kNames, 5, "writer", nullptr);
    JsonValue v;
    for (int k; (k = next_known(d, &w, &v)) >= 0;) {
        switch (k) {
        case 0: take_text(d, "writer", "app", v, wr->app, sizeof wr->app); break;
        case 1: take_text(d, "writer", "platform", v, wr->platform, sizeof wr->platform); break;
        case 2: take_text(d, "writer", "version", v, wr->version, sizeof wr->version); break;
        case 3: take_text(d, "writer", "instance", v, wr->instance, sizeof wr->instance); break;
        case 4: wr->at = take_time(d, "writer", "at", v); break;
        }
    }
}

// ---- Top level -------------------------------------------------------------------

// A version: 1..2147483647. A number beyond that is still a newer program's file, so
// it reads as the largest version (read only) rather than as 1, which would let this
// program write over it.
int32_t take_version(Decoder* d, JsonValue v)
{
    int64_t n = 0;
    if (take_int(d, "the rig", "version", v, 1, INT32_MAX, &n))
        return (int32_t)n;
    double x = 0.0;
    if (json_get_double(v, &x) && x > (double)INT32_MAX)
        return INT32_MAX;
    if (v.kind == JSON_NUMBER && v.text[0] != '-' && !json_get_double(v, &x))
        return INT32_MAX;
    return 1;
}

// api and name from a key "api:name" where the device block left them empty. A key
// that begins with the block's api and a colon gives the rest as the name, so a key
// built from an api holding a colon reads back to the same name; any other key is
// split at its first colon.
void device_from_key(RigDocument* doc)
{
    const char* colon = std::strchr(doc->key, ':');
    if (!colon)
        return;
    size_t api_given = std::strlen(doc->device.api);
    if (api_given && std::strncmp(doc->key, doc->device.api, api_given) == 0 && doc->key[api_given] == ':')
        colon = doc->key + api_given;
    size_t api_len = (size_t)(colon - doc->key);
    if (!doc->device.api[0] && api_len < sizeof doc->device.api) {
        std::memcpy(doc->device.api, doc->key, api_len);
        doc->device.api[api_len] = '\0';
    }
    if (!doc->device.name[0])
        rig_utf8_copy(doc->device.name, sizeof doc->device.name, colon + 1);
}

// Scenes the file did not give are those of a fresh rig for the device.
bool fill_missing_scenes(RigDocument* doc, const bool decoded[RIG_SCENES])
{
    bool all = true;
    for (int s = 0; s < RIG_SCENES; s++)
        all &= decoded[s];
    if (all)
        return true;
    RigDocument* fresh = rig_doc_new();
    if (!fresh)
        return false;
    rig_doc_init_for_device(fresh, doc->key, doc->device.api, doc->device.name, doc->device.channels,
                            nullptr, "", 0.0);
    for (int s = 0; s < RIG_SCENES; s++) {
        if (decoded[s])
            continue;
        rig_scene_reset(&doc->scenes[s], s);
        doc->scenes[s] = fresh->scenes[s];   // a fresh rig holds no raw texts
    }
    rig_doc_free(fresh);
    return true;
}

int fail(RigDocument* doc, char* msg, size_t cap, int result, const char* text)
{
    rig_doc_reset(doc);
    put_message(msg, cap, text);
    return result;
}

}  // namespace

int rig_decode(const char* text, size_t len, RigDocument* doc, char* msg, size_t msg_cap)
{
    put_message(msg, msg_cap, "");
    if (!doc) {
        put_message(msg, msg_cap, "no doc to decode into");
        return RIG_DECODE_NO_TEXT;
    }
    rig_doc_reset(doc);
    char line[kReportCap + 64];
    if (len > RIG_FILE_MAX) {
        std::snprintf(line, sizeof line, "bigger than 1 MB (%llu bytes)", (unsigned long long)len);
        return fail(doc, msg, msg_cap, RIG_DECODE_NO_TEXT, line);
    }
    JsonValue root;
    char parse_err[96];
    if (!json_parse(text, text ? len : 0, &root, parse_err, sizeof parse_err)) {
        std::snprintf(line, sizeof line, "not JSON: %s", parse_err);
        return fail(doc, msg, msg_cap, RIG_DECODE_NO_TEXT, line);
    }
    if (root.kind != JSON_OBJECT)
        return fail(doc, msg, msg_cap, RIG_DECODE_NOT_A_RIG, "not a rig: the JSON is not an object");
    JsonValue format;
    if (!find_member(root, "format", &format) || !json_string_equals(format, "tidecoil.rig"))
        return fail(doc, msg, msg_cap, RIG_DECODE_NOT_A_RIG, "not a rig: \"format\" is not \"tidecoil.rig\"");

    Decoder d{};
    d.doc = doc;
    static const char* const kNames[] = {"format",      "version",   "rev",    "key",   "device",
                                         "activeScene", "appScenes", "scenes", "writer"};
    RigRawBuf unknown{};
    MemberWalk w = member_walk(root, kNames, 9, "the rig", &unknown);
    JsonValue v;
    int64_t n = 0;
    DeviceSeen device{};
    bool has_key = false, has_scenes = false;
    bool decoded[RIG_SCENES] = {};
    int elements = 0;
    for (int k; (k = next_known(&d, &w, &v)) >= 0;) {
        switch (k) {
        case 0: break;   // checked above
        case 1: doc->version = take_version(&d, v); break;
        case 2: doc->rev = take_int(&d, "the rig", "rev", v, 0, INT64_MAX, &n) ? n : 0; break;
        case 3:
            take_text(&d, "the rig", "key", v, doc->key, sizeof doc->key);
            has_key = true;
            break;
        case 4: decode_device(&d, v, &device); break;
        case 5:
            doc->active_scene = take_int(&d, "the rig", "activeScene", v, 0, RIG_SCENES - 1, &n) ? (int32_t)n : 0;
            break;
        case 6: decode_app_scenes(&d, v); break;
        case 7:
            has_scenes = true;
            elements = decode_scenes(&d, v, decoded);
            break;
        case 8: decode_writer(&d, v); break;
        }
    }
    take_raw(&d, &unknown, &doc->raw_top);
    // A rev at the largest integer can never be raised by a save: no program of ours
    // writes one, so the file is taken as damaged.
    if (doc->rev == INT64_MAX)
        return fail(doc, msg, msg_cap, RIG_DECODE_NOT_A_RIG, "damaged: rev 9223372036854775807 cannot be raised");
    if (!has_scenes)
        report(&d, "no scenes (defaults)");

    device_from_key(doc);
    // A present but empty key is as useless as a missing one: build it from the device.
    if ((!has_key || !doc->key[0]) && doc->device.api[0])
        rig_device_key(doc->device.api, doc->device.name, doc->key, sizeof doc->key);

    if (!device.channels_valid) {
        int largest = 1;
        for (int s = 0; s < RIG_SCENES; s++)
            largest = decoded[s] && doc->scenes[s].channels > largest ? doc->scenes[s].channels : largest;
        doc->device.channels = largest;
    }
    if (!fill_missing_scenes(doc, decoded))
        d.no_memory = true;
    if (elements < RIG_SCENES)
        report(&d, "only %d of %d scenes (the rest are defaults)", elements, RIG_SCENES);

    if (d.no_memory)
        return fail(doc, msg, msg_cap, RIG_DECODE_NO_MEMORY, "out of memory");

    if (rig_doc_clamp(doc))
        report(&d, "out-of-range values repaired");
    if (doc->version > RIG_VERSION) {
        char and_first[kReportCap + 16] = "";
        if (d.repaired)
            std::snprintf(and_first, sizeof and_first, " (and: %s)", d.first);
        std::snprintf(line, sizeof line, "version %d is newer than %d - read only%s", (int)doc->version,
                      RIG_VERSION, and_first);
        put_message(msg, msg_cap, line);
        return RIG_DECODE_NEWER;
    }
    put_message(msg, msg_cap, d.first);
    return d.repaired ? RIG_DECODE_REPAIRED : RIG_DECODE_CLEAN;
}
