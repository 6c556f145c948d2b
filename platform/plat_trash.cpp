// plat_trash.cpp - the freedesktop Trash: an info record made exclusively first, then
// a rename of the file beside it; a failed rename takes the record back.
#include "platform/plat_trash.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/plat_dir.h"
#include "platform/plat_folders.h"

static bool trash_folder(std::string* out)
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') {
        *out = std::string(data) + "/Trash";
        return true;
    }
    char home[1024];
    if (plat_home_folder(home, sizeof home) != PLAT_PATH_OK)
        return false;
    *out = std::string(home) + "/.local/share/Trash";
    return true;
}

// The original path as an absolute path with the folder's links resolved and the
// name kept (a link is trashed as itself).
static bool absolute_path(const char* path, std::string* out)
{
    std::string p(path);
    size_t slash = p.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
    std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return false;
    char real[PATH_MAX];
    if (!realpath(folder.c_str(), real))
        return false;
    *out = std::string(real) + (std::strcmp(real, "/") == 0 ? "" : "/") + name;
    return true;
}

// Percent-encodes everything but the unreserved characters and '/'.
static std::string url_escape(const std::string& s)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
            c == '-' || c == '_' || c == '.' || c == '~') {
            out += (char)c;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

static bool write_all(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += (size_t)n;
    }
    return true;
}

bool plat_trash_move(const char* path)
{
    struct stat st;
    if (!path || !path[0] || lstat(path, &st) != 0)
        return false;
    std::string original, trash;
    if (!absolute_path(path, &original) || !trash_folder(&trash))
        return false;
    std::string files = trash + "/files", info = trash + "/info";
    if (!plat_dir_make(files.c_str()) || !plat_dir_make(info.c_str()))
        return false;

    char when[32];
    time_t now = time(nullptr);
    struct tm local;
    if (!localtime_r(&now, &local) || strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S", &local) == 0)
        return false;
    std::string record = "[Trash Info]\nPath=" + url_escape(original) + "\nDeletionDate=" + when + "\n";

    std::string base = original.substr(original.rfind('/') + 1);
    for (int attempt = 1; attempt < 10000; attempt++) {
        std::string name = attempt == 1 ? base : base + "." + std::to_string(attempt);
        std::string info_path = info + "/" + name + ".trashinfo";
        std::string target = files + "/" + name;
        // The record claims the name: made exclusively, so two removals never share it.
        int fd = open(info_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        bool ok = write_all(fd, record) && fsync(fd) == 0;
        ok = close(fd) == 0 && ok;
        if (ok && lstat(target.c_str(), &st) == 0) {
            unlink(info_path.c_str());      // a stray file holds the name: try the next
            continue;
        }
        if (ok && rename(path, target.c_str()) == 0)
            return true;
        unlink(info_path.c_str());
        return false;
    }
    return false;
}
