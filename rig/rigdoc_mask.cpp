// rigdoc_mask.cpp - edit masks: which fields two documents differ in, and copying the
// marked fields of one document into another.
#include "rig/rigdoc.h"

#include "rig/rigdoc_internal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

void rig_edit_mask_clear(RigEditMask* mask)
{
    if (mask)
        std::memset(mask, 0, sizeof *mask);
}

void rig_edit_mask_or(RigEditMask* dst, const RigEditMask* src)
{
    if (!dst || !src)
        return;
    for (int s = 0; s < RIG_SCENES; s++) {
        for (int i = 0; i < RIG_MAX_INPUTS; i++)
            dst->inputs[s][i] |= src->inputs[s][i];
        dst->scenes[s] |= src->scenes[s];
    }
    dst->active_scene = dst->active_scene || src->active_scene;
    dst->device = dst->device || src->device;
    dst->any = dst->any || src->any;
}

// ---- Differences -----------------------------------------------------------------

// Equal values, two NaNs counting as equal.
static bool same_level(float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); }

static uint8_t input_diff(const RigInput& a, const RigInput& b)
{
    uint8_t m = 0;
    if (!same_level(a.gain, b.gain))
        m |= RIG_EDIT_GAIN;
    if (!same_level(a.pan, b.pan))
        m |= RIG_EDIT_PAN;
    if (a.muted != b.muted)
        m |= RIG_EDIT_MUTED;
    if (a.link != b.link)
        m |= RIG_EDIT_LINK;
    if (std::strncmp(a.label, b.label, sizeof a.label) != 0)
        m |= RIG_EDIT_LABEL;
    return m;
}

static uint8_t scene_diff(const RigScene& a, const RigScene& b)
{
    uint8_t m = 0;
    if (!same_level(a.master_gain, b.master_gain))
        m |= RIG_EDIT_MASTER;
    if (std::strncmp(a.glyph, b.glyph, sizeof a.glyph) != 0)
        m |= RIG_EDIT_GLYPH;
    if (std::strncmp(a.name, b.name, sizeof a.name) != 0)
        m |= RIG_EDIT_NAME;
    if (a.fresh != b.fresh)
        m |= RIG_EDIT_FRESH;
    return m;
}

static bool device_differs(const RigDocDevice& a, const RigDocDevice& b)
{
    if (a.channels != b.channels || std::strncmp(a.api, b.api, sizeof a.api) != 0 ||
        std::strncmp(a.name, b.name, sizeof a.name) != 0)
        return true;
    for (int i = 0; i < RIG_MAX_INPUTS; i++)
        if (std::strncmp(a.channel_names[i], b.channel_names[i], sizeof a.channel_names[i]) != 0)
            return true;
    return false;
}

void rig_doc_diff_mask(const RigDocument* a, const RigDocument* b, RigEditMask* out)
{
    if (!out)
        return;
    rig_edit_mask_clear(out);
    if (!a || !b)
        return;
    bool any = false;
    for (int s = 0; s < RIG_SCENES; s++) {
        const RigScene& sa = a->scenes[s];
        const RigScene& sb = b->scenes[s];
        int na = rigdoc_clamp_int(sa.channels, 0, RIG_MAX_INPUTS);
        int nb = rigdoc_clamp_int(sb.channels, 0, RIG_MAX_INPUTS);
        int n = na > nb ? na : nb;
        for (int i = 0; i < n; i++) {
            uint8_t m = (i < na && i < nb) ? input_diff(sa.inputs[i], sb.inputs[i]) : (uint8_t)RIG_EDIT_INPUT_ALL;
            out->inputs[s][i] = m;
            any |= m != 0;
        }
        out->scenes[s] = scene_diff(sa, sb);
        any |= out->scenes[s] != 0;
    }
    out->active_scene = a->active_scene != b->active_scene;
    out->device = device_differs(a->device, b->device);
    out->any = any || out->active_scene || out->device;
}

// ---- Copying marked fields -------------------------------------------------------

