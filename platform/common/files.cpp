#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string_view>
#include <system_error>

#include "platform/common/listing.h"

namespace {
char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The name up to its first dot and from its last dot, folded.
std::string StemKey(const std::string& name) {
    std::size_t first = name.find('.');
    if (first == std::string::npos) return FoldCase(name);
    return FoldCase(name.substr(0, first) + name.substr(name.rfind('.')));
}

bool HasSuffixIgnoreCase(const std::string& name, const std::string& suffix) {
    if (name.size() < suffix.size()) return false;
    return EqualIgnoreCase(name.substr(name.size() - suffix.size()), suffix);
}
}  // namespace

std::string JoinPath(const std::string& dir, const std::string& name) {
    bool slash = !dir.empty() && dir.back() != '/';
    std::string path;
    path.reserve(dir.size() + slash + name.size());
    path.append(dir);
    if (slash) path += '/';
    return path.append(name);
}

std::string NormalPath(const std::string& path) {
    if (path.empty()) return path;
    bool absolute = path[0] == '/';
    std::vector<std::string> parts;
    for (std::size_t pos = 0; pos <= path.size();) {
        std::size_t end = std::min(path.find('/', pos), path.size());
        std::string comp = path.substr(pos, end - pos);
        pos = end + 1;
        if (comp.empty() || comp == ".") continue;
        if (comp == ".." && !parts.empty() && parts.back() != "..") {
            parts.pop_back();
        } else if (comp != ".." || !absolute) {
            parts.push_back(comp);
        }
    }
    std::string out = absolute ? "/" : "";
    for (const std::string& part : parts) out += (out.empty() || out == "/" ? "" : "/") + part;
    if (out.empty()) out.push_back('.');  // (not = ".": GCC 12 warns wrongly of overlap)
    if (path.back() == '/' && out.back() != '/') out += '/';
    return out;
}

bool ListingLess(const std::string& a, const std::string& b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(Upper(a[i]));
        auto cb = static_cast<unsigned char>(Upper(b[i]));
        if (ca != cb) return ca < cb;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

void SortListing(std::vector<std::string>* names) {
    // Each name's upper-case form is made once, all of them in one buffer,
    // and an index is sorted on them: (upper, name) in ListingLess order.
    std::vector<std::string>& v = *names;
    std::string keys;
    std::vector<std::uint32_t> start(v.size() + 1, 0);
    for (std::size_t i = 0; i < v.size(); ++i) {
        for (char c : v[i]) keys += Upper(c);
        start[i + 1] = static_cast<std::uint32_t>(keys.size());
    }
    auto key = [&](std::uint32_t i) {
        return std::string_view(keys).substr(start[i], start[i + 1] - start[i]);
    };
    std::vector<std::uint32_t> order(v.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        int c = key(a).compare(key(b));
        return c != 0 ? c < 0 : v[a] < v[b];
    });
    // Puts each name in its place, following the permutation's cycles.
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order[i] == i) continue;
        std::string held = std::move(v[i]);
        std::size_t at = i;
        while (order[at] != i) {
            std::size_t from = order[at];
            v[at] = std::move(v[from]);
            order[at] = static_cast<std::uint32_t>(at);
            at = from;
        }
        v[at] = std::move(held);
        order[at] = static_cast<std::uint32_t>(at);
    }
}

std::string FoldCase(std::string s) {
    for (char& c : s) c = Lower(c);
    return s;
}

