// vst_load.cpp - loading a plug-in (library, entry point, effect set-up, buffers),
// unloading it, and the plain accessors.
// Threads: UI thread.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "audio/vst_plugin.h"
#include "platform/plat_mem.h"
#include "rig/rig_device.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

// Keeps every plug-in library mapped after its unload, for plug-ins whose threads
// outlive their close call. Off: every plug-in tried so far unloads cleanly.
static const bool kKeepLibrariesMapped = false;

// Blocks beyond this are refused at load; callers give 4096.
static const int kMaxBlock = 1 << 16;
// Channel counts beyond this are taken as a broken effect record.
static const int kMaxChannels = 1024;

static const char* const kErrLoadLibrary = "LoadLibrary failed (32-bit plugin in a 64-bit host?)";
static const char* const kErrNoEntry = "not a VST2 plugin (no VSTPluginMain)";
static const char* const kErrNoEffect = "plugin returned no effect";
static const char* const kErrNoReplacing = "plugin lacks processReplacing";

// How far set-up got, which decides what a failure has to undo.
enum LoadStage {
    STAGE_NO_EFFECT,     // nothing of the plug-in's to close
    STAGE_CREATED,       // the entry point returned a valid effect: close it
    STAGE_RUNNING,       // opened, mains on, processing: stop, mains off, close
};

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

static void set_error(char* err, size_t err_cap, const char* text)
{
    if (err && err_cap)
        snprintf(err, err_cap, "%s", text);
}

intptr_t vst_dispatch(VstPlugin* p, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    if (!p || !p->effect || !p->effect->dispatcher)
        return 0;
    return p->effect->dispatcher(p->effect, opcode, index, value, ptr, opt);
}

// Stops and closes the effect as far as set-up got; the effect is gone after this.
// It stays attached until closed: its shutdown may still ask the host questions.
static void close_effect(VstPlugin* p, LoadStage stage)
{
    AEffect* fx = p->effect;
    if (!fx)
        return;
    if (stage == STAGE_RUNNING) {
        vst_dispatch(p, VST_EFF_STOP_PROCESS, 0, 0, nullptr, 0.0f);
        vst_dispatch(p, VST_EFF_MAINS_CHANGED, 0, 0, nullptr, 0.0f);
    }
    if (stage >= STAGE_CREATED)
        vst_dispatch(p, VST_EFF_CLOSE, 0, 0, nullptr, 0.0f);
    vst_detach(fx);
    p->effect = nullptr;
}

// Frees the record, its buffers and the library. The effect must be closed.
static void free_plugin(VstPlugin* p)
{
    plat_dl_close(p->module);
    std::free(p->input_ptrs);
    std::free(p->output_ptrs);
    plat_aligned_free(p->buffers);
    delete p;
}

static VstPlugin* fail(VstPlugin* p, LoadStage stage, char* err, size_t err_cap, const char* text)
{
    close_effect(p, stage);
    free_plugin(p);
    if (text)
        set_error(err, err_cap, text);
    return nullptr;
}

// The record with its buffers: eight outputs, the scratch output and the silent
// input, made before the plug-in runs any code.
static VstPlugin* create_record(const char* path, float sample_rate, int block_size)
{
    VstPlugin* p = new (std::nothrow) VstPlugin();
    if (!p)
        return nullptr;
    snprintf(p->path, sizeof p->path, "%s", path ? path : "");
    p->sample_rate = sample_rate;
    p->block_size = block_size;
    p->ui_thread = std::this_thread::get_id();
    size_t n = (size_t)block_size;
    // Zeroed by writing every page now: calloc would leave this block to be faulted in
    // by the audio thread on the plug-in's first blocks.
    p->buffers = (float*)plat_aligned_alloc(64, n * (VST_MAX_IO + 2) * sizeof(float));
    if (!p->buffers) {
        delete p;
        return nullptr;
    }
    for (int i = 0; i < VST_MAX_IO; i++)
        p->outputs[i] = p->buffers + n * (size_t)i;
    p->scratch = p->buffers + n * VST_MAX_IO;
    p->silent = p->buffers + n * (VST_MAX_IO + 1);
    return p;
}

