// json_get.cpp - typed getters over views: booleans, exact numbers, and strings
// decoded to UTF-8 with every invalid character replaced.
#include "rig/json_read.h"

#include "rig/json_number.h"
#include "rig/json_utf8.h"

#include <cmath>
#include <cstring>

namespace {

const unsigned char kReplacement[3] = {0xEF, 0xBF, 0xBD};   // U+FFFD

int hex_value(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The code unit of a backslash-u escape at p (six bytes before end), or -1.
long escape_unit(const unsigned char* p, const unsigned char* end)
{
    if (end - p < 6 || p[0] != '\\' || p[1] != 'u')
        return -1;
    long unit = 0;
    for (int i = 2; i < 6; i++) {
        int h = hex_value(p[i]);
        if (h < 0)
            return -1;
        unit = unit * 16 + h;
    }
    return unit;
}

// One decoded character of a string's content: its UTF-8 bytes (U+FFFD when
// invalid) and how many bytes of the content it took.
struct StringChar {
    unsigned char bytes[4];
    int len;
    int consumed;
    bool invalid;
};

uint32_t simple_escape(unsigned char e)
{
    switch (e) {
    case 'b': return 8;
    case 'f': return 12;
    case 'n': return 10;
    case 'r': return 13;
    case 't': return 9;
    case '"':
    case '/':
    case '\\': return e;
    default: return JSON_UTF8_INVALID;
    }
}

// Decodes the character at p (p < end).
void next_string_char(const unsigned char* p, const unsigned char* end, StringChar* c)
{
    uint32_t cp = JSON_UTF8_INVALID;
    if (*p != '\\') {
        long avail = end - p;
        c->consumed = json_utf8_decode(p, avail < 4 ? (int)avail : 4, &cp);
    } else if (end - p < 2) {
        c->consumed = 1;   // a backslash with nothing after it
    } else if (p[1] != 'u') {
        cp = simple_escape(p[1]);
        c->consumed = 2;
    } else {
        long unit = escape_unit(p, end);
        c->consumed = unit < 0 ? 2 : 6;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            long low = escape_unit(p + 6, end);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + (((uint32_t)unit - 0xD800) << 10) + ((uint32_t)low - 0xDC00);
                c->consumed = 12;
            }
        } else if (unit > 0 && (unit < 0xDC00 || unit > 0xDFFF)) {
            cp = (uint32_t)unit;
        }
    }
    // No NUL may come out of a string, raw or escaped.
    c->invalid = cp == JSON_UTF8_INVALID || cp == 0;
    c->len = c->invalid ? 0 : json_utf8_encode(cp, c->bytes);
    if (c->len == 0) {
        c->invalid = true;
        std::memcpy(c->bytes, kReplacement, 3);
        c->len = 3;
    }
}

// The content of a string view between its quotation marks; false for other views.
bool string_content(JsonValue v, const unsigned char** begin, const unsigned char** end)
{
    if (v.kind != JSON_STRING || !v.text || v.len < 2)
        return false;
    *begin = (const unsigned char*)v.text + 1;
    *end = (const unsigned char*)v.text + v.len - 1;
    return true;
}

bool number_value(JsonValue v, int mant_bits, double* out)
{
    return v.kind == JSON_NUMBER && v.text &&
           json_number_text_to_double(v.text, (size_t)v.len, mant_bits, out);
}

}   // namespace

bool json_get_bool(JsonValue v, uint8_t* out)
{
    if (v.kind != JSON_BOOL || !v.text || v.len < 1 || !out)
        return false;
    *out = v.text[0] == 't';
    return true;
}

bool json_get_float(JsonValue v, float* out)
{
    double d = 0;
    if (!out || !number_value(v, 24, &d))
        return false;
    *out = (float)d;
    return true;
}

bool json_get_double(JsonValue v, double* out)
{
    double d = 0;
    if (!out || !number_value(v, 53, &d))
        return false;
    *out = d;
    return true;
}

bool json_get_int64(JsonValue v, int64_t* out)
{
    if (v.kind != JSON_NUMBER || !v.text || v.len < 1 || !out)
        return false;
    const char* p = v.text;
    const char* end = v.text + v.len;
    bool negative = *p == '-';
    if (negative)
        p++;
    bool plain = p < end;
    for (const char* q = p; q < end; q++)
        plain = plain && *q >= '0' && *q <= '9';

    if (plain) {
        const uint64_t limit = negative ? (uint64_t)INT64_MAX + 1 : (uint64_t)INT64_MAX;
        uint64_t acc = 0;
        for (; p < end; p++) {
            uint64_t digit = (uint64_t)(*p - '0');
            if (acc > (limit - digit) / 10)
                return false;
            acc = acc * 10 + digit;
        }
        *out = negative ? (int64_t)(0 - acc) : (int64_t)acc;
        return true;
    }
    double d = 0;
    if (!number_value(v, 53, &d) || !std::isfinite(d) || d != std::floor(d) ||
        std::fabs(d) >= 9.2e18)
        return false;
    *out = (int64_t)d;
    return true;
}

size_t json_get_string(JsonValue v, char* buf, size_t size, int* flags)
{
    if (flags)
        *flags = 0;
    if (!buf || size < 1)
        return 0;
    buf[0] = '\0';
    const unsigned char *p, *end;
    if (!string_content(v, &p, &end))
        return 0;
    size_t w = 0;
    int f = 0;
    StringChar c;
    while (p < end) {
        next_string_char(p, end, &c);
        if ((size_t)c.len > size - 1 - w) {
            f |= JSON_STR_CUT;
            break;
        }
        if (c.invalid)
            f |= JSON_STR_REPLACED;
        std::memcpy(buf + w, c.bytes, (size_t)c.len);
        w += (size_t)c.len;
        p += c.consumed;
    }
    buf[w] = '\0';
    if (flags)
        *flags = f;
    return w;
}

bool json_string_equals(JsonValue v, const char* text)
{
    const unsigned char *p, *end;
    if (!text || !string_content(v, &p, &end))
        return false;
    size_t n = (size_t)(end - p);
    if (!std::memchr(p, '\\', n))
        return std::strlen(text) == n && std::memcmp(p, text, n) == 0;

    const unsigned char* t = (const unsigned char*)text;
    StringChar c;
    while (p < end) {
        next_string_char(p, end, &c);
        // The decoded bytes hold no NUL, so a shorter text fails here at its NUL.
        for (int i = 0; i < c.len; i++)
            if (*t++ != c.bytes[i])
                return false;
        p += c.consumed;
    }
    return *t == '\0';
}
