// bench_rigs.cpp - the rig side's costs: drawing the inputs panel with 64 inputs and
// moving meters (µs per frame, on SDL's offscreen GL renderer), one rig session tick
// with 64 inputs (µs), a save from its submission to the rename (ms, with fsync), and
// the decode of a rig file of the largest size, a megabyte of kept channel entries
// (ms; a decode that is not linear in the size takes seconds).
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/plat_time.h"
#include "rig/rigsession.h"
#include "rig/rigstore.h"
#include "rig/views/inputs_panel.h"

namespace fs = std::filesystem;

struct Rig64 {
    RigDocument* doc;
    RigInputView view{};
    RigMeterView meters{};
};

static double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

static void bench_draw()
{
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        printf("inputs_panel_draw: skipped (%s)\n", SDL_GetError());
        return;
    }
    SDL_Window* w = SDL_CreateWindow("bench", 0, 0, 480, 1100, SDL_WINDOW_HIDDEN);
    SDL_Renderer* r = w ? SDL_CreateRenderer(w, -1, SDL_RENDERER_ACCELERATED) : nullptr;
    if (!r) {
        printf("inputs_panel_draw: skipped (no renderer)\n");
        return;
    }
    Rig64 rig;
    rig.doc = rig_doc_new();
    rig_doc_init_for_device(rig.doc, "jack:Big", "jack", "Big", 64, nullptr, "bench", 1.0);
    rig.view.state = RIG_STATE_READY;
    snprintf(rig.view.key, sizeof rig.view.key, "jack:Big");
    rig.view.inputs_opened = rig.view.inputs_on_device = rig.view.channels = 64;
    rig.view.sample_rate = 48000;
    rig.view.hot_input = -1;
    InputsPanelBackend be{};
    be.ctx = &rig;
    be.get_document = [](void* c) -> const RigDocument* { return ((Rig64*)c)->doc; };
    be.get_input_view = [](void* c, RigInputView* o) { *o = ((Rig64*)c)->view; };
    be.get_meter_view = [](void* c, RigMeterView* o) { *o = ((Rig64*)c)->meters; };
    be.get_input_label = [](void*, int) -> const char* { return ""; };
    InputsPanel* p = inputs_panel_create(r, nullptr, nullptr);
    inputs_panel_set_backend(p, &be);
    inputs_panel_open(p, -10.0);
    InputsPanelFrame f{};
    inputs_panel_preferred_size(p, 432, 1064, &f.w, &f.h);
    f.scale = 1;
    f.slide_edge = 4;
    std::vector<double> us;
    for (int frame = 0; frame < 600; frame++) {
        for (int i = 0; i < 64; i++) {
            float v = 0.5f + 0.45f * (float)std::sin(frame * 0.1 + i);
            rig.meters.level[i] = v;
            rig.meters.post[i] = v * 0.8f;
            rig.meters.peak[i] = std::min(1.0f, v + 0.05f);
        }
        rig.meters.bus[0] = rig.meters.bus[1] = 0.6f;
        f.time = frame / 60.0;
        f.dt = 1.0f / 60.0f;
        SDL_RenderClear(r);
        double t0 = plat_time_seconds();
        inputs_panel_draw(p, &f);
        SDL_RenderFlush(r);
        double t1 = plat_time_seconds();
        if (frame >= 60)
            us.push_back((t1 - t0) * 1e6);
        SDL_RenderPresent(r);
    }
    printf("inputs_panel_draw: 64 inputs, moving meters: median %.1f us per frame, worst %.1f us\n", median(us),
           *std::max_element(us.begin(), us.end()));
    inputs_panel_destroy(p);
    rig_doc_free(rig.doc);
    SDL_DestroyRenderer(r);
    SDL_DestroyWindow(w);
    SDL_Quit();
}

