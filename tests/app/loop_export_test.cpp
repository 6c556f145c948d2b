// Loop export into a temporary takes folder: the file's header, sample format and
// length, names within one second, an empty loop, and failures that leave no file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/toast.h"
#include "app/loop_export.h"
#include "app/transport.h"
#include "platform/plat_file.h"
#include "platform/plat_time.h"
#include "tests/app/event_kit.h"

namespace fs = std::filesystem;

namespace {

class ExportTest : public EventTest {
protected:
    fs::path root;

    void SetUp() override
    {
        EventTest::SetUp();
        const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
        root = fs::temp_directory_path() / (std::string("tessel-export-") + t->name() + "-" +
                                            std::to_string((long)::testing::UnitTest::GetInstance()->random_seed()));
        fs::remove_all(root);
        fs::create_directories(root);
        // A fresh home: the music folder and the takes folder under it do not exist.
        snprintf(app->takes_folder, sizeof app->takes_folder, "%s/Music/tessel", root.c_str());
    }
    void TearDown() override
    {
        plat_file_fake_size_limit(-1);
        plat_file_fake_rename_refusals(0, 0);
        fs::remove_all(root);
        EventTest::TearDown();
    }
    void record_loop(int frames)
    {
        e->record = 1;
        run_callback(frames, 0.25f);
        e->record = 0;
        run_callback(1, 0.25f);
        ASSERT_EQ(e->length.load(), frames);
        app_update(app, 0.0f);   // "LOOP SET" comes before the export's toast
    }
    std::vector<std::string> takes() const
    {
        std::vector<std::string> names;
        if (fs::exists(app->takes_folder))
            for (const auto& entry : fs::directory_iterator(app->takes_folder))
                names.push_back(entry.path().filename().string());
        return names;
    }
};

uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (uint32_t)b[at + 3] << 24;
}

TEST_F(ExportTest, TheLoopIsWrittenAs16BitStereoWithExactlyItsFrames)
{
    record_loop(9600);
    press(SDLK_e);
    ASSERT_TRUE(wait_ends());
    EXPECT_STREQ(last_toast().text, "EXPORTED WAV");
    EXPECT_EQ(last_toast().colour, TOAST_TEAL);
    EXPECT_GT(app->flashes[FLASH_EXPORTED].value, 0.99f);
    EXPECT_EQ(app->take_count, 1);   // the take list was read again

    std::vector<std::string> names = takes();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].rfind("tessel-loop-", 0), 0u);
    EXPECT_EQ(names[0].size(), std::strlen("tessel-loop-20250101-120000.wav"));
    std::ifstream in(std::string(app->takes_folder) + "/" + names[0], std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 44u + 9600u * 4u);
    EXPECT_EQ(std::memcmp(bytes.data(), "RIFF", 4), 0);
    EXPECT_EQ(bytes[22], 2);                 // channels
    EXPECT_EQ(le32(bytes, 24), 48000u);      // rate
    EXPECT_EQ(bytes[34], 16);                // bits per sample
    EXPECT_EQ(le32(bytes, 40), 9600u * 4u);  // data bytes
    int16_t last = (int16_t)(bytes[bytes.size() - 2] | bytes[bytes.size() - 1] << 8);
    EXPECT_NEAR(last, 0.25 * 32767, 2);
}

TEST_F(ExportTest, TwoExportsInOneSecondGetTwoNames)
{
    record_loop(9600);
    // Retry when the clock ticks over between the two exports.
    for (int attempt = 0; attempt < 5; attempt++) {
        fs::remove_all(app->takes_folder);
        PlatLocalTime before, after;
        ASSERT_TRUE(plat_local_time(&before));
        press(SDLK_e);
        ASSERT_TRUE(wait_ends());
        press(SDLK_e);
        ASSERT_TRUE(wait_ends());
        ASSERT_TRUE(plat_local_time(&after));
        if (before.second != after.second)
            continue;
        char first[80], second[80];
        ASSERT_TRUE(loop_export_name(&before, 1, first, sizeof first));
        ASSERT_TRUE(loop_export_name(&before, 2, second, sizeof second));
        EXPECT_EQ(std::string(second).substr(std::strlen(second) - 6), "-2.wav");
        EXPECT_TRUE(fs::exists(std::string(app->takes_folder) + "/" + first));
        EXPECT_TRUE(fs::exists(std::string(app->takes_folder) + "/" + second));
        return;
    }
    FAIL() << "the clock ticked over on every attempt";
}

TEST_F(ExportTest, AnEmptyLoopHasNothingToExportAndMakesNoFolder)
{
    press(SDLK_e);
    ASSERT_TRUE(wait_ends());
    EXPECT_STREQ(last_toast().text, "NOTHING TO EXPORT");
    EXPECT_EQ(last_toast().colour, TOAST_RED);
    EXPECT_FALSE(fs::exists(app->takes_folder));
    EXPECT_EQ(app->take_count, 0);
}

TEST_F(ExportTest, AFileWhereTheTakesFolderShouldBeFailsTheExport)
{
    record_loop(9600);
    fs::create_directories(fs::path(app->takes_folder).parent_path());
    std::ofstream(app->takes_folder) << "not a folder";
    press(SDLK_e);
    ASSERT_TRUE(wait_ends());
    EXPECT_STREQ(last_toast().text, "EXPORT FAILED");
    EXPECT_EQ(last_toast().colour, TOAST_RED);
    EXPECT_EQ(app->flashes[FLASH_EXPORTED].value, 0.0f);
}

TEST_F(ExportTest, AFullDiskFailsTheExportAndLeavesNoPartialFile)
{
    record_loop(48000);
    fs::create_directories(app->takes_folder);
    ASSERT_TRUE(plat_file_fake_size_limit(4096));
    press(SDLK_e);
    ASSERT_TRUE(wait_ends());
    plat_file_fake_size_limit(-1);
    EXPECT_STREQ(last_toast().text, "EXPORT FAILED: FILE TOO LARGE");
    EXPECT_TRUE(takes().empty());
}

// Where renames that never replace are refused, a hard link puts the export in place;
// where links are refused too, a reservation of its name does; where even that fails,
// the toast says why and nothing is left behind.
TEST_F(ExportTest, WithoutNoReplaceRenamesALinkPutsTheExportInPlace)
{
    record_loop(9600);
    const struct {
        int link_err, reserved_err;
        const char* toast;
        size_t files;
    } cases[] = {{0, 0, "EXPORTED WAV", 1},
                 {EPERM, 0, "EXPORTED WAV", 2},
                 {EPERM, ENOSPC, "EXPORT FAILED: NO SPACE LEFT ON DEVICE", 2}};
    for (const auto& c : cases) {
        plat_file_fake_rename_refusals(EINVAL, c.link_err, c.reserved_err);
        press(SDLK_e);
        ASSERT_TRUE(wait_ends());
        EXPECT_STREQ(last_toast().text, c.toast);
        EXPECT_EQ(takes().size(), c.files);
        for (const std::string& name : takes())
            EXPECT_EQ(fs::file_size(fs::path(app->takes_folder) / name), 44u + 9600u * 4u) << name;
    }
}

} // namespace
