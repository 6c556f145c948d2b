// vst_kinds.cpp - the plug-in kind cache: reading it onto the picker's entries,
// appending a line per load, and rewriting a file that has grown too large.
#include "app/vst_kinds.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/app_state.h"
#include "platform/plat_file.h"
#include "rig/rig_device.h"

static const char kCacheName[] = "vst-kinds.txt";

// One parsed line; the texts point into the line's own buffer.
struct KindsLine {
    int kind;
    int64_t size;
    const char* label;
    const char* path;
};

// Reads one line (without its line feed) into buf. False at the end of the file.
// *usable is false for a line longer than VST_KINDS_LINE_MAX or holding a NUL byte:
// such a line is read to its end and skipped whole, so no piece of it is taken for a
// line of its own.
static bool read_line(FILE* f, char* buf, size_t cap, bool* usable)
{
    size_t n = 0;
    bool any = false;
    *usable = true;
    for (;;) {
        int c = getc(f);
        if (c == EOF)
            break;
        any = true;
        if (c == '\n')
            break;
        if (c == '\0' || n + 1 >= cap)
            *usable = false;
        else
            buf[n++] = (char)c;
    }
    buf[n] = '\0';
    return any;
}

// "kind|size|label|path": kind 0..3, size decimal digits that fit 63 bits, a label
// without "|", and a path that is not empty (it may hold "|"). Cuts line in place.
static bool parse_line(char* line, KindsLine* out)
{
    if (line[0] < '0' || line[0] > '3' || line[1] != '|')
        return false;
    char* size_text = line + 2;
    char* bar = strchr(size_text, '|');
    if (!bar || bar == size_text)
        return false;
    *bar = '\0';
    int64_t size = 0;
    for (const char* c = size_text; *c; c++) {
        if (*c < '0' || *c > '9' || size > (INT64_MAX - 9) / 10)
            return false;
        size = size * 10 + (*c - '0');
    }
    char* label = bar + 1;
    bar = strchr(label, '|');
    if (!bar || !bar[1])
        return false;
    *bar = '\0';
    out->kind = line[0] - '0';
    out->size = size;
    out->label = label;
    out->path = bar + 1;
    return true;
}

bool vst_kinds_path(const AppState* app, char* out, size_t cap)
{
    if (!out || cap == 0)
        return false;
    out[0] = '\0';
    if (!app || !app->data_folder[0])
        return false;
    int n = snprintf(out, cap, "%s/%s", app->data_folder, kCacheName);
    if (n < 0 || (size_t)n >= cap) {
        out[0] = '\0';   // a cut name would be another file
        return false;
    }
    return true;
}

static int32_t picker_count(const AppPicker* p)
{
    return p->count < 0 ? 0 : p->count < APP_PICKER_MAX ? p->count : APP_PICKER_MAX;
}

static void apply_line(AppPicker* p, const KindsLine* l)
{
    int32_t count = picker_count(p);
    for (int32_t i = 0; i < count; i++) {
        if (strcmp(p->entries[i].path, l->path) != 0)
            continue;
        if (p->size[i] == l->size) {
            p->kind[i] = (uint8_t)(l->kind == VST_KIND_UNKNOWN ? (int)VST_KIND_FAILED : l->kind);
            rig_utf8_copy(p->label[i], (int)sizeof p->label[i], l->label);
        }
        return;
    }
}

void vst_kinds_read(AppState* app)
{
    char path[1024];
    if (!app || !vst_kinds_path(app, path, sizeof path))
        return;
    FILE* f = plat_file_open_read(path);
    if (!f)
        return;
    int64_t bytes = plat_file_size(f);
    char line[VST_KINDS_LINE_MAX + 1];
    bool usable = false;
    while (read_line(f, line, sizeof line, &usable)) {
        KindsLine l;
        if (usable && parse_line(line, &l))
            apply_line(&app->picker, &l);
    }
    fclose(f);
    if (bytes > VST_KINDS_COMPACT_BYTES)
        vst_kinds_compact(path);
}

// True when the file has content whose last byte is not a line feed: a line torn by a
// program that ended while writing it.
static bool ends_in_torn_line(const char* path)
{
    FILE* f = plat_file_open_read(path);
    if (!f)
        return false;
    bool torn = false;
    int64_t bytes = plat_file_size(f);
    if (bytes > 0 && plat_file_seek(f, bytes - 1, SEEK_SET))
        torn = getc(f) != '\n';
    fclose(f);
    return torn;
}

bool vst_kinds_append(AppState* app, int32_t entry, int kind, const char* label)
{
    if (!app || entry < 0 || entry >= picker_count(&app->picker) || kind < 0 || kind > 3)
        return false;
    const VstPickerEntry* e = &app->picker.entries[entry];
    // A line feed in the path would split the line and let its tail pass for a line.
    if (!e->path[0] || strchr(e->path, '\n'))
        return false;
    char path[1024];
    if (!vst_kinds_path(app, path, sizeof path))
        return false;
    char clean[VST_KINDS_LABEL_MAX + 1];
    rig_utf8_copy(clean, (int)sizeof clean, label ? label : "");
    for (char* c = clean; *c; c++)
        if (*c == '|' || *c == '\n' || *c == '\r')
            *c = ' ';
    bool torn = ends_in_torn_line(path);
    FILE* f = plat_file_open_append(path);
    if (!f)
        return false;
    bool ok = !torn || fputc('\n', f) != EOF;
    ok = ok && fprintf(f, "%d|%lld|%s|%s\n", kind, (long long)app->picker.size[entry], clean, e->path) > 0;
    ok = fflush(f) == 0 && ok;
    ok = fclose(f) == 0 && ok;
    return ok;
}

bool vst_kinds_compact(const char* path)
{
    FILE* f = plat_file_open_read(path);
    if (!f)
        return false;
    std::vector<std::string> lines;
    std::vector<std::string> keys;
    std::unordered_map<std::string, size_t> last;   // (path, size) -> its newest line
    char line[VST_KINDS_LINE_MAX + 1];
    char parsed[VST_KINDS_LINE_MAX + 1];
    bool usable = false;
    while (read_line(f, line, sizeof line, &usable)) {
        KindsLine l;
        memcpy(parsed, line, sizeof line);
        if (!usable || !parse_line(parsed, &l))
            continue;
        std::string key = std::string(l.path) + '\n' + std::to_string((long long)l.size);
        last[key] = lines.size();
        lines.emplace_back(line);
        keys.push_back(std::move(key));
    }
    fclose(f);

    std::vector<size_t> kept;
    for (size_t i = 0; i < lines.size(); i++)
        if (last[keys[i]] == i)
            kept.push_back(i);
    size_t first = kept.size() > (size_t)VST_KINDS_KEEP ? kept.size() - VST_KINDS_KEEP : 0;

    char temp[1100];
    if (!plat_file_temp_path(path, temp, sizeof temp))
        return false;
    // Made new: a stale one of this process's id goes first, and nothing planted under
    // the name (a link, a FIFO) is written through.
    plat_file_remove_regular(temp);
    FILE* out = plat_file_create_new(temp);
    if (!out)
        return false;
    bool ok = true;
    for (size_t k = first; k < kept.size() && ok; k++) {
        const std::string& s = lines[kept[k]];
        ok = fwrite(s.data(), 1, s.size(), out) == s.size() && fputc('\n', out) != EOF;
    }
    if (!ok) {
        plat_file_discard(out, temp);
        return false;
    }
    if (!plat_file_finish(out, temp))
        return false;
    if (!plat_file_replace(temp, path)) {
        plat_file_remove_regular(temp);
        return false;
    }
    return true;
}
