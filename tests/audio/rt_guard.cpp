// The real-time guard: the callback must never allocate, lock, wait, print or touch
// files. This binary is linked with --wrap for those C functions (see
// tests/audio/CMakeLists.txt) and replaces operator new and delete; every call made
// while plat_rt_active() says the thread is inside the callback is counted. Each
// scenario runs 10,000 blocks and must count nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "audio/engine.h"
#include "audio/engine_retire.h"
#include "audio/fx.h"
#include "audio/looper.h"
#include "audio/preview.h"
#include "audio/vst.h"
#include "broadcast/tcstream.h"
#include "platform/plat_audio_api.h"
#include "platform/plat_rt.h"
#include "rig/router.h"
#include "support/fake_audio.h"
#include "tests/audio/preview_kit.h"
#include "vst_test_support.h"

// ---------------------------------------------------------------------------
// Counting wrappers
// ---------------------------------------------------------------------------

namespace {

enum RtKind { RT_ALLOC, RT_FREE, RT_LOCK, RT_WAIT, RT_IO, RT_KINDS };
const char* const kKindNames[RT_KINDS] = {"allocations", "frees", "locks", "waits", "stdio or file calls"};
std::atomic<uint64_t> g_counts[RT_KINDS];

inline void rt_note(RtKind kind)
{
    if (plat_rt_active())
        g_counts[kind].fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

extern "C" {
void* __real_malloc(size_t n);
void* __real_calloc(size_t n, size_t size);
void* __real_realloc(void* p, size_t n);
void* __real_aligned_alloc(size_t alignment, size_t n);
int __real_posix_memalign(void** p, size_t alignment, size_t n);
void __real_free(void* p);
int __real_pthread_mutex_lock(pthread_mutex_t* m);
int __real_pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m);
int __real_pthread_cond_timedwait(pthread_cond_t* c, pthread_mutex_t* m, const struct timespec* t);
int __real_nanosleep(const struct timespec* t, struct timespec* rem);
int __real_usleep(unsigned usec);
size_t __real_fwrite(const void* p, size_t size, size_t n, FILE* f);
int __real_vfprintf(FILE* f, const char* fmt, va_list ap);
int __real_puts(const char* s);
int __real_fputs(const char* s, FILE* f);
FILE* __real_fopen(const char* path, const char* mode);

void* __wrap_malloc(size_t n) { rt_note(RT_ALLOC); return __real_malloc(n); }
void* __wrap_calloc(size_t n, size_t size) { rt_note(RT_ALLOC); return __real_calloc(n, size); }
void* __wrap_realloc(void* p, size_t n) { rt_note(RT_ALLOC); return __real_realloc(p, n); }
void* __wrap_aligned_alloc(size_t a, size_t n) { rt_note(RT_ALLOC); return __real_aligned_alloc(a, n); }
int __wrap_posix_memalign(void** p, size_t a, size_t n) { rt_note(RT_ALLOC); return __real_posix_memalign(p, a, n); }
void __wrap_free(void* p) { rt_note(RT_FREE); __real_free(p); }
int __wrap_pthread_mutex_lock(pthread_mutex_t* m) { rt_note(RT_LOCK); return __real_pthread_mutex_lock(m); }
int __wrap_pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) { rt_note(RT_WAIT); return __real_pthread_cond_wait(c, m); }
int __wrap_pthread_cond_timedwait(pthread_cond_t* c, pthread_mutex_t* m, const struct timespec* t)
{
    rt_note(RT_WAIT);
    return __real_pthread_cond_timedwait(c, m, t);
}
int __wrap_nanosleep(const struct timespec* t, struct timespec* rem) { rt_note(RT_WAIT); return __real_nanosleep(t, rem); }
int __wrap_usleep(unsigned usec) { rt_note(RT_WAIT); return __real_usleep(usec); }
size_t __wrap_fwrite(const void* p, size_t size, size_t n, FILE* f) { rt_note(RT_IO); return __real_fwrite(p, size, n, f); }
int __wrap_vfprintf(FILE* f, const char* fmt, va_list ap) { rt_note(RT_IO); return __real_vfprintf(f, fmt, ap); }
int __wrap_fprintf(FILE* f, const char* fmt, ...)
{
    rt_note(RT_IO);
    va_list ap;
    va_start(ap, fmt);
    int r = __real_vfprintf(f, fmt, ap);
    va_end(ap);
    return r;
}
int __wrap_printf(const char* fmt, ...)
{
    rt_note(RT_IO);
    va_list ap;
    va_start(ap, fmt);
    int r = __real_vfprintf(stdout, fmt, ap);
    va_end(ap);
    return r;
}
int __wrap_puts(const char* s) { rt_note(RT_IO); return __real_puts(s); }
int __wrap_fputs(const char* s, FILE* f) { rt_note(RT_IO); return __real_fputs(s, f); }
FILE* __wrap_fopen(const char* path, const char* mode) { rt_note(RT_IO); return __real_fopen(path, mode); }
}

