// key_hold.h - keys pressed while n, a load or e waits for the loop to be secured are
// held back and handled in their order once the wait ends, so that none changes the
// loop before it is written. Repeats are not held (a held key acts once). A release
// is never dropped: the release of a key whose press is held is held after it, and
// any other release acts at once, so a key released during the wait ends up released.
// A full store drops presses, never releases.
// Threads: UI thread only.
// Depends on: SDL2.
#pragma once
#include <SDL.h>

#include <cstdint>

// Events the store holds at most.
constexpr int KEY_HOLD_SLOTS = 64;

struct KeyHold {
    SDL_Event events[KEY_HOLD_SLOTS];
    int32_t count;
    int32_t releases_owed;              // held presses whose release is still to come
    int32_t dropped;                    // presses dropped since the store was last emptied
    uint8_t skip_text;                  // the next text input belongs to a press not held
    uint8_t pressed[SDL_NUM_SCANCODES]; // keys whose held press awaits its release
};

// What became of an event offered during a wait.
enum { KEY_HOLD_NOW = 0, KEY_HOLD_HELD, KEY_HOLD_IGNORED, KEY_HOLD_FULL };

// Offers a key press, release or text input made during a wait: KEY_HOLD_HELD when
// stored, KEY_HOLD_NOW when it is to act at once (a release of a key not held, any
// other event), KEY_HOLD_IGNORED for a repeat (and its text), KEY_HOLD_FULL for a
// press the store has no room for (its text is then ignored too; dropped counts it).
int key_hold_offer(KeyHold* hold, const SDL_Event* ev);
// A key press that acts at once during the wait (a note of musical typing): its text
// is not held either.
void key_hold_let_through(KeyHold* hold, const SDL_Event* ev);
// Moves the held events, in order, into out (room for KEY_HOLD_SLOTS); how many. The
// store is empty afterwards, with no press dropped.
int key_hold_take(KeyHold* hold, SDL_Event* out);
