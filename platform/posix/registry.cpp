// The registry as two REGEDIT4 files in the config directory, loaded once per
// process into a cache that one mutex guards.
#include "platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/posix/regfile.h"

// ---------------------------------------------------------------------------
// The file format.

namespace regfile {
namespace {

bool StartsWithNoCase(const std::string& s, std::size_t at, const char* prefix) {
    std::size_t n = std::strlen(prefix);
    return s.size() - at >= n && EqualIgnoreCase(s.substr(at, n), prefix);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
}

// 1 to maxDigits hex digits from s[*i]; false when there are none or more.
bool ParseHexNumber(const std::string& s, std::size_t* i, int maxDigits, std::uint32_t* out) {
    std::uint32_t v = 0;
    int n = 0;
    for (; *i < s.size() && HexDigit(s[*i]) >= 0; ++*i, ++n) {
        if (n == maxDigits) return false;
        v = v << 4 | static_cast<std::uint32_t>(HexDigit(s[*i]));
    }
    *out = v;
    return n > 0;
}

void SkipBlanks(const std::string& s, std::size_t* i) {
    while (*i < s.size() && (s[*i] == ' ' || s[*i] == '\t')) ++*i;
}

// A quoted string at s[*i] with the escapes \\ \" \n \r \0; *i ends after it.
bool ParseQuoted(const std::string& s, std::size_t* i, std::string* out) {
    if (*i >= s.size() || s[*i] != '"') return false;
    out->clear();
    for (++*i; *i < s.size(); ++*i) {
        char c = s[*i];
        if (c == '"') {
            ++*i;
            return true;
        }
        if (c == '\\') {
            if (++*i == s.size()) return false;
            switch (s[*i]) {
                case '\\':
                    c = '\\';
                    break;
                case '"':
                    c = '"';
                    break;
                case 'n':
                    c = '\n';
                    break;
                case 'r':
                    c = '\r';
                    break;
                case '0':
                    c = '\0';
                    break;
                default:
                    return false;
            }
        }
        out->push_back(c);
    }
    return false;  // no closing quote
}

// Comma-separated bytes of one or two hex digits, blanks allowed around them.
bool ParseHexBytes(const std::string& s, std::size_t i, std::string* out) {
    out->clear();
    SkipBlanks(s, &i);
    if (i == s.size()) return true;
    while (true) {
        SkipBlanks(s, &i);
        std::uint32_t b;
        if (!ParseHexNumber(s, &i, 2, &b)) return false;
        out->push_back(static_cast<char>(b));
        SkipBlanks(s, &i);
        if (i == s.size()) return true;
        if (s[i++] != ',') return false;
    }
}

// The data after "=": "text", dword:xxxxxxxx, hex:.. or hex(type):..
bool ParseData(const std::string& s, std::size_t i, std::uint32_t* type, std::string* data) {
    if (i < s.size() && s[i] == '"') {
        *type = kRegSz;
        return ParseQuoted(s, &i, data) && i == s.size();
    }
    std::uint32_t v;
    if (StartsWithNoCase(s, i, "dword:")) {
        i += 6;
        if (!ParseHexNumber(s, &i, 8, &v) || i != s.size()) return false;
        *type = kRegDword;
        data->clear();
        for (int b = 0; b < 4; ++b) data->push_back(static_cast<char>(v >> (8 * b) & 0xFF));
        return true;
    }
    if (StartsWithNoCase(s, i, "hex:")) {
        *type = kRegBinary;
        return ParseHexBytes(s, i + 4, data);
    }
    if (StartsWithNoCase(s, i, "hex(")) {
        i += 4;
        if (!ParseHexNumber(s, &i, 8, &v) || s.compare(i, 2, "):") != 0) return false;
        *type = v;
        return ParseHexBytes(s, i + 2, data);
    }
    return false;  // also "-", the deletion of an import file
}

// The next physical line without its line end and trailing blanks.
bool NextLine(const std::string& text, std::size_t* pos, std::string* line) {
    if (*pos >= text.size()) return false;
    std::size_t end = text.find('\n', *pos);
    if (end == std::string::npos) end = text.size();
    std::size_t last = end;
    while (last > *pos &&
           (text[last - 1] == '\r' || text[last - 1] == ' ' || text[last - 1] == '\t'))
        --last;
    line->assign(text, *pos, last - *pos);
    *pos = end + 1;
    return true;
}

std::string TrimLeft(const std::string& s) {
    std::size_t i = 0;
    SkipBlanks(s, &i);
    return s.substr(i);
}

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\0':
                out += "\\0";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

bool PrintableAscii(const std::string& s) {
    for (char c : s)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

// regedit's wrapping: after each byte but the last, wrap once the line
// (without the backslash) has reached 77 columns; continuation lines are
// indented two spaces.
void AppendHex(std::string& out, std::size_t column, const std::string& data) {
    static const char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < data.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(data[i]);
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
        if (i + 1 == data.size()) break;
        out.push_back(',');
        column += 3;
        if (column >= 77) {
            out += "\\\r\n  ";
            column = 2;
        }
    }
}

void AppendValue(std::string& out, const Value& v) {
    std::size_t start = out.size();
    out += v.name.empty() ? "@=" : "\"" + Escape(v.name) + "\"=";
    char buf[32];
    if (v.type == kRegSz && PrintableAscii(v.data)) {
        out += "\"" + Escape(v.data) + "\"";
    } else if (v.type == kRegDword && v.data.size() == 4) {
        std::uint32_t d = 0;
        for (int b = 3; b >= 0; --b) d = d << 8 | static_cast<unsigned char>(v.data[b]);
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(d));
        out += buf;
    } else {
        if (v.type == kRegBinary)
            std::snprintf(buf, sizeof buf, "hex:");
        else
            std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
        out += buf;
        AppendHex(out, out.size() - start, v.data);
    }
    out += "\r\n";
}

Key* FindKey(std::vector<Key>& keys, const std::string& path) {
    for (auto& k : keys)
        if (EqualIgnoreCase(k.path, path)) return &k;
    return nullptr;
}

}  // namespace

