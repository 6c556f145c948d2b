// keys_help.cpp - the keys table, the on-screen keyboard's keys, opening and
// closing, labels to key codes, synthetic chords and the lit-key table.
#include "app/keys_help.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

// ---------------------------------------------------------------------------
// Tables
// ---------------------------------------------------------------------------

static const KeysHelpEntry kTape[] = {
    {"R", -1, 0, nullptr, "record", 0},   {"␣", -1, 0, nullptr, "play", 0},
    {"←", -1, 0, nullptr, "reverse", 0},  {"→", -1, 0, nullptr, "forward", 0},
    {"S", -1, 0, nullptr, "stop", 0},     {"D", -1, 0, nullptr, "drop in", 0},
    {"C", -1, 0, nullptr, "clear", 0},
};
static const KeysHelpEntry kLoops[] = {
    {"L", -1, 0, nullptr, "library", 0},
    {"E", -1, 0, nullptr, "export", 0},
    {"N", -1, 0, nullptr, "new", 0},
    {"V", -1, 0, nullptr, "video", 0},
};
static const KeysHelpEntry kInput[] = {
    {"A", -1, 0, nullptr, "inputs", 0},
    {"M", -1, 0, nullptr, "monitor", 0},
    {"X", -1, 0, nullptr, "exclusive", 0},
    {"W", -1, 0, nullptr, "broadcast", 0},
};
static const KeysHelpEntry kPad[] = {
    {"Tab", -1, 0, nullptr, "pad mode", 0},
    {"Esc", -1, 0, nullptr, "free pad", 0},
};
static const KeysHelpEntry kApp[] = {
    {"F1", -1, 0, nullptr, "training", 0},        {"Shift\tF1", -1, 0, nullptr, "version notes", 0},
    {"Ctrl\t,", -1, 0, nullptr, "settings", 0},   {"?", -1, 0, nullptr, "keys", 0},
    {"F11", -1, 0, nullptr, "full screen", 0},
};
static const KeysHelpEntry kInputsPanel[] = {
    {"1\t…\t4", -1, 0, nullptr, "setup", 1},
    {"↑\t↓", -1, 0, nullptr, "pick input", 1},
    {"↵", -1, 0, nullptr, "mute", 1},
};
static const KeysHelpEntry kLibraryFiles[] = {
    {"↑\t↓", -1, 0, nullptr, "move", 1},
    {"↵", -1, 0, nullptr, "open", 1},
    {"Backspace", -1, 0, nullptr, "up a folder", 1},
    {"F", -1, 0, nullptr, "favorite", 1},
};

const KeysHelpSection kKeysHelpSections[KEYS_HELP_SECTIONS] = {
    {"TAPE", kTape, 7, 0, 0},
    {"LOOPS", kLoops, 4, 1, 1},
    {"INPUT", kInput, 4, 1, 1},
    {"PAD", kPad, 2, 2, 0},
    {"APP", kApp, 5, 2, 1},
    {"INPUTS PANEL", kInputsPanel, 3, 2, 1},
    {"LIBRARY FILES", kLibraryFiles, 4, 2, 1},
};

const KeyboardKey kKeyboardKeys[KEYBOARD_KEYS] = {
    {"Esc", 1, 0},     {"`", 1, 0},     {"1", 1, 0},      {"2", 1, 0},    {"3", 1, 0},     {"4", 1, 0},
    {"5", 1, 0},       {"6", 1, 0},     {"7", 1, 0},      {"8", 1, 0},    {"9", 1, 0},     {"0", 1, 0},
    {"-", 1, 0},       {"=", 1, 0},     {"⌫", 2, 0},
    {"Tab", 1.5f, 1},  {"Q", 1, 1},     {"W", 1, 1},      {"E", 1, 1},    {"R", 1, 1},     {"T", 1, 1},
    {"Y", 1, 1},       {"U", 1, 1},     {"I", 1, 1},      {"O", 1, 1},    {"P", 1, 1},     {"[", 1, 1},
    {"]", 1, 1},       {"\\", 2.5f, 1},
    {"Caps", 1.75f, 2}, {"A", 1, 2},    {"S", 1, 2},      {"D", 1, 2},    {"F", 1, 2},     {"G", 1, 2},
    {"H", 1, 2},       {"J", 1, 2},     {"K", 1, 2},      {"L", 1, 2},    {";", 1, 2},     {"'", 1, 2},
    {"↵", 3.25f, 2},
    {"⇧", 2.25f, 3},   {"Z", 1, 3},     {"X", 1, 3},      {"C", 1, 3},    {"V", 1, 3},     {"B", 1, 3},
    {"N", 1, 3},       {"M", 1, 3},     {",", 1, 3},      {".", 1, 3},    {"/", 1, 3},     {"⇧", 1.875f, 3},
    {"", 0.958f, 3},   {"↑", 0.917f, 3},
    {"Ctrl", 1.5f, 4}, {"Win", 1.25f, 4}, {"Alt", 1.25f, 4}, {"␣", 6.5f, 4}, {"Alt", 1.25f, 4},
    {"Ctrl", 1.5f, 4}, {"←", 0.917f, 4}, {"↓", 0.917f, 4},  {"→", 0.916f, 4},
};

