// json_number.cpp - exact decimal-to-binary conversion (a fast path for ordinary
// values, big integers on the stack for the rest) and shortest round-trip number text.
#include "rig/json_number.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// ---- Limits ----------------------------------------------------------------------

const int kMaxDigits = 800;          // significant digits kept; later ones act as a sticky 1
const int64_t kExpSaturate = 100000; // exponent digits stop counting here
const int64_t kPointMax = 330;       // a decimal point further right overflows every type
const int64_t kPointMin = -400;      // further left is zero for every type
const int kMaxLimbs = 160;

const double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                           1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
const uint32_t kPow10Small[10] = {1,      10,      100,      1000,      10000,
                                  100000, 1000000, 10000000, 100000000, 1000000000};

const double kFloatMin = 1.1754943508222875e-38;   // smallest normal float
const double kFloatMax = 3.4028234663852886e38;

// ---- Decimal digits --------------------------------------------------------------

// A number as 0.d1d2...dn x 10^point.
struct Decimal {
    bool negative;
    int count;
    int64_t point;
    unsigned char digit[kMaxDigits + 1];   // values 0..9; room for the sticky digit
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads a JSON number text. Significant digits past the 800th only leave a sticky 1
// behind, which keeps their effect on rounding.
bool decimal_read(const char* t, size_t len, Decimal* d)
{
    if (!t || len == 0)
        return false;
    size_t i = 0;
    bool sticky = false;
    d->negative = t[0] == '-';
    d->count = 0;
    d->point = 0;
    if (d->negative)
        i++;
    const size_t int_start = i;
    auto take = [&](char c) {
        if (d->count < kMaxDigits)
            d->digit[d->count++] = (unsigned char)(c - '0');
        else if (c != '0')
            sticky = true;
    };
    for (; i < len && is_digit(t[i]); i++) {
        if (d->count == 0 && t[i] == '0')
            continue;
        take(t[i]);
        d->point++;
    }
    if (i == int_start)
        return false;   // no integer digit
    if (i < len && t[i] == '.') {
        if (++i >= len || !is_digit(t[i]))
            return false;
        for (; i < len && is_digit(t[i]); i++) {
            if (d->count == 0 && t[i] == '0')
                d->point--;
            else
                take(t[i]);
        }
    }
    if (i < len && (t[i] == 'e' || t[i] == 'E')) {
        i++;
        bool exp_negative = i < len && t[i] == '-';
        if (i < len && (t[i] == '+' || t[i] == '-'))
            i++;
        if (i >= len || !is_digit(t[i]))
            return false;
        int64_t exp = 0;
        for (; i < len && is_digit(t[i]); i++)
            if (exp < kExpSaturate)
                exp = exp * 10 + (t[i] - '0');
        d->point += exp_negative ? -exp : exp;
    }
    if (i != len)
        return false;
    if (sticky)
        d->digit[d->count++] = 1;
    else
        while (d->count > 0 && d->digit[d->count - 1] == 0)
            d->count--;
    return true;
}

// ---- Big integers ----------------------------------------------------------------

struct BigInt {
    int n;   // limbs in use, least significant first; no leading zero limbs
    uint32_t limb[kMaxLimbs];
};

void big_set(BigInt* b, uint32_t v)
{
    b->n = v ? 1 : 0;
    b->limb[0] = v;
}

bool big_mul_add(BigInt* b, uint32_t mul, uint32_t add)
{
    uint64_t carry = add;
    for (int i = 0; i < b->n; i++) {
        uint64_t x = (uint64_t)b->limb[i] * mul + carry;
        b->limb[i] = (uint32_t)x;
        carry = x >> 32;
    }
    if (carry) {
        if (b->n >= kMaxLimbs)
            return false;
        b->limb[b->n++] = (uint32_t)carry;
    }
    return true;
}

bool big_mul_pow10(BigInt* b, int64_t e)
{
    for (; e >= 9; e -= 9)
        if (!big_mul_add(b, kPow10Small[9], 0))
            return false;
    return big_mul_add(b, kPow10Small[e], 0);
}

int big_bits(const BigInt* b)
{
    if (b->n == 0)
        return 0;
    uint32_t top = b->limb[b->n - 1];
    int bits = 0;
    while (top) {
        bits++;
        top >>= 1;
    }
    return (b->n - 1) * 32 + bits;
}

bool big_bit(const BigInt* b, int i)
{
    int l = i / 32;
    return l < b->n && ((b->limb[l] >> (i % 32)) & 1u);
}

// True when any bit below bit i is set.
bool big_any_below(const BigInt* b, int i)
{
    for (int l = 0; l < b->n && l * 32 < i; l++) {
        int take = i - l * 32;
        uint32_t mask = take >= 32 ? 0xFFFFFFFFu : ((1u << take) - 1);
        if (b->limb[l] & mask)
            return true;
    }
    return false;
}

bool big_shl(BigInt* b, int bits)
{
    if (b->n == 0 || bits == 0)
        return true;
    int n = (big_bits(b) + bits + 31) / 32;
    if (n > kMaxLimbs)
        return false;
    // From the top down, so every source limb is read before it is overwritten.
    int whole = bits / 32, part = bits % 32;
    for (int i = n - 1; i >= 0; i--) {
        int src = i - whole;
        uint32_t hi = src >= 0 && src < b->n ? b->limb[src] : 0;
        uint32_t lo = src >= 1 && src - 1 < b->n ? b->limb[src - 1] : 0;
        b->limb[i] = part ? (hi << part) | (lo >> (32 - part)) : hi;
    }
    b->n = n;
    return true;
}

void big_shr1(BigInt* b)
{
    for (int i = 0; i < b->n; i++)
        b->limb[i] = (b->limb[i] >> 1) | (i + 1 < b->n ? b->limb[i + 1] << 31 : 0);
    while (b->n > 0 && b->limb[b->n - 1] == 0)
        b->n--;
}

int big_cmp(const BigInt* a, const BigInt* b)
{
    if (a->n != b->n)
        return a->n < b->n ? -1 : 1;
    for (int i = a->n - 1; i >= 0; i--)
        if (a->limb[i] != b->limb[i])
            return a->limb[i] < b->limb[i] ? -1 : 1;
    return 0;
}

// a -= b, with a >= b.
void big_sub(BigInt* a, const BigInt* b)
{
    int64_t borrow = 0;
    for (int i = 0; i < a->n; i++) {
        int64_t x = (int64_t)a->limb[i] - (i < b->n ? b->limb[i] : 0) - borrow;
        borrow = x < 0;
        a->limb[i] = (uint32_t)(x + (borrow << 32));
    }
    while (a->n > 0 && a->limb[a->n - 1] == 0)
        a->n--;
}

// The low 64 bits.
uint64_t big_low64(const BigInt* b)
{
    uint64_t v = b->n > 0 ? b->limb[0] : 0;
    if (b->n > 1)
        v |= (uint64_t)b->limb[1] << 32;
    return v;
}

// The bits from bit `from` upwards (at most 64 of them).
uint64_t big_bits_from(const BigInt* b, int from)
{
    uint64_t v = 0;
    for (int i = 63; i >= 0; i--)
        v = (v << 1) | (big_bit(b, from + i) ? 1u : 0u);
    return v;
}

// Quotient of num / den by bit-by-bit long division, for quotients of at most 64
// bits; num is left holding the remainder.
bool big_divide(BigInt* num, const BigInt* den, BigInt* scratch, uint64_t* q)
{
    *q = 0;
    int t = big_bits(num) - big_bits(den);
    if (t < 0)
        return true;
    if (t > 63)
        return false;
    *scratch = *den;
    if (!big_shl(scratch, t))
        return false;
    for (int i = t; i >= 0; i--) {
        if (big_cmp(num, scratch) >= 0) {
            big_sub(num, scratch);
            *q |= (uint64_t)1 << i;
        }
        big_shr1(scratch);
    }
    return true;
}

// ---- Conversion ------------------------------------------------------------------

// The digits as a big integer, nine at a time.
bool big_from_digits(const Decimal* d, BigInt* b)
{
    big_set(b, 0);
    for (int i = 0; i < d->count; i += 9) {
        int take = d->count - i < 9 ? d->count - i : 9;
        uint32_t chunk = 0;
        for (int k = 0; k < take; k++)
            chunk = chunk * 10 + d->digit[i + k];
        if (!big_mul_add(b, kPow10Small[take], chunk))
            return false;
    }
    return true;
}

// D x 10^e with a single rounding when D and 10^|e| are exact doubles.
bool fast_path(const Decimal* d, int mant_bits, double* out)
{
    if (d->count > 19)
        return false;
    uint64_t v = 0;
    for (int i = 0; i < d->count; i++)
        v = v * 10 + d->digit[i];
    int64_t e = d->point - d->count;
    if (v > ((uint64_t)1 << 53) || e < -22 || e > 22)
        return false;
    double r = e >= 0 ? (double)v * kPow10[e] : (double)v / kPow10[-e];
    if (mant_bits == 24) {
        // Rounding the double again to a float is exact unless the double sits on a
        // float tie (low 29 bits 1000...0) or outside the normal float range.
        uint64_t bits;
        std::memcpy(&bits, &r, sizeof bits);
        if (r < kFloatMin || r > kFloatMax || (bits & 0x1FFFFFFFu) == 0x10000000u)
            return false;
        r = (double)(float)r;
    }
    *out = r;
    return true;
}

bool slow_path(const Decimal* d, int mant_bits, int min_exp, double* out)
{
    if (d->point > kPointMax)
        return false;
    if (d->point < kPointMin) {
        *out = 0.0;
        return true;
    }
    BigInt num, den, scratch;
    if (!big_from_digits(d, &num))
        return false;
    int64_t e = d->point - d->count;

    if (e >= 0) {
        if (!big_mul_pow10(&num, e))
            return false;
        int bits = big_bits(&num);
        if (bits <= mant_bits) {
            *out = (double)big_low64(&num);
            return true;
        }
        int shift = bits - mant_bits;
        uint64_t mant = big_bits_from(&num, shift) & (((uint64_t)1 << mant_bits) - 1);
        bool half = big_bit(&num, shift - 1);
        if (half && (big_any_below(&num, shift - 1) || (mant & 1)))
            mant++;
        *out = std::ldexp((double)mant, shift);
        return true;
    }

    big_set(&den, 1);
    if (!big_mul_pow10(&den, -e))
        return false;
    // Scale so that the quotient has mant_bits bits, but never finer than the
    // smallest subnormal of the type. The estimate gives mant_bits or one more; one
    // more is always refined, even at the subnormal limit, since rounding it here
    // and again on the conversion to double would round twice.
    const int shift_max = mant_bits - min_exp - 1;
    int shift = mant_bits + big_bits(&den) - big_bits(&num);
    uint64_t q = 0;
    for (int attempt = 0; attempt < 2; attempt++) {
        if (shift > shift_max)
            shift = shift_max;
        BigInt n = num, dd = den;
        if (!(shift >= 0 ? big_shl(&n, shift) : big_shl(&dd, -shift)) ||
            !big_divide(&n, &dd, &scratch, &q))
            return false;
        if (q < ((uint64_t)1 << mant_bits)) {
            // Twice the remainder against the denominator: round up when greater,
            // to even when equal.
            if (!big_shl(&n, 1))
                return false;
            int c = big_cmp(&n, &dd);
            if (c > 0 || (c == 0 && (q & 1)))
                q++;
            break;
        }
        shift--;
    }
    *out = std::ldexp((double)q, -shift);
    return true;
}

bool convert(const Decimal* d, int mant_bits, int min_exp, double* out)
{
    double r = 0.0;
    if (d->count > 0 && !fast_path(d, mant_bits, &r) && !slow_path(d, mant_bits, min_exp, &r))
        return false;
    if (std::isinf(r) || (mant_bits == 24 && r > kFloatMax))
        return false;
    *out = d->negative ? -r : r;
    return true;
}

}   // namespace