// Copies the inputs src has and dst lacks, whole. False when a raw text could not be
// copied (the input is copied without it).
static bool copy_missing_inputs(RigScene* dst, const RigScene* src)
{
    bool ok = true;
    int own = rigdoc_clamp_int(dst->channels, 0, RIG_MAX_INPUTS);
    int count = rigdoc_clamp_int(src->channels, 0, RIG_MAX_INPUTS);
    for (int i = own; i < count; i++) {
        RigInput* to = &dst->inputs[i];
        std::free(to->raw);
        *to = src->inputs[i];
        ok &= rigdoc_raw_dup(src->inputs[i].raw, &to->raw);
    }
    if (count > own)
        dst->channels = count;
    return ok;
}

// Copies the fields a scene's mask bytes select; true when any was copied.
static bool copy_scene_fields(RigScene* dst, const RigScene* src, const uint8_t* inputs, uint8_t scene)
{
    bool copied = false;
    int count = rigdoc_clamp_int(src->channels, 0, RIG_MAX_INPUTS);
    uint8_t whole = (scene & RIG_EDIT_WHOLE_SCENE) ? (uint8_t)0x0F : (uint8_t)0;
    for (int i = 0; i < count; i++) {
        uint8_t m = inputs[i] | whole;
        RigInput* to = &dst->inputs[i];
        const RigInput& from = src->inputs[i];
        if (m & RIG_EDIT_GAIN)
            to->gain = from.gain;
        if (m & RIG_EDIT_PAN)
            to->pan = from.pan;
        if (m & RIG_EDIT_MUTED)
            to->muted = from.muted;
        if (m & RIG_EDIT_LINK)
            to->link = from.link;
        if (m & RIG_EDIT_LABEL)
            std::memcpy(to->label, from.label, sizeof to->label);
        copied |= (m & RIG_EDIT_INPUT_ALL) != 0;
    }
    if (scene & (RIG_EDIT_MASTER | RIG_EDIT_WHOLE_SCENE))
        dst->master_gain = src->master_gain;
    if (scene & RIG_EDIT_GLYPH)
        std::memcpy(dst->glyph, src->glyph, sizeof dst->glyph);
    if (scene & RIG_EDIT_NAME)
        std::memcpy(dst->name, src->name, sizeof dst->name);
    if (scene & (RIG_EDIT_FRESH | RIG_EDIT_WHOLE_SCENE))
        dst->fresh = src->fresh;
    copied |= (scene & (RIG_EDIT_MASTER | RIG_EDIT_GLYPH | RIG_EDIT_NAME | RIG_EDIT_FRESH |
                        RIG_EDIT_WHOLE_SCENE)) != 0;
    if (copied) {
        dst->updated_at = src->updated_at;
        std::memcpy(dst->author, src->author, sizeof dst->author);
    }
    return copied;
}

static void copy_device(RigDocDevice* dst, const RigDocDevice* src)
{
    if (src->api[0])
        std::memcpy(dst->api, src->api, sizeof dst->api);
    if (src->name[0])
        std::memcpy(dst->name, src->name, sizeof dst->name);
    if (src->channels > dst->channels)
        dst->channels = src->channels;
    for (int i = 0; i < RIG_MAX_INPUTS; i++)
        if (src->channel_names[i][0])
            std::memcpy(dst->channel_names[i], src->channel_names[i], sizeof dst->channel_names[i]);
}

bool rig_doc_copy_fields(RigDocument* dst, const RigDocument* src, const RigEditMask* mask)
{
    if (!dst || !src || dst == src)
        return true;
    bool ok = true;
    for (int s = 0; s < RIG_SCENES; s++) {
        ok &= copy_missing_inputs(&dst->scenes[s], &src->scenes[s]);
        if (mask)
            copy_scene_fields(&dst->scenes[s], &src->scenes[s], mask->inputs[s], mask->scenes[s]);
    }
    if (mask && mask->active_scene)
        dst->active_scene = src->active_scene;
    if (mask && mask->device)
        copy_device(&dst->device, &src->device);
    rig_app_scenes_merge(dst, src);
    return ok;
}
