// plat_window.cpp - the bounded show of plat_window.h, on SDL's own X connection. The
// wait reads the window's map state by round trips and leaves every event in the queue
// for SDL: its MapNotify still reaches SDL's event loop.
#include "platform/plat_window.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include "platform/plat_time.h"

static const int kPollMs = 5;

// The window's map state; IsUnmapped when the server does not answer.
static int map_state(Display* d, Window w)
{
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a))
        return IsUnmapped;
    return a.map_state;
}

// A window manager that has taken the window puts WM_STATE on it (ICCCM 4.1.3.1); one
// that keeps such a window unmapped (iconic, another desktop) is not asked again.
static bool managed(Display* d, Window w)
{
    Atom wm_state = XInternAtom(d, "WM_STATE", True);
    if (wm_state == None)
        return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    int rc = XGetWindowProperty(d, w, wm_state, 0, 2, False, AnyPropertyType, &type, &format, &count, &after, &data);
    if (data)
        XFree(data);
    return rc == Success && type != None;
}

bool plat_window_show(SDL_Window* window, double wait_seconds)
{
    if (!window)
        return false;
    if (SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN)
        return true;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display) {
        SDL_ShowWindow(window);
        return true;
    }
    Display* d = info.info.x11.display;
    Window w = info.info.x11.window;
    int state = map_state(d, w);
    if (state == IsUnmapped && !managed(d, w)) {
        XMapRaised(d, w);
        XFlush(d);
    }
    double deadline = plat_time_seconds() + wait_seconds;
    // Viewable, not merely mapped: without a window manager at its start SDL gives the
    // window the input focus as it shows it, which X refuses for a window not viewable.
    while ((state = map_state(d, w)) != IsViewable && plat_time_seconds() < deadline)
        plat_sleep_ms(kPollMs);
    if (state != IsViewable)
        return false;
    SDL_ShowWindow(window);
    return true;
}
