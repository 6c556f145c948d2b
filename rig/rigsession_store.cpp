// rigsession_store.cpp - store results applied to the session: loads, saves, failed
// saves and other writers' changes, and the merge in which unsaved local fields win.
#include <cstring>

#include "rig/rigsession_internal.h"

static void adopt_scene_choice(RigSession* s, const RigDocument* doc)
{
    int at = rig_app_scene_find(doc, s->app);
    if (at >= 0) {
        s->active_scene = doc->app_scenes[at].scene & 3;
        s->scene_at = doc->app_scenes[at].at;
    } else {
        s->active_scene = rig_doc_app_scene(doc, s->app);
        s->scene_at = -1.0;
    }
}

// Takes doc as the bound document (the slot owns it from now on).
static void take_doc(RigSession* s, RigDocument* doc)
{
    rig_doc_free(s->slot.doc);
    s->slot.doc = doc;
    rig_doc_grow_inputs(doc, rigsession_opened(s));
}

static void become_read_only(RigSession* s, RigDocument* doc)
{
    take_doc(s, doc);
    rig_edit_mask_clear(&s->slot.pending);
    s->slot.save_now = 0;
    s->slot.retry_pending = 0;
    s->state = RIG_STATE_READ_ONLY;
    adopt_scene_choice(s, doc);
    rigsession_publish_mix(s, 0.2f);
    rigsession_post(s, RIGMSG_READ_ONLY, 0, 0, 0, nullptr);
    rigsession_log(s, "rig: %s was made by a newer app - read only", s->device.key);
}

// What may come from disk: everything the user has not edited and not yet seen saved.
static void copy_mask(const RigEditMask* local, RigEditMask* out)
{
    rig_edit_mask_clear(out);
    for (int sc = 0; sc < RIG_SCENES; sc++) {
        uint8_t lb = local->scenes[sc];
        if (lb & RIG_EDIT_WHOLE_SCENE) {
            out->scenes[sc] = (uint8_t)(~lb & 6);
            continue;
        }
        out->scenes[sc] = (uint8_t)(~lb & 15);
        for (int i = 0; i < RIG_MAX_INPUTS; i++)
            out->inputs[sc][i] = (uint8_t)(~local->inputs[sc][i] & 31);
    }
    out->active_scene = !local->active_scene;
    out->device = 1;
    out->any = 1;
}

// mode 0: a re-read, 1: another writer's change, 2: our own save landed.
static void merge_disk(RigSession* s, const RigDocument* disk, int mode, const char* author)
{
    RigDocument* cur = s->slot.doc;
    if (!cur || !disk)
        return;
    RigMix before;
    rig_scene_to_mix(&cur->scenes[s->active_scene & 3], rigsession_opened(s), &before);
    bool kept = rig_doc_assign(s->scratch, cur);
    RigEditMask local = s->slot.pending;
    for (int i = 0; i < s->slot.inflight_count; i++)
        rig_edit_mask_or(&local, &s->slot.inflight[i].mask);
    RigEditMask cm;
    copy_mask(&local, &cm);
    rig_doc_copy_fields(cur, disk, &cm);
    cur->rev = disk->rev;
    cur->writer = disk->writer;
    rig_doc_grow_inputs(cur, rigsession_opened(s));
    int old_scene = s->active_scene;
    int at = rig_app_scene_find(cur, s->app);
    if (at >= 0 && cur->app_scenes[at].at > s->scene_at) {
        int sc = cur->app_scenes[at].scene;
        s->active_scene = sc < 0 ? 0 : sc > 3 ? 3 : sc;
        s->scene_at = cur->app_scenes[at].at;
    }
    RigMix after;
    rig_scene_to_mix(&cur->scenes[s->active_scene & 3], rigsession_opened(s), &after);
    bool mix_changed = !rig_mix_equal(&before, &after);
    RigEditMask diff{};
    if (kept)
        rig_doc_diff_mask(s->scratch, cur, &diff);
    bool changed = false;
    int first_scene = -1;
    for (int sc = 0; sc < RIG_SCENES; sc++) {
        bool c = diff.scenes[sc] != 0;
        for (int i = 0; i < RIG_MAX_INPUTS && !c; i++)
            c = diff.inputs[sc][i] != 0;
        if (c) {
            changed = true;
            if (first_scene < 0 && strcmp(cur->scenes[sc].author, s->app) != 0)
                first_scene = sc;
        }
    }
    if (s->active_scene != old_scene)
        rigsession_post(s, RIGMSG_SCENE, s->active_scene, 0, mix_changed, nullptr);
    rigsession_publish_mix(s, 0.2f);
    if (changed && (mode == 1 || mode == 2)) {
        const char* who = mode == 1 ? author : first_scene >= 0 ? cur->scenes[first_scene].author : nullptr;
        if (who && who[0]) {
            rig_utf8_copy(s->other_writer, sizeof s->other_writer, who);
            s->other_writer_at = s->now;
            rigsession_post(s, RIGMSG_OTHER_WRITER, 0, 0, 0, who);
        }
    }
}

