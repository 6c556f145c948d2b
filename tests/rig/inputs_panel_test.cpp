// inputs_panel_test.cpp - the inputs panel's handling of SDL events, through a fake
// back-end that records commands: the gain detent and the double click to 0 dB, mute
// painting, scene keys, refusals while the rig cannot be edited, the hit kinds under
// scale, origin and slide, and a click on a real session that reaches the file.
#include <gtest/gtest.h>

#include <cmath>

#include "rig/rigsession.h"
#include "tests/rig/panel_kit.h"
#include "support/test_wait.h"

namespace {

const float kFader0 = 92.0f, kFaderW = 228.0f;   // a 432-unit panel

TEST_F(PanelTest, TheGainFaderHoldsAtZeroDecibelsAndADoubleClickReturnsThere)
{
    FakeRig rig(4);
    rig.scene().inputs[1].gain = rig_fader_to_gain(0.6f);
    make(&rig);
    struct Drag {
        const char* what;
        int input;
        std::vector<float> moves;   // pointer x steps in units
        float want;                  // fader position last sent (-1: nothing sent)
    };
    const Drag drags[] = {
        {"from unity, 3 units right: held", 0, {3}, -1.0f},
        {"from unity, 7 units right: moves on by the excess", 0, {3, 4}, 0.75f + 1.0f / kFaderW},
        // From 0.6 (34.2 units below unity): whole-pixel moves, as the pointer makes them.
        {"from below, 1.8 units across: stops at unity", 1, {36}, 0.75f},
        {"then 8 more: moves on by what lies past the hold", 1, {36, 8}, 0.75f + 3.8f / kFaderW},
        {"one jump far across: moves on by the excess less 6", 1, {54}, 0.75f + 13.8f / kFaderW},
    };
    for (const Drag& d : drags) {
        SCOPED_TRACE(d.what);
        rig.sent.clear();
        rig.scene().inputs[0].gain = 1.0f;
        rig.scene().inputs[1].gain = rig_fader_to_gain(0.6f);
        draw();
        float x = kFader0 + kFaderW * rig_gain_to_fader(rig.scene().inputs[d.input].gain), y = row_y(d.input);
        send(ip_motion(x, y));
        EXPECT_TRUE(send(ip_button(x, y)));
        for (float dx : d.moves)
            send(ip_motion(x += dx, y));
        send(ip_button(x, y, false));
        if (d.want < 0) {
            EXPECT_EQ(rig.count(IPC_SET_GAIN), 0);
        } else {
            ASSERT_GE(rig.count(IPC_SET_GAIN), 1);
            EXPECT_NEAR(rig.sent.back().value, rig_fader_to_gain(d.want), 2e-4);
        }
    }
    rig.sent.clear();
    float x = kFader0 + 10, y = row_y(1);
    send(ip_motion(x, y));
    send(ip_button(x, y, true, 2));
    send(ip_button(x, y, false, 2));
    ASSERT_EQ(rig.count(IPC_SET_GAIN), 1);
    EXPECT_EQ(rig.sent.back().value, 1.0f) << "exactly 0 dB";
    char db[32];
    inputs_panel_db_text(rig.sent.back().value, db, sizeof db);
    EXPECT_STREQ(db, "0.0 DB");
}

TEST_F(PanelTest, MutePaintSetsEveryRowItCrossesInBothDirections)
{
    FakeRig rig(8);
    for (int i = 0; i < 8; i++)
        rig.scene().inputs[i].muted = 0;
    rig.scene().inputs[2].muted = 1;
    make(&rig);
    send(ip_motion(70, row_y(0)));
    send(ip_button(70, row_y(0)));
    for (int r = 1; r <= 3; r++)
        send(ip_motion(70, row_y(r)));
    send(ip_button(70, row_y(3), false));
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(rig.scene().inputs[i].muted, i <= 3 ? 1 : 0) << "down, input " << i;
    // Upwards from row 6 to row 4 in one jump: the rows between are painted too.
    draw();
    send(ip_motion(70, row_y(6)));
    send(ip_button(70, row_y(6)));
    send(ip_motion(70, row_y(4)));
    send(ip_button(70, row_y(4), false));
    for (int i = 4; i < 8; i++)
        EXPECT_EQ(rig.scene().inputs[i].muted, i == 7 ? 0 : 1) << "up, input " << i;
}

TEST_F(PanelTest, ShiftThreeCopiesTheSceneStaysOnItAndSwallowsTheText)
{
    FakeRig rig(4);
    make(&rig);
    EXPECT_TRUE(send(ip_key(SDLK_3, KMOD_SHIFT)));
    ASSERT_EQ(rig.count(IPC_COPY_SCENE), 1);
    EXPECT_EQ(rig.sent.back().index, 0);
    EXPECT_EQ(rig.sent.back().second, 2);
    EXPECT_EQ(rig.count(IPC_SWITCH_SCENE), 0);
    EXPECT_TRUE(send(ip_text("#")));
    EXPECT_FALSE(send(ip_text("x"))) << "only the one text event";
    EXPECT_TRUE(send(ip_key(SDLK_3, KMOD_SHIFT, false)));
    EXPECT_TRUE(send(ip_key(SDLK_3)));
    ASSERT_EQ(rig.count(IPC_SWITCH_SCENE), 1);
    EXPECT_EQ(rig.sent.back().index, 2);
    EXPECT_TRUE(send(ip_text("3")));
}

TEST_F(PanelTest, NothingIsEditedWhileLoadingReadOnlyOrOnTheFallbackButTheLampStillClears)
{
    struct Case {
        const char* what;
        int state;
        uint8_t fallback;
        bool doc;
    };
    const Case cases[] = {
        {"loading", RIG_STATE_LOADING, 1, false},
        {"read only", RIG_STATE_READ_ONLY, 0, true},
        {"fallback", RIG_STATE_READY, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRig rig(4);
        rig.view.state = c.state;
        rig.view.fallback = c.fallback;
        rig.no_doc = !c.doc;
        rig.meters.clip[0] = 1;
        make(&rig);
        click(70, row_y(0));
        click(kFader0 + 50, row_y(0), 2);
        click(352, row_y(0), 2);
        send(ip_key(SDLK_2));
        send(ip_key(SDLK_RETURN));
        click(30 + 48, 20);
        EXPECT_TRUE(rig.sent.empty()) << rig.sent.size() << " commands, the first of kind " << rig.sent[0].kind;
        click(410, row_y(0));
        ASSERT_EQ(rig.sent.size(), 1u);
        EXPECT_EQ(rig.sent[0].kind, IPC_SELECT_INPUT);
        EXPECT_EQ(rig.sent[0].index, 0);
        inputs_panel_destroy(panel);
        panel = nullptr;
    }
}

TEST_F(PanelTest, HitKindsFollowScaleOriginAndSlide)
{
    FakeRig rig(4);
    make(&rig);
    frame.scale = 1.5f;
    frame.origin_x = 40;
    frame.origin_y = 20;
    frame.x = 10;
    frame.y = 8;
    frame.slide_edge = 1;
    frame.reduced_motion = 1;
    draw();
    inputs_panel_close(panel, now);   // with reduced motion: gone at once
    frame.reduced_motion = 0;
    inputs_panel_open(panel, now - 0.1);
    draw(0.0);
    float p = 0.1f / 0.36f;
    float slide = 8.0f * (1 - p) * (1 - p) * (1 - p);
    struct Point {
        float x, y;   // panel units
        int kind, index;
    };
    const Point points[] = {
        {12 + 48 * 2 + 5, 20, IPH_SCENE, 2},  {400, 26, IPH_CLOSE, -1},     {250, 20, IPH_HEADER, -1},
        {70, 60 + 34 * 2 + 10, IPH_MUTE, 2},  {200, 60 + 34 + 10, IPH_FADER, 1}, {352, 70, IPH_PAN, 0},
        {390, 70, IPH_LINK, 0},               {410, 70, IPH_LAMP, 0},        {30, 70, IPH_ROW, 0},
        {200, 197, IPH_LIST, -1}, {440, 70, IPH_OUTSIDE, -1},
    };
    int k = 0;
    for (const Point& pt : points) {
        SCOPED_TRACE(k++);
        float wx = 40 + (10 + slide + pt.x) * 1.5f + 0.5f, wy = 20 + (8 + pt.y) * 1.5f;
        int index = -9;
        EXPECT_EQ(inputs_panel_hit_kind(panel, wx, wy, &index), pt.kind);
        EXPECT_EQ(index, pt.index);
    }
}

// A mute click on a panel over a real session is in the file within 0.2 s of session time.
TEST_F(PanelTest, AMuteClickOnARealSessionIsSavedWithinAFifthOfASecond)
{
    rigkit::TempRigs t;
    double clock_now = 0;
    RigSessionConfig c{};
    c.app = "tessel";
    std::string folder = t.rigs.string();
    c.folder = folder.c_str();
    c.clock = [](void* ctx) { return *(double*)ctx; };
    c.clock_ctx = &clock_now;
    RigSession* s = rigsession_create(&c);
    ASSERT_TRUE(s);
    RigDeviceInfo d{};
    snprintf(d.key, sizeof d.key, "jack:Desk");
    snprintf(d.api, sizeof d.api, "jack");
    snprintf(d.name, sizeof d.name, "Desk");
    d.inputs_opened = d.inputs_on_device = 2;
    d.sample_rate = 48000;
    rigsession_bind(s, &d);
    auto tick = [&](double at) {
        clock_now = at;
        rigstore_wait_idle(rigsession_store(s), TEST_WAIT_SECONDS * 1000);
        rigsession_tick(s, at, 0.0);
    };
    tick(0.0);
    tick(0.01);
    make(nullptr, s);
    draw();
    click(70, row_y(0));
    ASSERT_TRUE(rigsession_current_doc(s)->scenes[0].inputs[0].muted);
    tick(0.1);
    tick(0.21);
    tick(0.21);
    rigkit::Doc disk = rigkit::disk_doc(t.file("jack:Desk"));
    ASSERT_TRUE(disk);
    EXPECT_EQ(disk->scenes[0].inputs[0].muted, 1);
    inputs_panel_destroy(panel);
    panel = nullptr;
    rigsession_destroy(s);
}

}  // namespace
