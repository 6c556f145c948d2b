// The JSON reader on any bytes. A text it accepts is walked whole: every view lies
// inside the text, counts match the walks, numbers agree with strtod and strtof, strings decode
// to valid UTF-8 at every buffer size, and writing the walked document out again
// gives a text that parses and writes out to the very same bytes. The tail of the
// input is then read as a view that never came from the validator (a raw view): its
// walks and getters must stay inside it.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_kit.h"
#include "rig/json_read.h"
#include "rig/json_write.h"

namespace {

struct Walk {
    const char* begin;
    const char* end;
    JsonWriter* w;
};

void check_inside(const Walk& k, JsonValue v)
{
    FUZZ_CHECK(v.text >= k.begin && v.text + v.len <= k.end);
}

void check_string(JsonValue v, std::string* decoded)
{
    static const size_t sizes[] = {1, 2, 3, 5, 64, 100000};
    std::string whole;
    for (size_t size : sizes) {
        std::vector<char> buf(size);
        int flags = 0;
        size_t n = json_get_string(v, buf.data(), size, &flags);
        FUZZ_CHECK(n < size && buf[n] == '\0');
        FUZZ_CHECK(fuzz_utf8_valid(buf.data(), n));
        whole.assign(buf.data(), n);
        if (!(flags & JSON_STR_CUT) && !(flags & JSON_STR_REPLACED) && whole.find('\0') == std::string::npos)
            FUZZ_CHECK(json_string_equals(v, whole.c_str()));
    }
    *decoded = whole;
}

// Walks v, writing it out compactly as it goes.
void walk(const Walk& k, JsonValue v, int depth)
{
    check_inside(k, v);
    FUZZ_CHECK(depth <= JSON_MAX_DEPTH);
    FUZZ_CHECK(v.kind == json_kind_of((unsigned char)v.text[0]));
    JsonIter it;
    JsonValue key, item;
    int32_t n = 0;
    switch (v.kind) {
    case JSON_NULL:
        json_write_raw(k.w, "null");
        break;
    case JSON_BOOL: {
        uint8_t b = 2;
        FUZZ_CHECK(json_get_bool(v, &b) && b <= 1);
        json_write_bool(k.w, b != 0);
        break;
    }
    case JSON_NUMBER: {
        std::string text(v.text, (size_t)v.len);
        double d = 0.0, ref = std::strtod(text.c_str(), nullptr);
        bool ok = json_get_double(v, &d);
        FUZZ_CHECK(ok == std::isfinite(ref));
        if (ok) {
            FUZZ_CHECK(d == ref);
            json_write_double(k.w, d);
        } else {
            json_write_raw(k.w, "0");
        }
        float f = 0.0f, ref_f = std::strtof(text.c_str(), nullptr);
        bool fok = json_get_float(v, &f);
        FUZZ_CHECK(fok == std::isfinite(ref_f));
        FUZZ_CHECK(!fok || f == ref_f);
        int64_t i = 0;
        if (json_get_int64(v, &i) && ok && std::fabs(ref) < 9.0e15)
            FUZZ_CHECK((double)i == ref);
        break;
    }
    case JSON_STRING: {
        std::string s;
        check_string(v, &s);
        json_write_string(k.w, s.c_str(), s.size());
        break;
    }
    case JSON_ARRAY:
        json_write_char(k.w, '[');
        json_iter_begin(&it, v);
        while (json_iter_next(&it, &item)) {
            if (n++)
                json_write_char(k.w, ',');
            walk(k, item, depth + 1);
        }
        FUZZ_CHECK(n == json_count(v));
        json_write_char(k.w, ']');
        break;
    case JSON_OBJECT:
        json_write_char(k.w, '{');
        json_iter_begin(&it, v);
        while (json_iter_next_member(&it, &key, &item)) {
            if (n++)
                json_write_char(k.w, ',');
            FUZZ_CHECK(key.kind == JSON_STRING);
            walk(k, key, depth + 1);
            json_write_char(k.w, ':');
            walk(k, item, depth + 1);
        }
        FUZZ_CHECK(n == json_count(v));
        json_write_char(k.w, '}');
        break;
    default:
        FUZZ_CHECK(false);
    }
}

// Parses a heap copy of exactly the text's size and writes the walked document out.
bool parse_and_write(const std::string& text, std::string* out)
{
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.data(), text.size());
    JsonValue v;
    char err[160];
    bool ok = json_parse(text.empty() ? nullptr : copy.get(), text.size(), &v, err, sizeof err);
    if (!ok) {
        FUZZ_CHECK(v.kind == 0 && v.len == 0 && err[0] != '\0');
        return false;
    }
    JsonWriter w;
    json_writer_init(&w, nullptr, 0);
    Walk k{copy.get(), copy.get() + text.size(), &w};
    walk(k, v, 0);
    std::vector<char> buf(w.needed + 1);
    json_writer_init(&w, buf.data(), buf.size());
    walk(k, v, 0);
    uint64_t needed = json_writer_finish(&w);
    FUZZ_CHECK(needed + 1 == buf.size());
    out->assign(buf.data(), needed);
    return true;
}

// Any walk over a view not made by the validator stays inside the view.
void walk_raw(const char* text, size_t len, int depth)
{
    JsonValue v{json_kind_of((unsigned char)text[0]), text, len};
    JsonIter it;
    JsonValue key, item;
    json_iter_begin(&it, v);
    int guard = 0;
    if (v.kind == JSON_ARRAY) {
        while (guard++ < 64 && json_iter_next(&it, &item)) {
            FUZZ_CHECK(item.text >= text && item.text + item.len <= text + len);
            if (depth < 4 && item.len > 0)
                walk_raw(item.text, (size_t)item.len, depth + 1);
        }
    } else if (v.kind == JSON_OBJECT) {
        while (guard++ < 64 && json_iter_next_member(&it, &key, &item)) {
            FUZZ_CHECK(key.text >= text && key.text + key.len <= text + len);
            FUZZ_CHECK(item.text >= text && item.text + item.len <= text + len);
            if (depth < 4 && item.len > 0)
                walk_raw(item.text, (size_t)item.len, depth + 1);
        }
    }
    json_count(v);
    double d;
    int64_t i;
    uint8_t b;
    float f;
    json_get_double(v, &d);
    json_get_float(v, &f);
    json_get_int64(v, &i);
    json_get_bool(v, &b);
    char buf[40];
    size_t n = json_get_string(v, buf, sizeof buf, nullptr);
    FUZZ_CHECK(n < sizeof buf && fuzz_utf8_valid(buf, n));
    json_string_equals(v, "a");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text((const char*)data, size);
    std::string once, twice;
    if (parse_and_write(text, &once)) {
        FUZZ_CHECK(parse_and_write(once, &twice));
        FUZZ_CHECK(once == twice);
    }
    // The raw view: from the offset the first byte names to the end, in a block of
    // exactly that size.
    if (size > 1) {
        size_t from = 1 + data[0] % (size - 1);
        std::unique_ptr<char[]> raw(new char[size - from]);
        std::memcpy(raw.get(), data + from, size - from);
        walk_raw(raw.get(), size - from, 0);
    }
    return 0;
}
