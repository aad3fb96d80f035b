// The settings store's registry: two hives, each a file in the Windows
// registry export text format in the per-user config directory.
//
// Hives are loaded once per process and shared by every open key; a write is
// seen at once by every reader of this process. When a key that changed the
// hive is closed, only this process's changes reach the file: under an
// exclusive lock (flock on "<hive file>.lock"), the file is read again, the
// values this process set, changed or removed (and the key it created or
// deleted) are applied to what it holds, and the result replaces it
// atomically. So several programs may share the settings (the window and a
// CLI run from cron) without losing each other's values. A write of the
// type and bytes that a value had when this process last read or wrote the
// file is no change.
//
// Files are written as REGEDIT4 with CR LF line ends, mode 0600. Reading also
// accepts "Windows Registry Editor Version 5.00" files (UTF-16LE with a
// byte-order mark, or UTF-8 with or without one; their hex(1) strings are
// UTF-16LE and read as UTF-8) and REGEDIT4 with a UTF-8 byte-order mark. In
// the machine hive, HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Nodescan (a
// 32-bit program's values exported on 64-bit Windows) serves as the key when
// the plain one is absent.
//
// A hive file that is a symbolic link is written through the link: its
// target is replaced and the link stays. The lock file, moved-aside copies
// and backups lie beside that target.
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

    // A value of up to 4 bytes, of any type, as a little-endian number (the
    // missing high bytes zero), as a read into a 4-byte buffer gives it; false
    // when missing or longer.
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

    // Saves this process's changes of the hive to its file when this key
    // made any; false when that failed (they stay pending for the next save).
    bool Close();

  private:
    RegKey(Hive hive, bool open) : hive_(hive), open_(open) {}
    Hive hive_;
    bool open_;
    bool dirty_ = false;
};

// Deletes kNodescanKey with all its values and the keys below it from hive,
// also from the file when another program wrote it there since this one read
// it. False when that could not take effect: the hive file cannot be read,
// or could not be rewritten or removed.
bool RegDeleteKey(Hive hive);

// Writes the hive's kNodescanKey with all its values, as a REGEDIT4 file, to
// "<hive file>.backup-YYYYMMDD-HHMMSS" (with -2, -3, ... when taken), mode
// 0600. Its path, or "" when there is no key, the hive is read-only (its file
// keeps the key) or the copy could not be written.
std::string RegBackupKey(Hive hive);

// While a hive is read-only, writes (and deletions) change the values seen in
// this process but never reach its file, not even after read-only ends; a
// later save of the hive shows the file's values again. A damaged file is
// still moved aside when loaded. The first form makes both hives read-only
// and, until it is undone, leaves even a damaged file where it is (and never
// overwrites it): nothing on disk changes.
void RegistrySetReadOnly(bool readOnly);
void RegistrySetReadOnly(Hive hive, bool readOnly);
bool RegistryIsReadOnly(Hive hive);

// Receives a line for the user when a hive file could not be parsed and was
// moved aside (or could not be read at all). Called on the thread whose
// registry call met the file (a load or a save), after the registry's locks
// are released.
void RegistrySetNoticeSink(void (*sink)(const std::string& line));

// Forgets the loaded hives, so that the next open reads the files again.
void RegistryUnload();

// The path of a hive's file.
std::string HiveFilePath(Hive hive);
