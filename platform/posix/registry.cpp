// The registry as two REGEDIT4 files in the config directory, loaded once per
// process into a cache that one mutex guards; a save merges this process's
// changes into the file as it is then, under a lock shared with other
// programs.
#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "platform/common/regfile.h"
#include "platform/common/regstore.h"
#include "platform/files.h"
#include "platform/paths.h"

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

}  // namespace

namespace regstore {

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

}  // namespace regstore

namespace {

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

bool RegKey::Close() {
    bool changed = open_ && dirty_;
    open_ = dirty_ = false;
    return !changed || SaveHive(hive_, false);
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
