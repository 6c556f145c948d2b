// Take loading, the take list and the session take written through a temporary name.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include <sys/stat.h>

#include "app/take_names.h"
#include "app/toast.h"
#include "app/transport.h"
#include "library/folder_tree.h"
#include "library/views/library_view.h"
#include "audio/wav_read.h"
#include "app_test.h"
#include "audio/wav_write.h"
#include "platform/plat_file.h"
#include "platform/plat_time.h"

namespace fs = std::filesystem;

class TakesTest : public AppTest {
protected:
    fs::path wav(const char* name, int channels, int frames, double rate)
    {
        std::vector<float> s((size_t)channels * frames);
        for (int i = 0; i < frames; i++)
            for (int c = 0; c < channels; c++)
                s[(size_t)i * channels + c] = c == 0 ? 0.5f : -0.25f;
        fs::path p = takes.path / name;
        EXPECT_TRUE(wav_write_float(p.c_str(), s.data(), channels, frames, rate));
        return p;
    }
    // Runs frames until the loader is idle again (bounded).
    void finish_load()
    {
        test_wait_until([&] { return take_load_state() == 0 && !app->take_loading; }, [&] { app_update(app, 0.05f); }, 5);
        ASSERT_EQ(take_load_state(), 0) << "the loader still busy after a minute";
    }
    const char* toast_text() { return app->toasts[(app->toast_next + APP_TOASTS - 1) % APP_TOASTS].text; }
    static size_t bytes(const fs::path& p)   // a fingerprint of a file's bytes
    {
        std::ifstream in(p, std::ios::binary);
        return std::hash<std::string>{}(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    int32_t row_of(const char* name) const
    {
        auto is = [&](const auto& t) { return std::strcmp(t.name, name) == 0; };
        return (int32_t)(std::find_if(app->takes, app->takes + app->take_count, is) - app->takes);
    }
    // 1 kHz at 0.25 in the loop's right side passes; 30 kHz is kept out, not folded to 18 kHz.
    void expect_filtered() const
    {
        for (double hz : {1000.0, 18000.0}) {
            double re = 0.0, im = 0.0;
            for (int i = 2400; i < 2400 + 19200; i++) {
                re += e->loop_right[i] * std::cos(2.0 * M_PI * hz * i / 48000.0);
                im += e->loop_right[i] * std::sin(2.0 * M_PI * hz * i / 48000.0);
            }
            EXPECT_NEAR(2.0 * std::hypot(re, im) / 19200, hz < 2000.0 ? 0.25 : 0.0, hz < 2000.0 ? 0.01 : 0.005) << hz;
        }
    }
};

TEST_F(TakesTest, TwoSavesShareOneNameAndLeaveNoTemporaryFile)
{
    e->length = 4800;
    e->content_generation.fetch_add(1);
    ASSERT_TRUE(session_wav_save(app, true));
    std::string name = app->session_name;
    ASSERT_EQ(name.size(), std::strlen("tessel-20250101-000000.wav"));
    e->content_generation.fetch_add(1);
    ASSERT_TRUE(session_wav_save(app, false));
    ASSERT_TRUE(session_wav_wait(SESSION_WAIT_MS));
    EXPECT_EQ(std::string(app->session_name), name);
    int files = 0;
    for (const auto& f : fs::directory_iterator(takes.path)) {
        EXPECT_EQ(f.path().filename().string(), name);
        files++;
    }
    EXPECT_EQ(files, 1);
    EXPECT_NEAR(wav_duration_seconds((takes.path / name).c_str()), 0.1f, 1e-4);

    // An empty loop is never written.
    e->length = 0;
    app->session_name[0] = '\0';
    EXPECT_FALSE(session_wav_save(app, true));
    EXPECT_EQ(app->session_name[0], '\0');
}

TEST_F(TakesTest, AFailedWriteKeepsTheOldTakeAndIsReported)
{
    e->length = 48000;
    e->content_generation.fetch_add(1);
    ASSERT_TRUE(session_wav_save(app, true));
    fs::path file = takes.path / app->session_name;
    auto before = fs::file_size(file);
    e->length = 96000;
    e->content_generation.fetch_add(1);
    ASSERT_TRUE(plat_file_fake_size_limit(1000));
    EXPECT_FALSE(session_wav_save(app, true));
    plat_file_fake_size_limit(-1);
    EXPECT_EQ(fs::file_size(file), before);
    EXPECT_FALSE(fs::exists(file.string() + ".tmp"));
    frames(1);
    EXPECT_STREQ(toast_text(), "TAKE NOT SAVED");
    ASSERT_TRUE(plat_file_fake_size_limit(1000));
    transport_new_session(app);   // n on the full disk: the loop whose take was not saved stays
    ASSERT_TRUE(wait_ends());
    plat_file_fake_size_limit(-1);
    EXPECT_EQ(e->clear_request.load(), 0);

    // Once the disk has room again the take is written without the loop changing.
    frames(20);
    EXPECT_EQ(fs::file_size(file), before);   // not at once: the retry waits a while
    frames(130);
    ASSERT_TRUE(session_wav_wait(SESSION_WAIT_MS));
    EXPECT_GT(fs::file_size(file), before);
}

// Takes of the same second, or of another copy still writing one, keep their names.
TEST_F(TakesTest, ANewSessionNeverNamesAFileThatExists)
{
    double now = plat_wall_ms() / 1000.0;
    for (int k = -1; k < 10; k++) {   // the save may fall in any of the next seconds
        PlatLocalTime t{};
        ASSERT_TRUE(plat_local_time_of(now + k, &t));
        char one[80], two[80];
        ASSERT_TRUE(take_name_stamped("tessel-", &t, 1, one, 80) && take_name_stamped("tessel-", &t, 2, two, 80));
        std::ofstream(takes.path / one) << "older take";
        std::ofstream(takes.path / (std::string(two) + ".tmp.1")) << "another copy writes";
    }
    e->length = 4800;
    e->content_generation.fetch_add(1);
    ASSERT_TRUE(session_wav_save(app, true));
    EXPECT_TRUE(std::string(app->session_name).ends_with("-3.wav")) << app->session_name;
}

TEST_F(TakesTest, TheListHoldsTheNewestTakes)
{
    auto base = fs::file_time_type::clock::now() - std::chrono::hours(10);
    for (int i = 0; i < APP_TAKES_MAX + 44; i++) {
        char name[32];
        snprintf(name, sizeof name, "tessel-%03d.wav", i);
        std::ofstream(takes.path / name) << "x";
        fs::last_write_time(takes.path / name, base + std::chrono::seconds(i));
    }
    app_library_scan(app);
    ASSERT_EQ(app->take_count, APP_TAKES_MAX);
    EXPECT_STREQ(app->takes[APP_TAKES_MAX - 1].name, "tessel-044.wav");
}

// n while a writer is stuck: the frames run on, the loop stays, and once the writer is
// free the changed loop is written, then cleared.
TEST_F(TakesTest, AStuckWriterNeverFreezesTheUiAndItsLoopIsKept)
{
    e->length = 4800;
    e->content_generation.fetch_add(1);
    session_wav_test_hold(true);
    ASSERT_TRUE(session_wav_save(app, false));
    uint32_t writes = session_wav_writes_completed();
    e->content_generation.fetch_add(1);
    transport_new_session(app);
    app->ui_time += 0.5;
    frames(20);
    EXPECT_TRUE(take_waiting(app));
    EXPECT_EQ(e->clear_request.load(), 0);   // the loop under the writer stays
    EXPECT_STREQ(toast_text(), "SAVING TAKE...");
    session_wav_test_hold(false);
    ASSERT_TRUE(wait_ends());
    EXPECT_EQ(session_wav_writes_completed(), writes + 2);   // the held write, then the changed loop
    EXPECT_EQ(e->clear_request.load(), 1);
}

// n, a LOOPS row and an opened file each replace a cleared loop, and a first pass
// still recording, which is closed and saved as a take of its own first.
TEST_F(TakesTest, AClearedLoopOrARunningFirstPassGivesWayToTheNextTake)
{
    fs::path a = wav("a.wav", 2, 4800, 48000.0);
    auto first_passes_kept = [&] {
        int n = 0;
        for (const auto& f : fs::directory_iterator(takes.path))
            n += std::fabs(wav_duration_seconds(f.path().c_str()) - 0.5f) < 1e-3f;
        return n;
    };
    const char* toasts[] = {"NEW", "LOADED", "LOADED"};
    for (int c = 0; c < 6; c++) {   // n, a row, a file: after a clear, then in a first pass
        SCOPED_TRACE(c);
        int act = c % 3;
        app->session_name[0] = '\0';
        e->length = 4800;
        transport_clear(app);
        run_callback(128, 0.0f);
        e->record = c >= 3;
        e->playing = 1;
        run_callback(24000, 0.5f);
        app_library_scan(app);
        if (act == 0) {
            transport_new_session(app);
            ASSERT_TRUE(wait_ends());
            EXPECT_EQ(e->clear_request.exchange(0), 1);
        } else if (act == 1) {
            ASSERT_STREQ(app->takes[app->take_count - 1].name, "a.wav");
            take_load_into_loop(app, app->take_count - 1);
            ASSERT_TRUE(wait_ends());
        } else {
            take_load_start(app, a.c_str());
            finish_load();
        }
        EXPECT_STREQ(toast_text(), toasts[act]);
        ASSERT_TRUE(session_wav_wait(SESSION_WAIT_MS));
        EXPECT_EQ(first_passes_kept(), c < 3 ? 0 : c - 2);
        e->record = 0;
    }
}

// A close, e or n while recording, or right after a stop during an overdub, reads the
// loop once the fade and the run-out have written their tails (a first pass too, with
// the stream stopped or running: its ramp's tail cross-fades the seam). A second close
// request within a second of the first is the same close; a later one while the take
// settles writes it at once; one while the write runs, or after the close's write
// failed (the window stays), ends the program.
TEST_F(TakesTest, ACloseEOrNWritesTheSettledTakeAndASecondCloseNeverLosesIt)
{
    void (*space)(AppState*) = [](AppState* a) { transport_play_dir(a, false); };
    const struct {
        const char* what;
        char key;                  // 'x' for a close request
        void (*stop)(AppState*);   // before the key
        bool first_pass, running;
        double second;   // seconds from the first close request to the second, 0 for none
        bool hold_writer, disk_full, ends_at_second;
    } cases[] = {
        {"a close during a first pass, stream stopped", 'x', nullptr, true, false, 0.0, false, false, false},
        {"a close during a first pass, stream running", 'x', nullptr, true, true, 0.0, false, false, false},
        {"double-click while overdubbing", 'x', nullptr, false, true, 0.12, false, false, false},
        {"a later request while the take settles", 'x', nullptr, false, true, 1.5, false, false, false},
        {"a later request while the write runs", 'x', nullptr, false, true, 1.5, true, false, true},
        {"a request within a second of a failed write", 'x', nullptr, false, true, 0.5, false, true, false},
        {"a later request after a failed write", 'x', nullptr, false, true, 1.5, false, true, true},
        {"space then e", 'e', space, false, true, 0.0, false, false, false},
        {"s then e", 'e', transport_stop, false, true, 0.0, false, false, false},
        {"space then n", 'n', space, false, true, 0.0, false, false, false},
        {"n during an overdub", 'n', nullptr, false, true, 0.0, false, false, false},
    };
    std::vector<float> silence(24000, 0.0f);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& f : fs::directory_iterator(takes.path))
            fs::remove(f.path());
        app->closing = APP_CLOSING_NONE;
        if (c.first_pass) {
            transport_clear(app);
            run_callback(128, 0.0f);
            app->session_name[0] = '\0';
        } else {
            ASSERT_TRUE(loop_set_buffers(e, silence.data(), silence.data(), 24000));
            app->session_gen_saved = e->content_generation.load();
        }
        e->running = c.running;
        e->record = 1;
        e->playing = 1;
        run_callback(c.first_pass ? 24000 : 12000, 0.25f);
        if (c.stop)
            c.stop(app);
        app->ui_time = 10.0;
        uint32_t writes = session_wav_writes_completed();
        if (c.key == 'x')
            ASSERT_FALSE(app_close_request(app, 10.0));
        else
            (c.key == 'e' ? transport_export_wav : transport_new_session)(app);
        EXPECT_EQ(e->record.load(), 0);
        if (c.running) {
            EXPECT_FALSE(app_close_step(app));
            EXPECT_FALSE(loop_export_busy() || session_wav_busy() || session_wav_writes_completed() != writes)
                << "nothing reads the loop before the stream has run on";
        }
        if (c.disk_full)
            ASSERT_TRUE(plat_file_fake_size_limit(1000));
        if (c.hold_writer || c.disk_full) {
            session_wav_test_hold(c.hold_writer);
            for (int i = 0; i < 100 && !app->closing_written; i++) {
                run_callback(128, 0.25f);
                EXPECT_FALSE(app_close_step(app));
            }
            ASSERT_TRUE(app->closing_written);
        }
        if (c.disk_full) {
            ASSERT_TRUE(session_wav_wait(SESSION_WAIT_MS));
            EXPECT_FALSE(app_close_step(app));
            EXPECT_EQ(app->closing, APP_CLOSING_FAILED);
        }
        if (c.second > 0.0)
            EXPECT_EQ(app_close_request(app, 10.0 + c.second), c.ends_at_second);
        plat_file_fake_size_limit(-1);
        session_wav_test_hold(false);
        ASSERT_TRUE(session_wav_wait(SESSION_WAIT_MS));
        if (c.ends_at_second || c.disk_full)
            continue;
        bool ended = c.key != 'x' && wait_ends(0.25f);
        ended = ended || test_wait_until([&] { return app_close_step(app); }, [&] {
            if (c.running)
                run_callback(128, 0.25f);
        }, 1);
        ASSERT_TRUE(ended) << "the close never ended";
        ASSERT_TRUE(session_wav_wait(SESSION_WAIT_MS));
        auto files = std::vector<fs::path>(fs::directory_iterator(takes.path), fs::directory_iterator());
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0].filename().string().starts_with("tessel-loop-"), c.key == 'e');
        float *l = nullptr, *r = nullptr, worst = 0.0f;
        int32_t n = 0;
        ASSERT_TRUE(take_decode(files[0].c_str(), 48000.0, 1.0f, &l, &r, &n));
        for (int32_t i = 0; i < n; i++)
            worst = std::max({worst, std::fabs(l[i] - e->loop_left[i]), std::fabs(r[i] - e->loop_right[i])});
        free(l);
        free(r);
        EXPECT_EQ(n, e->length.load());
        EXPECT_LT(worst, c.second < 1.0 ? 1e-4f : 1.0f);   // a hurried write holds the loop as it was
    }
    e->running = 0;
}

