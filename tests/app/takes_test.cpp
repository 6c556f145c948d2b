// Take loading, the take list and the session take written through a temporary name.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include <sys/stat.h>

#include "app/app_close.h"
#include "app/loop_export.h"
#include "app/panels/main/view_status.h"
#include "app/take_grid.h"
#include "app/take_names.h"
#include "app/toast.h"
#include "app/transport.h"
#include "library/folder_tree.h"
#include "library/views/library_view.h"
#include "audio/loop_file.h"
#include "audio/wav_read.h"
#include "app_test.h"
#include "tests/app/take_grid_kit.h"
#include "audio/wav_write.h"
#include "platform/plat_file.h"
#include "platform/plat_named_lock.h"
#include "platform/plat_time.h"
#include "tests/audio/media_fixture.h"

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
    std::string status()
    {
        char text[VIEW_STATUS_CAP];
        view_status_left_text(app, text, sizeof text);
        return text;
    }
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
    enum Road { DECODED, IMPORTED, BARS };
    static constexpr const char* kRoads[] = {"decoded take", "imported wav", "bars"};
    // The left side of the loop a road makes of file at the engine's rate (bars: of
    // segment 1 of the player's take); empty when the road failed.
    std::vector<float> through(Road road, const fs::path& file)
    {
        e->length.store(0);
        if (road == DECODED) {
            float *l = nullptr, *r = nullptr;
            int32_t n = 0;
            if (!take_decode(file.c_str(), e->sample_rate, 1.0f, &l, &r, &n))
                return {};
            std::vector<float> out(l, l + n);
            free(l);
            free(r);
            return out;
        }
        if (road == IMPORTED ? !loop_load_wav(e, file.c_str()) : (take_bars_to_loop(app, 1), !wait_ends()))
            return {};
        return std::vector<float>(e->loop_left, e->loop_left + e->length.load());
    }
    // The tone of hz in frames a..b of x at rate, a least-squares fit of a cosine and a
    // sine of that frequency: their amplitudes.
    template <typename T>
    static void tone_fit(const T* x, int32_t a, int32_t b, double hz, double rate, double* ca, double* sa)
    {
        double cc = 0.0, ss = 0.0, cs = 0.0, xc = 0.0, xs = 0.0;
        for (int32_t i = a; i < b; i++) {
            double c = std::cos(2.0 * M_PI * hz * i / rate), s = std::sin(2.0 * M_PI * hz * i / rate);
            cc += c * c;
            ss += s * s;
            cs += c * s;
            xc += x[i] * c;
            xs += x[i] * s;
        }
        double det = cc * ss - cs * cs;
        *ca = (xc * ss - xs * cs) / det;
        *sa = (xs * cc - xc * cs) / det;
    }
    // The level in dB, against an amplitude of 0.5, of the tone of hz in frames a..b.
    static double tone_db(const float* x, int32_t a, int32_t b, double hz, double rate)
    {
        double ca, sa;
        tone_fit(x, a, b, hz, rate, &ca, &sa);
        return 20.0 * std::log10(std::hypot(ca, sa) / 0.5 + 1e-15);
    }
    // Takes the tone of hz, fitted over all n frames of x, out of x.
    static void tone_remove(double* x, int32_t n, double hz, double rate)
    {
        double ca, sa;
        tone_fit(x, 0, n, hz, rate, &ca, &sa);
        for (int32_t i = 0; i < n; i++)
            x[i] -= ca * std::cos(2.0 * M_PI * hz * i / rate) + sa * std::sin(2.0 * M_PI * hz * i / rate);
    }
};

TEST_F(TakesTest, TwoSavesShareOneNameAndLeaveNoTemporaryFile)
{
    e->length = 4800;
    e->content_generation.fetch_add(1);
    ASSERT_TRUE(save());
    std::string name = app->session_name;
    ASSERT_EQ(name.size(), std::strlen("tessel-20250101-000000.wav"));
    e->content_generation.fetch_add(1);
    ASSERT_TRUE(session_wav_save(app));
    ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
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
    EXPECT_FALSE(save());
    EXPECT_EQ(app->session_name[0], '\0');
}

