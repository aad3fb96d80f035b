#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <unordered_map>

#include "platform/common/listing.h"
#include "platform/posix/gnutls.h"

// "" is the current directory, which only the first component of a relative
// path is resolved in.
bool ReadNames(const std::string& dir, std::vector<std::string>* names) {
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return false;
    while (dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        names->emplace_back(n);
    }
    closedir(d);
    return true;
}

namespace {
bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// dir's names keyed by their folded form; of names that differ only in
// case, the first in listing order.
std::unordered_map<std::string, std::string> FoldedNames(const std::string& dir) {
    std::vector<std::string> names;
    ReadNames(dir, &names);
    SortListing(&names);
    std::unordered_map<std::string, std::string> folded;
    folded.reserve(names.size());
    for (auto& n : names) {
        std::string key = FoldCase(n);
        folded.emplace(std::move(key), std::move(n));
    }
    return folded;
}

// The entry of dir whose name equals name ignoring case. The last directory
// read is kept per thread, so that a scan that resolves thousands of names in
// one directory reads it once; an answer from it is checked on disk (unless
// the caller's own use of it checks it: checked false), and a miss reads the
// directory again.
bool MatchInDir(const std::string& dir, const std::string& name, std::string* actual,
                bool checked = true) {
    thread_local std::string cachedDir;
    thread_local std::unordered_map<std::string, std::string> cachedNames;
    std::string key = FoldCase(name);
    if (cachedDir == dir) {
        auto it = cachedNames.find(key);
        if (it != cachedNames.end() && (!checked || Exists(JoinPath(dir, it->second)))) {
            *actual = it->second;
            return true;
        }
    }
    cachedDir = dir;
    cachedNames = FoldedNames(dir);
    auto it = cachedNames.find(key);
    if (it == cachedNames.end()) return false;
    *actual = it->second;
    return true;
}
}  // namespace

// Each component that does not exist as written is looked up in its
// directory's listing.
bool ResolveComponents(const std::string& path, std::string* actual) {
    if (Exists(path)) {
        *actual = path;
        return true;
    }
    // Walk the components, keeping those that exist as written.
    std::string result = path[0] == '/' ? "/" : "";
    std::size_t pos = result.size();
    while (pos <= path.size()) {
        std::size_t end = path.find('/', pos);
        if (end == std::string::npos) end = path.size();
        std::string comp = path.substr(pos, end - pos);
        if (comp.empty()) {
            pos = end + 1;
            continue;
        }
        std::string next = JoinPath(result, comp);
        if (comp != "." && comp != ".." && !Exists(next)) {
            std::string match;
            if (!MatchInDir(result, comp, &match)) {
                *actual = JoinPath(result, path.substr(pos));
                return false;
            }
            next = JoinPath(result, match);
        }
        result = next;
        pos = end + 1;
    }
    if (path.back() == '/' && !result.empty() && result.back() != '/') result += '/';
    *actual = result;
    return true;
}

bool IsDirectory(const std::string& path) {
    std::string actual;
    struct stat st;
    return !path.empty() && ResolvePath(path, &actual) && ::stat(actual.c_str(), &st) == 0 &&
           S_ISDIR(st.st_mode);
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    std::string actual;
    if (!ResolvePath(path, &actual)) return nullptr;
    // Only a regular file is opened: a pipe or a device could block the
    // program for ever. The non-blocking open never waits for a writer.
    int fd = ::open(actual.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, mode);
    if (!f) ::close(fd);
    return f;
}

