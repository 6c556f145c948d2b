// library_seams.cpp - bodies for the take view's seams while it is missing: each does
// nothing and reports that nothing was done.
#include "library/library_seams.h"

#include "library/library.h"

void library_update_analysis(Library* lib) {}
void library_draw_take_view(Canvas* c, TextRenderer* tr, Library* lib, const CanvasRect* r, double now) {}

bool library_take_view_press(Library* lib, const SDL_Event* e, float x, float y)
{
    return false;
}

bool library_take_view_motion(Library* lib, const SDL_Event* e, float x, float y)
{
    return false;
}

bool library_take_view_release(Library* lib, const SDL_Event* e, float x, float y)
{
    return false;
}
