// takes.cpp - take loading, the take list and the library player (see takes.h).
#include "app/takes.h"
#include "app/take_grid.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/app_state.h"
#include "app/app_events.h"
#include "app/session_take.h"
#include "app/settings.h"
#include "app/take_names.h"
#include "app/take_wait.h"
#include "app/toast.h"
#include "app/video_panel.h"
#include "app/worker.h"
#include "audio/audiofile.h"
#include "audio/engine.h"
#include "audio/loop_file.h"
#include "audio/looper.h"
#include "audio/preview.h"
#include "audio/resampler.h"
#include "audio/sample_buffer.h"
#include "audio/wav_read.h"
#include "library/folder_tree.h"
#include "library/library.h"
#include "library/views/favourites_panel.h"
#include "library/views/library_view.h"
#include "platform/plat_dir.h"
#include "platform/plat_file.h"
#include "platform/plat_time.h"

static constexpr auto rl = std::memory_order_relaxed;

// What the loader makes into the loop: a decoded file, or bars of the take player's take.
enum { TAKE_JOB_FILE = 0, TAKE_JOB_BARS };

struct TakeLoadJob {
    uint8_t kind;                // TAKE_JOB_*
    char path[520];              // the file
    SampleBuffer* take;          // the bars' take, shared with the player until the run ends
    double start;                // the bars' first frame position in it
    char toast[64];              // what the bars say once they are the loop
    double target_rate;
    float volume;
    Worker worker;
    bool ok;                     // the run's result, read once the run has ended
    float* left;
    float* right;
    int32_t length;
    LoopLoadLoss loss;
};

static TakeLoadJob g_job;
static PreviewPlayer g_player;

bool is_video_file_name(const char* name)
{
    static const char* const kinds[] = {".mp4", ".mov", ".m4v", ".wmv", ".avi", ".mkv", ".webm", ".3gp"};
    for (const char* k : kinds)
        if (take_name_has_extension(name, k))
            return true;
    return false;
}

bool take_is_openable(const char* name)
{
    return name && (audiofile_is_supported(name) || is_video_file_name(name));
}

static void open_video(AppState* app, const char* path)
{
    video_panel_open(app, path, false);
    if (!app->video_open)
        app->video_toggle = 1;
}

void app_open_path(AppState* app, const char* path)
{
    if (!app || !path)
        return;
    if (is_video_file_name(path)) {
        open_video(app, path);
        return;
    }
    if (audiofile_is_supported(path)) {
        app_player_ensure(app);
        if (library_add_file(app->library, path, true)) {
            app->library_open = 1;
            settings_save(app);
            return;
        }
    }
    toast_show(app, "CAN'T PLAY THAT", TOAST_RED);
}

// ---------------------------------------------------------------------------
// Decoding and the loader thread
// ---------------------------------------------------------------------------

bool take_decode(const char* path, double target_rate, float volume, float** left, float** right,
                 int32_t* frames, LoopLoadLoss* loss)
{
    *left = *right = nullptr;
    *frames = 0;
    if (loss)
        *loss = LoopLoadLoss{};
    SampleBuffer b;
    char err[128];
    int rc = audiofile_load_into(path, &b, nullptr, err, sizeof err);
    bool ok = rc == 0 && b.frames > 0 && b.channels > 0 && b.samples && target_rate > 0.0;
    double from_rate = ok && b.sample_rate > 0.0 ? b.sample_rate : target_rate;
    int64_t want = ok ? resample_length(b.frames, from_rate, target_rate, (int64_t)TAKE_LOAD_MAX_FRAMES + 1) : 0;
    bool capped = want > TAKE_LOAD_MAX_FRAMES;
    int32_t n = (int32_t)std::min(want, (int64_t)TAKE_LOAD_MAX_FRAMES);
    float* l = n > 0 ? (float*)std::malloc(sizeof(float) * (size_t)n) : nullptr;
    float* r = n > 0 ? (float*)std::malloc(sizeof(float) * (size_t)n) : nullptr;
    // The whole take is the loop's cycle; a take cut to the loop's length is read on
    // into what was cut.
    ok = ok && l && r &&
         (capped ? resample_interleaved(b.samples, b.channels, b.frames, from_rate, target_rate, 0.0, volume, l, r, n)
                 : resample_cycle(b.samples, b.channels, b.frames, from_rate, target_rate, volume, l, r, n));
    if (!ok) {
        std::free(l);
        std::free(r);
        sample_buffer_free(&b);
        return false;
    }
    const int ch = b.channels;
    if (loss) {
        loss->capped = capped;
        loss->channels = ch > 2 ? ch : 0;
        loss->file_rate = from_rate != target_rate && b.sample_rate < 4294967295.0 ? (uint32_t)b.sample_rate : 0;
    }
    sample_buffer_free(&b);
    *left = l;
    *right = r;
    *frames = n;
    return true;
}

