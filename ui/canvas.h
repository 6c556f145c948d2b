// canvas.h - the batched 2D drawing context every panel draws with: coloured
// triangles over a 1 x 1 white texture collected into one vertex and index buffer,
// nested levels with an origin, scale, opacity, additive switch and clip, offscreen
// layers (CanvasTarget) on a stack of four, and the noise-dither dissolve of a layer.
// Threads: UI thread only (the thread that owns the renderer); a canvas is never shared.
// Depends on: SDL2 renderer (SDL_RenderGeometry, render targets, custom blend modes),
//             ui/pixel_font.h, ui/dither.h.
//
// Colours are four floats R, G, B, A in 0..1, straight alpha, passed by pointer. A
// canvas point (x, y) lands on device pixel (x * scale + origin_x, y * scale + origin_y);
// the origin is in device pixels, the scale in device pixels per canvas unit.
// Axis-aligned shapes are snapped to whole pixels (a sub-pixel rectangle fades instead
// of vanishing); slanted ones get a soft edge one device pixel wide.
//
// The batch is cut (one SDL_RenderGeometry) on a blend change, a clip change, a texture
// draw, a target change, the end of a level or a full buffer. Drawing allocates nothing.
//
// Calling order: canvas_begin before any drawing of a frame or panel, canvas_end after
// it; target pushes and pops inside one level. The outermost canvas_end pops what is
// still pushed and gives the renderer back its target, scale, viewport, clip, draw blend
// mode and draw colour. Only levels 2..5 are saved: ending a sixth or deeper level
// leaves its state in force for the level below.
//
// Layers hold premultiplied colour (shapes blended onto a transparent clear) and are
// composited with a premultiplied-over blend; when the renderer refuses that blend they
// fall back to normal blending. Dissolves need the mask blend; without it they do nothing.
//
// After SDL_RENDER_TARGETS_RESET or SDL_RENDER_DEVICE_RESET call canvas_reset: every
// CanvasTarget is then remade at its next canvas_target_ensure.
#pragma once
#include <SDL.h>

#include <cstdint>

constexpr int32_t CANVAS_MAX_VERTICES = 8192;
constexpr int32_t CANVAS_MAX_INDICES = 24576;
constexpr int32_t CANVAS_SAVED_LEVELS = 4;      // levels 2..5 are saved and restored
constexpr int32_t CANVAS_TARGET_DEPTH = 4;      // pushed layers at most
constexpr int32_t CANVAS_REGISTRY = 32;         // layer textures known to be valid
constexpr int32_t CANVAS_MASKS = 12;            // dissolve masks by fade level (1..11 used)
constexpr int32_t CANVAS_TARGET_MAX_SIZE = 16384;
constexpr int32_t CANVAS_KEPT_LAYERS = 2;        // layers the canvas keeps for its users
constexpr int32_t CANVAS_IMAGE_MAX = 256;        // a side of an image drawn scaled

struct CanvasRect {
    float x, y, w, h;
};

// One level's drawing state.
struct CanvasLevel {
    float origin_x, origin_y;   // device pixels
    float scale;                // device pixels per canvas unit, > 0
    float opacity;              // 0..1, multiplies every alpha
    uint8_t additive;           // shapes blend with SDL_BLENDMODE_ADD
    uint8_t clip_on;
    CanvasRect clip;            // canvas units of this level
};

// An offscreen layer, owned by its user; zero-initialise it.
struct CanvasTarget {
    SDL_Texture* texture;
    int32_t width, height;      // device pixels
};

struct CanvasRegistryEntry {
    SDL_Texture* texture;
    int32_t generation;
};

struct CanvasTargetEntry {
    SDL_Texture* previous;      // the render target before the push
    float origin_x, origin_y;
    uint8_t clip_on;
    CanvasRect clip;
};

