// library_seams.cpp - bodies for the seams of library_seams.h while the parts they
// stand for are missing: each does nothing and reports that nothing was done.
#include "library/library_seams.h"

#include "library/library.h"

void library_view_frame(Library* lib, float dt) {}
void library_visual_clear(Library* lib) {}
void library_visual_step(Library* lib, double position, const float* summary, double t) {}
void library_update_analysis(Library* lib) {}

bool library_browse_create(Library* lib, const char* root)
{
    return false;
}

void library_browse_destroy(Library* lib)
{
    if (lib) {
        lib->tree = nullptr;
        lib->favourites = nullptr;
    }
}

bool library_shell_open(const char* path)
{
    return false;
}
