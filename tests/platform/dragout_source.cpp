// dragout_source.cpp - a window that drags a file out when pressed, for the drag-out
// test: "result N" after each drag, "press X Y" for every later press.
// Usage: dragout_source FILE [--now] [--grabbed]
//   --now      drags at once, without a press (no display: SDL's dummy driver)
//   --grabbed  another connection holds the pointer first
#include <SDL.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>

#include "platform/plat_dragout.h"

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    bool now = false, grabbed = false;
    for (int i = 2; i < argc; i++) {
        now |= std::strcmp(argv[i], "--now") == 0;
        grabbed |= std::strcmp(argv[i], "--grabbed") == 0;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return 2;
    SDL_Window* w = SDL_CreateWindow("dragout source", 100, 100, 300, 300, 0);
    if (!w)
        return 2;
    const char* paths[1] = {argv[1]};
    Display* other = nullptr;
    if (grabbed) {
        other = XOpenDisplay(nullptr);
        if (!other || XGrabPointer(other, DefaultRootWindow(other), False, ButtonPressMask, GrabModeAsync,
                                   GrabModeAsync, None, None, CurrentTime) != GrabSuccess)
            return 2;
        XSync(other, False);
    }
    if (now) {
        std::printf("result %d\n", dragout_files(w, paths, 1));
        return 0;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    bool dragged = false;
    for (;;) {
        SDL_Event e;
        if (!SDL_WaitEvent(&e) || e.type == SDL_QUIT)
            break;
        if (e.type != SDL_MOUSEBUTTONDOWN)
            continue;
        if (!dragged || std::getenv("DRAG_AGAIN")) {
            dragged = true;
            std::printf("result %d\n", dragout_files(w, paths, 1));
        } else {
            std::printf("press %d %d\n", e.button.x, e.button.y);
        }
        std::fflush(stdout);
    }
    if (other)
        XCloseDisplay(other);
    SDL_Quit();
    return 0;
}
