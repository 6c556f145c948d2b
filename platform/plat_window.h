// plat_window.h - showing the program's window without waiting for ever on the window
// manager. SDL's own show on X11 maps the window and then waits for its MapNotify with
// no time limit; a window manager that starts at that moment can take the map request
// and never answer it, and the program would hang before its first frame. So the
// window is made hidden and shown here: mapped through Xlib, waited for with a
// deadline, and handed to SDL_ShowWindow only once it can be seen (SDL then finds it
// mapped and does not wait). A request the window manager lost is made again by a
// later call.
// Threads: UI thread only (the thread that runs SDL's events).
// Depends on: SDL2 (the window's X11 display and window), Xlib.
#pragma once

struct SDL_Window;

// Shows the window, waiting at most wait_seconds for it to become viewable. True once
// SDL counts it shown (its shown flag set, as after SDL_ShowWindow). False while it is
// not viewable yet: the map request stays with the window manager, and a later call
// looks again and, while no window manager has taken the window (it is unmapped and
// has no WM_STATE), asks anew. Video drivers other than X11: SDL_ShowWindow, true.
bool plat_window_show(SDL_Window* window, double wait_seconds);
