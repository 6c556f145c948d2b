// settings.cpp - the settings text in its fixed order, and writing it whole over the
// settings file through a temporary file.
#include "app/settings.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "audio/engine.h"
#include "audio/vst.h"
#include "library/folder_tree.h"
#include "library/library.h"
#include "library/views/favourites_panel.h"
#include "platform/plat_file.h"

static const auto rl = std::memory_order_relaxed;

static uint32_t g_save_count;

// A text being rendered: each line gets the room that is left, so len may run past
// cap and then counts what the whole text needs.
struct SettingsText {
    char* buffer;
    size_t cap;
    size_t len;
};

static void text_line(SettingsText* t, const char* format, ...) __attribute__((format(printf, 2, 3)));

static void text_line(SettingsText* t, const char* format, ...)
{
    bool room = t->buffer && t->len < t->cap;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(room ? t->buffer + t->len : nullptr, room ? t->cap - t->len : 0, format, args);
    va_end(args);
    if (n > 0)
        t->len += (size_t)n;
}

// A text value is written only when it holds no line break: a line feed or a carriage
// return in a take's name, a device's name or a path would start a line of its own and
// stand for a setting at the next start. Any other byte (a TAB in a folder's name) is
// read back as it was written. Empty values are left out.
static bool value_storable(const char* value)
{
    return value[0] != '\0' && !std::strpbrk(value, "\r\n");
}

static void text_value(SettingsText* t, const char* key, const char* value)
{
    if (value && value_storable(value))
        text_line(t, "%s=%s\n", key, value);
}

size_t settings_format(AppState* app, char* buffer, size_t capacity)
{
    if (buffer && capacity > 0)
        buffer[0] = '\0';
    if (!app)
        return 0;
    Engine* e = app->engine;
    SettingsText t{buffer, capacity, 0};

    text_line(&t, "vidopen=%d\n", app->video_open ? 1 : 0);
    text_line(&t, "vidin=%f\n", app->video_in);
    text_line(&t, "vidout=%f\n", app->video_out);
    text_line(&t, "gain=%f\n", app->gain);
    text_line(&t, "pan=%f\n", app->pan);
    text_line(&t, "gate=%f\n", e ? e->gate_threshold.load(rl) : 0.0f);
    text_line(&t, "monitor=%d\n", e ? e->monitor.load(rl) : 1);
    text_line(&t, "overdub=%d\n", app->overdub ? 1 : 0);
    text_line(&t, "reversed=%d\n", e ? e->reversed.load(rl) : 0);
    text_line(&t, "broadcast=%d\n", app->broadcast ? 1 : 0);
    if (e) {
        text_line(&t, "buffer=%d\n", e->buffer_frames);
        text_line(&t, "exclusive=%d\n", e->exclusive_wanted ? 1 : 0);
    }
    text_value(&t, "session", app->session_name);
    text_line(&t, "keysheet=%d\n", app->keys_help_open ? 1 : 0);
    text_line(&t, "libopen=%d\n", app->library_open ? 1 : 0);
    text_line(&t, "libscroll=%d\n", app->take_scroll);
    text_line(&t, "libtab=%d\n", app->library_tab);
    text_line(&t, "barsper=%d\n", app->bars_per_segment);
    text_line(&t, "playerloop=%d\n", app->player_loop ? 1 : 0);
    text_line(&t, "playertoin=%d\n", app->player_to_input ? 1 : 0);
    // The library player's volume and reference length change in the library itself.
    if (app->library) {
        app->library_gain = library_get_volume(app->library);
        app->library_zoom = library_reference_length(app->library);
    }
    if (app->library_gain > 0.0f) {
        text_line(&t, "libgain=%.3f\n", app->library_gain);
        text_line(&t, "libzoom=%.3f\n", app->library_zoom);
    }
    // The browser's state texts are rendered now. Expanded folders that do not fit are
    // left off the end; a root or selection that does not fit leaves the text empty. A
    // path with a line break is left out alone (the root: the whole text).
    if (app->folder_tree)
        foldertree_state_string(app->folder_tree, app->folder_tree_state, sizeof app->folder_tree_state);
    if (app->favourites)
        favpanel_state_string(app->favourites, app->favourites_state, sizeof app->favourites_state);
    text_value(&t, "filesstate", app->folder_tree_state);
    text_value(&t, "favsstate", app->favourites_state);
    text_line(&t, "rigopen=%d\n", app->inputs_open ? 1 : 0);
    text_line(&t, "rigscroll=%f\n", app->inputs_scroll);
    text_line(&t, "rigsel=%d\n", app->inputs_selected);
    if (e) {
        char name[128], label[32];
        engine_chosen_device_label(e, name, sizeof name, label, sizeof label);
        if (value_storable(name) && (!label[0] || value_storable(label))) {
            text_line(&t, "indev=%s\n", name);
            text_line(&t, "inapi=%s\n", label);
        }
    }
    if (e) {
        text_line(&t, "wetdry=%f\n", e->wet_dry.load(rl));
        text_line(&t, "xfade=%f\n", e->crossfade.load(rl));
        text_line(&t, "fxbypass=%d\n", e->fx_bypass.load(rl) ? 1 : 0);
    }
    text_line(&t, "padmode=%d\n", app->pad_mode);
    if (e) {
        for (int i = 0; i < ENGINE_SLOTS; i++) {
            const FxSlot& s = e->slots[i];
            text_line(&t, "slot%d_type=%d\n", i, s.effect_type.load(rl));
            text_line(&t, "slot%d_p1=%f\n", i, s.knob1.load(rl));
            text_line(&t, "slot%d_p2=%f\n", i, s.knob2.load(rl));
            char key[32];
            snprintf(key, sizeof key, "slot%d_vstpath", i);
            if (VstPlugin* p = s.plugin.load(rl))
                text_value(&t, key, vst_path(p));
        }
        if (VstPlugin* p = e->instrument.load(rl))
            text_value(&t, "instpath", vst_path(p));
    }
    text_value(&t, "vidpath", app->video_path);
    return t.len;
}

bool settings_path(const AppState* app, char* out, size_t out_cap)
{
    if (!out || out_cap < 1)
        return false;
    out[0] = '\0';
    if (!app || !app->data_folder[0])
        return false;
    int n = snprintf(out, out_cap, "%s/%s", app->data_folder, SETTINGS_FILE_NAME);
    if (n < 0 || (size_t)n >= out_cap) {
        out[0] = '\0';
        return false;
    }
    return true;
}

// Writes text over path through "<path>.tmp.<pid>": flushed and synced before the
// rename, so the old file stays whole until the new one is. False (no temporary file
// left) when any step fails.
struct SettingsBytes {
    const char* text;
    size_t len;
};

static bool settings_write_bytes(void* ctx, FILE* f)
{
    const SettingsBytes* t = (const SettingsBytes*)ctx;
    return fwrite(t->text, 1, t->len, f) == t->len;
}

static bool settings_write(const char* path, const char* text, size_t len)
{
    SettingsBytes t = {text, len};
    return plat_file_write_replacing(path, settings_write_bytes, &t);
}

void settings_save(AppState* app)
{
    g_save_count++;
    if (!app)
        return;
    static char text[APP_SETTINGS_TEXT];
    size_t n = settings_format(app, text, sizeof text);
    if (n >= sizeof text)
        return;
    char path[600];
    if (!settings_path(app, path, sizeof path) || !settings_write(path, text, n))
        return;
    std::memcpy(app->settings_last, text, n + 1);
}

uint32_t settings_save_count(void)
{
    return g_save_count;
}
