// The station on a loopback port with real listeners: greeting, audio, ping, the
// listener limit, paused and live, misbehaving peers, overflow, stop and start.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "broadcast/tcstream_internal.h"
#include "platform/plat_time.h"
#include "station_fixture.h"

namespace {

TEST_F(StationTest, ListenerIsGreetedThenGetsTheFedAudioWithItsTimeStamps)
{
    tcstream_set_latency_ns(s, 1000000);
    start();
    TcClient c(s->port);
    ASSERT_TRUE(c.connected());
    TcFrame hello;
    ASSERT_EQ(c.next(&hello, TC_WAIT_MS), 1);
    ASSERT_EQ(hello.type(), TCSTREAM_HELLO);
    std::string json = frame_text(hello);
    EXPECT_EQ(hello.n(), json.size() + 4);
    EXPECT_NE(json.find("\"sid\":\"" + std::string(s->sid) + "\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"dev\":\"" + std::string(s->dev) + "\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"latNs\":1000000,\"idx\":0,"), std::string::npos) << json;
    ASSERT_TRUE(listeners(1));

    // One push of ten packets: every packet is dated from that push, 10 ms apart.
    int64_t before = tcstream_now_ns(s);
    feed(4800, 4800);
    int64_t after = tcstream_now_ns(s);
    int64_t first_ts = 0;
    for (int k = 0; k < 10; k++) {
        TcFrame f;
        ASSERT_TRUE(c.wait_for(TCSTREAM_AUDIO, &f, TC_WAIT_MS)) << "packet " << k;
        EXPECT_EQ(packet_seq(f), (uint32_t)k);
        EXPECT_EQ(packet_idx(f), (uint64_t)k * 480);
        EXPECT_EQ(packet_flags(f), k == 0 ? TCSTREAM_FLAG_RESYNC : 0);
        EXPECT_EQ(f.u32_at(16), 480u);
        EXPECT_TRUE(packet_matches(f, k * 480)) << "packet " << k;
        if (k == 0)
            first_ts = packet_ts(f);
        EXPECT_EQ(packet_ts(f), first_ts + k * 10000000ll);
    }
    EXPECT_GE(first_ts, before + 1000000);
    EXPECT_LE(first_ts, after + 1000000);

    // Packets that straddle pushes and the ring's end arrive whole and in order.
    for (int chunk = 1; chunk < 25; chunk++) {
        feed(4800, 1000);
        for (int k = 0; k < 10; k++) {
            TcFrame f;
            ASSERT_TRUE(c.wait_for(TCSTREAM_AUDIO, &f, TC_WAIT_MS));
            int64_t first = chunk * 4800 + k * 480;
            ASSERT_EQ(packet_idx(f), (uint64_t)first);
            ASSERT_TRUE(packet_matches(f, first)) << "frame " << first;
        }
    }
}

TEST_F(StationTest, PingIsAnsweredWithTheStationClockAndShortPingsAreIgnored)
{
    start();
    TcClient c(s->port);
    ASSERT_TRUE(c.wait_for(TCSTREAM_HELLO, nullptr, TC_WAIT_MS));
    uint8_t short_body[4] = {1, 2, 3, 4};
    ASSERT_TRUE(c.send_frame(TCSTREAM_PING, short_body, sizeof short_body));
    int64_t before = tcstream_now_ns(s);
    ASSERT_TRUE(c.send_ping(0x0123456789ABCDEFull));
    TcFrame pong;
    ASSERT_EQ(c.next(&pong, TC_WAIT_MS), 1);
    int64_t after = tcstream_now_ns(s);
    ASSERT_EQ(pong.type(), TCSTREAM_PONG);
    EXPECT_EQ(pong.n(), 28u);
    EXPECT_EQ(pong.u64_at(8), 0x0123456789ABCDEFull);
    int64_t t1 = (int64_t)pong.u64_at(16), t2 = (int64_t)pong.u64_at(24);
    EXPECT_LE(before, t1);
    EXPECT_LE(t1, t2);
    EXPECT_LE(t2, after);
    EXPECT_EQ(c.next(nullptr, 50), 0);   // the short ping got no answer
}

TEST_F(StationTest, GreetingNamesTheListenerInCapitalsWithItsDevice)
{
    start();
    TcClient a(s->port), b(s->port);
    ASSERT_TRUE(a.wait_for(TCSTREAM_HELLO, nullptr, TC_WAIT_MS));
    ASSERT_TRUE(b.wait_for(TCSTREAM_HELLO, nullptr, TC_WAIT_MS));
    ASSERT_TRUE(a.send_hello("{\"an\":\"desk\",\"dev\":\"Studio\"}"));
    ASSERT_TRUE(a.send_ping(1));
    ASSERT_TRUE(a.wait_for(TCSTREAM_PONG, nullptr, TC_WAIT_MS));
    tcstream_stop(s);
    EXPECT_STREQ(s->last_listener_label, "DESK (Studio)");

    start();
    TcClient d(s->port);
    ASSERT_TRUE(d.wait_for(TCSTREAM_HELLO, nullptr, TC_WAIT_MS));
    ASSERT_TRUE(d.send_hello("{\"an\":\"desk-2\xC3\xA9\"}"));
    ASSERT_TRUE(d.send_ping(1));
    ASSERT_TRUE(d.wait_for(TCSTREAM_PONG, nullptr, TC_WAIT_MS));
    tcstream_stop(s);
    EXPECT_STREQ(s->last_listener_label, "DESK-2\xC3\xA9");
}

// Greetings are logged escaped, at most once a second per peer (the clock held still, then 2 s on):
// controls, C1 controls (U+009B, U+0085), U+2028, U+2029 and every direction mark (U+202A..U+202E,
// U+2066..U+2069) as bytes; other characters (U+00E9, U+2027) as they are.
TEST_F(StationTest, GreetingsAreLoggedEscapedAndAtMostOnceASecondPerPeer)
{
    auto l = std::make_unique<StationListener>();
    const std::string json = "{\"an\":\"a\nb\x1b[2J\xC2\x9B\xE2\x80\xA8\xE2\x80\xAE\xE2\x81\xA6\xC3\xA9"
                             "\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAC\","
                             "\"dev\":\"x\ry\xE2\x80\xA9\xE2\x81\xA9\xC2\x85\xE2\x80\xA7"
                             "\xE2\x80\xAD\xE2\x81\xA7\xE2\x81\xA8\"}";
    s->clock_start.store((int64_t)plat_time_ns() + INT64_C(1000000000000000));
    testing::internal::CaptureStderr();
    for (int i = 0; i <= 500; i++) {
        if (i == 500)
            s->clock_start.store((int64_t)plat_time_ns() - INT64_C(2000000000));
        tcstream_put_header(l->rx, (uint32_t)json.size() + 4, TCSTREAM_LISTENER_HELLO);
        std::memcpy(l->rx + 8, json.data(), json.size());
        l->rx_len = (int32_t)json.size() + 8;
        ASSERT_TRUE(tcstream_take_frames(s, l.get()));
    }
    const std::string label = "A\\x0aB\\x1b[2J\\xc2\\x9b\\xe2\\x80\\xa8\\xe2\\x80\\xae\\xe2\\x81\\xa6\xC3\xA9"
                              "\\xe2\\x80\\xaa\\xe2\\x80\\xab\\xe2\\x80\\xac "
                              "(x\\x0dy\\xe2\\x80\\xa9\\xe2\\x81\\xa9\\xc2\\x85\xE2\x80\xA7"
                              "\\xe2\\x80\\xad\\xe2\\x81\\xa7\\xe2\\x81\\xa8)";
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "tcstream: " + label + " is listening\n"
              "tcstream: " + label + " is listening (499 greetings not logged)\n");
}

