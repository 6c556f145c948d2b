// folder_tree.cpp - the tree's nodes: listing folders, rebuilding with the expanded
// memory, expand and collapse, selection and scrolling, the state string.
#include "library/folder_tree.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/audiofile_loader.h"
#include "library/library_store.h"
#include "platform/plat_dir.h"
#include "platform/plat_file.h"
#include "platform/plat_open.h"
#include "ui/theme.h"

static const int32_t kFirstNodes = 256;
static const int32_t kFirstListing = 64;
static const int32_t kFirstExpanded = 32;
static const size_t kRestoreMax = 8191;

void foldertree_palette(float out[10][4])
{
    static const int kFirst[] = {THEME_BACKGROUND, THEME_SURFACE, THEME_PRIMARY};
    static const int kAfterHighlight[] = {THEME_TERTIARY, THEME_DARK_GREY, THEME_LIGHT, THEME_SECONDARY};
    theme_colours(out, kFirst, 3);
    const ThemePalette* t = theme_palette();
    for (int i = 0; i < 4; i++)
        out[3][i] = t->colours[6][i] + (t->colours[7][i] - t->colours[6][i]) * 0.35f;
    theme_colours(out + 4, kAfterHighlight, 4);
    const float amber[4] = {0.90f, 0.70f, 0.30f, 1.0f}, shade[4] = {0.0f, 0.0f, 0.0f, 0.95f};
    std::memcpy(out[8], amber, sizeof out[8]);
    std::memcpy(out[9], shade, sizeof out[9]);
}

FolderTree* foldertree_create(void)
{
    FolderTree* t = (FolderTree*)std::calloc(1, sizeof(FolderTree));
    if (!t)
        return nullptr;
    t->previews = (FolderTreePreview*)std::calloc(FOLDER_TREE_PREVIEWS, sizeof(FolderTreePreview));
    if (!t->previews) {
        std::free(t);
        return nullptr;
    }
    t->selected = -1;
    foldertree_palette(t->palette);
    return t;
}

static void clear_expanded(FolderTree* t)
{
    for (int32_t i = 0; i < t->expanded_count; i++)
        std::free(t->expanded[i]);
    t->expanded_count = 0;
}

void foldertree_destroy(FolderTree* t)
{
    if (!t)
        return;
    clear_expanded(t);
    std::free(t->expanded);
    audiofile_loader_release(t->job);
    std::free(t->previews);
    std::free(t->nodes);
    std::free(t);
}

// -- Listing ---------------------------------------------------------------------

