// plat_dragout.cpp - the XDND (version 5) drag source of plat_dragout.h. The drag runs
// on a connection of its own: SDL's connection is only told to let go of the press's
// implicit grab before and handed a button release after, since its queue is not read
// while the drag runs.
#include "platform/plat_dragout.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <poll.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static DragoutFn g_override = nullptr;
static const int kFinishWaitMs = 10000;   // a drop's answer, at most
static const int kStatusWaitMs = 1000;    // a status still owed at the release
static const int kVersion = 5;

void dragout_set_override(DragoutFn fn)
{
    g_override = fn;
}

static bool unreserved(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == '/';
}

bool dragout_uri_list(const char* const* paths, int count, char* out, size_t cap)
{
    if (!paths || count < 1 || !out || cap == 0)
        return false;
    static const char kHex[] = "0123456789ABCDEF";
    size_t n = 0;
    auto put = [&](char c) {
        if (n + 1 >= cap)
            return false;
        out[n++] = c;
        return true;
    };
    for (int i = 0; i < count; i++) {
        if (!paths[i] || !paths[i][0])
            return false;
        for (const char* p = "file://"; *p; p++)
            if (!put(*p))
                return false;
        for (const unsigned char* p = (const unsigned char*)paths[i]; *p; p++) {
            if (unreserved(*p)) {
                if (!put((char)*p))
                    return false;
            } else if (!put('%') || !put(kHex[*p >> 4]) || !put(kHex[*p & 15])) {
                return false;
            }
        }
        if (!put('\r') || !put('\n'))
            return false;
    }
    out[n] = '\0';
    return true;
}

namespace {

struct Atoms {
    Atom aware, proxy, enter, position, status, leave, drop, finished, selection, copy, uri_list, targets;
};

struct Drag {
    Display* d;
    Window root, source;
    Window own;                       // the program's window: never a target
    Atoms a;
    const char* data;
    Window target;                    // the XdndAware window, or None
    Window target_queue;              // where its messages go (its proxy, else itself)
    int version;
    bool status_seen, accepted;
};

Atoms atoms_of(Display* d)
{
    auto in = [d](const char* name) { return XInternAtom(d, name, False); };
    return Atoms{in("XdndAware"),    in("XdndProxy"),     in("XdndEnter"),     in("XdndPosition"),
                 in("XdndStatus"),   in("XdndLeave"),     in("XdndDrop"),      in("XdndFinished"),
                 in("XdndSelection"), in("XdndActionCopy"), in("text/uri-list"), in("TARGETS")};
}

// A window's single 32-bit property of the type, or false.
bool read_long(Display* d, Window w, Atom property, Atom type, long* out)
{
    Atom actual;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, property, 0, 1, False, type, &actual, &format, &items, &after, &data) != Success)
        return false;
    bool ok = data && actual == type && format == 32 && items == 1;
    if (ok)
        *out = *(long*)data;
    if (data)
        XFree(data);
    return ok;
}

// The XdndAware window under the pointer: the first one on the way down from the root.
Window aware_under(Drag* g, int* version)
{
    Window w = g->root;
    for (int depth = 0; depth < 64; depth++) {
        long v;
        if (w != g->root && read_long(g->d, w, g->a.aware, XA_ATOM, &v)) {
            *version = (int)v;
            return w;
        }
        Window root, child;
        int rx, ry, wx, wy;
        unsigned int mask;
        if (!XQueryPointer(g->d, w, &root, &child, &rx, &ry, &wx, &wy, &mask) || child == None)
            return None;
        w = child;
    }
    return None;
}

void send(Drag* g, Atom type, long l1, long l2, long l3, long l4)
{
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.display = g->d;
    ev.xclient.window = g->target;
    ev.xclient.message_type = type;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)g->source;
    ev.xclient.data.l[1] = l1;
    ev.xclient.data.l[2] = l2;
    ev.xclient.data.l[3] = l3;
    ev.xclient.data.l[4] = l4;
    XSendEvent(g->d, g->target_queue, False, NoEventMask, &ev);
    XFlush(g->d);
}

