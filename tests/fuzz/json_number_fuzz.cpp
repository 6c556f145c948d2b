// The number reader against the C library's correctly rounded strtod and strtof, and
// the shortest number text: it reads back to the same value and has no more digits
// than the shortest %g text that does.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_kit.h"
#include "rig/json_number.h"

// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
static bool is_json_number(const std::string& s)
{
    size_t i = 0, n = s.size();
    auto digits = [&]() {
        size_t from = i;
        while (i < n && s[i] >= '0' && s[i] <= '9')
            i++;
        return i > from;
    };
    if (i < n && s[i] == '-')
        i++;
    if (i < n && s[i] == '0')
        i++;
    else if (!digits())
        return false;
    if (i < n && s[i] == '.') {
        i++;
        if (!digits())
            return false;
    }
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        i++;
        if (i < n && (s[i] == '+' || s[i] == '-'))
            i++;
        if (!digits())
            return false;
    }
    return i == n;
}

// Significant digits of a number text: leading and trailing zeros do not count.
static int significant_digits(const char* text)
{
    std::string d;
    for (const char* p = text; *p && *p != 'e' && *p != 'E'; p++)
        if (*p >= '0' && *p <= '9')
            d += *p;
    size_t a = d.find_first_not_of('0');
    if (a == std::string::npos)
        return 1;
    size_t b = d.find_last_not_of('0');
    return (int)(b - a + 1);
}

static bool same(double a, double b) { return a == b && std::signbit(a) == std::signbit(b); }

// The formatted text reads back to value and is no longer than the shortest %.Ng.
static void check_format(double value, bool as_float)
{
    char text[JSON_NUMBER_TEXT_CAP];
    int len = as_float ? json_format_number(value, 9, 24, -126, text) : json_format_number(value, 17, 53, -1022, text);
    FUZZ_CHECK(len > 0 && len < JSON_NUMBER_TEXT_CAP && (size_t)len == std::strlen(text));
    FUZZ_CHECK(is_json_number(text));
    double back = as_float ? (double)std::strtof(text, nullptr) : std::strtod(text, nullptr);
    FUZZ_CHECK(back == value);
    int shortest = 1;
    for (; shortest < 17; shortest++) {
        char g[64];
        std::snprintf(g, sizeof g, "%.*g", shortest, value);
        double r = as_float ? (double)std::strtof(g, nullptr) : std::strtod(g, nullptr);
        if (r == value)
            break;
    }
    FUZZ_CHECK(significant_digits(text) <= shortest);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 400)
        return 0;
    std::string text((const char*)data, size);
    bool valid = is_json_number(text);
    double d = 0.0, f = 0.0;
    bool dok = json_number_text_to_double(text.data(), text.size(), 53, &d);
    bool fok = json_number_text_to_double(text.data(), text.size(), 24, &f);
    // The reader may take more than JSON's grammar (leading zeros, say), but whatever
    // it takes is a plain decimal number that strtod reads whole.
    char* end = nullptr;
    double rd = std::strtod(text.c_str(), &end);
    float rf = std::strtof(text.c_str(), nullptr);
    bool plain = end == text.c_str() + text.size() && text.find_first_not_of("+-.0123456789eE") == std::string::npos;
    if (!plain) {
        FUZZ_CHECK(!dok && !fok);
        return 0;
    }
    if (valid) {
        FUZZ_CHECK(dok == std::isfinite(rd));
        FUZZ_CHECK(fok == std::isfinite(rf));
    }
    if (dok) {
        FUZZ_CHECK(same(d, rd));
        check_format(d, false);
    }
    if (fok) {
        FUZZ_CHECK(same(f, (double)rf));
        check_format(f, true);
    }
    return 0;
}
