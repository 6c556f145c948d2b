// plat_motion.cpp - the reduced-motion setting from the environment or GTK's settings.
#include "platform/plat_motion.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/plat_file.h"

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

// 0 when the file switches animations off, 1 when on, -1 when it does not say.
static int gtk_setting(const char* path)
{
    FILE* f = plat_file_open_read(path);
    if (!f)
        return -1;
    int answer = -1;
    char line[512];
    while (fgets(line, sizeof line, f)) {
        char* eq = strchr(line, '=');
        if (!eq)
            continue;
        *eq = '\0';
        char* value = eq + 1;
        trim(line);
        trim(value);
        if (strcmp(line, "gtk-enable-animations") != 0)
            continue;
        answer = (strcmp(value, "false") == 0 || strcmp(value, "0") == 0) ? 0 : 1;
    }
    fclose(f);
    return answer;
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
    return gtk_setting(path) != 0;
}
