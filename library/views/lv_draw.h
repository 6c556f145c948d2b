// lv_draw.h - small drawing helpers of the library's views: hit regions in the
// canvas's units, colour mixes and text cut to a width.
// Threads: UI thread only.
// Depends on: ui/canvas.h, ui/hitregion.h, ui/text.h.
#pragma once
#include <cstddef>
#include <cstdint>

struct Canvas;
struct TextRenderer;

void lv_hit(Canvas* c, float x, float y, float w, float h, uint32_t cursor);
// out = a + (b - a) * t per channel (alpha too).
void lv_mix(const float* a, const float* b, float t, float out[4]);
void lv_alpha(const float* a, float alpha, float out[4]);
// Copies text cut from its end to fit max_w at the pixel font's size, the last kept
// character becoming "." (whole UTF-8 characters only).
void lv_fit_pixel(const Canvas* c, const char* text, float size, float max_w, char* out, size_t cap);
// Cuts text to at most max_bytes at a whole UTF-8 character (in place).
void lv_utf8_cut(char* text, size_t max_bytes);
// A name as the user typed it, any UTF-8: with the text renderer (font chain 3 at
// size, y the top of its line box, ended by "…" past max_w); without one in the pixel
// font at size / 10, 2 units lower.
void lv_draw_name(Canvas* c, TextRenderer* tr, const char* text, float x, float y, float size, float max_w,
                  const float* ink);
