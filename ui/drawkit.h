// drawkit.h - the main screen's immediate drawing layer: packed-colour quads in a
// 640 x 1080 reference frame scaled and letterboxed into the window, gradients,
// outlines, glow halos and the 5 x 7 pixel font (plain and with a gradient and glow).
// Threads: UI thread only (the thread that owns the renderer).
// Depends on: SDL2 renderer (SDL_RenderGeometry), ui/pixel_font.h.
//
// Every shape is one untextured quad sent to SDL_RenderGeometry; nothing is clipped, and only
// the 5 x 7 text and the outlines are snapped to device pixels. Between draw_batch_begin and
// draw_batch_end the quads are gathered and sent as one call per run of the same blend
// mode, in the order they were drawn, so what overlaps stays in order; a caller opens a
// batch only around drawing that goes through the kit alone (anything else drawn in
// between would land under the gathered quads). Outside a batch each shape is sent at
// once; the kit's own compound shapes (outlines, glows, text) batch themselves. Coordinates and sizes are
// reference units; a point (px, py) lands on device pixel
//     ((px + translate_x) * scale + offset_x, (py + translate_y) * scale + offset_y).
// Reference x = 0 is the left edge of the central 640-unit column; an open left side
// panel lies at negative x, a right one beyond 640.
#pragma once
#include <cstdint>

struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Vertex;
struct DrawBatch;

// Packed colour: bytes R, G, B, A from the lowest up, so the value reads 0xAABBGGRR.
// Alpha is straight, not premultiplied.
constexpr uint32_t draw_rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    return (r & 0xFFu) | (g & 0xFFu) << 8 | (b & 0xFFu) << 16 | (a & 0xFFu) << 24;
}
constexpr uint32_t draw_with_alpha(uint32_t colour, uint32_t a)
{
    return (colour & 0x00FFFFFFu) | (a & 0xFFu) << 24;
}

constexpr int32_t DRAW_BLEND_NORMAL = 1;   // SDL_BLENDMODE_BLEND: src * a + dst * (1 - a)
constexpr int32_t DRAW_BLEND_ADD = 2;      // SDL_BLENDMODE_ADD: dst + src * a
constexpr int32_t DRAW_REF_WIDTH = 640;    // the central column of the reference frame
constexpr int32_t DRAW_REF_HEIGHT = 1080;

struct DrawKit {
    SDL_Renderer* renderer;
    SDL_Texture* white;          // 1 x 1 opaque white, made with the kit: its readiness
    float scale;                 // device pixels per reference unit; 0 before the first layout
    float offset_x, offset_y;    // device pixels added after scaling
    float translate_x, translate_y;  // reference units added to every point before scaling
    int32_t window_w, window_h;  // the size given to the last layout
    float left_w, right_w;       // extra reference widths of the open side panels (shell writes)
    DrawBatch* batch;            // gathered quads (made by draw_init; null: every shape at once)
    int32_t batch_depth;         // open draw_batch_begin calls
};

// Sends triangles with no texture in the given blend mode, the renderer's own draw
// blend mode kept. Software GL shades an untextured triangle at about half the cost of
// one sampling a white texture, and the picture is the same. False when SDL refuses.
bool draw_solid_geometry(SDL_Renderer* r, int32_t blend, const SDL_Vertex* v, int32_t nv, const int* idx,
                         int32_t ni);

// Clears the kit, keeps the renderer and makes the white texture and the batch. False
// when the texture cannot be made (the kit is then unusable; draw_shutdown is still
// safe).
bool draw_init(DrawKit* kit, SDL_Renderer* renderer);
void draw_shutdown(DrawKit* kit);             // destroys the texture and the batch; null is fine
// Remakes the white texture after SDL_RENDER_DEVICE_RESET. False when it cannot be made.
bool draw_reset(DrawKit* kit);

// Scale and offsets from the window's device size and left_w / right_w:
// scale = min(width / (640 + left + right), height / 1080), the frame centred.
void draw_frame_layout(DrawKit* kit, int32_t width, int32_t height);
// A reference point in device pixels.
void draw_map_point(const DrawKit* kit, float px, float py, float* out_x, float* out_y);

// Gathers the shapes drawn until the matching draw_batch_end (batches nest; the
// outermost end sends them). Only kit drawing may come in between.
void draw_batch_begin(DrawKit* kit);
void draw_batch_end(DrawKit* kit);

// One quad, a colour per corner: c0 top-left, c1 top-right, c2 bottom-right, c3
// bottom-left; blend is DRAW_BLEND_NORMAL or DRAW_BLEND_ADD.
void draw_rect4(DrawKit* kit, float x, float y, float w, float h,
                uint32_t c0, uint32_t c1, uint32_t c2, uint32_t c3, int32_t blend);
void draw_fill(DrawKit* kit, float x, float y, float w, float h, uint32_t colour);
void draw_fill_additive(DrawKit* kit, float x, float y, float w, float h, uint32_t colour);
// One triangle in one colour, normal blending.
void draw_triangle(DrawKit* kit, float x1, float y1, float x2, float y2, float x3, float y3, uint32_t colour);
void draw_rect_vgrad(DrawKit* kit, float x, float y, float w, float h, uint32_t top, uint32_t bottom);
// Four edges one reference unit thick, inside the rectangle, on whole device pixels:
// the rectangle on the pixels a fill of it covers, each edge the unit rounded (at
// least one pixel, so no edge is lost when the window is scaled down).
void draw_rect_outline(DrawKit* kit, float x, float y, float w, float h, uint32_t colour);
// Three additive halos around the rectangle, reaching radius / 3, 2/3 and all of it,
// their alpha intensity * 0.22 by thirds (1, 2/3, 1/3). Nothing when intensity <= 0.01.
void draw_glow(DrawKit* kit, float x, float y, float w, float h, uint32_t colour,
               float radius, float intensity);

// 5 x 7 text, top-left corner at x, y; each font pixel is a square of side pixel and the
// pen advances 6 of them. Each glyph is placed on whole device pixels: every lit font
// pixel covers at least one (below one device pixel a font pixel, the text grows to
// one), mirrored strokes are equal, and at whole sizes the pixels are the plain scaled
// grid's. Runs of set rows, merged across columns, are one quad each.
void draw_text_5x7(DrawKit* kit, const char* text, float x, float y, float pixel,
                   uint32_t colour, uint8_t additive);
void draw_text(DrawKit* kit, const char* text, float x, float y, float pixel, uint32_t colour);
// Centred on draw_text_span.
void draw_text_centered(DrawKit* kit, const char* text, float centre_x, float y, float pixel,
                        uint32_t colour);
// len * 6 * pixel - pixel for a text of len bytes; 0 for an empty (or no) text.
float draw_text_width(const char* text, float pixel);
// The width the text takes on the kit's device pixels, in reference units: about
// draw_text_width, wider where a font pixel would be smaller than a device pixel (for
// text placed by its right edge or centre). draw_text_width without a layout.
float draw_text_span(const DrawKit* kit, const char* text, float pixel);
// Text in a vertical gradient (row 0 top, row 6 bottom; one quad per row run; on device
// pixels as draw_text_5x7) and, when glow > 0.02, an additive blurred copy (on the plain
// scaled grid: a halo, not strokes) and halos in glow_colour.
void draw_text_glow(DrawKit* kit, const char* text, float x, float y, float pixel,
                    uint32_t bottom, uint32_t top, float glow, uint32_t glow_colour);

// An alpha byte from a float: truncated, NaN and negatives 0, above 255 held at 255.
uint8_t draw_alpha_byte(float v);