TEST_F(TakesTest, AFailedWriteKeepsTheOldTakeAndIsReported)
{
    e->length = 48000;
    e->content_generation.fetch_add(1);
    ASSERT_TRUE(save());
    fs::path file = takes.path / app->session_name;
    auto before = fs::file_size(file);
    e->length = 96000;
    e->content_generation.fetch_add(1);
    ASSERT_TRUE(plat_file_fake_size_limit(1000));
    EXPECT_FALSE(save());
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

    // Once the disk has room again the take is written without the loop changing, and
    // the status line is itself again.
    frames(20);
    EXPECT_EQ(fs::file_size(file), before);   // not at once: the retry waits a while
    EXPECT_EQ(status(), "AUDIO OFFLINE  TAKE NOT SAVED");
    frames(130);
    ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
    EXPECT_GT(fs::file_size(file), before);
    frames(1);
    EXPECT_EQ(status(), "AUDIO OFFLINE") << "the good save left the mark";
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
    ASSERT_TRUE(save());
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
    ASSERT_TRUE(session_wav_save(app));
    uint32_t writes = session_wav_writes_completed();
    e->content_generation.fetch_add(1);
    transport_new_session(app);
    app->ui_time += 0.5;
    frames(20);
    EXPECT_TRUE(take_waiting(app));
    EXPECT_EQ(e->clear_request.load(), 0);   // the loop under the writer stays
    EXPECT_STREQ(toast_text(), "SAVING TAKE...");
    int32_t toasts = app->toast_next;
    transport_record(app);   // a click on the record pad meanwhile is refused, with the toast
    EXPECT_EQ(e->record.load(), 0);
    EXPECT_NE(app->toast_next, toasts);
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
        ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
        EXPECT_EQ(first_passes_kept(), c < 3 ? 0 : c - 2);
        e->record = 0;
    }
}

// The loop as the decoder reads the only file in the takes folder starting with
// prefix: the largest difference from the loop in place, or 1 when there is no such
// file or its length differs.
static float file_against_loop(const fs::path& folder, const char* prefix, const Engine* e)
{
    fs::path file;
    for (const auto& f : fs::directory_iterator(folder))
        if (f.path().filename().string().starts_with(prefix))
            file = f.path();
    float *l = nullptr, *r = nullptr, worst = 0.0f;
    int32_t n = 0;
    if (file.empty() || !take_decode(file.c_str(), 48000.0, 1.0f, &l, &r, &n) || n != e->length.load())
        worst = 1.0f;
    for (int32_t i = 0; i < n && worst < 1.0f; i++)
        worst = std::max({worst, std::fabs(l[i] - e->loop_left[i]), std::fabs(r[i] - e->loop_right[i])});
    free(l);
    free(r);
    return worst;
}

