// worker.cpp - one background job at a time (see worker.h).
#include "app/worker.h"

#include "platform/plat_thread.h"

bool worker_start(Worker* w, void (*run)(void* ctx), void* ctx, const char* name)
{
    if (!w || !run || w->state.load(std::memory_order_acquire) == WORKER_RUNNING)
        return false;
    w->state.exchange(WORKER_RUNNING, std::memory_order_acq_rel);
    if (!plat_thread_start_detached(run, ctx, name))
        run(ctx);
    return true;
}

void worker_end(Worker* w, bool ok)
{
    if (!ok)
        w->failures.fetch_add(1, std::memory_order_release);
    w->ends.fetch_add(1, std::memory_order_release);
    w->state.exchange(WORKER_ENDED, std::memory_order_acq_rel);
}

bool worker_running(const Worker* w)
{
    return w && w->state.load(std::memory_order_acquire) == WORKER_RUNNING;
}

bool worker_collect(Worker* w)
{
    if (!w || w->state.load(std::memory_order_acquire) != WORKER_ENDED)
        return false;
    w->state.exchange(WORKER_IDLE, std::memory_order_acq_rel);
    return true;
}
