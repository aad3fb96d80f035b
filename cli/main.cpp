// nodescan-cli: the program's commands without a window, for servers and
// scripts. It runs the same start-up as the window, presses buttons by
// calling the dialog procedure, and handles no posted command.
#include <malloc.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>

#include "app/nodescan.h"
#include "bots/bots.h"
#include "bots/config.h"
#include "check/export.h"
#include "check/lists.h"
#include "check/redundant.h"
#include "check/scan.h"
#include "check/scanrunner.h"
#include "cli/help.h"
#include "cli/output.h"
#include "core/state.h"
#include "core/status.h"
#include "download/http.h"
#include "download/sites.h"
#include "download/update.h"
#include "download/worker.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/headless/host.h"
#include "platform/memory.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/threads.h"
#include "resources/ids.h"
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
    bool trash = false;
    std::vector<std::string> sorts;  // header clicks, in order
};

// Standard error takes whole lines from every thread: status lines, message
// boxes and notes, each in place of a progress bar drawn on the terminal's
// last line (the next step draws it again).
std::mutex errMutex;
std::atomic<bool> barDrawn{false};
bool quiet = false;  // --quiet

// Writes text to standard error as lines, each ending in a line break; not
// at all when it only tells how the work goes and the run is quiet.
void ErrLine(const std::string& text, bool chatter = false) {
    if (chatter && quiet) return;
    std::string lines = EscapedText(text, true);
    while (!lines.empty() && lines.back() == '\n') lines.pop_back();
    std::lock_guard lock(errMutex);
    if (barDrawn.exchange(false)) std::cerr << "\r\x1b[K";
    std::cerr << lines << '\n' << std::flush;
}

// The bot of --bot, else -1 for the stored one.
int chosenBot = -1;

// Message boxes go to standard error as "Caption: text". One that only
// tells of a default is a note, and only for the run's bot. Questions are
// answered by --yes or --no, at a prompt when both standard input and error
// are a terminal (one written into a file would wait unseen), else with No.
int Answer(const Options& opt, const headless::MessageBoxCall& box) {
    int bot;
    Tells kind = Telling(&bot);
    if (kind == Tells::Default) {
        if (bot < 0 || bot == (chosenBot >= 0 ? chosenBot : static_cast<int>(sbot.load())))
            ErrLine("Note: " + box.text, true);
        else
            LeaveOutMessage(box.text);
        return IDOK;
    }
    if ((box.type & 0xF) != MB_YESNO) {
        ErrLine(box.caption + ": " + box.text, kind == Tells::Progress);
        return IDOK;
    }
    // A question answered No tells why the run does nothing, even when quiet.
    ErrLine(box.caption + ": " + box.text, opt.yes);
    if (opt.yes) return IDYES;
    if (opt.no || !IsTerminal(Stream::In) || !IsTerminal(Stream::Err)) return IDNO;
    std::cerr << "[y/N] " << std::flush;
    std::string reply;
    if (!std::getline(std::cin, reply)) std::cerr << '\n';  // ended by the end of input
    return (!reply.empty() && (reply[0] == 'y' || reply[0] == 'Y')) ? IDYES : IDNO;
}

// Why dir, given for option, cannot be used; "" when it can. A game
// directory given as the Half-Life directory above it is told so.
std::string DirProblem(const std::string& option, const std::string& dir, bool game) {
    if (!IsDirectory(dir)) return option + ": no such directory: " + EscapedText(dir);
    std::string wad;
    if (game && !PathExists(JoinPath(dir, "cstrike.wad")) &&
        ResolvePath(JoinPath(dir, "cstrike/cstrike.wad"), &wad))
        return option + ": " + EscapedText(dir) + " holds no cstrike.wad; did you mean " +
               EscapedText(wad.substr(0, wad.rfind('/'))) + "?";
    return "";
}

// The bot row of an index, or else of a name (ignoring case); -1 when none.
int FindBot(const std::string& text) {
    for (int i = 0; i < kBotCount; ++i)
        if (text == std::to_string(i)) return i;
    for (int i = 0; i < kBotCount; ++i)
        if (!text.empty() && EqualIgnoreCase(text, GetBotName(i))) return i;
    return -1;
}

