// backdrop_variant.cpp - scene B: two large bodies, six crossing ships, 16 lanes of
// drifting rocks, and comets that bend round the rocks, strike them out and shatter
// them into shards with a flash.
#include <cmath>

#include "ui/backdrop_internal.h"

static const float kTwoPi = 6.2831853f;
static const float kStep = 1.0f / 60.0f;   // trail sampling period

// One lane's rock in this frame, unshifted (the parallax is added when drawing).
struct LaneRock {
    float x, y, radius, rotation, shade;
    int32_t sides;
    uint32_t key;
};

static float frac(float v)
{
    return v - std::floor(v);
}

static float range(uint32_t key, uint32_t n, float lo, float hi)
{
    return lo + backdrop_draw_of(key, n) * (hi - lo);
}

static void rock_colours(float r, float dark[4], float light[4])
{
    const float d[4] = {0.1f - 0.01f * r, 0.11f - 0.04f * r, 0.14f - 0.08f * r, 1.0f};
    const float l[4] = {0.34f + 0.16f * r, 0.38f + 0.02f * r, 0.46f - 0.13f * r, 1.0f};
    for (int k = 0; k < 4; k++) {
        dark[k] = d[k];
        light[k] = l[k];
    }
}

// Lane i's rock at drawing clock t; a new crossing clears the struck-out flag.
static LaneRock lane_rock(int32_t i, float w, float h, float s, float t)
{
    BackdropState* g = backdrop_state();
    float r = backdrop_unit(0x51A7E5u + 977u * (uint32_t)i);
    float period = 110.0f - 60.0f * r + 5.0f * (float)(i % 3);
    float p = t / period + 0.23f * (float)i;
    int64_t generation = (int64_t)std::floor(p);
    if (generation != g->generation[i]) {
        g->generation[i] = generation;
        g->hidden[i] = 0;
    }
    LaneRock rock{};
    rock.key = (uint32_t)generation * 15485863u + 900u + 6151u * (uint32_t)i;
    rock.shade = r;
    rock.radius = (0.7f + 0.55f * backdrop_draw_of(rock.key, 40)) * (1.2f + 7.5f * r * r) * s;
    float margin = rock.radius + 4.0f;
    rock.x = -margin + frac(p) * (w + 2.0f * margin);
    rock.y = range(rock.key, 41, 0.04f, 0.96f) * h;
    rock.rotation = kTwoPi * backdrop_draw_of(rock.key, 42);
    rock.sides = 5 + (int32_t)(backdrop_hash32(rock.key + 44u) % 4u);
    return rock;
}

// ---------------------------------------------------------------------------
// Comets, shards, flashes
// ---------------------------------------------------------------------------

static void strike(BackdropState* g, int32_t lane, const LaneRock& rock, const BackdropComet& comet, float s)
{
    g->hidden[lane] = 1;
    g->strikes++;
    for (BackdropFlash& f : g->flashes) {
        if (!f.live) {
            f = BackdropFlash{1, rock.x, rock.y, 0.0f};
            break;
        }
    }
    int32_t thrown = 0;
    for (BackdropShard& sh : g->shards) {
        if (thrown == 7)
            break;
        if (sh.live)
            continue;
        float dir = kTwoPi * backdrop_next_draw(1);
        float speed = (14.0f + 50.0f * backdrop_next_draw(2)) * s;
        sh.live = 1;
        sh.x = rock.x;
        sh.y = rock.y;
        sh.vx = std::cos(dir) * speed + 0.16f * comet.vx;
        sh.vy = std::sin(dir) * speed + 0.16f * comet.vy;
        float size = (0.22f + 0.28f * backdrop_next_draw(3)) * rock.radius;
        sh.size = size > 0.8f ? size : 0.8f;
        sh.spin = -4.0f + 8.0f * backdrop_next_draw(4);
        sh.life = 1.6f + 1.8f * backdrop_next_draw(5);
        sh.age = 0.0f;
        sh.shade = rock.shade;
        sh.key = backdrop_hash32(g->draw_counter * 31u + 7u);
        thrown++;
    }
}

