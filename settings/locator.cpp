#include "settings/locator.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "core/state.h"
#include "core/status.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/threads.h"

std::atomic<int> research{0};

namespace {
// The cached blocks. A new lookup replaces the pointer; blocks handed out
// before stay valid for whoever holds them.
std::atomic<char*> cdirCache{nullptr};
std::atomic<char*> mdirCache{nullptr};

std::mutex overrideMutex;
std::string gameOverride;
std::string mapOverride;
std::atomic<bool> storedOnly{false};

// Directory values are read whole: a path may hold 4095 bytes.
constexpr std::size_t kDirValueLimit = 4095;

// A fresh block holding text; ends the program when memory runs out.
char* BlockOf(const std::string& text) {
    char* block = AllocBlock(std::max(kPathSize, text.size() + 1));
    if (!block) {
        MessageBox(kNoWindow, "Error Allocating Memory!", "Error!", MB_OK);
        ExitProcess(555);
    }
    std::memcpy(block, text.data(), text.size());
    return block;
}

// The directories given for this run ("" for one that was not given).
void Overrides(std::string* game, std::string* map) {
    std::lock_guard lock(overrideMutex);
    *game = gameOverride;
    *map = mapOverride;
}

// What moves along with the game installation (start-up sets it).
std::atomic<void (*)(const std::string&, const std::string&)> gameMoved{nullptr};
}  // namespace

const char* GetCdir() {
    char* cached = cdirCache.load();
    if (!cached || research == 1) {
        std::string dir;
        if (!GetCStrikeDirectory(&dir)) {
            MessageBox(md,
                       // "occured": kept as the original program spells it.
                       "A serious error occured while trying to find Counter-Strike!\nPlease "
                       "verify Counter-Strike installation",
                       "Error!", MB_OK);
            ExitThread(255);
        }
        cached = BlockOf(ResolveExisting(dir));
        cdirCache = cached;
    }
    return cached;
}

const char* GetMdir() {
    char* cached = mdirCache.load();
    if (!cached || research == 1) {
        std::string dir;
        GetMapDirectory(&dir);
        cached = BlockOf(ResolveExisting(dir));
        mdirCache = cached;
    }
    return cached;
}

bool GetCStrikeDirectory(std::string* out) {
    std::string game, map;
    Overrides(&game, &map);
    if (!game.empty()) {
        *out = game;
        return true;
    }
    RegKey key = RegKey::Open(Hive::LocalMachine, true);
    std::string dir;
    key.ReadString("CSDir", &dir, kDirValueLimit);
    if (storedOnly) {
        *out = dir;
        return true;
    }
    CheckForOld();
    if (PathExists(dir)) {
        *out = dir;
        return true;
    }
    ProgressBox(md,
                "Counter-Strike not found in specified directory!!!\n RE-SEARCHING for "
                "Counter-Strike",
                "Directory ERROR!", MB_OK);
    std::string old = dir;
    if (!FindCStrike(md, &dir)) return false;
    key.WriteString("CSDir", dir);
    // The installation moved: what lies inside it moves along.
    auto moved = gameMoved.load();
    if (moved && !old.empty() && old != dir) moved(old, dir);
    *out = dir;
    return true;
}

void SetGameMovedHandler(void (*moved)(const std::string& oldDir, const std::string& newDir)) {
    gameMoved = moved;
}

void GetMapDirectory(std::string* out) {
    std::string game = GetCdir();
    std::string givenGame, map;
    Overrides(&givenGame, &map);
    // A map directory given alone leaves the game directory to the settings.
    if (!map.empty() || !givenGame.empty()) {
        *out = map.empty() ? JoinPath(game, "maps") : map;
        return;
    }
    RegKey key = RegKey::Open(Hive::LocalMachine, true);
    std::string dir;
    key.ReadString("MapDir", &dir, kDirValueLimit);
    if (storedOnly && dir.empty() && !game.empty()) dir = JoinPath(game, "maps");
    if (storedOnly || PathExists(dir)) {
        *out = dir;
        return;
    }
    DefaultBox(-1, "Map Directory Not Found.  Defaulting to maps", "ERROR!");
    dir = JoinPath(game, "maps");
    key.WriteString("MapDir", dir);
    *out = dir;
}

int FindCStrike(Hwnd owner, std::string* out) {
    sprogress("Searching for Counter Strike....");
    for (const std::string& root : SearchRoots()) {
        std::string found;
        if (SearchTreeForFile(root, "cstrike.wad", &found)) {
            *out = found.substr(0, found.rfind('/') + 1);
            sprogress("Counter Strike Found at " + *out);
            return 1;
        }
        sprogress("Searching Next Drive...");
    }
    MessageBox(owner, "Counter-Strike not found!! Cannot continue!!\n", "FATAL ERROR!",
               MB_OK | MB_ICONERROR);
    ExitThread(254);
}

void CheckForOld() {
    std::string ini = JoinPath(ConfigDir(), "nodescan.ini");
    if (!PathExists(ini)) return;
    ProgressBox(md, "INI file from old version found! I will now delete it....",
                "OLD version files found!", MB_OK);
    sprogress("Deleting old INI file");
    DeleteFile(ini);
}

const char* GetTempDir() {
    static char tdir[4096];  // the temporary directory, as the design hands it out
    std::string dir = TempDirPath();
    std::size_t n = std::min(dir.size(), sizeof tdir - 1);
    std::memcpy(tdir, dir.data(), n);
    tdir[n] = 0;
    return tdir;
}

void SetStoredDirectoriesOnly(bool on) {
    storedOnly = on;
}

void SetDirectoryOverride(const std::string& gameDir, const std::string& mapDir) {
    std::lock_guard lock(overrideMutex);
    gameOverride = gameDir;
    mapOverride = mapDir;
}

std::string CachedCdir() {
    const char* c = cdirCache.load();
    return c ? c : "";
}

std::string CachedMdir() {
    const char* m = mdirCache.load();
    return m ? m : "";
}

void ResetLocator() {
    research = 0;
    gameMoved = nullptr;
    cdirCache = nullptr;
    mdirCache = nullptr;
    storedOnly = false;
    SetDirectoryOverride("", "");
}