// The right list's column of a --sort name.
std::size_t SortColumn(const std::string& name) {
    static const std::vector<std::string> columns{"name", "date", "version", "author"};
    return static_cast<std::size_t>(std::find(columns.begin(), columns.end(), name) -
                                    columns.begin());
}

// A directory given on the command line, made absolute and normalised: the
// current directory of this run means nothing to the paths shown or stored.
std::string AbsoluteDir(const std::string& dir) {
    return dir.empty() ? dir : AbsolutePath(dir);
}

// Runs the window's start-up on the headless dialog. A game search that
// ends the program throws ThreadExit. storedOnly: the stored directories are
// taken as they are, with no search; readOnly: nothing on disk changes.
void StartUp(const Options& opt, bool storedOnly, bool readOnly) {
    bool givenDirs = !opt.gameDir.empty() || !opt.mapDir.empty();
    bool storedRows = false;
    // Directories given for this run, or a command that only shows: nothing
    // of it reaches the settings.
    if (givenDirs || readOnly) RegistrySetReadOnly(true);
    SetStoredDirectoriesOnly(storedOnly);
    if (givenDirs) {
        SetDirectoryOverride(opt.gameDir, opt.mapDir);
        storedRows = !IsFirstRun();
    }
    // The start-up writes nothing to the per-user settings (the window's
    // writes its missing rows): a first run stays a first run until the
    // window has run or a command saved something.
    RegistrySetReadOnly(Hive::CurrentUser, true);
    Hwnd w = headless::CreateDialog(kMainDialog, DialogFunc);
    headless::Send(w, WM_INITDIALOG, 0, 0);
    // The command's own changes.
    if (!givenDirs && !readOnly) RegistrySetReadOnly(Hive::CurrentUser, false);
    if (storedRows) {
        // The stored bot rows hold the waypoint directories of the stored
        // installation: this run's are computed from the given directories.
        for (int bot = 0; bot < kBotCount; ++bot) SetBotDir(bot, "");
    }
    if (!opt.bot.empty()) {
        // The row itself, also when the selector lacks it (it stops at a
        // row without a name) or its entry carries another id.
        int bot = FindBot(opt.bot);
        ComboSetCurSel(
            w, kBotCombo,
            bot < static_cast<int>(headless::ComboItems(w, kBotCombo).size()) ? bot : -1);
        ShowBot(bot);
    }
    headless::TakePostedCommands();  // the CLI runs only its own command
}

// Edits one field as the site editor would and saves the six site rows.
int SetSite(int row, const std::string& field, const std::string& value) {
    SetSiteField(row, field, value);
    std::string stored = SiteFieldText(GetSite(row), field);
    if (stored != value)
        ErrLine("The site's " + field + " holds at most " + std::to_string(stored.size()) +
                " bytes here: stored \"" + EscapedText(stored) + "\"");
    if (!SaveSites()) {
        std::cerr << "Error!: The site rows could not be saved to "
                  << EscapedText(HiveFilePath(Hive::CurrentUser)) << std::endl;
        return 1;
    }
    return 0;
}

// Runs the check a command needs, then the header clicks of --sort. The
// check thread's exit code; 1 for a check that could not read a directory
// it needed (its lists are no answer).
int Check(const Options& opt, bool redundant) {
    headless::SendCommand(md, redundant ? kCheckRedundantButton : kGoButton);
    headless::TakePostedCommands();
    WaitForThread(hThread);
    std::uint32_t code = 0;
    GetExitCodeThread(hThread, &code);
    for (const std::string& column : opt.sorts) {
        bool left = column == "left";
        ListNotify n{md, left ? kLeftList : kRightList, LVN_COLUMNCLICK,
                     left ? 0 : static_cast<int>(SortColumn(column))};
        headless::Send(md, WM_NOTIFY, static_cast<std::uintptr_t>(n.idFrom),
                       reinterpret_cast<std::intptr_t>(&n));
    }
    if (code == 0 && !ScanComplete()) code = 1;
    return static_cast<int>(code);
}

