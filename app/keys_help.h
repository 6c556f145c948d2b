// keys_help.h - the keys help: the table of the program's keys in sections, the
// on-screen keyboard's 65 keys, the panel's open state and layout record, key-cap
// labels turned into key codes, chords sent to the program as synthetic key presses,
// and the table of keys lit by recent presses.
// Threads: UI thread only.
// Depends on: SDL2 (events, key names, keyboard state), ui/keyboard_caps.h.
#pragma once
#include <cstdint>

#include "ui/keyboard_caps.h"   // keys_for_each_label

struct Canvas;
struct TextRenderer;
union SDL_Event;

constexpr int32_t KEYS_HELP_MAX_SECTIONS = 12;
constexpr int32_t KEYS_HELP_MAX_SHOWN = 16;     // entries shown per section
constexpr int32_t KEYS_HELP_MAX_CAPS = 4;       // caps of one entry the layout keeps
constexpr int32_t KEYS_LIT_MAX = 32;
constexpr int32_t KEYBOARD_KEYS = 65;
constexpr int32_t KEYBOARD_ROWS = 5;
constexpr double KEYS_LIT_FADE = 0.35;          // seconds a pressed key stays lit

// Draws something beside an entry whose key-code slot is 0 or more (no entry here has one).
typedef void (*KeysHelpEntryDraw)(Canvas* c, TextRenderer* tr, float x, float y, float size, const float* colour,
                                  int32_t key, const char* extra, void* ctx);

struct KeysHelpEntry {
    const char* keys;       // key-cap labels separated by a tab
    int32_t key;            // -1
    uint16_t mods;          // 0
    const char* extra;      // null
    const char* text;
    uint8_t flag;           // acts only in its own panel: caps in the accent colours
};

struct KeysHelpSection {
    const char* name;
    const KeysHelpEntry* entries;
    int32_t entry_count;
    int32_t column3;        // column with three columns
    int32_t column2;        // column with two
};

struct KeyboardKey {
    const char* label;      // "" for the gap
    float width;            // key units
    int32_t row;
};

struct KeysLit {
    char label[16];
    double time;
};

struct KeysHelp {
    const KeysHelpSection* sections;
    int32_t section_count;
    KeysHelpEntryDraw callback;
    void* context;
    uint8_t open;
    double opened_at, closed_at;
    // Layout, in window units, with the panel at rest (before the slide).
    float panel_x, panel_y, panel_w, panel_h;
    int32_t columns;
    float column_x[3];      // from the panel's left edge
    float column_w;
    float cap_column_w[3];
    float section_y[KEYS_HELP_MAX_SECTIONS];   // heading tops below the list top
    float cap_w[KEYS_HELP_MAX_SECTIONS][KEYS_HELP_MAX_SHOWN][KEYS_HELP_MAX_CAPS];
    float list_h;
    float key_size, key_h;
    float keyboard_h;
    float content_h;        // list and keyboard
    float scroll;
    int32_t hover_section, hover_entry, hover_cap, hover_key;
    uint8_t hover_close;
    uint8_t layout_valid;
    float layout_width, layout_height, layout_scale;
    // The last click, for the pressed look of what it hit.
    int32_t click_section, click_entry, click_cap, click_key;
    double click_time;
    KeysLit lit[KEYS_LIT_MAX];
    int32_t lit_count;
};

// The program's seven sections and its keyboard.
extern const KeysHelpSection kKeysHelpSections[];
constexpr int32_t KEYS_HELP_SECTIONS = 7;
extern const KeyboardKey kKeyboardKeys[KEYBOARD_KEYS];

void keys_help_init(KeysHelp* help, const KeysHelpSection* sections, int32_t count, KeysHelpEntryDraw callback,
                    void* context);
bool keys_help_is_open(const KeysHelp* help);
void keys_help_open(KeysHelp* help, double t);
void keys_help_toggle(KeysHelp* help, double t);
// ? by key code, / with Shift held, and with allow_scancode the physical slash key
// with Shift held; the modifiers are the event's own.
bool keys_help_is_toggle_key(const SDL_Event* event, int allow_scancode);

// One label to an SDL key code (result 1) or to modifier bits added to *mods (result
// 0; also for "…" and unknown names).
int keyboard_label_to_key(const char* label, int32_t* key, uint16_t* mods);
// Pushes a key-down and a key-up of the chord's key, with the held Shift, Ctrl, Alt
// and GUI bits and the chord's modifiers, to the window with keyboard focus. Nothing
// when no label names a key. True when sent.
bool keyboard_send_key(const char* keys_text);

// Lighting. The keyboard's label a key code (and its modifier) lights, or null.
const char* keyboard_label_for_key(int32_t key);
void keys_help_light(KeysHelp* help, const char* label, double t);
// 1 while the label's key or one of its modifiers is held, else the newest press
// fading out over 0.35 s.
float keys_help_light_level(const KeysHelp* help, const char* label, double t);
// "Shift" and "⇧" are one key.
bool keys_label_equal(const char* a, const char* b);

// The held-key seam: whether a key (by code) or any of the modifier bits is held now.
typedef bool (*KeysHeldFn)(int32_t key, uint16_t mods);
void keys_help_set_held_fn(KeysHeldFn fn);   // null: SDL's keyboard state

