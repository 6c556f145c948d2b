// vst_scan.cpp - finding plug-in libraries in the standard folders for the picker.
// Threads: UI thread (or any one thread at a time).
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/vst.h"
#include "platform/plat_dir.h"
#include "rig/rig_device.h"

struct ScanState {
    const char* folder;
    int depth;
    VstPickerEntry* entries;
    int max;
    int* count;
};

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
        vst_scan_folder(path, s->depth + 1, s->entries, s->max, s->count);
        return *s->count < s->max;
    }
    size_t len = strlen(e->name);
    if (!e->is_file || !is_library_name(e->name, len))
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

void vst_scan_folder(const char* folder, int depth, VstPickerEntry* entries, int max, int* count)
{
    if (!folder || !folder[0] || !entries || !count || *count >= max || depth > VST_SCAN_MAX_DEPTH)
        return;
    ScanState s = {folder, depth, entries, max, count};
    plat_dir_list(folder, scan_visit, &s);
}

int vst_scan_folders(VstPickerEntry* entries, int max)
{
    int count = 0;
    if (!entries || max <= 0)
        return 0;
    const char* custom = getenv("TESSEL_VST_PATH");
    if (custom && custom[0] && strlen(custom) < 512)
        vst_scan_folder(custom, 0, entries, max, &count);
    const char* home = getenv("HOME");
    if (home && home[0]) {
        char folder[512];
        const char* below_home[2] = {".vst", ".lxvst"};
        for (const char* sub : below_home) {
            int n = snprintf(folder, sizeof folder, "%s/%s", home, sub);
            if (n > 0 && (size_t)n < sizeof folder)
                vst_scan_folder(folder, 0, entries, max, &count);
        }
    }
    const char* system_folders[4] = {"/usr/local/lib/vst", "/usr/local/lib/lxvst", "/usr/lib/vst", "/usr/lib/lxvst"};
    for (const char* f : system_folders)
        vst_scan_folder(f, 0, entries, max, &count);
    return count;
}