static void spawn(BackdropState* g, float w, float h, float s)
{
    g->spawn_countdown = 2.5f + 4.0f * backdrop_next_draw(10);
    uint32_t counter = g->spawn_counter++;
    for (BackdropComet& c : g->comets) {
        if (c.live)
            continue;
        uint32_t side = backdrop_hash32(counter * 0x9E3779B9u + 11u) % 3u;
        float heading;
        c = BackdropComet{};
        c.live = 1;
        if (side == 2) {
            c.x = (0.1f + 0.8f * backdrop_next_draw(11)) * w;
            c.y = -12.0f;
            heading = 1.5707963f + (-0.7f + 1.4f * backdrop_next_draw(12));
        } else {
            c.y = (0.02f + 0.73f * backdrop_next_draw(13)) * h;
            heading = 0.7f * backdrop_next_draw(14) - 0.25f;
            c.x = -12.0f;
            if (side == 1) {
                c.x = w + 12.0f;
                heading = 3.14159265f - heading;
            }
        }
        float speed = (170.0f + 130.0f * backdrop_next_draw(15)) * s;
        c.vx = std::cos(heading) * speed;
        c.vy = std::sin(heading) * speed;
        c.trail_x[0] = c.x;
        c.trail_y[0] = c.y;
        c.trail_count = 1;
        return;
    }
}

static void push_trail(BackdropComet& c)
{
    int32_t n = c.trail_count < BACKDROP_TRAIL ? c.trail_count + 1 : BACKDROP_TRAIL;
    for (int32_t k = n - 1; k > 0; k--) {
        c.trail_x[k] = c.trail_x[k - 1];
        c.trail_y[k] = c.trail_y[k - 1];
    }
    c.trail_x[0] = c.x;
    c.trail_y[0] = c.y;
    c.trail_count = n;
}

static void move_comets(BackdropState* g, const LaneRock* rocks, float w, float h, float s, float dt)
{
    int32_t steps = (int32_t)std::ceil(120.0f * dt);
    if (steps < 1)
        steps = 1;
    float step = dt / (float)steps;
    float max_speed = 560.0f * s;
    for (BackdropComet& c : g->comets) {
        for (int32_t n = 0; n < steps && c.live; n++) {
            float ax = 0.0f, ay = 0.0f;
            for (int32_t i = 0; i < BACKDROP_LANES; i++) {
                if (g->hidden[i])
                    continue;
                float dx = rocks[i].x - c.x, dy = rocks[i].y - c.y;
                float d2 = dx * dx + dy * dy, d = std::sqrt(d2);
                if (d < rocks[i].radius + 1.5f) {
                    strike(g, i, rocks[i], c, s);
                    c.live = 0;
                    break;
                }
                float pull = rocks[i].radius * rocks[i].radius * 9000.0f / (d2 + 70.0f);
                ax += dx / d * pull;
                ay += dy / d * pull;
            }
            if (!c.live)
                break;
            float a = std::sqrt(ax * ax + ay * ay);
            if (a > 1500.0f) {
                ax *= 1500.0f / a;
                ay *= 1500.0f / a;
            }
            c.vx += ax * step;
            c.vy += ay * step;
            float v = std::sqrt(c.vx * c.vx + c.vy * c.vy);
            if (v > max_speed) {
                c.vx *= max_speed / v;
                c.vy *= max_speed / v;
            }
            c.x += c.vx * step;
            c.y += c.vy * step;
            if (!std::isfinite(c.x) || !std::isfinite(c.y) || c.x < -80.0f || c.y < -80.0f || c.x > w + 80.0f ||
                c.y > h + 80.0f) {
                c.live = 0;
                break;
            }
            c.trail_timer += step;
            while (c.trail_timer >= kStep) {
                c.trail_timer -= kStep;
                push_trail(c);
            }
        }
    }
}

