#include "check/scan.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <vector>

#include "bots/bots.h"
#include "check/lists.h"
#include "core/state.h"
#include "core/status.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/threads.h"
#include "resources/ids.h"
#include "settings/locator.h"

char* maps[kMaxMaps] = {};

namespace {
int nfound = 0;  // key of the next right-list row of the waypoint pass

// False once the scan could not read a directory it needed: its lists then
// do not tell the whole truth.
std::atomic<bool> complete{true};

// Why a file or directory could not be read (OpenFile's EINVAL: no regular file).
std::string Reason(int err) {
    return err == EINVAL ? "not a regular file" : std::generic_category().message(err);
}

// Names a directory the scan could not read. An empty path was already
// reported by BotFind and is never read (it is not the current directory).
void ReportUnreadable(const std::string& dir, int err) {
    if (!dir.empty()) sout("Cannot read directory " + dir + ": " + Reason(err));
    complete = false;
}

// The position just after the name's first dot.
std::size_t AfterFirstDot(const std::string& name) {
    std::size_t dot = name.find('.');
    return dot == std::string::npos ? name.size() : dot + 1;
}

// The listed name with everything after its first dot replaced by ext, as
// its row shows it.
std::string ShownName(std::string listed, const std::string& ext) {
    return listed.replace(AfterFirstDot(listed), std::string::npos, ext);
}

std::string ListingExt(const std::string& mask) {
    return mask.size() > 2 ? mask.substr(2) : "";
}
}  // namespace

bool ScanComplete() {
    return complete;
}

void BotFind() {
    complete = true;
    // Both counters belong to this check, also when it lists nothing.
    SetDlgItemInt(md, kOutOfCount, 0);
    SetDlgItemInt(md, kMissingCount, 0);
    GetCdir();
    std::string mapDir = GetMdir();
    // The bot is taken once: a choice made while the scan runs starts the next scan.
    int bot = static_cast<int>(sbot.load());
    std::string wptDir = GetBotWaypointDir(bot);
    sprogress(wptDir);
    if (wptDir.empty()) {
        sout("The waypoint directory of " + GetBotName(bot) + " is not set (it has no path)");
        complete = false;
    }
    if (bot == kJoeBot) {
        JoeBotFind(bot, mapDir, wptDir);
    } else {
        NormalBotFind(bot, mapDir, wptDir);
    }
}

int NormalBotFind(int bot, const std::string& mapDir, const std::string& wptDir) {
    if (checkredway == 0) return FindFiles(bot, mapDir, wptDir, FindMode::Start, "*.bsp");
    return FindFiles(bot, wptDir, mapDir, FindMode::Start, "*." + GetBotExt(bot));
}

int FileCount(const std::string& dir, const std::string& mask) {
    for (char* slot : maps)
        if (slot) std::memset(slot, 0, kMapNameSize);
    int n = 0;
    int skipped = 0;
    std::vector<std::string> names;
    if (!ListDirectory(dir, mask, &names)) ReportUnreadable(dir, errno);
    for (const std::string& name : names) {
        if (n >= kMaxMaps || name.size() >= static_cast<std::size_t>(kMapNameSize) || !maps[n]) {
            ++skipped;
            continue;
        }
        std::memcpy(maps[n], name.c_str(), name.size() + 1);
        ++n;
    }
    if (skipped > 0) {
        char line[200];
        std::snprintf(line, sizeof line,
                      "%d names not checked: the list holds %d names of at most %d characters",
                      skipped, kMaxMaps, kMapNameSize - 1);
        sout(line);
    }
    return n;
}

