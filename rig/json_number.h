// json_number.h - exact decimal-to-binary number conversion and the shortest text
// that reads back to the same float or double.
// Threads: any (no state).
// Depends on: nothing.
#pragma once
#include <cstddef>

// Room json_format_number needs; its longest text is 25 bytes and the NUL.
enum { JSON_NUMBER_TEXT_CAP = 56 };

// Converts a JSON number text (optional '-', digits, optional fraction and exponent,
// nothing else) to the nearest value of 24 (float) or 53 (double) mantissa bits,
// ties to even. The float result is held exactly in the double. False for a malformed
// text, other mantissa widths, or a value beyond the type's range; a value below its
// smallest subnormal becomes zero.
bool json_number_text_to_double(const char* text, size_t len, int mant_bits, double* out);

// Shortest text of at most max_digits significant digits that converts back to
// exactly value at mant_bits / min_exp (float: 9, 24, -126; double: 17, 53, -1022).
// Plain digits while the decimal exponent allows, else exponent form ("1e+21").
// NaN and infinities are written "0". out needs JSON_NUMBER_TEXT_CAP bytes.
// Returns the length.
int json_format_number(double value, int max_digits, int mant_bits, int min_exp, char* out);
