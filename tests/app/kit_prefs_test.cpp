// The preferences store: reading and refusing, the table's limits, the newer-only
// form, files that are not files, failed replacements, and copies of the program
// writing, holding the lock and dying while they hold it.
#include <signal.h>
#include <sys/stat.h>

#include <chrono>

#include "platform/plat_named_lock.h"
#include "support/test_wait.h"
#include "support/watchdog.h"
#include "tests/app/prefs_fixture.h"

namespace fs = std::filesystem;
using namespace prefs_fixture;

static double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

class KitPrefsTest : public PrefsTest {
protected:
    // Nothing but the file (and the lock folder) in the data folder.
    bool no_temporary() const
    {
        for (const auto& e : fs::directory_iterator(dir.path))
            if (e.path().filename().string().find(".tmp") != std::string::npos)
                return false;
        return true;
    }
};

TEST_F(KitPrefsTest, ReadingSkipsWhatIsNoEntryAndTheLastLineWins)
{
    std::string longline = "pad=" + std::string(4980, 'a') + "x=y";   // 5,000 bytes with an entry in its tail
    seed("# comment\n=nokey\na=1\r\na=2\nno equals\n;semi=1\n" + longline + "\nb=\xff\x01\n");
    kit_prefs_load();
    const KitPrefs* t = kit_prefs_table();
    ASSERT_EQ(t->count, 2);
    EXPECT_STREQ(t->entries[0].key, "a");
    EXPECT_STREQ(t->entries[0].value, "2");
    EXPECT_STREQ(t->entries[1].key, "b");
    EXPECT_EQ(kit_prefs_find("x"), -1) << "text inside an over-long line became an entry";
    EXPECT_EQ(pref("x"), "<none>");
    // A put writes back only real entries.
    ASSERT_EQ(kit_prefs_put("c", "3"), 1);
    EXPECT_EQ(slurp(file), "a=2\nb=\xff\x01\nc=3\n");
}

TEST_F(KitPrefsTest, TheFileLivesInTheLibrarysDataFolderNotTheShells)
{
    folders_set_data((dir.path / "shell").c_str());
    ASSERT_EQ(kit_prefs_put("a", "1"), 1);
    folders_set_data("");
    EXPECT_EQ(slurp(file), "a=1\n");
}

TEST_F(KitPrefsTest, RefusedKeysAndValuesWriteNothing)
{
    struct Case { const char* key; std::string value; int want; } cases[] = {
        {"k=x", "1", 0},           {"", "1", 0},          {"k\n", "1", 0},
        {"k", "a\rb", 0},          {"k", "a\nb", 0},      {"(96 bytes)", "1", 0},
        {"k", std::string(4096, 'v'), 0}, {"k", std::string(4095, 'v'), 1},
    };
    std::string key96(96, 'k');
    cases[5].key = key96.c_str();   // a key of 96 bytes
    for (const Case& c : cases) {
        EXPECT_EQ(kit_prefs_put(c.key, c.value.c_str()), c.want) << c.key << " " << c.value.size();
        if (!c.want)
            EXPECT_FALSE(fs::exists(file));
    }
    EXPECT_EQ(pref("k").size(), 4095u);
}

TEST_F(KitPrefsTest, TheTableHoldsTwoHundredFiftySixKeys)
{
    std::string text;
    for (int i = 0; i < KIT_PREFS_MAX; i++)
        text += "key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    seed(text);
    EXPECT_EQ(kit_prefs_put("one-too-many", "1"), 0);
    EXPECT_EQ(slurp(file), text);
    EXPECT_EQ(kit_prefs_table()->count, KIT_PREFS_MAX);
    EXPECT_EQ(kit_prefs_put("key7", "seven"), 1);
    EXPECT_EQ(pref("key7"), "seven");
    EXPECT_TRUE(no_temporary());
}

TEST_F(KitPrefsTest, NewerOnlyKeepsANewerStoredVersion)
{
    ASSERT_EQ(kit_prefs_put("v", "1.5.2"), 1);
    auto before = fs::last_write_time(file);
    EXPECT_EQ(kit_prefs_put_newer("v", "1.5.1"), 1);
    EXPECT_EQ(fs::last_write_time(file), before);
    EXPECT_EQ(kit_prefs_put_newer("v", "1.10"), 1);
    EXPECT_EQ(pref("v"), "1.10");
    EXPECT_EQ(kit_prefs_put_newer("w", "0.1"), 1) << "a missing key is written";
    EXPECT_EQ(pref("w"), "0.1");
}

