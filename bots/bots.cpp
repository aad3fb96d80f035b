#include "bots/bots.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/fields.h"
#include "core/state.h"
#include "core/status.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "resources/ids.h"
#include "settings/locator.h"

std::atomic<std::uint32_t> sbot{0};

namespace {
// The rows the program is built with: the table of a first run.
constexpr BotRecord kCompiledBots[kBotCount + 1] = {
    {"Pod Bot",
     0,
     "pwf",
     "Pod Bot 2.6 by Marten Kessel and the Pod Team",
     "http://www.podbot.example/",
     "podbot.dll",
     " ",
     {}},
    {"Swat Bot", 1, "swat", "Swat Bot by Ian Corrigan", "http://www.swatbot.example/", "", " ", {}},
    {"Ram Bot", 2, "pth", "Ram Bot by Tomas Ramberg", "http://www.rambot.example/", "", " ", {}},
    {"Joe Bot",
     3,
     "wpj",
     "Joe Bot 1.6.5 by Johannes Lampe and Stefan Vogt",
     "http://www.joebot.example/",
     "joebot.dll",
     "",
     {}},
    {"HPB Bot", 4, "wpt", "HPB Bot by Henry Parker Bell", "http://www.hpbbot.example/", "", "", {}},
    {"Android Bot",
     5,
     "awp",
     "Android Bot by Dana Okafor",
     "http://www.androidbot.example/",
     "",
     "",
     {}},
    {"NNBot", 6, "nwp", "NNBot by Nils Norberg", "http://www.nnbot.example/", "", "", {}},
    {"TeamBot",
     7,
     "twp",
     "TeamBot by Rhys Talbot and Kim Seo",
     "http://www.teambot.example/",
     "",
     "",
     {}},
    {"FreedomBot",
     8,
     "fb2",
     "FreedomBot by Paolo Ferri",
     "http://www.freedombot.example/",
     "",
     "",
     {}},
    {"RealBot",
     9,
     "rbr",
     "RealBot 3.0 by Stefan Hendriks and Pieter Vos",
     "http://www.realbot.example/",
     "",
     "",
     {}},
    {"AgroBot", 10, "agro", "AgroBot by Agnes Rossi", "http://www.agrobot.example/", "", "", {}},
    {"", 255, " ", "", "", "", "", {}},
};
}  // namespace

BotRecord Bots[kBotCount + 1] = {
    kCompiledBots[0], kCompiledBots[1], kCompiledBots[2],  kCompiledBots[3],
    kCompiledBots[4], kCompiledBots[5], kCompiledBots[6],  kCompiledBots[7],
    kCompiledBots[8], kCompiledBots[9], kCompiledBots[10], kCompiledBots[11],
};

