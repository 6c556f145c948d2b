// folder_tree.h - the file browser of the library's BROWSE source: the folders and
// audio files under one root, expandable sub-folders, keyboard and mouse navigation,
// colour tags, sizes, durations and a waveform preview of the hovered file.
// Threads: UI thread only. Previews decode on loader threads (audio/audiofile_loader.h);
//          the tree only starts, polls and releases their jobs.
// Depends on: user_stores.h, audio/audiofile_loader.h, platform/plat_dir.h,
//             platform/plat_file.h, platform/plat_open.h. Its drawing and its keys and
//             mouse are the library view's (folder_tree_view.h).
//
// Paths compare byte for byte; an entry whose path does not fit FOLDER_TREE_PATH is
// left out (logged once), never cut. The sort ignores ASCII case, ties broken by the
// bytes, so the order is stable.
#pragma once
#include <cstddef>
#include <cstdint>

struct AudioLoadJob;

enum {
    FOLDER_TREE_PATH = 520,
    FOLDER_TREE_NAME = 256,
    FOLDER_TREE_PREVIEWS = 48,
};
constexpr float FOLDER_TREE_ROW = 26.0f;
constexpr int32_t FOLDER_TREE_POINTS = 200;

struct FolderNode {
    char name[FOLDER_TREE_NAME];
    char path[FOLDER_TREE_PATH];
    int32_t depth;                    // 0: a child of the root
    uint8_t folder;
    uint8_t expanded;
    uint64_t size;
};

struct FolderTreePreview {
    char path[FOLDER_TREE_PATH];
    float points[FOLDER_TREE_POINTS];
    uint8_t ready;
    double duration;
};

typedef void (*FolderTreeNodeCb)(const FolderNode* node, void* user);
typedef bool (*FolderTreeFilter)(const char* name, void* user);

struct FolderTree {
    char root[FOLDER_TREE_PATH];
    FolderNode* nodes;
    int32_t count, capacity;
    int32_t selected;
    char restore_selected[FOLDER_TREE_PATH];
    char** expanded;
    int32_t expanded_count, expanded_capacity;
    uint8_t show_hidden;
    float scroll, scroll_target;
    float rx, ry, rw, rh;             // the last draw's rectangle
    uint8_t scroll_pending;           // the selection waits for a height to be scrolled into view
    float pointer_x, pointer_y;
    uint8_t hovering;
    float indent_shift;
    uint8_t reduced_motion;
    char highlight[FOLDER_TREE_PATH];

    FolderTreeNodeCb on_open;
    void* open_user;
    FolderTreeNodeCb on_select;
    void* select_user;
    FolderTreeFilter filter;
    void* filter_user;

    float palette[10][4];

    FolderTreePreview* previews;      // ring of FOLDER_TREE_PREVIEWS
    int32_t preview_count, preview_next;
    AudioLoadJob* job;
    char job_path[FOLDER_TREE_PATH];
    char shown_path[FOLDER_TREE_PATH];
    float shown_fade;
    uint8_t preview_wanted;
    uint8_t long_path_logged;
};

FolderTree* foldertree_create(void);
void foldertree_destroy(FolderTree* tree);
void foldertree_palette(float out[10][4]);
bool foldertree_set_root(FolderTree* tree, const char* path);
const char* foldertree_root(const FolderTree* tree);
bool foldertree_go_up(FolderTree* tree);
void foldertree_rescan(FolderTree* tree);
void foldertree_set_file_filter(FolderTree* tree, FolderTreeFilter fn, void* user);
void foldertree_set_open_cb(FolderTree* tree, FolderTreeNodeCb fn, void* user);
void foldertree_set_select_cb(FolderTree* tree, FolderTreeNodeCb fn, void* user);
void foldertree_set_highlight(FolderTree* tree, const char* path);
int32_t foldertree_count(const FolderTree* tree);
const FolderNode* foldertree_node_at(const FolderTree* tree, int32_t index);
int32_t foldertree_selected(const FolderTree* tree);
bool foldertree_has_parent(const FolderTree* tree);
void foldertree_set_reduced_motion(FolderTree* tree, uint8_t on);
void foldertree_select(FolderTree* tree, int32_t index);
// A folder toggles; a file goes to the open callback, or without one to the
// desktop's "open" (xdg-open).
void foldertree_open_with_shell(FolderTree* tree, int32_t index);
void foldertree_expand(FolderTree* tree, int32_t index);
void foldertree_collapse(FolderTree* tree, int32_t index);
// Node index, -2 for the parent row, -1 for none.
int32_t foldertree_row_at(const FolderTree* tree, float x, float y);
float foldertree_content_height(const FolderTree* tree);
// The draw calls it once it has stored its rectangle: a selection made while the tree
// had no height yet (a restore before the first frame) is brought into view at once.
void foldertree_scroll_pending(FolderTree* tree);
// "root|selected|expanded..." (paths holding '|' or a line break left out; expanded
// paths stop before the one that would not fit; empty when the root is left out).
// True when the whole text fitted.
bool foldertree_state_string(const FolderTree* tree, char* out, size_t size);
void foldertree_restore(FolderTree* tree, const char* text);
// The parent of a path: the part before the last '/'; "/" for "/a"; false for "/".
bool foldertree_parent_path(const char* path, char* out, size_t cap);
// The preview ring (tests and the draw): the entry for path or null; a store.
const FolderTreePreview* foldertree_preview_find(const FolderTree* tree, const char* path);
void foldertree_preview_put(FolderTree* tree, const char* path, const float* points, bool ready, double duration);
// One frame of the hovered file's preview (called by the draw); points drawn, or 0.
int32_t foldertree_preview_refresh(FolderTree* tree, const char* path, float dt, const float** points);
