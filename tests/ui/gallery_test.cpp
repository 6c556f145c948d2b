// The drawing kit's sample sheet against its golden picture: a guard against any
// unintended change to shapes, blending, glow, text or particles at once.
// Refresh after an intended change: UPDATE_GOLDENS=1 build/test/tests/test_ui
// --gtest_filter='Gallery.*', look at tests/ui/goldens/gallery.bmp, commit it.
#include "support/draw_probe.h"
#include "tools/gallery_sheet.h"
#include "ui/drawkit.h"

class Gallery : public DrawTest {
protected:
    Gallery() : DrawTest(GALLERY_WIDTH, GALLERY_HEIGHT) {}
};

TEST_F(Gallery, SheetMatchesItsGolden)
{
    DrawKit kit;
    ASSERT_TRUE(draw_init(&kit, fx.renderer));
    gallery_draw(&kit);
    read();
    shot();
    draw_shutdown(&kit);
    EXPECT_TRUE(draw_match_golden(&fx, "tests/ui/goldens/gallery.bmp"));
}
