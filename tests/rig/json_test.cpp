// JSON reader and writer: valid documents and their walks, every error message with
// its position, strings and escapes, numbers at their limits, deep nesting, the
// writer's bound and needed length, and round trips. Every text is parsed from a heap
// copy of exactly its size, so any read past its end trips the address sanitizer.
#include "rig/json_number.h"
#include "rig/json_read.h"
#include "rig/json_write.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// A text in a heap block of exactly its size.
struct Text {
    std::unique_ptr<char[]> bytes;
    size_t len;
    explicit Text(const std::string& s) : bytes(new char[s.size()]), len(s.size())
    {
        std::memcpy(bytes.get(), s.data(), s.size());
    }
};

struct Parsed {
    std::shared_ptr<Text> text;
    bool ok;
    JsonValue v;
    std::string err;
};

Parsed parse(const std::string& s)
{
    Parsed r{std::make_shared<Text>(s), false, {}, ""};
    char err[128];
    r.ok = json_parse(r.text->bytes.get(), r.text->len, &r.v, err, sizeof err);
    r.err = err;
    return r;
}

std::string view_text(JsonValue v) { return std::string(v.text, (size_t)v.len); }

std::string get_string(JsonValue v, size_t size, int* flags = nullptr)
{
    std::vector<char> buf(size);
    size_t n = json_get_string(v, buf.data(), size, flags);
    EXPECT_EQ(n, std::strlen(buf.data()));
    return std::string(buf.data(), n);
}

// The decoded text of the string that `json` holds.
std::string read_string(const std::string& json, int* flags = nullptr)
{
    Parsed p = parse(json);
    EXPECT_TRUE(p.ok) << json << ": " << p.err;
    return get_string(p.v, 256, flags);
}

std::string written(void (*write)(JsonWriter*, double), double v)
{
    char buf[64];
    JsonWriter w;
    json_writer_init(&w, buf, sizeof buf);
    write(&w, v);
    json_writer_finish(&w);
    return buf;
}
void write_float_as(JsonWriter* w, double v) { json_write_float(w, (float)v); }
void write_double_as(JsonWriter* w, double v) { json_write_double(w, v); }

std::string nested(int depth, const char* inner = "")
{
    return std::string((size_t)depth, '[') + inner + std::string((size_t)depth, ']');
}

// ---- Valid documents ---------------------------------------------------------------

TEST(JsonValid, EveryKindParsesToAViewWithoutTrailingBlanks)
{
    struct Case {
        const char* text;
        int32_t kind;
        const char* view;
    } cases[] = {
        {"null", JSON_NULL, "null"},
        {" true\r\n", JSON_BOOL, "true"},
        {"\tfalse ", JSON_BOOL, "false"},
        {"-12.5e+3  ", JSON_NUMBER, "-12.5e+3"},
        {"0", JSON_NUMBER, "0"},
        {"\"a\\\"b\"", JSON_STRING, "\"a\\\"b\""},
        {" [ 1 , [ ] , { } ] ", JSON_ARRAY, "[ 1 , [ ] , { } ]"},
        {"{\"k\":{\"x\":[true]}}\n", JSON_OBJECT, "{\"k\":{\"x\":[true]}}"},
    };
    for (const Case& c : cases) {
        Parsed p = parse(c.text);
        ASSERT_TRUE(p.ok) << c.text << ": " << p.err;
        EXPECT_EQ(p.err, "");
        EXPECT_EQ(p.v.kind, c.kind) << c.text;
        EXPECT_EQ(view_text(p.v), c.view);
    }
}

TEST(JsonValid, ByteOrderMarkIsSkipped)
{
    Parsed p = parse("\xEF\xBB\xBF{\"a\":1}");
    ASSERT_TRUE(p.ok) << p.err;
    EXPECT_EQ(view_text(p.v), "{\"a\":1}");
    // A mark alone is an empty text; a partial mark is no value.
    EXPECT_EQ(parse("\xEF\xBB\xBF  ").err, "no JSON value (empty)");
    EXPECT_EQ(parse("\xEF\xBB").err, "unexpected byte 0xEF at byte 0");
}

TEST(JsonValid, WalksGiveItemsAndMembersInOrder)
{
    Parsed p = parse(" { \"name\" : \"x\\\"}\" , \"list\":[1, \"]\", [2,[3]], {\"a\":{}} ,null],"
                     "\"n\":-0.5e1 } ");
    ASSERT_TRUE(p.ok) << p.err;
    EXPECT_EQ(json_count(p.v), 3);

    JsonIter it;
    JsonValue key, value;
    json_iter_begin(&it, p.v);
    ASSERT_TRUE(json_iter_next_member(&it, &key, &value));
    EXPECT_EQ(view_text(key), "\"name\"");
    EXPECT_EQ(view_text(value), "\"x\\\"}\"");
    ASSERT_TRUE(json_iter_next_member(&it, &key, &value));
    EXPECT_TRUE(json_string_equals(key, "list"));
    JsonValue list = value;
    ASSERT_TRUE(json_iter_next_member(&it, &key, &value));
    EXPECT_EQ(view_text(value), "-0.5e1");
    EXPECT_FALSE(json_iter_next_member(&it, &key, &value));
    EXPECT_FALSE(json_iter_next_member(&it, &key, &value));

    EXPECT_EQ(json_count(list), 5);
    std::vector<std::string> items;
    std::vector<int32_t> kinds;
    JsonValue item;
    json_iter_begin(&it, list);
    while (json_iter_next(&it, &item)) {
        items.push_back(view_text(item));
        kinds.push_back(item.kind);
    }
    EXPECT_EQ(items, (std::vector<std::string>{"1", "\"]\"", "[2,[3]]", "{\"a\":{}}", "null"}));
    EXPECT_EQ(kinds, (std::vector<int32_t>{JSON_NUMBER, JSON_STRING, JSON_ARRAY, JSON_OBJECT,
                                           JSON_NULL}));

    // Empty containers and scalars walk nothing.
    for (const char* text : {"[]", "{ }", "1", "\"ab\""}) {
        Parsed empty = parse(text);
        json_iter_begin(&it, empty.v);
        EXPECT_FALSE(json_iter_next(&it, &item)) << text;
        EXPECT_EQ(json_count(empty.v), 0) << text;
    }
}

