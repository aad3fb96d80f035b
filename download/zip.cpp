#include "download/zip.h"

#include <zlib.h>
#include <zzip/zzip.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "bots/bots.h"
#include "core/state.h"
#include "core/status.h"
#include "download/http.h"
#include "platform/common/zipdir.h"
#include "platform/files.h"
#include "platform/shell.h"

namespace {
std::mutex installedMutex;
std::vector<std::string> installed;

void Installed(const std::string& path) {
    std::lock_guard lock(installedMutex);
    installed.push_back(path);
}

struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
    void operator()(ZZIP_DIR* d) const { zzip_dir_close(d); }
};
using File = std::unique_ptr<std::FILE, Closer>;

// At most n bytes from the start of the regular file at path ("" when it
// cannot be read).
std::string Head(const std::string& path, std::size_t n) {
    File f(OpenFile(path, "rb"));
    std::string head(f ? n : 0, '\0');
    if (f) head.resize(std::fread(head.data(), 1, n, f.get()));
    return head;
}

std::string BaseName(const std::string& name) {
    return name.substr(0, name.rfind('.'));
}

std::string Extension(const std::string& name) {
    std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? "" : name.substr(dot + 1);
}

// What one archive may write: a waypoint is small, and an archive that
// unpacks to more would only fill the disk. The read-me is only shown.
constexpr std::uint64_t kLargestOutput = 64ull << 20;
constexpr std::uint64_t kLargestReadme = 1ull << 20;

std::string Megabytes(std::uint64_t bytes) {
    return std::to_string(bytes >> 20) + " MB";
}

// Copies the bare download to dest.
bool InstallFile(const std::string& from, const std::string& dest) {
    AtomicFile out(dest);
    if (out.CopyFrom(from, 0) && out.Commit()) {
        Installed(dest);
        return true;
    }
    sout("Cannot install " + dest + ": " + out.reason());
    return false;
}

// The first entry whose name without its folder part is name, ignoring case.
const ZipEntry* Find(const std::vector<ZipEntry>& entries, const std::string& name) {
    for (const ZipEntry& e : entries) {
        std::size_t cut = e.name.find_last_of("/\\");
        std::string leaf = cut == std::string::npos ? e.name : e.name.substr(cut + 1);
        // zziplib knows a name only up to a NUL byte.
        if (e.name.find('\0') == std::string::npos && EqualIgnoreCase(leaf, name)) return &e;
    }
    return nullptr;
}

// Why the entry cannot be installed ("" when it can): it must be neither
// encrypted nor of a method zziplib lacks, its local header must agree with
// its record, its data must lie within the archive, and it must hold 1 to
// limit bytes.
std::string Fault(std::FILE* f, const ZipDirectory& dir, const ZipEntry& e, std::uint64_t limit) {
    ZipLocalHeader h{};
    bool header = ReadZipLocalHeader(f, dir, e, &h);
    if ((e.flags & 1) || (header && (h.flags & 1))) return "is encrypted";
    if (e.method != 0 && e.method != 8)
        return "cannot be unpacked (compression method " + std::to_string(e.method) +
               " is not supported)";
    // With flag 3 the local CRC-32 and sizes may be 0: they follow the data.
    bool after = header && (h.flags & 8);
    auto agrees = [&](std::uint32_t local, std::uint32_t recorded) {
        return local == recorded || (after && local == 0);
    };
    if (!header || h.method != e.method || !agrees(h.crc, e.crc) || !agrees(h.csize, e.csize) ||
        !agrees(h.usize, e.usize))
        return "is damaged (its local header does not match the directory)";
    if (h.data + e.csize > dir.size) return "is damaged (its data lie outside the archive)";
    if (e.method == 0 && e.csize != e.usize) return "is damaged (its recorded sizes differ)";
    if (e.usize == 0) return "is empty";
    if (e.usize > limit)
        return "unpacks to " + std::to_string(e.usize) + " bytes, more than " + Megabytes(limit);
    return "";
}

std::string Refused(const std::string& target, const std::string& why) {
    return "The archive's entry " + target + " " + why + ": not installed";
}

// Unpacks the entry with zziplib into write; "" when it gave exactly its
// recorded size and CRC-32, else why not.
std::string Unpack(ZZIP_DIR* dir, const ZipEntry& e,
                   const std::function<void(const char*, std::size_t)>& write) {
    ZZIP_FILE* file = zzip_file_open(dir, e.name.c_str(), 0);
    if (!file) return std::string("cannot be read (") + zzip_strerror_of(dir) + ")";
    std::vector<char> buf(1 << 16);
    std::uint64_t total = 0;
    uLong crc = crc32(0, nullptr, 0);
    zzip_ssize_t n = 0;
    // Nothing past the recorded size is read, whatever the data hold.
    while (total <= e.usize && (n = zzip_file_read(file, buf.data(), buf.size())) > 0) {
        write(buf.data(), static_cast<std::size_t>(n));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buf.data()), static_cast<uInt>(n));
        total += static_cast<std::uint64_t>(n);
    }
    zzip_file_close(file);
    if (n < 0 || total != e.usize)
        return "is damaged (it unpacks to " + std::to_string(total) + " of its " +
               std::to_string(e.usize) + " bytes)";
    if (crc != e.crc) return "is damaged (its CRC-32 does not match)";
    return "";
}

