// The window's hit test while an overlay is open: the overlays take every click below
// the resize borders, the drag strip included.
#include <gtest/gtest.h>

#include "app/window.h"

TEST(OverlaysHitTest, AnOpenOverlayMakesTheDragStripNormal)
{
    struct Case { int32_t x, y; bool popup, keys; int want; } cases[] = {
                 {300, 20, false, false, WINDOW_HIT_DRAG},   {300, 20, true, false, WINDOW_HIT_NORMAL},
                 {300, 20, false, true, WINDOW_HIT_NORMAL},  {0, 0, true, true, WINDOW_HIT_TOP_LEFT},
                 {300, 1079, true, false, WINDOW_HIT_BOTTOM}};
    for (const Case& c : cases)
        EXPECT_EQ(window_hit_classify(640, 1080, false, nullptr, c.x, c.y, c.popup, c.keys), c.want)
            << c.x << "," << c.y << " " << c.popup << c.keys;
}
