// The program's texts at the edge of the Win32 API, which takes UTF-16.
#pragma once

#include <string>
#include <string_view>

// UTF-16 for the system from the program's bytes: UTF-8 when they are valid
// UTF-8, else each byte as Windows-1252 (as ShownText reads them).
std::wstring WideText(std::string_view text);

// The program's text (UTF-8) from the system's UTF-16; an unpaired
// surrogate becomes U+FFFD.
std::string NarrowText(std::wstring_view text);

// A path of the system as the program writes paths: UTF-8 with '/' between
// its parts, as the program joins them ("C:/Games/cstrike/maps"; the system
// takes both separators).
std::string PathText(std::wstring_view path);
