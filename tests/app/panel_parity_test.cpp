// What each modal panel draws hovered is what a click there acts on. For pointer
// positions every 2 units along lines across each panel and 4 units beyond its edges,
// the panel is drawn with the pointer there (reduced motion: hover is instant) and the
// hovered row or entry is found against a picture with the pointer away; a click at
// the same point through app_handle_click must then act on exactly that, on the tab
// or button drawn under it, close the panel outside its drawn outline, or do nothing.
// Only a one-pixel column through every row is drawn and read per position.
#include <SDL.h>

#include <memory>
#include <string>
#include <vector>

#include "app/app_events.h"
#include "app/panels/settings_panel.h"
#include "tests/app/panel_view_kit.h"

namespace {

struct Point {
    float x, y;
};

// Lines of points: x = each of xs for y over [y0, y1] in steps of 2, and y = each of
// ys for x over [x0, x1] in steps of 2.
std::vector<Point> cross(std::initializer_list<float> xs, float y0, float y1, std::initializer_list<float> ys,
                         float x0, float x1)
{
    std::vector<Point> out;
    for (float x : xs)
        for (float y = y0; y <= y1; y += 2)
            out.push_back({x, y});
    for (float y : ys)
        for (float x = x0; x <= x1; x += 2)
            out.push_back({x, y});
    return out;
}

bool inside(const InkBox& b, Point p)
{
    int x = (int)std::floor(p.x), y = (int)std::floor(p.y);
    return x >= b.x0 && x <= b.x1 && y >= b.y0 && y <= b.y1;
}

class PanelParity : public PanelViewTest {
protected:
    static constexpr int kProbeX = 70;   // inside every row and entry fill, left of their text
    std::vector<int> probe_ys;           // one y per row or entry, in the order of their names
    std::vector<std::string> names;
    std::vector<uint32_t> away;          // the column with the pointer away

