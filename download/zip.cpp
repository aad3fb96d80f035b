#include "download/zip.h"

#include <zzip/zzip.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "app/nodescan.h"
#include "app/state.h"
#include "bots/bots.h"
#include "download/http.h"
#include "platform/files.h"
#include "platform/shell.h"

namespace {
std::mutex installedMutex;
std::vector<std::string> installed;

void Installed(const std::string& path) {
    std::lock_guard lock(installedMutex);
    installed.push_back(path);
}

// Whether the file begins as a ZIP archive does (a local entry, or the end
// record of an empty archive).
bool IsZipArchive(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char sig[4] = {};
    bool zip = std::fread(sig, 1, 4, f) == 4 &&
               (std::memcmp(sig, "PK\x03\x04", 4) == 0 || std::memcmp(sig, "PK\x05\x06", 4) == 0);
    std::fclose(f);
    return zip;
}

std::string BaseName(const std::string& name) {
    return name.substr(0, name.rfind('.'));
}

std::string Extension(const std::string& name) {
    std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? "" : name.substr(dot + 1);
}

constexpr long long kLargestEntry = 64ll << 20;

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
}  // namespace

int Extract(zzip_dir* archive, const std::string& name, const std::string& directory) {
    ZZIP_FILE* entry = zzip_file_open(archive, name.c_str(), 0);
    if (!entry) return 0;
    ZZIP_STAT st{};
    zzip_dir_stat(archive, name.c_str(), &st, 0);
    if (st.st_size > kLargestEntry) {
        // A waypoint is small; an archive that unpacks to this much would
        // only fill the disk.
        zzip_file_close(entry);
        sout("The archive's entry " + name + " unpacks to " + std::to_string(st.st_size) +
             " bytes: not installed");
        return -1;
    }
    std::string dest = JoinPath(directory, name);
    AtomicFile out(dest);
    std::vector<char> buf(1 << 16);
    long long total = 0;
    zzip_ssize_t n = 0;
    while (total <= st.st_size && (n = zzip_file_read(entry, buf.data(), buf.size())) > 0) {
        out.Write(buf.data(), static_cast<std::size_t>(n));
        total += n;
    }
    zzip_file_close(entry);
    if (n < 0 || total != static_cast<long long>(st.st_size)) {
        sout("The archive's entry " + name + " could not be read whole (" + std::to_string(total) +
             " of " + std::to_string(st.st_size) + " bytes)");
        return -1;
    }
    if (total == 0) return 1;  // an empty entry creates no file
    if (!out.Commit()) {
        sout("Cannot write " + dest + ": " + out.reason());
        return -1;
    }
    Installed(dest);
    return 1;
}

std::vector<std::string> InstalledFiles() {
    std::lock_guard lock(installedMutex);
    return installed;
}

bool ExtractFiles(const std::string& remote, const std::string& local) {
    {
        std::lock_guard lock(installedMutex);
        installed.clear();
    }
    std::string path = SavedPath(remote);
    int bot = static_cast<int>(sbot.load());
    std::string wptDir = GetBotWaypointDir(bot);
    std::string waypoint = BaseName(local) + "." + GetBotExt(bot);
    bool zip = IsZipArchive(path);
    if (!zip && EqualIgnoreCase(Extension(remote), "zip")) {
        sout(remote + " is no ZIP archive: nothing was installed");
        return false;
    }
    if (!zip) {
        std::string dest = JoinPath(wptDir, waypoint);
        if (!InstallFile(path, dest)) return false;
        MessageBox(md, "Success!\n\nWaypoint copied to your Waypoint Directory", dest,
                   MB_OK | MB_ICONINFORMATION);
        return true;
    }
    zzip_error_t err = ZZIP_NO_ERROR;
    ZZIP_DIR* archive = zzip_dir_open(path.c_str(), &err);
    if (!archive) {
        sout("Cannot open the archive " + path + ": " + zzip_strerror(err));
        return false;
    }
    if (Extract(archive, waypoint, wptDir) != 1) {
        sout("Error Extracting waypoint from ZIP");
        zzip_dir_close(archive);
        return false;
    }
    if (bot == kPodBot && Extract(archive, BaseName(local) + ".pxp", wptDir) == 0)
        sout("No PXP file found in ZIP");
    int readme = Extract(archive, "readme.txt", wptDir);
    std::string readmePath = JoinPath(wptDir, "readme.txt");
    if (readme == 1 && PathExists(readmePath)) {
        ShellOpen(md, readmePath);
    } else if (readme == 0) {
        sout("No readme.txt in ZIP");
    }
    zzip_dir_close(archive);
    return true;
}
