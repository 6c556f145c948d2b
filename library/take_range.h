// take_range.h - the range strip under the take view's waveform: the whole take, its
// marks and the visible window. This control alone decides what a press, a drag and a
// release on the strip do, and reports every change as an action for the take view to
// apply. Positions are in strip units (x from its left, y from its top).
// Threads: UI thread only (pure: no I/O, no player).
// Depends on: nothing.
#pragma once
#include <cstdint>

enum : int32_t {
    TAKE_RANGE_NONE = 0,
    TAKE_RANGE_SEEK = 1,
    TAKE_RANGE_IN_MARK = 2,
    TAKE_RANGE_OUT_MARK = 3,
    TAKE_RANGE_LEFT_EDGE = 4,
    TAKE_RANGE_RIGHT_EDGE = 5,
    TAKE_RANGE_MOVE = 6,
};

// What the control reports: 1 seek to a; 2 in-mark at a; 3 out-mark at a; 4 and 5 the
// window a..b (an edge moved, the window moved); 6 a drag ended (no change).
enum : int32_t {
    TAKE_ACTION_NONE = 0,
    TAKE_ACTION_SEEK = 1,
    TAKE_ACTION_IN = 2,
    TAKE_ACTION_OUT = 3,
    TAKE_ACTION_EDGE = 4,
    TAKE_ACTION_MOVE = 5,
    TAKE_ACTION_END = 6,
};

struct TakeAction {
    int32_t kind;
    float a, b;
};

// What the take view hands the control each frame.
struct TakeRangeState {
    float window_start, window_end;   // fractions of the take
    float min_width;                  // 0.02
    uint8_t has_marks;
    float mark_in, mark_out;          // taken as 0 and 1 without marks
    uint8_t show_window;
};

struct TakeRange {
    int32_t drag;                     // TAKE_RANGE_*
    uint8_t hovered;
    float last_x, last_y;
    float grab;                       // fraction
    float kept;                       // fraction: the fixed edge, or the window's width
    uint8_t other_button;             // the drag began with a button other than the left
};

// Each returns whether the event was taken; *out gets the action (NONE when none).
bool take_range_press(TakeRange* r, const TakeRangeState* s, float w, float h, bool left, float x, float y,
                      TakeAction* out);
bool take_range_motion(TakeRange* r, const TakeRangeState* s, float w, float h, float x, float y, TakeAction* out);
bool take_range_release(TakeRange* r, float w, bool left, float x, TakeAction* out);
// The strip's cursor: the running drag, else what a left press at the last position
// would start (a seek counts as NONE) while hovered.
int32_t take_range_hover_kind(const TakeRange* r, const TakeRangeState* s, float w, float h);
// The window on the strip: left and width in units; false when there is none.
bool take_range_window(const TakeRangeState* s, float w, float* left, float* width);
