// The program's start-up, frame loop and shutdown in-process, on a private X server
// (xvfb-run, see CMakeLists.txt), with a clock the test moves and an engine without a
// stream whose callback the test runs itself: the screenshot request and F12, desktop
// fullscreen, the panel toggles and slides, a loop recorded through the keyboard to
// its exact length and exported, dropped files, quitting, and the custom cursor's
// mode under the pointer.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/screenshot.h"
#include "app/overlays.h"
#include "app/kit_popup.h"
#include "app/panels/background.h"
#include "app/panels/keys_help_view.h"
#include "app/panels/settings_panel.h"
#include "app/shell.h"
#include "app/session_take.h"
#include "app/take_wait.h"
#include "platform/plat_time.h"
#include "app/panels/main/view_status.h"
#include "broadcast/firewall.h"
#include "broadcast/tcstream.h"
#include "library/user_stores.h"
#include "support/fake_firewall.h"
#include "support/tc_client.h"
#include "app/toast.h"
#include "audio/engine_retire.h"
#include "audio/vst.h"
#include "rig/rigsession.h"
#include "rig/views/inputs_panel.h"
#include "support/draw_fixture.h"
#include "support/video_fixtures.h"
#include "tests/app/event_kit.h"
#include "tests/audio/vst_mock_impl.h"
#include "ui/hitregion.h"
#include "library/library.h"
#include "ui/text.h"
#include "support/test_wait.h"