static void on_loaded(RigSession* s, RigStoreResult* r)
{
    s->pending_load = 0;
    RigDocument* doc = r->doc;
    r->doc = nullptr;
    if (s->state == RIG_STATE_LOADING) {
        take_doc(s, doc);
        s->state = doc->read_only ? RIG_STATE_READ_ONLY : RIG_STATE_READY;
        rigsession_update_device(s);
        adopt_scene_choice(s, doc);
        s->read_failing = 0;
        s->retry_count = 0;
        rigsession_publish_mix(s, s->fallback_seen ? 0.2f : 0.0f);
        if (r->status == RIGSTORE_RECREATED)
            rigsession_post(s, RIGMSG_DAMAGED, 0, 0, 0, r->kept_as);
        if (doc->read_only) {
            rigsession_post(s, RIGMSG_READ_ONLY, 0, 0, 0, nullptr);
            rigsession_log(s, "rig: %s was made by a newer app - read only", s->device.key);
        }
        rigsession_post(s, RIGMSG_USABLE, (r->created || r->status == RIGSTORE_RECREATED) ? 1 : 0, s->fallback_seen, 0,
                        nullptr);
        return;
    }
    if (s->state == RIG_STATE_READY && s->on_defaults) {
        s->on_defaults = 0;
        s->read_failing = 0;
        s->retry_count = 0;
        if (doc->read_only) {
            become_read_only(s, doc);
            return;
        }
        merge_disk(s, doc, 0, nullptr);
        rigsession_log(s, "rig: the rig file can be read again - merged it in");
    } else if (s->state == RIG_STATE_READY && r->status == RIGSTORE_RECREATED) {
        // A file damaged while the rig was ready, set aside after a save failed on it:
        // the file written now is the session's document.
        merge_disk(s, doc, 0, nullptr);
        rigsession_post(s, RIGMSG_DAMAGED, 0, 0, 0, r->kept_as);
    }
    rig_doc_free(doc);
}

static RigSaveSlot* slot_of_job(RigSession* s, uint32_t job, int* index)
{
    RigSaveSlot* slots[2] = {&s->slot, &s->background};
    for (RigSaveSlot* sl : slots)
        for (int i = 0; i < sl->inflight_count; i++)
            if (sl->inflight[i].job == job) {
                *index = i;
                return sl;
            }
    return nullptr;
}

static void on_saved(RigSession* s, RigStoreResult* r)
{
    int i = 0;
    RigSaveSlot* sl = slot_of_job(s, r->job, &i);
    if (!sl)
        return;
    sl->inflight[i] = sl->inflight[--sl->inflight_count];
    if (sl == &s->background) {
        if (!rigsession_slot_busy(sl))
            rigsession_slot_free(sl);
        return;
    }
    if (s->save_failed) {
        s->save_failed = 0;
        s->save_message[0] = '\0';
        rigsession_post(s, RIGMSG_SAVED_AGAIN, 0, 0, 0, nullptr);
        rigsession_log(s, "rig: saved %s again", s->device.key);
    }
    if (s->on_defaults) {
        s->on_defaults = 0;
        s->read_failing = 0;
        rigsession_log(s, "rig: the rig file can be read again - our edits landed on it");
    }
    if (s->state == RIG_STATE_READY && r->doc)
        merge_disk(s, r->doc, 2, nullptr);
}

static void upper_copy(char* dst, int size, const char* src)
{
    rig_utf8_copy(dst, size, src);
    for (char* p = dst; *p; p++)
        if (*p >= 'a' && *p <= 'z')
            *p = (char)(*p - 'a' + 'A');
}

