// The beat grid of the take in the library player: the grid's formulas, click tracks
// analysed the way the program analyses them, and bars sent to the loop.
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/take_grid.h"
#include "app/takes.h"
#include "app/toast.h"
#include "app_test.h"
#include "audio/audiofile.h"
#include "audio/looper.h"
#include "audio/preview.h"
#include "audio/wav_read.h"
#include "support/click_tracks.h"
#include "support/library_kit.h"
#include "library/library.h"

namespace fs = std::filesystem;

namespace {

TEST(SegmentGrid, TheFormulasCutATakeIntoSegments)
{
    struct Case {
        const char* what;
        double bpm, first_beat, seconds;
        int32_t bars, shift;
        bool grid;
        double start;
        int32_t count, lead;
    } cases[] = {
        {"lead, two full, a 0.4 s rest", 120, 0.1, 16.5, 4, 0, true, 0.1, 4, 1},
        {"a first beat within 0.02 s", 120, 0.015, 16.5, 4, 0, true, 0.0, 3, 0},
        {"shift +1 beat", 120, 0.1, 16.5, 1, 1, true, 0.6, 9, 1},
        {"shift -1 is S - 1", 120, 0.1, 16.5, 1, -1, true, 1.6, 9, 1},
        {"shift 3", 120, 0.1, 16.5, 1, 3, true, 1.6, 9, 1},
        {"shift by a whole segment", 120, 0.1, 16.5, 1, 4, true, 0.1, 10, 1},
        {"a rest of 0.015 s only", 120, 0.0, 0.015, 1, 0, false, 0, 0, 0},
        {"no tempo", 0, 0.0, 16.5, 1, 0, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SegmentGridInput in{c.bpm, c.first_beat, (int64_t)std::llround(c.seconds * 1000), 1000.0, c.bars, c.shift, 568};
        SegmentGrid g;
        ASSERT_EQ(segment_grid_make(&in, &g), c.grid) << c.what;
        if (!c.grid)
            continue;
        EXPECT_NEAR(g.start, c.start, 1e-9) << c.what;
        EXPECT_EQ(g.count, c.count) << c.what;
        EXPECT_EQ(g.lead, c.lead) << c.what;
        EXPECT_GE(g.segment_width, 44.0f - 1e-4f) << c.what;
    }

    // The first case's segments: 0..0.1, 0.1..8.1, 8.1..16.1, 16.1..16.5 (partial).
    SegmentGridInput in{120, 0.1, 16500, 1000.0, 4, 0, 568};
    SegmentGrid g;
    ASSERT_TRUE(segment_grid_make(&in, &g));
    const double bounds[4][2] = {{0, 0.1}, {0.1, 8.1}, {8.1, 16.1}, {16.1, 16.5}};
    for (int32_t k = 0; k < 4; k++) {
        double s, e;
        ASSERT_TRUE(segment_grid_bounds(&g, k, &s, &e));
        EXPECT_NEAR(s, bounds[k][0], 1e-9);
        EXPECT_NEAR(e, bounds[k][1], 1e-9);
        EXPECT_EQ(segment_grid_at(&g, (s + e) / 2), k);
        EXPECT_EQ(segment_grid_partial(&g, k), k == 0 || k == 3);
    }
    EXPECT_FALSE(segment_grid_bounds(&g, -1, nullptr, nullptr));
    EXPECT_FALSE(segment_grid_bounds(&g, 4, nullptr, nullptr));
    EXPECT_EQ(segment_grid_at(&g, 17.0), -1);

    // A hop of 10 frames (1500 BPM at 1 kHz) builds no envelope; 16 frames do.
    std::vector<float> s(16000, 0.5f);
    int32_t n = -1;
    EXPECT_EQ(segment_envelope_make(s.data(), 1, 16000, 1000.0, 1500.0, &n), nullptr);
    EXPECT_EQ(n, 0);
    float* env = segment_envelope_make(s.data(), 1, 16000, 1000.0, 937.5, &n);
    ASSERT_NE(env, nullptr);
    EXPECT_EQ(n, 1001);
    EXPECT_FLOAT_EQ(env[0], 0.5f);
    std::free(env);
}

// Click tracks made by sox, decoded into the player and analysed frame by frame.
class ClickTrackTest : public AppTest {
public:
    PreviewPlayer player;
    static constexpr double kBeat97 = CLICK_BEAT_97;

    void SetUp() override
    {
        AppTest::SetUp();
        preview_init(&player);
        app->preview = &player;
    }
    void TearDown() override
    {
        app->preview = nullptr;
        take_grid_free(app);
        app->take_grid = TakeGridState{};
        SampleBuffer* cur = nullptr;
        preview_detach_buffers(&player, &cur, nullptr);
        sample_buffer_destroy(cur);
        AppTest::TearDown();
    }
    fs::path make_c120() { return click_track_c120(takes.path.string()); }
    fs::path make_c97() { return click_track_c97(takes.path.string()); }
    // Decodes path into the player as its current buffer and analyses it.
    void analyse(const fs::path& path)
    {
        SampleBuffer* old = nullptr;
        preview_detach_buffers(&player, &old, nullptr);
        sample_buffer_destroy(old);
        SampleBuffer* b = sample_buffer_create();
        char err[128];
        ASSERT_EQ(audiofile_load_into(path.c_str(), b, nullptr, err, sizeof err), 0) << err;
        preview_load(&player, b, false);
        player.current.store(player.pending.exchange(nullptr));
        take_beat_analysis(app);
        for (int i = 0; i < 200 && !app->take_grid.has_result; i++)
            take_beat_analysis(app);
        ASSERT_TRUE(app->take_grid.has_result);
    }
    const SampleBuffer* buffer() { return player.current.load(); }
};

TEST_F(ClickTrackTest, EveryGridBeatLiesOnAClickAndBarsBecomeTheLoop)
{
    struct Track {
        const char* name;
        fs::path (ClickTrackTest::*make)();
        double first_click, beat;
        int32_t bars;
        int32_t segment;          // the first full segment
        int64_t expected;         // frames of a true segment at 48 kHz
    } tracks[] = {
        {"c120", &ClickTrackTest::make_c120, 0.0, 0.5, 1, 1, 96000},
        {"c97", &ClickTrackTest::make_c97, 0.30, kBeat97, 2, 1, 237528},
    };
    for (const Track& t : tracks) {
        SCOPED_TRACE(t.name);
        analyse((this->*t.make)());
        app->bars_per_segment = t.bars;
        TakeBeatGrid g;
        ASSERT_TRUE(take_beat_grid(app, &g));
        double clicks_end = buffer()->frames / 48000.0;
        double phase = std::fmod(app->take_grid.first_beat, g.beat);
        for (double b = phase; b < clicks_end - 0.05; b += g.beat) {
            double k = std::round((b - t.first_click) / t.beat);
            double click = t.first_click + std::max(0.0, k) * t.beat;
            ASSERT_LT(std::fabs(b - click), 0.02) << "beat at " << b;
        }
        double s, e;
        ASSERT_TRUE(segment_grid_bounds(&g, t.segment, &s, &e));
        take_bars_to_loop(app, t.segment);
        ASSERT_TRUE(wait_ends());
        int32_t n = this->e->length.load();
        EXPECT_EQ(n, (int32_t)std::llround((e - s) * 48000.0));
        EXPECT_LT(std::fabs((double)n - t.expected), t.expected * 0.001);
        // At the take's own rate the loop's samples are the take's frames from the one
        // nearest the segment's start.
        const float* left = this->e->loop_left;
        const SampleBuffer* b = buffer();
        int64_t first = std::llround(s * b->sample_rate);
        for (int32_t i : {0, 1, 4801, n / 2, n - 1})
            EXPECT_EQ(left[i], b->samples[(first + i) * b->channels]) << i;
        take_grid_free(app);
        app->take_grid = TakeGridState{};
    }
}

TEST_F(ClickTrackTest, TheShortTrackLeadsToItsFirstClickAndAShiftFindsTheAccent)
{
    analyse(make_c97());
    app->bars_per_segment = 1;
    TakeBeatGrid g;
    ASSERT_TRUE(take_beat_grid(app, &g));
    EXPECT_EQ(g.lead, 1);
    EXPECT_NEAR(g.start, 0.30, 0.02);
    take_grid_shift(app, 2);
    ASSERT_TRUE(take_beat_grid(app, &g));
    EXPECT_NEAR(g.start, 0.30 + 2 * kBeat97, 0.02);   // the first accent, 1.537 s

    // The take view's tempo row cuts the same segments at the same width.
    LibraryKit kit;
    LibraryWithPlayer with;
    LibraryTake& t = with.lib->take;
    const TakeGridState& st = app->take_grid;
    t.buffer = st.buffer;
    t.frames = st.frames;
    t.rate = st.rate;
    t.found = 1;
    t.bpm = st.bpm;
    t.first_beat = st.first_beat;
    t.shift = st.shift;
    t.wave.w = TAKE_GRID_STRIP_WIDTH;
    with.lib->bars_per_segment = app->bars_per_segment;
    SegmentGrid lg;
    ASSERT_TRUE(library_segment_grid(with.lib, &lg));
    ASSERT_EQ(lg.count, g.count);
    for (int32_t k = 0; k < g.count; k++) {
        double s0, e0;
        LibrarySegment seg;
        ASSERT_TRUE(segment_grid_bounds(&g, k, &s0, &e0));
        ASSERT_TRUE(library_segment(with.lib, k, &seg));
        EXPECT_DOUBLE_EQ(seg.start, s0);
        EXPECT_DOUBLE_EQ(seg.length, e0 - s0);
    }
    t.buffer = nullptr;

    // A new take resets the shift.
    analyse(make_c97());
    EXPECT_EQ(app->take_grid.shift, 0);
}

TEST_F(ClickTrackTest, ATakeSwappedWhileAnalysingIsNeverReadAgain)
{
    fs::path c120 = make_c120();
    for (int swap = 0; swap < 3; swap++) {
        SampleBuffer* old = nullptr;
        preview_detach_buffers(&player, &old, nullptr);
        sample_buffer_destroy(old);   // freed between two frames, as the library does
        SampleBuffer* b = sample_buffer_create();
        char err[128];
        ASSERT_EQ(audiofile_load_into(c120.c_str(), b, nullptr, err, sizeof err), 0);
        preview_load(&player, b, false);
        player.current.store(player.pending.exchange(nullptr));
        for (int i = 0; i < 3; i++)
            take_beat_analysis(app);
        EXPECT_EQ(app->take_grid.buffer, b);
        EXPECT_FALSE(app->take_grid.has_result);
    }
}


TEST_F(ClickTrackTest, BarsSentToTheLoopSaveTheOldLoopAndStartANewTake)
{
    // A loop saved as "old.wav", then changed and not saved yet.
    std::vector<float> a(4800, 0.25f), b(9600, 0.5f);
    ASSERT_TRUE(loop_set_buffers(e, a.data(), a.data(), 4800));
    snprintf(app->session_name, sizeof app->session_name, "old.wav");
    ASSERT_TRUE(save());
    ASSERT_TRUE(loop_set_buffers(e, b.data(), b.data(), 9600));
    analyse(make_c120());
    app->bars_per_segment = 1;
    take_bars_to_loop(app, 1);
    ASSERT_TRUE(wait_ends());
    ASSERT_NEAR(e->length.load(), 96000, 96);
    // The old take holds the changed loop; the bars go to a name of their own.
    EXPECT_NEAR(wav_duration_seconds((takes.path / "old.wav").c_str()), 9600 / 48000.0, 1e-4);
    EXPECT_EQ(app->session_name[0], '\0');
    ASSERT_TRUE(save());
    ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
    EXPECT_STRNE(app->session_name, "old.wav");
    EXPECT_NEAR(wav_duration_seconds((takes.path / app->session_name).c_str()), e->length.load() / 48000.0, 1e-4);
    EXPECT_NEAR(wav_duration_seconds((takes.path / "old.wav").c_str()), 9600 / 48000.0, 1e-4);
}

} // namespace
