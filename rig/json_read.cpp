// json_read.cpp - validation of a whole JSON text in one pass, with the first fault
// reported as a word and a byte offset.
#include "rig/json_read.h"

#include <cstdio>

namespace {

enum ParseFault { FAULT_NONE, FAULT_TRUNCATED, FAULT_UNEXPECTED, FAULT_NESTED, FAULT_TRAILING };

struct ParseState {
    const unsigned char* base;   // the text as passed in (offsets count from here)
    const unsigned char* p;
    const unsigned char* end;
    int32_t depth;
    ParseFault fault;            // the first fault recorded wins
    const unsigned char* fault_at;
};

bool is_blank(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_hex(unsigned char c)
{
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool fail(ParseState* ps, ParseFault fault, const unsigned char* at)
{
    if (ps->fault == FAULT_NONE) {
        ps->fault = fault;
        ps->fault_at = at;
    }
    return false;
}

// The byte at p was not what the grammar allows: "truncated" when there is none.
bool fail_here(ParseState* ps)
{
    return fail(ps, ps->p < ps->end ? FAULT_UNEXPECTED : FAULT_TRUNCATED, ps->p);
}

void skip_blanks(ParseState* ps)
{
    while (ps->p < ps->end && is_blank(*ps->p))
        ps->p++;
}

bool at(const ParseState* ps, unsigned char c) { return ps->p < ps->end && *ps->p == c; }

// One or more digits.
bool take_digits(ParseState* ps)
{
    if (ps->p >= ps->end || !is_digit(*ps->p))
        return fail_here(ps);
    while (ps->p < ps->end && is_digit(*ps->p))
        ps->p++;
    return true;
}

bool parse_string(ParseState* ps)
{
    ps->p++;   // opening quotation mark
    for (;;) {
        if (ps->p >= ps->end)
            return fail_here(ps);
        unsigned char c = *ps->p;
        if (c == '"') {
            ps->p++;
            return true;
        }
        if (c < 0x20)
            return fail_here(ps);
        ps->p++;
        if (c != '\\')
            continue;
        if (ps->p >= ps->end)
            return fail_here(ps);
        unsigned char e = *ps->p;
        if (e == '"' || e == '/' || e == '\\' || e == 'b' || e == 'f' || e == 'n' ||
            e == 'r' || e == 't') {
            ps->p++;
        } else if (e == 'u') {
            ps->p++;
            for (int i = 0; i < 4; i++) {
                if (ps->p >= ps->end || !is_hex(*ps->p))
                    return fail_here(ps);
                ps->p++;
            }
        } else {
            return fail_here(ps);
        }
    }
}

bool parse_number(ParseState* ps)
{
    if (at(ps, '-'))
        ps->p++;
    if (at(ps, '0'))
        ps->p++;   // a leading zero ends the integer part
    else if (!take_digits(ps))
        return false;
    if (at(ps, '.')) {
        ps->p++;
        if (!take_digits(ps))
            return false;
    }
    if (at(ps, 'e') || at(ps, 'E')) {
        ps->p++;
        if (at(ps, '+') || at(ps, '-'))
            ps->p++;
        if (!take_digits(ps))
            return false;
    }
    return true;
}

bool parse_literal(ParseState* ps, const char* word)
{
    for (const char* w = word; *w; w++) {
        if (!at(ps, (unsigned char)*w))
            return fail_here(ps);
        ps->p++;
    }
    return true;
}

bool parse_value(ParseState* ps);

bool parse_container(ParseState* ps)
{
    const bool object = *ps->p == '{';
    const unsigned char close = object ? '}' : ']';
    if (ps->depth + 1 > JSON_MAX_DEPTH)
        return fail(ps, FAULT_NESTED, ps->p);
    ps->depth++;
    ps->p++;
    skip_blanks(ps);
    if (at(ps, close)) {
        ps->p++;
        ps->depth--;
        return true;
    }
    for (;;) {
        if (object) {
            if (!at(ps, '"'))
                return fail_here(ps);
            if (!parse_string(ps))
                return false;
            skip_blanks(ps);
            if (!at(ps, ':'))
                return fail_here(ps);
            ps->p++;
            skip_blanks(ps);
        }
        if (!parse_value(ps))
            return false;
        skip_blanks(ps);
        if (at(ps, ',')) {
            ps->p++;
            skip_blanks(ps);
            continue;
        }
        if (!at(ps, close))
            return fail_here(ps);
        ps->p++;
        ps->depth--;
        return true;
    }
}

bool parse_value(ParseState* ps)
{
    if (ps->p >= ps->end)
        return fail_here(ps);
    switch (*ps->p) {
    case '"': return parse_string(ps);
    case '[':
    case '{': return parse_container(ps);
    case 't': return parse_literal(ps, "true");
    case 'f': return parse_literal(ps, "false");
    case 'n': return parse_literal(ps, "null");
    default:
        if (*ps->p == '-' || is_digit(*ps->p))
            return parse_number(ps);
        return fail_here(ps);
    }
}

void format_fault(const ParseState* ps, char* err, size_t err_cap)
{
    if (!err || err_cap < 1)
        return;
    unsigned long long pos = (unsigned long long)(ps->fault_at - ps->base);
    const char* suffix = ps->fault == FAULT_TRAILING ? " (after the value)" : "";
    switch (ps->fault) {
    case FAULT_TRUNCATED: std::snprintf(err, err_cap, "truncated at byte %llu", pos); break;
    case FAULT_NESTED:
        std::snprintf(err, err_cap, "nested deeper than %d at byte %llu", JSON_MAX_DEPTH, pos);
        break;
    default: {
        unsigned char c = *ps->fault_at;
        if (c >= '!' && c <= '~')
            std::snprintf(err, err_cap, "unexpected '%c' at byte %llu%s", c, pos, suffix);
        else
            std::snprintf(err, err_cap, "unexpected byte 0x%02X at byte %llu%s", c, pos, suffix);
    } break;
    }
}

}   // namespace

int32_t json_kind_of(unsigned char first)
{
    switch (first) {
    case '"': return JSON_STRING;
    case '[': return JSON_ARRAY;
    case '{': return JSON_OBJECT;
    case 'f':
    case 't': return JSON_BOOL;
    case 'n': return JSON_NULL;
    default: return first == '-' || is_digit(first) ? JSON_NUMBER : JSON_NONE;
    }
}

bool json_parse(const char* text, size_t len, JsonValue* out, char* err, size_t err_cap)
{
    if (err && err_cap >= 1)
        err[0] = '\0';
    if (!text)
        len = 0;
    if (out)
        *out = JsonValue{JSON_NONE, text, 0};

    ParseState ps{};
    ps.base = (const unsigned char*)text;
    ps.p = ps.base;
    ps.end = ps.base + len;
    if (len >= 3 && ps.p[0] == 0xEF && ps.p[1] == 0xBB && ps.p[2] == 0xBF)
        ps.p += 3;
    skip_blanks(&ps);
    if (ps.p >= ps.end) {
        if (err && err_cap >= 1)
            std::snprintf(err, err_cap, "no JSON value (empty)");
        return false;
    }

    const unsigned char* start = ps.p;
    bool ok = parse_value(&ps);
    const unsigned char* value_end = ps.p;
    if (ok) {
        skip_blanks(&ps);
        if (ps.p < ps.end)
            ok = fail(&ps, FAULT_TRAILING, ps.p);
    }
    if (!ok) {
        format_fault(&ps, err, err_cap);
        return false;
    }
    if (out)
        *out = JsonValue{json_kind_of(*start), (const char*)start, (uint64_t)(value_end - start)};
    return true;
}