// A close, e or n while recording, or right after a stop during an overdub, reads the
// loop once the fade and the run-out have written their tails (a first pass too, with
// the stream stopped or running: its ramp's tail cross-fades the seam), or, with a
// stalled stream, once the wait has lasted 1.5 s. A second close request within a
// second of the first is the same close; a later one while the take settles writes it
// at once and again once the loop has settled; one while the write runs waits for it.
// e leaves the transport alone: an overdub goes on, a first pass is not an export.
TEST_F(TakesTest, ACloseEOrNWritesTheSettledTakeAndNoLaterCloseLosesIt)
{
    void (*space)(AppState*) = [](AppState* a) { transport_play_dir(a, false); };
    enum { CLOSE, EXPORT, NEW };
    const struct {
        const char* what;
        int key;
        void (*stop)(AppState*);   // before the key
        bool first_pass, running;
        double second;             // seconds from the first close request to the second, 0 for none
        bool hold_writer;          // the second request comes while the close's write runs
        bool stalled;              // the stream runs but its blocks stop coming
        int files;                 // takes in the folder at the end
    } cases[] = {
        {"a close during a first pass, stream stopped", CLOSE, nullptr, true, false, 0.0, false, false, 1},
        {"a close during a first pass, stream running", CLOSE, nullptr, true, true, 0.0, false, false, 1},
        {"a close with a stalled stream", CLOSE, nullptr, false, true, 0.0, false, true, 1},
        {"double-click while overdubbing", CLOSE, nullptr, false, true, 0.12, false, false, 1},
        {"a later request while the take settles", CLOSE, nullptr, false, true, 1.5, false, false, 1},
        {"a later request while the write runs", CLOSE, nullptr, false, true, 1.5, true, false, 1},
        {"space then e", EXPORT, space, false, true, 0.0, false, false, 1},
        {"s then e", EXPORT, transport_stop, false, true, 0.0, false, false, 1},
        {"e during an overdub", EXPORT, nullptr, false, true, 0.0, false, false, 1},
        {"e during a first pass", EXPORT, nullptr, true, true, 0.0, false, false, 0},
        {"space then n", NEW, space, false, true, 0.0, false, false, 1},
        {"n during an overdub", NEW, nullptr, false, true, 0.0, false, false, 1},
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
        bool recording = e->record.load();
        app->ui_time = 10.0;
        uint32_t writes = session_wav_writes_completed();
        auto reading = [&] { return loop_export_busy() || session_wav_busy() || session_wav_writes_completed() != writes; };
        if (c.key == CLOSE)
            ASSERT_FALSE(app_close_request(app, 10.0));
        else
            (c.key == EXPORT ? transport_export_wav : transport_new_session)(app);
        // e never changes the transport; a close and n end the take first.
        EXPECT_EQ(e->record.load(), c.key == EXPORT && recording);
        if (c.second > 0.0 && !c.hold_writer) {
            app->ui_time = 10.0 + c.second;
            EXPECT_FALSE(app_close_request(app, 10.0 + c.second));
        }
        if (c.running) {
            EXPECT_FALSE(app_close_step(app));
            bool hurried = c.second >= 1.0 && !c.hold_writer, overdub = c.key == EXPORT && recording && !c.first_pass;
            EXPECT_EQ(reading(), hurried || overdub) << "the loop is read before the stream has run on";
        }
        if (c.stalled) {
            app->ui_time = 11.4;
            EXPECT_FALSE(app_close_step(app));
            EXPECT_FALSE(reading()) << "a stalled stream was given up on early";
            app->ui_time = 11.6;
            EXPECT_FALSE(app_close_step(app));
            EXPECT_TRUE(reading()) << "a stalled stream was waited for too long";
        }
        if (c.hold_writer) {
            session_wav_test_hold(true);
            for (int i = 0; i < 100 && !app->closing_secure.write_begun; i++) {
                run_callback(128, 0.25f);
                EXPECT_FALSE(app_close_step(app));
            }
            ASSERT_TRUE(app->closing_secure.write_begun);
            EXPECT_FALSE(app_close_request(app, 10.0 + c.second));
            EXPECT_FALSE(app_close_step(app)) << "a later request ended the close during its write";
            session_wav_test_hold(false);
        }
        bool ended = c.key != CLOSE && wait_ends(0.25f);
        for (int i = 0; i < kWriteLimitMs && !ended; i++) {
            if (!(ended = app_close_step(app)) && c.running && !c.stalled)
                run_callback(128, 0.25f);
            plat_sleep_ms(ended ? 0 : 1);
        }
        ASSERT_TRUE(ended);
        ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
        EXPECT_EQ(e->record.load(), c.key == EXPORT && recording);
        EXPECT_FALSE(c.key == EXPORT && !c.stop && strcmp(toast_text(), "EXPORTED WAV") != 0 &&
                     strcmp(toast_text(), "NOTHING TO EXPORT") != 0);
        auto files = std::vector<fs::path>(fs::directory_iterator(takes.path), fs::directory_iterator());
        ASSERT_EQ((int)files.size(), c.files);
        if (c.files == 0) {
            EXPECT_STREQ(toast_text(), "NOTHING TO EXPORT");
            EXPECT_EQ(e->length.load(), 0);
        } else if (c.key == EXPORT && recording) {
            // An export during an overdub may hold old and new samples: only its length is kept.
            EXPECT_LT(file_against_loop(takes.path, "tessel-loop-", e), 1.0f);
        } else {
            EXPECT_LT(file_against_loop(takes.path, c.key == EXPORT ? "tessel-loop-" : "tessel-", e), 1e-4f);
        }
        e->record = 0;
    }
    e->running = 0;
}

