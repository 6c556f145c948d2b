// The reader thread against the UI thread: stopping inside a long decode, a stop that
// does not wait, results dropped when the queue is full, and takes switched while the
// reader works.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>

#include "audio/preview.h"
#include "audio/sample_buffer.h"
#include "library/library.h"
#include "support/library_kit.h"
#include "support/test_wait.h"

namespace {

// A 16-bit mono WAV whose data chunk holds nearly 4 GiB of silence, stored sparse:
// two billion frames to decode, no disk used.
std::string huge_wav(const LibraryKit& kit)
{
    std::string path = kit.path("huge.wav");
    const uint32_t data = 0xFFFFFF00u;
    uint8_t h[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                     1, 0, 1, 0, 0x80, 0xBB, 0, 0, 0, 0x77, 1, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a'};
    uint32_t riff = data + 36;
    std::memcpy(h + 4, &riff, 4);
    std::memcpy(h + 40, &data, 4);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return "";
    std::fwrite(h, 1, sizeof h, f);
    std::fclose(f);
    if (truncate(path.c_str(), (off_t)sizeof h + data) != 0)
        return "";
    return path;
}

// The destroy cancels the decode: the reader ends within the destroy's own wait (else it
// says it is still decoding) and frees its record.
TEST(LibraryReaderThreads, DestroyInsideALongDecodeCancelsIt)
{
    LibraryKit kit;
    std::string huge = huge_wav(kit);
    ASSERT_FALSE(huge.empty());
    const int32_t alive = library_reader_alive();
    Library* lib = library_create();
    ASSERT_NE(lib, nullptr);
    ASSERT_TRUE(library_add_file(lib, huge.c_str(), false));
    // The decode under way (two billion frames: far from done).
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    library_update(lib, 1.0, 0.3f);
    EXPECT_EQ(lib->done, 0);
    EXPECT_FALSE(lib->items[0].ready || lib->items[0].failed);
    ::testing::internal::CaptureStderr();
    library_destroy(lib);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("still decoding"), std::string::npos) << err;
    EXPECT_TRUE(test_wait_until([&] { return library_reader_alive() == alive; })) << "the reader never ended";
}

TEST(LibraryReaderThreads, AStopThatDoesNotWaitLeavesTheThreadToFreeItsRecord)
{
    LibraryKit kit;
    std::string huge = huge_wav(kit);
    std::string small = kit.wav("small.wav", 480);
    LibraryReader* r = library_reader_start();
    ASSERT_NE(r, nullptr);
    ASSERT_TRUE(library_reader_request(r, LIBRARY_READ_LOAD, small.c_str(), false));
    ASSERT_TRUE(library_reader_request(r, LIBRARY_READ_SUMMARY, huge.c_str(), false));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // The thread still decodes: the record (with the load result still queued) is freed
    // by the thread when the cancel reaches it, not here under its feet. The address
    // sanitizer would see a use after free, the leak checker a record never freed.
    const int32_t alive = library_reader_alive();
    ASSERT_GE(alive, 1);
    library_reader_stop(r, 0);
    test_wait_until([&] { return library_reader_alive() == alive - 1; }, [] {}, 5);
    EXPECT_EQ(library_reader_alive(), alive - 1);
}

TEST(LibraryReaderThreads, AFullResultQueueDropsResultsAndFreesTheirSamples)
{
    LibraryKit kit;
    std::string small = kit.wav("small.wav", 480);
    LibraryReader* r = library_reader_start();
    ASSERT_NE(r, nullptr);
    auto request_and_wait_full = [&](int loads) {   // the queue full and the next result held back
        for (int i = 0; i < loads; i++)
            ASSERT_TRUE(library_reader_request(r, LIBRARY_READ_LOAD, small.c_str(), false));
        bool holding = false;
        test_wait_until([&] { return library_reader_waiting(r, &holding) >= LIBRARY_RESULTS && holding; });
        ASSERT_TRUE(holding);
    };
    request_and_wait_full(LIBRARY_RESULTS + 36);
    static ReadResult out[LIBRARY_RESULTS + 36];
    int32_t n = library_reader_take(r, out, LIBRARY_RESULTS + 36);
    EXPECT_EQ(n, LIBRARY_RESULTS);
    for (int32_t i = 0; i < n; i++) {
        EXPECT_TRUE(out[i].ok);
        ASSERT_NE(out[i].buffer, nullptr);
        EXPECT_EQ(out[i].buffer->frames, 480);
        sample_buffer_destroy(out[i].buffer);
    }
    test_wait_until([&] { return n >= LIBRARY_RESULTS + 36; }, [&] {   // the rest, none lost
        int32_t m = library_reader_take(r, out, LIBRARY_RESULTS);
        for (int32_t i = 0; i < m; i++)
            sample_buffer_destroy(out[i].buffer);
        n += m;
    });
    EXPECT_EQ(n, LIBRARY_RESULTS + 36);
    request_and_wait_full(LIBRARY_RESULTS + 1);   // stopped with it full: held and queued results are freed
    EXPECT_TRUE(library_reader_stop(r, TEST_WAIT_SECONDS * 1000));
}

TEST(LibraryReaderThreads, TakesSwitchedWhileTheReaderWorksEndOnTheLastPick)
{
    // 20 summaries and 40 loads: however fast the reader, its queue of 64 results
    // never overflows (a full queue drops results, as it should), so every summary
    // and the last load arrive.
    const int kFiles = 20, kPicks = 40;
    static_assert(kFiles + kPicks <= LIBRARY_RESULTS);
    LibraryKit kit;
    LibraryWithPlayer with;
    Library* lib = with.lib;
    ASSERT_NE(lib, nullptr);
    std::vector<std::string> files;
    for (int i = 0; i < kFiles; i++)
        files.push_back(kit.wav("take-" + std::to_string(i) + ".wav", 480 + 10 * i));
    for (const std::string& f : files)
        ASSERT_TRUE(library_add_file(lib, f.c_str(), false));
    // Switch takes every frame while summaries and loads cross on the reader.
    double now = 1.0;
    for (int i = 0; i < kPicks; i++) {
        library_play_item(lib, &lib->items[library_find_item(lib, files[(size_t)(i * 7 % kFiles)].c_str())]);
        now += 1.0 / 60.0;
        library_update(lib, now, 1.0f / 60.0f);
    }
    const int last = (kPicks - 1) * 7 % kFiles;
    ASSERT_TRUE(library_kit_pump(lib, [&] { return lib->queued == 0 && !lib->loading; }));
    for (int i = 0; i < lib->count; i++)
        EXPECT_TRUE(lib->items[i].ready) << lib->items[i].path;
    EXPECT_STREQ(lib->loaded_path, files[(size_t)last].c_str());
    ASSERT_NE(with.player.pending.load(), nullptr);
    EXPECT_EQ(with.player.pending.load()->frames, 480 + 10 * last);
}

} // namespace
