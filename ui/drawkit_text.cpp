// drawkit_text.cpp - the drawing kit's 5 x 7 text: plain (column runs merged across
// columns) and gradient text with a glow (row runs, each in its row's colour), both on
// whole device pixels.
#include <cmath>
#include <cstring>

#include "ui/drawkit.h"
#include "ui/pixel_font.h"

// A run of lit rows shared by neighbouring columns of one glyph: one rectangle.
struct DrawTextRun {
    int row, rows;         // first row and how many
    int column, columns;   // first column and how many
};

// The glyph's lit pixels as rectangles: the runs of each column, a run merged with the
// same run of the column before. Software GL pays for every rectangle it sets up, and
// letters such as E or M repeat their runs across columns; the rectangles never
// overlap, so the picture is the same as one rectangle per column run.
static int draw_glyph_runs(const uint8_t* glyph, DrawTextRun* out)
{
    DrawTextRun open[PIXEL_FONT_ROWS];
    int open_count = 0, out_count = 0;
    for (int c = 0; c <= PIXEL_FONT_COLUMNS; ++c) {
        uint8_t bits = c < PIXEL_FONT_COLUMNS ? glyph[c] : 0;
        DrawTextRun next[PIXEL_FONT_ROWS];
        int next_count = 0;
        int r = 0;
        while (r < PIXEL_FONT_ROWS) {
            if (!(bits >> r & 1)) {
                ++r;
                continue;
            }
            int n = 1;
            while (r + n < PIXEL_FONT_ROWS && (bits >> (r + n) & 1))
                ++n;
            DrawTextRun run{r, n, c, 1};
            for (int i = 0; i < open_count; ++i) {
                if (open[i].rows > 0 && open[i].row == r && open[i].rows == n) {
                    run = open[i];
                    run.columns++;
                    open[i].rows = 0;
                    break;
                }
            }
            next[next_count++] = run;
            r += n;
        }
        for (int i = 0; i < open_count; ++i)
            if (open[i].rows > 0)
                out[out_count++] = open[i];
        std::memcpy(open, next, sizeof(DrawTextRun) * (size_t)next_count);
        open_count = next_count;
    }
    return out_count;
}

// Where the font's pixels land: the text's top-left corner rounded to a device pixel,
// each font pixel a square of a whole number of device pixels (its scaled size
// rounded, at least one). A run placed at fractional positions covers no pixel centre
// when it is thinner than a pixel, and covers one or two when it is a little wider, so
// strokes vanish or differ; on this grid every lit font pixel shows and equal strokes
// are equal. At whole sizes the grid is the plain scaled one.
struct DrawTextGrid {
    float x, y;    // device pixels
    float pixel;   // device pixels per font pixel
};

static bool draw_text_grid(const DrawKit* kit, float x, float y, float pixel, DrawTextGrid* out)
{
    if (!(kit->scale > 0.0f))
        return false;
    float dx = 0.0f, dy = 0.0f;
    draw_map_point(kit, x, y, &dx, &dy);
    float p = std::floor(pixel * kit->scale + 0.5f);
    *out = DrawTextGrid{std::floor(dx + 0.5f), std::floor(dy + 0.5f), p >= 1.0f ? p : 1.0f};
    return std::isfinite(out->x) && std::isfinite(out->y);
}

// Font cells [c0, c1) x [r0, r1) of the glyph whose grid origin is gx, as one quad.
static void draw_text_cells(DrawKit* kit, const DrawTextGrid& g, float gx, int c0, int c1, int r0, int r1,
                            uint32_t colour, int32_t blend)
{
    float s = kit->scale;
    float x = (gx + c0 * g.pixel - kit->offset_x) / s - kit->translate_x;
    float y = (g.y + r0 * g.pixel - kit->offset_y) / s - kit->translate_y;
    draw_rect4(kit, x, y, (c1 - c0) * g.pixel / s, (r1 - r0) * g.pixel / s, colour, colour, colour, colour, blend);
}