void SetValue(Key& key, const std::string& name, std::uint32_t type, std::string data) {
    for (auto& v : key.values) {
        if (EqualIgnoreCase(v.name, name)) {
            v.type = type;
            v.data = std::move(data);
            return;
        }
    }
    key.values.push_back(Value{name, type, std::move(data)});
}

bool Parse(const std::string& text, std::vector<Key>* keys) {
    keys->clear();
    std::size_t pos = 0;
    std::string line;
    if (text.empty()) return true;
    if (!NextLine(text, &pos, &line) || line != "REGEDIT4") return false;
    std::size_t current = 0;  // index + 1 of the key that values go to
    while (NextLine(text, &pos, &line)) {
        std::string s = TrimLeft(line);
        if (s.empty() || s[0] == ';') continue;
        while (s.back() == '\\') {  // a value continued on the next line
            s.pop_back();
            if (!NextLine(text, &pos, &line)) return false;
            s += TrimLeft(line);
            if (s.empty()) return false;
        }
        if (s[0] == '[') {
            if (s.size() < 3 || s.back() != ']' || s[1] == '-') return false;
            std::string path = s.substr(1, s.size() - 2);
            Key* k = FindKey(*keys, path);
            if (!k) keys->push_back(Key{path, {}});
            current = static_cast<std::size_t>((k ? k : &keys->back()) - keys->data()) + 1;
            continue;
        }
        if (current == 0) return false;  // a value before any key
        std::size_t i = 0;
        std::string name;
        if (s[0] == '@')
            i = 1;
        else if (!ParseQuoted(s, &i, &name))
            return false;
        SkipBlanks(s, &i);
        if (i == s.size() || s[i++] != '=') return false;
        SkipBlanks(s, &i);
        std::uint32_t type;
        std::string data;
        if (!ParseData(s, i, &type, &data)) return false;
        SetValue((*keys)[current - 1], name, type, std::move(data));
    }
    return true;
}