TEST(JsonValid, WalksOverUnvalidatedViewsStayInsideAndEnd)
{
    // Views a caller built by hand, cut short or holding bytes that start no value:
    // walks stop instead of running past the view or standing still.
    struct Case {
        const char* bytes;
        int32_t kind;
        int32_t count;
    } cases[] = {
        {"[\"abc", JSON_ARRAY, 1},     {"[\"ab\\", JSON_ARRAY, 1}, {"[[[[", JSON_ARRAY, 1},
        {"[1,:,2]", JSON_ARRAY, 1},    {"[}}}]", JSON_ARRAY, 0},   {"{\"a\"", JSON_OBJECT, 0},
        {"{\"a\":}", JSON_OBJECT, 0}, {"{1:2}", JSON_OBJECT, 0},  {"{\"a\":1,x}", JSON_OBJECT, 1},
    };
    for (const Case& c : cases) {
        Text t(c.bytes);
        JsonValue v{c.kind, t.bytes.get(), t.len};
        EXPECT_EQ(json_count(v), c.count) << c.bytes;
    }
    JsonValue none{JSON_ARRAY, nullptr, 5};
    EXPECT_EQ(json_count(none), 0);
}

// ---- Error messages ----------------------------------------------------------------

TEST(JsonErrors, EachFaultIsReportedWithItsByteOffset)
{
    struct Case {
        std::string text;
        const char* err;
    } cases[] = {
        {"", "no JSON value (empty)"},
        {" \t\r\n ", "no JSON value (empty)"},
        {"[1,]", "unexpected ']' at byte 3"},
        {"{\"a\":1} x", "unexpected 'x' at byte 8 (after the value)"},
        {"[1", "truncated at byte 2"},
        {"tru e", "unexpected byte 0x20 at byte 3"},
        {"nul", "truncated at byte 3"},
        {"fals", "truncated at byte 4"},
        {"01", "unexpected '1' at byte 1 (after the value)"},
        {"1 2", "unexpected '2' at byte 2 (after the value)"},
        {"-", "truncated at byte 1"},
        {"-a", "unexpected 'a' at byte 1"},
        {"1.", "truncated at byte 2"},
        {"1.e5", "unexpected 'e' at byte 2"},
        {"1e+", "truncated at byte 3"},
        {"1e+x", "unexpected 'x' at byte 3"},
        {"+1", "unexpected '+' at byte 0"},
        {".5", "unexpected '.' at byte 0"},
        {"\"abc", "truncated at byte 4"},
        {"\"a\\", "truncated at byte 3"},
        {"\"a\nb\"", "unexpected byte 0x0A at byte 2"},
        {"\"\\x\"", "unexpected 'x' at byte 2"},
        {"\"\\u12g4\"", "unexpected 'g' at byte 5"},
        {"\"\\u12", "truncated at byte 5"},
        {"{\"a\" 1}", "unexpected '1' at byte 5"},
        {"{a:1}", "unexpected 'a' at byte 1"},
        {"{\"a\":1,}", "unexpected '}' at byte 7"},
        {"{\"a\"", "truncated at byte 4"},
        {"{\"a\":", "truncated at byte 5"},
        {"[1}", "unexpected '}' at byte 2"},
        {"[1 2]", "unexpected '2' at byte 3"},
        {"[,1]", "unexpected ',' at byte 1"},
        {"]", "unexpected ']' at byte 0"},
        {"\xFF", "unexpected byte 0xFF at byte 0"},
        {std::string("[\0]", 3), "unexpected byte 0x00 at byte 1"},
        {"\xEF\xBB\xBF[1,]", "unexpected ']' at byte 6"},
        {"\xEF\xBB\xBF{} %", "unexpected '%' at byte 6 (after the value)"},
    };
    for (const Case& c : cases) {
        Parsed p = parse(c.text);
        EXPECT_FALSE(p.ok) << c.text;
        EXPECT_EQ(p.err, c.err) << c.text;
        EXPECT_EQ(p.v.kind, JSON_NONE);
        EXPECT_EQ(p.v.len, 0u);
        EXPECT_EQ(p.v.text, p.text->bytes.get());
    }
}

TEST(JsonErrors, MessageIsCutToTheBufferAndOptionalOutputsMayBeNull)
{
    const char* text = "[1,]";
    char err[10];
    std::memset(err, 'z', sizeof err);
    EXPECT_FALSE(json_parse(text, 4, nullptr, err, 8));
    EXPECT_STREQ(err, "unexpec");
    EXPECT_EQ(err[8], 'z');

    // A buffer of one byte is only emptied; a size of zero is never written.
    err[0] = 'q';
    EXPECT_FALSE(json_parse(text, 4, nullptr, err, 1));
    EXPECT_EQ(err[0], '\0');
    err[0] = 'q';
    EXPECT_FALSE(json_parse(text, 4, nullptr, err, 0));
    EXPECT_EQ(err[0], 'q');
    EXPECT_FALSE(json_parse(text, 4, nullptr, nullptr, 99));

    // A null text is empty, whatever length comes with it.
    JsonValue v{JSON_ARRAY, text, 9};
    EXPECT_FALSE(json_parse(nullptr, 12, &v, err, sizeof err));
    EXPECT_STREQ(err, "no JSON v");
    EXPECT_EQ(v.kind, JSON_NONE);
    EXPECT_EQ(v.text, nullptr);

    // A success empties an old message.
    std::strcpy(err, "old");
    EXPECT_TRUE(json_parse("[]", 2, &v, err, sizeof err));
    EXPECT_STREQ(err, "");
}

// ---- Deep nesting ------------------------------------------------------------------

TEST(JsonNesting, SixtyFourLevelsParseAndTheSixtyFifthFailsAtItsBracket)
{
    Parsed ok = parse(nested(64, "1"));
    ASSERT_TRUE(ok.ok) << ok.err;
    EXPECT_EQ(parse(nested(65)).err, "nested deeper than 64 at byte 64");

    // Mixed objects and arrays count alike.
    std::string mixed;
    for (int i = 0; i < 32; i++)
        mixed += "{\"k\":[";
    std::string closing;
    for (int i = 0; i < 32; i++)
        closing += "]}";
    EXPECT_TRUE(parse(mixed + "0" + closing).ok);
    Parsed deep = parse(mixed + "{}" + closing);
    EXPECT_EQ(deep.err, "nested deeper than 64 at byte " + std::to_string(mixed.size()));

    // Depth is given back when a container closes: many siblings at depth 64 parse.
    std::string wide = nested(63, "[],[],[]");
    EXPECT_TRUE(parse(wide).ok);
}

