// rigsession_test.cpp - the rig session on a fake clock with a real store and a real
// router: the save debounce, merges with another copy's changes, running on fresh
// defaults while the file cannot be read, failed saves, newer files, a device change
// with unsaved edits, and the router's output after edits.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>

#include "platform/plat_file.h"
#include "rig/rigmix.h"
#include "rig/rigsession.h"
#include "rig/router.h"
#include "tests/rig/rig_kit.h"
#include "support/test_wait.h"

using namespace rigkit;

namespace {

class RigSessionTest : public ::testing::Test {
protected:
    TempRigs t;
    LogSink log;
    double now = 0.0;
    RigSession* s = nullptr;
    std::vector<RigMessage> messages;

    static double clock(void* ctx) { return *(double*)ctx; }

    void SetUp() override
    {
        RigSessionConfig c{};
        c.app = "tessel";
        c.version = "1";
        std::string folder = t.rigs.string();
        c.folder = folder.c_str();
        c.log = LogSink::fn;
        c.log_ctx = &log;
        c.clock = clock;
        c.clock_ctx = &now;
        s = rigsession_create(&c);
        ASSERT_TRUE(s);
    }
    void TearDown() override
    {
        plat_file_fake_write_errno(0);
        plat_file_fake_read_errno(0);
        rigsession_destroy(s);
    }

