// The text of a hive file: the Windows registry export format, and the
// changes one program makes to a hive, as applied to the file another wrote.
// One parser and one writer, used by registry.cpp, its tests and the fuzz
// target. Parse(Format(keys)) gives keys back for any keys that Parse made.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
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

// A key's values in file order, indexed by their names folded to lower case
// (names ignore ASCII case), so that no lookup searches the list.
class Key {
  public:
    explicit Key(std::string keyPath = "") : path(std::move(keyPath)) {}

    std::string path;  // the section header without brackets

    const std::vector<Value>& values() const { return values_; }
    // The value of that name; null when there is none.
    const Value* Find(const std::string& name) const;
    // An existing name keeps its spelling and position; a new one is appended.
    void Set(const std::string& name, std::uint32_t type, std::string data);
    // Removes the values whose folded names are in folded; whether any was.
    bool Remove(const std::unordered_set<std::string>& folded);

    bool operator==(const Key& other) const {
        return path == other.path && values_ == other.values_;
    }

  private:
    std::vector<Value> values_;
    std::unordered_map<std::string, std::size_t> index_;  // folded name -> position
};

// A hive file's keys in file order, indexed by their folded paths.
class Keys {
  public:
    const std::vector<Key>& list() const { return list_; }
    bool empty() const { return list_.empty(); }
    Key* Find(const std::string& path);
    const Key* Find(const std::string& path) const;
    // The key of that path, appended when missing.
    Key& Add(const std::string& path);
    // Removes each key whose folded path is in folded, and the keys below
    // them ("path\..."); whether any was.
    bool RemoveTrees(const std::unordered_set<std::string>& folded);

    bool operator==(const Keys& other) const { return list_ == other.list_; }

  private:
    std::vector<Key> list_;
    std::unordered_map<std::string, std::size_t> index_;  // folded path -> position
};

// Parses a hive file's text (lines ending in CR LF or LF): REGEDIT4 or
// "Windows Registry Editor Version 5.00", in 8-bit text or UTF-8 with or
// without a byte-order mark, or in UTF-16LE with one (converted to UTF-8).
// In a version 5 file, hex(1) data is UTF-16LE and becomes UTF-8 without its
// terminating zero. Empty text is a file without keys. False for a bad
// header, malformed UTF-16, a malformed line or bad hex; never crashes. A key
// or value named twice (ignoring ASCII case) is merged into its first
// occurrence, the later data winning.
bool Parse(const std::string& text, Keys* keys);

// The file text: REGEDIT4, then each key after a blank line, CR LF line ends,
// long hex rows wrapped as regedit does.
std::string Format(const Keys& keys);

// One key's changes: the values set or changed (all of them for a key made)
// and the names removed.
struct KeyChange {
    std::string path;
    std::vector<Value> set;                   // in the key's order
    std::unordered_set<std::string> removed;  // folded names
};

// What turned one state of a hive into another.
struct Changes {
    std::unordered_set<std::string> removedKeys;  // folded paths, with the keys below
    std::vector<KeyChange> keys;
    bool empty() const { return removedKeys.empty() && keys.empty(); }
};

// Folded key paths, each with the folded names of the values written there.
using Written = std::unordered_map<std::string, std::unordered_set<std::string>>;

// The changes from before to after: keys removed, keys made (with all their
// values), values whose type or bytes differ, values removed. With written,
// only the values named there are compared in a key that both hold; the
// rest is taken as unchanged, so that the cost follows what was written.
Changes Diff(const Keys& before, const Keys& after, const Written* written = nullptr);

// Applies changes to keys (the file as another program left it): removed
// keys go with the keys below them, a changed key missing there is made,
// values set replace those there. Whether keys changed.
bool Apply(const Changes& changes, Keys* keys);

}  // namespace regfile
