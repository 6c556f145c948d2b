// Clicks over the drawn layout: every rectangle the painter writes runs its command
// at its centre, the fixed order decides overlaps, and the drags (gain, gate, pad,
// knobs, seek, video trim) follow the pointer with their own maths.
#include <cmath>
#include <cstring>
#include <functional>

#include "app/meter.h"
#include "app/panels/settings_panel.h"
#include "app/toast.h"
#include "audio/engine_retire.h"
#include "audio/fx.h"
#include "audio/vst.h"
#include "tests/app/event_kit.h"
#include "tests/audio/preview_kit.h"
#include "tests/app/take_grid_kit.h"
#include "tests/audio/vst_mock_impl.h"
#include "library/library.h"
#include "support/library_kit.h"

namespace {

// ---------------------------------------------------------------------------
// Layout and click parity
// ---------------------------------------------------------------------------

struct ParityCase {
    const char* name;
    HitRect AppLayout::*rect;            // or null with index into an array member
    HitRect (*pick)(const AppLayout&);
    std::function<void(AppState*)> before;
    std::function<bool(AppState*, Engine*)> ran;
};

TEST_F(EventTest, AClickAtTheCentreOfEveryDrawnRectangleRunsItsCommand)
{
    auto not_yet = [](AppState*) {};
    const std::vector<ParityCase> cases = {
        {"loop display", &AppLayout::loop_display, nullptr, [](AppState* a) { a->engine->length = 1000; },
         [](AppState* a, Engine* e) { return a->drag_mode == DRAG_SEEK && e->seek_request.load() == 500; }},
        {"input slider", &AppLayout::input_slider, nullptr, not_yet,
         [](AppState* a, Engine*) { return a->drag_mode == DRAG_GAIN; }},
        {"output slider", &AppLayout::output_slider, nullptr, [](AppState* a) { a->output_clip = 1.0f; },
         [](AppState* a, Engine*) { return a->output_clip == 0.0f; }},
        {"record pad", nullptr, [](const AppLayout& l) { return l.pads[PAD_RECORD]; }, not_yet,
         [](AppState*, Engine* e) { return e->record.load() == 1; }},
        {"reverse pad", nullptr, [](const AppLayout& l) { return l.pads[PAD_REVERSE]; }, not_yet,
         [](AppState*, Engine* e) { return e->reversed.load() == 1 && e->playing.load() == 1; }},
        {"stop pad", nullptr, [](const AppLayout& l) { return l.pads[PAD_STOP]; }, not_yet,
         [](AppState*, Engine* e) { return e->playing.load() == 0; }},
        {"forward pad", nullptr, [](const AppLayout& l) { return l.pads[PAD_FORWARD]; },
         [](AppState* a) { a->engine->playing = 0; },
         [](AppState*, Engine* e) { return e->reversed.load() == 0 && e->playing.load() == 1; }},
        {"hold-dub pad", nullptr, [](const AppLayout& l) { return l.pads[PAD_HOLD_DUB]; }, not_yet,
         [](AppState* a, Engine* e) { return a->hold_dub_held == 1 && e->hold_dub.load() == 1; }},
        {"pad tab 1", nullptr, [](const AppLayout& l) { return l.pad_tabs[1]; }, not_yet,
         [](AppState* a, Engine*) { return a->pad_mode == 1; }},
        {"pad tab 0", nullptr, [](const AppLayout& l) { return l.pad_tabs[0]; },
         [](AppState* a) { a->pad_mode = 1; }, [](AppState* a, Engine*) { return a->pad_mode == 0; }},
        {"mix pad", &AppLayout::mix_pad, nullptr, not_yet,
         [](AppState* a, Engine*) { return a->drag_mode == DRAG_PAD; }},
        {"patch tab B", nullptr, [](const AppLayout& l) { return l.patch_tabs[1]; }, not_yet,
         [](AppState* a, Engine*) { return a->patch_b == 1; }},
        {"patch tab A", nullptr, [](const AppLayout& l) { return l.patch_tabs[0]; },
         [](AppState* a) { a->patch_b = 1; }, [](AppState* a, Engine*) { return a->patch_b == 0; }},
        {"effects switch", &AppLayout::fx_switch, nullptr, not_yet,
         [](AppState*, Engine* e) { return e->fx_bypass.load() == 1; }},
        {"slot name 0", nullptr, [](const AppLayout& l) { return l.slot_name[0]; }, not_yet,
         [](AppState*, Engine* e) { return e->slots[0].effect_type.load() == FX_DELAY; }},
        {"slot name 1 of patch B", nullptr, [](const AppLayout& l) { return l.slot_name[1]; },
         [](AppState* a) { a->patch_b = 1; },
         [](AppState*, Engine* e) { return e->slots[3].effect_type.load() == FX_DELAY; }},
        {"knob 1", nullptr, [](const AppLayout& l) { return l.slot_knob1[1]; }, not_yet,
         [](AppState* a, Engine* e) {
             return a->drag_mode == DRAG_FX_KNOB && a->drag_slot == 1 && a->drag_knob == 0 &&
                    e->slots[1].knob1.load() == 0.5f;
         }},
        {"knob 2", nullptr, [](const AppLayout& l) { return l.slot_knob2[0]; }, not_yet,
         [](AppState* a, Engine* e) { return a->drag_knob == 1 && e->slots[0].knob2.load() == 0.5f; }},
        {"slot button", nullptr, [](const AppLayout& l) { return l.slot_button[1]; }, not_yet,
         [](AppState* a, Engine*) { return a->picker.open && a->picker.target == 1; }},
        {"key sheet", &AppLayout::key_sheet, nullptr, [](AppState* a) { a->musical_typing = 1; },
         [](AppState* a, Engine*) { return a->clicked_key == 6; }},
        {"monitor", nullptr, [](const AppLayout& l) { return l.buttons[0]; }, not_yet,
         [](AppState*, Engine* e) { return e->monitor.load() == 0; }},
        {"overdub", nullptr, [](const AppLayout& l) { return l.buttons[1]; }, not_yet,
         [](AppState* a, Engine*) { return a->overdub == 0; }},
        {"clear", nullptr, [](const AppLayout& l) { return l.buttons[2]; }, not_yet,
         [](AppState*, Engine* e) { return e->clear_request.load() == 1; }},
        {"export", nullptr, [](const AppLayout& l) { return l.buttons[3]; }, not_yet,
         [](AppState* a, Engine*) { return !std::strcmp(a->toasts[0].text, "NOTHING TO EXPORT"); }},
        {"instrument", nullptr, [](const AppLayout& l) { return l.buttons[4]; }, not_yet,
         [](AppState* a, Engine*) { return a->picker.open && a->picker.target == -1 && a->picker.tab == 2; }},
        {"status left", &AppLayout::status_left, nullptr, not_yet,
         [](AppState* a, Engine*) { return a->toasts[0].colour == TOAST_LIGHT_TEAL; }},
        {"status right", &AppLayout::status_right, nullptr, not_yet,
         [](AppState* a, Engine*) { return !std::strncmp(a->toasts[0].text, "BUFFER ", 7); }},
        {"library switch", &AppLayout::library_switch, nullptr, not_yet,
         [](AppState* a, Engine*) { return a->library_toggle == 1; }},
        {"new session", &AppLayout::new_session, nullptr, not_yet,
         [](AppState* a, Engine*) { return !std::strcmp(a->toasts[0].text, "NEW"); }},
        {"video switch", &AppLayout::video_switch, nullptr, not_yet,
         [](AppState* a, Engine*) { return a->video_toggle == 1; }},
    };
    for (const ParityCase& c : cases) {
        app_init(app, e, "/opt/tessel");
        e->playing = 1;
        e->record = 0;
        e->monitor = 1;
        e->length = 0;
        e->seek_request = -1;
        e->clear_request = 0;
        e->fx_bypass = 0;
        for (FxSlot& s : e->slots)
            fx_set_type(&s, FX_OFF);
        c.before(app);
        app_draw(app, &kit, 1.0f / 60);
        HitRect r = c.rect ? app->layout.*(c.rect) : c.pick(app->layout);
        send(ev_button(centre_x(r), centre_y(r)));
        EXPECT_TRUE(c.ran(app, e)) << c.name;
        send(ev_button(centre_x(r), centre_y(r), false));
    }
}

TEST_F(EventTest, ThePointInsideTwoRectanglesGoesToTheFirstInTheOrder)
{
    // The logo comes before everything.
    with_overlays();
    app->logo_rect = HitRect{0, 0, 200, 70};
    app->picker.open = 1;
    click(app->layout.library_switch);
    EXPECT_EQ(app->settings_open, 1);
    EXPECT_EQ(app->picker.open, 0);
    EXPECT_EQ(app->library_toggle, 0);

    // The key sheet covers the second slot row and the buttons while typing.
    app->settings_open = 0;
    app->musical_typing = 1;
    click(centre_x(app->layout.slot_name[1]), centre_y(app->layout.slot_name[1]));
    EXPECT_EQ(e->slots[1].effect_type.load(), FX_OFF);
    app->musical_typing = 0;
    click(centre_x(app->layout.slot_name[1]), centre_y(app->layout.slot_name[1]));
    EXPECT_EQ(e->slots[1].effect_type.load(), FX_DELAY);
}

TEST_F(EventTest, PointerUnitsFollowTheKitScaleOffsetAndShake)
{
    draw_frame_layout(&kit, 1280 + 400, 2160);   // scale 2, 200 pixels either side
    kit.translate_x = 3.0f;
    kit.translate_y = -2.0f;
    send(ev_motion(200 + 2 * 100, 2 * 50));
    EXPECT_FLOAT_EQ(app->mouse_x, 97.0f);
    EXPECT_FLOAT_EQ(app->mouse_y, 52.0f);
}

TEST_F(EventTest, WindowButtonsInWindowPixelsHoverMinimiseAndClose)
{
    app->window_buttons[0] = HitRect{560, 6, 34, 26};
    app->window_buttons[1] = HitRect{600, 6, 34, 26};
    send(ev_motion(610, 10));
    EXPECT_EQ(app->window_button_hover[1], 1.0f);
    EXPECT_EQ(app->window_button_hover[0], 0.0f);
    send(ev_motion(300, 300));
    EXPECT_EQ(app->window_button_hover[1], 0.0f);
    click(570, 10);
    EXPECT_EQ(app->minimise_request, 1);
    click(610, 10);
    EXPECT_EQ(app->close_request, 1);
}

// ---------------------------------------------------------------------------
// Gain, gate and pad drags
// ---------------------------------------------------------------------------

TEST_F(EventTest, GainDragMovesInDecibelsFromTheStartGain)
{
    EXPECT_FLOAT_EQ(app_gain_drag_value(1.0f, 200, 180), std::pow(10.0f, 2.8f / 20));
    EXPECT_FLOAT_EQ(app_gain_drag_value(1.0f, 200, 300), std::pow(10.0f, -14.0f / 20));
    EXPECT_EQ(app_gain_drag_value(1.0f, 200, 0), 2.0f);
    EXPECT_EQ(app_gain_drag_value(0.0005f, 200, 200), 0.0f);   // -60 dB start
    EXPECT_FLOAT_EQ(app_gain_drag_value(0.0005f, 200, 190), std::pow(10.0f, -58.6f / 20));
    EXPECT_EQ(app_gain_drag_value(1.0f, 200, 200 + 59 / 0.14f + 1), 0.0f);

    HitRect s = app->layout.input_slider;
    app->input_clip = 1.0f;
    send(ev_button(centre_x(s), 200));
    EXPECT_EQ(app->input_clip, 0.0f);
    send(ev_motion(centre_x(s), 180));
    EXPECT_FLOAT_EQ(app->gain, std::pow(10.0f, 2.8f / 20));
    EXPECT_FLOAT_EQ(e->gain.load(), app->gain);
    send(ev_button(centre_x(s), 180, false));
    send(ev_motion(centre_x(s), 100));
    EXPECT_FLOAT_EQ(app->gain, std::pow(10.0f, 2.8f / 20));   // released: no drag
}

TEST_F(EventTest, ADoubleClickOnTheInputSliderResetsTheGainInsteadOfDragging)
{
    app->gain = 0.3f;
    e->gain = 0.3f;
    HitRect s = app->layout.input_slider;
    send(ev_button(centre_x(s), 200, true, SDL_BUTTON_LEFT, 2));
    EXPECT_EQ(app->gain, 1.0f);
    EXPECT_EQ(e->gain.load(), 1.0f);
    EXPECT_EQ(app->drag_mode, DRAG_NONE);
    EXPECT_STREQ(last_toast().text, "GAIN 0.0 DB");
    EXPECT_EQ(last_toast().colour, TOAST_LIGHT_TEAL);
}

TEST_F(EventTest, TheGateIsGrabbedAtItsMarkOrWithTheRightButton)
{
    EXPECT_EQ(app_gate_drag_value(0.99f), 0.0f);
    EXPECT_FLOAT_EQ(app_gate_drag_value(0.5f), std::pow(10.0f, -1.5f));
    EXPECT_FLOAT_EQ(app_gate_drag_value(-0.5f), 1.0f);

    HitRect s = app->layout.input_slider;
    e->gate_threshold = 0.01f;   // -40 dB: the mark at a third of the height
    float mark = s.y + (1.0f - meter_db_fraction(0.01f)) * s.h;
    send(ev_button(centre_x(s), mark + 10));
    EXPECT_EQ(app->drag_mode, DRAG_GATE);
    send(ev_motion(centre_x(s), s.y + s.h / 2));
    EXPECT_FLOAT_EQ(e->gate_threshold.load(), std::pow(10.0f, -1.5f));
    send(ev_motion(centre_x(s), s.y + s.h));
    EXPECT_EQ(e->gate_threshold.load(), 0.0f);
    send(ev_button(0, 0, false));

    send(ev_button(centre_x(s), s.y + 5, true, SDL_BUTTON_RIGHT));
    EXPECT_EQ(app->drag_mode, DRAG_GATE);
    send(ev_button(0, 0, false));
    send(ev_button(centre_x(s), s.y + 5));
    EXPECT_EQ(app->drag_mode, DRAG_GAIN);
}

TEST_F(EventTest, ThePadSetsGainAndPanAbsolutelyAndFollowsRelativelyWhenLocked)
{
    // Events carry whole pixels: quarter widths (139) and fifths of the height (50).
    HitRect p = app->layout.mix_pad;
    send(ev_button(p.x + 417, p.y + 50));
    EXPECT_FLOAT_EQ(app->pan, 0.5f);
    EXPECT_FLOAT_EQ(app->gain, 1.6f);
    EXPECT_FLOAT_EQ(e->pan.load(), 0.5f);
    EXPECT_FLOAT_EQ(e->gain.load(), 1.6f);
    send(ev_button(0, 0, false));

    // Locked: the pad follows the pointer without a button, from where it was.
    send(ev_button(p.x + 200, p.y + 100, true, SDL_BUTTON_RIGHT));
    EXPECT_EQ(app->pad_lock, 1);
    EXPECT_STREQ(last_toast().text, "PAD LOCK");
    EXPECT_EQ(last_toast().colour, TOAST_YELLOW);
    send(ev_button(p.x + 200, p.y + 100, false, SDL_BUTTON_RIGHT));
    send(ev_motion(p.x + 200 - 139, p.y + 150));
    EXPECT_NEAR(app->pan, 0.0f, 1e-6);
    EXPECT_FLOAT_EQ(app->gain, 1.2f);

    // FX MIX re-anchors on the crossfade and wet/dry (both 1: the top-left corner).
    press(SDLK_TAB);
    send(ev_motion(p.x + 200, p.y + 200));
    EXPECT_FLOAT_EQ(e->crossfade.load(), 0.75f);
    EXPECT_FLOAT_EQ(e->wet_dry.load(), 0.8f);
    EXPECT_FLOAT_EQ(app->gain, 1.2f);
    click(p.x + 10, p.y + 10, SDL_BUTTON_RIGHT);
    EXPECT_EQ(app->pad_lock, 0);
    EXPECT_STREQ(last_toast().text, "PAD FREE");
}

TEST_F(EventTest, SeekDragFollowsThePointerAcrossTheLoopDisplay)
{
    e->length = 1000;
    HitRect d = app->layout.loop_display;
    send(ev_button(d.x + d.w / 4, centre_y(d)));
    EXPECT_EQ(e->seek_request.load(), 250);
    send(ev_motion(d.x + d.w + 50, centre_y(d)));
    EXPECT_EQ(e->seek_request.load(), 999);
    send(ev_motion(d.x - 50, centre_y(d)));
    EXPECT_EQ(e->seek_request.load(), 0);
}

// ---------------------------------------------------------------------------
// Effect slots with a plug-in
// ---------------------------------------------------------------------------

TEST_F(EventTest, SlotsCycleBuiltInEffectsAndAPlugInSlotRemovesOrEditsIt)
{
    HitRect name = app->layout.slot_name[0];
    click(name, SDL_BUTTON_RIGHT);
    EXPECT_EQ(e->slots[0].effect_type.load(), FX_GHOST);
    click(name);
    EXPECT_EQ(e->slots[0].effect_type.load(), FX_OFF);

    vst_mock_reset();
    char err[128] = {};
    VstPlugin* p = vst_load_entry("mock", vst_mock_entry, 48000.0f, 4096, err, sizeof err);
    ASSERT_NE(p, nullptr) << err;
    engine_publish_plugin(e, &e->slots[0].plugin, p);
    HitRect knob = app->layout.slot_knob2[0];
    send(ev_button(knob.x + knob.w * 0.25f, centre_y(knob)));
    EXPECT_FLOAT_EQ(vst_get_parameter(p, 1), 0.25f);
    send(ev_motion(knob.x + knob.w * 2, centre_y(knob)));
    EXPECT_FLOAT_EQ(vst_get_parameter(p, 1), 1.0f);
    send(ev_button(0, 0, false));
    EXPECT_EQ(e->slots[0].knob2.load(), 0.0f);

    click(name);   // no display in the tests: the editor cannot open
    EXPECT_STREQ(last_toast().text, "NO EDITOR");
    click(app->layout.slot_button[0], SDL_BUTTON_RIGHT);
    EXPECT_EQ(e->slots[0].plugin.load(), nullptr);
    EXPECT_EQ(g_vst_mock.stats.alive.load(), 0);
    EXPECT_STREQ(last_toast().text, "VST UNLOADED");
    int toasts = app->toast_next;
    click(app->layout.slot_button[0], SDL_BUTTON_RIGHT);   // nothing left to remove
    EXPECT_EQ(app->toast_next, toasts);
}

TEST_F(EventTest, FxSwitchBypassesAndRestoresInPurple)
{
    click(app->layout.fx_switch);
    EXPECT_EQ(e->fx_bypass.load(), 1);
    EXPECT_STREQ(last_toast().text, "FX BYPASS");
    EXPECT_EQ(last_toast().colour, TOAST_PURPLE);
    click(app->layout.fx_switch);
    EXPECT_EQ(e->fx_bypass.load(), 0);
    EXPECT_STREQ(last_toast().text, "FX ON");
}

// ---------------------------------------------------------------------------
// Settings list
// ---------------------------------------------------------------------------

TEST_F(EventTest, SettingsRowsActAndSaveAndAClickOutsideCloses)
{
    for (int i = 0; i < APP_SETTINGS_ROWS; i++)
        app->settings_rows[i] = HitRect{64, 330.5f + 48 * i, 512, 44};
    app->settings_open = 1;
    click(app->settings_rows[4]);
    EXPECT_EQ(app->overdub, 0);
    EXPECT_EQ(settings_saves(), 1);
    click(app->settings_rows[6]);
    EXPECT_EQ(app->inputs_toggle, 1);
    click(app->settings_rows[0]);   // no input devices: an empty list opens, no save
    EXPECT_EQ(app->device_list_open, 1);
    click(app->settings_rows[4]);   // and closes like any other, leaving the row alone
    EXPECT_EQ(app->device_list_open, 0);
    EXPECT_EQ(app->overdub, 0);
    EXPECT_EQ(settings_saves(), 2);
    click(app->settings_rows[8]);
    EXPECT_EQ(app->keys_help_toggle, 1);
    EXPECT_EQ(app->settings_open, 0);

    app->settings_open = 1;
    click(320, 200);
    EXPECT_EQ(app->settings_open, 0);
    EXPECT_EQ(e->record.load(), 0);
}

// Scripted speakers and two-input microphones named `mics`, with the settings list open.
static FakeAudio& speakers_and_mics(AppState* app, std::initializer_list<const char*> mics)
{
    enum { kWasapi = 13 };
    FakeAudio& fa = fake_audio();
    fa.apis.push_back({kWasapi, "Windows WASAPI", 1, 0});
    fa.devices.push_back({"Speakers", 0, 0, 2, 48000.0, 0.003, 0.010});
    for (const char* name : mics)
        fa.devices.push_back({name, 0, 2, 0, 48000.0, 0.003, 0.010});
    for (int i = 0; i < APP_SETTINGS_ROWS; i++)
        app->settings_rows[i] = HitRect{64, 330.5f + 48 * i, 512, 44};
    app->settings_open = 1;
    return fa;
}

TEST_F(EventTest, TheDeviceListOpensTheClickedDeviceOrSaysItWasRefused)
{
    FakeAudio& fa = speakers_and_mics(app, {"Mic A", "Mic B"});

    HitRect top = app->settings_rows[0];
    click(top);
    ASSERT_EQ(app->device_list_open, 1);
    ASSERT_EQ(app->device_count, 2);
    click(320, top.y + top.h + 38 + 5);
    EXPECT_EQ(app->device_list_open, 0);
    EXPECT_EQ(e->running, 1);
    EXPECT_STREQ(e->input_name, "Mic B");
    EXPECT_EQ(settings_saves(), 1);

    fa.refuse = [](const FakeOpenCall&) { return true; };
    click(top);
    click(320, top.y + top.h + 5);
    EXPECT_EQ(e->running, 0);
    EXPECT_STREQ(last_toast().text, "DEVICE REFUSED");
    EXPECT_EQ(last_toast().colour, TOAST_RED);
    EXPECT_EQ(settings_saves(), 2);

    // A click beside the listed devices closes the list and changes nothing.
    fa.refuse = nullptr;
    click(top);
    click(20, top.y + top.h + 5);
    EXPECT_EQ(app->device_list_open, 0);
    EXPECT_EQ(settings_saves(), 2);
}

TEST_F(EventTest, ABufferStepOnAServerThatSetsTheBlockAsksItAndNeverReopens)
{
    FakeAudio& fa = speakers_and_mics(app, {"Mic"});
    fa.server_block = 1024;
    ASSERT_TRUE(engine_start(e));
    std::vector<float> in(2 * 1024), out(2 * 1024);
    // The server runs 1024 frames, set from outside; 128 is saved. The step starts
    // from the size shown.
    fake_audio_pump(in.data(), out.data(), 1024);
    char text[64];
    settings_row_value(app, 1, text, sizeof text, nullptr);
    EXPECT_STREQ(text, "1024");
    click(app->settings_rows[1]);   // 1024 -> 64, granted
    EXPECT_EQ(fa.server_block, 64);
    fake_audio_pump(in.data(), out.data(), 64);
    fa.server_refuses = true;
    app->settings_open = 0;
    click(app->layout.status_right);   // 64 -> 128, refused
    EXPECT_STREQ(last_toast().text, "BUFFER 128 REFUSED");
    settings_row_value(app, 1, text, sizeof text, nullptr);
    EXPECT_STREQ(text, "64");
    EXPECT_EQ(fa.opens.size(), 1u);   // the stream ran on throughout
}

// ---------------------------------------------------------------------------
// Instrument button and the cursor
// ---------------------------------------------------------------------------

TEST_F(EventTest, TheInstrumentButtonFlipsTypingWhenNoEditorCanOpen)
{
    vst_mock_reset();
    char err[128] = {};
    VstPlugin* p = vst_load_entry("mock", vst_mock_entry, 48000.0f, 4096, err, sizeof err);
    ASSERT_NE(p, nullptr) << err;
    engine_publish_plugin(e, &e->instrument, p);
    click(app->layout.buttons[4]);   // no display: the editor cannot open
    EXPECT_EQ(app->musical_typing, 1);
    EXPECT_EQ(app->picker.open, 0);
    click(app->layout.buttons[4]);
    EXPECT_EQ(app->musical_typing, 0);
    engine_retire_plugin(e, &e->instrument);
}

TEST_F(EventTest, TheCursorFollowsDragsPanelsAndControls)
{
    const AppLayout& l = app->layout;
    send(ev_motion(centre_x(l.loop_display), centre_y(l.loop_display)));
    EXPECT_EQ(app_cursor_kind(app), CURSOR_CROSS);
    send(ev_motion(centre_x(l.slot_knob1[0]), centre_y(l.slot_knob1[0])));
    EXPECT_EQ(app_cursor_kind(app), CURSOR_SLIDE_X);
    send(ev_motion(centre_x(l.buttons[2]), centre_y(l.buttons[2])));
    EXPECT_EQ(app_cursor_kind(app), CURSOR_HAND);
    send(ev_motion(600, 440));
    EXPECT_EQ(app_cursor_kind(app), CURSOR_ARROW);

    send(ev_button(centre_x(l.input_slider), 200));
    send(ev_motion(300, 900));   // a gain drag keeps its cursor anywhere
    EXPECT_EQ(app_cursor_kind(app), CURSOR_SLIDE_Y);
    send(ev_button(300, 900, false));

    app->picker.open = 1;
    send(ev_motion(100, 210));
    EXPECT_EQ(app_cursor_kind(app), CURSOR_TEXT);
    send(ev_motion(500, 500));
    EXPECT_EQ(app_cursor_kind(app), CURSOR_HAND);
    send(ev_motion(20, 500));
    EXPECT_EQ(app_cursor_kind(app), CURSOR_ARROW);
}

// ---------------------------------------------------------------------------
// Video trim and the library panel
// ---------------------------------------------------------------------------

TEST_F(EventTest, ReleasingATrimHandleSetsTheLoopToTheTrimmedStretch)
{
    app->video_shown = 1;
    app->video_x = 640;
    app->video_ready = 1;
    app->video_duration = 10.0;
    app->video_in = 0.0;
    app->video_out = 10.0;
    send(ev_button(650 + 250, 990));   // halfway: equally near both, the in handle
    EXPECT_EQ(app->drag_mode, DRAG_VIDEO_TRIM);
    EXPECT_EQ(app->video_trim_handle, 1);
    EXPECT_DOUBLE_EQ(app->video_in, 5.0);
    send(ev_motion(650 + 499, 990));
    EXPECT_DOUBLE_EQ(app->video_out - app->video_in, 0.25);
    send(ev_button(650 + 499, 990, false));
    EXPECT_EQ(e->length_request.load(), 12000);
    EXPECT_STREQ(last_toast().text, "LOOP 0.25 S");
    EXPECT_EQ(app->drag_mode, DRAG_NONE);

    std::strcpy(app->video_path, "/v/clip.mp4");
    app->video_rects[APP_VIDEO_REMOVE] = HitRect{740, 14, 32, 32};
    click(app->video_rects[APP_VIDEO_REMOVE]);
    EXPECT_EQ(app->video_path[0], '\0');
    EXPECT_EQ(app->video_ready, 0);
    EXPECT_EQ(app->video_duration, 0.0);
}

TEST_F(EventTest, TakeRowsLoadOrPlayOnlyWhenTheyAreShown)
{
    app->library_shown = 1;
    app->library_x = -600;
    std::strcpy(app->takes_folder, "/music/tessel");
    app->take_count = 30;
    for (int i = 0; i < 30; i++)
        snprintf(app->takes[i].name, sizeof app->takes[i].name, "take-%d.wav", i);
    app->take_scroll = 2;
    {
        // Only the fourth shown row's take (index 5) is a file: it becomes the loop.
        LibraryKit files;
        std::strcpy(app->takes_folder, files.dir().c_str());
        files.wav("take-5.wav", 4805);
        click(-300, 92 + 36 * 3 + 5);
        EXPECT_EQ(e->length.load(), 4805);
        EXPECT_STREQ(app->session_name, "take-5.wav");
        click(-300, 92 + 36 * 24 + 5);   // below the 24 shown rows: no other load
        EXPECT_STREQ(last_toast().text, "LOADED");
        EXPECT_STREQ(app->session_name, "take-5.wav");
    }

    // The play column hands the take to the library player: added and loaded, then
    // paused by a second click; a take that is gone cannot play.
    LibraryKit kit;
    std::strcpy(app->takes_folder, kit.dir().c_str());
    std::string take = kit.wav("take-2.wav", 4800);
    LibraryWithPlayer with;
    Library* lib = with.lib;
    PreviewPlayer& player = with.player;
    ASSERT_NE(lib, nullptr);
    app->library = lib;
    click(-580, 92 + 5);
    ASSERT_EQ(library_find_item(lib, take.c_str()), 0);
    EXPECT_STREQ(lib->loaded_path, take.c_str());
    ASSERT_TRUE(library_kit_pump(lib, [&] { return !lib->loading; }));
    EXPECT_TRUE(preview_is_playing(&player));
    click(-580, 92 + 5);
    EXPECT_FALSE(preview_is_playing(&player));
    click(-580, 92 + 36 + 5);
    EXPECT_STREQ(last_toast().text, "CAN'T PLAY THAT");
    EXPECT_EQ(lib->count, 1);
    app->library = nullptr;
}

TEST_F(EventTest, ASegmentDraggedOutOfTheLoopPanelReplacesTheLoopOnlyOverTheMainView)
{
    app->library_shown = 1;
    app->library_x = -600;
    app->player_rects.panel = HitRect{-590, 986, 580, 78};
    app->player_rects.strip = HitRect{-584, 1014, 568, 44};
    // An 8.5 s take at 1 kHz in the player, analysed at 120 BPM, its grid shifted by a
    // beat: at one bar a segment, segment 0 covers its first 500 frames.
    PreviewPlayer player;
    preview_init(&player);
    take_grid_kit_load(app, &player);
    float pps = 568 / 8.5f;

    // Released outside the main view: the loop stays.
    send(ev_button(-584 + 3.0f * pps, 1030));
    EXPECT_EQ(app->segment_press, 1);
    EXPECT_EQ(app->segment_press_index, 2);
    send(ev_motion(-584 + 3.0f * pps + 10, 1030));
    EXPECT_EQ(app->segment_press, 2);
    EXPECT_EQ(app_cursor_kind(app), CURSOR_SEGMENT);
    send(ev_button(-100, 1030, false));
    EXPECT_EQ(app->engine->length.load(), 0);

    send(ev_button(-584 + 3.0f * pps, 1030));
    send(ev_motion(300, 200));
    EXPECT_EQ(app_cursor_kind(app), CURSOR_SEGMENT_DROP);
    send(ev_button(300, 200, false));
    ASSERT_TRUE(wait_ends());   // the bars are resampled on the loader's thread
    EXPECT_EQ(app->engine->length.load(), 96000);   // 2 s at the engine's 48 kHz
    EXPECT_EQ(app->segment_press, 0);

    // A click plays the segment from its start, looping it when player-loop is on.
    app->player_loop = 1;
    click(-584 + 0.2f * pps, 1030);   // before the grid start: the partial segment 0
    EXPECT_TRUE(preview_region_active(&player));
    EXPECT_EQ(player.region_start.load(), 0);
    EXPECT_NEAR((double)player.region_end.load(), 500.0, 1.0);
    EXPECT_NEAR(player.seek_target.load(), 3.0, 1e-9);
    EXPECT_TRUE(preview_is_playing(&player));
    app->preview = nullptr;
    take_grid_free(app);
    app->take_grid = TakeGridState{};
    preview_kit_empty(&player);
}

} // namespace
