// The popup menu's event table and layout.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdio>

#include "library/views/popup_menu.h"

namespace {

SDL_Event ev(uint32_t type, int button_or_key = 0)
{
    SDL_Event e{};
    e.type = type;
    if (type == SDL_KEYDOWN)
        e.key.keysym.sym = button_or_key;
    else if (type == SDL_WINDOWEVENT)
        e.window.event = (uint8_t)button_or_key;
    else
        e.button.button = (uint8_t)button_or_key;
    return e;
}

struct MenuTest : ::testing::Test {
    PopupMenu m;
    void SetUp() override
    {
        popup_menu_init(&m);
        PopupMenuItem items[3] = {};
        for (int i = 0; i < 3; i++) {
            std::snprintf(items[i].label, sizeof items[i].label, "ITEM %d", i);
            items[i].id = 10 + i;
        }
        items[1].disabled = 1;
        popup_menu_open(&m, 100, 100, items, 3, 0.0);
        CanvasRect bounds{0, 0, 640, 1080};
        popup_menu_layout(&m, nullptr, nullptr, &bounds);
    }
    float row_y(int i) { return m.y + 4.0f + 28.0f * (float)i + 10.0f; }
};

TEST_F(MenuTest, EventTable)
{
    struct Step {
        SDL_Event e;
        float x, y;
        bool used, open;
        int32_t hover, choice;
    };
    const Step steps[] = {
        {ev(SDL_MOUSEWHEEL), 0, 0, true, true, -1, -1},
        {ev(SDL_KEYDOWN, SDLK_DOWN), 0, 0, true, true, 0, -1},           // from none: the first
        {ev(SDL_KEYDOWN, SDLK_DOWN), 0, 0, true, true, 2, -1},           // the disabled one skipped
        {ev(SDL_KEYDOWN, SDLK_DOWN), 0, 0, true, true, 0, -1},           // wraps
        {ev(SDL_KEYDOWN, SDLK_a), 0, 0, true, true, 0, -1},              // swallowed
        {ev(SDL_WINDOWEVENT, SDL_WINDOWEVENT_FOCUS_LOST), 0, 0, false, false, 0, -1},
    };
    for (const Step& s : steps) {
        SDL_Event e = s.e;
        EXPECT_EQ(popup_menu_handle_event(&m, &e, s.x, s.y, 1.0), s.used) << e.type;
        EXPECT_EQ(popup_menu_is_open(&m), s.open) << e.type;
        if (s.open) {
            EXPECT_EQ(m.hover, s.hover) << e.type;
        }
    }
    EXPECT_EQ(popup_menu_take_choice(&m), -1);
}

TEST_F(MenuTest, PressAndReleaseOnOneItemChoosesOnce)
{
    SDL_Event down = ev(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT), up = ev(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT);
    EXPECT_EQ(popup_menu_item_at(&m, m.x + 20, row_y(1)), -1);   // disabled
    // Press on one item, release on another: nothing, still open.
    popup_menu_handle_event(&m, &down, m.x + 20, row_y(0), 1.0);
    popup_menu_handle_event(&m, &up, m.x + 20, row_y(2), 1.0);
    EXPECT_TRUE(popup_menu_is_open(&m));
    EXPECT_EQ(popup_menu_take_choice(&m), -1);
    popup_menu_handle_event(&m, &down, m.x + 20, row_y(2), 1.0);
    popup_menu_handle_event(&m, &up, m.x + 20, row_y(2), 1.0);
    EXPECT_FALSE(popup_menu_is_open(&m));
    EXPECT_EQ(popup_menu_take_choice(&m), 12);
    EXPECT_EQ(popup_menu_take_choice(&m), -1);
    // Up from no hover gives the last enabled item; Return chooses it.
    PopupMenuItem one[2] = {};
    one[0].id = 1;
    one[1].id = 2;
    popup_menu_open(&m, 0, 0, one, 2, 2.0);
    SDL_Event k = ev(SDL_KEYDOWN, SDLK_UP), r = ev(SDL_KEYDOWN, SDLK_RETURN);
    popup_menu_handle_event(&m, &k, 0, 0, 2.0);
    popup_menu_handle_event(&m, &r, 0, 0, 2.0);
    EXPECT_EQ(popup_menu_take_choice(&m), 2);
    // A right press anywhere closes without a choice.
    popup_menu_open(&m, 0, 0, one, 2, 3.0);
    SDL_Event right = ev(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT);
    EXPECT_TRUE(popup_menu_handle_event(&m, &right, 5, 5, 3.0));
    EXPECT_FALSE(popup_menu_is_open(&m));
}

TEST_F(MenuTest, LayoutFlipsInsideTheBounds)
{
    CanvasRect bounds{0, 0, 640, 1080};
    struct Case {
        float x, y, want_x, want_y;
    };
    const float h = 3 * 28 + 8;
    const Case cases[] = {{100, 100, 100, 100}, {630, 1070, 630 - 150, 1070 - h}, {2, 2, 6, 6}};
    for (const Case& c : cases) {
        m.anchor_x = c.x;
        m.anchor_y = c.y;
        popup_menu_layout(&m, nullptr, nullptr, &bounds);
        EXPECT_FLOAT_EQ(m.x, c.want_x);
        EXPECT_FLOAT_EQ(m.y, c.want_y);
        EXPECT_FLOAT_EQ(m.w, 150.0f);
        EXPECT_FLOAT_EQ(m.h, h);
    }
}

}  // namespace
