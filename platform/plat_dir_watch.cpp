// plat_dir_watch.cpp - inotify on one folder plus an eventfd wake, in one poll().
#include "platform/plat_dir_watch.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

struct PlatDirWatch {
    int inotify_fd;
    int watch;       // -1 when none
    int wake_fd;
};

PlatDirWatch* plat_dir_watch_create(void)
{
    PlatDirWatch* w = (PlatDirWatch*)calloc(1, sizeof(PlatDirWatch));
    if (!w)
        return nullptr;
    w->watch = -1;
    w->inotify_fd = -1;
    w->wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (w->wake_fd < 0) {
        free(w);
        return nullptr;
    }
    return w;
}

void plat_dir_watch_destroy(PlatDirWatch* w)
{
    if (!w)
        return;
    if (w->inotify_fd >= 0)
        close(w->inotify_fd);
    close(w->wake_fd);
    free(w);
}

void plat_dir_watch_disarm(PlatDirWatch* w)
{
    if (!w || w->inotify_fd < 0)
        return;
    close(w->inotify_fd);   // drops the watch with it
    w->inotify_fd = -1;
    w->watch = -1;
}

bool plat_dir_watch_arm(PlatDirWatch* w, const char* folder)
{
    if (!w || !folder || !folder[0])
        return false;
    plat_dir_watch_disarm(w);
    w->inotify_fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (w->inotify_fd < 0)
        return false;
    w->watch = inotify_add_watch(w->inotify_fd, folder,
                                 IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_FROM |
                                     IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
    if (w->watch < 0) {
        plat_dir_watch_disarm(w);
        return false;
    }
    return true;
}

bool plat_dir_watch_armed(const PlatDirWatch* w)
{
    return w && w->watch >= 0;
}

void plat_dir_watch_wake(PlatDirWatch* w)
{
    if (!w)
        return;
    uint64_t one = 1;
    ssize_t n = write(w->wake_fd, &one, sizeof one);
    (void)n;
}

// Reads every queued event; true when any was seen. A dropped watch disarms.
static bool drain_events(PlatDirWatch* w)
{
    alignas(struct inotify_event) char buf[4096];
    bool any = false;
    bool dropped = false;
    for (;;) {
        ssize_t n = read(w->inotify_fd, buf, sizeof buf);
        if (n <= 0)
            break;
        any = true;
        for (char* p = buf; p < buf + n;) {
            const struct inotify_event* ev = (const struct inotify_event*)p;
            if (ev->mask & IN_IGNORED)
                dropped = true;
            p += sizeof(struct inotify_event) + ev->len;
        }
    }
    if (dropped)
        plat_dir_watch_disarm(w);
    return any;
}

PlatWatchWait plat_dir_watch_wait(PlatDirWatch* w, int ms)
{
    if (!w)
        return PLAT_WATCH_FAILED;
    struct pollfd fds[2];
    int n = 0;
    fds[n++] = pollfd{w->wake_fd, POLLIN, 0};
    if (w->inotify_fd >= 0)
        fds[n++] = pollfd{w->inotify_fd, POLLIN, 0};
    int r = poll(fds, (nfds_t)n, ms < 0 ? 0 : ms);
    if (r < 0)
        return errno == EINTR ? PLAT_WATCH_TIMEOUT : PLAT_WATCH_FAILED;
    if (r == 0)
        return PLAT_WATCH_TIMEOUT;
    bool woken = false;
    if (fds[0].revents & POLLIN) {
        uint64_t v;
        ssize_t k = read(w->wake_fd, &v, sizeof v);
        (void)k;
        woken = true;
    }
    bool changed = n > 1 && (fds[1].revents & (POLLIN | POLLERR | POLLHUP)) && drain_events(w);
    if (changed)
        return PLAT_WATCH_CHANGED;
    return woken ? PLAT_WATCH_WOKEN : PLAT_WATCH_TIMEOUT;
}
