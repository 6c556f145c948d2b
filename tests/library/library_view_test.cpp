// The library view's events and menu actions at its own rectangle (no drawing): card
// clicks and keys, the filter, the menus through a fake xdg-open and a temporary
// trash, and the mends of summaries, the card menu and the trash.
#include <gtest/gtest.h>

#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "library/library.h"
#include "library/library_seams.h"
#include "library/views/library_view.h"
#include "support/library_kit.h"
#include "support/test_wait.h"

namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ViewTest : public ::testing::Test {
protected:
    LibraryKit kit;
    LibraryWithPlayer with;
    Library* lib = with.lib;
    std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "";
    int selected_hooks = 0;

    void SetUp() override
    {
        ASSERT_NE(lib, nullptr);
        // A recording xdg-open first on PATH, and a trash of our own.
        std::string bin = kit.path("bin");
        fs::create_directories(bin);
        std::string fake = bin + "/xdg-open";
        std::ofstream(fake) << "#!/bin/sh\necho \"$@\" >> \"" << kit.path("opened") << "\"\n";
        fs::permissions(fake, fs::perms::owner_all);
        setenv("PATH", (bin + ":" + old_path).c_str(), 1);
        setenv("XDG_DATA_HOME", kit.path("share").c_str(), 1);
        fs::create_directories(kit.path("share"));
        lib->state.source = LIBRARY_SOURCE_ALL;
        lib->dirty = 1;
        lib->ui->rect = CanvasRect{0, 0, 580, 892};
        lib->ui->list = CanvasRect{14, 38, 552, 846};
        lib->ui->filter = CanvasRect{80, 5, 150, 20};
        lib->on_selected = [](void* ctx, const LibraryItem*) { ((ViewTest*)ctx)->selected_hooks++; };
        lib->hook_ctx = this;
    }
    void TearDown() override
    {
        setenv("PATH", old_path.c_str(), 1);
        unsetenv("XDG_DATA_HOME");
    }
    bool event(uint32_t type, int code, float x, float y, double now = 1.0, uint16_t mod = 0)
    {
        SDL_Event e{};
        e.type = type;
        if (type == SDL_KEYDOWN) {
            e.key.keysym.sym = code;
            e.key.keysym.mod = mod;
        } else if (type == SDL_MOUSEWHEEL) {
            e.wheel.y = code;
        } else {
            e.button.button = (uint8_t)code;
        }
        return library_handle_event(lib, &e, x, y, nullptr, now);
    }
    bool text(const char* t)
    {
        SDL_Event e{};
        e.type = SDL_TEXTINPUT;
        std::snprintf(e.text.text, sizeof e.text.text, "%s", t);
        return library_handle_event(lib, &e, 0, 0, nullptr, 1.0);
    }
    // Card pos's body, or a part's point.
    float card_y(int pos) { return 38.0f + 96.0f * (float)pos + 5.0f; }
    std::string add(const std::string& name, int seconds_ago)
    {
        std::string p = kit.wav(name, 480);
        fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::seconds(seconds_ago));
        EXPECT_TRUE(library_add_file(lib, p.c_str(), false));
        library_rebuild_view(lib);
        return p;
    }
    void settle_slide()
    {
        for (int i = 0; i < 60; i++)
            library_update(lib, 2.0 + i / 60.0, 1.0f / 60.0f);
    }
    bool wait_file(const std::string& p)
    {
        return test_wait_until([&] { return fs::exists(p); }, [] {}, 10);
    }
};

TEST_F(ViewTest, CardEdgeCases)
{
    add("a.wav", 10);
    add("b.wav", 20);
    ASSERT_EQ(lib->view_count, 2);
    int a = lib->view[0];
    // Delete then Escape leaves it; Delete twice deletes it into the trash.
    library_select_index(lib, a);
    EXPECT_TRUE(event(SDL_KEYDOWN, SDLK_DELETE, 10, 10));
    EXPECT_EQ(lib->removing, a);
    EXPECT_TRUE(event(SDL_KEYDOWN, SDLK_ESCAPE, 10, 10));
    EXPECT_EQ(lib->removing, -1);
    // A click 10 units below a card (in the gap) hits no card and cancels a slide.
    event(SDL_KEYDOWN, SDLK_DELETE, 10, 10);
    event(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 200, 38 + 82 + 10);
    EXPECT_EQ(lib->removing, -1);
    // Two clicks 0.5 s apart are two single clicks; 0.3 s apart a double click.
    event(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 200, card_y(1), 1.0);
    event(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 200, card_y(1), 1.5);
    EXPECT_EQ(selected_hooks, 0);
    event(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 200, card_y(1), 1.8);
    EXPECT_EQ(selected_hooks, 1);
    std::string b_path = lib->items[lib->view[1]].path;
    library_select_index(lib, lib->view[1]);
    event(SDL_KEYDOWN, SDLK_DELETE, 10, 10);
    event(SDL_KEYDOWN, SDLK_DELETE, 10, 10);
    EXPECT_EQ(lib->count, 1);
    EXPECT_FALSE(fs::exists(b_path));
    EXPECT_TRUE(fs::exists(kit.path("share/Trash/files/b.wav")));
}

