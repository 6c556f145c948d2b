// key_hold.cpp - keys held back during a wait (see key_hold.h).
#include "app/key_hold.h"

#include <algorithm>
#include <cstring>

static bool key_hold_store(KeyHold* hold, const SDL_Event* ev)
{
    if (hold->count >= KEY_HOLD_SLOTS)
        return false;
    hold->events[hold->count++] = *ev;
    return true;
}

int key_hold_offer(KeyHold* hold, const SDL_Event* ev)
{
    if (!hold || !ev)
        return KEY_HOLD_NOW;
    if (ev->type == SDL_TEXTINPUT) {
        bool skip = hold->skip_text;
        hold->skip_text = 0;
        // Text takes only what the releases owed leave free.
        if (skip || hold->count + hold->releases_owed >= KEY_HOLD_SLOTS)
            return KEY_HOLD_IGNORED;
        key_hold_store(hold, ev);
        return KEY_HOLD_HELD;
    }
    if (ev->type != SDL_KEYDOWN && ev->type != SDL_KEYUP)
        return KEY_HOLD_NOW;
    int code = ev->key.keysym.scancode;
    bool known = code >= 0 && code < SDL_NUM_SCANCODES;
    if (ev->type == SDL_KEYUP) {
        if (!known || !hold->pressed[code])
            return KEY_HOLD_NOW;
        // Its slot was kept free when its press was held.
        hold->pressed[code] = 0;
        hold->releases_owed--;
        key_hold_store(hold, ev);
        return KEY_HOLD_HELD;
    }
    if (ev->key.repeat) {
        hold->skip_text = 1;
        return KEY_HOLD_IGNORED;
    }
    if (!known || hold->pressed[code]) {
        hold->skip_text = 1;
        return KEY_HOLD_IGNORED;
    }
    // A press needs its own slot, one for its text and one kept for its release.
    if (hold->count + hold->releases_owed + 3 > KEY_HOLD_SLOTS) {
        hold->skip_text = 1;
        hold->dropped++;
        return KEY_HOLD_FULL;
    }
    hold->skip_text = 0;
    hold->pressed[code] = 1;
    hold->releases_owed++;
    key_hold_store(hold, ev);
    return KEY_HOLD_HELD;
}

void key_hold_let_through(KeyHold* hold, const SDL_Event* ev)
{
    if (hold && ev && ev->type == SDL_KEYDOWN)
        hold->skip_text = 1;
}

int key_hold_take(KeyHold* hold, SDL_Event* out)
{
    if (!hold || !out)
        return 0;
    int n = hold->count;
    std::copy(hold->events, hold->events + n, out);
    hold->count = 0;
    // A key still down acts on its release, once the wait has ended.
    hold->releases_owed = 0;
    hold->dropped = 0;
    hold->skip_text = 0;
    std::memset(hold->pressed, 0, sizeof hold->pressed);
    return n;
}