static void advance(BackdropState* g, const LaneRock* rocks, float w, float h, float s, float dt)
{
    g->spawn_countdown -= dt;
    if (g->spawn_countdown <= 0.0f)
        spawn(g, w, h, s);
    move_comets(g, rocks, w, h, s, dt);
    for (BackdropShard& sh : g->shards) {
        if (!sh.live)
            continue;
        sh.age += dt;
        sh.x += sh.vx * dt;
        sh.y += sh.vy * dt;
        if (sh.age >= sh.life)
            sh.live = 0;
    }
    for (BackdropFlash& f : g->flashes) {
        f.age += dt;
        if (f.live && f.age >= 0.6f)
            f.live = 0;
    }
}

// ---------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------

static void large_bodies(Canvas* c, float w, float h, float s, float t, float sx, float ox, float oy,
                         float tx, float ty)
{
    static const float kLight[2][4] = {{0.8f, 0.86f, 0.84f, 1.0f}, {0.36f, 0.56f, 0.82f, 1.0f}};
    static const float kDark[2][4] = {{0.17f, 0.2f, 0.23f, 1.0f}, {0.07f, 0.11f, 0.24f, 1.0f}};
    static const float kScroll[2] = {0.05f, 0.03f}, kDrift[2] = {0.0004f, -0.00025f};
    static const float kTurn[2] = {0.006f, -0.01f}, kParallax[2] = {0.46f, 0.36f};
    static const float kRadius[2] = {11.0f, 5.0f};
    static const int32_t kSides[2] = {10, 8};
    for (int32_t i = 0; i < 2; i++) {
        uint32_t key = 500u + (uint32_t)i;
        float par = -46.0f * s * kParallax[i];
        float x = (frac(0.1f + 0.8f * backdrop_draw_of(key, 1) + kScroll[i] * sx + kDrift[i] * t) * 1.2f - 0.1f) * w;
        float y = range(key, 2, 0.15f, 0.85f) * h + 5.0f * s * backdrop_noise(0.01f * t, 7.0f * (float)i, 51);
        x += par * tx + ox;
        y += par * ty + oy;
        float radius = kRadius[i] * s;
        const float glow[4] = {kLight[i][0], kLight[i][1], kLight[i][2], 0.05f};
        canvas_set_additive(c, true);
        backdrop_soft_ellipse(c, x, y, radius * 2.4f, radius * 2.4f, 0.0f, glow);
        canvas_set_additive(c, false);
        backdrop_faceted(c, key, x, y, radius, kSides[i], kTurn[i] * t, 0.1f, kDark[i], kLight[i], 0.85f);
    }
}

