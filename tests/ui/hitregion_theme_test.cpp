// Hit regions (frame hand-over, capacity, edges, overlap, ids, mapping from kit and
// canvas units) and the theme palette.
#include <gtest/gtest.h>

#include <cmath>

#include "ui/drawkit.h"
#include "ui/hitregion.h"
#include "ui/theme.h"

// Empties both lists so each test starts from a blank store.
static void hit_fresh(void)
{
    hitregion_frame_begin();
    hitregion_frame_begin();
}

TEST(HitRegion, RegionsAnswerTheFrameAfterTheirRegistrationOnly)
{
    hit_fresh();
    hitregion_add(nullptr, HitRect{10, 10, 20, 20}, HITREGION_KIND_BUTTON);
    EXPECT_EQ(hitregion_find(15, 15), nullptr);      // frame N: not yet
    hitregion_frame_begin();
    const HitRegion* r = hitregion_find(15, 15);     // frame N + 1
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->kind, HITREGION_KIND_BUTTON);
    EXPECT_TRUE(hitregion_same(nullptr, 15, 15, HitRect{10.4f, 9.6f, 20, 20.4f}));
    EXPECT_FALSE(hitregion_same(nullptr, 15, 15, HitRect{10.5f, 10, 20, 20}));
    hitregion_frame_begin();                         // frame N + 2, not registered again
    EXPECT_EQ(hitregion_find(15, 15), nullptr);
}

TEST(HitRegion, EdgesOverlapEmptyRectanglesAndCapacity)
{
    hit_fresh();
    hitregion_add(nullptr, HitRect{0, 0, 100, 100}, HITREGION_KIND_PASSIVE);
    hitregion_add(nullptr, HitRect{50, 50, 10, 10}, HITREGION_KIND_BUTTON);
    hitregion_add(nullptr, HitRect{0, 0, 0, 5}, HITREGION_KIND_BUTTON);     // refused
    hitregion_add(nullptr, HitRect{0, 0, 5, -1}, HITREGION_KIND_BUTTON);    // refused
    hitregion_add(nullptr, HitRect{0, 0, NAN, 5}, HITREGION_KIND_BUTTON);   // refused
    hitregion_frame_begin();
    // The later region wins; left and top edges are inside, right and bottom outside.
    EXPECT_EQ(hitregion_find(50, 50)->kind, HITREGION_KIND_BUTTON);
    EXPECT_EQ(hitregion_find(59.99f, 59.99f)->kind, HITREGION_KIND_BUTTON);
    EXPECT_EQ(hitregion_find(60, 55)->kind, HITREGION_KIND_PASSIVE);
    EXPECT_EQ(hitregion_find(55, 60)->kind, HITREGION_KIND_PASSIVE);
    EXPECT_EQ(hitregion_find(49.99f, 55)->kind, HITREGION_KIND_PASSIVE);
    EXPECT_EQ(hitregion_find(100, 5), nullptr);
    EXPECT_EQ(hitregion_find(-0.01f, 5), nullptr);
    EXPECT_EQ(hitregion_id_at(1, 1), 1ull << 48 | 1);
    EXPECT_EQ(hitregion_id_at(55, 55), 1ull << 48 | 2);

    hit_fresh();
    for (int i = 0; i < HITREGION_CAPACITY + 1; ++i)
        hitregion_add(nullptr, HitRect{(float)i, 0, 1, 1}, HITREGION_KIND_BUTTON);
    hitregion_frame_begin();
    EXPECT_EQ(hitregion_id_at(HITREGION_CAPACITY - 1 + 0.5f, 0.5f), 1ull << 48 | HITREGION_CAPACITY);
    EXPECT_EQ(hitregion_find(HITREGION_CAPACITY + 0.5f, 0.5f), nullptr);
}

TEST(HitRegion, TaggedIdsAreStableAndColoursAreKept)
{
    hit_fresh();
    const float red[4] = {1, 0, 0, 0.5f};
    hitregion_add_coloured(nullptr, HitRect{0, 0, 10, 10}, HITREGION_KIND_PASSIVE, red);
    hitregion_add_tagged(nullptr, HitRect{20, 0, 10, 10}, HITREGION_KIND_CHIP, 0xDEADBEEF);
    hitregion_frame_begin();
    EXPECT_EQ(hitregion_id_at(25, 5), 1ull << 48 | 1ull << 32 | 0xDEADBEEF);
    EXPECT_EQ(hitregion_find(5, 5)->colour[3], 0.5f);
    EXPECT_EQ(hitregion_find(25, 5)->colour[0], 1.0f);
    EXPECT_EQ(hitregion_id_at(50, 50), 0u);

    // Without the first region, the tagged one keeps its id.
    hitregion_add_tagged(nullptr, HitRect{20, 0, 10, 10}, HITREGION_KIND_CHIP, 0xDEADBEEF);
    hitregion_frame_begin();
    EXPECT_EQ(hitregion_id_at(25, 5), 1ull << 48 | 1ull << 32 | 0xDEADBEEF);
}

