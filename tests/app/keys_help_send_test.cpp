// Clicking a cap of the keys help does what the real key does: the click goes through
// the real event pump, the overlays' event steps and app_handle_event, with the panel
// open, and the state afterwards is compared with that after the key itself.
#include <SDL.h>

#include <string>
#include <vector>

#include "app/panels/main/app_draw.h"
#include "app/folders.h"
#include "app/kit_popup.h"
#include "app/overlays.h"
#include "app/panels/keys_help_view.h"
#include "library/user_stores.h"
#include "support/draw_fixture.h"
#include "tests/app/event_kit.h"
#include "ui/canvas.h"
#include "ui/text.h"

namespace {

// What a command may change.
struct Seen {
    int monitor, record, hold_dub, playing, reversed, clear, pad_mode, typing_notes;
    int library_toggle, video_toggle, inputs_toggle, settings_open, picker_open, close_request, session;
    std::vector<std::string> toasts;
    bool keys_open, popup_open;
    int page;
    bool operator==(const Seen&) const = default;
};

struct Case {
    const char* name;
    SDL_Keycode key;
    uint16_t mod;
    // The cap clicked: a list entry (section, entry, cap or -1 for the entry's row)
    // or, with section -1, the keyboard key of that label.
    int section, entry, cap;
    const char* keyboard;
    bool typing;
};

const Case kCases[] = {
    {"R", SDLK_r, 0, 0, 0, 0, nullptr, false},
    {"Space", SDLK_SPACE, 0, 0, 1, 0, nullptr, false},
    {"Left", SDLK_LEFT, 0, 0, 2, 0, nullptr, false},
    {"Right", SDLK_RIGHT, 0, 0, 3, 0, nullptr, false},
    {"S", SDLK_s, 0, 0, 4, -1, nullptr, false},
    {"D", SDLK_d, 0, 0, 5, 0, nullptr, false},
    {"C", SDLK_c, 0, 0, 6, 0, nullptr, false},
    {"L", SDLK_l, 0, 1, 0, 0, nullptr, false},
    {"E", SDLK_e, 0, 1, 1, 0, nullptr, false},
    {"N", SDLK_n, 0, 1, 2, 0, nullptr, false},
    {"V", SDLK_v, 0, 1, 3, 0, nullptr, false},
    {"VKey", SDLK_v, 0, -1, 0, 0, "V", false},
    {"M", SDLK_m, 0, 2, 1, 0, nullptr, false},
    {"MKey", SDLK_m, 0, -1, 0, 0, "M", false},
    {"Tab", SDLK_TAB, 0, 3, 0, 0, nullptr, false},
    {"TabKey", SDLK_TAB, 0, -1, 0, 0, "Tab", false},
    {"Esc", SDLK_ESCAPE, 0, 3, 1, 0, nullptr, false},
    {"CtrlComma", SDLK_COMMA, KMOD_LCTRL, 4, 2, -1, nullptr, false},
    {"Question", SDLK_SLASH, KMOD_LSHIFT, 4, 3, 0, nullptr, false},
    {"F1", SDLK_F1, 0, 4, 0, 0, nullptr, false},
    {"ShiftF1", SDLK_F1, KMOD_LSHIFT, 4, 1, 1, nullptr, false},
    {"TypedZ", SDLK_z, 0, -1, 0, 0, "Z", true},
};

}  // namespace

class KeysHelpSendTest : public EventTest, public ::testing::WithParamInterface<Case> {
protected:
    DrawFixture fx{};
    AppTestFolder data;
    Overlays o{};
    double t = 100.0;