// A command that writes or deletes acts only on a complete check.
bool Incomplete(int rc, const char* what) {
    if (rc == 0) return false;
    if (rc == 1) ErrLine(std::string("The check is incomplete: ") + what);
    return true;
}

int RunCheck(const Options& opt) {
    int rc = Check(opt, opt.redundant);
    PrintCheck(std::cout, opt.redundant, opt.json);
    return rc;
}

int Mapcycle(const Options& opt) {
    int rc = Check(opt, false);
    if (Incomplete(rc, "mapcycle.txt is left as it is")) return rc;
    if (!WriteList(kRightList, kMapcycleButton)) return 1;
    PrintWritten(std::cout, ListFilePath(kMapcycleButton), opt.json);
    return 0;
}

int Export(const Options& opt, const std::string& side, const std::string& file) {
    int rc = Check(opt, opt.redundant);
    if (Incomplete(rc, "no list is written")) return rc;
    int list = side == "left" ? kLeftList : kRightList;
    int button = side == "left" ? kLeftCopyButton : kRightCopyButton;
    std::string path = file.empty() ? ListFilePath(button) : AbsoluteDir(file);
    bool ok = file.empty() ? WriteList(list, button) : WriteListFile(list, button, path);
    if (!ok) return 1;
    PrintWritten(std::cout, path, opt.json);
    return 0;
}

int DeleteRedundant(const Options& opt, const std::vector<std::string>& names) {
    int rc = Check(opt, true);
    if (Incomplete(rc, "nothing is deleted")) return rc;
    int rows = ListGetItemCount(md, kRightList);
    for (const std::string& name : names) {
        bool found = false;
        for (int row = 0; row < rows; ++row) {
            if (!EqualIgnoreCase(ListGetItemText(md, kRightList, row, 0), name)) continue;
            headless::SelectRow(md, kRightList, row, true);
            found = true;
        }
        if (!found) {
            std::cerr << "No redundant waypoint is listed as " << EscapedText(name)
                      << ": nothing is deleted" << std::endl;
            return kUsageError;
        }
    }
    bool done = DeleteRedundantWaypoints(opt.trash);
    PrintDeleted(std::cout, opt.json);
    return done ? 0 : 1;
}

// The arguments of config set, checked before anything runs: false after
// saying what is wrong. game-dir|map-dir DIR, or bot NAME|INDEX dir|ext VALUE.
bool ConfigArgsValid(std::vector<std::string>& args) {
    std::string what = args.empty() ? "" : args[0];
    bool dirs = what == "game-dir" || what == "map-dir";
    std::string error;
    if (!(dirs && args.size() == 2) && !(what == "bot" && args.size() == 4)) {
        error =
            "Usage: config set game-dir|map-dir DIR, or config set bot NAME|INDEX dir|ext "
            "VALUE";
    } else if (dirs) {
        // An empty map directory is computed again (the game directory's maps).
        if (what == "game-dir" || !args[1].empty())
            error = DirProblem(what, args[1], what == "game-dir");
        args[1] = AbsoluteDir(args[1]);
    } else if (FindBot(args[1]) < 0) {
        error = "Unknown bot: " + EscapedText(args[1]) + " (see 'nodescan-cli bots')";
    } else if (args[2] != "dir" && args[2] != "ext") {
        error = "The field of a bot is dir or ext, not " + EscapedText(args[2]);
    } else if (args[2] == "ext") {
        error = BotExtRefusal(args[3]);
    } else if (args[2] == "dir") {
        args[3] = AbsoluteDir(args[3]);
        if (!args[3].empty() && !IsDirectory(args[3]))
            ErrLine("Note: " + EscapedText(args[3]) + " does not exist yet; stored as given", true);
    }
    if (!error.empty()) std::cerr << error << std::endl;
    return error.empty();
}

