// rigmix.cpp - fader curve, gain steps, pan and balance laws, and the scene mix.
#include "rig/rigmix.h"

#include <cmath>
#include <cstring>

// ---- Fader curve -----------------------------------------------------------------

static const int kBreaks = 5;
// The first position is the float 0.02 widened, so a fader stored as a float at 0.02
// sits exactly on the -72 dB breakpoint.
static const double kFaderPos[kBreaks] = {(double)0.02f, 0.25, 0.5, 0.75, 1.0};
static const double kFaderDb[kBreaks] = {-72.0, -30.0, -12.0, 0.0, 12.0};

static const double kPi = 3.14159265358979323846;
static const double kSqrt2 = 1.41421356237309504880;
static const float kSqrt2f = 1.4142135f;

float rig_db_to_gain(float db)
{
    if (std::isnan(db) || db <= -144.0f)
        return 0.0f;
    if (db == 0.0f)
        return 1.0f;
    return (float)std::pow(10.0, (double)db / 20.0);
}

float rig_gain_to_db(float gain)
{
    if (!(gain > 0.0f))
        return -INFINITY;
    if (gain == 1.0f)
        return 0.0f;
    return (float)(20.0 * std::log10((double)gain));
}

float rig_fader_to_gain(float position)
{
    double p = position;
    if (std::isnan(p) || p < kFaderPos[0])
        return 0.0f;
    if (p >= 1.0)
        return rig_db_to_gain(12.0f);
    int k = 1;
    while (kFaderPos[k] <= p)
        k++;
    double t = (p - kFaderPos[k - 1]) / (kFaderPos[k] - kFaderPos[k - 1]);
    float gain = rig_db_to_gain((float)(kFaderDb[k - 1] + t * (kFaderDb[k] - kFaderDb[k - 1])));
    return gain < RIG_GAIN_MAX ? gain : RIG_GAIN_MAX;
}

float rig_db_to_fader(float db)
{
    double d = db;
    if (std::isnan(d) || d < kFaderDb[0])
        return 0.0f;
    if (d >= 12.0)
        return 1.0f;
    int k = 1;
    while (kFaderDb[k] <= d)
        k++;
    double t = (d - kFaderDb[k - 1]) / (kFaderDb[k] - kFaderDb[k - 1]);
    return (float)(kFaderPos[k - 1] + t * (kFaderPos[k] - kFaderPos[k - 1]));
}

float rig_gain_to_fader(float gain)
{
    return gain > 0.0f ? rig_db_to_fader(rig_gain_to_db(gain)) : 0.0f;
}

float rig_gain_nudge(float gain, float step_db)
{
    if (std::isnan(step_db) || step_db == 0.0f)
        return gain;
    if (!(gain > 0.0f))
        return step_db > 0.0f ? rig_db_to_gain(-72.0f) : 0.0f;
    double d = rig_gain_to_db(gain < RIG_GAIN_MAX ? gain : RIG_GAIN_MAX);
    double n = d + step_db;
    // Unity is a detent: a step across it stops there.
    if ((d < 0.0 && n > 0.0) || (d > 0.0 && n < 0.0))
        return 1.0f;
    if (n >= 12.0)
        return RIG_GAIN_MAX;
    if (n < -72.001)
        return 0.0f;
    return rig_db_to_gain((float)(n > -72.0 ? n : -72.0));
}

// ---- Pan and balance -------------------------------------------------------------

float rig_pan_gain(double p)
{
    double v = kSqrt2 * std::cos((p + 1.0) * kPi / 4.0);
    return v > 0.0 ? (float)v : 0.0f;
}

