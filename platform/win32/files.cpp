// Files on Windows. Its file systems ignore letter case themselves: a name
// is found whatever its case, and resolving a path only asks for the name as
// it is stored. Paths are the program's UTF-8 text, given to the W calls as
// UTF-16; '/' and '\\' both separate.
#include "platform/files.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <vector>

#include "platform/common/listing.h"
#include "platform/win32/text.h"
#include "platform/win32/win32.h"

// After <windows.h>, which they need.
#include <aclapi.h>
#include <bcrypt.h>
#include <winioctl.h>

namespace {
// The errno value closest to a Win32 error.
int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
        case ERROR_NOT_READY:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        default:
            return EIO;
    }
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// Sets errno from the last Win32 error; false, for returns.
bool Failed() {
    errno = ErrnoOf(GetLastError());
    return false;
}

DWORD Attributes(const std::string& path) {
    return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(WideText(path).c_str());
}

// Why path could not be found: ENOTDIR when the nearest part of it that
// exists is a file (the system says only that the path is not found), as
// POSIX has it; else ENOENT.
int NotFoundReason(const std::string& path) {
    for (std::size_t cut = path.find_last_of("/\\"); cut != std::string::npos && cut > 0;
         cut = path.find_last_of("/\\", cut - 1)) {
        DWORD a = Attributes(path.substr(0, cut));
        if (a != INVALID_FILE_ATTRIBUTES) return a & FILE_ATTRIBUTE_DIRECTORY ? ENOENT : ENOTDIR;
    }
    return ENOENT;
}

// Seconds since the epoch from a file time (100 ns since 1601).
std::int64_t UnixTime(FILETIME t) {
    std::int64_t ticks = static_cast<std::int64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
    return (ticks - 116444736000000000LL) / 10000000;
}

// The length of path's root: "C:" or "C:/", "//server/share/", "/", or none.
std::size_t RootLength(const std::string& path) {
    auto separator = [&](std::size_t i) { return i < path.size() && IsSeparator(path[i]); };
    if (path.size() >= 2 && path[1] == ':') return separator(2) ? 3 : 2;
    if (separator(0) && separator(1)) {
        std::size_t server = path.find_first_of("/\\", 2);
        if (server == std::string::npos) return path.size();
        std::size_t share = path.find_first_of("/\\", server + 1);
        return share == std::string::npos ? path.size() : share + 1;
    }
    return separator(0) ? 1 : 0;
}

}  // namespace

// The system matches each name ignoring case; its listing gives the name as
// it is stored.
bool ResolveComponents(const std::string& path, std::string* actual) {
    std::size_t pos = RootLength(path);
    std::string result = path.substr(0, pos);
    while (pos < path.size()) {
        std::size_t end = path.find_first_of("/\\", pos);
        if (end == std::string::npos) end = path.size();
        std::string comp = path.substr(pos, end - pos);
        if (!comp.empty() && comp != "." && comp != "..") {
            WIN32_FIND_DATAW entry;
            HANDLE find = comp.find_first_of("*?") != std::string::npos
                              ? INVALID_HANDLE_VALUE
                              : FindFirstFileW(WideText(result + comp).c_str(), &entry);
            if (find == INVALID_HANDLE_VALUE) {
                *actual = result + path.substr(pos);
                return false;
            }
            FindClose(find);
            comp = NarrowText(entry.cFileName);
        }
        result += comp;
        if (end < path.size()) result += path[end];
        pos = end + 1;
    }
    *actual = result;
    return true;
}