    void SetUp() override
    {
        char err[200];
        ASSERT_TRUE(draw_fixture_open(&fx, 640, 1080, err, sizeof err)) << err;
        folders_use_data_path(data.path.c_str());
        EventTest::SetUp();
    }
    void TearDown() override
    {
        drop_overlays();
        EventTest::TearDown();
        folders_use_data_path("");
        draw_fixture_close(&fx);
    }
    void drop_overlays()
    {
        overlays_stop(&o);
        text_renderer_destroy(app->text);
        canvas_destroy(app->canvas);
        app->text = nullptr;
        app->canvas = nullptr;
    }
    // A fresh application with the keys help open and laid out over 640 x 1080.
    void fresh(bool typing)
    {
        drop_overlays();
        app_test_engine_stop(e);
        ASSERT_TRUE(app_test_engine_start(e));
        app_init(app, e, "/opt/tessel");
        app_layout_write(app);
        app->musical_typing = typing ? 1 : 0;
        app->canvas = canvas_create(fx.renderer);
        app->text = text_renderer_create_in(fx.renderer, TESSEL_FONT_FOLDER);
        ASSERT_TRUE(app->canvas && app->text);
        o = Overlays{};
        overlays_keys_start(&o);
        overlays_popup_start(&o);
        overlays_after_settings(&o, app);
        overlays_take_previous(&o, app);
        keys_help_open(&o.keys, t - 5);
        ASSERT_TRUE(keys_help_layout(&o.keys, app->canvas, app->text, 640, 1080));
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    // The shell's order for input events: popup, keys help, main view. Events pushed
    // while polling come at the next frame's poll (SDL stops at the queue's end as it
    // was), so a few frames are polled.
    void pump()
    {
        for (int frame = 0; frame < 3; frame++)
            pump_frame();
    }
    void pump_frame()
    {
        SDL_Event ev;
        while (SDL_PollEvent(&ev)) {
            t += 0.001;
            if (ev.type != SDL_KEYDOWN && ev.type != SDL_KEYUP && ev.type != SDL_MOUSEBUTTONDOWN &&
                ev.type != SDL_MOUSEBUTTONUP && ev.type != SDL_MOUSEMOTION)
                continue;
            if (overlays_event_popup(&o, app, &ev, t) || overlays_event_keys(&o, app, &ev, t))
                continue;
            app_handle_event(app, &kit, &ev);
        }
    }
    void push(SDL_Event ev) { ASSERT_EQ(SDL_PushEvent(&ev), 1); }
    Seen seen()
    {
        Seen s{e->monitor, e->record, e->hold_dub, e->playing, e->reversed, e->clear_request, app->pad_mode,
               app->notes_keys, app->library_toggle, app->video_toggle, app->inputs_toggle, app->settings_open,
               app->picker.open, app->close_request, (int)e->content_generation.load(), {},
               keys_help_is_open(&o.keys), kit_popup_is_open(o.popup), o.popup ? o.popup->page : -1};
        for (const Toast& toast : app->toasts)
            if (toast.alpha > 0)
                s.toasts.push_back(toast.text);
        return s;
    }
};

TEST_P(KeysHelpSendTest, ClickedCapEqualsTheRealKey)
{
    const Case& c = GetParam();
    fresh(c.typing);
    SDL_Event down = ev_key(c.key, true, c.mod), up = ev_key(c.key, false, c.mod);
    push(down);
    push(up);
    pump();
    Seen by_key = seen();

    fresh(c.typing);
    CanvasRect r{};
    if (c.keyboard) {
        int k = 0;
        while (k < KEYBOARD_KEYS && strcmp(kKeyboardKeys[k].label, c.keyboard) != 0)
            k++;
        ASSERT_TRUE(keys_help_key_rect(&o.keys, k, &r)) << c.keyboard;
    } else if (c.cap >= 0) {
        ASSERT_TRUE(keys_help_cap_rect(&o.keys, c.section, c.entry, c.cap, &r));
    } else {
        ASSERT_TRUE(keys_help_entry_rect(&o.keys, c.section, c.entry, &r));
        r.x += r.w - 20;   // on the description, off the caps
        r.w = 10;
    }
    push(ev_button(r.x + r.w / 2, r.y + r.h / 2, true));
    push(ev_button(r.x + r.w / 2, r.y + r.h / 2, false));
    pump();
    Seen by_click = seen();
    EXPECT_TRUE(by_key == by_click) << c.name;
    EXPECT_EQ(by_key.toasts, by_click.toasts);
    // "?" closes the panel, Ctrl+, opens the settings, Shift+F1 the version notes.
    if (c.key == SDLK_SLASH)
        EXPECT_FALSE(by_click.keys_open);
    if (c.key == SDLK_COMMA)
        EXPECT_TRUE(by_click.settings_open && by_click.keys_open);
    if (c.key == SDLK_F1)
        EXPECT_TRUE(by_click.popup_open && by_click.page == (c.mod ? KIT_PAGE_NOTES : KIT_PAGE_TRAINING));
}

INSTANTIATE_TEST_SUITE_P(Keys, KeysHelpSendTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });
