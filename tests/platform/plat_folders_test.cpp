// Platform folders and the trash: the music folder from user-dirs.dirs, the data
// folder's base by precedence, and moves to the trash that never delete.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/plat_folders.h"
#include "platform/plat_trash.h"

namespace {

namespace fs = std::filesystem;

// A scratch folder with HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and APPDATA saved and
// restored around the test.
class FoldersTest : public ::testing::Test {
protected:
    std::string dir;
    const char* names[4] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "APPDATA"};
    std::string saved[4];
    bool had[4] = {};

    void SetUp() override
    {
        std::random_device rd;
        dir = (fs::temp_directory_path() / ("tessel-folders-" + std::to_string(rd()))).string();
        fs::create_directories(dir + "/home/.config");
        for (int i = 0; i < 4; i++) {
            const char* v = std::getenv(names[i]);
            had[i] = v != nullptr;
            saved[i] = v ? v : "";
            unsetenv(names[i]);
        }
        setenv("HOME", (dir + "/home").c_str(), 1);
    }
    void TearDown() override
    {
        for (int i = 0; i < 4; i++) {
            if (had[i])
                setenv(names[i], saved[i].c_str(), 1);
            else
                unsetenv(names[i]);
        }
        fs::remove_all(dir);
    }
    std::string music()
    {
        char out[1024];
        return plat_folder_music(out, sizeof out) ? out : "<none>";
    }
    std::string config()
    {
        char out[1024];
        return plat_folder_config_base(out, sizeof out) ? out : "<none>";
    }
};

TEST_F(FoldersTest, MusicComesFromUserDirsElseHome)
{
    std::string home = dir + "/home";
    EXPECT_EQ(music(), home + "/Music");
    std::ofstream(home + "/.config/user-dirs.dirs") << "# comment\nXDG_MUSIC_DIR=\"$HOME/Sound/\"\n";
    EXPECT_EQ(music(), home + "/Sound");
    std::ofstream(home + "/.config/user-dirs.dirs") << "XDG_MUSIC_DIR=\"/srv/music\"\n";
    EXPECT_EQ(music(), "/srv/music");
    std::ofstream(home + "/.config/user-dirs.dirs") << "XDG_MUSIC_DIR=\"relative\"\n";
    EXPECT_EQ(music(), home + "/Music");

    // XDG_CONFIG_HOME moves the file it is read from.
    fs::create_directories(dir + "/cfg");
    std::ofstream(dir + "/cfg/user-dirs.dirs") << "XDG_MUSIC_DIR=\"$HOME/Tunes\"\n";
    setenv("XDG_CONFIG_HOME", (dir + "/cfg").c_str(), 1);
    EXPECT_EQ(music(), home + "/Tunes");

    char tiny[8];
    EXPECT_FALSE(plat_folder_music(tiny, sizeof tiny));
    EXPECT_EQ(tiny[0], '\0');
    unsetenv("HOME");
    EXPECT_EQ(music(), "<none>");
}

TEST_F(FoldersTest, TheDataFolderBaseGoesAppDataThenXdgThenHome)
{
    EXPECT_EQ(config(), dir + "/home/.config");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(config(), dir + "/home/.config");
    setenv("XDG_CONFIG_HOME", "/xdg/", 1);
    EXPECT_EQ(config(), "/xdg");
    setenv("APPDATA", "", 1);
    EXPECT_EQ(config(), "/xdg");
    setenv("APPDATA", "/appdata", 1);
    EXPECT_EQ(config(), "/appdata");
    unsetenv("APPDATA");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("HOME");
    EXPECT_EQ(config(), "<none>");
}

TEST_F(FoldersTest, TrashedFilesKeepTheirRecordAndNeverDisappear)
{
    setenv("XDG_DATA_HOME", (dir + "/share").c_str(), 1);
    std::string take = dir + "/my take%.wav";
    std::ofstream(take) << "one";
    ASSERT_TRUE(plat_trash_move(take.c_str()));
    EXPECT_FALSE(fs::exists(take));
    std::ifstream info(dir + "/share/Trash/info/my take%.wav.trashinfo");
    std::string text((std::istreambuf_iterator<char>(info)), {});
    EXPECT_NE(text.find("[Trash Info]\nPath="), std::string::npos);
    EXPECT_NE(text.find("/my%20take%25.wav\nDeletionDate="), std::string::npos);

    // A second file of the same name gets a name of its own.
    std::ofstream(take) << "two";
    ASSERT_TRUE(plat_trash_move(take.c_str()));
    std::ifstream second(dir + "/share/Trash/files/my take%.wav.2");
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(second)), {}), "two");

    EXPECT_FALSE(plat_trash_move((dir + "/missing.wav").c_str()));
    // No trash can be made under a file: the file stays where it is.
    std::ofstream(dir + "/blocker") << "x";
    setenv("XDG_DATA_HOME", (dir + "/blocker").c_str(), 1);
    std::ofstream(take) << "three";
    EXPECT_FALSE(plat_trash_move(take.c_str()));
    EXPECT_TRUE(fs::exists(take));
}

} // namespace
