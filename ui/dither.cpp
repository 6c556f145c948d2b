// dither.cpp - building the dither tables and answering from them.
//
// The ranks come from double arithmetic and a sort, so one rounding difference can
// swap two cells: this file must be compiled without fast-math and without
// floating-point contraction (ui/CMakeLists.txt sets both; the check below refuses a
// fast-math build outright).
#include "ui/dither.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#if defined(__FAST_MATH__)
#error "dither.cpp needs IEEE double arithmetic: build it without -ffast-math / -Ofast"
#endif

struct DitherTables {
    int32_t rank[DITHER_CELLS];
    int32_t count[DITHER_STEPS + 1];
};

// Mulberry32: adds the golden-ratio-like constant and mixes; value in [0, 1).
static double dither_next(uint32_t* state)
{
    *state += 0x6D2B79F5u;
    uint32_t z = *state;
    z = (z ^ z >> 15) * (z | 1u);
    z = z ^ (z + (z ^ z >> 7) * (z | 61u));
    z = z ^ z >> 14;
    return z / 4294967296.0;
}

static double dither_smoothstep(double t)
{
    return (3 - 2 * t) * t * t;
}

// Value noise of an n x n lattice stretched over the 32 x 32 map (it tiles).
static double dither_noise(const double* lattice, int n, double x, double y)
{
    double fx = x / DITHER_SIZE * n;
    double fy = y / DITHER_SIZE * n;
    double ix = std::floor(fx);
    double iy = std::floor(fy);
    int x0 = (int)ix % n, x1 = ((int)ix + 1) % n;
    int y0 = (int)iy % n, y1 = ((int)iy + 1) % n;
    double sx = dither_smoothstep(fx - ix);
    double sy = dither_smoothstep(fy - iy);
    return (sx * lattice[y0 * n + x1] + (1 - sx) * lattice[y0 * n + x0]) * (1 - sy) +
           (sx * lattice[y1 * n + x1] + (1 - sx) * lattice[y1 * n + x0]) * sy;
}

static DitherTables dither_build(void)
{
    enum { COARSE = 6, FINE = 12 };
    uint32_t state = 24301;
    double coarse[COARSE * COARSE];
    double fine[FINE * FINE];
    for (double& v : coarse)
        v = dither_next(&state);
    for (double& v : fine)
        v = dither_next(&state);

    struct Cell {
        double v;
        int32_t index;
    };
    Cell cells[DITHER_CELLS];
    for (int r = 0; r < DITHER_SIZE; ++r) {
        for (int c = 0; c < DITHER_SIZE; ++c) {
            double u = dither_next(&state);
            double x = c + 0.5, y = r + 0.5;
            double v = (dither_noise(fine, FINE, x, y) * 0.5 + dither_noise(coarse, COARSE, x, y)) / 1.5;
            v = v * 0.55 + u * (1 - 0.55);
            cells[r * DITHER_SIZE + c] = Cell{v, r * DITHER_SIZE + c};
        }
    }
    std::sort(cells, cells + DITHER_CELLS, [](const Cell& a, const Cell& b) {
        return a.v < b.v || (a.v == b.v && a.index < b.index);
    });

    DitherTables t{};
    for (int i = 0; i < DITHER_CELLS; ++i)
        t.rank[cells[i].index] = i;
    t.count[0] = 0;
    for (int k = 1; k < DITHER_STEPS; ++k) {
        double s = (double)k / DITHER_STEPS;
        t.count[k] = std::max(1, (int32_t)std::floor(dither_smoothstep(s) * DITHER_CELLS + 0.5));
    }
    t.count[DITHER_STEPS] = DITHER_CELLS;
    return t;
}

static const DitherTables& dither_tables(void)
{
    static const DitherTables tables = dither_build();
    return tables;
}

int32_t dither_rank(int32_t cell)
{
    if ((uint32_t)cell >= DITHER_CELLS)
        return DITHER_CELLS;
    return dither_tables().rank[cell];
}

int32_t dither_level_count(int32_t level)
{
    if (level < 1)
        return 0;
    if (level >= DITHER_STEPS)
        return DITHER_CELLS;
    return dither_tables().count[level];
}

int32_t dither_step_at(double seconds)
{
    if (!(seconds >= 0))
        return 0;
    double step = std::floor(seconds / DITHER_STEP_SECONDS + 1e-9);
    return step >= DITHER_STEPS ? DITHER_STEPS : (int32_t)step;
}
