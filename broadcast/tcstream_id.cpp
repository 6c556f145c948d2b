// tcstream_id.cpp - the station id: 8 lower-case hex digits kept in a small file of the
// data folder, so listeners know the station again across restarts. An id found only
// in the older file name is moved to the current one; with no valid file a new id is
// drawn and kept.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "broadcast/tcstream.h"
#include "broadcast/tcstream_internal.h"
#include "platform/plat_dir.h"
#include "platform/plat_file.h"
#include "platform/plat_random.h"
#include "platform/plat_time.h"

enum {
    SID_PATH_MAX = 4096,
    SID_LINE_MAX = 31,   // bytes of the first line that are looked at
};

int tcstream_read_sid(const char* path, char* sid)
{
    if (!path || !sid)
        return 0;
    // Only a regular file is opened: a FIFO or a folder under the name never blocks.
    FILE* f = plat_file_open_read(path);
    if (!f)
        return 0;
    char line[SID_LINE_MAX + 1];
    size_t n = std::fread(line, 1, SID_LINE_MAX, f);
    std::fclose(f);
    if (n < 8)
        return 0;
    for (int i = 0; i < 8; i++) {
        char c = line[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return 0;
    }
    std::memcpy(sid, line, 8);
    sid[8] = '\0';
    return 1;
}

// Writes "<sid>\n" to path through a temporary file and a rename, so a reader never
// sees half an id. False when the id could not be kept.
static bool sid_write_line(void* ctx, FILE* f)
{
    return std::fprintf(f, "%s\n", (const char*)ctx) == 9;
}

static bool sid_write(const char* path, const char* sid)
{
    return plat_file_write_replacing(path, sid_write_line, (void*)sid);
}

// A fresh id: the system's random numbers, else a mix of the clock and an address of
// this process.
static uint32_t sid_draw()
{
    uint32_t x = 0;
    if (plat_random_bytes(&x, sizeof x))
        return x;
    uint64_t now = plat_time_ns();
    uintptr_t where = (uintptr_t)&now;
    x = (uint32_t)now ^ (uint32_t)(now >> 32) ^ (uint32_t)((uint32_t)(where >> 4) * 0x9E3779B1u);
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}

void tcstream_station_id(Station* s, const char* dir)
{
    char path[SID_PATH_MAX] = "";
    char old_path[SID_PATH_MAX] = "";
    // Files only with a data folder whose names fit; else the id lasts this run only.
    bool files = dir && dir[0] && plat_dir_make(dir);
    if (files) {
        int a = std::snprintf(path, sizeof path, "%s/stream.%s.sid", dir, s->app);
        int b = std::snprintf(old_path, sizeof old_path, "%s/stream.sid", dir);
        files = a > 0 && a < (int)sizeof path && b > 0 && b < (int)sizeof old_path;
    }
    if (files) {
        if (tcstream_read_sid(path, s->sid))
            return;
        if (tcstream_read_sid(old_path, s->sid)) {
            // The older file goes only once the id is safely in the current one.
            if (sid_write(path, s->sid))
                plat_file_remove_regular(old_path);
            return;
        }
    }
    std::snprintf(s->sid, sizeof s->sid, "%08x", sid_draw());
    if (files && !sid_write(path, s->sid))
        std::fprintf(stderr, "tcstream: station id not kept in %s\n", path);
}
