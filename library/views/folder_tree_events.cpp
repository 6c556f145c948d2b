// folder_tree_events.cpp - the tree's keys, clicks, wheel and pointer.
#include "library/views/folder_tree_view.h"

#include <SDL.h>

#include <cmath>
#include <cstring>

#include "library/user_stores.h"
#include "library/views/lv_draw.h"
#include "platform/plat_file.h"

static void select_and_scroll(FolderTree* t, int32_t index)
{
    foldertree_select(t, index);
}

static void make_selected_root(FolderTree* t)
{
    const FolderNode* n = foldertree_node_at(t, t->selected);
    PlatFileInfo info;
    if (n && n->folder && plat_file_info(n->path, &info) && info.is_dir) {
        char path[FOLDER_TREE_PATH];
        std::memcpy(path, n->path, sizeof path);
        foldertree_set_root(t, path);
    }
}

static void key_left(FolderTree* t)
{
    const FolderNode* n = foldertree_node_at(t, t->selected);
    if (!n)
        return;
    if (n->folder && n->expanded) {
        foldertree_collapse(t, t->selected);
        return;
    }
    for (int32_t i = t->selected - 1; i >= 0; i--)
        if (t->nodes[i].depth < n->depth) {
            select_and_scroll(t, i);
            return;
        }
    foldertree_go_up(t);
}

static void key_right(FolderTree* t)
{
    const FolderNode* n = foldertree_node_at(t, t->selected);
    if (!n || !n->folder)
        return;
    if (!n->expanded)
        foldertree_expand(t, t->selected);
    else if (t->selected + 1 < t->count && t->nodes[t->selected + 1].depth > n->depth)
        select_and_scroll(t, t->selected + 1);
}

static bool handle_key(FolderTree* t, const SDL_KeyboardEvent* k)
{
    bool ctrl = (k->keysym.mod & KMOD_CTRL) != 0;
    SDL_Keycode sym = k->keysym.sym;
    int32_t page = (int32_t)std::floor(t->rh / FOLDER_TREE_ROW);
    page = page < 1 ? 1 : page;
    if (ctrl && sym == SDLK_DOWN) {
        make_selected_root(t);
        return true;
    }
    if ((ctrl && sym == SDLK_UP) || sym == SDLK_BACKSPACE) {
        foldertree_go_up(t);
        return true;
    }
    if (sym >= SDLK_0 && sym <= SDLK_9) {
        if (ctrl)
            return false;
        const FolderNode* n = foldertree_node_at(t, t->selected);
        if (n)
            tags_set(n->path, (int32_t)(sym - SDLK_0));
        return true;
    }
    switch (sym) {
    case SDLK_F5: foldertree_rescan(t); return true;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: foldertree_open_with_shell(t, t->selected); return true;
    case SDLK_h:
        t->show_hidden = !t->show_hidden;
        foldertree_rescan(t);
        return true;
    case SDLK_HOME: select_and_scroll(t, 0); return true;
    case SDLK_END: select_and_scroll(t, t->count - 1); return true;
    case SDLK_PAGEUP: select_and_scroll(t, t->selected - page); return true;
    case SDLK_PAGEDOWN: select_and_scroll(t, t->selected + page); return true;
    case SDLK_RIGHT: key_right(t); return true;
    case SDLK_LEFT: key_left(t); return true;
    case SDLK_DOWN: select_and_scroll(t, t->selected < 0 ? 0 : t->selected + 1); return true;
    case SDLK_UP: select_and_scroll(t, t->selected < 0 ? 0 : t->selected - 1); return true;
    default: return false;
    }
}

bool foldertree_handle_event(FolderTree* t, const SDL_Event* e, float x, float y)
{
    if (!t || !e)
        return false;
    bool inside = x >= t->rx && x < t->rx + t->rw && y >= t->ry && y < t->ry + t->rh;
    if (lv_track_pointer(e, x, y, inside, &t->pointer_x, &t->pointer_y, &t->hovering))
        return false;
    switch (e->type) {
    case SDL_MOUSEBUTTONDOWN: {
        if (e->button.button != SDL_BUTTON_LEFT || !inside)
            return false;
        int32_t row = foldertree_row_at(t, x, y);
        if (row == -2) {
            foldertree_go_up(t);
        } else if (row >= 0) {
            foldertree_select(t, row);
            if (t->nodes[row].folder || e->button.clicks >= 2)
                foldertree_open_with_shell(t, row);
        }
        return true;
    }
    case SDL_MOUSEWHEEL: {
        if (!inside)
            return false;
        t->scroll_target -= (float)e->wheel.y * FOLDER_TREE_ROW * 3.0f;
        float max = foldertree_content_height(t);
        t->scroll_target = t->scroll_target < 0.0f ? 0.0f : t->scroll_target > max ? max : t->scroll_target;
        return true;
    }
    case SDL_KEYDOWN: return handle_key(t, &e->key);
    default: return false;
    }
}
