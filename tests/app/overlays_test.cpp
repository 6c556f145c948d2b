// The overlays in the shell's order: the keys help opened from the settings, a
// toggle request and "keysheet", training discoveries, what the keys help lets
// through while open, and the window's hit test while an overlay is open.
#include <SDL.h>

#include "app/folders.h"
#include "app/kit_popup.h"
#include "app/overlays.h"
#include "app/window.h"
#include "tests/app/event_kit.h"

class OverlaysTest : public EventTest {
protected:
    AppTestFolder data;
    Overlays o{};
    void SetUp() override
    {
        folders_set_data(data.path.c_str());
        EventTest::SetUp();
        overlays_start(&o, app);
    }
    void TearDown() override
    {
        overlays_stop(&o);
        EventTest::TearDown();
        folders_set_data("");
    }
};

TEST_F(OverlaysTest, KeysHelpFollowsSettingsAndRequests)
{
    app->keys_help_open = 1;   // "keysheet" as the settings left it
    overlays_after_settings(&o, app);
    EXPECT_TRUE(overlays_keys_open(&o));
    EXPECT_DOUBLE_EQ(o.keys.opened_at, -10.0);
    app->keys_help_toggle = 1;   // a click in the settings list
    overlays_frame(&o, app, 5.0);
    EXPECT_FALSE(overlays_keys_open(&o));
    EXPECT_EQ(app->keys_help_toggle, 0);
    EXPECT_EQ(app->keys_help_open, 0);
    SDL_Event q = ev_key(SDLK_SLASH, true, KMOD_LSHIFT);
    EXPECT_TRUE(overlays_event_keys(&o, app, &q, 6.0));
    overlays_frame(&o, app, 6.1);
    EXPECT_EQ(app->keys_help_open, 1);
    app->picker.open = 1;   // the picker's search field gets the ? instead
    EXPECT_FALSE(overlays_event_keys(&o, app, &q, 7.0));
}

TEST_F(OverlaysTest, AnUndrawnKeysHelpTakesNothing)
{
    // No canvas or text renderer: the open panel is never drawn, so the main view
    // keeps its mouse and keys.
    overlays_after_settings(&o, app);
    keys_help_open(&o.keys, 1.0);
    for (SDL_Event ev : {ev_motion(300, 500), ev_wheel(1), ev_button(5, 5, true), ev_key(SDLK_r), ev_key(SDLK_ESCAPE)})
        EXPECT_FALSE(overlays_event_keys(&o, app, &ev, 2.0)) << ev.type;
}

TEST_F(OverlaysTest, DiscoveriesFollowWhatTheUserOpened)
{
    overlays_after_settings(&o, app);
    e->loop_set_count.fetch_add(1);
    app->settings_open = 1;
    overlays_frame(&o, app, 1.0);
    ASSERT_NE(o.popup, nullptr);
    EXPECT_TRUE(kit_training_is_done(&o.popup->training, "record"));
    EXPECT_TRUE(kit_training_is_done(&o.popup->training, "settings"));
    EXPECT_FALSE(kit_training_is_done(&o.popup->training, "library"));
    app->library_open = 1;
    overlays_frame(&o, app, 1.1);
    EXPECT_TRUE(kit_training_is_done(&o.popup->training, "library"));
    EXPECT_EQ(o.popup->training.counter, 3u);
}

TEST(OverlaysHitTest, AnOpenOverlayMakesTheDragStripNormal)
{
    struct Case {
        int32_t x, y;
        bool popup, keys;
        int want;
    } cases[] = {{300, 20, false, false, WINDOW_HIT_DRAG},   {300, 20, true, false, WINDOW_HIT_NORMAL},
                 {300, 20, false, true, WINDOW_HIT_NORMAL},  {0, 0, true, true, WINDOW_HIT_TOP_LEFT},
                 {300, 1079, true, false, WINDOW_HIT_BOTTOM}};
    for (const Case& c : cases)
        EXPECT_EQ(window_hit_classify(640, 1080, false, nullptr, c.x, c.y, c.popup, c.keys), c.want)
            << c.x << "," << c.y << " " << c.popup << c.keys;
}
