// The desktop's trash, as the freedesktop.org Trash specification lays it
// out, so that the window and nodescan-cli --trash share one implementation.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace {
std::string Reason(int err) {
    return std::generic_category().message(err);
}

// The path as a trash info file holds it: bytes other than ASCII letters,
// digits, '/' and "-_.~" escaped as in URLs.
std::string Escaped(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : path) {
        auto c = static_cast<unsigned char>(ch);
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     ch == '/' || ch == '-' || ch == '_' || ch == '.' || ch == '~';
        out += plain ? std::string(1, ch) : std::string{'%', hex[c >> 4], hex[c & 15]};
    }
    return out;
}

// The local time now, as DeletionDate has it.
std::string Now() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    char text[32] = "";
    if (localtime_r(&t, &local)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// A directory of the user's, made when missing: never a link, nor one
// another account could have prepared.
bool OwnDir(const std::string& dir) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        errno = S_ISDIR(st.st_mode) ? EPERM : ENOTDIR;
        return false;
    }
    return true;
}

// The device of path, or of its nearest ancestor that exists.
bool DeviceOf(std::string path, dev_t* dev) {
    struct stat st {};
    while (::stat(path.c_str(), &st) != 0) {
        std::size_t slash = path.find_last_of('/');
        if (slash == std::string::npos || path == "/") return false;
        path = slash == 0 ? "/" : path.substr(0, slash);
    }
    *dev = st.st_dev;
    return true;
}

enum class Outcome { Moved, NoTrash, Failed };

// Moves file into trash under a name of its own, the info file first (made
// exclusively, it reserves the name). infoPath: the Path the info file holds.
Outcome Into(const std::string& trash, const std::string& file, const std::string& infoPath,
             std::string* why) {
    std::string files = trash + "/files", info = trash + "/info";
    if (!OwnDir(trash) || !OwnDir(files) || !OwnDir(info)) {
        *why = trash + ": " + Reason(errno);
        return Outcome::NoTrash;
    }
    std::string base = file.substr(file.find_last_of('/') + 1);
    for (int n = 1; n < 100000; ++n) {
        std::string name = n == 1 ? base : base + "." + std::to_string(n);
        std::string infoFile = info + "/" + name + ".trashinfo", dest = files + "/" + name;
        int fd =
            ::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST) continue;
        struct stat st {};
        if (fd >= 0 && ::lstat(dest.c_str(), &st) == 0) {
            // Left by a program that wrote no info file: not replaced.
            ::close(fd);
            ::unlink(infoFile.c_str());
            continue;
        }
        std::string text =
            "[Trash Info]\nPath=" + Escaped(infoPath) + "\nDeletionDate=" + Now() + "\n";
        ssize_t w = fd >= 0 ? ::write(fd, text.data(), text.size()) : -1;
        int err = w < 0 ? errno : EIO;
        bool written = w == static_cast<ssize_t>(text.size());
        if (fd >= 0 && ::close(fd) != 0 && written) {
            written = false;
            err = errno;
        }
        if (!written) {
            if (fd >= 0) ::unlink(infoFile.c_str());
            *why = infoFile + ": " + Reason(err);
            return Outcome::NoTrash;
        }
        if (::rename(file.c_str(), dest.c_str()) == 0) return Outcome::Moved;
        err = errno;
        ::unlink(infoFile.c_str());
        *why = Reason(err);
        errno = err;
        return err == EXDEV ? Outcome::NoTrash : Outcome::Failed;
    }
    *why = info + ": every name of " + base + " is taken";
    return Outcome::NoTrash;
}

// The home trash: $XDG_DATA_HOME/Trash, ~/.local/share/Trash when that is
// not set to an absolute path; "" without a home.
std::string HomeTrash() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return JoinPath(data, "Trash");
    const char* home = std::getenv("HOME");
    return home && home[0] == '/' ? JoinPath(home, ".local/share/Trash") : "";
}
}  // namespace

bool MoveToTrash(const std::string& path, std::string* why) {
    std::string file, reason;
    struct stat st {};
    if (!ResolvePath(path, &file)) {
        errno = ENOENT;
        return false;
    }
    if (::lstat(file.c_str(), &st) != 0) return false;
    // The file by its real directory, where the mount point is found.
    std::size_t slash = file.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : file.substr(0, slash);
    char* real = ::realpath(dir.empty() ? "/" : dir.c_str(), nullptr);
    if (!real) return false;
    std::string full = JoinPath(real, file.substr(slash + 1));
    std::string top = real;
    std::free(real);

    std::string home = HomeTrash();
    dev_t homeDev;
    std::vector<std::pair<std::string, std::string>> trashes;  // trash, Path of the info file
    if (!home.empty() && DeviceOf(home, &homeDev) && homeDev == st.st_dev) {
        MakeDirPath(home.substr(0, home.find_last_of('/')), 0700);  // a failure is told below
        trashes.emplace_back(home, full);
    } else {
        // The mount point: the last directory up the path on the file's device.
        while (top != "/") {
            std::size_t up = top.find_last_of('/');
            std::string parent = up == 0 ? "/" : top.substr(0, up);
            struct stat p {};
            if (::stat(parent.c_str(), &p) != 0 || p.st_dev != st.st_dev) break;
            top = parent;
        }
        std::string relative = full.substr(top == "/" ? 1 : top.size() + 1);
        std::string uid = std::to_string(::geteuid()), shared = JoinPath(top, ".Trash");
        // A shared .Trash only when the administrator made it as it must be.
        struct stat s {};
        if (::lstat(shared.c_str(), &s) == 0 && S_ISDIR(s.st_mode) && (s.st_mode & S_ISVTX))
            trashes.emplace_back(shared + "/" + uid, relative);
        trashes.emplace_back(JoinPath(top, ".Trash-" + uid), relative);
    }
    for (const auto& [trash, infoPath] : trashes) {
        Outcome done = Into(trash, file, infoPath, &reason);
        if (done == Outcome::Moved) return true;
        if (done == Outcome::Failed) {
            int err = errno;
            if (why) *why = file + ": " + reason;
            errno = err;
            return false;
        }
    }
    if (why) *why = "No trash on the file system of " + file + " (" + reason + ")";
    errno = EXDEV;
    return false;
}
