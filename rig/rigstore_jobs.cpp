// rigstore_jobs.cpp - the worker's file work: reading, writing and stamping rig files,
// load and save jobs under the rig's named lock, setting damaged files aside, stray
// temporary files, and the check of the watched file for other writers' changes.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/plat_dir.h"
#include "platform/plat_named_lock.h"
#include "platform/plat_time.h"
#include "rig/rigstore_internal.h"

enum { READ_OK = 0, READ_MISSING = 1, READ_ERROR = 2, READ_TOO_BIG = 3 };
static const char kReadOnlyText[] = "read only - a newer app made this file";

// "what: words" for an errno.
static void error_text(char* out, size_t size, const char* what, int err)
{
    const char* words = nullptr;
    switch (err) {
    case ENOENT: case ENOTDIR: words = "not found"; break;
    case EACCES: case EPERM: words = "access denied"; break;
    case ENOSPC: case EDQUOT: case EFBIG: words = "the disk is full"; break;
    case EROFS: words = "the disk is write-protected"; break;
    case EBUSY: case ETXTBSY: words = "in use by another program"; break;
    case ENXIO: case ENODEV: words = "the drive isn't ready"; break;
    case ESTALE: case ENOTCONN: words = "the folder can't be reached"; break;
    case ENOMEM: words = "out of memory"; break;
    default: break;
    }
    if (words)
        snprintf(out, size, "%s: %s", what, words);
    else
        snprintf(out, size, "%s: error %d", what, err);
}

static bool file_path(const RigStore* s, const char* key, char* name, int name_size, char* path, int path_size)
{
    if (rig_file_name(key, name, name_size) < 0)
        return false;
    int n = snprintf(path, (size_t)path_size, "%s/%s", s->folder, name);
    return n > 0 && n < path_size;
}

static int read_file(const char* path, char** text, size_t* len, char* msg, size_t msg_size)
{
    int err = 0;
    for (int attempt = 0; attempt < 4; attempt++) {
        err = plat_file_read_whole(path, RIG_FILE_MAX, text, len);
        if (err == 0)
            return READ_OK;
        if (err == ENOENT || err == ENOTDIR)
            return READ_MISSING;
        if (err == EFBIG) {
            snprintf(msg, msg_size, "bigger than 1 MB (%lld bytes)", (long long)*len);
            return READ_TOO_BIG;
        }
        if (err != EACCES && err != EPERM && err != EBUSY && err != EAGAIN)
            break;
        if (attempt < 3)
            plat_sleep_ms(30);
    }
    if (err == ENOMEM)
        snprintf(msg, msg_size, "can't read the rig file: out of memory");
    else
        error_text(msg, msg_size, "can't read the rig file", err);
    return READ_ERROR;
}

bool rigstore_ensure_folder(RigStore* s, int* err)
{
    *err = 0;
    if (!s->folder[0]) {
        *err = ENOENT;
        return false;
    }
    if (plat_dir_make(s->folder))
        return true;
    *err = errno ? errno : EACCES;
    return false;
}

static bool write_file(RigStore* s, const char* path, const RigDocument* doc, char* msg, size_t msg_size)
{
    if (!s->enc) {
        s->enc = (char*)malloc(98304);
        s->enc_cap = s->enc ? 98304 : 0;
    }
    uint64_t need = s->enc ? rig_encode(doc, s->enc, s->enc_cap) : 0;
    if (s->enc && need >= s->enc_cap) {
        char* bigger = (char*)realloc(s->enc, need + 4096);
        if (bigger) {
            s->enc = bigger;
            s->enc_cap = need + 4096;
            need = rig_encode(doc, s->enc, s->enc_cap);
        }
    }
    if (!s->enc || need >= s->enc_cap) {
        snprintf(msg, msg_size, "can't write the rig file: out of memory");
        return false;
    }
    void (*hook)(void*, const char*);
    void* hook_ctx;
    {
        std::lock_guard<std::mutex> g(s->lock);
        hook = s->hook;
        hook_ctx = s->hook_ctx;
    }
    PlatWriteResult w = plat_file_write_bytes_replacing(path, s->enc, (size_t)need, hook, hook_ctx);
    if (w.step == PLAT_WRITE_OK)
        return true;
    error_text(msg, msg_size, w.step == PLAT_WRITE_RENAME ? "can't replace the rig file" : "can't write the rig file",
               w.err);
    return false;
}

