// fx.h - FxSlot: one insert slot running one of the 14 built-in effects or a plug-in.
// Threads: fx_init/fx_free/fx_set_type/fx_warm_up: UI thread; fx_name/fx_param_name:
//          any thread.
//          fx_update/fx_mix/fx_process_frame and the effect bodies: audio thread [RT].
// Shared fields (effect type, knobs, plug-in, bypass) are written by the UI and read
// by the callback once per block; everything else belongs to the audio thread.
// Every effect runs at the fixed design rate of 48 kHz, whatever the stream's rate.
// Files: fx_slot.cpp (life cycle, names, block update, frame exchange, smoothing),
//        fx_filters.cpp (biquads, radio, phaser), fx_time.cpp (delay, chorus, flanger,
//        wobble), fx_hall.cpp, fx_ghost.cpp, fx_misc.cpp (grit, crush, chopper, ring).
// Depends on: vst.h (VstPlugin, only as a pointer).
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
    FX_DELAY_FRAMES = 72000,      // 1.5 s
    FX_MOD_FRAMES = 1440,         // 30 ms
    FX_REVERB_FRAMES = 6087,      // four comb lines back to back
    FX_ALLPASS_FRAMES = 781,      // two all-pass lines back to back
    FX_GRAIN_FRAMES = 24000,      // 0.5 s
    FX_GRAIN_VOICES = 8,
    FX_COMBS = 4,
    FX_ALLPASSES = 2,
    FX_FADE_FRAMES = 192,         // 4 ms: each half of a change of effect type
};

struct FxGrainVoice {
    int32_t start, length, age;
    uint8_t active;
};

struct FxSlot {
    // Written by the UI, read by the callback once per block.
    std::atomic<int32_t> effect_type;         // 0 (OFF) .. 14
    std::atomic<float> knob1, knob2;          // 0..1

    // Audio thread only (fx_init/fx_free while no stream runs).
    int32_t active_type;                      // the type the callback is running
    int32_t next_type;                        // the type it is fading towards (OFF: dry)
    float fade;                               // 0..1: share of the running effect in the
                                              // frame exchange, in and out
    float targets[2];                         // knobs taken at the last block update
    int32_t last_type;                        // type whose state is loaded; -1 after set-up
    float lfo_phase[3];                       // cycles 0..1
    float in_l, in_r;                         // frame handed in, cleared after processing
    float out_l, out_r;                       // the effect's last output
    float* delay_buf = nullptr;               // 72,000 stereo frames, interleaved
    int32_t delay_len, delay_w;
    float* mod_buf = nullptr;                 // 1,440 stereo frames, silenced when an
                                              // effect other than the last starts on it
    int32_t mod_len, mod_w;
    float phaser[12];                         // six all-pass stages per side
    float biquad[8];                          // x1, x2, y1, y2 per side
    float biquad_c[5];                        // b0, b1, b2, a1, a2
    float last_cutoff, last_res;              // -1 forces a recompute
    float crush_l, crush_r, crush_count;
    float chopper_phase;
    float radio_phase;
    uint32_t noise_seed;                      // 12345 after set-up
    float radio_state[8];
    float radio_c[5];
    float radio_last_bw;                      // -1 forces a recompute
    float ring_phase;
    float* reverb_buf = nullptr;              // 6,087 stereo frames
    int32_t comb_start[FX_COMBS], comb_len[FX_COMBS], comb_pos[FX_COMBS];
    float comb_damp[8];                       // one low-pass state per comb and side
    float* allpass_buf = nullptr;             // 781 stereo frames
    int32_t ap_start[FX_ALLPASSES], ap_len[FX_ALLPASSES], ap_pos[FX_ALLPASSES];
    float* grain_buf = nullptr;               // 24,000 stereo frames
    int32_t grain_len, grain_w;
    FxGrainVoice grains[FX_GRAIN_VOICES];
    int32_t grain_countdown;                  // frames until the next grain; 1 after set-up
    float smoothed[2];                        // per-frame smoothed knobs
    uint8_t smoothing;                        // 1: knob moves glide (the engine sets it)

    // Written by the UI (publish/retire rule of the plug-in host), read by the callback.
    std::atomic<VstPlugin*> plugin;
    std::atomic<uint8_t> bypass;
};

// Clears the slot (not its plug-in pointer or bypass flag), allocates its five
// buffers and logs the buffer total. 0, or -1 when a buffer cannot be allocated
// (nothing is then left allocated). Call while no stream runs.
int fx_init(FxSlot* slot);
void fx_free(FxSlot* slot);                   // frees the buffers; accepts null
// Runs every effect for a moment on a slot of its own (buffers allocated and freed
// here), so the effects' code and the maths library they call are mapped by the
// calling thread and not faulted in by the audio thread when a slot first runs them.
// Does nothing when the buffers cannot be had. UI thread, before the stream starts.
void fx_warm_up(void);
const char* fx_name(int type);                // "OFF".."GHOST"; "???" out of range
const char* fx_param_name(int type, int knob);    // knob 0 or 1; "???" out of range

// The UI's way to change a slot's effect: stores the type and logs "FX: → NAME" when
// it differs from the slot's current type. The callback takes it at its next block.
void fx_set_type(FxSlot* slot, int type);

// [RT] Once per block, before the frames: takes the knobs and the effect type (OFF
// when bypassed). Returns false when the slot runs nothing and passes the signal as
// it is; the patch runner then skips its frames.
bool fx_update(FxSlot* slot, bool bypassed = false);
// [RT] Hands one frame in and puts m x output + (1 - m) x frame in its place; nothing
// when the slot runs OFF or m < 0.001.
// A change of effect type never switches the sound at once: the running effect fades
// out to the dry frame over FX_FADE_FRAMES (its input with it, so what its lines hold
// ends softly), then the new one fades in from the dry frame the same way. An effect
// not heard yet (fade still 0) is replaced at once.
void fx_mix(FxSlot* slot, float* left, float* right, float mix);
void fx_process_frame(FxSlot* slot);          // [RT] runs the effect on the frame handed in
