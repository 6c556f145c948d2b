// station_fixture.h - a station on air on a loopback port the system picks, fed the
// test signal the way the engine's tap feeds it.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "broadcast/tcstream.h"
#include "broadcast/tcstream_proto.h"
#include "support/tc_client.h"

// Waits (polling every millisecond) until cond holds; false after timeout_ms.
template <typename Cond>
bool wait_until(Cond cond, int timeout_ms)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The PCM16 the station must send for frame n of the test signal.
inline int16_t expected_pcm(int64_t n, int ch)
{
    return tcstream_pcm16(tc_test_signal(n, ch));
}

inline int16_t packet_sample(const TcFrame& f, int i)
{
    const uint8_t* p = f.bytes.data() + TCSTREAM_AUDIO_HEADER + 2 * i;
    return (int16_t)(uint16_t)(p[0] | p[1] << 8);
}

// True when the AUDIO frame carries frames first..first+479 of the test signal.
inline bool packet_matches(const TcFrame& f, int64_t first)
{
    if (f.bytes.size() != TCSTREAM_MAX_FRAME)
        return false;
    for (int i = 0; i < TCSTREAM_PACKET_FRAMES; i++)
        if (packet_sample(f, 2 * i) != expected_pcm(first + i, 0) ||
            packet_sample(f, 2 * i + 1) != expected_pcm(first + i, 1))
            return false;
    return true;
}

inline uint64_t packet_idx(const TcFrame& f) { return f.u64_at(20); }
inline uint32_t packet_seq(const TcFrame& f) { return f.u32_at(12); }
inline int64_t packet_ts(const TcFrame& f) { return (int64_t)f.u64_at(28); }
inline uint16_t packet_flags(const TcFrame& f) { return f.u16_at(10); }
inline std::string frame_text(const TcFrame& f) { return std::string((const char*)f.body(), f.body_size()); }

class StationTest : public ::testing::Test {
protected:
    std::unique_ptr<Station> station = std::make_unique<Station>();
    Station* s = station.get();
    int64_t next_frame = 0;   // the test signal's next frame to feed

    void SetUp() override
    {
        ASSERT_EQ(tcstream_init(s, "tessel", "Tessel", "output", "out", 0, ""), 0);
    }
    void TearDown() override { tcstream_shutdown(s); }

    void start() { ASSERT_EQ(tcstream_start(s), 0); }
    // Feeds frames of the test signal as the tap does, in blocks of block frames.
    void feed(int frames, int block = 256)
    {
        while (frames > 0) {
            int n = frames < block ? frames : block;
            std::vector<float> b = tc_test_block(next_frame, n);
            tcstream_feed(s, b.data(), n, 48000.0);
            next_frame += n;
            frames -= n;
        }
    }
    bool drained(int timeout_ms = TC_WAIT_MS)
    {
        return wait_until([&] { return s->consumed.load() + TCSTREAM_PACKET_FRAMES > s->written.load(); },
                          timeout_ms);
    }
    bool listeners(int n, int timeout_ms = TC_WAIT_MS)
    {
        return wait_until([&] { return tcstream_listener_count(s) == n; }, timeout_ms);
    }
};
