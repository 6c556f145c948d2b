// rigdoc_scene.cpp - scene glyphs, each program's scene choice, and the scene
// helpers: copying a mix, linked pairs and the count of inputs heard.
#include "rig/rigdoc.h"

#include "rig/rigdoc_internal.h"

#include <cmath>
#include <cstring>

// ---- Glyphs ----------------------------------------------------------------------

static const char* const kGlyphs[RIG_GLYPHS] = {
    "\u2657", "\u2766", "\u2668", "\u262F", "\u26FA", "\u2664", "\u262E",
    "\u238B", "\u2F5E", "\u2604", "\u2684", "\u2660", "\U00001B6A",
};

const char* rig_glyph(int index) { return kGlyphs[rigdoc_clamp_int(index, 0, RIG_GLYPHS - 1)]; }

// Length of text with trailing variation selectors (U+FE0E, U+FE0F) removed.
int rigdoc_glyph_trim(const char* text, int len)
{
    while (len >= 3 && (unsigned char)text[len - 3] == 0xEF && (unsigned char)text[len - 2] == 0xB8 &&
           ((unsigned char)text[len - 1] == 0x8E || (unsigned char)text[len - 1] == 0x8F))
        len -= 3;
    return len;
}

int rig_glyph_index(const char* text)
{
    if (!text)
        return -1;
    int len = rigdoc_glyph_trim(text, (int)std::strlen(text));
    for (int i = 0; i < RIG_GLYPHS; i++)
        if ((int)std::strlen(kGlyphs[i]) == len && std::memcmp(kGlyphs[i], text, (size_t)len) == 0)
            return i;
    return -1;
}

// ---- App scenes ------------------------------------------------------------------

static int clamp_scene(int scene) { return rigdoc_clamp_int(scene, 0, RIG_SCENES - 1); }

int rig_app_scene_find(const RigDocument* doc, const char* app)
{
    if (!doc)
        return -1;
    char name[48];
    rig_utf8_copy(name, sizeof name, app);
    int count = rigdoc_clamp_int(doc->app_scene_count, 0, RIG_APP_SCENES);
    for (int i = 0; i < count; i++)
        if (std::strcmp(doc->app_scenes[i].app, name) == 0)
            return i;
    return -1;
}

// Drops entry i, moving the later ones down.
static void app_scene_remove(RigDocument* doc, int i)
{
    std::memmove(&doc->app_scenes[i], &doc->app_scenes[i + 1],
                 (size_t)(doc->app_scene_count - 1 - i) * sizeof doc->app_scenes[0]);
    doc->app_scene_count--;
}

// The entry with the smallest "at", the first of equals.
static int app_scene_oldest(const RigDocument* doc)
{
    int oldest = 0;
    for (int i = 1; i < doc->app_scene_count; i++)
        if (doc->app_scenes[i].at < doc->app_scenes[oldest].at)
            oldest = i;
    return oldest;
}

int rig_app_scene_slot(RigDocument* doc)
{
    if (!doc)
        return -1;
    if (doc->app_scene_count < RIG_APP_SCENES) {
        int i = doc->app_scene_count < 0 ? 0 : doc->app_scene_count;
        doc->app_scene_count = i + 1;
        return i;
    }
    doc->app_scene_count = RIG_APP_SCENES;
    app_scene_remove(doc, app_scene_oldest(doc));
    doc->app_scene_count = RIG_APP_SCENES;
    return RIG_APP_SCENES - 1;
}

void rig_doc_set_app_scene(RigDocument* doc, const char* app, int scene, double at)
{
    if (!doc)
        return;
    scene = clamp_scene(scene);
    if (app && app[0]) {
        int i = rig_app_scene_find(doc, app);
        if (i < 0) {
            i = rig_app_scene_slot(doc);
            std::memset(&doc->app_scenes[i], 0, sizeof doc->app_scenes[i]);
            rig_utf8_copy(doc->app_scenes[i].app, sizeof doc->app_scenes[i].app, app);
        }
        doc->app_scenes[i].scene = scene;
        doc->app_scenes[i].at = std::isfinite(at) ? at : 0.0;
    }
    doc->active_scene = scene;
}

int rig_doc_app_scene(const RigDocument* doc, const char* app)
{
    if (!doc)
        return 0;
    int i = rig_app_scene_find(doc, app);
    return clamp_scene(i >= 0 ? doc->app_scenes[i].scene : doc->active_scene);
}

void rig_app_scenes_merge(RigDocument* dst, const RigDocument* src)
{
    if (!dst || !src || dst == src)
        return;
    int count = rigdoc_clamp_int(src->app_scene_count, 0, RIG_APP_SCENES);
    for (int k = 0; k < count; k++) {
        const RigAppScene& from = src->app_scenes[k];
        int i = rig_app_scene_find(dst, from.app);
        if (i >= 0) {
            if (from.at > dst->app_scenes[i].at) {
                dst->app_scenes[i].scene = from.scene;
                dst->app_scenes[i].at = from.at;
            }
            continue;
        }
        if (dst->app_scene_count >= RIG_APP_SCENES &&
            !(from.at > dst->app_scenes[app_scene_oldest(dst)].at))
            continue;
        dst->app_scenes[rig_app_scene_slot(dst)] = from;
    }
}

// ---- Scenes ----------------------------------------------------------------------

void rig_scene_copy_mix(RigScene* dst, const RigScene* src)
{
    if (!dst || !src || dst == src)
        return;
    int count = rigdoc_clamp_int(src->channels, 0, RIG_MAX_INPUTS);
    int own = rigdoc_clamp_int(dst->channels, 0, RIG_MAX_INPUTS);
    for (int i = 0; i < count; i++) {
        RigInput* to = &dst->inputs[i];
        if (i >= own)
            rigdoc_input_defaults(to, i);
        to->gain = src->inputs[i].gain;
        to->pan = src->inputs[i].pan;
        to->muted = src->inputs[i].muted;
        to->link = src->inputs[i].link;
    }
    dst->channels = count > own ? count : own;
    dst->master_gain = src->master_gain;
    dst->fresh = 0;
}

int rig_link_partner(const RigScene* scene, int input, int channels)
{
    if (scene && input > 0 && (input & 1) && input < channels && input < RIG_MAX_INPUTS &&
        input - 1 < scene->channels && scene->inputs[input - 1].link)
        return input - 1;
    return input;
}

int rig_scene_live_count(const RigScene* scene, int channels)
{
    if (!scene)
        return 0;
    int limit = rigdoc_clamp_int(channels, 0, RIG_MAX_INPUTS);
    int n = limit < scene->channels ? limit : scene->channels;
    int live = 0;
    for (int i = 0; i < n; i++) {
        const RigInput& in = scene->inputs[i];
        if ((i & 1) && scene->inputs[i - 1].link)
            continue;
        if (in.muted || !(in.gain > 0.0f))
            continue;
        live += (!(i & 1) && in.link && i + 1 < limit) ? 2 : 1;
    }
    return live;
}