TEST_F(StationTest, EightListenersAreServedAndTheNinthIsClosedAtOnce)
{
    start();
    std::vector<std::unique_ptr<TcClient>> clients;
    for (int i = 0; i < 8; i++) {
        clients.push_back(std::make_unique<TcClient>(s->port));
        ASSERT_TRUE(clients.back()->wait_for(TCSTREAM_HELLO, nullptr, TC_WAIT_MS)) << "listener " << i;
    }
    ASSERT_TRUE(listeners(8));
    TcClient ninth(s->port);
    int frames = -1;
    EXPECT_TRUE(ninth.wait_closed(TC_WAIT_MS, &frames));
    EXPECT_EQ(frames, 0);
    EXPECT_EQ(tcstream_listener_count(s), 8);

    feed(480);
    for (auto& c : clients)
        EXPECT_TRUE(c->wait_for(TCSTREAM_AUDIO, nullptr, TC_WAIT_MS));

    // A freed slot takes the next listener.
    clients[3]->close();
    ASSERT_TRUE(listeners(7));
    TcClient late(s->port);
    EXPECT_TRUE(late.wait_for(TCSTREAM_HELLO, nullptr, TC_WAIT_MS));
    EXPECT_TRUE(listeners(8));
}

TEST_F(StationTest, PausedStreamGreetsPausedAndResumesWithAResyncPastThePause)
{
    tcstream_set_live(s, 0);
    start();
    TcClient c(s->port);
    TcFrame f;
    ASSERT_EQ(c.next(&f, TC_WAIT_MS), 1);
    ASSERT_EQ(f.type(), TCSTREAM_HELLO);
    ASSERT_EQ(c.next(&f, TC_WAIT_MS), 1);
    ASSERT_EQ(f.type(), TCSTREAM_STATE);
    EXPECT_EQ(frame_text(f), "{\"state\":\"paused\"}");
    ASSERT_TRUE(listeners(1));

    // Frames pushed while paused are taken from the ring but not sent.
    feed(960);
    ASSERT_TRUE(drained());
    EXPECT_EQ(c.next(&f, 100), 0);

    int64_t resumed_at = tcstream_now_ns(s);
    tcstream_set_live(s, 1);
    ASSERT_EQ(c.next(&f, TC_WAIT_MS), 1);
    ASSERT_EQ(f.type(), TCSTREAM_STATE);
    EXPECT_EQ(frame_text(f), "{\"state\":\"live\"}");
    feed(480);
    ASSERT_EQ(c.next(&f, TC_WAIT_MS), 1);
    ASSERT_EQ(f.type(), TCSTREAM_AUDIO);
    EXPECT_EQ(packet_flags(f), TCSTREAM_FLAG_RESYNC);
    EXPECT_TRUE(packet_matches(f, 960));
    // The index counts the paused time since the start and the frames dropped in it.
    uint64_t paused_frames = (uint64_t)resumed_at * 48 / 1000000;
    EXPECT_GE(packet_idx(f), 960 + paused_frames);
    EXPECT_LE(packet_idx(f), 960 + (uint64_t)tcstream_now_ns(s) * 48 / 1000000);

    // Pausing again is announced to every listener.
    tcstream_set_live(s, 0);
    ASSERT_TRUE(c.wait_for(TCSTREAM_STATE, &f, TC_WAIT_MS));
    EXPECT_EQ(frame_text(f), "{\"state\":\"paused\"}");
}

