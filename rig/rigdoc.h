// rigdoc.h - RigDocument: one rig in memory (its device, four scenes of up to 64
// inputs, each program's scene choice, the writer block), its defaults, copies, edit
// masks and repair, the rig file codec, and the identifiers rigs use.
// Threads: any; a document is touched by one thread at a time. rig_random_u64,
//          rig_uuid_new and rig_instance_id may be called from several threads at once.
// Depends on: rig_device.h (texts, keys, hashes), json_read.h, json_write.h.
//
// Every text field is NUL-terminated UTF-8, cut at a whole character and free of
// invalid sequences once repaired. The rig file is one compact JSON object, format
// "tidecoil.rig", version 1; members this program does not know are kept verbatim
// (as raw JSON text) and written back after the known ones.
#pragma once
#include <cstddef>
#include <cstdint>

#include "rig/rig_device.h"

enum {
    RIG_SCENES = 4,
    RIG_APP_SCENES = 16,      // program choices kept per rig
    RIG_GLYPHS = 13,          // scene glyph table
    RIG_VERSION = 1,          // the only version this program writes
    RIG_FILE_MAX = 1048576,   // bytes; longer texts are refused
};

// The gain limit of inputs and scenes: +12 dB.
constexpr float RIG_GAIN_MAX = 3.9810717f;

struct RigInput {
    float gain;               // linear 0..RIG_GAIN_MAX
    float pan;                // -1 left .. +1 right
    uint8_t muted;
    uint8_t link;             // on an even input: joins it and the next into a stereo pair
    char label[64];
    char id[37];              // UUID
    char* raw;                // unknown members ("name":value,...), or null
};

struct RigScene {
    char id[37];
    char name[64];
    char glyph[8];            // one character
    uint8_t fresh;            // never edited: takes the active scene's mix when first chosen
    float master_gain;        // linear 0..RIG_GAIN_MAX
    double updated_at;        // seconds since 2001-01-01 00:00 UTC
    char author[48];
    int32_t channels;         // inputs in use, 0..64
    RigInput inputs[RIG_MAX_INPUTS];
    char* raw_members;        // unknown members of the scene object, or null
    char* raw_channels;       // channel entries kept verbatim (value,value,...), or null
};

// Which scene one running program chose last.
struct RigAppScene {
    char app[48];
    int32_t scene;            // 0..3
    double at;                // seconds since 2001-01-01
};

struct RigDocDevice {
    char api[16];
    char name[128];
    int32_t channels;         // 1..64
    char channel_names[RIG_MAX_INPUTS][64];
};

struct RigWriter {
    char app[48];
    char platform[16];
    char version[24];
    char instance[17];        // 16 lower-case hex digits
    double at;
};

// One allocation; rig_doc_free frees it with its raw texts. Copies are deep.
struct RigDocument {
    int32_t version;
    uint8_t read_only;        // version > 1: a newer program's file, never written
    char key[200];            // device key
    RigDocDevice device;
    int32_t active_scene;     // 0..3
    int32_t app_scene_count;  // 0..16
    RigAppScene app_scenes[RIG_APP_SCENES];
    RigScene scenes[RIG_SCENES];
    int64_t rev;              // raised on every save
    RigWriter writer;
    char* raw_top;            // unknown top-level members, or null
    char* raw_device;         // unknown members of "device", or null
    char* raw_scenes;         // scene elements past the fourth, or null
};

// Input field bits.
enum : uint8_t {
    RIG_EDIT_GAIN = 1,
    RIG_EDIT_PAN = 2,
    RIG_EDIT_MUTED = 4,
    RIG_EDIT_LINK = 8,
    RIG_EDIT_LABEL = 16,
    RIG_EDIT_INPUT_ALL = 31,
};
// Scene field bits.
enum : uint8_t {
    RIG_EDIT_MASTER = 1,
    RIG_EDIT_GLYPH = 2,
    RIG_EDIT_NAME = 4,
    RIG_EDIT_FRESH = 8,
    RIG_EDIT_WHOLE_SCENE = 128,   // the scene's mix: master, fresh and gain..link of every input
};

// Which fields were edited: saves carry it so that only edited fields overwrite the
// file, merges keep the locally edited ones.
struct RigEditMask {
    uint8_t inputs[RIG_SCENES][RIG_MAX_INPUTS];
    uint8_t scenes[RIG_SCENES];
    uint8_t active_scene;
    uint8_t device;
    uint8_t any;
};

// Results of rig_decode.
enum : int {
    RIG_DECODE_CLEAN = 0,
    RIG_DECODE_REPAIRED = 1,
    RIG_DECODE_NEWER = 2,       // complete, repaired, read only
    RIG_DECODE_NOT_A_RIG = 3,
    RIG_DECODE_NO_TEXT = 4,     // too big, or not JSON
    RIG_DECODE_NO_MEMORY = 5,
};

