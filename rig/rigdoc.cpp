// rigdoc.cpp - documents: allocation, reset, deep copies, the fresh rig of a device,
// and the raw texts that keep unknown members verbatim.
#include "rig/rigdoc.h"

#include "rig/rigdoc_internal.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---- Allocation ------------------------------------------------------------------

// Allocations left before failures start; negative: never fail.
static std::atomic<int> g_allocs_left{-1};

static bool alloc_allowed(void)
{
    int left = g_allocs_left.load(std::memory_order_relaxed);
    while (left >= 0) {
        if (left == 0)
            return false;
        if (g_allocs_left.compare_exchange_weak(left, left - 1, std::memory_order_relaxed))
            return true;
    }
    return true;
}

void rig_doc_test_fail_allocs(int after) { g_allocs_left.store(after < 0 ? -1 : after); }

void* rigdoc_alloc(size_t n) { return alloc_allowed() ? std::malloc(n) : nullptr; }

void* rigdoc_realloc(void* p, size_t n) { return alloc_allowed() ? std::realloc(p, n) : nullptr; }

bool rigdoc_raw_dup(const char* src, char** out)
{
    *out = nullptr;
    if (!src)
        return true;
    size_t n = std::strlen(src) + 1;
    char* p = (char*)rigdoc_alloc(n);
    if (!p)
        return false;
    std::memcpy(p, src, n);
    *out = p;
    return true;
}

// ---- Raw texts -------------------------------------------------------------------

static bool raw_reserve(RigRawBuf* b, size_t more)
{
    if (b->failed)
        return false;
    size_t need = b->len + more + 1;
    if (need <= b->cap)
        return true;
    size_t cap = b->cap ? b->cap : 64;
    while (cap < need)
        cap *= 2;
    char* p = (char*)rigdoc_realloc(b->p, cap);
    if (!p) {
        b->failed = true;
        return false;
    }
    b->p = p;
    b->cap = cap;
    return true;
}

static void raw_put(RigRawBuf* b, const char* s, size_t n)
{
    std::memcpy(b->p + b->len, s, n);
    b->len += n;
}

void rigdoc_raw_append(RigRawBuf* b, const char* key, size_t key_len, const char* value,
                       size_t value_len)
{
    size_t more = (b->len ? 1 : 0) + (key ? key_len + 1 : 0) + value_len;
    if (!raw_reserve(b, more))
        return;
    if (b->len)
        raw_put(b, ",", 1);
    if (key) {
        raw_put(b, key, key_len);
        raw_put(b, ":", 1);
    }
    raw_put(b, value, value_len);
    b->p[b->len] = '\0';
}

char* rigdoc_raw_take(RigRawBuf* b)
{
    char* p = b->len ? b->p : nullptr;
    if (!p)
        std::free(b->p);
    *b = RigRawBuf{};
    return p;
}

void rigdoc_raw_free(RigRawBuf* b)
{
    std::free(b->p);
    *b = RigRawBuf{};
}

// ---- Defaults --------------------------------------------------------------------

