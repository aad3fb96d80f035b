// The tree search for a file name: a breadth-first walk, one depth at a time,
// each depth's directories shared among a few threads. All matches of a depth
// are gathered before the next depth is opened, so the shallowest match wins
// and, among those, the first in path order, whatever the threads' timing.
#include "platform/posix/treesearch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <system_error>
#include <thread>

#include "platform/files.h"

namespace {

// A depth with fewer directories than this is read by the calling thread
// alone: starting threads would cost more than they save.
constexpr std::size_t kParallelMin = 16;

// The entry buffer of each thread, in 8-byte words (32 KiB).
constexpr std::size_t kBufferWords = 4096;

struct DirId {
    dev_t dev;
    ino_t ino;
};

struct Walk {
    std::string name;  // the name looked for, folded to lower case
    std::vector<DirId> skipped;
};

// What one thread found in its share of a depth.
struct Share {
    std::vector<std::string> subdirs;  // the next depth's directories
    std::vector<std::string> matches;
    std::vector<std::uint64_t> buffer;  // directory entries being read (8-byte aligned)
};

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool NameMatches(const char* entry, const std::string& folded) {
    std::size_t i = 0;
    for (; entry[i] != 0; ++i)
        if (i >= folded.size() || Lower(entry[i]) != folded[i]) return false;
    return i == folded.size();
}

bool IsDotOrDotDot(const char* n) {
    return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0));
}

// Whether the directory entry name of the directory fd is one of the skipped
// directories. Only entries whose names are a skipped directory's last
// component are looked at, so the walk pays nothing for the check elsewhere.
bool IsSkipped(const Walk& walk, const std::vector<std::string>& skipNames, int fd,
               const char* name) {
    if (std::find(skipNames.begin(), skipNames.end(), name) == skipNames.end()) return false;
    struct stat st;
    if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return true;  // gone: nothing to read
    for (const DirId& id : walk.skipped)
        if (id.dev == st.st_dev && id.ino == st.st_ino) return true;
    return false;
}

// Reads one directory: matching files go to matches, subdirectories (not
// symbolic links to them) to subdirs unless wantSubdirs is false. The entries
// are read with getdents64 into the thread's buffer: no DIR stream, so no
// allocation and none of the extra calls fdopendir makes for each directory.
void ReadDirectory(const Walk& walk, const std::vector<std::string>& skipNames,
                   const std::string& path, bool isRoot, bool wantSubdirs, Share* out) {
    // The root may be a symbolic link (a library folder often is); nothing
    // below it is followed.
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (isRoot ? 0 : O_NOFOLLOW);
    int fd = ::openat(AT_FDCWD, path.c_str(), flags);
    if (fd < 0) return;  // unreadable or replaced meanwhile: skipped
    if (out->buffer.empty()) out->buffer.resize(kBufferWords);
    char* buf = reinterpret_cast<char*>(out->buffer.data());
    for (;;) {
        ssize_t got = ::getdents64(fd, buf, out->buffer.size() * sizeof(out->buffer[0]));
        if (got <= 0) break;  // the end, or an error: what was read stands
        for (ssize_t off = 0; off < got;) {
            const auto* e = reinterpret_cast<const dirent64*>(buf + off);
            off += e->d_reclen;
            const char* n = e->d_name;
            if (IsDotOrDotDot(n)) continue;
            unsigned char type = e->d_type;
            struct stat st;
            if (type == DT_UNKNOWN) {
                if (::fstatat(fd, n, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
                if (S_ISDIR(st.st_mode))
                    type = DT_DIR;
                else if (S_ISREG(st.st_mode))
                    type = DT_REG;
                else if (S_ISLNK(st.st_mode))
                    type = DT_LNK;
                else
                    continue;
            }
            if (type == DT_DIR) {
                if (wantSubdirs && !IsSkipped(walk, skipNames, fd, n))
                    out->subdirs.push_back(JoinPath(path, n));
            } else if (type == DT_REG) {
                if (NameMatches(n, walk.name)) out->matches.push_back(JoinPath(path, n));
            } else if (type == DT_LNK) {
                // A link to a file counts as that file; a link to a directory
                // is neither a match nor entered.
                if (NameMatches(n, walk.name) && ::fstatat(fd, n, &st, 0) == 0 &&
                    S_ISREG(st.st_mode))
                    out->matches.push_back(JoinPath(path, n));
            }
        }
    }
    ::close(fd);
}

// Path order: component by component in listing order. All paths compared
// here start with the same root and have the same number of components.
bool PathLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        std::size_t ea = a.find('/', i), eb = b.find('/', j);
        if (ea == std::string::npos) ea = a.size();
        if (eb == std::string::npos) eb = b.size();
        std::string ca = a.substr(i, ea - i), cb = b.substr(j, eb - j);
        if (ca != cb) return ListingLess(ca, cb);
        i = ea + 1;
        j = eb + 1;
    }
    return a.size() - std::min(i, a.size()) < b.size() - std::min(j, b.size());
}

