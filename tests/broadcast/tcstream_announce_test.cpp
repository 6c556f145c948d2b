// The announcement on the local network: the instance name and TXT record, cut at whole
// characters to their limits, the outcome callbacks, and announcing with no DNS-SD
// daemon. Multicast DNS itself is not exercised here: these machines run no daemon.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "broadcast/tcstream.h"
#include "broadcast/tcstream_internal.h"
#include "station_fixture.h"

namespace {

const std::string DOT = "\xC2\xB7";

std::string repeat(const std::string& s, int n)
{
    std::string r;
    for (int i = 0; i < n; i++)
        r += s;
    return r;
}

// True when text is well-formed UTF-8 (no character cut in two).
bool whole_utf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        unsigned char c = (unsigned char)text[i];
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > text.size())
            return false;
        for (size_t k = 1; k < n; k++)
            if (((unsigned char)text[i + k] & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

std::string instance(const std::string& an, const std::string& dev)
{
    char out[128];
    int n = tcstream_instance_name(an.c_str(), dev.c_str(), out, sizeof out);
    EXPECT_EQ(n, (int)std::strlen(out));
    return out;
}

TEST(StationAnnounce, InstanceNameJoinsTheNamesAndCutsTheComputerNameToOneLabel)
{
    EXPECT_EQ(instance("Tessel", "studio-pc"), "Tessel " + DOT + " studio-pc");

    // 31 + 4 separator bytes leave 28 bytes of a 40-byte computer name.
    std::string an(31, 'a');
    EXPECT_EQ(instance(an, std::string(40, 'd')), an + " " + DOT + " " + std::string(28, 'd'));
    EXPECT_EQ(instance(an, std::string(40, 'd')).size(), 63u);

    // A computer name over 47 bytes is first cut to 47.
    EXPECT_EQ(instance("T", std::string(60, 'd')), "T " + DOT + " " + std::string(47, 'd'));

    // Two- and three-byte characters are cut whole, never in half.
    std::string two = instance(an, repeat("\xC3\xA9", 30));
    EXPECT_EQ(two, an + " " + DOT + " " + repeat("\xC3\xA9", 14));
    std::string three = instance(an, repeat("\xE2\x82\xAC", 20));
    EXPECT_EQ(three, an + " " + DOT + " " + repeat("\xE2\x82\xAC", 9));
    EXPECT_TRUE(whole_utf8(three));

    // An announced name that alone would overflow the label is cut too.
    std::string long_an = instance(repeat("\xE2\x82\xAC", 40), "pc");
    EXPECT_LE(long_an.size(), 63u);
    EXPECT_TRUE(whole_utf8(long_an)) << long_an;
}

TEST(StationAnnounce, TxtRecordRepeatsTheGreetingsFactsInOrder)
{
    auto s = std::make_unique<Station>();
    ASSERT_EQ(tcstream_init(s.get(), "tessel", "Tessel", "output", "out", 0, ""), 0);
    std::snprintf(s->dev, sizeof s->dev, "studio-pc");
    std::snprintf(s->sid, sizeof s->sid, "0123abcd");
    StationTxt t;
    tcstream_txt_build(s.get(), &t);
    std::string record;
    for (int i = 0; i < TCSTREAM_TXT_PAIRS; i++)
        record += std::string(t.keys[i]) + "=" + t.values[i] + ";";
    EXPECT_EQ(record, "tc=1;v=1;app=tessel;an=Tessel;kind=output;dev=studio-pc;sid=0123abcd;codec=pcm16;ch=2;"
                      "rate=48000;os=linux;");
    tcstream_shutdown(s.get());
}

TEST(StationAnnounce, TxtValuesAreCutAtWholeCharactersToFitOneString)
{
    char out[TCSTREAM_TXT_STRING_MAX + 1];
    tcstream_txt_value("dev", std::string(300, 'x').c_str(), out, sizeof out);
    EXPECT_EQ(std::strlen(out), 251u);   // "dev=" and 251 bytes: 255
    tcstream_txt_value("dev", repeat("\xE2\x82\xAC", 100).c_str(), out, sizeof out);
    EXPECT_EQ(std::string(out), repeat("\xE2\x82\xAC", 83));
    // A small buffer bounds the value as well.
    char small[5];
    tcstream_txt_value("an", repeat("\xC3\xA9", 10).c_str(), small, sizeof small);
    EXPECT_EQ(std::string(small), repeat("\xC3\xA9", 2));
}

TEST(StationAnnounce, OutcomesSetAdvertisedAndADaemonThatGoesAwayClearsIt)
{
    auto s = std::make_unique<Station>();
    tcstream_on_registered(s.get(), 1, "");
    EXPECT_EQ(s->advertised.load(), 1);
    tcstream_on_registered(s.get(), 0, "daemon not running");
    EXPECT_EQ(s->advertised.load(), 0);
}

// With no DNS-SD daemon to reach, going on air still succeeds: one log line, nothing
// advertised, and listeners that know the port are served.
TEST_F(StationTest, WithoutADnssdDaemonTheStationServesUnannounced)
{
    const char* had = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    std::string saved = had ? had : "";
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tessel-test-bus", 1);
    testing::internal::CaptureStderr();
    start();
    std::string log = testing::internal::GetCapturedStderr();
    if (had)
        setenv("DBUS_SYSTEM_BUS_ADDRESS", saved.c_str(), 1);
    else
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");

    EXPECT_NE(log.find("tcstream: DNS-SD register: "), std::string::npos) << log;
    EXPECT_NE(log.find("tcstream: station Tessel on :"), std::string::npos) << log;
    EXPECT_EQ(s->register_request, nullptr);
    EXPECT_EQ(s->advertised.load(), 0);
    TcClient c(s->port);
    ASSERT_TRUE(c.wait_for(TCSTREAM_HELLO, nullptr, TC_WAIT_MS));
    ASSERT_TRUE(listeners(1));
    tcstream_stop(s);
    EXPECT_EQ(s->advertised.load(), 0);
    // And again: each start tries anew, each stop is clean.
    start();
    EXPECT_EQ(s->register_request, nullptr);
}

}  // namespace
