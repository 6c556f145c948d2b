// The program's folders from the environment: per-user and portable data folders,
// the XDG music folder, the screenshot files, and paths too long for their buffers,
// which are refused rather than cut into a different folder; the start's sweep of the
// temporaries that killed writers left.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/folders.h"
#include "audio/wav_write.h"
#include "platform/plat_file.h"
#include "platform/plat_file_stamp.h"
#include "platform/plat_folders.h"
#include "platform/plat_named_lock.h"
#include "support/test_proc.h"

namespace {

namespace fs = std::filesystem;

class FoldersTest : public ::testing::Test {
protected:
    fs::path root;
    fs::path home;
    fs::path program;
    Folders f{};
    char err[128] = "";

    void SetUp() override
    {
        char tmpl[] = "/tmp/tessel-folders-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        home = root / "home";
        program = root / "opt";
        fs::create_directories(home / ".config");
        fs::create_directories(program);
        for (const char* name : {"APPDATA", "XDG_CONFIG_HOME", "HOME", "TMPDIR"})
            saved.emplace_back(name, getenv(name) ? std::string(getenv(name)) : std::string("\x01"));
        unsetenv("APPDATA");
        unsetenv("XDG_CONFIG_HOME");
        setenv("HOME", home.c_str(), 1);
        setenv("TMPDIR", (root / "tmp").c_str(), 1);
    }
    void TearDown() override
    {
        plat_file_fake_pid_max(nullptr);
        for (auto& [name, value] : saved) {
            if (value == "\x01")
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        fs::remove_all(root);
    }
    void user_dirs(const std::string& text)
    {
        FILE* out = fopen((home / ".config" / "user-dirs.dirs").c_str(), "w");
        ASSERT_NE(out, nullptr);
        fwrite(text.data(), 1, text.size(), out);
        fclose(out);
    }
    bool settle() { return folders_settle(&f, program.c_str(), err, sizeof err); }

private:
    std::vector<std::pair<std::string, std::string>> saved;
};

// ---------------------------------------------------------------------------
// Where things go
// ---------------------------------------------------------------------------

TEST_F(FoldersTest, PerUserDataUnderTheConfigFolderAndTakesInTheMusicFolder)
{
    ASSERT_TRUE(settle()) << err;
    EXPECT_FALSE(f.portable);
    EXPECT_EQ(std::string(f.program), program.string());
    EXPECT_EQ(std::string(f.data), (home / ".config/TideCoil").string());
    EXPECT_EQ(std::string(f.takes), (home / "Music/tessel").string());
    EXPECT_EQ(std::string(f.screenshot_request), (root / "tmp/tessel_screenshot_request").string());
    EXPECT_EQ(std::string(f.screenshot_bmp), (root / "tmp/tessel_screenshot.bmp").string());

    // Nothing is made until asked; then the data folder with its parents.
    EXPECT_FALSE(fs::exists(f.data));
    fs::remove_all(home / ".config");
    ASSERT_TRUE(folders_make_data(&f));
    EXPECT_TRUE(fs::is_directory(f.data));
}

TEST_F(FoldersTest, AppdataComesFirstThenAnAbsoluteXdgConfigHome)
{
    setenv("XDG_CONFIG_HOME", (root / "xdg").c_str(), 1);
    ASSERT_TRUE(settle()) << err;
    EXPECT_EQ(std::string(f.data), (root / "xdg/TideCoil").string());
    setenv("APPDATA", (root / "appdata").c_str(), 1);
    ASSERT_TRUE(settle()) << err;
    EXPECT_EQ(std::string(f.data), (root / "appdata/TideCoil").string());
    // Empty counts as unset; a relative XDG_CONFIG_HOME is ignored.
    setenv("APPDATA", "", 1);
    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    ASSERT_TRUE(settle()) << err;
    EXPECT_EQ(std::string(f.data), (home / ".config/TideCoil").string());
}

TEST_F(FoldersTest, TheMusicFolderComesFromUserDirsWithHomeExpanded)
{
    user_dirs("# written by xdg-user-dirs-update\n"
              "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
              "XDG_MUSIC_DIR=\"$HOME/Sound files\"\n");
    ASSERT_TRUE(settle()) << err;
    EXPECT_EQ(std::string(f.takes), (home / "Sound files/tessel").string());

    user_dirs("XDG_MUSIC_DIR=\"/srv/music\"\n");
    ASSERT_TRUE(settle()) << err;
    EXPECT_EQ(std::string(f.takes), "/srv/music/tessel");

    // An entry that is not a path leaves ~/Music.
    user_dirs("XDG_MUSIC_DIR=\"music\"\nXDG_MUSIC_DIR=\n");
    ASSERT_TRUE(settle()) << err;
    EXPECT_EQ(std::string(f.takes), (home / "Music/tessel").string());
}

TEST_F(FoldersTest, AUserDirsLineHoldingANulEndsOnlyThatLine)
{
    // The damaged line is not an entry, and the music entry after it still counts.
    user_dirs(std::string("XDG_MUSIC_DIR=\"/a\0b\"\n", 21) + "XDG_MUSIC_DIR=\"/srv/music\"\n");
    ASSERT_TRUE(settle()) << err;
    EXPECT_EQ(std::string(f.takes), "/srv/music/tessel");
}

TEST_F(FoldersTest, AUserDirsFileThatIsAFifoIsNotWaitedFor)
{
    ASSERT_EQ(mkfifo((home / ".config/user-dirs.dirs").c_str(), 0600), 0);
    ASSERT_TRUE(settle()) << err;
    EXPECT_EQ(std::string(f.takes), (home / "Music/tessel").string());
}

TEST_F(FoldersTest, PortableBesideASettingsFileOrWithoutAnyUserFolder)
{
    FILE* ini = fopen((program / "tessel.ini").c_str(), "w");
    ASSERT_NE(ini, nullptr);
    fclose(ini);
    ASSERT_TRUE(settle()) << err;
    EXPECT_TRUE(f.portable);
    EXPECT_EQ(std::string(f.data), program.string());
    EXPECT_EQ(std::string(f.takes), (program / "exports").string());
    // Portable mode makes nothing: the program folder is the data folder.
    EXPECT_TRUE(folders_make_data(&f));

    fs::remove(program / "tessel.ini");
    unsetenv("HOME");
    ASSERT_TRUE(settle()) << err;
    EXPECT_TRUE(f.portable);
    EXPECT_EQ(std::string(f.data), program.string());
    EXPECT_EQ(std::string(f.takes), (program / "exports").string());
}

TEST_F(FoldersTest, WithAConfigFolderButNoMusicFolderTakesGoIntoTheDataFolder)
{
    setenv("APPDATA", (root / "appdata").c_str(), 1);
    unsetenv("HOME");
    ASSERT_TRUE(settle()) << err;
    EXPECT_FALSE(f.portable);
    EXPECT_EQ(std::string(f.takes), (root / "appdata/TideCoil/exports").string());
}

// ---------------------------------------------------------------------------
// Paths too long for their buffers
// ---------------------------------------------------------------------------

TEST_F(FoldersTest, ADataFolderThatDoesNotFitIsAnErrorNotAShorterFolder)
{
    // 503 bytes of configuration folder fit the 512-byte buffer; with "/TideCoil"
    // the data folder does not.
    std::string config = "/" + std::string(502, 'c');
    setenv("APPDATA", config.c_str(), 1);
    EXPECT_FALSE(settle());
    EXPECT_STREQ(err, "data folder path too long");
    EXPECT_STREQ(f.data, "");
    EXPECT_STREQ(f.takes, "");

    setenv("APPDATA", ("/" + std::string(600, 'c')).c_str(), 1);
    EXPECT_FALSE(settle());
    EXPECT_STREQ(err, "configuration folder path too long");
}

TEST_F(FoldersTest, TakesMusicAndScreenshotPathsAreCheckedToo)
{
    user_dirs("XDG_MUSIC_DIR=\"/" + std::string(595, 'm') + "\"\n");
    EXPECT_FALSE(settle());
    EXPECT_STREQ(err, "takes folder path too long");

    user_dirs("XDG_MUSIC_DIR=\"/" + std::string(700, 'm') + "\"\n");
    EXPECT_FALSE(settle());
    EXPECT_STREQ(err, "music folder path too long");

    // A music entry longer than any line the reader keeps.
    user_dirs("XDG_MUSIC_DIR=\"/" + std::string(5000, 'm') + "\"\n");
    EXPECT_FALSE(settle());
    EXPECT_STREQ(err, "music folder path too long");

    user_dirs("");
    setenv("TMPDIR", ("/" + std::string(490, 't')).c_str(), 1);
    EXPECT_FALSE(settle());
    EXPECT_STREQ(err, "screenshot path too long");
}

TEST_F(FoldersTest, TheProgramFolderIsFoundAndATooSmallBufferIsRefused)
{
    char out[512];
    ASSERT_TRUE(folders_program(out, sizeof out, err, sizeof err));
    EXPECT_TRUE(fs::is_directory(out)) << out;
    EXPECT_TRUE(fs::exists(fs::path(out) / "test_app")) << out;

    char small[8];
    EXPECT_EQ(plat_program_folder(small, sizeof small), PLAT_PATH_TOO_LONG);
    EXPECT_STREQ(small, "");
    EXPECT_FALSE(folders_program(small, sizeof small, err, sizeof err));
    EXPECT_STREQ(err, "program folder path too long");
}

// ---------------------------------------------------------------------------
// The start's sweep
// ---------------------------------------------------------------------------

// A killed writer's whole session take goes over the file under its name only when,
// under the takes' lock, that file is still the one the writer noted it would replace
// (or still nothing, when it expected none). Any other whole take (its file changed
// since, no note, the lock not had) and every export (all of Loops) is put in place
// beside it under the next free name: nothing whole is lost. A torn one or one with a
// wrong RIFF size goes. A plain ".tmp", a running writer's temporary and a number no
// writer of ours can have had stay: the system's process-id limit is set to the later
// of two ended writers, so a limit that is not the system's shows whatever the
// machine's own. All the same where renames cannot refuse to replace.
TEST_F(FoldersTest, TheSweepPutsBackWholeTakesAndReplacesOnlyWhatTheirWriterExpected)
{
    enum { WHOLE, TORN, BAD_RIFF };
    enum { TAKES, LOOPS };
    enum { UNNOTED, AS_IS, CHANGED };   // what the writer noted of the file under the name
    const int ended = testproc_ended_pid(), later = testproc_ended_pid();
    ASSERT_TRUE(ended > 0 && later > 0 && ended != later);
    const std::string dead = ".tmp." + std::to_string(std::min(ended, later));
    const std::string pid_max = std::to_string(std::max(ended, later));
    const fs::path pid_max_file = root / "pid_max";
    std::ofstream(pid_max_file) << pid_max << "\n";
    plat_file_fake_pid_max(pid_max_file.c_str());
    const struct {
        int folder;
        std::string final_name, suffix;
        int kind;
        bool old_file;           // a file under the final name
        int note;
        std::string ends_as;     // where the temporary's bytes end up; "" removed
        std::string unlocked;    // the same when the takes' lock cannot be had
    } cases[] = {
        {TAKES, "tessel-20260101-000000.wav", dead, WHOLE, true, AS_IS, "tessel-20260101-000000.wav",
         "tessel-20260101-000000-2.wav"},
        {TAKES, "jam7.wav", dead, WHOLE, false, AS_IS, "jam7.wav", "jam7.wav"},
        {TAKES, "tessel-20260101-000001.wav", dead, WHOLE, true, CHANGED, "tessel-20260101-000001-2.wav", ""},
        {TAKES, "tessel-20260101-000007.wav", dead, WHOLE, true, UNNOTED, "tessel-20260101-000007-2.wav", ""},
        {TAKES, "tessel-20260101-000008.wav", dead, WHOLE, false, CHANGED, "tessel-20260101-000008.wav", ""},
        {TAKES, "tessel-20260101-000002.wav", dead, TORN, true, AS_IS, "", ""},
        {TAKES, "tessel-20260101-000003.wav", dead, BAD_RIFF, false, AS_IS, "", ""},
        {TAKES, "tessel-loop-20260101-000004.wav", dead, WHOLE, true, UNNOTED, "tessel-loop-20260101-000004-2.wav", ""},
        {TAKES, "tessel-loop-20260101-000005.wav", dead, WHOLE, false, UNNOTED, "tessel-loop-20260101-000005.wav", ""},
        {TAKES, "tessel-my song.wav", ".tmp", WHOLE, false, UNNOTED, "tessel-my song.wav.tmp", ""},
        {TAKES, "tessel-20260101-000006.wav", ".tmp.1", WHOLE, true, AS_IS, "tessel-20260101-000006.wav.tmp.1", ""},
        {TAKES, "x.wav", ".tmp.0", WHOLE, false, UNNOTED, "x.wav.tmp.0", ""},
        {TAKES, "z.wav", ".tmp." + pid_max, WHOLE, false, UNNOTED, "z.wav.tmp." + pid_max, ""},
        {TAKES, "w.wav", ".tmp.0" + dead.substr(5), WHOLE, false, UNNOTED, "w.wav.tmp.0" + dead.substr(5), ""},
        {LOOPS, "jam  bar 1  4 bars  120 bpm.wav", dead, WHOLE, false, UNNOTED, "jam  bar 1  4 bars  120 bpm.wav", ""},
        {LOOPS, "jam  bar 2  4 bars  120 bpm.wav", dead, WHOLE, true, AS_IS, "jam  bar 2  4 bars  120 bpm (2).wav", ""},
        {LOOPS, "jam  end  2.5 beats  120 bpm.wav", dead, TORN, false, UNNOTED, "", ""},
    };
    const fs::path takes = root / "takes", data = root / "data", loops = home / "Music/TideCoil/Loops";
    snprintf(f.takes, sizeof f.takes, "%s", takes.c_str());
    snprintf(f.data, sizeof f.data, "%s", data.c_str());
    uint8_t head[WAV_FLOAT_HEADER];
    wav_header_float(head, 48000, 800);
    for (int pass = 0; pass < 3; pass++) {
        const int refused = pass == 1 ? EINVAL : 0;
        const bool unlocked = pass == 2;
        SCOPED_TRACE(unlocked ? "the lock not had" : refused ? "no-replace renames refused" : "no-replace renames");
        for (const fs::path& dir : {takes, data, loops}) {
            fs::remove_all(dir);
            fs::create_directories(dir);
        }
        std::vector<std::string> bytes;
        for (const auto& c : cases) {
            const fs::path& dir = c.folder == LOOPS ? loops : takes;
            const fs::path temp = dir / (c.final_name + c.suffix);
            std::string wav = std::string((const char*)head, sizeof head) +
                              std::string(c.kind == TORN ? 400 : 800, (char)('a' + bytes.size()));
            wav[4] ^= c.kind == BAD_RIFF ? 2 : 0;
            bytes.push_back(wav);
            if (c.old_file)
                std::ofstream(dir / c.final_name) << "the old take";
            std::ofstream(temp, std::ios::binary) << wav;
            PlatFileStamp expected;
            plat_file_stamp((dir / c.final_name).c_str(), &expected);
            expected.mtime_ns += c.note == CHANGED ? 1 : 0;
            expected.exists ^= c.note == CHANGED && !c.old_file ? 1 : 0;
            if (c.note != UNNOTED) {
                FILE* t = fopen(temp.c_str(), "rb");
                ASSERT_TRUE(t && plat_file_stamp_note(t, &expected)) << "this file system keeps no notes";
                fclose(t);
            }
        }
        std::ofstream(data / "tessel.ini.tmp") << "x";
        std::ofstream(data / ("tessel.ini" + dead)) << "x";

        plat_file_fake_rename_refusals(refused, 0);
        plat_named_lock_fake(unlocked ? PLAT_LOCK_FAILED : PLAT_LOCK_TAKEN);
        EXPECT_EQ(folders_sweep_temps(&f), 1);
        plat_named_lock_fake(PLAT_LOCK_TAKEN);
        plat_file_fake_rename_refusals(0, 0);
        EXPECT_TRUE(fs::exists(data / "tessel.ini.tmp"));
        EXPECT_FALSE(fs::exists(data / ("tessel.ini" + dead)));
        for (size_t i = 0; i < std::size(cases); i++) {
            const auto& c = cases[i];
            const std::string& ends_as = unlocked && !c.unlocked.empty() ? c.unlocked : c.ends_as;
            const fs::path& dir = c.folder == LOOPS ? loops : takes;
            auto text = [&](const std::string& name) {
                std::ifstream in(dir / name, std::ios::binary);
                return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "(none)";
            };
            EXPECT_EQ(fs::exists(dir / (c.final_name + c.suffix)), ends_as == c.final_name + c.suffix) << i;
            if (!ends_as.empty()) {
                EXPECT_EQ(text(ends_as), bytes[i]) << i;
            }
            if (ends_as != c.final_name) {
                EXPECT_EQ(text(c.final_name), c.old_file ? "the old take" : "(none)") << i;
            }
        }
    }
}

}  // namespace
