// flock_holder.h - util-linux flock in another process holding a lock file for as long
// as the test wants: started, it says so once it holds the lock; it lets go when the
// test closes its input (or the test's process ends).
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

struct FlockHolder {
    pid_t pid = -1;
    int release = -1;   // the holder's input: closing it lets go
};

// Starts flock on path and returns once it holds the lock; pid -1 when it could not.
inline FlockHolder flock_hold(const char* path)
{
    FlockHolder h;
    int to[2], from[2];
    if (pipe(to) != 0)
        return h;
    if (pipe(from) != 0) {
        close(to[0]);
        close(to[1]);
        return h;
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(to[0], 0);
        dup2(from[1], 1);
        close(to[0]);
        close(to[1]);
        close(from[0]);
        close(from[1]);
        execlp("flock", "flock", path, "sh", "-c", "echo held; cat >/dev/null", (char*)nullptr);
        _exit(127);
    }
    close(to[0]);
    close(from[1]);
    char word[5] = {};
    bool held = pid > 0 && read(from[0], word, 4) == 4 && std::memcmp(word, "held", 4) == 0;
    close(from[0]);
    h.release = to[1];
    h.pid = pid;
    if (!held) {
        close(h.release);
        if (pid > 0)
            waitpid(pid, nullptr, 0);
        h = FlockHolder{};
    }
    return h;
}

// Lets go of the lock and reaps the holder; its exit status, -1 when it died otherwise.
inline int flock_release(FlockHolder* h)
{
    if (h->pid <= 0)
        return -1;
    close(h->release);
    int status = 0;
    waitpid(h->pid, &status, 0);
    h->pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