std::string Format(const std::vector<Key>& keys) {
    std::string out = "REGEDIT4\r\n";
    for (const auto& k : keys) {
        out += "\r\n[" + k.path + "]\r\n";
        for (const auto& v : k.values) AppendValue(out, v);
    }
    out += "\r\n";
    return out;
}

}  // namespace regfile

// ---------------------------------------------------------------------------
// The hives.

namespace {

using regfile::Key;

struct HiveState {
    bool loaded = false;
    std::string dir;        // ConfigDir() when loaded
    bool keepFile = false;  // the file there is unreadable and must not be overwritten
    std::vector<Key> keys;
};

std::mutex g_mutex;  // guards everything below
HiveState g_hives[2];
bool g_readOnly = false;
void (*g_sink)(const std::string&) = nullptr;
std::vector<std::string> g_notices;  // to deliver once g_mutex is released

// Taken in this order: a hive's file mutex, then g_mutex. Holding the file
// mutex from the snapshot to the rename keeps the files in write order
// without blocking readers during the fsync.
std::mutex g_fileMutex[2];

const char* HiveName(Hive h) {
    return h == Hive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}
int Index(Hive h) {
    return h == Hive::CurrentUser ? 0 : 1;
}
std::string KeyPath(Hive h) {
    return std::string(HiveName(h)) + "\\" + kNodescanKey;
}
std::string FileName(Hive h) {
    return std::string(HiveName(h)) + ".reg";
}

// Holds g_mutex; hands the notices queued meanwhile to the sink after
// releasing it, so that a sink that waits for another thread cannot deadlock.
class Session {
  public:
    Session() : lock_(g_mutex) {}
    ~Session() {
        std::vector<std::string> notices;
        notices.swap(g_notices);
        auto sink = g_sink;
        lock_.unlock();
        if (sink)
            for (const auto& n : notices) sink(n);
    }

  private:
    std::unique_lock<std::mutex> lock_;
};

// 0 and the whole file, or an errno value.
int ReadWholeFile(const std::string& path, std::string* text) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    int err = 0;
    char buf[65536];
    while (true) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) err = errno;
        if (n <= 0) break;
        text->append(buf, static_cast<std::size_t>(n));
        if (text->size() > (64u << 20)) {  // no hive is that large
            err = EFBIG;
            break;
        }
    }
    ::close(fd);
    return err;
}

// Renames path to path.bad-YYYYMMDD-HHMMSS (with -2, -3, ... when taken);
// the new name, or "" when the rename failed.
std::string MoveAside(const std::string& path) {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    std::string base = path + ".bad-" + stamp;
    for (int n = 1; n < 1000; ++n) {
        std::string target = n == 1 ? base : base + "-" + std::to_string(n);
        struct stat st;
        if (::lstat(target.c_str(), &st) == 0) continue;
        return ::rename(path.c_str(), target.c_str()) == 0 ? target : "";
    }
    return "";
}

// The hive, loaded from its file when not yet loaded or when ConfigDir()
// changed since. Called with g_mutex held.
HiveState& Loaded(Hive h) {
    HiveState& st = g_hives[Index(h)];
    std::string dir = ConfigDir();
    if (st.loaded && st.dir == dir) return st;
    st = HiveState{};
    st.loaded = true;
    st.dir = dir;
    std::string path = JoinPath(dir, FileName(h));
    std::string text;
    int err = ReadWholeFile(path, &text);
    if (err == ENOENT) return st;
    if (err == 0 && regfile::Parse(text, &st.keys)) return st;
    st.keys.clear();
    // A file too large to be a hive is moved aside like a malformed one; one
    // that cannot be read is left where it is, and never overwritten.
    bool readable = err == 0 || err == EFBIG;
    std::string moved;
    if (readable && !g_readOnly) moved = MoveAside(path);
    if (!moved.empty()) {
        g_notices.push_back("Settings file could not be read; moved aside to " + moved);
    } else {
        st.keepFile = true;
        g_notices.push_back("Settings file " + path + " could not be read" +
                            (readable ? "" : " (" + std::string(std::strerror(err)) + ")") +
                            "; settings will not be saved");
    }
    return st;
}

