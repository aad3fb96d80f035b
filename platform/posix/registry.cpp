// The registry as two REGEDIT4 files in the config directory, loaded once per
// process into a cache that one mutex guards; a save merges this process's
// changes into the file as it is then, under a lock shared with other
// programs.
#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/posix/regfile.h"
#include "platform/text.h"

// ---------------------------------------------------------------------------
// The file format.

namespace regfile {
namespace {

// Whether s holds the lower-case prefix at at, ignoring ASCII case.
bool StartsWithNoCase(const std::string& s, std::size_t at, const char* prefix) {
    for (; *prefix; ++prefix, ++at) {
        char c = at < s.size() ? s[at] : '\0';
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != *prefix) return false;
    }
    return true;
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

// UTF-16LE bytes as UTF-8; false for an odd count or a lone surrogate.
bool Utf16ToUtf8(const char* p, std::size_t n, std::string* out) {
    if (n % 2 != 0) return false;
    auto unit = [p](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(p[i]) |
                                          static_cast<unsigned char>(p[i + 1]) << 8);
    };
    out->clear();
    out->reserve(n + n / 2);
    for (std::size_t i = 0; i < n; i += 2) {
        std::uint32_t c = unit(i);
        if (c >= 0xDC00 && c <= 0xDFFF) return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 2 >= n || unit(i + 2) < 0xDC00 || unit(i + 2) > 0xDFFF) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        }
        AppendUtf8(*out, c);
    }
    return true;
}

// The data after "=": "text", dword:xxxxxxxx, hex:.. or hex(type):.. In a
// version 5 file (unicode), hex(1) holds UTF-16LE text, kept as UTF-8
// without its terminating zero.
bool ParseData(const std::string& s, std::size_t i, bool unicode, std::uint32_t* type,
               std::string* data) {
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
        if (!ParseHexBytes(s, i + 2, data)) return false;
        if (!unicode || v != kRegSz) return true;
        std::string text;
        if (!Utf16ToUtf8(data->data(), data->size(), &text)) return false;
        if (!text.empty() && text.back() == '\0') text.pop_back();
        *data = std::move(text);
        return true;
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

void TrimLeft(std::string& s) {
    std::size_t i = 0;
    SkipBlanks(s, &i);
    s.erase(0, i);
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

// Positions of the items keyed by their folded names.
template <typename T, typename NameOf>
void Reindex(const std::vector<T>& items, NameOf nameOf,
             std::unordered_map<std::string, std::size_t>* index) {
    index->clear();
    index->reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) index->emplace(FoldCase(nameOf(items[i])), i);
}

// Whether a folded key path is one of trees or lies below one ("tree\...").
bool InTrees(const std::string& folded, const std::unordered_set<std::string>& trees) {
    for (std::size_t end = folded.find('\\');; end = folded.find('\\', end + 1)) {
        if (trees.count(folded.substr(0, end)) != 0) return true;
        if (end == std::string::npos) return false;
    }
}

}  // namespace

const Value* Key::Find(const std::string& name) const {
    auto it = index_.find(FoldCase(name));
    return it == index_.end() ? nullptr : &values_[it->second];
}

void Key::Set(const std::string& name, std::uint32_t type, std::string data) {
    auto [it, added] = index_.try_emplace(FoldCase(name), values_.size());
    if (added) {
        values_.push_back(Value{name, type, std::move(data)});
    } else {
        values_[it->second].type = type;
        values_[it->second].data = std::move(data);
    }
}

bool Key::Remove(const std::unordered_set<std::string>& folded) {
    if (std::none_of(folded.begin(), folded.end(),
                     [this](const std::string& f) { return index_.count(f) != 0; }))
        return false;
    std::erase_if(values_, [&](const Value& v) { return folded.count(FoldCase(v.name)) != 0; });
    Reindex(
        values_, [](const Value& v) { return v.name; }, &index_);
    return true;
}

Key* Keys::Find(const std::string& path) {
    auto it = index_.find(FoldCase(path));
    return it == index_.end() ? nullptr : &list_[it->second];
}

const Key* Keys::Find(const std::string& path) const {
    return const_cast<Keys*>(this)->Find(path);
}

Key& Keys::Add(const std::string& path) {
    auto [it, added] = index_.try_emplace(FoldCase(path), list_.size());
    if (added) list_.emplace_back(path);
    return list_[it->second];
}

