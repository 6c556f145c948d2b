// The folder tree on temporary folders: order and hidden entries, the selection
// through expand and collapse, the state text, tag keys, clicks, the preview ring and
// a real file's preview.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "library/user_stores.h"
#include "library/views/folder_tree_view.h"
#include "platform/plat_dir.h"
#include "support/library_kit.h"
#include "support/test_wait.h"

namespace {

namespace fs = std::filesystem;

class TreeTest : public ::testing::Test {
protected:
    LibraryKit kit;
    FolderTree* t = foldertree_create();
    std::string root;
    int opened = 0;
    std::string last_open;

    void SetUp() override
    {
        plat_dir_make(kit.data_dir().c_str());
        folders_use_data_path(kit.data_dir().c_str());
        root = kit.path("root");
        for (const char* d : {"root/beta", "root/Alpha", "root/.hidden", "root/alpha/inner"})
            fs::create_directories(kit.path(d));
        for (const char* f : {"root/b.wav", "root/A.wav", "root/.dot.wav", "root/Alpha/x.wav"})
            kit.text(f, "12345");
        foldertree_set_open_cb(t, [](const FolderNode* n, void* u) {
            auto* self = (TreeTest*)u;
            self->opened++;
            self->last_open = n->path;
        }, this);
        ASSERT_TRUE(foldertree_set_root(t, root.c_str()));
        t->rx = 0;
        t->ry = 0;
        t->rw = 400;
        t->rh = 400;
    }
    void TearDown() override { foldertree_destroy(t); }
    std::string names()
    {
        std::string s;
        for (int i = 0; i < foldertree_count(t); i++)
            s += std::string(s.empty() ? "" : " ") + foldertree_node_at(t, i)->name;
        return s;
    }
    int index_of(const std::string& name)
    {
        for (int i = 0; i < foldertree_count(t); i++)
            if (name == foldertree_node_at(t, i)->name)
                return i;
        return -1;
    }
    void key(SDL_Keycode sym, uint16_t mod = 0)
    {
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.keysym.sym = sym;
        e.key.keysym.mod = mod;
        foldertree_handle_event(t, &e, 0, 0);
    }
    void click(int row, int clicks)
    {
        SDL_Event e{};
        e.type = SDL_MOUSEBUTTONDOWN;
        e.button.button = SDL_BUTTON_LEFT;
        e.button.clicks = (uint8_t)clicks;
        float y = FOLDER_TREE_ROW * (float)(row + 1) + 5.0f;   // after the parent row
        foldertree_handle_event(t, &e, 50, y);
    }
};

TEST_F(TreeTest, FoldersFirstSortedWithoutCaseHiddenOnlyAfterH)
{
    EXPECT_EQ(names(), "Alpha alpha beta A.wav b.wav");   // ties: bytes
    key(SDLK_h);
    EXPECT_EQ(names(), ".hidden Alpha alpha beta .dot.wav A.wav b.wav");
    EXPECT_EQ(foldertree_node_at(t, index_of("b.wav"))->size, 5u);
}

TEST_F(TreeTest, SelectionFollowsExpandAndCollapse)
{
    int alpha = index_of("Alpha");
    foldertree_select(t, index_of("beta"));
    foldertree_expand(t, alpha);
    EXPECT_EQ(names(), "Alpha x.wav alpha beta A.wav b.wav");
    EXPECT_STREQ(foldertree_node_at(t, foldertree_selected(t))->name, "beta");
    foldertree_select(t, index_of("x.wav"));
    foldertree_collapse(t, alpha);
    EXPECT_EQ(foldertree_selected(t), alpha);
    // Going up selects the folder one came from; a path's parent of "/a" is "/".
    ASSERT_TRUE(foldertree_go_up(t));
    EXPECT_STREQ(foldertree_node_at(t, foldertree_selected(t))->name, "root");
    char parent[16];
    EXPECT_TRUE(foldertree_parent_path("/a", parent, sizeof parent));
    EXPECT_STREQ(parent, "/");
    EXPECT_FALSE(foldertree_parent_path("/", parent, sizeof parent));
}

TEST_F(TreeTest, StateTextRoundTripAndAMissingRootChangesNothing)
{
    foldertree_expand(t, index_of("alpha"));
    foldertree_expand(t, index_of("Alpha"));
    foldertree_select(t, index_of("x.wav"));
    char text[2048];
    ASSERT_TRUE(foldertree_state_string(t, text, sizeof text));
    FolderTree* u = foldertree_create();
    foldertree_restore(u, text);
    EXPECT_STREQ(foldertree_root(u), root.c_str());
    EXPECT_EQ(foldertree_count(u), foldertree_count(t));
    EXPECT_STREQ(foldertree_node_at(u, foldertree_selected(u))->name, "x.wav");
    foldertree_restore(u, (kit.path("gone") + "|x").c_str());
    EXPECT_STREQ(foldertree_root(u), root.c_str());
    // A text too small for every expanded path stops before the one that does not fit.
    char tight[200];
    size_t need = root.size() * 2 + 20;
    if (need < sizeof tight) {
        bool whole = foldertree_state_string(t, tight, need);
        EXPECT_FALSE(whole);
        EXPECT_EQ(std::string(tight).find(root + "|"), 0u);
    }
    foldertree_destroy(u);
}

TEST_F(TreeTest, KeysTagAndNavigateClicksSelectAndOpen)
{
    int b = index_of("b.wav");
    foldertree_select(t, b);
    key(SDLK_3);
    EXPECT_EQ(tags_get(foldertree_node_at(t, b)->path), 3);
    key(SDLK_5, KMOD_LCTRL);
    EXPECT_EQ(tags_get(foldertree_node_at(t, b)->path), 3);
    key(SDLK_0);
    EXPECT_EQ(tags_get(foldertree_node_at(t, b)->path), 0);
    key(SDLK_HOME);
    EXPECT_EQ(foldertree_selected(t), 0);
    key(SDLK_END);
    EXPECT_EQ(foldertree_selected(t), foldertree_count(t) - 1);
    click(index_of("A.wav"), 1);
    EXPECT_EQ(opened, 0);
    EXPECT_STREQ(foldertree_node_at(t, foldertree_selected(t))->name, "A.wav");
    click(index_of("A.wav"), 2);
    EXPECT_EQ(opened, 1);
    click(index_of("Alpha"), 1);   // a folder toggles at once
    EXPECT_EQ(names(), "Alpha x.wav alpha beta A.wav b.wav");
    EXPECT_EQ(foldertree_row_at(t, 10, 5), -2);
}

TEST_F(TreeTest, WithoutAnOpenCallbackAFileGoesToTheDesktop)
{
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "", log = kit.path("opened");
    std::ofstream(kit.path("xdg-open")) << "#!/bin/sh\necho \"$@\" >> \"" << log << "\"\n";
    fs::permissions(kit.path("xdg-open"), fs::perms::owner_all);
    setenv("PATH", (kit.dir() + ":" + path).c_str(), 1);
    foldertree_set_open_cb(t, nullptr, nullptr);
    foldertree_select(t, index_of("b.wav"));
    key(SDLK_RETURN);
    setenv("PATH", path.c_str(), 1);
    std::string got;
    test_wait_until([&] { return (bool)std::getline(std::ifstream(log), got); }, [] {}, 10);   // the child is not waited for
    EXPECT_EQ(got, root + "/b.wav");
}

TEST_F(TreeTest, PreviewRingAndARealFilesPreview)
{
    float pts[FOLDER_TREE_POINTS] = {};
    for (int i = 0; i < 49; i++)
        foldertree_preview_put(t, ("/p" + std::to_string(i)).c_str(), pts, true, 1.0);
    EXPECT_EQ(foldertree_preview_find(t, "/p0"), nullptr);   // the 49th evicted the oldest
    EXPECT_NE(foldertree_preview_find(t, "/p48"), nullptr);

    std::string wav = kit.wav("root/tone.wav", 48000, 2, 48000.0, 0.5f);
    const float* points = nullptr;
    int32_t n = 0;
    test_wait_until([&] {
        n = foldertree_preview_refresh(t, wav.c_str(), 1.0f / 60.0f, &points);
        const FolderTreePreview* p = foldertree_preview_find(t, wav.c_str());
        return p && p->ready;
    }, [] {}, 10);
    const FolderTreePreview* p = foldertree_preview_find(t, wav.c_str());
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->ready);
    EXPECT_NEAR(p->duration, 1.0, 0.01);
    EXPECT_EQ(n, FOLDER_TREE_POINTS);
    // A file that cannot be read gets an entry that is not ready: not tried again.
    std::string bad = kit.text("root/bad.wav", "not audio at all");
    test_wait_until([&] { return foldertree_preview_find(t, bad.c_str()) != nullptr; },
                    [&] { foldertree_preview_refresh(t, bad.c_str(), 1.0f / 60.0f, &points); }, 10);
    ASSERT_NE(foldertree_preview_find(t, bad.c_str()), nullptr);
    EXPECT_FALSE(foldertree_preview_find(t, bad.c_str())->ready);
}

}  // namespace