static void stamp_writer(RigStore* s, RigDocument* doc, const char* key, int64_t disk_rev)
{
    rig_utf8_copy(doc->key, sizeof doc->key, key);
    doc->version = RIG_VERSION;
    doc->read_only = 0;
    int64_t rev = disk_rev > doc->rev ? disk_rev : doc->rev;
    // Raised by one, but never to the largest integer (a file holding it reads as
    // damaged) nor past it.
    doc->rev = rev < 0 ? 1 : rev < INT64_MAX - 1 ? rev + 1 : INT64_MAX - 1;
    rig_utf8_copy(doc->writer.app, sizeof doc->writer.app, s->app);
    rig_utf8_copy(doc->writer.version, sizeof doc->writer.version, s->version);
    rig_utf8_copy(doc->writer.platform, sizeof doc->writer.platform, "linux");
    memcpy(doc->writer.instance, s->instance, sizeof doc->writer.instance);
    doc->writer.at = rig_wall_clock();
}

static RigTrack* track_for(RigStore* s, const char* key)
{
    RigTrack* t = nullptr;
    for (RigTrack& e : s->tracks)
        if (e.in_use && strcmp(e.key, key) == 0)
            t = &e;
    if (!t)
        for (RigTrack& e : s->tracks)
            if (!e.in_use) {
                t = &e;
                break;
            }
    if (!t) {
        for (RigTrack& e : s->tracks)
            if (strcmp(e.key, s->w_watched) != 0 && (!t || e.stamp < t->stamp))
                t = &e;
        if (!t)
            t = &s->tracks[0];
    }
    if (!t->in_use || strcmp(t->key, key) != 0) {
        *t = RigTrack{};
        t->in_use = 1;
        rig_utf8_copy(t->key, sizeof t->key, key);
    }
    t->stamp = ++s->stamp;
    return t;
}

static void track_written(RigStore* s, const char* key, const RigDocument* doc, const char* path)
{
    RigTrack* t = track_for(s, key);
    t->rev = doc->rev;
    memcpy(t->instance, doc->writer.instance, sizeof t->instance);
    plat_file_identity(path, &t->identity);
}

// A fresh document for a key without a seed.
static void fresh_for_key(RigStore* s, RigDocument* doc, const char* key)
{
    char api[16] = "";
    const char* colon = strchr(key, ':');
    const char* name = key;
    if (colon && colon - key < 16) {
        memcpy(api, key, (size_t)(colon - key));
        api[colon - key] = '\0';
        name = colon + 1;
    }
    rig_doc_init_for_device(doc, key, api, name, 1, nullptr, s->app, rig_wall_clock());
}

static bool create_file(RigStore* s, RigStoreJob* job, const char* path, RigDocument* out, char* msg, size_t size)
{
    if (job->doc) {
        if (!rig_doc_assign(out, job->doc)) {
            snprintf(msg, size, "can't create the rig file: out of memory");
            return false;
        }
    } else {
        fresh_for_key(s, out, job->key);
    }
    out->rev = 0;
    stamp_writer(s, out, job->key, -1);
    int err = 0;
    if (!rigstore_ensure_folder(s, &err)) {
        error_text(msg, size, "can't create the rigs folder", err);
        return false;
    }
    return write_file(s, path, out, msg, size);
}

// Renames a damaged file to its first free damaged name; the name goes to kept.
static bool set_damaged_aside(RigStore* s, const char* path, const char* name, char* kept, size_t kept_size,
                              char* msg, size_t msg_size)
{
    PlatLocalTime lt;
    plat_local_time(&lt);
    int base_len = (int)strlen(name);
    if (base_len >= 5 && strcmp(name + base_len - 5, ".json") == 0)
        base_len -= 5;
    int err = EEXIST;
    for (int n = 1; n <= 99 && err == EEXIST; n++) {
        char leaf[300], target[900];
        if (n == 1)
            snprintf(leaf, sizeof leaf, "%.*s.damaged-%04d%02d%02d-%02d%02d%02d.json", base_len, name, lt.year,
                     lt.month, lt.day, lt.hour, lt.minute, lt.second);
        else
            snprintf(leaf, sizeof leaf, "%.*s.damaged-%04d%02d%02d-%02d%02d%02d-%d.json", base_len, name, lt.year,
                     lt.month, lt.day, lt.hour, lt.minute, lt.second, n);
        snprintf(target, sizeof target, "%s/%s", s->folder, leaf);
        err = plat_file_rename_noreplace(path, target);
        if (err == 0) {
            snprintf(kept, kept_size, "%s", leaf);
            return true;
        }
    }
    error_text(msg, msg_size, "can't set the damaged rig file aside", err);
    return false;
}

