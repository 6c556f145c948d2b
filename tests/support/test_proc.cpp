// test_proc.cpp - posix_spawn, waitpid and signals behind test_proc.h.
#include "support/test_proc.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

bool testproc_available(const char* program)
{
    const char* path = getenv("PATH");
    if (!program || !*program || !path)
        return false;
    std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string full = (dir.empty() ? std::string(".") : dir) + "/" + program;
        struct stat st;
        if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

int testproc_start(const char* const* argv)
{
    if (!argv || !argv[0])
        return -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? (int)pid : -1;
}

// Waits up to timeout_ms for pid to end; true with its status once reaped.
static bool testproc_wait(int pid, int timeout_ms, int* status)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        pid_t r = waitpid(pid, status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR))
            return r == pid;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void testproc_stop(int pid)
{
    if (pid <= 0)
        return;
    int status = 0;
    kill(pid, SIGTERM);
    if (!testproc_wait(pid, 2000, &status)) {
        kill(pid, SIGKILL);
        testproc_wait(pid, 5000, &status);
    }
}

int testproc_run(const char* const* argv, int timeout_ms)
{
    int pid = testproc_start(argv);
    if (pid < 0)
        return -1;
    int status = 0;
    if (!testproc_wait(pid, timeout_ms, &status)) {
        testproc_stop(pid);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int testproc_ended_pid(void)
{
    pid_t child = fork();
    if (child == 0)
        _exit(0);
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child ? (int)child : -1;
}