bool Keys::RemoveTrees(const std::unordered_set<std::string>& folded) {
    std::size_t before = list_.size();
    std::erase_if(list_, [&](const Key& k) { return InTrees(FoldCase(k.path), folded); });
    if (list_.size() == before) return false;
    Reindex(
        list_, [](const Key& k) { return k.path; }, &index_);
    return true;
}

bool Parse(const std::string& raw, Keys* keys) {
    *keys = Keys();
    // UTF-16LE text (byte-order mark FF FE) is read as UTF-8; a UTF-8
    // byte-order mark is skipped.
    std::string decoded;
    const std::string* text = &raw;
    std::size_t pos = 0;
    if (raw.compare(0, 2, "\xFF\xFE") == 0) {
        if (!Utf16ToUtf8(raw.data() + 2, raw.size() - 2, &decoded)) return false;
        text = &decoded;
    } else if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        pos = 3;
    }
    std::string s, next;
    if (!NextLine(*text, &pos, &s)) return true;  // no text at all
    bool unicode = s == "Windows Registry Editor Version 5.00";
    if (!unicode && s != "REGEDIT4") return false;
    Key* current = nullptr;  // the key that values go to
    while (NextLine(*text, &pos, &s)) {
        TrimLeft(s);
        if (s.empty() || s[0] == ';') continue;
        while (s.back() == '\\') {  // a value continued on the next line
            s.pop_back();
            if (!NextLine(*text, &pos, &next)) return false;
            TrimLeft(next);
            s += next;
            if (s.empty()) return false;
        }
        if (s[0] == '[') {
            if (s.size() < 3 || s.back() != ']' || s[1] == '-') return false;
            current = &keys->Add(s.substr(1, s.size() - 2));
            continue;
        }
        if (!current) return false;  // a value before any key
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
        if (!ParseData(s, i, unicode, &type, &data)) return false;
        current->Set(name, type, std::move(data));
    }
    return true;
}

std::string Format(const Keys& keys) {
    std::string out = "REGEDIT4\r\n";
    for (const auto& k : keys.list()) {
        out += "\r\n[" + k.path + "]\r\n";
        for (const auto& v : k.values()) AppendValue(out, v);
    }
    out += "\r\n";
    return out;
}

Changes Diff(const Keys& before, const Keys& after, const Written* written) {
    Changes changes;
    for (const Key& k : before.list())
        if (!after.Find(k.path)) changes.removedKeys.insert(FoldCase(k.path));
    for (const Key& k : after.list()) {
        // A key below a removed one is made again whole, as the removal takes it.
        bool below = InTrees(FoldCase(k.path), changes.removedKeys);
        const Key* old = below ? nullptr : before.Find(k.path);
        KeyChange change{k.path, {}, {}};
        auto differs = [](const Value* v, const Value* was) {
            return !was || was->type != v->type || was->data != v->data;
        };
        if (old && written) {
            auto names = written->find(FoldCase(k.path));
            if (names == written->end()) continue;
            std::vector<const Value*> set;
            for (const std::string& name : names->second) {
                const Value* v = k.Find(name);
                const Value* was = old->Find(name);
                if (v && differs(v, was)) set.push_back(v);
                if (!v && was) change.removed.insert(name);
            }
            std::sort(set.begin(), set.end());  // in the key's order
            for (const Value* v : set) change.set.push_back(*v);
        } else {
            for (const Value& v : k.values())
                if (differs(&v, old ? old->Find(v.name) : nullptr)) change.set.push_back(v);
            if (old)
                for (const Value& v : old->values())
                    if (!k.Find(v.name)) change.removed.insert(FoldCase(v.name));
        }
        if (!old || !change.set.empty() || !change.removed.empty())
            changes.keys.push_back(std::move(change));
    }
    return changes;
}

bool Apply(const Changes& changes, Keys* keys) {
    bool changed = !changes.removedKeys.empty() && keys->RemoveTrees(changes.removedKeys);
    for (const KeyChange& c : changes.keys) {
        Key* k = keys->Find(c.path);
        if (!k) {
            k = &keys->Add(c.path);
            changed = true;
        }
        for (const Value& v : c.set) {
            const Value* there = k->Find(v.name);
            if (there && there->type == v.type && there->data == v.data) continue;
            k->Set(v.name, v.type, v.data);
            changed = true;
        }
        if (!c.removed.empty() && k->Remove(c.removed)) changed = true;
    }
    return changed;
}

}  // namespace regfile

// ---------------------------------------------------------------------------
// The hives.

