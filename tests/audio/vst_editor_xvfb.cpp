// Plug-in editors open in windows of their own at the size the plug-in asks for, follow
// its resize requests, and close through the window's close button; without a display
// they do not open and the plug-in is asked nothing. Runs on a private X server
// (xvfb-run, see CMakeLists.txt).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "audio/vst.h"
#include "audio/vst_plugin.h"
#include "platform/plat_time.h"
#include "support/test_wait.h"
#include "platform/plat_x11_editor.h"
#include "vst_test_support.h"

namespace {

// Gives every loaded plug-in its idle call until done() or a minute passes.
template <typename F>
bool idle_until(VstPlugin* p, F done)
{
    double deadline = plat_time_seconds() + TEST_WAIT_SECONDS;
    while (!done()) {
        if (plat_time_seconds() > deadline)
            return false;
        vst_editor_idle(p);
        plat_sleep_ms(5);
    }
    return true;
}

PlatWindowId editor_window(VstPlugin* p)
{
    return p->editor_window.load();
}

}   // namespace

TEST(VstEditor, OpensAtTheAskedSizeAndClosesThroughTheCloseButton)
{
    ASSERT_TRUE(plat_editor_display_ready()) << "runs under xvfb-run";
    VstMockLib mock("vst_mock.so");
    // 50 wide, 300 high, and the same once open: too narrow, so 640 wide; no resize.
    mock.config().rect_after = mock.config().rect_before;
    VstPlugin* p = mock.load();
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(vst_editor_open(p));
    EXPECT_TRUE(vst_editor_is_open(p));
    PlatWindowId w = editor_window(p);
    ASSERT_NE(w, 0u);
    EXPECT_EQ(mock.stats().editor_window, (intptr_t)w);   // the plug-in got our window
    int width = 0, height = 0;
    ASSERT_TRUE(plat_editor_window_geometry(w, &width, &height));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 300);
    char title[128];
    ASSERT_TRUE(plat_editor_window_title(w, title, sizeof title));
    EXPECT_STREQ(title, "Mock Effect");

    // Opening again brings the open editor forward; nothing new is made.
    EXPECT_TRUE(vst_editor_open(p));
    EXPECT_EQ(mock.calls(VST_EFF_EDIT_OPEN), 1);
    EXPECT_EQ(editor_window(p), w);

    vst_editor_idle(p);
    EXPECT_GE(mock.calls(VST_EFF_EDIT_IDLE), 1);

    plat_editor_send_close(w);
    EXPECT_TRUE(idle_until(p, [&] { return !vst_editor_is_open(p); }));
    EXPECT_EQ(mock.calls(VST_EFF_EDIT_CLOSE), 1);
    EXPECT_FALSE(plat_editor_window_exists(w));
    EXPECT_EQ(editor_window(p), 0u);

    // It opens again after being closed.
    ASSERT_TRUE(vst_editor_open(p));
    PlatWindowId again = editor_window(p);
    EXPECT_TRUE(plat_editor_window_exists(again));
    vst_unload(p);   // closes the open editor first
    EXPECT_EQ(mock.calls(VST_EFF_EDIT_CLOSE), 2);
    EXPECT_FALSE(plat_editor_window_exists(again));
}

TEST(VstEditor, FollowsThePluginsSizeAfterOpeningAndFromOtherThreads)
{
    ASSERT_TRUE(plat_editor_display_ready()) << "runs under xvfb-run";
    VstMockLib mock("vst_mock.so");
    VstPlugin* p = mock.load();   // 50 x 300 before opening, 200 x 200 once open
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(vst_editor_open(p));
    int width = 0, height = 0;
    ASSERT_TRUE(plat_editor_window_geometry(editor_window(p), &width, &height));
    EXPECT_EQ(width, 200);
    EXPECT_EQ(height, 200);
    vst_unload(p);

    // A size asked from a plug-in's own thread is applied by the next idle call.
    mock.config().resize_from_thread = true;
    p = mock.load();
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(vst_editor_open(p));
    EXPECT_EQ(mock.stats().thread_resize_answer, 1);
    vst_editor_idle(p);
    ASSERT_TRUE(plat_editor_window_geometry(editor_window(p), &width, &height));
    EXPECT_EQ(width, 300);
    EXPECT_EQ(height, 150);
    vst_unload(p);

    // A plug-in without an editor has none to open.
    mock.config().flags = VST_FLAG_CAN_REPLACE;
    p = mock.load();
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(vst_editor_open(p));
    EXPECT_EQ(mock.calls(VST_EFF_EDIT_GET_RECT), 4);   // only the two editors above
    vst_unload(p);
    EXPECT_FALSE(vst_editor_open(nullptr));
}

TEST(VstEditor, WithoutADisplayTheEditorDoesNotOpenAndThePluginIsNotAsked)
{
    plat_editor_display_close();
    const char* display = getenv("DISPLAY");
    std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    VstMockLib mock("vst_mock.so");
    VstPlugin* p = mock.load();
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(vst_editor_open(p));
    EXPECT_FALSE(vst_editor_is_open(p));
    EXPECT_EQ(mock.calls(VST_EFF_EDIT_GET_RECT), 0);
    EXPECT_EQ(mock.calls(VST_EFF_EDIT_OPEN), 0);
    vst_editor_idle(p);
    EXPECT_EQ(mock.calls(VST_EFF_EDIT_IDLE), 0);
    vst_unload(p);
    if (!saved.empty())
        setenv("DISPLAY", saved.c_str(), 1);
}

TEST(VstEditor, DragonflyHallOpensAtItsOwnSize)
{
    VST_REQUIRE_FILE(VST_REAL_HALL);
    ASSERT_TRUE(plat_editor_display_ready()) << "runs under xvfb-run";
    char err[128];
    VstPlugin* p = vst_load(VST_REAL_HALL, 48000.0f, 4096, err, sizeof err);
    ASSERT_NE(p, nullptr) << err;
    ASSERT_TRUE(vst_editor_open(p));
    PlatWindowId w = editor_window(p);
    for (int frame = 0; frame < 10; frame++) {
        vst_editor_idle(p);
        plat_sleep_ms(10);
    }
    int width = 0, height = 0;
    ASSERT_TRUE(plat_editor_window_geometry(w, &width, &height));
    EXPECT_EQ(width, 920);
    EXPECT_EQ(height, 345);
    plat_editor_send_close(w);
    EXPECT_TRUE(idle_until(p, [&] { return !vst_editor_is_open(p); }));
    EXPECT_FALSE(plat_editor_window_exists(w));
    vst_unload(p);
}
