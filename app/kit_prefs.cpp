// kit_prefs.cpp - reading "vividkit.ini" line by line and writing it under the named
// lock through a replacing write.
#include "app/kit_prefs.h"

#include <cstdio>
#include <cstring>

#include "app/kit_training.h"
#include "library/user_stores.h"
#include "platform/plat_dir.h"
#include "platform/plat_file.h"
#include "platform/plat_named_lock.h"

const char kKitPrefsLockName[] = "TideCoil.VividKit.Preferences";

static KitPrefs g_prefs;
// The table as it was before a write, put back when the write fails (1 MiB: static).
static KitPrefs g_prefs_before;

const KitPrefs* kit_prefs_table(void)
{
    return &g_prefs;
}

bool kit_prefs_path(char* out, size_t out_size, const char* suffix)
{
    if (!out || out_size < 1)
        return false;
    const char* folder = folders_data_path();
    int n = snprintf(out, out_size, "%s/vividkit.ini%s", folder[0] ? folder : ".", suffix ? suffix : "");
    if (n < 0 || (size_t)n >= out_size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

int32_t kit_prefs_find(const char* key)
{
    if (!key)
        return -1;
    for (int32_t i = 0; i < g_prefs.count; i++)
        if (strcmp(g_prefs.entries[i].key, key) == 0)
            return i;
    return -1;
}

// One line: the part before its first CR, split at the first "=".
static void kit_prefs_take_line(char* line)
{
    line[strcspn(line, "\r")] = '\0';
    if (line[0] == '#' || line[0] == ';')
        return;
    char* eq = strchr(line, '=');
    if (!eq || eq == line)
        return;
    *eq = '\0';
    const char* value = eq + 1;
    if (strlen(line) >= (size_t)KIT_PREFS_KEY || strlen(value) >= (size_t)KIT_PREFS_VALUE)
        return;
    int32_t i = kit_prefs_find(line);
    if (i < 0) {
        if (g_prefs.count >= KIT_PREFS_MAX)
            return;
        i = g_prefs.count++;
        memcpy(g_prefs.entries[i].key, line, strlen(line) + 1);
    }
    memcpy(g_prefs.entries[i].value, value, strlen(value) + 1);
}

void kit_prefs_load(void)
{
    g_prefs.count = 0;
    char path[600];
    if (!kit_prefs_path(path, sizeof path, nullptr))
        return;
    FILE* f = plat_file_open_read(path);
    if (!f)
        return;
    static char line[KIT_PREFS_LINE + 1];
    size_t len = 0;
    bool too_long = false;
    for (;;) {
        int c = getc(f);
        if (c == EOF || c == '\n') {
            // A line longer than the limit is dropped whole, up to its line break, so
            // text inside a long value never turns into an entry of its own.
            if (!too_long && (len > 0 || c == '\n')) {
                line[len] = '\0';
                kit_prefs_take_line(line);
            }
            len = 0;
            too_long = false;
            if (c == EOF)
                break;
            continue;
        }
        if (too_long)
            continue;
        if (len >= (size_t)KIT_PREFS_LINE) {
            too_long = true;
            continue;
        }
        line[len++] = (char)c;
    }
    fclose(f);
}

void kit_prefs_get(const char* key, const char* def, char* out, size_t out_size)
{
    if (!out || out_size < 1)
        return;
    kit_prefs_load();
    int32_t i = kit_prefs_find(key);
    char fallback[KIT_PREFS_VALUE];
    snprintf(fallback, sizeof fallback, "%s", def ? def : "");
    snprintf(out, out_size, "%s", i >= 0 ? g_prefs.entries[i].value : fallback);
}

static bool kit_prefs_write(void* ctx, FILE* f)
{
    (void)ctx;
    for (int32_t i = 0; i < g_prefs.count; i++)
        if (fprintf(f, "%s=%s\n", g_prefs.entries[i].key, g_prefs.entries[i].value) < 0)
            return false;
    return true;
}

static bool kit_prefs_valid(const char* key, const char* value)
{
    if (!key || !key[0] || !value || strpbrk(key, "\n\r=") || strpbrk(value, "\n\r"))
        return false;
    return strlen(key) < (size_t)KIT_PREFS_KEY && strlen(value) < (size_t)KIT_PREFS_VALUE;
}

static int kit_prefs_set(const char* key, const char* value, bool newer_only)
{
    if (!kit_prefs_valid(key, value))
        return 0;
    const char* folder = folders_data_path();
    if (!folder[0])
        folder = ".";
    char path[600];
    if (!kit_prefs_path(path, sizeof path, nullptr))
        return 0;
    plat_dir_make(folder);   // an existing folder is fine; a missing one fails below
    PlatNamedLock lock{-1};
    if (plat_named_lock_take(folder, kKitPrefsLockName, KIT_PREFS_LOCK_MS, &lock, nullptr) != PLAT_LOCK_TAKEN)
        return 0;
    kit_prefs_load();
    g_prefs_before = g_prefs;
    int result = 0;
    int32_t i = kit_prefs_find(key);
    if (i >= 0 && newer_only && kit_version_compare(g_prefs.entries[i].value, value) >= 0) {
        result = 1;
    } else if (i < 0 && g_prefs.count >= KIT_PREFS_MAX) {
        result = 0;
    } else {
        if (i < 0) {
            i = g_prefs.count++;
            snprintf(g_prefs.entries[i].key, sizeof g_prefs.entries[i].key, "%s", key);
        }
        snprintf(g_prefs.entries[i].value, sizeof g_prefs.entries[i].value, "%s", value);
        result = plat_file_write_replacing(path, kit_prefs_write, nullptr) ? 1 : 0;
        if (!result)
            g_prefs = g_prefs_before;
    }
    plat_named_lock_release(&lock);
    return result;
}

int kit_prefs_put(const char* key, const char* value)
{
    return kit_prefs_set(key, value, false);
}

int kit_prefs_put_newer(const char* key, const char* value)
{
    return kit_prefs_set(key, value, true);
}
