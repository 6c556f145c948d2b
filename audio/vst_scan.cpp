// vst_scan.cpp - finding plug-in libraries in the standard folders for the picker.
// Threads: UI thread (or any one thread at a time).
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/vst.h"
#include "platform/plat_dir.h"
#include "rig/rig_device.h"

// The folders listed so far in one scan, by identity, with the shallowest depth each
// was listed at: links back to a folder already listed (its own, a parent's) or a
// second way to one are not followed again, unless the new way reaches it higher up.
// A folder first reached deep down through a link then has its subfolders walked
// from the higher place, as far as the depth limit allows from there.
struct ScanVisited {
    PlatDirId* ids;
    int* depths;
    int count, capacity;
};

struct ScanState {
    const char* folder;
    int depth;
    VstPickerEntry* entries;
    int max;
    int* count;
    ScanVisited* visited;
    bool folders_only;       // the folder's files are listed already: only walk on
};

// Place of id in the list, or -1.
static int visited_find(const ScanVisited* v, PlatDirId id)
{
    for (int i = 0; i < v->count; i++)
        if (v->ids[i].device == id.device && v->ids[i].inode == id.inode)
            return i;
    return -1;
}

// Remembers id at depth; a list that cannot grow forgets nothing it had and the depth
// limit still ends the walk.
static void visited_add(ScanVisited* v, PlatDirId id, int depth)
{
    if (v->count == v->capacity) {
        int capacity = v->capacity ? v->capacity * 2 : 64;
        PlatDirId* ids = (PlatDirId*)std::realloc(v->ids, sizeof(PlatDirId) * (size_t)capacity);
        if (ids)
            v->ids = ids;
        int* depths = ids ? (int*)std::realloc(v->depths, sizeof(int) * (size_t)capacity) : nullptr;
        if (depths)
            v->depths = depths;
        if (!ids || !depths)
            return;
        v->capacity = capacity;
    }
    v->ids[v->count] = id;
    v->depths[v->count++] = depth;
}

static void scan_walk(const char* folder, int depth, VstPickerEntry* entries, int max, int* count,
                      ScanVisited* visited);

// ".so" in any case, after at least one character.
static bool is_library_name(const char* name, size_t len)
{
    return len > 3 && name[len - 3] == '.' && tolower((unsigned char)name[len - 2]) == 's' &&
           tolower((unsigned char)name[len - 1]) == 'o';
}

static bool scan_visit(void* ctx, const PlatDirEntry* e)
{
    ScanState* s = (ScanState*)ctx;
    if (*s->count >= s->max)
        return false;
    if (e->name[0] == '.')
        return true;
    char path[sizeof(VstPickerEntry::path)];
    size_t folder_len = strlen(s->folder);
    const char* sep = folder_len && s->folder[folder_len - 1] == '/' ? "" : "/";
    int n = snprintf(path, sizeof path, "%s%s%s", s->folder, sep, e->name);
    if (n < 0 || (size_t)n >= sizeof path)
        return true;   // a cut path would name another file
    if (e->is_dir) {
        int seen = visited_find(s->visited, e->id);
        if (seen < 0 || s->visited->depths[seen] > s->depth + 1)
            scan_walk(path, s->depth + 1, s->entries, s->max, s->count, s->visited);
        return *s->count < s->max;
    }
    size_t len = strlen(e->name);
    if (s->folders_only || !e->is_file || !is_library_name(e->name, len))
        return true;
    VstPickerEntry* out = &s->entries[(*s->count)++];
    snprintf(out->path, sizeof out->path, "%s", path);
    char stem[sizeof out->name];
    size_t stem_len = len - 3 < sizeof stem - 1 ? len - 3 : sizeof stem - 1;
    std::memcpy(stem, e->name, stem_len);
    stem[stem_len] = '\0';
    // File names need not be UTF-8; the picker draws this one.
    rig_utf8_copy(out->name, (int)sizeof out->name, stem);
    return *s->count < s->max;
}

static void scan_walk(const char* folder, int depth, VstPickerEntry* entries, int max, int* count,
                      ScanVisited* visited)
{
    if (!folder || !folder[0] || !entries || !count || *count >= max || depth > VST_SCAN_MAX_DEPTH)
        return;
    PlatDirId id;
    if (!plat_dir_id(folder, &id))
        return;
    // Each walk of a folder seen before starts strictly higher up, so a folder is
    // walked at most once per level and link loops end.
    int seen = visited_find(visited, id);
    if (seen >= 0 && visited->depths[seen] <= depth)
        return;
    if (seen >= 0)
        visited->depths[seen] = depth;
    else
        visited_add(visited, id, depth);
    ScanState s = {folder, depth, entries, max, count, visited, seen >= 0};
    plat_dir_list(folder, scan_visit, &s);
}

void vst_scan_folder(const char* folder, int depth, VstPickerEntry* entries, int max, int* count)
{
    ScanVisited visited = {nullptr, nullptr, 0, 0};
    scan_walk(folder, depth, entries, max, count, &visited);
    std::free(visited.ids);
    std::free(visited.depths);
}

int vst_scan_folders(VstPickerEntry* entries, int max)
{
    int count = 0;
    if (!entries || max <= 0)
        return 0;
    // One memory of visited folders for every root, so a folder reached from two of
    // them (a link in ~/.vst to /usr/lib/vst) is listed once.
    ScanVisited visited = {nullptr, nullptr, 0, 0};
    const char* custom = getenv("TESSEL_VST_PATH");
    if (custom && custom[0] && strlen(custom) < 512)
        scan_walk(custom, 0, entries, max, &count, &visited);
    const char* home = getenv("HOME");
    if (home && home[0]) {
        char folder[512];
        const char* below_home[2] = {".vst", ".lxvst"};
        for (const char* sub : below_home) {
            int n = snprintf(folder, sizeof folder, "%s/%s", home, sub);
            if (n > 0 && (size_t)n < sizeof folder)
                scan_walk(folder, 0, entries, max, &count, &visited);
        }
    }
    const char* system_folders[4] = {"/usr/local/lib/vst", "/usr/local/lib/lxvst", "/usr/lib/vst", "/usr/lib/lxvst"};
    for (const char* f : system_folders)
        scan_walk(f, 0, entries, max, &count, &visited);
    std::free(visited.ids);
    std::free(visited.depths);
    return count;
}