// Posts one result per requester: copies for all but the last, which takes doc.
static void post_all(RigStore* s, RigStoreJob* job, RigStoreResult* r, RigDocument* doc)
{
    for (int i = 0; i < job->count; i++) {
        RigStoreResult one = *r;
        one.job = job->ids[i];
        one.doc = nullptr;
        if (doc) {
            if (i == job->count - 1) {
                one.doc = doc;
            } else {
                one.doc = rig_doc_new();
                if (one.doc && !rig_doc_assign(one.doc, doc)) {
                    rig_doc_free(one.doc);
                    one.doc = nullptr;
                }
            }
        }
        rigstore_post(s, &one);
    }
    if (job->count == 0)
        rig_doc_free(doc);
}

static const char* decode_message(const char* m)
{
    return m[0] ? m : "not a rig file";
}

void rigstore_run_load(RigStore* s, RigStoreJob* job)
{
    double t0 = rigstore_now(s);
    RigStoreResult r{};
    r.status = RIGSTORE_LOAD_FAILED;
    rig_utf8_copy(r.key, sizeof r.key, job->key);
    char name[260], path[800], dmsg[160] = "";
    RigDocument* doc = rig_doc_new();
    bool ok = false;
    PlatFileIdentity ident{};
    if (!doc) {
        snprintf(r.message, sizeof r.message, "can't load the rig: out of memory");
    } else if (!file_path(s, job->key, name, sizeof name, path, sizeof path)) {
        snprintf(r.message, sizeof r.message, "can't load the rig: the name is too long");
    } else {
        bool failed = false;
        // Lockless reads first: a file that decodes needs no lock.
        for (int attempt = 0; attempt < 3 && !ok && !failed; attempt++) {
            char* text = nullptr;
            size_t len = 0;
            plat_file_identity(path, &ident);
            int rc = read_file(path, &text, &len, r.message, sizeof r.message);
            if (rc == READ_MISSING)
                break;
            if (rc == READ_ERROR) {
                failed = true;
                break;
            }
            int dec = RIG_DECODE_NO_TEXT;
            if (rc == READ_OK) {
                dec = rig_decode(text, len, doc, dmsg, sizeof dmsg);
                free(text);
            } else {
                snprintf(dmsg, sizeof dmsg, "%s", r.message);
            }
            r.message[0] = '\0';
            if (dec <= RIG_DECODE_NEWER) {
                r.decode = dec;
                ok = true;
            } else if (dec == RIG_DECODE_NO_MEMORY) {
                snprintf(r.message, sizeof r.message, "out of memory");
                failed = true;
            } else {
                if (attempt == 0)
                    rigstore_log(s, "rig: %s doesn't decode (%s) - reading it again", name, decode_message(dmsg));
                if (attempt < 2)
                    plat_sleep_ms(200);
            }
        }
        if (!ok && !failed) {
            char lock_name[300];
            rigstore_lock_name(name, lock_name, sizeof lock_name);
            PlatNamedLock lk{-1};
            int lerr = 0;
            PlatLockResult lr = plat_named_lock_take(s->lock_folder, lock_name, RIGSTORE_LOCK_WAIT_MS, &lk, &lerr);
            if (lr == PLAT_LOCK_TIMEOUT) {
                snprintf(r.message, sizeof r.message, "the rig file is locked by another app");
            } else if (lr != PLAT_LOCK_TAKEN) {
                error_text(r.message, sizeof r.message, "can't take the rig file's lock", lerr);
            } else {
                char* text = nullptr;
                size_t len = 0;
                int rc = read_file(path, &text, &len, r.message, sizeof r.message);
                int dec = RIG_DECODE_NO_TEXT;
                if (rc == READ_OK) {
                    dec = rig_decode(text, len, doc, dmsg, sizeof dmsg);
                    free(text);
                } else if (rc == READ_TOO_BIG) {
                    snprintf(dmsg, sizeof dmsg, "%s", r.message);
                }
                if (rc == READ_MISSING) {
                    r.message[0] = '\0';
                    if (create_file(s, job, path, doc, r.message, sizeof r.message)) {
                        rigstore_log(s, "rig: created %s", name);
                        r.created = 1;
                        r.status = RIGSTORE_LOADED;
                        ok = true;
                        track_written(s, job->key, doc, path);
                    }
                } else if (rc == READ_ERROR) {
                    // message set by read_file
                } else if (dec <= RIG_DECODE_NEWER) {
                    r.message[0] = '\0';
                    r.decode = dec;
                    plat_file_identity(path, &ident);
                    ok = true;
                } else if (dec == RIG_DECODE_NO_MEMORY) {
                    snprintf(r.message, sizeof r.message, "out of memory");
                } else {
                    r.message[0] = '\0';
                    if (set_damaged_aside(s, path, name, r.kept_as, sizeof r.kept_as, r.message, sizeof r.message)) {
                        rigstore_log(s, "rig: %s was damaged (%s) - kept it as %s, starting fresh", name,
                                     decode_message(dmsg), r.kept_as);
                        if (create_file(s, job, path, doc, r.message, sizeof r.message)) {
                            r.created = 1;
                            r.status = RIGSTORE_RECREATED;
                            ok = true;
                            track_written(s, job->key, doc, path);
                        }
                    }
                }
                plat_named_lock_release(&lk);
            }
        }
        if (ok && r.status == RIGSTORE_LOAD_FAILED) {
            r.status = RIGSTORE_LOADED;
            RigTrack* t = track_for(s, job->key);
            t->rev = doc->rev;
            memcpy(t->instance, doc->writer.instance, sizeof t->instance);
            t->identity = ident;
        }
    }
    if (ok) {
        rig_utf8_copy(doc->key, sizeof doc->key, job->key);
        {
            std::lock_guard<std::mutex> g(s->lock);
            rigstore_set_read_only_locked(s, job->key, doc->read_only != 0);
        }
        RigTrack* t = track_for(s, job->key);
        t->loaded = 1;
        r.rev = doc->rev;
        if (r.decode == RIG_DECODE_NEWER)
            rigstore_log(s, "rig: %s was made by a newer app - read only", name);
    } else {
        if (!r.message[0])
            snprintf(r.message, sizeof r.message, "can't load the rig");
        rigstore_log(s, "rig: couldn't load %s - %s", job->key, r.message);
        rig_doc_free(doc);
        doc = nullptr;
    }
    r.elapsed_ms = (rigstore_now(s) - t0) * 1000.0;
    post_all(s, job, &r, doc);
}