unsigned WorkerCount() {
    unsigned n = std::thread::hardware_concurrency();
    return std::clamp(n, 2u, 4u);
}

}  // namespace

namespace treesearch {

const std::vector<std::string>& PseudoFileSystems() {
    static const std::vector<std::string> dirs = {"/proc", "/sys", "/dev", "/run"};
    return dirs;
}

bool Search(const std::string& root, const std::string& name,
            const std::vector<std::string>& skipped, std::string* found) {
    if (root.empty() || name.empty()) return false;
    Walk walk;
    walk.name = FoldCase(name);
    std::vector<std::string> skipNames;
    for (const std::string& dir : skipped) {
        struct stat st;
        if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        walk.skipped.push_back({st.st_dev, st.st_ino});
        std::string last = dir;
        while (last.size() > 1 && last.back() == '/') last.pop_back();
        skipNames.push_back(last.substr(last.rfind('/') + 1));
    }

    const unsigned workers = WorkerCount();
    std::vector<std::string> level = {root};
    for (bool isRoot = true; !level.empty(); isRoot = false) {
        std::vector<Share> shares(workers);
        std::atomic<std::size_t> next{0};
        std::atomic<bool> matched{false};
        auto work = [&](Share* share) {
            for (;;) {
                std::size_t i = next.fetch_add(1, std::memory_order_relaxed);
                if (i >= level.size()) break;
                // Once this depth has a match, the next depth is never read.
                bool wantSubdirs = !matched.load(std::memory_order_relaxed);
                ReadDirectory(walk, skipNames, level[i], isRoot, wantSubdirs, share);
                if (!share->matches.empty()) matched.store(true, std::memory_order_relaxed);
            }
        };
        {
            std::vector<std::jthread> threads;
            if (level.size() >= kParallelMin) {
                try {
                    for (unsigned t = 1; t < workers; ++t) threads.emplace_back(work, &shares[t]);
                } catch (const std::system_error&) {
                    // Fewer threads: the calling thread takes the rest.
                }
            }
            work(&shares[0]);
        }  // joined here: every share is complete

        const std::string* best = nullptr;
        for (const Share& s : shares)
            for (const std::string& m : s.matches)
                if (!best || PathLess(m, *best)) best = &m;
        if (best) {
            *found = *best;
            return true;
        }

        std::size_t total = 0;
        for (const Share& s : shares) total += s.subdirs.size();
        std::vector<std::string> nextLevel;
        nextLevel.reserve(total);
        for (Share& s : shares)
            for (std::string& d : s.subdirs) nextLevel.push_back(std::move(d));
        level = std::move(nextLevel);
    }
    return false;
}

}  // namespace treesearch

bool SearchTreeForFile(const std::string& root, const std::string& name, std::string* found) {
    return treesearch::Search(root, name, treesearch::PseudoFileSystems(), found);
}
