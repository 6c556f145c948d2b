// json_write.cpp - the bounded writer: every write counts its full length, and only
// the bytes that fit below the capacity are copied.
#include "rig/json_write.h"

#include "rig/json_number.h"
#include "rig/json_utf8.h"

#include <cstring>

void json_writer_init(JsonWriter* w, char* buf, uint64_t cap)
{
    if (!w)
        return;
    w->buf = buf;
    w->cap = buf ? cap : 0;
    w->needed = 0;
}

void json_write_bytes(JsonWriter* w, const void* bytes, size_t n)
{
    if (!w || !bytes || n == 0)
        return;
    if (w->needed < w->cap) {
        uint64_t room = w->cap - w->needed;
        std::memcpy(w->buf + w->needed, bytes, (size_t)(n < room ? n : room));
    }
    w->needed += n;
}

void json_write_char(JsonWriter* w, char c) { json_write_bytes(w, &c, 1); }

void json_write_raw(JsonWriter* w, const char* text)
{
    if (text)
        json_write_bytes(w, text, std::strlen(text));
}

void json_write_bool(JsonWriter* w, bool b) { json_write_raw(w, b ? "true" : "false"); }

void json_write_int(JsonWriter* w, int64_t v)
{
    // The magnitude as unsigned, so the most negative value has one too.
    uint64_t mag = v < 0 ? 0 - (uint64_t)v : (uint64_t)v;
    char digits[24];
    int i = (int)sizeof digits;
    do {
        digits[--i] = (char)('0' + mag % 10);
        mag /= 10;
    } while (mag);
    if (v < 0)
        digits[--i] = '-';
    json_write_bytes(w, digits + i, sizeof digits - (size_t)i);
}

void json_write_float(JsonWriter* w, float v)
{
    char text[JSON_NUMBER_TEXT_CAP];
    json_write_bytes(w, text, (size_t)json_format_number(v, 9, 24, -126, text));
}

void json_write_double(JsonWriter* w, double v)
{
    char text[JSON_NUMBER_TEXT_CAP];
    json_write_bytes(w, text, (size_t)json_format_number(v, 17, 53, -1022, text));
}

void json_write_string(JsonWriter* w, const char* text, size_t max_bytes)
{
    static const char kHex[] = "0123456789abcdef";
    static const unsigned char kReplacement[3] = {0xEF, 0xBF, 0xBD};   // U+FFFD
    json_write_char(w, '"');
    const unsigned char* p = (const unsigned char*)(text ? text : "");
    const unsigned char* end = p + (text ? strnlen(text, max_bytes) : 0);
    while (p < end) {
        // Runs of plain printable ASCII go out in one write.
        const unsigned char* run = p;
        while (run < end && *run >= 0x20 && *run < 0x80 && *run != '"' && *run != '\\')
            run++;
        json_write_bytes(w, p, (size_t)(run - p));
        p = run;
        if (p >= end)
            break;
        unsigned char c = *p;
        if (c == '"' || c == '\\') {
            const char esc[2] = {'\\', (char)c};
            json_write_bytes(w, esc, 2);
            p++;
        } else if (c < 0x20) {
            const char* named = c == 8 ? "\\b" : c == 9 ? "\\t" : c == 10 ? "\\n"
                              : c == 12 ? "\\f" : c == 13 ? "\\r" : nullptr;
            if (named) {
                json_write_raw(w, named);
            } else {
                const char esc[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
                json_write_bytes(w, esc, 6);
            }
            p++;
        } else {
            uint32_t cp = 0;
            long avail = end - p;
            int n = json_utf8_decode(p, avail < 4 ? (int)avail : 4, &cp);
            if (cp == JSON_UTF8_INVALID)
                json_write_bytes(w, kReplacement, 3);
            else
                json_write_bytes(w, p, (size_t)n);
            p += n;
        }
    }
    json_write_char(w, '"');
}

uint64_t json_writer_finish(JsonWriter* w)
{
    if (!w)
        return 0;
    if (w->buf && w->cap > 0)
        w->buf[w->needed < w->cap ? w->needed : 0] = '\0';
    return w->needed;
}