// The pause of an earlier run is not counted again: a run that starts paused counts
// its pause from its own start.
TEST_F(StationTest, AStartWhilePausedCountsOnlyThisRunsPause)
{
    start();
    TcClient first(s->port);
    ASSERT_TRUE(first.wait_for(TCSTREAM_HELLO, nullptr, TC_WAIT_MS));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    tcstream_set_live(s, 0);
    ASSERT_TRUE(first.wait_for(TCSTREAM_STATE, nullptr, TC_WAIT_MS));
    tcstream_stop(s);

    start();
    TcClient c(s->port);
    ASSERT_TRUE(c.wait_for(TCSTREAM_STATE, nullptr, TC_WAIT_MS));
    ASSERT_TRUE(listeners(1));
    tcstream_set_live(s, 1);
    ASSERT_TRUE(c.wait_for(TCSTREAM_STATE, nullptr, TC_WAIT_MS));
    feed(480);
    TcFrame f;
    ASSERT_TRUE(c.wait_for(TCSTREAM_AUDIO, &f, TC_WAIT_MS));
    EXPECT_LE(packet_idx(f), (uint64_t)tcstream_now_ns(s) * 48 / 1000000);
}

TEST_F(StationTest, WithoutListenersTheRingIsDrainedAndTheFirstPacketIsCurrent)
{
    start();
    for (int second = 0; second < 5; second++) {
        feed(48000, 4096);
        ASSERT_TRUE(drained());
    }
    EXPECT_EQ(s->overflow.load(), 0);
    TcClient c(s->port);
    ASSERT_TRUE(c.wait_for(TCSTREAM_HELLO, nullptr, TC_WAIT_MS));
    ASSERT_TRUE(listeners(1));
    feed(480);
    TcFrame f;
    ASSERT_TRUE(c.wait_for(TCSTREAM_AUDIO, &f, TC_WAIT_MS));
    EXPECT_EQ(packet_seq(f), 0u);
    EXPECT_EQ(packet_idx(f), 240000u);
    EXPECT_TRUE(packet_matches(f, 240000));
    EXPECT_EQ(packet_flags(f), TCSTREAM_FLAG_RESYNC);
}

