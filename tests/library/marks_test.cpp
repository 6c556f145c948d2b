// Marks and bar shifts: where the files live, what they read and write, the rules for
// setting marks, the loaded take's region, and files that survive failed writes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include <unistd.h>

#include "audio/preview.h"
#include "library/library.h"
#include "library/library_store.h"
#include "platform/plat_file.h"
#include "support/library_kit.h"
#include "tests/audio/preview_kit.h"

namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string& p)
{
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

LibraryItem item_at(const std::string& path)
{
    LibraryItem it = {};
    std::strcpy(it.path, path.c_str());
    return it;
}

class MarksTest : public ::testing::Test {
protected:
    LibraryKit kit;
    Library* lib = nullptr;

    void TearDown() override { library_destroy(lib); }
    std::string marks_file() const { return kit.data_dir() + "/marks.ini"; }
    std::string bars_file() const { return kit.data_dir() + "/bars.ini"; }
    void open_with(const std::string& marks, const std::string& bars)
    {
        fs::create_directories(kit.data_dir());
        std::ofstream(marks_file()) << marks;
        std::ofstream(bars_file()) << bars;
        lib = library_create();
        ASSERT_NE(lib, nullptr);
    }
};

TEST_F(MarksTest, TheFilesLiveInTheDataFolderAndLinesAreReadStrictly)
{
    std::string long_path = "/" + std::string(700, 'p');
    // An over-long line whose tail, read on its own, would look like an entry.
    std::string long_line = "0.1 0.2\t/" + std::string(800 - 11, 'x') + "0.3 0.4\t/tail.wav\n";
    open_with("0.250000 0.750000\t/takes/a.wav\r\n"
              "no tab here /takes/b.wav\n"
              "nan 0.5\t/takes/nan.wav\n"
              "words\t/takes/words.wav\n"
              "0.9 0.5\t/takes/crossed.wav\n"
              "0.1 0.2\t/takes/a.wav\n"
              "0.1 0.2\t\n" +
                  long_line + "0.1 0.2\t" + long_path + "\n" + "-2 5\t/takes/wide.wav",
              "3\t/takes/a.wav\n"
              "-1\t/takes/a.wav\n"
              "x\t/takes/x.wav\n"
              "99999999999\t/takes/huge.wav\n"
              "7 /takes/notab.wav\n");
    EXPECT_STREQ(lib->marks_path, marks_file().c_str());
    EXPECT_STREQ(lib->bars_path, bars_file().c_str());

    ASSERT_EQ(lib->marks_count, 3);
    EXPECT_STREQ(lib->marks[0].path, "/takes/a.wav");
    EXPECT_FLOAT_EQ(lib->marks[0].mark_in, 0.25f);
    EXPECT_FLOAT_EQ(lib->marks[0].mark_out, 0.75f);
    EXPECT_STREQ(lib->marks[1].path, "/takes/crossed.wav");   // brought in as setting does
    EXPECT_FLOAT_EQ(lib->marks[1].mark_in, 0.9f);
    EXPECT_FLOAT_EQ(lib->marks[1].mark_out, 0.902f);
    EXPECT_STREQ(lib->marks[2].path, "/takes/wide.wav");      // last line without an end
    EXPECT_FLOAT_EQ(lib->marks[2].mark_in, 0.0f);
    EXPECT_FLOAT_EQ(lib->marks[2].mark_out, 1.0f);
    EXPECT_EQ(library_find_marks(lib, "/tail.wav"), -1);

    ASSERT_EQ(lib->bars_count, 1);
    EXPECT_EQ(lib->bars[0].shift, 3);
    EXPECT_EQ(library_find_bars(lib, "/takes/huge.wav"), -1);

    LibraryItem it = item_at("/takes/a.wav");
    library_apply_marks(lib, &it);
    EXPECT_TRUE(it.has_marks);
    EXPECT_FLOAT_EQ(it.mark_in, 0.25f);
}

TEST_F(MarksTest, SettingFollowsItsRulesAndClearingIsForGood)
{
    open_with("0.1 0.2\t/takes/dup.wav\n0.3 0.4\t/takes/dup.wav\n", "");
    struct Seen {
        int calls = 0;
        bool has = false;
    } seen;
    lib->hook_ctx = &seen;
    lib->on_marks = [](void* ctx, const LibraryItem*, float, float, bool has) {
        ((Seen*)ctx)->calls++;
        ((Seen*)ctx)->has = has;
    };

    LibraryItem a = item_at("/takes/a.wav");
    library_set_marks(lib, &a, 0.9f, 0.5f);
    int32_t i = library_find_marks(lib, a.path);
    ASSERT_GE(i, 0);
    EXPECT_FLOAT_EQ(lib->marks[i].mark_in, 0.9f);
    EXPECT_FLOAT_EQ(lib->marks[i].mark_out, 0.902f);
    library_set_marks(lib, &a, 1.0f, 1.0f);
    EXPECT_FLOAT_EQ(lib->marks[i].mark_in, 0.998f);
    EXPECT_FLOAT_EQ(lib->marks[i].mark_out, 1.0f);
    library_set_marks(lib, &a, NAN, 0.5f);     // ignored
    EXPECT_FLOAT_EQ(lib->marks[i].mark_in, 0.998f);
    for (const char* p : {"/takes/x\n0.5 0.6\t/takes/other.wav", "/takes/y\r.wav"}) {   // line breaks: not kept
        LibraryItem bad = item_at(p);
        library_set_marks(lib, &bad, 0.2f, 0.4f);
    }
    EXPECT_EQ(seen.calls, 2);
    EXPECT_TRUE(seen.has);
    EXPECT_EQ(slurp(marks_file()), "0.100000 0.200000\t/takes/dup.wav\n0.998000 1.000000\t/takes/a.wav\n");

    // A path written twice by hand is cleared once and stays cleared.
    LibraryItem dup = item_at("/takes/dup.wav");
    library_clear_marks(lib, &dup);
    library_clear_marks(lib, &a);
    EXPECT_FALSE(seen.has);
    EXPECT_TRUE(fs::exists(marks_file()));
    EXPECT_EQ(slurp(marks_file()), "");
    library_destroy(lib);
    lib = library_create();
    EXPECT_EQ(lib->marks_count, 0);
}

TEST_F(MarksTest, TheLoadedTakesRegionFollowsItsMarks)
{
    open_with("", "");
    PreviewPlayer player;
    preview_init(&player);
    library_set_player(lib, &player);
    std::string take = kit.wav("take.wav", 4800);
    ASSERT_TRUE(library_add_file(lib, take.c_str(), true));
    ASSERT_TRUE(library_kit_pump(lib, [&] { return !lib->loading; }));
    LibraryItem* it = library_loaded_item(lib);
    ASSERT_NE(it, nullptr);
    EXPECT_FALSE(preview_region_active(&player));

    // The play head at the start lies in 0..0.5: the seek in place makes the player
    // take the new region up.
    library_set_marks(lib, it, 0.0f, 0.5f);
    EXPECT_TRUE(it->has_marks);
    EXPECT_TRUE(preview_region_active(&player));
    EXPECT_EQ(player.region_start.load(), 0);
    EXPECT_EQ(player.region_end.load(), 2400);
    library_set_marks(lib, it, 0.25f, 0.75f);
    EXPECT_EQ(player.region_start.load(), 1200);
    EXPECT_EQ(player.region_end.load(), 3600);
    library_clear_marks(lib, it);
    EXPECT_FALSE(it->has_marks);
    EXPECT_EQ(it->mark_out, 1.0f);
    EXPECT_FALSE(preview_region_active(&player));
    library_destroy(lib);
    lib = nullptr;
    preview_kit_empty(&player);
}

TEST_F(MarksTest, MegabyteFilesLoadWholeAndKeepTheirLookups)
{
    // About 1 MB each of distinct paths (bench_marks times such a load: checking each
    // line against every earlier entry takes tens of seconds, a hashed lookup well under
    // a second).
    std::string marks, bars;
    char line[64];
    for (int i = 0; marks.size() < (1 << 20); i++) {
        snprintf(line, sizeof line, "0.1 0.2\t/t/%07d.wav\n", i);
        marks += line;
        snprintf(line, sizeof line, "%d\t/t/%07d.wav\n", i % 7 + 1, i);
        bars += line;
    }
    open_with(marks + "0.3 0.4\t/t/0000007.wav\n", bars);
    const int32_t n = lib->marks_count;
    ASSERT_GT(n, 40000);
    EXPECT_EQ(lib->bars_count, n);
    // Lookups stay right after an entry leaves and the rest move up.
    LibraryItem gone = item_at("/t/0000007.wav");
    EXPECT_FLOAT_EQ(lib->marks[library_find_marks(lib, gone.path)].mark_in, 0.1f);
    library_clear_marks(lib, &gone);
    EXPECT_EQ(library_find_marks(lib, gone.path), -1);
    for (int i : {0, 6, 8, n - 1}) {
        snprintf(line, sizeof line, "/t/%07d.wav", i);
        EXPECT_EQ(library_find_marks(lib, line), i < 7 ? i : i - 1) << line;
        EXPECT_EQ(library_find_bars(lib, line), i) << line;
    }
}

TEST_F(MarksTest, ZeroShiftsLeaveTheBarsFile)
{
    open_with("", "");
    library_set_grid_shift(lib, "/takes/a.wav", 2);
    library_set_grid_shift(lib, "/takes/c\n3\t/takes/d.wav", 4);   // a line break: not kept
    library_set_grid_shift(lib, "/takes/b.wav", -5);
    EXPECT_EQ(slurp(bars_file()), "2\t/takes/a.wav\n-5\t/takes/b.wav\n");
    library_set_grid_shift(lib, "/takes/a.wav", 0);
    EXPECT_EQ(slurp(bars_file()), "-5\t/takes/b.wav\n");
    EXPECT_GE(library_find_bars(lib, "/takes/a.wav"), 0);   // kept in memory
}

TEST_F(MarksTest, AFailedWriteLeavesThePreviousFileWhole)
{
    open_with("0.100000 0.200000\t/takes/old.wav\n", "4\t/takes/old.wav\n");
    std::string marks_before = slurp(marks_file()), bars_before = slurp(bars_file());
    // A disk that takes no more than 16 bytes per file.
    ASSERT_TRUE(plat_file_fake_size_limit(16));
    LibraryItem it = item_at("/takes/new-take-with-a-long-name.wav");
    library_set_marks(lib, &it, 0.3f, 0.6f);
    library_set_grid_shift(lib, it.path, 3);
    EXPECT_FALSE(library_save_marks(lib));
    ASSERT_TRUE(plat_file_fake_size_limit(-1));
    EXPECT_EQ(slurp(marks_file()), marks_before);
    EXPECT_EQ(slurp(bars_file()), bars_before);
    for (const auto& e : fs::directory_iterator(kit.data_dir()))
        EXPECT_EQ(e.path().string().find(".tmp."), std::string::npos) << e.path();
    // The lists keep what was set, and the next write that can succeed carries it.
    EXPECT_TRUE(library_save_marks(lib));
    EXPECT_NE(slurp(marks_file()).find("new-take"), std::string::npos);
}

TEST(LibraryText, LinesAreMeasuredByTheBytesReadAndANulEndsOnlyItsLine)
{
    const std::string x797(797, 'x'), x798(798, 'x'), x799(799, 'x'), x800(800, 'x');
    const struct {
        std::string file;
        std::vector<std::string> lines;
    } cases[] = {
        {std::string("0.1 0.2\t/a\0tail\n0.3 0.4\t/b.wav\n", 30), {"0.1 0.2\t/a", "0.3 0.4\t/b.wav"}},
        {std::string("\0\n", 2) + "next", {"", "next"}},
        {x799, {x799}},                          // unterminated, just fits
        {x797 + "\r\n" + x800, {x797}},           // 800 unterminated: too long
        {x799 + "\nok", {"ok"}},                 // with its line feed: too long
        {x798 + "\n" + x798 + "\n", {x798, x798}},
    };
    LibraryKit kit;
    for (const auto& c : cases) {
        std::string p = kit.path("lines.txt");
        std::ofstream(p, std::ios::binary) << c.file;
        std::vector<std::string> seen;
        ASSERT_TRUE(library_text_read(
            p.c_str(),
            [](void* ctx, char* line) {
                ((std::vector<std::string>*)ctx)->push_back(line);
                return true;
            },
            &seen));
        EXPECT_EQ(seen, c.lines) << c.file.size();
    }
}

TEST(MarksPlace, WithoutAnyDataFolderTheFilesLiveInTheWorkingFolder)
{
    LibraryKit kit;
    char* home = getenv("HOME");
    std::string old_home = home ? home : "";
    char* xdg = getenv("XDG_CONFIG_HOME");
    std::string old_xdg = xdg ? xdg : "";
    char old_cwd[4096];
    ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
    ASSERT_EQ(chdir(kit.dir().c_str()), 0);
    unsetenv("APPDATA");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("HOME");

    Library* lib = library_create();
    ASSERT_NE(lib, nullptr);
    EXPECT_STREQ(lib->marks_path, "marks.ini");
    EXPECT_STREQ(lib->bars_path, "bars.ini");
    library_set_grid_shift(lib, "/takes/a.wav", 1);
    LibraryItem it = item_at("/takes/a.wav");
    library_set_marks(lib, &it, 0.1f, 0.2f);
    EXPECT_TRUE(fs::exists(kit.path("marks.ini")));
    EXPECT_TRUE(fs::exists(kit.path("bars.ini")));
    library_destroy(lib);

    // A data folder whose marks path would not fit is not cut short: the working folder.
    setenv("APPDATA", ("/" + std::string(250, 'd')).c_str(), 1);
    lib = library_create();
    ASSERT_NE(lib, nullptr);
    EXPECT_STREQ(lib->marks_path, "marks.ini");
    library_destroy(lib);

    ASSERT_EQ(chdir(old_cwd), 0);
    if (!old_home.empty())
        setenv("HOME", old_home.c_str(), 1);
    if (!old_xdg.empty())
        setenv("XDG_CONFIG_HOME", old_xdg.c_str(), 1);
}

} // namespace
