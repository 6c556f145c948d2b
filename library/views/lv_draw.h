// lv_draw.h - small drawing helpers of the library's views: hit regions in the
// canvas's units, colour mixes, text cut to a width, and the frame and pointer of a
// panel of rows (folder tree, favourites).
// Threads: UI thread only.
// Depends on: SDL2, ui/canvas.h, ui/hitregion.h, ui/text.h.
#pragma once
#include <cstddef>
#include <cstdint>

union SDL_Event;
struct Canvas;
struct CanvasRect;
struct TextRenderer;

void lv_hit(Canvas* c, float x, float y, float w, float h, uint32_t cursor);
// Whether (x, y) lies in r (half-open); never in an empty rectangle.
bool lv_inside(const CanvasRect& r, float x, float y);
// out = a + (b - a) * t per channel (alpha too).
void lv_mix(const float* a, const float* b, float t, float out[4]);
void lv_alpha(const float* a, float alpha, float out[4]);
// Copies text cut from its end to fit max_w at the pixel font's size, the last kept
// character becoming "." (whole UTF-8 characters only).
void lv_fit_pixel(const Canvas* c, const char* text, float size, float max_w, char* out, size_t cap);
// Cuts text to at most max_bytes at a whole UTF-8 character (in place).
void lv_utf8_cut(char* text, size_t max_bytes);
// Keeps the first max_chars UTF-8 characters of text (in place); a character is a lead
// byte with the continuation bytes after it.
void lv_utf8_keep(char* text, size_t max_chars);
// A name as the user typed it, any UTF-8: with the text renderer (font chain 3 at
// size, y the top of its line box, ended by "…" past max_w); without one in the pixel
// font at size / 10, 2 units lower.
void lv_draw_name(Canvas* c, TextRenderer* tr, const char* text, float x, float y, float size, float max_w,
                  const float* ink);

// A row's label at x, its middle at cy, cut to width w: the text renderer's font when
// tr is given, else the pixel font.
void lv_draw_label(Canvas* c, TextRenderer* tr, const char* text, float x, float cy, float w, const float* ink);
// A panel of rows starts its frame: r filled, a plain hit region, drawing clipped to r.
// The clip before goes to *saved (true when there was one), for lv_panel_end.
bool lv_panel_begin(Canvas* c, const CanvasRect* r, const float* fill, CanvasRect* saved);
void lv_panel_end(Canvas* c, bool had, const CanvasRect* saved);
// The pointer over a panel: motion moves it and sets hovering to inside, leaving the
// window clears hovering. True when the event was one of those two.
bool lv_track_pointer(const SDL_Event* e, float x, float y, bool inside, float* pointer_x, float* pointer_y,
                      uint8_t* hovering);
