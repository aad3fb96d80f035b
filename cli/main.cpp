// nodescan-cli: the program's commands without a window, for servers and
// scripts. It runs the same start-up as the window, presses buttons by
// calling the dialog procedure, and handles no posted command.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <string>

#include "app/nodescan.h"
#include "app/state.h"
#include "bots/bots.h"
#include "check/scan.h"
#include "cli/output.h"
#include "download/sites.h"
#include "platform/files.h"
#include "platform/headless/host.h"
#include "platform/memory.h"
#include "platform/registry.h"
#include "platform/threads.h"
#include "settings/locator.h"
#include "settings/settings.h"

namespace {
constexpr int kUsageError = 2;

struct Options {
    std::string bot;
    std::string gameDir;
    std::string mapDir;
    bool json = false;
    bool yes = false;
    bool no = false;
    bool redundant = false;
};

// Message boxes go to standard error; questions are answered by --yes or
// --no, at a prompt on a terminal, else with No.
int Answer(const Options& opt, const headless::MessageBoxCall& box) {
    std::cerr << TerminalText(box.caption + ": " + box.text, true) << std::endl;
    if ((box.type & 0xF) != MB_YESNO) return IDOK;
    if (opt.yes) return IDYES;
    if (opt.no || !isatty(STDIN_FILENO)) return IDNO;
    std::cerr << "[y/N] " << std::flush;
    std::string reply;
    std::getline(std::cin, reply);
    return (!reply.empty() && (reply[0] == 'y' || reply[0] == 'Y')) ? IDYES : IDNO;
}

// The bot row of an index, or else of a name (ignoring case); -1 when none.
int FindBot(const std::string& text) {
    for (int i = 0; i < kBotCount; ++i)
        if (text == std::to_string(i)) return i;
    for (int i = 0; i < kBotCount; ++i)
        if (!text.empty() && EqualIgnoreCase(text, GetBotName(i))) return i;
    return -1;
}

// A directory given on the command line, made absolute: the current
// directory of this run means nothing to the paths shown or stored.
std::string AbsoluteDir(const std::string& dir) {
    if (dir.empty() || dir[0] == '/') return dir;
    char cwd[4096];
    return getcwd(cwd, sizeof cwd) ? JoinPath(cwd, dir) : dir;
}

// Runs the window's start-up on the headless dialog. A game search that
// ends the program throws ThreadExit.
void StartUp(const Options& opt) {
    bool givenDirs = !opt.gameDir.empty() || !opt.mapDir.empty();
    bool storedRows = false;
    if (givenDirs) {
        // Directories given for this run: nothing of it reaches the settings.
        RegistrySetReadOnly(true);
        SetDirectoryOverride(opt.gameDir, opt.mapDir);
        storedRows = !IsFirstRun();
    }
    // The start-up writes nothing to the per-user settings (the window's
    // writes its missing rows): a first run stays a first run until the
    // window has run or a command saved something.
    RegistrySetReadOnly(Hive::CurrentUser, true);
    Hwnd w = headless::CreateDialog(100, DialogFunc);
    headless::Send(w, WM_INITDIALOG, 0, 0);
    if (!givenDirs) RegistrySetReadOnly(Hive::CurrentUser, false);  // the command's changes
    if (storedRows) {
        // The stored bot rows hold the waypoint directories of the stored
        // installation: this run's are computed from the given directories.
        for (int bot = 0; bot < kBotCount; ++bot) SetBotDir(bot, "");
    }
    if (!opt.bot.empty()) {
        // The row itself, also when the selector lacks it (it stops at a
        // row without a name) or its entry carries another id.
        int bot = FindBot(opt.bot);
        ComboSetCurSel(w, 102,
                       bot < static_cast<int>(headless::ComboItems(w, 102).size()) ? bot : -1);
        ShowBot(bot);
    }
    headless::TakePostedCommands();  // the CLI runs only its own command
}

// Edits one field as the site editor would and saves the six site rows.
int SetSite(int row, const std::string& field, const std::string& value) {
    SetSiteField(row, field, value);
    std::string stored = SiteFieldText(GetSite(row), field);
    if (stored != value)
        std::cerr << "The site's " << field << " holds at most " << stored.size()
                  << " bytes here: stored \"" << TerminalText(stored, false) << "\"" << std::endl;
    if (!SaveSites()) {
        std::cerr << "Error!: The site rows could not be saved to "
                  << HiveFilePath(Hive::CurrentUser) << std::endl;
        return 1;
    }
    return 0;
}

int RunCheck(const Options& opt) {
    headless::SendCommand(md, opt.redundant ? 139 : 1);
    headless::TakePostedCommands();
    WaitForThread(hThread);
    std::uint32_t code = 0;
    GetExitCodeThread(hThread, &code);
    PrintCheck(std::cout, opt.redundant, opt.json);
    // A check that could not read a directory it needed is no answer.
    if (code == 0 && !ScanComplete()) code = 1;
    return static_cast<int>(code);
}
}  // namespace