TEST(JsonNesting, HugeNestingFailsWithoutDeepRecursion)
{
    Parsed p = parse(std::string(2000000, '['));
    EXPECT_EQ(p.err, "nested deeper than 64 at byte 64");
    // The walks count brackets rather than recurse, so deep text needs no stack.
    Text t(nested(500000, "7"));
    JsonValue v{JSON_ARRAY, t.bytes.get(), t.len};
    EXPECT_EQ(json_count(v), 1);
}

TEST(JsonNesting, WalkReachesTheInnermostValue)
{
    Parsed p = parse(nested(64, "\"deep\""));
    ASSERT_TRUE(p.ok);
    JsonValue v = p.v;
    JsonIter it;
    for (int i = 0; i < 64; i++) {
        ASSERT_EQ(v.kind, JSON_ARRAY);
        json_iter_begin(&it, v);
        ASSERT_TRUE(json_iter_next(&it, &v));
    }
    EXPECT_TRUE(json_string_equals(v, "deep"));
}

// ---- Strings and escapes -----------------------------------------------------------

TEST(JsonStrings, EscapesDecode)
{
    int flags = -1;
    EXPECT_EQ(read_string("\"a\\\"b\\\\c\\/d\\b\\f\\n\\r\\t\"", &flags),
              "a\"b\\c/d\b\f\n\r\t");
    EXPECT_EQ(flags, 0);
    EXPECT_EQ(read_string("\"\\u0041\\u00e9\\u20AC\\uFFFF\""), "A\xC3\xA9\xE2\x82\xAC\xEF\xBF\xBF");
    EXPECT_EQ(read_string("\"caf\xC3\xA9 \xF0\x9F\x98\x80\""), "caf\xC3\xA9 \xF0\x9F\x98\x80");
}

TEST(JsonStrings, SurrogatePairsJoinAndLoneHalvesAreReplaced)
{
    int flags = 0;
    EXPECT_EQ(read_string("\"\\uD83D\\uDE00\"", &flags), "\xF0\x9F\x98\x80");
    EXPECT_EQ(flags, 0);
    EXPECT_EQ(read_string("\"\\udbff\\udfff\""), "\xF4\x8F\xBF\xBF");

    const std::string fffd = "\xEF\xBF\xBD";
    struct Case {
        const char* json;
        std::string text;
    } cases[] = {
        {"\"\\uD83D\"", fffd},
        {"\"\\uD83Dx\"", fffd + "x"},
        {"\"\\uDE00\\uD83D\"", fffd + fffd},
        {"\"\\uD83D\\u0041\"", fffd + "A"},
        {"\"\\uD83D\\uD83D\\uDE00\"", fffd + "\xF0\x9F\x98\x80"},
        {"\"\\uD83D\\n\"", fffd + "\n"},
        {"\"a\\u0000b\"", "a" + fffd + "b"},
        {"\"\xFF\"", fffd},
        {"\"\xC0\xAF\"", fffd + fffd},           // overlong '/'
        {"\"\xED\xA0\x80\"", fffd + fffd + fffd},  // surrogate in UTF-8
        {"\"\xE2\x82\"", fffd},                    // truncated 3-byte sequence
        {"\"\xF4\x90\x80\x80\"", fffd + fffd + fffd + fffd},
    };
    for (const Case& c : cases) {
        flags = 0;
        EXPECT_EQ(read_string(c.json, &flags), c.text) << c.json;
        EXPECT_EQ(flags, JSON_STR_REPLACED) << c.json;
    }
}

TEST(JsonStrings, TextIsCutAtAWholeCharacter)
{
    Parsed p = parse("\"abcd\"");
    int flags = 0;
    EXPECT_EQ(get_string(p.v, 4, &flags), "abc");
    EXPECT_EQ(flags, JSON_STR_CUT);
    EXPECT_EQ(get_string(p.v, 5, &flags), "abcd");
    EXPECT_EQ(flags, 0);

    // A 3-byte character that does not fit is left out whole, and nothing after it
    // is tried.
    p = parse("\"ab\xE2\x82\xAC" "c\"");
    EXPECT_EQ(get_string(p.v, 5, &flags), "ab");
    EXPECT_EQ(flags, JSON_STR_CUT);
    EXPECT_EQ(get_string(p.v, 6, &flags), "ab\xE2\x82\xAC");
    EXPECT_EQ(get_string(p.v, 1, &flags), "");
    EXPECT_EQ(flags, JSON_STR_CUT);

    // A replacement that does not fit is a cut, not a replacement.
    p = parse("\"a\xFF\"");
    EXPECT_EQ(get_string(p.v, 3, &flags), "a");
    EXPECT_EQ(flags, JSON_STR_CUT);
}

