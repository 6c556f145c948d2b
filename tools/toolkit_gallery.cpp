// toolkit_gallery.cpp - renders the drawing kit's sample sheet to a BMP under SDL's
// offscreen video driver (no display needed):
//     toolkit_gallery --out sheet.bmp
// Exits 0 when the picture was written, 1 with a message otherwise.
#include <cstdio>
#include <cstring>

#include "support/draw_fixture.h"
#include "tools/gallery_sheet.h"
#include "ui/drawkit.h"

int main(int argc, char** argv)
{
    const char* out = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--out") == 0 && i + 1 < argc)
            out = argv[++i];
    }
    if (!out) {
        fprintf(stderr, "usage: toolkit_gallery --out FILE.bmp\n");
        return 1;
    }
    DrawFixture fx;
    char err[256] = "";
    if (!draw_fixture_open(&fx, GALLERY_WIDTH, GALLERY_HEIGHT, err, sizeof err)) {
        fprintf(stderr, "toolkit_gallery: %s\n", err);
        return 1;
    }
    DrawKit kit;
    int rc = 1;
    if (!draw_init(&kit, fx.renderer)) {
        fprintf(stderr, "toolkit_gallery: draw init failed\n");
    } else {
        gallery_draw(&kit);
        if (!draw_fixture_read(&fx) || !draw_fixture_save_bmp(&fx, out))
            fprintf(stderr, "toolkit_gallery: cannot write %s\n", out);
        else
            rc = 0;
    }
    draw_shutdown(&kit);
    draw_fixture_close(&fx);
    return rc;
}
