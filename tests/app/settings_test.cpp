// The settings file in a private data folder: every setting through a save and a load
// into a fresh engine, damaged and hostile files, values out of range, things that are
// not files at the file's name, a full disk, the session take and the plug-ins.
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/settings.h"
#include "app/takes.h"
#include "audio/engine_retire.h"
#include "audio/fx.h"
#include "audio/loop_file.h"
#include "audio/vst.h"
#include "audio/wav_write.h"
#include "library/folder_tree.h"
#include "library/library.h"
#include "platform/plat_file.h"
#include "tests/app/app_test.h"
#include "tests/audio/vst_test_support.h"

namespace fs = std::filesystem;

namespace {

enum { kWasapi = 13 };

class SettingsTest : public AppTest {
protected:
    AppTestFolder dir;
    fs::path ini;

    void SetUp() override
    {
        AppTest::SetUp();
        use_folders();
        ini = dir.path / "data" / "tessel.ini";
    }
    void TearDown() override
    {
        plat_file_fake_size_limit(-1);
        retire_plugins();
        AppTest::TearDown();
    }
    void use_folders()
    {
        fs::create_directories(dir.path / "data");
        fs::create_directories(dir.path / "takes");
        snprintf(app->data_folder, sizeof app->data_folder, "%s", (dir.path / "data").c_str());
        snprintf(app->takes_folder, sizeof app->takes_folder, "%s", (dir.path / "takes").c_str());
    }
    void retire_plugins()
    {
        for (FxSlot& s : e->slots)
            engine_retire_plugin(e, &s.plugin);
        engine_retire_plugin(e, &e->instrument);
    }
    // Two input devices and an output on the scripted audio library.
    void add_devices()
    {
        FakeAudio& fa = fake_audio();
        fa.apis.push_back({kWasapi, "Windows WASAPI", 1, 0});
        fa.devices.push_back({"Speakers", 0, 0, 2, 48000.0, 0.003, 0.010});
        fa.devices.push_back({"Mic A", 0, 2, 0, 48000.0, 0.003, 0.010});
        fa.devices.push_back({"Mic B", 0, 2, 0, 48000.0, 0.003, 0.010});
    }
    // The program as it starts: a fresh engine on the same devices, a fresh AppState.
    void restart()
    {
        retire_plugins();
        app_test_engine_stop(e);
        ASSERT_TRUE(app_test_engine_start(e));
        add_devices();
        app_init(app, e, "/opt/tessel");
        use_folders();
    }
    void write(const std::string& text)
    {
        std::ofstream(ini, std::ios::binary) << text;
    }
    std::string format() const
    {
        static char text[APP_SETTINGS_TEXT];
        settings_format(app, text, sizeof text);
        return text;
    }
    std::string file_text() const
    {
        std::ifstream in(ini, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool temp_files_left() const
    {
        for (const auto& entry : fs::directory_iterator(dir.path / "data"))
            if (entry.path().filename().string().find(".tmp.") != std::string::npos)
                return true;
        return false;
    }
    void record_loop(int frames)
    {
        e->record = 1;
        app_test_run_callback(e, frames, 0.25f);
        e->record = 0;
        app_test_run_callback(e, 1, 0.25f);
        ASSERT_EQ(e->length.load(), frames);
    }
};

// ---------------------------------------------------------------------------
// Round trip
// ---------------------------------------------------------------------------

TEST_F(SettingsTest, EverySettingComesBackAfterARestart)
{
    add_devices();
    VstMockLib effect("vst_mock.so");
    VstMockLib synth("My.Synth.so");
    ASSERT_TRUE(effect.state && synth.state);
    synth.config().flags |= VST_FLAG_IS_SYNTH;
    record_loop(9600);
    ASSERT_TRUE(loop_write_wav_float(e, (dir.path / "takes/take-1.wav").c_str()));

    app->video_open = 1;
    app->video_in = 1.5;
    app->video_out = 4.25;
    app->gain = 1.5f;
    app->pan = -0.25f;
    e->gate_threshold = 0.125f;
    e->monitor = 0;
    app->overdub = 0;
    e->reversed = 1;
    app->broadcast = 1;
    e->buffer_frames = 512;
    e->exclusive_wanted = 1;
    engine_set_input_device(e, 2);
    snprintf(app->session_name, sizeof app->session_name, "take-1.wav");
    app->keys_help_open = 1;
    app->library_open = 1;
    app->take_scroll = 7;
    app->library_tab = 1;
    app->bars_per_segment = 8;
    app->player_loop = 1;
    app->player_to_input = 1;
    app->library_gain = 0.5f;
    app->library_zoom = 12.5f;
    snprintf(app->folder_tree_state, sizeof app->folder_tree_state, "/music|/music/a|/music/b");
    snprintf(app->favourites_state, sizeof app->favourites_state, "/music/a");
    app->inputs_open = 1;
    app->inputs_scroll = 40.0f;
    app->inputs_selected = 3;
    e->wet_dry = 0.3f;
    e->crossfade = 0.6f;
    e->fx_bypass = 1;
    app->pad_mode = 1;
    for (int i = 0; i < ENGINE_SLOTS; i++) {
        fx_set_type(&e->slots[i], i + 11);
        e->slots[i].knob1 = 0.1f * (float)(i + 1);
        e->slots[i].knob2 = 0.9f - 0.1f * (float)i;
    }
    engine_publish_plugin(e, &e->slots[2].plugin, effect.load());
    engine_publish_plugin(e, &e->instrument, synth.load());
    snprintf(app->video_path, sizeof app->video_path, "/videos/clip one.mp4");

    settings_save(app);
    std::string before = format();
    EXPECT_EQ(file_text(), before);
    EXPECT_EQ(std::string(app->settings_last), before);

    restart();
    settings_load(app);
    EXPECT_EQ(format(), before);
    // The values reached the engine and the systems behind the settings.
    EXPECT_EQ(e->gain.load(), 1.5f);
    EXPECT_EQ(e->pan.load(), -0.25f);
    EXPECT_EQ(e->player_to_input.load(), 1);
    EXPECT_EQ(e->chosen_input_device, 2);
    EXPECT_EQ(e->running, 1);
    EXPECT_STREQ(e->input_name, "Mic B");
    EXPECT_EQ(e->slots[3].effect_type.load(), 14);
    EXPECT_EQ(vst_path(e->slots[2].plugin.load()), effect.path);
    EXPECT_TRUE(vst_is_synth(e->instrument.load()));
    EXPECT_EQ(app->video_trim_restored, 1);
    EXPECT_EQ(e->length.load(), 9600);
    EXPECT_EQ(e->playing.load(), 0);
    EXPECT_EQ(app->session_gen_saved, e->content_generation.load());
    EXPECT_EQ(app->session_gen_seen, e->content_generation.load());
}

TEST_F(SettingsTest, TheLibrarysOwnVolumeAndReferenceLengthAreWritten)
{
    // Without a library the stored values are written; with one, its current ones.
    app->library_gain = 0.5f;
    app->library_zoom = 12.5f;
    EXPECT_NE(format().find("libgain=0.500\nlibzoom=12.500\n"), std::string::npos);
    app_player_ensure(app);
    ASSERT_NE(app->library, nullptr);
    library_set_volume(app->library, 0.25f);
    library_set_reference_length(app->library, 30.0f);
    EXPECT_NE(format().find("libgain=0.250\nlibzoom=30.000\n"), std::string::npos) << format();
    restart();   // app_init closes the library
}

TEST_F(SettingsTest, AMissingFileOrNoDataFolderChangesNothing)
{
    app->gain = 0.7f;
    e->buffer_frames = 256;
    settings_load(app);
    EXPECT_EQ(app->gain, 0.7f);
    EXPECT_EQ(e->buffer_frames, 256);

    write("gain=0.2\n");
    app->data_folder[0] = '\0';
    settings_load(app);
    EXPECT_EQ(app->gain, 0.7f);
    settings_save(app);   // no folder: nothing is written anywhere
    EXPECT_EQ(file_text(), "gain=0.2\n");
    EXPECT_STREQ(app->settings_last, "");
}

// ---------------------------------------------------------------------------
// Damaged and hostile files
// ---------------------------------------------------------------------------

TEST_F(SettingsTest, UnknownAndDamagedLinesLeaveDefaultsAndNeverStandForKeys)
{
    std::string text =
        "gain\n"                          // no "=": the default
        "this is not a setting\n=0.3\nunknown=5\n"
        "wetdry=abc\n"                    // not a number: 0
        "xfade=nan\nslot0_p1=inf\nlibgain=1e999\n"   // not finite: the defaults
        "filesstate=/music/xfade=0.2|/music/padmode=1\r\n"   // keys inside a value
        "monitor=0\nmonitor=1\n"          // the first line counts
        "barsper=2\r\n"
        "session=\r\n"
        "\xff\xfe\x01 garbage\n";
    text += std::string(1, '\0') + "overdub=0\n";   // nothing after a NUL is read
    write(text);
    settings_load(app);
    EXPECT_EQ(app->gain, 1.0f);
    EXPECT_EQ(e->wet_dry.load(), 0.0f);
    EXPECT_EQ(e->crossfade.load(), 1.0f);
    EXPECT_EQ(e->slots[0].knob1.load(), 0.5f);
    EXPECT_EQ(app->library_gain, 1.0f);
    EXPECT_STREQ(app->folder_tree_state, "/music/xfade=0.2|/music/padmode=1");
    EXPECT_EQ(app->pad_mode, 0);
    EXPECT_EQ(e->monitor.load(), 0);
    EXPECT_EQ(app->bars_per_segment, 2);
    EXPECT_EQ(app->session_name[0], '\0');
    EXPECT_EQ(app->overdub, 1);
}

// A line break in a value would write a line of its own, read back as a setting: every
// text value of the file is left out when it holds one, and kept whole with any other
// control character (a TAB).
TEST_F(SettingsTest, AValueWithAControlCharacterIsNeverWritten)
{
    add_devices();
    fake_audio().devices.push_back({"Mic\nslot0_vstpath=/evil.so", 0, 2, 0, 48000.0, 0.003, 0.010});
    engine_set_input_device(e, 3);
    for (const char* key : {"indev=", "inapi=", "evil"})
        EXPECT_EQ(format().find(key), std::string::npos) << key;

    // Each sets its text to v (a plug-in loaded from a copy of the mock named by v) and
    // returns the value the file would hold; an empty v clears it.
    auto text = [](char* field, size_t cap, const std::string& v) {
        snprintf(field, cap, "%s", v.c_str());
        return v;
    };
    auto plugin = [&](std::atomic<VstPlugin*>* at, const std::string& v) {
        engine_retire_plugin(e, at);
        if (v.empty())
            return v;
        std::string path = (dir.path / ("fx" + v + ".so")).string();
        fs::copy_file(vst_mock_path("vst_mock.so"), path, fs::copy_options::overwrite_existing);
        engine_publish_plugin(e, at, vst_load(path.c_str(), 48000.0f, 4096, nullptr, 0));
        return path;
    };
    auto device = [&](const std::string& name, const std::string& label) {
        e->chosen_input_device = -1;
        snprintf(e->missing_name, sizeof e->missing_name, "%s", name.c_str());
        snprintf(e->missing_label, sizeof e->missing_label, "%s", label.c_str());
    };
    const struct {
        const char* key;
        std::function<std::string(const std::string&)> set;
    } values[] = {
        {"session", [&](const std::string& v) { return text(app->session_name, sizeof app->session_name, v); }},
        {"filesstate",
         [&](const std::string& v) { return text(app->folder_tree_state, sizeof app->folder_tree_state, v); }},
        {"favsstate",
         [&](const std::string& v) { return text(app->favourites_state, sizeof app->favourites_state, v); }},
        {"indev", [&](const std::string& v) { device(v, v.empty() ? "" : "wasapi"); return v; }},
        {"inapi", [&](const std::string& v) { device(v.empty() ? "" : "Mic A", v); return v; }},
        {"slot1_vstpath", [&](const std::string& v) { return plugin(&e->slots[1].plugin, v); }},
        {"instpath", [&](const std::string& v) { return plugin(&e->instrument, v); }},
        {"vidpath", [&](const std::string& v) { return text(app->video_path, sizeof app->video_path, v); }},
    };
    for (const auto& value : values) {
        for (const char* control : {"\n", "\r", "\t"}) {
            std::string v = value.set(std::string("a") + control + "evil=1");
            std::string written = format();
            std::string line = std::string("\n") + value.key + "=";
            if (control[0] == '\t') {
                EXPECT_NE(written.find(line + v + "\n"), std::string::npos) << value.key << " with a TAB";
            } else {
                EXPECT_EQ(written.find(line), std::string::npos) << value.key << " with a line break";
                EXPECT_EQ(written.find("evil"), std::string::npos) << value.key << " with a line break";
            }
            value.set("");
        }
    }
}

// A folder whose name the file cannot hold is left out of the tree's state alone; a
// root the file cannot hold leaves no state at all, not the state of the root before.
TEST_F(SettingsTest, AFolderTheFileCannotHoldLeavesTheRestOfTheTreesState)
{
    fs::path root = dir.path / "music";
    for (const char* d : {"tab\tdir", "line\ndir", "plain"})
        fs::create_directories(root / d);
    app->folder_tree = foldertree_create();
    ASSERT_TRUE(foldertree_set_root(app->folder_tree, root.c_str()));
    for (int32_t i = foldertree_count(app->folder_tree) - 1; i >= 0; i--)
        foldertree_expand(app->folder_tree, i);
    std::string written = format();
    ASSERT_TRUE(foldertree_set_root(app->folder_tree, (root / "line\ndir").c_str()));
    std::string moved = format();
    foldertree_destroy(app->folder_tree);
    app->folder_tree = nullptr;
    std::string line = "\nfilesstate=" + root.string() + "|";
    EXPECT_NE(written.find(line), std::string::npos) << written;
    EXPECT_NE(written.find("|" + (root / "tab\tdir").string()), std::string::npos);
    EXPECT_NE(written.find("|" + (root / "plain").string()), std::string::npos);
    EXPECT_EQ(written.find("line"), std::string::npos);
    EXPECT_EQ(moved.find("filesstate="), std::string::npos) << moved;
}

TEST_F(SettingsTest, ValuesOutOfRangeAreClampedOrTakeTheirDefault)
{
    e->buffer_frames = 256;
    write("vidin=-3\nvidout=1e300\ngain=7\npan=-3\ngate=2\nbuffer=100\nlibscroll=1e300\nlibtab=0.4\n"
          "barsper=3\nlibgain=5\nlibzoom=-1\nrigscroll=-8\nrigsel=1e12\nxfade=-0.5\npadmode=2\n"
          "slot0_type=15\nslot1_type=-1\nslot2_type=13.9\nslot0_p2=9\n");
    settings_load(app);
    EXPECT_EQ(app->video_in, 0.0);
    EXPECT_EQ(app->video_out, 86400.0);
    EXPECT_EQ(app->gain, 2.0f);
    EXPECT_EQ(e->gain.load(), 2.0f);
    EXPECT_EQ(app->pan, -1.0f);
    EXPECT_EQ(e->gate_threshold.load(), 1.0f);
    EXPECT_EQ(e->buffer_frames, 256);
    EXPECT_EQ(app->take_scroll, APP_TAKES_MAX);
    EXPECT_EQ(app->library_tab, 0);
    EXPECT_EQ(app->bars_per_segment, 4);
    EXPECT_EQ(app->library_gain, 1.0f);
    EXPECT_EQ(app->library_zoom, 0.0f);
    EXPECT_EQ(app->inputs_scroll, 0.0f);
    EXPECT_EQ(app->inputs_selected, -1);
    EXPECT_EQ(e->crossfade.load(), 0.0f);
    EXPECT_EQ(app->pad_mode, 0);
    EXPECT_EQ(e->slots[0].effect_type.load(), FX_OFF);
    EXPECT_EQ(e->slots[1].effect_type.load(), FX_OFF);
    EXPECT_EQ(e->slots[2].effect_type.load(), 13);
    EXPECT_EQ(e->slots[0].knob2.load(), 1.0f);
}

TEST_F(SettingsTest, OnlyTheFirst8191BytesAreReadAndTextsAreCutToTheirFields)
{
    std::string text = "favsstate=" + std::string(1000, 'v') + "\n" + "vidpath=" + std::string(2000, 'p') + "\n";
    text += "padmode=1";
    text.insert(text.size() - 9, std::string(8191 - text.size() - 1, '#') + "\n");
    ASSERT_EQ(text.size(), 8191u);
    text += "\ngain=0.5\n";   // past the 8191st byte
    write(text);
    settings_load(app);
    EXPECT_EQ(std::strlen(app->favourites_state), sizeof app->favourites_state - 1);
    EXPECT_EQ(std::strlen(app->video_path), sizeof app->video_path - 1);
    EXPECT_EQ(app->pad_mode, 1);   // ends on the 8191st byte
    EXPECT_EQ(app->gain, 1.0f);
}

TEST_F(SettingsTest, AFifoOrAFolderNamedLikeTheFileIsNeitherReadNorHarmed)
{
    ASSERT_EQ(mkfifo(ini.c_str(), 0600), 0);
    app->gain = 0.7f;
    settings_load(app);   // would hang on a FIFO opened for reading
    EXPECT_EQ(app->gain, 0.7f);
    settings_save(app);   // the FIFO is replaced by the file, never written into
    EXPECT_TRUE(fs::is_regular_file(ini));
    EXPECT_EQ(file_text(), format());

    fs::remove(ini);
    fs::create_directories(ini / "inside");
    app->settings_last[0] = '\0';
    settings_load(app);
    EXPECT_EQ(app->gain, 0.7f);
    settings_save(app);
    EXPECT_TRUE(fs::is_directory(ini / "inside"));
    EXPECT_STREQ(app->settings_last, "");   // not written: the autosave tries again
    EXPECT_FALSE(temp_files_left());
}

TEST_F(SettingsTest, AFullDiskKeepsTheOldFileWholeAndLeavesNoTemporaryFile)
{
    app->gain = 0.5f;
    settings_save(app);
    std::string old = file_text();
    ASSERT_EQ(old, format());

    app->gain = 0.25f;
    ASSERT_TRUE(plat_file_fake_size_limit(64));
    settings_save(app);
    plat_file_fake_size_limit(-1);
    EXPECT_EQ(file_text(), old);
    EXPECT_EQ(std::string(app->settings_last), old);
    EXPECT_FALSE(temp_files_left());

    settings_save(app);
    EXPECT_EQ(file_text(), format());
}

// ---------------------------------------------------------------------------
// Session take and plug-ins
// ---------------------------------------------------------------------------

TEST_F(SettingsTest, ASessionTakeThatCannotBeLoadedIsForgottenAndTheLoopPlays)
{
    e->content_generation = 5;
    write("session=gone.wav\n");
    settings_load(app);
    EXPECT_EQ(app->session_name[0], '\0');
    EXPECT_EQ(e->playing.load(), 1);
    EXPECT_EQ(app->session_gen_saved, 5u);
    EXPECT_EQ(app->session_gen_seen, 5u);

    // A name that leads out of the takes folder is no session take, even when a
    // loadable file lies there.
    record_loop(9600);
    ASSERT_TRUE(loop_write_wav_float(e, (dir.path / "outside.wav").c_str()));
    e->clear_request = 1;
    app_test_run_callback(e, 128, 0.0f);
    ASSERT_EQ(e->length.load(), 0);
    write("session=../outside.wav\n");
    settings_load(app);
    EXPECT_EQ(app->session_name[0], '\0');
    EXPECT_EQ(e->length.load(), 0);
    EXPECT_EQ(e->playing.load(), 1);
}

// A restored take cut at the server's rate is a new take: its file is never saved over.
// Restored untouched, a take the loop cannot hold whole stays the session's: the next
// start restores it again. Its first change starts a new take.
TEST_F(SettingsTest, ARestoredTakeCutAtTheServersRateStartsANewTakeOnlyOnceChanged)
{
    std::vector<float> take(8000 * 181, 0.25f);
    ASSERT_TRUE(wav_write_float((dir.path / "takes" / "long.wav").c_str(), take.data(), 1, (int64_t)take.size(), 8000.0));
    e->sample_rate = 96000.0;
    write("session=long.wav\n");
    settings_load(app);
    EXPECT_EQ(e->length.load(), ENGINE_LOOP_CAPACITY);
    EXPECT_STREQ(app->session_name, "long.wav");
    static char text[APP_SETTINGS_TEXT];
    settings_format(app, text, sizeof text);
    EXPECT_NE(std::strstr(text, "session=long.wav\n"), nullptr);
    e->content_generation.fetch_add(1);
    ASSERT_TRUE(save());
    EXPECT_STRNE(app->session_name, "long.wav");
    EXPECT_STREQ(app->toasts[(app->toast_next + APP_TOASTS - 1) % APP_TOASTS].text, "LOADED, CUT TO 180.0S, 8K MADE 96K");
    EXPECT_EQ(e->playing.load(), 0);
}

TEST_F(SettingsTest, PlugInsThatFailOrAreNoInstrumentAreLeftOut)
{
    VstMockLib effect("vst_mock.so");
    ASSERT_TRUE(effect.state);
    write("slot0_type=4\nslot0_vstpath=" + (dir.path / "missing.so").string() + "\ninstpath=" + effect.path + "\n");
    settings_load(app);
    EXPECT_EQ(e->slots[0].plugin.load(), nullptr);
    EXPECT_EQ(e->slots[0].effect_type.load(), 4);
    EXPECT_EQ(e->instrument.load(), nullptr);
    EXPECT_EQ(effect.stats().alive.load(), 0);   // unloaded at once
}

}  // namespace