static void bench_tick(const fs::path& folder)
{
    RigSessionConfig c{};
    c.app = "bench";
    std::string f = folder.string();
    c.folder = f.c_str();
    RigSession* s = rigsession_create(&c);
    RigDeviceInfo d{};
    snprintf(d.key, sizeof d.key, "jack:Big");
    snprintf(d.api, sizeof d.api, "jack");
    snprintf(d.name, sizeof d.name, "Big");
    d.inputs_opened = d.inputs_on_device = 64;
    d.sample_rate = 48000;
    rigsession_bind(s, &d);
    double t = 0;
    for (int i = 0; i < 200 && !rigsession_current_doc(s); i++) {
        rigsession_tick(s, t += 0.01, 0);
        plat_sleep_ms(2);
    }
    std::vector<double> us;
    for (int i = 0; i < 5000; i++) {
        double t0 = plat_time_seconds();
        rigsession_tick(s, t += 1.0 / 60.0, 0);
        us.push_back((plat_time_seconds() - t0) * 1e6);
    }
    printf("rigsession_tick: 64 inputs: median %.2f us, worst %.1f us\n", median(us),
           *std::max_element(us.begin(), us.end()));
    rigsession_destroy(s);
}

static void bench_save(const fs::path& folder)
{
    RigStoreConfig c{};
    std::string f = folder.string();
    c.folder = f.c_str();
    c.app = "bench";
    RigStore* s = rigstore_open(&c);
    RigDocument* d = rig_doc_new();
    rig_doc_init_for_device(d, "jack:Save", "jack", "Save", 64, nullptr, "bench", 1.0);
    RigEditMask m;
    rig_edit_mask_clear(&m);
    m.inputs[0][0] = RIG_EDIT_GAIN;
    m.any = 1;
    std::vector<double> ms;
    for (int i = 0; i < 200; i++) {
        d->scenes[0].inputs[0].gain = 0.01f * (float)i;
        double t0 = plat_time_seconds();
        uint32_t id = rigstore_submit_save(s, d, &m);
        RigStoreResult r{};
        for (;;) {
            if (rigstore_take_result(s, &r) && r.job == id)
                break;
            rigstore_result_free(&r);
        }
        ms.push_back((plat_time_seconds() - t0) * 1000.0);
        rigstore_result_free(&r);
    }
    printf("rigstore save: submission to rename (64 inputs, fsync): median %.2f ms, worst %.2f ms\n", median(ms),
           *std::max_element(ms.begin(), ms.end()));
    rig_doc_free(d);
    rigstore_close(s, 5000);
}

static void bench_decode_large()
{
    // A clean rig whose second scene keeps a channels array it does not know, as large
    // as a file may be.
    std::string entries;
    while (entries.size() < RIG_FILE_MAX - 700)
        entries += "{\"kind\":{\"bus\":{\"n\":1}}},";
    entries.pop_back();
    std::string text =
        std::string(R"({"format":"tidecoil.rig","version":1,"rev":4,"key":"wasapi:Mic",)") +
        R"("device":{"api":"wasapi","name":"Mic","channels":2,"channelNames":["L","R"]},"activeScene":1,)" +
        R"("appScenes":{"tessel":{"scene":1,"at":3}},"scenes":[)" +
        R"({"id":"A","name":"one","masterGain":1,"updatedAt":2,"author":"x","channels":[)" +
        R"({"id":"i0","kind":{"input":{"channel":0}},"label":"a","gain":1,"pan":0,"muted":false,"link":true},)" +
        R"({"id":"i1","kind":{"input":{"channel":1}},"label":"b","gain":0.5,"pan":0.25,"muted":true,"link":false}]},)" +
        R"({"id":"B","channels":[)" + entries + R"(]},{"id":"C"},{"id":"D"}],)" +
        R"("writer":{"app":"tessel","platform":"linux","version":"1","instance":"00000000000000ff","at":5}})";
    RigDocument* d = rig_doc_new();
    std::vector<double> ms;
    int result = -1;
    for (int i = 0; i < 5; i++) {
        double t0 = plat_time_seconds();
        result = rig_decode(text.data(), text.size(), d, nullptr, 0);
        ms.push_back((plat_time_seconds() - t0) * 1000.0);
    }
    printf("rig decode: %zu bytes, a megabyte of kept channel entries: median %.1f ms, worst %.1f ms (%s)\n",
           text.size(), median(ms), *std::max_element(ms.begin(), ms.end()),
           result == RIG_DECODE_CLEAN ? "clean" : "NOT CLEAN");
    rig_doc_free(d);
}

int main()
{
    char tmpl[] = "/tmp/tessel-bench-rigs.XXXXXX";
    fs::path root = mkdtemp(tmpl);
    bench_draw();
    bench_tick(root / "rigs");
    bench_save(root / "rigs");
    bench_decode_large();
    fs::remove_all(root);
    return 0;
}
