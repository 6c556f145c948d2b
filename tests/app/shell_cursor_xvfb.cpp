// The custom cursor in the running shell, in-process on a private X server (xvfb-run,
// see CMakeLists.txt): the pointer warped over the main view's controls, the drag
// strip, a resize border, the window buttons and outside the window picks the
// cursor's mode, and the system pointer shows only in mode 3.
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "app/app_state.h"
#include "app/shell.h"
#include "app/standins.h"
#include "audio/engine.h"
#include "platform/plat_audio_api.h"
#include "support/fake_audio.h"
#include "ui/drawkit.h"

namespace {

namespace fs = std::filesystem;

double g_now = 50.0;
double test_clock()
{
    return g_now;
}

class CursorShell : public ::testing::Test {
protected:
    ShellCtx sh{};
    fs::path root;

    void SetUp() override
    {
        char tmpl[] = "/tmp/tessel-cursor-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        fs::create_directories(root / "home/.config");
        fs::create_directories(root / "scratch");
        setenv("HOME", (root / "home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root / "home/.config").c_str(), 1);
        setenv("TMPDIR", (root / "scratch").c_str(), 1);
        unsetenv("APPDATA");
        fake_audio_reset();
        standin_reset();
        engine_use_backend(fake_audio_backend(), plat_host_api_policy_windows());
        ShellOptions options{test_clock};
        const char* args[] = {"tessel"};
        ASSERT_EQ(shell_start(&sh, 1, const_cast<char**>(args), &options), 0);
    }
    void TearDown() override
    {
        if (sh.app)
            EXPECT_EQ(shell_stop(&sh), 0);
        engine_use_backend(nullptr, nullptr);
        fs::remove_all(root);
    }
    void frames(int n)
    {
        for (int i = 0; i < n; i++) {
            g_now += 1.0 / 60;
            shell_frame(&sh);
        }
    }
};

}  // namespace

TEST_F(CursorShell, TheModeFollowsWhatLiesUnderThePointer)
{
    frames(3);
    ASSERT_NE(sh.app->canvas, nullptr);
    ASSERT_NE(sh.app->text, nullptr);
    int w = 0, h = 0;
    SDL_GetWindowSize(sh.window, &w, &h);
    struct Case {
        const char* what;
        float x, y;
        bool units;      // main-view units, else window pixels
        uint32_t mode;
    } cases[] = {
        {"record pad", 117, 382, true, 2},
        {"loop display", 320, 221, true, 1},
        {"input slider", 21, 256, true, 6},
        {"knob", 320, 795, true, 5},
        {"drag strip", 70, 20, true, 3},   // between the library switch and the logo
        {"resize border", (float)w - 2, 500, false, 3},
        {"window buttons", (float)w - 60, 18, false, 2},
        {"outside", -1, -1, false, 3},
    };
    for (const Case& c : cases) {
        float x = c.x, y = c.y;
        if (c.units)
            draw_map_point(&sh.kit, c.x, c.y, &x, &y);
        if (c.x < 0)
            SDL_WarpMouseGlobal(5, 5);
        else
            SDL_WarpMouseInWindow(sh.window, (int)x, (int)y);
        // The server's motion, enter and leave events come back through the loop.
        for (int i = 0; i < 40 && sh.cursor.mode != c.mode; i++) {
            SDL_Delay(5);
            frames(1);
        }
        frames(2);
        EXPECT_EQ(sh.cursor.mode, c.mode) << c.what;
        EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), c.mode == 3 ? SDL_ENABLE : SDL_DISABLE) << c.what;
    }
}
