// gallery_sheet.cpp - the drawing kit's sample sheet.
#include "tools/gallery_sheet.h"

#include "ui/canvas.h"
#include "ui/dither.h"
#include "ui/drawkit.h"
#include "ui/particles.h"
#include "ui/theme.h"

static const uint32_t BACKGROUND = draw_rgba(13, 17, 17, 255);
static const uint32_t PANEL = draw_rgba(23, 29, 29, 255);
static const uint32_t MUTED = draw_rgba(148, 148, 148, 255);
static const uint32_t LIGHT = draw_rgba(235, 235, 235, 255);
static const uint32_t MAGENTA = draw_rgba(255, 0, 128, 255);
static const uint32_t TEAL = draw_rgba(46, 199, 184, 255);
static const uint32_t LIGHT_TEAL = draw_rgba(107, 230, 224, 255);
static const uint32_t ORANGE = draw_rgba(242, 140, 56, 255);
static const uint32_t RED = draw_rgba(235, 66, 77, 255);
static const uint32_t YELLOW = draw_rgba(245, 214, 107, 255);

static void gallery_shapes(DrawKit* kit)
{
    const uint32_t swatch[5] = {MAGENTA, TEAL, ORANGE, RED, YELLOW};
    for (int i = 0; i < 5; ++i) {
        draw_fill(kit, 10 + i * 30, 30, 24, 24, swatch[i]);
        draw_rect_outline(kit, 8 + i * 30, 28, 28, 28, LIGHT);
    }
    // Half-transparent strip over the swatches: normal blending.
    draw_fill(kit, 10, 46, 144, 6, draw_rgba(235, 235, 235, 128));
    // Four corner colours, then two vertical gradients.
    draw_rect4(kit, 170, 28, 60, 40, MAGENTA, TEAL, YELLOW, ORANGE, DRAW_BLEND_NORMAL);
    draw_rect_vgrad(kit, 240, 28, 20, 40, LIGHT_TEAL, PANEL);
    draw_rect_vgrad(kit, 264, 28, 20, 40, draw_rgba(255, 0, 128, 255), draw_rgba(255, 0, 128, 0));
    // Additive red, green and blue squares overlapping.
    draw_fill_additive(kit, 300, 28, 30, 30, draw_rgba(255, 0, 0, 255));
    draw_fill_additive(kit, 315, 38, 30, 30, draw_rgba(0, 255, 0, 255));
    draw_fill_additive(kit, 330, 28, 30, 30, draw_rgba(0, 0, 255, 255));
    // Translation shifts a group of shapes.
    kit->translate_x = 380;
    kit->translate_y = 28;
    draw_fill(kit, 0, 0, 40, 40, PANEL);
    draw_rect_outline(kit, 0, 0, 40, 40, TEAL);
    draw_fill(kit, 15, 15, 10, 10, MAGENTA);
    kit->translate_x = 0;
    kit->translate_y = 0;
}

static void gallery_glow(DrawKit* kit)
{
    const float intensity[3] = {0.4f, 1.0f, 10.0f};
    for (int i = 0; i < 3; ++i) {
        float x = 30 + i * 90.0f;
        draw_fill(kit, x, 100, 40, 16, PANEL);
        draw_glow(kit, x, 100, 40, 16, i == 2 ? ORANGE : TEAL, 18, intensity[i]);
    }
}

static void gallery_text(DrawKit* kit)
{
    draw_text_glow(kit, "TESSEL", 300, 92, 4, MAGENTA, YELLOW, 0.8f, MAGENTA);
    draw_text(kit, " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_", 10, 150, 1, LIGHT);
    draw_text(kit, "`abcdefghijklmnopqrstuvwxyz{|}~ \x7f \xc3\xa9", 10, 160, 1, MUTED);
    draw_text(kit, "LOOP SET 4.0S", 10, 176, 2, MAGENTA);
    draw_text_5x7(kit, "ADDITIVE", 200, 176, 2, draw_rgba(46, 199, 184, 160), 1);
    draw_text_centered(kit, "CENTRED ON 400", 400, 196, 1, LIGHT_TEAL);
    draw_fill(kit, 400, 192, 1, 14, RED);
}

static void gallery_particles(DrawKit* kit)
{
    static ParticleRing ring;
    ring = ParticleRing{};
    particles_spawn(&ring, 60, 290, 0, -120, 90, 1.0f, 6, MAGENTA, 40);
    particles_spawn(&ring, 140, 290, 0, -120, 90, 1.0f, 6, TEAL, 40);
    for (int i = 0; i < 20; ++i)
        particles_update(&ring, 1 / 60.0f);
    particles_draw(kit, &ring);
}

