// The parts of platform/registry.h that every system shares: the typed
// reads and writes of RegKey, on the value store of each system's registry
// unit.
#include "platform/registry.h"

#include <cstring>

#include "platform/common/regfile.h"
#include "platform/common/regstore.h"

using regstore::GetValue;
using regstore::StoreValue;

RegKey::RegKey(RegKey&& other) noexcept
    : hive_(other.hive_), open_(other.open_), dirty_(other.dirty_) {
    other.open_ = other.dirty_ = false;
}

RegKey& RegKey::operator=(RegKey&& other) noexcept {
    if (this != &other) {
        Close();
        hive_ = other.hive_;
        open_ = other.open_;
        dirty_ = other.dirty_;
        other.open_ = other.dirty_ = false;
    }
    return *this;
}

RegKey::~RegKey() {
    Close();
}

bool RegKey::ReadDword(const std::string& name, std::uint32_t* out) const {
    std::uint32_t type;
    std::string data;
    if (!open_ || !GetValue(hive_, name, &type, &data) || data.size() > 4) return false;
    std::uint32_t v = 0;
    for (std::size_t b = data.size(); b-- > 0;) v = v << 8 | static_cast<unsigned char>(data[b]);
    *out = v;
    return true;
}

bool RegKey::ReadString(const std::string& name, std::string* out, std::size_t limit) const {
    std::uint32_t type;
    std::string data;
    if (!open_ || !GetValue(hive_, name, &type, &data)) return false;
    if (type != regfile::kRegSz || data.size() > limit) return false;
    *out = data.substr(0, data.find('\0'));  // a value stored with its zero reads without it
    return true;
}

bool RegKey::ReadBinary(const std::string& name, void* buf, std::size_t size) const {
    std::uint32_t type;
    std::string data;
    if (!open_ || !GetValue(hive_, name, &type, &data) || data.size() > size) return false;
    if (!data.empty()) std::memcpy(buf, data.data(), data.size());
    return true;
}

bool RegKey::HasValue(const std::string& name) const {
    std::uint32_t type;
    std::string data;
    return open_ && GetValue(hive_, name, &type, &data);
}

bool RegKey::WriteDword(const std::string& name, std::uint32_t value) {
    std::string data;
    for (int b = 0; b < 4; ++b) data.push_back(static_cast<char>(value >> (8 * b) & 0xFF));
    bool ok = open_ && StoreValue(hive_, name, regfile::kRegDword, std::move(data));
    dirty_ = dirty_ || ok;
    return ok;
}

bool RegKey::WriteString(const std::string& name, const std::string& value) {
    bool ok = open_ && StoreValue(hive_, name, regfile::kRegSz, value);
    dirty_ = dirty_ || ok;
    return ok;
}

bool RegKey::WriteBinary(const std::string& name, const void* data, std::size_t size) {
    std::string bytes(static_cast<const char*>(data), size);
    bool ok = open_ && StoreValue(hive_, name, regfile::kRegBinary, std::move(bytes));
    dirty_ = dirty_ || ok;
    return ok;
}