bool EqualIgnoreCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool ReadTextLine(std::FILE* f, char* buf, int size) {
    if (size <= 0) return false;
    int n = 0;
    while (n < size - 1) {
        int c = std::getc(f);
        if (c == EOF) break;
        if (c == '\r') {
            int next = std::getc(f);
            if (next == '\n') {
                c = '\n';
            } else if (next != EOF) {
                std::ungetc(next, f);
            }
        }
        buf[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buf[n] = 0;
    return n > 0;
}

bool ResolvePath(const std::string& path, std::string* actual) {
    std::string resolved;
    // An empty path is never taken for the current directory.
    if (path.empty() || !ResolveComponents(path, &resolved)) return false;
    *actual = resolved;
    return true;
}

std::string ResolveExisting(const std::string& path) {
    std::string resolved;
    if (!path.empty()) ResolveComponents(path, &resolved);
    return resolved;
}

bool PathExists(const std::string& path) {
    std::string actual;
    return !path.empty() && ResolvePath(path, &actual);
}

bool ListDirectory(const std::string& dir, const std::string& mask, std::vector<std::string>* out) {
    out->clear();
    std::string actual;
    std::vector<std::string> names;
    if (!ResolvePath(dir, &actual)) {
        errno = ENOENT;  // some component matches nothing
        return false;
    }
    if (!ReadNames(actual, &names)) return false;
    // "*.ext": every name ending in ".ext"; "*" alone: every name.
    std::string suffix = mask.size() > 1 && mask[0] == '*' ? mask.substr(1) : mask;
    if (mask != "*")
        std::erase_if(names, [&](const std::string& n) { return !HasSuffixIgnoreCase(n, suffix); });
    SortListing(&names);
    out->swap(names);
    return true;
}

DirectoryIndex::DirectoryIndex(const std::string& dir) : dir_(dir) {
    std::string actual;
    std::vector<std::string> names;
    if (!ResolvePath(dir, &actual)) {
        error_ = ENOENT;  // some component matches nothing
        return;
    }
    if (!ReadNames(actual, &names)) {
        error_ = errno;
        return;
    }
    dir_ = actual;
    folded_.reserve(names.size());
    for (const auto& n : names) folded_.push_back(FoldCase(n));
    std::sort(folded_.begin(), folded_.end());
}

bool DirectoryIndex::Contains(const std::string& name) const {
    return std::binary_search(folded_.begin(), folded_.end(), FoldCase(name));
}

bool DirectoryIndex::ContainsStem(const std::string& name) const {
    // Made at the first question: only the redundant-waypoint check asks.
    if (!stemsMade_) {
        stems_.reserve(folded_.size());
        for (const auto& n : folded_) stems_.push_back(StemKey(n));
        std::sort(stems_.begin(), stems_.end());
        stemsMade_ = true;
    }
    return std::binary_search(stems_.begin(), stems_.end(), StemKey(name));
}

AtomicFile::AtomicFile(const std::string& path, unsigned newMode, bool durable,
                       const std::string& modeOf)
    : durable_(durable) {
    target_ = WriteTarget(path, &refused_);
    if (target_.empty()) {
        error_ = refused_.empty() ? ELOOP : EPERM;
        return;
    }
    if (!Open(newMode, modeOf) && error_ == 0) error_ = errno;
}

std::string AtomicFile::reason() const {
    if (!refused_.empty()) return refused_;
    return error_ ? std::generic_category().message(error_) : "";
}

bool AtomicFile::Write(const char* data, std::size_t n) {
    if (inPlace_ && error_ == 0) pending_.append(data, n);
    while (!inPlace_ && error_ == 0 && n > 0) {
        long w = WriteSome(fd_, data, n);
        if (w <= 0) {
            error_ = w < 0 ? errno : EIO;
        } else {
            data += w;
            n -= static_cast<std::size_t>(w);
        }
    }
    return error_ == 0;
}

bool WriteFileAtomic(const std::string& path, const std::string& data, unsigned newMode,
                     std::string* why) {
    AtomicFile file(path, newMode);
    file.Write(data.data(), data.size());
    bool ok = file.Commit();
    if (!ok && why) *why = file.reason();
    if (!ok) errno = file.error();
    return ok;
}

bool KeepPreviousVersion(const std::string& path, const std::string& data,
                         const std::string& backup, bool* kept, std::string* why) {
    *kept = false;
    // Nothing to keep: no file, none the write could replace, or one it will
    // refuse to write through.
    std::string target = WriteTarget(path);
    if (target.empty()) return true;
    std::string old;
    bool regular;
    int err = ReadRegularFile(target, &old, &regular);
    if (!regular) {
        if (err == 0) return true;
        // A file that would be replaced unread.
        *why =
            "the previous version could not be read (" + std::generic_category().message(err) + ")";
        return false;
    }
    if (err == 0 && old == data) return true;
    AtomicFile file(backup, 0666, true, target);
    if (err == 0) file.Write(old.data(), old.size());
    *kept = err == 0 && file.Commit();
    if (!*kept)
        *why = "the previous version could not be kept as " + backup + " (" +
               (err ? std::generic_category().message(err) : file.reason()) + ")";
    return *kept;
}

std::string LowerHex(const unsigned char* bytes, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 15];
    }
    return hex;
}

std::string TempNameBeside(const std::string& target) {
    thread_local std::mt19937_64 random{std::random_device{}()};
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".tmp-%06llx",
                  static_cast<unsigned long long>(random() & 0xFFFFFF));
    return target + suffix;
}