void leave(Drag* g)
{
    if (g->target != None)
        send(g, g->a.leave, 0, 0, 0, 0);
    g->target = g->target_queue = None;
    g->status_seen = g->accepted = false;
}

void moved(Drag* g, int x, int y, Time time)
{
    int version = 0;
    Window w = aware_under(g, &version);
    if (w == g->own || version < 3)
        w = None;
    if (w != g->target) {
        leave(g);
        if (w == None)
            return;
        g->target = w;
        long proxy;
        g->target_queue = read_long(g->d, w, g->a.proxy, XA_WINDOW, &proxy) ? (Window)proxy : w;
        g->version = version < kVersion ? version : kVersion;
        send(g, g->a.enter, (long)g->version << 24, (long)g->a.uri_list, 0, 0);
    }
    send(g, g->a.position, 0, ((long)x << 16) | (y & 0xFFFF), (long)time, (long)g->a.copy);
}

void answer_request(Drag* g, const XSelectionRequestEvent* r)
{
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.display = g->d;
    reply.xselection.requestor = r->requestor;
    reply.xselection.selection = r->selection;
    reply.xselection.target = r->target;
    reply.xselection.time = r->time;
    reply.xselection.property = None;
    Atom property = r->property != None ? r->property : r->target;
    if (r->target == g->a.targets) {
        Atom list[2] = {g->a.targets, g->a.uri_list};
        XChangeProperty(g->d, r->requestor, property, XA_ATOM, 32, PropModeReplace, (unsigned char*)list, 2);
        reply.xselection.property = property;
    } else if (r->target == g->a.uri_list) {
        XChangeProperty(g->d, r->requestor, property, g->a.uri_list, 8, PropModeReplace,
                        (const unsigned char*)g->data, (int)std::strlen(g->data));
        reply.xselection.property = property;
    }
    XSendEvent(g->d, r->requestor, False, NoEventMask, &reply);
    XFlush(g->d);
}

// The next event within timeout_ms (negative: no limit); false when none came.
bool next_event(Display* d, XEvent* ev, int timeout_ms)
{
    while (!XPending(d)) {
        pollfd p{ConnectionNumber(d), POLLIN, 0};
        int r = poll(&p, 1, timeout_ms);
        if (r == 0)
            return false;
        if (r < 0)
            continue;
        if (!XPending(d))
            return timeout_ms < 0 ? next_event(d, ev, timeout_ms) : false;
    }
    XNextEvent(d, ev);
    return true;
}

// Events that need an answer whatever the drag is waiting for.
bool common(Drag* g, const XEvent& ev)
{
    if (ev.type == SelectionRequest) {
        answer_request(g, &ev.xselectionrequest);
        return true;
    }
    if (ev.type == ClientMessage && ev.xclient.message_type == g->a.status &&
        (Window)ev.xclient.data.l[0] == g->target) {
        g->status_seen = true;
        g->accepted = (ev.xclient.data.l[1] & 1) != 0;
        return true;
    }
    return false;
}

// After a drop: the target's XdndFinished (1 success, 0 refused) or -1 on no answer.
int wait_finished(Drag* g)
{
    XEvent ev;
    Uint32 end = SDL_GetTicks() + kFinishWaitMs;
    for (;;) {
        int left = (int)(end - SDL_GetTicks());
        if (left <= 0 || !next_event(g->d, &ev, left))
            return -1;
        if (common(g, ev))
            continue;
        if (ev.type == ClientMessage && ev.xclient.message_type == g->a.finished)
            return g->version < 5 || (ev.xclient.data.l[1] & 1) ? 1 : 0;
    }
}

