// user_stores.cpp - the data folder, favs.ini and tags.ini: loading, locked edits,
// replacing writes and the 500 ms poll for other copies' changes.
#include "library/user_stores.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "library/library_store.h"
#include "platform/plat_dir.h"
#include "platform/plat_file.h"
#include "platform/plat_file_stamp.h"
#include "platform/plat_folders.h"
#include "platform/plat_named_lock.h"
#include "platform/plat_time.h"

static const int kLockWaitMs = 2000;
static const uint64_t kPollMs = 500;

struct TagEntry {
    char path[FOLDERS_PATH];
    int32_t tag;
};

struct StoreFile {
    char path[FOLDERS_PATH + 16];
    PlatFileStamp seen;               // the file as last read or written by us
};

static struct {
    bool ready;
    char data[FOLDERS_PATH];
    uint64_t (*clock)(void);
    uint64_t last_look;               // 0 never
    uint32_t changes;

    char favs[FAVS_MAX][FOLDERS_PATH];
    int32_t fav_count;
    bool from_file;
    bool refused;
    StoreFile favs_file;

    TagEntry tags[TAGS_MAX];
    int32_t tag_count;
    bool tags_refused;
    StoreFile tags_file;
} g;

static uint64_t monotonic_ms(void)
{
    return plat_time_ns() / 1000000u;
}

static void ensure(void);

// -- Reading and writing -------------------------------------------------------

char* folders_read_file(const char* path)
{
    FILE* f = path ? plat_file_open_read(path) : nullptr;
    if (!f)
        return nullptr;
    int64_t size = plat_file_size(f);
    char* text = size >= 0 && size <= FOLDERS_READ_LIMIT ? (char*)std::malloc((size_t)size + 1) : nullptr;
    if (text && (int64_t)fread(text, 1, (size_t)size, f) != size) {
        std::free(text);
        text = nullptr;
    }
    fclose(f);
    if (text)
        text[size] = '\0';
    return text;
}

bool folders_path_storable(const char* path)
{
    return path && path[0] && std::strlen(path) < FOLDERS_PATH && library_path_storable(path);
}

static bool refuse_path(const char* what, const char* path)
{
    if (folders_path_storable(path))
        return false;
    fprintf(stderr, "library: a %s path that the file cannot hold is not stored\n", what);
    return true;
}

// Next line of text (LF-separated), trailing CR and blanks removed, in place.
static char* next_line(char** cursor)
{
    char* line = *cursor;
    if (!line || !*line)
        return nullptr;
    char* lf = std::strchr(line, '\n');
    if (lf) {
        *lf = '\0';
        *cursor = lf + 1;
    } else {
        *cursor = line + std::strlen(line);
    }
    size_t len = std::strlen(line);
    while (len > 0 && (line[len - 1] == '\r' || line[len - 1] == ' ' || line[len - 1] == '\t'))
        line[--len] = '\0';
    return line;
}

struct WriteCtx {
    bool tags;
    PlatFileStamp stamp;
};

static bool write_store(void* ctx, FILE* f)
{
    WriteCtx* w = (WriteCtx*)ctx;
    if (w->tags) {
        for (int32_t i = 0; i < g.tag_count; i++)
            if (folders_path_storable(g.tags[i].path) && fprintf(f, "%d|%s\n", g.tags[i].tag, g.tags[i].path) < 0)
                return false;
    } else {
        for (int32_t i = 0; i < g.fav_count; i++)
            if (folders_path_storable(g.favs[i]) && fprintf(f, "%s\n", g.favs[i]) < 0)
                return false;
    }
    // Noted before the rename: the file our poll will find is this one.
    return plat_file_stamp_of(f, &w->stamp);
}

static bool save(bool tags)
{
    WriteCtx w{tags, {}};
    StoreFile* file = tags ? &g.tags_file : &g.favs_file;
    g.changes++;
    if (!tags)
        g.from_file = true;
    if (!plat_file_write_replacing(file->path, write_store, &w))
        return false;
    file->seen = w.stamp;
    return true;
}

