// The training and version-notes popup: version comparison, token lists, which notes
// open at start, what the first start and an update store, discoveries, marking steps
// seen, stepping notes, a save that fails, two running copies, and pictures.
#include <SDL.h>

#include <random>

#include "app/kit_popup.h"
#include "platform/plat_named_lock.h"
#include "support/draw_probe.h"
#include "tests/app/prefs_fixture.h"

namespace fs = std::filesystem;
using namespace prefs_fixture;

namespace {

KitAppInfo tessel_info()
{
    KitAppInfo info{};
    info.program_id = "tessel";
    info.title = "TESSEL VIVID";
    info.version = "1.5.2";
    info.courses = kTesselCourses;
    info.course_count = TESSEL_COURSE_COUNT;
    info.notes = kTesselNotes;
    info.note_count = TESSEL_NOTE_COUNT;
    return info;
}

SDL_Event key(SDL_Keycode sym, uint16_t mod = 0)
{
    SDL_Event ev{};
    ev.type = SDL_KEYDOWN;
    ev.key.state = SDL_PRESSED;
    ev.key.keysym.sym = sym;
    ev.key.keysym.mod = mod;
    return ev;
}

}  // namespace

TEST(KitPopupVersions, CompareByNumbersBetweenDots)
{
    struct Case { const char* a; const char* b; int want; } cases[] = {
                 {"1.10", "1.9", 1}, {"1.05", "1.5", 0}, {"2.0b", "2.0", 0}, {nullptr, "", 0},
                 {"1.0.1", "1", 1},  {"1.5.2", "1.5.2", 0}, {"1.6", "1.5.2", 1}, {"..a", "0", 0},
                 {"", "0.0.1", -1}, {"10", "9.99", 1}};
    for (const Case& c : cases) {
        EXPECT_EQ(kit_version_compare(c.a, c.b), c.want) << (c.a ? c.a : "null") << " vs " << c.b;
        EXPECT_EQ(kit_version_compare(c.b, c.a), -c.want) << (c.a ? c.a : "null") << " vs " << c.b;
    }
    // Random junk: always ends, and the order is antisymmetric.
    std::mt19937 rng(142);
    const char alphabet[] = "0123456789..ab-";
    for (int i = 0; i < 10000; i++) {
        std::string a, b;
        for (int n = rng() % 12; n > 0; n--)
            a += alphabet[rng() % (sizeof alphabet - 1)];
        for (int n = rng() % 12; n > 0; n--)
            b += alphabet[rng() % (sizeof alphabet - 1)];
        ASSERT_EQ(kit_version_compare(a.c_str(), b.c_str()), -kit_version_compare(b.c_str(), a.c_str()))
            << a << " vs " << b;
    }
}

TEST(KitPopupTokens, ParseTrimsSkipsAndJoinStopsAtAWholeToken)
{
    KitTokens t;
    kit_tokens_parse(" record , ,library,record", &t);
    ASSERT_EQ(t.count, 2);
    EXPECT_STREQ(t.ids[0], "record");
    EXPECT_STREQ(t.ids[1], "library");
    char out[16];
    kit_tokens_parse("record,library,inputs", &t);
    kit_tokens_join(&t, out, sizeof out);
    EXPECT_STREQ(out, "record,library");
    kit_tokens_join(&t, out, 6);
    EXPECT_STREQ(out, "");
}

TEST(KitPopupNotes, WhichNoteOpensAtStart)
{
    struct Case { const char* seen; const char* current; bool show; int32_t want; bool mark; } cases[] = {
        {nullptr, "1.5.2", true, -1, true},  // first start
        {"", "1.5.2", true, -1, true},
        {"1.5.1", "1.5.2", true, 0, false},  // an update: the new notes
        {"1.5.1", "1.5.2", false, -1, true},
        {"1.5.2", "1.5.2", true, -1, false}, // seen already
        {"1.6", "1.5.2", true, -1, false},   // a newer copy ran here
        {"1.5.3", "1.6", true, -1, true},    // no note newer than the one seen
        {"1.0", "1.5.1", true, 1, false},
    };
    for (const Case& c : cases) {
        bool mark = !c.mark;
        EXPECT_EQ(kit_notes_find_newer(kTesselNotes, 2, c.seen, c.current, c.show, &mark), c.want)
            << (c.seen ? c.seen : "null") << " " << c.current;
        EXPECT_EQ(mark, c.mark) << (c.seen ? c.seen : "null") << " " << c.current;
    }
}