int rigdoc_clamp_int(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

void rigdoc_input_defaults(RigInput* in, int index)
{
    std::free(in->raw);
    std::memset(in, 0, sizeof *in);
    in->gain = 1.0f;
    in->muted = index >= 2;
    rig_uuid_new(in->id);
}

bool rigdoc_links_first_pair(const char* api, int channels)
{
    return channels >= 2 && !rig_api_is_direct(api);
}

static void scene_free_raw(RigScene* s)
{
    for (RigInput& in : s->inputs) {
        std::free(in.raw);
        in.raw = nullptr;
    }
    std::free(s->raw_members);
    std::free(s->raw_channels);
    s->raw_members = nullptr;
    s->raw_channels = nullptr;
}

void rig_scene_reset(RigScene* scene, int index)
{
    if (!scene)
        return;
    scene_free_raw(scene);
    std::memset(scene, 0, sizeof *scene);
    scene->master_gain = 1.0f;
    std::snprintf(scene->name, sizeof scene->name, "scene %d", index + 1);
    std::snprintf(scene->glyph, sizeof scene->glyph, "%s", rig_glyph(rigdoc_clamp_int(index, 0, RIG_SCENES - 1)));
}

// ---- Lifetime --------------------------------------------------------------------

RigDocument* rig_doc_new(void)
{
    RigDocument* doc = (RigDocument*)rigdoc_alloc(sizeof(RigDocument));
    if (!doc)
        return nullptr;
    std::memset(doc, 0, sizeof *doc);
    rig_doc_reset(doc);
    return doc;
}

void rig_doc_free(RigDocument* doc)
{
    if (!doc)
        return;
    rig_doc_clear(doc);
    std::free(doc);
}

void rig_doc_clear(RigDocument* doc)
{
    if (!doc)
        return;
    for (RigScene& s : doc->scenes)
        scene_free_raw(&s);
    std::free(doc->raw_top);
    std::free(doc->raw_device);
    std::free(doc->raw_scenes);
    doc->raw_top = nullptr;
    doc->raw_device = nullptr;
    doc->raw_scenes = nullptr;
}

void rig_doc_reset(RigDocument* doc)
{
    if (!doc)
        return;
    rig_doc_clear(doc);
    std::memset(doc, 0, sizeof *doc);
    doc->version = RIG_VERSION;
    for (int i = 0; i < RIG_SCENES; i++)
        rig_scene_reset(&doc->scenes[i], i);
}

bool rig_doc_assign(RigDocument* dst, const RigDocument* src)
{
    if (!dst || !src)
        return false;
    if (dst == src)
        return true;
    rig_doc_clear(dst);
    std::memcpy(dst, src, sizeof *dst);
    // Every raw pointer still names src's text: null them all first, so a failure
    // half way frees only what this copy owns.
    char** owned[3 + RIG_SCENES * (2 + RIG_MAX_INPUTS)];
    const char* from[3 + RIG_SCENES * (2 + RIG_MAX_INPUTS)];
    int n = 0;
    auto track = [&](char** field, const char* text) {
        *field = nullptr;
        owned[n] = field;
        from[n++] = text;
    };
    track(&dst->raw_top, src->raw_top);
    track(&dst->raw_device, src->raw_device);
    track(&dst->raw_scenes, src->raw_scenes);
    for (int s = 0; s < RIG_SCENES; s++) {
        track(&dst->scenes[s].raw_members, src->scenes[s].raw_members);
        track(&dst->scenes[s].raw_channels, src->scenes[s].raw_channels);
        for (int i = 0; i < RIG_MAX_INPUTS; i++)
            track(&dst->scenes[s].inputs[i].raw, src->scenes[s].inputs[i].raw);
    }
    for (int i = 0; i < n; i++) {
        if (!rigdoc_raw_dup(from[i], owned[i])) {
            rig_doc_reset(dst);
            return false;
        }
    }
    return true;
}

// ---- A device's fresh rig --------------------------------------------------------

void rig_doc_init_for_device(RigDocument* doc, const char* key, const char* api, const char* name,
                             int channels, const char (*channel_names)[64], const char* author,
                             double at)
{
    if (!doc)
        return;
    rig_doc_reset(doc);
    rig_utf8_copy(doc->key, sizeof doc->key, key);
    rig_utf8_copy(doc->device.api, sizeof doc->device.api, api);
    rig_utf8_copy(doc->device.name, sizeof doc->device.name, name);
    channels = rigdoc_clamp_int(channels, 1, RIG_MAX_INPUTS);
    doc->device.channels = channels;
    if (channel_names)
        for (int i = 0; i < RIG_MAX_INPUTS; i++)
            rig_utf8_copy(doc->device.channel_names[i], sizeof doc->device.channel_names[i],
                          channel_names[i]);
    doc->active_scene = 0;
    for (int s = 0; s < RIG_SCENES; s++) {
        RigScene* sc = &doc->scenes[s];
        rig_uuid_new(sc->id);
        sc->fresh = s > 0;
        sc->updated_at = std::isfinite(at) ? at : 0.0;
        rig_utf8_copy(sc->author, sizeof sc->author, author);
        sc->channels = channels;
        for (int i = 0; i < channels; i++)
            rigdoc_input_defaults(&sc->inputs[i], i);
        sc->inputs[0].link = rigdoc_links_first_pair(doc->device.api, channels);
    }
}

bool rig_doc_grow_inputs(RigDocument* doc, int channels)
{
    if (!doc)
        return false;
    channels = channels > RIG_MAX_INPUTS ? RIG_MAX_INPUTS : channels;
    bool grew = false;
    for (RigScene& s : doc->scenes) {
        if (s.channels >= channels)
            continue;
        int from = s.channels < 0 ? 0 : s.channels;
        for (int i = from; i < channels; i++)
            rigdoc_input_defaults(&s.inputs[i], i);
        if (from == 0)
            s.inputs[0].link = rigdoc_links_first_pair(doc->device.api, channels);
        s.channels = channels;
        grew = true;
    }
    return grew;
}
