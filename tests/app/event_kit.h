// event_kit.h - SDL events built by the test as SDL would deliver them, and a fixture
// that hands them to app_handle_event over a laid-out main view at scale 1 (window
// pixels = main-view units), with a mock instrument that counts the MIDI it is sent.
#pragma once
#include <SDL.h>

#include "app/panels/main/app_draw.h"
#include "app/app_events.h"
#include "tests/app/app_test.h"
#include "ui/canvas.h"
#include "ui/drawkit.h"
#include "ui/text.h"

inline SDL_Event ev_key(SDL_Keycode sym, bool down = true, uint16_t mod = KMOD_NONE, uint8_t repeat = 0)
{
    SDL_Event ev{};
    ev.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    ev.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    ev.key.repeat = repeat;
    ev.key.keysym.sym = sym;
    ev.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
    ev.key.keysym.mod = mod;
    return ev;
}

inline SDL_Event ev_button(float x, float y, bool down = true, uint8_t button = SDL_BUTTON_LEFT,
                           uint8_t clicks = 1)
{
    SDL_Event ev{};
    ev.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    ev.button.button = button;
    ev.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    ev.button.clicks = clicks;
    ev.button.x = (int)x;
    ev.button.y = (int)y;
    return ev;
}

inline SDL_Event ev_motion(float x, float y)
{
    SDL_Event ev{};
    ev.type = SDL_MOUSEMOTION;
    ev.motion.x = (int)x;
    ev.motion.y = (int)y;
    return ev;
}

inline SDL_Event ev_wheel(int y)
{
    SDL_Event ev{};
    ev.type = SDL_MOUSEWHEEL;
    ev.wheel.y = y;
    ev.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    return ev;
}

inline SDL_Event ev_text(const char* text)
{
    SDL_Event ev{};
    ev.type = SDL_TEXTINPUT;
    snprintf(ev.text.text, sizeof ev.text.text, "%s", text);
    return ev;
}

inline SDL_Event ev_focus_lost(void)
{
    SDL_Event ev{};
    ev.type = SDL_WINDOWEVENT;
    ev.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    return ev;
}

inline float centre_x(HitRect r)
{
    return r.x + r.w / 2;
}
inline float centre_y(HitRect r)
{
    return r.y + r.h / 2;
}

class EventTest : public AppTest {
protected:
    DrawKit kit{};
    SDL_Surface* overlay_surface = nullptr;
    SDL_Renderer* overlay_renderer = nullptr;

    void SetUp() override
    {
        AppTest::SetUp();
        draw_frame_layout(&kit, DRAW_REF_WIDTH, DRAW_REF_HEIGHT);
        app_layout_write(app);
    }
    void TearDown() override
    {
        text_renderer_destroy(app->text);
        canvas_destroy(app->canvas);
        app->text = nullptr;
        app->canvas = nullptr;
        if (overlay_renderer)
            SDL_DestroyRenderer(overlay_renderer);
        SDL_FreeSurface(overlay_surface);
        AppTest::TearDown();
    }
    // A canvas and a text renderer on a software renderer, without which the settings
    // list does not open.
    void with_overlays()
    {
        overlay_surface = SDL_CreateRGBSurfaceWithFormat(0, 64, 64, 32, SDL_PIXELFORMAT_ARGB8888);
        ASSERT_NE(overlay_surface, nullptr);
        overlay_renderer = SDL_CreateSoftwareRenderer(overlay_surface);
        ASSERT_NE(overlay_renderer, nullptr);
        app->canvas = canvas_create(overlay_renderer);
        app->text = text_renderer_create(overlay_renderer);
        ASSERT_NE(app->canvas, nullptr);
        ASSERT_NE(app->text, nullptr);
    }
    void send(const SDL_Event& ev) { app_handle_event(app, &kit, &ev); }
    void press(SDL_Keycode sym, uint16_t mod = KMOD_NONE)
    {
        send(ev_key(sym, true, mod));
        send(ev_key(sym, false, mod));
    }
    void click(float x, float y, uint8_t button = SDL_BUTTON_LEFT, uint8_t clicks = 1)
    {
        send(ev_button(x, y, true, button, clicks));
        send(ev_button(x, y, false, button, clicks));
    }
    void click(HitRect r, uint8_t button = SDL_BUTTON_LEFT) { click(centre_x(r), centre_y(r), button); }
    int live_toasts() const
    {
        int n = 0;
        for (const Toast& t : app->toasts)
            n += t.alpha > 0.0f;
        return n;
    }
    const Toast& last_toast() const { return app->toasts[(app->toast_next + APP_TOASTS - 1) % APP_TOASTS]; }
};