TEST(HitRegion, SuppressedRegistrationsAreDroppedUntilEveryPushIsPopped)
{
    hit_fresh();
    hitregion_suppress(true);
    hitregion_suppress(true);
    hitregion_add(nullptr, HitRect{0, 0, 10, 10}, HITREGION_KIND_BUTTON);
    hitregion_suppress(false);
    hitregion_add(nullptr, HitRect{0, 0, 10, 10}, HITREGION_KIND_BUTTON);
    hitregion_suppress(false);
    hitregion_suppress(false);   // an extra pop does not go below zero
    hitregion_add(nullptr, HitRect{20, 0, 10, 10}, HITREGION_KIND_BUTTON);
    hitregion_frame_begin();
    EXPECT_EQ(hitregion_find(5, 5), nullptr);
    EXPECT_EQ(hitregion_id_at(25, 5), 1ull << 48 | 1);
}

TEST(HitRegion, KitAndCanvasUnitsLandInWindowPixels)
{
    hit_fresh();
    // Canvas: origin (100, 50), scale 2.
    HitMap canvas = hitregion_map_canvas(100, 50, 2);
    hitregion_add(&canvas, HitRect{10, 10, 20, 5}, HITREGION_KIND_BUTTON);   // (120, 70) .. (160, 80)
    // Kit: the library open in a 620 x 1010 window (scale 0.5, x = 0 at 300, y = 0 at
    // 235), translated by (-600, 10).
    DrawKit kit{};
    kit.left_w = 600;
    draw_frame_layout(&kit, 620, 1010);
    kit.translate_x = -600;
    kit.translate_y = 10;
    HitMap km = hitregion_map_kit(&kit);
    hitregion_add_tagged(&km, HitRect{0, 0, 40, 40}, HITREGION_KIND_BUTTON, 7);   // (0, 240) .. (20, 260)
    hitregion_frame_begin();

    EXPECT_NE(hitregion_find(120, 70), nullptr);
    EXPECT_EQ(hitregion_find(119.9f, 70), nullptr);
    EXPECT_EQ(hitregion_find(160, 75), nullptr);
    EXPECT_TRUE(hitregion_same(&canvas, 130, 75, HitRect{10, 10, 20, 5}));
    EXPECT_FALSE(hitregion_same(&canvas, 130, 75, HitRect{10, 10, 20, 6}));   // 2 px taller

    float x, y;
    draw_map_point(&kit, 0, 0, &x, &y);
    EXPECT_NEAR(x, 0, 1e-3);
    EXPECT_NEAR(y, 240, 1e-3);
    EXPECT_EQ(hitregion_id_at(0.01f, 240.01f), 1ull << 48 | 1ull << 32 | 7);
    EXPECT_EQ(hitregion_id_at(19.9f, 259.9f), 1ull << 48 | 1ull << 32 | 7);
    EXPECT_EQ(hitregion_id_at(20, 250), 0u);
    EXPECT_TRUE(hitregion_same(&km, 10, 250, HitRect{0, 0, 40, 40}));
}

TEST(Theme, PaletteIsTheFixedTable)
{
    const ThemePalette* p = theme_palette();
    ASSERT_EQ(p, theme_palette());
    const int rgb[THEME_COLOURS][3] = {{12, 12, 13},   {24, 24, 26},   {190, 193, 198}, {226, 229, 233},
                                       {246, 247, 249}, {62, 63, 66},   {122, 124, 128}, {242, 242, 242},
                                       {235, 235, 235}, {235, 66, 77},  {242, 122, 31},  {92, 158, 235}};
    for (int i = 0; i < THEME_COLOURS; ++i) {
        for (int c = 0; c < 3; ++c)
            EXPECT_FLOAT_EQ(p->colours[i][c], rgb[i][c] / 255.0f) << i;
        EXPECT_EQ(p->colours[i][3], 1.0f);
    }
    EXPECT_FLOAT_EQ(p->colours[THEME_BLUE][2], 235 / 255.0f);
}
