// The take view: its range strip's control, marks and window through the view's
// mouse, the tempo row's grid against the loop panel's, and segments exported into the
// loops folder and handed to the drag.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL.h>
#include <gtest/gtest.h>

#include "audio/audiofile.h"
#include "audio/wav_read.h"
#include "library/bar_export.h"
#include "library/library.h"
#include "library/take_range.h"
#include "platform/plat_dragout.h"
#include "platform/plat_file.h"
#include "support/click_tracks.h"
#include "support/library_kit.h"

namespace fs = std::filesystem;

namespace {

std::string read_file(const std::string& path)
{
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

TEST(TakeRange, PressesDragsAndReleases)
{
    struct Step {
        char what;            // p press, m motion, r release
        bool left;
        float x, y;
        int32_t action;
        float a, b;
    };
    struct Case {
        const char* name;
        float w;
        TakeRangeState s;
        int32_t drag;         // after the first step
        std::vector<Step> steps;
    } cases[] = {
        {"an out-mark drag within 14 units of the end of an unmarked take", 600, {0, 0.54f, 0.02f, 0, 0, 1, 1},
         TAKE_RANGE_OUT_MARK, {{'p', true, 590, 4, TAKE_ACTION_OUT, 590 / 600.0f, 0}}},
        {"a left edge stops 12 units short on 600", 600, {0.2f, 0.6f, 0.02f, 0, 0, 1, 1}, TAKE_RANGE_LEFT_EDGE,
         {{'p', true, 120, 15, 0, 0, 0}, {'m', true, 600, 15, TAKE_ACTION_EDGE, 0.58f, 0.6f},
          {'r', true, 600, 15, TAKE_ACTION_END, 0, 0}}},
        {"and 0.04 short on 300", 300, {0.2f, 0.6f, 0.02f, 0, 0, 1, 1}, TAKE_RANGE_LEFT_EDGE,
         {{'p', true, 60, 15, 0, 0, 0}, {'m', true, 300, 15, TAKE_ACTION_EDGE, 0.56f, 0.6f}}},
        {"the lower half prefers the edge", 600, {0.2f, 0.6f, 0.02f, 1, 0.2f, 0.6f, 1}, TAKE_RANGE_LEFT_EDGE,
         {{'p', true, 121, 15, 0, 0, 0}}},
        {"the upper half the mark", 600, {0.2f, 0.6f, 0.02f, 1, 0.2f, 0.6f, 1}, TAKE_RANGE_IN_MARK,
         {{'p', true, 121, 4, TAKE_ACTION_IN, 121 / 600.0f, 0}}},
        {"a right press outside centres the window, then moves it; the left release is ignored", 600,
         {0, 0.2f, 0.02f, 0, 0, 1, 1}, TAKE_RANGE_MOVE,
         {{'p', false, 300, 10, TAKE_ACTION_MOVE, 0.4f, 0.6f}, {'m', false, 360, 10, TAKE_ACTION_MOVE, 0.5f, 0.7f},
          {'r', true, 360, 10, 0, 0, 0}, {'m', false, 600, 10, TAKE_ACTION_MOVE, 0.8f, 1.0f},
          {'r', false, 600, 10, TAKE_ACTION_END, 0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TakeRange r{};
        bool first = true;
        for (const Step& st : c.steps) {
            TakeAction a{};
            bool taken = st.what == 'p'   ? take_range_press(&r, &c.s, c.w, 20, st.left, st.x, st.y, &a)
                         : st.what == 'm' ? take_range_motion(&r, &c.s, c.w, 20, st.x, st.y, &a)
                                          : take_range_release(&r, c.w, st.left, st.x, &a);
            EXPECT_TRUE(taken) << st.what;
            if (first) {
                EXPECT_EQ(r.drag, c.drag);
            }
            first = false;
            EXPECT_EQ(a.kind, st.action) << st.what << " " << st.x;
            if (st.action && st.action != TAKE_ACTION_END) {
                EXPECT_NEAR(a.a, st.a, 1e-5) << st.what << " " << st.x;
                if (st.action >= TAKE_ACTION_EDGE) {
                    EXPECT_NEAR(a.b, st.b, 1e-5) << st.what << " " << st.x;
                }
            }
        }
    }
    // Nothing is hit outside the strip or on a strip too small to use.
    TakeRange r{};
    TakeAction a;
    TakeRangeState s{0, 0.5f, 0.02f, 0, 0, 1, 1};
    EXPECT_FALSE(take_range_press(&r, &s, 600, 20, true, 700, 5, &a));
    EXPECT_FALSE(take_range_press(&r, &s, 2, 20, true, 1, 5, &a));
}

class TakeViewTest : public ::testing::Test {
protected:
    LibraryKit kit;
    LibraryWithPlayer with;
    Library* lib = with.lib;

    // Loads path as the take in the player and waits for it.
    LibraryItem* load(const std::string& path)
    {
        EXPECT_TRUE(library_add_file(lib, path.c_str(), true));
        EXPECT_TRUE(library_kit_pump(lib, [&] { return !lib->loading && library_loaded_item(lib); }));
        return library_loaded_item(lib);
    }
    void layout() { lib->take.wave = CanvasRect{0, 0, 600, 90}; }
};

TEST_F(TakeViewTest, MarksAndTheWindowThroughTheMouse)
{
    library_set_reference_length(lib, 8.0f);
    LibraryItem* item = load(kit.wav("two.wav", 96000));
    ASSERT_NE(item, nullptr);
    EXPECT_FLOAT_EQ(lib->zoom, 1.0f);   // 8 s of reference: a 2 s take all visible
    layout();
    // Marks 0.2..0.5; the in-mark dragged past the out-mark leaves them 0.002 apart,
    // written to marks.ini only on the release.
    library_set_marks(lib, item, 0.2f, 0.5f);
    std::string marks = kit.data_dir() + "/marks.ini";
    std::string before = read_file(marks);
    ASSERT_TRUE(library_take_press(lib, SDL_BUTTON_LEFT, 1, 0.2f * 600, 40));
    EXPECT_EQ(lib->take.mark_drag, 1);
    library_take_motion(lib, 0.8f * 600, 40);
    EXPECT_NEAR(item->mark_in, 0.8f, 1e-6);
    EXPECT_NEAR(item->mark_out, 0.802f, 1e-6);
    EXPECT_EQ(read_file(marks), before);
    library_take_release(lib, SDL_BUTTON_LEFT, 0.8f * 600, 40);
    EXPECT_NE(read_file(marks).find("0.800000 0.802000"), std::string::npos);

    // A double click on the out-mark of 0..0.5 clears the marks.
    library_set_marks(lib, item, 0.0f, 0.5f);
    ASSERT_TRUE(library_take_press(lib, SDL_BUTTON_LEFT, 2, 0.5f * 600 + 3, 40));
    EXPECT_EQ(item->has_marks, 0);
    EXPECT_FLOAT_EQ(item->mark_out, 1.0f);
}

} // namespace

namespace {

int g_drag_answer = 1;
std::string g_dragged;
int fake_drag(SDL_Window*, const char* const* paths, int count)
{
    g_dragged = count > 0 ? paths[0] : "";
    return g_drag_answer;
}

class ExportTest : public TakeViewTest {
protected:
    std::string home, old_home, old_config;
    void SetUp() override
    {
        old_home = std::getenv("HOME") ? std::getenv("HOME") : "";
        old_config = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
        home = kit.dir() + "/home";
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        unsetenv("XDG_MUSIC_DIR");
        dragout_set_override(fake_drag);
        g_drag_answer = 1;
        g_dragged.clear();
    }
    void TearDown() override
    {
        dragout_set_override(nullptr);
        setenv("HOME", old_home.c_str(), 1);
        if (old_config.empty())
            unsetenv("XDG_CONFIG_HOME");
        else
            setenv("XDG_CONFIG_HOME", old_config.c_str(), 1);
    }
    // The take loaded, its tempo found and its grid on a 600-unit waveform.
    void analysed(const std::string& path)
    {
        library_set_tempo_row(lib, true);
        ASSERT_NE(load(path), nullptr);
        layout();
        ASSERT_TRUE(library_kit_pump(lib, [&] { return lib->take.found != 0; }, 60.0));
    }
    const SampleBuffer* take() { return lib->player->pending.load(); }
};

TEST_F(ExportTest, ASegmentIsWrittenBitForBitAndDraggedOut)
{
    std::string tracks[2] = {click_track_c120(kit.dir()), click_track_c97(kit.dir())};
    for (const std::string& track : tracks) {
        SCOPED_TRACE(track);
        analysed(track);
        for (float volume : {1.0f, 0.5f}) {
            library_set_volume(lib, volume);
            LibrarySegment seg;
            ASSERT_TRUE(library_segment(lib, 1, &seg));
            g_dragged.clear();
            library_export_bar(lib, 1, 10.0);
            EXPECT_STREQ(lib->take.status, "SAVED  Music/TideCoil/Loops");
            ASSERT_EQ(g_dragged.rfind(home + "/Music/TideCoil/Loops/", 0), 0u) << g_dragged;
            FILE* f = std::fopen(g_dragged.c_str(), "rb");
            ASSERT_NE(f, nullptr);
            WavFormat h;
            const char* word = nullptr;
            ASSERT_EQ(wav_read_header(f, &h, &word), WAV_OK);
            std::fclose(f);
            EXPECT_EQ(h.format, 3);
            EXPECT_EQ(h.bits, 32);
            EXPECT_EQ(h.sample_rate, 48000u);
            SampleBuffer out;
            char err[64];
            ASSERT_EQ(audiofile_load_into(g_dragged.c_str(), &out, nullptr, err, sizeof err), 0);
            const SampleBuffer* b = take();
            int64_t first = (int64_t)std::floor(b->sample_rate * seg.start);
            EXPECT_EQ(out.frames, (int64_t)std::floor(b->sample_rate * seg.length + 0.5));
            int64_t bad = 0;
            for (int64_t i = 0; i < out.frames * 2; i++)
                bad += out.samples[i] != b->samples[first * 2 + i] * volume;
            EXPECT_EQ(bad, 0);
            sample_buffer_free(&out);
        }
        // The second export of the same segment (the volume at 0.5) took " (2)".
        EXPECT_NE(g_dragged.find(" (2).wav"), std::string::npos) << g_dragged;
    }
    // The drag's three answers become the row's status.
    const struct {
        int answer;
        const char* status;
    } answers[] = {{1, "SAVED  Music/TideCoil/Loops"}, {0, "SAVED  Music/TideCoil/Loops"}, {-1, "CAN'T DRAG OUT"}};
    for (const auto& c : answers) {
        g_drag_answer = c.answer;
        lib->take.status[0] = '\0';
        library_export_bar(lib, 0, 20.0);
        EXPECT_STREQ(lib->take.status, c.status);
    }
    // Without a music folder nothing is written.
    unsetenv("HOME");
    unsetenv("XDG_CONFIG_HOME");
    g_dragged.clear();
    library_export_bar(lib, 1, 30.0);
    EXPECT_STREQ(lib->take.status, "NO LOOPS FOLDER");
    EXPECT_EQ(g_dragged, "");
    // Out-of-range segments do not exist.
    EXPECT_FALSE(library_segment(lib, -1, nullptr));
    SegmentGrid g;
    ASSERT_TRUE(library_segment_grid(lib, &g));
    EXPECT_FALSE(library_segment(lib, g.count, nullptr));
}

// An export killed mid-write (SIGXFSZ past 4 KiB) leaves no torn loop under its name.
TEST_F(ExportTest, AKillMidWriteLeavesNoTornLoopUnderItsName)
{
    analysed(click_track_c120(kit.dir()));
    pid_t child = fork();
    if (child == 0) {
        struct rlimit none = {0, 0}, lim = {4096, 4096};
        setrlimit(RLIMIT_CORE, &none);
        signal(SIGXFSZ, SIG_DFL);
        setrlimit(RLIMIT_FSIZE, &lim);
        library_export_bar(lib, 1, 10.0);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    library_export_bar(lib, 1, 20.0);   // the next one takes the segment's own name
    ASSERT_EQ(g_dragged.rfind(home + "/Music/TideCoil/Loops/", 0), 0u) << "no export was made: " << g_dragged;
    EXPECT_EQ(g_dragged.find(" (2)"), std::string::npos) << g_dragged;
}

// Where renames that never replace are refused, a hard link puts the loop in place;
// where links are refused too, a reservation of its name does; where even that fails,
// nothing is written.
TEST_F(ExportTest, WithoutNoReplaceRenamesALinkPutsTheLoopInPlace)
{
    analysed(click_track_c120(kit.dir()));
    const struct {
        int link_err, reserved_err;
        const char* status;
    } cases[] = {{0, 0, "SAVED  Music/TideCoil/Loops"},
                 {EPERM, 0, "SAVED  Music/TideCoil/Loops"},
                 {EPERM, EIO, "CAN'T WRITE THE LOOP"}};
    double now = 10.0;
    for (const auto& c : cases) {
        plat_file_fake_rename_refusals(EINVAL, c.link_err, c.reserved_err);
        library_export_bar(lib, 1, now += 10.0);
        plat_file_fake_rename_refusals(0, 0);
        EXPECT_STREQ(lib->take.status, c.status);
    }
    auto files = std::distance(fs::directory_iterator(home + "/Music/TideCoil/Loops"), fs::directory_iterator());
    EXPECT_EQ(files, 2);
}

TEST(LoopNames, TakeNamesFileNamesAndTheUriList)
{
    const struct {
        const char* item;
        const char* take;
    } names[] = {{"a/b:c", "a_b_c"}, {"song.v2", "song"}, {"take.abcdef", "take.abcdef"}, {"take.abc", "take"},
                 {".hidden", ".hidden"}, {"q?\"*<>|\\\x01", "q________"}};
    for (const auto& n : names) {
        char out[200];
        bar_export_take_name(n.item, out, sizeof out);
        EXPECT_STREQ(out, n.take) << n.item;
    }
    LibrarySegment full{nullptr, 8.0, 8.0, 120.0f, 4, 0, 1.0f}, part{nullptr, 16.0, 1.25, 120.0f, 4, 1, 1.0f};
    char path[300];
    ASSERT_TRUE(bar_export_file_name("/m", "a_b_c", &full, 0, 1, path, sizeof path));
    EXPECT_STREQ(path, "/m/a_b_c  bar 1  4 bars  120 bpm.wav");
    ASSERT_TRUE(bar_export_file_name("/m", "t", &part, 3, 3, path, sizeof path));
    EXPECT_STREQ(path, "/m/t  end  2.5 beats  120 bpm (3).wav");
    full.bars_per_segment = 1;
    ASSERT_TRUE(bar_export_file_name("/m", "t", &full, 4, 1, path, sizeof path));
    EXPECT_STREQ(path, "/m/t  bar 5  1 bar  120 bpm.wav");

    const char* paths[2] = {"/tmp/a b%c\xc3\xa9.wav", "/x"};
    char list[128];
    ASSERT_TRUE(dragout_uri_list(paths, 2, list, sizeof list));
    EXPECT_STREQ(list, "file:///tmp/a%20b%25c%C3%A9.wav\r\nfile:///x\r\n");
    EXPECT_FALSE(dragout_uri_list(paths, 2, list, 20));
}

} // namespace