// Stores valid arguments of config set as the dialog's OK does.
int SetConfig(const std::vector<std::string>& args) {
    std::string gameDir = GetCdir(), mapDir = GetMdir();
    if (args[0] == "game-dir") gameDir = args[1];
    if (args[0] == "map-dir") mapDir = args[1];
    if (args[0] == "bot" && args[2] == "dir") SetBotDir(FindBot(args[1]), args[3]);
    if (args[0] == "bot" && args[2] == "ext") SetBotExtA(FindBot(args[1]), args[3]);
    if (!SaveConfig(gameDir, mapDir)) {
        std::cerr << "Error!: The settings could not be saved to "
                  << EscapedText(HiveFilePath(Hive::LocalMachine)) << " and "
                  << EscapedText(HiveFilePath(Hive::CurrentUser)) << std::endl;
        return 1;
    }
    return 0;
}
// Draws the progress bar of a fetch on a terminal's standard error: a bar
// and "N of M KB" while what came fits the size announced, else (no size, or
// a false one) only what came.
void DrawProgress(const headless::ProgressState& p) {
    std::lock_guard lock(errMutex);
    if (!p.visible) {
        if (barDrawn.exchange(false)) std::cerr << '\n';
        return;
    }
    long long span = p.max - p.min, done = p.reached - p.min;
    std::cerr << '\r';
    if (span > 0 && done <= span) {
        auto filled = static_cast<std::size_t>(std::max(0LL, done) * 30 / span);
        std::cerr << '[' << std::string(filled, '#') << std::string(30 - filled, ' ') << "] "
                  << p.reached << " of " << p.max << " KB";
    } else {
        std::cerr << p.reached << " KB";
    }
    std::cerr << "\x1b[K" << std::flush;  // clears what a longer line left
    barDrawn = true;
}

// An end by a signal first ends the line of a progress bar.
void EndBarLine() {
    if (barDrawn.load()) WriteErrorNow("\n");
}

// Runs a job of the download worker as its button does; its exit code.
int RunJob(int button) {
    if (IsTerminal(Stream::Err) && !quiet) headless::SetProgressListener(DrawProgress);
    headless::SendCommand(md, button);
    WaitForThread(DThread);
    std::uint32_t code = 1;
    GetExitCodeThread(DThread, &code);
    return static_cast<int>(code);
}

// Downloads the waypoints of the maps named, or of every map of the left
// list (missing), as the window does for the rows selected.
int DownloadMaps(const Options& opt, const std::vector<std::string>& names, bool missing, int site,
                 bool all) {
    int rc = Check(opt, false);
    int rows = ListGetItemCount(md, kLeftList);
    if (missing) {
        // An unreadable directory can list maps whose waypoints exist.
        if (Incomplete(rc, "nothing is downloaded")) return rc;
        if (rows == 0) {
            ErrLine("No map is missing a waypoint: nothing to download", true);
            PrintDownload(std::cout, opt.json, false);
            return 0;
        }
    }
    for (int row = 0; row < rows; ++row) headless::SelectRow(md, kLeftList, row, missing);
    for (const std::string& map : names) {
        int row = 0;
        while (row < rows && !EqualIgnoreCase(ListGetItemText(md, kLeftList, row, 0), map)) ++row;
        if (row == rows) {
            std::cerr << EscapedText(map)
                      << " is no map missing a waypoint (see 'nodescan-cli check')" << std::endl;
            return kUsageError;
        }
        headless::SelectRow(md, kLeftList, row, true);
    }
    if (site >= 0) ssite = static_cast<std::uint32_t>(site);
    if (all) CheckDlgButton(md, kSearchAllCheck, true);
    rc = RunJob(kDownloadButton);
    PrintDownload(std::cout, opt.json);
    return rc;
}

int Update(const Options& opt) {
    updateEndsProgram = false;
    int rc = RunJob(kCheckUpdateButton);
    PrintUpdate(std::cout, opt.json);
    return rc;
}
}  // namespace