// Stamps the job document's scenes that carry an edit.
static void stamp_edited_scenes(RigStore* s, RigDocument* doc, const RigEditMask* mask)
{
    double now = rig_wall_clock();
    for (int sc = 0; sc < RIG_SCENES; sc++) {
        bool edited = mask->scenes[sc] != 0;
        for (int i = 0; i < RIG_MAX_INPUTS && !edited; i++)
            edited = mask->inputs[sc][i] != 0;
        if (!edited)
            continue;
        doc->scenes[sc].updated_at = now;
        rig_utf8_copy(doc->scenes[sc].author, sizeof doc->scenes[sc].author, s->app);
    }
}

// The save under the lock: returns the written document, or null with r filled.
static RigDocument* save_locked(RigStore* s, RigStoreJob* job, const char* path, RigStoreResult* r)
{
    stamp_edited_scenes(s, job->doc, &job->mask);
    char* text = nullptr;
    size_t len = 0;
    char dmsg[160] = "";
    int rc = read_file(path, &text, &len, r->message, sizeof r->message);
    if (rc == READ_ERROR)
        return nullptr;
    RigDocument* out = nullptr;
    int64_t disk_rev = -1;
    if (rc == READ_MISSING) {
        r->message[0] = '\0';
        out = job->doc;
        job->doc = nullptr;
    } else {
        RigDocument* disk = rig_doc_new();
        if (!disk) {
            free(text);
            snprintf(r->message, sizeof r->message, "out of memory");
            return nullptr;
        }
        int dec = RIG_DECODE_NO_TEXT;
        if (rc == READ_OK)
            dec = rig_decode(text, len, disk, dmsg, sizeof dmsg);
        else
            snprintf(dmsg, sizeof dmsg, "%s", r->message);
        free(text);
        r->decode = dec;
        if (dec == RIG_DECODE_CLEAN || dec == RIG_DECODE_REPAIRED) {
            if (!rig_doc_copy_fields(disk, job->doc, &job->mask)) {
                rig_doc_free(disk);
                snprintf(r->message, sizeof r->message, "out of memory");
                return nullptr;
            }
            disk_rev = disk->rev;
            out = disk;
            r->message[0] = '\0';
        } else {
            rig_doc_free(disk);
            if (dec == RIG_DECODE_NEWER) {
                std::lock_guard<std::mutex> g(s->lock);
                rigstore_set_read_only_locked(s, job->key, true);
                snprintf(r->message, sizeof r->message, "%s", kReadOnlyText);
            } else if (dec == RIG_DECODE_NO_MEMORY) {
                snprintf(r->message, sizeof r->message, "out of memory");
            } else {
                snprintf(r->message, sizeof r->message, "the rig file on disk is damaged (%s) - left as it is",
                         decode_message(dmsg));
            }
            return nullptr;
        }
    }
    stamp_writer(s, out, job->key, disk_rev);
    if (!write_file(s, path, out, r->message, sizeof r->message)) {
        rig_doc_free(out);
        return nullptr;
    }
    track_written(s, job->key, out, path);   // under the lock: a later write is not taken for ours
    return out;
}

