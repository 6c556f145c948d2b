// Loop export while the loop length changes underneath: header and data must agree.
#include <gtest/gtest.h>

#include <thread>

#include "audio/loop_file.h"
#include "media_fixture.h"

static uint32_t le32_at(const std::vector<uint8_t>& b, size_t at)
{
    return (uint32_t)b[at] | (uint32_t)b[at + 1] << 8 | (uint32_t)b[at + 2] << 16 | (uint32_t)b[at + 3] << 24;
}

TEST(LoopExportThreads, HeaderAndDataAgreeWhileTheLengthChanges)
{
    fixture::TempDir dir;
    fixture::LoopEngine eng;
    ASSERT_NE(eng.e, nullptr);
    eng.e->length.store(1000);
    // Changes the length until the end of the test, however it ends.
    struct Resizer {
        std::atomic<bool> stop{false};
        std::thread t;
        explicit Resizer(Engine* e)
            : t([this, e] {
                  const int32_t lengths[3] = {1000, 30000, 5};
                  for (int i = 0; !stop.load(); i++)
                      e->length.store(lengths[i % 3]);
              })
        {
        }
        ~Resizer()
        {
            stop.store(true);
            t.join();
        }
    } resizer(eng.e);
    std::string a = dir.file("a.wav"), b = dir.file("b.wav");
    for (int round = 0; round < 30; round++) {
        ASSERT_TRUE(loop_write_wav16(eng.e, a.c_str()));
        ASSERT_TRUE(loop_write_wav_float(eng.e, b.c_str()));
        std::vector<uint8_t> fa = fixture::read_file(a), fb = fixture::read_file(b);
        ASSERT_EQ(le32_at(fa, 40) + 44u, fa.size());
        ASSERT_EQ(le32_at(fa, 4) + 8u, fa.size());
        ASSERT_EQ(le32_at(fb, 42) + 46u, fb.size());
        ASSERT_EQ(le32_at(fb, 4) + 8u, fb.size());
    }
}