class KitPopupTest : public PrefsTest {
protected:
    KitAppInfo info = tessel_info();
    VividKitPopup* p = nullptr;
    void TearDown() override
    {
        kit_popup_destroy(p);
        plat_named_lock_fake(PLAT_LOCK_TAKEN);
        PrefsTest::TearDown();
    }
    void make()
    {
        kit_popup_destroy(p);
        p = kit_popup_create(&info);
        ASSERT_NE(p, nullptr);
    }
    bool send(const SDL_Event& ev, double t = 1.0) { return kit_popup_handle_event(p, &ev, 1.0f, t); }
};

TEST_F(KitPopupTest, FirstStartMarksTheVersionSeenAndOpensNothing)
{
    make();
    EXPECT_FALSE(kit_popup_is_open(p));
    EXPECT_EQ(pref("tessel.version_seen"), "1.5.2");
}

TEST_F(KitPopupTest, AnUpdateShowsItsNotesOnceAndEscapeStoresThem)
{
    seed("tessel.version_seen=1.5.1\n");
    make();
    ASSERT_TRUE(kit_popup_is_open(p));
    EXPECT_EQ(p->page, KIT_PAGE_NOTES);
    EXPECT_EQ(p->note, 0);
    EXPECT_TRUE(send(key(SDLK_v))) << "keys go to the open popup";
    EXPECT_EQ(pref("tessel.version_seen"), "1.5.1");
    EXPECT_TRUE(send(key(SDLK_ESCAPE)));
    EXPECT_FALSE(kit_popup_is_open(p));
    EXPECT_EQ(pref("tessel.version_seen"), "1.5.2");
    EXPECT_FALSE(send(key(SDLK_v))) << "a closed popup lets keys through";
    make();
    EXPECT_FALSE(kit_popup_is_open(p));
}

TEST_F(KitPopupTest, ANewerSeenVersionIsLeftAlone)
{
    seed("tessel.version_seen=1.6\nother=1\n");
    std::string bytes = slurp(file);
    make();
    EXPECT_FALSE(kit_popup_is_open(p));
    EXPECT_EQ(slurp(file), bytes);
}

TEST_F(KitPopupTest, DiscoveringTwiceWritesOnce)
{
    make();
    EXPECT_TRUE(kit_popup_discover(p, "record"));
    auto when = fs::last_write_time(file);
    EXPECT_FALSE(kit_popup_discover(p, "record"));
    EXPECT_FALSE(kit_popup_discover(p, "bogus"));
    EXPECT_EQ(fs::last_write_time(file), when);
    EXPECT_EQ(pref("tessel.training_done"), "record");
    EXPECT_EQ(pref("tessel.training_unseen"), "record");
}

TEST_F(KitPopupTest, DiscoveredStepsAreMarkedSeenOneByOne)
{
    seed("tessel.version_seen=1.5.2\ntessel.training_done= record , ,library,record\n"
         "tessel.training_unseen=record,library\n");
    make();
    EXPECT_EQ(p->training.done.count, 2);
    kit_popup_open(p, KIT_PAGE_TRAINING, 10.0);
    struct Step { double t; bool marks; const char* unseen; } steps[] = {
                 {10.49, false, "record,library"}, {10.5, true, "library"}, {10.6, false, "library"},
                 {10.68, true, ""}, {11.0, false, ""}};
    for (const Step& s : steps) {
        EXPECT_EQ(kit_popup_mark_tick(p, s.t), s.marks) << s.t;
        EXPECT_EQ(pref("tessel.training_unseen"), s.unseen) << s.t;
    }
    EXPECT_STREQ(p->marked_last, "library");
}

TEST_F(KitPopupTest, NotesStepOnlyWithinTheList)
{
    make();
    kit_popup_open(p, KIT_PAGE_NOTES, 1.0);
    ASSERT_EQ(p->note, 0);
    send(key(SDLK_RIGHT));   // NEWER on the newest
    EXPECT_EQ(p->note, 0);
    send(key(SDLK_LEFT));    // OLDER
    EXPECT_EQ(p->note, 1);
    send(key(SDLK_LEFT));    // OLDER on the oldest
    EXPECT_EQ(p->note, 1);
    send(key(SDLK_TAB));
    EXPECT_EQ(p->page, KIT_PAGE_TRAINING);
    send(key(SDLK_F1));
    EXPECT_FALSE(kit_popup_is_open(p));
    send(key(SDLK_F1, KMOD_LSHIFT));
    EXPECT_EQ(p->page, KIT_PAGE_NOTES);
}