// A close whose write fails, or cannot even begin, gives the window back: the close
// ends, every key acts and "TAKE NOT SAVED" stands in the status line. The next close
// writes again and ends once the take is in place; when that write fails too, it ends
// at once. The previous take is never touched and no temporary is left.
TEST_F(TakesTest, AFailedCloseGivesTheWindowBackAndTheNextCloseWritesAgain)
{
    std::vector<float> silence(24000, 0.0f);
    enum { DISK_FULL, NO_FOLDER };
    const struct {
        const char* what;
        int fault;
        bool room_again;
    } cases[] = {{"the disk stays full", DISK_FULL, false},
                 {"space comes back", DISK_FULL, true},
                 {"a new take with no takes folder: no write begins", NO_FOLDER, false}};
    const std::string folder = app->takes_folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bool room_again = c.room_again;
        for (const auto& f : fs::directory_iterator(takes.path))
            fs::remove(f.path());
        app->closing = APP_CLOSING_NONE;
        app->close_failed = 0;
        app->session_name[0] = '\0';
        ASSERT_TRUE(loop_set_buffers(e, silence.data(), silence.data(), 24000));
        ASSERT_TRUE(save());
        // No frame runs between the save and the close: a good write the update sees
        // only after a later one could not begin must not clear that one's mark.
        fs::path previous = takes.path / app->session_name;
        size_t before = bytes(previous);
        e->record = 1;
        e->playing = 1;
        run_callback(12000, 0.25f);   // an overdub, stream stopped

        if (c.fault == DISK_FULL) {
            ASSERT_TRUE(plat_file_fake_size_limit(1000));
        } else {
            app->takes_folder[0] = '\0';
            app->session_name[0] = '\0';
        }
        for (Toast& t : app->toasts)
            t.alpha = 0.0f;   // the earlier rows' toasts have faded
        app->ui_time = 10.0;
        EXPECT_FALSE(app_close_request(app, 10.0));
        bool ended = false;
        for (int i = 0; i < kWriteLimitMs && app->closing == APP_CLOSING_SAVE; i++) {
            ended = app_close_step(app);
            plat_sleep_ms(1);
            app_update(app, 0.001f);
        }
        EXPECT_FALSE(ended);
        EXPECT_EQ(app->closing, APP_CLOSING_NONE);
        char status[VIEW_STATUS_CAP];
        view_status_left_text(app, status, sizeof status);
        EXPECT_TRUE(std::string(status).ends_with("  TAKE NOT SAVED")) << status;
        EXPECT_TRUE(std::any_of(std::begin(app->toasts), std::end(app->toasts), [](const Toast& t) {
            return t.alpha > 0.0f && std::strcmp(t.text, "TAKE NOT SAVED") == 0;
        })) << "no toast said the take was not saved";
        transport_record(app);
        EXPECT_EQ(e->record.load(), 1) << "keys act again";
        transport_record(app);

        if (room_again)
            plat_file_fake_size_limit(-1);
        app->ui_time = 10.5;   // within a second of the first: still a close of its own
        EXPECT_FALSE(app_close_request(app, 10.5));
        for (int i = 0; i < kWriteLimitMs && !ended; i++) {
            ended = app_close_step(app);
            plat_sleep_ms(ended ? 0 : 1);
        }
        plat_file_fake_size_limit(-1);
        EXPECT_TRUE(ended);
        ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
        for (const auto& f : fs::directory_iterator(takes.path))
            EXPECT_EQ(f.path().string().find(".tmp"), std::string::npos) << f.path();
        if (room_again) {
            EXPECT_LT(file_against_loop(takes.path, "tessel-", e), 1e-4f);
        } else {
            EXPECT_EQ(bytes(previous), before);
            app_update(app, 0.001f);
        }
        snprintf(app->takes_folder, sizeof app->takes_folder, "%s", folder.c_str());
        e->record = 0;
        app->take_unsaved = 0;
    }
    // A write already under way when the close comes fails: the close does not take it
    // for the take in place, whatever the update has seen of it yet.
    app->closing = APP_CLOSING_NONE;
    app->close_failed = 0;
    ASSERT_TRUE(plat_file_fake_size_limit(1000));
    e->content_generation.fetch_add(1);
    session_wav_test_hold(true);
    ASSERT_TRUE(session_wav_save(app));
    EXPECT_FALSE(app_close_request(app, 20.0));
    session_wav_test_hold(false);
    ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
    bool ended = false;
    for (int i = 0; i < kWriteLimitMs && app->closing == APP_CLOSING_SAVE && !ended; i++) {
        ended = app_close_step(app);
        plat_sleep_ms(ended ? 0 : 1);
    }
    plat_file_fake_size_limit(-1);
    EXPECT_FALSE(ended) << "a failed write was taken for the take in place";
}

