// take_secure.cpp - securing the loop: settling, then its write (see take_secure.h).
#include "app/take_secure.h"

#include "app/app_state.h"
#include "app/loop_export.h"
#include "app/session_take.h"
#include "app/toast.h"
#include "audio/engine.h"
#include "audio/looper.h"

static constexpr auto rl = std::memory_order_relaxed;

// Two audio blocks that did not write the loop: once recording has ended, the record
// ramp and the run-out only fall, so nothing writes it again.
static const uint64_t kSettleBlocks = 2;
// A stream that stalls unnoticed never ends those blocks: the wait gives up then.
static const double kSettleLimitSeconds = 1.5;

void take_settle_begin(AppState* app, TakeSettle* s)
{
    Engine* e = app->engine;
    s->began = app->ui_time;
    s->blocks = e->blocks_left.load(std::memory_order_acquire);
    s->gen = e->content_generation.load(std::memory_order_acquire);
}

// Whether the stream may still be waited for: it runs, and has not stalled for longer
// than a settling can take.
static bool settle_stream_alive(const AppState* app, const TakeSettle* s)
{
    return app->engine->running && app->ui_time - s->began < kSettleLimitSeconds;
}

bool take_settle_done(AppState* app, TakeSettle* s)
{
    Engine* e = app->engine;
    if (!settle_stream_alive(app, s))
        return true;
    // Blocks first: every write of a block counted as ended is then seen.
    uint64_t blocks = e->blocks_left.load(std::memory_order_acquire);
    uint32_t gen = e->content_generation.load(std::memory_order_acquire);
    if (gen != s->gen) {
        s->gen = gen;
        s->blocks = blocks;
        return false;
    }
    return blocks - s->blocks >= kSettleBlocks;
}

void take_secure_begin(AppState* app, TakeSecure* s, bool settle, bool to_export)
{
    *s = TakeSecure{};
    s->state = settle ? TAKE_SECURE_SETTLING : TAKE_SECURE_WRITING;
    s->to_export = to_export ? 1 : 0;
    s->failures = session_wav_writes_failed();
    take_settle_begin(app, &s->settle);
}

// The export's write: once a first pass r just closed has become the loop, the loop as
// it stands, an overdub going on or not.
static uint8_t secure_export(AppState* app, TakeSecure* s)
{
    if (!s->write_begun) {
        if (app->engine->close_request.load(rl) && settle_stream_alive(app, &s->settle))
            return TAKE_SECURE_WRITING;
        s->write_begun = 1;
        if (!loop_export_start(app))
            return TAKE_SECURE_DONE;   // its toast said why
    }
    return loop_export_finish(app) ? TAKE_SECURE_DONE : TAKE_SECURE_WRITING;
}

// The session take's write: a running writer is waited for, then the loop is written
// when it changed since the last take, and again when it changed while written.
static uint8_t secure_session(AppState* app, TakeSecure* s)
{
    Engine* e = app->engine;
    if (session_wav_busy())
        return TAKE_SECURE_WRITING;
    session_take_follow(app);
    // A write that was under way failed: the loop is not on disk, whatever the update
    // has seen of it yet.
    if (!s->write_begun && session_wav_writes_failed() != s->failures)
        app->session_gen_saved = e->content_generation.load(rl) - 1u;
    if (s->write_begun) {
        if (session_wav_writes_failed() != s->failures)
            return TAKE_SECURE_FAILED;   // the update shows "TAKE NOT SAVED" for the write that ran
        if (e->content_generation.load(rl) == app->session_gen_saved)
            return TAKE_SECURE_DONE;
    }
    s->write_begun = 1;
    s->failures = session_wav_writes_failed();
    loop_close_open_pass(e);   // a stopped stream never closes it itself
    uint32_t gen = e->content_generation.load(rl);
    if (gen == app->session_gen_saved)
        return TAKE_SECURE_DONE;
    if (e->length.load(rl) < 1) {
        app->session_gen_saved = gen;   // an empty loop holds nothing to lose
        return TAKE_SECURE_DONE;
    }
    if (!session_wav_save(app)) {
        if (session_wav_writes_failed() == s->failures) {
            toast_show(app, "TAKE NOT SAVED", TOAST_RED);   // not even begun
            app->take_unsaved = 1;
        }
        return TAKE_SECURE_FAILED;
    }
    return TAKE_SECURE_WRITING;
}

uint8_t take_secure_step(AppState* app, TakeSecure* s)
{
    if (s->state == TAKE_SECURE_SETTLING && (s->hurry || take_settle_done(app, &s->settle)))
        s->state = TAKE_SECURE_WRITING;
    if (s->state == TAKE_SECURE_WRITING)
        s->state = s->to_export ? secure_export(app, s) : secure_session(app, s);
    return s->state;
}