// ---- Documents -------------------------------------------------------------------

RigDocument* rig_doc_new(void);              // reset; null when out of memory
void rig_doc_free(RigDocument* doc);
void rig_doc_clear(RigDocument* doc);        // frees and nulls every raw text
// Clears and zeroes everything; version 1, scenes named "scene 1".."scene 4" with
// their default glyphs and master 1.0; ids empty, no inputs.
void rig_doc_reset(RigDocument* doc);
void rig_scene_reset(RigScene* scene, int index);
// Deep copy. False when out of memory: dst is then reset, so no half copy survives.
bool rig_doc_assign(RigDocument* dst, const RigDocument* src);
// A fresh rig for a device: new scene ids, scenes 2..4 fresh, default inputs with the
// first pair linked (unless the api treats channels as separate inputs). channel_names
// may be null.
void rig_doc_init_for_device(RigDocument* doc, const char* key, const char* api, const char* name,
                             int channels, const char (*channel_names)[64], const char* author,
                             double at);
// Gives every scene default inputs up to channels (at most 64). True when any grew.
bool rig_doc_grow_inputs(RigDocument* doc, int channels);

// ---- Edit masks ------------------------------------------------------------------

void rig_edit_mask_clear(RigEditMask* mask);
void rig_edit_mask_or(RigEditMask* dst, const RigEditMask* src);
// The fields in which two documents differ.
void rig_doc_diff_mask(const RigDocument* a, const RigDocument* b, RigEditMask* out);
// Copies the masked fields of src into dst, inputs dst lacks whole, and merges the app
// scene choices; a null mask copies only the missing inputs and the choices. False
// when a raw text could not be copied (out of memory); the fields are copied anyway.
bool rig_doc_copy_fields(RigDocument* dst, const RigDocument* src, const RigEditMask* mask);

// ---- Repair ----------------------------------------------------------------------

// Repairs out-of-range values and texts in place. True when anything changed.
bool rig_doc_clamp(RigDocument* doc);
// Terminates a text field and, for fields of at most 200 bytes, makes it valid UTF-8
// cut at a whole character. True when the field changed.
bool rig_text_repair(char* field, int size);

// ---- App scenes and scenes -------------------------------------------------------

// Records which scene the program app chose (app non-empty) and makes it active.
void rig_doc_set_app_scene(RigDocument* doc, const char* app, int scene, double at);
// The scene app chose last, else the active scene; 0..3.
int rig_doc_app_scene(const RigDocument* doc, const char* app);
int rig_app_scene_find(const RigDocument* doc, const char* app);   // index or -1
// A slot for a new choice: the next free one, else the oldest is dropped and 15 given.
int rig_app_scene_slot(RigDocument* doc);
// Takes src's newer choices into dst.
void rig_app_scenes_merge(RigDocument* dst, const RigDocument* src);

// Copies gain, pan, mute and link of every input and the master gain; clears fresh.
void rig_scene_copy_mix(RigScene* dst, const RigScene* src);
// The even input that leads a linked pair an odd input belongs to, else the input.
int rig_link_partner(const RigScene* scene, int input, int channels);
// Inputs heard: unmuted with a gain above 0, a linked pair counting 2.
int rig_scene_live_count(const RigScene* scene, int channels);
// Place of a glyph in the table (trailing variation selectors ignored), or -1.
int rig_glyph_index(const char* text);
const char* rig_glyph(int index);            // the table's UTF-8 text; index clamped

// ---- File format -----------------------------------------------------------------

// Decodes a rig file into doc, repairing every fault; msg gets the first repair (or
// the reason it failed). Returns RIG_DECODE_*. Results 3..5 leave doc reset.
int rig_decode(const char* text, size_t len, RigDocument* doc, char* msg, size_t msg_cap);
// Writes doc compactly in the fixed member order. Returns the needed length; when it
// is not below cap the buffer holds an empty text: retry with needed + 1 bytes.
uint64_t rig_encode(const RigDocument* doc, char* buf, uint64_t cap);

// ---- Identifiers -----------------------------------------------------------------

uint64_t rig_random_u64(void);               // process-wide SplitMix64
void rig_random_seed(uint64_t seed);
void rig_uuid_new(char out[37]);             // version 4, upper-case hex
void rig_instance_id(char out[17]);          // 16 lower-case hex digits
// "<slug>-<fnv1a32 hex>.json" for a device key. Returns its length, or -1 (empty
// output when size > 0) when it does not fit.
int rig_file_name(const char* name, char* out, int size);

// Test hook: the next `after` allocations of this module succeed and later ones fail;
// -1 switches failures off.
void rig_doc_test_fail_allocs(int after);
