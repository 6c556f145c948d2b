// The button row, the status bar and the key sheet drawn on the GL renderer over an
// engine in known states: stream running or offline, monitor and overdub on or off,
// on air, an instrument loaded, musical typing with held notes. Probes are taken from
// the three painters alone over the cleared background; each state also writes a
// picture of the whole main view to build/shots.
#include <climits>
#include <cstdio>

#include "app/panels/main/app_draw.h"
#include "app/app_state.h"
#include "app/panels/main/view.h"
#include "app/panels/main/view_palette.h"
#include "audio/engine_retire.h"
#include "audio/vst.h"
#include "broadcast/tcstream.h"
#include "support/draw_probe.h"
#include "tests/app/app_test.h"
#include "tests/app/view_draw_probe.h"
#include "tests/audio/vst_mock_impl.h"
#include "ui/drawkit.h"

namespace {

// The bounding box of the pixels of one colour inside a search box.
struct Box {
    int x0 = INT_MAX, y0 = INT_MAX, x1 = INT_MIN, y1 = INT_MIN;
    bool empty() const { return x0 > x1; }
};

// Buttons i at x 42 + 113 i, y 948, 107 x 44; status lines on y 1012 at x 8 and 372;
// the key sheet (42, 850, 556, 120) with its backing from y 824 to 984.
const int kButtonY = 948;
int button_x(int i)
{
    return 42 + 113 * i;
}
// Lit bodies: the panel 40% of the way to each accent.
const uint32_t kTealLit = draw_rgba(32, 97, 91, 255);
const uint32_t kRedLit = draw_rgba(107, 43, 48, 255);
const uint32_t kLightTealLit = draw_rgba(56, 109, 107, 255);

class BottomView : public MainViewTest {
protected:
    VstPlugin* plugin = nullptr;

    void load_instrument(const char* name)
    {
        vst_mock_reset();
        snprintf(g_vst_mock.config.name, sizeof g_vst_mock.config.name, "%s", name);
        char err[128] = {};
        plugin = vst_load_entry("mock", vst_mock_entry, 48000.0f, 4096, err, sizeof err);
        ASSERT_NE(plugin, nullptr) << err;
        plugin_field = &e->instrument;
        engine_publish_plugin(e, plugin_field, plugin);
    }
    // A running stream on a named device.
    void stream_on(const char* device)
    {
        e->running = 1;
        snprintf(e->input_name, sizeof e->input_name, "%s", device);
        e->buffer_frames = 256;
        e->sample_rate = 48000.0;
        e->latency_ms = 10.67;
    }

    void draw_part() override { draw_bottom(); }
    void draw_bottom()
    {
        draw_fixture_clear(&fx, bg.r, bg.g, bg.b);
        view_transport(app, &kit);
        view_status_bar(app, &kit);
        view_keys_sheet(app, &kit);
        read();
    }

    Box find(int x0, int y0, int x1, int y1, DrawPixel want)
    {
        Box b;
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++)
                if (draw_probe(&fx, x, y, want)) {
                    b.x0 = std::min(b.x0, x);
                    b.y0 = std::min(b.y0, y);
                    b.x1 = std::max(b.x1, x);
                    b.y1 = std::max(b.y1, y);
                }
        return b;
    }
    // Button i: body colour inside the corner, whether the bottom bar is in the accent,
    // and where its label lies in the label's colour.
    void expect_button(int i, DrawPixel body, bool lit, uint32_t accent)
    {
        SCOPED_TRACE(i);
        int x = button_x(i);
        EXPECT_TRUE(draw_probe(&fx, x + 3, kButtonY + 3, body));
        if (lit)
            EXPECT_TRUE(draw_probe(&fx, x + 3, kButtonY + 42, pix(accent)));
        else
            EXPECT_TRUE(draw_probe(&fx, x + 3, kButtonY + 40, body));
        // Label rows: centred at y + 16 (16..25.8), scale 1.6.
        Box label = find(x + 2, kButtonY + 2, x + 104, kButtonY + 38, pix(lit ? VIEW_BRIGHT : VIEW_MUTED));
        ASSERT_FALSE(label.empty());
        EXPECT_NEAR(label.y0, kButtonY + 16, 1);
        EXPECT_NEAR(label.y1, kButtonY + 25, 1);
        EXPECT_NEAR((label.x0 + label.x1 + 1) / 2.0, x + 53.5, 1.5);   // centred
    }
};

