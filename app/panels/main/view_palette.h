// view_palette.h - the main screen's palette as packed, opaque kit colours, shared by
// the main view's panel painters.
// Threads: any (constants only).
// Depends on: ui/drawkit.h (draw_rgba).
#pragma once
#include <cstdint>

#include "ui/drawkit.h"

constexpr uint32_t VIEW_BACKGROUND = draw_rgba(13, 17, 17, 255);
constexpr uint32_t VIEW_PANEL = draw_rgba(23, 29, 29, 255);
constexpr uint32_t VIEW_MUTED = draw_rgba(148, 148, 148, 255);
constexpr uint32_t VIEW_LIGHT = draw_rgba(235, 235, 235, 255);
constexpr uint32_t VIEW_BRIGHT = draw_rgba(242, 242, 242, 255);
constexpr uint32_t VIEW_MAGENTA = draw_rgba(255, 0, 128, 255);
constexpr uint32_t VIEW_TEAL = draw_rgba(46, 199, 184, 255);
constexpr uint32_t VIEW_LIGHT_TEAL = draw_rgba(107, 230, 224, 255);
constexpr uint32_t VIEW_ORANGE = draw_rgba(242, 140, 56, 255);
constexpr uint32_t VIEW_RED = draw_rgba(235, 66, 77, 255);
constexpr uint32_t VIEW_YELLOW = draw_rgba(245, 214, 107, 255);
// Hold-to-dub's own warmer orange (pad, play head); not the palette orange above.
constexpr uint32_t VIEW_HOLD_DUB = draw_rgba(230, 153, 51, 255);
