// The per-frame update against an engine driven by hand: counters into toasts,
// flashes and particles; the session-take and settings autosaves; meters, clip
// lights, the waveform overview, pad targets and sparks; and shutdown.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/session_take.h"
#include "app/meter.h"
#include "app/toast.h"
#include "audio/engine_retire.h"
#include "audio/vst.h"
#include "tests/app/app_test.h"
#include "tests/audio/preview_kit.h"
#include "tests/audio/vst_mock_impl.h"
#include "library/library.h"
#include "support/library_kit.h"

namespace {

int live_toasts(const AppState* app)
{
    int n = 0;
    for (const Toast& t : app->toasts)
        n += t.alpha > 0.0f;
    return n;
}

// ---------------------------------------------------------------------------
// Engine counters
// ---------------------------------------------------------------------------

TEST_F(AppTest, ARecordedLoopShowsOneMagentaToastWithItsLengthAFlashAndABurst)
{
    e->record = 1;
    run_callback(96000, 0.3f);
    e->record = 0;
    run_callback(1, 0.3f);
    ASSERT_EQ(e->length.load(), 96000);

    app_update(app, 0.01f);
    ASSERT_EQ(live_toasts(app), 1);
    const Toast& t = app->toasts[0];
    EXPECT_STREQ(t.text, "LOOP SET 2.0S");
    EXPECT_EQ(t.colour, 0xFF8000FFu);
    EXPECT_NEAR(app->flashes[FLASH_LOOP_SET].value, 1.0f - 0.01f / 0.9f, 1e-6);
    EXPECT_NEAR(app->shake, 0.8f * std::exp(-0.075f), 1e-6);
    EXPECT_EQ(live_particles(), 90);

    float shake = app->shake;
    app_update(app, 0.01f);
    EXPECT_EQ(live_toasts(app), 1);
    EXPECT_EQ(app->toast_next, 1);
    EXPECT_LT(app->shake, shake);
    EXPECT_EQ(live_particles(), 90);
}

TEST_F(AppTest, ALoopWrapFlashesTheBeatAndShakesOnlyWhileWriting)
{
    e->wrap_count.fetch_add(1);
    app_update(app, 0.0f);
    EXPECT_EQ(app->flashes[FLASH_BEAT].value, 1.0f);
    EXPECT_EQ(app->shake, 0.0f);
    EXPECT_EQ(live_particles(), 0);

    e->record = 1;
    e->wrap_count.fetch_add(1);
    app_update(app, 0.0f);
    EXPECT_FLOAT_EQ(app->shake, 0.12f);
    EXPECT_EQ(live_particles(), 14);
    EXPECT_EQ(app->particles.slots[0].colour, TOAST_RED);

    e->record = 0;
    app->hold_dub_held = 1;
    e->wrap_count.fetch_add(1);
    app_update(app, 0.0f);
    EXPECT_FLOAT_EQ(app->shake, 0.24f);
    EXPECT_EQ(live_particles(), 28);
}

TEST_F(AppTest, ASetClipFlagLightsItsLightAndIsCleared)
{
    e->input_clip = 1;
    app_update(app, 0.05f);
    EXPECT_EQ(e->input_clip.load(), 0);
    EXPECT_NEAR(app->input_clip, 1.0f - 0.65f * 0.05f, 1e-6);
    EXPECT_EQ(app->output_clip, 0.0f);

    e->output_clip = 1;
    frames(20);
    EXPECT_EQ(e->output_clip.load(), 0);
    EXPECT_GT(app->output_clip, 0.5f);
    EXPECT_LT(app->input_clip, app->output_clip);
}

// ---------------------------------------------------------------------------
// Toasts
// ---------------------------------------------------------------------------

TEST_F(AppTest, AFifthToastReplacesTheOldestAndLongTextsAreCut)
{
    const char* texts[5] = {"ONE", "TWO", "THREE", "FOUR", "FIVE"};
    for (const char* s : texts)
        toast_show(app, s, TOAST_TEAL);
    EXPECT_STREQ(app->toasts[0].text, "FIVE");
    EXPECT_STREQ(app->toasts[1].text, "TWO");
    EXPECT_STREQ(app->toasts[3].text, "FOUR");
    EXPECT_EQ(app->toast_next, 1);

    char long_text[100];
    std::memset(long_text, 'X', sizeof long_text - 1);
    long_text[99] = '\0';
    toast_show(app, long_text, TOAST_RED);
    EXPECT_EQ(std::strlen(app->toasts[1].text), 63u);
    EXPECT_EQ(app->toasts[1].colour, TOAST_RED);
    EXPECT_EQ(app->toasts[1].alpha, 1.0f);
    EXPECT_FLOAT_EQ(app->toasts[1].seconds, 2.4f);
}

TEST_F(AppTest, AToastFadesOutOver2Point4Seconds)
{
    toast_show(app, "CLEARED", TOAST_GREY);
    frames(47);   // 2.35 s
    EXPECT_GT(app->toasts[0].alpha, 0.0f);
    EXPECT_LT(app->toasts[0].alpha, 0.05f);
    frames(2);
    EXPECT_EQ(app->toasts[0].alpha, 0.0f);
}

// ---------------------------------------------------------------------------
// Session take and settings autosave
// ---------------------------------------------------------------------------

TEST_F(AppTest, TheSessionTakeIsSavedOnceAfterTheLoopIsStillFor0Point6Seconds)
{
    e->length = 96000;
    e->content_generation.fetch_add(1);
    uint32_t written = session_wav_writes_completed();
    int fired_at = 0;
    for (int i = 1; i <= 40; i++) {
        app_update(app, 0.05f);
        if (saved() && !fired_at)
            fired_at = i;
    }
    // The first frame sees the change; 0.6 s of quiet is 12 more frames of 0.05 s.
    EXPECT_GE(fired_at, 13);
    EXPECT_LE(fired_at, 14);
    ASSERT_TRUE(session_wav_wait(kWriteLimitMs));   // the writer is a real thread
    EXPECT_EQ(session_wav_writes_completed(), written + 1);
    EXPECT_TRUE(std::filesystem::exists(takes.path / app->session_name));

    // A change that keeps coming (every 0.5 s) is never saved; once it stops, it is.
    for (int i = 0; i < 60; i++) {
        if (i % 10 == 0)
            e->content_generation.fetch_add(1);
        app_update(app, 0.05f);
    }
    ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
    EXPECT_EQ(session_wav_writes_completed(), written + 1);
    frames(14);
    ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
    EXPECT_EQ(session_wav_writes_completed(), written + 2);
}

TEST_F(AppTest, TheSessionTakeIsNeverSavedWhileRecordingOrHoldDubbing)
{
    e->length = 96000;
    e->record = 1;
    e->content_generation.fetch_add(1);
    frames(40);
    EXPECT_FALSE(saved());
    e->record = 0;
    e->hold_dub = 1;
    frames(40);
    EXPECT_FALSE(saved());
    e->hold_dub = 0;
    frames(1);
    EXPECT_TRUE(saved());
}

TEST_F(AppTest, TheSessionTakeWaitsForABusyWriter)
{
    e->length = 96000;
    e->content_generation.fetch_add(1);
    session_wav_test_hold(true);
    frames(20);
    ASSERT_TRUE(saved());
    e->content_generation.fetch_add(1);
    frames(40);
    EXPECT_FALSE(saved());
    session_wav_test_hold(false);
    ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
    frames(1);
    EXPECT_TRUE(saved());
    ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
}

TEST_F(AppTest, ATakeWrittenWithinOneFrameStillRescansTheShownLibrary)
{
    app->library_shown = 1;
    e->length = 96000;
    e->content_generation.fetch_add(1);
    frames(13);
    ASSERT_TRUE(saved());
    ASSERT_TRUE(session_wav_wait(kWriteLimitMs));   // ends within the frame
    frames(1);
    EXPECT_EQ(app->take_count, 1);

    // A writer that finishes frames later is noticed once as well. The list is
    // emptied here, so only a new reading of the folder fills it again.
    app->take_count = 0;
    session_wav_test_hold(true);
    e->content_generation.fetch_add(1);
    frames(20);
    ASSERT_TRUE(saved());
    EXPECT_TRUE(app->session_saving);
    EXPECT_EQ(app->take_count, 0);
    session_wav_test_hold(false);
    ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
    frames(3);
    EXPECT_FALSE(app->session_saving);
    EXPECT_EQ(app->take_count, 1);

    // With the library hidden the take list is left alone.
    app->library_shown = 0;
    app->take_count = 0;
    e->content_generation.fetch_add(1);
    frames(20);
    ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
    frames(3);
    EXPECT_EQ(app->take_count, 0);
}

TEST_F(AppTest, SettingsAreSavedOnlyWhenTheirTextChangedAndAtMostEveryHalfSecond)
{
    frames(40);
    EXPECT_EQ(settings_saves(), 1);   // the first text differs from none written
    frames(40);
    EXPECT_EQ(settings_saves(), 1);

    app->gain = 0.5f;
    frames(11);
    EXPECT_EQ(settings_saves(), 2);
    frames(40);
    EXPECT_EQ(settings_saves(), 2);

    // A change on every frame for 2 s is written at most every 0.5 s.
    for (int i = 0; i < 40; i++) {
        app->pan = (float)i / 40.0f;
        app_update(app, 0.05f);
    }
    EXPECT_GE(settings_saves(), 5);
    EXPECT_LE(settings_saves(), 6);
}

TEST_F(AppTest, ASettingsTextOf8192BytesIsNeverSaved)
{
    // Every text at its widest and numbers far outside their ranges bring the text
    // close to its limit; the video path then sets its exact length.
    std::memset(app->folder_tree_state, 'f', sizeof app->folder_tree_state - 1);
    std::memset(app->favourites_state, 'v', sizeof app->favourites_state - 1);
    std::memset(app->session_name, 's', sizeof app->session_name - 1);
    app->video_in = app->video_out = DBL_MAX;
    app->gain = app->pan = app->library_gain = app->library_zoom = app->inputs_scroll = FLT_MAX;
    app->take_scroll = app->library_tab = app->inputs_selected = INT32_MIN;
    e->gate_threshold = e->wet_dry = e->crossfade = FLT_MAX;
    vst_mock_reset();
    std::string long_path(511, 'p');
    for (FxSlot& s : e->slots) {
        s.knob1 = s.knob2 = FLT_MAX;
        engine_publish_plugin(e, &s.plugin, vst_load_entry(long_path.c_str(), vst_mock_entry, 48000.0f, 4096, nullptr, 0));
    }
    engine_publish_plugin(e, &e->instrument, vst_load_entry(long_path.c_str(), vst_mock_entry, 48000.0f, 4096, nullptr, 0));
    size_t base = settings_format(app, nullptr, 0) + std::strlen("vidpath=\n");
    ASSERT_LT(base, (size_t)APP_SETTINGS_TEXT);
    size_t room = APP_SETTINGS_TEXT - base;
    ASSERT_LT(room, sizeof app->video_path);

    std::memset(app->video_path, 'w', room);
    frames(40);
    EXPECT_EQ(settings_saves(), 0);
    EXPECT_FALSE(std::filesystem::exists(data.path / "tessel.ini"));
    app->video_path[room - 1] = '\0';
    frames(40);
    EXPECT_EQ(settings_saves(), 1);
    EXPECT_EQ(std::strlen(app->settings_last), (size_t)APP_SETTINGS_TEXT - 1);
    EXPECT_EQ(std::filesystem::file_size(data.path / "tessel.ini"), (uintmax_t)APP_SETTINGS_TEXT - 1);

    for (FxSlot& s : e->slots)
        engine_retire_plugin(e, &s.plugin);
    engine_retire_plugin(e, &e->instrument);
}

TEST_F(AppTest, TheUpdateRunsTheTakeLoaderEveryFrameAndIdentifiesOnlyWhileAsked)
{
    // Five unknown files that do not exist: each step tries one and marks it failed.
    app->picker.count = 5;
    for (int i = 0; i < 5; i++)
        snprintf(app->picker.entries[i].path, sizeof app->picker.entries[i].path, "/nonexistent/p%d.so", i);
    // A take that cannot load: the update takes the loader's answer and says so.
    take_load_start(app, "/nonexistent/take.wav");
    test_wait_until([] { return take_load_state() == 0; }, [&] { frames(1); }, 5);
    EXPECT_EQ(take_load_state(), 0) << "the loader still busy after a minute";
    EXPECT_FALSE(app->take_loading);
    EXPECT_STREQ(app->toasts[(app->toast_next + APP_TOASTS - 1) % APP_TOASTS].text, "CAN'T LOAD THAT");
    frames(5);
    EXPECT_EQ(app->picker.identify_next, 0);
    app->picker.identifying = 1;
    frames(2);
    EXPECT_EQ(app->picker.identify_next, 0);
    app->picker.open = 1;
    frames(3);
    EXPECT_EQ(app->picker.identify_next, 3);
    EXPECT_EQ(app->picker.kind[2], 3);
    EXPECT_EQ(app->picker.kind[3], 0);
}

// ---------------------------------------------------------------------------
// Meters, overview, pad, sparks
// ---------------------------------------------------------------------------

TEST(Meter, TheDbScaleReadsZeroAtOrBelowATenthOfAMillivoltAndOneAtFullScale)
{
    EXPECT_EQ(meter_db_fraction(0.001f), 0.0f);
    EXPECT_EQ(meter_db_fraction(0.0f), 0.0f);
    EXPECT_EQ(meter_db_fraction(-1.0f), 0.0f);
    EXPECT_EQ(meter_db_fraction(NAN), 0.0f);
    EXPECT_GT(meter_db_fraction(0.0011f), 0.0f);
    EXPECT_FLOAT_EQ(meter_db_fraction(1.0f), 1.0f);
    EXPECT_FLOAT_EQ(meter_db_fraction(4.0f), 1.0f);
    EXPECT_NEAR(meter_db_fraction(0.1f), 2.0f / 3.0f, 1e-6);
}

TEST(Meter, APeakHoldsFor0Point8SecondsThenFallsAt0Point55PerSecondToZero)
{
    Meter m{};
    meter_follow(&m, 0.9f, 0.125f);
    EXPECT_EQ(m.level, 0.9f);
    EXPECT_EQ(m.peak, 0.9f);
    for (int i = 0; i < 6; i++)   // 0.75 s
        meter_follow(&m, 0.0f, 0.125f);
    EXPECT_EQ(m.peak, 0.9f);
    EXPECT_LT(m.level, 0.01f);
    meter_follow(&m, 0.0f, 0.125f);   // 0.875 s
    EXPECT_FLOAT_EQ(m.peak, 0.9f - 0.55f * 0.125f);
    meter_follow(&m, 0.0f, 0.125f);
    EXPECT_FLOAT_EQ(m.peak, 0.9f - 2 * 0.55f * 0.125f);
    for (int i = 0; i < 40; i++)
        meter_follow(&m, 0.0f, 0.125f);
    EXPECT_GE(m.peak, 0.0f);
    EXPECT_LT(m.peak, 1e-6f);   // down with the level, which only eases towards 0

    // A new high restarts the hold.
    meter_follow(&m, 0.5f, 0.125f);
    meter_follow(&m, 0.2f, 0.125f);
    EXPECT_EQ(m.peak, 0.5f);
    EXPECT_FLOAT_EQ(m.level, 0.2f + 0.3f * (1 - 5.5f * 0.125f));
}

TEST_F(AppTest, TheMetersFollowTheEnginePeaksOnTheDbScale)
{
    e->input_peak = 1.0f;
    e->output_peak = 0.1f;
    app_update(app, 0.05f);
    EXPECT_EQ(app->input_meter.level, 1.0f);
    EXPECT_EQ(app->input_meter.peak, 1.0f);
    EXPECT_NEAR(app->output_meter.level, 2.0f / 3.0f, 1e-6);
    EXPECT_NEAR(app->out_level.target, 2.0f / 3.0f, 1e-6);
    EXPECT_NEAR(app->smoothed_level, 2.0f / 3.0f * 0.2f, 1e-6);
}

TEST_F(AppTest, TheMetersFallWhileTheStreamIsStopped)
{
    run_callback(128, 1.0f);
    app_update(app, 0.05f);
    ASSERT_EQ(app->input_meter.level, 1.0f);
    engine_stop(e);
    frames(40);
    EXPECT_LT(app->input_meter.level, 0.01f);
    EXPECT_LT(app->output_meter.level, 0.01f);
    EXPECT_LT(app->input_meter.peak, 0.5f);
}

TEST_F(AppTest, TheOverviewOfASilentLoopStaysFlatAndALoudColumnReadsOne)
{
    e->length = 48000;
    frames(10);
    for (int i = 0; i < APP_OVERVIEW_COLUMNS; i++) {
        ASSERT_EQ(app->overview_target_left[i], 0.0f);
        ASSERT_EQ(app->overview_left[i], 0.0f);
        ASSERT_EQ(app->overview_right[i], 0.0f);
    }

    // A quiet loop is not blown up to full height: the normaliser stays at 0.05.
    for (int f = 0; f < 48000; f++)
        e->loop_left[f] = e->loop_right[f] = 0.01f;
    frames(10);
    EXPECT_NEAR(app->overview_target_left[0], 0.2f, 1e-6);
    EXPECT_NEAR(app->overview_right[179], 0.2f, 1e-3);

    // Column 90 covers frames 24000 .. 24266 of 48,000.
    for (int f = 24000; f < 24266; f++)
        e->loop_left[f] = 0.5f;
    frames(10);
    EXPECT_FLOAT_EQ(app->overview_target_left[90], 1.0f);
    EXPECT_NEAR(app->overview_left[90], 1.0f, 1e-3);
    EXPECT_NEAR(app->overview_target_left[89], 0.02f, 1e-6);
    EXPECT_NEAR(app->overview_target_right[90], 0.02f, 1e-6);
}

TEST_F(AppTest, PadTargetsFollowGainAndPanOrTheEffectMix)
{
    app->gain = 2.0f;
    app->pan = 1.0f;
    frames(60);
    EXPECT_FLOAT_EQ(app->pad_x.target, 1.0f);
    EXPECT_FLOAT_EQ(app->pad_y.target, 0.0f);
    EXPECT_NEAR(app->pad_x.value, 1.0f, 0.01f);
    EXPECT_NEAR(app->pad_y.value, 0.0f, 0.01f);

    app->pad_mode = 1;
    e->crossfade = 0.25f;
    e->wet_dry = 0.75f;
    app_update(app, 0.05f);
    EXPECT_FLOAT_EQ(app->pad_x.target, 0.75f);
    EXPECT_FLOAT_EQ(app->pad_y.target, 0.25f);
}

TEST_F(AppTest, SparksFollowThePlayHeadWhileRecordingOrHoldDubbing)
{
    e->position = 12000;
    app_update(app, 0.05f);
    EXPECT_EQ(live_particles(), 0);

    // The first take: no loop length yet, the head sits at the right edge.
    e->record = 1;
    app_update(app, 0.05f);   // 192 x 0.05 is above any draw: two sparks every frame
    ASSERT_EQ(live_particles(), 2);
    EXPECT_FLOAT_EQ(app->particles.slots[0].x, 598.0f);
    EXPECT_EQ(app->particles.slots[0].colour, TOAST_RED);

    e->record = 0;
    app->hold_dub_held = 1;
    e->length = 48000;
    app_update(app, 0.05f);
    EXPECT_FLOAT_EQ(app->particles.slots[2].x, 42.0f + 0.25f * 556.0f);
    EXPECT_EQ(app->particles.slots[2].colour, TOAST_ORANGE);

    e->playing = 0;
    int before = live_particles();
    app_update(app, 0.01f);
    EXPECT_EQ(live_particles(), before);
}

TEST_F(AppTest, InitSetsTheDefaultsAndTheUpdateSpringsPadsBack)
{
    EXPECT_EQ(app->engine, e);
    EXPECT_EQ(app->overdub, 1);
    EXPECT_EQ(app->gain, 1.0f);
    EXPECT_EQ(app->random_state, 0xC0FFEEu);
    EXPECT_EQ(app->particles.state, 0xBEEFu);
    EXPECT_EQ(app->inputs_selected, -1);
    EXPECT_EQ(app->clicked_key, -1);
    EXPECT_STREQ(app->program_folder, "/opt/tessel");
    EXPECT_FLOAT_EQ(app->pads[PAD_STOP].pulse.duration, 0.35f);

    // A press knocks a pad down; it springs back towards 1.
    app->pads[PAD_RECORD].spring.value = 0.82f;
    app->pads[PAD_RECORD].pulse.value = 1.0f;
    frames(30);
    EXPECT_NEAR(app->pads[PAD_RECORD].spring.value, 1.0f, 0.01f);
    EXPECT_EQ(app->pads[PAD_RECORD].pulse.value, 0.0f);
}

// ---------------------------------------------------------------------------
// Shutdown
// ---------------------------------------------------------------------------

TEST_F(AppTest, ShutdownRetiresPluginsTheRenderHookAndTheLibrary)
{
    vst_mock_reset();
    char err[128] = {};
    VstPlugin* loaded[3];
    for (VstPlugin*& p : loaded) {
        p = vst_load_entry("mock", vst_mock_entry, 48000.0f, 4096, err, sizeof err);
        ASSERT_NE(p, nullptr) << err;
    }
    engine_publish_plugin(e, &e->slots[0].plugin, loaded[0]);
    engine_publish_plugin(e, &e->slots[3].plugin, loaded[1]);
    engine_publish_plugin(e, &e->instrument, loaded[2]);
    ASSERT_EQ(g_vst_mock.stats.alive.load(), 3);

    int fake;
    app->musical_typing = 1;
    LibraryKit kit;
    app->library = library_create();
    ASSERT_NE(app->library, nullptr);
    app->folder_tree = (FolderTree*)&fake;
    app->favourites = (FavouritesPanel*)&fake;
    // A player with a take playing and the one it replaced retired: both are freed
    // (the leak check would name any left).
    PreviewPlayer player;
    preview_init(&player);
    float l[8] = {}, r[8] = {};
    for (int i = 0; i < 2; i++) {
        preview_load(&player, preview_kit_buffer(2, 48000.0, 100), true);
        preview_render(&player, l, r, 8, 48000.0);
    }
    ASSERT_NE(player.retired.load(), nullptr);
    app->preview = &player;
    app->video_player = video_player_create();
    ASSERT_NE(app->video_player, nullptr);
    engine_set_render_hook(e, [](void*, float*, float*, int32_t, double) {}, app);

    app_shutdown(app);
    for (const FxSlot& s : e->slots)
        EXPECT_EQ(s.plugin.load(), nullptr);
    EXPECT_EQ(e->instrument.load(), nullptr);
    EXPECT_EQ(g_vst_mock.stats.alive.load(), 0);   // all three closed and unloaded
    EXPECT_EQ(app->musical_typing, 0);
    EXPECT_EQ(e->render_hook.load(), nullptr);
    EXPECT_EQ(e->render_hook_ctx.load(), nullptr);
    EXPECT_EQ(app->library, nullptr);
    EXPECT_EQ(app->folder_tree, nullptr);
    EXPECT_EQ(app->favourites, nullptr);
    EXPECT_EQ(app->video_player, nullptr);   // destroyed: the leak check names a player left
    EXPECT_FALSE(preview_is_playing(&player));
    EXPECT_EQ(player.current.load(), nullptr);
    EXPECT_EQ(player.pending.load(), nullptr);
    EXPECT_EQ(player.retired.load(), nullptr);
}

}  // namespace
