// The program's texts are bytes: file names, waypoint authors and stored
// settings as they come. These helpers show them to people as Unicode and
// keep typed text whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Appends the code point cp (up to U+10FFFF) to out as UTF-8.
void AppendUtf8(std::string& out, std::uint32_t cp);

// Whether bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view bytes);

// The text as UTF-8 for showing: the bytes themselves when they are valid
// UTF-8, else each byte decoded as Windows-1252 (old waypoint headers and
// Latin-1 file names). The result is always valid UTF-8.
std::string ShownText(std::string_view bytes);

// How many bytes of text fit in maxBytes without cutting a character: a
// UTF-8 text is cut at a character boundary, any other text byte-wise.
std::size_t FitText(std::string_view text, std::size_t maxBytes);

// The first n characters of text (UTF-8 characters when it is valid UTF-8,
// else bytes), as an edit control that holds at most n characters keeps them.
std::string FirstChars(std::string_view text, std::size_t n);

// Whether text holds an ASCII control character (a line break, a tab, DEL...).
bool HasControlChar(std::string_view text);

// Shown text with its control characters escaped (\n, \t, \r, \xNN, \u00NN),
// so that no name can drive a terminal or add lines to a list; line breaks
// kept when keepNewlines (messages of several lines).
std::string EscapedText(std::string_view bytes, bool keepNewlines = false);
