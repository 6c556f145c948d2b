// rigstore_test.cpp - the rig file store on real temporary folders: coalesced saves,
// the merge with another copy's changes, newer and damaged files, stray temporary
// files under a held lock, change events, the platform's failures, and a store that
// finishes a save after its owner has gone.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <atomic>
#include <cerrno>
#include <regex>

#include "platform/plat_file.h"
#include "platform/plat_named_lock.h"
#include "rig/rigstore.h"
#include "tests/rig/rig_kit.h"
#include "support/flock_holder.h"
#include "support/test_wait.h"

using namespace rigkit;

namespace {

const char kKey[] = "alsa:Stress";

// A test hook that holds the worker between the temporary file and the rename.
struct Gate {
    std::atomic<int> arrived{0};
    std::atomic<bool> open{false};
    static void hook(void* ctx, const char*)
    {
        auto* g = (Gate*)ctx;
        g->arrived++;
        while (!g->open.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    bool wait_arrived(int n = 1)
    {
        return test_wait_until([&] { return arrived.load() >= n; }, [] {}, 1);
    }
};

class RigStoreTest : public ::testing::Test {
protected:
    TempRigs t;
    LogSink log;
    void TearDown() override
    {
        plat_file_fake_write_errno(0);
        plat_file_fake_read_errno(0);
        plat_named_lock_fake(PLAT_LOCK_TAKEN);
    }
};

TEST_F(RigStoreTest, TwoSavesQueuedBeforeTheWorkerRunsAreOneJobWithTwoEqualResults)
{
    Store s = open_store(t, "tessel", &log);
    Doc d = load(s.get());
    ASSERT_TRUE(d);
    Gate gate;
    rigstore_set_test_hook(s.get(), Gate::hook, &gate);
    RigEditMask m0 = input_mask(0, RIG_EDIT_GAIN), m1 = input_mask(1, RIG_EDIT_PAN);
    uint32_t blocker = rigstore_submit_save(s.get(), d.get(), &m0);
    ASSERT_TRUE(gate.wait_arrived());
    d->scenes[0].inputs[0].gain = 0.5f;
    uint32_t a = rigstore_submit_save(s.get(), d.get(), &m0);
    d->scenes[0].inputs[1].pan = -0.5f;
    uint32_t b = rigstore_submit_save(s.get(), d.get(), &m1);
    gate.open = true;
    Result r0, ra, rb;
    ASSERT_TRUE(result_for(s.get(), blocker, &r0));
    ASSERT_TRUE(next_result(s.get(), &ra));
    ASSERT_TRUE(next_result(s.get(), &rb));
    EXPECT_EQ(ra.job, a);
    EXPECT_EQ(rb.job, b);
    ASSERT_EQ(ra.status, RIGSTORE_SAVED);
    ASSERT_EQ(rb.status, RIGSTORE_SAVED);
    EXPECT_EQ(gate.arrived.load(), 2) << "the two queued saves wrote once";
    EXPECT_EQ(ra.rev, rb.rev);
    EXPECT_EQ(ra.rev, r0.rev + 1);
    RigEditMask diff;
    rig_doc_diff_mask(ra.doc, rb.doc, &diff);
    EXPECT_FALSE(diff.any);
    EXPECT_EQ(rb.doc->scenes[0].inputs[0].gain, 0.5f);
    EXPECT_EQ(rb.doc->scenes[0].inputs[1].pan, -0.5f);
}

TEST_F(RigStoreTest, ASaveKeepsTheFieldsAnotherStoreChangedAndThisOneDidNotEdit)
{
    Store a = open_store(t, "tessel", &log), b = open_store(t, "other", &log);
    Doc da = load(a.get()), db = load(b.get());
    ASSERT_TRUE(da && db);
    snprintf(db->scenes[0].inputs[3].label, 64, "vox");
    db->scenes[0].inputs[5].muted = 1;
    RigEditMask mb = input_mask(3, RIG_EDIT_LABEL);
    mb.inputs[0][5] = RIG_EDIT_MUTED;
    Result rb;
    ASSERT_TRUE(result_for(b.get(), rigstore_submit_save(b.get(), db.get(), &mb), &rb));
    ASSERT_EQ(rb.status, RIGSTORE_SAVED);
    da->scenes[0].inputs[3].gain = 2.0f;
    RigEditMask ma = input_mask(3, RIG_EDIT_GAIN);
    Result ra;
    ASSERT_TRUE(result_for(a.get(), rigstore_submit_save(a.get(), da.get(), &ma), &ra));
    ASSERT_EQ(ra.status, RIGSTORE_SAVED);
    Doc disk = disk_doc(t.file(kKey));
    ASSERT_TRUE(disk);
    EXPECT_STREQ(disk->scenes[0].inputs[3].label, "vox");
    EXPECT_EQ(disk->scenes[0].inputs[5].muted, 1);
    EXPECT_EQ(disk->scenes[0].inputs[3].gain, 2.0f);
    EXPECT_EQ(disk->rev, rb.rev + 1);
    EXPECT_STREQ(disk->writer.app, "tessel");

    // A save after rev INT64_MAX - 1 keeps it: the largest reads as damaged.
    std::string text = read_all(t.file(kKey)), rev = "\"rev\":" + std::to_string(disk->rev);
    ASSERT_NE(text.find(rev), std::string::npos);
    write_all(t.file(kKey), text.replace(text.find(rev), rev.size(), "\"rev\":9223372036854775806"));
    ASSERT_TRUE(result_for(a.get(), rigstore_submit_save(a.get(), da.get(), &ma), &ra));
    ASSERT_EQ(ra.status, RIGSTORE_SAVED) << ra.message;
    EXPECT_EQ(disk_doc(t.file(kKey))->rev, INT64_MAX - 1);
}

TEST_F(RigStoreTest, AFileOfANewerVersionIsReadOnlyAndNeverWritten)
{
    {
        Store s = open_store(t, "tessel", &log);
        ASSERT_TRUE(load(s.get()));
    }
    std::string text = read_all(t.file(kKey));
    size_t at = text.find("\"version\":1");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 11, "\"version\":2");
    write_all(t.file(kKey), text);
    ino_t ino = inode_of(t.file(kKey));
    Store s = open_store(t, "tessel", &log);
    Doc d = load(s.get());
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->read_only);
    EXPECT_TRUE(rigstore_is_read_only(s.get(), kKey));
    RigEditMask m = input_mask(0, RIG_EDIT_GAIN);
    EXPECT_EQ(rigstore_submit_save(s.get(), d.get(), &m), 0u) << "a read-only document is refused at once";
    // A store that has not seen the file yet meets the version under the lock.
    Store other = open_store(t, "other", &log);
    Doc plain = fresh_doc(kKey);
    Result r;
    ASSERT_TRUE(result_for(other.get(), rigstore_submit_save(other.get(), plain.get(), &m), &r));
    EXPECT_EQ(r.status, RIGSTORE_SAVE_FAILED);
    EXPECT_STREQ(r.message, "read only - a newer app made this file");
    EXPECT_EQ(r.decode, RIG_DECODE_NEWER);
    EXPECT_EQ(read_all(t.file(kKey)), text);
    EXPECT_EQ(inode_of(t.file(kKey)), ino);
}

TEST_F(RigStoreTest, AFileThatDoesNotDecodeIsKeptAsItIsUnderADamagedNameAndStartedFresh)
{
    const std::string junk[2] = {"{\"format\": tidecoil", "not json at all"};
    std::vector<std::string> kept;
    for (int round = 0; round < 2; round++) {
        write_all(t.file(kKey), junk[round]);
        Store s = open_store(t, "tessel", &log);
        Doc seed = fresh_doc(kKey);
        Result r;
        ASSERT_TRUE(result_for(s.get(), rigstore_submit_load(s.get(), kKey, seed.get()), &r, TEST_WAIT_SECONDS * 1000));
        ASSERT_EQ(r.status, RIGSTORE_RECREATED) << r.message;
        EXPECT_TRUE(r.created);
        kept.push_back(r.kept_as);
        EXPECT_EQ(read_all(t.rigs / r.kept_as), junk[round]) << "kept byte for byte";
        EXPECT_TRUE(disk_doc(t.file(kKey))) << "a fresh file is written";
        EXPECT_TRUE(log.has("was damaged"));
    }
    std::regex first(R"(alsa-stress-[0-9a-f]{8}\.damaged-\d{8}-\d{6}\.json)");
    EXPECT_TRUE(std::regex_match(kept[0], first)) << kept[0];
    std::string stamp = kept[0].substr(0, kept[0].size() - 5);
    if (kept[1].rfind(stamp, 0) == 0)
        EXPECT_EQ(kept[1], stamp + "-2.json") << "the same second gets -2";
    else
        EXPECT_TRUE(std::regex_match(kept[1], first)) << kept[1];
}

TEST_F(RigStoreTest, ASaveOverADamagedFileFailsAndLeavesItAsItIs)
{
    Store s = open_store(t, "tessel", &log);
    Doc d = load(s.get());
    ASSERT_TRUE(d);
    write_all(t.file(kKey), "{\"format\":");
    ino_t ino = inode_of(t.file(kKey));
    RigEditMask m = input_mask(0, RIG_EDIT_GAIN);
    Result r;
    ASSERT_TRUE(result_for(s.get(), rigstore_submit_save(s.get(), d.get(), &m), &r));
    EXPECT_EQ(r.status, RIGSTORE_SAVE_FAILED);
    EXPECT_TRUE(std::regex_match(std::string(r.message), std::regex(R"(the rig file on disk is damaged \(.+\) - left as it is)")))
        << r.message;
    EXPECT_EQ(read_all(t.file(kKey)), "{\"format\":");
    EXPECT_EQ(inode_of(t.file(kKey)), ino);
}

TEST_F(RigStoreTest, AStrayTemporaryFileSurvivesWhileItsLockIsHeld)
{
    fs::create_directories(t.rigs);
    fs::path stray = t.rigs / "alsa-stress-00000000.json.tmp.4242";
    write_all(stray, "partial");
    char lock_name[300];
    rigstore_lock_name("alsa-stress-00000000.json", lock_name, sizeof lock_name);
    // Held in this process by another taker, then by util-linux flock in another one.
    PlatNamedLock held{-1};
    ASSERT_EQ(plat_named_lock_take(t.root.c_str(), lock_name, 0, &held, nullptr), PLAT_LOCK_TAKEN);
    {
        Store s = open_store(t, "tessel", &log);
        ASSERT_TRUE(rigstore_wait_idle(s.get(), TEST_WAIT_SECONDS * 1000));
    }
    EXPECT_TRUE(fs::exists(stray));
    plat_named_lock_release(&held);
    char path[1200];
    plat_named_lock_path(t.root.c_str(), lock_name, path, sizeof path);
    FlockHolder holder = flock_hold(path);
    ASSERT_GT(holder.pid, 0) << "flock took the lock";
    {
        Store s = open_store(t, "tessel", &log);
        ASSERT_TRUE(rigstore_wait_idle(s.get(), TEST_WAIT_SECONDS * 1000));
    }
    EXPECT_TRUE(fs::exists(stray)) << "util-linux flock holds it";
    ASSERT_EQ(flock_release(&holder), 0) << "flock ran";
    {
        Store s = open_store(t, "tessel", &log);
        ASSERT_TRUE(rigstore_wait_idle(s.get(), TEST_WAIT_SECONDS * 1000));
    }
    EXPECT_FALSE(fs::exists(stray));
    EXPECT_TRUE(log.has("rig: removed a stray alsa-stress-00000000.json.tmp.4242"));
}

TEST_F(RigStoreTest, AnotherStoresChangeIsReportedAndAnUnrelatedFileIsNot)
{
    Store a = open_store(t, "tessel", &log), b = open_store(t, "other", &log);
    ASSERT_TRUE(load(a.get()));
    rigstore_watch(a.get(), kKey);
    // An unrelated file: a check runs and finds the watched file unchanged.
    write_all(t.rigs / "unrelated.json", "{}");
    Result none;
    EXPECT_FALSE(next_result(a.get(), &none, 700)) << "status " << none.status;
    Doc db = load(b.get());
    ASSERT_TRUE(db);
    db->scenes[0].inputs[2].muted = 1;
    RigEditMask m = input_mask(2, RIG_EDIT_MUTED);
    Result rb;
    ASSERT_TRUE(result_for(b.get(), rigstore_submit_save(b.get(), db.get(), &m), &rb));
    Result r;
    ASSERT_TRUE(next_result(a.get(), &r, TEST_WAIT_SECONDS * 1000));
    EXPECT_EQ(r.status, RIGSTORE_CHANGED);
    EXPECT_STREQ(r.author, "other");
    EXPECT_EQ(r.rev, rb.rev);
    ASSERT_TRUE(r.doc);
    EXPECT_EQ(r.doc->scenes[0].inputs[2].muted, 1);
}

struct PlatformFailure {
    const char* what;
    int write_errno;
    PlatLockResult lock;
    const char* message;
};

TEST_F(RigStoreTest, PlatformFailuresGiveTheirWordsAndLeaveNoTemporaryFile)
{
    const PlatformFailure cases[] = {
        {"full disk", ENOSPC, PLAT_LOCK_TAKEN, "can't write the rig file: the disk is full"},
        {"write-protected", EROFS, PLAT_LOCK_TAKEN, "can't write the rig file: the disk is write-protected"},
        {"refused lock", 0, PLAT_LOCK_FAILED, "can't take the rig file's lock: access denied"},
        {"lock held", 0, PLAT_LOCK_TIMEOUT, "the rig file is locked by another app"},
    };
    Store s = open_store(t, "tessel", &log);
    Doc d = load(s.get());
    ASSERT_TRUE(d);
    std::string before = read_all(t.file(kKey));
    for (const PlatformFailure& c : cases) {
        SCOPED_TRACE(c.what);
        plat_file_fake_write_errno(c.write_errno);
        plat_named_lock_fake(c.lock);
        RigEditMask m = input_mask(0, RIG_EDIT_GAIN);
        d->scenes[0].inputs[0].gain = 0.25f;
        Result r;
        ASSERT_TRUE(result_for(s.get(), rigstore_submit_save(s.get(), d.get(), &m), &r));
        plat_file_fake_write_errno(0);
        plat_named_lock_fake(PLAT_LOCK_TAKEN);
        EXPECT_EQ(r.status, RIGSTORE_SAVE_FAILED);
        EXPECT_STREQ(r.message, c.message);
        EXPECT_TRUE(temp_files(t.rigs).empty());
        EXPECT_EQ(read_all(t.file(kKey)), before);
    }
}

// The owner's log sink, freed while the detached store still works.
struct OwnedSink {
    LogSink* sink;
};

TEST_F(RigStoreTest, AStoreClosedDuringASaveFinishesItWithoutCallingItsOwner)
{
    auto* sink = new LogSink;
    RigStoreConfig c{};
    std::string folder = t.rigs.string();
    c.folder = folder.c_str();
    c.app = "tessel";
    c.log = LogSink::fn;
    c.log_ctx = sink;
    c.clock = [](void* ctx) { return ((LogSink*)ctx)->lines.empty() ? 1.0 : 2.0; };
    c.clock_ctx = sink;
    auto threads = [] { return std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator()); };
    const auto threads_before = threads();
    RigStore* s = rigstore_open(&c);
    ASSERT_TRUE(s);
    Doc d = load(s);
    ASSERT_TRUE(d);
    fs::remove(t.file(kKey));
    Gate gate;
    rigstore_set_test_hook(s, Gate::hook, &gate);
    RigEditMask m = input_mask(0, RIG_EDIT_GAIN);
    ASSERT_NE(rigstore_submit_save(s, d.get(), &m), 0u);
    ASSERT_TRUE(gate.wait_arrived());
    rigstore_close(s, 0);
    delete sink;   // the owner goes; the worker must not touch it again
    gate.open = true;
    EXPECT_TRUE(test_wait_until([&] { return fs::exists(t.file(kKey)); }));
    // The worker ends and frees the store.
    EXPECT_TRUE(test_wait_until([&] { return threads() == threads_before; })) << "the worker never ended";
}

}  // namespace