TEST_F(StationTest, ABlockThatDoesNotFitIsDroppedWholeAndTheNextPacketResyncs)
{
    start();
    TcClient c(s->port);
    ASSERT_TRUE(c.wait_for(TCSTREAM_HELLO, nullptr, TC_WAIT_MS));
    ASSERT_TRUE(listeners(1));
    feed(960);
    TcFrame f;
    ASSERT_TRUE(c.wait_for(TCSTREAM_AUDIO, &f, TC_WAIT_MS));
    ASSERT_TRUE(c.wait_for(TCSTREAM_AUDIO, &f, TC_WAIT_MS));
    EXPECT_EQ(packet_flags(f), 0);

    // Far more than the ring holds, faster than the thread can take it.
    std::vector<float> block = tc_test_block(0, 4096);
    for (int i = 0; i < 100; i++)
        tcstream_feed(s, block.data(), 4096, 48000.0);
    EXPECT_LT(s->written.load(), 960 + 100 * 4096);
    EXPECT_EQ(s->written.load() % 4096, 960 % 4096);   // whole blocks only
    bool resynced = false;
    while (!resynced && c.wait_for(TCSTREAM_AUDIO, &f, TC_WAIT_MS))
        resynced = packet_flags(f) & TCSTREAM_FLAG_RESYNC;
    EXPECT_TRUE(resynced);
}