TEST_F(TakesTest, DecodingResamplesSpreadsMonoAndRefusesHostileFiles)
{
    float *l = nullptr, *r = nullptr;
    int32_t n = 0;
    fs::path mono = wav("mono.wav", 1, 44100, 44100.0);
    ASSERT_TRUE(take_decode(mono.c_str(), 48000.0, 0.5f, &l, &r, &n));
    EXPECT_EQ(n, 48000);
    EXPECT_FLOAT_EQ(l[100], 0.25f);
    EXPECT_FLOAT_EQ(r[100], 0.25f);
    free(l);
    free(r);

    fs::path stereo = wav("stereo.wav", 2, 1000, 48000.0);
    ASSERT_TRUE(take_decode(stereo.c_str(), 48000.0, 1.0f, &l, &r, &n));
    EXPECT_EQ(n, 1000);
    EXPECT_FLOAT_EQ(r[999], -0.25f);
    free(l);
    free(r);

    // Garbage, an empty file and a FIFO are refused without hanging.
    std::ofstream(takes.path / "junk.wav") << "RIFF\x10\0\0\0WAVEjunkjunkjunk";
    std::ofstream(takes.path / "empty.wav");
    EXPECT_FALSE(take_decode((takes.path / "junk.wav").c_str(), 48000.0, 1.0f, &l, &r, &n));
    EXPECT_FALSE(take_decode((takes.path / "empty.wav").c_str(), 48000.0, 1.0f, &l, &r, &n));
    fs::path fifo = takes.path / "fifo.wav";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(take_decode(fifo.c_str(), 48000.0, 1.0f, &l, &r, &n));
    EXPECT_EQ(l, nullptr);
}

