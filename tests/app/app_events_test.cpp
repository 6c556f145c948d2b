// Keys into commands: the record, play and stop sequences against an engine driven
// by hand, key repeats, musical typing into a mock instrument, focus loss, releases
// an overlay takes, the plug-in picker's keys and the scroll clamps.
#include <cstring>
#include <memory>

#include "app/key_hold.h"
#include "app/musical_typing.h"
#include "app/toast.h"
#include "app/transport.h"
#include "app/vst_picker_rows.h"
#include "audio/engine_retire.h"
#include "audio/vst.h"
#include "broadcast/tcstream.h"
#include "tests/app/event_kit.h"
#include "tests/audio/vst_mock_impl.h"
#include "library/library.h"
#include "support/library_kit.h"
#include "support/test_wait.h"

namespace {

// ---------------------------------------------------------------------------
// Transport keys
// ---------------------------------------------------------------------------

TEST_F(EventTest, RecordOnAnEmptyStoppedEngineThenCloseWithOverdubKeepsRecording)
{
    e->playing = 0;
    press(SDLK_r);
    EXPECT_EQ(e->playing.load(), 1);
    EXPECT_EQ(e->record.load(), 1);
    EXPECT_EQ(app->pads[PAD_RECORD].spring.value, 0.82f);
    run_callback(24000, 0.2f);
    ASSERT_EQ(e->length.load(), 0);

    app->overdub = 1;
    press(SDLK_r);
    EXPECT_EQ(e->close_request.load(), 1);
    EXPECT_EQ(e->record.load(), 1);
    uint32_t sets = e->loop_set_count.load();
    run_callback(128, 0.2f);
    EXPECT_EQ(e->length.load(), 24000);
    EXPECT_EQ(e->loop_set_count.load(), sets + 1);
    EXPECT_EQ(e->record.load(), 1);   // goes on as an overdub of the new loop

    // Over a loop, r flips recording.
    press(SDLK_r);
    EXPECT_EQ(e->record.load(), 0);
    press(SDLK_r);
    EXPECT_EQ(e->record.load(), 1);
    EXPECT_EQ(e->close_request.load(), 0);
}

TEST_F(EventTest, ClosingTheFirstTakeWithoutOverdubStopsRecording)
{
    app->overdub = 0;
    press(SDLK_r);
    run_callback(24000, 0.2f);
    press(SDLK_r);
    EXPECT_EQ(e->record.load(), 0);
    EXPECT_EQ(e->close_request.load(), 1);
    run_callback(128, 0.2f);
    EXPECT_EQ(e->length.load(), 24000);
}

TEST_F(EventTest, SpaceStopsAndStartsInTheCurrentDirectionAndArrowsChooseIt)
{
    e->playing = 1;
    e->reversed = 0;
    press(SDLK_SPACE);
    EXPECT_EQ(e->playing.load(), 0);
    press(SDLK_SPACE);
    EXPECT_EQ(e->playing.load(), 1);
    EXPECT_EQ(e->reversed.load(), 0);

    press(SDLK_LEFT);   // playing forward: reverse and go on playing
    EXPECT_EQ(e->playing.load(), 1);
    EXPECT_EQ(e->reversed.load(), 1);
    press(SDLK_SPACE);
    EXPECT_EQ(e->playing.load(), 0);
    press(SDLK_SPACE);
    EXPECT_EQ(e->reversed.load(), 1);
    EXPECT_EQ(e->playing.load(), 1);
    press(SDLK_LEFT);   // already reversed: stop
    EXPECT_EQ(e->playing.load(), 0);
    press(SDLK_RIGHT);
    EXPECT_EQ(e->playing.load(), 1);
    EXPECT_EQ(e->reversed.load(), 0);
}

TEST_F(EventTest, KeyRepeatsDoNothingOutsideThePicker)
{
    e->playing = 1;
    for (SDL_Keycode sym : {SDLK_r, SDLK_SPACE, SDLK_c, SDLK_m, SDLK_TAB, SDLK_d})
        send(ev_key(sym, true, KMOD_NONE, 1));
    EXPECT_EQ(e->record.load(), 0);
    EXPECT_EQ(e->playing.load(), 1);
    EXPECT_EQ(e->clear_request.load(), 0);
    EXPECT_EQ(e->monitor.load(), 1);
    EXPECT_EQ(app->pad_mode, 0);
    EXPECT_EQ(app->hold_dub_held, 0);

    // In the picker a held arrow key moves on.
    app->picker.open = 1;
    app->picker.filtered_count = 10;
    send(ev_key(SDLK_DOWN, true, KMOD_NONE, 1));
    send(ev_key(SDLK_DOWN, true, KMOD_NONE, 1));
    EXPECT_EQ(app->picker.selection, 2);
}

// Keys pressed while the loop is secured are held back: a key held through the wait
// leaves its press and its release (no repeat), so the hold-dub it starts on replay
// ends too; presses beyond the store are dropped, never a release; the release of a
// key pressed before the wait acts at once.
TEST_F(EventTest, KeysHeldBackDuringAWaitKeepEveryReleaseAndNoRepeat)
{
    KeyHold hold{};
    auto offer = [&](SDL_Event ev) { return key_hold_offer(&hold, &ev); };
    SDL_Event text{};
    text.type = SDL_TEXTINPUT;
    EXPECT_EQ(offer(ev_key(SDLK_r, false)), KEY_HOLD_NOW);   // pressed before the wait
    EXPECT_EQ(offer(ev_key(SDLK_d)), KEY_HOLD_HELD);
    EXPECT_EQ(offer(text), KEY_HOLD_HELD);
    for (int i = 0; i < 90; i++) {   // three seconds of key repeat
        EXPECT_EQ(offer(ev_key(SDLK_d, true, KMOD_NONE, 1)), KEY_HOLD_IGNORED);
        EXPECT_EQ(offer(text), KEY_HOLD_IGNORED);
    }
    EXPECT_EQ(offer(ev_key(SDLK_d, false)), KEY_HOLD_HELD);
    SDL_Event out[KEY_HOLD_SLOTS];
    int n = key_hold_take(&hold, out);
    ASSERT_EQ(n, 3);
    for (int i = 0; i < n; i++)
        send(out[i]);
    EXPECT_EQ(e->hold_dub.load(), 0) << "the hold-dub stuck on";

    // Forty keys pressed, then all released: what is held is whole pairs in order.
    auto key = [](int k, bool down) {
        SDL_Event ev = ev_key(SDLK_a, down);
        ev.key.keysym.scancode = (SDL_Scancode)(SDL_SCANCODE_A + k);
        return ev;
    };
    int full = 0;
    for (int k = 0; k < 40; k++) {
        full += offer(key(k, true)) == KEY_HOLD_FULL;
        offer(text);
    }
    for (int k = 0; k < 40; k++)
        offer(key(k, false));
    n = key_hold_take(&hold, out);
    EXPECT_GT(full, 0);
    int downs = 0, ups = 0;
    for (int i = 0; i < n; i++) {
        downs += out[i].type == SDL_KEYDOWN;
        ups += out[i].type == SDL_KEYUP;
    }
    EXPECT_EQ(downs, 40 - full);
    EXPECT_EQ(ups, downs) << "a release was dropped";
    EXPECT_EQ(out[n - 1].type, SDL_KEYUP);
}

TEST_F(EventTest, StopClearHoldDubAndTheSwitchesAnswerWithTheirToasts)
{
    e->record = 1;
    press(SDLK_s);
    EXPECT_EQ(e->playing.load(), 0);
    EXPECT_EQ(e->record.load(), 0);

    send(ev_key(SDLK_d));
    EXPECT_EQ(e->playing.load(), 1);   // hold-dub plays a stopped loop
    EXPECT_EQ(e->hold_dub.load(), 1);
    EXPECT_FLOAT_EQ(app->shake, 0.45f);
    send(ev_key(SDLK_d, false));
    EXPECT_EQ(e->hold_dub.load(), 0);
    EXPECT_EQ(app->hold_dub_held, 0);

    press(SDLK_c);
    EXPECT_EQ(e->clear_request.load(), 1);
    EXPECT_STREQ(last_toast().text, "CLEARED");
    EXPECT_EQ(last_toast().colour, TOAST_GREY);
    EXPECT_EQ(app->flashes[FLASH_CLEARED].value, 1.0f);
    EXPECT_EQ(live_particles(), 60);

    press(SDLK_m);
    EXPECT_EQ(e->monitor.load(), 0);
    EXPECT_STREQ(last_toast().text, "MONITOR OFF");
    EXPECT_EQ(last_toast().colour, TOAST_TEAL);

    // No device opens on the scripted library: exclusive mode is asked for and refused.
    press(SDLK_x);
    EXPECT_STREQ(last_toast().text, "EXCLUSIVE REFUSED");
    EXPECT_EQ(last_toast().colour, TOAST_RED);
    press(SDLK_x);
    EXPECT_STREQ(last_toast().text, "SHARED");
    EXPECT_EQ(last_toast().colour, TOAST_LIGHT_TEAL);

    press(SDLK_w);
    EXPECT_STREQ(last_toast().text, "NO BROADCAST IN THIS BUILD");
    EXPECT_EQ(app->broadcast, 0);

    press(SDLK_a);
    press(SDLK_l);
    press(SDLK_v);
    EXPECT_EQ(app->inputs_toggle, 1);
    EXPECT_EQ(app->library_toggle, 1);
    EXPECT_EQ(app->video_toggle, 1);
}

TEST_F(EventTest, BroadcastGoesOnAndOffAirOrIsRefused)
{
    // A station on a port the system picks, and a second one on the same port.
    std::unique_ptr<Station> station = std::make_unique<Station>(), other = std::make_unique<Station>();
    ASSERT_EQ(tcstream_init(station.get(), "tessel", "Tessel", "output", "out", 0, ""), 0);
    app->station = station.get();
    press(SDLK_w);
    EXPECT_EQ(app->broadcast, 1);
    EXPECT_TRUE(tcstream_on_air(station.get()));
    EXPECT_STREQ(last_toast().text, "ON AIR");
    EXPECT_EQ(last_toast().colour, TOAST_TEAL);
    press(SDLK_w);
    EXPECT_EQ(app->broadcast, 0);
    EXPECT_FALSE(tcstream_on_air(station.get()));
    EXPECT_STREQ(last_toast().text, "OFF AIR");
    EXPECT_EQ(last_toast().colour, TOAST_GREY);

    // Already on air (the setting says off): switching on says so again.
    ASSERT_EQ(tcstream_start(station.get()), 0);
    press(SDLK_w);
    EXPECT_EQ(app->broadcast, 1);
    EXPECT_STREQ(last_toast().text, "ON AIR");

    ASSERT_EQ(tcstream_init(other.get(), "tessel", "Tessel", "output", "out", station->port, ""), 0);
    app->station = other.get();
    app->broadcast = 0;
    press(SDLK_w);
    EXPECT_EQ(app->broadcast, 0);
    EXPECT_FALSE(tcstream_on_air(other.get()));
    EXPECT_STREQ(last_toast().text, "BROADCAST REFUSED - PORT BUSY");
    EXPECT_EQ(last_toast().colour, TOAST_RED);

    app->station = nullptr;
    tcstream_shutdown(other.get());
    tcstream_shutdown(station.get());
}

TEST_F(EventTest, NewSessionSavesAChangedLoopThenClearsAndForgetsTheName)
{
    e->length = 4800;
    e->content_generation = 5;
    std::strcpy(app->session_name, "tessel-20250101-000000.wav");
    uint32_t written = session_wav_writes_completed();
    press(SDLK_n);
    ASSERT_TRUE(wait_ends());
    // Written before the clear, under its name, and listed.
    EXPECT_EQ(session_wav_writes_completed(), written + 1);
    EXPECT_TRUE(std::filesystem::exists(takes.path / "tessel-20250101-000000.wav"));
    EXPECT_EQ(e->clear_request.load(), 1);
    EXPECT_EQ(app->session_name[0], '\0');
    EXPECT_EQ(app->take_count, 1);
    EXPECT_STREQ(last_toast().text, "NEW");

    // Unchanged since the last take: nothing to save.
    press(SDLK_n);
    ASSERT_TRUE(wait_ends());
    ASSERT_TRUE(session_wav_wait(kWriteLimitMs));
    EXPECT_EQ(session_wav_writes_completed(), written + 1);
}

TEST_F(EventTest, TabStepsThePadModeAndEscFreesALockedPad)
{
    press(SDLK_TAB);
    EXPECT_EQ(app->pad_mode, 1);
    press(SDLK_TAB);
    EXPECT_EQ(app->pad_mode, 0);

    app->pad_lock = 1;
    app->pad_relative = 1;
    press(SDLK_ESCAPE);
    EXPECT_EQ(app->pad_lock, 0);
    EXPECT_EQ(app->pad_relative, 0);
    EXPECT_STREQ(last_toast().text, "PAD FREE");
}

TEST_F(EventTest, CtrlCommaFlipsTheSettingsListFromTheEventsOwnModifiers)
{
    with_overlays();
    app->picker.open = 1;
    press(SDLK_COMMA, KMOD_RCTRL);
    EXPECT_EQ(app->picker.open, 0);
    EXPECT_EQ(app->settings_open, 1);
    press(SDLK_r);   // only Esc acts while the list is open
    EXPECT_EQ(e->record.load(), 0);
    app->device_list_open = 1;
    press(SDLK_ESCAPE);
    EXPECT_EQ(app->device_list_open, 0);
    EXPECT_EQ(app->settings_open, 1);
    press(SDLK_ESCAPE);
    EXPECT_EQ(app->settings_open, 0);

    press(SDLK_COMMA);   // a plain comma is no shortcut
    EXPECT_EQ(app->settings_open, 0);
}

// ---------------------------------------------------------------------------
// Musical typing
// ---------------------------------------------------------------------------

class TypingTest : public EventTest {
protected:
    VstPlugin* inst = nullptr;

