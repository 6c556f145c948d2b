// take_range.cpp - the range strip's control of take_range.h.
#include "library/take_range.h"

#include <algorithm>
#include <cmath>

static const float kOutside = 6.0f;     // units outside an edge that still grab it
static const float kMarkReach = 14.0f;  // units either side of a mark

bool take_range_window(const TakeRangeState* s, float w, float* left, float* width)
{
    float a = std::min(s->window_start, 1.0f), b = std::clamp(s->window_end, 0.0f, 1.0f);
    if (!s->show_window || !(a >= 0.0f) || !(b > a))
        return false;
    float wd = std::min(w, std::max(2.0f, (b - a) * w));
    float l = (b - a) * w < 2.0f ? (a + b) / 2 * w - 1 : a * w;
    *left = std::clamp(l, 0.0f, w - wd);
    *width = wd;
    return true;
}

static float min_window(float w)
{
    return std::min(1.0f, std::max(12.0f / w, 0.02f));
}

static bool usable(float w, float h, float x, float y)
{
    return w > 2.0f && h > 2.0f && x >= 0.0f && x <= w && y >= 0.0f && y <= h;
}

// The edge a press at x grabs, or NONE.
static int32_t edge_at(const TakeRangeState* s, float w, float x)
{
    float l, wd;
    if (!take_range_window(s, w, &l, &wd))
        return TAKE_RANGE_NONE;
    float grip = std::min(6.0f, wd / 3);
    if (x >= l + wd - grip && x <= l + wd + kOutside)
        return TAKE_RANGE_RIGHT_EDGE;
    if (x >= l - kOutside && x <= l + grip)
        return TAKE_RANGE_LEFT_EDGE;
    return TAKE_RANGE_NONE;
}

static int32_t left_press_kind(const TakeRangeState* s, float w, float h, float x, float y)
{
    int32_t edge = edge_at(s, w, x);
    if (y >= h / 2 && edge)
        return edge;
    float in = s->has_marks ? s->mark_in : 0.0f, out = s->has_marks ? s->mark_out : 1.0f;
    if (std::fabs(x - out * w) <= kMarkReach)
        return TAKE_RANGE_OUT_MARK;
    if (std::fabs(x - in * w) <= kMarkReach)
        return TAKE_RANGE_IN_MARK;
    if (edge)
        return edge;
    float l, wd;
    if (take_range_window(s, w, &l, &wd) && x >= l && x < l + wd)
        return TAKE_RANGE_MOVE;
    return TAKE_RANGE_SEEK;
}

static TakeAction moved(const TakeRange* r, float f)
{
    float width = r->kept;
    float start = std::max(0.0f, std::min(1.0f - width, f - r->grab));
    return TakeAction{TAKE_ACTION_MOVE, start, std::min(1.0f, start + width)};
}

bool take_range_press(TakeRange* r, const TakeRangeState* s, float w, float h, bool left, float x, float y,
                      TakeAction* out)
{
    *out = TakeAction{};
    if (r->drag)
        return true;
    if (!usable(w, h, x, y))
        return false;
    float f = std::clamp(x / w, 0.0f, 1.0f);
    float l = 0, wd = 0;
    bool window = take_range_window(s, w, &l, &wd);
    int32_t kind = left ? left_press_kind(s, w, h, x, y) : window ? TAKE_RANGE_MOVE : TAKE_RANGE_NONE;
    if (!kind)
        return false;
    r->drag = kind;
    r->other_button = left ? 0 : 1;
    r->last_x = x;
    r->last_y = y;
    float a = s->window_start, b = s->window_end;
    switch (kind) {
    case TAKE_RANGE_SEEK: *out = TakeAction{TAKE_ACTION_SEEK, f, 0}; break;
    case TAKE_RANGE_IN_MARK: *out = TakeAction{TAKE_ACTION_IN, f, 0}; break;
    case TAKE_RANGE_OUT_MARK: *out = TakeAction{TAKE_ACTION_OUT, f, 0}; break;
    case TAKE_RANGE_LEFT_EDGE:
        r->kept = b;
        r->grab = f - a;
        break;
    case TAKE_RANGE_RIGHT_EDGE:
        r->kept = a;
        r->grab = f - b;
        break;
    default:
        r->kept = b - a;
        if (window && x >= l && x < l + wd) {
            r->grab = f - a;
        } else {
            r->grab = r->kept / 2;
            *out = moved(r, f);
        }
    }
    return true;
}

bool take_range_motion(TakeRange* r, const TakeRangeState* s, float w, float h, float x, float y, TakeAction* out)
{
    *out = TakeAction{};
    r->last_x = x;
    r->last_y = y;
    if (!r->drag) {
        r->hovered = usable(w, h, x, y);
        return r->hovered;
    }
    if (!(w > 2.0f))
        return true;
    float f = std::clamp(x / w, 0.0f, 1.0f);
    float m = min_window(w);
    switch (r->drag) {
    case TAKE_RANGE_SEEK: *out = TakeAction{TAKE_ACTION_SEEK, f, 0}; break;
    case TAKE_RANGE_IN_MARK: *out = TakeAction{TAKE_ACTION_IN, f, 0}; break;
    case TAKE_RANGE_OUT_MARK: *out = TakeAction{TAKE_ACTION_OUT, f, 0}; break;
    case TAKE_RANGE_LEFT_EDGE: {
        float b = r->kept;
        float start = std::max(0.0f, std::min(f - r->grab, std::max(0.0f, b - m)));
        *out = TakeAction{TAKE_ACTION_EDGE, start, b};
        break;
    }
    case TAKE_RANGE_RIGHT_EDGE: {
        float a = r->kept;
        float end = std::min(1.0f, std::max(f - r->grab, std::min(1.0f, a + m)));
        *out = TakeAction{TAKE_ACTION_EDGE, a, end};
        break;
    }
    default: *out = moved(r, f);
    }
    return true;
}

bool take_range_release(TakeRange* r, float w, bool left, float x, TakeAction* out)
{
    *out = TakeAction{};
    if (!r->drag)
        return false;
    if (left == (r->other_button != 0))
        return true;   // the other button family: ends nothing
    if (r->drag == TAKE_RANGE_SEEK)
        *out = TakeAction{TAKE_ACTION_SEEK, w > 0.0f ? std::clamp(x / w, 0.0f, 1.0f) : 0.0f, 0};
    else
        *out = TakeAction{TAKE_ACTION_END, 0, 0};
    r->drag = TAKE_RANGE_NONE;
    r->other_button = 0;
    return true;
}

int32_t take_range_hover_kind(const TakeRange* r, const TakeRangeState* s, float w, float h)
{
    if (r->drag)
        return r->drag;
    if (!r->hovered || !usable(w, h, r->last_x, r->last_y))
        return TAKE_RANGE_NONE;
    int32_t k = left_press_kind(s, w, h, r->last_x, r->last_y);
    return k == TAKE_RANGE_SEEK ? TAKE_RANGE_NONE : k;
}
