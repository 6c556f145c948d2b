// video_player.cpp - the video worker: takes the UI's requests under the lock, opens and
// reads the file through the platform's video reader, seeks or steps to the target time
// and hands each frame it shows over by swapping buffers under the lock.
#include "app/video_player.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "platform/plat_mem.h"
#include "platform/plat_video_decode.h"

static const int kIdleWaitMs = 200;        // no file open
static const int kFrameWaitMs = 4;         // between frames
static const int kSearchLimit = 2000;      // frames a seek may decode to reach its target
static const double kBackTolerance = 0.0001;
static const double kForwardJump = 1.0;    // seconds ahead beyond which a seek beats decoding on
static const int kCatchUpEvery = 4;        // a late frame is shown every fourth time in a row

struct VideoPlayer {
    std::thread thread;
    std::mutex lock;
    std::condition_variable wake_cv;
    std::atomic<uint32_t> asked{0};   // raised with each open, close and quit: cuts blocking work short
    // Guarded by lock.
    bool wake = false;                // the auto-reset wake event
    char path[1024] = {};
    uint8_t open_request = 0;
    uint8_t close_request = 0;
    uint8_t quit = 0;
    double target_time = 0.0;
    int32_t state = VIDEO_NONE;
    double duration = 0.0;
    uint8_t* pixels = nullptr;
    size_t pixels_size = 0;
    int32_t width = 0, height = 0;
    int32_t rotation = 0;
    uint32_t serial = 0;
    bool served = false;              // the frame for served_target is delivered
    double served_target = 0.0;
    uint32_t served_serial = 0;       // that frame
};

// The worker's own reading state.
struct VideoWorker {
    VideoPlayer* p;
    uint32_t taken;              // p->asked when the requests were last taken
    PlatVideoReader* reader;
    PlatVideoInfo info;
    double last_time;            // time of the last decoded frame; -1 before the first
    bool end;                    // the stream ran out (or failed) on this pass
    double end_target;           // the target time when it did
    int32_t behind;              // late frames in a row not shown
    uint8_t* back;               // the next frame, converted outside the lock
    size_t back_size;
    char path[1024];
};

static int worker_interrupted(void* ctx)
{
    VideoWorker* w = (VideoWorker*)ctx;
    return w->p->asked.load(std::memory_order_acquire) != w->taken ? 1 : 0;
}

static void player_wake(VideoPlayer* p)
{
    {
        std::lock_guard<std::mutex> g(p->lock);
        p->wake = true;
    }
    p->wake_cv.notify_one();
}

static void worker_wait(VideoPlayer* p, int ms)
{
    std::unique_lock<std::mutex> g(p->lock);
    p->wake_cv.wait_for(g, std::chrono::milliseconds(ms), [p] { return p->wake; });
    p->wake = false;
}

static void worker_free_back(VideoWorker* w)
{
    plat_pages_free(w->back, w->back_size);
    w->back = nullptr;
    w->back_size = 0;
}

// Converts the frame just decoded into the worker's buffer, then swaps it with the
// shared one, unless a newer request makes it stale. Frame buffers are whole pages
// from the OS, so a closed video's frames go back at once. A frame that covers target
// serves it; a late one shown on the way serves nothing.
static void worker_publish(VideoWorker* w, double target, bool covers)
{
    int32_t fw = 0, fh = 0;
    if (!plat_video_out_size(w->reader, &fw, &fh))
        return;
    size_t need = (size_t)fw * (size_t)fh * 4u;
    if (w->back_size != need) {
        worker_free_back(w);
        w->back = (uint8_t*)plat_pages_alloc(need);
        if (!w->back)
            return;
        w->back_size = need;
    }
    if (!plat_video_convert(w->reader, w->back, fw, fh))
        return;
    VideoPlayer* p = w->p;
    std::lock_guard<std::mutex> g(p->lock);
    if (p->asked.load(std::memory_order_relaxed) != w->taken)
        return;
    std::swap(p->pixels, w->back);
    std::swap(p->pixels_size, w->back_size);
    p->width = fw;
    p->height = fh;
    p->rotation = w->info.rotation;
    p->serial++;
    p->served = covers;
    p->served_target = target;
    p->served_serial = p->serial;
}

