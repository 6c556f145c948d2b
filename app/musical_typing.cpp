// musical_typing.cpp - notes from the keys and the key sheet into the instrument.
#include "app/musical_typing.h"

#include <SDL.h>

#include "app/app_state.h"
#include "audio/engine.h"
#include "audio/vst.h"

static const int32_t kNoteKeys[TYPING_KEYS] = {
    SDLK_z, SDLK_s, SDLK_x, SDLK_d, SDLK_c, SDLK_v, SDLK_g, SDLK_b, SDLK_h, SDLK_n, SDLK_j, SDLK_m, SDLK_COMMA,
};

int key_to_semitone(int32_t key)
{
    for (int i = 0; i < TYPING_KEYS; i++)
        if (kNoteKeys[i] == key)
            return i;
    return -1;
}

static VstPlugin* typing_instrument(AppState* app)
{
    return app->engine ? app->engine->instrument.load(std::memory_order_relaxed) : nullptr;
}

static void typing_send(AppState* app, uint8_t status, int semitone, uint8_t velocity)
{
    if (VstPlugin* inst = typing_instrument(app))
        vst_midi_push(inst, status, (uint8_t)(TYPING_BASE_NOTE + semitone), velocity);
}

void typing_note_down(AppState* app, int semitone, bool mouse)
{
    if (!app || semitone < 0 || semitone >= TYPING_KEYS || !typing_instrument(app))
        return;
    uint16_t bit = (uint16_t)(1u << semitone);
    uint16_t& mine = mouse ? app->notes_mouse : app->notes_keys;
    if (mine & bit)
        return;
    // A note already held by the other hand keeps sounding: no second note-on.
    if (!((app->notes_mouse | app->notes_keys) & bit))
        typing_send(app, 0x90, semitone, TYPING_VELOCITY);
    mine |= bit;
}

void typing_note_up(AppState* app, int semitone, bool mouse)
{
    if (!app || semitone < 0 || semitone >= TYPING_KEYS)
        return;
    uint16_t bit = (uint16_t)(1u << semitone);
    uint16_t& mine = mouse ? app->notes_mouse : app->notes_keys;
    uint16_t other = mouse ? app->notes_keys : app->notes_mouse;
    if (!(mine & bit))
        return;
    mine &= (uint16_t)~bit;
    if (!(other & bit))
        typing_send(app, 0x80, semitone, 0);
}

void typing_release_all(AppState* app)
{
    if (!app)
        return;
    uint16_t held = app->notes_keys | app->notes_mouse;
    for (int n = 0; n < TYPING_KEYS; n++)
        if (held & (1u << n))
            typing_send(app, 0x80, n, 0);
    app->notes_keys = 0;
    app->notes_mouse = 0;
    app->clicked_key = -1;
}

void typing_set(AppState* app, bool on)
{
    if (!app)
        return;
    if (!on)
        typing_release_all(app);
    app->musical_typing = on ? 1 : 0;
}