TEST_F(TakesTest, AnOpenedFileBecomesTheLoopOnceAndASecondWaits)
{
    fs::path a = wav("a.wav", 2, 4800, 48000.0);
    take_load_start(app, a.c_str());
    take_load_start(app, a.c_str());
    EXPECT_STREQ(toast_text(), "LOADING...");
    finish_load();
    EXPECT_EQ(e->length.load(), 4800);
    EXPECT_STREQ(toast_text(), "LOADED");
    EXPECT_EQ(app->session_name[0], '\0');

    take_load_start(app, (takes.path / "notes.txt").c_str());
    EXPECT_STREQ(toast_text(), "NOT AUDIO");
    std::ofstream(takes.path / "bad.wav") << "nonsense";
    take_load_start(app, (takes.path / "bad.wav").c_str());
    finish_load();
    EXPECT_STREQ(toast_text(), "CAN'T LOAD THAT");
    EXPECT_EQ(e->length.load(), 4800);
}

TEST_F(TakesTest, TheTreeMarksTheFileBeingDecodedAndTheLibraryWearsTheScreensColours)
{
    app_player_ensure(app);
    fs::path a = wav("a.wav", 2, 4800, 48000.0);
    take_load_start(app, a.c_str());
    EXPECT_STREQ(app->folder_tree->highlight, a.c_str());
    finish_load();
    EXPECT_STREQ(app->folder_tree->highlight, "");
    // The screen's background, panel, texts and accent in five slots (RGBA bytes); the
    // theme's colours in the others.
    float theme[LIBRARY_COLOURS][4];
    library_init_colours(theme);
    const struct {
        int slot;
        int rgba[4];
    } screen[] = {{0, {13, 17, 17, 150}},    {1, {23, 29, 29, 150}},     {3, {242, 242, 242, 255}},
                  {4, {148, 148, 148, 255}}, {5, {107, 230, 224, 255}}};
    for (int slot = 0; slot < LIBRARY_COLOURS; slot++) {
        const int* want = nullptr;
        for (const auto& s : screen)
            want = s.slot == slot ? s.rgba : want;
        for (int ch = 0; ch < 4; ch++) {
            long got = std::lround(app->library_colours[slot][ch] * 255);
            EXPECT_EQ(got, want ? want[ch] : std::lround(theme[slot][ch] * 255)) << "slot " << slot << " channel " << ch;
        }
    }
    app_shutdown(app);   // closes the library
}