bool json_number_text_to_double(const char* text, size_t len, int mant_bits, double* out)
{
    Decimal d;
    if ((mant_bits != 24 && mant_bits != 53) || !decimal_read(text, len, &d))
        return false;
    double r = 0.0;
    if (!convert(&d, mant_bits, mant_bits == 24 ? -126 : -1022, &r))
        return false;
    if (out)
        *out = r;
    return true;
}

int json_format_number(double value, int max_digits, int mant_bits, int min_exp, char* out)
{
    if (!out)
        return 0;
    if (!std::isfinite(value) || value == 0.0) {
        const char* t = std::isfinite(value) && std::signbit(value) ? "-0" : "0";
        std::strcpy(out, t);
        return (int)std::strlen(t);
    }
    if (mant_bits != 24)
        mant_bits = 53;
    if (min_exp < -1022 || min_exp > -1)
        min_exp = mant_bits == 24 ? -126 : -1022;
    if (max_digits < 1 || max_digits > 17)
        max_digits = 17;

    const double mag = std::fabs(value);
    Decimal d{};
    int exp10 = 0;
    for (int p = 1; p <= max_digits; p++) {
        // Read the printed mantissa's digits whatever the locale's decimal point is.
        char scratch[64];
        std::snprintf(scratch, sizeof scratch, "%.*e", p - 1, mag);
        const char* s = scratch;
        d.count = 0;
        for (; *s && *s != 'e'; s++)
            if (is_digit(*s) && d.count < 24)
                d.digit[d.count++] = (unsigned char)(*s - '0');
        exp10 = 0;
        if (*s == 'e') {
            s++;
            bool negative = *s == '-';
            if (*s == '+' || *s == '-')
                s++;
            for (; is_digit(*s); s++)
                exp10 = exp10 * 10 + (*s - '0');
            if (negative)
                exp10 = -exp10;
        }
        while (d.count > 1 && d.digit[d.count - 1] == 0)
            d.count--;
        d.point = exp10 + 1;
        double back = 0.0;
        if (convert(&d, mant_bits, min_exp, &back) && back == mag)
            break;
    }

    // Layout: plain digits, a decimal point within them, leading zeros, or exponent form.
    char* o = out;
    const int k = d.count, n = exp10 + 1;
    if (value < 0)
        *o++ = '-';
    if (k <= n && n <= 21) {
        for (int i = 0; i < n; i++)
            *o++ = (char)('0' + (i < k ? d.digit[i] : 0));
    } else if (n >= 1 && n <= 21) {
        for (int i = 0; i < k; i++) {
            if (i == n)
                *o++ = '.';
            *o++ = (char)('0' + d.digit[i]);
        }
    } else if (n >= -5 && n <= 0) {
        *o++ = '0';
        *o++ = '.';
        for (int i = 0; i < -n; i++)
            *o++ = '0';
        for (int i = 0; i < k; i++)
            *o++ = (char)('0' + d.digit[i]);
    } else {
        *o++ = (char)('0' + d.digit[0]);
        if (k > 1) {
            *o++ = '.';
            for (int i = 1; i < k; i++)
                *o++ = (char)('0' + d.digit[i]);
        }
        o += std::snprintf(o, 8, "e%c%d", n - 1 < 0 ? '-' : '+', n - 1 < 0 ? 1 - n : n - 1);
    }
    *o = '\0';
    return (int)(o - out);
}
