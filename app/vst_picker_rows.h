// vst_picker_rows.h - the plug-in picker's list geometry: how many rows the view draws,
// which row lies under a point, and the scroll that keeps the selection among them.
// Drawing, scrolling, keys and clicks all use these, so no row can be chosen that is
// not on screen.
// Threads: UI thread only.
// Depends on: app/app_state.h (AppPicker).
#pragma once
#include <cstdint>

struct AppPicker;

constexpr float VST_PICKER_ROWS_TOP = 270.0f;      // the first row's top
constexpr float VST_PICKER_ROW_PITCH = 34.0f;

// The rows the view shows: trunc((840 - r) / 34), r = 222 while some entries are not
// yet identified (the hint lines take room), else 190: 18 or 19.
int32_t vst_picker_visible_rows(const AppPicker* picker);
// The filtered position drawn at y (main-view units), or -1 when y is above the first
// row, below the last visible row or past the end of the list.
int32_t vst_picker_row_at(const AppPicker* picker, float y);
// Clamps the scroll to 0..max(filtered count - visible rows, 0).
void vst_picker_clamp_scroll(AppPicker* picker);
// Scrolls just enough to show the selection, then clamps the scroll.
void vst_picker_show_selection(AppPicker* picker);

// max(0, min(v, hi)): a scroll clamp whose upper bound may fall below 0.
int32_t app_clamp_scroll(int32_t v, int32_t hi);
