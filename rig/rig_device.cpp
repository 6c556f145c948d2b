// rig_device.cpp - device identity (placeholder until the full rules land).
#include "rig/rig_device.h"

#include <cstdio>
#include <cstring>

int rig_utf8_copy(char* dst, int size, const char* src)
{
    if (!dst || size < 1)
        return 0;
    snprintf(dst, (size_t)size, "%s", src ? src : "");
    return (int)strlen(dst);
}

int rig_api_name(int type_id, char* out, int size)
{
    if (!out || size < 1)
        return 0;
    const char* w = type_id == 12 ? "jack" : type_id == 8 ? "alsa" : type_id == 3 ? "asio" : type_id == 13 ? "wasapi" : nullptr;
    int n = w ? snprintf(out, (size_t)size, "%s", w) : snprintf(out, (size_t)size, "api%d", type_id);
    return (int)strlen(out) < n ? (int)strlen(out) : n;
}

int rig_device_name_utf8(const char* name, char* out, int size) { return rig_utf8_copy(out, size, name); }

int rig_device_key(const char* api, const char* name, char* out, int size)
{
    if (!out || size < 1)
        return -1;
    out[0] = 0;
    int n = snprintf(out, (size_t)size, "%s:%s", api ? api : "", name ? name : "");
    if (n >= size) {
        out[0] = 0;
        return -1;
    }
    return n;
}

uint32_t rig_fnv1a32(const char* text)
{
    uint32_t h = 0x811c9dc5u;
    for (const unsigned char* p = (const unsigned char*)(text ? text : ""); *p; p++)
        h = (h ^ *p) * 16777619u;
    return h ? h : 1;
}

bool rig_api_is_direct(const char* api) { return api && (!strcmp(api, "asio") || !strcmp(api, "jack")); }

void rig_default_input_mix(const char* api, int channels, RigMix* out)
{
    if (!out)
        return;
    memset(out, 0, sizeof *out);
    out->master = 1.0f;
    out->channels = channels < 0 ? 0 : channels > 64 ? 64 : channels;
    if (out->channels == 1) {
        out->left[0] = out->right[0] = 1.0f;
    } else if (out->channels >= 2) {
        bool direct = rig_api_is_direct(api);
        out->left[0] = 1.0f;
        out->right[1] = 1.0f;
        out->right[0] = direct ? 1.0f : 0.0f;
        out->left[1] = direct ? 1.0f : 0.0f;
    }
}
