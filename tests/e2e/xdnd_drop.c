/* xdnd_drop.c - drops files on an X window the way a file manager does (XDND version
 * 5): enter, position, drop, then the text/uri-list asked for through the selection.
 * Usage: xdnd_drop WINDOW_ID X Y FILE... (X, Y inside the window). Exit 0 when the
 * target finished the drop with success, 1 otherwise. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static Display* dpy;
static Atom a_aware, a_enter, a_position, a_status, a_drop, a_finished, a_selection, a_copy, a_uri;

static void send_msg(Window to, Window from, Atom type, long l1, long l2, long l3, long l4)
{
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = to;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)from;
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    e.xclient.data.l[3] = l3;
    e.xclient.data.l[4] = l4;
    XSendEvent(dpy, to, False, NoEventMask, &e);
    XFlush(dpy);
}

/* file://path with every byte outside the unreserved set percent-encoded. */
static void append_uri(char* out, size_t cap, const char* path)
{
    size_t n = strlen(out);
    n += (size_t)snprintf(out + n, cap - n, "file://");
    for (const unsigned char* p = (const unsigned char*)path; *p && n + 4 < cap; p++) {
        if ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9') || strchr("/-_.~", *p))
            out[n++] = (char)*p;
        else
            n += (size_t)snprintf(out + n, cap - n, "%%%02X", *p);
    }
    n += (size_t)snprintf(out + n, cap - n, "\r\n");
}

/* The next event for us, or 0 after about 10 s. */
static int next_event(XEvent* e)
{
    for (int i = 0; i < 1000; i++) {
        if (XPending(dpy)) {
            XNextEvent(dpy, e);
            return 1;
        }
        struct timespec ts = {0, 10000000};
        nanosleep(&ts, NULL);
    }
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 5 || !(dpy = XOpenDisplay(NULL)))
        return 1;
    Window target = (Window)strtoul(argv[1], NULL, 0);
    int x = atoi(argv[2]), y = atoi(argv[3]);
    static char list[65536];
    for (int i = 4; i < argc; i++)
        append_uri(list, sizeof list, argv[i]);
#define ATOM(v, s) v = XInternAtom(dpy, s, False)
    ATOM(a_aware, "XdndAware");
    ATOM(a_enter, "XdndEnter");
    ATOM(a_position, "XdndPosition");
    ATOM(a_status, "XdndStatus");
    ATOM(a_drop, "XdndDrop");
    ATOM(a_finished, "XdndFinished");
    ATOM(a_selection, "XdndSelection");
    ATOM(a_copy, "XdndActionCopy");
    ATOM(a_uri, "text/uri-list");
    Window src = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(dpy, a_selection, src, CurrentTime);

    int rx = 0, ry = 0;
    Window child;
    XTranslateCoordinates(dpy, target, DefaultRootWindow(dpy), x, y, &rx, &ry, &child);
    send_msg(target, src, a_enter, 5L << 24, (long)a_uri, 0, 0);
    send_msg(target, src, a_position, 0, ((long)rx << 16) | ry, CurrentTime, (long)a_copy);
    int accepted = 0, finished = 0;
    XEvent e;
    while (!finished && next_event(&e)) {
        if (e.type == ClientMessage && e.xclient.message_type == a_status) {
            accepted = (e.xclient.data.l[1] & 1) != 0;
            if (!accepted)
                break;
            send_msg(target, src, a_drop, 0, CurrentTime, 0, 0);
        } else if (e.type == SelectionRequest) {
            XSelectionRequestEvent* rq = &e.xselectionrequest;
            XEvent reply;
            memset(&reply, 0, sizeof reply);
            reply.xselection.type = SelectionNotify;
            reply.xselection.requestor = rq->requestor;
            reply.xselection.selection = rq->selection;
            reply.xselection.target = rq->target;
            reply.xselection.time = rq->time;
            reply.xselection.property = None;
            if (rq->target == a_uri) {
                Atom prop = rq->property != None ? rq->property : rq->target;
                XChangeProperty(dpy, rq->requestor, prop, a_uri, 8, PropModeReplace, (unsigned char*)list,
                                (int)strlen(list));
                reply.xselection.property = prop;
            }
            XSendEvent(dpy, rq->requestor, False, NoEventMask, &reply);
            XFlush(dpy);
        } else if (e.type == ClientMessage && e.xclient.message_type == a_finished) {
            finished = 1;
            accepted = (e.xclient.data.l[1] & 1) != 0;
        }
    }
    XCloseDisplay(dpy);
    if (!finished || !accepted) {
        fprintf(stderr, "xdnd_drop: the drop was not %s\n", accepted ? "finished" : "accepted");
        return 1;
    }
    return 0;
}