// The C++ allocator, counted the same way (calls from inside libstdc++ included).
static void* rt_new(size_t n)
{
    rt_note(RT_ALLOC);
    void* p = __real_malloc(n ? n : 1);
    if (!p)
        std::abort();
    return p;
}

static void* rt_new_aligned(size_t n, std::align_val_t al)
{
    rt_note(RT_ALLOC);
    size_t a = (size_t)al < sizeof(void*) ? sizeof(void*) : (size_t)al;
    void* p = __real_aligned_alloc(a, (n + a - 1) / a * a + (n ? 0 : a));
    if (!p)
        std::abort();
    return p;
}

static void rt_delete(void* p)
{
    rt_note(RT_FREE);
    __real_free(p);
}

void* operator new(size_t n) { return rt_new(n); }
void* operator new[](size_t n) { return rt_new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return rt_new(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return rt_new(n); }
void* operator new(size_t n, std::align_val_t a) { return rt_new_aligned(n, a); }
void* operator new[](size_t n, std::align_val_t a) { return rt_new_aligned(n, a); }
void* operator new(size_t n, std::align_val_t a, const std::nothrow_t&) noexcept { return rt_new_aligned(n, a); }
void* operator new[](size_t n, std::align_val_t a, const std::nothrow_t&) noexcept { return rt_new_aligned(n, a); }
void operator delete(void* p) noexcept { rt_delete(p); }
void operator delete[](void* p) noexcept { rt_delete(p); }
void operator delete(void* p, size_t) noexcept { rt_delete(p); }
void operator delete[](void* p, size_t) noexcept { rt_delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { rt_delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { rt_delete(p); }
void operator delete(void* p, std::align_val_t) noexcept { rt_delete(p); }
void operator delete[](void* p, std::align_val_t) noexcept { rt_delete(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { rt_delete(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { rt_delete(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { rt_delete(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { rt_delete(p); }

// ---------------------------------------------------------------------------
// Scenarios
// ---------------------------------------------------------------------------

namespace {

const int kBlocks = 10000;
const int kFrames = 128;

// A preview player and a recorder as the shell will install them: they only touch
// memory set up beforehand.
struct Hooks {
    float phase = 0.0f;
    float ring[8192] = {};
    size_t ring_pos = 0;
    uint64_t tapped = 0;
    std::unique_ptr<VstMockLib> mock;   // the mock plug-in's library, held for its state
    VstPlugin* plugin = nullptr;         // loaded as the instrument and into two slots
    PreviewPlayer player;                // the real preview player, on the render hook
    RigRouter* router = nullptr;         // the rig's router, when a scenario routes
    Station* station = nullptr;          // on air, fed by the output tap
};

const uint32_t kStreamTag = 0x5eed;

Station g_station;

// The broadcast tap as the shell installs it: the station's feed.
void broadcast_tap(void* ctx, const float* out, int32_t n, int32_t rate)
{
    tcstream_feed((Station*)ctx, out, n, (double)rate);
}

// The station on air with the tap installed, as the shell does it.
void station_on_air(Engine* e, Hooks* h)
{
    ASSERT_EQ(tcstream_init(&g_station, "tessel", "Tessel", "output", "out", 0, ""), 0);
    h->station = &g_station;
    ASSERT_EQ(tcstream_start(h->station), 0);
    engine_set_output_tap(e, broadcast_tap, h->station);
}

void preview_hook(void* ctx, float* l, float* r, int32_t n, double rate)
{
    Hooks* h = (Hooks*)ctx;
    float step = (float)(2.0 * 3.14159265358979 * 330.0 / rate);
    for (int32_t i = 0; i < n; i++) {
        float s = 0.1f * std::sin(h->phase);
        h->phase += step;
        if (h->phase > 6.2831853f)
            h->phase -= 6.2831853f;
        l[i] += s;
        r[i] += s;
    }
}

void player_hook(void* ctx, float* l, float* r, int32_t n, double rate)
{
    preview_render((PreviewPlayer*)ctx, l, r, n, rate);
}

// The UI's commands to the preview player between blocks: takes loaded, sought,
// looped over regions, paused, run off their end; retired buffers taken and freed.
void drive_player(Engine* e, int block)
{
    PreviewPlayer* p = (PreviewPlayer*)e->render_hook_ctx.load();
    switch (block % 200) {
    case 0: preview_load(p, preview_kit_buffer(2, 44100.0, 44100), true); break;
    case 20: preview_seek(p, 0.3); break;
    case 30: preview_set_region(p, 0.25, 0.5, true); break;
    case 40: preview_set_looping(p, block % 400 == 0); break;
    case 60: preview_pause(p); break;
    case 70: preview_play(p); break;
    case 80: preview_set_gain(p, 0.5f); break;
    case 90: sample_buffer_destroy(preview_take_retired(p)); break;
    case 100: preview_load(p, preview_kit_buffer(1, 96000.0, 4800), true); break;
    case 120: preview_set_region(p, 0.0, 1.0, false); break;
    case 150: preview_seek(p, 0.9); break;
    default: break;
    }
}

void recorder_tap(void* ctx, const float* out, int32_t n, int32_t)
{
    Hooks* h = (Hooks*)ctx;
    for (int32_t i = 0; i < 2 * n; i++) {
        h->ring[h->ring_pos] = out[i];
        h->ring_pos = (h->ring_pos + 1) % 8192;
    }
    h->tapped += (uint64_t)n;
}

struct Scenario {
    const char* name;
    int frames;                                            // per block
    void (*setup)(Engine* e, Hooks* h);
    void (*before_block)(Engine* e, int block);            // UI actions between blocks
    bool (*ran)(Engine* e, const Hooks* h);                // the state was really reached
};

void set_loop(Engine* e, int32_t frames)
{
    std::vector<float> l((size_t)frames), r((size_t)frames);
    for (int32_t i = 0; i < frames; i++)
        l[(size_t)i] = r[(size_t)i] = 0.1f * std::sin((float)i * 0.05f);
    loop_set_buffers(e, l.data(), r.data(), frames);
}

void no_action(Engine*, int) {}

const Scenario kScenarios[] = {
    {"IdleMonitoring", kFrames, [](Engine*, Hooks*) {}, no_action,
     [](Engine* e, const Hooks*) { return e->length.load() == 0 && e->output_peak.load() > 0.0f; }},
    {"FirstPass", kFrames, [](Engine* e, Hooks*) { e->record = 1; }, no_action,
     [](Engine* e, const Hooks*) { return e->position.load() == kBlocks * kFrames && e->length.load() == 0; }},
    {"OverdubForward", kFrames,
     [](Engine* e, Hooks*) {
         set_loop(e, 96000);
         e->record = 1;
     },
     no_action, [](Engine* e, const Hooks*) { return e->wrap_count.load() > 0 && e->record_ramp > 0.99f; }},
    {"OverdubReverse", kFrames,
     [](Engine* e, Hooks*) {
         set_loop(e, 96000);
         e->record = 1;
         e->reversed = 1;
     },
     no_action, [](Engine* e, const Hooks*) { return e->wrap_count.load() > 0 && e->record_ramp > 0.99f; }},
    {"HoldDub", kFrames,
     [](Engine* e, Hooks*) {
         set_loop(e, 50000);
         e->hold_dub = 1;
     },
     no_action, [](Engine* e, const Hooks*) { return e->record_ramp > 0.99f; }},
    // Every request in turn, first passes started and closed, and the UI resizing.
    {"Requests", kFrames, [](Engine*, Hooks*) {},
     [](Engine* e, int block) {
         switch (block % 400) {
         case 0: e->clear_request = 1; break;
         case 1: e->record = 1; break;
         case 60: e->close_request = 1; break;
         case 61: e->record = 0; break;
         case 100: e->seek_request = 1000; break;
         case 150: loop_resize(e, 20000 + block); break;
         case 200: e->length_request = 30000; break;
         case 250: e->reversed = 1; break;
         case 251: e->record = 1; break;
         case 300: e->record = 0; e->reversed = 0; break;
         case 350: loop_seek_fraction(e, 0.5); break;
         default: break;
         }
     },
     [](Engine* e, const Hooks*) { return e->loop_set_count.load() >= 50; }},
    {"RenderHookAndOutputTap", kFrames,
     [](Engine* e, Hooks* h) {
         set_loop(e, 48000);
         engine_set_render_hook(e, preview_hook, h);
         engine_set_output_tap(e, recorder_tap, h);
     },
     [](Engine* e, int block) { e->player_to_input = (block / 100) % 2; },
     [](Engine*, const Hooks* h) { return h->tapped == (uint64_t)kBlocks * kFrames; }},
    // The preview player as the take view drives it, fed into the loop being recorded
    // every other 100 blocks.
    {"PreviewPlayer", kFrames,
     [](Engine* e, Hooks* h) {
         set_loop(e, 48000);
         preview_init(&h->player);
         engine_set_render_hook(e, player_hook, &h->player);
     },
     [](Engine* e, int block) {
         drive_player(e, block);
         e->player_to_input = (block / 100) % 2;
         e->record = e->player_to_input.load();
     },
     [](Engine*, const Hooks* h) {
         return h->player.generation.load() == 2 * kBlocks / 200 && h->player.pending.load() == nullptr &&
                h->player.ended.load() == 1;
     }},
    {"GateOn", kFrames, [](Engine* e, Hooks*) { e->gate_threshold = 0.05f; },
     [](Engine* e, int block) { e->gain = (block / 50) % 2 ? 1.0f : 0.0f; },
     [](Engine* e, const Hooks*) { return e->gate_gain > 0.9f; }},
    // Effect types cycled in every slot, through both patches and the crossfade. Run
    // alone (as ctest runs each scenario), each effect's first use in the process is
    // inside the callback, after engine_init.
    {"EffectPatches", kFrames,
     [](Engine* e, Hooks*) {
         e->crossfade = 0.5f;
         for (int s = 0; s < ENGINE_SLOTS; s++) {
             e->slots[s].knob1 = 0.3f + 0.1f * (float)s;
             e->slots[s].knob2 = 0.6f;
         }
     },
     [](Engine* e, int block) {
         for (int s = 0; s < ENGINE_SLOTS; s++)
             e->slots[s].effect_type = (block / 20 + s) % FX_TYPE_COUNT;
         e->fx_bypass = (block / 70) % 3 == 2 ? 1 : 0;   // the fx bypass now and then
     },
     [](Engine*, const Hooks*) { return true; }},
    // A plug-in as the instrument and in a slot of each patch, asking the host for the
    // time every block, with MIDI notes queued from the UI side.
    {"PlugIns", kFrames,
     [](Engine* e, Hooks* h) {
         h->mock = std::make_unique<VstMockLib>("vst_mock.so");
         ASSERT_NE(h->mock->state, nullptr) << "no mock plug-in at " << h->mock->path;
         h->mock->config().ask_time = true;
         h->plugin = h->mock->load();
         ASSERT_NE(h->plugin, nullptr);
         engine_publish_plugin(e, &e->instrument, h->plugin);
         engine_publish_plugin(e, &e->slots[0].plugin, h->plugin);
         engine_publish_plugin(e, &e->slots[2].plugin, h->plugin);
     },
     [](Engine* e, int block) {
         VstPlugin* p = e->instrument.load();
         if (block % 10 == 0)
             vst_midi_push(p, 0x90, (uint8_t)(48 + block / 10 % 24), 100);
         if (block % 10 == 5)
             vst_midi_push(p, 0x80, (uint8_t)(48 + block / 10 % 24), 0);
     },
     [](Engine*, const Hooks* h) { return h->mock && h->mock->stats().process_calls.load() >= 3 * kBlocks; }},
    // The rig's router in the path: a mix for another device first, so the device's
    // default mix ramps in after a second, then a new mix of the session every 7
    // blocks, each with a ramp of its own.
    {"RoutedInput", kFrames,
     [](Engine* e, Hooks* h) {
         h->router = rigroute_new();
         ASSERT_NE(h->router, nullptr);
         RigMix mix;
         rig_default_input_mix("alsa", 2, &mix);
         rigroute_prepare(h->router, 48000.0, 2, kStreamTag, &mix);
         rigroute_publish_mix(h->router, &mix, kStreamTag + 1, 0.0f);
         e->router = h->router;
     },
     [](Engine* e, int block) {
         if (block >= 1000 && block % 7 == 0) {
             RigMix mix;
             rig_default_input_mix("jack", 2, &mix);
             mix.left[1] = (float)(block % 5) / 4.0f;
             rigroute_publish_mix(e->router, &mix, kStreamTag, 0.01f);
         }
     },
     [](Engine*, const Hooks* h) {
         RigMeters m;
         rigroute_take_meters(h->router, &m);
         return m.blocks == (uint64_t)kBlocks && !m.silent && m.input_peak[1] > 0.0f;
     }},
    // The station on air: the tap fills its ring, faster than the station thread
    // drains it, so blocks are also dropped whole.
    {"BroadcastTap", kFrames,
     station_on_air, no_action,
     [](Engine*, const Hooks* h) { return h->station && h->station->written.load() >= TCSTREAM_RING_FRAMES; }},
    // The same at a device rate of 44.1 kHz: every block is converted to 48 kHz.
    {"BroadcastTapResampled", kFrames,
     [](Engine* e, Hooks* h) {
         e->sample_rate = 44100.0;
         station_on_air(e, h);
     },
     no_action,
     [](Engine*, const Hooks* h) {
         return h->station && h->station->resampler_rate == 44100.0 &&
                h->station->written.load() >= TCSTREAM_RING_FRAMES;
     }},
    // A UI write in progress: the loop is held while the input still plays.
    {"LoopHeld", kFrames,
     [](Engine* e, Hooks*) {
         set_loop(e, 48000);
         e->record = 1;
         e->loop_hold = 1;
     },
     no_action, [](Engine* e, const Hooks*) { return e->position.load() == 0; }},
    // Blocks longer than the working buses, processed in pieces.
    {"LongBlocks", 5000,
     [](Engine* e, Hooks*) {
         set_loop(e, 48000);
         e->record = 1;
     },
     no_action, [](Engine* e, const Hooks*) { return e->wrap_count.load() > 1000; }},
    {"OneFrameBlocks", 1, [](Engine* e, Hooks*) { set_loop(e, 4800); e->record = 1; }, no_action,
     [](Engine* e, const Hooks*) { return e->wrap_count.load() == 2; }},
};

class RtGuard : public ::testing::TestWithParam<Scenario> {
protected:
    Engine* e = engine_instance();
    Hooks hooks;

    void SetUp() override
    {
        fake_audio_reset();
        engine_use_backend(fake_audio_backend(), plat_host_api_policy_windows());
        ASSERT_TRUE(engine_init(e));
        e->input_channels = 2;
        e->sample_rate = 48000.0;
    }
    void TearDown() override
    {
        // The same plug-in sits in three places: clear two, retire (and unload) it once.
        if (hooks.plugin) {
            e->slots[0].plugin = nullptr;
            e->slots[2].plugin = nullptr;
            engine_retire_plugin(e, &e->instrument);
        }
        engine_shutdown(e);
        rigroute_free(hooks.router);
        engine_use_backend(nullptr, nullptr);
        preview_kit_empty(&hooks.player);
        tcstream_shutdown(hooks.station);
    }
};

// Names the scenario wherever gtest prints the parameter (ctest's test names too).
void PrintTo(const Scenario& sc, std::ostream* os)
{
    *os << sc.name;
}

std::string scenario_name(const ::testing::TestParamInfo<Scenario>& info)
{
    return info.param.name;
}

// Pink-ish noise with a few non-finite samples, which the callback scrubs.
void fill_input(std::vector<float>* in, int block)
{
    uint32_t seed = 0x9e3779b9u ^ (uint32_t)block;
    float b0 = 0.0f, b1 = 0.0f;
    for (size_t i = 0; i < in->size(); i++) {
        seed = seed * 1664525u + 1013904223u;
        float white = (float)(seed >> 8) / 8388608.0f - 1.0f;
        b0 = 0.99765f * b0 + white * 0.0990460f;
        b1 = 0.96300f * b1 + white * 0.2965164f;
        (*in)[i] = 0.25f * (b0 + b1 + white * 0.18f);
    }
    if (block % 1000 == 999)
        (*in)[0] = std::numeric_limits<float>::quiet_NaN();
}

// Runs the scenario's blocks; returns the page faults taken inside the callback.
static uint64_t run_blocks(Engine* e, const Scenario& sc)
{
    std::vector<float> in((size_t)sc.frames * 2), out((size_t)sc.frames * 2);
    uint64_t faults = 0;
    for (int b = 0; b < kBlocks; b++) {
        sc.before_block(e, b);
        if (b % 16 == 0)
            fill_input(&in, b);
        uint64_t f0 = plat_rt_page_faults();
        engine_audio_callback(in.data(), out.data(), (unsigned long)sc.frames, nullptr, 0, e);
        faults += plat_rt_page_faults() - f0;
    }
    return faults;
}

TEST_P(RtGuard, TenThousandBlocksMakeNoForbiddenCall)
{
    const Scenario& sc = GetParam();
    sc.setup(e, &hooks);
    if (HasFatalFailure())
        return;
    uint64_t counts[RT_KINDS];
    for (int k = 0; k < RT_KINDS; k++)
        counts[k] = g_counts[k].load();
    uint64_t faults = run_blocks(e, sc);
    for (int k = 0; k < RT_KINDS; k++)
        EXPECT_EQ(g_counts[k].load() - counts[k], 0u) << kKindNames[k] << " inside the callback";
    // Every array the callback touches was written at start-up, and every effect's
    // code was run there once. A page the callback touches first faults again in a
    // fresh start (fresh memory); one the kernel took away meanwhile (a busy machine)
    // does not: a fault counts only when a second start from scratch repeats it.
    uint64_t again = 0;
    if (faults > 0) {
        TearDown();
        hooks.mock.reset();
        hooks.plugin = nullptr;
        hooks.router = nullptr;
        hooks.station = nullptr;
        hooks.phase = 0.0f;
        hooks.ring_pos = 0;
        hooks.tapped = 0;
        SetUp();
        sc.setup(e, &hooks);
        if (HasFatalFailure())
            return;
        again = run_blocks(e, sc);
    }
    EXPECT_EQ(std::min(faults, again), 0u) << "page faults inside the callback, " << faults << " then " << again
                                           << " from a fresh start";
    EXPECT_TRUE(sc.ran(e, &hooks)) << "the scenario never reached its state";
    EXPECT_EQ(e->callback_count.load(), (uint32_t)kBlocks);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, RtGuard, ::testing::ValuesIn(kScenarios), scenario_name);

// ---------------------------------------------------------------------------
// The guard itself
// ---------------------------------------------------------------------------

struct Offender {
    FILE* sink = nullptr;
    std::mutex lock;
    void* volatile kept = nullptr;
    int* volatile kept_new = nullptr;
};

void offending_hook(void* ctx, float*, float*, int32_t, double)
{
    Offender* o = (Offender*)ctx;
    o->kept = std::malloc(64);
    o->kept_new = new int(7);
    o->lock.lock();
    o->lock.unlock();
    std::fprintf(o->sink, "block %d\n", *o->kept_new);
    std::this_thread::sleep_for(std::chrono::microseconds(1));
}

class RtGuardSelf : public RtGuard {};

// A callback that breaks every rule is seen breaking each of them, so a count of 0
// above means something.
TEST_F(RtGuardSelf, CountsWhatAHookDoesInsideTheCallback)
{
    Offender o;
    o.sink = std::fopen("/dev/null", "w");
    ASSERT_NE(o.sink, nullptr);
    uint64_t counts[RT_KINDS];
    for (int k = 0; k < RT_KINDS; k++)
        counts[k] = g_counts[k].load();
    engine_set_render_hook(e, offending_hook, &o);
    std::vector<float> in(256, 0.0f), out(256);
    engine_audio_callback(in.data(), out.data(), 128, nullptr, 0, e);
    engine_set_render_hook(e, nullptr, nullptr);
    EXPECT_GE(g_counts[RT_ALLOC].load() - counts[RT_ALLOC], 2u);
    EXPECT_GE(g_counts[RT_LOCK].load() - counts[RT_LOCK], 1u);
    EXPECT_GE(g_counts[RT_IO].load() - counts[RT_IO], 1u);
    EXPECT_GE(g_counts[RT_WAIT].load() - counts[RT_WAIT], 1u);
    EXPECT_EQ(g_counts[RT_FREE].load() - counts[RT_FREE], 0u);
    std::free(o.kept);
    delete o.kept_new;
    EXPECT_EQ(g_counts[RT_FREE].load() - counts[RT_FREE], 0u);   // outside the callback
    std::fclose(o.sink);
}

}  // namespace
