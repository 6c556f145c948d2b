// rigstore_worker.cpp - the store's worker thread: folder and stray clean-up at start,
// then jobs, change notifications and periodic checks until it is stopped.
#include <cmath>
#include <cstring>

#include "platform/plat_dir_watch.h"
#include "platform/plat_thread.h"
#include "platform/plat_time.h"
#include "rig/rigstore_internal.h"

static void worker_loop(RigStore* s)
{
    double deadline = rigstore_now(s) + s->poll_ms / 1000.0;
    for (;;) {
        RigStoreJob* job = nullptr;
        bool stopping;
        {
            std::lock_guard<std::mutex> g(s->lock);
            job = s->first;
            if (job) {
                s->first = job->next;
                if (!s->first)
                    s->last = nullptr;
                job->next = nullptr;
                s->running = job;
            }
            if (s->w_gen != s->watch_gen) {
                memcpy(s->w_watched, s->watched, sizeof s->w_watched);
                s->w_gen = s->watch_gen;
            }
            stopping = s->stop;
        }
        if (job) {
            if (job->kind == 1)
                rigstore_run_load(s, job);
            else
                rigstore_run_save(s, job);
            {
                std::lock_guard<std::mutex> g(s->lock);
                s->running = nullptr;
                if (!s->first)
                    s->cv.notify_all();
            }
            rig_doc_free(job->doc);
            free(job);
            continue;
        }
        if (stopping)
            return;
        if (!s->no_watch && !plat_dir_watch_armed(s->watcher))
            plat_dir_watch_arm(s->watcher, s->folder);   // without it, only periodic checks run
        double left = deadline - rigstore_now(s);
        int ms = left > 0.0 ? (int)std::ceil(left * 1000.0) : 0;
        PlatWatchWait w = plat_dir_watch_wait(s->watcher, ms);
        if (w == PLAT_WATCH_CHANGED) {
            rigstore_reload_changed(s, true);
        } else if (w == PLAT_WATCH_FAILED) {
            plat_dir_watch_disarm(s->watcher);
            plat_sleep_ms(50);
        }
        if (rigstore_now(s) >= deadline) {
            rigstore_reload_changed(s, false);
            deadline = rigstore_now(s) + s->poll_ms / 1000.0;
        }
    }
}

void rigstore_thread_main(RigStore* s)
{
    plat_thread_name_self("tessel-rigstore");
    int err = 0;
    if (!rigstore_ensure_folder(s, &err))
        rigstore_log(s, "rig: can't create the rigs folder %s - rigs stay in memory until it can be made", s->folder);
    else
        rigstore_remove_strays(s);
    {
        std::lock_guard<std::mutex> g(s->lock);
        s->starting = false;
        if (!s->first)
            s->cv.notify_all();
    }
    worker_loop(s);
    plat_dir_watch_disarm(s->watcher);
    bool detached;
    {
        std::lock_guard<std::mutex> g(s->lock);
        s->stopped = true;
        detached = s->detached;
        s->cv.notify_all();
    }
    if (detached)
        rigstore_free(s);
}
