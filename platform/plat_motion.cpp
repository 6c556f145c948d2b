// plat_motion.cpp - the reduced-motion setting from the environment or GTK's settings.
#include "platform/plat_motion.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/plat_file.h"
#include "platform/plat_file_stamp.h"

static void trim(char* s)
{
    size_t n = strlen(s);
    while (n > 0 && isspace((unsigned char)s[n - 1]))
        s[--n] = '\0';
    size_t lead = 0;
    while (s[lead] && isspace((unsigned char)s[lead]))
        lead++;
    memmove(s, s + lead, n - lead + 1);
}

// Only the start of the file is read: GTK's own settings fit in a few lines, and a
// huge file must not stall the window that asks.
static const size_t kMostBytes = 65536;

// 0 when the text switches animations off, 1 when on, -1 when it does not say.
static int gtk_setting_in(char* text)
{
    int answer = -1;
    for (char* line = text; line;) {
        char* lf = strchr(line, '\n');
        if (lf)
            *lf = '\0';
        char* eq = strchr(line, '=');
        if (eq) {
            *eq = '\0';
            char* value = eq + 1;
            trim(line);
            trim(value);
            if (strcmp(line, "gtk-enable-animations") == 0)
                answer = (strcmp(value, "false") == 0 || strcmp(value, "0") == 0) ? 0 : 1;
        }
        line = lf ? lf + 1 : nullptr;
    }
    return answer;
}

// The setting of the file's first 64 KiB; a line cut at that point is left out.
static int gtk_setting(const char* path)
{
    FILE* f = plat_file_open_read(path);
    if (!f)
        return -1;
    static char text[kMostBytes + 1];
    size_t n = fread(text, 1, kMostBytes, f);
    fclose(f);
    text[n] = '\0';
    if (n == kMostBytes) {
        char* last = strrchr(text, '\n');
        *(last ? last + 1 : text) = '\0';
    }
    return gtk_setting_in(text);
}

bool plat_animations_enabled(void)
{
    const char* env = getenv("TESSEL_REDUCED_MOTION");
    if (env && strcmp(env, "1") == 0)
        return false;
    char path[1024];
    const char* config = getenv("XDG_CONFIG_HOME");
    const char* home = getenv("HOME");
    if (config && config[0])
        snprintf(path, sizeof path, "%s/gtk-3.0/settings.ini", config);
    else if (home && home[0])
        snprintf(path, sizeof path, "%s/.config/gtk-3.0/settings.ini", home);
    else
        return true;
    // The file is read again only when it is another file or another version of it.
    static char seen_path[sizeof path];
    static PlatFileStamp seen;
    static int answer = -1;
    PlatFileStamp now;
    plat_file_stamp(path, &now);
    if (strcmp(path, seen_path) != 0 || !plat_file_stamp_equal(&now, &seen)) {
        answer = now.exists ? gtk_setting(path) : -1;
        seen = now;
        memcpy(seen_path, path, sizeof seen_path);
    }
    return answer != 0;
}
