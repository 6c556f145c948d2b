// plat_thread.cpp - detached POSIX threads.
#include "platform/plat_thread.h"

#include <cstdio>
#include <new>
#include <pthread.h>
#include <sched.h>

struct PlatThreadStart {
    void (*fn)(void*);
    void* arg;
    char name[16];
};

void plat_thread_name_self(const char* name)
{
    if (!name || !name[0])
        return;
    char cut[16];
    snprintf(cut, sizeof cut, "%s", name);
    pthread_setname_np(pthread_self(), cut);
}

static void* plat_thread_main(void* p)
{
    PlatThreadStart start = *(PlatThreadStart*)p;
    delete (PlatThreadStart*)p;
    plat_thread_name_self(start.name);
    start.fn(start.arg);
    return nullptr;
}

bool plat_thread_start_detached(void (*fn)(void*), void* arg, const char* name)
{
    if (!fn)
        return false;
    PlatThreadStart* start = new (std::nothrow) PlatThreadStart{fn, arg, {}};
    if (start && name)
        snprintf(start->name, sizeof start->name, "%s", name);
    if (!start)
        return false;
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) {
        delete start;
        return false;
    }
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t t;
    int r = pthread_create(&t, &attr, plat_thread_main, start);
    pthread_attr_destroy(&attr);
    if (r != 0) {
        delete start;
        return false;
    }
    return true;
}

static void* plat_thread_try_fifo(void* out)
{
    sched_param sp = {};
    sp.sched_priority = sched_get_priority_min(SCHED_FIFO);
    *(int*)out = pthread_setschedparam(pthread_self(), SCHED_FIFO, &sp);
    return nullptr;
}

bool plat_thread_realtime_allowed(void)
{
    int result = -1;
    pthread_t t;
    if (pthread_create(&t, nullptr, plat_thread_try_fifo, &result) != 0)
        return false;
    pthread_join(t, nullptr);
    return result == 0;
}