// A close during n's wait secures the take itself and n does not clear the loop; a
// close after e waits for the export, here one still waiting for a stalled stream:
// both files are written before the close ends.
TEST_F(TakesTest, ACloseDuringAWaitSecuresTheTakeAndWaitsForTheExport)
{
    std::vector<float> silence(24000, 0.0f);
    for (int key : {'n', 'e'}) {
        SCOPED_TRACE((char)key);
        for (const auto& f : fs::directory_iterator(takes.path))
            fs::remove(f.path());
        app->closing = APP_CLOSING_NONE;
        app->session_name[0] = '\0';
        ASSERT_TRUE(loop_set_buffers(e, silence.data(), silence.data(), 24000));
        e->content_generation.fetch_add(1);
        e->running = 1;
        app->ui_time = 10.0;
        session_wav_test_hold(true);
        (key == 'n' ? transport_new_session : transport_export_wav)(app);
        EXPECT_TRUE(take_waiting(app));
        EXPECT_FALSE(app_close_request(app, app->ui_time));
        EXPECT_FALSE(app_close_step(app));
        session_wav_test_hold(false);
        bool ended = false;
        for (int i = 0; i < kWriteLimitMs && !ended; i++) {
            app->ui_time += 0.001;
            app_update(app, 0.001f);
            ended = app_close_step(app);
            plat_sleep_ms(ended ? 0 : 1);
        }
        ASSERT_TRUE(ended);
        EXPECT_FALSE(loop_export_busy());
        EXPECT_EQ(file_against_loop(takes.path, "tessel-loop-", e) < 1e-3f, key == 'e') << "the close ended before the export";
        ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
        EXPECT_EQ(e->clear_request.exchange(0), 0);
        EXPECT_LT(file_against_loop(takes.path, "tessel-2", e), 1e-4f);
    }
    e->running = 0;
}

// At exit the program waits for an export under way, and a save that another copy's
// save of the take kept out is written again, as a new take.
TEST_F(TakesTest, TheExitWaitsForAnExportAndWritesAKeptOutSaveAgain)
{
    std::vector<float> tone(48000 * 30);
    for (size_t i = 0; i < tone.size(); i++)
        tone[i] = 0.25f * std::sin(0.05f * (float)i);
    ASSERT_TRUE(loop_set_buffers(e, tone.data(), tone.data(), (int32_t)tone.size()));
    e->content_generation.fetch_add(1);
    ASSERT_TRUE(save());
    const fs::path file = takes.path / app->session_name;
    ASSERT_TRUE(loop_export_start(app));
    app_save_on_exit(app);
    EXPECT_FALSE(loop_export_busy()) << "the exit did not wait for the export";
    EXPECT_LT(file_against_loop(takes.path, "tessel-loop-", e), 1e-3f);
    e->content_generation.fetch_add(1);   // a dub, whose save another copy's then keeps out
    session_wav_test_hold(true);
    ASSERT_TRUE(session_wav_save(app));
    fs::rename(wav("theirs.wav", 2, 9600, 48000.0), file);
    session_wav_test_hold(false);
    app_save_on_exit(app);
    EXPECT_NE(takes.path / app->session_name, file);
    EXPECT_EQ(wav_duration_seconds(file.c_str()), 0.2f) << "the other copy's save was replaced";
    EXPECT_EQ(wav_duration_seconds((takes.path / app->session_name).c_str()), 30.0f)
        << "the kept-out save was not written again";
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
    // The cut loop goes on naming the file until it changes, then it is a new take:
    // the file is never overwritten by it.
    EXPECT_STREQ(app->session_name, "long.wav");
    size_t before = bytes(takes.path / "long.wav");
    e->content_generation.fetch_add(1);
    ASSERT_TRUE(save());
    EXPECT_STRNE(app->session_name, "long.wav");
    EXPECT_EQ(bytes(takes.path / "long.wav"), before);
}