static void ship(Canvas* c, int32_t i, const float* engine_b, float w, float h, float s, float t, float ox,
                 float oy, float tx, float ty)
{
    float period = 70.0f + 23.0f * (float)i;
    float p = t / period + 0.37f * (float)i;
    uint32_t key = (uint32_t)(int64_t)std::floor(p) * 104729u + 700u + 7919u * (uint32_t)i;
    bool back = backdrop_hash32(key + 1u) & 1u;
    float base_y = range(key, 2, 0.05f, 0.8f) * h, drift = range(key, 3, -0.12f, 0.12f) * h;
    auto at = [&](float f, float* x, float* y) {
        float u = back ? 1.0f - f : f;
        *x = (-0.05f + 1.1f * u) * w;
        *y = base_y + drift * f + 14.0f * s * backdrop_noise(5.0f * f, 3.1f * (float)i, key);
    };
    float f = frac(p), x, y, x2, y2;
    at(f, &x, &y);
    at(f + 0.002f, &x2, &y2);
    float heading = std::atan2(y2 - y, x2 - x);
    float size = range(key, 4, 1.3f, 3.0f) * s;
    float par = -46.0f * s * 0.62f;
    x += par * tx + ox;
    y += par * ty + oy;
    float ca = std::cos(heading), sa = std::sin(heading);
    auto pt = [&](float u, float v, float* px, float* py) {
        *px = x + (ca * u - sa * v) * size;
        *py = y + (sa * u + ca * v) * size;
    };
    float flicker = 0.75f + 0.25f * std::sin((float)i + 23.0f * t);
    static const float kOrange[3] = {1.0f, 0.62f, 0.26f};
    const float* eng = (backdrop_hash32(key + 5u) & 1u) ? kOrange : engine_b;
    // Exhaust and engine glow, additive, under the hull.
    canvas_set_additive(c, true);
    float ex[4], ey[4];
    pt(-1.0f, -0.42f, &ex[0], &ey[0]);
    pt(-1.0f, 0.42f, &ex[1], &ey[1]);
    pt(-12.0f, 0.05f, &ex[2], &ey[2]);
    pt(-12.0f, -0.05f, &ex[3], &ey[3]);
    const float hot[4] = {eng[0], eng[1], eng[2], 0.3f * flicker};
    const float cold[4] = {eng[0], eng[1], eng[2], 0.0f};
    const float* const cs[4] = {hot, hot, cold, cold};
    canvas_fill_quad(c, ex, ey, cs);
    const float glow[4] = {eng[0], eng[1], eng[2], 0.4f * flicker};
    float gx, gy;
    pt(-1.0f, 0.0f, &gx, &gy);
    backdrop_soft_ellipse(c, gx, gy, 1.4f * size, 1.4f * size, 0.0f, glow);
    canvas_set_additive(c, false);
    static const float kHull[4] = {0.36f, 0.4f, 0.48f, 0.75f};
    static const float kDeck[4] = {0.74f, 0.78f, 0.84f, 0.75f};
    float nx, ny, ax, ay, bx, by, wx, wy, vx, vy;
    pt(1.5f, 0.0f, &nx, &ny);
    pt(-0.9f, 0.42f, &ax, &ay);
    pt(-0.9f, -0.42f, &bx, &by);
    pt(-1.15f, 1.05f, &wx, &wy);
    pt(-1.15f, -1.05f, &vx, &vy);
    canvas_fill_triangle(c, nx, ny, ax, ay, wx, wy, kHull);
    canvas_fill_triangle(c, nx, ny, bx, by, vx, vy, kHull);
    canvas_fill_triangle(c, nx, ny, ax, ay, bx, by, kDeck);
    if (std::fmod(0.31f * (float)i + t, 1.3f) < 0.16f) {
        static const float kRed[4] = {1.0f, 0.3f, 0.3f, 0.9f};
        float half = 0.3f * size > 0.8f ? 0.3f * size : 0.8f;
        float lx, ly;
        pt(-1.15f, 1.05f, &lx, &ly);
        canvas_fill_diamond(c, lx, ly, half, half, kRed);
    }
}

static void comets_and_flashes(Canvas* c, const BackdropState* g, float s, float ox, float oy)
{
    canvas_set_additive(c, true);
    for (const BackdropComet& cm : g->comets) {
        if (!cm.live || cm.trail_count < 2)
            continue;
        for (int32_t k = 1; k < cm.trail_count; k++) {
            // Half widths: the trail tapers from 1.3 s wide behind the head to nothing.
            float w0 = (1.0f - (float)(k - 1) / 29.0f) * 0.65f * s, w1 = (1.0f - (float)k / 29.0f) * 0.65f * s;
            float x0 = cm.trail_x[k - 1] + ox, y0 = cm.trail_y[k - 1] + oy;
            float x1 = cm.trail_x[k] + ox, y1 = cm.trail_y[k] + oy;
            float dx = x1 - x0, dy = y1 - y0, len = std::sqrt(dx * dx + dy * dy);
            if (!(len > 0.001f))
                continue;
            float nx = -dy / len, ny = dx / len;
            float fade = 1.0f - (float)k / 29.0f;
            const float col[4] = {0.86f, 0.94f, 1.0f, 0.6f * fade * fade};
            const float* const cs[4] = {col, col, col, col};
            const float xs[4] = {x0 + nx * w0, x1 + nx * w1, x1 - nx * w1, x0 - nx * w0};
            const float ys[4] = {y0 + ny * w0, y1 + ny * w1, y1 - ny * w1, y0 - ny * w0};
            canvas_fill_quad(c, xs, ys, cs);
        }
        static const float kHead[4] = {1.0f, 1.0f, 1.0f, 0.6f};
        backdrop_soft_ellipse(c, cm.x + ox, cm.y + oy, 2.0f * s, 2.0f * s, 0.0f, kHead);
    }
    for (const BackdropFlash& f : g->flashes) {
        if (!f.live)
            continue;
        float p = f.age / 0.6f;
        const float warm[4] = {1.0f, 0.82f, 0.52f, 0.75f * (1.0f - p) * (1.0f - p)};
        const float white[4] = {1.0f, 1.0f, 1.0f, 0.9f * (1.0f - p)};
        float r = (5.0f + 26.0f * p) * s;
        backdrop_soft_ellipse(c, f.x + ox, f.y + oy, r, r, 0.0f, warm);
        backdrop_soft_ellipse(c, f.x + ox, f.y + oy, 4.0f * s, 4.0f * s, 0.0f, white);
    }
    canvas_set_additive(c, false);
}