namespace {
// Guards Bots and longDirs: the scan thread and the download worker compute
// directories while the user-interface thread loads, edits and shows rows.
std::mutex botsMutex;

// A waypoint directory too long for its row's field, kept whole for this
// run. The row's field is then empty, so a stored row computes it again
// instead of holding a cut path.
std::string longDirs[kBotCount];

// A row's directory as it is used and shown: under the names on disk as far
// as it exists (the row keeps what was typed or computed). A text of 0 or 1
// characters is a directory not yet known, no path.
std::string OnDisk(const std::string& dir) {
    return dir.size() > 1 ? ResolveExisting(dir) : dir;
}

std::string DirLocked(int bot) {
    return longDirs[bot].empty() ? FieldText(Bots[bot].dir) : longDirs[bot];
}

// The row's directory as the row holds it.
std::string RowDir(int bot) {
    std::lock_guard lock(botsMutex);
    return DirLocked(bot);
}

void SetDirLocked(int bot, const std::string& dir) {
    if (dir.size() < sizeof Bots[bot].dir) {
        SetFieldText(Bots[bot].dir, dir);
        longDirs[bot].clear();
    } else {
        Bots[bot].dir[0] = 0;
        longDirs[bot] = dir;
    }
}

// path with the directory prefix from replaced by to, when path lies in from.
bool Rebase(std::string& path, std::string from, const std::string& to) {
    while (from.size() > 1 && from.back() == '/') from.pop_back();
    if (from.empty() || path.compare(0, from.size(), from) != 0) return false;
    if (path.size() > from.size() && path[from.size()] != '/') return false;
    std::string target = to;
    while (target.size() > 1 && target.back() == '/') target.pop_back();
    path = target + path.substr(from.size());
    return true;
}

bool ValidBot(int bot) {
    return bot >= 0 && bot < kBotCount;
}

// How each row's waypoint directory is formed when it is not yet known.
enum class DirRule { PodBotConfig, MapDir, CsDirPlus, BaseDirPlus };
struct BotDirRule {
    DirRule rule;
    const char* sub;
};
const BotDirRule kDirRules[kBotCount] = {
    {DirRule::PodBotConfig, nullptr},
    {DirRule::MapDir, nullptr},
    {DirRule::MapDir, nullptr},
    {DirRule::CsDirPlus, "JoeBot/wpjs"},
    {DirRule::MapDir, nullptr},
    {DirRule::MapDir, nullptr},
    {DirRule::BaseDirPlus, "/nnbot/nwps"},
    {DirRule::BaseDirPlus, "/teambot/cstrike"},
    {DirRule::BaseDirPlus, "/freedombot/cstrike"},
    {DirRule::CsDirPlus, "realbot/learned/rbr"},
    {DirRule::BaseDirPlus, "/agrobot/cstrike/maps"},
};

// The directory named by the "wptfolder" line of PODBot/PodBot.cfg.
std::string PodBotDir(const std::string& cdir) {
    std::FILE* f = OpenFile(JoinPath(cdir, "PODBot/PodBot.cfg"), "r");
    if (!f) {
        DefaultBox(kPodBot, "PODBot Config File not found.  Defaulting waypoint dir to wptdefault",
                   "Error!");
        return JoinPath(cdir, "PoDBot/wptdefault");
    }
    std::string result;
    char line[100];
    while (ReadTextLine(f, line, sizeof line)) {
        if (strncasecmp(line, "wptfolder", 9) != 0) continue;
        // The value starts after the first run of blanks; a line without a
        // blank has an empty value.
        std::string value;
        if (const char* blank = std::strchr(line, ' ')) {
            while (*blank == ' ') ++blank;
            value = blank;
            if (!value.empty() && value.back() == '\n') value.pop_back();
        }
        result = JoinPath(cdir, "PODBot/" + value);
        break;
    }
    std::fclose(f);
    return result;
}
}  // namespace

std::string GetBotName(int bot) {
    std::lock_guard lock(botsMutex);
    return FieldText(Bots[bot].name);
}

int GetBotID(int bot) {
    std::lock_guard lock(botsMutex);
    return Bots[bot].id;
}

std::string GetBotExt(int bot) {
    std::lock_guard lock(botsMutex);
    return FieldText(Bots[bot].ext);
}

std::string GetBotInfo(int bot) {
    std::lock_guard lock(botsMutex);
    return FieldText(Bots[bot].info);
}

std::string GetBotUrl(int bot) {
    std::lock_guard lock(botsMutex);
    return FieldText(Bots[bot].url);
}

BotRecord GetBotRow(int bot) {
    std::lock_guard lock(botsMutex);
    return Bots[bot];
}

void SetBotExtA(int bot, const std::string& text) {
    std::lock_guard lock(botsMutex);
    SetFieldText(Bots[bot].ext, text);
}

std::string BotExtRefusal(const std::string& text) {
    auto valid = [](const std::string& ext) {
        return !ext.empty() && ext.size() <= 4 && std::all_of(ext.begin(), ext.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        });
    };
    if (valid(text)) return "";
    std::string refusal = "A waypoint extension is 1 to 4 letters or digits: \"" +
                          EscapedText(text) + "\" is not taken";
    // File names have the dot already.
    if (text.size() > 1 && text[0] == '.' && valid(text.substr(1)))
        refusal += " (without the dot: " + text.substr(1) + ")";
    return refusal;
}

void SetBotDir(int bot, const std::string& text) {
    std::lock_guard lock(botsMutex);
    SetDirLocked(bot, text);
}

std::string GetBotDir(int bot) {
    return OnDisk(RowDir(bot));
}

void DisplayBotDir(Hwnd window, int control, int bot) {
    SetDlgItemText(window, control, GetBotDir(bot));
}

std::string DisplayBotExt(int bot) {
    std::string ext = GetBotExt(bot);
    SetDlgItemText(md, kExtUsedField, ext);
    return ext;
}

