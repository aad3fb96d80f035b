#include "platform/paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>

#include "platform/common/roots.h"
#include "platform/files.h"

namespace {
std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string Home() {
    return Env("HOME");
}

// dir under NODESCAN_HOME when set, else under the XDG variable or its default.
std::string PerUserDir(const char* homeSub, const char* xdgVar, const char* xdgDefault,
                       const char* xdgSub) {
    std::string home = Env("NODESCAN_HOME");
    if (!home.empty()) return JoinPath(home, homeSub);
    std::string base = Env(xdgVar);
    if (base.empty()) base = JoinPath(Home(), xdgDefault);
    return JoinPath(base, xdgSub);
}

void AddUnique(std::vector<std::string>& roots, const std::string& dir) {
    if (dir.empty() || !IsDirectory(dir)) return;
    if (std::find(roots.begin(), roots.end(), dir) == roots.end()) roots.push_back(dir);
}

// The "path" entries of a Steam libraryfolders.vdf.
void AddSteamLibraries(std::vector<std::string>& roots, const std::string& steamapps) {
    std::ifstream in(JoinPath(steamapps, "libraryfolders.vdf"));
    if (!in) return;
    static const std::regex pathLine("^\\s*\"path\"\\s*\"([^\"]*)\"");
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_search(line, m, pathLine)) AddUnique(roots, JoinPath(m[1], "steamapps"));
    }
}

// A root given relative to the current directory, made absolute: the game
// directory found below it is stored and must mean the same place later.
std::string Absolute(const std::string& root) {
    if (root[0] == '/') return root;
    if (char* real = realpath(root.c_str(), nullptr)) {
        std::string abs = real;
        std::free(real);
        return abs;
    }
    char cwd[4096];
    return getcwd(cwd, sizeof cwd) ? JoinPath(cwd, root) : root;
}

void AddChildren(std::vector<std::string>& roots, const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
    }
    SortListing(&names);
    for (const auto& n : names) AddUnique(roots, JoinPath(dir, n));
}
}  // namespace

std::string ConfigDir() {
    return PerUserDir("config", "XDG_CONFIG_HOME", ".config", "nodescan");
}

std::string TempDirPath() {
    return PerUserDir("temp", "XDG_CACHE_HOME", ".cache", "nodescan/temp");
}

std::string DataDir() {
    return PerUserDir("data", "XDG_DATA_HOME", ".local/share", "nodescan");
}

std::vector<std::string> SearchRoots() {
    std::vector<std::string> roots;
    if (const char* list = std::getenv("NODESCAN_SEARCH_ROOTS"))
        return ListedRoots(list, ':', Absolute);
    std::string home = Home();
    for (const char* steam : {".steam/steam/steamapps", ".local/share/Steam/steamapps",
                              ".var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps"}) {
        std::string dir = JoinPath(home, steam);
        AddUnique(roots, dir);
        AddSteamLibraries(roots, dir);
    }
    AddUnique(roots, home);
    AddChildren(roots, "/mnt");
    AddChildren(roots, "/media");
    if (!Env("USER").empty()) AddChildren(roots, "/run/media/" + Env("USER"));
    AddUnique(roots, "/");
    return roots;
}
