// The registry on Windows: the system's own, HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE\Software\Nodescan, through the W calls. DWORD and
// binary values are their bytes, as in the hive files on Linux; strings are
// stored as the system stores them (UTF-16) and given to the program as
// UTF-8, without a terminating zero. A write reaches the registry at once,
// where every program sees it, so Close has nothing left to save. While a
// hive is read-only, writes go to this process's overlay of the key instead.
#include "platform/registry.h"

#include <cstring>
#include <mutex>

#include "platform/common/regfile.h"
#include "platform/common/regstore.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/win32/text.h"
#include "platform/win32/win32.h"

namespace {

using regfile::Key;

const wchar_t* const kKeyW = L"Software\\Nodescan";

// What a read-only hive shows this process on top of the registry.
struct Overlay {
    Key values;            // written while read-only
    bool deleted = false;  // the key was deleted while read-only: the registry's is hidden
    bool made = false;     // the key was made while read-only
};

std::mutex g_mutex;  // guards everything below
bool g_readOnly[2] = {false, false};
Overlay g_overlay[2];

// Whether this process sees the program's key of a read-only hive: the
// registry's, unless it was deleted while read-only, or one made since.
// Called with g_mutex held.
bool SeenReadOnly(Hive h);

int Index(Hive h) {
    return h == Hive::CurrentUser ? 0 : 1;
}
HKEY Root(Hive h) {
    return h == Hive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}
const char* HiveName(Hive h) {
    return h == Hive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

// The program's key, opened for reading and, where the account may, for
// writing. In the machine hive a 32-bit program's key (WOW6432Node) serves
// when the 64-bit one is absent. Null when there is none and create is
// false or it could not be made; made tells whether it was made now.
HKEY OpenKey(Hive h, bool create, bool* made = nullptr) {
    HKEY key = nullptr;
    for (REGSAM view : {REGSAM{KEY_WOW64_64KEY}, REGSAM{KEY_WOW64_32KEY}}) {
        if (view == KEY_WOW64_32KEY && h == Hive::CurrentUser) break;
        for (REGSAM access : {REGSAM{KEY_READ | KEY_WRITE}, REGSAM{KEY_READ}})
            if (RegOpenKeyExW(Root(h), kKeyW, 0, access | view, &key) == ERROR_SUCCESS) return key;
    }
    DWORD disposition = 0;
    if (create && RegCreateKeyExW(Root(h), kKeyW, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key,
                                  &disposition) == ERROR_SUCCESS) {
        if (made) *made = disposition == REG_CREATED_NEW_KEY;
        return key;
    }
    return nullptr;
}
// A value's type and bytes as the program reads them: a string as UTF-8
// without its terminating zero.
bool QueryValue(HKEY key, const std::string& name, std::uint32_t* type, std::string* data) {
    std::wstring wname = WideText(name);
    DWORD kind = 0, size = 0;
    if (RegQueryValueExW(key, wname.c_str(), nullptr, &kind, nullptr, &size) != ERROR_SUCCESS)
        return false;
    std::string bytes(size, '\0');
    while (true) {
        LONG r = RegQueryValueExW(key, wname.c_str(), nullptr, &kind,
                                  reinterpret_cast<BYTE*>(bytes.data()), &size);
        if (r == ERROR_SUCCESS) break;
        if (r != ERROR_MORE_DATA) return false;
        bytes.resize(size);  // it grew meanwhile
    }
    bytes.resize(size);
    *type = kind;
    if (kind == REG_SZ || kind == REG_EXPAND_SZ) {
        std::wstring text(size / sizeof(wchar_t), L'\0');
        std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        *type = regfile::kRegSz;
        bytes = NarrowText(text);
    }
    *data = std::move(bytes);
    return true;
}

bool SeenReadOnly(Hive h) {
    const Overlay& o = g_overlay[Index(h)];
    if (o.made) return true;
    if (o.deleted) return false;
    HKEY key = OpenKey(h, false);
    if (key) RegCloseKey(key);
    return key != nullptr;
}

}  // namespace

namespace regstore {

bool GetValue(Hive h, const std::string& name, std::uint32_t* type, std::string* data) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const Overlay& o = g_overlay[Index(h)];
    if (const regfile::Value* v = o.values.Find(name)) {
        *type = v->type;
        *data = v->data;
        return true;
    }
    if (o.deleted) return false;
    HKEY key = OpenKey(h, false);
    if (!key) return false;
    bool found = QueryValue(key, name, type, data);
    RegCloseKey(key);
    return found;
}

bool StoreValue(Hive h, const std::string& name, std::uint32_t type, std::string data) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Overlay& o = g_overlay[Index(h)];
    if (g_readOnly[Index(h)]) {
        if (!SeenReadOnly(h)) return false;  // deleted while open
        o.values.Set(name, type, std::move(data));
        return true;
    }
    HKEY key = OpenKey(h, false);
    if (!key) return false;  // deleted while open
    if (type == regfile::kRegSz) {
        std::wstring text = WideText(data);
        data.assign(reinterpret_cast<const char*>(text.c_str()),
                    (text.size() + 1) * sizeof(wchar_t));
    }
    bool ok = RegSetValueExW(key, WideText(name).c_str(), 0, type,
                             reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
    RegCloseKey(key);
    // What the registry holds now is what this process sees of the name.
    if (ok) o.values.Remove({FoldCase(name)});
    return ok;
}
}  // namespace regstore