void take_toast_loaded(AppState* app, const LoopLoadLoss* loss, int32_t frames, double rate)
{
    if (!loss || !loop_load_loss_any(loss)) {
        toast_show(app, "LOADED", TOAST_TEAL);
        return;
    }
    // Each thing the loop did not keep of the file as it was, most lost first.
    rate = rate > 0.0 ? rate : 48000.0;
    char text[96] = "LOADED";
    size_t at = std::strlen(text);
    auto add = [&](const char* fmt, auto... v) {
        int n = snprintf(text + at, sizeof text - at, fmt, v...);
        at = n < 0 ? at : std::min(at + (size_t)n, sizeof text - 1);
    };
    if (loss->capped)
        add(", CUT TO %.1fS", (double)frames / rate);
    if (loss->channels > 2)
        add(", %d CHANNELS, 2 KEPT", (int)loss->channels);
    if (loss->file_rate > 0)
        add(", %gK MADE %gK", loss->file_rate / 1000.0, rate / 1000.0);
    if (loss->bits > 0)
        add(", %d-BIT NARROWED", (int)loss->bits);
    toast_show(app, text, TOAST_YELLOW);
}

static void take_load_thread(void* arg)
{
    TakeLoadJob* job = (TakeLoadJob*)arg;
    job->ok = take_decode(job->path, job->target_rate, job->volume, &job->left, &job->right, &job->length,
                          &job->loss);
    worker_end(&job->worker, job->ok);
}

static void take_bars_thread(void* arg)
{
    TakeLoadJob* job = (TakeLoadJob*)arg;
    const SampleBuffer* b = job->take;
    int32_t n = job->length;
    job->left = (float*)std::malloc(sizeof(float) * (size_t)n);
    job->right = (float*)std::malloc(sizeof(float) * (size_t)n);
    job->ok = job->left && job->right &&
              resample_interleaved(b->samples, b->channels, b->frames, b->sample_rate, job->target_rate, job->start,
                                   job->volume, job->left, job->right, n);
    if (!job->ok) {
        std::free(job->left);
        std::free(job->right);
        job->left = job->right = nullptr;
        job->length = 0;
    }
    sample_buffer_destroy(job->take);
    job->take = nullptr;
    worker_end(&job->worker, job->ok);
}

int32_t take_load_state(void)
{
    int32_t state = g_job.worker.state.load(std::memory_order_acquire);
    return state == WORKER_RUNNING ? 1 : state == WORKER_ENDED ? (g_job.ok ? 2 : 3) : 0;
}

// The job made ready for a run at the engine's rate; false, with a toast, while a load
// runs or waits.
static bool take_job_prepare(AppState* app, uint8_t kind)
{
    if (take_load_state() != 0) {
        toast_show(app, "LOADING...", TOAST_GREY);
        return false;
    }
    double rate = app->engine ? app->engine->sample_rate : 0.0;
    g_job.kind = kind;
    g_job.target_rate = rate > 0.0 ? rate : 48000.0;
    g_job.volume = app->library ? library_get_volume(app->library) : 1.0f;
    g_job.left = g_job.right = nullptr;
    g_job.length = 0;
    g_job.loss = LoopLoadLoss{};
    return true;
}

