// vst_picker.cpp - the plug-in picker's scan, filter, choice and identification.
#include "app/vst_picker.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/musical_typing.h"
#include "app/toast.h"
#include "app/transport.h"
#include "app/vst_kinds.h"
#include "app/vst_picker_rows.h"
#include "audio/engine.h"
#include "audio/engine_retire.h"
#include "audio/vst.h"
#include "platform/plat_file.h"
#include "rig/rig_device.h"

static const uint32_t kPatchAColour = TOAST_PURPLE;        // slots 0 and 1
static const uint32_t kPatchBColour = TOAST_LIGHT_TEAL;    // slots 2 and 3, the instrument

static int32_t entry_count(const AppPicker* p)
{
    return p->count < 0 ? 0 : p->count < APP_PICKER_MAX ? p->count : APP_PICKER_MAX;
}

static int64_t file_size(const char* path)
{
    FILE* f = plat_file_open_read(path);
    if (!f)
        return 0;
    int64_t size = plat_file_size(f);
    fclose(f);
    return size > 0 ? size : 0;
}

static void lower_ascii(char* s)
{
    for (; *s; s++)
        *s = (char)tolower((unsigned char)*s);
}

void vst_picker_open(AppState* app, int32_t target)
{
    if (!app)
        return;
    AppPicker* p = &app->picker;
    p->open = 1;
    p->target = target;
    p->scroll = 0;
    p->tab = target < 0 ? 2 : 1;
    p->status[0] = '\0';
    p->search[0] = '\0';
    p->selection = 0;

    p->count = vst_scan_folders(p->entries, APP_PICKER_MAX);
    for (int32_t i = 0; i < entry_count(p); i++) {
        p->kind[i] = VST_KIND_UNKNOWN;
        p->label[i][0] = '\0';
        p->size[i] = file_size(p->entries[i].path);
    }
    vst_kinds_read(app);

    p->identifying = 0;
    p->identify_next = 0;
    p->identify_status[0] = '\0';
    vst_picker_filter(app);
}

// True when every space-separated word of search occurs in haystack (lower case).
static bool matches_words(const char* search, const char* haystack)
{
    const char* s = search;
    while (*s) {
        while (*s == ' ')
            s++;
        size_t len = strcspn(s, " ");
        if (len == 0)
            break;
        char word[48];
        size_t n = len < sizeof word - 1 ? len : sizeof word - 1;
        memcpy(word, s, n);
        word[n] = '\0';
        lower_ascii(word);
        if (!strstr(haystack, word))
            return false;
        s += len;
    }
    return true;
}

void vst_picker_filter(AppState* app)
{
    if (!app)
        return;
    AppPicker* p = &app->picker;
    int32_t chosen = p->selection >= 0 && p->selection < p->filtered_count ? p->filtered[p->selection] : -1;

    p->filtered_count = 0;
    for (int32_t i = 0; i < entry_count(p); i++) {
        uint8_t kind = p->kind[i];
        if (p->tab == 1 && (kind == VST_KIND_INSTRUMENT || kind == VST_KIND_FAILED))
            continue;
        if (p->tab == 2 && (kind == VST_KIND_EFFECT || kind == VST_KIND_FAILED))
            continue;
        if (p->search[0]) {
            char haystack[sizeof p->entries[i].name + sizeof p->label[i] + sizeof p->entries[i].path + 2];
            snprintf(haystack, sizeof haystack, "%s %s %s", p->entries[i].name, p->label[i], p->entries[i].path);
            lower_ascii(haystack);
            if (!matches_words(p->search, haystack))
                continue;
        }
        p->filtered[p->filtered_count++] = i;
    }

    p->selection = 0;
    for (int32_t r = 0; r < p->filtered_count; r++)
        if (p->filtered[r] == chosen)
            p->selection = r;
    vst_picker_show_selection(p);
}