int released(Drag* g, Time time)
{
    XEvent ev;
    Uint32 end = SDL_GetTicks() + kStatusWaitMs;
    while (g->target != None && !g->status_seen) {
        int left = (int)(end - SDL_GetTicks());
        if (left <= 0 || !next_event(g->d, &ev, left))
            break;
        common(g, ev);
    }
    if (g->target == None || !g->accepted) {
        leave(g);
        return 0;
    }
    send(g, g->a.drop, 0, (long)time, 0, 0);
    return wait_finished(g);
}

int run(Drag* g, KeyCode escape)
{
    XEvent ev;
    for (;;) {
        if (!next_event(g->d, &ev, -1))
            continue;
        if (common(g, ev))
            continue;
        switch (ev.type) {
        case MotionNotify:
            while (XCheckTypedEvent(g->d, MotionNotify, &ev)) {
            }
            moved(g, ev.xmotion.x_root, ev.xmotion.y_root, ev.xmotion.time);
            break;
        case ButtonRelease: return released(g, ev.xbutton.time);
        case KeyPress:
            if (ev.xkey.keycode == escape) {
                leave(g);
                return 0;
            }
            break;
        default: break;
        }
    }
}

// SDL still believes the press that began the drag is held: hand it the release.
void release_to_sdl(Display* d, Window w)
{
    Window root, child;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    XQueryPointer(d, w, &root, &child, &rx, &ry, &wx, &wy, &mask);
    XEvent ev{};
    ev.xbutton.type = ButtonRelease;
    ev.xbutton.display = d;
    ev.xbutton.window = w;
    ev.xbutton.root = root;
    ev.xbutton.subwindow = None;
    ev.xbutton.time = CurrentTime;
    ev.xbutton.x = wx;
    ev.xbutton.y = wy;
    ev.xbutton.x_root = rx;
    ev.xbutton.y_root = ry;
    ev.xbutton.state = Button1Mask;
    ev.xbutton.button = Button1;
    ev.xbutton.same_screen = True;
    XSendEvent(d, w, True, ButtonReleaseMask, &ev);
    XFlush(d);
}

} // namespace

int dragout_files(SDL_Window* window, const char* const* paths, int count)
{
    if (g_override)
        return g_override(window, paths, count);
    if (!paths || count < 1)
        return -1;
    size_t cap = 1;
    for (int i = 0; i < count; i++) {
        if (!paths[i] || !paths[i][0])
            return -1;
        cap += std::strlen(paths[i]) * 3 + 10;
    }
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display)
        return 0;   // no drag source here: the file stays where it was written
    char* data = (char*)std::malloc(cap);
    if (!data || !dragout_uri_list(paths, count, data, cap)) {
        std::free(data);
        return -1;
    }
    Display* sdl = info.info.x11.display;
    Window own = info.info.x11.window;
    XUngrabPointer(sdl, CurrentTime);
    XFlush(sdl);
    Display* d = XOpenDisplay(DisplayString(sdl));
    if (!d) {
        std::free(data);
        return -1;
    }
    Drag g{};
    g.d = d;
    g.root = DefaultRootWindow(d);
    g.own = own;
    g.a = atoms_of(d);
    g.data = data;
    XSetWindowAttributes attrs{};
    g.source = XCreateWindow(d, g.root, -10, -10, 1, 1, 0, CopyFromParent, InputOnly, CopyFromParent, 0, &attrs);
    XSetSelectionOwner(d, g.a.selection, g.source, CurrentTime);
    int result = -1;
    unsigned int mask = PointerMotionMask | ButtonReleaseMask | ButtonPressMask;
    if (XGrabPointer(d, g.root, False, mask, GrabModeAsync, GrabModeAsync, None, None, CurrentTime) == GrabSuccess) {
        if (XGrabKeyboard(d, g.root, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess) {
            result = run(&g, XKeysymToKeycode(d, XK_Escape));
            XUngrabKeyboard(d, CurrentTime);
        }
        XUngrabPointer(d, CurrentTime);
    }
    XDestroyWindow(d, g.source);
    XCloseDisplay(d);
    std::free(data);
    release_to_sdl(sdl, own);
    return result;
}