// -- Loading ---------------------------------------------------------------------

// Reads favs.ini into the list. Missing: the defaults when the list is empty (first
// load). Present but unreadable: the list stays and changes are refused.
static void load_favs(void)
{
    plat_file_stamp(g.favs_file.path, &g.favs_file.seen);
    char* text = folders_read_file(g.favs_file.path);
    if (!text) {
        g.refused = g.favs_file.seen.exists != 0;
        if (!g.refused && g.fav_count == 0)
            favs_default_roots();
        return;
    }
    g.refused = false;
    g.fav_count = 0;
    char* cursor = text;
    for (char* line; (line = next_line(&cursor)) && g.fav_count < FAVS_MAX;)
        if (line[0] && std::strlen(line) < FOLDERS_PATH)
            std::memcpy(g.favs[g.fav_count++], line, std::strlen(line) + 1);
    g.from_file = true;
    std::free(text);
}

// Reads tags.ini into the table. Missing: no tags. Present but unreadable: the table
// stays and changes are refused, so the file is never overwritten with the next tag alone.
static void load_tags(void)
{
    plat_file_stamp(g.tags_file.path, &g.tags_file.seen);
    char* text = folders_read_file(g.tags_file.path);
    g.tags_refused = !text && g.tags_file.seen.exists != 0;
    if (!text) {
        if (!g.tags_refused)
            g.tag_count = 0;
        return;
    }
    g.tag_count = 0;
    char* cursor = text;
    for (char* line; (line = next_line(&cursor)) && g.tag_count < TAGS_MAX;) {
        size_t len = std::strlen(line);
        if (len <= 2 || line[0] < '1' || line[0] > '9' || line[1] != '|' || len - 2 >= FOLDERS_PATH)
            continue;
        TagEntry* e = &g.tags[g.tag_count++];
        std::memcpy(e->path, line + 2, len - 1);
        e->tag = line[0] - '0';
    }
    std::free(text);
}

void favs_load(void)
{
    ensure();
    load_favs();
}

void tags_load(void)
{
    ensure();
    load_tags();
}

static void place_files(void)
{
    snprintf(g.favs_file.path, sizeof g.favs_file.path, "%s/favs.ini", g.data);
    snprintf(g.tags_file.path, sizeof g.tags_file.path, "%s/tags.ini", g.data);
}

static void ensure(void)
{
    if (g.ready)
        return;
    // Set first: loading calls back in here.
    g.ready = true;
    if (!g.clock)
        g.clock = monotonic_ms;
    char base[FOLDERS_PATH];
    int n = -1;
    if (plat_config_folder(base, sizeof base) == PLAT_PATH_OK)
        n = snprintf(g.data, sizeof g.data, "%s/TideCoil", base);
    if (n <= 0 || (size_t)n + 16 >= sizeof g.data || !plat_dir_make(g.data))
        snprintf(g.data, sizeof g.data, ".");
    place_files();
    load_favs();
    load_tags();
}

const char* folders_data_path(void)
{
    ensure();
    return g.data;
}

void folders_roaming_path(const char* name, char* out, size_t size)
{
    if (!out || size == 0)
        return;
    const char* leaf = name ? name : "";
    char base[FOLDERS_PATH], folder[FOLDERS_PATH];
    int n = -1;
    if (plat_config_folder(base, sizeof base) == PLAT_PATH_OK)
        n = snprintf(folder, sizeof folder, "%s/TideCoil", base);
    if (n > 0 && (size_t)n < sizeof folder && plat_dir_make(folder)) {
        int m = snprintf(out, size, "%s/%s", folder, leaf);
        if (m > 0 && (size_t)m < size)
            return;
    }
    snprintf(out, size, "%s", leaf);
}

void folders_use_data_path(const char* folder)
{
    // Taking the folder as given: the per-user one is neither worked out nor made (in
    // portable mode it must not appear on its own).
    g.ready = true;
    if (!g.clock)
        g.clock = monotonic_ms;
    snprintf(g.data, sizeof g.data, "%s", folder && folder[0] ? folder : ".");
    place_files();
    g.fav_count = 0;
    g.from_file = false;
    g.tag_count = 0;
    g.last_look = 0;
    load_favs();
    load_tags();
}