struct Canvas {
    SDL_Renderer* renderer;
    SDL_Texture* white;                      // 1 x 1 opaque white, static
    SDL_Texture* masks[CANVAS_MASKS];        // dissolve masks, made on first use
    SDL_BlendMode premultiplied_blend;       // ONE, ONE_MINUS_SRC_ALPHA
    SDL_BlendMode mask_blend;                // destination times source alpha
    uint8_t premultiplied_ok, mask_ok;       // the renderer accepted each custom blend
    int32_t generation;                      // +1 at every renderer reset
    CanvasRegistryEntry registry[CANVAS_REGISTRY];
    int32_t registry_ring;
    int32_t depth;                           // begin levels
    CanvasLevel level;                       // the current level
    CanvasLevel saved[CANVAS_SAVED_LEVELS];  // levels 2..5
    // Renderer state taken by the outermost canvas_begin.
    SDL_Texture* saved_target;
    SDL_Rect saved_viewport;
    float saved_scale_x, saved_scale_y;
    uint8_t saved_clip_enabled;
    SDL_Rect saved_clip;
    SDL_BlendMode saved_blend;
    uint8_t saved_colour[4];
    CanvasTargetEntry targets[CANVAS_TARGET_DEPTH];
    int32_t target_depth;
    int32_t targets_refused;                 // pushes refused and not yet popped
    CanvasTarget kept[CANVAS_KEPT_LAYERS];   // kept between frames, freed with the canvas
    SDL_Texture* image;                      // streaming texture of canvas_draw_image
    int32_t image_w, image_h;
    uint8_t batch_additive;
    int32_t vertex_count, index_count;
    SDL_Vertex vertices[CANVAS_MAX_VERTICES];
    int indices[CANVAS_MAX_INDICES];
};

// ---- Lifecycle and state ----------------------------------------------------------
// A new canvas on the renderer, or null (no renderer, no memory, no white texture).
Canvas* canvas_create(SDL_Renderer* renderer);
void canvas_destroy(Canvas* c);              // null is fine
// After a render-target or device reset: drops the batch, remakes the white texture and
// the masks, probes the blends again and invalidates every layer texture.
void canvas_reset(Canvas* c);
void canvas_begin(Canvas* c, float origin_x, float origin_y, float scale);
void canvas_end(Canvas* c);
void canvas_set_origin(Canvas* c, float x, float y);      // device pixels
float canvas_get_scale(const Canvas* c);                  // 1 without a canvas
void canvas_set_alpha(Canvas* c, float a);                // clamped to 0..1; NaN gives 1
void canvas_set_additive(Canvas* c, bool on);
// Sets (copies) or, with null, clears the clip in canvas units. A clip with a NaN or
// infinite side clips everything away.
void canvas_set_clip(Canvas* c, const CanvasRect* clip);
bool canvas_get_clip(const Canvas* c, CanvasRect* out);   // true when a clip is set
// v moved to the nearest whole device pixel, in canvas units.
float canvas_snap(const Canvas* c, float v);
void canvas_flush(Canvas* c);                             // submits the batch
// A colour as a packed vertex colour: channels clamped, alpha = opacity x alpha x
// factor (a NaN product counts as 0).
SDL_Color canvas_pack_color(const Canvas* c, const float* rgba, float factor);

// ---- Shapes (canvas units unless said; nothing without a canvas) -------------------
void canvas_fill_rect(Canvas* c, float x, float y, float w, float h, const float* colour);
void canvas_fill_rect_gradient(Canvas* c, float x, float y, float w, float h, const float* top,
                               const float* bottom);
// Corners top-left, top-right, bottom-right, bottom-left.
void canvas_fill_rect4(Canvas* c, float x, float y, float w, float h, const float* c0, const float* c1,
                       const float* c2, const float* c3);
void canvas_stroke_rect(Canvas* c, float x, float y, float w, float h, float thickness, const float* colour);
void canvas_draw_line(Canvas* c, float x0, float y0, float x1, float y1, float thickness, const float* colour);
void canvas_fill_triangle(Canvas* c, float x0, float y0, float x1, float y1, float x2, float y2,
                          const float* colour);
