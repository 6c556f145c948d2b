// json_walk.cpp - lazy walks over the items of an array and the members of an
// object: each value's end is found when it is reached, by re-scanning the text.
#include "rig/json_read.h"

#include <cstdint>

namespace {

bool is_blank(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool is_token_byte(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           c == '+' || c == '-' || c == '.';
}

// Past a string starting at p (its opening quotation mark); end when unterminated.
const unsigned char* string_end(const unsigned char* p, const unsigned char* end)
{
    for (p++; p < end; p++) {
        if (*p == '\\') {
            if (end - p < 2)
                return end;
            p++;
        } else if (*p == '"') {
            return p + 1;
        }
    }
    return end;
}

// Past the bracket that closes the container opening at p; end when it never closes.
const unsigned char* container_end(const unsigned char* p, const unsigned char* end)
{
    uint64_t open = 0;
    while (p < end) {
        unsigned char c = *p;
        if (c == '"') {
            p = string_end(p, end);
            continue;
        }
        if (c == '[' || c == '{')
            open++;
        else if ((c == ']' || c == '}') && --open == 0)
            return p + 1;
        p++;
    }
    return end;
}

// The value starting at p, no further than end. False for a byte that starts no
// value, so that a walk over text that was never validated still moves forward or
// stops.
bool take_value(const unsigned char* p, const unsigned char* end, JsonValue* out)
{
    if (p >= end)
        return false;
    int32_t kind = json_kind_of(*p);
    const unsigned char* e = p;
    if (kind == JSON_NONE)
        return false;
    if (kind == JSON_STRING)
        e = string_end(p, end);
    else if (kind == JSON_ARRAY || kind == JSON_OBJECT)
        e = container_end(p, end);
    else
        while (e < end && is_token_byte(*e))
            e++;
    *out = JsonValue{kind, (const char*)p, (uint64_t)(e - p)};
    return true;
}

const unsigned char* skip_separators(const unsigned char* p, const unsigned char* end,
                                     unsigned char sep)
{
    while (p < end && (is_blank(*p) || *p == sep))
        p++;
    return p;
}

}   // namespace

void json_iter_begin(JsonIter* it, JsonValue v)
{
    if (!it)
        return;
    it->pos = it->end = v.text;
    if ((v.kind == JSON_ARRAY || v.kind == JSON_OBJECT) && v.text && v.len >= 2) {
        it->pos = v.text + 1;
        it->end = v.text + v.len - 1;
    }
}

bool json_iter_next(JsonIter* it, JsonValue* out)
{
    if (!it || !it->pos || !out)
        return false;
    const unsigned char* end = (const unsigned char*)it->end;
    const unsigned char* p = skip_separators((const unsigned char*)it->pos, end, ',');
    JsonValue v;
    if (!take_value(p, end, &v)) {
        it->pos = it->end;
        return false;
    }
    it->pos = v.text + v.len;
    *out = v;
    return true;
}

bool json_iter_next_member(JsonIter* it, JsonValue* key, JsonValue* value)
{
    if (!it || !it->pos || !key || !value)
        return false;
    const unsigned char* end = (const unsigned char*)it->end;
    const unsigned char* p = skip_separators((const unsigned char*)it->pos, end, ',');
    JsonValue k, v;
    if (p >= end || *p != '"' || !take_value(p, end, &k) ||
        !take_value(skip_separators(p + k.len, end, ':'), end, &v)) {
        it->pos = it->end;
        return false;
    }
    it->pos = v.text + v.len;
    *key = k;
    *value = v;
    return true;
}

bool json_find_member(JsonValue obj, const char* name, JsonValue* out)
{
    JsonIter it;
    JsonValue key, value;
    if (obj.kind != JSON_OBJECT || !name)
        return false;
    json_iter_begin(&it, obj);
    while (json_iter_next_member(&it, &key, &value))
        if (json_string_equals(key, name)) {
            if (out)
                *out = value;
            return true;
        }
    return false;
}

int32_t json_count(JsonValue v)
{
    JsonIter it;
    JsonValue key, item;
    int32_t n = 0;
    json_iter_begin(&it, v);
    if (v.kind == JSON_ARRAY) {
        while (n < INT32_MAX && json_iter_next(&it, &item))
            n++;
    } else if (v.kind == JSON_OBJECT) {
        while (n < INT32_MAX && json_iter_next_member(&it, &key, &item))
            n++;
    }
    return n;
}
