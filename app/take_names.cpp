// take_names.cpp - stamped take names that no file holds yet (see take_names.h).
#include "app/take_names.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/plat_dir.h"
#include "platform/plat_file.h"
#include "platform/plat_time.h"

// Writes within one second share the time stamp; "-2" .. "-99" tell them apart.
static const int kMaxSameSecond = 99;

bool take_name_stamped(const char* prefix, const PlatLocalTime* t, int n, char* out, size_t out_cap)
{
    if (!prefix || !t || !out || out_cap == 0)
        return false;
    char suffix[16] = "";
    if (n > 1)
        snprintf(suffix, sizeof suffix, "-%d", n);
    int len = snprintf(out, out_cap, "%s%04d%02d%02d-%02d%02d%02d%s.wav", prefix, t->year, t->month, t->day,
                       t->hour, t->minute, t->second, suffix);
    return len > 0 && (size_t)len < out_cap;
}

struct TempLook {
    const char* name;
    size_t len;
    bool found;
};

static bool look_for_temp(void* ctx, const PlatDirEntry* e)
{
    TempLook* l = (TempLook*)ctx;
    if (strncmp(e->name, l->name, l->len) == 0 && strncmp(e->name + l->len, ".tmp", 4) == 0)
        l->found = true;
    return !l->found;
}

bool take_name_taken(const char* folder, const char* name)
{
    char path[1100];
    int n = snprintf(path, sizeof path, "%s/%s", folder, name);
    if (n < 0 || (size_t)n >= sizeof path || plat_path_exists(path))
        return true;
    TempLook look{name, strlen(name), false};
    plat_dir_list(folder, look_for_temp, &look);
    return look.found;
}

bool take_name_free(const char* folder, const char* prefix, const PlatLocalTime* t, char* out, size_t out_cap)
{
    if (!folder || !folder[0])
        return false;
    for (int n = 1; n <= kMaxSameSecond; n++) {
        if (!take_name_stamped(prefix, t, n, out, out_cap))
            return false;
        if (!take_name_taken(folder, out))
            return true;
    }
    return false;
}

bool take_name_same(const char* a, const char* b)
{
    return a && b && strcmp(a, b) == 0;
}

bool take_name_has_extension(const char* name, const char* ext)
{
    const char* dot = name ? strrchr(name, '.') : nullptr;
    if (!dot || !ext)
        return false;
    for (; *dot && *ext; dot++, ext++)
        if (tolower((unsigned char)*dot) != tolower((unsigned char)*ext))
            return false;
    return *dot == *ext;
}

bool take_name_is_kept_copy(const char* name)
{
    if (!name)
        return false;
    if (std::strncmp(name, "tessel-loop-", 12) == 0)
        return true;
    return (std::strstr(name, "  bar ") || std::strstr(name, "  end  ")) && std::strstr(name, " bpm");
}