// Left and right factors of a single input's pan: unity to both sides at the centre,
// +3 dB on the near side at a hard pan.
static void pan_law(float p, float* l, float* r)
{
    if (p < -1.0f) {
        *l = kSqrt2f;
        *r = 0.0f;
    } else if (std::isnan(p) || p == 0.0f) {
        *l = 1.0f;
        *r = 1.0f;
    } else if (p == -1.0f) {
        *l = kSqrt2f;
        *r = 0.0f;
    } else if (p >= 1.0f) {
        *l = 0.0f;
        *r = kSqrt2f;
    } else {
        *l = rig_pan_gain(p);
        double v = kSqrt2 * std::cos((1.0 - (double)p) * kPi / 4.0);
        *r = v > 0.0 ? (float)v : 0.0f;
    }
}

// Factors of a linked pair's balance: each side at most unity, so the pair never
// gets louder than its gain.
static void balance_law(float p, float* l, float* r)
{
    if (p <= -1.0f) {
        *l = 1.0f;
        *r = 0.0f;
    } else if (std::isnan(p) || p == 0.0f) {
        *l = 1.0f;
        *r = 1.0f;
    } else if (p >= 1.0f) {
        *l = 0.0f;
        *r = 1.0f;
    } else {
        float bl = rig_pan_gain(p), br = rig_pan_gain(-(double)p);
        *l = bl < 1.0f ? bl : 1.0f;
        *r = br < 1.0f ? br : 1.0f;
    }
}

// ---- Scene mix -------------------------------------------------------------------

// A gain as the mix uses it: finite, 0..RIG_GAIN_MAX.
static float usable_gain(float g)
{
    if (!(g > 0.0f) || !std::isfinite(g))
        return 0.0f;
    return g < RIG_GAIN_MAX ? g : RIG_GAIN_MAX;
}

void rig_scene_mix(const RigMixInput* inputs, int count, float master, RigMix* out)
{
    if (!out)
        return;
    std::memset(out, 0, sizeof *out);
    count = count < 0 ? 0 : count > RIG_MAX_INPUTS ? RIG_MAX_INPUTS : count;
    out->channels = count;
    out->master = usable_gain(master);
    if (!inputs)
        return;
    for (int i = 0; i < count; i++) {
        const RigMixInput& in = inputs[i];
        if (!in.present)
            continue;
        float g = in.muted ? 0.0f : usable_gain(in.gain);
        float l = 0.0f, r = 0.0f;
        if (!(i & 1) && in.link && i + 1 < count) {
            // A linked pair: each channel to its own side, the pan as a balance; the
            // odd input's own settings are not used.
            balance_law(in.pan, &l, &r);
            out->left[i] = l * g;
            out->right[i + 1] = r * g;
            i++;
            continue;
        }
        pan_law(in.pan, &l, &r);
        out->left[i] = l * g;
        out->right[i] = r * g;
    }
}

void rig_scene_to_mix(const RigScene* scene, int channels, RigMix* out)
{
    if (!out)
        return;
    RigMixInput inputs[RIG_MAX_INPUTS];
    std::memset(inputs, 0, sizeof inputs);
    int count = channels < 0 ? 0 : channels > RIG_MAX_INPUTS ? RIG_MAX_INPUTS : channels;
    int have = 0;
    if (scene)
        have = scene->channels < 0 ? 0 : scene->channels < count ? scene->channels : count;
    for (int i = 0; i < have; i++) {
        const RigInput& in = scene->inputs[i];
        inputs[i] = RigMixInput{in.gain, in.pan, in.muted, in.link, 1};
    }
    rig_scene_mix(inputs, count, scene ? scene->master_gain : 0.0f, out);
}

bool rig_mix_equal(const RigMix* a, const RigMix* b)
{
    if (a == b)
        return true;
    if (!a || !b || a->channels != b->channels || !(a->master == b->master))
        return false;
    int count = a->channels < 0 ? 0 : a->channels > RIG_MAX_INPUTS ? RIG_MAX_INPUTS : a->channels;
    for (int i = 0; i < count; i++)
        if (!(a->left[i] == b->left[i]) || !(a->right[i] == b->right[i]))
            return false;
    return true;
}