    // The panel drawn with the pointer at p, the probe column read back.
    std::vector<uint32_t> column(Point p)
    {
        app->mouse_x = p.x;
        app->mouse_y = p.y;
        SDL_Rect strip{kProbeX, 0, 1, DRAW_REF_HEIGHT};
        SDL_SetRenderDrawBlendMode(fx.renderer, SDL_BLENDMODE_NONE);
        SDL_SetRenderDrawColor(fx.renderer, bg.r, bg.g, bg.b, 255);
        SDL_RenderFillRect(fx.renderer, &strip);
        SDL_RenderSetClipRect(fx.renderer, &strip);
        view_vst_picker(app, &kit);
        view_settings(app, &kit, 1.0f / 60);
        std::vector<uint32_t> px(DRAW_REF_HEIGHT);
        EXPECT_EQ(SDL_RenderReadPixels(fx.renderer, &strip, SDL_PIXELFORMAT_ARGB8888, px.data(), 4), 0);
        SDL_RenderSetClipRect(fx.renderer, nullptr);
        return px;
    }
    // Names of the rows or entries drawn hovered at p ("" for none).
    std::string hovered(Point p)
    {
        std::vector<uint32_t> px = column(p);
        std::string out;
        for (size_t i = 0; i < probe_ys.size(); i++) {
            uint32_t a = px[probe_ys[i]], b = away[probe_ys[i]];
            for (int s = 0; s < 24; s += 8)
                if (abs((int)(a >> s & 0xFF) - (int)(b >> s & 0xFF)) >= 2) {
                    out += (out.empty() ? "" : "+") + names[i];
                    break;
                }
        }
        return out;
    }
    // Sweeps the points: expect(p, drawn hover) and act(p) name what should and what did happen.
    template <class Expect, class Act>
    void sweep(const std::vector<Point>& points, Expect expect, Act act)
    {
        away = column({-1000, -1000});
        int bad = 0;
        for (Point p : points) {
            std::string want = expect(p, hovered(p));
            std::string got = act(p);
            if (want != got && ++bad <= 8)
                ADD_FAILURE() << "at (" << p.x << ", " << p.y << ") drawn: " << want << ", click: " << got;
        }
        EXPECT_EQ(bad, 0) << "of " << points.size() << " points";
    }
};

TEST_F(PanelParity, PickerRowsTabsAndIdentifyAreWhereTheyAreDrawn)
{
    struct Config {
        int entries;
        bool identified;
        int scroll;
        std::vector<Point> points;
    } configs[] = {
        // 40 entries, 18 rows from the 4th; the selection (0) is scrolled away.
        {40, false, 3,
         cross({56, 58, 60, 62, 64, 66, 320, 574, 576, 578, 580, 582, 584}, 116, 964,
               {150, 166, 190, 206, 230, 286, 302, 304, 336, 880, 900, 940}, 56, 584)},
        // 5 entries, all identified: the blank below the list.
        {5, true, 0, cross({58, 62, 320, 578, 582}, 116, 964, {286, 302, 450}, 56, 584)},
    };
    for (const Config& c : configs) {
        picker(c.entries, c.identified);
        AppPicker* p = &app->picker;
        p->scroll = c.scroll;
        p->selection = c.scroll > 0 ? 0 : -1;
        probe_ys.clear();
        names.clear();
        for (int k = 0; k < 19; k++) {
            probe_ys.push_back(270 + 34 * k + 16);
            names.push_back("row p" + std::to_string(p->scroll + k));
        }
        // What is drawn where, from a whole picture with the pointer away.
        app->mouse_x = app->mouse_y = -1000;
        paint();
        InkBox outline = find(0, 0, 639, 1079, pix(VIEW_MAGENTA));
        InkBox identify = find(60, 150, 580, 260, draw_pixel_rgb(92, 20, 58));
        std::vector<InkBox> tabs;
        for (int i = 0; i < 3; i++) {   // tab i: the run of tab fill that starts at 74 + 164 i
            DrawPixel fill = i == p->tab ? draw_pixel_rgb(127, 15, 73) : draw_pixel_rgb(18, 23, 23);
            tabs.push_back(find(74 + 164 * i, 150, 74 + 164 * i + 162, 200, fill));
        }
        ASSERT_FALSE(outline.empty() || identify.empty() || tabs[2].empty());

        auto saved = std::make_unique<AppPicker>(*p);
        auto expect = [&](Point pt, const std::string& hover) -> std::string {
            if (!inside(outline, pt))
                return "closed";
            for (int i = 0; i < 3; i++)
                if (inside(tabs[i], pt))
                    return "tab " + std::to_string(i);
            if (inside(identify, pt))
                return "identify";
            return hover.empty() ? "nothing" : hover;
        };
        auto act = [&](Point pt) -> std::string {
            p->tab = 3;   // no tab: a click on one sets it
            app_handle_click(app, pt.x, pt.y, SDL_BUTTON_LEFT, 1);
            int n = -1;
            std::string r = !p->open                          ? "closed"
                            : p->tab != 3                     ? "tab " + std::to_string(p->tab)
                            : p->identifying                  ? "identify"
                            : sscanf(p->status, "p%d:", &n) == 1 ? "row p" + std::to_string(n)
                                                              : "nothing";
            *p = *saved;
            return r;
        };
        sweep(c.points, expect, act);
    }
}

TEST_F(PanelParity, SettingsRowsAndDeviceEntriesAreWhereTheyAreDrawn)
{
    // A system-API device, so every row acts (DEVICE switches exclusive mode).
    devices(kPaAlsa, {"out", "Mic A", "Mic B", "Mic C"});
    ASSERT_TRUE(engine_start(e));
    app->settings_open = 1;
    // Half units: the panel's edges lie on pixel centres at scale 1.
    std::vector<Point> points = cross({56, 58, 60, 62, 64, 66, 320, 574, 576, 578, 580, 582, 584}, 273.5f, 806.5f,
                                      {301.5f, 353.5f, 375.5f, 377.5f, 401.5f, 735.5f, 781.5f}, 56, 584);
    FakeAudio& fa = fake_audio();

    for (int list = 0; list < 2; list++) {
        probe_ys.clear();
        names.clear();
        for (int i = 0; i < APP_SETTINGS_ROWS; i++) {
            int y = (int)(330.5f + 48 * i + 6);
            if (list && y > 374 && y < 374.5f + 38 * 3)
                continue;   // covered by the list
            probe_ys.push_back(y);
            names.push_back(settings_row_label(i));
        }
        app->device_list_open = (uint8_t)list;
        app->device_count = list ? 3 : 0;
        for (int k = 0; list && k < 3; k++) {
            app->device_indices[k] = k + 1;
            probe_ys.push_back((int)(374.5f + 38 * k + 6));
            names.push_back("device " + std::to_string(k + 1));
        }
        e->open_input_device = 0;   // an output: no entry is the open one
        app->mouse_x = app->mouse_y = -1000;
        paint();
        InkBox outline = find(0, 0, 639, 1079, pix(VIEW_MAGENTA));
        ASSERT_FALSE(outline.empty());

        auto expect = [&](Point pt, const std::string& hover) -> std::string {
            if (list)   // any click closes the list, one on an entry opens it; bare rows only hover
                return hover.rfind("device", 0) == 0 ? hover : "list closed";
            return !inside(outline, pt) ? "closed" : hover.empty() ? "nothing" : hover;
        };
        auto act = [&](Point pt) -> std::string {
            int buffer = e->buffer_frames, toasts = app->toast_next;
            uint8_t exclusive = e->exclusive_wanted, monitor = e->monitor.load(), overdub = app->overdub;
            size_t opens = fa.opens.size();
            app_handle_click(app, pt.x, pt.y, SDL_BUTTON_LEFT, 1);
            std::string r = app->keys_help_toggle                ? "KEYS"
                            : list && fa.opens.size() > opens    ? "device " + std::to_string(fa.opens.back().in_device)
                            : list && !app->device_list_open     ? "list closed"
                            : !app->settings_open                ? "closed"
                            : app->device_list_open              ? "INPUT"
                            : e->buffer_frames != buffer         ? "BUFFER"
                            : e->exclusive_wanted != exclusive   ? "DEVICE"
                            : e->monitor.load() != monitor       ? "MONITOR"
                            : app->overdub != overdub            ? "OVERDUB"
                            : app->toast_next != toasts          ? "BROADCAST"   // no station: it says so
                            : app->inputs_toggle                 ? "INPUTS PANEL"
                            : app->library_toggle                ? "LIBRARY"
                                                                 : "nothing";
            e->buffer_frames = buffer, e->exclusive_wanted = exclusive, e->monitor.store(monitor);
            e->open_input_device = 0;
            app->overdub = overdub, app->toast_next = toasts;
            app->keys_help_toggle = app->inputs_toggle = app->library_toggle = 0;
            app->settings_open = 1, app->device_list_open = (uint8_t)list;
            return r;
        };
        sweep(points, expect, act);
    }
}

}  // namespace