TEST_F(BottomView, UnlitButtonsAndAnOfflineStatusLineInRed)
{
    e->monitor.store(0);
    app->overdub = 0;
    e->running = 0;
    e->latency_block = 256;   // the last stream's
    e->buffer_frames = 64;
    e->latency_ms = 0.0;
    draw_bottom();
    picture("offline");

    for (int i = 0; i < 5; i++)
        expect_button(i, pix(VIEW_PANEL), false, 0);
    // The outline along the body's inside edge, faint grey, and a gap of background
    // between neighbours.
    EXPECT_TRUE(draw_probe(&fx, 148, 970, draw_expect_blend(pix(VIEW_PANEL), pix(VIEW_MUTED, 46))));
    EXPECT_TRUE(draw_probe(&fx, 152, 970, bg));

    // "AUDIO OFFLINE" from x 8 on the line y 1012, red; nothing grey on the left.
    Box offline = find(0, 1000, 360, 1035, pix(VIEW_RED));
    EXPECT_EQ(offline.x0, 8);
    EXPECT_NEAR(offline.y0, 1012, 1);
    EXPECT_NEAR(offline.y1, 1021, 1);
    // 13 characters of 6 units at 1.4 less the last gap: 8 + 107.8.
    EXPECT_NEAR(offline.x1, 115, 1);
    EXPECT_TRUE(find(0, 1000, 360, 1035, pix(VIEW_MUTED)).empty());
    // The last stream's "256 @ 48K  0.0MS" from x 372 in grey.
    Box right = find(360, 1000, 639, 1035, pix(VIEW_MUTED));
    EXPECT_EQ(right.x0, 372);
    EXPECT_NEAR(right.y0, 1012, 1);
    EXPECT_NEAR(right.x1, 372 + 16 * 8.4 - 1.4 - 1, 1);
    // No key sheet without musical typing.
    EXPECT_TRUE(draw_probe(&fx, 60, 900, bg));
}

TEST_F(BottomView, MonitorOverdubExportAndAnInstrumentLightTheirButtons)
{
    e->monitor.store(1);
    app->overdub = 1;
    app->flashes[FLASH_EXPORTED].value = 0.5f;
    load_instrument("Polysynth Deluxe");
    stream_on("USB Audio");
    e->exclusive_granted = 1;
    draw_bottom();
    picture("lit");

    expect_button(0, pix(kTealLit), true, VIEW_TEAL);
    expect_button(1, pix(kRedLit), true, VIEW_RED);
    expect_button(2, pix(VIEW_PANEL), false, 0);
    expect_button(3, pix(kTealLit), true, VIEW_TEAL);
    expect_button(4, pix(kLightTealLit), true, VIEW_LIGHT_TEAL);
    // "Polysynth" (9 characters, 84.8 units) is wider than "INST" (32 units).
    Box inst = find(button_x(4) + 2, 950, button_x(4) + 104, 985, pix(VIEW_BRIGHT));
    EXPECT_NEAR(inst.x1 - inst.x0 + 1, 84, 2);

    // A running stream: the device in grey at x 8, nothing red; "  EXCL" widens the
    // right line ("256 @ 48K  10.7MS  EXCL", 23 characters).
    Box device = find(0, 1000, 360, 1035, pix(VIEW_MUTED));
    EXPECT_EQ(device.x0, 8);
    EXPECT_NEAR(device.y0, 1012, 1);
    EXPECT_TRUE(find(0, 1000, 360, 1035, pix(VIEW_RED)).empty());
    Box right = find(360, 1000, 639, 1035, pix(VIEW_MUTED));
    EXPECT_EQ(right.x0, 372);
    EXPECT_NEAR(right.x1, 372 + 23 * 8.4 - 1.4 - 1, 1);

    // A failed save turns the whole line red until a save succeeds: "USB Audio  TAKE
    // NOT SAVED", 25 characters.
    app->take_unsaved = 1;
    draw_bottom();
    Box unsaved = find(0, 1000, 360, 1035, pix(VIEW_RED));
    ASSERT_FALSE(unsaved.empty()) << "nothing red on the status line";
    EXPECT_EQ(unsaved.x0, 8);
    EXPECT_NEAR(unsaved.x1, 8 + 25 * 8.4 - 1.4 - 1, 1);
    EXPECT_TRUE(find(0, 1000, 360, 1035, pix(VIEW_MUTED)).empty());
    app->take_unsaved = 0;

    // The export flash fades: its button goes dark again.
    app->flashes[FLASH_EXPORTED].value = 0.0f;
    draw_bottom();
    expect_button(3, pix(VIEW_PANEL), false, 0);
}