int main(int argc, char** argv) {
    InitBlockHeap();
    Options opt;
    CLI::App app{
        "Nodescan: checks which maps lack bot waypoints and which waypoints are redundant."};
    app.require_subcommand(1);
    app.add_option("--bot", opt.bot, "Bot for this run: its name or index (see 'bots')");
    app.add_option("--game-dir", opt.gameDir,
                   "Game directory (the one holding cstrike.wad) for this run; no search, and "
                   "nothing is written to the settings");
    app.add_option("--map-dir", opt.mapDir,
                   "Map directory for this run (default: the game directory's maps); nothing is "
                   "written to the settings");
    app.add_flag("--json", opt.json, "Print one JSON document instead of tables");
    auto* yes = app.add_flag("--yes", opt.yes, "Answer Yes to every question");
    auto* no = app.add_flag("--no", opt.no, "Answer No to every question");
    yes->excludes(no);

    auto* check = app.add_subcommand("check", "Run the missing-waypoint check (Go! Go! Go!)");
    check->add_flag("--redundant", opt.redundant,
                    "Run the redundant-waypoint check (Check Redundant Waypoints)");
    auto* bots = app.add_subcommand("bots", "Print the bot table with each waypoint directory");
    auto* reset = app.add_subcommand("reset", "Delete all settings");
    auto* sites = app.add_subcommand("sites", "Print the six download sites");
    auto* sitesSet = sites->add_subcommand(
        "set", "Edit one field of a site row (as the site editor does) and save the site rows");
    int siteRow = 0;
    std::string siteField, siteValue;
    sitesSet->add_option("ROW", siteRow, "Site row, 0 to 5")->required()->check(CLI::Range(0, 5));
    sitesSet->add_option("FIELD", siteField, "name, start, end, ext, host or dir")
        ->required()
        ->check(CLI::IsMember({"name", "start", "end", "ext", "host", "dir"}));
    sitesSet->add_option("VALUE", siteValue, "The new text (may be empty)")->required();
    for (auto* sub : {check, bots, reset, sites, sitesSet}) sub->fallthrough();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int rc = app.exit(e);
        return rc == 0 ? 0 : kUsageError;
    }

    // Status lines, notices and message boxes go to standard error as they come.
    headless::SetStatusListener(
        [](const std::string& line) { std::cerr << TerminalText(line, true) << std::endl; });
    RegistrySetNoticeSink(sout);
    headless::SetMessageBoxResponder(
        [&opt](const headless::MessageBoxCall& box) { return Answer(opt, box); });
    if (*reset) return WinMain(nullptr, nullptr, "reset", 0);
    if (*sitesSet && (!opt.gameDir.empty() || !opt.mapDir.empty())) {
        std::cerr << "'sites set' saves the site rows; --game-dir and --map-dir make a run "
                     "that saves nothing"
                  << std::endl;
        return kUsageError;
    }
    if (!opt.bot.empty() && FindBot(opt.bot) < 0) {
        std::cerr << "Unknown bot: " << opt.bot << " (see 'nodescan-cli bots')" << std::endl;
        return kUsageError;
    }
    // A mistyped directory would make a check of nothing that looks complete.
    auto missing = [](const char* option, const std::string& dir) {
        if (dir.empty() || IsDirectory(dir)) return false;
        std::cerr << option << ": no such directory: " << dir << std::endl;
        return true;
    };
    if (missing("--game-dir", opt.gameDir) || missing("--map-dir", opt.mapDir)) return kUsageError;
    opt.gameDir = AbsoluteDir(opt.gameDir);
    opt.mapDir = AbsoluteDir(opt.mapDir);

    int rc = 0;
    try {
        StartUp(opt);
        if (*check) {
            rc = RunCheck(opt);
        } else if (*bots) {
            PrintBots(std::cout, opt.json);
        } else if (*sitesSet) {
            rc = SetSite(siteRow, siteField, siteValue);
        } else if (*sites) {
            PrintSites(std::cout, opt.json);
        }
    } catch (const ThreadExit& e) {
        rc = static_cast<int>(e.code);
    }
    std::cout.flush();
    // Ends without waiting for anything still running, as the window does.
    ExitProcess(static_cast<unsigned>(rc));
}
