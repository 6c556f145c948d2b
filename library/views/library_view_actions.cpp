// library_view_actions.cpp - what the menus do, the BROWSE source's tree and
// favourites panel, the desktop's "open" and the sibling program.
#include <cstdio>
#include <cstring>

#include "library/folder_tree.h"
#include "library/library.h"
#include "library/library_seams.h"
#include "library/views/favourites_panel.h"
#include "library/views/library_view.h"
#include "platform/plat_file.h"
#include "platform/plat_folders.h"
#include "platform/plat_open.h"

static void folder_of(const char* path, char* out, size_t cap)
{
    if (!foldertree_parent_path(path, out, cap))
        std::snprintf(out, cap, "%s", path);
}

static bool is_folder(const char* path)
{
    PlatFileInfo info;
    return plat_file_info(path, &info) && info.is_dir;
}

bool library_shell_open(const char* path)
{
    return plat_open_with_desktop(path);
}

bool library_find_quill(char* out, size_t cap)
{
    if (!out || cap == 0)
        return false;
    out[0] = '\0';
    char folder[LIBRARY_PATH];
    if (plat_program_folder(folder, sizeof folder) != PLAT_PATH_OK)
        return false;
    char path[LIBRARY_PATH + 40];
    const char* const kPlaces[2] = {"%s/quill", "%s/../../Release/quill"};
    for (const char* place : kPlaces) {
        int n = std::snprintf(path, sizeof path, place, folder);
        if (n > 0 && (size_t)n < cap && plat_file_is_regular(path)) {
            std::snprintf(out, cap, "%s", path);
            return true;
        }
    }
    return false;
}

bool library_launch_quill(const char* folder, const char* file)
{
    char program[LIBRARY_PATH];
    if (!folder || !folder[0] || !library_find_quill(program, sizeof program))
        return false;
    const char* argv[] = {program, "--root", folder, file ? "--select" : nullptr, file, nullptr};
    return plat_spawn(argv, false);
}

void library_card_action(Library* lib, int32_t id)
{
    if (!lib || !lib->ui)
        return;
    int32_t index = library_find_item(lib, lib->ui->menu_item);
    if (index < 0)
        return;
    LibraryItem* it = &lib->items[index];
    bool local = it->kind == LIBRARY_KIND_LOCAL;
    char folder[LIBRARY_PATH];
    switch (id) {
    case 0: library_select_item(lib, index); break;
    case 1:
        if (local)
            library_play_item(lib, it);
        break;
    case 2:
        if (local) {
            folder_of(it->path, folder, sizeof folder);
            library_launch_quill(folder, it->path);
        }
        break;
    case 3:
        // The file manager on the item's folder.
        if (local) {
            folder_of(it->path, folder, sizeof folder);
            plat_open_with_desktop(folder);
        }
        break;
    case 4:
        if (local) {
            lib->removing = index;
            spring_init(&lib->removal, 0.0f, 28.0f, 0.9f);
            lib->removal.target = -112.0f;
        }
        break;
    default: break;
    }
}

static void make_root(Library* lib, const char* path)
{
    if (foldertree_set_root(lib->tree, path))
        favpanel_set_current(lib->favourites, path);
}

void library_tree_action(Library* lib, int32_t id, double now)
{
    if (!lib)
        return;
    foldertree_set_highlight(lib->tree, lib->loaded_path);
    favpanel_set_marked(lib->favourites, nullptr);
    if (id < 100 || id > 107 || !lib->menu_path[0])
        return;
    char path[LIBRARY_PATH];
    std::memcpy(path, lib->menu_path, sizeof path);
    bool folder = is_folder(path);
    char parent[LIBRARY_PATH];
    switch (id) {
    case 100:
        for (int32_t i = 0; i < foldertree_count(lib->tree); i++)
            if (std::strcmp(foldertree_node_at(lib->tree, i)->path, path) == 0) {
                foldertree_open_with_shell(lib->tree, i);
                return;
            }
        if (folder)
            make_root(lib, path);
        break;
    case 101:
    case 107: favs_toggle(path); break;
    case 102:
    case 105:
        if (folder)
            make_root(lib, path);
        break;
    case 103:
    case 106:
        if (folder) {
            library_launch_quill(path, nullptr);
        } else {
            folder_of(path, parent, sizeof parent);
            library_launch_quill(parent, path);
        }
        break;
    case 104:
        folder_of(path, parent, sizeof parent);
        plat_open_with_desktop(folder ? path : parent);
        break;
    default: break;
    }
}

// -- BROWSE -------------------------------------------------------------------------------

static void tree_selected(const FolderNode* node, void* user)
{
    library_on_tree_select((Library*)user, node->path, node->folder != 0);
}

static void tree_opened(const FolderNode* node, void* user)
{
    library_open_with_shell((Library*)user, node->path);
}

static void favourite_clicked(const char* path, void* user)
{
    Library* lib = (Library*)user;
    if (foldertree_set_root(lib->tree, path))
        favpanel_set_current(lib->favourites, path);
}

bool library_browse_create(Library* lib, const char* root)
{
    if (!lib)
        return false;
    lib->tree = foldertree_create();
    lib->favourites = favpanel_create();
    if (!lib->tree || !lib->favourites) {
        library_browse_destroy(lib);
        return false;
    }
    foldertree_set_select_cb(lib->tree, tree_selected, lib);
    foldertree_set_open_cb(lib->tree, tree_opened, lib);
    favpanel_set_click_cb(lib->favourites, favourite_clicked, lib);
    foldertree_set_root(lib->tree, root);
    favpanel_set_current(lib->favourites, root);
    if (lib->ui)
        lib->ui->favourites_visible = 1;
    return true;
}

void library_browse_destroy(Library* lib)
{
    if (!lib)
        return;
    foldertree_destroy(lib->tree);
    favpanel_free(lib->favourites);
    lib->tree = nullptr;
    lib->favourites = nullptr;
}