TEST_F(BottomView, OnAirLengthensTheLeftLineWithTheListenerCount)
{
    static Station station;
    station.running.store(1);
    station.listeners_in_use.store(2);
    app->station = &station;
    stream_on("USB Audio");   // "USB Audio  ON AIR 2": 19 characters
    draw_bottom();
    picture("on_air");

    Box left = find(0, 1000, 360, 1035, pix(VIEW_MUTED));
    EXPECT_EQ(left.x0, 8);
    EXPECT_NEAR(left.x1, 8 + 19 * 8.4 - 1.4 - 1, 1);

    // Offline while on air: the same suffix after "AUDIO OFFLINE", all in red.
    e->running = 0;
    draw_bottom();
    Box offline = find(0, 1000, 360, 1035, pix(VIEW_RED));
    EXPECT_NEAR(offline.x1, 8 + 23 * 8.4 - 1.4 - 1, 1);   // "AUDIO OFFLINE  ON AIR 2"
}

// Keys are 42.77 units wide: key i covers x 43 + 42.77 i to 83.8 + 42.77 i.
int key_centre(int i)
{
    return (int)(42 + (i + 0.5) * 556.0 / 13);
}

TEST_F(BottomView, TheKeySheetLightsHeldKeysFromEitherHand)
{
    app->musical_typing = 1;
    app->notes_mouse = 1u << 4;                // E by the mouse ...
    app->notes_keys = 1u << 4 | 1u << 8;       // ... and by a key; G sharp by a key
    draw_bottom();
    picture("keys");

    // The backing over the buttons' upper part below the keys, its teal frame and
    // the title.
    EXPECT_TRUE(draw_probe(&fx, 60, 978, bg));
    EXPECT_TRUE(draw_probe(&fx, 34, 900, draw_expect_blend(bg, pix(VIEW_LIGHT_TEAL, 90))));
    EXPECT_TRUE(draw_probe(&fx, 320, 824, draw_expect_blend(bg, pix(VIEW_LIGHT_TEAL, 90))));
    Box title = find(36, 826, 600, 846, pix(VIEW_MUTED));
    EXPECT_EQ(title.x0, 42);
    EXPECT_NEAR(title.y0, 830, 1);

    // Held keys in teal under their own glow; the rest by colour.
    DrawPixel held = glowed(pix(VIEW_LIGHT_TEAL), VIEW_LIGHT_TEAL, 0.8f);
    DrawPixel white = draw_expect_blend(bg, pix(VIEW_MUTED, 80));
    DrawPixel black = pix(VIEW_PANEL);
    const bool is_black[13] = {0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0, 0};
    for (int i = 0; i < 13; i++) {
        SCOPED_TRACE(i);
        DrawPixel want = i == 4 || i == 8 ? held : is_black[i] ? black : white;
        EXPECT_TRUE(draw_probe(&fx, key_centre(i), 910, want));
    }
    // The 2-unit gap between keys 0 and 1 shows the backing; the sheet ends at 970.
    EXPECT_TRUE(draw_probe(&fx, 85, 910, bg));
    EXPECT_TRUE(draw_probe(&fx, key_centre(0), 975, bg));

    // Released, E turns white again.
    app->notes_mouse = 0;
    app->notes_keys = 0;
    draw_bottom();
    EXPECT_TRUE(draw_probe(&fx, key_centre(4), 910, white));
}

}  // namespace
