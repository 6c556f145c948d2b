// plat_x11_editor.cpp - plug-in editor windows on Xlib.
#include "platform/plat_x11_editor.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------------------
// The shared connection
// ---------------------------------------------------------------------------

static Display* g_display = nullptr;
static Atom g_wm_protocols, g_wm_delete, g_net_wm_name, g_utf8_string, g_net_active_window;

// Xlib's default handler ends the process on any protocol error; a plug-in's stray
// request (it shares Xlib's one handler) must not take the program down with it.
static int plat_x11_error(Display* d, XErrorEvent* ev)
{
    (void)d;
    fprintf(stderr, "x11: error %d on request %d\n", (int)ev->error_code, (int)ev->request_code);
    return 0;
}

void plat_x11_init_threads(void)
{
    XInitThreads();
}

bool plat_editor_display_ready(void)
{
    if (g_display)
        return true;
    const char* name = getenv("DISPLAY");
    if (!name || !name[0])
        return false;
    g_display = XOpenDisplay(nullptr);
    if (!g_display) {
        fprintf(stderr, "x11: can't open display %s\n", name);
        return false;
    }
    XSetErrorHandler(plat_x11_error);
    g_wm_protocols = XInternAtom(g_display, "WM_PROTOCOLS", False);
    g_wm_delete = XInternAtom(g_display, "WM_DELETE_WINDOW", False);
    g_net_wm_name = XInternAtom(g_display, "_NET_WM_NAME", False);
    g_utf8_string = XInternAtom(g_display, "UTF8_STRING", False);
    g_net_active_window = XInternAtom(g_display, "_NET_ACTIVE_WINDOW", False);
    return true;
}

void plat_editor_display_close(void)
{
    if (!g_display)
        return;
    XCloseDisplay(g_display);
    g_display = nullptr;
}

// ---------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------

static unsigned clamp_side(int v)
{
    return v < 1 ? 1u : v > 16384 ? 16384u : (unsigned)v;
}

// Minimum = maximum = size: the window manager offers no resizing.
static void set_fixed_size(Window w, unsigned width, unsigned height)
{
    XSizeHints* hints = XAllocSizeHints();
    if (!hints)
        return;
    hints->flags = PMinSize | PMaxSize;
    hints->min_width = hints->max_width = (int)width;
    hints->min_height = hints->max_height = (int)height;
    XSetWMNormalHints(g_display, w, hints);
    XFree(hints);
}

PlatWindowId plat_editor_window_create(const char* title, int width, int height)
{
    if (!g_display)
        return 0;
    int screen = DefaultScreen(g_display);
    unsigned w_px = clamp_side(width), h_px = clamp_side(height);
    Window w = XCreateSimpleWindow(g_display, RootWindow(g_display, screen), 0, 0, w_px, h_px, 0,
                                   BlackPixel(g_display, screen), BlackPixel(g_display, screen));
    if (!w)
        return 0;
    const char* t = title ? title : "";
    XStoreName(g_display, w, t);
    XChangeProperty(g_display, w, g_net_wm_name, g_utf8_string, 8, PropModeReplace, (const unsigned char*)t,
                    (int)strlen(t));
    set_fixed_size(w, w_px, h_px);
    XSetWMProtocols(g_display, w, &g_wm_delete, 1);
    XFlush(g_display);
    return (PlatWindowId)w;
}

void plat_editor_window_resize(PlatWindowId w, int width, int height)
{
    if (!g_display || !w)
        return;
    unsigned w_px = clamp_side(width), h_px = clamp_side(height);
    set_fixed_size((Window)w, w_px, h_px);
    XResizeWindow(g_display, (Window)w, w_px, h_px);
    XFlush(g_display);
}

void plat_editor_window_show(PlatWindowId w)
{
    if (!g_display || !w)
        return;
    XMapRaised(g_display, (Window)w);
    XFlush(g_display);
}

void plat_editor_window_raise(PlatWindowId w)
{
    if (!g_display || !w)
        return;
    XRaiseWindow(g_display, (Window)w);
    // Window managers that keep focus-stealing rules honour this request instead.
    XEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.window = (Window)w;
    ev.xclient.message_type = g_net_active_window;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = 1;   // from an application
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(g_display, DefaultRootWindow(g_display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &ev);
    XFlush(g_display);
}

void plat_editor_window_destroy(PlatWindowId w)
{
    if (!g_display || !w)
        return;
    XDestroyWindow(g_display, (Window)w);
    XSync(g_display, False);
}

void plat_editor_sync(void)
{
    if (g_display)
        XSync(g_display, False);
}

int plat_editor_poll_closed(PlatWindowId* out, int max)
{
    if (!g_display)
        return 0;
    int n = 0;
    while (XPending(g_display) > 0) {
        XEvent ev;
        XNextEvent(g_display, &ev);
        if (ev.type == ClientMessage && ev.xclient.message_type == g_wm_protocols &&
            (Atom)ev.xclient.data.l[0] == g_wm_delete && out && n < max)
            out[n++] = (PlatWindowId)ev.xclient.window;
    }
    return n;
}

// ---------------------------------------------------------------------------
// Probes
// ---------------------------------------------------------------------------

bool plat_editor_window_geometry(PlatWindowId w, int* width, int* height)
{
    if (!g_display || !w || !plat_editor_window_exists(w))
        return false;
    Window root;
    int x, y;
    unsigned ww, hh, border, depth;
    if (!XGetGeometry(g_display, (Window)w, &root, &x, &y, &ww, &hh, &border, &depth))
        return false;
    if (width)
        *width = (int)ww;
    if (height)
        *height = (int)hh;
    return true;
}

bool plat_editor_window_title(PlatWindowId w, char* out, size_t cap)
{
    if (!out || !cap)
        return false;
    out[0] = '\0';
    if (!g_display || !w || !plat_editor_window_exists(w))
        return false;
    char* name = nullptr;
    if (!XFetchName(g_display, (Window)w, &name) || !name)
        return false;
    snprintf(out, cap, "%s", name);
    XFree(name);
    return true;
}

bool plat_editor_window_exists(PlatWindowId w)
{
    if (!g_display || !w)
        return false;
    Window root, parent;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(g_display, DefaultRootWindow(g_display), &root, &parent, &children, &count))
        return false;
    bool found = false;
    for (unsigned i = 0; i < count && !found; i++)
        found = children[i] == (Window)w;
    if (children)
        XFree(children);
    return found;
}

void plat_editor_send_close(PlatWindowId w)
{
    if (!g_display || !w)
        return;
    XEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.window = (Window)w;
    ev.xclient.message_type = g_wm_protocols;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)g_wm_delete;
    ev.xclient.data.l[1] = CurrentTime;
    // No event mask: delivered to the window's creator, as a window manager does.
    XSendEvent(g_display, (Window)w, False, NoEventMask, &ev);
    XFlush(g_display);
}
