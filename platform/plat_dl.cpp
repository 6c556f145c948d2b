// plat_dl.cpp - run-time libraries on dlopen/dlsym/dlclose.
#include "platform/plat_dl.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

PlatLib* plat_dl_open(const char* path, bool keep_mapped, char* err, size_t err_cap)
{
    if (err && err_cap)
        err[0] = '\0';
    if (!path || !path[0]) {
        if (err && err_cap)
            snprintf(err, err_cap, "%s", "empty path");
        return nullptr;
    }
    // Only a regular file (or a link to one) is handed to the loader: it would open a
    // FIFO for reading and wait for a writer for good, a device it would read forever.
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (err && err_cap)
            snprintf(err, err_cap, "%s: not a regular file", path);
        return nullptr;
    }
    int flags = RTLD_NOW | RTLD_LOCAL;
    if (keep_mapped)
        flags |= RTLD_NODELETE;
    void* handle = dlopen(path, flags);
    if (!handle && err && err_cap) {
        const char* why = dlerror();
        snprintf(err, err_cap, "%s", why ? why : "dlopen failed");
    }
    return (PlatLib*)handle;
}

void* plat_dl_sym(PlatLib* lib, const char* name)
{
    if (!lib || !name)
        return nullptr;
    // A null answer is taken as "not defined": no plug-in entry point is null.
    return dlsym((void*)lib, name);
}

void plat_dl_close(PlatLib* lib)
{
    if (lib)
        dlclose((void*)lib);
}

bool plat_dl_is_mapped(const char* path_part)
{
    if (!path_part || !path_part[0])
        return false;
    FILE* f = fopen("/proc/self/maps", "r");
    if (!f)
        return false;
    char line[1024];
    bool found = false;
    while (!found && fgets(line, sizeof line, f))
        found = strstr(line, path_part) != nullptr;
    fclose(f);
    return found;
}
