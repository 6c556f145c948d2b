// Device identity: the UTF-8 decoder and bounded copy, API words, device names and
// keys, the key hash and the default input mix.
#include "platform/plat_text.h"
#include "rig/json_utf8.h"
#include "rig/rig_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

const uint32_t kBad = 0xFFFFFFFFu;

// ---- Decoder -------------------------------------------------------------------

// The well-formed byte sequences as the Unicode standard tabulates them: lead byte
// range, allowed range of the second byte, and sequence length. Every later byte is
// 80..BF.
struct WellFormedRow {
    unsigned lead_lo, lead_hi, second_lo, second_hi;
    int len;
};
const WellFormedRow kWellFormed[] = {
    {0x00, 0x7F, 0, 0, 1},          {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3},
    {0xE1, 0xEC, 0x80, 0xBF, 3},    {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3},
    {0xF0, 0xF0, 0x90, 0xBF, 4},    {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
};

// What a decode of b[0..n) must give: the length of the maximal subpart (the longest
// prefix that can still begin a well-formed sequence, at least 1) and whether it is a
// complete sequence.
struct Expected {
    int consumed;
    bool valid;
};

Expected expected_decode(const unsigned char* b, int n)
{
    for (const WellFormedRow& row : kWellFormed) {
        if (b[0] < row.lead_lo || b[0] > row.lead_hi)
            continue;
        for (int i = 1; i < row.len; i++) {
            unsigned lo = i == 1 ? row.second_lo : 0x80, hi = i == 1 ? row.second_hi : 0xBF;
            if (i >= n || b[i] < lo || b[i] > hi)
                return {i, false};
        }
        return {row.len, true};
    }
    return {1, false};
}

// Decodes b[0..n) and compares with the table; a valid result must also encode back
// to the very same bytes. Returns false on any difference.
bool decode_matches_table(const unsigned char* b, int n)
{
    uint32_t cp = 0;
    int got = json_utf8_decode(b, n, &cp);
    Expected want = expected_decode(b, n);
    if (got != want.consumed || (cp != kBad) != want.valid)
        return false;
    if (!want.valid)
        return true;
    unsigned char again[4];
    return json_utf8_encode(cp, again) == got && std::memcmp(again, b, (size_t)got) == 0;
}

std::string hex(const unsigned char* b, int n)
{
    std::string s;
    char part[4];
    for (int i = 0; i < n; i++) {
        std::snprintf(part, sizeof part, "%02X ", b[i]);
        s += part;
    }
    return s;
}

TEST(Utf8Decode, EveryScalarValueRoundTripsAtItsLength)
{
    int failures = 0;
    unsigned char buf[4];
    for (uint32_t cp = 0; cp <= 0x10FFFF && failures < 5; cp++) {
        int n = json_utf8_encode(cp, buf);
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            if (n != 0) {
                ADD_FAILURE() << "surrogate encoded: " << std::hex << cp;
                failures++;
            }
            continue;
        }
        int want_len = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        uint32_t back = 0;
        if (n != want_len || json_utf8_decode(buf, n, &back) != n || back != cp) {
            ADD_FAILURE() << "code point " << std::hex << cp << " bytes " << hex(buf, n);
            failures++;
        }
    }
    EXPECT_EQ(json_utf8_encode(0x110000, buf), 0);
    EXPECT_EQ(json_utf8_encode(0xFFFFFFFFu, buf), 0);
}