namespace {
// A handle for reading path, shared with other readers and writers, that
// names a file on disk (no pipe, device or console); else invalid, errno
// set (EISDIR for a directory, EINVAL for the others).
HANDLE OpenForReading(const std::string& path) {
    DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        Failed();
        return INVALID_HANDLE_VALUE;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        errno = EISDIR;
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = CreateFileW(WideText(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Failed();
    } else if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        errno = EINVAL;
        h = INVALID_HANDLE_VALUE;
    }
    return h;
}

// One directory's entries, in listing order: the files named name (ignoring
// case) and the subdirectories, links and junctions to directories left out.
void ReadLevelDirectory(const std::string& dir, const std::string& name,
                        std::vector<std::string>* matches, std::vector<std::string>* subdirs) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileExW(WideText(JoinPath(dir, "*")).c_str(), FindExInfoBasic, &entry,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return;  // unreadable or gone: skipped
    std::vector<std::string> dirs;
    do {
        std::string n = NarrowText(entry.cFileName);
        if (n == "." || n == "..") continue;
        DWORD a = entry.dwFileAttributes;
        bool link = a & FILE_ATTRIBUTE_REPARSE_POINT;
        if (a & FILE_ATTRIBUTE_DIRECTORY) {
            if (!link) dirs.push_back(JoinPath(dir, n));
        } else if (EqualIgnoreCase(n, name)) {
            // A link to a file counts as that file.
            std::string path = JoinPath(dir, n);
            DWORD target = link ? Attributes(path) : a;
            if (target != INVALID_FILE_ATTRIBUTES && !(target & FILE_ATTRIBUTE_DIRECTORY))
                matches->push_back(path);
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    std::sort(dirs.begin(), dirs.end(), ListingLess);
    subdirs->insert(subdirs->end(), dirs.begin(), dirs.end());
}
}  // namespace

bool ReadNames(const std::string& dir, std::vector<std::string>* names) {
    // An empty path is never read as the current directory.
    if (dir.empty()) {
        errno = ENOENT;
        return false;
    }
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileExW(WideText(JoinPath(dir, "*")).c_str(), FindExInfoBasic, &entry,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        Failed();
        if (errno == ENOENT) errno = NotFoundReason(JoinPath(dir, "*"));
        return false;
    }
    do {
        std::string n = NarrowText(entry.cFileName);
        if (n != "." && n != "..") names->push_back(std::move(n));
    } while (FindNextFileW(find, &entry));
    DWORD error = GetLastError();
    FindClose(find);
    if (error != ERROR_NO_MORE_FILES) {
        errno = ErrnoOf(error);
        return false;
    }
    return true;
}

bool IsDirectory(const std::string& path) {
    DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    HANDLE h = OpenForReading(path);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    // "r" reads in the C library's text mode, as the original platform does.
    bool binary = std::string(mode).find('b') != std::string::npos;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | (binary ? _O_BINARY : 0));
    if (fd < 0) {
        CloseHandle(h);
        return nullptr;
    }
    std::FILE* f = _fdopen(fd, mode);
    if (!f) _close(fd);
    return f;
}

FileStart ReadFileStart(const std::string& path, void* buf, std::size_t size) {
    FileStart file;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.empty() || !GetFileAttributesExW(WideText(path).c_str(), GetFileExInfoStandard, &data))
        return file;
    file.haveTime = true;
    file.mtime = UnixTime(data.ftLastWriteTime);
    HANDLE h = OpenForReading(path);
    if (h == INVALID_HANDLE_VALUE) return file;
    file.read = true;
    while (file.got < size) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - file.got, 1u << 30));
        DWORD n = 0;
        if (!ReadFile(h, static_cast<char*>(buf) + file.got, chunk, &n, nullptr)) {
            // As fread: a read error fails it only when nothing came.
            file.read = file.got > 0;
            break;
        }
        if (n == 0) break;
        file.got += n;
    }
    CloseHandle(h);
    return file;
}

bool DeleteFile(const std::string& path) {
    return !path.empty() && (DeleteFileW(WideText(path).c_str()) || Failed());
}

