// The library views' pure helpers: sizes, the struck band's closed form, ages, and
// paths left out of the browser's state texts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "library/folder_tree.h"
#include "library/views/favourites_panel.h"
#include "library/views/library_view.h"
#include "library/views/viz.h"
#include "support/library_kit.h"

namespace {

TEST(Viz, SizesAgesAndTheBandMotion)
{
    struct Size {
        uint64_t bytes;
        const char* text;
    };
    for (const Size& s : {Size{0, ""}, Size{1023, "1023 B"}, Size{1024, "1 KB"}, Size{1048576, "1.0 MB"},
                          Size{1073741824ull, "1.00 GB"}}) {
        char out[32];
        format_size(s.bytes, out, sizeof out);
        EXPECT_STREQ(out, s.text);
    }
    // The band's closed form is continuous where the strike lets go, and still before it.
    const float level = 0.5f, d = (0.88f * level + 0.12f) * 10.0f;
    float a, ga, b, gb;
    viz_band_motion(d, level, &a, &ga);
    viz_band_motion(d + 1e-4f, level, &b, &gb);
    EXPECT_NEAR(a, b, 1e-2f);
    for (float x : {-1.5f, std::nanf("")}) {
        viz_band_motion(x, level, &a, &ga);
        EXPECT_EQ(a, 0.0f);
        EXPECT_EQ(ga, 0.0f);
    }
    // Ages, with an injected now and the zone set.
    setenv("TZ", "UTC", 1);
    tzset();
    const double now = 1735689600000.0;   // 2025-01-01 00:00 UTC
    struct Age {
        double ago_s;
        const char* text;
    };
    for (const Age& g : {Age{30, "NOW"}, Age{120, "2 M"}, Age{7200, "2 H"}, Age{3 * 86400, "3 D"},
                         Age{29 * 86400, "DEC 3"}}) {
        char out[32];
        library_format_age(now - g.ago_s * 1000.0, now, out, sizeof out);
        EXPECT_STREQ(out, g.text);
    }
    unsetenv("TZ");
    tzset();
}

TEST(Viz, PathsWithBarsOrLineFeedsAreLeftOutOfTheStateTexts)
{
    LibraryKit kit;
    namespace fs = std::filesystem;
    fs::create_directories(kit.path("root/x\n3|/etc"));
    fs::create_directories(kit.path("root/plain"));
    FolderTree* t = foldertree_create();
    ASSERT_TRUE(foldertree_set_root(t, kit.path("root").c_str()));
    for (int i = 0; i < foldertree_count(t); i++)
        foldertree_expand(t, i);
    foldertree_select(t, 1);   // "x\n3|/etc" sorts after "plain"
    char text[2048];
    ASSERT_TRUE(foldertree_state_string(t, text, sizeof text));
    EXPECT_EQ(std::string(text), kit.path("root") + "||" + kit.path("root/plain"));
    foldertree_destroy(t);
    FavouritesPanel* p = favpanel_create();
    std::snprintf(p->selected, sizeof p->selected, "%s", kit.path("root/x\n3|/etc").c_str());
    ASSERT_TRUE(favpanel_state_string(p, text, sizeof text));
    EXPECT_STREQ(text, "");
    favpanel_free(p);
}

}  // namespace
