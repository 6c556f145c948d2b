// The station id file: drawn once and kept, reused, moved from the older name, and
// damaged or hostile contents in the data folder.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "broadcast/tcstream.h"
#include "broadcast/tcstream_internal.h"

namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void put(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

bool is_sid(const std::string& s)
{
    if (s.size() != 8)
        return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

class StationId : public ::testing::Test {
protected:
    std::string dir;
    std::string file() const { return dir + "/stream.tessel.sid"; }
    std::string old_file() const { return dir + "/stream.sid"; }

    void SetUp() override
    {
        std::random_device rd;
        dir = (fs::temp_directory_path() / ("tessel-sid-" + std::to_string(rd()) + std::to_string(rd()))).string();
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    // The id a station started on folder d gets.
    std::string sid_for(const std::string& d)
    {
        auto s = std::make_unique<Station>();
        std::snprintf(s->app, sizeof s->app, "tessel");
        tcstream_station_id(s.get(), d.c_str());
        return s->sid;
    }
};

TEST_F(StationId, FirstRunDrawsAnIdKeepsItAndLaterRunsReuseIt)
{
    std::string data = dir + "/TideCoil";   // not there yet: made on the way
    std::string first = sid_for(data);
    ASSERT_TRUE(is_sid(first)) << first;
    EXPECT_EQ(slurp(data + "/stream.tessel.sid"), first + "\n");
    EXPECT_EQ(sid_for(data), first);
    EXPECT_EQ(sid_for(data), first);
    // Another data folder is another station.
    EXPECT_NE(sid_for(dir + "/other"), first);
    // No temporary file is left behind.
    int entries = 0;
    for (auto& e : fs::directory_iterator(data))
        entries += e.path().filename() != "stream.tessel.sid";
    EXPECT_EQ(entries, 0);
}

TEST_F(StationId, TheWholeStationTakesItsIdFromTheDataFolder)
{
    put(file(), "89abcdef\n");
    auto s = std::make_unique<Station>();
    ASSERT_EQ(tcstream_init(s.get(), "tessel", "Tessel", "output", "out", 0, dir.c_str()), 0);
    EXPECT_STREQ(s->sid, "89abcdef");
    tcstream_shutdown(s.get());
}

TEST_F(StationId, AnIdOnlyInTheOlderFileMovesToTheNewName)
{
    put(old_file(), "0123abcd\n");
    EXPECT_EQ(sid_for(dir), "0123abcd");
    EXPECT_EQ(slurp(file()), "0123abcd\n");
    EXPECT_FALSE(fs::exists(old_file()));

    // A damaged new file with a good older one: the older id wins and moves.
    put(file(), "zzzz\n");
    put(old_file(), "fedcba98\n");
    EXPECT_EQ(sid_for(dir), "fedcba98");
    EXPECT_EQ(slurp(file()), "fedcba98\n");
    EXPECT_FALSE(fs::exists(old_file()));

    // A good new file: the older one is neither read nor removed.
    put(old_file(), "11111111\n");
    EXPECT_EQ(sid_for(dir), "fedcba98");
    EXPECT_TRUE(fs::exists(old_file()));
}

TEST_F(StationId, TheOlderFileStaysWhenTheIdCannotBeKeptUnderTheNewName)
{
    fs::create_directory(file());   // a folder where the file belongs
    put(old_file(), "0123abcd\n");
    EXPECT_EQ(sid_for(dir), "0123abcd");
    EXPECT_EQ(slurp(old_file()), "0123abcd\n");
    EXPECT_TRUE(fs::is_directory(file()));
    EXPECT_EQ(sid_for(dir), "0123abcd");   // and the id survives the next run too
}

TEST_F(StationId, OnlyEightLowerCaseHexDigitsAtTheStartMakeAValidFile)
{
    struct Case {
        std::string bytes;
        bool valid;
    } cases[] = {
        {"0123abcd\n", true},
        {"0123abcd", true},                             // no line break
        {"0123abcdTRAILING junk\r\nmore\n", true},      // what follows is not looked at
        {"0123abcd" + std::string(1 << 20, 'x'), true}, // a huge file: only its start is read
        {"0123ABCD\n", false},
        {"0123abc\n", false},
        {" 0123abcd\n", false},
        {"", false},
        {std::string("0123\0abcd", 9), false},
        {"\xff\xfe\x00\x01garbage", false},
    };
    for (const Case& c : cases) {
        put(file(), c.bytes);
        char sid[9] = "unset!!!";
        EXPECT_EQ(tcstream_read_sid(file().c_str(), sid), c.valid ? 1 : 0) << c.bytes.substr(0, 40);
        EXPECT_STREQ(sid, c.valid ? "0123abcd" : "unset!!!");
        std::string got = sid_for(dir);
        if (c.valid) {
            EXPECT_EQ(got, "0123abcd");
        } else {
            // A new id is drawn and written over the damaged file.
            EXPECT_TRUE(is_sid(got)) << got;
            EXPECT_EQ(slurp(file()), got + "\n");
        }
    }
}

TEST_F(StationId, AFifoOrAFolderUnderTheNameNeverBlocksAndIsNeverTakenForAnId)
{
    // A FIFO under the new name: not opened for reading (it would hang); the drawn id
    // replaces it with a regular file.
    ASSERT_EQ(mkfifo(file().c_str(), 0600), 0);
    char sid[9] = "unset!!!";
    EXPECT_EQ(tcstream_read_sid(file().c_str(), sid), 0);
    std::string got = sid_for(dir);
    ASSERT_TRUE(is_sid(got));
    EXPECT_TRUE(fs::is_regular_file(file()));
    EXPECT_EQ(sid_for(dir), got);

    // A FIFO under the older name is ignored and left alone.
    fs::remove(file());
    ASSERT_EQ(mkfifo(old_file().c_str(), 0600), 0);
    EXPECT_TRUE(is_sid(sid_for(dir)));
    EXPECT_TRUE(fs::is_fifo(old_file()));

    // A folder under the new name: the id is drawn for this run and not kept.
    fs::remove(file());
    fs::create_directory(file());
    EXPECT_TRUE(is_sid(sid_for(dir)));
    EXPECT_TRUE(fs::is_directory(file()));
}

TEST_F(StationId, WithoutAUsableDataFolderTheIdLastsOneRun)
{
    EXPECT_TRUE(is_sid(sid_for("")));
    // The data folder's name is taken by a file.
    put(dir + "/blocked", "x");
    EXPECT_TRUE(is_sid(sid_for(dir + "/blocked")));
    EXPECT_EQ(slurp(dir + "/blocked"), "x");
    // A data folder whose file names would not fit.
    std::string deep = dir + "/" + std::string(200, 'd');
    for (int i = 0; i < 20; i++)
        deep += "/" + std::string(200, 'd');
    EXPECT_TRUE(is_sid(sid_for(deep)));
}

}  // namespace
