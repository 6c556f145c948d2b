// xdnd_drop WINDOW FILE - drops FILE on the X11 window WINDOW (a decimal id, as
// xdotool prints it) the way a file manager does: the XDND enter, position and drop
// messages, then the file's URI handed over when the target asks for the selection.
// Exit 0 once the target has said it finished, 1 when it did not within 5 s.
// The whole-program tests drop files on the program with it.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

static void send_client(Display* d, Window to, Atom type, long l0, long l1, long l2, long l3, long l4)
{
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.display = d;
    ev.xclient.window = to;
    ev.xclient.message_type = type;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = l0;
    ev.xclient.data.l[1] = l1;
    ev.xclient.data.l[2] = l2;
    ev.xclient.data.l[3] = l3;
    ev.xclient.data.l[4] = l4;
    XSendEvent(d, to, False, NoEventMask, &ev);
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: xdnd_drop WINDOW FILE\n");
        return 2;
    }
    Window target = (Window)strtoul(argv[1], nullptr, 0);
    std::string uri = std::string("file://") + argv[2] + "\r\n";
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        fprintf(stderr, "xdnd_drop: no display\n");
        return 1;
    }
    Window self = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    Atom selection = XInternAtom(d, "XdndSelection", False);
    Atom uri_list = XInternAtom(d, "text/uri-list", False);
    Atom enter = XInternAtom(d, "XdndEnter", False);
    Atom position = XInternAtom(d, "XdndPosition", False);
    Atom drop = XInternAtom(d, "XdndDrop", False);
    Atom finished = XInternAtom(d, "XdndFinished", False);
    Atom copy = XInternAtom(d, "XdndActionCopy", False);
    XSetSelectionOwner(d, selection, self, CurrentTime);

    // Version 5, three types or fewer in the message itself.
    send_client(d, target, enter, (long)self, 5L << 24, (long)uri_list, None, None);
    Window child;
    int rx = 0, ry = 0;
    XTranslateCoordinates(d, target, DefaultRootWindow(d), 20, 60, &rx, &ry, &child);
    send_client(d, target, position, (long)self, 0, ((long)rx << 16) | (ry & 0xFFFF), CurrentTime, (long)copy);
    send_client(d, target, drop, (long)self, 0, CurrentTime, 0, 0);
    XFlush(d);

    time_t end = time(nullptr) + 5;
    int status = 1;
    while (time(nullptr) < end && status != 0) {
        if (!XPending(d)) {
            struct timespec pause = {0, 10 * 1000 * 1000};
            nanosleep(&pause, nullptr);
            continue;
        }
        XEvent ev;
        XNextEvent(d, &ev);
        if (ev.type == SelectionRequest) {
            XSelectionRequestEvent* req = &ev.xselectionrequest;
            XEvent reply{};
            reply.xselection.type = SelectionNotify;
            reply.xselection.display = d;
            reply.xselection.requestor = req->requestor;
            reply.xselection.selection = req->selection;
            reply.xselection.target = req->target;
            reply.xselection.time = req->time;
            reply.xselection.property = None;
            if (req->target == uri_list) {
                XChangeProperty(d, req->requestor, req->property, uri_list, 8, PropModeReplace,
                                (const unsigned char*)uri.data(), (int)uri.size());
                reply.xselection.property = req->property;
            }
            XSendEvent(d, req->requestor, False, NoEventMask, &reply);
            XFlush(d);
        } else if (ev.type == ClientMessage && ev.xclient.message_type == finished) {
            status = 0;
        }
    }
    XDestroyWindow(d, self);
    XCloseDisplay(d);
    if (status != 0)
        fprintf(stderr, "xdnd_drop: the window did not take the drop\n");
    return status;
}
