// The text fields of the fixed-size tables (bot rows, site rows, result
// records, header infos). A field holds its text and a terminator; a stored
// field may lack the terminator and is then read up to its width.
#pragma once

#include <algorithm>
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
