// panel_backing.cpp - the modal panels' shared backing.
#include "app/panels/panel_backing.h"

#include "app/panels/main/view_palette.h"
#include "ui/drawkit.h"

static const uint32_t kDim = draw_rgba(13, 17, 17, 210);

void panel_modal_backing(DrawKit* kit, HitRect panel)
{
    draw_fill(kit, 0, 0, DRAW_REF_WIDTH, DRAW_REF_HEIGHT, kDim);
    draw_fill(kit, panel.x, panel.y, panel.w, panel.h, VIEW_PANEL);
    draw_rect_outline(kit, panel.x, panel.y, panel.w, panel.h, VIEW_MAGENTA);
}
