// worker.cpp - one background job at a time (see worker.h).
#include "app/worker.h"

#include "platform/plat_thread.h"

// Starts the run on a thread of its own, else on the caller's when here is set.
static bool worker_begin(Worker* w, void (*run)(void* ctx), void* ctx, const char* name, bool here)
{
    if (!w || !run || w->state.load(std::memory_order_acquire) == WORKER_RUNNING)
        return false;
    w->state.exchange(WORKER_RUNNING, std::memory_order_acq_rel);
    if (plat_thread_start_detached(run, ctx, name))
        return true;
    if (!here) {
        w->state.exchange(WORKER_IDLE, std::memory_order_acq_rel);
        return false;
    }
    run(ctx);
    return true;
}

bool worker_start(Worker* w, void (*run)(void* ctx), void* ctx, const char* name)
{
    return worker_begin(w, run, ctx, name, true);
}

bool worker_start_thread(Worker* w, void (*run)(void* ctx), void* ctx, const char* name)
{
    return worker_begin(w, run, ctx, name, false);
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
