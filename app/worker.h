// worker.h - the shape every background job of the shell shares (the session take's
// writer, the export's writer, the take loader): one run at a time on a detached
// thread of its own, or, for the writers, on the caller's thread when none can start
// (the take loader is refused then). Idle, running,
// ended; the UI starts it, the run ends it, and the UI collects an end it waits for.
// Threads: worker_start and worker_collect on the UI thread; the run on its own.
// Depends on: platform/plat_thread.h.
#pragma once
#include <atomic>
#include <cstdint>

enum { WORKER_IDLE = 0, WORKER_RUNNING, WORKER_ENDED };

struct Worker {
    std::atomic<int32_t> state{WORKER_IDLE};   // WORKER_*, changed by exchange only
    std::atomic<uint32_t> ends{0};             // runs that have ended
    std::atomic<uint32_t> failures{0};         // of those, the ones that failed
};

// Starts run(ctx) unless a run is under way; the run calls worker_end. False (nothing
// started) while running.
bool worker_start(Worker* w, void (*run)(void* ctx), void* ctx, const char* name);
// The same for a run that must never hold up the UI thread: false, the worker left
// idle and nothing run, when the thread cannot be made either.
bool worker_start_thread(Worker* w, void (*run)(void* ctx), void* ctx, const char* name);
// The run's last call: whether it succeeded. Everything it wrote is seen by whoever
// then sees the end.
void worker_end(Worker* w, bool ok);
bool worker_running(const Worker* w);
// An ended run becomes idle again; whether one had ended.
bool worker_collect(Worker* w);