TEST(Utf8Decode, EveryTwoAndThreeByteSequenceFollowsTheWellFormedTable)
{
    int failures = 0;
    unsigned char b[4] = {0, 0, 0, 0};
    for (unsigned lead = 0; lead < 256; lead++) {
        b[0] = (unsigned char)lead;
        if (!decode_matches_table(b, 1) && failures++ < 5)
            ADD_FAILURE() << "1 byte: " << hex(b, 1);
        for (unsigned second = 0; second < 256; second++) {
            b[1] = (unsigned char)second;
            if (!decode_matches_table(b, 2) && failures++ < 5)
                ADD_FAILURE() << "2 bytes: " << hex(b, 2);
            if (lead < 0xE0 || lead > 0xEF)
                continue;
            for (unsigned third = 0; third < 256; third++) {
                b[2] = (unsigned char)third;
                if (!decode_matches_table(b, 3) && failures++ < 5)
                    ADD_FAILURE() << "3 bytes: " << hex(b, 3);
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST(Utf8Decode, FourByteLeadsFollowTheTableForBoundaryContinuations)
{
    // Every lead and second byte, with later bytes at and around the continuation
    // range's edges, whole and cut short by one byte.
    const unsigned char edges[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0xBF, 0xC0, 0xFF};
    int failures = 0;
    unsigned char b[4];
    for (unsigned lead = 0xC0; lead < 256; lead++)
        for (unsigned second = 0; second < 256; second++)
            for (unsigned char third : edges)
                for (unsigned char fourth : edges) {
                    b[0] = (unsigned char)lead;
                    b[1] = (unsigned char)second;
                    b[2] = third;
                    b[3] = fourth;
                    for (int n = 3; n <= 4; n++)
                        if (!decode_matches_table(b, n) && failures++ < 5)
                            ADD_FAILURE() << n << " bytes: " << hex(b, n);
                }
    EXPECT_EQ(failures, 0);
}

TEST(Utf8Decode, KnownSequences)
{
    struct Case {
        std::vector<unsigned char> bytes;
        int consumed;
        uint32_t cp;
    };
    const Case cases[] = {
        {{0xF0, 0x9F, 0x98, 0x80}, 4, 0x1F600},
        {{0xC3, 0xA9}, 2, 0xE9},
        {{0xE2, 0x82, 0xAC}, 3, 0x20AC},
        {{0xF4, 0x8F, 0xBF, 0xBF}, 4, 0x10FFFF},
        {{0xE0, 0x80}, 1, kBad},                // overlong
        {{0xED, 0xA0, 0x80}, 1, kBad},          // surrogate
        {{0xE2, 0x82, 'A'}, 2, kBad},           // cut by an ASCII byte
        {{0xC3}, 1, kBad},                      // ends early
        {{0x80}, 1, kBad},
        {{0xFF}, 1, kBad},
    };
    for (const Case& c : cases) {
        uint32_t cp = 0;
        EXPECT_EQ(json_utf8_decode(c.bytes.data(), (int)c.bytes.size(), &cp), c.consumed)
            << hex(c.bytes.data(), (int)c.bytes.size());
        EXPECT_EQ(cp, c.cp) << hex(c.bytes.data(), (int)c.bytes.size());
    }
}

TEST(Utf8Decode, NothingAvailableConsumesNothing)
{
    const unsigned char a[] = {'a'};
    uint32_t cp = 7;
    EXPECT_EQ(json_utf8_decode(a, 0, &cp), 0);
    EXPECT_EQ(cp, kBad);
    EXPECT_EQ(json_utf8_decode(a, -5, &cp), 0);
    EXPECT_EQ(json_utf8_decode(nullptr, 4, &cp), 0);
}

// ---- Bounded copy --------------------------------------------------------------

// Splits valid UTF-8 into the byte offsets where its characters end.
std::vector<int> char_ends(const std::string& s)
{
    std::vector<int> ends;
    int i = 0;
    while (i < (int)s.size()) {
        uint32_t cp = 0;
        int n = json_utf8_decode((const unsigned char*)s.data() + i, (int)s.size() - i, &cp);
        if (n < 1 || cp == kBad)
            return {};
        i += n;
        ends.push_back(i);
    }
    return ends;
}

TEST(Utf8Copy, CutsBeforeACharacterThatDoesNotFitAndRepairsInvalidBytes)
{
    char out[16];
    EXPECT_EQ(rig_utf8_copy(out, 4, "a\xC3\xA9\xE2\x82\xAC"), 3);
    EXPECT_STREQ(out, "a\xC3\xA9");
    EXPECT_EQ(rig_utf8_copy(out, sizeof out, "x\xFFy"), 5);
    EXPECT_STREQ(out, "x\xEF\xBF\xBDy");
    // A U+FFFD that does not fit ends the copy; the shorter 'z' after it is not tried.
    EXPECT_EQ(rig_utf8_copy(out, 4, "ab\x80z"), 2);
    EXPECT_STREQ(out, "ab");
    EXPECT_EQ(rig_utf8_copy(out, 1, "abc"), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(rig_utf8_copy(out, sizeof out, nullptr), 0);
    EXPECT_STREQ(out, "");
    out[0] = 'q';
    EXPECT_EQ(rig_utf8_copy(out, 0, "abc"), 0);
    EXPECT_EQ(out[0], 'q');
    EXPECT_EQ(rig_utf8_copy(nullptr, 8, "abc"), 0);
}

TEST(Utf8Copy, RandomTextsAreCutAtWholeCharactersWithinTheSize)
{
    std::mt19937 rng(20240611);
    // Bytes weighted towards lead and continuation bytes, so that texts mix valid
    // characters of every length with broken and cut sequences.
    const unsigned char pool[] = {'a', ' ', 0x7F, 0x80, 0x8F, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2,
                                  0xC3, 0xDF, 0xE0, 0xE2, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
    const int guard = 8;
    for (int iter = 0; iter < 20000; iter++) {
        std::string src;
        int len = (int)(rng() % 24);
        for (int i = 0; i < len; i++)
            src += (char)pool[rng() % sizeof pool];
        char whole[128];
        int whole_len = rig_utf8_copy(whole, sizeof whole, src.c_str());
        std::string full(whole, (size_t)whole_len);
        std::vector<int> ends = char_ends(full);
        ASSERT_TRUE(full.empty() || !ends.empty()) << "copy is not valid UTF-8";

        int size = 1 + (int)(rng() % 20);
        std::vector<unsigned char> dst((size_t)(size + guard), 0xAA);
        int n = rig_utf8_copy((char*)dst.data(), size, src.c_str());
        ASSERT_LE(n, size - 1);
        ASSERT_EQ(dst[(size_t)n], 0);
        for (int i = size; i < size + guard; i++)
            ASSERT_EQ(dst[(size_t)i], 0xAA) << "written past the size";
        // A prefix of the whole copy, ending at one of its character ends, and the
        // next character would not have fitted.
        ASSERT_EQ(std::string((char*)dst.data(), (size_t)n), full.substr(0, (size_t)n));
        int next_end = whole_len;
        for (int e : ends) {
            if (e > n) {
                next_end = e;
                break;
            }
        }
        bool at_end = n == 0 || std::find(ends.begin(), ends.end(), n) != ends.end();
        ASSERT_TRUE(at_end) << "cut inside a character";
        if (n < whole_len) {
            ASSERT_GT(next_end, size - 1) << "stopped although the next character fits";
        }
    }
}

// ---- API words -----------------------------------------------------------------

TEST(ApiName, KnownTypesHaveWordsOthersAreNumbered)
{
    char out[16];
    const struct {
        int id;
        const char* word;
    } cases[] = {{1, "ds"},       {2, "mme"},   {3, "asio"},  {5, "coreaudio"}, {8, "alsa"},
                 {11, "wdmks"},   {12, "jack"}, {13, "wasapi"}, {4, "api4"},    {-1, "api-1"},
                 {0, "api0"}};
    for (const auto& c : cases) {
        EXPECT_EQ(rig_api_name(c.id, out, sizeof out), (int)std::strlen(c.word));
        EXPECT_STREQ(out, c.word);
    }
    EXPECT_EQ(rig_api_name(5, out, 4), 3);
    EXPECT_STREQ(out, "cor");
    EXPECT_EQ(rig_api_name(-2147483647 - 1, out, 8), 7);
    EXPECT_STREQ(out, "api-214");
    EXPECT_EQ(rig_api_name(13, nullptr, 16), 0);
    EXPECT_EQ(rig_api_name(13, out, 0), 0);
}

// ---- Device names --------------------------------------------------------------

class DeviceName : public ::testing::Test {
protected:
    void TearDown() override { plat_text_set_legacy_enabled(true); }
    char out[128];
};

TEST_F(DeviceName, BlanksAroundTheNameAreTrimmed)
{
    EXPECT_EQ(rig_device_name_utf8(" Mic 1\t", out, sizeof out), 5);
    EXPECT_STREQ(out, "Mic 1");
    EXPECT_EQ(rig_device_name_utf8(" \t\r\n\v\f", out, sizeof out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(rig_device_name_utf8(nullptr, out, sizeof out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(rig_device_name_utf8("Mic", nullptr, 8), 0);
}

TEST_F(DeviceName, ValidUtf8IsKeptAndCutAtAWholeCharacterWithoutTrailingBlanks)
{
    EXPECT_EQ(rig_device_name_utf8("Caf\xC3\xA9 \xE2\x82\xAC", out, sizeof out), 9);
    EXPECT_STREQ(out, "Caf\xC3\xA9 \xE2\x82\xAC");
    // The cut leaves "Café " and the blank it ends on is removed again.
    EXPECT_EQ(rig_device_name_utf8("Caf\xC3\xA9 \xE2\x82\xAC", out, 8), 5);
    EXPECT_STREQ(out, "Caf\xC3\xA9");
}

TEST_F(DeviceName, InvalidUtf8IsReadAsLatin1OrRepairedWithoutIt)
{
    EXPECT_EQ(rig_device_name_utf8("\xE9", out, sizeof out), 2);
    EXPECT_STREQ(out, "\xC3\xA9");
    EXPECT_EQ(rig_device_name_utf8("Caf\xE9 \xA0", out, sizeof out), 8);
    EXPECT_STREQ(out, "Caf\xC3\xA9 \xC2\xA0");
    plat_text_set_legacy_enabled(false);
    EXPECT_EQ(rig_device_name_utf8("\xE9", out, sizeof out), 3);
    EXPECT_STREQ(out, "\xEF\xBF\xBD");
}

TEST_F(DeviceName, Latin1ResultIsCutAtAWholeCharacter)
{
    // Each E9 becomes two bytes; 5 bytes of room hold two of them, not half a third.
    EXPECT_EQ(rig_device_name_utf8("\xE9\xE9\xE9", out, 6), 4);
    EXPECT_STREQ(out, "\xC3\xA9\xC3\xA9");
}

TEST_F(DeviceName, AValidNameLongerThanTheScannedPartStaysUtf8)
{
    // "é", then 'a's so that a "€" straddles the 4096-byte cut: the name is valid
    // and must not turn into Latin-1 mojibake ("Ã©...").
    std::string name = "\xC3\xA9" + std::string(4093, 'a') + "\xE2\x82\xAC" + "tail";
    EXPECT_EQ(rig_device_name_utf8(name.c_str(), out, 8), 7);
    EXPECT_STREQ(out, "\xC3\xA9"
                      "aaaaa");
}

// ---- Device keys ---------------------------------------------------------------

std::string key_of(const char* api, const char* name, int size = 200)
{
    char out[512];
    std::memset(out, 'x', sizeof out);
    int n = rig_device_key(api, name, out, size);
    if (n < 0)
        return out[0] == '\0' ? "<-1>" : "<-1 but not emptied>";
    return (int)std::strlen(out) == n ? std::string(out) : "<length mismatch>";
}

TEST(DeviceKey, WindowsInstanceNumbersDoNotChangeTheKey)
{
    EXPECT_EQ(key_of("wasapi", "Speakers (2- USB Audio)"), "wasapi:Speakers (USB Audio)");
    EXPECT_EQ(key_of("wasapi", "Speakers (USB Audio)"), "wasapi:Speakers (USB Audio)");
    EXPECT_EQ(key_of("wasapi", "Speakers (USB Audio)").size(), 27u);
    EXPECT_EQ(key_of("asio", "A (1- B (22- C)"), "asio:A (B (C)");
    EXPECT_EQ(key_of("asio", "((1- 2- x"), "asio:((2- x");
}

TEST(DeviceKey, AlsaCardNumberAtTheEndIsDropped)
{
    std::string one = key_of("alsa", "USB Audio: Device (hw:1,0)");
    EXPECT_EQ(one, "alsa:USB Audio: Device");
    EXPECT_EQ(key_of("alsa", "USB Audio: Device (hw:2,0)"), one);
    EXPECT_EQ(key_of("alsa", "USB Audio: Device (hw:12,3) \t"), one);
    EXPECT_EQ(key_of("alsa", " (hw:0,0)"), "alsa:(hw:0,0)");
    EXPECT_EQ(key_of("jack", "system"), "jack:system");
}

TEST(DeviceKey, NamesOutsideBothPatternsStayUnchanged)
{
    // No space after the '-', no digits, cut at the end; a "(hw:" that does not end
    // the name or is not "(hw:N,M)" after a space.
    const char* names[] = {"Mic (12-USB)", "Mic (-  X)",   "Mic (3-",       "Card (hw:1,0) extra",
                           "Card (hw:1)",  "Card (hw:,0)", "Card (hw:a,0)", "Card(hw:1,0)"};
    for (const char* name : names)
        EXPECT_EQ(key_of("alsa", name), std::string("alsa:") + name);
}

TEST(DeviceKey, NameIsRepairedTrimmedAndCutAt399Bytes)
{
    EXPECT_EQ(key_of("wasapi", " \t "), "wasapi:");
    EXPECT_EQ(key_of("wasapi", nullptr), "wasapi:");
    EXPECT_EQ(key_of(nullptr, "Mic"), ":Mic");
    EXPECT_EQ(key_of("x", " M\xFFic "), "x:M\xEF\xBF\xBDic");
    // The api word is taken as it is.
    EXPECT_EQ(key_of(" As\xFF", "Mic"), " As\xFF:Mic");

    std::string name(400, 'n');
    EXPECT_EQ(key_of("a", name.c_str(), 512), "a:" + std::string(399, 'n'));
    // A two-byte character that would end at byte 400 is left out whole.
    std::string wide = std::string(398, 'n') + "\xC3\xA9";
    EXPECT_EQ(key_of("a", wide.c_str(), 512), "a:" + std::string(398, 'n'));
}

TEST(DeviceKey, AKeyThatDoesNotFitGivesMinusOneAndAnEmptyOutput)
{
    EXPECT_EQ(key_of("wasapi", "Speakers (USB Audio)", 28), "wasapi:Speakers (USB Audio)");
    EXPECT_EQ(key_of("wasapi", "Speakers (USB Audio)", 27), "<-1>");
    EXPECT_EQ(key_of("wasapi", "Speakers (USB Audio)", 10), "<-1>");
    EXPECT_EQ(key_of("wasapi", "  ", 10), "wasapi:");
    EXPECT_EQ(key_of("wasapi", "  ", 8), "wasapi:");
    EXPECT_EQ(key_of("wasapi", "  ", 7), "<-1>");
    EXPECT_EQ(rig_device_key("wasapi", "x", nullptr, 10), -1);
    char one = 'q';
    EXPECT_EQ(rig_device_key("wasapi", "x", &one, 0), -1);
    EXPECT_EQ(one, 'q');
}

// ---- Key hash ------------------------------------------------------------------

TEST(KeyHash, Fnv1aValues)
{
    EXPECT_EQ(rig_fnv1a32(""), 0x811c9dc5u);
    EXPECT_EQ(rig_fnv1a32(nullptr), 0x811c9dc5u);
    EXPECT_EQ(rig_fnv1a32("a"), 0xe40c292cu);
    EXPECT_EQ(rig_fnv1a32("foobar"), 0xbf9cf968u);
}

// ---- Default input mix ---------------------------------------------------------

TEST(DefaultMix, FirstPairAtUnityFurtherInputsMutedForEveryCountAndApi)
{
    const char* apis[] = {"asio", "wasapi", "ASIO", "jack", "alsa", nullptr};
    for (const char* api : apis) {
        bool direct = api && (std::strcmp(api, "asio") == 0 || std::strcmp(api, "jack") == 0);
        EXPECT_EQ(rig_api_is_direct(api), direct) << (api ? api : "null");
        for (int n = -3; n <= 70; n++) {
            SCOPED_TRACE(testing::Message() << (api ? api : "null") << " " << n);
            RigMix m;
            std::memset(&m, 0x7F, sizeof m);
            rig_default_input_mix(api, n, &m);
            int count = n < 0 ? 0 : n > 64 ? 64 : n;
            ASSERT_EQ(m.channels, count);
            ASSERT_EQ(m.master, 1.0f);
            for (int i = 0; i < RIG_MAX_INPUTS; i++) {
                float want_l = 0, want_r = 0;
                if (i < count && i < 2) {
                    if (count == 1 || direct) {
                        want_l = want_r = 1.0f;   // a single input at the centre
                    } else {
                        want_l = i == 0 ? 1.0f : 0.0f;   // a stereo pair, each to its side
                        want_r = i == 1 ? 1.0f : 0.0f;
                    }
                }
                ASSERT_EQ(m.left[i], want_l) << "input " << i;
                ASSERT_EQ(m.right[i], want_r) << "input " << i;
            }
        }
    }
}

TEST(DefaultMix, ApiWordMustMatchInFullAndANullOutputIsIgnored)
{
    EXPECT_FALSE(rig_api_is_direct("asio "));
    EXPECT_FALSE(rig_api_is_direct("jac"));
    EXPECT_FALSE(rig_api_is_direct(""));
    rig_default_input_mix("asio", 4, nullptr);
}

}  // namespace