void SetBotInfo(BotFrom from) {
    if (from == BotFrom::Sbot) ComboSetCurSel(md, kBotCombo, static_cast<int>(sbot.load()));
    int sel = ComboGetCurSel(md, kBotCombo);
    int bot = ComboGetItemData(md, kBotCombo, sel);
    // A stored row may carry any id; only a valid row index may select a bot.
    if (!ValidBot(bot)) bot = ValidBot(sel) ? sel : 0;
    ShowBot(bot);
}

void ShowBot(int bot) {
    sbot = static_cast<std::uint32_t>(bot);
    DisplayBotExt(bot);
    SetDlgItemText(md, kBotInfoText, GetBotInfo(bot));
}

std::string MakeBotDirA(const std::string& sub, const std::string& cdir) {
    return JoinPath(cdir, sub);
}

std::string MakeBotDirB(const std::string& sub, const std::string& cdir) {
    // The base directory ends before the last separator that is not the
    // directory's own trailing one.
    std::string base;
    if (cdir.size() >= 2) {
        std::size_t slash = cdir.rfind('/', cdir.size() - 2);
        if (slash != std::string::npos) base = cdir.substr(0, slash);
    }
    return base + sub;
}

namespace {
// The row's directory as the row holds it, computed and kept when not yet
// known; no look at the disk.
std::string KnownBotDir(int bot) {
    std::string cdir = GetCdir();
    std::string mdir = GetMdir();
    if (std::string dir = RowDir(bot); dir.size() > 1) return dir;
    if (cdir.empty()) return "";  // no game directory stored yet to work one out from
    std::string result;
    const BotDirRule& rule = kDirRules[bot];
    switch (rule.rule) {
        case DirRule::PodBotConfig:
            result = PodBotDir(cdir);
            break;
        case DirRule::MapDir:
            result = mdir;
            break;
        case DirRule::CsDirPlus:
            result = MakeBotDirA(rule.sub, cdir);
            break;
        case DirRule::BaseDirPlus:
            result = MakeBotDirB(rule.sub, cdir);
            break;
    }
    {
        std::lock_guard lock(botsMutex);
        SetDirLocked(bot, result);
    }
    return result;
}
}  // namespace

std::string GetBotWaypointDir(int bot) {
    return OnDisk(KnownBotDir(bot));
}

void RebaseBotDirs(const std::string& oldCdir, const std::string& newCdir) {
    std::string oldBase = MakeBotDirB("", oldCdir), newBase = MakeBotDirB("", newCdir);
    bool changed[kBotCount] = {};
    {
        std::lock_guard lock(botsMutex);
        for (int bot = 0; bot < kBotCount; ++bot) {
            std::string dir = DirLocked(bot);
            if (dir.size() > 1 &&
                (Rebase(dir, oldCdir, newCdir) || Rebase(dir, oldBase, newBase))) {
                SetDirLocked(bot, dir);
                changed[bot] = true;
            }
        }
    }
    // Stored rows are corrected where they are kept; rows that were never
    // stored stay so (a first run stays a first run).
    if (!RegKey::Open(Hive::CurrentUser, false).ok()) return;
    for (int bot = 0; bot < kBotCount; ++bot)
        if (changed[bot]) SaveBot(bot);
}

namespace {
void WriteBot(RegKey& key, int bot) {
    BotRecord row = GetBotRow(bot);
    char name[16];
    std::snprintf(name, sizeof name, "Bots%d", bot);
    key.WriteBinary(name, &row, sizeof row);
}
}  // namespace

bool SaveBot(int bot) {
    RegKey key = RegKey::Open(Hive::CurrentUser, true);
    WriteBot(key, bot);
    return key.Close();
}

bool SaveBots() {
    // One save of the settings file for all rows.
    RegKey key = RegKey::Open(Hive::CurrentUser, true);
    for (int bot = 0; bot < kBotCount; ++bot) WriteBot(key, bot);
    return key.Close();
}

void LoadBots() {
    for (int i = 0; i < kBotCount; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "Bots%d", i);
        bool read;
        {
            RegKey key = RegKey::Open(Hive::CurrentUser, true);
            std::lock_guard lock(botsMutex);
            read = key.ReadBinary(name, &Bots[i], sizeof(BotRecord));
            if (read) longDirs[i].clear();
        }
        if (!read) {
            KnownBotDir(i);
            SaveBot(i);
        }
    }
}

void ResetBots() {
    std::lock_guard lock(botsMutex);
    std::memcpy(Bots, kCompiledBots, sizeof Bots);
    for (std::string& dir : longDirs) dir.clear();
    sbot = 0;
}
