// The text of a hive file: the Windows registry export format REGEDIT4.
// One parser and one writer, used by registry.cpp, its tests and the fuzz
// target. Parse(Format(keys)) gives keys back for any keys that Parse made.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace regfile {

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

struct Value {
    std::string name;  // "" is the key's default value, written as @
    std::uint32_t type;
    std::string data;  // the raw bytes; a REG_DWORD as 4 little-endian bytes
    bool operator==(const Value&) const = default;
};

struct Key {
    std::string path;           // the section header without brackets
    std::vector<Value> values;  // in file order
    bool operator==(const Key&) const = default;
};

// Parses a hive file's text (lines ending in CR LF or LF). Empty text is a
// file without keys. False for a bad header, a malformed line or bad hex;
// never crashes. A key or value named twice (ignoring ASCII case) is merged
// into its first occurrence, the later data winning.
bool Parse(const std::string& text, std::vector<Key>* keys);

// The file text: REGEDIT4, then each key after a blank line, CR LF line ends,
// long hex rows wrapped as regedit does.
std::string Format(const std::vector<Key>& keys);

// Sets name's value in key: an existing name (ignoring case) keeps its
// spelling and position, a new one is appended.
void SetValue(Key& key, const std::string& name, std::uint32_t type, std::string data);

}  // namespace regfile