// Points top, right, bottom, left; both halves must be > 0.
void canvas_fill_diamond(Canvas* c, float cx, float cy, float half_w, float half_h, const float* colour);
// One colour per point, no snapping, no soft edge.
void canvas_fill_quad(Canvas* c, const float xs[4], const float ys[4], const float* const colours[4]);
// A convex polygon of 3..8 points in device pixels with a soft edge.
void canvas_fill_convex(Canvas* c, const float* xs, const float* ys, int32_t count, const float* colour);
// The band between two polylines of 2..16 points each.
void canvas_fill_ribbon(Canvas* c, const float* top_xs, const float* top_ys, const float* bottom_xs,
                        const float* bottom_ys, int32_t count, const float* colour);
// The 5 x 7 font in whole device pixels; align 0 left, 1 centre, 2 right of x.
void canvas_draw_pixel_text(Canvas* c, const char* text, float x, float y, float size, const float* colour,
                            int32_t align);
float canvas_pixel_text_width(const Canvas* c, const char* text, float size);
// A texture copied 1:1 (w x h device pixels) at a snapped position plus an integer
// device offset, tinted by colour.
void canvas_draw_texture(Canvas* c, SDL_Texture* texture, float x, float y, int32_t dx, int32_t dy, int32_t w,
                         int32_t h, const float* colour);
// A small image of straight-alpha pixels (bytes R, G, B, A; w, h up to
// CANVAS_IMAGE_MAX) stretched over the rectangle with linear filtering, in the level's
// blend mode and opacity; no clip. Pixel centres land at the rectangle's cell
// centres. False when it could not be drawn (no texture).
bool canvas_draw_image(Canvas* c, const uint32_t* pixels, int32_t w, int32_t h, const CanvasRect* dst);
// The batch primitive: device pixels, packed colours; refused unless x1 > x0, y1 > y0.
void canvas_push_quad(Canvas* c, float x0, float y0, float x1, float y1, SDL_Color c0, SDL_Color c1,
                      SDL_Color c2, SDL_Color c3);

// ---- Offscreen layers ------------------------------------------------------------
// Makes or keeps the target's texture at w x h device pixels (sizes below 1 become 1).
// 0, or -1 without a canvas or target, above 16384 a side (the target untouched) or
// when SDL cannot make it (the target's size becomes 0).
int32_t canvas_target_ensure(Canvas* c, CanvasTarget* t, int32_t w, int32_t h);
// Draws into the layer from here on, cleared to the colour, origin (0, 0), no clip.
// Refused without a texture, with four layers pushed, or when SDL refuses the target;
// a refused push also refuses the pushes inside it, and its matching pop does nothing.
void canvas_push_target(Canvas* c, CanvasTarget* t, const float* clear_colour);
void canvas_pop_target(Canvas* c);
void canvas_draw_target(Canvas* c, const CanvasTarget* t, float x, float y);   // at the canvas opacity
// The layer's pixels replace what is under them (no blending, no opacity): cheaper than
// a blended copy for an opaque layer, where the picture is the same.
void canvas_put_target(Canvas* c, const CanvasTarget* t, float x, float y);
// Keeps the layer only where the mask of fade level 1..11 is opaque (cell = the mask
// pixel in canvas units); level < 1 clears it; level > 11 leaves it as it is.
void canvas_dissolve_target(Canvas* c, CanvasTarget* t, int32_t level, float cell);
void canvas_texture_free(CanvasTarget* t);   // destroys the texture; null is fine
// A layer the canvas keeps for its users between frames (slot 0..CANVAS_KEPT_LAYERS - 1),
// made or kept at w x h; fresh is set when its contents were lost (new size, new
// texture, a renderer reset) and must be drawn again. Null when it cannot be made.
CanvasTarget* canvas_kept_layer(Canvas* c, int32_t slot, int32_t w, int32_t h, bool* fresh);