    void SetUp() override
    {
        EventTest::SetUp();
        vst_mock_reset();
        char err[128] = {};
        inst = vst_load_entry("mock", vst_mock_entry, 48000.0f, 4096, err, sizeof err);
        ASSERT_NE(inst, nullptr) << err;
        engine_publish_plugin(e, &e->instrument, inst);
        app->musical_typing = 1;
    }
    void TearDown() override
    {
        engine_retire_plugin(e, &e->instrument);
        EventTest::TearDown();
    }
    // MIDI reaches the plug-in at the next block.
    int midi_after_block()
    {
        run_callback(64, 0.0f);
        return g_vst_mock.stats.midi_events.load();
    }
    bool last_midi_is(uint8_t status, uint8_t note, uint8_t velocity)
    {
        const uint8_t* m = g_vst_mock.stats.last_midi;
        return m[0] == status && m[1] == note && m[2] == velocity;
    }
    float key_x(int key) { return app->layout.key_sheet.x + (key + 0.5f) * app->layout.key_sheet.w / 13; }
};

TEST_F(TypingTest, NoteKeysMapToTheOctaveFromZToComma)
{
    const SDL_Keycode keys[13] = {SDLK_z, SDLK_s, SDLK_x, SDLK_d, SDLK_c, SDLK_v, SDLK_g,
                                  SDLK_b, SDLK_h, SDLK_n, SDLK_j, SDLK_m, SDLK_COMMA};
    for (int i = 0; i < 13; i++)
        EXPECT_EQ(key_to_semitone(keys[i]), i);
    EXPECT_EQ(key_to_semitone(SDLK_q), -1);
    EXPECT_EQ(key_to_semitone(SDLK_r), -1);

    send(ev_key(SDLK_COMMA));
    EXPECT_EQ(midi_after_block(), 1);
    EXPECT_TRUE(last_midi_is(0x90, 72, 110));
    send(ev_key(SDLK_COMMA, false));
    EXPECT_EQ(midi_after_block(), 2);
    EXPECT_TRUE(last_midi_is(0x80, 72, 0));
}

TEST_F(TypingTest, ANoteHeldByKeyAndMouseSoundsOnceAndStopsAfterBothLetGo)
{
    send(ev_key(SDLK_z));
    EXPECT_EQ(midi_after_block(), 1);
    EXPECT_TRUE(last_midi_is(0x90, 60, 110));

    send(ev_button(key_x(0), 900));
    EXPECT_EQ(app->clicked_key, 0);
    EXPECT_EQ(midi_after_block(), 1);   // already sounding
    send(ev_key(SDLK_z, false));
    EXPECT_EQ(midi_after_block(), 1);   // the mouse still holds it
    send(ev_button(key_x(0), 900, false));
    EXPECT_EQ(midi_after_block(), 2);
    EXPECT_TRUE(last_midi_is(0x80, 60, 0));
    EXPECT_EQ(app->notes_keys | app->notes_mouse, 0);
    EXPECT_EQ(app->clicked_key, -1);
}

TEST_F(TypingTest, TheMouseSlidesFromKeyToKeyOnTheSheet)
{
    send(ev_button(key_x(2), 900));
    send(ev_motion(key_x(2) + 3, 905));   // the same key
    EXPECT_EQ(midi_after_block(), 1);
    send(ev_motion(key_x(4), 905));
    EXPECT_EQ(midi_after_block(), 3);
    EXPECT_TRUE(last_midi_is(0x90, 64, 110));
    EXPECT_EQ(app->notes_mouse, 1u << 4);
    send(ev_button(key_x(4), 905, false));
    EXPECT_EQ(midi_after_block(), 4);
    EXPECT_TRUE(last_midi_is(0x80, 64, 0));
}

TEST_F(TypingTest, EscReleasesEveryHeldNoteAndEndsTyping)
{
    send(ev_key(SDLK_z));
    send(ev_key(SDLK_x));
    send(ev_button(key_x(7), 900));
    ASSERT_EQ(midi_after_block(), 3);
    send(ev_key(SDLK_ESCAPE));
    EXPECT_EQ(midi_after_block(), 6);
    EXPECT_EQ(g_vst_mock.stats.opcodes[VST_EFF_PROCESS_EVENTS].load(), 2);
    EXPECT_EQ(app->musical_typing, 0);
    EXPECT_EQ(app->notes_keys, 0);
    EXPECT_EQ(app->notes_mouse, 0);

    // The later releases are no notes any more, and the letters are commands again.
    send(ev_key(SDLK_z, false));
    send(ev_button(key_x(7), 900, false));
    EXPECT_EQ(midi_after_block(), 6);
}

TEST_F(TypingTest, LosingFocusReleasesNotesAndEndsHoldDub)
{
    send(ev_button(centre_x(app->layout.pads[PAD_HOLD_DUB]), centre_y(app->layout.pads[PAD_HOLD_DUB])));
    ASSERT_EQ(e->hold_dub.load(), 1);
    send(ev_key(SDLK_c));
    ASSERT_EQ(midi_after_block(), 1);
    send(ev_focus_lost());
    EXPECT_EQ(midi_after_block(), 2);
    EXPECT_TRUE(last_midi_is(0x80, 64, 0));
    EXPECT_EQ(app->notes_keys, 0);
    EXPECT_EQ(e->hold_dub.load(), 0);
    EXPECT_EQ(app->hold_dub_held, 0);
    EXPECT_EQ(app->musical_typing, 1);
}

TEST_F(TypingTest, TypingTakesTheTransportLettersButLeavesSpaceAndArrows)
{
    e->playing = 1;
    for (SDL_Keycode sym : {SDLK_r, SDLK_e, SDLK_w})
        press(sym);
    EXPECT_EQ(e->record.load(), 0);
    EXPECT_EQ(live_toasts(), 0);
    EXPECT_EQ(midi_after_block(), 0);
    press(SDLK_SPACE);
    EXPECT_EQ(e->playing.load(), 0);
}

TEST_F(TypingTest, UnloadingTheInstrumentEndsTypingWithNothingHeld)
{
    send(ev_key(SDLK_z));
    click(app->layout.buttons[4], SDL_BUTTON_RIGHT);
    EXPECT_EQ(e->instrument.load(), nullptr);
    EXPECT_EQ(g_vst_mock.stats.alive.load(), 0);
    EXPECT_EQ(app->musical_typing, 0);
    EXPECT_EQ(app->notes_keys, 0);
    EXPECT_STREQ(last_toast().text, "INST UNLOADED");
    send(ev_key(SDLK_z, false));
}

TEST_F(TypingTest, WithoutAnInstrumentNothingIsSentOrHeld)
{
    engine_retire_plugin(e, &e->instrument);
    app->musical_typing = 1;
    send(ev_key(SDLK_z));
    send(ev_button(key_x(3), 900));
    EXPECT_EQ(app->notes_keys, 0);
    EXPECT_EQ(app->notes_mouse, 0);
    EXPECT_EQ(e->record.load(), 0);
}

// ---------------------------------------------------------------------------
// Releases an overlay takes
// ---------------------------------------------------------------------------

TEST_F(EventTest, AReleaseTakenByAnOverlayStillEndsHoldDubAndDrags)
{
    const AppLayout& l = app->layout;
    send(ev_button(centre_x(l.pads[PAD_HOLD_DUB]), centre_y(l.pads[PAD_HOLD_DUB])));
    ASSERT_EQ(e->hold_dub.load(), 1);
    SDL_Event up = ev_button(300, 300, false);
    app_event_swallowed(app, &up);
    EXPECT_EQ(e->hold_dub.load(), 0);
    EXPECT_EQ(app->hold_dub_held, 0);

    send(ev_button(centre_x(l.input_slider), centre_y(l.input_slider)));
    ASSERT_EQ(app->drag_mode, DRAG_GAIN);
    app_event_swallowed(app, &up);
    EXPECT_EQ(app->drag_mode, DRAG_NONE);

    send(ev_key(SDLK_d));
    SDL_Event key_up = ev_key(SDLK_d, false);
    app_event_swallowed(app, &key_up);
    EXPECT_EQ(e->hold_dub.load(), 0);
}

// ---------------------------------------------------------------------------
// Plug-in picker: keys, text, rows and scroll
// ---------------------------------------------------------------------------

class PickerTest : public EventTest {
protected:
    void open(int entries, bool identified)
    {
        AppPicker* p = &app->picker;
        p->open = 1;
        p->count = entries;
        p->filtered_count = entries;
        p->status[0] = '\0';
        for (int i = 0; i < entries; i++) {
            p->filtered[i] = i;
            p->kind[i] = identified ? 1 : 0;
            // Files that do not exist: choosing one fails and names it in the status.
            snprintf(p->entries[i].name, sizeof p->entries[i].name, "p%d", i);
            snprintf(p->entries[i].path, sizeof p->entries[i].path, "/nonexistent/p%d.so", i);
        }
    }
    // The entry the last choice tried, from the status "name: reason"; -1 none.
    int chosen() const
    {
        int n = -1;
        return sscanf(app->picker.status, "p%d:", &n) == 1 ? n : -1;
    }
};

TEST_F(PickerTest, VisibleRowsFollowTheHintLines)
{
    open(40, false);
    EXPECT_EQ(vst_picker_visible_rows(&app->picker), 18);
    open(40, true);
    EXPECT_EQ(vst_picker_visible_rows(&app->picker), 19);
    open(0, true);
    EXPECT_EQ(vst_picker_visible_rows(&app->picker), 19);
}

TEST_F(PickerTest, OnlyPickerKeysActAndTheSelectionStaysOnScreen)
{
    open(40, false);   // 18 rows shown
    press(SDLK_r);
    EXPECT_EQ(e->record.load(), 0);

    press(SDLK_PAGEDOWN);
    EXPECT_EQ(app->picker.selection, 18);
    EXPECT_EQ(app->picker.scroll, 1);
    for (int i = 0; i < 5; i++)
        press(SDLK_PAGEDOWN);
    EXPECT_EQ(app->picker.selection, 39);
    EXPECT_EQ(app->picker.scroll, 22);
    press(SDLK_UP);
    EXPECT_EQ(app->picker.selection, 38);
    EXPECT_EQ(app->picker.scroll, 22);
    for (int i = 0; i < 3; i++)
        press(SDLK_PAGEUP);
    EXPECT_EQ(app->picker.selection, 0);
    EXPECT_EQ(app->picker.scroll, 0);

    press(SDLK_DOWN);
    press(SDLK_KP_ENTER);
    EXPECT_EQ(chosen(), 1);
    EXPECT_EQ(app->picker.filtered_count, 40);   // the failed file still shows on "all"
    press(SDLK_TAB);
    EXPECT_EQ(app->picker.tab, 1);
    EXPECT_EQ(app->picker.filtered_count, 39);
    press(SDLK_ESCAPE);
    EXPECT_EQ(app->picker.open, 0);
}

TEST_F(PickerTest, SearchTextTakesPrintableBytesUpTo47AndBackspaceAWholeCharacter)
{
    open(3, true);
    app->picker.scroll = 2;
    send(ev_text("ab\x01"));
    EXPECT_STREQ(app->picker.search, "ab");
    EXPECT_EQ(app->picker.scroll, 0);
    send(ev_text("\xC3\xA9"));   // é
    press(SDLK_BACKSPACE);
    EXPECT_STREQ(app->picker.search, "ab");
    for (int i = 0; i < 10; i++)
        send(ev_text("0123456789"));
    EXPECT_EQ(std::strlen(app->picker.search), 47u);
    EXPECT_EQ(app->picker.filtered_count, 0);   // refiltered: no entry holds the words

    app->picker.open = 0;
    send(ev_text("x"));
    EXPECT_EQ(std::strlen(app->picker.search), 47u);
}

TEST_F(PickerTest, AClickOnTheFooterChoosesNothingButEveryDrawnRowCanBeChosen)
{
    open(40, false);
    app->picker.scroll = 3;
    float footer = VST_PICKER_ROWS_TOP + 18 * VST_PICKER_ROW_PITCH + 5;   // hint lines
    click(300, footer);
    EXPECT_EQ(chosen(), -1);
    float last_row = VST_PICKER_ROWS_TOP + 17 * VST_PICKER_ROW_PITCH + 5;
    click(300, last_row);
    EXPECT_EQ(chosen(), 3 + 17);

    open(40, true);   // no hints: a 19th row is drawn and can be chosen
    app->picker.scroll = 0;
    click(300, footer);
    EXPECT_EQ(chosen(), 18);

    open(5, true);
    click(300, VST_PICKER_ROWS_TOP + 5 * VST_PICKER_ROW_PITCH + 5);   // past the list
    EXPECT_EQ(chosen(), -1);
    click(300, 100);   // outside the panel
    EXPECT_EQ(app->picker.open, 0);
}

TEST_F(PickerTest, WheelScrollStaysWithinTheListEvenWhenItIsShort)
{
    open(3, true);
    send(ev_wheel(-5));
    EXPECT_EQ(app->picker.scroll, 0);
    open(40, true);
    send(ev_wheel(-5));
    EXPECT_EQ(app->picker.scroll, 15);
    send(ev_wheel(-5));
    EXPECT_EQ(app->picker.scroll, 21);
    send(ev_wheel(10));
    EXPECT_EQ(app->picker.scroll, 0);
}

TEST_F(EventTest, TakeListWheelWithFewerTakesThanRowsKeepsTheScrollAtZero)
{
    app->library_shown = 1;
    app->library_x = -600;
    app->mouse_x = -300;
    app->take_count = 5;
    send(ev_wheel(-2));
    EXPECT_EQ(app->take_scroll, 0);

    app->take_count = 30;
    EXPECT_EQ(app_library_rows(app), 24);
    send(ev_wheel(-4));
    EXPECT_EQ(app->take_scroll, 6);
    send(ev_wheel(3));
    EXPECT_EQ(app->take_scroll, 0);

    // A take in the library player takes room from the rows.
    LibraryKit kit;
    LibraryWithPlayer with;
    ASSERT_TRUE(library_add_file(with.lib, kit.wav("a.wav", 480).c_str(), true));
    app->library = with.lib;
    EXPECT_EQ(app_library_rows(app), 19);
    app->library = nullptr;
}

} // namespace
