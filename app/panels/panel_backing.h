// panel_backing.h - the backing of a modal panel on the drawing kit: the whole main
// view dimmed, then the panel's fill and its magenta outline.
// Threads: UI thread only (the renderer's thread).
// Depends on: ui/drawkit.h, app/panels/main/view_palette.h.
#pragma once
#include "ui/hitregion.h"

struct DrawKit;

void panel_modal_backing(DrawKit* kit, HitRect panel);
