// rigdoc_repair.cpp - puts every field of a document back in range: texts made valid
// UTF-8 cut at whole characters, numbers clamped, ids minted, glyphs cut to one
// character, duplicate app choices merged.
#include "rig/rigdoc.h"

#include "rig/json_utf8.h"
#include "rig/rigdoc_internal.h"

#include <cmath>
#include <cstring>

// Fields up to this size are re-copied as UTF-8; larger ones are only terminated.
static const int kRepairMax = 200;

bool rig_text_repair(char* field, int size)
{
    if (!field || size < 1)
        return false;
    bool changed = false;
    if (!std::memchr(field, 0, (size_t)size)) {
        field[size - 1] = '\0';
        changed = true;
    }
    if (size > kRepairMax)
        return changed;
    char copy[kRepairMax];
    int n = rig_utf8_copy(copy, size, field);
    if (std::strcmp(copy, field) != 0) {
        std::memcpy(field, copy, (size_t)n + 1);
        changed = true;
    }
    return changed;
}

// ---- Numbers ---------------------------------------------------------------------

// A gain: not finite becomes 1, else clamped to 0..RIG_GAIN_MAX.
static bool fix_gain(float* g)
{
    float v = !std::isfinite(*g) ? 1.0f : *g < 0.0f ? 0.0f : *g > RIG_GAIN_MAX ? RIG_GAIN_MAX : *g;
    bool changed = std::memcmp(&v, g, sizeof v) != 0;
    *g = v;
    return changed;
}

static bool fix_pan(float* p)
{
    float v = !std::isfinite(*p) ? 0.0f : *p < -1.0f ? -1.0f : *p > 1.0f ? 1.0f : *p;
    bool changed = std::memcmp(&v, p, sizeof v) != 0;
    *p = v;
    return changed;
}

static bool fix_time(double* t)
{
    if (std::isfinite(*t))
        return false;
    *t = 0.0;
    return true;
}

static bool fix_range(int32_t* v, int lo, int hi, int fallback)
{
    if (*v >= lo && *v <= hi)
        return false;
    *v = fallback;
    return true;
}

// ---- Texts -----------------------------------------------------------------------

static bool fix_id(char id[37])
{
    bool changed = rig_text_repair(id, 37);
    if (!id[0]) {
        rig_uuid_new(id);
        changed = true;
    }
    return changed;
}

// One character with no variation selector after it; a glyph that cannot be shown
// (a control, an invalid sequence, a lone selector) gives the scene's default.
static bool fix_glyph(char glyph[8], int scene)
{
    char before[8];
    std::memcpy(before, glyph, sizeof before);
    rig_text_repair(glyph, 8);
    int len = rigdoc_glyph_trim(glyph, (int)std::strlen(glyph));
    if (len > 0) {
        uint32_t cp = 0;
        int n = json_utf8_decode((const unsigned char*)glyph, len, &cp);
        bool selector = cp == 0xFE0E || cp == 0xFE0F;
        len = (cp == JSON_UTF8_INVALID || cp < 0x20 || selector) ? 0 : n;
    }
    glyph[len] = '\0';
    if (!glyph[0])
        std::memcpy(glyph, rig_glyph(scene), std::strlen(rig_glyph(scene)) + 1);
    return std::memcmp(before, glyph, std::strlen(glyph) + 1) != 0;
}

// ---- Sections --------------------------------------------------------------------

static bool fix_app_scenes(RigDocument* doc)
{
    bool changed = false;
    int count = rigdoc_clamp_int(doc->app_scene_count, 0, RIG_APP_SCENES);
    changed |= count != doc->app_scene_count;
    doc->app_scene_count = count;
    for (int i = 0; i < count; i++) {
        RigAppScene* e = &doc->app_scenes[i];
        changed |= rig_text_repair(e->app, sizeof e->app);
        changed |= fix_range(&e->scene, 0, RIG_SCENES - 1, 0);
        changed |= fix_time(&e->at);
    }
    // Equal names merge into the first, which keeps the later choice.
    for (int i = 0; i < doc->app_scene_count; i++) {
        for (int j = i + 1; j < doc->app_scene_count;) {
            RigAppScene* a = &doc->app_scenes[i];
            RigAppScene* b = &doc->app_scenes[j];
            if (std::strcmp(a->app, b->app) != 0) {
                j++;
                continue;
            }
            if (b->at > a->at) {
                a->scene = b->scene;
                a->at = b->at;
            }
            std::memmove(b, b + 1, (size_t)(doc->app_scene_count - 1 - j) * sizeof *b);
            doc->app_scene_count--;
            changed = true;
        }
    }
    return changed;
}

static bool fix_scene(RigScene* s, int index)
{
    bool changed = false;
    int count = rigdoc_clamp_int(s->channels, 0, RIG_MAX_INPUTS);
    changed |= count != s->channels;
    s->channels = count;
    changed |= fix_id(s->id);
    changed |= rig_text_repair(s->name, sizeof s->name);
    changed |= rig_text_repair(s->author, sizeof s->author);
    changed |= fix_glyph(s->glyph, rigdoc_clamp_int(index, 0, RIG_SCENES - 1));
    changed |= fix_gain(&s->master_gain);
    changed |= fix_time(&s->updated_at);
    for (int i = 0; i < count; i++) {
        RigInput* in = &s->inputs[i];
        changed |= fix_gain(&in->gain);
        changed |= fix_pan(&in->pan);
        if ((i & 1) && in->link) {
            in->link = 0;
            changed = true;
        }
        changed |= rig_text_repair(in->label, sizeof in->label);
        changed |= fix_id(in->id);
    }
    return changed;
}

bool rig_doc_clamp(RigDocument* doc)
{
    if (!doc)
        return false;
    bool changed = false;
    changed |= fix_range(&doc->version, 1, INT32_MAX, 1);
    // The flag follows the version; setting it is no repair.
    doc->read_only = doc->version > RIG_VERSION;
    if (doc->rev < 0) {
        doc->rev = 0;
        changed = true;
    }

    changed |= rig_text_repair(doc->key, sizeof doc->key);
    changed |= rig_text_repair(doc->device.api, sizeof doc->device.api);
    changed |= rig_text_repair(doc->device.name, sizeof doc->device.name);
    for (auto& name : doc->device.channel_names)
        changed |= rig_text_repair(name, sizeof name);
    changed |= fix_range(&doc->active_scene, 0, RIG_SCENES - 1, 0);

    changed |= fix_app_scenes(doc);

    int largest = 1;
    for (int s = 0; s < RIG_SCENES; s++) {
        changed |= fix_scene(&doc->scenes[s], s);
        largest = doc->scenes[s].channels > largest ? doc->scenes[s].channels : largest;
    }
    if (doc->device.channels < 1) {
        doc->device.channels = largest;
        changed = true;
    } else if (doc->device.channels > RIG_MAX_INPUTS) {
        doc->device.channels = RIG_MAX_INPUTS;
        changed = true;
    }

    RigWriter* w = &doc->writer;
    changed |= rig_text_repair(w->app, sizeof w->app);
    changed |= rig_text_repair(w->platform, sizeof w->platform);
    changed |= rig_text_repair(w->version, sizeof w->version);
    changed |= rig_text_repair(w->instance, sizeof w->instance);
    changed |= fix_time(&w->at);
    return changed;
}
