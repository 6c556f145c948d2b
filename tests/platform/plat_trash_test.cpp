// The trash: moves with their record, names that never clash, and refusals that
// never delete.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/plat_trash.h"

namespace {

namespace fs = std::filesystem;

// A scratch folder as HOME, with HOME and XDG_DATA_HOME restored after the test.
class TrashTest : public ::testing::Test {
protected:
    std::string dir;
    const char* names[2] = {"HOME", "XDG_DATA_HOME"};
    std::string saved[2];
    bool had[2] = {};

    void SetUp() override
    {
        std::random_device rd;
        dir = (fs::temp_directory_path() / ("tessel-trash-" + std::to_string(rd()))).string();
        fs::create_directories(dir + "/home");
        for (int i = 0; i < 2; i++) {
            const char* v = std::getenv(names[i]);
            had[i] = v != nullptr;
            saved[i] = v ? v : "";
            unsetenv(names[i]);
        }
        setenv("HOME", (dir + "/home").c_str(), 1);
    }
    void TearDown() override
    {
        for (int i = 0; i < 2; i++) {
            if (had[i])
                setenv(names[i], saved[i].c_str(), 1);
            else
                unsetenv(names[i]);
        }
        fs::remove_all(dir);
    }
};

TEST_F(TrashTest, TrashedFilesKeepTheirRecordAndNeverDisappear)
{
    std::string take = dir + "/my take%.wav";
    std::ofstream(take) << "zero";
    ASSERT_TRUE(plat_trash_move(take.c_str()));     // under HOME by default
    EXPECT_TRUE(fs::exists(dir + "/home/.local/share/Trash/files/my take%.wav"));

    setenv("XDG_DATA_HOME", (dir + "/share").c_str(), 1);
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
    // Without HOME or XDG_DATA_HOME there is no trash; nor can one be made under a
    // file. Either way the file stays where it is.
    std::ofstream(take) << "three";
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
    EXPECT_FALSE(plat_trash_move(take.c_str()));
    EXPECT_TRUE(fs::exists(take));
    std::ofstream(dir + "/blocker") << "x";
    setenv("XDG_DATA_HOME", (dir + "/blocker").c_str(), 1);
    EXPECT_FALSE(plat_trash_move(take.c_str()));
    EXPECT_TRUE(fs::exists(take));
}

} // namespace
