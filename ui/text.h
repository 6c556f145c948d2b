// text.h - the text renderer: UTF-8 text measured and drawn at any size in four font
// chains through the canvas, whole lines rasterised once into white textures with
// alpha and kept in a cache of 256 lines keyed by chain, pixel size, weight and text.
// Threads: UI thread only (the thread that owns the canvas's renderer).
// Depends on: ui/canvas.h, platform/plat_font.h (FreeType faces, fontconfig lookups),
//             platform/plat_folders.h, SDL2 textures.
//
// Chains (the font argument; anything but 0..3 means 0):
//   0  the system sans face, then fallback faces
//   1  the system monospace face, then chain 0's faces
//   2  "Micro5-Regular.ttf", then chain 1
//   3  "Finlandica.ttf", then chain 1
// Each character is drawn in the first face of its chain that has it; a character no
// face has is looked up once through fontconfig (at most 8 fallback faces are added),
// else drawn as U+25C7 or, failing that, a synthetic outline diamond. The two display
// fonts are looked for in "fonts/" beside the program, then beside it; a missing one
// is left out of its chain.
//
// Sizes: px = trunc(size x canvas scale + 0.5) clamped to 1..400; weight below 100
// is 400, above 900 is 900. Outputs are in canvas units (pixels / scale). A change of
// canvas scale empties the cache at the next call. Invalid UTF-8 reads as U+FFFD, one
// byte at a time. Failures draw nothing and return 0; nothing is reported.
#pragma once
#include <cstdint>

struct Canvas;
struct SDL_Renderer;
struct TextRenderer;

constexpr int32_t TEXT_MAX_LINES = 256;
constexpr int32_t TEXT_MAX_PX = 400;
constexpr int32_t TEXT_TRIM_AGE = 120;   // frames a line may go undrawn before it is dropped

// A renderer on the program's own folder, or null (no renderer, no memory, no FreeType).
TextRenderer* text_renderer_create(SDL_Renderer* renderer);
// The same with the display fonts looked for under folder (tests and tools).
TextRenderer* text_renderer_create_in(SDL_Renderer* renderer, const char* folder);
void text_renderer_destroy(TextRenderer* tr);          // null is fine
void text_renderer_clear(TextRenderer* tr);            // after a renderer reset
void text_renderer_trim(TextRenderer* tr);             // once per frame
int32_t text_renderer_line_count(const TextRenderer* tr);
// Whether chain 2 or 3 got its display font.
bool text_renderer_has_display_font(const TextRenderer* tr, int32_t font);

// Draws with y at the top of the line box; align 0 left, 1 centre, 2 right of x.
// Returns the width.
float text_draw(TextRenderer* tr, Canvas* c, int32_t font, const char* text, float x, float y, float size,
                int32_t weight, const float* colour, int32_t align);
// Width and height (ascent + descent); both 0 first. c may be null (scale 1).
void text_measure(TextRenderer* tr, Canvas* c, int32_t font, const char* text, float size, int32_t weight,
                  float* out_w, float* out_h);
// The text, or as much as fits before a trailing "…" within max_w. Returns the width drawn.
float text_draw_fit(TextRenderer* tr, Canvas* c, int32_t font, const char* text, float x, float y, float max_w,
                    float size, int32_t weight, const float* colour);
// The ink box relative to where text_draw puts the line (x at the pen start, y at the
// top of the line box); false when the line has no ink. Outputs may be null.
bool text_ink_bounds(TextRenderer* tr, Canvas* c, int32_t font, const char* text, float size, int32_t weight,
                     float* x0, float* y0, float* x1, float* y1);
// True when text has a code point other than U+FE0E / U+FE0F and chain 0 has a glyph
// for every such code point.
bool text_font_covers(TextRenderer* tr, const char* text);
