// Platform files: replacement through a temporary name.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/plat_file.h"
#include "support/test_proc.h"
#include "support/watchdog.h"

static std::string slurp(const std::string& p)
{
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

TEST(PlatFile, TemporaryFileReplacesTheTargetWhole)
{
    std::random_device rd;
    auto dir = std::filesystem::temp_directory_path() / ("tessel-file-" + std::to_string(rd()));
    std::filesystem::create_directories(dir);
    std::string target = (dir / "take.wav").string();
    std::ofstream(target) << "old";
    char tmp[512];
    ASSERT_TRUE(plat_file_temp_path(target.c_str(), tmp, sizeof tmp));
    EXPECT_EQ(std::string(tmp), target + ".tmp." + std::to_string(getpid()));
    char small[8];
    EXPECT_FALSE(plat_file_temp_path(target.c_str(), small, sizeof small));

    FILE* f = plat_file_create(tmp);
    ASSERT_NE(f, nullptr);
    fputs("new", f);
    EXPECT_EQ(slurp(target), "old");
    ASSERT_TRUE(plat_file_finish(f, tmp));
    ASSERT_TRUE(plat_file_replace(tmp, target.c_str()));
    EXPECT_EQ(slurp(target), "new");
    EXPECT_FALSE(std::filesystem::exists(tmp));
    EXPECT_FALSE(plat_file_remove_regular(dir.string().c_str()));   // a folder stays
    EXPECT_TRUE(plat_file_remove_regular(target.c_str()));
    std::filesystem::remove_all(dir);
}

static bool own_wav(const char* name, void*) { return std::string_view(name).ends_with(".wav"); }

// Temporaries are made new, locked while written, and only those of ended writers are
// swept; a plain "<final>.tmp" is no temporary of ours. A FIFO is never opened to wait.
TEST(PlatFile, TemporariesAreMadeNewAndOnlyStaleOnesAreSwept)
{
    std::random_device rd;
    auto dir = std::filesystem::temp_directory_path() / ("tessel-sweep-" + std::to_string(rd()));
    std::filesystem::create_directories(dir);
    // A call that waits on a FIFO fails the run within seconds, not at ctest's timeout.
    TEST_WATCHDOG(watchdog, "the sweep or a write waits on a FIFO", dir.string(), 10);
    std::string dead = std::to_string(testproc_ended_pid()), self = std::to_string(getpid());
    const struct { std::string name; bool stays; } cases[] = {
        {"a.wav.tmp." + dead, false}, {"b.wav.tmp", true}, {"c.wav.tmp." + self, false}, {"d.wav.tmp.1", true},
        {"e.txt.tmp." + dead, true},  {"f.wav.tmp.x1", true}, {"g.wav", true}};
    for (const auto& c : cases)
        std::ofstream(dir / c.name) << "x";
    ASSERT_EQ(mkfifo((dir / ("h.wav.tmp." + dead)).c_str(), 0600), 0);
    EXPECT_EQ(plat_file_sweep_temps(dir.c_str(), own_wav, nullptr), 2);
    for (const auto& c : cases)
        EXPECT_EQ(std::filesystem::exists(dir / c.name), c.stays) << c.name;

    // A sweep leaves the temporary of a write in progress; a link or FIFO planted there is not used.
    std::string target = (dir / "take.wav").string(), temp = target + ".tmp." + self, victim = dir / "victim";
    auto write = [](void* p, FILE* f) {
        const std::string& t = *(std::string*)p;
        plat_file_sweep_temps(std::filesystem::path(t).parent_path().c_str(), own_wav, nullptr);
        EXPECT_TRUE(std::filesystem::exists(t));
        return fputs("new", f) >= 0;
    };
    EXPECT_EQ(plat_file_write_via_temp(target.c_str(), true, write, &temp), 0);
    std::ofstream(victim) << "keep";
    for (bool fifo : {false, true}) {
        ASSERT_EQ(fifo ? mkfifo(temp.c_str(), 0600) : symlink(victim.c_str(), temp.c_str()), 0);
        EXPECT_EQ(plat_file_write_via_temp(target.c_str(), true, write, &temp), EEXIST);
        std::filesystem::remove(temp);
    }
    EXPECT_EQ(slurp(victim), "keep");
    std::filesystem::remove_all(dir);
}

// Where the file system refuses the no-replace flag, a hard link stands in: it never
// replaces either (EEXIST keeps both files), and only a refused link fails the rename.
TEST(PlatFile, WithoutNoReplaceRenamesALinkStandsInAndNeverReplaces)
{
    std::random_device rd;
    auto dir = std::filesystem::temp_directory_path() / ("tessel-link-" + std::to_string(rd()));
    std::filesystem::create_directories(dir);
    std::string from = dir / "take.wav.tmp.1", to = dir / "take.wav", taken = dir / "taken.wav";
    const struct {
        int rename_err, link_err, result;
    } cases[] = {{EINVAL, 0, 0}, {ENOSYS, 0, 0}, {EOPNOTSUPP, 0, 0}, {EINVAL, EPERM, EPERM}, {EACCES, 0, EACCES}};
    for (const auto& c : cases) {
        std::ofstream(from) << "new";
        std::ofstream(taken) << "old";
        plat_file_fake_rename_refusals(c.rename_err, c.link_err);
        EXPECT_EQ(plat_file_rename_noreplace(from.c_str(), taken.c_str()), c.result ? c.result : EEXIST);
        EXPECT_EQ(plat_file_rename_noreplace(from.c_str(), to.c_str()), c.result) << c.rename_err;
        plat_file_fake_rename_refusals(0, 0);
        EXPECT_EQ(slurp(taken), "old");
        EXPECT_EQ(std::filesystem::exists(from), c.result != 0) << c.rename_err;
        EXPECT_EQ(slurp(to), c.result ? "" : "new") << c.rename_err;
        std::filesystem::remove(to);
    }
    std::filesystem::remove_all(dir);
}