void take_load_start(AppState* app, const char* path)
{
    if (!app || !path)
        return;
    if (is_video_file_name(path)) {
        open_video(app, path);
        return;
    }
    if (!audiofile_is_supported(path)) {
        toast_show(app, "NOT AUDIO", TOAST_RED);
        return;
    }
    if (!take_job_prepare(app, TAKE_JOB_FILE))
        return;
    snprintf(g_job.path, sizeof g_job.path, "%s", path);
    // The decode never runs on the UI thread: without a thread of its own it is refused.
    if (!worker_start_thread(&g_job.worker, take_load_thread, &g_job, "tessel-takeload")) {
        toast_show(app, "CAN'T LOAD THAT", TOAST_RED);
        return;
    }
    app->take_loading = 1;
    foldertree_set_highlight(app->folder_tree, path);   // the file being decoded
    const char* slash = std::strrchr(path, '/');
    char text[48];
    int n = snprintf(text, sizeof text, "LOADING %.40s", slash ? slash + 1 : path);
    for (int i = 0; i < n && i < (int)sizeof text - 1; i++)
        text[i] = (char)std::toupper((unsigned char)text[i]);
    toast_show(app, text, TOAST_LIGHT_TEAL);
}

void take_load_bars(AppState* app, SampleBuffer* take, double start, int32_t frames, const char* toast)
{
    if (!app || !take || !take->samples || frames < 1)
        return;
    if (!take_job_prepare(app, TAKE_JOB_BARS))
        return;
    g_job.take = sample_buffer_share(take);
    g_job.start = start;
    g_job.length = frames;
    snprintf(g_job.toast, sizeof g_job.toast, "%s", toast ? toast : "");
    if (!worker_start_thread(&g_job.worker, take_bars_thread, &g_job, "tessel-bars")) {
        sample_buffer_destroy(g_job.take);
        g_job.take = nullptr;
        g_job.length = 0;
        toast_show(app, "CAN'T LOAD THAT", TOAST_RED);
        return;
    }
    app->take_loading = 1;
}

void take_engine_stop(AppState* app)
{
    Engine* e = app->engine;
    e->record.store(0, rl);
    e->hold_dub.store(0, rl);
    e->playing.store(0, rl);
}

// The decoded file's arrays are freed and the loader is idle again.
void take_load_discard(AppState* app)
{
    std::free(g_job.left);
    std::free(g_job.right);
    g_job.left = g_job.right = nullptr;
    g_job.length = 0;
    worker_collect(&g_job.worker);
    app->take_loading = 0;
    // The decoded file's mark goes; the tree marks the player's take again, if it
    // still holds one.
    foldertree_set_highlight(app->folder_tree, app->library ? app->library->loaded_path : nullptr);
}

// The decoded file or the bars become the loop, whose old take is secured, and the
// loader is idle again. Either starts a new session: the autosave must not write it
// over the take it replaced.
static void take_load_apply(AppState* app)
{
    Engine* e = app->engine;
    take_engine_stop(app);
    if (g_job.kind == TAKE_JOB_BARS)
        preview_pause(app->preview);
    else
        library_stop(app->library);
    if (loop_set_buffers(e, g_job.left, g_job.right, g_job.length)) {
        app->session_name[0] = '\0';
        app->session_gen_seen = e->content_generation.load(rl);
        app->overview_timer = 0.0f;
        e->playing.store(1, rl);
        if (g_job.kind == TAKE_JOB_BARS)
            toast_show(app, g_job.toast, TOAST_TEAL);
        else
            take_toast_loaded(app, &g_job.loss, g_job.length, e->sample_rate);
    } else {
        toast_show(app, "CAN'T LOAD THAT", TOAST_RED);
    }
    take_load_discard(app);
}