bool MakeDirPath(const std::string& dir, unsigned /*mode: Windows has no modes*/) {
    if (dir.empty()) return false;
    // Each parent in turn; a drive ("C:") or a share (\\host\share) is there
    // or not, and is never made.
    for (std::size_t end = dir.find_first_of("/\\", 1); end != std::string::npos;
         end = dir.find_first_of("/\\", end + 1)) {
        std::string part = dir.substr(0, end);
        if (!part.empty() && part.back() != ':' && !IsDirectory(part))
            CreateDirectoryW(WideText(part).c_str(), nullptr);
    }
    if (!IsDirectory(dir) && !CreateDirectoryW(WideText(dir).c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS)
        return Failed();
    return IsDirectory(dir);
}

// Breadth first, one depth at a time: each depth's directories are in path
// order (a directory's subdirectories in listing order, after those of the
// directories before it), so the first directory of a depth with a match
// holds the shallowest match first in path order. Links and junctions to
// directories are not followed: Windows has no pseudo file systems to skip.
bool SearchTreeForFile(const std::string& root, const std::string& name, std::string* found) {
    if (root.empty() || name.empty()) return false;
    std::vector<std::string> level = {root};
    while (!level.empty()) {
        std::vector<std::string> next;
        for (const std::string& dir : level) {
            std::vector<std::string> matches;
            ReadLevelDirectory(dir, name, &matches, &next);
            if (!matches.empty()) {
                *found = *std::min_element(matches.begin(), matches.end(), ListingLess);
                return true;
            }
        }
        level = std::move(next);
    }
    return false;
}

// Windows has no file modes: a new file gets the permissions its directory
// passes on, and a replaced file keeps its own (ReplaceFileW at Commit), so
// newMode and modeOf have nothing to give.
bool AtomicFile::Open(unsigned /*newMode*/, const std::string& /*modeOf*/) {
    DWORD old = Attributes(target_);
    bool replaces = old != INVALID_FILE_ATTRIBUTES && !(old & FILE_ATTRIBUTE_DIRECTORY);
    // The temporary file lies beside the target, so that the move stays
    // within its volume.
    for (int tries = 0; tries < 100 && fd_ < 0; ++tries) {
        tmp_ = TempNameBeside(target_);
        int flags = _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT;
        if (_wsopen_s(&fd_, WideText(tmp_).c_str(), flags, _SH_DENYNO, _S_IREAD | _S_IWRITE) != 0)
            fd_ = -1;
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ >= 0) return true;
    int err = errno == ENOENT ? NotFoundReason(target_) : errno;
    errno = err;
    tmp_.clear();
    if (!replaces || err != EACCES) return false;
    // A directory that takes no new file, with a file we may write: written
    // in place at Commit.
    if (_wsopen_s(&fd_, WideText(target_).c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO,
                  0) != 0) {
        fd_ = -1;
        error_ = err;
        return false;
    }
    inPlace_ = true;
    return true;
}

AtomicFile::~AtomicFile() {
    if (fd_ < 0) return;
    _close(fd_);
    if (!inPlace_) DeleteFileW(WideText(tmp_).c_str());
}

long WriteSome(int fd, const char* data, std::size_t n) {
    return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
}

bool AtomicFile::CopyFrom(const std::string& path, long offset) {
    int in = -1;
    if (_wsopen_s(&in, WideText(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO,
                  0) != 0) {
        if (error_ == 0) error_ = errno;
        return false;
    }
    if (_lseeki64(in, offset, SEEK_SET) < 0 && error_ == 0) error_ = errno;
    char buf[1 << 16];
    while (error_ == 0) {
        int n = _read(in, buf, sizeof buf);
        if (n < 0) error_ = errno;
        if (n <= 0) break;
        Write(buf, static_cast<std::size_t>(n));
    }
    _close(in);
    return error_ == 0;
}

bool AtomicFile::Commit() {
    if (fd_ < 0) return false;
    if (inPlace_ && error_ == 0) {
        inPlace_ = false;  // the writes below go to the file itself
        if (_chsize_s(fd_, 0) != 0) error_ = errno;
        Write(pending_.data(), pending_.size());
        pending_.clear();
        inPlace_ = true;
    }
    if (error_ == 0 && durable_ && _commit(fd_) != 0) error_ = errno;
    if (_close(fd_) != 0 && error_ == 0) error_ = errno;
    fd_ = -1;
    if (inPlace_) return error_ == 0;
    std::wstring tmp = WideText(tmp_), target = WideText(target_);
    if (error_ == 0) {
        // ReplaceFileW keeps the replaced file's attributes and permissions;
        // a new file is moved into place.
        DWORD attributes = Attributes(target_);
        bool exists = attributes != INVALID_FILE_ATTRIBUTES;
        if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            error_ = EISDIR;  // never replaced (Wine would take an empty one's place)
        } else if (!(exists ? ReplaceFileW(target.c_str(), tmp.c_str(), nullptr,
                                           REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                            : MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))) {
            error_ = ErrnoOf(GetLastError());
        }
    }
    if (error_ != 0) DeleteFileW(tmp.c_str());
    return error_ == 0;
}

namespace {
// The layout of a symbolic link's reparse data (FSCTL_GET_REPARSE_POINT).
struct SymlinkData {
    ULONG tag;
    USHORT dataLength, reserved;
    USHORT substituteOffset, substituteLength, printOffset, printLength;
    ULONG flags;  // 1: relative to the link's directory
    WCHAR path[1];
};

// A handle on the link at path itself, not on what it names.
HANDLE OpenLink(const std::string& path, DWORD access) {
    return CreateFileW(
        WideText(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool IsSymlink(const std::string& path) {
    if (path.find_first_of("*?") != std::string::npos) return false;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(WideText(path).c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           entry.dwReserved0 == IO_REPARSE_TAG_SYMLINK;
}

std::string AccountName(PSID sid) {
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        return "another account";
    return NarrowText(std::wstring(domain) + L"\\" + name);
}

// Whether sid is the user running the program, or the owner it gives its
// new files (the Administrators group of an elevated program).
bool IsOwnSid(PSID sid, std::string* self) {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    bool own = false;
    for (TOKEN_INFORMATION_CLASS kind : {TokenUser, TokenOwner}) {
        alignas(8) char buf[512];
        DWORD size = 0;
        if (!GetTokenInformation(token, kind, buf, sizeof buf, &size)) continue;
        PSID mine = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(buf)->User.Sid
                                      : reinterpret_cast<TOKEN_OWNER*>(buf)->Owner;
        if (kind == TokenUser) *self = AccountName(mine);
        own = own || EqualSid(sid, mine);
    }
    CloseHandle(token);
    return own;
}

// The owner of the link at path and whether it is the user's own; false
// when it cannot be told (then nothing is written through the link).
bool LinkOwnedByUser(const std::string& path, std::string* owner, std::string* self) {
    HANDLE h = OpenLink(path, READ_CONTROL);
    if (h == INVALID_HANDLE_VALUE) return false;
    PSID sid = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    bool own = false;
    if (GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &sid, nullptr, nullptr,
                        nullptr, &sd) == ERROR_SUCCESS) {
        *owner = AccountName(sid);
        own = IsOwnSid(sid, self);
    }
    LocalFree(sd);
    CloseHandle(h);
    return own;
}

// What the link at path names, as written in it ("" when it cannot be read).
std::string LinkTarget(const std::string& path) {
    HANDLE h = OpenLink(path, 0);
    if (h == INVALID_HANDLE_VALUE) return "";
    alignas(8) char buf[MAXIMUM_REPARSE_DATA_BUFFER_SIZE];
    DWORD got = 0;
    bool ok =
        DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, buf, sizeof buf, &got, nullptr);
    CloseHandle(h);
    const auto* link = reinterpret_cast<const SymlinkData*>(buf);
    if (!ok || got < sizeof(SymlinkData) || link->tag != IO_REPARSE_TAG_SYMLINK) return "";
    // The print name is the target as the user wrote it; the substitute name
    // the system's form (\??\C:\...), used when there is no print name.
    std::wstring_view name(link->path + link->printOffset / 2, link->printLength / 2);
    if (name.empty()) {
        name =
            std::wstring_view(link->path + link->substituteOffset / 2, link->substituteLength / 2);
        if (name.substr(0, 4) == L"\\??\\") name.remove_prefix(4);
    }
    std::string next = PathText(name);
    std::size_t slash = path.find_last_of("/\\");
    if ((link->flags & 1) && slash != std::string::npos) next = path.substr(0, slash + 1) + next;
    return next;
}
}  // namespace

std::string WriteTarget(const std::string& path, std::string* why) {
    std::string p = path;
    for (int hops = 0; hops < 63; ++hops) {  // the system's own limit of a chain
        if (!IsSymlink(p)) return p;
        std::string owner = "an unknown account", self = "unknown";
        if (!LinkOwnedByUser(p, &owner, &self)) {
            // A link another account planted would let it choose what we
            // overwrite.
            if (why)
                *why = p + " is a symbolic link owned by " + owner +
                       ", not by the user running Nodescan (" + self +
                       "): nothing is written through it";
            errno = EPERM;
            return "";
        }
        std::string next = LinkTarget(p);
        if (next.empty()) return p;
        p = next;
    }
    errno = ELOOP;
    return "";
}

int ReadRegularFile(const std::string& path, std::string* data, bool* regular) {
    *regular = false;
    DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        int err = ErrnoOf(GetLastError());
        return err == ENOENT ? 0 : err;
    }
    // A link is not followed (the caller gives the end of its chain).
    if (IsSymlink(path)) return ELOOP;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
    HANDLE h = OpenForReading(path);
    if (h == INVALID_HANDLE_VALUE) return errno == ENOENT || errno == EINVAL ? 0 : errno;
    *regular = true;
    char buf[1 << 16];
    int err = 0;
    while (true) {
        DWORD n = 0;
        if (!ReadFile(h, buf, sizeof buf, &n, nullptr)) err = ErrnoOf(GetLastError());
        if (err != 0 || n == 0) break;
        data->append(buf, n);
    }
    CloseHandle(h);
    return err;
}

std::string AbsolutePath(const std::string& path) {
    // The system's full path, normalised by the system: a drive-relative
    // one ("/g", "c:g") takes the drive's current directory.
    std::wstring wide = WideText(path);
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(n, L'\0');
    n = n ? GetFullPathNameW(wide.c_str(), n, full.data(), nullptr) : 0;
    if (n == 0) return NormalPath(path);
    full.resize(n);
    return PathText(full);
}

std::string Sha256OfFile(const std::string& path, std::string* why) {
    HANDLE h = OpenForReading(path);
    if (h == INVALID_HANDLE_VALUE) {
        *why = std::generic_category().message(errno);
        return "";
    }
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    NTSTATUS rc = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (rc >= 0) rc = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
    std::vector<unsigned char> piece(1 << 16);
    int err = 0;
    DWORD n = 0;
    while (rc >= 0 && err == 0) {
        if (!ReadFile(h, piece.data(), static_cast<DWORD>(piece.size()), &n, nullptr))
            err = ErrnoOf(GetLastError());
        if (err != 0 || n == 0) break;
        rc = BCryptHashData(hash, piece.data(), n, 0);
    }
    CloseHandle(h);
    unsigned char digest[32];
    if (rc >= 0 && err == 0) rc = BCryptFinishHash(hash, digest, sizeof digest, 0);
    if (hash) BCryptDestroyHash(hash);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
    if (err != 0 || rc < 0) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(rc));
        *why = err != 0 ? std::generic_category().message(err)
                        : std::string("Windows offers no SHA-256 (") + code + ")";
        return "";
    }
    return LowerHex(digest, sizeof digest);
}
