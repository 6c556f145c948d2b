// panel_kit.h - the inputs panel under test: a fake back-end that keeps a rig
// document, an input view and meters and records every command (applying the plain
// ones to its document), SDL events as SDL delivers them, and a fixture that draws the
// panel on the offscreen GL target at a given frame.
// Threads: the test's thread.
#pragma once
#include <SDL.h>

#include <cstring>
#include <vector>

#include "rig/rigmix.h"
#include "rig/views/inputs_panel.h"
#include "support/draw_probe.h"
#include "tests/app/event_kit.h"
#include "tests/rig/rig_kit.h"

struct FakeRig {
    rigkit::Doc doc;
    RigInputView view{};
    RigMeterView meters{};
    std::vector<InputsPanelCommand> sent;
    std::vector<std::string> glyphs;       // texts of glyph commands
    bool no_doc = false;
    InputsPanelBackend backend{};

    explicit FakeRig(int inputs = 4, const char* key = "jack:Desk")
    {
        doc = rigkit::fresh_doc(key, inputs);
        view.state = RIG_STATE_READY;
        snprintf(view.key, sizeof view.key, "%s", key);
        snprintf(view.api, sizeof view.api, "jack");
        snprintf(view.device_name, sizeof view.device_name, "Desk");
        view.inputs_opened = view.inputs_on_device = view.channels = inputs;
        view.sample_rate = 48000;
        view.hot_input = -1;
        view.other_writer_at = -1;
        meters.channels = inputs;
        backend.ctx = this;
        backend.get_document = [](void* c) -> const RigDocument* {
            auto* f = (FakeRig*)c;
            return f->no_doc ? nullptr : f->doc.get();
        };
        backend.get_input_view = [](void* c, RigInputView* out) { *out = ((FakeRig*)c)->view; };
        backend.get_meter_view = [](void* c, RigMeterView* out) { *out = ((FakeRig*)c)->meters; };
        backend.get_input_label = [](void* c, int i) -> const char* {
            return ((FakeRig*)c)->doc->scenes[0].inputs[i].label;
        };
        backend.send = [](void* c, const InputsPanelCommand* cmd) { ((FakeRig*)c)->apply(*cmd); };
    }
    RigScene& scene() { return doc->scenes[view.active_scene]; }
    void apply(const InputsPanelCommand& c)
    {
        sent.push_back(c);
        if (c.kind == IPC_SET_GLYPH)
            glyphs.push_back(c.text ? c.text : "");
        RigInput* in = c.index >= 0 && c.index < RIG_MAX_INPUTS ? &scene().inputs[c.index] : nullptr;
        switch (c.kind) {
        case IPC_SET_GAIN: in->gain = c.value; break;
        case IPC_SET_PAN: in->pan = c.value; break;
        case IPC_SET_MUTED: in->muted = c.flag; break;
        case IPC_SET_LINK: in->link = c.flag; break;
        case IPC_SET_MASTER: scene().master_gain = c.value; break;
        case IPC_SWITCH_SCENE: view.active_scene = c.index; break;
        default: break;
        }
    }
    int count(int kind) const
    {
        int n = 0;
        for (auto& c : sent)
            n += c.kind == kind;
        return n;
    }
};

// The shell's event builders, in the order the panel tests use.
inline SDL_Event ip_button(float x, float y, bool down = true, uint8_t clicks = 1, uint8_t button = SDL_BUTTON_LEFT)
{
    return ev_button(x, y, down, button, clicks);
}
inline SDL_Event ip_motion(float x, float y) { return ev_motion(x, y); }
inline SDL_Event ip_key(SDL_Keycode sym, uint16_t mod = KMOD_NONE, bool down = true) { return ev_key(sym, down, mod); }
inline SDL_Event ip_text(const char* text) { return ev_text(text); }

// A panel on the fixture's renderer, opened at -10 s, drawn at scale 1 from (0, 0).
class PanelTest : public DrawTest {
protected:
    PanelTest() : DrawTest(480, 1000) {}
    InputsPanel* panel = nullptr;
    InputsPanelFrame frame{};
    double now = 1.0;

    void make(FakeRig* rig, RigSession* session = nullptr, const InputsPanelPalette* palette = nullptr)
    {
        panel = inputs_panel_create(fx.renderer, session, palette);
        ASSERT_TRUE(panel);
        if (rig)
            inputs_panel_set_backend(panel, &rig->backend);
        inputs_panel_open(panel, -10.0);
        frame = InputsPanelFrame{};
        frame.w = 432;
        inputs_panel_preferred_size(panel, 432, 1000, &frame.w, &frame.h);
        frame.scale = 1;
        frame.slide_edge = 4;
        frame.focus_mask = 0x1F;
        frame.focus = 1;
        draw();
    }
    void TearDown() override
    {
        inputs_panel_destroy(panel);
        SDL_SetModState(KMOD_NONE);
        DrawTest::TearDown();
    }
    void draw(double dt = 1.0 / 60.0)
    {
        now += dt;
        frame.time = now;
        frame.dt = (float)dt;
        inputs_panel_draw(panel, &frame);
    }
    bool send(SDL_Event ev)
    {
        frame.time = now;
        return inputs_panel_handle_event(panel, &ev, &frame);
    }
    // Window points of a row's controls (rows 34 apart from y 60, 16 into the row).
    static float row_y(int row) { return 60.0f + 34.0f * row + 16.0f; }
    void click(float x, float y, uint8_t clicks = 1)
    {
        send(ip_motion(x, y));
        send(ip_button(x, y, true, clicks));
        send(ip_button(x, y, false, clicks));
    }
};
