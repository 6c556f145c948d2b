// The button row's looks, the two status lines' texts and the key sheet's held keys,
// worked out without a renderer over an engine and a station in known states.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/panels/main/view_palette.h"
#include "app/panels/main/view_status.h"
#include "audio/engine_retire.h"
#include "audio/vst.h"
#include "broadcast/firewall.h"
#include "broadcast/tcstream.h"
#include "tests/app/app_test.h"
#include "tests/audio/vst_mock_impl.h"
#include "tests/support/fake_firewall.h"

namespace {

// A station record that reads as on air with a listener count, no thread behind it.
Station* station_on_air(int listeners)
{
    static Station station;
    station.running.store(1);
    station.listeners_in_use.store(listeners);
    return &station;
}

class StatusView : public AppTest {
protected:
    VstPlugin* plugin = nullptr;
    void TearDown() override
    {
        if (plugin) {
            EXPECT_TRUE(engine_retire_plugin_within(e, &e->instrument, TEST_WAIT_SECONDS * 1000));
        }
        AppTest::TearDown();
    }
    void load_instrument(const char* name)
    {
        vst_mock_reset();
        snprintf(g_vst_mock.config.name, sizeof g_vst_mock.config.name, "%s", name);
        char err[128] = {};
        plugin = vst_load_entry("mock", vst_mock_entry, 48000.0f, 4096, err, sizeof err);
        ASSERT_NE(plugin, nullptr) << err;
        engine_publish_plugin(e, &e->instrument, plugin);
    }
    std::string left(bool* running = nullptr)
    {
        char text[VIEW_STATUS_CAP];
        bool r = view_status_left_text(app, text, sizeof text);
        if (running)
            *running = r;
        return text;
    }
    std::string right()
    {
        char text[VIEW_STATUS_CAP];
        view_status_right_text(e, text, sizeof text);
        return text;
    }
};

TEST_F(StatusView, ButtonsLightWithMonitorOverdubTheExportFlashAndAnInstrument)
{
    e->monitor.store(0);
    app->overdub = 0;
    for (int i = 0; i < VIEW_BUTTONS; i++)
        EXPECT_FALSE(view_button_look(app, i).lit) << i;
    EXPECT_STREQ(view_button_look(app, 4).label, "INST");

    e->monitor.store(1);
    app->overdub = 1;
    app->flashes[FLASH_EXPORTED].value = 0.02f;
    app->flashes[FLASH_CLEARED].value = 1.0f;   // the loop display's alone
    ButtonLook monitor = view_button_look(app, 0);
    EXPECT_TRUE(monitor.lit);
    EXPECT_STREQ(monitor.label, "MONITOR");
    EXPECT_EQ(monitor.accent, VIEW_TEAL);
    EXPECT_TRUE(view_button_look(app, 1).lit);
    EXPECT_EQ(view_button_look(app, 1).accent, VIEW_RED);
    EXPECT_FALSE(view_button_look(app, 2).lit);
    EXPECT_TRUE(view_button_look(app, 3).lit);
    app->flashes[FLASH_EXPORTED].value = 0.01f;   // faded out
    EXPECT_FALSE(view_button_look(app, 3).lit);

    // The instrument's name, cut to nine characters, lights the fifth button.
    load_instrument("Polysynth Deluxe");
    ButtonLook inst = view_button_look(app, 4);
    EXPECT_TRUE(inst.lit);
    EXPECT_STREQ(inst.label, "Polysynth");
    EXPECT_EQ(inst.accent, VIEW_LIGHT_TEAL);

    // Out of range or without state: unlit, nothing read.
    EXPECT_FALSE(view_button_look(app, 5).lit);
    EXPECT_STREQ(view_button_look(nullptr, 4).label, "INST");
}

TEST_F(StatusView, LeftLineNamesTheDeviceOrOfflineThenTheBroadcastAndSaving)
{
    snprintf(e->input_name, sizeof e->input_name, "%s", "USB Audio CODEC Analog Stereo Input");
    e->running = 1;
    bool running = false;
    EXPECT_EQ(left(&running), "USB Audio CODEC Analog S");   // cut to 24
    EXPECT_TRUE(running);

    // Off air, or no station: no suffix.
    static Station off_air;
    app->station = &off_air;
    EXPECT_EQ(left(), "USB Audio CODEC Analog S");

    app->station = station_on_air(0);
    EXPECT_EQ(left(), "USB Audio CODEC Analog S  ON AIR");
    app->station = station_on_air(3);
    app->session_saving = 1;
    EXPECT_EQ(left(), "USB Audio CODEC Analog S  ON AIR 3  SAVING");

    // The firewall's words replace the listener count.
    FakeFirewall fw;
    fw.launch = PLAT_FW_LAUNCH_DECLINED;
    fake_firewall_install(&fw);
    fw_ensure_rule(0.0);
    EXPECT_EQ(left(), "USB Audio CODEC Analog S  BLOCKED BY WINDOWS FIREWALL - ALLOW  SAVING");
    fake_firewall_remove();

    // A stopped stream reads offline, and the broadcast still follows.
    e->running = 0;
    app->session_saving = 0;
    EXPECT_EQ(left(&running), "AUDIO OFFLINE  ON AIR 3");
    EXPECT_FALSE(running);
    // A failed save stands until one succeeds; a close shows it is saving from its first
    // request on.
    app->take_unsaved = 1;
    EXPECT_EQ(left(), "AUDIO OFFLINE  ON AIR 3  TAKE NOT SAVED");
    app->closing = APP_CLOSING_SAVE;
    EXPECT_EQ(left(), "AUDIO OFFLINE  ON AIR 3  SAVING");
    app->closing = APP_CLOSING_NONE;
    app->take_unsaved = 0;

    // A short buffer holds a cut, terminated text.
    char small[10];
    view_status_left_text(app, small, sizeof small);
    EXPECT_STREQ(small, "AUDIO OFF");
    app->station = nullptr;
}

TEST_F(StatusView, RightLineShowsBufferRateLatencyAndExclusiveModeOfTheStream)
{
    // Offline, the last stream's block goes with its rate and latency, not a size saved
    // since; before any stream ran, the buffer and rate the settings ask for.
    struct Case {
        uint8_t running;
        int32_t last_block, saved;
        double rate, latency;
        uint8_t excl;
        const char* text;
    } cases[] = {{1, 0, 256, 44100.0, 11.64, 0, "256 @ 44K  11.6MS"},
                 {1, 0, 256, 48000.0, 11.64, 1, "256 @ 48K  11.6MS  EXCL"},
                 {0, 1024, 64, 44100.0, 92.88, 0, "1024 @ 44K  92.9MS"},
                 {0, 0, 512, 44100.0, 0.0, 0, "512 @ 44K"}};
    for (const Case& c : cases) {
        e->running = c.running;
        e->latency_block = c.last_block;
        e->buffer_frames = c.saved;
        e->sample_rate = c.rate;
        e->latency_ms = c.latency;
        e->exclusive_granted = c.excl;
        EXPECT_EQ(right(), c.text);
    }
    char text[8] = "x";
    view_status_right_text(nullptr, text, sizeof text);
    EXPECT_STREQ(text, "");
}

TEST_F(StatusView, KeysAreHeldByEitherMaskAndFiveOfThemAreBlack)
{
    app->notes_mouse = 1u << 4;
    app->notes_keys = 1u << 4 | 1u << 12 | 1u << 13;   // bit 13 lies past the sheet
    for (int i = 0; i < VIEW_SHEET_KEYS; i++)
        EXPECT_EQ(view_key_held(app, i), i == 4 || i == 12) << i;
    EXPECT_FALSE(view_key_held(app, 13));
    std::string black;
    for (int i = 0; i < VIEW_SHEET_KEYS; i++)
        black += view_key_black(i) ? '1' : '0';
    EXPECT_EQ(black, "0101001010100");
}

}  // namespace
