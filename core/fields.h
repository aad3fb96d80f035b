// The text fields of the fixed-size tables (bot rows, site rows, result
// records, header infos). A field holds its text and a terminator; a stored
// field may lack the terminator and is then read up to its width.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/text.h"

// The field's text, cut at its width when it has no terminator.
template <std::size_t N>
std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// Copies at most maxBytes bytes of text and a terminator over the field
// (never more than fits, never part of a character), leaving the bytes
// after it as they were.
template <std::size_t N>
void SetFieldText(char (&field)[N], std::string_view text, std::size_t maxBytes = N - 1) {
    std::size_t n = FitText(text, std::min(maxBytes, N - 1));
    std::memcpy(field, text.data(), n);
    field[n] = 0;
}

// Appends n in decimal, zero padded to at least width digits after its sign,
// as printf's "%0*lld" writes it (the scan formats thousands of these).
inline void AppendNumber(std::string& out, long long n, int width = 0) {
    char digits[24];
    char* end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    const char* first = digits;
    if (n < 0) {
        out += '-';
        ++first;
    }
    for (int pad = width - static_cast<int>(end - first); pad > 0; --pad) out += '0';
    out.append(first, static_cast<std::size_t>(end - first));
}