TEST_F(KitPrefsTest, NamesThatAreNoFileReadAsEmptyAndAreNeverWrittenThrough)
{
    // A folder: read as empty, a put fails and leaves it.
    fs::create_directory(file);
    EXPECT_EQ(pref("a"), "<none>");
    EXPECT_EQ(kit_prefs_put("a", "1"), 0);
    EXPECT_TRUE(fs::is_directory(file));
    fs::remove(file);
    // A FIFO and a link to /dev/zero: read without blocking, then replaced by a file.
    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    double t0 = now();
    EXPECT_EQ(pref("a"), "<none>");
    EXPECT_LT(now() - t0, 1.0);
    EXPECT_EQ(kit_prefs_put("a", "1"), 1);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file)));
    EXPECT_EQ(slurp(file), "a=1\n");
    fs::remove(file);
    fs::create_symlink("/dev/zero", file);
    EXPECT_EQ(pref("a"), "<none>");
    EXPECT_EQ(kit_prefs_put("b", "2"), 1);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file)));
    EXPECT_EQ(slurp(file), "b=2\n");
    EXPECT_TRUE(no_temporary());
}

TEST_F(KitPrefsTest, AFailedReplaceKeepsFileAndMemory)
{
    ASSERT_EQ(kit_prefs_put("a", "1"), 1);
    fs::remove(file);
    fs::create_directories(file / "inside");   // a non-empty folder at the target's name
    EXPECT_EQ(kit_prefs_put("b", "2"), 0);
    EXPECT_TRUE(fs::is_directory(file / "inside"));
    EXPECT_TRUE(no_temporary());
    EXPECT_EQ(kit_prefs_find("b"), -1);
    EXPECT_EQ(kit_prefs_table()->count, 0);   // as read before the put: the folder reads as empty
}

TEST_F(KitPrefsTest, TwoProcessesInterleavingKeepEveryKey)
{
    auto writer = [](char who) {
        return [who]() {
            for (int i = 0; i < 100; i++) {
                std::string key = std::string(1, who) + std::to_string(i);
                if (!kit_prefs_put(key.c_str(), "1"))
                    return 1;
            }
            return 0;
        };
    };
    pid_t a = fork_run(writer('a'));
    pid_t b = fork_run(writer('b'));
    EXPECT_EQ(reap(a), 0);
    EXPECT_EQ(reap(b), 0);
    kit_prefs_load();
    EXPECT_EQ(kit_prefs_table()->count, 200);
    for (char who : {'a', 'b'})
        for (int i = 0; i < 100; i++)
            EXPECT_GE(kit_prefs_find((std::string(1, who) + std::to_string(i)).c_str()), 0) << who << i;
}

TEST_F(KitPrefsTest, AHeldLockTimesOutAndADeadHolderFreesIt)
{
    ASSERT_EQ(kit_prefs_put("a", "1"), 1);
    std::string bytes = slurp(file);
    int ready[2], hold[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(hold), 0);
    std::string folder = dir.path.string();
    pid_t holder = fork_run([&]() {
        close(hold[1]);
        PlatNamedLock lock{-1};
        if (plat_named_lock_take(folder.c_str(), kKitPrefsLockName, 0, &lock, nullptr) != PLAT_LOCK_TAKEN)
            return 1;
        char c = 1;
        if (write(ready[1], &c, 1) != 1)
            return 1;
        if (read(hold[0], &c, 1) < 0)   // holds it until killed (or this test's process ends)
            return 1;
        return 0;
    });
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    double t0 = now();
    {
        TEST_WATCHDOG(hung, "a put waits for ever on a held lock", "", TEST_WAIT_SECONDS);
        EXPECT_EQ(kit_prefs_put("b", "2"), 0);
    }
    EXPECT_GT(now() - t0, 1.9) << "the put gave up before its two seconds";
    EXPECT_EQ(slurp(file), bytes);

    // Killed while holding it: the next put goes through at once.
    kill(holder, SIGKILL);
    EXPECT_EQ(reap(holder), -1);
    EXPECT_EQ(kit_prefs_put("b", "2"), 1);
    EXPECT_EQ(pref("b"), "2");
    close(ready[0]);
    close(ready[1]);
    close(hold[0]);
    close(hold[1]);
}
