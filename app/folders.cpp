// folders.cpp - the program, data, takes and screenshot paths from the platform's
// folders, each checked to fit its buffer.
#include "app/folders.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/take_sweep.h"
#include "library/bar_export.h"
#include "platform/plat_dir.h"
#include "platform/plat_file.h"
#include "platform/plat_folders.h"

static bool folders_fail(char* err, size_t err_cap, const char* what)
{
    if (err && err_cap)
        snprintf(err, err_cap, "%s path too long", what);
    return false;
}

// snprintf that reports whether the whole text fit.
static bool fits(char* out, size_t cap, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = vsnprintf(out, cap, format, args);
    va_end(args);
    return n >= 0 && (size_t)n < cap;
}

bool folders_program(char* out, size_t cap, char* err, size_t err_cap)
{
    PlatPathResult r = plat_program_folder(out, cap);
    if (r == PLAT_PATH_TOO_LONG)
        return folders_fail(err, err_cap, "program folder");
    if (r != PLAT_PATH_OK)
        snprintf(out, cap, ".");
    return true;
}

static bool folders_settle_paths(Folders* f, const char* program, char* err, size_t err_cap)
{
    if (!fits(f->program, sizeof f->program, "%s", program))
        return folders_fail(err, err_cap, "program folder");

    char ini[sizeof f->program + 16];
    if (!fits(ini, sizeof ini, "%s/tessel.ini", program))
        return folders_fail(err, err_cap, "settings file");
    char config[sizeof f->data];
    PlatPathResult cr = plat_config_folder(config, sizeof config);
    if (cr == PLAT_PATH_TOO_LONG)
        return folders_fail(err, err_cap, "configuration folder");
    f->portable = plat_path_exists(ini) || cr == PLAT_PATH_NONE;

    if (f->portable) {
        if (!fits(f->data, sizeof f->data, "%s", program))
            return folders_fail(err, err_cap, "data folder");
        if (!fits(f->takes, sizeof f->takes, "%s/exports", program))
            return folders_fail(err, err_cap, "takes folder");
    } else {
        if (!fits(f->data, sizeof f->data, "%s/TideCoil", config))
            return folders_fail(err, err_cap, "data folder");
        char music[sizeof f->takes];
        PlatPathResult mr = plat_music_folder(music, sizeof music);
        if (mr == PLAT_PATH_TOO_LONG)
            return folders_fail(err, err_cap, "music folder");
        bool ok = mr == PLAT_PATH_OK ? fits(f->takes, sizeof f->takes, "%s/tessel", music)
                                     : fits(f->takes, sizeof f->takes, "%s/exports", f->data);
        if (!ok)
            return folders_fail(err, err_cap, "takes folder");
    }

    char temp[sizeof f->screenshot_bmp];
    if (plat_temp_folder(temp, sizeof temp) != PLAT_PATH_OK)
        return folders_fail(err, err_cap, "temporary folder");
    if (!fits(f->screenshot_request, sizeof f->screenshot_request, "%s/tessel_screenshot_request", temp) ||
        !fits(f->screenshot_bmp, sizeof f->screenshot_bmp, "%s/tessel_screenshot.bmp", temp))
        return folders_fail(err, err_cap, "screenshot");
    return true;
}

bool folders_settle(Folders* out, const char* program, char* err, size_t err_cap)
{
    if (!out)
        return false;
    *out = Folders{};
    if (folders_settle_paths(out, program ? program : ".", err, err_cap))
        return true;
    *out = Folders{};
    return false;
}

bool folders_make_data(const Folders* f)
{
    return f && (f->portable || plat_dir_make(f->data));
}

static char g_data_folder[512];

const char* folders_data(void)
{
    return g_data_folder;
}

void folders_set_data(const char* path)
{
    snprintf(g_data_folder, sizeof g_data_folder, "%s", path ? path : "");
}

// The files the program keeps in the data folder and writes through temporaries.
static bool data_name_is_own(const char* name, void*)
{
    static const char* const kOwn[] = {"tessel.ini", "vividkit.ini", "favs.ini",          "tags.ini",
                                       "marks.ini",  "bars.ini",     "cloud-session.ini", "vst-kinds.txt"};
    for (const char* own : kOwn)
        if (std::strcmp(name, own) == 0)
            return true;
    size_t len = std::strlen(name);
    return std::strncmp(name, "stream.", 7) == 0 && len > 4 && std::strcmp(name + len - 4, ".sid") == 0;
}

int folders_sweep_temps(const Folders* f)
{
    if (!f)
        return 0;
    take_sweep_temps(f->takes, f->data);
    char loops[600];
    if (loops_folder_path(loops, sizeof loops))
        take_sweep_loops(loops);
    return plat_file_sweep_temps(f->data, data_name_is_own, nullptr);
}