namespace {

using regfile::Key;
using regfile::Keys;

constexpr std::size_t kMaxHiveSize = 64u << 20;  // no hive is that large
constexpr int kNotRegular = -1;                  // ReadHiveFile: a pipe, device, directory...

// Where a 32-bit program's machine values lie in a 64-bit Windows export.
constexpr const char* kWowKeyPath = "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Nodescan";

struct HiveState {
    bool loaded = false;
    std::uint64_t load = 0;    // which load this is: a save never updates a later one
    std::string dir;           // ConfigDir() when loaded
    bool keepFile = false;     // the file there is unreadable and must not be overwritten
    Keys cache;                // what this process sees
    Keys base;                 // the file as last read or written; cache - base is to be saved
    regfile::Written written;  // the values written since then, where cache and base may differ
    bool deleted = false;      // a key was deleted since then: every value may differ
    // Keys made while the hive was read-only: in base, but never in the file.
    std::unordered_set<std::string> madeReadOnly;
};

std::mutex g_mutex;  // guards everything below
HiveState g_hives[2];
bool g_readOnly[2] = {false, false};
bool g_keepFiles = false;  // nothing on disk may change: a damaged file stays too
std::uint64_t g_loads = 0;
void (*g_sink)(const std::string&) = nullptr;
std::vector<std::string> g_notices;  // to deliver once g_mutex is released

// Taken before g_mutex, by a save from the snapshot of its changes to the
// update of the cache, so that saves of one hive follow each other without
// blocking readers during the file's lock, read and fsync.
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
std::string DirName(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The program's key in keys: kNodescanKey or, in the machine hive when that
// is absent, the WOW6432Node one.
Key* NodescanKey(Keys& keys, Hive h) {
    Key* k = keys.Find(KeyPath(h));
    return k || h == Hive::CurrentUser ? k : keys.Find(kWowKeyPath);
}

// The folded paths that a deletion of the program's key removes.
std::unordered_set<std::string> NodescanTrees(Hive h) {
    std::unordered_set<std::string> trees{FoldCase(KeyPath(h))};
    if (h == Hive::LocalMachine) trees.insert(FoldCase(kWowKeyPath));
    return trees;
}

// Hands notices to the sink, outside every lock of the registry, so that a
// sink that waits for another thread cannot deadlock.
void Deliver(std::vector<std::string> notices) {
    void (*sink)(const std::string&);
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        sink = g_sink;
    }
    if (sink)
        for (const auto& n : notices) sink(n);
}

// Holds g_mutex; delivers the notices queued meanwhile after releasing it.
class Session {
  public:
    Session() : lock_(g_mutex) {}
    ~Session() {
        std::vector<std::string> notices;
        notices.swap(g_notices);
        lock_.unlock();
        if (!notices.empty()) Deliver(std::move(notices));
    }

  private:
    std::unique_lock<std::mutex> lock_;
};

// An exclusive flock on a lock file beside the hive's file, for the object's
// life. The hive itself is replaced by rename, so a lock on it would not
// hold across a save.
class FileLock {
  public:
    explicit FileLock(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0600)) {
        while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool ok() const { return fd_ >= 0; }

  private:
    int fd_;
};

// 0 and the whole file, or an errno value, or kNotRegular. The open never
// blocks (a named pipe has no writer), and only a regular file is read.
int ReadHiveFile(const std::string& path, std::string* text) {
    text->clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat st;
    int err = 0;
    if (::fstat(fd, &st) != 0)
        err = errno;
    else if (!S_ISREG(st.st_mode))
        err = kNotRegular;
    else if (static_cast<std::uint64_t>(st.st_size) > kMaxHiveSize)
        err = EFBIG;
    else
        text->reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    while (err == 0) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) err = errno;
        if (n <= 0) break;
        text->append(buf, static_cast<std::size_t>(n));
        if (text->size() > kMaxHiveSize) err = EFBIG;  // grown since the fstat
    }
    ::close(fd);
    return err;
}

// The local time as YYYYMMDD-HHMMSS, for the names of kept copies.
std::string Stamp() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    return stamp;
}

// base, or base-2, base-3, ... : the first name not taken; "" when all are.
std::string FreeName(const std::string& base) {
    for (int n = 1; n < 1000; ++n) {
        std::string name = n == 1 ? base : base + "-" + std::to_string(n);
        struct stat st;
        if (::lstat(name.c_str(), &st) != 0 && errno == ENOENT) return name;
    }
    return "";
}