// A listed take the loop cannot hold as it is, one another running copy saved over, or
// one whose save cannot have the takes' lock (held elsewhere, or its folder unusable)
// starts a new take and its file stays as it is. However many takes are saved, one lock
// file serves them all.
TEST_F(TakesTest, AListedTakeTheLoopCannotHoldAsItIsKeepsItsFile)
{
    wav("hi.wav", 1, 48000, 96000.0);
    wav("four.wav", 4, 4800, 48000.0);
    wav("shared.wav", 2, 4800, 48000.0);
    wav("raced.wav", 2, 4800, 48000.0);
    wav("closed.wav", 2, 4800, 48000.0);
    wav("held.wav", 2, 4800, 48000.0);
    wav("nolock.wav", 2, 4800, 48000.0);
    wav("tessel-loop-20260101-000000.wav", 2, 4800, 48000.0);
    wav("take  bar 2  1 bar  120 bpm.wav", 2, 4800, 48000.0);
    fixture::WavSpec pcm32;   // finer than the loop's floats hold
    pcm32.bits = 32;
    std::vector<uint8_t> wide = fixture::wav(pcm32, fixture::encode(std::vector<float>(2 * 4800, 0.25f), 4, false));
    ASSERT_TRUE(fixture::write_file((takes.path / "wide.wav").string(), wide));
    app_library_scan(app);
    enum { ALONE, BEFORE, DURING, CLOSING, NO_LOCK };   // when another copy saves over the take
    const struct {
        const char *name, *toast;
        int elsewhere;
        PlatLockResult lock;   // what the save's lock gives
    } cases[] = {{"four.wav", "LOADED, 4 CHANNELS, 2 KEPT", ALONE, PLAT_LOCK_TAKEN},
                 {"hi.wav", "LOADED, 96K MADE 48K", ALONE, PLAT_LOCK_TAKEN},
                 {"wide.wav", "LOADED, 32-BIT NARROWED", ALONE, PLAT_LOCK_TAKEN},
                 {"tessel-loop-20260101-000000.wav", "LOADED", ALONE, PLAT_LOCK_TAKEN},
                 {"take  bar 2  1 bar  120 bpm.wav", "LOADED", ALONE, PLAT_LOCK_TAKEN},
                 {"shared.wav", "TAKE CHANGED ELSEWHERE: NEW TAKE", BEFORE, PLAT_LOCK_TAKEN},
                 {"raced.wav", "TAKE CHANGED ELSEWHERE: NEW TAKE", DURING, PLAT_LOCK_TAKEN},
                 {"closed.wav", "TAKE CHANGED ELSEWHERE: NEW TAKE", CLOSING, PLAT_LOCK_TAKEN},
                 {"held.wav", "TAKE SAVED AS A NEW TAKE: ANOTHER COPY HOLDS THE LOCK", NO_LOCK, PLAT_LOCK_TIMEOUT},
                 {"nolock.wav", "TAKE SAVED AS A NEW TAKE: PERMISSION DENIED", NO_LOCK, PLAT_LOCK_FAILED}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path file = takes.path / c.name;
        auto new_take_written = [&] {
            return std::string(app->session_name).starts_with("tessel-") && fs::exists(takes.path / app->session_name);
        };
        take_load_into_loop(app, row_of(c.name));
        ASSERT_TRUE(wait_ends());
        EXPECT_STREQ(app->session_name, c.name) << "the session names the file until the loop changes";
        if (c.elsewhere == BEFORE)   // the other copy saves its overdub over it, through its own temporary
            fs::rename(wav("theirs.wav", 2, 9600, 48000.0), file);
        e->content_generation.fetch_add(1);   // a dub, then its save
        if (c.elsewhere == DURING) {
            // Their save lands while ours is written: ours is kept out of the name, and
            // the loop is written again as a new take.
            session_wav_test_hold(true);
            ASSERT_TRUE(session_wav_save(app));
            fs::rename(wav("theirs.wav", 2, 9600, 48000.0), file);
            session_wav_test_hold(false);
            ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
            EXPECT_STREQ(app->session_name, c.name);
            app_update(app, 0.001f);
            // The settings no longer name their file as this session's take, and the
            // loop, on disk nowhere, is written again once it has been still a while.
            std::vector<char> settings(APP_SETTINGS_TEXT);
            settings_format(app, settings.data(), settings.size());
            EXPECT_EQ(std::string(settings.data()).find(std::string("session=") + c.name), std::string::npos)
                << "the settings name the other copy's file";
            frames(20);
            ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
            EXPECT_TRUE(new_take_written()) << "the loop was not written again";
        }
        if (c.elsewhere == CLOSING) {
            // Their save lands while the close's write runs: the close writes the loop
            // again as a new take before it ends.
            session_wav_test_hold(true);
            EXPECT_FALSE(app_close_request(app, app->ui_time));
            for (int i = 0; i < 100 && !app->closing_secure.write_begun; i++)
                EXPECT_FALSE(app_close_step(app));
            ASSERT_TRUE(app->closing_secure.write_begun);
            fs::rename(wav("theirs.wav", 2, 9600, 48000.0), file);
            session_wav_test_hold(false);
            bool ended = false;
            for (int i = 0; i < kWriteLimitMs && !ended; i++) {
                ended = app_close_step(app);
                plat_sleep_ms(ended ? 0 : 1);
            }
            ASSERT_TRUE(ended);
            ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
            EXPECT_TRUE(new_take_written()) << "the close ended with the loop kept out";
            app->closing = APP_CLOSING_NONE;
        }
        size_t before = bytes(file);
        plat_named_lock_fake(c.lock);
        ASSERT_TRUE(save());
        plat_named_lock_fake(PLAT_LOCK_TAKEN);
        app_update(app, 0.001f);   // the session follows the write
        EXPECT_STREQ(toast_text(), c.toast);
        std::string ours = app->session_name;
        EXPECT_TRUE(ours.starts_with("tessel-")) << ours;
        if (c.elsewhere == NO_LOCK) {   // still no lock: one more new take, the reason not told again
            int32_t toasts = app->toast_next;
            e->content_generation.fetch_add(1);
            plat_named_lock_fake(c.lock);
            ASSERT_TRUE(save());
            plat_named_lock_fake(PLAT_LOCK_TAKEN);
            app_update(app, 0.001f);
            EXPECT_EQ(app->toast_next, toasts) << "the reason was told again";
            EXPECT_NE(app->session_name, ours);
            ours = app->session_name;
        }
        e->content_generation.fetch_add(1);   // the next save goes on under the new name
        ASSERT_TRUE(session_wav_save(app));
        ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
        EXPECT_EQ(app->session_name, ours);
        EXPECT_TRUE(fs::exists(takes.path / ours));
        EXPECT_EQ(bytes(file), before);
    }
    auto locks = fs::directory_iterator(data.path / ".locks");
    EXPECT_EQ(std::distance(fs::begin(locks), fs::end(locks)), 1);
}

