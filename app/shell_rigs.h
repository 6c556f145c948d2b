// shell_rigs.h - the rig side of the shell: the rigs folder and the rig session with
// its router in the engine, binding it to every stream the engine opens, ticking it
// and showing its failures, and the inputs panel with its badge on the main view:
// created at start-up, offered events, toggled, drawn, torn down at shutdown.
// Threads: UI thread only.
// Depends on: rig/rigsession.h, rig/views/inputs_panel.h, app/shell.h, SDL2.
#pragma once
#include <cstdint>

#include "ui/hitregion.h"

struct ShellCtx;
struct RigSession;
struct InputsPanel;
struct InputsPanelFrame;
struct InputsPanelPalette;
struct DrawKit;
struct WindowHitRects;
union SDL_Event;

// What the shell owns for the rigs, for the whole run; all 0 at start.
struct ShellRigs {
    RigSession* session;        // null when it could not be made
    InputsPanel* panel;         // null without a session or when it could not be made
    char folder[600];           // the rigs folder, empty when it cannot be formed
    uint32_t seen_stamp;        // the engine's stream stamp last bound
    uint8_t running;            // the engine's running flag as last told to the session
    uint8_t dragging;           // the panel's dragging flag as last seen (mouse capture)
    HitRect badge;              // the inputs badge in window pixels; empty without a panel
    HitRect panel_rect;         // the open panel in window pixels
};

// Fixed geometry in main-view units.
constexpr float SHELL_BADGE_X = 52.0f, SHELL_BADGE_Y = 12.0f, SHELL_BADGE_SIZE = 36.0f;
constexpr float SHELL_PANEL_X = -440.0f, SHELL_PANEL_Y = 8.0f;

// The frame handed to the inputs panel: at (-440, 8) with its preferred size within
// 432 x 1064, the kit's scale and origin, no slide; dt not above 0 becomes 1/60.
void window_inputs_panel_place(InputsPanelFrame* out, InputsPanel* panel, const DrawKit* kit, double time, float dt,
                               bool focus, int32_t key_mask);

// The inputs panel's palette as the program gives it: the panel's own from the theme
// with the program's colours in slots 0, 1, 3, 4, 5, 6 and 9.
void shell_rigs_palette(InputsPanelPalette* out);

// Start-up: the rigs folder; then the session, its router into the engine (before
// the stream starts).
void shell_rigs_folder(ShellCtx* sh);
void shell_rigs_start(ShellCtx* sh);
// Start-up, after the settings were read: the panel, its saved scroll, and opening it
// when the settings left it open.
void shell_rigs_panel_start(ShellCtx* sh);
// The events the rig side takes; true when the event ends here.
bool shell_rigs_event(ShellCtx* sh, SDL_Event* ev);
// Frame: binding to a new stream, the running flag, the tick and its messages.
void shell_rigs_tick(ShellCtx* sh, double t);
// Frame: whether the inputs toggle fires this frame (the request is then cleared).
bool shell_rigs_toggle_due(ShellCtx* sh);
void shell_rigs_open_close(ShellCtx* sh, double t);
// Frame: the panel, the badge and the scroll copied back into the settings mirror.
void shell_rigs_draw(ShellCtx* sh, double t, float dt);
// The badge and the open panel stay clickable inside the drag strip.
void shell_rigs_hit_rects(const ShellCtx* sh, WindowHitRects* rects);
// Shutdown: pending rig edits saved (after the settings), then everything freed
// (after the engine stopped, before it is shut down).
void shell_rigs_flush(ShellCtx* sh);
void shell_rigs_panel_stop(ShellCtx* sh);
void shell_rigs_stop(ShellCtx* sh);
