// settings_load.cpp - reading the settings file at start-up and applying every key in
// its fixed order: a damaged or hostile file never applies a value outside its range.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_state.h"
#include "app/session_take.h"
#include "app/settings.h"
#include "app/takes.h"
#include "app/video_panel.h"
#include "audio/engine.h"
#include "audio/engine_retire.h"
#include "audio/fx.h"
#include "audio/loop_file.h"
#include "audio/vst.h"
#include "platform/plat_file.h"
#include "rig/rig_device.h"

static const auto rl = std::memory_order_relaxed;

// Longest time a restored video mark or library reference length may name (a day):
// anything longer is a damaged value, not a file the program played.
static const double kLongestSeconds = 86400.0;
// Largest inputs panel scroll, in layout units.
static const double kLargestScroll = 100000.0;
// The block size plug-ins are loaded with.
static const int kPluginBlock = 4096;

// ---------------------------------------------------------------------------
// Reading keys
// ---------------------------------------------------------------------------

// The value of key: the first line that begins with the key and "=". A key is matched
// only at the start of a line, so a folder name inside a state text can never stand
// for a setting written after it. Null when there is none.
static const char* settings_find(const char* text, const char* key)
{
    size_t klen = std::strlen(key);
    for (const char* line = text; *line;) {
        if (std::strncmp(line, key, klen) == 0 && line[klen] == '=')
            return line + klen + 1;
        const char* next = std::strchr(line, '\n');
        if (!next)
            break;
        line = next + 1;
    }
    return nullptr;
}

// The leading decimal number of the key's value (0 when the value does not start with
// one); false when the key is missing or the number is not finite.
static bool settings_number(const char* text, const char* key, double* out)
{
    const char* v = settings_find(text, key);
    if (!v)
        return false;
    double d = std::strtod(v, nullptr);
    if (!std::isfinite(d))
        return false;
    *out = d;
    return true;
}

static double settings_real(const char* text, const char* key, double fallback, double lo, double hi)
{
    double d = 0.0;
    if (!settings_number(text, key, &d))
        return fallback;
    return std::clamp(d, lo, hi);
}

static bool settings_bool(const char* text, const char* key, bool fallback)
{
    double d = 0.0;
    return settings_number(text, key, &d) ? d > 0.5 : fallback;
}

// The value truncated to an integer; fallback when missing or outside lo..hi.
static int settings_int(const char* text, const char* key, int fallback, int lo, int hi)
{
    double d = 0.0;
    if (!settings_number(text, key, &d))
        return fallback;
    d = std::trunc(d);
    return d >= lo && d <= hi ? (int)d : fallback;
}

// The value truncated to an integer and clamped to lo..hi; fallback when missing.
static int settings_int_clamped(const char* text, const char* key, int fallback, int lo, int hi)
{
    double d = 0.0;
    if (!settings_number(text, key, &d))
        return fallback;
    return (int)std::trunc(std::clamp(d, (double)lo, (double)hi));
}

// The value up to the end of its line, cut to fit out; empty when the key is missing.
static void settings_string(const char* text, const char* key, char* out, size_t out_cap)
{
    out[0] = '\0';
    const char* v = settings_find(text, key);
    if (!v)
        return;
    size_t n = std::strcspn(v, "\r\n");
    n = std::min(n, out_cap - 1);
    std::memcpy(out, v, n);
    out[n] = '\0';
}