void draw_text_5x7(DrawKit* kit, const char* text, float x, float y, float pixel,
                   uint32_t colour, uint8_t additive)
{
    DrawTextGrid g;
    if (!kit || !text || !draw_text_grid(kit, x, y, pixel, &g))
        return;
    int32_t blend = additive ? DRAW_BLEND_ADD : DRAW_BLEND_NORMAL;
    draw_batch_begin(kit);
    DrawTextRun runs[PIXEL_FONT_COLUMNS * PIXEL_FONT_ROWS];
    float gx = g.x;
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p) {
        int n = draw_glyph_runs(pixel_font_glyph(*p), runs);
        for (int i = 0; i < n; ++i) {
            const DrawTextRun& u = runs[i];
            draw_text_cells(kit, g, gx, u.column, u.column + u.columns, u.row, u.row + u.rows, colour, blend);
        }
        gx += PIXEL_FONT_ADVANCE * g.pixel;
    }
    draw_batch_end(kit);
}

void draw_text(DrawKit* kit, const char* text, float x, float y, float pixel, uint32_t colour)
{
    draw_text_5x7(kit, text, x, y, pixel, colour, 0);
}

void draw_text_centered(DrawKit* kit, const char* text, float centre_x, float y, float pixel,
                        uint32_t colour)
{
    // Centred on the width the grid gives it, not the scaled one.
    DrawTextGrid g;
    if (!kit || !text || !draw_text_grid(kit, centre_x, y, pixel, &g))
        return;
    draw_text(kit, text, centre_x - draw_text_width(text, g.pixel) / kit->scale / 2, y, pixel, colour);
}

float draw_text_width(const char* text, float pixel)
{
    size_t len = text ? strlen(text) : 0;
    if (len == 0)
        return 0;
    return (float)len * PIXEL_FONT_ADVANCE * pixel - pixel;
}

// One channel (byte shift) of the row colour: (bottom - top) * t + top, truncated.
static uint32_t draw_mix_channel(uint32_t bottom, uint32_t top, int shift, float t)
{
    float b = (float)(bottom >> shift & 0xFF);
    float a = (float)(top >> shift & 0xFF);
    return (uint32_t)((b - a) * t + a) << shift;
}

void draw_text_glow(DrawKit* kit, const char* text, float x, float y, float pixel,
                    uint32_t bottom, uint32_t top, float glow, uint32_t glow_colour)
{
    if (!kit || !text)
        return;
    uint32_t row_colour[PIXEL_FONT_ROWS];
    for (int r = 0; r < PIXEL_FONT_ROWS; ++r) {
        float t = (float)r / (PIXEL_FONT_ROWS - 1);
        row_colour[r] = draw_mix_channel(bottom, top, 0, t) | draw_mix_channel(bottom, top, 8, t) |
                        draw_mix_channel(bottom, top, 16, t) | draw_mix_channel(bottom, top, 24, t);
    }
    DrawTextGrid g;
    if (!draw_text_grid(kit, x, y, pixel, &g))
        return;
    float gx = g.x;
    draw_batch_begin(kit);
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p) {
        const uint8_t* glyph = pixel_font_glyph(*p);
        // Each row has its own colour: lit pixels side by side in a row are one fill.
        for (int r = 0; r < PIXEL_FONT_ROWS; ++r) {
            int at = 0, c = 0, n = 0;
            while ((n = pixel_font_row_run(glyph, r, &at, &c)) > 0)
                draw_text_cells(kit, g, gx, c, c + n, r, r + 1, row_colour[r], DRAW_BLEND_NORMAL);
        }
        gx += PIXEL_FONT_ADVANCE * g.pixel;
    }
    if (glow > 0.02f) {
        uint32_t soft = draw_with_alpha(glow_colour, draw_alpha_byte(glow * 110));
        draw_text_5x7(kit, text, x - pixel / 2, y - pixel / 2, pixel * 1.08f, soft, 1);
        draw_glow(kit, x, y, draw_text_width(text, pixel), PIXEL_FONT_ROWS * pixel, glow_colour, glow * 18, glow);
    }
    draw_batch_end(kit);
}