TEST_F(TakesTest, TheTakeListIsNewestFirstAndAListedTakeLoadsIntoTheLoop)
{
    wav("old.wav", 2, 4800, 48000.0);
    wav("new.wav", 2, 9600, 48000.0);
    fs::last_write_time(takes.path / "old.wav", fs::file_time_type::clock::now() - std::chrono::hours(1));
    std::ofstream(takes.path / "notes.txt") << "x";
    fs::create_directory(takes.path / "dir.wav");
    app_library_scan(app);
    ASSERT_EQ(app->take_count, 2);
    EXPECT_STREQ(app->takes[0].name, "new.wav");
    EXPECT_NEAR(app->takes[0].seconds, 0.2f, 1e-4);

    take_load_into_loop(app, 1);

    ASSERT_TRUE(wait_ends());
    EXPECT_EQ(e->length.load(), 4800);
    EXPECT_STREQ(app->session_name, "old.wav");
    EXPECT_EQ(app->session_gen_saved, e->content_generation.load());
    EXPECT_STREQ(toast_text(), "LOADED");
    fs::remove(takes.path / "new.wav");
    take_load_into_loop(app, 0);
    ASSERT_TRUE(wait_ends());
    EXPECT_STREQ(toast_text(), "CANT LOAD");
    EXPECT_EQ(app->session_name[0], '\0');
}

