// cursor.cpp - the custom cursor's state: start, the system pointer's owner, press and
// busy flags, and the per-frame update of every eased value, the trail and the sparks.
#include "ui/cursor.h"

#include <SDL.h>

#include <cmath>

#include "ui/hitregion.h"

static const float kPi = 3.14159265f;
static const float kGolden = 2.399963f;
static const double kTrailLife = 0.55;
static const double kSparkLife = 0.42;
static const double kHoverNever = -1e9;

// The cursor that hid the system pointer (one at a time).
static const CustomCursor* g_hider = nullptr;

void cursor_init(CustomCursor* c)
{
    if (!c)
        return;
    *c = CustomCursor{};
    c->angle = 0.7f;
    c->tint_r = 1.0f;
    c->tint_g = 0.8196f;
    c->tint_b = 0.302f;
    c->drag_dx = 1.0f;
    c->busy_start = -1.0;
    c->hover_change_time = kHoverNever;
}

void cursor_hide_system(CustomCursor* c, uint8_t hide)
{
    if (!c)
        return;
    if (hide) {
        SDL_ShowCursor(c->system_shown ? SDL_ENABLE : SDL_DISABLE);
        g_hider = c;
        c->system_hidden = 1;
        return;
    }
    c->system_hidden = 0;
    if (g_hider && g_hider != c)
        return;
    g_hider = nullptr;
    SDL_ShowCursor(SDL_ENABLE);
}

void cursor_release(CustomCursor* c)
{
    if (c && c->system_hidden && g_hider == c)
        cursor_hide_system(c, 0);
    else if (c)
        c->system_hidden = 0;
}

void cursor_set_pressed(CustomCursor* c, uint8_t pressed)
{
    if (!c || !pressed == !c->pressed)
        return;
    c->pressed = pressed ? 1 : 0;
    if (pressed)
        c->click_pending = 1;
}

void cursor_set_busy(CustomCursor* c, uint8_t busy)
{
    if (!c || !busy == !c->busy)
        return;
    c->busy = busy ? 1 : 0;
    if (busy)
        c->busy_start = -1.0;
}

void cursor_tile_corners(const CustomCursor* c, float xs[4], float ys[4])
{
    float p = c->pointer_morph, ring = c->ring_morph;
    float turn = -0.75f * kPi * p;
    float ct = std::cos(turn), st = std::sin(turn);
    for (int k = 0; k < 4; k++) {
        float a = (float)k * kPi / 2.0f + c->angle;
        float x0 = 12.0f * std::cos(a), y = 22.0f - 4.32f * std::sin(a);
        float x1 = (1.0f - 0.22f * p) * x0;
        float rx = ct * x1 - st * y, ry = st * x1 + ct * y;
        float tx = 0.36f * y - 0.06f * x0, ty = 1.9f * x0 + 0.42f * y;
        xs[k] = rx + (tx - rx) * ring;
        ys[k] = ry + (ty - ry) * ring;
    }
}

static float ease(float v, float target, float k)
{
    v += (target - v) * k;
    return std::fabs(v) < 0.002f && target == 0.0f ? 0.0f : v;
}

static void trail_push(CustomCursor* c, float x, float y, double clock)
{
    if (c->trail_count == CURSOR_TRAIL) {
        for (int32_t i = 1; i < CURSOR_TRAIL; i++)
            c->trail[i - 1] = c->trail[i];
        c->trail_count--;
    }
    c->trail[c->trail_count++] = CursorDot{x, y, (float)c->trail_counter++ * kGolden, clock};
}

static void tint_step(CustomCursor* c, uint32_t mode, bool tinted, float r, float g, float b, float k)
{
    if (mode == 4) {
        r = 1.0f;
        g = 0.8196f;
        b = 0.302f;
    } else if (mode == 10) {
        r = 0.3098f;
        g = 0.7647f;
        b = 0.9686f;
    } else if (mode == 11) {
        r = 0.95f;
        g = 0.26f;
        b = 0.3f;
    }
    if (tinted) {
        c->tint_r += (r - c->tint_r) * k;
        c->tint_g += (g - c->tint_g) * k;
        c->tint_b += (b - c->tint_b) * k;
        c->tint_weight = ease(c->tint_weight, 1.0f, k);
    } else {
        c->tint_weight = ease(c->tint_weight, 0.0f, k);
    }
}

