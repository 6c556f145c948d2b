// rigsession.cpp - the session's life: creation, binding to the opened device, the
// tick, saving slots, messages, flushing and the views the inputs panel reads.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "rig/rigsession_internal.h"

void rigsession_log(RigSession* s, const char* format, ...)
{
    if (!s || !s->log_fn)
        return;
    char buf[400];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    s->log_fn(s->log_ctx, buf);
}

void rigsession_post(RigSession* s, int kind, int a, int b, int c, const char* text)
{
    if (s->count == RIGSESSION_MESSAGES) {
        s->head = (s->head + 1) % RIGSESSION_MESSAGES;
        s->count--;
    }
    RigMessage* m = &s->messages[(s->head + s->count) % RIGSESSION_MESSAGES];
    *m = RigMessage{kind, a, b, c, {}};
    rig_utf8_copy(m->text, sizeof m->text, text ? text : "");
    s->count++;
}

bool rigsession_next_message(RigSession* s, RigMessage* out)
{
    if (!s || !out || s->count == 0)
        return false;
    *out = s->messages[s->head];
    s->head = (s->head + 1) % RIGSESSION_MESSAGES;
    s->count--;
    return true;
}

RigSession* rigsession_create(const RigSessionConfig* config)
{
    RigSessionConfig c = config ? *config : RigSessionConfig{};
    RigSession* s = (RigSession*)calloc(1, sizeof(RigSession));
    if (!s)
        return nullptr;
    rig_utf8_copy(s->app, sizeof s->app, c.app && c.app[0] ? c.app : "app");
    s->log_fn = c.log;
    s->log_ctx = c.log_ctx;
    RigStoreConfig sc{};
    sc.folder = c.folder;
    sc.app = c.app;
    sc.version = c.version;
    sc.log = c.log;
    sc.log_ctx = c.log_ctx;
    sc.poll_ms = 1000;
    sc.clock = c.clock;
    sc.clock_ctx = c.clock_ctx;
    s->store = rigstore_open(&sc);
    s->router = rigroute_new();
    s->scratch = rig_doc_new();
    if (!s->store || !s->router || !s->scratch) {
        rigstore_close(s->store, 1000);
        rigroute_free(s->router);
        rig_doc_free(s->scratch);
        free(s);
        return nullptr;
    }
    s->scene_at = -1.0;
    s->bind_time = -1.0;
    s->hot_input = -1;
    s->hot_candidate = -1;
    s->other_writer_at = -1.0;
    rigsession_reset_meters(s);
    return s;
}

void rigsession_slot_free(RigSaveSlot* slot)
{
    rig_doc_free(slot->doc);
    *slot = RigSaveSlot{};
}

bool rigsession_slot_busy(const RigSaveSlot* slot)
{
    return slot->doc && (slot->pending.any || slot->inflight_count > 0);
}

void rigsession_destroy(RigSession* s)
{
    if (!s)
        return;
    rigsession_submit_saves(s, &s->slot, true);
    rigsession_submit_saves(s, &s->background, true);
    rigstore_wait_idle(s->store, 1000);
    rigsession_poll_store(s);
    rigstore_close(s->store, 1000);
    rigsession_slot_free(&s->slot);
    rigsession_slot_free(&s->background);
    rigroute_free(s->router);
    rig_doc_free(s->scratch);
    free(s);
}

RigRouter* rigsession_router(RigSession* s)
{
    return s ? s->router : nullptr;
}

RigStore* rigsession_store(RigSession* s)
{
    return s ? s->store : nullptr;
}

const RigDocument* rigsession_current_doc(RigSession* s)
{
    if (!s || !s->bound || !s->slot.doc)
        return nullptr;
    return s->state == RIG_STATE_READY || s->state == RIG_STATE_READ_ONLY ? s->slot.doc : nullptr;
}

void rigsession_set_flag(RigSession* s, uint8_t flag)
{
    if (s)
        s->flag = flag;
}

int rigsession_opened(const RigSession* s)
{
    int n = s->device.inputs_opened;
    return n < 1 ? 1 : n > RIG_MAX_INPUTS ? RIG_MAX_INPUTS : n;
}

void rigsession_publish_mix(RigSession* s, float ramp)
{
    if (!s->bound || !s->slot.doc || (s->state != RIG_STATE_READY && s->state != RIG_STATE_READ_ONLY))
        return;
    RigMix mix;
    int sc = s->active_scene < 0 || s->active_scene > 3 ? 0 : s->active_scene;
    rig_scene_to_mix(&s->slot.doc->scenes[sc], rigsession_opened(s), &mix);
    if (s->has_published && s->published_tag == s->tag && rig_mix_equal(&mix, &s->published))
        return;
    rigroute_publish_mix(s->router, &mix, s->tag, ramp);
    s->published = mix;
    s->published_tag = s->tag;
    s->has_published = 1;
}