Key* FindNodescanKey(Hive h) {
    HiveState& st = Loaded(h);
    for (auto& k : st.keys)
        if (EqualIgnoreCase(k.path, KeyPath(h))) return &k;
    return nullptr;
}

const regfile::Value* FindValue(Hive h, const std::string& name) {
    Key* k = FindNodescanKey(h);
    if (!k) return nullptr;
    for (const auto& v : k->values)
        if (EqualIgnoreCase(v.name, name)) return &v;
    return nullptr;
}

// Copies the value's type and bytes out; false when it is missing.
bool GetValue(Hive h, const std::string& name, std::uint32_t* type, std::string* data) {
    Session s;
    const regfile::Value* v = FindValue(h, name);
    if (!v) return false;
    *type = v->type;
    *data = v->data;
    return true;
}

bool StoreValue(Hive h, const std::string& name, std::uint32_t type, std::string data) {
    Session s;
    Key* k = FindNodescanKey(h);
    if (!k) return false;  // deleted while open
    regfile::SetValue(*k, name, type, std::move(data));
    return true;
}

// Writes the cached hive to its file, or deletes the file when the hive
// holds no key.
bool SaveHive(Hive h) {
    std::lock_guard<std::mutex> fileLock(g_fileMutex[Index(h)]);
    std::string dir, text;
    bool empty;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        const HiveState& st = g_hives[Index(h)];
        if (g_readOnly || !st.loaded) return true;  // nothing that may or must be written
        if (st.keepFile) return false;
        dir = st.dir;
        empty = st.keys.empty();
        if (!empty) text = regfile::Format(st.keys);
    }
    std::string path = JoinPath(dir, FileName(h));
    if (empty) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
    return MakeDirPath(dir, 0700) && WriteFileAtomic(path, text, 0600);
}

}  // namespace

RegKey RegKey::Open(Hive hive, bool create) {
    Session s;
    if (FindNodescanKey(hive)) return RegKey(hive, true);
    if (!create) return RegKey(hive, false);
    Loaded(hive).keys.push_back(Key{KeyPath(hive), {}});
    RegKey key(hive, true);
    key.dirty_ = true;
    return key;
}

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

bool RegKey::Close() {
    bool changed = open_ && dirty_;
    open_ = dirty_ = false;
    return !changed || SaveHive(hive_);
}

bool RegKey::ReadDword(const std::string& name, std::uint32_t* out) const {
    std::uint32_t type;
    std::string data;
    if (!open_ || !GetValue(hive_, name, &type, &data)) return false;
    if (type != regfile::kRegDword || data.size() != 4) return false;
    std::uint32_t v = 0;
    for (int b = 3; b >= 0; --b) v = v << 8 | static_cast<unsigned char>(data[b]);
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

bool RegDeleteKey(Hive hive) {
    {
        Session s;
        auto& keys = Loaded(hive).keys;
        std::string path = KeyPath(hive);
        std::string sub = path + "\\";
        std::size_t before = keys.size();
        std::erase_if(keys, [&](const Key& k) {
            return EqualIgnoreCase(k.path, path) ||
                   (k.path.size() > sub.size() &&
                    EqualIgnoreCase(k.path.substr(0, sub.size()), sub));
        });
        if (keys.size() == before) return true;  // nothing to delete
    }
    return SaveHive(hive);
}

void RegistrySetReadOnly(bool readOnly) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_readOnly = readOnly;
}

void RegistrySetNoticeSink(void (*sink)(const std::string& line)) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sink = sink;
}

void RegistryUnload() {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto& st : g_hives) st = HiveState{};
}

std::string HiveFilePath(Hive hive) {
    return JoinPath(ConfigDir(), FileName(hive));
}
