// vst_picker_rows.cpp - the plug-in picker's visible rows and scroll.
#include "app/vst_picker_rows.h"

#include <cmath>

#include "app/app_state.h"

static const float kListBottom = 840.0f;
static const float kRoomWithHints = 222.0f;
static const float kRoomWithoutHints = 190.0f;

int32_t app_clamp_scroll(int32_t v, int32_t hi)
{
    if (v > hi)
        v = hi;
    return v < 0 ? 0 : v;
}

int32_t vst_picker_visible_rows(const AppPicker* picker)
{
    bool unidentified = false;
    if (picker) {
        int32_t count = picker->count < APP_PICKER_MAX ? picker->count : APP_PICKER_MAX;
        for (int32_t i = 0; i < count && !unidentified; i++)
            unidentified = picker->kind[i] == 0;
    }
    float room = unidentified ? kRoomWithHints : kRoomWithoutHints;
    return (int32_t)((kListBottom - room) / VST_PICKER_ROW_PITCH);
}

int32_t vst_picker_row_at(const AppPicker* picker, float y)
{
    if (!picker || !(y >= VST_PICKER_ROWS_TOP))
        return -1;
    int32_t row = (int32_t)std::floor((y - VST_PICKER_ROWS_TOP) / VST_PICKER_ROW_PITCH);
    if (row >= vst_picker_visible_rows(picker))
        return -1;
    int32_t p = picker->scroll + row;
    return p >= 0 && p < picker->filtered_count ? p : -1;
}

void vst_picker_clamp_scroll(AppPicker* picker)
{
    if (!picker)
        return;
    picker->scroll = app_clamp_scroll(picker->scroll, picker->filtered_count - vst_picker_visible_rows(picker));
}

void vst_picker_show_selection(AppPicker* picker)
{
    if (!picker)
        return;
    int32_t rows = vst_picker_visible_rows(picker);
    if (picker->selection < picker->scroll)
        picker->scroll = picker->selection;
    if (picker->selection >= picker->scroll + rows)
        picker->scroll = picker->selection - rows + 1;
    vst_picker_clamp_scroll(picker);
}
