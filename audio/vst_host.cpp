// vst_host.cpp - the host callback every plug-in is given, and the table that tells
// it which plug-in is calling.
// Threads: any. Plug-ins call in from the audio thread (the time request, on every
// block for some), the UI thread and their own threads, so nothing here locks, waits,
// allocates or logs.
#include <cstdio>
#include <cstring>

#include "audio/vst_plugin.h"

// ---------------------------------------------------------------------------
// Attached effects
// ---------------------------------------------------------------------------

// The effects whose set-up reached the point where they belong to a plug-in record.
// Written by the UI thread (loads and unloads), read by any thread. An effect not in
// the table is still inside its entry point, or already closed; it is answered with
// the values of the load in progress. (The effect's resvd1 is not read for this: it
// may still be under construction.)
enum { kAttachSlots = 64 };
static std::atomic<AEffect*> g_attached_effect[kAttachSlots];
static std::atomic<VstPlugin*> g_attached_plugin[kAttachSlots];

static std::atomic<float> g_load_rate{44100.0f};
static std::atomic<int32_t> g_load_block{4096};

bool vst_attach(AEffect* effect, VstPlugin* p)
{
    for (int i = 0; i < kAttachSlots; i++) {
        if (g_attached_effect[i].load(std::memory_order_relaxed) == nullptr) {
            g_attached_plugin[i].store(p, std::memory_order_relaxed);
            g_attached_effect[i].store(effect, std::memory_order_release);
            return true;
        }
    }
    return false;
}

void vst_detach(AEffect* effect)
{
    for (int i = 0; i < kAttachSlots; i++) {
        if (effect && g_attached_effect[i].load(std::memory_order_relaxed) == effect) {
            g_attached_effect[i].store(nullptr, std::memory_order_release);
            g_attached_plugin[i].store(nullptr, std::memory_order_relaxed);
        }
    }
}

VstPlugin* vst_attached(AEffect* effect)
{
    if (!effect)
        return nullptr;
    for (int i = 0; i < kAttachSlots; i++)
        if (g_attached_effect[i].load(std::memory_order_acquire) == effect)
            return g_attached_plugin[i].load(std::memory_order_relaxed);
    return nullptr;
}

void vst_host_set_load_values(float sample_rate, int32_t block_size)
{
    g_load_rate.store(sample_rate, std::memory_order_relaxed);
    g_load_block.store(block_size, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// The callback
// ---------------------------------------------------------------------------

// The plug-in this thread is running vst_process for, if any. Trivial and constant-
// initialised, so the audio thread's first use allocates nothing.
static thread_local const VstPlugin* t_processing = nullptr;
// The time record of every other request on this thread.
static thread_local VstTimeInfo t_time_info;

void vst_host_enter_process(const VstPlugin* p)
{
    t_processing = p;
}

void vst_host_leave_process(void)
{
    t_processing = nullptr;
}

// Transport always playing at 120 BPM in 4/4 from the plug-in's load on. A request
// from inside the plug-in's processing (the audio thread) is answered in the
// plug-in's own record, which only that thread writes; a request from any other
// thread (an editor's, a plug-in's own) in a record of that thread, built from the
// published position, so no two threads ever write one record.
static VstTimeInfo* fill_time(VstPlugin* p)
{
    VstTimeInfo* t = t_processing == p ? &p->time_info : &t_time_info;
    double pos = p->sample_pos.load(std::memory_order_relaxed);
    double rate = p->sample_rate > 0.0f ? p->sample_rate : 44100.0;
    std::memset(t, 0, sizeof *t);
    t->sample_pos = pos;
    t->sample_rate = rate;
    t->ppq_pos = pos / rate * 2.0;
    t->tempo = 120.0;
    t->time_sig_numerator = 4;
    t->time_sig_denominator = 4;
    t->flags = VST_TIME_TRANSPORT_PLAYING | VST_TIME_TEMPO_VALID;
    return t;
}

static intptr_t put_string(void* ptr, const char* text)
{
    if (ptr)
        snprintf((char*)ptr, VST_STRING_MAX, "%s", text);
    return 1;
}

static intptr_t can_do(const void* ptr)
{
    if (!ptr)
        return 0;
    const char* what = (const char*)ptr;
    return !strcmp(what, "sendVstEvents") || !strcmp(what, "sendVstMidiEvent") || !strcmp(what, "sizeWindow");
}

intptr_t vst_host_callback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    (void)opt;
    VstPlugin* p = vst_attached(effect);
    switch (opcode) {
    case VST_HOST_VERSION:
        return 2400;
    case VST_HOST_CURRENT_ID:
        return effect ? effect->unique_id : 0;
    case VST_HOST_WANT_MIDI:
        return 1;
    case VST_HOST_GET_TIME:
        return p ? (intptr_t)fill_time(p) : 0;
    case VST_HOST_SIZE_WINDOW:
        return p ? vst_editor_size_request(p, index, (int)value) : 0;
    case VST_HOST_GET_SAMPLE_RATE:
        return p ? (intptr_t)p->sample_rate : (intptr_t)g_load_rate.load(std::memory_order_relaxed);
    case VST_HOST_GET_BLOCK_SIZE:
        return p ? p->block_size : g_load_block.load(std::memory_order_relaxed);
    case VST_HOST_GET_VENDOR_STRING:
        return put_string(ptr, "tidecoil");
    case VST_HOST_GET_PRODUCT_STRING:
        return put_string(ptr, "tessel");
    case VST_HOST_GET_VENDOR_VERSION:
        return 1000;
    case VST_HOST_CAN_DO:
        return can_do(ptr);
    default:
        return 0;
    }
}