// Renames the file that path names (through its links) to
// <file>.bad-YYYYMMDD-HHMMSS; the new name, or "" when the rename failed.
std::string MoveAside(const std::string& path) {
    std::string file = WriteTarget(path);
    std::string target = file.empty() ? "" : FreeName(file + ".bad-" + Stamp());
    return !target.empty() && ::rename(file.c_str(), target.c_str()) == 0 ? target : "";
}

// A hive file that could not be read (err) or parsed (err 0): a readable one
// is moved aside when mayMove; else it stays, and is never overwritten.
// Queues the notice; false when the file stays.
bool SetAside(const std::string& path, int err, bool mayMove, std::vector<std::string>* notices) {
    // A file too large to be a hive is moved aside like a malformed one.
    bool readable = err == 0 || err == EFBIG;
    std::string moved = readable && mayMove ? MoveAside(path) : "";
    if (!moved.empty()) {
        notices->push_back("Settings file could not be read; moved aside to " + moved);
        return true;
    }
    std::string why = readable             ? ""
                      : err == kNotRegular ? " (not a regular file)"
                                           : " (" + std::string(std::strerror(err)) + ")";
    notices->push_back("Settings file " + path + " could not be read" + why +
                       "; settings will not be saved");
    return false;
}

// The hive, loaded from its file when not yet loaded or when ConfigDir()
// changed since. Called with g_mutex held.
HiveState& Loaded(Hive h) {
    HiveState& st = g_hives[Index(h)];
    std::string dir = ConfigDir();
    if (st.loaded && st.dir == dir) return st;
    st = HiveState{};
    st.loaded = true;
    st.load = ++g_loads;
    st.dir = dir;
    std::string path = JoinPath(dir, FileName(h));
    std::string text;
    int err = ReadHiveFile(path, &text);
    if (err == ENOENT) return st;
    if (err == 0 && regfile::Parse(text, &st.base)) {
        st.cache = st.base;
        return st;
    }
    st.base = Keys();
    st.keepFile = !SetAside(path, err, !g_keepFiles, &g_notices);
    return st;
}

// Copies the value's type and bytes out; false when it is missing.
bool GetValue(Hive h, const std::string& name, std::uint32_t* type, std::string* data) {
    Session s;
    const Key* k = NodescanKey(Loaded(h).cache, h);
    const regfile::Value* v = k ? k->Find(name) : nullptr;
    if (!v) return false;
    *type = v->type;
    *data = v->data;
    return true;
}

bool StoreValue(Hive h, const std::string& name, std::uint32_t type, std::string data) {
    Session s;
    HiveState& st = Loaded(h);
    Key* k = NodescanKey(st.cache, h);
    if (!k) return false;  // deleted while open
    // A read-only hive's write is no difference from its file: never saved.
    if (g_readOnly[Index(h)])
        st.base.Add(k->path).Set(name, type, data);
    else
        st.written[FoldCase(k->path)].insert(FoldCase(name));
    k->Set(name, type, std::move(data));
    return true;
}

