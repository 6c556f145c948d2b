// drawkit_text.cpp - the drawing kit's 5 x 7 text: plain (column runs merged across
// columns) and gradient text with a glow (row runs, each in its row's colour), both on
// whole device pixels.
#include <cmath>
#include <cstring>

#include "ui/drawkit.h"
#include "ui/drawkit_internal.h"
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

// Where the font's pixels land. A run placed at fractional positions covers no pixel
// centre when it is thinner than a pixel, so strokes vanish at small scales, and the
// same glyph comes out differently from one place to the next. Snapped, each glyph
// starts on the device pixel whose centre the rasteriser would fill first (the first
// at or past its pen), and its column and row edges are whole device pixels: the
// glyph's scaled width and height rounded (at least one pixel a font pixel), shared out
// evenly and symmetrically, so every lit font pixel covers a device pixel, mirrored
// strokes are equal and a glyph looks the same wherever it stands. The pen keeps its
// scaled advance (at least one blank pixel between glyphs). At whole sizes this is the
// plain scaled grid, pixel for pixel. Not snapped (the soft copy under glowing text):
// the plain scaled grid.
struct DrawTextGrid {
    float x, y;                            // device pixels: the first pen, the top
    float advance;                         // device pixels from one pen to the next
    float column[PIXEL_FONT_COLUMNS + 1];  // a glyph's edges from its start
    float row[PIXEL_FONT_ROWS + 1];
    bool snap;
};

// n + 1 whole edges over n font pixels of scaled size p: the total rounded (at least
// n), each half's edges rounded from the outside in, the middle taking what is left.
static void draw_text_edges(float p, int n, float* edge)
{
    float total = std::fmax((float)n, std::floor((float)n * p + 0.5f));
    for (int i = 0; 2 * i <= n; ++i) {
        edge[i] = std::floor((float)i * total / (float)n + 0.5f);
        edge[n - i] = total - edge[i];
    }
}

static bool draw_text_grid(const DrawKit* kit, float x, float y, float pixel, bool snap, DrawTextGrid* out)
{
    if (!(kit->scale > 0.0f))
        return false;
    DrawTextGrid& g = *out;
    draw_map_point(kit, x, y, &g.x, &g.y);
    float p = pixel * kit->scale;
    if (!std::isfinite(g.x) || !std::isfinite(g.y) || !std::isfinite(p))
        return false;
    g.snap = snap;
    if (snap) {
        g.y = draw_pixel_edge(g.y);
        draw_text_edges(p, PIXEL_FONT_COLUMNS, g.column);
        draw_text_edges(p, PIXEL_FONT_ROWS, g.row);
        g.advance = std::fmax(PIXEL_FONT_ADVANCE * p, g.column[PIXEL_FONT_COLUMNS] + 1.0f);
    } else {
        for (int i = 0; i <= PIXEL_FONT_COLUMNS; ++i)
            g.column[i] = (float)i * p;
        for (int i = 0; i <= PIXEL_FONT_ROWS; ++i)
            g.row[i] = (float)i * p;
        g.advance = PIXEL_FONT_ADVANCE * p;
    }
    return true;
}

// The start of the glyph whose pen is at pen.
static float draw_text_glyph_x(const DrawTextGrid& g, float pen)
{
    return g.snap ? draw_pixel_edge(pen) : pen;
}

// Font cells [c0, c1) x [r0, r1) of the glyph starting at gx, as one quad on the
// grid's device pixels.
static void draw_text_cells(DrawKit* kit, const DrawTextGrid& g, float gx, int c0, int c1, int r0, int r1,
                            uint32_t colour, int32_t blend)
{
    draw_device_quad(kit, gx + g.column[c0], g.y + g.row[r0], gx + g.column[c1], g.y + g.row[r1], colour, blend);
}

static void draw_text_runs(DrawKit* kit, const char* text, float x, float y, float pixel, uint32_t colour,
                           int32_t blend, bool snap)
{
    DrawTextGrid g;
    if (!kit || !text || !draw_text_grid(kit, x, y, pixel, snap, &g))
        return;
    draw_batch_begin(kit);
    DrawTextRun runs[PIXEL_FONT_COLUMNS * PIXEL_FONT_ROWS];
    float pen = g.x;
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p, pen += g.advance) {
        int n = draw_glyph_runs(pixel_font_glyph(*p), runs);
        float gx = draw_text_glyph_x(g, pen);
        for (int i = 0; i < n; ++i) {
            const DrawTextRun& u = runs[i];
            draw_text_cells(kit, g, gx, u.column, u.column + u.columns, u.row, u.row + u.rows, colour, blend);
        }
    }
    draw_batch_end(kit);
}

void draw_text_5x7(DrawKit* kit, const char* text, float x, float y, float pixel,
                   uint32_t colour, uint8_t additive)
{
    draw_text_runs(kit, text, x, y, pixel, colour, additive ? DRAW_BLEND_ADD : DRAW_BLEND_NORMAL, true);
}

void draw_text(DrawKit* kit, const char* text, float x, float y, float pixel, uint32_t colour)
{
    draw_text_5x7(kit, text, x, y, pixel, colour, 0);
}

void draw_text_centered(DrawKit* kit, const char* text, float centre_x, float y, float pixel,
                        uint32_t colour)
{
    draw_text(kit, text, centre_x - draw_text_span(kit, text, pixel) / 2, y, pixel, colour);
}

float draw_text_span(const DrawKit* kit, const char* text, float pixel)
{
    DrawTextGrid g;
    size_t len = text ? strlen(text) : 0;
    if (!kit || len == 0 || !draw_text_grid(kit, 0.0f, 0.0f, pixel, true, &g))
        return draw_text_width(text, pixel);
    return ((float)(len - 1) * g.advance + g.column[PIXEL_FONT_COLUMNS]) / kit->scale;
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
    if (!draw_text_grid(kit, x, y, pixel, true, &g))
        return;
    draw_batch_begin(kit);
    float pen = g.x;
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p, pen += g.advance) {
        const uint8_t* glyph = pixel_font_glyph(*p);
        float gx = draw_text_glyph_x(g, pen);
        // Each row has its own colour: lit pixels side by side in a row are one fill.
        for (int r = 0; r < PIXEL_FONT_ROWS; ++r) {
            int at = 0, c = 0, n = 0;
            while ((n = pixel_font_row_run(glyph, r, &at, &c)) > 0)
                draw_text_cells(kit, g, gx, c, c + n, r, r + 1, row_colour[r], DRAW_BLEND_NORMAL);
        }
    }
    if (glow > 0.02f) {
        uint32_t soft = draw_with_alpha(glow_colour, draw_alpha_byte(glow * 110));
        draw_text_runs(kit, text, x - pixel / 2, y - pixel / 2, pixel * 1.08f, soft, DRAW_BLEND_ADD, false);
        draw_glow(kit, x, y, draw_text_width(text, pixel), PIXEL_FONT_ROWS * pixel, glow_colour, glow * 18, glow);
    }
    draw_batch_end(kit);
}
