// plat_text.cpp - Latin-1 as the legacy code page for names that are not UTF-8.
#include "platform/plat_text.h"

#include <atomic>

static std::atomic<bool> g_legacy_enabled{true};

void plat_text_set_legacy_enabled(bool enabled)
{
    g_legacy_enabled.store(enabled, std::memory_order_relaxed);
}

int plat_text_legacy_to_utf8(const char* in, size_t len, char* out, size_t out_size)
{
    if (!g_legacy_enabled.load(std::memory_order_relaxed))
        return -1;
    if (!out || out_size < 1)
        return -1;
    size_t w = 0;
    for (size_t i = 0; in && i < len; i++) {
        unsigned char c = (unsigned char)in[i];
        if (c == 0)
            break;
        size_t need = c < 0x80 ? 1 : 2;
        if (w + need > out_size - 1)
            break;
        if (c < 0x80) {
            out[w++] = (char)c;
        } else {
            out[w++] = (char)(0xC0 | (c >> 6));
            out[w++] = (char)(0x80 | (c & 0x3F));
        }
    }
    out[w] = '\0';
    return (int)w;
}