// Writes the entry to dest; false after a status line saying why not.
bool InstallEntry(ZZIP_DIR* dir, const ZipEntry& e, const std::string& target,
                  const std::string& dest) {
    AtomicFile out(dest);
    std::string why = Unpack(dir, e, [&out](const char* p, std::size_t n) { out.Write(p, n); });
    if (!why.empty()) {
        sout(Refused(target, why));
        return false;
    }
    if (!out.Commit()) {
        sout("Cannot write " + dest + ": " + out.reason());
        return false;
    }
    Installed(dest);
    return true;
}

// Installs the archive's readme.txt and shows it. It replaces no file: beside
// a different readme.txt it goes in as <map>.readme.txt, and a file of the
// same content is only shown.
void InstallReadme(ZZIP_DIR* dir, const ZipEntry& e, const std::string& wptDir,
                   const std::string& map) {
    std::string text;
    std::string why = Unpack(dir, e, [&text](const char* p, std::size_t n) { text.append(p, n); });
    if (!why.empty()) return sout(Refused("readme.txt", why));
    for (const std::string& name : {std::string("readme.txt"), map + ".readme.txt"}) {
        std::string path = JoinPath(wptDir, name), existing;
        if (ResolvePath(path, &existing)) {
            if (Head(existing, kLargestReadme + 1) != text) continue;
            ShellOpen(md, existing);
            return;
        }
        if (!WriteFileAtomic(path, text, 0666, &why))
            return sout("Cannot write " + path + ": " + why);
        Installed(path);
        if (name != "readme.txt")
            sout("The waypoint directory has another readme.txt: this one is installed as " + name);
        ShellOpen(md, path);
        return;
    }
    sout("The waypoint directory has another readme.txt and " + map +
         ".readme.txt: the archive's readme.txt is not installed");
}
}  // namespace

std::vector<std::string> InstalledFiles() {
    std::lock_guard lock(installedMutex);
    return installed;
}

bool ExtractFiles(const std::string& remote, const std::string& local, int bot, bool successBox) {
    {
        std::lock_guard lock(installedMutex);
        installed.clear();
    }
    std::string path = SavedPath(remote);
    std::string wptDir = GetBotWaypointDir(bot);
    std::string map = BaseName(local);
    std::string waypoint = map + "." + GetBotExt(bot);
    // A local entry, or the end record of an empty archive.
    std::string sig = Head(path, 4);
    bool zip = sig == "PK\x03\x04" || sig == "PK\x05\x06";
    if (!zip && EqualIgnoreCase(Extension(remote), "zip")) {
        sout(remote + " is no ZIP archive: nothing was installed");
        return false;
    }
    if (!zip) {
        std::string dest = JoinPath(wptDir, waypoint);
        if (sig.empty()) {
            // An empty waypoint would replace a good one with nothing.
            sout(remote + " is empty: nothing was installed");
            return false;
        }
        if (!InstallFile(path, dest)) return false;
        if (successBox)
            ProgressBox(md, "Success!\n\nWaypoint copied to your Waypoint Directory", dest,
                        MB_OK | MB_ICONINFORMATION);
        return true;
    }
    zzip_error_t err = ZZIP_NO_ERROR;
    std::unique_ptr<ZZIP_DIR, Closer> dir(zzip_dir_open(path.c_str(), &err));
    if (!dir) {
        sout("Cannot open the archive " + path + ": " + zzip_strerror(err));
        return false;
    }
    // zziplib unpacks; the archive's own records, read here, are what it
    // yields is checked against (zziplib checks neither the CRC-32 nor the
    // local header).
    File file(OpenFile(path, "rb"));
    ZipDirectory records;
    if (!file || ReadZipDirectory(file.get(), &records) != ZipFault::kNone) {
        sout("Cannot open the archive " + path + ": its directory cannot be read");
        return false;
    }

    // Every entry to be installed is checked before anything is written, and
    // together they stay within kLargestOutput.
    struct Part {
        std::string target;
        const ZipEntry* entry;
        std::string fault;
    } parts[] = {{waypoint, nullptr, ""},
                 {bot == kPodBot ? map + ".pxp" : "", nullptr, ""},
                 {"readme.txt", nullptr, ""}};
    std::uint64_t total = 0;
    for (Part& p : parts) {
        if (p.target.empty() || !(p.entry = Find(records.entries, p.target))) continue;
        p.fault =
            Fault(file.get(), records, *p.entry, &p == &parts[2] ? kLargestReadme : kLargestOutput);
        if (p.fault.empty()) total += p.entry->usize;
    }
    // Whether the part can be installed, after a status line when not.
    auto ready = [](const Part& p, const char* missing) {
        if (!p.entry && *missing) sout(missing);
        if (p.entry && !p.fault.empty()) sout(Refused(p.target, p.fault));
        return p.entry && p.fault.empty();
    };
    bool ok = ready(parts[0], "");
    if (ok && total > kLargestOutput) {
        sout("The archive's entries unpack to " + std::to_string(total) +
             " bytes together, more than " + Megabytes(kLargestOutput) + ": not installed");
        ok = false;
    }
    if (!ok || !InstallEntry(dir.get(), *parts[0].entry, waypoint, JoinPath(wptDir, waypoint))) {
        sout("Error Extracting waypoint from ZIP");
        return false;
    }
    if (bot == kPodBot && ready(parts[1], "No PXP file found in ZIP"))
        InstallEntry(dir.get(), *parts[1].entry, parts[1].target,
                     JoinPath(wptDir, parts[1].target));
    if (ready(parts[2], "No readme.txt in ZIP"))
        InstallReadme(dir.get(), *parts[2].entry, wptDir, map);
    return true;
}
