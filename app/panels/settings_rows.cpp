// settings_rows.cpp - the settings list's row geometry, labels and value texts.
#include <atomic>
#include <cstdio>

#include "app/app_state.h"
#include "app/panels/settings_panel.h"
#include "audio/engine.h"
#include "broadcast/firewall.h"
#include "platform/plat_audio_api.h"

static const char* const kLabels[APP_SETTINGS_ROWS] = {
    "INPUT", "BUFFER", "DEVICE", "MONITOR", "OVERDUB", "BROADCAST", "INPUTS PANEL", "LIBRARY", "KEYS",
};

HitRect settings_row_rect(int i)
{
    return HitRect{64, 330.5f + 48.0f * i, 512, 44};
}

const char* settings_row_label(int i)
{
    return i >= 0 && i < APP_SETTINGS_ROWS ? kLabels[i] : "";
}

static const char* on_off(bool on)
{
    return on ? "ON" : "OFF";
}

static const char* open_closed(bool open)
{
    return open ? "OPEN" : "CLOSED";
}

void settings_row_value(const AppState* app, int i, char* out, size_t size, bool* warning)
{
    if (warning)
        *warning = false;
    if (!out || size == 0)
        return;
    out[0] = '\0';
    if (!app || !app->engine)
        return;
    const Engine* e = app->engine;
    const char* direct = plat_host_api_policy()->direct_label;
    switch (i) {
    case 0: {
        bool on = e->running != 0;
        snprintf(out, size, "%.24s  %.8s  %s", on ? e->input_name : "OFFLINE", on ? e->host_label : "",
                 app->device_list_open ? "^" : "V");
        break;
    }
    case 1:
        snprintf(out, size, "%d", engine_block_in_force(e));
        break;
    case 2:
        if (e->asio) {
            snprintf(out, size, "%s", direct);
        } else if (!e->exclusive_wanted) {
            snprintf(out, size, "SHARED");
        } else {
            snprintf(out, size, "%s", e->exclusive_granted ? "EXCLUSIVE" : "EXCLUSIVE REFUSED");
            if (warning)
                *warning = !e->exclusive_granted;
        }
        break;
    case 3:
        snprintf(out, size, "%s", on_off(e->monitor.load(std::memory_order_relaxed) != 0));
        break;
    case 4:
        snprintf(out, size, "%s", on_off(app->overdub != 0));
        break;
    case 5:
        snprintf(out, size, "%s", !app->broadcast ? "OFF" : fw_needs_attention() ? "BLOCKED" : "ON AIR");
        break;
    case 6:
        snprintf(out, size, "%s", open_closed(app->inputs_open != 0));
        break;
    case 7:
        snprintf(out, size, "%s", open_closed(app->library_open != 0));
        break;
    case 8:
        snprintf(out, size, "?");
        break;
    default:
        break;
    }
}
