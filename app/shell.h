// shell.h - the program as a whole: start-up in its fixed order, one pass of the
// frame loop, and shutdown in its fixed order. main is these three calls.
// Threads: UI thread only (the thread that called shell_start). SDL turns SIGTERM and
//          SIGINT into a quit event and the shell counts SIGHUP (the terminal that
//          started the program closed), so each, like the close button, is a close
//          request (app_close.h): the frames run on until the session take is in
//          place, however many requests come, and then shell_stop ends the program.
//          A lost X server connection ends it without a window (shell_display_lost).
// Depends on: SDL2, ui/drawkit.h, audio/engine.h, audio/vst.h, app/app_state.h,
//             app/panels/main/app_draw.h, app/app_events.h, app/folders.h, app/window.h,
//             app/screenshot.h, app/settings.h.
//
// The side systems (the rig session and inputs panel, app/shell_rigs.h; the station
// and firewall check, app/shell_station.h; the popup and keys help, app/overlays.h;
// the cursor, app/shell_cursor.h) take part in start-up, events, the frame and
// shutdown at fixed places. Each is optional: one that cannot be made is skipped for
// the whole run.
#pragma once
#include <SDL_events.h>

#include <cstdint>

#include "app/folders.h"
#include "app/frame_pace.h"
#include "app/key_hold.h"
#include "app/shell_rigs.h"
#include "app/shell_station.h"
#include "app/window.h"
#include "ui/cursor.h"
#include "ui/drawkit.h"

struct SDL_Window;
struct SDL_Renderer;
struct AppState;
struct Engine;

// Side systems a run can do without, as if their create had failed.
enum : uint32_t {
    SHELL_LEAVE_STATION = 1u << 0,   // no station: no tap, no live flag, w answers "no broadcast"
    SHELL_LEAVE_SESSION = 1u << 1,   // no rig session: no router, no inputs panel
    SHELL_LEAVE_PANEL = 1u << 2,     // a session, but no inputs panel or badge
    SHELL_LEAVE_POPUP = 1u << 3,     // no training popup
};

struct ShellOptions {
    double (*clock)(void);      // monotonic seconds for dt and the UI clock; null = SDL's counter
    uint32_t leave_out;         // SHELL_LEAVE_* bits
};

// One start-up or shutdown step as it ran: the call's name and how long it took.
struct ShellStep {
    const char* name;
    double seconds;
};
constexpr int SHELL_MAX_STEPS = 64;

struct ShellCtx {
    SDL_Window* window;
    SDL_Renderer* renderer;
    bool vsync;                 // the renderer was made with vsync (it may still not wait)
    DrawKit kit;
    Engine* engine;
    AppState* app;
    Folders folders;
    WindowBaseRect base;
    WindowGeometry granted;     // the window after the shell's own last change to it
    double settle_until;        // until then the window manager's late answers count too
    uint8_t panels_seen[3];     // inputs, library, video open at the last frame
    PanelSlides slides;
    double (*clock)(void);
    double prev_time;           // the clock at the previous frame
    uint32_t frame;             // frames presented
    bool quit;
    bool fullscreen;            // F11: desktop fullscreen
    bool screenshot_pending;    // F12 or the request file: taken before the next present
    bool unseen;                // minimised or hidden at the last frame: nothing is drawn
    bool show_pending;          // the window was never shown yet: the frame loop asks again
    double show_asked;          // when the window was last asked to be shown (perf_seconds)
    uint32_t made;              // what start-up has made, for a clean way out
    uint32_t leave_out;         // SHELL_LEAVE_* bits of the options
    ShellRigs rigs;             // the rig session and the inputs panel
    ShellStation station;       // the broadcast station
    ShellStep steps[SHELL_MAX_STEPS];   // start-up's steps, then shutdown's, in order
    int32_t step_count;
    CustomCursor cursor;        // drawn over everything while the canvas exists
    FramePace pace;             // the loop's own pause where presents do not wait
    KeyHold key_hold;           // keys held back while the loop is secured
    uint32_t hangups_seen;      // SIGHUPs already taken as close requests
    bool take_steps_done;       // shutdown has written the take and waited for its writer
};

// Starts everything in order. 0: the loop may run. 1: one failure line went to
// standard error ("SDL init failed: ...", "window failed: ...", "renderer failed:
// ...", "draw init failed", "engine init failed: ...", "folders failed: ...") and
// what was made is released again.
int shell_start(ShellCtx* shell, int argc, char** argv, const ShellOptions* options);
// One frame: events, update, toggles and slides, plug-in editors, drawing, the
// screenshot, present. False once the program should end.
bool shell_frame(ShellCtx* shell);
// Saves and tears everything down in order; returns the exit code (0).
int shell_stop(ShellCtx* shell);
// The X server connection was lost (the server ended or crashed, the session logged
// out): called on the UI thread from inside the X call that found it; never returns.
// Nothing is drawn any more. Shutdown's take steps run without a window: a recording
// ends through its fade, the loop settles and is written when it changed, the writer
// is waited for; then the settings and the rig edits are kept, the stream stops, and
// the program ends with status 1 and a line on standard error saying the display was
// lost. What needs the window (its textures, the renderer) is left to the system.
void shell_display_lost(void* shell);

// Shows the window, waiting at most wait_seconds for the window manager; show_pending
// stays set while it is not shown yet.
void shell_show(ShellCtx* shell, double wait_seconds);

// The refresh rate of the window's display in Hz; 0 when the display does not say.
double shell_refresh_hz(SDL_Window* window);

// The screenshot request file is looked for on frames divisible by this.
constexpr uint32_t SHELL_REQUEST_PERIOD = 16;
constexpr float SHELL_MAX_DT = 0.05f;
// While the window cannot be seen the loop waits this long for an event per frame.
constexpr int SHELL_UNSEEN_WAIT_MS = 50;
// Start-up waits this long for the window to be shown; one not shown by then is asked
// for again this often until it is.
constexpr double SHELL_SHOW_WAIT = 0.5;
constexpr double SHELL_SHOW_RETRY = 0.5;