// ---------------------------------------------------------------------------
// Opening and closing
// ---------------------------------------------------------------------------

void keys_help_init(KeysHelp* help, const KeysHelpSection* sections, int32_t count, KeysHelpEntryDraw callback,
                    void* context)
{
    if (!help)
        return;
    *help = KeysHelp{};
    help->sections = sections;
    help->section_count = sections ? std::clamp(count, 0, KEYS_HELP_MAX_SECTIONS) : 0;
    help->callback = callback;
    help->context = context;
    help->opened_at = help->closed_at = -1e9;
    help->hover_section = help->hover_entry = help->hover_cap = help->hover_key = -1;
    help->click_section = help->click_entry = help->click_cap = help->click_key = -1;
    help->click_time = -1e9;
}

bool keys_help_is_open(const KeysHelp* help)
{
    return help && help->open;
}

void keys_help_open(KeysHelp* help, double t)
{
    if (!help || help->open)
        return;
    help->opened_at = t;
    help->open = 1;
}

void keys_help_toggle(KeysHelp* help, double t)
{
    if (!help)
        return;
    if (!help->open) {
        keys_help_open(help, t);
        return;
    }
    help->closed_at = t;
    help->open = 0;
}

bool keys_help_is_toggle_key(const SDL_Event* ev, int allow_scancode)
{
    if (!ev || ev->type != SDL_KEYDOWN)
        return false;
    const SDL_Keysym& k = ev->key.keysym;
    bool shift = (k.mod & KMOD_SHIFT) != 0;
    if (k.sym == SDLK_QUESTION)
        return true;
    if (k.sym == SDLK_SLASH && shift)
        return true;
    return allow_scancode && k.scancode == SDL_SCANCODE_SLASH && shift;
}

// ---------------------------------------------------------------------------
// Labels and chords
// ---------------------------------------------------------------------------

int keyboard_label_to_key(const char* label, int32_t* key, uint16_t* mods)
{
    int32_t k = 0;
    uint16_t m = 0;
    int result = 0;
    struct Named {
        const char* label;
        int32_t key;
    };
    static const Named kNamed[] = {
        {"↵", SDLK_RETURN}, {"⌫", SDLK_BACKSPACE}, {"␣", SDLK_SPACE}, {"←", SDLK_LEFT},
        {"→", SDLK_RIGHT},  {"↑", SDLK_UP},        {"↓", SDLK_DOWN},   {"−", SDLK_MINUS},
        {"Esc", SDLK_ESCAPE}, {"Caps", SDLK_CAPSLOCK}, {"Del", SDLK_DELETE}, {"Tab", SDLK_TAB},
        {"Home", SDLK_HOME}, {"End", SDLK_END},
    };
    if (!label || !label[0]) {
        result = 0;
    } else if (strcmp(label, "Ctrl") == 0) {
        m = KMOD_LCTRL;
    } else if (strcmp(label, "Alt") == 0) {
        m = KMOD_LALT;
    } else if (strcmp(label, "Shift") == 0 || strcmp(label, "⇧") == 0) {
        m = KMOD_LSHIFT;
    } else if (strcmp(label, "Win") == 0) {
        m = KMOD_LGUI;
    } else if (strcmp(label, "…") == 0) {
        result = 0;
    } else if (strcmp(label, "?") == 0) {
        k = SDLK_SLASH, m = KMOD_LSHIFT, result = 1;
    } else if (strcmp(label, "+") == 0) {
        k = SDLK_EQUALS, m = KMOD_LSHIFT, result = 1;
    } else {
        for (const Named& n : kNamed)
            if (strcmp(label, n.label) == 0) {
                k = n.key, result = 1;
                break;
            }
        if (!result) {
            k = SDL_GetKeyFromName(label);
            if (k >= 'A' && k <= 'Z')
                k += 'a' - 'A';
            result = k != SDLK_UNKNOWN ? 1 : 0;
        }
    }
    if (result && key)
        *key = k;
    if (mods)
        *mods = (uint16_t)(*mods | m);
    return result;
}

