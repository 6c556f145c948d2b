// router_publish.cpp - the session's side of the hand-over: a mix written under the
// sequence counter with the tag of the stream it belongs to.
// Threads: UI thread only (one writer).
#include "rig/router_internal.h"

// GCC's ThreadSanitizer does not model standalone fences and warns about each. Every
// payload field is an atomic of its own, so the sanitizer has nothing to miss here;
// the fences order the fields for the hardware.
#if defined(__SANITIZE_THREAD__) && defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wtsan"
#endif

static RigPublishHook g_publish_hook = nullptr;
static void* g_publish_hook_ctx = nullptr;

void rigroute_set_publish_hook(RigPublishHook hook, void* ctx)
{
    g_publish_hook = hook;
    g_publish_hook_ctx = ctx;
}

// The counter turns odd, a release fence orders it before the payload, the payload is
// stored field by field, and the release store of the even counter closes the write.
// The reader pairs this with an acquire load before its copy and an acquire fence after.
void rigroute_publish(RigRouter* r, uint32_t tag, int off, float master, float ramp_seconds,
                      const RigMix* mix)
{
    if (!r)
        return;
    const auto rl = std::memory_order_relaxed;
    int count = 0;
    if (mix)
        count = mix->channels < 0 ? 0 : mix->channels > RIG_MAX_INPUTS ? RIG_MAX_INPUTS : mix->channels;

    uint64_t s = r->seq.load(rl);
    r->seq.store(s + 1, rl);
    std::atomic_thread_fence(std::memory_order_release);
    r->tag.store(tag, rl);
    r->off.store(off ? 1u : 0u, rl);
    r->master.store(master, rl);
    r->ramp_seconds.store(ramp_seconds, rl);
    for (int c = 0; c < RIG_MAX_INPUTS; c++) {
        if (c == RIG_MAX_INPUTS / 2 && g_publish_hook)
            g_publish_hook(r, g_publish_hook_ctx);
        float gl = 0.0f, gr = 0.0f;
        if (c < count) {
            gl = rigroute_non_finite(mix->left[c]) ? 0.0f : mix->left[c];
            gr = rigroute_non_finite(mix->right[c]) ? 0.0f : mix->right[c];
        }
        r->pair[c][0].store(gl, rl);
        r->pair[c][1].store(gr, rl);
    }
    r->seq.store(s + 2, std::memory_order_release);
}

void rigroute_publish_mix(RigRouter* r, const RigMix* mix, uint32_t tag, float ramp_seconds)
{
    if (!r)
        return;
    if (!mix) {
        rigroute_publish_off(r);
        return;
    }
    if (!(ramp_seconds > 0.0f))
        ramp_seconds = 0.02f;
    if (ramp_seconds > 10.0f)
        ramp_seconds = 10.0f;
    float master = rigroute_non_finite(mix->master) ? 0.0f : mix->master;
    rigroute_publish(r, tag, 0, master, ramp_seconds, mix);
}

void rigroute_publish_off(RigRouter* r)
{
    rigroute_publish(r, 0, 1, 0.0f, 0.02f, nullptr);
}