void folders_set_clock(uint64_t (*now_ms)(void))
{
    g.clock = now_ms ? now_ms : monotonic_ms;
    g.last_look = 0;
}

uint32_t folders_change_counter(void)
{
    return g.changes;
}

// Reloads the file when it differs from what we last read or wrote.
static bool poll_file(bool tags)
{
    StoreFile* file = tags ? &g.tags_file : &g.favs_file;
    PlatFileStamp now;
    plat_file_stamp(file->path, &now);
    if (plat_file_stamp_equal(&now, &file->seen))
        return false;
    if (tags)
        load_tags();
    else
        load_favs();
    g.changes++;
    return true;
}

bool folders_poll(void)
{
    ensure();
    uint64_t now = g.clock();
    if (g.last_look != 0 && now - g.last_look < kPollMs)
        return false;
    g.last_look = now ? now : 1;
    bool favs = poll_file(false);
    bool tags = poll_file(true);
    return favs || tags;
}

// -- Locked edits ------------------------------------------------------------------

struct Edit {
    PlatNamedLock lock;
    bool tags;
};

// Takes the file's lock and re-reads the file when another copy changed it. False
// when the file exists and cannot be read (the edit is refused).
static bool edit_begin(Edit* e, bool tags)
{
    ensure();
    e->tags = tags;
    e->lock.fd = -1;
    int err = 0;
    PlatLockResult r = plat_named_lock_take(g.data, tags ? "TideCoil.tags" : "TideCoil.favs", kLockWaitMs,
                                            &e->lock, &err);
    if (r != PLAT_LOCK_TAKEN)
        fprintf(stderr, "library: %s written without its lock\n", tags ? "tags.ini" : "favs.ini");
    // Read whenever the file is there, not only when its stamp changed: another copy's
    // write can carry our last stamp (a freed inode reused, the same size, within one
    // tick of the file system's clock), and our list would then be written over it.
    StoreFile* file = tags ? &g.tags_file : &g.favs_file;
    PlatFileStamp now;
    plat_file_stamp(file->path, &now);
    if (!poll_file(tags) && now.exists) {
        if (tags)
            load_tags();
        else
            load_favs();
    }
    if (tags ? g.tags_refused : g.refused) {
        fprintf(stderr, "library: %s cannot be read; the change is not saved\n", tags ? "tags.ini" : "favs.ini");
        plat_named_lock_release(&e->lock);
        return false;
    }
    return true;
}

static bool edit_end(Edit* e, bool changed)
{
    bool ok = !changed || save(e->tags);
    plat_named_lock_release(&e->lock);
    return ok;
}

// -- Favourites ----------------------------------------------------------------------

int32_t favs_count(void)
{
    ensure();
    return g.fav_count;
}

const char* favs_path(int32_t n)
{
    ensure();
    return n >= 0 && n < g.fav_count ? g.favs[n] : nullptr;
}

int32_t favs_index_of(const char* path)
{
    ensure();
    if (!path || !path[0])
        return -1;
    for (int32_t i = 0; i < g.fav_count; i++)
        if (std::strcmp(g.favs[i], path) == 0)
            return i;
    return -1;
}

bool favs_from_file(void)
{
    ensure();
    return g.from_file;
}

bool favs_refused(void)
{
    ensure();
    return g.refused;
}

static void fav_remove_at(int32_t i)
{
    std::memmove(g.favs[i], g.favs[i + 1], sizeof g.favs[0] * (size_t)(g.fav_count - i - 1));
    g.fav_count--;
}

static bool fav_append(const char* path)
{
    if (g.fav_count >= FAVS_MAX)
        return false;
    std::memcpy(g.favs[g.fav_count++], path, std::strlen(path) + 1);
    return true;
}

