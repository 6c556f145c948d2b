// fx.cpp - insert slots (placeholder: every effect passes the frame through).
#include "audio/fx.h"

#include <cstdlib>

int fx_init(FxSlot* slot)
{
    if (!slot)
        return -1;
    slot->last_type = -1;
    slot->noise_seed = 12345;
    slot->grain_countdown = 1;
    return 0;
}

void fx_free(FxSlot* slot) { (void)slot; }

const char* fx_name(int type)
{
    static const char* names[] = {"OFF", "DELAY", "CHORUS", "PHASER", "FLANGER", "GRIT", "BITCRUSH", "CHOPPER",
                                  "RADIO", "HIPASS", "LOPASS", "WOBBLE", "RING", "HALL", "GHOST"};
    return type >= 0 && type < FX_TYPE_COUNT ? names[type] : "???";
}

const char* fx_param_name(int, int) { return "???"; }
void fx_update(FxSlot* slot) { slot->active_type = slot->effect_type.load(std::memory_order_relaxed); }
void fx_mix(FxSlot*, float*, float*, float) {}
void fx_process_frame(FxSlot*) {}