// Peers that never read, send junk, announce huge frames or vanish mid-frame: each is
// dealt with alone while a good listener gets every packet's right samples and the
// tap never finds the ring full.
TEST_F(StationTest, MisbehavingPeersNeverStallTheStationOrTheTap)
{
    start();
    TcClient good(s->port), stuck(s->port, 1024), junk(s->port), huge(s->port), exact(s->port), cut(s->port);
    for (TcClient* c : {&good, &junk, &huge, &exact, &cut})
        ASSERT_TRUE(c->wait_for(TCSTREAM_HELLO, nullptr, TC_WAIT_MS));
    ASSERT_TRUE(listeners(6));

    // Junk: a wrong magic, a wrong version, a frame too short to have a header, an
    // unknown type. All ignored; the connection stays.
    const uint8_t junk_frames[] = {0, 0, 0, 4, 'X', 'C', 1, 0x11, 0, 0, 0, 4, 'T', 'C', 2, 0x11,
                                   0, 0, 0, 2, 'T', 'C', 0, 0, 0, 4, 'T', 'C', 1, 0x7F};
    ASSERT_TRUE(junk.send_raw(junk_frames, sizeof junk_frames));
    // 1,020 bytes after the length is the most a listener may send at once.
    std::vector<uint8_t> big(1024, 0);
    big[2] = 0x03;
    big[3] = 0xFC;
    std::memcpy(big.data() + 4, "TC\x01\x7F", 4);
    ASSERT_TRUE(exact.send_raw(big.data(), big.size()));
    const uint8_t too_big[] = {0, 0, 0x03, 0xFD, 'T', 'C', 1, 0x11};
    ASSERT_TRUE(huge.send_raw(too_big, sizeof too_big));
    const uint8_t half_ping[] = {0, 0, 0, 12, 'T', 'C', 1, 0x11, 0, 0};
    ASSERT_TRUE(cut.send_raw(half_ping, sizeof half_ping));
    cut.close();
    EXPECT_TRUE(huge.wait_closed(TC_WAIT_MS));
    ASSERT_TRUE(listeners(4));
    for (TcClient* c : {&junk, &exact}) {
        ASSERT_TRUE(c->send_ping(7));
        EXPECT_TRUE(c->wait_for(TCSTREAM_PONG, nullptr, TC_WAIT_MS));
    }

    // 20 s of audio at about 8 times real time, with the good listener reading.
    const int64_t total = 20 * 48000;
    std::atomic<int> bad_packets{0}, packets{0};
    std::atomic<uint64_t> last_idx{0};
    std::thread reader([&] {
        TcFrame f;
        while (good.wait_for(TCSTREAM_AUDIO, &f, TC_WAIT_MS)) {
            packets++;
            if (!packet_matches(f, (int64_t)packet_idx(f)))
                bad_packets++;
            last_idx = packet_idx(f);
            if (packet_idx(f) + 480 >= (uint64_t)total)
                break;
        }
    });
    auto t0 = std::chrono::steady_clock::now();
    while (next_frame < total) {
        feed(3840, 1920);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    reader.join();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    EXPECT_EQ(s->overflow.load(), 0);
    EXPECT_EQ(bad_packets.load(), 0);
    EXPECT_EQ(last_idx.load(), (uint64_t)(total - 480));
    EXPECT_GT(packets.load(), 1000);
    std::printf("[ figure ] 20 s of audio fed at about 8 times real time beside the peers: %.1f s\n", seconds);
    EXPECT_EQ(tcstream_listener_count(s), 4);
}

TEST_F(StationTest, StopSaysByeAtAFrameBoundaryAndClosesEveryListener)
{
    start();
    uint16_t port = s->port;
    TcClient a(port), b(port), stuck(port, 1024);
    ASSERT_TRUE(a.wait_for(TCSTREAM_HELLO, nullptr, TC_WAIT_MS));
    ASSERT_TRUE(b.wait_for(TCSTREAM_HELLO, nullptr, TC_WAIT_MS));
    ASSERT_TRUE(listeners(3));
    for (int i = 0; i < 40; i++) {
        feed(4800, 4800);
        for (TcClient* c : {&a, &b})
            for (int k = 0; k < 10; k++)
                ASSERT_TRUE(c->wait_for(TCSTREAM_AUDIO, nullptr, TC_WAIT_MS));
    }

    tcstream_stop(s);
    EXPECT_FALSE(s->thread_active.load()) << "the station thread outlived the stop's wait";
    EXPECT_FALSE(tcstream_on_air(s));
    EXPECT_EQ(tcstream_listener_count(s), 0);

    for (TcClient* c : {&a, &b}) {
        TcFrame f, last;
        int r;
        while ((r = c->next(&f, TC_WAIT_MS)) == 1)
            last = f;
        EXPECT_EQ(r, -1);
        EXPECT_EQ(last.type(), TCSTREAM_BYE);
        EXPECT_EQ(last.n(), 4u);
        EXPECT_EQ(c->pending(), 0u);
    }
    // The listener that never read sees only whole frames, with BYE (if any) last.
    TcFrame f;
    int r;
    bool bye_seen = false;
    while ((r = stuck.next(&f, TC_WAIT_MS)) == 1) {
        EXPECT_FALSE(bye_seen);
        EXPECT_EQ(std::memcmp(f.bytes.data() + 4, "TC\x01", 3), 0);
        bye_seen = f.type() == TCSTREAM_BYE;
    }
    EXPECT_EQ(r, -1);

    // Back on air on the same port, counting from the start again.
    start();
    EXPECT_EQ(s->port, port);
    TcClient again(port);
    ASSERT_TRUE(again.wait_for(TCSTREAM_HELLO, &f, TC_WAIT_MS));
    EXPECT_NE(frame_text(f).find("\"idx\":0,"), std::string::npos);
    ASSERT_TRUE(listeners(1));
    feed(480);
    ASSERT_TRUE(again.wait_for(TCSTREAM_AUDIO, &f, TC_WAIT_MS));
    EXPECT_EQ(packet_seq(f), 0u);
    EXPECT_EQ(packet_idx(f), 0u);
    EXPECT_TRUE(packet_matches(f, next_frame - 480));
}

TEST_F(StationTest, StartingTwiceKeepsOneSocketAndABusyPortIsRefused)
{
    start();
    PlatSocket first = s->listen_socket;
    EXPECT_EQ(tcstream_start(s), 0);
    EXPECT_EQ(s->listen_socket, first);

    std::unique_ptr<Station> other = std::make_unique<Station>();
    ASSERT_EQ(tcstream_init(other.get(), "tessel", "Tessel", "output", "out", s->port, ""), 0);
    EXPECT_EQ(tcstream_start(other.get()), -1);
    EXPECT_FALSE(tcstream_on_air(other.get()));
    EXPECT_EQ(other->listen_socket, PLAT_SOCKET_INVALID);

    tcstream_stop(s);
    EXPECT_EQ(tcstream_start(other.get()), 0);
    TcClient c(other->port);
    EXPECT_TRUE(c.wait_for(TCSTREAM_HELLO, nullptr, TC_WAIT_MS));
    tcstream_shutdown(other.get());
}

TEST_F(StationTest, FeedsOffAirAreIgnoredAndShutdownIsFinal)
{
    feed(960);
    EXPECT_EQ(s->written.load(), 0);
    start();
    tcstream_stop(s);
    feed(960);
    EXPECT_EQ(s->written.load(), 0);
    tcstream_shutdown(s);
    EXPECT_EQ(s->ring, nullptr);
    EXPECT_EQ(tcstream_start(s), -1);
    feed(960);
    tcstream_shutdown(s);
    tcstream_shutdown(nullptr);
    tcstream_stop(nullptr);
    EXPECT_EQ(tcstream_start(nullptr), -1);
    EXPECT_EQ(tcstream_init(nullptr, "a", "b", "c", "d", 0, ""), -1);
}

}  // namespace