bool keyboard_send_key(const char* keys_text)
{
    int32_t key = 0;
    bool have_key = false;
    uint16_t mods = 0;
    keys_for_each_label(keys_text, [&](int32_t, const char* label) {
        int32_t k = 0;
        if (keyboard_label_to_key(label, &k, &mods) && !have_key) {
            key = k;
            have_key = true;
        }
    });
    if (!have_key)
        return false;
    SDL_Window* focus = SDL_GetKeyboardFocus();
    SDL_Event ev{};
    ev.type = SDL_KEYDOWN;
    ev.key.timestamp = SDL_GetTicks();
    ev.key.windowID = focus ? SDL_GetWindowID(focus) : 0;
    ev.key.state = SDL_PRESSED;
    ev.key.repeat = 0;
    ev.key.keysym.sym = key;
    ev.key.keysym.scancode = SDL_GetScancodeFromKey(key);
    ev.key.keysym.mod = (uint16_t)((SDL_GetModState() & (KMOD_SHIFT | KMOD_CTRL | KMOD_ALT | KMOD_GUI)) | mods);
    SDL_PushEvent(&ev);
    ev.type = SDL_KEYUP;
    ev.key.state = SDL_RELEASED;
    SDL_PushEvent(&ev);
    return true;
}

// ---------------------------------------------------------------------------
// Lighting
// ---------------------------------------------------------------------------

// Both sides of each modifier in mods.
static uint16_t keys_both_sides(uint16_t mods)
{
    uint16_t m = 0;
    if (mods & KMOD_SHIFT)
        m |= KMOD_SHIFT;
    if (mods & KMOD_CTRL)
        m |= KMOD_CTRL;
    if (mods & KMOD_ALT)
        m |= KMOD_ALT;
    if (mods & KMOD_GUI)
        m |= KMOD_GUI;
    return m;
}

static uint16_t keys_modifier_of(int32_t key)
{
    switch (key) {
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return KMOD_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return KMOD_CTRL;
    case SDLK_LALT:
    case SDLK_RALT: return KMOD_ALT;
    case SDLK_LGUI:
    case SDLK_RGUI: return KMOD_GUI;
    default: return 0;
    }
}

static bool keys_held_sdl(int32_t key, uint16_t mods)
{
    if (key != 0) {
        int n = 0;
        const Uint8* state = SDL_GetKeyboardState(&n);
        SDL_Scancode sc = SDL_GetScancodeFromKey(key);
        if (state && sc > 0 && (int)sc < n && state[sc])
            return true;
    }
    return mods && (SDL_GetModState() & keys_both_sides(mods));
}

static KeysHeldFn g_held = keys_held_sdl;

void keys_help_set_held_fn(KeysHeldFn fn)
{
    g_held = fn ? fn : keys_held_sdl;
}

bool keys_label_equal(const char* a, const char* b)
{
    if (!a || !b)
        return false;
    auto shift = [](const char* s) { return strcmp(s, "Shift") == 0 || strcmp(s, "⇧") == 0; };
    return strcmp(a, b) == 0 || (shift(a) && shift(b));
}

const char* keyboard_label_for_key(int32_t key)
{
    uint16_t key_mod = keys_modifier_of(key);
    for (const KeyboardKey& k : kKeyboardKeys) {
        int32_t code = 0;
        uint16_t mods = 0;
        if (keyboard_label_to_key(k.label, &code, &mods)) {
            if (code == key)
                return k.label;
        } else if (key_mod && (keys_both_sides(mods) & key_mod)) {
            return k.label;
        }
    }
    return nullptr;
}

void keys_help_light(KeysHelp* help, const char* label, double t)
{
    if (!help || !label || !label[0] || strcmp(label, "…") == 0)
        return;
    for (int32_t i = 0; i < help->lit_count; i++)
        if (keys_label_equal(help->lit[i].label, label)) {
            help->lit[i].time = t;
            return;
        }
    int32_t slot = help->lit_count;
    if (help->lit_count < KEYS_LIT_MAX) {
        help->lit_count++;
    } else {
        slot = 0;
        for (int32_t i = 1; i < KEYS_LIT_MAX; i++)
            if (help->lit[i].time < help->lit[slot].time)
                slot = i;
    }
    snprintf(help->lit[slot].label, sizeof help->lit[slot].label, "%s", label);
    help->lit[slot].time = t;
}

float keys_help_light_level(const KeysHelp* help, const char* label, double t)
{
    if (!help || !label || !label[0])
        return 0.0f;
    int32_t key = 0;
    uint16_t mods = 0;
    bool has_key = keyboard_label_to_key(label, &key, &mods) != 0;
    if (g_held(has_key ? key : 0, keys_both_sides(mods)))
        return 1.0f;
    float level = 0.0f;
    for (int32_t i = 0; i < help->lit_count; i++)
        if (keys_label_equal(help->lit[i].label, label))
            level = std::max(level, (float)(1.0 - (t - help->lit[i].time) / KEYS_LIT_FADE));
    return std::clamp(level, 0.0f, 1.0f);
}