// Pointer over a hit region: a new region (or arriving from none) rings.
static void hover_step(CustomCursor* c, uint32_t mode, float mx, float my, float dt, double clock, float k,
                       bool instant)
{
    if (mode == 2) {
        // Regions are kept in window pixels.
        uint64_t id = hitregion_id_at(mx * CURSOR_UNIT, my * CURSOR_UNIT);
        bool change = id != c->hover_id || (id == 0 && c->hover_amount < 0.01f);
        if (change && !instant)
            c->hover_change_time = clock;
        c->hover_id = id;
        c->hover_amount = ease(c->hover_amount, 1.0f, k);
    } else {
        c->hover_id = 0;
        c->hover_amount = ease(c->hover_amount, 0.0f, k);
    }
    if (instant)
        c->hover_change_time = kHoverNever;
    else
        c->hover_phase = std::fmod(c->hover_phase + dt * 2.0f * kPi / 1.3f, 2.0f * kPi);
}

static void stretch_step(CustomCursor* c, uint32_t mode, float mx, float my, float dt, bool instant)
{
    float target = 0.0f;
    if (mode >= 5 && mode <= 8 && c->pressed && c->tracking && dt > 0.0f) {
        float moved = (mx - c->last_x) * c->drag_dx + (my - c->last_y) * c->drag_dy;
        if (std::isfinite(moved) && std::fabs(moved) <= 200.0f) {
            float v = moved / dt * 0.006f;
            target = v < -4.0f ? -4.0f : v > 4.0f ? 4.0f : v;
        }
    }
    if (instant) {
        c->stretch = c->stretch_velocity = 0.0f;
        return;
    }
    int32_t steps = (int32_t)std::ceil(dt * 120.0f);
    float h = steps > 0 ? dt / (float)steps : 0.0f;
    for (int32_t i = 0; i < steps; i++) {
        c->stretch_velocity += (-(c->stretch - target) * 400.0f - c->stretch_velocity * 32.0f) * h;
        c->stretch += c->stretch_velocity * h;
    }
}

static void press_step(CustomCursor* c, uint32_t mode, float dt, bool instant)
{
    float target = c->pressed && mode != 3 ? 1.0f : 0.0f;
    if (instant) {
        c->press = target;
        c->press_velocity = 0.0f;
        return;
    }
    c->press_velocity += (-(c->press - target) * 900.0f - c->press_velocity * 27.0f) * dt;
    c->press += c->press_velocity * dt;
    if (c->press < 0.0f)
        c->press = 0.0f;
}

static void spark_step(CustomCursor* c, const float* old_x, const float* old_y, float old_ring, float old_angle,
                       bool ring_mode, float mx, float my, float dt, double clock, bool frozen)
{
    if (frozen) {
        c->spark_count = 0;
        for (float& a : c->corner_travel)
            a = 0.0f;
        return;
    }
    int32_t kept = 0;
    for (int32_t i = 0; i < c->spark_count; i++)
        if (clock - c->sparks[i].time <= kSparkLife)
            c->sparks[kept++] = c->sparks[i];
    c->spark_count = kept;
    bool turned = std::fabs(c->ring_morph - old_ring) > 0.0001f || (ring_mode && c->angle != old_angle);
    if (!(dt > 0.0f) || !turned) {
        for (float& a : c->corner_travel)
            a = 0.0f;
        return;
    }
    float nx[4], ny[4];
    cursor_tile_corners(c, nx, ny);
    for (int k = 0; k < 4; k++) {
        float dx = nx[k] - old_x[k], dy = ny[k] - old_y[k];
        c->corner_travel[k] += std::sqrt(dx * dx + dy * dy);
        if (!(c->corner_travel[k] >= 1.8f))
            continue;
        if (c->spark_count < CURSOR_SPARKS) {
            auto clampv = [](float v) { return v < -80.0f ? -80.0f : v > 80.0f ? 80.0f : v; };
            float cross = nx[k] * dy - ny[k] * dx;
            c->sparks[c->spark_count++] = CursorSpark{mx + nx[k], my + ny[k], clampv(dx / dt), clampv(dy / dt),
                                                      mx, my, cross >= 0.0f ? 5.0f : -5.0f, clock};
        }
        c->corner_travel[k] = std::fmod(c->corner_travel[k], 1.8f);
    }
}

