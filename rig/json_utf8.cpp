// json_utf8.cpp - one-character UTF-8 decoding and encoding.
#include "rig/json_utf8.h"

int json_utf8_decode(const unsigned char* s, int avail, uint32_t* out_cp)
{
    uint32_t scratch = 0;
    uint32_t* cp_out = out_cp ? out_cp : &scratch;
    *cp_out = JSON_UTF8_INVALID;
    if (!s || avail < 1)
        return 0;

    unsigned lead = s[0];
    if (lead < 0x80) {
        *cp_out = lead;
        return 1;
    }

    // Continuation count, the lead's payload bits, and the allowed range of the
    // second byte (narrowed after E0, ED, F0 and F4 to shut out overlong forms,
    // surrogates and values above U+10FFFF).
    int follow = 0;
    uint32_t cp = 0;
    unsigned lo = 0x80, hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        follow = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        follow = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0)
            lo = 0xA0;
        else if (lead == 0xED)
            hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        follow = 3;
        cp = lead & 0x07;
        if (lead == 0xF0)
            lo = 0x90;
        else if (lead == 0xF4)
            hi = 0x8F;
    } else {
        return 1;
    }

    for (int i = 1; i <= follow; i++) {
        // Running out, or a byte outside its range, ends the invalid unit before
        // that byte: it is where the next decode starts.
        if (i >= avail || s[i] < lo || s[i] > hi)
            return i;
        cp = (cp << 6) | (s[i] & 0x3Fu);
        lo = 0x80;
        hi = 0xBF;
    }
    *cp_out = cp;
    return follow + 1;
}

int json_utf8_encode(uint32_t cp, unsigned char* out)
{
    if (!out || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    if (cp < 0x80) {
        out[0] = (unsigned char)cp;
        return 1;
    }
    if (cp < 0x800) {
        out[0] = (unsigned char)(0xC0 | (cp >> 6));
        out[1] = (unsigned char)(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = (unsigned char)(0xE0 | (cp >> 12));
        out[1] = (unsigned char)(0x80 | ((cp >> 6) & 0x3F));
        out[2] = (unsigned char)(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = (unsigned char)(0xF0 | (cp >> 18));
    out[1] = (unsigned char)(0x80 | ((cp >> 12) & 0x3F));
    out[2] = (unsigned char)(0x80 | ((cp >> 6) & 0x3F));
    out[3] = (unsigned char)(0x80 | (cp & 0x3F));
    return 4;
}
