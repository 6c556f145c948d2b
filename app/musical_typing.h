// musical_typing.h - the computer keyboard and the key sheet as a one-octave keyboard
// for the instrument plug-in: notes held by the keys and by the mouse are kept in two
// masks, and a note sounds once while either holds it.
// Threads: UI thread only; MIDI goes to the audio thread through the plug-in's ring.
// Depends on: app/app_state.h, audio/engine.h, audio/vst.h.
#pragma once
#include <cstdint>

struct AppState;

enum {
    TYPING_KEYS = 13,             // z s x d c v g b h n j m ,
    TYPING_BASE_NOTE = 60,        // MIDI note of semitone 0
    TYPING_VELOCITY = 110,
};

// The semitone 0..12 of a key code (z = 0 ... , = 12), or -1.
int key_to_semitone(int32_t key);
// A note pressed by the keys (mouse false) or the mouse: note-on 0x90 with velocity
// 110 when an instrument is loaded and neither mask held it; its bit is set.
void typing_note_down(AppState* app, int semitone, bool mouse);
// Clears the bit; note-off 0x80 (velocity 0) when the other mask does not hold it.
void typing_note_up(AppState* app, int semitone, bool mouse);
// Note-off for every held note, both masks cleared, no clicked key; typing stays on.
void typing_release_all(AppState* app);
// Switches musical typing; switching it off releases every held note.
void typing_set(AppState* app, bool on);