TEST_F(TakesTest, AFileCutToTheLoopsLimitSaysSoWithTheLengthKept)
{
    const char* want = "LOADED, CUT TO 360.0S, 8K MADE 48K";
    take_load_start(app, wav("long.wav", 1, 8000 * 361, 8000.0).c_str());
    finish_load();
    EXPECT_EQ(e->length.load(), ENGINE_LOOP_CAPACITY);
    EXPECT_STREQ(toast_text(), want);
    app_library_scan(app);
    ASSERT_EQ(app->take_count, 1);
    take_load_into_loop(app, 0);
    ASSERT_TRUE(wait_ends());
    EXPECT_STREQ(toast_text(), want);
    // The cut loop is a new take: the file is never overwritten by it.
    EXPECT_EQ(app->session_name[0], '\0');
}

// A listed take the loop cannot hold as it is, or one another running copy saved over,
// starts a new take and its file stays as it is; a 96 kHz file is low-passed on both roads.
TEST_F(TakesTest, AListedTakeTheLoopCannotHoldAsItIsKeepsItsFile)
{
    std::vector<float> hi(48000);
    for (int i = 0; i < 48000; i++)
        hi[i] = (float)(0.25 * std::sin(2.0 * M_PI * 1000.0 * i / 96000.0) + 0.5 * std::sin(2.0 * M_PI * 30000.0 * i / 96000.0));
    ASSERT_TRUE(wav_write_float((takes.path / "hi.wav").c_str(), hi.data(), 1, 48000, 96000.0));
    wav("four.wav", 4, 4800, 48000.0);
    wav("shared.wav", 2, 4800, 48000.0);
    app_library_scan(app);
    const struct {
        const char *name, *toast;
        bool elsewhere;
    } cases[] = {{"four.wav", "LOADED, 4 CHANNELS, 2 KEPT", false},
                 {"hi.wav", "LOADED, 96K MADE 48K", false},
                 {"shared.wav", "TAKE CHANGED ELSEWHERE: NEW TAKE", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path file = takes.path / c.name;
        take_load_into_loop(app, row_of(c.name));
        if (file.filename() == "hi.wav")
            expect_filtered();
        if (c.elsewhere)   // the other copy saves its overdub over it, through its own temporary
            fs::rename(wav("theirs.wav", 2, 9600, 48000.0), file);
        size_t before = bytes(file);
        e->content_generation.fetch_add(1);   // a dub, then its save
        ASSERT_TRUE(session_wav_save(app, true));
        EXPECT_STREQ(toast_text(), c.toast);
        std::string ours = app->session_name;
        EXPECT_TRUE(ours.starts_with("tessel-")) << ours;
        e->content_generation.fetch_add(1);   // the next save goes on under the new name
        ASSERT_TRUE(session_wav_save(app, false));
        ASSERT_TRUE(session_wav_wait(SESSION_WAIT_MS));
        EXPECT_EQ(app->session_name, ours);
        EXPECT_TRUE(fs::exists(takes.path / ours));
        EXPECT_EQ(bytes(file), before);
    }
    take_load_start(app, (takes.path / "hi.wav").c_str());   // the other road
    finish_load();
    expect_filtered();
}

TEST_F(TakesTest, ListedTakesWithLongNamesLoadTheirOwnFile)
{
    // Two names alike in their first 138 bytes; a cut at 79 bytes would also split a
    // two-byte character.
    std::string common;
    for (int i = 0; i < 30; i++)
        common += "\xC3\xA9";   // é
    common = "take-" + std::string(73, 'x') + common;
    const struct {
        std::string name;
        int frames;
    } cases[] = {{common + "-first.wav", 4800}, {common + "-second.wav", 9600}, {"short.wav", 2400}};
    for (const auto& c : cases)
        wav(c.name.c_str(), 2, c.frames, 48000.0);
    app_library_scan(app);
    ASSERT_EQ(app->take_count, 3);
    for (int i = 0; i < 3; i++) {
        const auto* c = std::find_if(std::begin(cases), std::end(cases),
                                     [&](const auto& k) { return k.name == app->takes[i].name; });
        ASSERT_NE(c, std::end(cases)) << app->takes[i].name;
        take_load_into_loop(app, i);
        ASSERT_TRUE(wait_ends());
        EXPECT_STREQ(toast_text(), "LOADED") << c->name;
        EXPECT_EQ(e->length.load(), c->frames) << c->name;
        // A session name that cannot hold the take's name starts a new session take
        // rather than overwrite a file named like its beginning.
        EXPECT_STREQ(app->session_name, c->name.size() < sizeof app->session_name ? c->name.c_str() : "");
    }
}

TEST(TakeNames, VideosAndOpenableFiles)
{
    EXPECT_TRUE(is_video_file_name("/a/b.MP4"));
    EXPECT_TRUE(is_video_file_name("clip.webm"));
    EXPECT_FALSE(is_video_file_name("mp4"));
    EXPECT_TRUE(take_is_openable("x.flac"));
    EXPECT_FALSE(take_is_openable("x.txt"));
}
