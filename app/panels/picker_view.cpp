// picker_view.cpp - the plug-in picker's painter: title, filter tabs, search field,
// IDENTIFY/STOP, the error or hint line, the rows of the filtered list with their kind
// tags, and the footer with counts and hints or the identification progress. Each
// frame it draws, it writes the tab and IDENTIFY rectangles the click handler tests;
// on a frame it does not draw, it zeroes them. Rows come from the same geometry the
// keys, the wheel and the click handler use (app/vst_picker_rows.h).
#include <cstdio>

#include "app/app_events.h"
#include "app/app_state.h"
#include "app/panels/panel_backing.h"
#include "app/panels/main/view.h"
#include "app/panels/main/view_palette.h"
#include "app/vst_picker_rows.h"
#include "ui/drawkit.h"

static const uint32_t kTabChosen = draw_rgba(127, 15, 73, 255);
static const uint32_t kTabOther = draw_rgba(18, 23, 23, 255);
static const uint32_t kField = draw_rgba(17, 21, 21, 255);
static const uint32_t kCaret = draw_rgba(255, 107, 184, 255);
static const uint32_t kRowSelected = draw_rgba(115, 17, 68, 255);
static const uint32_t kRowHovered = draw_rgba(69, 23, 48, 255);
static const uint32_t kTagEffect = draw_rgba(255, 107, 184, 255);
static const uint32_t kHint = draw_rgba(148, 148, 148, 190);
static const uint32_t kTrack = draw_rgba(19, 24, 24, 255);

static const char* const kTabLabels[3] = {"ALL", "EFFECTS", "INSTRUMENTS"};
static const HitRect kIdentify = {446, 202, 120, 34};
static const float kTrackWidth = 492.0f;

static HitRect picker_tab_rect(int i)
{
    return HitRect{74.0f + 164.0f * i, 164, 160, 28};
}

static void picker_forget_rects(AppPicker* p)
{
    for (HitRect& r : p->tabs)
        r = HitRect{};
    p->identify_button = HitRect{};
}

static int32_t picker_identified(const AppPicker* p)
{
    int32_t n = 0;
    int32_t count = p->count < APP_PICKER_MAX ? p->count : APP_PICKER_MAX;
    for (int32_t i = 0; i < count; i++)
        n += p->kind[i] != 0;
    return n;
}

static void picker_head(AppPicker* p, DrawKit* kit)
{
    draw_text(kit, p->target < 0 ? "SELECT INSTRUMENT (VST2 64-BIT)" : "SELECT VST EFFECT", 74, 134, 1.8f,
              VIEW_BRIGHT);
    for (int i = 0; i < 3; i++) {
        HitRect r = picker_tab_rect(i);
        bool chosen = p->tab == i;
        draw_fill(kit, r.x, r.y, r.w, r.h, chosen ? kTabChosen : kTabOther);
        draw_text_centered(kit, kTabLabels[i], r.x + 80, 173, 1.5f, chosen ? VIEW_BRIGHT : VIEW_MUTED);
        p->tabs[i] = r;
    }

    draw_fill(kit, 74, 202, 368, 34, kField);
    if (p->search[0]) {
        draw_text(kit, p->search, 84, 212, 1.8f, VIEW_BRIGHT);
        draw_fill(kit, 86 + draw_text_width(p->search, 1.8f), 210, 2, 18, kCaret);
    } else {
        draw_text(kit, "TYPE TO SEARCH", 84, 212, 1.8f, VIEW_MUTED);
        draw_fill(kit, 84, 210, 2, 18, draw_with_alpha(kCaret, 150));
    }

    uint32_t body = p->identifying ? color_lerp(VIEW_PANEL, VIEW_RED, 0.5f) : color_lerp(VIEW_PANEL, VIEW_MAGENTA, 0.3f);
    draw_fill(kit, kIdentify.x, kIdentify.y, kIdentify.w, kIdentify.h, body);
    draw_text_centered(kit, p->identifying ? "STOP" : "IDENTIFY", 506, 212, 1.6f, VIEW_BRIGHT);
    p->identify_button = kIdentify;

    if (p->status[0])
        draw_text(kit, p->status, 74, 244, 1.4f, VIEW_RED);
    else if (p->count <= 0)
        draw_text(kit, "NO VST2 DLLS FOUND \xE2\x80\x94 SET TESSEL_VST_PATH", 74, 244, 1.4f, VIEW_MUTED);
}