// The finished load: a failure is told at once; a decoded file or bars wait for the
// loop they replace to be secured (take_wait.h), their turn coming after any wait that
// runs, and are dropped when the program closes.
static void take_load_collect(AppState* app)
{
    int32_t state = take_load_state();
    app->take_loading = state == 1;
    if (state == 3 || (state == 2 && !app->engine)) {
        toast_show(app, "CAN'T LOAD THAT", TOAST_RED);
        take_load_discard(app);
    } else if (state == 2 && !take_waiting(app) && !take_wait_begin(app, TAKE_WAIT_LOAD, nullptr)) {
        take_load_discard(app);
    }
}

void take_load_finish_now(AppState* app)
{
    if (app && app->engine && take_load_state() == 2)
        take_load_apply(app);
}

void take_load_finish(AppState* app, float dt)
{
    if (!app)
        return;
    if (app->library) {
        library_set_option_c(app->library, app->reduced_motion);
        library_update(app->library, app->ui_time, dt);
        take_beat_analysis(app);
        // A file the user chose for the player that turned out unplayable (its reader
        // failed, or it decoded to nothing): the player keeps the take it had.
        if (app->library->load_failures != app->library_failures_seen) {
            app->library_failures_seen = app->library->load_failures;
            toast_show(app, "CAN'T PLAY THAT", TOAST_RED);
        }
    }
    take_load_collect(app);
}

// ---------------------------------------------------------------------------
// The take list
// ---------------------------------------------------------------------------

void take_load_into_loop(AppState* app, int32_t index)
{
    if (!app || !app->engine || index < 0 || index >= app->take_count)
        return;
    take_wait_begin(app, TAKE_WAIT_ROW, app->takes[index].name);
}

void take_load_row_now(AppState* app, const char* name)
{
    if (!app || !app->engine || !name || !name[0])
        return;
    Engine* e = app->engine;
    take_engine_stop(app);
    // Later session saves overwrite this take, by name, when the loop holds all it
    // held and it is neither an export nor a bar loop; otherwise the loop is a new
    // session take and the file keeps what it holds.
    LoopLoadLoss loss{};
    if (session_take_load(app, name, &loss)) {
        uint32_t gen = e->content_generation.load(rl);
        app->session_gen_seen = app->session_gen_saved = gen;
        app->overview_timer = 0.0f;
        take_toast_loaded(app, &loss, e->length.load(rl), e->sample_rate);
    } else {
        toast_show(app, "CANT LOAD", TOAST_RED);
    }
}

static bool has_wav_extension(const char* name)
{
    return take_name_has_extension(name, ".wav");
}

static bool scan_visit(void* ctx, const PlatDirEntry* entry)
{
    std::vector<TakeEntry>* found = (std::vector<TakeEntry>*)ctx;
    if (!entry->is_file || !has_wav_extension(entry->name))
        return true;
    TakeEntry t{};
    // A name the list cannot hold whole is left out rather than listed cut, since a
    // cut name opens another file or none.
    if (std::strlen(entry->name) >= sizeof t.name)
        return true;
    snprintf(t.name, sizeof t.name, "%s", entry->name);
    found->push_back(t);
    return true;
}

// Newest first; one time stamp shared by several takes is ordered by name.
static bool take_newer(const TakeEntry& a, const TakeEntry& b)
{
    if (a.write_time != b.write_time)
        return a.write_time > b.write_time;
    return std::strcmp(a.name, b.name) < 0;
}