static void gallery_palette(DrawKit* kit)
{
    const ThemePalette* p = theme_palette();
    for (int i = 0; i < THEME_COLOURS; ++i) {
        const float* c = p->colours[i];
        uint32_t packed = draw_rgba((uint32_t)(c[0] * 255 + 0.5f), (uint32_t)(c[1] * 255 + 0.5f),
                                    (uint32_t)(c[2] * 255 + 0.5f), 255);
        draw_fill(kit, 10 + i * 18, 220, 16, 16, packed);
    }
}

static void gallery_dither(DrawKit* kit)
{
    const int levels[3] = {3, 6, 9};
    for (int i = 0; i < 3; ++i) {
        float x0 = 250 + i * 76.0f, y0 = 220;
        draw_fill(kit, x0, y0, 64, 64, PANEL);
        for (int cell = 0; cell < DITHER_CELLS; ++cell)
            if (dither_rank(cell) < dither_level_count(levels[i]))
                draw_fill(kit, x0 + cell % DITHER_SIZE * 2, y0 + cell / DITHER_SIZE * 2, 2, 2, LIGHT_TEAL);
    }
}

// The canvas row: soft-edged shapes, a clipped nested level and a dissolved layer.
static void gallery_canvas(DrawKit* kit)
{
    Canvas* c = canvas_create(kit->renderer);
    if (!c)
        return;
    const float light[4] = {0.92f, 0.92f, 0.92f, 1};
    const float magenta[4] = {1, 0, 0.5f, 1};
    const float teal[4] = {0.18f, 0.78f, 0.72f, 1};
    const float yellow[4] = {0.96f, 0.84f, 0.42f, 1};
    const float panel[4] = {0.09f, 0.11f, 0.11f, 1};
    const float clear[4] = {0, 0, 0, 0};
    canvas_begin(c, 0, 330, 1);
    canvas_draw_pixel_text(c, "CANVAS", 10, 0, 2, light, 0);
    canvas_fill_triangle(c, 10, 80, 40, 24, 70, 80, magenta);
    canvas_fill_diamond(c, 100, 52, 20, 28, teal);
    const float tx[4] = {130, 160, 190, 220}, ty[4] = {40, 28, 44, 30};
    const float bx[4] = {130, 160, 190, 220}, by[4] = {70, 62, 80, 30};
    canvas_fill_ribbon(c, tx, ty, bx, by, 4, yellow);
    canvas_draw_line(c, 130, 84, 220, 74, 1.5f, light);
    // A nested level at scale 2 whose clip cuts the square.
    canvas_begin(c, 240, 354, 2);
    canvas_fill_rect(c, 0, 0, 30, 30, panel);
    CanvasRect clip{5, 5, 20, 20};
    canvas_set_clip(c, &clip);
    canvas_fill_rect_gradient(c, -10, -10, 50, 50, magenta, teal);
    canvas_set_clip(c, nullptr);
    canvas_stroke_rect(c, 0, 0, 30, 30, 0.5f, light);
    canvas_end(c);
    // A layer dissolved at level 6 and composited at full and half opacity.
    static CanvasTarget layer;
    if (canvas_target_ensure(c, &layer, 64, 64) == 0) {
        canvas_push_target(c, &layer, clear);
        canvas_fill_rect(c, 0, 0, 64, 64, teal);
        canvas_draw_pixel_text(c, "6/12", 32, 28, 1, light, 1);
        canvas_pop_target(c);
        canvas_dissolve_target(c, &layer, 6, 2);
        canvas_draw_target(c, &layer, 320, 24);
        canvas_set_alpha(c, 0.5f);
        canvas_draw_target(c, &layer, 400, 24);
        canvas_set_alpha(c, 1);
    }
    canvas_end(c);
    canvas_texture_free(&layer);
    canvas_destroy(c);
}

void gallery_draw(DrawKit* kit)
{
    kit->left_w = kit->right_w = 0;
    draw_frame_layout(kit, DRAW_REF_WIDTH, DRAW_REF_HEIGHT);
    draw_rect_vgrad(kit, 0, 0, GALLERY_WIDTH, GALLERY_HEIGHT, BACKGROUND, PANEL);
    draw_text(kit, "DRAWING KIT", 10, 10, 2, LIGHT);
    gallery_shapes(kit);
    gallery_glow(kit);
    gallery_text(kit);
    gallery_palette(kit);
    gallery_dither(kit);
    gallery_particles(kit);
    gallery_canvas(kit);
}