void rigstore_run_save(RigStore* s, RigStoreJob* job)
{
    double t0 = rigstore_now(s);
    RigStoreResult r{};
    r.status = RIGSTORE_SAVE_FAILED;
    rig_utf8_copy(r.key, sizeof r.key, job->key);
    RigDocument* out = nullptr;
    char name[260], path[800];
    bool ro;
    {
        std::lock_guard<std::mutex> g(s->lock);
        ro = rigstore_key_read_only_locked(s, job->key);
    }
    int err = 0;
    if (!job->doc) {
        snprintf(r.message, sizeof r.message, "out of memory");
    } else if (ro || job->doc->read_only) {
        r.decode = RIG_DECODE_NEWER;
        snprintf(r.message, sizeof r.message, "%s", kReadOnlyText);
    } else if (!file_path(s, job->key, name, sizeof name, path, sizeof path)) {
        snprintf(r.message, sizeof r.message, "can't save the rig: the name is too long");
    } else if (!rigstore_ensure_folder(s, &err)) {
        error_text(r.message, sizeof r.message, "can't create the rigs folder", err);
    } else {
        char lock_name[300];
        rigstore_lock_name(name, lock_name, sizeof lock_name);
        PlatNamedLock lk{-1};
        int lerr = 0;
        double lock_start = plat_time_seconds();
        PlatLockResult lr = plat_named_lock_take(s->lock_folder, lock_name, RIGSTORE_LOCK_WAIT_MS, &lk, &lerr);
        r.lock_wait_ms = (plat_time_seconds() - lock_start) * 1000.0;
        if (lr == PLAT_LOCK_TIMEOUT)
            snprintf(r.message, sizeof r.message, "the rig file is locked by another app");
        else if (lr != PLAT_LOCK_TAKEN)
            error_text(r.message, sizeof r.message, "can't take the rig file's lock", lerr);
        else
            out = save_locked(s, job, path, &r);
        plat_named_lock_release(&lk);
    }
    if (out) {
        r.status = RIGSTORE_SAVED;
        r.rev = out->rev;
        r.message[0] = '\0';
    } else {
        if (!r.message[0])
            snprintf(r.message, sizeof r.message, "can't save the rig");
        rigstore_log(s, "rig: couldn't save %s - %s", job->key, r.message);
    }
    r.elapsed_ms = (rigstore_now(s) - t0) * 1000.0;
    post_all(s, job, &r, out);
}

struct StrayWalk {
    RigStore* s;
};

