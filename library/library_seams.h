// library_seams.h - the calls the library model makes into the parts built around it:
// the library view (per-frame input, band visualiser), the take view (its per-frame
// step, drawing and mouse), the folder tree and favourites panel of the BROWSE source,
// and the desktop's "open" for files that are not audio.
// Threads: UI thread only.
// Depends on: library.h.
#pragma once

union SDL_Event;
struct Canvas;
struct CanvasRect;
struct Library;
struct TextRenderer;

// Library view: its own state (lib->ui), made by library_create and freed by
// library_destroy. False when it cannot be made.
bool library_view_create(Library* lib);
void library_view_destroy(Library* lib);
// Library view: sample the mouse button and advance the widget table for this frame.
void library_view_frame(Library* lib, float dt);
// Library view: the band visualiser of the playing card.
void library_visual_clear(Library* lib);
// position: the player's 0..1, or -1 when nothing plays; summary: the loaded item's
// when ready, else null; t: the step's time in seconds.
void library_visual_step(Library* lib, double position, const float* summary, double t);

// Take view: its per-frame step (region loop, tempo and key analysis), its drawing in
// a rectangle, and its mouse (true when used).
void library_update_analysis(Library* lib);
void library_draw_take_view(Canvas* c, TextRenderer* tr, Library* lib, const CanvasRect* r, double now);
bool library_take_view_press(Library* lib, const SDL_Event* e, float x, float y);
bool library_take_view_motion(Library* lib, const SDL_Event* e, float x, float y);
bool library_take_view_release(Library* lib, const SDL_Event* e, float x, float y);

// Folder tree and favourites panel: made when BROWSE is first enabled, opened on
// root, wired to library_on_tree_select and library_open_with_shell. False when they
// cannot be made (lib->tree and lib->favourites stay null).
bool library_browse_create(Library* lib, const char* root);
void library_browse_destroy(Library* lib);

// The desktop's "open" (xdg-open) for a file that is not audio. False when not sent.
bool library_shell_open(const char* path);
