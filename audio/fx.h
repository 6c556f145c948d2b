// fx.h - FxSlot: one insert slot running one of the 14 built-in effects or a plug-in.
// Threads: fx_init/fx_free/fx_name/fx_param_name: UI thread.
//          fx_update/fx_mix/fx_process_frame and the effect bodies: audio thread [RT].
// Shared fields (effect type, knobs, plug-in, bypass) are written by the UI and read
// by the callback once per block; everything else belongs to the audio thread.
// Depends on: vst.h (VstPlugin).
#pragma once
#include <atomic>
#include <cstdint>

struct VstPlugin;

enum {
    FX_OFF = 0, FX_DELAY, FX_CHORUS, FX_PHASER, FX_FLANGER, FX_GRIT, FX_BITCRUSH, FX_CHOPPER,
    FX_RADIO, FX_HIPASS, FX_LOPASS, FX_WOBBLE, FX_RING, FX_HALL, FX_GHOST,
    FX_TYPE_COUNT   // 15
};

enum {
    FX_DELAY_FRAMES = 72000,
    FX_MOD_FRAMES = 1440,
    FX_REVERB_FRAMES = 6087,
    FX_ALLPASS_FRAMES = 781,
    FX_GRAIN_FRAMES = 24000,
    FX_GRAIN_VOICES = 8,
};

struct FxGrainVoice {
    int32_t start, length, age;
    uint8_t active;
};

struct FxSlot {
    // Written by the UI, read by the callback.
    std::atomic<int32_t> effect_type;         // 0 (OFF) .. 14
    std::atomic<float> knob1, knob2;          // 0..1

    // Audio thread.
    int32_t active_type;
    float targets[2];
    int32_t last_type;                        // -1 after set-up
    float lfo_phase[3];
    float in_l, in_r;
    float out_l, out_r;
    float* delay_buf;                         // 72,000 stereo frames, interleaved
    int32_t delay_len, delay_w;
    float* mod_buf;                           // 1,440 stereo frames
    int32_t mod_len, mod_w;
    float phaser[12];
    float biquad[8];
    float biquad_c[5];
    float last_cutoff, last_res;
    float crush_l, crush_r, crush_count;
    float chopper_phase;
    float radio_phase;
    uint32_t noise_seed;
    float radio_state[8];
    float radio_c[5];
    float radio_last_bw;
    float ring_phase;
    float* reverb_buf;                        // four comb lines back to back
    int32_t comb_start[4], comb_len[4], comb_pos[4];
    float comb_damp[8];
    float* allpass_buf;                       // two all-pass lines
    int32_t ap_start[2], ap_len[2], ap_pos[2];
    float* grain_buf;                         // 0.5 s
    int32_t grain_len, grain_w;
    FxGrainVoice grains[FX_GRAIN_VOICES];
    int32_t grain_countdown;
    float smoothed[2];
    uint8_t smoothing;                        // set by the engine at start-up

    // Written by the UI (publish/retire rule of the plug-in host), read by the callback.
    std::atomic<VstPlugin*> plugin;
    std::atomic<uint8_t> bypass;
};

int fx_init(FxSlot* slot);                    // 0, or -1 when a buffer cannot be allocated
void fx_free(FxSlot* slot);
const char* fx_name(int type);                // "???" past 14
const char* fx_param_name(int type, int knob);

void fx_update(FxSlot* slot);                                  // [RT] once per block
void fx_mix(FxSlot* slot, float* left, float* right, float mix);   // [RT] frame in, output out
void fx_process_frame(FxSlot* slot);                           // [RT]
