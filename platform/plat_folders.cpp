// plat_folders.cpp - the program, configuration, music and temporary folders from
// /proc/self/exe, the environment and the XDG user-dirs file.
#include "platform/plat_folders.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/plat_file.h"

// Lines of user-dirs.dirs longer than this cannot hold a usable path anyway.
static const size_t kLineMax = 4096;

static PlatPathResult path_result(char* out, size_t cap, PlatPathResult r)
{
    if (r != PLAT_PATH_OK && out && cap > 0)
        out[0] = '\0';
    return r;
}

// snprintf into out; TOO_LONG (and out emptied) when the text does not fit.
static PlatPathResult path_format(char* out, size_t cap, const char* format, ...)
{
    if (!out || cap == 0)
        return PLAT_PATH_TOO_LONG;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(out, cap, format, args);
    va_end(args);
    if (n < 0)
        return path_result(out, cap, PLAT_PATH_NONE);
    if ((size_t)n >= cap)
        return path_result(out, cap, PLAT_PATH_TOO_LONG);
    return PLAT_PATH_OK;
}

static const char* env_value(const char* name)
{
    const char* v = getenv(name);
    return v && v[0] ? v : nullptr;
}

PlatPathResult plat_program_folder(char* out, size_t cap)
{
    if (!out || cap < 2)
        return path_result(out, cap, PLAT_PATH_TOO_LONG);
    // readlink does not terminate the text; a result that fills the buffer may have
    // been cut, so it counts as too long.
    ssize_t n = readlink("/proc/self/exe", out, cap);
    if (n <= 0)
        return path_result(out, cap, PLAT_PATH_NONE);
    if ((size_t)n >= cap)
        return path_result(out, cap, PLAT_PATH_TOO_LONG);
    out[n] = '\0';
    char* slash = strrchr(out, '/');
    if (!slash)
        return path_result(out, cap, PLAT_PATH_NONE);
    if (slash == out)
        slash[1] = '\0';      // a program in the root folder
    else
        *slash = '\0';
    return PLAT_PATH_OK;
}

// XDG_CONFIG_HOME when absolute, else "$HOME/.config".
static PlatPathResult xdg_config_home(char* out, size_t cap)
{
    const char* xdg = env_value("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return path_format(out, cap, "%s", xdg);
    const char* home = env_value("HOME");
    if (!home)
        return path_result(out, cap, PLAT_PATH_NONE);
    return path_format(out, cap, "%s/.config", home);
}

PlatPathResult plat_config_folder(char* out, size_t cap)
{
    const char* appdata = env_value("APPDATA");
    if (appdata)
        return path_format(out, cap, "%s", appdata);
    return xdg_config_home(out, cap);
}

// The rest of the line after "XDG_<key>_DIR=" (leading blanks skipped), or null.
static const char* is_key_line(const char* line, const char* key)
{
    while (*line == ' ' || *line == '\t')
        line++;
    char prefix[64];
    int n = snprintf(prefix, sizeof prefix, "XDG_%s_DIR=", key);
    return n > 0 && strncmp(line, prefix, (size_t)n) == 0 ? line + n : nullptr;
}

// The value of an XDG_MUSIC_DIR="..." line: quotes removed, backslash escapes taken
// literally, a leading "$HOME" replaced. NONE when the line is not that entry.
static PlatPathResult key_line(const char* line, const char* key, const char* home, char* out, size_t cap)
{
    const char* v = is_key_line(line, key);
    if (!v || *v != '"')
        return PLAT_PATH_NONE;
    v++;
    char value[kLineMax];
    size_t n = 0;
    for (; *v && *v != '"'; v++) {
        if (*v == '\\' && v[1])
            v++;
        value[n++] = *v;
    }
    value[n] = '\0';
    if (*v != '"' || n == 0)
        return PLAT_PATH_NONE;
    if (strncmp(value, "$HOME", 5) == 0 && (value[5] == '/' || value[5] == '\0')) {
        if (!home)
            return PLAT_PATH_NONE;
        return path_format(out, cap, "%s%s", home, value + 5);
    }
    if (value[0] != '/')
        return PLAT_PATH_NONE;
    return path_format(out, cap, "%s", value);
}

// Reads one line of f, without its line feed, into line (cap bytes with the NUL).
// Lines are measured by the bytes read: a NUL in one ends only that line's text, and
// *fits is false when its bytes do not fit (its beginning is kept). False at the end.
static bool read_line(FILE* f, char* line, size_t cap, bool* fits)
{
    size_t n = 0;
    int c = EOF;
    bool any = false;
    while ((c = fgetc(f)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        if (n + 1 < cap)
            line[n] = (char)c;
        n++;
    }
    *fits = n + 1 <= cap;
    line[*fits ? n : cap - 1] = '\0';
    return any;
}

// XDG_MUSIC_DIR from user-dirs.dirs: OK, NONE when the file or the entry is missing,
// TOO_LONG when the entry does not fit.
static PlatPathResult key_from_user_dirs(const char* key, const char* home, char* out, size_t cap)
{
    char config[1024];
    if (xdg_config_home(config, sizeof config) != PLAT_PATH_OK)
        return PLAT_PATH_NONE;
    char path[1100];
    if (path_format(path, sizeof path, "%s/user-dirs.dirs", config) != PLAT_PATH_OK)
        return PLAT_PATH_NONE;
    FILE* f = plat_file_open_read(path);
    if (!f)
        return PLAT_PATH_NONE;
    PlatPathResult result = PLAT_PATH_NONE;
    char line[kLineMax];
    bool fits = true;
    while (read_line(f, line, sizeof line, &fits)) {
        // A line longer than the buffer answers TOO_LONG when it is the entry asked for.
        PlatPathResult r = !fits ? (is_key_line(line, key) ? PLAT_PATH_TOO_LONG : PLAT_PATH_NONE)
                                 : key_line(line, key, home, out, cap);
        if (r != PLAT_PATH_NONE)
            result = r;    // the last entry wins, as the shell reading the file would
    }
    fclose(f);
    return path_result(out, cap, result);
}

PlatPathResult plat_user_folder(const char* key, const char* fallback, char* out, size_t cap)
{
    const char* home = env_value("HOME");
    PlatPathResult r = key_from_user_dirs(key, home, out, cap);
    if (r != PLAT_PATH_NONE)
        return r;
    if (!home)
        return path_result(out, cap, PLAT_PATH_NONE);
    return path_format(out, cap, "%s/%s", home, fallback);
}

PlatPathResult plat_music_folder(char* out, size_t cap)
{
    return plat_user_folder("MUSIC", "Music", out, cap);
}

PlatPathResult plat_home_folder(char* out, size_t cap)
{
    const char* home = env_value("HOME");
    if (!home || home[0] != '/')
        return path_result(out, cap, PLAT_PATH_NONE);
    return path_format(out, cap, "%s", home);
}

PlatPathResult plat_temp_folder(char* out, size_t cap)
{
    const char* tmp = env_value("TMPDIR");
    return path_format(out, cap, "%s", tmp ? tmp : "/tmp");
}