static void picker_rows(const AppState* app, DrawKit* kit)
{
    const AppPicker* p = &app->picker;
    int32_t rows = vst_picker_visible_rows(p);
    bool inside = app_rect_has(APP_PICKER_PANEL, app->mouse_x, app->mouse_y);
    int32_t hovered = inside ? vst_picker_row_at(p, app->mouse_y) : -1;
    for (int32_t k = 0; k < rows; k++) {
        int32_t pos = p->scroll + k;
        if (pos < 0 || pos >= p->filtered_count)
            break;
        int32_t entry = p->filtered[pos];
        if (entry < 0 || entry >= APP_PICKER_MAX)
            continue;
        float y = VST_PICKER_ROWS_TOP + VST_PICKER_ROW_PITCH * k;
        bool selected = pos == p->selection;
        bool hot = pos == hovered;
        if (selected || hot)
            draw_fill(kit, 64, y, 512, 32, selected ? kRowSelected : kRowHovered);

        uint8_t kind = p->kind[entry];
        char name[48];
        snprintf(name, sizeof name, "%.40s", p->label[entry][0] ? p->label[entry] : p->entries[entry].name);
        uint32_t ink = kind == 0 ? VIEW_MUTED : (selected || hot) ? VIEW_BRIGHT : VIEW_LIGHT;
        draw_text(kit, name, 76, y + 9, 1.7f, ink);

        const char* tag = "?";
        uint32_t tag_ink = VIEW_MUTED;
        if (kind == 1) {
            tag = "FX";
            tag_ink = kTagEffect;
        } else if (kind == 2) {
            tag = "INST";
            tag_ink = VIEW_LIGHT_TEAL;
        } else if (kind == 3) {
            tag = "WONT LOAD";
            tag_ink = VIEW_RED;
        }
        draw_text(kit, tag, 490, y + 11, 1.4f, tag_ink);
    }
}

static void picker_footer(const AppPicker* p, DrawKit* kit)
{
    int32_t identified = picker_identified(p);
    char line[160];
    if (p->identifying) {
        snprintf(line, sizeof line, "IDENTIFYING %d / %d  %.28s", identified + 1, p->count, p->identify_status);
        draw_text(kit, line, 74, 916, 1.3f, VIEW_MUTED);
        draw_fill(kit, 74, 932, kTrackWidth, 4, kTrack);
        // No entries, no fill: the width divides by the count.
        if (p->count > 0)
            draw_fill(kit, 74, 932, kTrackWidth * (float)identified / (float)p->count, 4, VIEW_MAGENTA);
        return;
    }
    if (identified < p->count) {
        draw_text(kit, "IDENTIFY LOADS EACH PLUGIN ONCE TO SORT FX FROM INSTRUMENTS.", 74, 906, 1.2f, kHint);
        draw_text(kit, "A PLUGIN MAY OPEN WINDOWS OF ITS OWN WHILE IT IS IDENTIFIED.", 74, 922, 1.2f, kHint);
    }
    snprintf(line, sizeof line, "%d OF %d  %d IDENTIFIED  ENTER LOADS  TAB FILTERS  ESC CLOSES", p->filtered_count,
             p->count, identified);
    draw_text(kit, line, 74, 938, 1.3f, VIEW_MUTED);
}

void view_vst_picker(AppState* app, DrawKit* kit)
{
    if (!app)
        return;
    AppPicker* p = &app->picker;
    if (!p->open || !kit || !kit->renderer) {
        picker_forget_rects(p);
        return;
    }
    panel_modal_backing(kit, APP_PICKER_PANEL);
    picker_head(p, kit);
    picker_rows(app, kit);
    picker_footer(p, kit);
}