    static RigDeviceInfo device(const char* key, int inputs = 4)
    {
        RigDeviceInfo d{};
        snprintf(d.key, sizeof d.key, "%s", key);
        std::string k = key;
        snprintf(d.api, sizeof d.api, "%s", k.substr(0, k.find(':')).c_str());
        snprintf(d.name, sizeof d.name, "%s", k.substr(k.find(':') + 1).c_str());
        d.inputs_opened = d.inputs_on_device = inputs;
        d.sample_rate = 48000;
        return d;
    }
    // Ticks at time at, after the store has finished what was submitted before.
    void tick(double at)
    {
        now = at;
        rigstore_wait_idle(rigsession_store(s), TEST_WAIT_SECONDS * 1000);
        rigsession_tick(s, at, 0.0);
        RigMessage m;
        while (rigsession_next_message(s, &m))
            messages.push_back(m);
    }
    int count(int kind) const
    {
        int n = 0;
        for (auto& m : messages)
            n += m.kind == kind;
        return n;
    }
    const RigMessage* last(int kind) const
    {
        for (size_t i = messages.size(); i-- > 0;)
            if (messages[i].kind == kind)
                return &messages[i];
        return nullptr;
    }
    int state()
    {
        RigInputView v;
        rigsession_input_view(s, &v);
        return v.state;
    }
    void bind_ready(const char* key = "alsa:Desk", int inputs = 4)
    {
        RigDeviceInfo d = device(key, inputs);
        rigsession_bind(s, &d);
        tick(now);
        tick(now + 0.01);
        ASSERT_EQ(state(), 2);
    }
    int64_t disk_rev(const char* key = "alsa:Desk")
    {
        Doc d = disk_doc(t.file(key));
        return d ? d->rev : -1;
    }
    // Ticks on real time (the fake clock held) until pred holds, for at most a minute.
    template <class Pred>
    bool tick_until(Pred pred)
    {
        return test_wait_until([&] {
            tick(now);
            return pred();
        }, [] {}, 10);
    }
};

TEST_F(RigSessionTest, TwoGainEditsATenthApartGiveOneSaveAfterTheSecond)
{
    bind_ready();
    int64_t r0 = disk_rev();
    tick(1.0);
    rigsession_set_input_gain(s, 2, 0.5f);
    tick(1.1);
    rigsession_set_input_gain(s, 2, 0.6f);
    tick(1.2);
    tick(1.249);
    tick(1.249);
    EXPECT_EQ(disk_rev(), r0) << "no save within 0.15 s of the last edit";
    tick(1.25);
    tick(1.26);
    EXPECT_EQ(disk_rev(), r0 + 1) << "one save";
    Doc d = disk_doc(t.file("alsa:Desk"));
    EXPECT_EQ(d->scenes[0].inputs[2].gain, 0.6f);
}

TEST_F(RigSessionTest, AnotherCopysLabelMergesAndTheUnsavedGainStays)
{
    bind_ready();
    tick(1.0);
    rigsession_set_input_gain(s, 3, 0.25f);
    Store other = open_store(t, "other");
    Doc d = load(other.get(), "alsa:Desk", 4);
    ASSERT_TRUE(d);
    snprintf(d->scenes[0].inputs[3].label, 64, "vox");
    d->scenes[0].inputs[3].gain = 2.0f;
    RigEditMask m = input_mask(3, RIG_EDIT_LABEL | RIG_EDIT_GAIN);
    Result r;
    ASSERT_TRUE(result_for(other.get(), rigstore_submit_save(other.get(), d.get(), &m), &r));
    ASSERT_TRUE(tick_until([&] { return count(3) > 0; }));
    const RigDocument* doc = rigsession_current_doc(s);
    EXPECT_STREQ(doc->scenes[0].inputs[3].label, "vox");
    EXPECT_EQ(doc->scenes[0].inputs[3].gain, 0.25f);
    EXPECT_STREQ(last(3)->text, "other");
}

TEST_F(RigSessionTest, AnUnreadableFileGivesFreshDefaultsAndTheMergeKeepsTheLocalEdits)
{
    {
        Store other = open_store(t, "other");
        Doc d = load(other.get(), "alsa:Desk", 4);
        snprintf(d->scenes[0].inputs[1].label, 64, "disk");
        RigEditMask m = input_mask(1, RIG_EDIT_LABEL);
        Result r;
        ASSERT_TRUE(result_for(other.get(), rigstore_submit_save(other.get(), d.get(), &m), &r));
    }
    plat_file_fake_read_errno(EIO);
    RigDeviceInfo dev = device("alsa:Desk");
    rigsession_bind(s, &dev);
    for (double at = 0.0; at < 4.9; at += 0.5)
        tick(at);
    EXPECT_EQ(state(), 1);
    EXPECT_EQ(count(1), 0);
    tick(5.0);
    ASSERT_EQ(state(), 2);
    ASSERT_EQ(count(1), 1);
    EXPECT_EQ(last(1)->a, 0);
    EXPECT_TRUE(log.has("running on the fresh defaults"));
    rigsession_set_input_gain(s, 2, 0.3f);
    tick(5.2);
    plat_file_fake_read_errno(0);
    for (double at = 5.5; at < 12.0; at += 0.5)
        tick(at);
    RigInputView v;
    rigsession_input_view(s, &v);
    EXPECT_FALSE(v.on_defaults);
    const RigDocument* doc = rigsession_current_doc(s);
    EXPECT_STREQ(doc->scenes[0].inputs[1].label, "disk");
    EXPECT_EQ(doc->scenes[0].inputs[2].gain, 0.3f);
    Doc disk = disk_doc(t.file("alsa:Desk"));
    EXPECT_EQ(disk->scenes[0].inputs[2].gain, 0.3f) << "the local edit landed";
    EXPECT_STREQ(disk->scenes[0].inputs[1].label, "disk");
}

TEST_F(RigSessionTest, AFailedSaveIsToldOnceRetriedEveryTwoSecondsAndThenSavedAgain)
{
    bind_ready();
    int64_t r0 = disk_rev();
    plat_file_fake_write_errno(ENOSPC);
    tick(1.0);
    rigsession_set_input_gain(s, 2, 0.4f);
    tick(1.2);   // saved and failed
    tick(1.21);  // the failure applied: retry at 3.21
    EXPECT_EQ(count(4), 1);
    EXPECT_STREQ(last(4)->text, "can't write the rig file: the disk is full");
    tick(3.0);
    tick(3.25);  // the retry fails as well
    tick(3.26);
    EXPECT_EQ(count(4), 1) << "told once per episode";
    RigInputView v;
    rigsession_input_view(s, &v);
    EXPECT_TRUE(v.save_failed);
    EXPECT_STREQ(v.save_message, "CAN'T WRITE THE RIG FILE: THE DISK IS FULL");
    plat_file_fake_write_errno(0);
    tick(5.0);
    EXPECT_EQ(disk_rev(), r0) << "no retry before two seconds";
    tick(5.27);
    tick(5.28);
    EXPECT_EQ(count(5), 1);
    EXPECT_EQ(disk_rev(), r0 + 1);
}

TEST_F(RigSessionTest, AFileDamagedWhileReadyIsSetAsideOnTheFailedSaveAndTheSessionWritten)
{
    for (std::string how : {"json", "rev"}) {
        SCOPED_TRACE(how);
        rigsession_unbind(s);
        messages.clear();
        std::string key = "alsa:Desk-" + how;
        bind_ready(key.c_str());
        fs::path file = t.file(key.c_str());
        std::string text = read_all(file);
        size_t at = text.find("\"rev\":");
        text = how == "rev" ? text.replace(at, text.find(',', at) - at, "\"rev\":9223372036854775807") : "{\"format\": x";
        write_all(file, text);
        rigsession_set_input_gain(s, 2, 0.6f);
        tick(now + 0.2);
        ASSERT_TRUE(tick_until([&] { return count(RIGMSG_DAMAGED) == 1; }));
        EXPECT_EQ(read_all(t.rigs / last(RIGMSG_DAMAGED)->text), text) << "kept byte for byte";
        Doc disk = disk_doc(file);
        ASSERT_TRUE(disk);
        EXPECT_EQ(disk->scenes[0].inputs[2].gain, 0.6f);
        EXPECT_LT(disk->rev, INT64_MAX);
    }
}

TEST_F(RigSessionTest, ANewerVersionMakesTheRigReadOnlyWhereverItIsMet)
{
    enum Where { LOAD, SAVE, CHANGE };
    for (Where where : {LOAD, SAVE, CHANGE}) {
        SCOPED_TRACE(where);
        rigsession_unbind(s);
        messages.clear();
        std::string key = "alsa:Desk" + std::to_string((int)where);
        {
            Store other = open_store(t, "other");
            ASSERT_TRUE(load(other.get(), key.c_str(), 4));
        }
        std::string text = read_all(t.file(key.c_str()));
        // A newer program's save: its version and a later rev.
        text.replace(text.find("\"version\":1"), 11, "\"version\":2");
        text.replace(text.find("\"rev\":1"), 7, "\"rev\":9");
        if (where == LOAD) {
            write_all(t.file(key.c_str()), text);
            RigDeviceInfo d = device(key.c_str());
            rigsession_bind(s, &d);
            tick(now + 0.01);
            tick(now + 0.01);
        } else {
            bind_ready(key.c_str());
            write_all(t.file(key.c_str()), text);
            if (where == SAVE) {
                rigsession_set_muted(s, 2, false);
                rigsession_set_input_gain(s, 2, 0.7f);
                tick(now + 0.2);
            }
            ASSERT_TRUE(tick_until([&] { return state() == 3; }));
        }
        EXPECT_EQ(state(), 3);
        EXPECT_GE(count(7), 1);
        rigsession_set_input_gain(s, 2, 0.1f);
        tick(now + 1.0);
        tick(now + 0.1);
        EXPECT_NE(rigsession_current_doc(s)->scenes[0].inputs[2].gain, 0.1f) << "edits refused";
        EXPECT_EQ(read_all(t.file(key.c_str())), text) << "the file untouched";
    }
}

TEST_F(RigSessionTest, ADeviceChangeSavesUnsavedEditsInTheBackgroundOrDropsThemForAThird)
{
    bind_ready("alsa:First");
    tick(1.0);
    rigsession_set_input_gain(s, 2, 0.45f);
    bind_ready("alsa:Second");
    tick(now + 0.01);
    EXPECT_EQ(disk_doc(t.file("alsa:First"))->scenes[0].inputs[2].gain, 0.45f);

    {
        Store other = open_store(t, "other");
        ASSERT_TRUE(load(other.get(), "alsa:Third", 4));
    }
    plat_file_fake_write_errno(ENOSPC);
    rigsession_set_input_gain(s, 2, 0.55f);
    RigDeviceInfo third = device("alsa:Third");
    rigsession_bind(s, &third);   // Second's edits go to the background and fail there
    tick(now + 0.01);
    tick(now + 0.01);
    EXPECT_EQ(state(), 2);
    rigsession_set_input_gain(s, 2, 0.65f);
    RigDeviceInfo fourth = device("alsa:Fourth");
    rigsession_bind(s, &fourth);
    EXPECT_TRUE(log.has("rig: dropped the unsaved changes of alsa:Second (another device came along first)"));
}

TEST_F(RigSessionTest, MuteAndPanEditsChangeTheRoutersOutput)
{
    RigRouter* r = rigsession_router(s);
    RigMix fallback;
    rig_default_input_mix("jack", 2, &fallback);
    rigroute_prepare(r, 48000.0, 2, rig_fnv1a32("jack:Desk"), &fallback);
    bind_ready("jack:Desk", 2);
    auto run = [&](float* left, float* right) {
        std::vector<float> in(2 * 256), L(256), R(256);
        for (int i = 0; i < 256; i++) {
            in[(size_t)2 * i] = 0.5f;
            in[(size_t)2 * i + 1] = 0.25f;
        }
        for (int b = 0; b < 20; b++)
            rigroute_process_block(r, in.data(), 2, L.data(), R.data(), 256);
        *left = L[255];
        *right = R[255];
    };
    float l = 0, rr = 0;
    run(&l, &rr);
    EXPECT_NEAR(l, 0.75f * rig_pan_gain(0.0), 1e-4);
    rigsession_set_muted(s, 0, true);
    run(&l, &rr);
    EXPECT_NEAR(l, 0.25f * rig_pan_gain(0.0), 1e-4);
    EXPECT_NEAR(rr, 0.25f * rig_pan_gain(0.0), 1e-4);
    rigsession_set_pan(s, 1, -1.0f);
    run(&l, &rr);
    EXPECT_NEAR(l, 0.25f * rig_pan_gain(-1.0), 1e-4);
    EXPECT_NEAR(rr, 0.0f, 1e-6);
}

}  // namespace