namespace {

// The key's values, as the hive files hold them.
Key KeyValues(Hive h, HKEY key) {
    Key out(std::string(HiveName(h)) + "\\" + kNodescanKey);
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD length = 16384;
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        std::string n = NarrowText(std::wstring_view(name, length));
        std::uint32_t type;
        std::string data;
        if (QueryValue(key, n, &type, &data)) out.Set(n, type, std::move(data));
    }
    return out;
}

// A new file of the name base (or base-2, base-3, ...), made empty so that
// no other program takes the name; "" when none could be made.
std::string FreeName(const std::string& base) {
    for (int n = 1; n < 1000; ++n) {
        std::string name = n == 1 ? base : base + "-" + std::to_string(n);
        HANDLE h = CreateFileW(WideText(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return name;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return "";
    }
    return "";
}

// Deletes the program's key and the keys below it in one view of the
// registry; true when it is gone.
bool DeleteKeyTree(HKEY root, REGSAM view) {
    HKEY key;
    LONG r = RegOpenKeyExW(root, kKeyW, 0, KEY_ALL_ACCESS | view, &key);
    if (r == ERROR_FILE_NOT_FOUND) return true;
    if (r != ERROR_SUCCESS) return false;
    r = RegDeleteTreeW(key, nullptr);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) return false;
    r = RegDeleteKeyExW(root, kKeyW, view, 0);
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

// The local time as backup names carry it (YYYYMMDD-HHMMSS).
std::string Stamp() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return stamp;
}

}  // namespace

RegKey RegKey::Open(Hive hive, bool create) {
    bool dirty = false;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        Overlay& o = g_overlay[Index(hive)];
        if (g_readOnly[Index(hive)]) {
            if (!SeenReadOnly(hive)) {
                if (!create) return RegKey(hive, false);
                o.made = dirty = true;
            }
        } else {
            // A key deleted while the hive was read-only is still in the
            // registry: opening it for a write brings its values back.
            bool hidden = o.deleted && !o.made, made = false;
            HKEY k = hidden && !create ? nullptr : OpenKey(hive, create, &made);
            if (!k) return RegKey(hive, false);
            RegCloseKey(k);
            dirty = made || hidden;
        }
    }
    RegKey key(hive, true);
    key.dirty_ = dirty;
    return key;
}

// The writes are in the registry already; a save of a hive that is no
// longer read-only drops what its overlay kept, so that the registry's
// values show again.
bool RegKey::Close() {
    bool changed = open_ && dirty_;
    open_ = dirty_ = false;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (changed && !g_readOnly[Index(hive_)]) g_overlay[Index(hive_)] = Overlay();
    return true;
}

bool RegDeleteKey(Hive hive) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Overlay& o = g_overlay[Index(hive)];
    if (g_readOnly[Index(hive)]) {
        o = Overlay();
        o.deleted = true;
        return true;
    }
    o = Overlay();
    bool ok = DeleteKeyTree(Root(hive), KEY_WOW64_64KEY);
    if (hive == Hive::LocalMachine) ok = DeleteKeyTree(Root(hive), KEY_WOW64_32KEY) && ok;
    return ok;
}

// The copy is a registry export file, which regedit imports again.
std::string RegBackupKey(Hive hive) {
    regfile::Keys one;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        const Overlay& o = g_overlay[Index(hive)];
        // A read-only hive keeps its key: nothing to keep a copy of.
        if (g_readOnly[Index(hive)] || o.deleted) return "";
        HKEY key = OpenKey(hive, false);
        if (!key) return "";
        Key values = KeyValues(hive, key);
        one.Add(values.path) = values;
        RegCloseKey(key);
    }
    std::string dir = ConfigDir();
    if (!MakeDirPath(dir, 0700)) return "";
    std::string name =
        FreeName(JoinPath(dir, std::string(HiveName(hive)) + ".reg.backup-" + Stamp()));
    return !name.empty() && WriteFileAtomic(name, regfile::Format(one), 0600) ? name : "";
}

void RegistrySetReadOnly(bool readOnly) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_readOnly[0] = g_readOnly[1] = readOnly;
}

void RegistrySetReadOnly(Hive hive, bool readOnly) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_readOnly[Index(hive)] = readOnly;
}

bool RegistryIsReadOnly(Hive hive) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_readOnly[Index(hive)];
}

// The system's registry is never a file to move aside: there is nothing to
// tell.
void RegistrySetNoticeSink(void (*)(const std::string&)) {}

void RegistryUnload() {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (Overlay& o : g_overlay) o = Overlay();
}

// Where the settings are, for messages: the key itself.
std::string HiveFilePath(Hive hive) {
    return std::string(HiveName(hive)) + "\\" + kNodescanKey;
}