// Loads the entry's file as the picker does for choosing and identifying.
static VstPlugin* load_entry(AppState* app, int32_t entry, char* err, size_t err_cap)
{
    snprintf(err, err_cap, "load failed");
    float rate = app->engine && app->engine->sample_rate > 0 ? (float)app->engine->sample_rate : 48000.0f;
    VstPlugin* plugin = vst_load(app->picker.entries[entry].path, rate, VST_PICKER_BLOCK, err, err_cap);
    if (!plugin && !err[0])
        snprintf(err, err_cap, "load failed");
    return plugin;
}

static void record_loaded(AppState* app, int32_t entry, const VstPlugin* plugin)
{
    AppPicker* p = &app->picker;
    p->kind[entry] = vst_is_synth(plugin) ? VST_KIND_INSTRUMENT : VST_KIND_EFFECT;
    rig_utf8_copy(p->label[entry], (int)sizeof p->label[entry], vst_name(plugin));
    vst_kinds_append(app, entry, p->kind[entry], p->label[entry]);
}

// The plug-in's name as the plug-in gives it: the shell's own toasts are capitals,
// names are shown as they are.
static void toast_name(AppState* app, const VstPlugin* plugin, uint32_t colour)
{
    toast_show(app, vst_name(plugin), colour);
}

void vst_picker_choose(AppState* app, int32_t entry)
{
    if (!app || !app->engine || entry < 0 || entry >= entry_count(&app->picker))
        return;
    AppPicker* p = &app->picker;
    Engine* e = app->engine;
    const char* name = p->entries[entry].name;
    char err[128];
    VstPlugin* plugin = load_entry(app, entry, err, sizeof err);
    if (!plugin) {
        if (snprintf(p->status, sizeof p->status, "%s: %s", name, err) < 0)   // cut to fit: shown, not parsed
            p->status[0] = '\0';
        p->kind[entry] = VST_KIND_FAILED;
        vst_kinds_append(app, entry, VST_KIND_FAILED, name);
        vst_picker_filter(app);
        return;
    }
    record_loaded(app, entry, plugin);

    if (p->target < 0) {
        if (!vst_is_synth(plugin)) {
            vst_unload(plugin);   // never published: no wait
            snprintf(p->status, sizeof p->status, "%s is not an instrument", name);
            vst_picker_filter(app);
            return;
        }
        app_instrument_unload(app);
        engine_publish_plugin(e, &e->instrument, plugin);
        typing_set(app, true);
        toast_name(app, plugin, kPatchBColour);
    } else if (p->target < ENGINE_SLOTS) {
        fxslot_remove_vst(app, p->target);
        engine_publish_plugin(e, &e->slots[p->target].plugin, plugin);
        toast_name(app, plugin, p->target < 2 ? kPatchAColour : kPatchBColour);
    } else {
        vst_unload(plugin);
        return;
    }
    p->open = 0;
}

void vst_picker_identify_step(AppState* app)
{
    if (!app)
        return;
    AppPicker* p = &app->picker;
    int32_t count = entry_count(p);
    int32_t i = p->identify_next < 0 ? 0 : p->identify_next;
    while (i < count && p->kind[i] != VST_KIND_UNKNOWN)
        i++;
    if (i >= count) {
        p->identify_status[0] = '\0';
        p->identifying = 0;
        p->identify_next = count;
        return;
    }
    const char* name = p->entries[i].name;
    snprintf(p->identify_status, sizeof p->identify_status, "%.60s", name);
    // Written before the load: should the load end the program, this line reads back
    // as failed and the file is not loaded again.
    vst_kinds_append(app, i, VST_KIND_UNKNOWN, name);
    char err[128];
    VstPlugin* plugin = load_entry(app, i, err, sizeof err);
    if (plugin) {
        record_loaded(app, i, plugin);
        vst_unload(plugin);   // never published: no wait
    } else {
        p->kind[i] = VST_KIND_FAILED;
        rig_utf8_copy(p->label[i], (int)sizeof p->label[i], name);
        vst_kinds_append(app, i, VST_KIND_FAILED, name);
    }
    p->identify_next = i + 1;
    vst_picker_filter(app);
}
