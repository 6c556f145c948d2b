// keys_help_view.h - the keys help panel: its layout over the window, drawing (title
// bar, the sections of keys, the on-screen keyboard, the opening reveal) and events
// (hover, clicks that send keys, scrolling, closing).
// Threads: UI thread only.
// Depends on: app/keys_help.h, ui/keyboard_caps.h, ui/canvas.h, ui/text.h,
//             ui/dither.h, SDL2 events.
//
// Units are canvas units of the caller's canvas pass: with the shell's scale of 1,
// window pixels. Rectangles below are those of the panel at rest (after its slide).
#pragma once
#include <cstdint>

#include "app/keys_help.h"

struct Canvas;
struct CanvasRect;
struct TextRenderer;
struct KeyCapPalette;
union SDL_Event;

constexpr float KEYS_HELP_TITLE_H = 53.0f;
constexpr float KEYS_HELP_MIN_WIDTH = 200.0f;   // narrower panels are not drawn

// Lays the panel out for a window of w x h units (again only when the size or the
// canvas scale changed). False, with nothing valid, below the minimum width.
bool keys_help_layout(KeysHelp* help, Canvas* c, TextRenderer* tr, float w, float h);
void keyboard_panel_draw(Canvas* c, TextRenderer* tr, KeysHelp* help, const KeyCapPalette* palette, float w,
                         float h, double t, float dt, bool reduced_motion);
// Whether the panel took the event; nothing while closed.
bool keyboard_panel_handle_event(KeysHelp* help, const SDL_Event* event, float scale, double t);

// Where things are, for hit tests, tests and tools. False when not laid out or hidden.
bool keys_help_key_rect(const KeysHelp* help, int32_t key, CanvasRect* out);
bool keys_help_entry_rect(const KeysHelp* help, int32_t section, int32_t entry, CanvasRect* out);
bool keys_help_cap_rect(const KeysHelp* help, int32_t section, int32_t entry, int32_t cap, CanvasRect* out);
bool keys_help_heading_rect(const KeysHelp* help, int32_t section, CanvasRect* out);
bool keys_help_panel_rect(const KeysHelp* help, CanvasRect* out);
// Top of the keyboard block (its rows start 5 below) and its title line's top.
float keys_help_keyboard_top(const KeysHelp* help);
// A keyboard key's opacity: 1 when lit or used by a shown entry, else 0.55.
float keys_help_key_opacity(const KeysHelp* help, int32_t key, double t);
// The column a section goes into for the current column count.
int32_t keys_help_section_column(const KeysHelp* help, int32_t section);
