// The favourites and tags files: reading them, the 500 ms poll for other copies'
// writes, edits of two running copies at once, an unreadable favs.ini, and paths the
// files cannot hold.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "library/user_stores.h"
#include "platform/plat_dir.h"
#include "support/library_kit.h"
#include "support/test_proc.h"

namespace {

uint64_t g_clock = 1000;
uint64_t fake_clock()
{
    return g_clock;
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class StoresTest : public ::testing::Test {
protected:
    LibraryKit kit;
    std::string data;
    void SetUp() override
    {
        data = kit.data_dir();
        plat_dir_make(data.c_str());
        folders_set_clock(fake_clock);
    }
    void TearDown() override { folders_set_clock(nullptr); }
    void use() { folders_use_data_path(data.c_str()); }
    std::string file(const char* name) { return data + "/" + name; }
};

TEST_F(StoresTest, FilesAreReadAsWritten)
{
    struct Case {
        const char* favs;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {"\n\n  \n", {}},   // blank lines only: an empty list, not the defaults
        {"/a\r\n\n/b c \n", {"/a", "/b c"}},
        {"/x\n/y", {"/x", "/y"}},
    };
    for (const Case& c : cases) {
        kit.text("data/TideCoil/favs.ini", c.favs);
        use();
        ASSERT_EQ(favs_count(), (int)c.want.size()) << c.favs;
        for (size_t i = 0; i < c.want.size(); i++)
            EXPECT_EQ(favs_path((int)i), c.want[i]);
        EXPECT_TRUE(favs_from_file());
    }
    kit.text("data/TideCoil/tags.ini", "0|/zero\n34|/two-digits\n3/no-bar\n3|\n3|/Tagged\n9|/nine\r\n");
    use();
    EXPECT_EQ(tags_count(), 2);
    EXPECT_EQ(tags_get("/Tagged"), 3);
    EXPECT_EQ(tags_get("/tagged"), 0);   // byte for byte
    EXPECT_EQ(tags_get("/nine"), 9);
    // Removing the first of three moves the third into its place.
    ASSERT_TRUE(tags_set("/third", 5));
    ASSERT_TRUE(tags_set("/Tagged", 0));
    EXPECT_EQ(slurp(file("tags.ini")), "5|/third\n9|/nine\n");
}

TEST_F(StoresTest, DefaultsOnlyWithoutAFileAndAnUnreadableFileIsNeverOverwritten)
{
    unlink(file("favs.ini").c_str());
    use();
    EXPECT_FALSE(favs_from_file());
    ASSERT_GE(favs_count(), 1);
    EXPECT_STREQ(favs_path(favs_count() - 1), "/");
    // A 5 MiB favs.ini cannot be read: changes are refused and the file stays whole.
    std::string big(5 * 1024 * 1024, 'a');
    kit.text("data/TideCoil/favs.ini", "/keep\n" + big);
    use();
    EXPECT_TRUE(favs_refused());
    EXPECT_FALSE(favs_toggle(kit.dir().c_str()));
    EXPECT_EQ(slurp(file("favs.ini")).size(), big.size() + 6);
    kit.text("data/TideCoil/tags.ini", "/keep\n" + big);   // tags.ini likewise
    use();
    EXPECT_FALSE(tags_set(kit.dir().c_str(), 4));
    EXPECT_EQ(slurp(file("tags.ini")).size(), big.size() + 6);
}

TEST_F(StoresTest, AnotherCopysWriteIsSeenWithinTheIntervalOurOwnIsNot)
{
    kit.text("data/TideCoil/favs.ini", "/one\n");
    use();
    ASSERT_TRUE(favs_toggle("/two"));
    uint32_t changes = folders_change_counter();
    g_clock += 600;
    EXPECT_FALSE(folders_poll());   // our own save
    EXPECT_EQ(folders_change_counter(), changes);
    kit.text("data/TideCoil/favs.ini", "/other\n");
    g_clock += 100;
    EXPECT_FALSE(folders_poll());   // not yet: 100 ms after the last look
    g_clock += 400;
    EXPECT_TRUE(folders_poll());
    ASSERT_EQ(favs_count(), 1);
    EXPECT_STREQ(favs_path(0), "/other");
}

TEST_F(StoresTest, PathsTheFilesCannotHoldAreNeverWritten)
{
    kit.text("data/TideCoil/favs.ini", "/a\n");
    kit.text("data/TideCoil/tags.ini", "");
    use();
    const std::string bad = kit.dir() + "/x\n3|/etc";
    EXPECT_FALSE(tags_set(bad.c_str(), 4));
    EXPECT_FALSE(favs_toggle(bad.c_str()));
    EXPECT_EQ(slurp(file("tags.ini")), "");
    EXPECT_EQ(slurp(file("favs.ini")), "/a\n");
    use();
    EXPECT_EQ(tags_get("/etc"), 0);
}

// Another copy's write the file's stamp cannot tell from our own (the same inode reused,
// the same size, within one tick of the file system's clock) is still read before an
// edit, never written over with our older list.
TEST_F(StoresTest, AnEditKeepsAWriteItsStampCannotTell)
{
    struct Case {
        const char* name;
        bool (*ours)(const char* path);
        const char *first, *theirs, *second, *want;
    };
    const Case cases[] = {
        {"favs.ini", [](const char* p) { return favs_toggle(p); }, "/mine1", "/othr1\n", "/mine2",
         "/othr1\n/mine2\n"},
        {"tags.ini", [](const char* p) { return tags_set(p, 3); }, "/t-a", "2|/t-b\n", "/t-c",
         "2|/t-b\n3|/t-c\n"},
    };
    for (const Case& c : cases) {
        kit.text("data/TideCoil/favs.ini", "");
        kit.text("data/TideCoil/tags.ini", "");
        use();
        ASSERT_TRUE(c.ours(c.first)) << c.name;
        const std::string path = file(c.name);
        struct stat before;
        ASSERT_EQ(stat(path.c_str(), &before), 0);
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out << c.theirs;
        }
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        struct stat after;
        ASSERT_EQ(stat(path.c_str(), &after), 0);
        ASSERT_EQ(after.st_ino, before.st_ino);
        ASSERT_EQ(after.st_size, before.st_size) << c.name;
        ASSERT_TRUE(c.ours(c.second)) << c.name;
        EXPECT_EQ(slurp(path), c.want) << c.name;
    }
}

TEST_F(StoresTest, TheRoamingFolderIsTideCoilUnderDotConfigElseTheNameAlone)
{
    std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    unsetenv("APPDATA");   // the kit puts it back
    unsetenv("XDG_CONFIG_HOME");
    char out[600];
    for (bool with_home : {true, false}) {
        with_home ? (void)setenv("HOME", kit.dir().c_str(), 1) : (void)unsetenv("HOME");
        folders_roaming_path("s.ini", out, sizeof out);
        EXPECT_EQ(std::string(out), with_home ? kit.path(".config/TideCoil/s.ini") : "s.ini");
    }
    setenv("HOME", home.c_str(), 1);
}

// Two running copies edit at the same time: each child runs this with its role.
TEST(StoresChild, Edits)
{
    const char* dir = std::getenv("TESSEL_STORES_CHILD");
    const char* role = std::getenv("TESSEL_STORES_ROLE");
    if (!dir || !role)
        GTEST_SKIP() << "run by StoresTest.TwoCopiesKeepEveryEdit";
    folders_use_data_path(dir);
    for (int i = 0; i < 100; i++) {
        std::string p = std::string("/") + role + "/t" + std::to_string(i);
        ASSERT_TRUE(tags_set(p.c_str(), 1 + i % 9));
        if (i < 15) {
            std::string f = std::string("/") + role + "/f" + std::to_string(i);
            ASSERT_TRUE(favs_toggle(f.c_str()));
        }
    }
}

TEST_F(StoresTest, TwoCopiesKeepEveryEdit)
{
    kit.text("data/TideCoil/favs.ini", "");
    kit.text("data/TideCoil/tags.ini", "");
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    setenv("TESSEL_STORES_CHILD", data.c_str(), 1);
    const char* argv[] = {self, "--gtest_filter=StoresChild.Edits", nullptr};
    setenv("TESSEL_STORES_ROLE", "a", 1);
    int a = testproc_start(argv);
    setenv("TESSEL_STORES_ROLE", "b", 1);
    int b = testproc_start(argv);
    unsetenv("TESSEL_STORES_CHILD");
    unsetenv("TESSEL_STORES_ROLE");
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    // Each child ends by itself; testproc_stop only reaps it (after up to 2 s).
    for (int i = 0; i < 600 && (kill(a, 0) == 0 || kill(b, 0) == 0); i++) {
        use();
        if (tags_count() == 200 && favs_count() == 30)
            break;
        usleep(50000);
    }
    testproc_stop(a);
    testproc_stop(b);
    use();
    EXPECT_EQ(tags_count(), 200);
    EXPECT_EQ(favs_count(), 30);
}

}  // namespace