TEST_F(ViewTest, TheWheelMovesTheVolumeOnlyOverItsSlider)
{
    ASSERT_TRUE(library_browse_create(lib, kit.dir().c_str()));
    for (float top : {704.0f, 0.0f, 703.0f}) {   // under the cards, alone (the LOOPS tab), under the tree (BROWSE)
        lib->ui->openness = 1.0f;
        lib->player_only = top == 0.0f;
        lib->state.source = top == 703.0f ? LIBRARY_SOURCE_BROWSE : LIBRARY_SOURCE_ALL;
        lib->ui->take = CanvasRect{0, top, 580, 188};
        lib->take.volume_slider = CanvasRect{58, top + 166, 160, 12};
        library_set_volume(lib, 0.5f);
        event(SDL_MOUSEWHEEL, 1, 300, top + 90);   // over the waveform
        event(SDL_MOUSEWHEEL, 1, 100, top + 170);
        EXPECT_FLOAT_EQ(library_get_volume(lib), 0.55f) << top;
        lib->ui->openness = 0.0f;   // closed: no slider
        event(SDL_MOUSEWHEEL, 1, 100, top + 170);
        EXPECT_FLOAT_EQ(library_get_volume(lib), top == 0.0f ? 0.6f : 0.55f) << top << ", closed";
    }
}

TEST_F(ViewTest, FilterTakesWholeCharactersUpTo31Bytes)
{
    lib->ui->filter_focused = 1;
    EXPECT_TRUE(text("ab\x01" "c"));
    EXPECT_STREQ(lib->state.filter, "abc");
    EXPECT_TRUE(text("\xC3\xA9\xC3\xA9"));
    EXPECT_TRUE(event(SDL_KEYDOWN, SDLK_BACKSPACE, 0, 0));
    EXPECT_STREQ(lib->state.filter, "abc\xC3\xA9");
    text("012345678901234567890123456789");
    EXPECT_EQ(std::strlen(lib->state.filter), 31u);
    text("\xC3\xA9");   // a character that does not fit whole is left out
    EXPECT_EQ(std::strlen(lib->state.filter), 31u);
    // A press outside the view takes the focus away without being taken.
    EXPECT_FALSE(event(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 900, 10));
    EXPECT_FALSE(library_wants_keyboard(lib));
}

TEST_F(ViewTest, CardMenuActions)
{
    std::string a = add("a.wav", 10);
    // Right-click: the menu at the pointer on the item.
    event(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 200, card_y(0));
    ASSERT_TRUE(library_popup_open(lib));
    EXPECT_FLOAT_EQ(lib->ui->menu.anchor_x, 200.0f);
    // SHOW IN EXPLORER: the fake xdg-open gets the item's folder.
    library_card_action(lib, 3);
    ASSERT_TRUE(wait_file(kit.path("opened")));
    test_wait_until([&] { return slurp(kit.path("opened")).ends_with("\n"); }, [] {}, 10);
    EXPECT_EQ(slurp(kit.path("opened")), kit.dir() + "\n");
    library_card_action(lib, 1);   // PREVIEW plays it through the player
    EXPECT_EQ(std::string(lib->loaded_path), a);
    selected_hooks = 0;
    library_card_action(lib, 0);
    EXPECT_EQ(selected_hooks, 1);
}

TEST_F(ViewTest, TheCardMenuActsOnItsOwnCardAfterANewerFileArrives)
{
    std::string a = add("a.wav", 100);
    event(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 200, card_y(0));
    add("newer.wav", 1);   // sorts before a
    for (int k = 0; k < 4; k++)
        event(SDL_KEYDOWN, SDLK_DOWN, 0, 0);   // OPEN, PREVIEW, (QUILL disabled) EXPLORER, DELETE...
    event(SDL_KEYDOWN, SDLK_RETURN, 0, 0);
    ASSERT_GE(lib->removing, 0);
    EXPECT_EQ(std::string(lib->items[lib->removing].path), a);
}

TEST_F(ViewTest, ARefusedTrashKeepsTheItemAndSpringsTheCardBack)
{
    std::string a = add("a.wav", 10);
    std::ofstream(kit.path("not-a-folder")) << "x";
    setenv("XDG_DATA_HOME", kit.path("not-a-folder/share").c_str(), 1);
    int index = lib->view[0];
    library_select_index(lib, index);
    event(SDL_KEYDOWN, SDLK_DELETE, 10, 10);
    settle_slide();
    EXPECT_FALSE(library_delete_item(lib, index));
    EXPECT_EQ(lib->count, 1);
    EXPECT_TRUE(fs::exists(a));
    settle_slide();
    EXPECT_EQ(lib->removing, -1);
}

TEST_F(ViewTest, EverySummaryArrivesAndTheProgressClears)
{
    // More files in one frame than the request ring and the result queue hold.
    std::string one = kit.wav("one.wav", 64, 1);
    fs::create_directories(kit.path("many"));
    for (int i = 0; i < 2000; i++) {
        std::string p = kit.path("many/f" + std::to_string(i) + ".wav");
        fs::copy_file(one, p);
        ASSERT_TRUE(library_add_file(lib, p.c_str(), false));
    }
    bool all = library_kit_pump(lib, [&] {
        for (int i = 0; i < lib->count; i++)
            if (!lib->items[i].ready && !lib->items[i].failed)
                return false;
        return lib->queued == 0 && lib->unrequested == 0;
    }, 120.0);
    EXPECT_TRUE(all);
    EXPECT_EQ(lib->done, 0);
}

}  // namespace
