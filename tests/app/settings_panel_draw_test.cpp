// The settings list drawn on the GL renderer (panel, nine rows, the DEVICE row's
// warning, the latency line, the device list) and the row values it shows.
#include <functional>
#include <string>

#include "app/panels/settings_panel.h"
#include "broadcast/firewall.h"
#include "support/fake_firewall.h"
#include "tests/app/panel_view_kit.h"

namespace {

class SettingsView : public PanelViewTest {
protected:
    void SetUp() override
    {
        PanelViewTest::SetUp();
        app->settings_open = 1;
        stream(kPaJack, "system", "JACK");
    }
    void stream(int api, const char* name, const char* label)
    {
        e->running = 1;
        e->asio = api == kPaJack;
        snprintf(e->input_name, sizeof e->input_name, "%s", name);
        snprintf(e->host_label, sizeof e->host_label, "%s", label);
        e->latency_ms = 5.3;
        e->sample_rate = 48000.0;
    }
    std::string value(int i, bool* warning = nullptr)
    {
        char out[SETTINGS_VALUE_TEXT];
        settings_row_value(app, i, out, sizeof out, warning);
        return out;
    }
    static int row_y(int i) { return (int)(330.5f + 48 * i); }
};

TEST_F(SettingsView, PanelOutlineNineRowsAndTheLatencyLine)
{
    draw_fixture_clear(&fx, 200, 200, 200);
    view_settings(app, &kit, 1.0f / 60);
    read();
    shot();
    EXPECT_TRUE(draw_probe(&fx, 20, 20, draw_expect_blend(draw_pixel_rgb(200, 200, 200), pix(draw_rgba(13, 17, 17, 210)))));
    EXPECT_TRUE(draw_probe(&fx, 300, 795, pix(VIEW_PANEL)));
    for (int x : {60, 579})
        EXPECT_TRUE(draw_probe(&fx, x, 600, pix(VIEW_MAGENTA)));
    EXPECT_TRUE(draw_probe(&fx, 320, 277, pix(VIEW_MAGENTA)));
    for (int i = 0; i < APP_SETTINGS_ROWS; i++) {
        EXPECT_GT(ink(82, row_y(i) + 12, 200, row_y(i) + 32), 5) << settings_row_label(i);
        EXPECT_GT(ink(430, row_y(i) + 12, 558, row_y(i) + 32, 250), 5) << settings_row_label(i);
        EXPECT_EQ(app->settings_rows[i].y, 330.5f + 48 * i);
    }
    EXPECT_TRUE(find(82, row_y(2) + 8, 200, row_y(2) + 36, pix(VIEW_RED), 12).empty());
    EXPECT_NEAR(find(74, 776, 400, 788, pix(VIEW_LIGHT_TEAL)).x1, 74 + 22 * 8.4 - 1.4, 5);   // "LATENCY  5.3 MS  @ 48K"

    // Exclusive mode refused on a system-API device: the DEVICE row's warning.
    stream(kPaAlsa, "hw mic", "ALSA");
    e->exclusive_wanted = 1;
    paint();
    shot("refused");
    EXPECT_FALSE(find(82, row_y(2) + 8, 200, row_y(2) + 36, pix(VIEW_RED), 12).empty());

    // Closed, or without its text renderer, it draws nothing and forgets its rows.
    TextRenderer* text = app->text;
    app->text = nullptr;
    paint();
    app->text = text;
    EXPECT_EQ(app->settings_open, 0);
    EXPECT_TRUE(draw_probe(&fx, 60, 600, bg));
    EXPECT_EQ(app->settings_rows[1].w, 0.0f);
}

TEST_F(SettingsView, TheDeviceListMarksTheOpenAndTheHoveredEntryAndCutsNames)
{
    devices(kPaJack, {"out", "Mic A", "A forty character device name, long one!", "Mic C"});
    paint();
    DrawPixel under = draw_fixture_pixel(&fx, 70, 400);
    app->device_list_open = 1;
    app->device_count = 0;
    paint();
    EXPECT_TRUE(draw_probe(&fx, 70, 400, under, 0)) << "an empty list draws nothing";
    EXPECT_TRUE(draw_box_has(&fx, 68, 372, 74, 377, pix(VIEW_MAGENTA))) << "but its zero-height box";

    app->device_count = 3;
    for (int k = 0; k < 3; k++)
        app->device_indices[k] = k + 1;
    e->open_input_device = 1;
    app->mouse_x = 300;
    app->mouse_y = 374.5f + 38 * 2 + 19;
    paint();
    shot();
    const float y0 = 374.5f;
    EXPECT_TRUE(draw_probe(&fx, 70, (int)y0 + 4, draw_pixel_rgb(109, 10, 61)));
    EXPECT_TRUE(draw_probe(&fx, 70, (int)y0 + 38 + 4, pix(VIEW_BACKGROUND)));
    EXPECT_TRUE(draw_probe(&fx, 70, (int)y0 + 76 + 4, draw_pixel_rgb(61, 13, 39)));
    EXPECT_TRUE(draw_probe(&fx, 64, (int)y0 + 60, pix(VIEW_MAGENTA)));
    EXPECT_NEAR(find(76, (int)y0 + 50, 560, (int)y0 + 62, pix(VIEW_LIGHT)).x1, 76 + 34 * 9 - 1.5, 5);
    EXPECT_NEAR(find(400, (int)y0 + 13, 575, (int)y0 + 24, pix(VIEW_LIGHT_TEAL)).x1, 563, 2);
}

TEST_F(SettingsView, ARowTheOpenListLeavesBareShowsItsHover)
{
    devices(kPaJack, {"Mic A", "Mic B"});
    app->device_list_open = 1;
    app->device_count = 2;   // the list covers 374.5 to 450.5: row 2 only in part
    app->device_indices[0] = 0, app->device_indices[1] = 1;
    auto hover = [&](float y) {
        app->mouse_x = 300, app->mouse_y = y;
        paint();
        return draw_fixture_pixel(&fx, 300, row_y(2) + 38);
    };
    DrawPixel row2 = hover(-1000);
    hover((float)row_y(2) + 10);   // over the list, above row 2's bare strip
    EXPECT_TRUE(draw_probe(&fx, 300, row_y(2) + 38, row2, 0)) << "a row under the pointer's list entry does not";
    hover((float)row_y(2) + 38);
    EXPECT_FALSE(draw_probe(&fx, 300, row_y(2) + 38, row2, 1)) << "its bare strip does";
}

TEST_F(SettingsView, RowValuesCoverTheEdgeCases)
{
    FakeFirewall fw;
    fw.launch = PLAT_FW_LAUNCH_DECLINED;
    struct Case {
        const char* what;
        std::function<void()> set;
        int row;
        const char* want;
        bool warning;
    } cases[] = {
        {"stream stopped", [&] { e->running = 0; }, 0, "OFFLINE    V", false},
        {"list open", [&] { e->running = 0, app->device_list_open = 1; }, 0, "OFFLINE    ^", false},
        {"long name", [&] { snprintf(e->input_name, sizeof e->input_name, "%s", "0123456789abcdefghijklmnopqrstuvwxyz+-*/"); },
         0, "0123456789abcdefghijklmn  JACK  V", false},
        {"shared", [&] { stream(kPaAlsa, "m", "ALSA"); }, 2, "SHARED", false},
        {"exclusive", [&] { stream(kPaAlsa, "m", "ALSA"), e->exclusive_wanted = e->exclusive_granted = 1; }, 2, "EXCLUSIVE", false},
        {"refused", [&] { stream(kPaAlsa, "m", "ALSA"), e->exclusive_wanted = 1; }, 2, "EXCLUSIVE REFUSED", true},
        {"direct", [&] { e->exclusive_wanted = 1; }, 2, "JACK", false},
        {"off air", [] {}, 5, "OFF", false},
        {"on air", [&] { app->broadcast = 1; }, 5, "ON AIR", false},
        {"blocked", [&] { app->broadcast = 1, fake_firewall_install(&fw), fw_ensure_rule(1.0); }, 5, "BLOCKED", false},
        {"buffer", [&] { e->buffer_frames = 512; }, 1, "512", false},
    };
    Canvas* canvas = app->canvas;
    TextRenderer* text = app->text;
    for (const Case& c : cases) {
        app_init(app, e, ".");
        app->canvas = canvas, app->text = text;
        stream(kPaJack, "system", "JACK");
        e->exclusive_wanted = e->exclusive_granted = 0;
        c.set();
        bool warning = !c.warning;
        EXPECT_EQ(value(c.row, &warning), c.want) << c.what;
        EXPECT_EQ(warning, c.warning) << c.what;
    }
    fake_firewall_remove();
}

}  // namespace