// An open or a close: the old file and frame go, then the new file is opened. The
// outcome is published only while no newer request waits, so a stale open never
// answers for a later file.
static void worker_switch(VideoWorker* w, bool open)
{
    VideoPlayer* p = w->p;
    plat_video_close(w->reader);
    w->reader = nullptr;
    w->last_time = -1.0;
    w->end = false;
    w->behind = 0;
    worker_free_back(w);
    {
        std::lock_guard<std::mutex> g(p->lock);
        plat_pages_free(p->pixels, p->pixels_size);
        p->pixels = nullptr;
        p->pixels_size = 0;
        p->width = p->height = 0;
        p->serial++;
        p->served = false;
    }
    if (open && w->path[0])
        w->reader = plat_video_open(w->path, worker_interrupted, w, &w->info);
    std::lock_guard<std::mutex> g(p->lock);
    if (p->asked.load(std::memory_order_relaxed) != w->taken)
        return;
    if (w->reader) {
        p->duration = w->info.duration;
        p->state = VIDEO_READY;
    } else {
        p->duration = 0.0;
        p->state = open ? VIDEO_FAILED : VIDEO_NONE;
    }
}

static void worker_mark_end(VideoWorker* w, double target)
{
    w->end = true;
    w->end_target = target;
}

// Seeks to the key frame before target and decodes on to the frame that covers it.
static void worker_seek(VideoWorker* w, double target)
{
    w->end = false;
    w->behind = 0;
    if (!plat_video_seek(w->reader, std::max(target, 0.0))) {
        if (w->last_time < 0.0)
            w->last_time = target;
        worker_mark_end(w, target);
        return;
    }
    w->last_time = -1.0;
    double fd = w->info.frame_duration;
    for (int i = 0; i < kSearchLimit; i++) {
        if (worker_interrupted(w))
            return;
        double t = 0.0;
        int r = plat_video_next(w->reader, &t);
        if (r != PLAT_VIDEO_FRAME) {
            if (w->last_time < 0.0)
                w->last_time = target;
            worker_mark_end(w, target);
            return;
        }
        w->last_time = t;
        if (t + fd > target) {
            worker_publish(w, target, true);
            return;
        }
    }
}

// Nothing more to do for target (its frame is shown, or the file has no more): the
// frame shown stays for it, unless a newer request waits.
static void worker_served(VideoWorker* w, double target)
{
    VideoPlayer* p = w->p;
    std::lock_guard<std::mutex> g(p->lock);
    if (p->asked.load(std::memory_order_relaxed) != w->taken)
        return;
    p->served = true;
    p->served_target = target;
    p->served_serial = p->serial;
}

// Decodes the next frame when the target has moved past the one shown.
static void worker_step(VideoWorker* w, double target)
{
    double fd = w->info.frame_duration;
    if (w->end || target < w->last_time + fd) {
        worker_served(w, target);
        worker_wait(w->p, kFrameWaitMs);
        return;
    }
    double t = 0.0;
    if (plat_video_next(w->reader, &t) != PLAT_VIDEO_FRAME) {
        worker_mark_end(w, target);
        return;
    }
    w->last_time = t;
    if (t + fd > target) {
        w->behind = 0;
        worker_publish(w, target, true);
    } else if (++w->behind % kCatchUpEvery == 0) {
        worker_publish(w, target, false);
    }
}

static bool worker_wants_seek(const VideoWorker* w, double target)
{
    if (w->last_time < 0.0)
        return true;
    if (target < w->last_time - kBackTolerance)
        return true;
    // Past the end a file has nothing more to show: a forward jump seeks again only
    // when it goes well beyond the target that met the end.
    return target > w->last_time + kForwardJump && (!w->end || target > w->end_target + kForwardJump);
}

