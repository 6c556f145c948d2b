// view_mix.h - the middle of the main screen: what the mix pad and the effects block
// read (readout text, point colour, one slot row's look) as plain functions, and the
// parameter bar both slot rows draw with (the painters view_pad and view_patches are
// declared in app/panels/main/view.h).
// Threads: UI thread only (plug-ins are asked for their names and parameters).
// Depends on: audio/engine.h, audio/fx.h, audio/vst.h (read with relaxed loads),
//             ui/hitregion.h (HitRect), ui/drawkit.h, app/panels/main/view_palette.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "app/panels/main/view_palette.h"
#include "ui/drawkit.h"
#include "ui/hitregion.h"

struct AppState;
struct Engine;

// Patch accents, A then B.
constexpr uint32_t VIEW_PATCH_A = draw_rgba(140, 46, 191, 255);
constexpr uint32_t VIEW_PATCH_B = VIEW_LIGHT_TEAL;

// The pad's readout line. Mode 0: "GAIN <gain x 100>%  PAN <C|L|R>" (C within 0.01 of
// centre). Mode 1: "A <a> / B <100 - a>   WET <w>%" with a and w the crossfade and
// wet/dry mix in percent, rounded half up.
void view_pad_readout(int32_t mode, float gain, float pan, float crossfade, float wet_dry, char* out, size_t cap);
// The point's colour: magenta for gain and pan; for the crossfade, patch A's purple
// turning to patch B's teal as x goes from 0 to 1.
uint32_t view_pad_point_colour(int32_t mode, float x);

// One slot row as drawn: slot 2 x patch + row of the engine.
struct SlotLook {
    bool plugin;              // a plug-in is loaded into the slot
    bool active;              // a plug-in or an effect other than OFF
    char name[16];            // at most 14 characters
    float value[2];           // the two bars, 0..1
    char param[2][12];        // their names, at most 10 characters
};
// A missing engine or a slot outside 0..3 reads as an empty slot.
SlotLook view_slot_look(const Engine* e, int32_t slot);

// A parameter bar: a well, the value's share of it filled in colour (brighter and
// glowing while it is dragged), an outline and the label under it.
void view_knob(AppState* app, DrawKit* kit, HitRect r, float value, const char* label, uint32_t colour,
               bool active);