namespace {

namespace fs = std::filesystem;

double g_now = 100.0;
double test_clock()
{
    return g_now;
}

std::string read_text(const fs::path& p)
{
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool has_toast(const AppState* app, const char* text)
{
    for (const Toast& t : app->toasts)
        if (t.alpha > 0.0f && std::string(t.text) == text)
            return true;
    return false;
}

class ShellTest : public ::testing::Test {
protected:
    ShellCtx sh{};
    fs::path root;
    fs::path tmp;
    bool running = false;
    // The audio library's script and host API roles for the next start.
    std::function<void()> script_audio = [] {};
    const PlatHostApiPolicy* policy = plat_host_api_policy_windows();

    void SetUp() override
    {
        char tmpl[] = "/tmp/tessel-shell-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        tmp = root / "scratch";
        fs::create_directories(tmp);
        fs::create_directories(root / "home/.config");
        setenv("HOME", (root / "home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root / "home/.config").c_str(), 1);
        setenv("TMPDIR", tmp.c_str(), 1);
        unsetenv("APPDATA");
        start({"tessel"});
    }
    void TearDown() override
    {
        session_wav_test_hold(false);   // a held writer would hold the shutdown
        stop();
        SDL_ResetHint(SDL_HINT_VIDEODRIVER);
        fs::remove_all(root);
    }

    // The engine runs on a scripted audio library with no devices: no stream opens,
    // and the test is the only caller of the callback.
    void start(std::vector<const char*> args)
    {
        fake_audio_reset();
        script_audio();
        engine_use_backend(fake_audio_backend(), policy);
        ShellOptions options{test_clock};
        ASSERT_EQ(shell_start(&sh, (int)args.size(), const_cast<char**>(args.data()), &options), 0);
        running = true;
        sh.engine->input_channels = 2;
    }
    void stop()
    {
        if (running) {
            EXPECT_EQ(shell_stop(&sh), 0);
        }
        running = false;
        engine_use_backend(nullptr, nullptr);
    }
    bool frame(double dt = 1.0 / 60.0)
    {
        g_now += dt;
        return shell_frame(&sh);
    }
    void frames(int n, double dt = 1.0 / 60.0)
    {
        for (int i = 0; i < n; i++)
            frame(dt);
    }
    void push(SDL_Event ev)
    {
        if (ev.type == SDL_KEYDOWN || ev.type == SDL_KEYUP)
            ev.key.windowID = SDL_GetWindowID(sh.window);
        ASSERT_EQ(SDL_PushEvent(&ev), 1);
    }
    void press(SDL_Keycode key, uint8_t repeat = 0)
    {
        push(ev_key(key, true, KMOD_NONE, repeat));
        push(ev_key(key, false));
    }
    // Blocks of a 0.5-amplitude 440 Hz sine on both inputs through the callback.
    void sine_blocks(int blocks, int frames_per_block)
    {
        std::vector<float> in((size_t)frames_per_block * 2), out((size_t)frames_per_block * 2);
        for (int b = 0; b < blocks; b++) {
            for (int i = 0; i < frames_per_block; i++) {
                float v = 0.5f * (float)std::sin(2.0 * M_PI * 440.0 * (double)phase++ / 48000.0);
                in[(size_t)i * 2] = in[(size_t)i * 2 + 1] = v;
            }
            engine_audio_callback(in.data(), out.data(), (unsigned long)frames_per_block, nullptr, 0, sh.engine);
        }
    }
    fs::path request() const { return sh.folders.screenshot_request; }
    fs::path bmp() const { return sh.folders.screenshot_bmp; }
    void touch(const fs::path& p, const char* text = "")
    {
        std::ofstream(p) << text;
    }

private:
    int64_t phase = 0;
};

// ---------------------------------------------------------------------------
// Start-up
// ---------------------------------------------------------------------------

TEST_F(ShellTest, StartsWithTheWindowTheFoldersAndTheAudioOffline)
{
    int w = 0, h = 0;
    SDL_GetWindowSize(sh.window, &w, &h);
    EXPECT_EQ(w, 620);
    EXPECT_EQ(h, 1010);
    EXPECT_STREQ(SDL_GetWindowTitle(sh.window), "TESSEL VIVID");
    Uint32 flags = SDL_GetWindowFlags(sh.window);
    EXPECT_TRUE(flags & SDL_WINDOW_BORDERLESS);
    EXPECT_TRUE(flags & SDL_WINDOW_RESIZABLE);
    // Made hidden, shown by start-up's bounded wait: no window manager here to lose it.
    EXPECT_TRUE(flags & SDL_WINDOW_SHOWN);
    EXPECT_FALSE(sh.show_pending);
    SDL_RendererInfo info;
    ASSERT_EQ(SDL_GetRendererInfo(sh.renderer, &info), 0);
    EXPECT_STREQ(info.name, "opengl");
    // X11 has hit testing: the window drags by its own strip.
    EXPECT_TRUE(window_install_hit_test(sh.window));

    EXPECT_EQ(sh.app->window, sh.window);
    EXPECT_EQ(std::string(sh.app->data_folder), (root / "home/.config/TideCoil").string());
    EXPECT_TRUE(fs::is_directory(sh.app->data_folder));
    EXPECT_EQ(std::string(sh.app->takes_folder), (root / "home/Music/tessel").string());
    EXPECT_EQ(sh.engine->running, 0);
    EXPECT_TRUE(frame());
    // Favourites, tags and preferences keep to the folder settled at start, here after a restart.
    stop();
    setenv("XDG_CONFIG_HOME", (root / "other").c_str(), 1);
    start({"tessel"});
    EXPECT_EQ(std::string(folders_data_path()), (root / "other/TideCoil").string());
}

TEST_F(ShellTest, TheSettingsFileIsRestoredAtStartAndWrittenBackAtExit)
{
    // A take in the takes folder, for the scan at start to find.
    fs::create_directories(sh.folders.takes);
    touch(fs::path(sh.folders.takes) / "take-1.wav", "RIFF");
    stop();
    fs::path ini = root / "home/.config/TideCoil/tessel.ini";
    fs::create_directories(ini.parent_path());
    touch(ini, "gain=0.250000\r\npan=-0.500000\r\noverdub=0\r\nmonitor=0\r\nbuffer=256\r\nkeysheet=1\r\n"
               "libopen=1\r\nbarsper=2\r\nrigopen=1\r\nslot1_type=3\r\nslot1_p1=0.750000\r\n");
    start({"tessel"});
    AppState* app = sh.app;
    EXPECT_EQ(app->gain, 0.25f);
    EXPECT_EQ(sh.engine->gain.load(), 0.25f);
    EXPECT_EQ(sh.engine->pan.load(), -0.5f);
    EXPECT_EQ(app->overdub, 0);
    EXPECT_EQ(sh.engine->monitor.load(), 0);
    EXPECT_EQ(sh.engine->buffer_frames, 256);
    EXPECT_EQ(app->keys_help_open, 1);
    EXPECT_EQ(app->bars_per_segment, 2);
    EXPECT_EQ(sh.engine->slots[1].effect_type.load(), 3);
    EXPECT_EQ(sh.engine->slots[1].knob1.load(), 0.75f);
    // The library opens already slid in and is scanned; the inputs panel opens as it
    // was left.
    EXPECT_EQ(app->library_open, 1);
    EXPECT_EQ(sh.slides.library, 1.0f);
    EXPECT_EQ(app->take_count, 1);
    EXPECT_EQ(app->inputs_open, 1);
    EXPECT_TRUE(inputs_panel_is_open(sh.rigs.panel));
    EXPECT_EQ(sh.slides.inputs, 1.0f);

    app->gain = 0.5f;
    stop();
    std::string text = read_text(ini);
    EXPECT_NE(text.find("\ngain=0.500000\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nbuffer=256\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nslot1_type=3\nslot1_p1=0.750000\n"), std::string::npos) << text;
}

TEST_F(ShellTest, TheFirstArgumentAndDroppedFilesAreOpened)
{
    stop();
    fs::path take = root / "take.wav";
    touch(take, "RIFF");
    start({"tessel", take.c_str()});
    // The player is made on first use and the library takes the file.
    ASSERT_NE(sh.app->library, nullptr);
    EXPECT_GE(library_find_item(sh.app->library, take.c_str()), 0);

    SDL_Event drop{};
    drop.type = SDL_DROPFILE;
    drop.drop.file = SDL_strdup("/music/dropped.flac");
    push(drop);
    frame();
    // A dropped file that is not there cannot play: it is said so, and not listed.
    EXPECT_TRUE(has_toast(sh.app, "CAN'T PLAY THAT"));
    EXPECT_LT(library_find_item(sh.app->library, "/music/dropped.flac"), 0);
    fs::path dropped = root / "dropped.wav";
    touch(dropped, "RIFF");
    drop.drop.file = SDL_strdup(dropped.c_str());
    push(drop);
    frame();
    EXPECT_GE(library_find_item(sh.app->library, dropped.c_str()), 0);

    // An empty first argument is not a file: nothing is opened.
    stop();
    start({"tessel", ""});
    EXPECT_EQ(sh.app->library, nullptr);
}

// ---------------------------------------------------------------------------
// Screenshot
// ---------------------------------------------------------------------------

// The backdrop's clock held at its start: the scene drifts over the background pixel
// the screenshot test reads once some 40 s of it have run, and that clock runs from
// the first frame of the test program, not of the test.
uint64_t still_counter()
{
    return 0;
}
uint64_t still_frequency()
{
    return 1000;
}
bool animations_on()
{
    return true;
}

TEST_F(ShellTest, TheRequestFileIsLookedForEvery16thFrameAndAnsweredBeforePresent)
{
    static const BackdropClockSource kStill{still_counter, still_frequency, animations_on};
    background_set_clock_source(&kStill);
    struct Restore {
        ~Restore() { background_set_clock_source(nullptr); }
    } restore;
    frame();   // frame 0 looked and found nothing
    touch(request());
    frames(15);
    EXPECT_TRUE(fs::exists(request())) << "frames 1 to 15 do not look";
    EXPECT_FALSE(fs::exists(bmp()));
    frame();   // frame 16
    EXPECT_FALSE(fs::exists(request()));
    ASSERT_TRUE(fs::is_regular_file(bmp()));

    SDL_Surface* s = SDL_LoadBMP(bmp().c_str());
    ASSERT_NE(s, nullptr) << SDL_GetError();
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(sh.renderer, &w, &h);
    EXPECT_EQ(s->w, w);
    EXPECT_EQ(s->h, h);
    // The main view's background, in the gap between the mix pad and the effects
    // block, away from the panels and the window's border.
    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ARGB8888, 0);
    ASSERT_NE(rgb, nullptr);
    float gap_x = 0, gap_y = 0;
    draw_map_point(&sh.kit, 320, 721, &gap_x, &gap_y);
    DrawPixel p = draw_surface_pixel(rgb, (int)gap_x, (int)gap_y);
    EXPECT_NEAR(p.r, 13, 2);
    EXPECT_NEAR(p.g, 17, 2);
    EXPECT_NEAR(p.b, 17, 2);
    SDL_FreeSurface(rgb);
    SDL_FreeSurface(s);

    struct stat st;
    ASSERT_EQ(stat(bmp().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(fs::exists(bmp().string() + ".tmp." + std::to_string(getpid())));
}

TEST_F(ShellTest, F12TakesTheNextFrameAndALinkAtThePicturesNameIsReplacedNotFollowed)
{
    fs::path victim = root / "victim.txt";
    touch(victim, "keep me");
    fs::create_symlink(victim, bmp());
    frame();
    press(SDLK_F12);
    frame();
    EXPECT_FALSE(fs::is_symlink(bmp()));
    EXPECT_TRUE(fs::is_regular_file(bmp()));
    EXPECT_GT(fs::file_size(bmp()), 620u * 1010u * 3u);
    EXPECT_EQ(read_text(victim), "keep me");
    // F12 is the shell's: the main view never saw a key.
    EXPECT_EQ(sh.engine->record.load(), 0);
}

TEST_F(ShellTest, AScreenshotThatCannotBeWrittenLeavesNothingBehind)
{
    frame();
    // No such folder.
    EXPECT_FALSE(screenshot_save(sh.renderer, (root / "missing/shot.bmp").c_str()));
    EXPECT_FALSE(fs::exists(root / "missing"));
    // The temporary name taken by a link: not followed, the target untouched.
    fs::path target = root / "target.txt";
    touch(target, "untouched");
    fs::path shot = root / "shot.bmp";
    fs::create_symlink(target, shot.string() + ".tmp." + std::to_string(getpid()));
    EXPECT_FALSE(screenshot_save(sh.renderer, shot.c_str()));
    EXPECT_EQ(read_text(target), "untouched");
    EXPECT_FALSE(fs::exists(shot));
}

// ---------------------------------------------------------------------------
// Keys and panels
// ---------------------------------------------------------------------------

TEST_F(ShellTest, F11TogglesDesktopFullscreenIgnoresRepeatsAndKeepsTheSizeForPanels)
{
    press(SDLK_F11);
    frame();
    EXPECT_TRUE(sh.fullscreen);
    EXPECT_EQ(SDL_GetWindowFlags(sh.window) & SDL_WINDOW_FULLSCREEN_DESKTOP, (Uint32)SDL_WINDOW_FULLSCREEN_DESKTOP);
    press(SDLK_F11, 1);   // held: a repeat
    frame();
    EXPECT_TRUE(sh.fullscreen);
    // Fullscreen, a side panel slides within the window, which keeps its size.
    int w = 0, h = 0, w2 = 0, h2 = 0;
    SDL_GetWindowSize(sh.window, &w, &h);
    press(SDLK_l);
    frames(20);
    EXPECT_EQ(sh.slides.library, 1.0f);
    SDL_GetWindowSize(sh.window, &w2, &h2);
    EXPECT_EQ(w2, w);
    EXPECT_EQ(h2, h);

    press(SDLK_F11);
    frame();
    EXPECT_FALSE(sh.fullscreen);
    EXPECT_EQ(SDL_GetWindowFlags(sh.window) & SDL_WINDOW_FULLSCREEN, 0u);
}

TEST_F(ShellTest, SettingsAreSavedWhenAPanelToggleFiresNotEveryFrame)
{
    fs::create_directories(sh.folders.takes);
    touch(fs::path(sh.folders.takes) / "take-1.wav", "RIFF");
    frames(60);   // the update's own autosave writes the first settings text
    uint32_t before = settings_save_count();
    auto saves = [&] { return (int)(settings_save_count() - before); };
    frames(60);
    EXPECT_EQ(saves(), 0);

    press(SDLK_l);
    frame();
    EXPECT_EQ(sh.app->library_open, 1);
    EXPECT_EQ(saves(), 1);
    EXPECT_EQ(sh.app->take_count, 1);   // opening it read the takes folder
    frames(30);
    EXPECT_EQ(saves(), 1);

    // The inputs toggle fires once and saves once.
    press(SDLK_a);
    frame();
    EXPECT_EQ(sh.app->inputs_open, 1);
    EXPECT_EQ(sh.app->inputs_toggle, 0);
    EXPECT_EQ(saves(), 2);
    frames(30);
    EXPECT_EQ(saves(), 2);
}

TEST_F(ShellTest, TheRigSessionRoutesTheEngineAndTheInputsPanelOpensByKeyAndBadge)
{
    ASSERT_TRUE(sh.rigs.session);
    ASSERT_TRUE(sh.rigs.panel);
    EXPECT_EQ(sh.engine->router, rigsession_router(sh.rigs.session));
    frames(2);
    // Without a device the status line reads that there is no interface.
    InputsStatusInput in{};
    rigsession_input_view(sh.rigs.session, &in.view);
    char text[200];
    EXPECT_EQ(inputs_status_line(&in, text, sizeof text), 4);
    EXPECT_STREQ(text, "\xE2\x97\x8C NO INTERFACE");

    press(SDLK_a);
    frames(2);
    EXPECT_TRUE(inputs_panel_is_open(sh.rigs.panel));
    EXPECT_EQ(sh.app->inputs_open, 1);
    fs::path ini = fs::path(sh.folders.data) / "tessel.ini";
    for (int open : {0, 1}) {
        SCOPED_TRACE(open);
        frames(20);   // the window has widened: the badge is where the last frame drew it
        HitRect b = sh.rigs.badge;
        ASSERT_GT(b.w, 0.0f);
        SDL_Event ev{};
        ev.type = SDL_MOUSEBUTTONDOWN;
        ev.button.windowID = SDL_GetWindowID(sh.window);
        ev.button.button = SDL_BUTTON_LEFT;
        ev.button.clicks = 1;
        ev.button.x = (int)(b.x + b.w / 2);
        ev.button.y = (int)(b.y + b.h / 2);
        push(ev);
        ev.type = SDL_MOUSEBUTTONUP;
        push(ev);
        frames(2);
        EXPECT_EQ(inputs_panel_is_open(sh.rigs.panel), open == 1);
        EXPECT_NE(read_text(ini).find(open ? "rigopen=1" : "rigopen=0"), std::string::npos);
    }
}

TEST_F(ShellTest, ALongFrameAdvancesTheSlideByTheCappedStepAndTheWindowWidens)
{
    frame();
    int x0 = 0, y0 = 0, w0 = 0, h0 = 0;
    SDL_GetWindowPosition(sh.window, &x0, &y0);
    SDL_GetWindowSize(sh.window, &w0, &h0);
    float scale = sh.kit.scale;

    press(SDLK_l);
    frame(0.2);   // a stall: dt is capped at 0.05 s
    EXPECT_NEAR(sh.slides.library, 0.05f / 0.18f, 1e-5f);
    EXPECT_NEAR(sh.kit.left_w, slide_ease(0.05f / 0.18f) * 600.0f, 1e-3f);
    EXPECT_TRUE(sh.app->library_shown);
    frames(20);
    EXPECT_EQ(sh.slides.library, 1.0f);
    EXPECT_FLOAT_EQ(sh.app->library_x, -600.0f);

    int l = (int)(scale * 600.0f + 0.5f);
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowSize(sh.window, &w, &h);
    SDL_GetWindowPosition(sh.window, &x, &y);
    EXPECT_EQ(w, w0 + l);
    EXPECT_EQ(h, h0);
    EXPECT_EQ(x, x0 - l);
    // The main view keeps its scale beside the panel.
    EXPECT_NEAR(sh.kit.scale, scale, 0.002f);

    press(SDLK_l);
    frames(20);
    EXPECT_EQ(sh.slides.library, 0.0f);
    EXPECT_FALSE(sh.app->library_shown);
    SDL_GetWindowSize(sh.window, &w, &h);
    SDL_GetWindowPosition(sh.window, &x, &y);
    EXPECT_EQ(w, w0);
    EXPECT_EQ(x, x0);
}

// ---------------------------------------------------------------------------
// The musician's road: record, close the loop, export
// ---------------------------------------------------------------------------

TEST_F(ShellTest, RecordAndRecordAgainCloseTheLoopAtItsExactLengthAndExportWritesIt)
{
    frame();
    press(SDLK_r);
    frame();
    ASSERT_EQ(sh.engine->record.load(), 1);
    sine_blocks(188, 256);   // 48,128 frames, about 1.0 s
    press(SDLK_r);
    frame();
    sine_blocks(1, 256);
    ASSERT_EQ(sh.engine->length.load(), 48128);
    frame(0.05);
    EXPECT_TRUE(has_toast(sh.app, "LOOP SET 1.0S"));
    EXPECT_GT(sh.app->flashes[FLASH_LOOP_SET].value, 0.9f);

    // e reads the loop once the stream has run on; m pressed meanwhile then acts once.
    uint8_t monitor = sh.engine->monitor.load();
    press(SDLK_e);
    press(SDLK_m);
    frame();
    EXPECT_TRUE(take_waiting(sh.app));
    EXPECT_EQ(sh.engine->monitor.load(), monitor);
    for (int i = 0; i < 500 && !has_toast(sh.app, "EXPORTED WAV"); i++) {
        sine_blocks(1, 256);
        frame();
        SDL_Delay(1);
    }
    EXPECT_TRUE(has_toast(sh.app, "EXPORTED WAV"));
    frame();
    EXPECT_EQ(sh.engine->monitor.load(), monitor ? 0 : 1);
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(sh.app->takes_folder))
        files.push_back(entry.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string().rfind("tessel-loop-", 0), 0u);
    std::string wav = read_text(files[0]);
    ASSERT_EQ(wav.size(), 44u + 48128u * 4u);
    EXPECT_EQ(wav.compare(0, 4, "RIFF"), 0);
    EXPECT_EQ((uint8_t)wav[34], 16);   // bits per sample
}

// While n waits for a stuck writer, musical typing's notes play at once; presses past
// the store's room are dropped with one toast for each wait, not one a key.
TEST_F(ShellTest, NotesPlayDuringAWaitAndAFullStoreOfKeysSaysSoOnce)
{
    vst_mock_reset();
    char err[128] = {};
    VstPlugin* inst = vst_load_entry("mock", vst_mock_entry, 48000.0f, 4096, err, sizeof err);
    ASSERT_NE(inst, nullptr) << err;
    engine_publish_plugin(sh.engine, &sh.engine->instrument, inst);
    for (int wait = 0; wait < 2; wait++) {
        SCOPED_TRACE(wait);
        sh.app->musical_typing = 0;
        sh.engine->length = 4800;
        sh.engine->content_generation.fetch_add(1);
        session_wav_test_hold(true);
        press(SDLK_n);
        frame();
        ASSERT_TRUE(take_waiting(sh.app));
        sh.app->musical_typing = 1;

        push(ev_key(SDLK_z));
        frame();
        sine_blocks(1, 256);
        EXPECT_EQ(g_vst_mock.stats.midi_events.load(), 2 * wait + 1) << "the note was held back";
        push(ev_key(SDLK_z, false));
        // Thirty-six other keys (r, which typing leaves alone on replay); the store has
        // room for thirty presses with their releases.
        for (int k = 0; k < 36; k++) {
            SDL_Event r = ev_key(SDLK_r);
            r.key.keysym.scancode = (SDL_Scancode)(SDL_SCANCODE_A + k);
            push(r);
        }
        frame();
        int told = 0;
        for (Toast& t : sh.app->toasts) {
            told += t.alpha > 0.0f && std::string(t.text) == "TOO MANY KEYS WAITING: KEY DROPPED";
            t.alpha = 0.0f;   // gone by the next wait
        }
        EXPECT_EQ(told, 1) << "toasts for the dropped keys";
        session_wav_test_hold(false);
        ASSERT_TRUE(test_wait_until([&] { return !take_waiting(sh.app); }, [&] { frame(); }, 5))
            << "the wait never ended once the writer was free";
    }
}

TEST_F(ShellTest, QuitEventsAndTheCloseButtonEndTheLoop)
{
    EXPECT_TRUE(frame());
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    push(quit);
    EXPECT_FALSE(frame());
    EXPECT_FALSE(shell_frame(&sh));

    stop();
    start({"tessel"});
    EXPECT_TRUE(frame());
    sh.app->close_request = 1;
    EXPECT_FALSE(frame());
}

// A quit while the session take is written: the frames run on, showing SAVING,
// answering the screenshot request and ignoring r, until the take is in place; the
// loop then ends. A second quit with the first is the same close, and one a second
// later waits for the take as well.
TEST_F(ShellTest, AQuitWaitsInFramesForTheTakeHoweverManyQuitsCome)
{
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    for (double later : {0.0, 1.1}) {
        SCOPED_TRACE(later);
        sh.engine->length = 4800;
        sh.engine->content_generation.fetch_add(1);
        session_wav_test_hold(true);
        push(quit);
        if (later == 0.0)
            push(quit);
        EXPECT_TRUE(frame());
        touch(request());
        press(SDLK_r);
        if (later > 0.0)
            push(quit);
        ASSERT_TRUE(frame(later > 0.0 ? later : 1.0 / 60.0))
            << "a second quit ended the program while the take was written";
        for (uint32_t i = 0; i < SHELL_REQUEST_PERIOD; i++)
            ASSERT_TRUE(frame());
        EXPECT_TRUE(sh.app->session_saving && fs::exists(bmp()));
        EXPECT_EQ(sh.engine->record.load(), 0);
        session_wav_test_hold(false);
        ASSERT_TRUE(test_wait_until([&] { return !frame(); }, [] {}, 5))
            << "the close never ended once the take was written";
        EXPECT_FALSE(shell_frame(&sh));
        EXPECT_TRUE(fs::exists(fs::path(sh.app->takes_folder) / sh.app->session_name));
        stop();
        start({"tessel"});
    }
}

// ---------------------------------------------------------------------------
// Cursor
// ---------------------------------------------------------------------------

// The pointer warped over the main view's controls, the drag strip, a resize border,
// the window buttons and outside the window picks the custom cursor's mode; the
// system pointer stays shown, and the custom one takes over in every mode but 3.
class CursorShell : public ShellTest {};

TEST_F(CursorShell, TheModeFollowsWhatLiesUnderThePointer)
{
    frames(3);
    ASSERT_TRUE(sh.app->canvas && sh.app->text);
    int w = 0, h = 0;
    SDL_GetWindowSize(sh.window, &w, &h);
    // Places in main-view units or window pixels; the drag strip between the library
    // switch and the logo.
    struct Case {
        const char* what;
        float x, y;
        bool units;
        uint32_t mode;
    } cases[] = {{"record pad", 117, 382, true, 2},       {"loop display", 320, 221, true, 1},
                 {"input slider", 21, 256, true, 6},      {"knob", 320, 795, true, 5},
                 {"drag strip", 140, 20, true, 3},         {"resize border", (float)w - 2, 500, false, 3},
                 {"window buttons", (float)w - 60, 18, false, 2}, {"outside", -1, -1, false, 3}};
    for (const Case& c : cases) {
        float x = c.x, y = c.y;
        if (c.units)
            draw_map_point(&sh.kit, c.x, c.y, &x, &y);
        if (c.x < 0)
            SDL_WarpMouseGlobal(5, 5);
        else
            SDL_WarpMouseInWindow(sh.window, (int)x, (int)y);
        // The server's motion, enter and leave events come back through the loop.
        test_wait_until([&] { return sh.cursor.mode == c.mode; }, [&] { frame(); }, 5);
        frames(2);
        EXPECT_EQ(sh.cursor.mode, c.mode) << c.what;
        EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE) << c.what;
        EXPECT_EQ(sh.cursor.system_hidden, c.mode == 3 ? 0 : 1) << c.what;
    }
}

// ---------------------------------------------------------------------------
// Pacing
// ---------------------------------------------------------------------------

TEST_F(ShellTest, WhenPresentsDoNotWaitFastFramesSleepRatherThanSpin)
{
    // The offscreen driver's presents never wait, whatever its renderer reports. Asked
    // for by name in any case, as SDL reads it, it is taken.
    for (const char* asked : {"offscreen", "OFFSCREEN"}) {
        SCOPED_TRACE(asked);
        stop();
        SDL_SetHint(SDL_HINT_VIDEODRIVER, asked);
        ASSERT_NO_FATAL_FAILURE(start({"tessel"}));
        frames(5);
        Uint64 t0 = SDL_GetPerformanceCounter();
        frames(100);
        double seconds = (double)(SDL_GetPerformanceCounter() - t0) / (double)SDL_GetPerformanceFrequency();
        EXPECT_GE(seconds, 0.09);
    }
}

// ---------------------------------------------------------------------------
// The overlays' canvas and text renderer, and the settings list
// ---------------------------------------------------------------------------

// One JACK device on this platform's host API roles: the stream opens and runs.
class ShellPanels : public ShellTest {
protected:
    bool stream_info = true;   // the stream reports its latency
    void SetUp() override
    {
        policy = plat_host_api_policy();
        script_audio = [this] {
            FakeAudio& fa = fake_audio();
            fa.apis = {{12, "JACK Audio Connection Kit", 0, 0}};
            fa.devices = {{"system", 0, 2, 2, 48000.0, 0.005, 0.005}};
            fa.have_stream_info = stream_info;
        };
        ShellTest::SetUp();
    }
    void ctrl_comma()
    {
        push(ev_key(SDLK_COMMA, true, KMOD_LCTRL));
        push(ev_key(SDLK_COMMA, false, KMOD_LCTRL));
    }
    // A row's centre in window pixels.
    void row_centre(int i, float* x, float* y)
    {
        HitRect r = sh.app->settings_rows[i];
        draw_map_point(&sh.kit, r.x + r.w / 2, r.y + r.h / 2, x, y);
    }
};

TEST_F(ShellPanels, TheOverlaysLiveFromStartToStopAndTheSettingsRowsKeepAnsweringHitQueries)
{
    ASSERT_EQ(sh.engine->running, 1);
    ASSERT_NE(sh.app->canvas, nullptr);
    ASSERT_NE(sh.app->text, nullptr);
    // The main view's own lines (the logo's) stay; the settings' go once closed.
    frames(3);
    int main_lines = text_renderer_line_count(sh.app->text);
    ctrl_comma();
    frames(2000);
    ASSERT_EQ(sh.app->settings_open, 1);
    HitMap map = hitregion_map_kit(&sh.kit);
    for (int i : {0, 4, 8}) {
        float x = 0, y = 0;
        row_centre(i, &x, &y);
        ASSERT_NE(hitregion_find(x, y), nullptr) << "row " << i;
        EXPECT_TRUE(hitregion_same(&map, x, y, sh.app->settings_rows[i])) << "row " << i;
    }

    // A renderer reset empties the line cache; the next frame draws the rows again.
    int lines = text_renderer_line_count(sh.app->text);
    EXPECT_GT(lines, 9);
    sh.engine->buffer_frames = 512;   // one more value text
    frame();
    EXPECT_EQ(text_renderer_line_count(sh.app->text), lines + 1);
    SDL_Event reset{};
    reset.type = SDL_RENDER_TARGETS_RESET;
    push(reset);
    frame();
    EXPECT_EQ(text_renderer_line_count(sh.app->text), lines);
    EXPECT_GT(sh.app->settings_rows[8].w, 0.0f);

    // Closed, its lines are trimmed once they have gone undrawn long enough.
    press(SDLK_ESCAPE);
    frames(130);
    EXPECT_EQ(sh.app->settings_rows[0].w, 0.0f);
    EXPECT_EQ(text_renderer_line_count(sh.app->text), main_lines);

    stop();
    EXPECT_EQ(sh.app->canvas, nullptr);
    EXPECT_EQ(sh.app->text, nullptr);
}

TEST_F(ShellPanels, AClickOnTheDrawnBufferRowReopensTheStreamAndSavesTheSize)
{
    ctrl_comma();
    frames(2);
    float x = 0, y = 0;
    row_centre(1, &x, &y);
    push(ev_button(x + 0.5f, y + 0.5f));
    push(ev_button(x + 0.5f, y + 0.5f, false));
    frame();
    ASSERT_FALSE(fake_audio().opens.empty());
    EXPECT_EQ(fake_audio().opens.back().frames, 256u);
    EXPECT_EQ(sh.engine->running, 1);
    std::string ini = read_text(fs::path(sh.app->data_folder) / "tessel.ini");
    EXPECT_NE(ini.find("\nbuffer=256\n"), std::string::npos) << ini;
}

TEST_F(ShellPanels, WithoutACanvasTheSettingsListStaysClosedAndTheNextKeyActs)
{
    Canvas* canvas = sh.app->canvas;
    sh.app->canvas = nullptr;
    frame();
    ::testing::internal::CaptureStderr();
    ctrl_comma();
    press(SDLK_l);
    frames(2);
    std::string err = ::testing::internal::GetCapturedStderr();
    sh.app->canvas = canvas;
    EXPECT_EQ(sh.app->settings_open, 0);
    EXPECT_EQ(sh.app->library_open, 1);
    EXPECT_NE(err.find("settings: no canvas"), std::string::npos) << err;
}

// ---------------------------------------------------------------------------
// The video panel in time, read from the screen
// ---------------------------------------------------------------------------

// A video named on the command line plays in the panel at 1160 x 1080 (one unit per
// pixel); the loop position and rate are set by the test. Once the player has delivered
// the frame for the shown time and the texture holds it, the strip read from the
// screenshot gives the frame at the shown time, within one frame at 30 fps.
class VideoPanelInTime : public ShellTest {
protected:
    std::string dir = video_fixture_dir();

    void open(const char* name)
    {
        stop();
        start({"tessel", (dir + "/" + name).c_str()});
        SDL_SetWindowSize(sh.window, 1160, 1080);
        frames(30);
        ASSERT_EQ(sh.app->video_open, 1);
    }
    // At a loop position: frames until the picture for the shown time is served, then
    // the number read from a screenshot against the frame at the shown time.
    void expect_in_time(double seconds, int fw, int fh, int q = 0)
    {
        sh.engine->position.store((int32_t)std::lround(seconds * 48000));
        std::string why;
        ASSERT_TRUE(video_panel_wait_served(sh.app, [this] { frame(); }, &why)) << "loop at " << seconds << " s: " << why;
        fs::remove(bmp());
        sh.screenshot_pending = true;
        frame();
        SDL_Surface* raw = SDL_LoadBMP(bmp().c_str());
        SDL_Surface* s = raw ? SDL_ConvertSurfaceFormat(raw, SDL_PIXELFORMAT_ARGB8888, 0) : nullptr;
        SDL_FreeSurface(raw);
        ASSERT_TRUE(s && s->w == 1160);
        int32_t got = video_strip_read_panel([s](double x, double y) {
            Uint32 p = ((const Uint32*)((const Uint8*)s->pixels + (int)y * s->pitch))[(int)x];
            return ((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) / 3.0;
        }, fw, fh, q);
        SDL_FreeSurface(s);
        double want = std::floor(sh.app->video_shown_time * 30.0 + 1e-6);
        EXPECT_NEAR(got, want, 1.0) << "loop at " << seconds << " s, shown " << sh.app->video_shown_time << " s";
    }
};

TEST_F(VideoPanelInTime, ThePictureFollowsTheLoopStepsWrapsTrimsAndAMissingRate)
{
    if (dir.empty())
        GTEST_SKIP() << "no ffmpeg";
    for (auto [name, w, h] : {std::tuple{"ffv1.mkv", 320, 180}, {"h264.mp4", 640, 360}}) {
        SCOPED_TRACE(name);
        ASSERT_NO_FATAL_FAILURE(open(name));
        for (int k = 0; k <= 12; k++)
            ASSERT_NO_FATAL_FAILURE(expect_in_time(1.5 + k / 60.0, w, h));
        ASSERT_NO_FATAL_FAILURE(expect_in_time(4.5, w, h));   // the second pass
        sh.app->video_in = 1.0;
        sh.app->video_out = 2.5;
        ASSERT_NO_FATAL_FAILURE(expect_in_time(0.2, w, h));
        ASSERT_NO_FATAL_FAILURE(expect_in_time(1.7, w, h));   // wraps to 1.2
        sh.engine->sample_rate = 0;
        ASSERT_NO_FATAL_FAILURE(expect_in_time(1.0, w, h));   // timed at 48,000: 2.0
    }
    // Turned a quarter counter-clockwise: the strip runs up the left edge.
    ASSERT_NO_FATAL_FAILURE(open("rot90.mp4"));
    ASSERT_NO_FATAL_FAILURE(expect_in_time(0.5, 640, 360, 3));
    ASSERT_NO_FATAL_FAILURE(expect_in_time(2.25, 640, 360, 3));
}

// ---------------------------------------------------------------------------
// Side systems: their steps, their events, the station and the firewall
// ---------------------------------------------------------------------------

std::vector<std::string> step_names(const ShellCtx& sh, int from, int to)
{
    std::vector<std::string> out;
    for (int i = from; i < to; i++)
        out.push_back(sh.steps[i].name);
    return out;
}

// Threads of this process whose names the program gave them.
std::vector<std::string> program_threads()
{
    std::vector<std::string> out;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::string comm = read_text(task.path() / "comm");
        if (comm.rfind("tessel-", 0) == 0)
            out.push_back(comm);
    }
    return out;
}

// The station's port is the program's own: a test that goes on air skips, naming
// the holder, when something else has it.
bool port_free()
{
    TcClient probe(TCSTREAM_PORT);
    return !probe.connected();
}

// One JACK device: the stream opens and runs, and its latency follows the buffer.
class ShellAir : public ShellPanels {
protected:
    ShellAir() { stream_info = false; }   // the latency is the buffer's: 2 x frames / rate
    Station* station() { return sh.app->station; }
    void on_air()
    {
        if (!port_free())
            GTEST_SKIP() << "port " << TCSTREAM_PORT << " is held by another program";
        press(SDLK_w);
        frame();
        ASSERT_TRUE(tcstream_on_air(station()));
    }
};

// How long each step took is a figure, not a check: a busy machine takes longer.
TEST_F(ShellAir, StartUpAndShutdownRunTheirStepsInOrder)
{
    std::vector<std::string> start_steps = {
        "SDL_Init",          "SDL_CreateWindow",     "window_hit_test",     "window_set_icon",
        "SDL_CreateRenderer", "window_show",         "draw_init",           "engine_init",
        "folders_program",   "app_init",             "canvas_create",       "backdrop_init",
        "cursor_init",       "keys_help_init",       "folders_settle",      "kit_popup_create",
        "rigstore_folder_path", "rigsession_create", "engine_start",        "settings_load",
        "inputs_panel_create", "app_library_scan",   "app_open_path",       "window_apply_panels",
        "tcstream_init",     "perf_seconds"};
    EXPECT_EQ(step_names(sh, 0, sh.step_count), start_steps);
    on_air();
    // Every worker of the program at once: the station and the session take's writer.
    sine_blocks(100, 128);
    int started = sh.step_count;
    stop();
    std::vector<std::string> stop_steps = {
        "app_save_on_exit", "settings_save",   "rigsession_flush",   "app_shutdown",
        "kit_popup_destroy", "cursor_release",  "canvas_destroy",     "engine_stop",
        "tcstream_shutdown", "inputs_panel_destroy", "rigsession_destroy", "engine_shutdown",
        "draw_shutdown",    "SDL_DestroyRenderer", "SDL_DestroyWindow", "SDL_Quit"};
    EXPECT_EQ(step_names(sh, started, sh.step_count), stop_steps);
    for (int i = started; i < sh.step_count; i++)
        printf("figure shutdown %-22s %8.3f ms\n", sh.steps[i].name, sh.steps[i].seconds * 1000.0);
    std::vector<std::string> alive;
    test_wait_until([&] { return (alive = program_threads()).empty(); }, [] {}, 10);
    EXPECT_TRUE(alive.empty()) << alive.front();
}

TEST_F(ShellAir, TheEventsASideSystemTakesEndThereAndStillEndTheMainViewsGestures)
{
    frames(3);
    Overlays* o = overlays_instance();
    ASSERT_TRUE(o->popup);
    // An open popup takes r: no recording starts.
    kit_popup_open(o->popup, 0, g_now);
    frames(2);
    press(SDLK_r);
    frames(2);
    EXPECT_EQ(sh.engine->record.load(), 0);
    kit_popup_close(o->popup, g_now);
    frames(40);
    ASSERT_FALSE(overlays_popup_open(o));

    // The keys-help key toggles it, except while the picker is open.
    struct {
        bool picker;
        bool opens;
    } toggles[] = {{true, false}, {false, true}};
    for (const auto& c : toggles) {
        sh.app->picker.open = c.picker ? 1 : 0;
        push(ev_key(SDLK_SLASH, true, KMOD_LSHIFT));
        push(ev_key(SDLK_SLASH, false, KMOD_LSHIFT));
        frames(2);
        EXPECT_EQ(overlays_keys_open(o), c.opens) << "picker " << c.picker;
    }
    sh.app->picker.open = 0;
    frames(10);

    // Open: a click on the record pad does nothing; a key it does not take still acts.
    float x = 0, y = 0;
    draw_map_point(&sh.kit, 117, 382, &x, &y);
    push(ev_button(x, y));
    push(ev_button(x, y, false));
    frames(2);
    EXPECT_EQ(sh.engine->record.load(), 0);
    press(SDLK_l);
    frames(2);
    EXPECT_EQ(sh.app->library_open, 1);
    press(SDLK_l);
    push(ev_key(SDLK_SLASH, true, KMOD_LSHIFT));
    push(ev_key(SDLK_SLASH, false, KMOD_LSHIFT));
    frames(40);
    ASSERT_FALSE(overlays_keys_open(o));

    // A gain drag begun before the keys help opened ends on the release it swallowed.
    draw_map_point(&sh.kit, 21, 300, &x, &y);
    push(ev_button(x, y));
    frames(2);
    ASSERT_EQ(sh.app->drag_mode, DRAG_GAIN);
    push(ev_key(SDLK_SLASH, true, KMOD_LSHIFT));
    push(ev_key(SDLK_SLASH, false, KMOD_LSHIFT));
    frames(3);
    ASSERT_TRUE(overlays_keys_open(o));
    push(ev_button(x, y, false));
    frames(2);
    EXPECT_EQ(sh.app->drag_mode, DRAG_NONE);
}

TEST_F(ShellAir, EachSideSystemLeftOutIsSkippedAndTheProgramRuns)
{
    struct Case {
        uint32_t leave;
        const char* skipped;
    } cases[] = {{SHELL_LEAVE_STATION, "tcstream_init"},
                 {SHELL_LEAVE_SESSION, "rigsession_create"},
                 {SHELL_LEAVE_PANEL, "inputs_panel_destroy"},
                 {SHELL_LEAVE_POPUP, "kit_popup_create"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.skipped);
        stop();
        fake_audio_reset();
        script_audio();
        engine_use_backend(fake_audio_backend(), policy);
        ShellOptions options{test_clock, c.leave};
        ASSERT_EQ(shell_start(&sh, 1, const_cast<char**>(std::vector<const char*>{"tessel"}.data()), &options), 0);
        running = true;
        press(SDLK_w);
        press(SDLK_a);
        frames(5);
        if (c.leave == SHELL_LEAVE_STATION) {
            EXPECT_EQ(sh.app->station, nullptr);
            EXPECT_EQ(sh.engine->output_tap.load(), nullptr);
            EXPECT_TRUE(has_toast(sh.app, "NO BROADCAST IN THIS BUILD"));
        } else {
            tcstream_stop(sh.app->station);   // w may have found the port taken
            sh.app->broadcast = 0;
        }
        if (c.leave & (SHELL_LEAVE_SESSION | SHELL_LEAVE_PANEL)) {
            EXPECT_EQ(sh.rigs.panel, nullptr);
            EXPECT_EQ(sh.rigs.badge.w, 0.0f);
            EXPECT_EQ(sh.app->inputs_open, 0);
            EXPECT_EQ(sh.app->inputs_toggle, 0);
        }
        if (c.leave == SHELL_LEAVE_SESSION) {
            EXPECT_EQ(sh.engine->router, nullptr);
        }
        if (c.leave == SHELL_LEAVE_POPUP) {
            EXPECT_EQ(overlays_instance()->popup, nullptr);
        }
        stop();
        std::vector<std::string> all = step_names(sh, 0, sh.step_count);
        EXPECT_EQ(std::count(all.begin(), all.end(), std::string(c.skipped)), 0);
        EXPECT_EQ(all.back(), "SDL_Quit");
    }
    start({"tessel"});
}

TEST_F(ShellAir, WPutsItOnAirItsLiveFlagFollowsTheEngineAndANewStreamSetsItsLatency)
{
    ASSERT_NE(station(), nullptr);
    EXPECT_EQ((void*)sh.engine->output_tap.load(), (void*)app_broadcast_tap);
    EXPECT_EQ(sh.engine->output_tap_ctx.load(), (void*)station());
    on_air();
    EXPECT_TRUE(has_toast(sh.app, "ON AIR"));
    char text[128];
    view_status_left_text(sh.app, text, sizeof text);
    EXPECT_NE(std::string(text).find("ON AIR"), std::string::npos) << text;

    // The live flag follows the running flag frame by frame.
    for (uint8_t running : {0, 1, 0, 1}) {
        sh.engine->running = running;
        frame();
        EXPECT_EQ(station()->live.load(), running);
    }

    // The latency follows the stream: the buffer row reopens it at 256 frames.
    double before_ms = sh.engine->latency_ms;
    {
        TcClient c(station()->port);
        TcFrame hello;
        ASSERT_TRUE(c.wait_for(TCSTREAM_HELLO, &hello, TC_WAIT_MS));
        std::string json((const char*)hello.body(), hello.bytes.size() - 8);
        EXPECT_NE(json.find("\"latNs\":" + std::to_string((int64_t)(before_ms * 1e6))), std::string::npos)
            << json;
    }
    ctrl_comma();
    frames(2);
    float x = 0, y = 0;
    row_centre(1, &x, &y);
    for (int click = 0; click < 3; click++) {   // 128 -> 256 -> 512 -> 1024 frames
        push(ev_button(x + 0.5f, y + 0.5f));
        push(ev_button(x + 0.5f, y + 0.5f, false));
        frames(2);
    }
    ASSERT_EQ(fake_audio().opens.back().frames, 1024u);
    double after_ms = sh.engine->latency_ms;
    ASSERT_NEAR(after_ms - before_ms, (1024 - 128) * 2000.0 / 48000.0, 0.01);
    TcClient c(station()->port);
    TcFrame hello;
    ASSERT_TRUE(c.wait_for(TCSTREAM_HELLO, &hello, TC_WAIT_MS));
    std::string json((const char*)hello.body(), hello.bytes.size() - 8);
    int64_t lat_ns = (int64_t)(after_ms * 1e6);
    EXPECT_NE(json.find("\"latNs\":" + std::to_string(lat_ns)), std::string::npos) << json;
    // The first packet of one pushed block is dated at its push plus the new latency.
    int64_t t0 = tcstream_now_ns(station());
    sine_blocks(1, 1024);
    int64_t t1 = tcstream_now_ns(station());
    TcFrame audio;
    ASSERT_TRUE(c.wait_for(TCSTREAM_AUDIO, &audio, TC_WAIT_MS));
    int64_t ts = (int64_t)audio.u64_at(28);
    EXPECT_GE(ts - lat_ns, t0);
    EXPECT_LE(ts - lat_ns, t1);
}

TEST_F(ShellAir, TheFirewallIsCheckedOncePerOnAirPeriodAndABlockShowsInTheRowAndTheStatusLine)
{
    FakeFirewall fake;
    fake_firewall_install(&fake);
    fake_firewall_rule(&fake, "v2.10|Action=Block|Active=TRUE|Dir=In|Protocol=6|LPort=47000-48000|");
    fake.launch = PLAT_FW_LAUNCH_DECLINED;
    frames(3);
    EXPECT_EQ(fake.checks, 0);
    on_air();
    frames(3);
    EXPECT_EQ(fake.checks, 1);
    EXPECT_EQ(fw_state()->result, FW_BLOCKED);
    char text[128];
    bool warning = false;
    for (int i = 0; i < 9; i++) {
        if (std::string(settings_row_label(i)) == "BROADCAST") {
            settings_row_value(sh.app, i, text, sizeof text, &warning);
            EXPECT_STREQ(text, "BLOCKED");
        }
    }
    view_status_left_text(sh.app, text, sizeof text);
    EXPECT_NE(std::string(text).find(fw_status_text()), std::string::npos) << text;
    press(SDLK_w);
    frames(2);
    EXPECT_FALSE(fw_was_checked());
    press(SDLK_w);
    frames(2);
    EXPECT_EQ(fake.checks, 2);
    tcstream_stop(station());
    fake_firewall_remove();
}

// Cursor kinds of the side systems, in the order they are asked.
TEST_F(CursorShell, TheSideSystemsPickTheCursorBeforeTheMainView)
{
    frames(3);
    Overlays* o = overlays_instance();
    int w = 0, h = 0;
    SDL_GetWindowSize(sh.window, &w, &h);
    auto settle = [&](int x, int y, uint32_t mode) {
        SDL_WarpMouseInWindow(sh.window, x, y);
        test_wait_until([&] { return sh.cursor.mode == mode; }, [&] { frame(); }, 5);
        frames(2);
    };
    float rx = 0, ry = 0;
    draw_map_point(&sh.kit, 117, 382, &rx, &ry);   // the record pad
    HitRect b = sh.rigs.badge;
    ASSERT_GT(b.w, 0.0f);
    struct Case {
        const char* what;
        int x, y;
        int state;   // 0 none, 1 popup open
        uint32_t mode;
    } cases[] = {
        {"border under the popup", w - 2, 500, 1, 3},
        {"popup", (int)rx, (int)ry, 1, 2},
        {"badge", (int)(b.x + b.w / 2), (int)(b.y + b.h / 2), 0, 2},
        {"window buttons", w - 60, 18, 0, 2},
        {"record pad", (int)rx, (int)ry, 0, 2},
    };
    for (const Case& c : cases) {
        if (c.state == 1)
            kit_popup_open(o->popup, 0, g_now);
        settle(c.x, c.y, c.mode);
        EXPECT_EQ(sh.cursor.mode, c.mode) << c.what;
        if (c.state == 1) {
            kit_popup_close(o->popup, g_now);
            frames(40);
        }
    }
    // The keys help: a hand on its panel, the arrow beside it, even over the record pad.
    sh.app->keys_help_toggle = 1;
    frames(30);
    ASSERT_TRUE(overlays_keys_open(o));
    CanvasRect kr{};
    ASSERT_TRUE(keys_help_panel_rect(&o->keys, &kr));
    settle((int)(kr.x + kr.w / 2), (int)(kr.y + kr.h / 2), 2);
    EXPECT_EQ(sh.cursor.mode, 2u) << "keys help panel";
    settle((int)(kr.x + kr.w / 2), (int)(kr.y - 20), 0);
    EXPECT_EQ(sh.cursor.mode, 0u) << "beside the keys help";
    sh.app->keys_help_toggle = 1;
    frames(40);
    // The open inputs panel's own mode on it.
    press(SDLK_a);
    frames(40);
    ASSERT_TRUE(inputs_panel_is_open(sh.rigs.panel));
    HitRect pr = sh.rigs.panel_rect;
    settle((int)(pr.x + pr.w / 2), (int)(pr.y + pr.h / 2), (uint32_t)inputs_panel_cursor_mode(sh.rigs.panel));
    EXPECT_EQ(sh.cursor.mode, (uint32_t)inputs_panel_cursor_mode(sh.rigs.panel)) << "inputs panel";
}

}  // namespace
