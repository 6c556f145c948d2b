// Frames as the station builds them, the greeting reader and the send queue.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "broadcast/tcstream.h"
#include "broadcast/tcstream_proto.h"
#include "broadcast/tcstream_queue.h"

namespace {

std::vector<float> constant_packet(float v)
{
    return std::vector<float>(TCSTREAM_PACKET_FRAMES * 2, v);
}

int16_t pcm_at(const uint8_t* packet, int i)
{
    const uint8_t* p = packet + TCSTREAM_AUDIO_HEADER + 2 * i;
    return (int16_t)(uint16_t)(p[0] | p[1] << 8);
}

TEST(TcstreamAudio, HeaderCarriesSequenceIndexTimeAndFlagsBigEndian)
{
    std::vector<float> f = constant_packet(0.5f);
    uint8_t out[TCSTREAM_MAX_FRAME];
    ASSERT_EQ(tcstream_build_audio(out, f.data(), 0x01020304u, 0x1122334455667788ull, 0x0102030405060708ll, true),
              1956);
    EXPECT_EQ(tcstream_get_u32(out), 1952u);
    EXPECT_EQ(std::memcmp(out + 4, "TC\x01\x02", 4), 0);
    EXPECT_EQ(out[8], 1);
    EXPECT_EQ(out[9], 2);
    EXPECT_EQ(out[10], 0);
    EXPECT_EQ(out[11], TCSTREAM_FLAG_RESYNC);
    EXPECT_EQ(tcstream_get_u32(out + 12), 0x01020304u);
    EXPECT_EQ(tcstream_get_u32(out + 16), 480u);
    EXPECT_EQ(tcstream_get_u64(out + 20), 0x1122334455667788ull);
    EXPECT_EQ(tcstream_get_u64(out + 28), 0x0102030405060708ull);
    EXPECT_EQ(pcm_at(out, 0), 16383);
    EXPECT_EQ(pcm_at(out, 959), 16383);
}

TEST(TcstreamAudio, SilenceSendsOnlyTheHeaderAndOneAudibleSampleSendsAll)
{
    uint8_t out[TCSTREAM_MAX_FRAME];
    const float edge = 1.0f / 65536.0f;
    std::vector<float> f = constant_packet(0.0f);
    f[3] = edge;
    f[4] = -edge;
    f[5] = std::numeric_limits<float>::quiet_NaN();
    ASSERT_EQ(tcstream_build_audio(out, f.data(), 7, 0, 0, false), 36);
    EXPECT_EQ(tcstream_get_u32(out), 32u);
    EXPECT_EQ(out[11], TCSTREAM_FLAG_SILENT);

    f[700] = 1.0f / 32768.0f;
    ASSERT_EQ(tcstream_build_audio(out, f.data(), 7, 0, 0, false), 1956);
    EXPECT_EQ(out[11], 0);
    EXPECT_EQ(pcm_at(out, 700), 0);   // 2^-15 truncates to 0 but still makes the packet audible
}

TEST(TcstreamAudio, SamplesAreClampedTruncatedAndNaNBecomesZero)
{
    EXPECT_EQ(tcstream_pcm16(1.5f), 32767);
    EXPECT_EQ(tcstream_pcm16(-2.0f), -32767);
    EXPECT_EQ(tcstream_pcm16(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(tcstream_pcm16(std::numeric_limits<float>::infinity()), 32767);
    EXPECT_EQ(tcstream_pcm16(0.99999f), 32766);
    EXPECT_EQ(tcstream_pcm16(-0.5f), -16383);

    std::vector<float> f = constant_packet(0.25f);
    f[0] = 1.5f;
    f[1] = -2.0f;
    f[2] = std::numeric_limits<float>::quiet_NaN();
    uint8_t out[TCSTREAM_MAX_FRAME];
    tcstream_build_audio(out, f.data(), 0, 0, 0, false);
    EXPECT_EQ(pcm_at(out, 0), 32767);
    EXPECT_EQ(pcm_at(out, 1), -32767);
    EXPECT_EQ(pcm_at(out, 2), 0);
    EXPECT_EQ(out[TCSTREAM_AUDIO_HEADER + 1], 0x7F);   // little-endian samples
}

class TcstreamHello : public ::testing::Test {
protected:
    std::unique_ptr<Station> s = std::make_unique<Station>();
    void SetUp() override
    {
        std::strcpy(s->app, "tessel");
        std::strcpy(s->an, "Tessel");
        std::strcpy(s->kind, "output");
        std::strcpy(s->tref, "out");
        std::strcpy(s->dev, "studio-pc");
        std::strcpy(s->sid, "0123abcd");
    }
};

TEST_F(TcstreamHello, GreetingIsCompactJsonInItsFixedOrder)
{
    s->lat_ns = -5;
    s->last_idx = 18446744073709551615ull;
    uint8_t out[TCSTREAM_MAX_FRAME];
    int len = tcstream_build_hello(s.get(), out, sizeof out);
    const std::string json =
        "{\"app\":\"tessel\",\"an\":\"Tessel\",\"kind\":\"output\",\"dev\":\"studio-pc\",\"sid\":\"0123abcd\","
        "\"codec\":\"pcm16\",\"ch\":2,\"rate\":48000,\"frames\":480,\"tref\":\"out\",\"latNs\":-5,"
        "\"idx\":18446744073709551615,\"os\":\"linux\"}";
    ASSERT_EQ(len, (int)json.size() + 8);
    EXPECT_EQ(tcstream_get_u32(out), json.size() + 4);
    EXPECT_EQ(out[7], TCSTREAM_HELLO);
    EXPECT_EQ(std::string((char*)out + 8, json.size()), json);
}

// A computer name may hold any byte but NUL: the greeting must stay valid JSON.
TEST_F(TcstreamHello, NamesWithQuotesBackslashesAndControlsAreEscaped)
{
    std::strcpy(s->dev, "a\"b\\c\x01");
    char json[TCSTREAM_HELLO_JSON_MAX];
    ASSERT_GT(tcstream_hello_json(s.get(), json, sizeof json), 0);
    EXPECT_NE(std::strstr(json, "\"dev\":\"a\\\"b\\\\c\\u0001\","), nullptr) << json;
}

TEST_F(TcstreamHello, EveryFieldFullStillFitsAndATooSmallBufferIsRefusedNotCut)
{
    std::memset(s->app, 'p', 31);
    std::memset(s->an, 'n', 31);
    std::memset(s->kind, 'k', 15);
    std::memset(s->dev, '"', 63);   // each doubles when escaped
    s->dev[63] = '\0';
    s->lat_ns = std::numeric_limits<int64_t>::min();
    s->last_idx = std::numeric_limits<uint64_t>::max();
    uint8_t out[TCSTREAM_MAX_FRAME];
    EXPECT_GT(tcstream_build_hello(s.get(), out, sizeof out), 320);
    char small[320];
    EXPECT_EQ(tcstream_hello_json(s.get(), small, sizeof small), -1);
    EXPECT_EQ(small[0], '\0');
}

struct GetCase {
    const char* text;
    const char* key;
    size_t out_size;
    const char* want;
};

TEST(TcstreamGreeting, ReadsStringMembersAndGivesEmptyForAnythingElse)
{
    const GetCase cases[] = {
        {"{\"an\":\"desk\",\"dev\":\"Studio\"}", "an", 32, "desk"},
        {"{\"an\":\"desk\",\"dev\":\"Studio\"}", "dev", 32, "Studio"},
        {"{ \"an\" \t: \"spaced\" }", "an", 32, "spaced"},
        {"{\"an\":\"0123456789abcdef0123456789abcdefXYZ\"}", "an", 32, "0123456789abcdef0123456789abcde"},
        {"{\"an\":42}", "an", 32, ""},
        {"{\"an\":\"unterminated", "an", 32, ""},
        {"{\"dev\":\"x\"}", "an", 32, ""},
        {"{\"an\":", "an", 32, ""},
        {"\"an\"", "an", 32, ""},          // the key must end before the last byte
        {"\"an\":\"\"", "an", 32, ""},
        {"", "an", 32, ""},
        {"{\"an\":\"a\\\"b\"}", "an", 32, "a\\"},   // no escapes: the value ends at the next quote
    };
    for (const GetCase& c : cases) {
        char out[64];
        std::memset(out, 'Z', sizeof out);
        tcstream_json_get_string(c.text, std::strlen(c.text), c.key, out, c.out_size);
        EXPECT_STREQ(out, c.want) << c.text;
    }
    // The length bounds the search: a member past it is not seen.
    const char* text = "{\"an\":\"desk\"}";
    char out[32];
    tcstream_json_get_string(text, 8, "an", out, sizeof out);
    EXPECT_STREQ(out, "");
}

// ---------------------------------------------------------------------------
// Send queue
// ---------------------------------------------------------------------------

class TcstreamQueue : public ::testing::Test {
protected:
    std::unique_ptr<StationListener> l = std::make_unique<StationListener>();
    std::vector<uint8_t> block = std::vector<uint8_t>((size_t)TCSTREAM_QUEUE_FRAMES * TCSTREAM_MAX_FRAME);

    void SetUp() override
    {
        l->queue = block.data();
        tcstream_queue_clear(l.get());
    }
    // Frame k: its first byte says k, its length is 100 + k.
    void append(int k)
    {
        std::vector<uint8_t> f((size_t)(100 + k), (uint8_t)k);
        ASSERT_TRUE(tcstream_queue_append(l.get(), f.data(), (int32_t)f.size()));
    }
    void front(int k)
    {
        std::vector<uint8_t> f((size_t)(100 + k), (uint8_t)k);
        ASSERT_TRUE(tcstream_queue_front(l.get(), f.data(), (int32_t)f.size()));
    }
    std::vector<int> order()
    {
        std::vector<int> ks;
        for (int i = 0; i < l->count; i++) {
            int k = tcstream_queue_at(l.get(), i)[0];
            EXPECT_EQ(tcstream_queue_length_at(l.get(), i), 100 + k);
            ks.push_back(k);
        }
        return ks;
    }
};

TEST_F(TcstreamQueue, FullQueueDropsTheOldestFrameNotYetStarted)
{
    for (int k = 0; k < 50; k++)
        append(k);
    append(50);
    EXPECT_EQ(order().front(), 1);
    EXPECT_EQ(order().back(), 50);
    EXPECT_EQ(l->count, 50);

    // The head is partly sent: it stays, and the frame behind it goes.
    tcstream_queue_sent(l.get(), 10);
    append(51);
    std::vector<int> ks = order();
    EXPECT_EQ(ks[0], 1);
    EXPECT_EQ(ks[1], 3);
    EXPECT_EQ(ks.back(), 51);
    EXPECT_EQ(l->head_sent, 10);
    EXPECT_EQ(tcstream_queue_at(l.get(), 0)[10], 1);   // the rest of the head is intact

    tcstream_queue_sent(l.get(), 91);   // head (101 bytes) finished
    EXPECT_EQ(order()[0], 3);
    EXPECT_EQ(l->head_sent, 0);
}

TEST_F(TcstreamQueue, FrontGoesFirstOrRightBehindAPartlySentHead)
{
    append(1);
    append(2);
    front(9);
    EXPECT_EQ(order(), (std::vector<int>{9, 1, 2}));

    tcstream_queue_sent(l.get(), 109);   // 9 gone
    tcstream_queue_sent(l.get(), 40);    // 1 partly sent
    front(8);
    EXPECT_EQ(order(), (std::vector<int>{1, 8, 2}));
    EXPECT_EQ(l->head_sent, 40);
}

TEST_F(TcstreamQueue, FrontIntoAFullQueueDropsTheLastFrame)
{
    for (int k = 0; k < 50; k++)
        append(k);
    tcstream_queue_sent(l.get(), 5);
    front(77);
    std::vector<int> ks = order();
    ASSERT_EQ(ks.size(), 50u);
    EXPECT_EQ(ks[0], 0);
    EXPECT_EQ(ks[1], 77);
    EXPECT_EQ(ks[2], 1);
    EXPECT_EQ(ks.back(), 48);
}

// A listener that falls behind loses packets, but never the news that the stream broke.
TEST_F(TcstreamQueue, ADroppedResyncPacketHandsItsFlagOn)
{
    std::vector<float> samples = constant_packet(0.5f);
    uint8_t audio[TCSTREAM_MAX_FRAME];
    auto append_audio = [&](uint32_t seq, bool resync) {
        int len = tcstream_build_audio(audio, samples.data(), seq, seq * 480ull, 0, resync);
        ASSERT_TRUE(tcstream_queue_append(l.get(), audio, len));
    };
    auto flags_at = [&](int pos) { return tcstream_queue_at(l.get(), pos)[11]; };

    append_audio(0, true);
    for (uint32_t k = 1; k < 50; k++)
        append_audio(k, false);
    append_audio(50, false);
    EXPECT_EQ(tcstream_get_u32(tcstream_queue_at(l.get(), 0) + 12), 1u);
    EXPECT_EQ(flags_at(0), TCSTREAM_FLAG_RESYNC);
    EXPECT_EQ(flags_at(1), 0);

    // Behind a partly sent head, past a PONG in the way.
    tcstream_queue_sent(l.get(), 100);
    uint8_t pong[32];
    ASSERT_TRUE(tcstream_queue_front(l.get(), pong, tcstream_build_pong(pong, 1, 2, 3)));
    uint8_t* second = tcstream_queue_at(l.get(), 2);
    second[11] |= TCSTREAM_FLAG_RESYNC;
    tcstream_queue_sent(l.get(), 1856);   // the head is done, the PONG is next
    tcstream_queue_sent(l.get(), 10);
    append_audio(51, false);              // full again
    append_audio(52, false);              // drops frame 2, behind the PONG
    EXPECT_EQ(tcstream_queue_at(l.get(), 0)[7], TCSTREAM_PONG);
    EXPECT_EQ(tcstream_get_u32(tcstream_queue_at(l.get(), 1) + 12), 3u);
    EXPECT_EQ(flags_at(1), TCSTREAM_FLAG_RESYNC);

    // The last frame dropped by a PONG: the next AUDIO queued takes the flag.
    tcstream_queue_clear(l.get());
    for (uint32_t k = 0; k < 49; k++)
        append_audio(k, false);
    append_audio(49, true);
    ASSERT_TRUE(tcstream_queue_front(l.get(), pong, tcstream_build_pong(pong, 1, 2, 3)));
    tcstream_queue_sent(l.get(), 32);
    tcstream_queue_sent(l.get(), 1956);
    append_audio(60, false);
    EXPECT_EQ(flags_at(l->count - 1), TCSTREAM_FLAG_RESYNC);
    append_audio(61, false);
    EXPECT_EQ(flags_at(l->count - 1), 0);
}

TEST_F(TcstreamQueue, FramesOutsideOneToOneSlotAreNotQueued)
{
    uint8_t big[TCSTREAM_MAX_FRAME + 1] = {};
    EXPECT_FALSE(tcstream_queue_append(l.get(), big, 0));
    EXPECT_FALSE(tcstream_queue_append(l.get(), big, TCSTREAM_MAX_FRAME + 1));
    EXPECT_FALSE(tcstream_queue_front(l.get(), big, TCSTREAM_MAX_FRAME + 1));
    EXPECT_TRUE(tcstream_queue_append(l.get(), big, TCSTREAM_MAX_FRAME));
    EXPECT_EQ(l->count, 1);
}

}  // namespace