// The save itself (see SaveHive); notices are queued in notices.
bool SaveHiveLocked(Hive h, bool deleteKey, std::vector<std::string>* notices) {
    const int i = Index(h);
    std::string dir;
    std::uint64_t load;
    regfile::Changes changes;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        const HiveState& st = g_hives[i];
        if (g_readOnly[i] || !st.loaded) return true;  // nothing that may or must be written
        if (st.keepFile) return false;
        changes = regfile::Diff(st.base, st.cache, st.deleted ? nullptr : &st.written);
        dir = st.dir;
        load = st.load;
    }
    if (deleteKey) changes.removedKeys.merge(NodescanTrees(h));
    if (changes.empty()) return true;

    std::string path = JoinPath(dir, FileName(h));
    std::string why;
    std::string file = WriteTarget(path, &why);
    if (file.empty()) {  // a loop of links, or a link of another user
        if (!why.empty()) notices->push_back("Settings not saved: " + why);
        return false;
    }
    struct stat st;
    if (::stat(DirName(file).c_str(), &st) != 0 && changes.keys.empty())
        return true;  // only deletions, and no directory for a file to be in
    if (!MakeDirPath(DirName(file), 0700)) return false;
    FileLock fileLock(file + ".lock");
    if (!fileLock.ok()) return false;

    // The file as it is now, with this process's changes applied to it.
    std::string text;
    Keys merged;
    int err = ReadHiveFile(file, &text);
    bool write;
    if (err == ENOENT || (err == 0 && regfile::Parse(text, &merged))) {
        // A changed key that another program deleted meanwhile is written
        // whole, not as the few values this program changed.
        // (A key made while read-only was never there: only its changes go.)
        for (regfile::KeyChange& c : changes.keys) {
            if (merged.Find(c.path)) continue;
            std::lock_guard<std::mutex> lock(g_mutex);
            if (g_hives[i].madeReadOnly.count(FoldCase(c.path))) continue;
            if (const Key* k = g_hives[i].cache.Find(c.path)) c.set = k->values();
        }
        write = regfile::Apply(changes, &merged);
    } else if (SetAside(path, err, true, notices)) {
        // Moved aside: this process's hive is the settings now.
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_hives[i].load != load) return false;
        merged = g_hives[i].cache;
        write = true;
    } else {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_hives[i].load == load) g_hives[i].keepFile = true;
        return false;
    }
    if (write && !(merged.empty() ? ::unlink(file.c_str()) == 0 || errno == ENOENT
                                  : WriteFileAtomic(path, regfile::Format(merged), 0600)))
        return false;

    // The file and this process agree now, but for what this process changed
    // since the snapshot above.
    std::lock_guard<std::mutex> lock(g_mutex);
    HiveState& hive = g_hives[i];
    if (hive.load == load) {
        regfile::Changes pending =
            regfile::Diff(hive.base, hive.cache, hive.deleted ? nullptr : &hive.written);
        hive.written.clear();
        for (const regfile::KeyChange& c : pending.keys) {
            auto& names = hive.written[FoldCase(c.path)];
            for (const regfile::Value& v : c.set) names.insert(FoldCase(v.name));
            names.insert(c.removed.begin(), c.removed.end());
        }
        hive.deleted = !pending.removedKeys.empty();
        hive.madeReadOnly.clear();
        hive.base = merged;
        hive.cache = std::move(merged);
        regfile::Apply(pending, &hive.cache);
    }
    return true;
}

// Saves this process's changes of the hive into its file as it is now (see
// registry.h); with deleteKey also deletes the program's key there. The
// notices come after every lock is released.
bool SaveHive(Hive h, bool deleteKey) {
    std::vector<std::string> notices;
    bool ok;
    {
        std::lock_guard<std::mutex> fileLock(g_fileMutex[Index(h)]);
        ok = SaveHiveLocked(h, deleteKey, &notices);
    }
    if (!notices.empty()) Deliver(std::move(notices));
    return ok;
}

}  // namespace

RegKey RegKey::Open(Hive hive, bool create) {
    Session s;
    HiveState& st = Loaded(hive);
    if (NodescanKey(st.cache, hive)) return RegKey(hive, true);
    if (!create) return RegKey(hive, false);
    st.cache.Add(KeyPath(hive));
    if (g_readOnly[Index(hive)] && !st.base.Find(KeyPath(hive))) {
        st.base.Add(KeyPath(hive));
        st.madeReadOnly.insert(FoldCase(KeyPath(hive)));
    }
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
    return !changed || SaveHive(hive_, false);
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

bool RegDeleteKey(Hive hive) {
    {
        Session s;
        HiveState& st = Loaded(hive);
        st.cache.RemoveTrees(NodescanTrees(hive));
        if (g_readOnly[Index(hive)]) {
            st.base.RemoveTrees(NodescanTrees(hive));
            return true;
        }
        st.deleted = true;
        if (st.keepFile) return false;
    }
    return SaveHive(hive, true);
}

std::string RegBackupKey(Hive hive) {
    std::string dir, text;
    {
        Session s;
        HiveState& st = Loaded(hive);
        const Key* k = NodescanKey(st.cache, hive);
        // A read-only hive's file keeps its key: nothing to keep a copy of.
        if (!k || g_readOnly[Index(hive)]) return "";
        Keys one;
        one.Add(k->path) = *k;
        text = regfile::Format(one);
        dir = st.dir;
    }
    // Under the hive's lock, so that two programs never pick one name.
    std::string file = WriteTarget(JoinPath(dir, FileName(hive)));
    if (file.empty() || !MakeDirPath(DirName(file), 0700)) return "";
    FileLock lock(file + ".lock");
    std::string name = lock.ok() ? FreeName(file + ".backup-" + Stamp()) : "";
    return !name.empty() && WriteFileAtomic(name, text, 0600) ? name : "";
}

void RegistrySetReadOnly(bool readOnly) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_readOnly[0] = g_readOnly[1] = g_keepFiles = readOnly;
}

void RegistrySetReadOnly(Hive hive, bool readOnly) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_readOnly[Index(hive)] = readOnly;
}

bool RegistryIsReadOnly(Hive hive) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_readOnly[Index(hive)];
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
