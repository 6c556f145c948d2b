// folder_tree_draw.cpp - the tree's rows: parent row, triangles, highlight and
// selection fills, sizes, durations, tag digits and the hovered file's preview.
#include "library/views/folder_tree_view.h"

#include <cmath>
#include <cstring>

#include "audio/audiofile.h"
#include "audio/audiofile_loader.h"
#include "library/user_stores.h"
#include "library/views/lv_draw.h"
#include "library/views/viz.h"
#include "library/views/wavestrip.h"
#include "ui/canvas.h"
#include "ui/spring.h"
#include "ui/text.h"
#include "ui/widget.h"

static void ease(float* value, float target, float dt, bool jump)
{
    *value = jump ? target : spring_ease(*value, target, 18.0f, dt > 0.0f ? dt : 1.0f / 60.0f);
}

static void triangle(Canvas* c, float x, float cy, bool down, const float* colour)
{
    if (down)
        canvas_fill_triangle(c, x - 4.0f, cy - 2.0f, x + 4.0f, cy - 2.0f, x, cy + 3.0f, colour);
    else
        canvas_fill_triangle(c, x - 2.0f, cy - 4.0f, x + 3.0f, cy, x - 2.0f, cy + 4.0f, colour);
}

void foldertree_draw(Canvas* c, TextRenderer* tr, FolderTree* t, const CanvasRect* r, const float (*colours)[4],
                     float dt)
{
    if (!c || !t || !r)
        return;
    folders_poll();
    const float(*p)[4] = colours ? colours : t->palette;
    t->rx = r->x;
    t->ry = r->y;
    t->rw = r->w;
    t->rh = r->h;
    foldertree_scroll_pending(t);
    t->preview_wanted = 0;
    CanvasRect saved;
    bool had = lv_panel_begin(c, r, p[0], &saved);

    float max = foldertree_content_height(t);
    t->scroll_target = t->scroll_target < 0.0f ? 0.0f : t->scroll_target > max ? max : t->scroll_target;
    ease(&t->scroll, t->scroll_target, dt, t->reduced_motion);

    bool parent = foldertree_has_parent(t);
    int32_t hovered = t->hovering ? foldertree_row_at(t, t->pointer_x, t->pointer_y) : -1;
    if (parent) {
        float cy = r->y + 13.0f - t->scroll;
        if (hovered == -2) {
            CanvasRect row{r->x, cy - 13.0f, r->w, (float)FOLDER_TREE_ROW};
            widget_draw_shadow(c, &row, p[9]);
        }
        lv_hit(c, r->x, cy - 13.0f, r->w, FOLDER_TREE_ROW, 2);
        triangle(c, r->x + 16.0f, cy, false, p[4]);
        canvas_draw_pixel_text(c, "..", r->x + 32.0f, cy - 3.5f, 1.0f, p[2], 0);
    }
    int32_t first = (int32_t)std::floor(t->scroll / FOLDER_TREE_ROW) - (parent ? 1 : 0);
    first = first < 0 ? 0 : first;
    int32_t visible = (int32_t)std::floor(r->h / FOLDER_TREE_ROW);
    int32_t last = first + (visible < 1 ? 1 : visible) + 2;
    last = last > t->count ? t->count : last;
    int32_t min_depth = 1 << 30;
    for (int32_t i = first; i < last; i++)
        min_depth = t->nodes[i].depth < min_depth ? t->nodes[i].depth : min_depth;
    if (first < last)
        ease(&t->indent_shift, 18.0f * (float)min_depth, dt, t->reduced_motion);

    bool file_hovered = false;
    for (int32_t i = first; i < last; i++) {
        const FolderNode* n = &t->nodes[i];
        float cy = r->y + FOLDER_TREE_ROW * (float)(i + (parent ? 1 : 0)) - t->scroll + 13.0f;
        float top = cy - 13.0f;
        float indent = r->x + 16.0f + 18.0f * (float)n->depth - t->indent_shift;
        if (t->highlight[0] && std::strcmp(n->path, t->highlight) == 0)
            canvas_fill_rect(c, r->x, top, r->w, FOLDER_TREE_ROW, p[3]);
        if (i == t->selected)
            canvas_fill_rect(c, r->x, top, r->w, FOLDER_TREE_ROW, p[5]);
        if (i == hovered) {
            CanvasRect row{r->x, top, r->w, (float)FOLDER_TREE_ROW};
            widget_draw_shadow(c, &row, p[9]);
            if (!n->folder && audiofile_is_supported(n->path)) {
                file_hovered = true;
                const float* points = nullptr;
                int32_t count = foldertree_preview_refresh(t, n->path, dt, &points);
                if (count > 0 && points) {
                    float ink[4];
                    lv_alpha(p[6], 0.3f * t->shown_fade, ink);   // faint: the texts stay readable
                    float x0 = indent + 16.0f;
                    CanvasRect strip{x0, top + 2.0f, (r->x + r->w - 16.0f - x0) * (float)count / FOLDER_TREE_POINTS,
                                     FOLDER_TREE_ROW - 4.0f};
                    wavestrip_draw(c, &strip, points, count, nullptr, 0.0f, nullptr, 0, -1.0f, ink);
                }
            }
        }
        if (n->folder)
            triangle(c, indent, cy, n->expanded != 0, p[4]);
        float right = r->x + r->w - 16.0f;
        if (!n->folder) {
            char size[32], duration[32];
            format_size(n->size, size, sizeof size);
            float w = canvas_pixel_text_width(c, size, 1.0f);
            canvas_draw_pixel_text(c, size, right, cy - 3.5f, 1.0f, p[4], 2);
            right -= w;
            const FolderTreePreview* pv = foldertree_preview_find(t, n->path);
            if (pv && pv->ready) {
                format_duration(pv->duration, duration, sizeof duration);
                right -= 12.0f;
                canvas_draw_pixel_text(c, duration, right, cy - 3.5f, 1.0f, p[4], 2);
                right -= canvas_pixel_text_width(c, duration, 1.0f);
            }
            right -= w > 0.0f ? 12.0f : 0.0f;
        }
        int32_t tag = tags_get(n->path);
        if (tag > 0) {
            char digit[2] = {(char)('0' + tag), 0};
            canvas_draw_pixel_text(c, digit, right, cy - 3.5f, 1.0f, p[8], 2);
            right -= canvas_pixel_text_width(c, digit, 1.0f) + 12.0f;
        }
        float name_x = indent + 16.0f;
        float avail = right - name_x;
        const float* ink = i == t->selected ? p[2] : p[6];
        if (avail > 0.0f)
            lv_draw_label(c, tr, n->name, name_x, cy, avail, ink);
    }
    if (!file_hovered && t->job) {
        audiofile_loader_release(t->job);
        t->job = nullptr;
    }
    lv_panel_end(c, had, &saved);
}
