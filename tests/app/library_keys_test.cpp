// The library's keys through the shell's event handler: a focused filter takes every key
// and text; Ctrl+Up and Ctrl+Down reach the folder tree, other Ctrl chords stay the shell's.
#include <cstring>
#include <filesystem>
#include <string>

#include "library/folder_tree.h"
#include "library/library.h"
#include "library/library_seams.h"
#include "library/views/library_view.h"
#include "support/library_kit.h"
#include "tests/app/event_kit.h"

namespace {

TEST_F(EventTest, AFocusedFilterTakesEveryKeyAndText)
{
    LibraryKit files;
    LibraryWithPlayer with;
    app->library = with.lib;
    app->library_shown = 1;
    app->library_x = -600;
    app->mouse_x = 300;   // the pointer over the main view, outside the library
    app->mouse_y = 500;
    with.lib->ui->filter_focused = 1;
    e->playing = 0;

    SDL_Event text{};
    text.type = SDL_TEXTINPUT;
    std::strcpy(text.text.text, "r");
    struct Step {
        SDL_Event ev;
        const char* filter;
    };
    const Step steps[] = {
        {ev_key(SDLK_r, true, KMOD_NONE), ""},
        {text, "r"},
        {ev_key(SDLK_BACKSPACE, true, KMOD_NONE), ""},
        {text, "r"},
    };
    for (const Step& s : steps) {
        send(s.ev);
        EXPECT_STREQ(with.lib->state.filter, s.filter);
        EXPECT_EQ(e->record.load(), 0);
    }
    // Escape leaves the field; then r records again.
    send(ev_key(SDLK_ESCAPE, true, KMOD_NONE));
    EXPECT_FALSE(library_wants_keyboard(with.lib));
    with.lib->ui->filter_focused = 1;
    // A press outside the view reaches the library, untaken, and the focus goes.
    send(ev_button(300, 500, true, SDL_BUTTON_LEFT, 1));
    send(ev_button(300, 500, false, SDL_BUTTON_LEFT, 1));
    EXPECT_FALSE(library_wants_keyboard(with.lib));
    press(SDLK_r);
    EXPECT_EQ(e->record.load(), 1);
    app->library = nullptr;
}

TEST_F(EventTest, CtrlUpAndDownMoveTheTreesRootAndOtherCtrlChordsStayTheShells)
{
    with_overlays();   // the settings open only with them
    LibraryKit files;
    LibraryWithPlayer with;
    std::filesystem::create_directories(files.path("music/next"));
    ASSERT_TRUE(library_browse_create(with.lib, files.path("music").c_str()));
    with.lib->state.source = LIBRARY_SOURCE_BROWSE;
    app->library = with.lib;
    app->library_shown = 1;
    app->library_view_rect = HitRect{0, 88, 580, 892};
    app->mouse_x = app->mouse_y = 200;   // over the library
    press(SDLK_DOWN, KMOD_LCTRL);
    EXPECT_EQ(std::string(foldertree_root(with.lib->tree)), files.path("music/next"));
    press(SDLK_UP, KMOD_RCTRL);
    EXPECT_EQ(std::string(foldertree_root(with.lib->tree)), files.path("music"));
    press(SDLK_COMMA, KMOD_LCTRL);
    EXPECT_TRUE(app->settings_open);
    app->library = nullptr;
}

}  // namespace