static int channels_declared(const AEffect* fx)
{
    int ins = fx->num_inputs > 0 ? fx->num_inputs : 0;
    int outs = fx->num_outputs > 0 ? fx->num_outputs : 0;
    int n = ins > outs ? ins : outs;
    return n > VST_MAX_IO ? n : VST_MAX_IO;
}

// Channel pointer arrays as long as the plug-in's declared counts (at least eight):
// it reads and writes as many pointers as it declares. Outputs past the eighth share
// the scratch buffer; every input starts as the silent one. False when out of memory
// or when the counts are absurd.
static bool size_pointer_arrays(VstPlugin* p)
{
    if (p->effect->num_inputs > kMaxChannels || p->effect->num_outputs > kMaxChannels)
        return false;
    int n = channels_declared(p->effect);
    if (n <= p->ptr_count)
        return true;
    float** ins = (float**)std::calloc((size_t)n, sizeof(float*));
    float** outs = (float**)std::calloc((size_t)n, sizeof(float*));
    if (!ins || !outs) {
        std::free(ins);
        std::free(outs);
        return false;
    }
    for (int i = 0; i < n; i++) {
        ins[i] = p->silent;
        outs[i] = i < VST_MAX_IO ? p->outputs[i] : p->scratch;
    }
    std::free(p->input_ptrs);
    std::free(p->output_ptrs);
    p->input_ptrs = ins;
    p->output_ptrs = outs;
    p->ptr_count = n;
    return true;
}

// The effect's own name, else the file name without folder and extension.
static void take_name(VstPlugin* p)
{
    char raw[256] = {};
    intptr_t ok = vst_dispatch(p, VST_EFF_GET_EFFECT_NAME, 0, 0, raw, 0.0f);
    raw[127] = '\0';
    if (ok && raw[0]) {
        rig_utf8_copy(p->name, (int)sizeof p->name, raw);
        return;
    }
    const char* base = p->path;
    for (const char* c = p->path; *c; c++)
        if (*c == '/' || *c == '\\')
            base = c + 1;
    char file[sizeof p->path];
    snprintf(file, sizeof file, "%s", base);
    char* dot = strrchr(file, '.');
    if (dot)
        *dot = '\0';
    rig_utf8_copy(p->name, (int)sizeof p->name, file);
}

// Steps from the entry call on; frees everything (the library too) on failure.
static VstPlugin* start_plugin(VstPlugin* p, VstEntry entry, char* err, size_t err_cap)
{
    AEffect* fx = entry(vst_host_callback);
    if (!fx || fx->magic != VST_MAGIC)
        return fail(p, STAGE_NO_EFFECT, err, err_cap, kErrNoEffect);
    p->effect = fx;
    if (!(fx->flags & VST_FLAG_CAN_REPLACE) || !fx->process_replacing)
        return fail(p, STAGE_CREATED, err, err_cap, kErrNoReplacing);
    if (!size_pointer_arrays(p))
        return fail(p, STAGE_CREATED, err, err_cap, nullptr);
    if (!vst_attach(fx, p))
        return fail(p, STAGE_CREATED, err, err_cap, nullptr);
    fx->resvd1 = (intptr_t)p;
    p->synth = (fx->flags & VST_FLAG_IS_SYNTH) ? 1 : 0;

    vst_dispatch(p, VST_EFF_OPEN, 0, 0, nullptr, 0.0f);
    vst_dispatch(p, VST_EFF_SET_SAMPLE_RATE, 0, 0, nullptr, p->sample_rate);
    vst_dispatch(p, VST_EFF_SET_BLOCK_SIZE, 0, p->block_size, nullptr, 0.0f);
    vst_dispatch(p, VST_EFF_MAINS_CHANGED, 0, 1, nullptr, 0.0f);
    vst_dispatch(p, VST_EFF_START_PROCESS, 0, 0, nullptr, 0.0f);
    // Some plug-ins settle their channel counts only when opened.
    if (!size_pointer_arrays(p))
        return fail(p, STAGE_RUNNING, err, err_cap, nullptr);

    take_name(p);
    p->event_list.num_events = 0;
    for (int i = 0; i < VST_MIDI_PER_BLOCK; i++) {
        VstMidiEvent* ev = &p->midi_events[i];
        ev->type = VST_EVENT_MIDI;
        ev->byte_size = (int32_t)sizeof(VstMidiEvent);
        p->event_list.events[i] = (VstEvent*)ev;
    }
    return p;
}