bool favs_toggle(const char* path)
{
    ensure();
    if (refuse_path("favourite", path))
        return false;
    bool add = favs_index_of(path) < 0;   // the intent, from what the user sees
    Edit e;
    if (!edit_begin(&e, false))
        return favs_index_of(path) >= 0;
    int32_t at = favs_index_of(path);
    bool changed = false;
    if (add && at < 0)
        changed = fav_append(path);
    else if (!add && at >= 0) {
        fav_remove_at(at);
        changed = true;
    }
    edit_end(&e, changed);
    return favs_index_of(path) >= 0;
}

bool favs_move(int32_t a, int32_t b)
{
    ensure();
    if (a < 0 || b < 0 || a >= g.fav_count || b >= g.fav_count || a == b)
        return false;
    char path[FOLDERS_PATH];
    std::memcpy(path, g.favs[a], sizeof path);
    Edit e;
    if (!edit_begin(&e, false))
        return false;
    int32_t from = favs_index_of(path);
    bool changed = from >= 0;
    if (changed) {
        int32_t to = b < g.fav_count ? b : g.fav_count - 1;
        fav_remove_at(from);
        std::memmove(g.favs[to + 1], g.favs[to], sizeof g.favs[0] * (size_t)(g.fav_count - to));
        std::memcpy(g.favs[to], path, sizeof path);
        g.fav_count++;
        changed = from != to;
    }
    edit_end(&e, changed);
    return changed;
}

bool favs_set_all(const char* const* paths, int32_t n)
{
    ensure();
    Edit e;
    if (!paths || !edit_begin(&e, false))
        return false;
    g.fav_count = 0;
    for (int32_t i = 0; i < n && g.fav_count < FAVS_MAX; i++)
        if (paths[i] && paths[i][0] && !refuse_path("favourite", paths[i]))
            fav_append(paths[i]);
    return edit_end(&e, true);
}

void favs_default_roots(void)
{
    g.fav_count = 0;
    g.from_file = false;
    char home[FOLDERS_PATH];
    bool have_home = plat_home_folder(home, sizeof home) == PLAT_PATH_OK && std::strcmp(home, "/") != 0;
    if (have_home)
        fav_append(home);
    static const char* const kKeys[][2] = {
        {"DESKTOP", "Desktop"}, {"DOCUMENTS", "Documents"}, {"DOWNLOAD", "Downloads"}, {"MUSIC", "Music"}};
    for (const auto& k : kKeys) {
        char path[FOLDERS_PATH];
        PlatFileInfo info;
        if (plat_user_folder(k[0], k[1], path, sizeof path) == PLAT_PATH_OK && plat_file_info(path, &info) &&
            info.is_dir && favs_index_of(path) < 0 && folders_path_storable(path))
            fav_append(path);
    }
    fav_append("/");
}

// -- Tags ------------------------------------------------------------------------------

int32_t tags_find(const char* path)
{
    ensure();
    if (!path || !path[0])
        return -1;
    for (int32_t i = 0; i < g.tag_count; i++)
        if (std::strcmp(g.tags[i].path, path) == 0)
            return i;
    return -1;
}

int32_t tags_get(const char* path)
{
    int32_t i = tags_find(path);
    return i >= 0 ? g.tags[i].tag : 0;
}

int32_t tags_count(void)
{
    ensure();
    return g.tag_count;
}

bool tags_set(const char* path, int32_t tag)
{
    ensure();
    if (tag < 0 || tag > 9 || !path || !path[0] || refuse_path("tag", path))
        return false;
    Edit e;
    if (!edit_begin(&e, true))
        return false;
    int32_t i = tags_find(path);
    bool changed = false;
    if (i >= 0 && tag == 0) {
        g.tags[i] = g.tags[g.tag_count - 1];
        g.tag_count--;
        changed = true;
    } else if (i >= 0) {
        changed = g.tags[i].tag != tag;
        g.tags[i].tag = tag;
    } else if (tag != 0 && g.tag_count < TAGS_MAX) {
        std::memcpy(g.tags[g.tag_count].path, path, std::strlen(path) + 1);
        g.tags[g.tag_count++].tag = tag;
        changed = true;
    }
    edit_end(&e, changed);
    return changed;
}