// A session take is a plain file name in the takes folder: a name that would reach
// another folder is not one.
static bool settings_session_name_ok(const char* name)
{
    return !std::strchr(name, '/') && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

// Reads the file into text (terminated); false when it cannot be opened as a regular
// file or read.
static bool settings_read_file(const AppState* app, char* text, size_t cap)
{
    char path[600];
    if (!settings_path(app, path, sizeof path))
        return false;
    FILE* f = plat_file_open_read(path);
    if (!f)
        return false;
    size_t n = std::fread(text, 1, cap - 1, f);
    bool ok = !std::ferror(f);
    std::fclose(f);
    text[ok ? n : 0] = '\0';
    return ok;
}

// ---------------------------------------------------------------------------
// Applying
// ---------------------------------------------------------------------------

// A loaded plug-in, or null: failures are left out without a message.
static VstPlugin* settings_load_plugin(Engine* e, const char* path)
{
    if (!path[0])
        return nullptr;
    return vst_load(path, (float)e->sample_rate, kPluginBlock, nullptr, 0);
}

// The session take: the loop loads from it stopped; a take that cannot be loaded
// empties the session name and the loop plays on as usual. A take the loop cannot
// hold as it is (cut, resampled, channels dropped) is loaded as a new take, with a
// toast saying why, and its file is left as it is. Either way the loaded content
// counts as seen and saved.
static void settings_apply_session(AppState* app, Engine* e, const char* text)
{
    settings_string(text, "session", app->session_name, sizeof app->session_name);
    if (!settings_session_name_ok(app->session_name))
        app->session_name[0] = '\0';
    if (app->session_name[0]) {
        e->playing.store(0, rl);
        LoopLoadLoss loss{};
        if (!session_take_load(app, app->session_name, &loss))
            e->playing.store(1, rl);
        else if (loop_load_loss_any(&loss))
            take_toast_loaded(app, &loss, e->length.load(rl), e->sample_rate);
    }
    uint32_t gen = e->content_generation.load(rl);
    app->session_gen_seen = gen;
    app->session_gen_saved = gen;
}

// Buffer, exclusive mode and the chosen input device; the stream reopens only when
// one of them differs from the engine's.
static void settings_apply_device(Engine* e, const char* text)
{
    int buffer = settings_int(text, "buffer", e->buffer_frames, 64, 1024);
    if (buffer != 64 && buffer != 128 && buffer != 256 && buffer != 512 && buffer != 1024)
        buffer = e->buffer_frames;
    uint8_t exclusive = settings_bool(text, "exclusive", e->exclusive_wanted != 0) ? 1 : 0;
    char name[128], label[32];
    settings_string(text, "indev", name, sizeof name);
    settings_string(text, "inapi", label, sizeof label);
    int device = name[0] && label[0] ? engine_find_input_device(e, name, label) : -1;
    if (buffer == e->buffer_frames && exclusive == e->exclusive_wanted && device == e->chosen_input_device)
        return;
    e->buffer_frames = buffer;
    e->exclusive_wanted = exclusive;
    e->chosen_input_device = device;
    engine_start(e);
}

static void settings_apply_slots(Engine* e, const char* text)
{
    for (int i = 0; i < ENGINE_SLOTS; i++) {
        FxSlot* slot = &e->slots[i];
        char key[32], path[512];
        snprintf(key, sizeof key, "slot%d_type", i);
        int type = settings_int(text, key, FX_OFF, 0, FX_TYPE_COUNT - 1);
        snprintf(key, sizeof key, "slot%d_p1", i);
        slot->knob1.store((float)settings_real(text, key, 0.5, 0.0, 1.0), rl);
        snprintf(key, sizeof key, "slot%d_p2", i);
        slot->knob2.store((float)settings_real(text, key, 0.5, 0.0, 1.0), rl);
        snprintf(key, sizeof key, "slot%d_vstpath", i);
        settings_string(text, key, path, sizeof path);
        if (VstPlugin* p = settings_load_plugin(e, path))
            engine_publish_plugin(e, &slot->plugin, p);
        fx_set_type(slot, type);
    }
    char path[512];
    settings_string(text, "instpath", path, sizeof path);
    if (VstPlugin* p = settings_load_plugin(e, path)) {
        if (vst_is_synth(p))
            engine_publish_plugin(e, &e->instrument, p);
        else
            vst_unload(p);   // never published: no wait
    }
}

void settings_load(AppState* app)
{
    if (!app)
        return;
    static char text[APP_SETTINGS_TEXT];
    if (!settings_read_file(app, text, sizeof text))
        return;
    Engine* e = app->engine;

    app->gain = (float)settings_real(text, "gain", 1.0, 0.0, 2.0);
    app->pan = (float)settings_real(text, "pan", 0.0, -1.0, 1.0);
    if (e) {
        e->gain.store(app->gain, rl);
        e->pan.store(app->pan, rl);
        e->gate_threshold.store((float)settings_real(text, "gate", 0.0, 0.0, 1.0), rl);
        e->monitor.store(settings_bool(text, "monitor", true) ? 1 : 0, rl);
    }
    app->overdub = settings_bool(text, "overdub", true) ? 1 : 0;
    if (e) {
        e->reversed.store(settings_bool(text, "reversed", false) ? 1 : 0, rl);
        e->wet_dry.store((float)settings_real(text, "wetdry", 1.0, 0.0, 1.0), rl);
        e->crossfade.store((float)settings_real(text, "xfade", 1.0, 0.0, 1.0), rl);
        e->fx_bypass.store(settings_bool(text, "fxbypass", false) ? 1 : 0, rl);
    }
    app->broadcast = settings_bool(text, "broadcast", false) ? 1 : 0;
    app->inputs_open = settings_bool(text, "rigopen", false) ? 1 : 0;
    app->library_open = settings_bool(text, "libopen", false) ? 1 : 0;
    app->library_tab = settings_bool(text, "libtab", false) ? 1 : 0;
    app->library_gain = (float)settings_real(text, "libgain", 1.0, 0.0, 1.0);
    int bars = settings_int(text, "barsper", 4, 1, 8);
    app->bars_per_segment = bars == 1 || bars == 2 || bars == 4 || bars == 8 ? bars : 4;
    app->player_loop = settings_bool(text, "playerloop", false) ? 1 : 0;
    app->player_to_input = settings_bool(text, "playertoin", false) ? 1 : 0;
    if (e)
        e->player_to_input.store(app->player_to_input, rl);
    app->library_zoom = (float)settings_real(text, "libzoom", 0.0, 0.0, kLongestSeconds);
    settings_string(text, "filesstate", app->folder_tree_state, sizeof app->folder_tree_state);
    settings_string(text, "favsstate", app->favourites_state, sizeof app->favourites_state);

    app->video_open = settings_bool(text, "vidopen", false) ? 1 : 0;
    app->video_in = settings_real(text, "vidin", 0.0, 0.0, kLongestSeconds);
    app->video_out = settings_real(text, "vidout", 0.0, 0.0, kLongestSeconds);
    char video[sizeof app->video_path];
    settings_string(text, "vidpath", video, sizeof video);
    if (video[0])
        video_panel_open(app, video, true);

    app->keys_help_open = settings_bool(text, "keysheet", false) ? 1 : 0;
    if (e)
        settings_apply_session(app, e, text);
    app->take_scroll = settings_int_clamped(text, "libscroll", 0, 0, APP_TAKES_MAX);
    app->inputs_scroll = (float)settings_real(text, "rigscroll", 0.0, 0.0, kLargestScroll);
    app->inputs_selected = settings_int(text, "rigsel", -1, -1, RIG_MAX_INPUTS - 1);
    if (e)
        settings_apply_device(e, text);
    app->pad_mode = (uint8_t)settings_int(text, "padmode", 0, 0, 1);
    if (e)
        settings_apply_slots(e, text);
}
