// plat_dir.cpp - folder listings on opendir/readdir/stat; folders made with mkdir.
#include "platform/plat_dir.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

bool plat_dir_list(const char* folder, PlatDirVisit visit, void* ctx)
{
    if (!folder || !folder[0] || !visit)
        return false;
    DIR* dir = opendir(folder);
    if (!dir)
        return false;
    std::vector<std::string> names;
    while (struct dirent* d = readdir(dir)) {
        if (!strcmp(d->d_name, ".") || !strcmp(d->d_name, ".."))
            continue;
        names.emplace_back(d->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());

    std::string path;
    for (const std::string& name : names) {
        path.assign(folder);
        if (path.back() != '/')
            path.push_back('/');
        path.append(name);
        // stat (not lstat, not d_type): follows links and works on file systems
        // that report DT_UNKNOWN.
        struct stat st;
        PlatDirEntry entry = {name.c_str(), false, false, {0, 0}};
        if (stat(path.c_str(), &st) == 0) {
            entry.is_dir = S_ISDIR(st.st_mode);
            entry.is_file = S_ISREG(st.st_mode);
            entry.id = PlatDirId{(uint64_t)st.st_dev, (uint64_t)st.st_ino};
        }
        if (!visit(ctx, &entry))
            break;
    }
    return true;
}

bool plat_dir_id(const char* folder, PlatDirId* out)
{
    struct stat st;
    if (!folder || !out || stat(folder, &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    *out = PlatDirId{(uint64_t)st.st_dev, (uint64_t)st.st_ino};
    return true;
}

static bool plat_is_dir(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool plat_dir_make(const char* folder)
{
    if (!folder || !folder[0])
        return false;
    std::string path(folder);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    // Each level from the top: an existing one (EEXIST) is fine when it is a folder.
    for (size_t at = 1; at <= path.size(); at++) {
        if (at < path.size() && path[at] != '/')
            continue;
        std::string level = path.substr(0, at);
        if (mkdir(level.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return plat_is_dir(path.c_str());
}