FileStart ReadFileStart(const std::string& path, void* buf, std::size_t size) {
    FileStart file;
    if (path.empty()) return file;
    // The name as written first: the listing is read only for a name that
    // differs in case from the one on disk.
    std::string actual;  // the name on disk, where it differs
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(path.c_str(), flags);
    std::size_t slash = path.rfind('/');
    if (fd < 0 && errno == ENOENT && slash != std::string::npos && slash + 1 < path.size()) {
        // Most often only the file's own name differs in case: it is looked
        // up in the listing of its directory (kept from the last lookup
        // there), the open telling whether the listing is still right.
        std::string dir = slash == 0 ? "/" : path.substr(0, slash), match;
        if (MatchInDir(dir, path.substr(slash + 1), &match, false)) {
            actual = JoinPath(dir, match);
            fd = ::open(actual.c_str(), flags);
        } else {
            errno = ENOENT;
        }
    }
    if (fd < 0 && errno == ENOENT) {
        if (!ResolvePath(path, &actual)) return file;
        fd = ::open(actual.c_str(), flags);
    }
    struct stat st {};
    if (fd < 0) {
        // Not to be opened (no permission, a socket): it has a time all the same.
        if (::stat((actual.empty() ? path : actual).c_str(), &st) == 0)
            file = {true, st.st_mtime, false, 0};
        return file;
    }
    if (::fstat(fd, &st) == 0) {
        file = {true, st.st_mtime, S_ISREG(st.st_mode), 0};
        // A regular file never blocks: O_NONBLOCK changes nothing for it.
        while (file.read && file.got < size) {
            ssize_t n = ::read(fd, static_cast<char*>(buf) + file.got, size - file.got);
            if (n < 0 && errno == EINTR) continue;
            // As fread: a read error fails it only when nothing came.
            if (n < 0) file.read = file.got > 0;
            if (n <= 0) break;
            file.got += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    return file;
}

bool DeleteFile(const std::string& path) {
    std::string actual;
    return ResolvePath(path, &actual) && ::unlink(actual.c_str()) == 0;
}

bool AtomicFile::Open(unsigned newMode, const std::string& modeOf) {
    struct stat old {};
    bool replaces = ::lstat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    bool takesOld =
        replaces || (!modeOf.empty() && ::stat(modeOf.c_str(), &old) == 0 && S_ISREG(old.st_mode));
    // The temporary file lies beside the target, so that the rename stays
    // within its directory. Made by open, so that the umask applies.
    for (int tries = 0; tries < 100 && fd_ < 0; ++tries) {
        tmp_ = TempNameBeside(target_);
        fd_ = ::open(tmp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, newMode);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ >= 0) {
        if (!takesOld) return true;
        // The replacement keeps what the old file had; chown first, as it
        // clears the set-id bits.
        if (::geteuid() == 0 && ::fchown(fd_, old.st_uid, old.st_gid) != 0) error_ = errno;
        if (error_ == 0 && ::fchmod(fd_, old.st_mode & 07777) != 0) error_ = errno;
        return error_ == 0;
    }
    int err = errno;
    tmp_.clear();
    if (!replaces || (err != EACCES && err != EPERM)) return false;
    // A directory of another account with a file we may write: written in
    // place at Commit, never through a link planted meanwhile.
    fd_ = ::open(target_.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        error_ = err;
        return false;
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    inPlace_ = true;
    return true;
}

AtomicFile::~AtomicFile() {
    if (fd_ < 0) return;
    ::close(fd_);
    if (!inPlace_) ::unlink(tmp_.c_str());
}

long WriteSome(int fd, const char* data, std::size_t n) {
    ssize_t w;
    do {
        w = ::write(fd, data, n);
    } while (w < 0 && errno == EINTR);
    return w;
}

bool AtomicFile::CopyFrom(const std::string& path, long offset) {
    int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        if (error_ == 0) error_ = errno;
        return false;
    }
    // In the kernel where it can; read and write where it cannot.
    off_t at = offset;
    bool kernel = !inPlace_;
    while (error_ == 0) {
        ssize_t n = kernel ? ::copy_file_range(in, &at, fd_, nullptr, 1 << 30, 0) : -1;
        if (n == 0) break;
        if (n > 0) continue;
        if (kernel &&
            (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            kernel = false;
            continue;
        }
        if (kernel) {
            error_ = errno;
            break;
        }
        char buf[1 << 16];
        n = ::pread(in, buf, sizeof buf, at);
        if (n < 0) error_ = errno;
        if (n <= 0) break;
        at += n;
        Write(buf, static_cast<std::size_t>(n));
    }
    ::close(in);
    return error_ == 0;
}

bool AtomicFile::Commit() {
    if (fd_ < 0) return false;
    if (inPlace_ && error_ == 0) {
        inPlace_ = false;  // the writes below go to the file itself
        if (::ftruncate(fd_, 0) != 0) error_ = errno;
        Write(pending_.data(), pending_.size());
        pending_.clear();
        inPlace_ = true;
    }
    if (error_ == 0 && durable_ && ::fsync(fd_) != 0) error_ = errno;
    if (::close(fd_) != 0 && error_ == 0) error_ = errno;
    fd_ = -1;
    if (inPlace_) return error_ == 0;
    if (error_ == 0 && ::rename(tmp_.c_str(), target_.c_str()) != 0) error_ = errno;
    if (error_ != 0) ::unlink(tmp_.c_str());
    return error_ == 0;
}

int ReadRegularFile(const std::string& path, std::string* data, bool* regular) {
    *regular = false;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? 0 : errno;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return 0;
    }
    *regular = true;
    char buf[1 << 16];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) data->append(buf, static_cast<std::size_t>(n));
    int err = n < 0 ? errno : 0;
    ::close(fd);
    return err;
}

bool MakeDirPath(const std::string& dir, unsigned mode) {
    if (dir.empty()) return false;
    std::size_t pos = 1;
    while (true) {
        std::size_t end = dir.find('/', pos);
        std::string part = dir.substr(0, end);
        if (!part.empty() && ::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return false;
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    return IsDirectory(dir);
}

namespace {
std::string OwnerName(uid_t uid) {
    struct passwd pw, *found = nullptr;
    char buf[1024];
    if (::getpwuid_r(uid, &pw, buf, sizeof buf, &found) == 0 && found) return found->pw_name;
    return "uid " + std::to_string(uid);
}
}  // namespace

std::string WriteTarget(const std::string& path, std::string* why) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {  // the kernel's own limit of a chain
        struct stat st;
        char target[4096];
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        if (st.st_uid != ::geteuid()) {
            // A link another account planted would let it choose what we
            // overwrite.
            if (why)
                *why = p + " is a symbolic link owned by " + OwnerName(st.st_uid) +
                       ", not by the user running Nodescan (" + OwnerName(::geteuid()) +
                       "): nothing is written through it";
            errno = EPERM;
            return "";
        }
        ssize_t n = ::readlink(p.c_str(), target, sizeof target);
        if (n <= 0 || static_cast<std::size_t>(n) == sizeof target) return p;
        std::string next(target, static_cast<std::size_t>(n));
        std::size_t slash = p.rfind('/');
        if (next[0] != '/' && slash != std::string::npos) next = p.substr(0, slash + 1) + next;
        p = next;
    }
    errno = ELOOP;
    return "";
}

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return NormalPath(path);
    char cwd[4096];
    return NormalPath(::getcwd(cwd, sizeof cwd) ? JoinPath(cwd, path) : path);
}

std::string Sha256OfFile(const std::string& path, std::string* why) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *why = std::generic_category().message(errno);
        return "";
    }
    const GnuTls* tls = LoadGnuTls(why);
    gnutls_hash_hd_t hash;
    if (!tls || tls->hash_init(&hash, GNUTLS_DIG_SHA256) < 0) {
        std::fclose(f);
        if (tls) *why = "GnuTLS offers no SHA-256";
        return "";
    }
    std::vector<char> piece(1 << 16);
    std::size_t n;
    while ((n = std::fread(piece.data(), 1, piece.size(), f)) > 0) tls->hash(hash, piece.data(), n);
    int err = std::ferror(f) ? errno : 0;
    std::fclose(f);
    unsigned char digest[32];
    tls->hash_deinit(hash, digest);
    if (err) {
        *why = std::generic_category().message(err);
        return "";
    }
    return LowerHex(digest, sizeof digest);
}