static bool check_block(int block_size, char* err, size_t err_cap)
{
    if (block_size >= 1 && block_size <= kMaxBlock)
        return true;
    set_error(err, err_cap, "bad block size");
    return false;
}

// ---------------------------------------------------------------------------
// Loading and unloading
// ---------------------------------------------------------------------------

VstPlugin* vst_load(const char* path, float sample_rate, int block_size, char* err, size_t err_cap)
{
    set_error(err, err_cap, "");
    if (!check_block(block_size, err, err_cap))
        return nullptr;
    VstPlugin* p = create_record(path, sample_rate, block_size);
    if (!p)
        return nullptr;
    vst_host_set_load_values(sample_rate, block_size);

    char why[512];
    p->module = plat_dl_open(path, kKeepLibrariesMapped, why, sizeof why);
    if (!p->module) {
        fprintf(stderr, "vst: %s\n", why);
        return fail(p, STAGE_NO_EFFECT, err, err_cap, kErrLoadLibrary);
    }
    // Looked up in the library only: "main" must never find the program's own.
    VstEntry entry = (VstEntry)plat_dl_sym(p->module, "VSTPluginMain");
    if (!entry)
        entry = (VstEntry)plat_dl_sym(p->module, "main");
    if (!entry)
        return fail(p, STAGE_NO_EFFECT, err, err_cap, kErrNoEntry);
    return start_plugin(p, entry, err, err_cap);
}

VstPlugin* vst_load_entry(const char* path, VstEntry entry, float sample_rate, int block_size, char* err,
                          size_t err_cap)
{
    set_error(err, err_cap, "");
    if (!check_block(block_size, err, err_cap))
        return nullptr;
    VstPlugin* p = create_record(path, sample_rate, block_size);
    if (!p)
        return nullptr;
    vst_host_set_load_values(sample_rate, block_size);
    if (!entry)
        return fail(p, STAGE_NO_EFFECT, err, err_cap, kErrNoEntry);
    return start_plugin(p, entry, err, err_cap);
}

void vst_unload(VstPlugin* p)
{
    if (!p)
        return;
    vst_editor_close(p);
    close_effect(p, STAGE_RUNNING);
    free_plugin(p);
}

// ---------------------------------------------------------------------------
// Accessors
// ---------------------------------------------------------------------------

float vst_get_parameter(VstPlugin* p, int index)
{
    if (!p || !p->effect || !p->effect->get_parameter)
        return 0.0f;
    return p->effect->get_parameter(p->effect, index);
}

void vst_set_parameter(VstPlugin* p, int index, float value)
{
    if (p && p->effect && p->effect->set_parameter)
        p->effect->set_parameter(p->effect, index, value);
}

void vst_get_param_name(VstPlugin* p, int index, char* out, size_t out_size)
{
    if (!out || !out_size)
        return;
    char raw[256] = {};
    vst_dispatch(p, VST_EFF_GET_PARAM_NAME, index, 0, raw, 0.0f);
    raw[127] = '\0';
    if (!raw[0])
        snprintf(out, out_size, "%s", "?");
    else
        rig_utf8_copy(out, out_size > 0x7fffffff ? 0x7fffffff : (int)out_size, raw);
}

const char* vst_name(const VstPlugin* p)
{
    return p ? p->name : "";
}

const char* vst_path(const VstPlugin* p)
{
    return p ? p->path : "";
}

bool vst_is_synth(const VstPlugin* p)
{
    return p && p->synth;
}