static bool visit_stray(void* ctx, const PlatDirEntry* e)
{
    RigStore* s = ((StrayWalk*)ctx)->s;
    if (!e->is_file)
        return true;
    const char* mark = strstr(e->name, ".json.tmp.");
    if (!mark)
        return true;
    char base[300];
    snprintf(base, sizeof base, "%.*s.json", (int)(mark - e->name), e->name);
    char lock_name[340];
    rigstore_lock_name(base, lock_name, sizeof lock_name);
    PlatNamedLock lk{-1};
    if (plat_named_lock_take(s->lock_folder, lock_name, 0, &lk, nullptr) != PLAT_LOCK_TAKEN)
        return true;   // a writer holds it: its temporary file is in use
    char path[900];
    snprintf(path, sizeof path, "%s/%s", s->folder, e->name);
    if (plat_file_remove_regular(path))
        rigstore_log(s, "rig: removed a stray %s", e->name);
    plat_named_lock_release(&lk);
    return true;
}

void rigstore_remove_strays(RigStore* s)
{
    StrayWalk w{s};
    plat_dir_list(s->folder, visit_stray, &w);
}

void rigstore_reload_changed(RigStore* s, bool changed)
{
    if (!s->w_watched[0])
        return;
    RigTrack* t = nullptr;
    for (RigTrack& e : s->tracks)
        if (e.in_use && e.loaded && strcmp(e.key, s->w_watched) == 0)
            t = &e;
    if (!t)
        return;
    char name[260], path[800];
    if (!file_path(s, t->key, name, sizeof name, path, sizeof path))
        return;
    PlatFileIdentity id{};
    int err = plat_file_identity(path, &id);
    if (!changed && plat_file_identity_equal(&id, &t->identity))
        return;
    if (err) {
        t->identity = id;
        return;
    }
    char* text = nullptr;
    size_t len = 0;
    char msg[160] = "", dmsg[160] = "";
    int rc = read_file(path, &text, &len, msg, sizeof msg);
    if (rc == READ_MISSING || rc == READ_ERROR) {
        t->identity = PlatFileIdentity{};
        return;
    }
    RigDocument* doc = rig_doc_new();
    if (!doc) {
        free(text);
        t->identity = PlatFileIdentity{};
        return;
    }
    int dec = RIG_DECODE_NO_TEXT;
    if (rc == READ_OK)
        dec = rig_decode(text, len, doc, dmsg, sizeof dmsg);
    else
        snprintf(dmsg, sizeof dmsg, "%s", msg);
    free(text);
    if (dec > RIG_DECODE_NEWER) {
        if (!t->ignored_change && dec != RIG_DECODE_NO_MEMORY)
            rigstore_log(s, "rig: ignored a change to %s that doesn't decode (%s) - waiting for the next one", name,
                         decode_message(dmsg));
        t->ignored_change = dec != RIG_DECODE_NO_MEMORY;
        t->identity = PlatFileIdentity{};
        rig_doc_free(doc);
        return;
    }
    t->ignored_change = 0;
    t->identity = id;
    {
        std::lock_guard<std::mutex> g(s->lock);
        rigstore_set_read_only_locked(s, t->key, doc->read_only != 0);
    }
    if (strcmp(doc->writer.instance, s->instance) == 0) {
        t->rev = doc->rev;
        memcpy(t->instance, doc->writer.instance, sizeof t->instance);
        rig_doc_free(doc);
        return;
    }
    if (doc->rev == t->rev && strcmp(doc->writer.instance, t->instance) == 0) {
        rig_doc_free(doc);
        return;
    }
    t->rev = doc->rev;
    memcpy(t->instance, doc->writer.instance, sizeof t->instance);
    RigStoreResult r{};
    r.status = RIGSTORE_CHANGED;
    rig_utf8_copy(r.key, sizeof r.key, t->key);
    rig_utf8_copy(doc->key, sizeof doc->key, t->key);
    r.decode = dec;
    r.rev = doc->rev;
    rig_utf8_copy(r.author, sizeof r.author, doc->writer.app);
    if (dec == RIG_DECODE_REPAIRED)
        snprintf(r.message, sizeof r.message, "%s", dmsg);
    r.doc = doc;
    rigstore_post(s, &r);
}