// Each road from a take at another rate to the loop keeps the band and keeps out what
// the loop's rate cannot hold: 15 and 18 kHz of 48 kHz (and the same fractions of
// 44.1 kHz) pass, and a 30 kHz tone, which would fold back to 18 kHz, is 60 dB down
// there. A 48 kHz file holds nothing at 30/48 of 44.1 kHz (27.6 kHz): its row takes the
// highest tone it holds, 23 kHz, which would fold back to 21.1 kHz. Going up from
// 44.1 kHz, 15 kHz leaves no image at 18.9 kHz (44.1 - 15 folded at 48); at the take's
// own rate the bars, which start between two frames, keep 15 kHz whole.
TEST_F(TakesTest, EveryRoadToAnotherRateKeepsTheBandAndFoldsNothingBack)
{
    const struct {
        double from, to, of_new, low_db, high_db;
        double at;   // the frequency measured; 0: where the tone lands
    } rows[] = {
        {96000, 48000, 0.3125, -0.5, 0.5, 0}, {96000, 48000, 0.375, -1.0, 1.0, 0}, {96000, 48000, 0.625, -300, -60, 0},
        {48000, 44100, 0.3125, -0.5, 0.5, 0}, {48000, 44100, 0.375, -1.0, 1.0, 0}, {48000, 44100, 0.625, -300, -60, 0},
        {44100, 48000, 0.3125, -300, -60, 18900}, {48000, 48000, 0.3125, -0.1, 0.1, 0},
    };
    PreviewPlayer player;
    preview_init(&player);
    fs::path file = takes.path / "tone.wav";
    for (const auto& row : rows) {
        double hz = std::min(row.of_new * row.to, 0.48 * row.from);
        double heard = row.at > 0 ? row.at : hz < row.to / 2 ? hz : row.to - hz;   // where it lands at the new rate
        int32_t frames = (int32_t)(0.75 * row.from);
        SampleBuffer* take = preview_kit_buffer(1, row.from, frames);
        for (int32_t i = 0; i < frames; i++)
            take->samples[i] = (float)(0.5 * std::sin(2.0 * M_PI * hz * i / row.from));
        ASSERT_TRUE(wav_write_float(file.c_str(), take->samples, 1, frames, row.from));
        // At 480 BPM, one bar a segment: segment 1 is the 0.5 s from 0.1003 s, between frames.
        take_grid_kit_take(app, &player, take, 480.0f, 0.1003, 0);
        e->sample_rate = row.to;
        for (Road road : {DECODED, IMPORTED, BARS}) {
            SCOPED_TRACE(testing::Message() << kRoads[road] << ", " << row.from << " to " << row.to << ", " << hz);
            std::vector<float> x = through(road, file);
            int32_t n = (int32_t)x.size();
            ASSERT_GT(n, 4000);
            double db = tone_db(x.data(), 1000, n - 1000, heard, row.to);
            EXPECT_GE(db, row.low_db);
            EXPECT_LE(db, row.high_db);
        }
    }
    e->sample_rate = 48000.0;
    app->preview = nullptr;
    take_grid_free(app);
    app->take_grid = TakeGridState{};
    preview_kit_empty(&player);
}

