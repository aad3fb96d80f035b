// The settings store's registry: two hives, each a file in the Windows
// registry export text format (REGEDIT4) in the per-user config directory.
//
// Hives are loaded once per process and shared by every open key; a write is
// seen at once by every reader, and the hive file is rewritten (atomically)
// when a key that changed it is closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class Hive { CurrentUser, LocalMachine };

// The one key the program uses in each hive.
inline constexpr const char* kNodescanKey = "Software\\Nodescan";

class RegKey {
  public:
    // Opens kNodescanKey in hive, creating it when create is true.
    static RegKey Open(Hive hive, bool create);

    RegKey(RegKey&& other) noexcept;
    RegKey& operator=(RegKey&& other) noexcept;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey();

    // False when the key is missing and was not created.
    bool ok() const { return open_; }

    // A REG_DWORD value; false when missing or not a 4-byte value.
    bool ReadDword(const std::string& name, std::uint32_t* out) const;
    // A REG_SZ value of at most limit bytes; false when missing or longer.
    // A value stored with a terminating zero reads up to that zero.
    bool ReadString(const std::string& name, std::string* out, std::size_t limit) const;
    // A REG_BINARY value into buf; false when missing or longer than size.
    // A shorter value fills only its own bytes of buf. As RegQueryValueEx
    // does, a value of another type reads as its stored bytes (a REG_DWORD
    // as 4 little-endian bytes, a REG_SZ without a terminating zero).
    bool ReadBinary(const std::string& name, void* buf, std::size_t size) const;
    // Whether a value of that name exists, whatever its type.
    bool HasValue(const std::string& name) const;

    bool WriteDword(const std::string& name, std::uint32_t value);
    bool WriteString(const std::string& name, const std::string& value);
    bool WriteBinary(const std::string& name, const void* data, std::size_t size);

    // Writes the hive file when this key changed it; false when that failed.
    bool Close();

  private:
    RegKey(Hive hive, bool open) : hive_(hive), open_(open) {}
    Hive hive_;
    bool open_;
    bool dirty_ = false;
};

// Deletes kNodescanKey with all its values from hive. False when the hive
// file could not be rewritten.
bool RegDeleteKey(Hive hive);

// While read-only, writes change the values seen in this process but never
// reach the hive files.
void RegistrySetReadOnly(bool readOnly);

// Receives a line for the user when a hive file could not be parsed and was
// moved aside (or could not be read at all). Called on the thread whose
// registry call loaded the hive, after the registry's lock is released.
void RegistrySetNoticeSink(void (*sink)(const std::string& line));

// Forgets the loaded hives, so that the next open reads the files again.
void RegistryUnload();

// The path of a hive's file.
std::string HiveFilePath(Hive hive);
