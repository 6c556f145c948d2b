// Platform files: replacement through a temporary name.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

#include "platform/plat_file.h"

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
