// keys_help_rects.cpp - prints where the keys help puts its caps in a window of a
// given size, so scripts click them without copying the layout:
//     keys_help_rects WIDTH HEIGHT key:LABEL... entry:SECTION:ENTRY:CAP...
// One line per request: "<request> <centre x> <centre y>" in window pixels (the panel
// at rest). Lays out with the program's fonts on an offscreen GL renderer.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/keys_help.h"
#include "app/panels/keys_help_view.h"
#include "support/draw_fixture.h"
#include "ui/canvas.h"
#include "ui/text.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: keys_help_rects WIDTH HEIGHT key:LABEL|entry:S:E:C...\n");
        return 2;
    }
    float w = (float)atof(argv[1]), h = (float)atof(argv[2]);
    SDL_setenv("SDL_VIDEODRIVER", "offscreen", 1);
    DrawFixture fx{};
    char err[200];
    if (!draw_fixture_open(&fx, 64, 64, err, sizeof err)) {
        fprintf(stderr, "keys_help_rects: %s\n", err);
        return 1;
    }
    Canvas* c = canvas_create(fx.renderer);
    TextRenderer* tr = c ? text_renderer_create_in(fx.renderer, TESSEL_FONT_FOLDER) : nullptr;
    static KeysHelp help;
    keys_help_init(&help, kKeysHelpSections, KEYS_HELP_SECTIONS, nullptr, nullptr);
    if (!tr || !keys_help_layout(&help, c, tr, w, h)) {
        fprintf(stderr, "keys_help_rects: no layout\n");
        return 1;
    }
    int status = 0;
    for (int i = 3; i < argc; i++) {
        CanvasRect r{};
        bool ok = false;
        int s = 0, e = 0, cap = 0;
        if (strncmp(argv[i], "key:", 4) == 0) {
            for (int k = 0; k < KEYBOARD_KEYS && !ok; k++)
                if (strcmp(kKeyboardKeys[k].label, argv[i] + 4) == 0)
                    ok = keys_help_key_rect(&help, k, &r);
        } else if (sscanf(argv[i], "entry:%d:%d:%d", &s, &e, &cap) == 3) {
            ok = keys_help_cap_rect(&help, s, e, cap, &r);
        }
        if (!ok) {
            fprintf(stderr, "keys_help_rects: nothing at %s\n", argv[i]);
            status = 1;
            continue;
        }
        printf("%s %d %d\n", argv[i], (int)(r.x + r.w / 2), (int)(r.y + r.h / 2));
    }
    text_renderer_destroy(tr);
    canvas_destroy(c);
    draw_fixture_close(&fx);
    return status;
}