static void worker_main(VideoPlayer* p)
{
    VideoWorker* w = new (std::nothrow) VideoWorker();
    if (!w) {
        std::lock_guard<std::mutex> g(p->lock);
        p->state = VIDEO_FAILED;
        return;
    }
    w->p = p;
    w->last_time = -1.0;
    for (;;) {
        bool open, close;
        double target;
        {
            std::lock_guard<std::mutex> g(p->lock);
            if (p->quit)
                break;
            open = p->open_request != 0;
            close = p->close_request != 0;
            p->open_request = p->close_request = 0;
            if (open)
                memcpy(w->path, p->path, sizeof w->path);
            target = p->target_time;
            w->taken = p->asked.load(std::memory_order_relaxed);
        }
        if (open || close)
            worker_switch(w, open);
        if (!w->reader)
            worker_wait(p, kIdleWaitMs);
        else if (worker_wants_seek(w, target))
            worker_seek(w, target);
        else
            worker_step(w, target);
    }
    plat_video_close(w->reader);
    worker_free_back(w);
    delete w;
}

VideoPlayer* video_player_create(void)
{
    VideoPlayer* p = new (std::nothrow) VideoPlayer();
    if (!p)
        return nullptr;
    try {
        p->thread = std::thread(worker_main, p);
    } catch (const std::system_error&) {
        delete p;
        return nullptr;
    }
    return p;
}

// Raises the request count under the lock, so the worker's copy of it and its
// requests always agree.
static void player_ask(VideoPlayer* p)
{
    p->asked.fetch_add(1, std::memory_order_release);
    p->wake = true;
}

void video_player_destroy(VideoPlayer* player)
{
    if (!player)
        return;
    {
        std::lock_guard<std::mutex> g(player->lock);
        player->quit = 1;
        player_ask(player);
    }
    player->wake_cv.notify_one();
    // No timeout: the worker uses the player until it returns, and every blocking
    // step it takes checks the request count.
    if (player->thread.joinable())
        player->thread.join();
    plat_pages_free(player->pixels, player->pixels_size);
    delete player;
}

void video_player_open(VideoPlayer* player, const char* utf8_path)
{
    if (!player || !utf8_path)
        return;
    {
        std::lock_guard<std::mutex> g(player->lock);
        snprintf(player->path, sizeof player->path, "%s", utf8_path);
        player->open_request = 1;
        player->close_request = 0;
        player->state = VIDEO_OPENING;
        player->target_time = 0.0;
        player_ask(player);
    }
    player->wake_cv.notify_one();
}

void video_player_close(VideoPlayer* player)
{
    if (!player)
        return;
    {
        std::lock_guard<std::mutex> g(player->lock);
        player->open_request = 0;
        player->close_request = 1;
        player_ask(player);
    }
    player->wake_cv.notify_one();
}

void video_player_seek(VideoPlayer* player, double seconds)
{
    if (!player)
        return;
    {
        std::lock_guard<std::mutex> g(player->lock);
        if (player->target_time == seconds)
            return;
        player->target_time = seconds;
    }
    player_wake(player);
}

int32_t video_player_state(VideoPlayer* player)
{
    if (!player)
        return VIDEO_NONE;
    std::lock_guard<std::mutex> g(player->lock);
    return player->state;
}

double video_player_duration(VideoPlayer* player)
{
    if (!player)
        return 0.0;
    std::lock_guard<std::mutex> g(player->lock);
    return player->duration;
}

const uint8_t* video_player_lock_frame(VideoPlayer* player, int32_t* width, int32_t* height, int32_t* rotation,
                                       uint32_t* serial)
{
    if (!player) {
        if (width)
            *width = 0;
        if (height)
            *height = 0;
        if (rotation)
            *rotation = 0;
        if (serial)
            *serial = 0;
        return nullptr;
    }
    player->lock.lock();
    if (width)
        *width = player->width;
    if (height)
        *height = player->height;
    if (rotation)
        *rotation = player->rotation;
    if (serial)
        *serial = player->serial;
    return player->pixels;
}

void video_player_unlock_frame(VideoPlayer* player)
{
    if (player)
        player->lock.unlock();
}

bool video_player_served(VideoPlayer* player, double* target, uint32_t* serial)
{
    if (!player)
        return false;
    std::lock_guard<std::mutex> g(player->lock);
    if (!player->served)
        return false;
    if (target)
        *target = player->served_target;
    if (serial)
        *serial = player->served_serial;
    return true;
}