void app_library_scan(AppState* app)
{
    if (!app)
        return;
    app->take_count = 0;
    // Every take is looked at, so the list holds the newest whatever order the folder
    // lists them in; only those kept have their headers read.
    std::vector<TakeEntry> found;
    plat_dir_list(app->takes_folder, scan_visit, &found);
    char path[sizeof app->takes_folder + sizeof(TakeEntry::name) + 1];
    for (TakeEntry& t : found) {
        snprintf(path, sizeof path, "%s/%s", app->takes_folder, t.name);
        PlatFileInfo info{};
        plat_file_info(path, &info);
        t.write_time = info.mtime_ms > 0.0 ? (uint64_t)info.mtime_ms : 0;
    }
    size_t keep = std::min(found.size(), (size_t)APP_TAKES_MAX);
    std::partial_sort(found.begin(), found.begin() + (ptrdiff_t)keep, found.end(), take_newer);
    for (size_t i = 0; i < keep; i++) {
        TakeEntry* t = &app->takes[i];
        *t = found[i];
        snprintf(path, sizeof path, "%s/%s", app->takes_folder, t->name);
        t->seconds = wav_duration_seconds(path);
    }
    app->take_count = (int32_t)keep;
    int32_t top = std::max(0, app->take_count - app_library_rows(app));
    app->take_scroll = std::clamp(app->take_scroll, 0, top);
}

// ---------------------------------------------------------------------------
// The library player
// ---------------------------------------------------------------------------

void app_player_render_hook(void* ctx, float* left, float* right, int32_t frames, double rate)
{
    preview_render((PreviewPlayer*)ctx, left, right, frames, rate);
}

static bool tree_filter(const char* name, void* user)
{
    return take_is_openable(name);
}

static void tree_open(const FolderNode* node, void* user)
{
    take_load_start((AppState*)user, node->path);
}

void app_player_ensure(AppState* app)
{
    if (!app || app->library)
        return;
    preview_init(&g_player);
    app->preview = &g_player;
    preview_set_looping(&g_player, app->player_loop != 0);
    if (app->engine)
        app->engine->player_to_input.store(app->player_to_input, rl);
    Library* lib = library_create();
    if (!lib)
        return;
    app->library = lib;
    library_set_player(lib, &g_player);
    library_set_volume(lib, app->library_gain > 0.0f ? app->library_gain : 1.0f);
    if (app->library_zoom > 0.0f)
        library_set_reference_length(lib, app->library_zoom);
    library_set_option_b(lib, 1);
    library_enable_browse(lib, true);
    // The take view's tempo row stays off unless the environment asks for it.
    const char* row = std::getenv("TESSEL_TEMPO_ROW");
    if (row && std::strcmp(row, "1") == 0)
        library_set_tempo_row(lib, true);
    LibraryViewState view = library_get_view_state(lib);
    view.source = 3;
    library_set_view_state(lib, &view);
    app->folder_tree = library_folder_tree(lib);
    app->favourites = library_favourites_panel(lib);
    // The theme's colour set with the main screen's background, panel, texts and
    // accent in place of five of them.
    library_init_colours(app->library_colours);
    static const float kScreen[5][4] = {
        {13 / 255.0f, 17 / 255.0f, 17 / 255.0f, 150 / 255.0f},  {23 / 255.0f, 29 / 255.0f, 29 / 255.0f, 150 / 255.0f},
        {242 / 255.0f, 242 / 255.0f, 242 / 255.0f, 1.0f},        {148 / 255.0f, 148 / 255.0f, 148 / 255.0f, 1.0f},
        {107 / 255.0f, 230 / 255.0f, 224 / 255.0f, 1.0f}};
    static const int kSlots[5] = {0, 1, 3, 4, 5};
    for (int i = 0; i < 5; i++)
        std::memcpy(app->library_colours[kSlots[i]], kScreen[i], sizeof kScreen[i]);
    // Only what the program can open is listed, and an opened file goes to the loop.
    foldertree_set_file_filter(app->folder_tree, tree_filter, app);
    foldertree_set_open_cb(app->folder_tree, tree_open, app);
    foldertree_restore(app->folder_tree, app->folder_tree_state);
    favpanel_restore(app->favourites, app->favourites_state);
    if (app->engine)
        engine_set_render_hook(app->engine, app_player_render_hook, &g_player);
}
