// Platform files: replacement through a temporary name.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

// Where the file system refuses the no-replace flag, a hard link stands in, and where
// it refuses links too, a reservation of the name: neither replaces (EEXIST keeps both
// files), and a failed rename leaves nothing under the new name.
TEST(PlatFile, WithoutNoReplaceRenamesALinkStandsInAndNeverReplaces)
{
    std::random_device rd;
    auto dir = std::filesystem::temp_directory_path() / ("tessel-link-" + std::to_string(rd()));
    std::filesystem::create_directories(dir);
    std::string from = dir / "take.wav.tmp.1", to = dir / "take.wav", taken = dir / "taken.wav";
    const struct {
        int rename_err, link_err, reserved_err, result, taken_result;
    } cases[] = {{EINVAL, 0, 0, 0, EEXIST},          {ENOSYS, 0, 0, 0, EEXIST},
                 {EOPNOTSUPP, 0, 0, 0, EEXIST},      {EINVAL, EPERM, 0, 0, EEXIST},
                 {EINVAL, EPERM, EIO, EIO, EEXIST},  {EACCES, 0, 0, EACCES, EACCES}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rename_err) + " " + std::to_string(c.link_err) + " " +
                     std::to_string(c.reserved_err));
        std::ofstream(from) << "new";
        std::ofstream(taken) << "old";
        plat_file_fake_rename_refusals(c.rename_err, c.link_err, c.reserved_err);
        EXPECT_EQ(plat_file_rename_noreplace(from.c_str(), taken.c_str()), c.taken_result);
        EXPECT_EQ(plat_file_rename_noreplace(from.c_str(), to.c_str()), c.result);
        plat_file_fake_rename_refusals(0, 0);
        EXPECT_EQ(slurp(taken), "old");
        EXPECT_EQ(std::filesystem::exists(from), c.result != 0);
        EXPECT_EQ(std::filesystem::exists(to), c.result == 0);
        EXPECT_EQ(slurp(to), c.result ? "" : "new");
        std::filesystem::remove(to);
    }
    std::filesystem::remove_all(dir);
}

// Without no-replace renames or links, the name is reserved only for a whole file: a
// write that fails or is killed leaves nothing under it, not even an empty file.
TEST(PlatFile, WithoutRenamesOrLinksOnlyAWholeFileTakesTheName)
{
    std::random_device rd;
    auto dir = std::filesystem::temp_directory_path() / ("tessel-reserve-" + std::to_string(rd()));
    std::filesystem::create_directories(dir);
    TEST_WATCHDOG(watchdog, "the killed writer never began its write", dir.string(), 30);
    std::string target = dir / "take.wav";
    auto listing = [&] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    plat_file_fake_rename_refusals(EINVAL, EPERM);
    auto failing = [](void*, FILE* f) {
        fputs("part", f);
        errno = ENOSPC;
        return false;
    };
    EXPECT_EQ(plat_file_write_via_temp(target.c_str(), false, failing, nullptr), ENOSPC);
    EXPECT_TRUE(listing().empty());

    // A writer killed in the middle of its write: only its temporary is left.
    int started[2], hold[2];
    ASSERT_EQ(pipe(started), 0);
    ASSERT_EQ(pipe(hold), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(started[0]);
        close(hold[1]);
        auto stalled = [](void* p, FILE* f) {
            const int* fds = (const int*)p;
            fputs("part", f);
            fflush(f);
            char c = 1, got;
            (void)!write(fds[0], &c, 1);
            (void)!read(fds[1], &got, 1);   // until killed, or the test is gone
            _exit(0);
            return true;
        };
        int fds[2] = {started[1], hold[0]};
        plat_file_write_via_temp(target.c_str(), false, stalled, fds);
        _exit(0);
    }
    close(started[1]);
    close(hold[0]);
    char c = 0;
    EXPECT_EQ(read(started[0], &c, 1), 1);
    kill(child, SIGKILL);
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    close(started[0]);
    close(hold[1]);
    std::string stale = target + ".tmp." + std::to_string(child);
    EXPECT_EQ(listing(), std::vector<std::string>{std::filesystem::path(stale).filename().string()});
    std::filesystem::remove(stale);

    // A whole file takes the name, and never one another file has.
    auto whole = [](void* p, FILE* f) { return fputs((const char*)p, f) >= 0; };
    EXPECT_EQ(plat_file_write_via_temp(target.c_str(), false, whole, (void*)"new"), 0);
    EXPECT_EQ(plat_file_write_via_temp(target.c_str(), false, whole, (void*)"newer"), EEXIST);
    EXPECT_EQ(slurp(target), "new");
    // A rename over the reservation that fails takes the reservation with it.
    plat_file_fake_rename_refusals(EINVAL, EPERM, EIO);
    EXPECT_EQ(plat_file_write_via_temp((dir / "other.wav").c_str(), false, whole, (void*)"new"), EIO);
    plat_file_fake_rename_refusals(0, 0);
    EXPECT_EQ(listing(), std::vector<std::string>{"take.wav"});
    std::filesystem::remove_all(dir);
}