void backdrop_draw_variant(Canvas* c, const float (*colours)[4], CanvasRect r, float scroll_x, float scroll_y,
                           double clock)
{
    if (!c || !(r.w > 1.0f) || !(r.h > 1.0f) || !std::isfinite(r.x) || !std::isfinite(r.y) ||
        !std::isfinite(r.w) || !std::isfinite(r.h))
        return;
    if (!std::isfinite(clock))
        clock = 0.0;
    BackdropState* g = backdrop_state();
    float t = (float)std::fmod(clock, 86400.0);
    g->origin_x = r.x;
    g->origin_y = r.y;
    float s = 1.0f;
    backdrop_grid(r.w, r.h, nullptr, nullptr, &s);
    bool paused = !(clock > 0.0);
    float tx = paused ? 0.0f : g->tilt_x, ty = paused ? 0.0f : g->tilt_y;
    double dt = clock - g->last_clock_b;
    g->last_clock_b = clock;

    LaneRock rocks[BACKDROP_LANES];
    for (int32_t i = 0; i < BACKDROP_LANES; i++)
        rocks[i] = lane_rock(i, r.w, r.h, s, t);
    if (!paused && dt > 0.0 && dt < 0.25)
        advance(g, rocks, r.w, r.h, s, (float)dt);

    float engine_b[3] = {0.31f, 0.76f, 0.97f};
    if (colours)
        for (int k = 0; k < 3; k++)
            engine_b[k] = colours[1][k];
    canvas_set_additive(c, false);
    large_bodies(c, r.w, r.h, s, t, scroll_x, r.x, r.y, tx, ty);
    for (int32_t i = 0; i < 6; i++)
        ship(c, i, engine_b, r.w, r.h, s, t, r.x, r.y, tx, ty);
    float par = -46.0f * 0.85f * s;
    float ox = par * tx + r.x, oy = par * ty + r.y;
    float dark[4], light[4];
    for (int32_t i = 0; i < BACKDROP_LANES; i++) {
        if (g->hidden[i])
            continue;
        rock_colours(rocks[i].shade, dark, light);
        backdrop_faceted(c, rocks[i].key, rocks[i].x + ox, rocks[i].y + oy, rocks[i].radius, rocks[i].sides,
                         rocks[i].rotation, 1.0f, dark, light, 1.0f);
    }
    (void)scroll_y;
    if (paused)
        return;
    for (const BackdropShard& sh : g->shards) {
        if (!sh.live)
            continue;
        rock_colours(sh.shade, dark, light);
        int32_t sides = (sh.key & 1u) ? 5 : 4;
        backdrop_faceted(c, sh.key, sh.x + ox, sh.y + oy, sh.size, sides, sh.spin * sh.age, 1.0f, dark, light,
                         0.75f * (1.0f - sh.age / sh.life));
    }
    comets_and_flashes(c, g, s, ox, oy);
}

void backdrop_variant_stats(BackdropVariantStats* out)
{
    if (!out)
        return;
    const BackdropState* g = backdrop_state();
    *out = BackdropVariantStats{};
    for (const BackdropComet& c : g->comets) {
        out->comets += c.live;
        if (c.live && c.trail_count > out->longest_trail)
            out->longest_trail = c.trail_count;
    }
    for (const BackdropShard& sh : g->shards)
        out->shards += sh.live;
    for (const BackdropFlash& f : g->flashes)
        out->flashes += f.live;
    out->spawned = (int32_t)g->spawn_counter;
    out->strikes = g->strikes;
}