// A take that becomes the loop whole is the loop's cycle at any rate: whole cycles of
// 440 Hz wrap as smoothly as they run anywhere else, a whole second stays a whole
// second, and an onset keeps its place within half a frame. Bars read their segment
// from the take, from its start, the same way.
TEST_F(TakesTest, EveryRoadKeepsTheSeamTheOnsetsAndTheLengthAtEveryRate)
{
    const struct {
        double from, to;
    } pairs[] = {{96000, 48000}, {48000, 44100}, {96000, 44100}, {44100, 48000}};
    enum Signal { TONE, ONSET };
    // At 480 BPM, one bar a segment: segment 1 is the 0.5 s from 0.1003 s (220 cycles).
    const double bar_start = 0.1003, bar = 0.5;
    PreviewPlayer player;
    preview_init(&player);
    fs::path file = takes.path / "take.wav";
    for (const auto& pair : pairs) {
        for (Signal signal : {TONE, ONSET}) {
            // One second: whole cycles of 440 Hz from a zero crossing, or silence but for a
            // short raised-cosine onset at 0.3 s and a little, whose centre is its place.
            int32_t frames = (int32_t)pair.from;
            SampleBuffer* take = preview_kit_buffer(1, pair.from, frames);
            double place = 0.3 * pair.from + 0.37, sum = 0.0, moment = 0.0;
            for (int32_t i = 0; i < frames; i++) {
                double d = (i - place) / 6.0;
                float x = signal == TONE ? (float)(0.5 * std::sin(2.0 * M_PI * 440.0 * i / pair.from))
                                         : std::fabs(d) < 1.0 ? (float)(0.25 * (1.0 + std::cos(M_PI * d))) : 0.0f;
                take->samples[i] = x;
                sum += x;
                moment += x * (double)i;
            }
            place = moment / sum;
            ASSERT_TRUE(wav_write_float(file.c_str(), take->samples, 1, frames, pair.from));
            take_grid_kit_take(app, &player, take, 480.0f, bar_start, 0);
            e->sample_rate = pair.to;
            for (Road road : {DECODED, IMPORTED, BARS}) {
                SCOPED_TRACE(testing::Message() << kRoads[road] << ", " << pair.from << " to " << pair.to
                                                << (signal == TONE ? ", tone" : ", onset"));
                std::vector<float> x = through(road, file);
                int32_t n = (int32_t)x.size();
                EXPECT_EQ(n, (int32_t)std::llround((road == BARS ? bar : 1.0) * pair.to));
                double first = road == BARS ? bar_start * pair.from : 0.0;
                if (signal == TONE && n > 0) {
                    // What is left of the loop beside a fitted 440 Hz tone: at most 0.2 %
                    // of its peak, and around the seam (its 64 frames each side) no more
                    // than twice what is left anywhere else.
                    std::vector<double> rest(x.begin(), x.end());
                    tone_remove(rest.data(), n, 440.0, pair.to);
                    double seam = 0.0, middle = 0.0;
                    for (int32_t i = 0; i < n; i++) {
                        double& worst = i < 64 || i >= n - 64 ? seam : middle;
                        worst = std::max(worst, std::fabs(rest[i]));
                    }
                    EXPECT_LT(middle, 1e-3) << "the loop beside the tone";
                    EXPECT_LT(seam, 2.0 * middle + 2e-5) << "the seam beside the tone, against the rest";
                } else if (n > 0) {
                    double want = (place - first) * pair.to / pair.from, s0 = 0.0, s1 = 0.0;
                    for (int32_t i = std::max(0, (int32_t)want - 400); i < std::min(n, (int32_t)want + 400); i++) {
                        s0 += x[i];
                        s1 += x[i] * (double)i;
                    }
                    EXPECT_NEAR(s0, sum * pair.to / pair.from, 0.01 * sum) << "the onset's weight near its place";
                    EXPECT_NEAR(s1 / s0, want, 0.5) << "the onset's centre, in frames";
                }
            }
        }
    }
    // Bars from the take's first frame start at its level: the low-pass has settled on
    // it, as if the take had held it before.
    SampleBuffer* level = preview_kit_buffer(1, 96000.0, 96000);
    std::fill(level->samples, level->samples + 96000, 0.5f);
    take_grid_kit_take(app, &player, level, 480.0f, bar_start, 0);
    e->sample_rate = 48000.0;
    take_bars_to_loop(app, 0);
    ASSERT_TRUE(wait_ends());
    ASSERT_EQ(e->length.load(), (int32_t)std::llround(bar_start * 48000.0));
    for (int32_t i = 0; i < e->length.load(); i++)
        ASSERT_NEAR(e->loop_left[i], 0.5f, 1e-4f) << "frame " << i;

    app->preview = nullptr;
    take_grid_free(app);
    app->take_grid = TakeGridState{};
    preview_kit_empty(&player);
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