TEST(JsonStrings, NonStringsAndMissingBuffersGiveNothing)
{
    char buf[8] = "keep";
    int flags = 7;
    Parsed p = parse("[\"a\"]");
    EXPECT_EQ(json_get_string(p.v, buf, sizeof buf, &flags), 0u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(flags, 0);
    std::strcpy(buf, "keep");
    EXPECT_EQ(json_get_string(p.v, buf, 0, nullptr), 0u);
    EXPECT_STREQ(buf, "keep");
    EXPECT_EQ(json_get_string(p.v, nullptr, 8, &flags), 0u);
    JsonValue cut{JSON_STRING, "\"", 1};
    EXPECT_EQ(json_get_string(cut, buf, sizeof buf, nullptr), 0u);
    EXPECT_FALSE(json_string_equals(cut, ""));
}

TEST(JsonStrings, UnvalidatedStringViewsAreDecodedWithinTheView)
{
    // Escapes cut short by the end of the view are replaced, not read past.
    const std::string fffd = "\xEF\xBF\xBD";
    struct Case {
        const char* content;
        std::string text;
    } cases[] = {
        {"a\\", "a" + fffd},           {"\\u12", fffd + "12"},
        {"\\uD83D\\uDE0", fffd + fffd + "DE0"},
        {"\\q", fffd},                 {"\\u12g4", fffd + "12g4"},
    };
    for (const Case& c : cases) {
        std::string s = std::string("\"") + c.content + "\"";
        Text t(s);
        JsonValue v{JSON_STRING, t.bytes.get(), t.len};
        EXPECT_EQ(get_string(v, 64), c.text) << c.content;
    }
    // A raw NUL never comes out of a string.
    Text t(std::string("\"x\0y\"", 5));
    JsonValue v{JSON_STRING, t.bytes.get(), t.len};
    EXPECT_EQ(get_string(v, 64), "x" + fffd + "y");
}

TEST(JsonStrings, EqualsComparesDecodedText)
{
    Parsed plain = parse("\"gain\"");
    EXPECT_TRUE(json_string_equals(plain.v, "gain"));
    EXPECT_FALSE(json_string_equals(plain.v, "gai"));
    EXPECT_FALSE(json_string_equals(plain.v, "gains"));
    EXPECT_FALSE(json_string_equals(plain.v, nullptr));

    Parsed esc = parse("\"g\\u0061in\\uD83D\\uDE00\"");
    EXPECT_TRUE(json_string_equals(esc.v, "gain\xF0\x9F\x98\x80"));
    EXPECT_FALSE(json_string_equals(esc.v, "gain"));
    EXPECT_FALSE(json_string_equals(esc.v, "gain\xF0\x9F\x98\x80!"));
    EXPECT_FALSE(json_string_equals(esc.v, "gain\xF0\x9F\x98"));

    Parsed bad = parse("\"\\u0000\"");
    EXPECT_TRUE(json_string_equals(bad.v, "\xEF\xBF\xBD"));
    EXPECT_FALSE(json_string_equals(bad.v, ""));

    Parsed empty = parse("\"\"");
    EXPECT_TRUE(json_string_equals(empty.v, ""));
    EXPECT_FALSE(json_string_equals(parse("1").v, "1"));
}

// ---- Numbers -----------------------------------------------------------------------

double to_double(const std::string& s, int bits, bool* ok = nullptr)
{
    double d = -12345;
    bool r = json_number_text_to_double(s.data(), s.size(), bits, &d);
    if (ok)
        *ok = r;
    else
        EXPECT_TRUE(r) << s;
    return d;
}

TEST(JsonNumbers, IntegersReadOverTheirFullRange)
{
    struct Case {
        const char* text;
        bool ok;
        int64_t value;
    } cases[] = {
        {"9223372036854775807", true, INT64_MAX},
        {"-9223372036854775808", true, INT64_MIN},
        {"9223372036854775808", false, 0},
        {"-9223372036854775809", false, 0},
        {"99999999999999999999999", false, 0},
        {"-0", true, 0},
        {"1e3", true, 1000},
        {"-2.5e0", false, 0},
        {"-2.5e1", true, -25},
        {"1.5", false, 0},
        {"12.0", true, 12},
        {"9.1e18", true, 9100000000000000000},
        {"9.2e18", false, 0},
        {"-9.2e18", false, 0},
        {"1e400", false, 0},
    };
    for (const Case& c : cases) {
        Parsed p = parse(c.text);
        ASSERT_TRUE(p.ok) << c.text;
        int64_t v = 42;
        EXPECT_EQ(json_get_int64(p.v, &v), c.ok) << c.text;
        EXPECT_EQ(v, c.ok ? c.value : 42) << c.text;
    }
    int64_t v = 42;
    EXPECT_FALSE(json_get_int64(parse("\"1\"").v, &v));
    EXPECT_EQ(v, 42);
}

TEST(JsonNumbers, FloatsAndDoublesAreCorrectlyRounded)
{
    float f = 0;
    double d = 0;
    ASSERT_TRUE(json_get_float(parse("0.1").v, &f));
    EXPECT_EQ(f, 0.1f);
    ASSERT_TRUE(json_get_double(parse("0.1").v, &d));
    EXPECT_EQ(d, 0.1);

    EXPECT_EQ(to_double("1e-500", 53), 0.0);
    EXPECT_TRUE(std::signbit(to_double("-1e-500", 53)));
    EXPECT_EQ(to_double("0.000", 53), 0.0);
    EXPECT_EQ(to_double("-0", 53), 0.0);
    EXPECT_TRUE(std::signbit(to_double("-0", 53)));

    bool ok = true;
    to_double("1e400", 53, &ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(json_get_double(parse("-1e400").v, &d));

    // Edges of the double range.
    EXPECT_EQ(to_double("1.7976931348623157e308", 53), DBL_MAX);
    to_double("1.7976931348623159e308", 53, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(to_double("4.9e-324", 53), std::ldexp(1.0, -1074));
    EXPECT_EQ(to_double("2.4703282292062328e-324", 53), std::ldexp(1.0, -1074));
    EXPECT_EQ(to_double("2.4703282292062327e-324", 53), 0.0);
    EXPECT_EQ(to_double("2.2250738585072011e-308", 53), 2.2250738585072011e-308);
    EXPECT_EQ(to_double("9007199254740993", 53), 9007199254740992.0);   // tie to even
    EXPECT_EQ(to_double("9007199254740995", 53), 9007199254740996.0);

    // Edges of the float range: past the halfway point to 2^128 fails.
    EXPECT_EQ((float)to_double("3.4028235e38", 24), FLT_MAX);
    EXPECT_EQ((float)to_double("3.40282356e38", 24), FLT_MAX);
    to_double("3.40282357e38", 24, &ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(json_get_float(parse("1e39").v, &f));
    EXPECT_EQ((float)to_double("1.4e-45", 24), std::ldexp(1.0f, -149));
    EXPECT_EQ(to_double("7.006492321624085e-46", 24), 0.0);   // below half the smallest
    EXPECT_EQ(to_double("7.006492321624086e-46", 24), std::ldexp(1.0, -149));
    EXPECT_EQ((float)to_double("1.17549435e-38", 24), FLT_MIN);
    // 16777217 lies halfway between two floats: ties to even, not double rounding.
    EXPECT_EQ(to_double("16777217", 24), 16777216.0);
    EXPECT_EQ(to_double("16777219", 24), 16777220.0);
    EXPECT_EQ(to_double("1.00000005960464477539062500001", 24), 1.00000011920928955078125);
}

TEST(JsonNumbers, DigitsPastTheKeptOnesActOnlyThroughRounding)
{
    // 1 + 2^-53 is the exact tie between 1 and the next double; it rounds to even (1).
    // A non-zero digit at the 1000th place, far past the 800 digits kept, breaks the
    // tie upwards; zeros there change nothing.
    const std::string tie = "1.00000000000000011102230246251565404236316680908203125";
    std::string zeros = tie + std::string(1000 - (tie.size() - 1), '0');
    std::string above = tie + std::string(999 - (tie.size() - 1), '0') + "1";
    EXPECT_EQ(to_double(tie, 53), 1.0);
    EXPECT_EQ(to_double(zeros, 53), 1.0);
    EXPECT_EQ(to_double(above, 53), 1.0 + DBL_EPSILON);
    EXPECT_EQ(to_double(above + "e0", 53), 1.0 + DBL_EPSILON);

    // The same with 1000 integral digits: the decimal point still counts them all.
    std::string big = "1" + std::string(999, '0');
    bool ok = true;
    to_double(big, 53, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(to_double(big + "e-990", 53), 1e9);
    EXPECT_EQ(to_double("0." + std::string(990, '0') + "1e991", 53), 1.0);
}

TEST(JsonNumbers, MalformedTextsAndWidthsFail)
{
    for (const char* s : {"", "-", "1.", ".5", "1e", "1e+", "1x", "--1", "1.2.3", "0x10", " 1"}) {
        double d = 7;
        EXPECT_FALSE(json_number_text_to_double(s, std::strlen(s), 53, &d)) << s;
        EXPECT_EQ(d, 7);
    }
    double d = 0;
    EXPECT_FALSE(json_number_text_to_double(nullptr, 3, 53, &d));
    EXPECT_FALSE(json_number_text_to_double("1", 1, 32, &d));
    // Exponent digits past the saturation point are read and ignored.
    EXPECT_EQ(to_double("1e-99999999999999999999999", 53), 0.0);
    EXPECT_FALSE(json_number_text_to_double("1e99999999999999999999", 22, 53, &d));
}

TEST(JsonNumbers, ConversionAgreesWithTheCLibraryOnRandomTexts)
{
    // glibc's strtod and strtof round correctly; texts of many shapes and lengths,
    // near ties and at the range ends, must give the same values.
    std::mt19937_64 rng(4101);
    for (int i = 0; i < 4000; i++) {
        std::string s;
        if (rng() & 1)
            s += '-';
        int int_digits = 1 + (int)(rng() % (i % 10 == 0 ? 60 : 20));
        s += (char)('1' + rng() % 9);
        for (int k = 1; k < int_digits; k++)
            s += (char)('0' + rng() % 10);
        if (rng() % 2) {
            s += '.';
            int frac = 1 + (int)(rng() % 25);
            for (int k = 0; k < frac; k++)
                s += (char)('0' + rng() % 10);
        }
        if (rng() % 2)
            s += "e" + std::to_string((int)(rng() % 700) - 350);
        bool ok = false;
        double mine = to_double(s, 53, &ok);
        double libc = std::strtod(s.c_str(), nullptr);
        if (std::isinf(libc))
            EXPECT_FALSE(ok) << s;
        else
            EXPECT_TRUE(ok && mine == libc) << s;
        double mine_f = to_double(s, 24, &ok);
        float libc_f = std::strtof(s.c_str(), nullptr);
        if (std::isinf(libc_f))
            EXPECT_FALSE(ok) << s;
        else
            EXPECT_TRUE(ok && mine_f == (double)libc_f) << s;
    }
}

TEST(JsonNumbers, EveryBinadeAtBothEndsOfTheRangeIsCorrectlyRounded)
{
    // Texts of a value and of the midpoint to its upper neighbour, at many lengths,
    // for every binade from the smallest subnormal up and from the largest down.
    // Near the smallest normal the quotient of the division has one bit to spare.
    struct Width {
        int bits, lowest, top;   // mantissa bits, exponent of the smallest subnormal, of the largest binade
    };
    const Width widths[] = {{53, -1074, 1023}, {24, -149, 127}};
    std::mt19937_64 rng(4101);
    char text[128];
    for (const Width& w : widths) {
        for (int side = 0; side < 2; side++) {
            for (int b = 0; b < 80; b++) {
                const int exp2 = side == 0 ? w.lowest + b : w.top - b;
                for (int i = 0; i < 12; i++) {
                    long double x = std::ldexp(1.0L, exp2);
                    const int frac_bits = std::min(w.bits - 1, exp2 - w.lowest);
                    if (frac_bits > 0)
                        x += std::ldexp((long double)(rng() >> (64 - frac_bits)), exp2 - frac_bits);
                    const long double ulp = std::ldexp(1.0L, std::max(exp2 - (w.bits - 1), w.lowest));
                    for (long double v : {x, x + ulp / 2}) {
                        const int digits = (int)(rng() % 26);
                        std::snprintf(text, sizeof text, "%.*Le", digits, v);
                        bool ok = false;
                        const double mine = to_double(text, w.bits, &ok);
                        const double libc = w.bits == 53 ? std::strtod(text, nullptr)
                                                         : (double)std::strtof(text, nullptr);
                        if (std::isinf(libc))
                            EXPECT_FALSE(ok) << text;
                        else
                            ASSERT_TRUE(ok && mine == libc) << text;
                    }
                }
            }
        }
    }
    // The values reported wrong, and their shortest texts, which must read back.
    const struct {
        const char* text;
        int bits;
        double want;
    } reported[] = {
        {"4.89892330418349e-308", 53, 0x1.19d0fc023f049p-1021},
        {"5e-308", 53, std::strtod("5e-308", nullptr)},
        {"7772e-311", 53, std::strtod("7772e-311", nullptr)},
        {"4.046004e-38", 24, 0x1.b89222p-125},
        {"3154383e-44", 24, (double)std::strtof("3154383e-44", nullptr)},
    };
    for (const auto& r : reported) {
        EXPECT_EQ(to_double(r.text, r.bits), r.want) << r.text;
        char out[JSON_NUMBER_TEXT_CAP];
        json_format_number(r.want, r.bits == 53 ? 17 : 9, r.bits, r.bits == 53 ? -1022 : -126, out);
        EXPECT_EQ(r.bits == 53 ? std::strtod(out, nullptr) : (double)std::strtof(out, nullptr), r.want)
            << out;
    }
}

TEST(JsonNumbers, WrittenInTheShortestForm)
{
    EXPECT_EQ(written(write_float_as, 0.1), "0.1");
    EXPECT_EQ(written(write_double_as, 0.1), "0.1");
    EXPECT_EQ(written(write_double_as, 100.0), "100");
    EXPECT_EQ(written(write_double_as, 1e21), "1e+21");
    EXPECT_EQ(written(write_double_as, 1e20), "100000000000000000000");
    EXPECT_EQ(written(write_double_as, 1e-7), "1e-7");
    EXPECT_EQ(written(write_double_as, 1.5e-7), "1.5e-7");
    EXPECT_EQ(written(write_double_as, 0.000001), "0.000001");
    EXPECT_EQ(written(write_double_as, 123.25), "123.25");
    EXPECT_EQ(written(write_double_as, -1.5), "-1.5");
    EXPECT_EQ(written(write_double_as, -0.0), "-0");
    EXPECT_EQ(written(write_double_as, 0.0), "0");
    EXPECT_EQ(written(write_double_as, NAN), "0");
    EXPECT_EQ(written(write_double_as, -INFINITY), "0");
    EXPECT_EQ(written(write_double_as, 1.2345678901234567e300), "1.2345678901234567e+300");
    EXPECT_EQ(written(write_double_as, 5e-324), "5e-324");
    EXPECT_EQ(written(write_double_as, DBL_MAX), "1.7976931348623157e+308");
    EXPECT_EQ(written(write_double_as, -2.2250738585072014e-308), "-2.2250738585072014e-308");
    EXPECT_EQ(written(write_float_as, FLT_MAX), "3.4028235e+38");
    EXPECT_EQ(written(write_float_as, std::ldexp(1.0, -149)), "1e-45");
    EXPECT_EQ(written(write_float_as, 16777216.0), "16777216");
    EXPECT_EQ(written(write_float_as, 1.0 / 3.0), "0.33333334");
    EXPECT_EQ(written(write_float_as, std::nextafter(1.0f, 2.0f)), "1.0000001");

    char out[JSON_NUMBER_TEXT_CAP];
    EXPECT_EQ(json_format_number(-1.0000000000000002e-6, 17, 53, -1022, out), 25);
    EXPECT_STREQ(out, "-0.0000010000000000000002");
    // Digit counts outside 1..17 and unknown widths fall back to a double's, so the
    // text is always set and always fits.
    EXPECT_EQ(json_format_number(0.1, 0, 53, -1022, out), 3);
    EXPECT_STREQ(out, "0.1");
    EXPECT_EQ(json_format_number(1.0 / 3.0, 1000, 7, 5, out), 18);
    EXPECT_STREQ(out, "0.3333333333333333");
}

TEST(JsonNumbers, RandomValuesReadBackExactlyFromTheirShortestText)
{
    std::mt19937_64 rng(7);
    char out[JSON_NUMBER_TEXT_CAP];
    for (int i = 0; i < 1500; i++) {
        uint64_t bits = rng();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (!std::isfinite(d))
            continue;
        int n = json_format_number(d, 17, 53, -1022, out);
        ASSERT_EQ(n, (int)std::strlen(out));
        ASSERT_LE(n, 25);
        double back = 0;
        ASSERT_TRUE(json_number_text_to_double(out, (size_t)n, 53, &back)) << out;
        ASSERT_EQ(back, d) << out;
        // Shortest: as many significant digits as the fewest that read back.
        int fewest = 1;
        for (char probe[64];; fewest++) {
            std::snprintf(probe, sizeof probe, "%.*e", fewest - 1, d);
            if (std::strtod(probe, nullptr) == d)
                break;
        }
        std::string digits;
        for (const char* p = out; *p && *p != 'e'; p++)
            if (*p >= '0' && *p <= '9' && (*p != '0' || !digits.empty()))
                digits += *p;
        while (digits.size() > 1 && digits.back() == '0')
            digits.pop_back();
        ASSERT_EQ((int)digits.size(), fewest) << out;

        float f;
        uint32_t fbits = (uint32_t)rng();
        std::memcpy(&f, &fbits, sizeof f);
        if (!std::isfinite(f))
            continue;
        n = json_format_number(f, 9, 24, -126, out);
        ASSERT_TRUE(json_number_text_to_double(out, (size_t)n, 24, &back)) << out;
        ASSERT_EQ((float)back, f) << out;
        ASSERT_EQ(std::strtof(out, nullptr), f) << out;
    }
}

// ---- Writer ------------------------------------------------------------------------

TEST(JsonWriter, NeededLengthIsReportedAndTheBufferNeverOverrun)
{
    char buf[16];
    JsonWriter w;
    std::memset(buf, 'z', sizeof buf);
    json_writer_init(&w, buf, 4);
    json_write_string(&w, "hello", 100);
    EXPECT_EQ(json_writer_finish(&w), 7u);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(buf[4], 'z');

    std::memset(buf, 'z', sizeof buf);
    json_writer_init(&w, buf, 8);
    json_write_string(&w, "hello", 100);
    EXPECT_EQ(json_writer_finish(&w), 7u);
    EXPECT_STREQ(buf, "\"hello\"");
    EXPECT_EQ(buf[8], 'z');

    // Exactly the capacity: no room for the NUL, so the text is emptied.
    std::memset(buf, 'z', sizeof buf);
    json_writer_init(&w, buf, 7);
    json_write_string(&w, "hello", 100);
    EXPECT_EQ(json_writer_finish(&w), 7u);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(buf[7], 'z');

    // A null buffer counts only; a capacity of 0 writes nothing, not even the NUL.
    json_writer_init(&w, nullptr, 100);
    EXPECT_EQ(w.cap, 0u);
    json_write_raw(&w, "[1,2]");
    EXPECT_EQ(json_writer_finish(&w), 5u);
    std::memset(buf, 'z', sizeof buf);
    json_writer_init(&w, buf, 0);
    json_write_int(&w, 12);
    EXPECT_EQ(json_writer_finish(&w), 2u);
    EXPECT_EQ(buf[0], 'z');
    json_write_bool(nullptr, true);
    EXPECT_EQ(json_writer_finish(nullptr), 0u);
}

TEST(JsonWriter, EveryCapacityHoldsAPrefixAndTheRetryGetsItAll)
{
    auto write_doc = [](JsonWriter* w) {
        json_write_char(w, '{');
        json_write_string(w, "name", 99);
        json_write_char(w, ':');
        json_write_string(w, "b\xC3\xA4ss \"1\"", 99);
        json_write_raw(w, ",\"n\":[");
        json_write_int(w, -42);
        json_write_char(w, ',');
        json_write_double(w, 0.25);
        json_write_char(w, ',');
        json_write_float(w, 1e-3f);
        json_write_char(w, ',');
        json_write_bool(w, false);
        json_write_raw(w, "]}");
    };
    const std::string full = "{\"name\":\"b\xC3\xA4ss \\\"1\\\"\",\"n\":[-42,0.25,0.001,false]}";
    for (size_t cap = 0; cap <= full.size() + 2; cap++) {
        std::unique_ptr<char[]> buf(new char[cap ? cap : 1]);
        JsonWriter w;
        json_writer_init(&w, cap ? buf.get() : nullptr, cap);
        write_doc(&w);
        uint64_t needed = json_writer_finish(&w);
        ASSERT_EQ(needed, full.size());
        if (needed < cap) {
            EXPECT_EQ(std::string(buf.get()), full);
        } else if (cap > 0) {
            EXPECT_EQ(buf[0], '\0');
            // What a caller does: allocate needed + 1 and write again.
            std::unique_ptr<char[]> again(new char[needed + 1]);
            json_writer_init(&w, again.get(), needed + 1);
            write_doc(&w);
            EXPECT_EQ(json_writer_finish(&w), needed);
            EXPECT_EQ(std::string(again.get()), full);
        }
    }
}

TEST(JsonWriter, IntegersAndStringsAreEncoded)
{
    auto text = [](auto write) {
        char buf[128];
        JsonWriter w;
        json_writer_init(&w, buf, sizeof buf);
        write(&w);
        json_writer_finish(&w);
        return std::string(buf);
    };
    EXPECT_EQ(text([](JsonWriter* w) { json_write_int(w, INT64_MIN); }), "-9223372036854775808");
    EXPECT_EQ(text([](JsonWriter* w) { json_write_int(w, INT64_MAX); }), "9223372036854775807");
    EXPECT_EQ(text([](JsonWriter* w) { json_write_int(w, 0); }), "0");
    EXPECT_EQ(text([](JsonWriter* w) { json_write_bool(w, true); }), "true");
    EXPECT_EQ(text([](JsonWriter* w) { json_write_string(w, "q\"b\\s/\x7F", 99); }),
              "\"q\\\"b\\\\s/\x7F\"");
    EXPECT_EQ(text([](JsonWriter* w) { json_write_string(w, "\b\t\n\f\r\x01\x1F", 99); }),
              "\"\\b\\t\\n\\f\\r\\u0001\\u001f\"");
    EXPECT_EQ(text([](JsonWriter* w) { json_write_string(w, "a\xFF" "b\xC0\xAF", 99); }),
              "\"a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD\"");
    // max_bytes ends the text; a character cut by it is invalid there.
    EXPECT_EQ(text([](JsonWriter* w) { json_write_string(w, "ab\xE2\x82\xAC", 4); }),
              "\"ab\xEF\xBF\xBD\"");
    EXPECT_EQ(text([](JsonWriter* w) { json_write_string(w, "abc\0def", 99); }), "\"abc\"");
    EXPECT_EQ(text([](JsonWriter* w) { json_write_string(w, nullptr, 99); }), "\"\"");
    EXPECT_EQ(text([](JsonWriter* w) { json_write_bytes(w, nullptr, 5); }), "");
}

// ---- Round trips -------------------------------------------------------------------

// Writes a parsed value back out in compact form: strings decoded and re-encoded,
// numbers through their double when they have one, else as their text.
void rewrite(JsonValue v, JsonWriter* w)
{
    JsonIter it;
    JsonValue a, b;
    switch (v.kind) {
    case JSON_ARRAY:
    case JSON_OBJECT: {
        bool object = v.kind == JSON_OBJECT;
        json_write_char(w, object ? '{' : '[');
        json_iter_begin(&it, v);
        bool first = true;
        while (object ? json_iter_next_member(&it, &a, &b) : json_iter_next(&it, &b)) {
            if (!first)
                json_write_char(w, ',');
            first = false;
            if (object) {
                rewrite(a, w);
                json_write_char(w, ':');
            }
            rewrite(b, w);
        }
        json_write_char(w, object ? '}' : ']');
    } break;
    case JSON_STRING: {
        std::vector<char> buf((size_t)v.len * 3 + 1);
        size_t n = json_get_string(v, buf.data(), buf.size(), nullptr);
        json_write_string(w, buf.data(), n);
    } break;
    case JSON_NUMBER: {
        double d = 0;
        if (json_get_double(v, &d))
            json_write_double(w, d);
        else
            json_write_bytes(w, v.text, (size_t)v.len);
    } break;
    default: json_write_bytes(w, v.text, (size_t)v.len); break;
    }
}

std::string rewrite_text(JsonValue v)
{
    JsonWriter w;
    json_writer_init(&w, nullptr, 0);
    rewrite(v, &w);
    uint64_t needed = json_writer_finish(&w);
    std::string out((size_t)needed + 1, '\0');
    json_writer_init(&w, out.data(), out.size());
    rewrite(v, &w);
    EXPECT_EQ(json_writer_finish(&w), needed);
    out.resize((size_t)needed);
    return out;
}

// Same structure, same decoded strings, same numbers.
bool same_value(JsonValue a, JsonValue b)
{
    if (a.kind != b.kind)
        return false;
    JsonIter ia, ib;
    JsonValue ka, va, kb, vb;
    switch (a.kind) {
    case JSON_ARRAY:
    case JSON_OBJECT: {
        bool object = a.kind == JSON_OBJECT;
        if (json_count(a) != json_count(b))
            return false;
        json_iter_begin(&ia, a);
        json_iter_begin(&ib, b);
        for (;;) {
            bool more_a = object ? json_iter_next_member(&ia, &ka, &va) : json_iter_next(&ia, &va);
            bool more_b = object ? json_iter_next_member(&ib, &kb, &vb) : json_iter_next(&ib, &vb);
            if (more_a != more_b)
                return false;
            if (!more_a)
                return true;
            if ((object && !same_value(ka, kb)) || !same_value(va, vb))
                return false;
        }
    }
    case JSON_STRING: {
        std::vector<char> sa((size_t)a.len * 3 + 1), sb((size_t)b.len * 3 + 1);
        json_get_string(a, sa.data(), sa.size(), nullptr);
        json_get_string(b, sb.data(), sb.size(), nullptr);
        return std::strcmp(sa.data(), sb.data()) == 0 && json_string_equals(b, sa.data());
    }
    case JSON_NUMBER: {
        double da = 0, db = 0;
        bool oa = json_get_double(a, &da), ob = json_get_double(b, &db);
        return oa == ob && (oa ? da == db || (std::isnan(da) && std::isnan(db))
                               : view_text(a) == view_text(b));
    }
    default: return view_text(a) == view_text(b);
    }
}

// An accepted document written back out parses again to the same value, and writing
// that again gives the very same text.
void expect_round_trip(const Parsed& p)
{
    std::string once = rewrite_text(p.v);
    Parsed again = parse(once);
    ASSERT_TRUE(again.ok) << again.err << " in " << once;
    ASSERT_TRUE(same_value(p.v, again.v)) << once;
    ASSERT_EQ(rewrite_text(again.v), once);
}

TEST(JsonRoundTrip, DocumentsSurviveWritingAndReading)
{
    const char* docs[] = {
        "{\"format\":\"tidecoil.rig\",\"version\":1,\"scenes\":[{\"name\":\"A\",\"inputs\":"
        "[{\"label\":\"Gtr \\u00e9\",\"gain\":0.70794576,\"pan\":-0.25,\"mute\":false}]}],"
        "\"updatedAt\":1712345678901.5,\"extra\":{\"k\":[null,true,1e400,-0]}}",
        " [ \"\\uD83D\\uDE00\" , \"\\u0001\\u001F\\\\\" , \"\xFF\" , 1E-7 , 123456789012345678901234 ] ",
        "\"\"",
        "-0.0",
    };
    for (const char* doc : docs) {
        Parsed p = parse(doc);
        ASSERT_TRUE(p.ok) << doc << ": " << p.err;
        expect_round_trip(p);
    }
}

TEST(JsonRoundTrip, AnyByteStringIsWrittenAsValidJsonAndReadBackRepaired)
{
    std::mt19937 rng(11);
    for (int i = 0; i < 2000; i++) {
        std::string raw;
        int n = (int)(rng() % 24);
        for (int k = 0; k < n; k++) {
            unsigned r = rng() % 8;
            raw += (char)(r < 3 ? 0x20 + rng() % 0x60 : r < 5 ? 1 + rng() % 0x1F : 0x80 + rng() % 0x80);
        }
        JsonWriter w;
        char buf[256];
        json_writer_init(&w, buf, sizeof buf);
        json_write_string(&w, raw.c_str(), raw.size());
        ASSERT_LT(json_writer_finish(&w), sizeof buf);
        Parsed p = parse(buf);
        ASSERT_TRUE(p.ok) << p.err;
        int flags = 0;
        std::string back = get_string(p.v, 256, &flags);
        EXPECT_EQ(flags, 0);
        // The written text is valid UTF-8 that writes to itself again.
        json_writer_init(&w, buf, sizeof buf);
        json_write_string(&w, back.c_str(), back.size());
        json_writer_finish(&w);
        EXPECT_EQ(get_string(parse(buf).v, 256), back);
        EXPECT_TRUE(json_string_equals(p.v, back.c_str()));
    }
}

// ---- Random input ------------------------------------------------------------------

// Random bytes and mutations of valid documents: the reader never crashes nor reads
// outside the text (each lies in a heap block of exactly its size), a rejected text
// always has a message, and every accepted one round-trips through the writer.
TEST(JsonRandomInput, NeverCrashesAndAcceptedDocumentsRoundTrip)
{
    const std::string seeds[] = {
        "{\"a\":[1,2.5e-3,-0,true,false,null],\"b\":{\"c\":\"\\u00e9\\n\"},\"d\":[]}",
        "[[[[{\"k\":\"\\uD83D\\uDE00\"}]]],\"x\\\\y\",12345678901234567890,1E+2]",
        "{\"format\":\"tidecoil.rig\",\"scenes\":[{\"inputs\":[{\"gain\":1,\"pan\":0}]}]}",
        "\xEF\xBB\xBF \"caf\xC3\xA9\" ",
    };
    const char alphabet[] = "{}[]\",:\\-+.0123456789eEtrufalsn \t\r\n\x01\x7F\xC3\xA9\xFF";
    std::mt19937 rng(2024);
    int accepted = 0;
    for (int i = 0; i < 6000; i++) {
        std::string s;
        if (i % 3 == 0) {
            int n = (int)(rng() % 40);
            for (int k = 0; k < n; k++)
                s += (rng() & 1) ? (char)rng() : alphabet[rng() % (sizeof alphabet - 1)];
        } else {
            s = seeds[rng() % 4];
            int edits = 1 + (int)(rng() % 3);
            for (int e = 0; e < edits && !s.empty(); e++) {
                size_t at = rng() % s.size();
                char c = alphabet[rng() % (sizeof alphabet - 1)];
                switch (rng() % 4) {
                case 0: s[at] = c; break;
                case 1: s.insert(s.begin() + (long)at, c); break;
                case 2: s.erase(at, 1 + rng() % 3); break;
                default: s = s.substr(0, at); break;
                }
            }
        }
        Parsed p = parse(s);
        if (!p.ok) {
            ASSERT_FALSE(p.err.empty()) << s;
            continue;
        }
        accepted++;
        ASSERT_EQ(p.err, "");
        // Every walk and getter on every value of an accepted text.
        expect_round_trip(p);
    }
    EXPECT_GT(accepted, 500);
}

}   // namespace
