// panel_view_kit.h - the modal panels on the GL renderer: the main-view fixture with a
// canvas and text renderer, the engine on this platform's host API roles over the
// scripted audio library, picker entries that fail to load (so a choice names its
// entry in the status text), and colour searches over the last read.
#pragma once
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "app/panels/main/view.h"
#include "app/vst_picker_rows.h"
#include "platform/plat_audio_api.h"
#include "tests/app/view_draw_probe.h"
#include "ui/canvas.h"
#include "ui/text.h"

enum { kPaAlsa = 8, kPaJack = 12 };

struct InkBox {
    int x0 = INT_MAX, y0 = INT_MAX, x1 = INT_MIN, y1 = INT_MIN;
    bool empty() const { return x0 > x1; }
};

class PanelViewTest : public MainViewTest {
protected:
    void draw_part() override {}
    void SetUp() override
    {
        MainViewTest::SetUp();
        if (HasFatalFailure())
            return;
        // This platform's roles: JACK is the direct host API, ALSA the system one.
        engine_shutdown(e);
        engine_use_backend(fake_audio_backend(), plat_host_api_policy());
        ASSERT_TRUE(engine_init(e));
        app_init(app, e, ".");
        app->reduced_motion = 1;
        app->canvas = canvas_create(fx.renderer);
        app->text = text_renderer_create_in(fx.renderer, ".");
        ASSERT_NE(app->canvas, nullptr);
        ASSERT_NE(app->text, nullptr);
    }
    void TearDown() override
    {
        text_renderer_destroy(app->text);
        canvas_destroy(app->canvas);
        app->text = nullptr;
        app->canvas = nullptr;
        MainViewTest::TearDown();
    }
    // Devices on one host API (kPaJack or kPaAlsa), inputs unless named "out*".
    void devices(int api, std::initializer_list<const char*> names)
    {
        FakeAudio& fa = fake_audio();
        fa.apis = {{api, api == kPaJack ? "JACK Audio Connection Kit" : "ALSA", 0, 0}};
        fa.devices.clear();
        for (const char* n : names)
            fa.devices.push_back({n, 0, n[0] == 'o' ? 0 : 2, 2, 48000.0, 0.005, 0.005});
    }
    // n picker entries "p<i>" whose files do not exist; kinds 0 or 1 for all.
    void picker(int n, bool identified, int32_t target = -1)
    {
        AppPicker* p = &app->picker;
        p->open = 1;
        p->target = target;
        p->count = p->filtered_count = n;
        p->status[0] = '\0';
        for (int i = 0; i < n; i++) {
            p->filtered[i] = i;
            p->kind[i] = identified ? 1 : 0;
            snprintf(p->entries[i].name, sizeof p->entries[i].name, "p%d", i);
            snprintf(p->entries[i].path, sizeof p->entries[i].path, "/nonexistent/p%d.so", i);
        }
    }
    // Clears to the background, draws the picker and the settings list, reads back.
    void paint()
    {
        draw_fixture_clear(&fx, bg.r, bg.g, bg.b);
        view_vst_picker(app, &kit);
        view_settings(app, &kit, 1.0f / 60);
        read();
    }
    // The box of the pixels within tol of want inside (x0, y0)..(x1, y1).
    InkBox find(int x0, int y0, int x1, int y1, DrawPixel want, int tol = 2)
    {
        InkBox b;
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++) {
                DrawPixel p = draw_fixture_pixel(&fx, x, y);
                if (abs(p.r - want.r) <= tol && abs(p.g - want.g) <= tol && abs(p.b - want.b) <= tol) {
                    b.x0 = std::min(b.x0, x), b.y0 = std::min(b.y0, y);
                    b.x1 = std::max(b.x1, x), b.y1 = std::max(b.y1, y);
                }
            }
        return b;
    }
    // Pixels brighter than min_sum (R + G + B) inside the box: ink on the dark panel.
    int ink(int x0, int y0, int x1, int y1, int min_sum = 300)
    {
        int n = 0;
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++) {
                DrawPixel p = draw_fixture_pixel(&fx, x, y);
                n += p.r + p.g + p.b > min_sum;
            }
        return n;
    }
};
