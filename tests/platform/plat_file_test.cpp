// Platform files: readers refuse what is not a regular file, temporary names and the
// replacement by rename, removal only of regular files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/plat_file.h"

namespace {

struct Dir {
    std::string path;
    Dir()
    {
        std::random_device rd;
        path = (std::filesystem::temp_directory_path() / ("tessel-file-" + std::to_string(rd()))).string();
        std::filesystem::create_directories(path);
    }
    ~Dir() { std::filesystem::remove_all(path); }
    std::string at(const char* name) const { return path + "/" + name; }
};

std::string slurp(const std::string& p)
{
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

}   // namespace

TEST(PlatFile, ReadersOpenOnlyRegularFiles)
{
    Dir d;
    std::string fifo = d.at("pipe.wav"), folder = d.at("folder.wav"), plain = d.at("a.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(folder);
    std::ofstream(plain) << "0123456789";

    EXPECT_EQ(plat_file_open_read(fifo.c_str()), nullptr);      // returns at once
    EXPECT_EQ(plat_file_open_read(folder.c_str()), nullptr);
    EXPECT_EQ(plat_file_open_read("/dev/zero"), nullptr);
    EXPECT_EQ(plat_file_open_read(d.at("missing").c_str()), nullptr);
    EXPECT_EQ(plat_file_open_read(""), nullptr);
    EXPECT_FALSE(plat_file_is_regular(fifo.c_str()));
    EXPECT_TRUE(plat_file_is_regular(plain.c_str()));

    FILE* f = plat_file_open_read(plain.c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(plat_file_size(f), 10);
    EXPECT_TRUE(plat_file_seek(f, 4, SEEK_SET));
    EXPECT_EQ(fgetc(f), '4');
    EXPECT_EQ(plat_file_tell(f), 5);
    fclose(f);
}

TEST(PlatFile, TemporaryFileReplacesTheTargetWhole)
{
    Dir d;
    std::string target = d.at("take.wav");
    std::ofstream(target) << "old";
    char tmp[512];
    ASSERT_TRUE(plat_file_temp_path(target.c_str(), tmp, sizeof tmp));
    EXPECT_EQ(std::string(tmp), target + ".tmp." + std::to_string(getpid()));
    char small[8];
    EXPECT_FALSE(plat_file_temp_path(target.c_str(), small, sizeof small));
    EXPECT_EQ(small[0], '\0');

    FILE* f = plat_file_create(tmp);
    ASSERT_NE(f, nullptr);
    fputs("new", f);
    EXPECT_EQ(slurp(target), "old");
    ASSERT_TRUE(plat_file_finish(f, tmp));
    ASSERT_TRUE(plat_file_replace(tmp, target.c_str()));
    EXPECT_EQ(slurp(target), "new");
    EXPECT_FALSE(std::filesystem::exists(tmp));
}

TEST(PlatFile, OnlyRegularFilesAreRemoved)
{
    Dir d;
    std::string plain = d.at("x"), link = d.at("link"), folder = d.at("dir");
    std::ofstream(plain) << "x";
    ASSERT_EQ(symlink(plain.c_str(), link.c_str()), 0);
    std::filesystem::create_directory(folder);
    EXPECT_FALSE(plat_file_remove_regular(link.c_str()));
    EXPECT_FALSE(plat_file_remove_regular(folder.c_str()));
    EXPECT_TRUE(std::filesystem::exists(plain));
    EXPECT_TRUE(plat_file_remove_regular(plain.c_str()));
    EXPECT_FALSE(std::filesystem::exists(plain));

    // A failed write to a regular file removes it; to a device, leaves it.
    FILE* f = plat_file_create(plain.c_str());
    ASSERT_NE(f, nullptr);
    plat_file_discard(f, plain.c_str());
    EXPECT_FALSE(std::filesystem::exists(plain));
    f = plat_file_create("/dev/null");
    ASSERT_NE(f, nullptr);
    plat_file_discard(f, "/dev/null");
    EXPECT_TRUE(std::filesystem::exists("/dev/null"));
}
