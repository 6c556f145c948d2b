// gallery_sheet.h - one sheet of the drawing kit's shapes, gradients, glow, text and
// particles, with the theme palette, three dither levels and a row of canvas shapes, for a person to look
// at and for the kit's whole-picture regression test.
// Threads: UI thread (the renderer's).
// Depends on: ui/drawkit.h, ui/particles.h, ui/theme.h, ui/dither.h, ui/canvas.h.
#pragma once

struct DrawKit;

constexpr int GALLERY_WIDTH = 480;    // device pixels; the sheet is drawn at scale 1
constexpr int GALLERY_HEIGHT = 430;

// Draws the sheet into the current render target; sets the kit's layout to scale 1.
void gallery_draw(DrawKit* kit);