static void trail_step(CustomCursor* c, float mx, float my, double clock, bool frozen)
{
    if (frozen) {
        c->tracking = 0;
        c->trail_count = 0;
        return;
    }
    if (c->tracking) {
        float dx = mx - c->last_x, dy = my - c->last_y;
        c->trail_distance += std::sqrt(dx * dx + dy * dy);
        float whole = c->trail_distance / 3.0f;
        int32_t n = whole >= 8.0f ? 8 : (int32_t)whole;
        if (n >= 1) {
            c->trail_distance = std::fmod(c->trail_distance, 3.0f);
            for (int32_t i = 1; i <= n; i++)
                trail_push(c, c->last_x + dx * (float)i / (float)n, c->last_y + dy * (float)i / (float)n, clock);
        }
    }
    int32_t first = 0;
    while (first < c->trail_count && clock - c->trail[first].time > kTrailLife)
        first++;
    for (int32_t i = first; i < c->trail_count; i++)
        c->trail[i - first] = c->trail[i];
    c->trail_count -= first;
    c->last_x = mx;
    c->last_y = my;
    c->tracking = 1;
}

void cursor_update(CustomCursor* c, float dt, uint32_t mode, float tint_r, float tint_g, float tint_b,
                   float mouse_x, float mouse_y, double clock, uint8_t instant_flag)
{
    if (!c)
        return;
    if (mode > 11)
        mode = 0;
    if (!std::isfinite(mouse_x) || !std::isfinite(mouse_y)) {
        mouse_x = c->last_x;
        mouse_y = c->last_y;
    }
    bool instant = instant_flag != 0;
    bool ring_mode = mode == 1 || mode == 4 || mode == 10;
    bool pointer_mode = mode == 2 || (mode >= 5 && mode <= 9) || mode == 11;
    float old_x[4], old_y[4];
    cursor_tile_corners(c, old_x, old_y);
    float old_ring = c->ring_morph, old_angle = c->angle;

    c->mode = mode;
    uint8_t hide = mode != 3;
    if (hide != c->system_hidden)
        cursor_hide_system(c, hide);
    dt = dt > 0.0f ? (dt < 0.1f ? dt : 0.1f) : 0.0f;
    float k = instant ? 1.0f : 1.0f - std::exp(-12.0f * dt);

    tint_step(c, mode, ring_mode || mode == 11, tint_r, tint_g, tint_b, k);
    hover_step(c, mode, mouse_x, mouse_y, dt, clock, k, instant);

    c->pointer_morph = ease(c->pointer_morph, pointer_mode ? 1.0f : 0.0f, k);
    c->ring_morph = ease(c->ring_morph, ring_mode ? 1.0f : 0.0f, k);
    c->drag_amount = ease(c->drag_amount, mode >= 5 && mode <= 9 ? 1.0f : 0.0f, k);
    c->double_amount = ease(c->double_amount, mode == 9 ? 1.0f : 0.0f, k);
    c->mode10_amount = ease(c->mode10_amount, mode == 10 ? 1.0f : 0.0f, k);
    static const float kDirections[5][2] = {{1, 0}, {0, 1}, {0.7071f, 0.7071f}, {-0.7071f, 0.7071f}, {1, 0}};
    if (mode >= 5 && mode <= 9) {
        c->drag_dx = kDirections[mode - 5][0];
        c->drag_dy = kDirections[mode - 5][1];
    }

    stretch_step(c, mode, mouse_x, mouse_y, dt, instant);
    press_step(c, mode, dt, instant);

    if (c->click_pending && mode != 3 && !instant)
        for (int i = 0; i < 10; i++)
            trail_push(c, c->last_x + 6.0f * std::cos((float)i * 0.6283f), c->last_y + 6.0f * std::sin((float)i * 0.6283f),
                       clock);
    c->click_pending = 0;

    if (pointer_mode || ring_mode) {
        float d = 0.25f * kPi - c->angle;
        c->angle += std::atan2(std::sin(d), std::cos(d)) * k;
    } else if (!instant) {
        c->angle = std::fmod(c->angle + dt * 2.0f * kPi / 10.0f, 2.0f * kPi);
    }

    bool frozen = mode == 3 || instant;
    spark_step(c, old_x, old_y, old_ring, old_angle, ring_mode, mouse_x, mouse_y, dt, clock, frozen);

    if (c->busy) {
        if (c->busy_start < 0.0)
            c->busy_start = clock;
    }
    bool show_gem = c->busy && clock - c->busy_start >= 0.15 && mode != 3;
    float bk = instant ? 1.0f : 1.0f - std::exp((show_gem ? -10.0f : -24.0f) * dt);
    c->busy_amount = ease(c->busy_amount, show_gem ? 1.0f : 0.0f, bk);
    if (!instant)
        c->busy_phase = std::fmod(c->busy_phase + dt * 2.0f * kPi / 1.6f, 2.0f * kPi);

    trail_step(c, mouse_x, mouse_y, clock, frozen);
}