// Moves unsaved edits of the bound device to the background slot, or drops the slot.
static void defer_unsaved(RigSession* s)
{
    bool keep = s->slot.doc && s->state == RIG_STATE_READY && !s->slot.doc->read_only &&
                (s->slot.pending.any || s->slot.inflight_count > 0);
    if (!keep) {
        rigsession_slot_free(&s->slot);
        return;
    }
    if (rigsession_slot_busy(&s->background))
        rigsession_log(s, "rig: dropped the unsaved changes of %s (another device came along first)",
                       s->background.key);
    rigsession_slot_free(&s->background);
    s->background = s->slot;
    s->slot = RigSaveSlot{};
    rigsession_submit_saves(s, &s->background, true);
}

static void repair_device(RigSession* s, const RigDeviceInfo* in, RigDeviceInfo* d)
{
    *d = *in;
    rig_utf8_copy(d->api, sizeof d->api, in->api);
    rig_utf8_copy(d->name, sizeof d->name, in->name);
    rig_utf8_copy(d->key, sizeof d->key, in->key);
    d->inputs_opened = d->inputs_opened < 1 ? 1 : d->inputs_opened > RIG_MAX_INPUTS ? RIG_MAX_INPUTS : d->inputs_opened;
    if (d->inputs_on_device < d->inputs_opened)
        d->inputs_on_device = d->inputs_opened;
    if (d->inputs_on_device > RIG_MAX_INPUTS)
        d->inputs_on_device = RIG_MAX_INPUTS;
    for (auto& n : d->channel_names)
        rig_utf8_copy(n, sizeof n, n);
    if (!d->key[0])
        rig_device_key(d->api, d->name, d->key, sizeof d->key);
    if (!d->api[0]) {
        const char* colon = strchr(d->key, ':');
        if (colon && colon - d->key < 16) {
            memcpy(d->api, d->key, (size_t)(colon - d->key));
            d->api[colon - d->key] = '\0';
        }
    }
    (void)s;
}

void rigsession_bind(RigSession* s, const RigDeviceInfo* device)
{
    if (!s || !device)
        return;
    RigDeviceInfo d;
    repair_device(s, device, &d);
    s->flag = 1;
    if (s->bound && strcmp(d.key, s->device.key) == 0) {
        int before = s->device.inputs_opened;
        s->device = d;
        if (s->slot.doc && s->state != RIG_STATE_LOADING) {
            rig_doc_grow_inputs(s->slot.doc, d.inputs_opened);
            rigsession_update_device(s);
            rigsession_publish_mix(s, 0.0f);
        }
        if (d.inputs_opened > before)
            rigsession_post(s, RIGMSG_MORE_INPUTS, d.inputs_opened, 0, 0, nullptr);
        return;
    }
    defer_unsaved(s);
    s->device = d;
    rig_utf8_copy(s->slot.key, sizeof s->slot.key, d.key);
    s->tag = rig_fnv1a32(d.key);
    s->bound = 1;
    s->state = RIG_STATE_LOADING;
    s->active_scene = 0;
    s->scene_at = -1.0;
    s->has_published = 0;
    s->read_failing = 0;
    s->retry_count = 0;
    s->on_defaults = 0;
    s->save_failed = 0;
    s->save_message[0] = '\0';
    s->fallback_seen = 0;
    s->other_writer[0] = '\0';
    s->other_writer_at = -1.0;
    s->mismatch = 0;
    s->mismatch_logged = 0;
    rigsession_reset_meters(s);
    s->bind_time = s->ticked ? s->now : -1.0;
    rigstore_watch(s->store, d.key);
    RigDocument* seed = rig_doc_new();
    if (seed)
        rig_doc_init_for_device(seed, d.key, d.api, d.name, d.inputs_opened, d.channel_names, s->app,
                                s->wall > 0 ? s->wall : rig_wall_clock());
    s->pending_load = seed ? rigstore_submit_load(s->store, d.key, seed) : 0;
    rig_doc_free(seed);
    if (!s->pending_load) {
        s->read_failing = 1;
        s->next_retry = s->now + 2.0;
    }
    rigsession_log(s, "rig: bound %s (%d of %d inputs, %.0f Hz)", d.key, d.inputs_opened, d.inputs_on_device,
                   d.sample_rate);
}