TEST_F(KitPopupTest, AnUnwritableFileNeverLocksTheUserOut)
{
    seed("tessel.version_seen=1.5.1\n");
    make();
    ASSERT_TRUE(kit_popup_is_open(p));
    plat_named_lock_fake(PLAT_LOCK_TIMEOUT);   // a copy that hangs holding the lock
    EXPECT_TRUE(send(key(SDLK_ESCAPE)));
    EXPECT_TRUE(kit_popup_is_open(p)) << "the first failed close says so and stays";
    EXPECT_TRUE(p->save_failed);
    EXPECT_TRUE(send(key(SDLK_ESCAPE)));
    EXPECT_FALSE(kit_popup_is_open(p)) << "the second close request closes without storing";
    plat_named_lock_fake(PLAT_LOCK_TAKEN);
    EXPECT_EQ(pref("tessel.version_seen"), "1.5.1");
    make();
    EXPECT_TRUE(kit_popup_is_open(p)) << "the notes show again at the next start";
}

TEST_F(KitPopupTest, TwoRunningCopiesKeepEachOthersDiscoveries)
{
    make();   // copy A
    int ready[2], go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    pid_t b = fork_run([&]() {
        // Copy B, started before A's discovery, discovers another step after it.
        VividKitPopup* mine = kit_popup_create(&info);
        char c = 1;
        return mine && write(ready[1], &c, 1) == 1 && read(go[0], &c, 1) == 1 && kit_popup_discover(mine, "library")
                   ? 0
                   : 1;
    });
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_TRUE(kit_popup_discover(p, "record"));
    ASSERT_EQ(write(go[1], &c, 1), 1);
    EXPECT_EQ(reap(b), 0);
    KitTokens done;
    kit_tokens_parse(pref("tessel.training_done").c_str(), &done);
    EXPECT_GE(kit_token_find(&done, "record"), 0);
    EXPECT_GE(kit_token_find(&done, "library"), 0);
    for (int fd : {ready[0], ready[1], go[0], go[1]})
        close(fd);
}

class KitPopupDrawTest : public DrawTest {
protected:
    AppTestFolder dir;
    void SetUp() override { DrawTest::SetUp(); folders_use_data_path(dir.path.c_str()); }
    void TearDown() override { folders_use_data_path(""); DrawTest::TearDown(); }
};

TEST_F(KitPopupDrawTest, PicturesOfBothPages)
{
    if (HasFatalFailure())
        return;
    KitAppInfo info = tessel_info();
    VividKitPopup* p = kit_popup_create(&info);
    ASSERT_NE(p, nullptr);
    kit_popup_discover(p, "record");
    kit_popup_discover(p, "settings");
    for (int32_t page : {KIT_PAGE_TRAINING, KIT_PAGE_NOTES}) {
        kit_popup_open(p, page, 1.0);
        draw_fixture_clear(&fx, 13, 17, 17);
        kit_popup_draw(p, fx.renderer, width, height, 1.0f, 0, 0, 1.6, 0.016f, false);
        read();
        shot(page == KIT_PAGE_NOTES ? "notes" : "training");
        EXPECT_EQ(p->buttons[KIT_BUTTON_RESET].w > 0, page == KIT_PAGE_TRAINING);   // each page its buttons
    }
    // A click on GOT IT where it was drawn closes the popup.
    CanvasRect got = p->buttons[KIT_BUTTON_GOT_IT];
    SDL_Event ev{};
    ev.type = SDL_MOUSEBUTTONDOWN;
    ev.button = {SDL_MOUSEBUTTONDOWN, 0, 0, 0, SDL_BUTTON_LEFT, SDL_PRESSED, 1, 0, (int)(got.x + got.w / 2),
                 (int)(got.y + got.h / 2)};
    EXPECT_TRUE(kit_popup_handle_event(p, &ev, 1.0f, 2.0));
    EXPECT_FALSE(kit_popup_is_open(p));
    // Open in a window too small to draw it: it takes no input.
    kit_popup_open(p, KIT_PAGE_NOTES, 3.0);
    kit_popup_draw(p, fx.renderer, 150, 150, 1.0f, 0, 0, 3.5, 0.016f, false);
    SDL_Event esc = key(SDLK_ESCAPE);
    EXPECT_FALSE(kit_popup_handle_event(p, &esc, 1.0f, 3.6));
    kit_popup_destroy(p);
}