static void on_save_failed(RigSession* s, RigStoreResult* r)
{
    int i = 0;
    RigSaveSlot* sl = slot_of_job(s, r->job, &i);
    if (!sl)
        return;
    RigEditMask mask = sl->inflight[i].mask;
    sl->inflight[i] = sl->inflight[--sl->inflight_count];
    if (!sl->pending.any)
        sl->first_edit = s->now;
    rig_edit_mask_or(&sl->pending, &mask);
    sl->retry_pending = 1;
    sl->retry_at = s->now + 2.0;
    if (r->decode == RIG_DECODE_NEWER) {
        rig_edit_mask_clear(&sl->pending);
        sl->retry_pending = 0;
        if (sl == &s->slot && s->state == RIG_STATE_READY) {
            s->state = RIG_STATE_READ_ONLY;
            if (s->slot.doc)
                s->slot.doc->read_only = 1;
            rigsession_post(s, RIGMSG_READ_ONLY, 0, 0, 0, nullptr);
            rigsession_log(s, "rig: %s was made by a newer app - read only", s->device.key);
        }
        return;
    }
    if (sl != &s->slot)
        return;
    upper_copy(s->save_message, sizeof s->save_message, r->message);
    if (!s->save_failed) {
        s->save_failed = 1;
        rigsession_post(s, RIGMSG_SAVE_FAILED, 0, 0, 0, r->message);
    }
    // Another tool damaged the file while the rig was ready: every save would fail on
    // it. As a load does, the file is set aside and the session's document written in
    // its place; the edits still pending are saved onto it by the retry.
    bool damaged = r->decode == RIG_DECODE_NOT_A_RIG || r->decode == RIG_DECODE_NO_TEXT;
    if (damaged && s->state == RIG_STATE_READY && s->bound && !s->pending_load && s->slot.doc)
        rigsession_retry_load(s);
}

static void on_changed(RigSession* s, RigStoreResult* r)
{
    if (!s->bound || strcmp(r->key, s->device.key) != 0 || !s->slot.doc ||
        (s->state != RIG_STATE_READY && s->state != RIG_STATE_READ_ONLY) || !r->doc)
        return;
    RigDocument* doc = r->doc;
    if (doc->read_only) {
        r->doc = nullptr;
        become_read_only(s, doc);
        return;
    }
    if (s->state == RIG_STATE_READ_ONLY) {
        r->doc = nullptr;
        take_doc(s, doc);
        s->state = RIG_STATE_READY;
        adopt_scene_choice(s, doc);
        rigsession_publish_mix(s, 0.2f);
        rig_utf8_copy(s->other_writer, sizeof s->other_writer, r->author);
        s->other_writer_at = s->now;
        rigsession_post(s, RIGMSG_OTHER_WRITER, 0, 0, 0, r->author);
        return;
    }
    merge_disk(s, doc, 1, r->author);
}

void rigsession_poll_store(RigSession* s)
{
    RigStoreResult r;
    while (rigstore_take_result(s->store, &r)) {
        switch (r.status) {
        case RIGSTORE_LOADED:
        case RIGSTORE_RECREATED:
            if (r.job == s->pending_load && s->bound && strcmp(r.key, s->device.key) == 0 && r.doc)
                on_loaded(s, &r);
            break;
        case RIGSTORE_LOAD_FAILED:
            if (r.job == s->pending_load && s->bound && strcmp(r.key, s->device.key) == 0) {
                s->pending_load = 0;
                bool first = !s->read_failing;
                s->read_failing = 1;
                s->retry_count++;
                s->next_retry = s->now + 2.0;
                if (first || !s->on_defaults)
                    rigsession_log(s, "rig: can't read the rig file (%s) - retrying every %.0f s", r.message, 2.0);
            }
            break;
        case RIGSTORE_SAVED: on_saved(s, &r); break;
        case RIGSTORE_SAVE_FAILED: on_save_failed(s, &r); break;
        case RIGSTORE_CHANGED: on_changed(s, &r); break;
        default: break;
        }
        rigstore_result_free(&r);
    }
}

void rigsession_update_device(RigSession* s)
{
    RigDocument* doc = s->slot.doc;
    if (!doc || doc->read_only)
        return;
    const RigDeviceInfo& d = s->device;
    bool changed = false;
    if (d.inputs_opened > doc->device.channels) {
        doc->device.channels = d.inputs_opened;
        changed = true;
    }
    if (strcmp(doc->device.name, d.name) != 0) {
        rig_utf8_copy(doc->device.name, sizeof doc->device.name, d.name);
        changed = true;
    }
    if (strcmp(doc->device.api, d.api) != 0) {
        rig_utf8_copy(doc->device.api, sizeof doc->device.api, d.api);
        changed = true;
    }
    for (int i = 0; i < RIG_MAX_INPUTS; i++)
        if (d.channel_names[i][0] && strcmp(doc->device.channel_names[i], d.channel_names[i]) != 0) {
            rig_utf8_copy(doc->device.channel_names[i], sizeof doc->device.channel_names[i], d.channel_names[i]);
            changed = true;
        }
    if (changed && s->state == RIG_STATE_READY) {
        s->slot.pending.device = 1;
        rigsession_mark_edited(s);
    }
}
