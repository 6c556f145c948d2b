// plat_open.cpp - posix_spawn of xdg-open and of sibling programs, reaped on a
// detached thread.
#include "platform/plat_open.h"

#include <cerrno>
#include <cstdint>
#include <spawn.h>
#include <sys/wait.h>

#include "platform/plat_thread.h"

extern char** environ;

static void reap(void* arg)
{
    pid_t pid = (pid_t)(intptr_t)arg;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

bool plat_spawn(const char* const argv[], bool path_lookup)
{
    if (!argv || !argv[0] || !argv[0][0])
        return false;
    pid_t pid = 0;
    char* const* args = const_cast<char* const*>(argv);
    int rc = path_lookup ? posix_spawnp(&pid, argv[0], nullptr, nullptr, args, environ)
                         : posix_spawn(&pid, argv[0], nullptr, nullptr, args, environ);
    if (rc != 0)
        return false;
    if (!plat_thread_start_detached(reap, (void*)(intptr_t)pid, "tessel-reap")) {
        int status = 0;
        waitpid(pid, &status, WNOHANG);
    }
    return true;
}

bool plat_open_with_desktop(const char* path)
{
    if (!path || !path[0])
        return false;
    const char* argv[] = {"xdg-open", path, nullptr};
    return plat_spawn(argv, true);
}
