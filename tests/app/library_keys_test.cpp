// The library's filter through the shell's event handler: while it has the focus it
// takes every key and text, so an "r" meant for it never starts recording.
#include <cstring>

#include "library/library.h"
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

}  // namespace