static int ascii_lower(int c)
{
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

static int name_compare(const char* a, const char* b)
{
    for (size_t i = 0;; i++) {
        int x = ascii_lower((unsigned char)a[i]), y = ascii_lower((unsigned char)b[i]);
        if (x != y)
            return x - y;
        if (!x)
            break;
    }
    return std::strcmp(a, b);
}

static int node_order(const void* pa, const void* pb)
{
    const FolderNode* a = (const FolderNode*)pa;
    const FolderNode* b = (const FolderNode*)pb;
    if (a->folder != b->folder)
        return a->folder ? -1 : 1;
    return name_compare(a->name, b->name);
}

struct Listing {
    FolderTree* tree;
    const char* folder;
    int32_t depth;
    FolderNode* nodes;
    int32_t count, capacity;
    bool full;
};

static bool list_visit(void* ctx, const PlatDirEntry* e)
{
    Listing* l = (Listing*)ctx;
    if (!e->is_dir && !e->is_file)
        return true;
    if (!l->tree->show_hidden && e->name[0] == '.')
        return true;
    if (e->is_file && !e->is_dir && l->tree->filter && !l->tree->filter(e->name, l->tree->filter_user))
        return true;
    char path[FOLDER_TREE_PATH];
    size_t flen = std::strlen(l->folder);
    bool slash = flen > 0 && l->folder[flen - 1] == '/';
    int n = snprintf(path, sizeof path, slash ? "%s%s" : "%s/%s", l->folder, e->name);
    if (n < 0 || (size_t)n >= sizeof path || std::strlen(e->name) >= FOLDER_TREE_NAME) {
        if (!l->tree->long_path_logged)
            fprintf(stderr, "library: entries whose path is too long are left out of the folder tree\n");
        l->tree->long_path_logged = 1;
        return true;
    }
    void* array = l->nodes;
    if (!library_grow(&array, &l->capacity, l->count, sizeof(FolderNode), kFirstListing)) {
        l->full = true;
        return false;
    }
    l->nodes = (FolderNode*)array;
    FolderNode* node = &l->nodes[l->count++];
    std::memset(node, 0, sizeof *node);
    std::memcpy(node->name, e->name, std::strlen(e->name) + 1);
    std::memcpy(node->path, path, (size_t)n + 1);
    node->depth = l->depth;
    node->folder = e->is_dir ? 1 : 0;
    if (!node->folder) {
        PlatFileInfo info;
        if (plat_file_info(path, &info))
            node->size = (uint64_t)(info.size > 0 ? info.size : 0);
    }
    return true;
}

// The sorted entries of a folder (free the result); count in *count.
static FolderNode* list_folder(FolderTree* t, const char* folder, int32_t depth, int32_t* count)
{
    Listing l{t, folder, depth, nullptr, 0, 0, false};
    plat_dir_list(folder, list_visit, &l);
    if (l.count > 1)
        std::qsort(l.nodes, (size_t)l.count, sizeof(FolderNode), node_order);
    *count = l.count;
    return l.nodes;
}

static bool reserve_nodes(FolderTree* t, int32_t extra)
{
    while (t->count + extra > t->capacity) {
        void* array = t->nodes;
        int32_t cap = t->capacity;
        // library_grow makes room for one more; call until the extra fits.
        if (!library_grow(&array, &cap, cap, sizeof(FolderNode), kFirstNodes))
            return false;
        t->nodes = (FolderNode*)array;
        t->capacity = cap;
    }
    return true;
}

static bool is_expanded_path(const FolderTree* t, const char* path)
{
    for (int32_t i = 0; i < t->expanded_count; i++)
        if (std::strcmp(t->expanded[i], path) == 0)
            return true;
    return false;
}

static void remember_expanded(FolderTree* t, const char* path)
{
    if (is_expanded_path(t, path))
        return;
    void* array = t->expanded;
    if (!library_grow(&array, &t->expanded_capacity, t->expanded_count, sizeof(char*), kFirstExpanded))
        return;
    t->expanded = (char**)array;
    size_t len = std::strlen(path);
    char* copy = (char*)std::malloc(len + 1);
    if (!copy)
        return;
    std::memcpy(copy, path, len + 1);
    t->expanded[t->expanded_count++] = copy;
}

static void forget_expanded(FolderTree* t, const char* path)
{
    for (int32_t i = 0; i < t->expanded_count; i++)
        if (std::strcmp(t->expanded[i], path) == 0) {
            std::free(t->expanded[i]);
            t->expanded[i] = t->expanded[--t->expanded_count];
            return;
        }
}

// Splices the children of node index in after it. False when they cannot be listed
// into memory (the node stays collapsed).
static bool expand_at(FolderTree* t, int32_t index)
{
    FolderNode* node = &t->nodes[index];
    if (!node->folder || node->expanded)
        return true;
    int32_t n = 0;
    char folder[FOLDER_TREE_PATH];
    std::memcpy(folder, node->path, sizeof folder);
    FolderNode* children = list_folder(t, folder, node->depth + 1, &n);
    if (n > 0 && !reserve_nodes(t, n)) {
        std::free(children);
        return false;
    }
    node = &t->nodes[index];
    std::memmove(&t->nodes[index + 1 + n], &t->nodes[index + 1], sizeof(FolderNode) * (size_t)(t->count - index - 1));
    if (n > 0)
        std::memcpy(&t->nodes[index + 1], children, sizeof(FolderNode) * (size_t)n);
    std::free(children);
    t->count += n;
    node->expanded = 1;
    if (t->selected > index)
        t->selected += n;
    return true;
}

static void rebuild(FolderTree* t)
{
    t->count = 0;
    t->selected = -1;
    if (!t->root[0])
        return;
    int32_t n = 0;
    FolderNode* top = list_folder(t, t->root, 0, &n);
    if (n > 0 && reserve_nodes(t, n)) {
        std::memcpy(t->nodes, top, sizeof(FolderNode) * (size_t)n);
        t->count = n;
    }
    std::free(top);
    for (int32_t i = 0; i < t->count; i++) {
        if (t->nodes[i].folder && is_expanded_path(t, t->nodes[i].path))
            expand_at(t, i);
        if (t->selected < 0 && t->restore_selected[0] && std::strcmp(t->nodes[i].path, t->restore_selected) == 0)
            t->selected = i;
    }
    if (t->selected < 0 && t->count > 0)
        t->selected = 0;
}

// -- Paths and root ------------------------------------------------------------------

bool foldertree_parent_path(const char* path, char* out, size_t cap)
{
    if (!path || !out || cap < 2)
        return false;
    const char* slash = std::strrchr(path, '/');
    if (!slash)
        return false;
    size_t len = (size_t)(slash - path);
    if (len == 0) {
        if (!path[1])
            return false;   // "/" itself
        std::snprintf(out, cap, "/");
        return true;
    }
    if (len >= cap)
        return false;
    std::memcpy(out, path, len);
    out[len] = '\0';
    return true;
}

static bool is_folder(const char* path)
{
    PlatFileInfo info;
    return path && path[0] && plat_file_info(path, &info) && info.is_dir;
}

static void take_root(FolderTree* t, const char* path, const char* select)
{
    std::snprintf(t->root, sizeof t->root, "%s", path);
    clear_expanded(t);
    std::snprintf(t->restore_selected, sizeof t->restore_selected, "%s", select ? select : "");
    t->scroll = t->scroll_target = 0.0f;
    rebuild(t);
}

bool foldertree_set_root(FolderTree* t, const char* path)
{
    if (!t || !is_folder(path) || std::strlen(path) >= FOLDER_TREE_PATH)
        return false;
    take_root(t, path, nullptr);
    return true;
}

const char* foldertree_root(const FolderTree* t)
{
    return t ? t->root : "";
}

bool foldertree_has_parent(const FolderTree* t)
{
    char parent[FOLDER_TREE_PATH];
    return t && t->root[0] && foldertree_parent_path(t->root, parent, sizeof parent);
}

bool foldertree_go_up(FolderTree* t)
{
    char parent[FOLDER_TREE_PATH], old[FOLDER_TREE_PATH];
    if (!t || !t->root[0] || !foldertree_parent_path(t->root, parent, sizeof parent))
        return false;
    std::memcpy(old, t->root, sizeof old);
    take_root(t, parent, old);
    foldertree_select(t, t->selected);
    return true;
}

void foldertree_rescan(FolderTree* t)
{
    if (!t)
        return;
    clear_expanded(t);
    for (int32_t i = 0; i < t->count; i++)
        if (t->nodes[i].expanded)
            remember_expanded(t, t->nodes[i].path);
    if (t->selected >= 0 && t->selected < t->count)
        std::memcpy(t->restore_selected, t->nodes[t->selected].path, FOLDER_TREE_PATH);
    rebuild(t);
}

void foldertree_set_file_filter(FolderTree* t, FolderTreeFilter fn, void* user)
{
    if (!t)
        return;
    t->filter = fn;
    t->filter_user = user;
    if (t->root[0])
        foldertree_rescan(t);
}

void foldertree_set_open_cb(FolderTree* t, FolderTreeNodeCb fn, void* user)
{
    if (t) {
        t->on_open = fn;
        t->open_user = user;
    }
}

void foldertree_set_select_cb(FolderTree* t, FolderTreeNodeCb fn, void* user)
{
    if (t) {
        t->on_select = fn;
        t->select_user = user;
    }
}

void foldertree_set_highlight(FolderTree* t, const char* path)
{
    if (t)
        std::snprintf(t->highlight, sizeof t->highlight, "%s", path ? path : "");
}

int32_t foldertree_count(const FolderTree* t)
{
    return t ? t->count : 0;
}

const FolderNode* foldertree_node_at(const FolderTree* t, int32_t index)
{
    return t && index >= 0 && index < t->count ? &t->nodes[index] : nullptr;
}

int32_t foldertree_selected(const FolderTree* t)
{
    return t ? t->selected : -1;
}

void foldertree_set_reduced_motion(FolderTree* t, uint8_t on)
{
    if (t)
        t->reduced_motion = on;
}

float foldertree_content_height(const FolderTree* t)
{
    if (!t)
        return 0.0f;
    float rows = (float)(t->count + (foldertree_has_parent(t) ? 1 : 0));
    float h = rows * FOLDER_TREE_ROW + 12.0f - t->rh;
    return h > 0.0f ? h : 0.0f;
}

// Without a height the view's bottom is unknown: the scroll waits for the first draw.
static void scroll_into_view(FolderTree* t)
{
    if (t->selected < 0)
        return;
    if (!(t->rh > 0.0f)) {
        t->scroll_pending = 1;
        return;
    }
    float top = (float)(t->selected + (foldertree_has_parent(t) ? 1 : 0)) * FOLDER_TREE_ROW;
    if (top < t->scroll_target)
        t->scroll_target = top;
    else if (top + FOLDER_TREE_ROW > t->scroll_target + t->rh)
        t->scroll_target = top + FOLDER_TREE_ROW - t->rh;
    float max = foldertree_content_height(t);
    t->scroll_target = t->scroll_target < 0.0f ? 0.0f : t->scroll_target > max ? max : t->scroll_target;
}

void foldertree_scroll_pending(FolderTree* t)
{
    if (!t || !t->scroll_pending)
        return;
    t->scroll_pending = 0;
    scroll_into_view(t);
    if (!t->scroll_pending)
        t->scroll = t->scroll_target;
}

void foldertree_select(FolderTree* t, int32_t index)
{
    if (!t || t->count == 0)
        return;
    t->selected = index < 0 ? 0 : index >= t->count ? t->count - 1 : index;
    scroll_into_view(t);
    if (t->on_select)
        t->on_select(&t->nodes[t->selected], t->select_user);
}

void foldertree_expand(FolderTree* t, int32_t index)
{
    if (!t || index < 0 || index >= t->count || !t->nodes[index].folder)
        return;
    if (expand_at(t, index))
        remember_expanded(t, t->nodes[index].path);
}

void foldertree_collapse(FolderTree* t, int32_t index)
{
    if (!t || index < 0 || index >= t->count || !t->nodes[index].expanded)
        return;
    int32_t depth = t->nodes[index].depth;
    int32_t end = index + 1;
    while (end < t->count && t->nodes[end].depth > depth)
        end++;
    int32_t removed = end - index - 1;
    std::memmove(&t->nodes[index + 1], &t->nodes[end], sizeof(FolderNode) * (size_t)(t->count - end));
    t->count -= removed;
    t->nodes[index].expanded = 0;
    forget_expanded(t, t->nodes[index].path);
    if (t->selected > index && t->selected < end)
        t->selected = index;
    else if (t->selected >= end)
        t->selected -= removed;
}

void foldertree_open_with_shell(FolderTree* t, int32_t index)
{
    if (!t || index < 0 || index >= t->count)
        return;
    FolderNode* node = &t->nodes[index];
    if (node->folder) {
        if (node->expanded)
            foldertree_collapse(t, index);
        else
            foldertree_expand(t, index);
        return;
    }
    if (t->on_open) {
        FolderNode copy = *node;
        t->on_open(&copy, t->open_user);
        return;
    }
    if (!plat_open_with_desktop(node->path))
        std::fprintf(stderr, "folder tree: xdg-open could not be started\n");
}

int32_t foldertree_row_at(const FolderTree* t, float x, float y)
{
    if (!t || x < t->rx || x >= t->rx + t->rw || y < t->ry || y >= t->ry + t->rh)
        return -1;
    int32_t row = (int32_t)((y - t->ry + t->scroll) / FOLDER_TREE_ROW);
    if (foldertree_has_parent(t)) {
        if (row == 0)
            return -2;
        row--;
    }
    return row >= 0 && row < t->count ? row : -1;
}

// -- State string ----------------------------------------------------------------------

static bool field_ok(const char* path)
{
    return !std::strchr(path, '|') && !std::strchr(path, '\n') && !std::strchr(path, '\r');
}

bool foldertree_state_string(const FolderTree* t, char* out, size_t size)
{
    if (!t || !out || size < 2)
        return false;
    const char* selected = t->selected >= 0 && t->selected < t->count ? t->nodes[t->selected].path : "";
    if (!field_ok(t->root)) {
        out[0] = '\0';
        return false;
    }
    int n = std::snprintf(out, size, "%s|%s", t->root, field_ok(selected) ? selected : "");
    if (n < 0 || (size_t)n >= size) {
        out[0] = '\0';
        return false;
    }
    size_t used = (size_t)n;
    for (int32_t i = 0; i < t->count; i++) {
        if (!t->nodes[i].expanded || !field_ok(t->nodes[i].path))
            continue;
        size_t len = std::strlen(t->nodes[i].path);
        if (used + 1 + len >= size)
            return false;   // stops before the path that does not fit: the text stays valid
        out[used++] = '|';
        std::memcpy(out + used, t->nodes[i].path, len + 1);
        used += len;
    }
    return true;
}

void foldertree_restore(FolderTree* t, const char* text)
{
    if (!t || !text || !text[0])
        return;
    char* copy = (char*)std::malloc(kRestoreMax + 1);
    if (!copy)
        return;
    std::snprintf(copy, kRestoreMax + 1, "%s", text);
    char* fields[3] = {copy, nullptr, nullptr};
    char* bar = std::strchr(copy, '|');
    if (bar) {
        *bar = '\0';
        fields[1] = bar + 1;
        char* next = std::strchr(fields[1], '|');
        if (next) {
            *next = '\0';
            fields[2] = next + 1;
        }
    }
    if (!is_folder(fields[0]) || std::strlen(fields[0]) >= FOLDER_TREE_PATH) {
        std::free(copy);
        return;
    }
    std::snprintf(t->root, sizeof t->root, "%s", fields[0]);
    clear_expanded(t);
    std::snprintf(t->restore_selected, sizeof t->restore_selected, "%s", fields[1] ? fields[1] : "");
    for (char* p = fields[2]; p;) {
        char* end = std::strchr(p, '|');
        if (end)
            *end = '\0';
        if (p[0])
            remember_expanded(t, p);
        p = end ? end + 1 : nullptr;
    }
    std::free(copy);
    rebuild(t);
    scroll_into_view(t);
    t->scroll = t->scroll_target;
}

// -- Preview ring ------------------------------------------------------------------------

const FolderTreePreview* foldertree_preview_find(const FolderTree* t, const char* path)
{
    if (!t || !path)
        return nullptr;
    for (int32_t i = 0; i < t->preview_count; i++)
        if (std::strcmp(t->previews[i].path, path) == 0)
            return &t->previews[i];
    return nullptr;
}

void foldertree_preview_put(FolderTree* t, const char* path, const float* points, bool ready, double duration)
{
    if (!t || !path || std::strlen(path) >= FOLDER_TREE_PATH)
        return;
    FolderTreePreview* e = &t->previews[t->preview_next];
    std::memcpy(e->path, path, std::strlen(path) + 1);
    if (points)
        std::memcpy(e->points, points, sizeof e->points);
    else
        std::memset(e->points, 0, sizeof e->points);
    e->ready = ready ? 1 : 0;
    e->duration = duration;
    t->preview_next = (t->preview_next + 1) % FOLDER_TREE_PREVIEWS;
    if (t->preview_count < FOLDER_TREE_PREVIEWS)
        t->preview_count++;
}

int32_t foldertree_preview_refresh(FolderTree* t, const char* path, float dt, const float** points)
{
    *points = nullptr;
    if (!t || !path || std::strlen(path) >= FOLDER_TREE_PATH)
        return 0;
    if (std::strcmp(path, t->shown_path) != 0) {
        std::memcpy(t->shown_path, path, std::strlen(path) + 1);
        t->shown_fade = 0.0f;
    }
    t->preview_wanted = 1;
    float step = (dt > 1.0f / 60.0f ? dt : 1.0f / 60.0f) / 0.15f;
    t->shown_fade = t->reduced_motion ? 1.0f : (t->shown_fade + step > 1.0f ? 1.0f : t->shown_fade + step);
    const FolderTreePreview* hit = foldertree_preview_find(t, path);
    if (hit) {
        *points = hit->ready ? hit->points : nullptr;
        return hit->ready ? FOLDER_TREE_POINTS : 0;
    }
    if (t->job && std::strcmp(t->job_path, path) != 0) {
        audiofile_loader_release(t->job);
        t->job = nullptr;
    }
    if (!t->job) {
        t->job = audiofile_loader_start(path);
        if (!t->job) {
            foldertree_preview_put(t, path, nullptr, false, 0.0);
            return 0;
        }
        std::memcpy(t->job_path, path, std::strlen(path) + 1);
    }
    static float overview[FOLDER_TREE_POINTS];
    float progress = 0.0f, duration = 0.0f;
    int state = audiofile_loader_poll(t->job, overview, FOLDER_TREE_POINTS, &progress, &duration);
    if (state != 0) {
        // Done, or failed: a failed file gets an entry that is not ready, so it is not
        // tried again while the entry stays in the ring.
        foldertree_preview_put(t, path, state == 1 ? overview : nullptr, state == 1, duration);
        audiofile_loader_release(t->job);
        t->job = nullptr;
        const FolderTreePreview* e = foldertree_preview_find(t, path);
        *points = e && e->ready ? e->points : nullptr;
        return e && e->ready ? FOLDER_TREE_POINTS : 0;
    }
    int32_t n = (int32_t)(progress * FOLDER_TREE_POINTS + 0.999f);
    n = n > FOLDER_TREE_POINTS ? FOLDER_TREE_POINTS : n;
    *points = n >= 1 ? overview : nullptr;
    return n >= 1 ? n : 0;
}