int FindFiles(int bot, const std::string& L, const std::string& T, FindMode mode,
              const std::string& mask) {
    if (mode == FindMode::ResetCounter) {
        nfound = 0;
        return 1;
    }
    if (mode == FindMode::Start) nfound = 0;
    int n = FileCount(L, mask);
    SetDlgItemInt(md, kOutOfCount, n);
    SetDlgItemInt(md, kMissingCount, 0);

    DirectoryIndex test(T);
    if (test.error() != 0) {
        ReportUnreadable(T, test.error());
        // Without the map directory every waypoint would look redundant,
        // and redundant waypoints are offered for deletion: list none.
        if (checkredway == 1) return 1;
    }
    std::string ext = ListingExt(mask);
    for (int i = 0; i < kMaxMaps && maps[i] && maps[i][0]; ++i) {
        std::string counterpart = maps[i];
        std::size_t pos = SetBotExt(counterpart, bot, ExtFor::Counterpart);
        // A waypoint whose map has a longer name (cs_town.pwf for
        // cs_town.final.bsp) belongs to that map: it is not redundant.
        bool exists =
            test.Contains(counterpart) || (checkredway == 1 && test.ContainsStem(counterpart));
        if (!exists) continue;
        // Only the missing-waypoint check has right-list rows by now: a map
        // already listed there (from an earlier Joe Bot set) is skipped.
        if (checkredway == 0 && ListFindItem(md, kRightList, ShownName(maps[i], ext)) >= 0)
            continue;
        if (checkredway == 0) {
            // The directory as named: a Joe Bot set is shown as dir.txt names it.
            DisplayFound(counterpart, pos, bot, nfound, T, "bsp", maps[i]);
        } else {
            DisplayNotFound(i, counterpart, pos, ext);
        }
        ++nfound;
    }
    if (mode == FindMode::Start) FindNotFoundFiles(mask, bot, L);
    return 1;
}

int FindNotFoundFiles(const std::string& mask, int bot, const std::string& L) {
    int count = 0;
    std::string ext = ListingExt(mask);
    int list = checkredway == 0 ? kRightList : kLeftList;
    for (int i = 0; i < kMaxMaps && maps[i] && maps[i][0]; ++i) {
        if (ListFindItem(md, list, ShownName(maps[i], ext)) < 0) {
            std::string name = maps[i];
            std::size_t pos = AfterFirstDot(name);
            if (checkredway == 0) {
                DisplayNotFound(i, name, pos, "bsp");
            } else {
                DisplayFound(name, pos, bot, count, L, ext, "");
            }
            ++count;
        }
        SetDlgItemInt(md, kMissingCount, count);
    }
    return 1;
}

int JoeBotFind(int bot, const std::string& mapDir, const std::string& wptDir) {
    FindFiles(bot, mapDir, wptDir, FindMode::ResetCounter, "*.bsp");
    if (checkredway == 1) {
        sout("JoeBot not supported yet..");
        complete = false;
        return 0;
    }
    std::string dirTxt = JoinPath(wptDir, "dir.txt");
    std::FILE* f = wptDir.empty() ? nullptr : OpenFile(dirTxt, "r");
    if (!f) {
        int err = wptDir.empty() ? ENOENT : errno;
        MessageBox(md, "JoeBot Waypoint Dir File not FOUND! Cannot Continue", "Error!", MB_OK);
        if (!wptDir.empty()) sout("Cannot read " + dirTxt + ": " + Reason(err));
        complete = false;
        return 0;
    }
    bool listed = false;
    char line[200];
    while (ReadTextLine(f, line, sizeof line)) {
        if (line[0] == '\n' || line[0] == '#') continue;
        if (char* nl = std::strchr(line, '\n')) *nl = 0;
        FindFiles(bot, mapDir, JoinPath(wptDir, line), FindMode::AddTestDir, "*.bsp");
        listed = true;
    }
    std::fclose(f);
    if (!listed) {
        // No set was named: list the maps here, so that every one is reported missing.
        int n = FileCount(mapDir, "*.bsp");
        SetDlgItemInt(md, kOutOfCount, n);
    }
    FindNotFoundFiles("*.bsp", bot, mapDir);
    return 1;
}

void AllocateListMemory() {
    // The result records hold texts and numbers only: the block heap's
    // collections need not read their 1.36 MB (said once a process).
    static const bool told = (KeepNoBlocksIn(MY, sizeof MY), true);
    (void)told;
    for (auto& slot : maps) {
        slot = AllocBlock(kMapNameSize);
        if (!slot) {
            MessageBox(kNoWindow, "Error Allocating Memory!", "Error!", MB_OK);
            ExitProcess(555);
        }
    }
}

void ResetScan() {
    for (auto& slot : maps) slot = nullptr;
    nfound = 0;
    complete = true;
}