void rigsession_unbind(RigSession* s)
{
    if (!s)
        return;
    defer_unsaved(s);
    rigroute_publish_off(s->router);
    rigstore_watch(s->store, nullptr);
    s->has_published = 0;
    s->state = RIG_STATE_NONE;
    s->pending_load = 0;
    s->read_failing = 0;
    s->on_defaults = 0;
    s->save_failed = 0;
    s->mismatch = 0;
    s->tag = 0;
    s->bound = 0;
    s->device = RigDeviceInfo{};
    rigsession_reset_meters(s);
}

void rigsession_retry_load(RigSession* s)
{
    s->pending_load = rigstore_submit_load(s->store, s->device.key, s->slot.doc);
    if (!s->pending_load)
        s->next_retry = s->now + 2.0;
}

// Fresh defaults after five seconds of read failures.
static void run_on_defaults(RigSession* s)
{
    RigDocument* doc = rig_doc_new();
    if (!doc)
        return;
    const RigDeviceInfo& d = s->device;
    rig_doc_init_for_device(doc, d.key, d.api, d.name, d.inputs_opened, d.channel_names, s->app, s->wall);
    rigsession_slot_free(&s->slot);
    s->slot.doc = doc;
    rig_utf8_copy(s->slot.key, sizeof s->slot.key, d.key);
    s->state = RIG_STATE_READY;
    s->on_defaults = 1;
    s->active_scene = 0;
    s->scene_at = -1.0;
    s->next_retry = s->now + 2.0;
    rigsession_publish_mix(s, s->fallback_seen ? 0.2f : 0.0f);
    rigsession_post(s, RIGMSG_USABLE, 0, s->fallback_seen, 0, nullptr);
    rigsession_log(s, "rig: can't read the rig file for %.0f s - running on the fresh defaults; changes stay in this "
                      "session until it can be read",
                   5.0);
}

static void load_retries(RigSession* s)
{
    if (!s->bound || s->pending_load)
        return;
    if (s->state == RIG_STATE_LOADING && s->read_failing) {
        if (s->now - s->bind_time >= 4.999999) {
            run_on_defaults(s);
        } else if (s->now >= s->next_retry - 1e-6) {
            RigDocument* seed = rig_doc_new();
            if (seed)
                rig_doc_init_for_device(seed, s->device.key, s->device.api, s->device.name, s->device.inputs_opened,
                                        s->device.channel_names, s->app, s->wall);
            s->pending_load = seed ? rigstore_submit_load(s->store, s->device.key, seed) : 0;
            rig_doc_free(seed);
            if (!s->pending_load)
                s->next_retry = s->now + 2.0;
        }
    } else if (s->state == RIG_STATE_READY && s->on_defaults && s->slot.inflight_count == 0 &&
               s->now >= s->next_retry - 1e-6) {
        s->next_retry = s->now + 2.0;
        rigsession_retry_load(s);
    }
}

void rigsession_tick(RigSession* s, double t, double w)
{
    if (!s)
        return;
    if (std::isfinite(t))
        s->now = t;
    s->wall = std::isfinite(w) && w > 0.0 ? w : rig_wall_clock();
    s->ticked = 1;
    if (s->bound && s->bind_time < 0.0)
        s->bind_time = s->now;
    rigsession_poll_store(s);
    rigroute_take_meters(s->router, &s->meters);
    s->meters_valid = 1;
    if (s->state == RIG_STATE_LOADING && s->meters.fallback_in_use)
        s->fallback_seen = 1;
    load_retries(s);
    rigsession_submit_saves(s, &s->slot, false);
    rigsession_submit_saves(s, &s->background, false);
    if (s->background.doc && !rigsession_slot_busy(&s->background))
        rigsession_slot_free(&s->background);
    rigsession_update_meters(s);
    rigsession_find_hot_input(s);
    if (s->bound && s->meters.channels > 0 &&
        (s->meters.stream_tag != s->tag || s->meters.channels != s->device.inputs_opened)) {
        s->mismatch = 1;
        if (!s->mismatch_logged)
            rigsession_log(s, "rig: the stream (tag %08x, %d in) doesn't match the rig bound for it (%s: tag %08x, %d in)",
                           s->meters.stream_tag, s->meters.channels, s->device.key, s->tag, s->device.inputs_opened);
        s->mismatch_logged = 1;
    } else {
        s->mismatch = 0;
    }
}