int main(int argc, char** argv) {
    // One malloc arena for every thread: the scan thread's own arena would
    // grow a page at a time, a system call for each (the main one grows by
    // 128 KB through brk).
#ifdef M_ARENA_MAX  // glibc's malloc
    mallopt(M_ARENA_MAX, 1);
#endif
    InitBlockHeap();
    const std::vector<std::string> args = PrepareConsole(argc, argv);
    Options opt;
    CLI::App app{
        "Nodescan: checks which maps lack bot waypoints and which waypoints are redundant.",
        "nodescan-cli"};
    // Set first: each command takes its program's formatter when it is added.
    auto help = std::make_shared<HelpFormatter>(HelpFormatter::TerminalWidth());
    app.formatter(help);
    // Options begin with '-' on Windows too: "/w" is a value there, as a
    // site's directory.
    app.allow_windows_style_options(false);
    app.require_subcommand(1);
    app.set_version_flag("--version", VersionText());
    app.add_option("--bot", opt.bot, "Bot for this run: its name or index (see 'bots')");
    app.add_option("--game-dir", opt.gameDir,
                   "Game directory (the one holding cstrike.wad) for this run; no search, and "
                   "nothing is written to the settings");
    app.add_option("--map-dir", opt.mapDir,
                   "Map directory for this run (default: the game directory's maps); nothing is "
                   "written to the settings");
    app.add_flag("--json", opt.json, "Print one JSON document instead of tables");
    app.add_flag("-q,--quiet", quiet,
                 "Write to standard error only what tells why the run failed or did nothing "
                 "(no progress, notes or found paths)");
    auto* yes = app.add_flag("--yes", opt.yes, "Answer Yes to every question");
    auto* no = app.add_flag("--no", opt.no, "Answer No to every question");
    yes->excludes(no);
    app.add_option("--sort", opt.sorts,
                   "Sort a list before it is printed or written, as a click on a column header "
                   "does (repeatable, in order): name, date, version, author (right list), left")
        ->allow_extra_args(false)
        ->check(CLI::IsMember({"name", "date", "version", "author", "left"}));

    auto* check = app.add_subcommand(
        "check",
        "Run the missing-waypoint check and print its two lists: the maps that have no waypoint "
        "of the bot, and those that have one with its date, version and author (the window's "
        "Go! Go! Go!)");
    check->add_flag("--redundant", opt.redundant,
                    "Run the redundant-waypoint check instead: the bot's waypoints that have a "
                    "map, and those that have none (Check Redundant Waypoints)");
    auto* bots = app.add_subcommand(
        "bots", "Print the bot table: each bot's index, name, extension and waypoint directory");
    auto* reset = app.add_subcommand(
        "reset",
        "Delete every setting of Nodescan, after a question that --yes answers; the next run is "
        "a first run again");
    auto* sites = app.add_subcommand("sites", "Print the six download sites");
    auto* sitesSet = sites->add_subcommand(
        "set", "Edit one field of a site row (as the site editor does) and save the site rows");
    int siteRow = 0;
    std::string siteField, siteValue;
    sitesSet->add_option("ROW", siteRow, "Site row, 0 to 5")->required()->check(CLI::Range(0, 5));
    sitesSet
        ->add_option("FIELD", siteField,
                     "name, start, end, ext, host or dir (host: name[:port], with https:// "
                     "before it for HTTPS)")
        ->required()
        ->check(CLI::IsMember({"name", "start", "end", "ext", "host", "dir"}));
    sitesSet->add_option("VALUE", siteValue, "The new text (may be empty)")->required();
    auto* mapcycle = app.add_subcommand(
        "mapcycle",
        "Run the missing-waypoint check and write the maps that have waypoints into the game "
        "directory's mapcycle.txt, whose previous content is kept in mapcycle.txt.bak (Write "
        "mapcycle.txt)");
    auto* exportCmd = app.add_subcommand(
        "export",
        "Run a check and write one of its lists to a text file, a row a line with its columns "
        "20 characters wide, and print the file's path (Copy to TXT)");
    std::string exportSide, exportFile;
    exportCmd->add_option("LIST", exportSide, "left or right")
        ->required()
        ->check(CLI::IsMember({"left", "right"}));
    exportCmd->add_option("FILE", exportFile, "The file to write (default: the list file)");
    exportCmd->add_flag("--redundant", opt.redundant, "Export the redundant-waypoint check's list");
    auto* deleteCmd = app.add_subcommand(
        "delete-redundant",
        "Run the redundant-waypoint check and delete the waypoint files it lists, or only those "
        "named, after a question that --yes answers, and print them (Delete Redundant "
        "Waypoints)");
    std::vector<std::string> deleteNames;
    deleteCmd->add_option("NAME", deleteNames, "Rows to delete, as the list shows them");
    deleteCmd->add_flag("--trash", opt.trash,
                        "Move the files to the trash of their file system instead (deleted where "
                        "it has none)");
    auto* config = app.add_subcommand(
        "config",
        "Print the game and map directories and each bot's waypoint directory and extension "
        "(Advanced Config.)");
    auto* configSet = config->add_subcommand(
        "set", "Store a directory or a bot's waypoint directory or extension");
    std::vector<std::string> configArgs;
    configSet->add_option("ARGS", configArgs,
                          "game-dir DIR | map-dir DIR | bot NAME|INDEX dir|ext VALUE");
    auto* download = app.add_subcommand(
        "download",
        "Run the missing-waypoint check, download the waypoints of the maps named (or of every "
        "map missing one) in the list's order, each from the selected site (or from each in "
        "turn), and install them for the bot; exit 0 only when every one was installed "
        "(Download Waypoint)");
    std::vector<std::string> downloadMaps;
    int downloadSite = -1;
    bool downloadAll = false, downloadMissing = false;
    auto* mapsOpt =
        download->add_option("MAP", downloadMaps, "The maps, as the left list shows them");
    download
        ->add_flag("--missing", downloadMissing,
                   "Every map the check lists as missing a waypoint (with no MAP)")
        ->excludes(mapsOpt);
    auto* siteOpt =
        download
            ->add_option("--site", downloadSite, "Site row, 0 to 5 (default: the selected site)")
            ->check(CLI::Range(0, 5));
    download->add_flag("--all", downloadAll, "Try the six sites in turn (Search All)")
        ->excludes(siteOpt);
    auto* update = app.add_subcommand(
        "update",
        "Ask the update server for a newer Nodescan and, after a question that --yes answers, "
        "save its archive (Check For Update)");
    for (auto* sub : {check, bots, reset, sites, sitesSet, mapcycle, exportCmd, deleteCmd, config,
                      configSet, download, update})
        sub->fallthrough();
    // Options a command ignores, or refuses, are not offered in its help.
    help->Ignores(reset, {"--bot", "--game-dir", "--map-dir", "--json", "--sort"});
    help->Ignores(configSet, {"--bot", "--game-dir", "--map-dir", "--sort", "--yes", "--no"});
    help->Ignores(sitesSet,
                  {"--bot", "--game-dir", "--map-dir", "--sort", "--yes", "--no", "--json"});

    // A parse error quotes the arguments: shown escaped like any typed text.
    app.failure_message([](const CLI::App* a, const CLI::Error& e) {
        return EscapedText(CLI::FailureMessage::simple(a, e), true);
    });
    try {
        std::vector<const char*> words;
        for (const std::string& a : args) words.push_back(a.c_str());
        app.parse(static_cast<int>(words.size()), words.data());
    } catch (const CLI::ParseError& e) {
        int rc = app.exit(e);
        return rc == 0 ? 0 : kUsageError;
    }

    // An interrupt or a kill ends the run with 130 or 143, leaving no file
    // of a download behind.
    EndOnSignals(EndBarLine);
    // Status lines, notices and message boxes go to standard error as they come.
    SetStatusListener([](const std::string& line) {
        RecordStatusLine(line);
        ErrLine(line, Telling() == Tells::Progress);
    });
    RegistrySetNoticeSink(sout);
    headless::SetMessageBoxResponder(
        [&opt](const headless::MessageBoxCall& box) { return Answer(opt, box); });
    if (*reset) {
        // The window's reset asks nothing; a command typed in the wrong
        // shell, or a script, must not lose every setting unasked.
        if (MessageBox(
                kNoWindow,
                "Are you sure you wish to delete all Nodescan settings (in " + ConfigDir() + ")?",
                "Warning", MB_YESNO) != IDYES) {
            std::cerr << "Nothing is deleted (--yes answers Yes)" << std::endl;
            return 1;
        }
        return WinMain(nullptr, nullptr, "reset", 0);
    }
    if ((*sitesSet || *configSet) && (!opt.gameDir.empty() || !opt.mapDir.empty())) {
        std::cerr << "'" << (*sitesSet ? "sites" : "config")
                  << " set' saves settings; --game-dir and --map-dir make a run that saves nothing"
                  << std::endl;
        return kUsageError;
    }
    chosenBot = opt.bot.empty() ? -1 : FindBot(opt.bot);
    if (!opt.bot.empty() && chosenBot < 0) {
        std::cerr << "Unknown bot: " << EscapedText(opt.bot) << " (see 'nodescan-cli bots')"
                  << std::endl;
        return kUsageError;
    }
    // A mistyped directory would make a check of nothing that looks complete.
    std::string problem = opt.gameDir.empty() ? "" : DirProblem("--game-dir", opt.gameDir, true);
    if (problem.empty() && !opt.mapDir.empty())
        problem = DirProblem("--map-dir", opt.mapDir, false);
    if (!problem.empty()) {
        std::cerr << problem << std::endl;
        return kUsageError;
    }
    if (*configSet && !ConfigArgsValid(configArgs)) return kUsageError;
    if (*download && downloadMaps.empty() && !downloadMissing) {
        std::cerr << "download needs MAP... or --missing\nRun with --help for more information."
                  << std::endl;
        return kUsageError;
    }
    if (*sitesSet && HasControlChar(siteValue)) {
        // It would end a request line early at the next download.
        std::cerr << "A site's " << siteField << " holds no control character (line break, tab...)"
                  << std::endl;
        return kUsageError;
    }
    if (*configSet && configArgs[0] == "game-dir") {
        // Stored first, so that the start-up takes it instead of searching
        // (on a new server the search may find nothing and end the run).
        RegKey key = RegKey::Open(Hive::LocalMachine, true);
        key.WriteString("CSDir", configArgs[1]);
        if (!key.Close()) {
            std::cerr << "Error!: The settings could not be saved to "
                      << EscapedText(HiveFilePath(Hive::LocalMachine)) << std::endl;
            return 1;
        }
    }
    opt.gameDir = AbsoluteDir(opt.gameDir);
    opt.mapDir = AbsoluteDir(opt.mapDir);

    // The commands that show the settings search nothing, and but for
    // 'sites set' change nothing on disk.
    bool showOnly = (*bots || *sites || *config) && !*sitesSet && !*configSet;
    int rc = 0;
    try {
        StartUp(opt, showOnly || *sitesSet, showOnly);
        if (*check) {
            rc = RunCheck(opt);
        } else if (*bots) {
            PrintBots(std::cout, opt.json);
        } else if (*sitesSet) {
            rc = SetSite(siteRow, siteField, siteValue);
        } else if (*sites) {
            PrintSites(std::cout, opt.json);
        } else if (*mapcycle) {
            rc = Mapcycle(opt);
        } else if (*exportCmd) {
            rc = Export(opt, exportSide, exportFile);
        } else if (*deleteCmd) {
            rc = DeleteRedundant(opt, deleteNames);
        } else if (*download) {
            rc = DownloadMaps(opt, downloadMaps, downloadMissing, downloadSite, downloadAll);
        } else if (*update) {
            rc = Update(opt);
        } else if (*configSet) {
            rc = SetConfig(configArgs);
            if (rc == 0) PrintConfig(std::cout, opt.json);
        } else if (*config) {
            PrintConfig(std::cout, opt.json);
        }
    } catch (const ThreadExit& e) {
        rc = static_cast<int>(e.code);
    }
    if (rc == 254 || rc == 255)
        ErrLine(
            "Tell nodescan-cli where the game is: 'nodescan-cli config set game-dir DIR' "
            "stores it, --game-dir DIR uses it for one run");
    std::cout.flush();
    // Ends without waiting for anything still running, as the window does.
    ExitProcess(static_cast<unsigned>(rc));
}
