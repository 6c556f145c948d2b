// inputs_panel.h - the inputs panel: the side panel in which the player sees and
// edits the rig of the opened audio interface (header, four scene buttons, one strip
// per input with mute, gain fader and meter, pan, link and clip lamp, the master
// strip and a status line), and the rig badge on the main screen's inputs button.
// Every edit goes to the rig session (or to an installed back-end); the panel keeps
// only display state and re-reads the session after each edit.
// Threads: UI thread only.
// Depends on: rig/rigsession.h, ui/canvas.h, ui/text.h, ui/hitregion.h, ui/theme.h,
//             ui/dither.h, SDL2 events.
//
// Units: panel units, origin at the panel's top left; a window point maps to them by
// subtracting the frame origin, dividing by the scale and subtracting the frame
// position and the slide offset.
#pragma once
#include <cstdint>

#include "rig/rigsession.h"

struct InputsPanel;
struct SDL_Renderer;
union SDL_Event;
struct TextRenderer;

enum { INPUTS_PANEL_COLOURS = 11 };

struct InputsPanelPalette {
    float c[INPUTS_PANEL_COLOURS][4];
};

// What the shell hands to draw and handle_event.
struct InputsPanelFrame {
    float x, y, w, h;            // the panel rectangle in virtual units
    float origin_x, origin_y;    // device pixels
    float scale;                 // <= 0 means 1
    int32_t slide_edge;          // 0 y minus, 1 x plus, 2 y plus, 3 x minus, 4 none
    double time;
    float dt;                    // outside (0, 1): 1/60
    int32_t focus_mask;          // bit 0 scene keys, 1 up/down, 2 left/right, 3 Return, 4 Escape
    uint8_t focus;
    uint8_t reduced_motion;
};

enum InputsPanelCommandKind {
    IPC_SET_GAIN = 0, IPC_NUDGE_GAIN, IPC_SET_PAN, IPC_SET_MUTED, IPC_SET_LINK, IPC_SET_MASTER,
    IPC_NUDGE_MASTER, IPC_SWITCH_SCENE, IPC_COPY_SCENE, IPC_SET_GLYPH, IPC_SELECT_INPUT,
};

struct InputsPanelCommand {
    int32_t kind;
    int32_t index;
    int32_t second;
    float value;
    uint8_t flag;
    const char* text;
};

// A host that owns the rig elsewhere; every read and edit then goes through it.
struct InputsPanelBackend {
    void* ctx;
    const RigDocument* (*get_document)(void* ctx);
    void (*get_input_view)(void* ctx, RigInputView* out);
    void (*get_meter_view)(void* ctx, RigMeterView* out);
    const char* (*get_input_label)(void* ctx, int input);
    void (*send)(void* ctx, const InputsPanelCommand* cmd);
};

struct InputsPanelScroll {
    float rows;
    int32_t selected;
};

// Hit kinds of inputs_panel_hit_kind.
enum InputsPanelHit {
    IPH_OUTSIDE = 0, IPH_PANEL, IPH_SCENE, IPH_HEADER, IPH_OPTION, IPH_CLOSE, IPH_LIST, IPH_ROW, IPH_MUTE,
    IPH_FADER, IPH_PAN, IPH_LINK, IPH_LAMP, IPH_MASTER_STRIP, IPH_MASTER_FADER, IPH_BUS_LAMP, IPH_STATUS,
};

InputsPanel* inputs_panel_create(SDL_Renderer* renderer, RigSession* session, const InputsPanelPalette* palette);
void inputs_panel_destroy(InputsPanel* p);
void inputs_panel_set_backend(InputsPanel* p, const InputsPanelBackend* backend);   // null: the session
void inputs_panel_reset_textures(InputsPanel* p);
void inputs_panel_open(InputsPanel* p, double now);
void inputs_panel_close(InputsPanel* p, double now);
bool inputs_panel_is_open(const InputsPanel* p);
bool inputs_panel_is_dragging(const InputsPanel* p);
bool inputs_panel_hit_test(const InputsPanel* p, float x, float y);      // window pixels
int inputs_panel_cursor_mode(const InputsPanel* p);                       // 0 arrow, 2 hand, 5 resize
bool inputs_panel_handle_event(InputsPanel* p, const SDL_Event* ev, const InputsPanelFrame* frame);
void inputs_panel_draw(InputsPanel* p, const InputsPanelFrame* frame);
void inputs_panel_draw_badge(InputsPanel* p, const InputsPanelFrame* frame, float x, float y, float w, float h,
                             const float colour[4], bool hovered);
void inputs_panel_preferred_size(InputsPanel* p, float avail_w, float avail_h, float* w, float* h);
void inputs_panel_get_scroll(const InputsPanel* p, InputsPanelScroll* out);
void inputs_panel_set_scroll(InputsPanel* p, const InputsPanelScroll* in);
void inputs_panel_set_flag(InputsPanel* p, uint8_t flag);
void inputs_panel_set_palette(InputsPanelPalette* out);
int inputs_panel_take_pending(InputsPanel* p);
// The kind and index under a window point, from the last frame's layout.
int inputs_panel_hit_kind(InputsPanel* p, float x, float y, int* index);

// "OFF", "0.0 DB", "+1.5 DB" or "−3.0 DB" (U+2212) for a linear gain.
void inputs_panel_db_text(float gain, char* out, int size);

// What the status line is made from, and the line itself.
struct InputsStatusInput {
    RigInputView view;
    const RigDocument* doc;       // may be null
    double now;                   // session seconds, as other_writer_at
    int32_t drag_kind;            // 0 none, 1 mute paint, 2 gain, 3 pan, 4 master
    int32_t drag_input;
    uint8_t hovering;
    int32_t hover_kind;
    int32_t hover_index;
    uint8_t narrow;
    uint8_t any_clip[RIG_MAX_INPUTS];   // latched clip per input
    uint8_t any_bad[RIG_MAX_INPUTS];
    uint8_t bus_over;
    const char* (*label)(void* ctx, int input);
    void* label_ctx;
};
// Fills out (at most size bytes) and returns the palette colour number of the line
// (3, 4, 9 or 10), or -1 for an empty line.
int inputs_status_line(const InputsStatusInput* in, char* out, int size);

// Test seam: the glyph coverage test the right click uses (null: text_font_covers).
void inputs_panel_set_covers(bool (*covers)(TextRenderer* tr, const char* text));