void rigsession_submit_saves(RigSession* s, RigSaveSlot* slot, bool forced)
{
    if (!slot->doc || !slot->pending.any || slot->doc->read_only || slot->inflight_count >= RIGSESSION_INFLIGHT)
        return;
    if (slot == &s->slot && s->state != RIG_STATE_READY)
        return;
    if (!forced) {
        bool due;
        if (slot->retry_pending)
            due = s->now >= slot->retry_at - 1e-6;
        else
            due = slot->save_now || s->now - slot->last_edit >= 0.149999 || s->now - slot->first_edit >= 0.999999;
        if (!due)
            return;
    }
    uint32_t job = rigstore_submit_save(s->store, slot->doc, &slot->pending);
    if (!job) {
        slot->retry_pending = 1;
        slot->retry_at = s->now + 2.0;
        return;
    }
    slot->inflight[slot->inflight_count++] = RigInFlight{job, slot->pending};
    rig_edit_mask_clear(&slot->pending);
    slot->save_now = 0;
    slot->retry_pending = 0;
}

bool rigsession_flush(RigSession* s, int wait_ms)
{
    if (!s)
        return true;
    rigsession_submit_saves(s, &s->slot, true);
    rigsession_submit_saves(s, &s->background, true);
    if (wait_ms > 0) {
        rigstore_wait_idle(s->store, wait_ms);
        rigsession_poll_store(s);
        if (s->background.doc && !rigsession_slot_busy(&s->background))
            rigsession_slot_free(&s->background);
    }
    return !rigsession_slot_busy(&s->slot) && !rigsession_slot_busy(&s->background);
}

void rigsession_input_view(RigSession* s, RigInputView* out)
{
    if (!out)
        return;
    *out = RigInputView{};
    out->hot_input = -1;
    out->other_writer_at = -1.0;
    if (!s)
        return;
    out->state = s->bound ? s->state : RIG_STATE_NONE;
    out->running = s->bound && s->flag;
    rig_utf8_copy(out->key, sizeof out->key, s->device.key);
    rig_utf8_copy(out->device_name, sizeof out->device_name, s->device.name);
    rig_utf8_copy(out->api, sizeof out->api, s->device.api);
    out->inputs_opened = s->bound ? rigsession_opened(s) : 0;
    out->channels = s->meters.channels >= 1 ? s->meters.channels : out->inputs_opened;
    out->inputs_on_device = s->device.inputs_on_device;
    out->sample_rate = s->device.sample_rate;
    out->active_scene = s->active_scene;
    const RigDocument* doc = rigsession_current_doc(s);
    if (doc) {
        const RigScene* sc = &doc->scenes[s->active_scene & 3];
        out->live_count = rig_scene_live_count(sc, rigsession_opened(s));
        out->no_live_input = out->live_count == 0;
        out->rev = doc->rev;
    }
    out->hot_input = s->hot_input;
    double age = 0.0;
    out->store_busy = rigstore_pending_age(s->store, &age) && age > 0.12;
    out->fallback = s->bound && (s->meters.fallback_in_use || s->mismatch) ? 1 : 0;
    out->on_defaults = s->on_defaults;
    out->mismatch = s->mismatch;
    out->save_failed = s->save_failed;
    rig_utf8_copy(out->save_message, sizeof out->save_message, s->save_message);
    rig_utf8_copy(out->other_writer, sizeof out->other_writer, s->other_writer);
    out->other_writer_at = s->other_writer_at;
    out->silent = s->meters.silent;
    out->save_pending = rigsession_slot_busy(&s->slot);
}

void rigsession_meter_view(RigSession* s, RigMeterView* out)
{
    if (!out)
        return;
    if (!s) {
        *out = RigMeterView{};
        return;
    }
    *out = s->mview;
}

const char* rigsession_input_label(RigSession* s, int input)
{
    if (!s || !s->bound || input < 0 || input >= RIG_MAX_INPUTS)
        return "";
    const RigDocument* doc = rigsession_current_doc(s);
    if (doc) {
        const char* label = doc->scenes[s->active_scene & 3].inputs[input].label;
        if (label[0])
            return label;
        if (doc->device.channel_names[input][0])
            return doc->device.channel_names[input];
    }
    return s->device.channel_names[input];
}

void rigsession_clear_latches(RigSession* s, int input)
{
    if (!s)
        return;
    if (input < 0) {
        memset(s->mview.clip, 0, sizeof s->mview.clip);
        memset(s->mview.bad, 0, sizeof s->mview.bad);
        s->mview.bus_clip = 0;
    } else if (input < RIG_MAX_INPUTS) {
        s->mview.clip[input] = 0;
        s->mview.bad[input] = 0;
    }
}
