// nodescan-cli as a user runs it: its commands, options, output and exit codes.
#include "support/cli.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "bots/bots.h"
#include "platform/registry.h"

using namespace testenv;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;
using Json = nlohmann::json;
namespace fs = std::filesystem;

namespace {
// The names in dir, recursively, relative to it.
std::vector<std::string> Tree(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
         it.increment(ec))
        names.push_back(fs::relative(it->path(), dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Names(const Json& list) {
    std::vector<std::string> names;
    for (const auto& row : list["rows"]) names.push_back(row["name"]);
    return names;
}

}  // namespace

TEST_F(CliTest, CheckJsonHasTheDocumentedShapeAndContent) {
    GameTree tree{games.path()};
    for (const char* map : {"de_dust.bsp", "cs_italy.bsp"}) tree.AddMap(map);
    tree.AddPodWaypoint("de_dust.pwf", 7, "Mapper");
    SetLocalMTime(tree.cstrike() + "PODBot/wptdefault/de_dust.pwf", 2003, 4, 5, 12, 0);
    std::string c = tree.cstrike(), wpts = c + "PODBot/wptdefault";

    Json doc = RunJson({"check", "--json", "--game-dir", c});
    EXPECT_EQ(doc, Json({{"mode", "missing"},
                         {"bot", {{"index", 0}, {"name", "Pod Bot"}, {"ext", "pwf"}}},
                         {"game_dir", c},
                         {"map_dir", c + "maps"},
                         {"waypoint_dir", wpts},
                         {"counts", {{"listed", 2}, {"unmatched", 1}}},
                         {"complete", true},
                         {"left",
                          {{"caption", "Missing Waypoints"},
                           {"rows", {{{"name", "cs_italy.bsp"}, {"key", 0}}}}}},
                         {"right",
                          {{"caption", "Have Waypoints"},
                           {"rows",
                            {{{"name", "de_dust.bsp"},
                              {"key", 0},
                              {"last_edited", "05/04/2003"},
                              {"date_iso", "2003-04-05"},
                              {"version", "v2"},
                              {"author", "Mapper"}}}}}},
                         {"status", {wpts}},
                         {"messages", Json::array()}}));

    // Typed without its trailing '/': every name is joined with one.
    std::string typed = c.substr(0, c.size() - 1);
    doc = RunJson({"check", "--json", "--game-dir", typed});
    EXPECT_EQ(doc["map_dir"], typed + "/maps");
    EXPECT_EQ(doc["waypoint_dir"], typed + "/PODBot/wptdefault");
    EXPECT_EQ(doc["counts"], Json({{"listed", 2}, {"unmatched", 1}}));
}

TEST_F(CliTest, RedundantCheckAndMessagesInJson) {
    GameTree tree{games.path()};
    tree.AddMap("de_dust.bsp");
    tree.AddPodWaypoint("de_dust.pwf", 6, "A");
    tree.AddPodWaypoint("oldmap.pwf", 5, "B");
    Json doc = RunJson({"--json", "--game-dir", tree.cstrike(), "check", "--redundant"});
    EXPECT_EQ(doc["mode"], "redundant");
    EXPECT_EQ(doc["left"], Json::parse(R"({"caption":"Existing Waypoints",
                                           "rows":[{"name":"de_dust.pwf","key":0}]})"));
    EXPECT_THAT(Names(doc["right"]), ElementsAre("oldmap.pwf"));

    // A message box of the run is part of the document.
    fs::remove(tree.cstrike() + "PODBot/PodBot.cfg");
    doc = RunJson({"check", "--json", "--game-dir", tree.cstrike()});
    EXPECT_EQ(doc["messages"], Json::parse(R"([{"caption":"Error!","text":
        "PODBot Config File not found.  Defaulting waypoint dir to wptdefault"}])"));
    // It concerns no other bot.
    doc = RunJson({"check", "--json", "--bot", "4", "--game-dir", tree.cstrike()});
    EXPECT_EQ(doc["messages"], Json::array());
}

TEST_F(CliTest, BotByNameOrIndex) {
    GameTree tree{games.path()};
    for (const char* map : {"de_dust.bsp", "cs_italy.bsp"}) tree.AddMap(map);
    tree.Add("maps/de_dust.wpt", VersionHeader(4));
    for (const std::string bot : {"hpb bot", "HPB Bot", "4"}) {
        Json doc = RunJson({"check", "--json", "--bot", bot, "--game-dir", tree.cstrike()});
        EXPECT_EQ(doc["bot"], Json({{"index", 4}, {"name", "HPB Bot"}, {"ext", "wpt"}})) << bot;
        EXPECT_EQ(doc["waypoint_dir"], tree.cstrike() + "maps") << bot;
        EXPECT_THAT(Names(doc["right"]), ElementsAre("de_dust.bsp")) << bot;
        EXPECT_THAT(Names(doc["left"]), ElementsAre("cs_italy.bsp")) << bot;
    }
    {
        // A stored row without a name ends the window's bot list there; an
        // index still selects its own row.
        ScopedEnv env_("NODESCAN_HOME", home);
        RegistryUnload();
        BotRecord row{};
        row.id = 2;
        RegKey key = RegKey::Open(Hive::CurrentUser, true);
        key.WriteDword("Version", 250);
        key.WriteBinary("Bots2", &row, sizeof row);
    }
    RegistryUnload();
    Json doc = RunJson({"check", "--json", "--bot", "4", "--game-dir", tree.cstrike()});
    EXPECT_EQ(doc["bot"]["name"], "HPB Bot");
    EXPECT_THAT(Names(doc["right"]), ElementsAre("de_dust.bsp"));
}

TEST_F(CliTest, GivenDirectoriesOverrideTheSettingsAndWriteNothing) {
    GameTree stored{games / "stored"}, other{games / "other"};
    AddPodFolder(stored);
    stored.AddMap("de_stored.bsp");
    other.AddMap("de_other.bsp");
    other.AddPodWaypoint("de_other.pwf", 7, "Other");
    other.Add("maps/de_other.wpt", VersionHeader(4));
    roots = scratch / "nowhere";  // a search would fail

    // A first run: nothing at all appears under the program's home.
    for (const std::string bot : {"0", "4"}) {
        Json doc = RunJson({"check", "--json", "--bot", bot, "--game-dir", other.cstrike()});
        EXPECT_EQ(doc["waypoint_dir"],
                  other.cstrike() + (bot == "0" ? "PODBot/wptdefault" : "maps"));
        EXPECT_THAT(Names(doc["right"]), ElementsAre("de_other.bsp"));
        EXPECT_THAT(Tree(home), ElementsAre());
    }

    // The settings of an earlier run stay as they are, an old settings file too.
    roots = games / "stored";
    ASSERT_EQ(Run({"check"}).code, 0);
    WriteFile(ConfigDir() + "/nodescan.ini", "[old]\n");
    std::string lm = ReadFile(LmHive());
    Json doc = RunJson({"check", "--json", "--game-dir", other.cstrike()});
    EXPECT_EQ(doc["game_dir"], other.cstrike());
    EXPECT_EQ(ReadFile(LmHive()), lm);
    EXPECT_TRUE(fs::exists(ConfigDir() + "/nodescan.ini"));

    // A map directory alone: the game directory stays the stored one.
    doc = RunJson({"check", "--json", "--bot", "4", "--map-dir", other.maps()});
    EXPECT_EQ(doc["game_dir"], stored.cstrike());
    EXPECT_EQ(doc["waypoint_dir"], other.maps());
    EXPECT_THAT(Names(doc["right"]), ElementsAre("de_other.bsp"));
    EXPECT_EQ(ReadFile(LmHive()), lm);
}

TEST_F(CliTest, GameFoundNowhereEnds254) {
    MakeDirs(games / "empty");
    roots = games / "empty";
    CliResult r = Run({"check"});  // during start-up
    EXPECT_EQ(r.code, 254);
    EXPECT_THAT(r.err, HasSubstr("FATAL ERROR!: Counter-Strike not found!! Cannot continue!!\n"));

    // On the scan thread: the stored game has gone since the last run.
    GameTree tree{games / "gone"};
    ASSERT_EQ(Run({"config", "set", "game-dir", tree.cstrike()}).code, 0);
    fs::remove_all(games / "gone");
    EXPECT_EQ(Run({"check"}).code, 254);
}

// Typed text is checked before anything runs or is stored, and shown escaped.
TEST_F(CliTest, UsageErrorsEnd2) {
    GameTree tree{games.path()};
    struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"check", "--frobnicate"}, "--frobnicate"},
        {{}, "A subcommand is required"},
        {{"check", "--bot", "NoSuchBot", "--game-dir", tree.cstrike()}, "Unknown bot: NoSuchBot"},
        {{"check", "--bot", "11", "--game-dir", tree.cstrike()}, "Unknown bot"},
        {{"check", "--yes", "--no", "--game-dir", tree.cstrike()}, "excludes"},
        {{"bots", "--game-dir"}, "--game-dir"},
        {{"check", "--game-dir", games / "no/such/cstrike/"}, "no such directory"},
        {{"check", "--game-dir", tree.cstrike(), "--map-dir", games / "nomaps"}, "--map-dir"},
        {{"check", "--map-dir", tree.cstrike() + "cstrike.wad"}, "no such directory"},
        {{"check", "--game-dir", games / "Half-Life"}, "cstrike.wad; did you mean " + games / ""},
        {{"config", "set", "game-dir", games / "Half-Life"}, "/Half-Life/cstrike?"},
        {{"--sort", "size", "check"}, "size"},
        {{"export", "middle"}, "middle"},
        {{"config", "set", "map-dir", games / "nomaps"}, "no such directory"},
        {{"config", "set", "map-dir", tree.maps(), "--game-dir", tree.cstrike()}, "saves nothing"},
        {{"config", "set", "bot", "realbot", "ext", "abcde"}, "1 to 4 letters or digits"},
        {{"config", "set", "bot", "0", "ext", "a/b"}, "1 to 4 letters or digits: \"a/b\" is not"},
        {{"config", "set", "bot", "0", "ext", "../x"}, ": \"../x\" is not taken\n"},
        {{"config", "set", "bot", "0", "ext", "p\nw"}, ": \"p\\nw\" is not taken\n"},
        {{"config", "set", "bot", "0", "ext", ".wpt"},
         "\".wpt\" is not taken (without the dot: wpt)"},
        {{"config", "set", "bot", "0", "ext", "\xff"}, "1 to 4 letters or digits"},
        {{"config", "set", "bot", "0", "ext", ""}, "1 to 4 letters or digits"},
        {{"sites", "set", "1", "dir", "/w\r\nX-Evil: 1"}, "holds no control character"},
        {{"sites", "set", "1", "host", "a\tb"}, "holds no control character"},
        {{"--bot", "\x1b[2J", "check"}, "Unknown bot: \\x1b[2J"},
        {{"--game-dir", "/no\x1b[2J", "check"}, "no such directory: /no\\x1b[2J"},
        {{"--sort", "\x1b[2J", "check"}, "\\x1b[2J"},
        {{"config", "set", "bot", "\x1b[2J", "dir", "/x"}, "Unknown bot: \\x1b[2J"},
    };
    for (const auto& c : cases) {
        CliResult r = Run(c.args);
        EXPECT_EQ(r.code, 2) << c.err << '\n' << r.err;
        EXPECT_THAT(r.err, HasSubstr(c.err));
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << c.err;
        EXPECT_EQ(r.out, "") << c.err;
        EXPECT_THAT(Tree(home), ElementsAre()) << c.err;
    }
    CliResult r = Run({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_THAT(r.out, HasSubstr("check"));
    // A command's help offers the program's options too, under its own name.
    EXPECT_THAT(Run({"mapcycle", "--help"}).out,
                ::testing::AllOf(HasSubstr("Usage: nodescan-cli mapcycle"), HasSubstr("\n  --bot "),
                                 HasSubstr("\n  --game-dir ")));
    EXPECT_EQ(Run({"--version"}).out, "nodescan 2.50\n");
}

// The demo installation as a user first checks it: the lists in
// demo/check.txt, the same on every system.
TEST_F(CliTest, TheDemoInstallationGivesItsKnownLists) {
    const std::string source = NODESCAN_SOURCE_DIR;
    ASSERT_EQ(
        Shell(source + "/scripts/demo-tree.sh " + ShellWord(games / "Half-Life") + " >/dev/null"),
        0);
    CliResult r = Run({"check", "--game-dir", games / "Half-Life/cstrike"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.substr(std::min(r.out.find("Missing Waypoints"), r.out.size())),
              ReadFile(source + "/demo/check.txt"));
}

TEST_F(CliTest, ResetDeletesTheSettings) {
    GameTree tree{games.path()};
    AddPodFolder(tree);
    ASSERT_EQ(Run({"check"}).code, 0);
    ASSERT_EQ(Run({"sites", "set", "1", "name", "Mine"}).code, 0);
    LINUX_ONLY("the settings files (the registry on Windows)");
    ASSERT_TRUE(fs::exists(CuHive()));

    // Another key of the machine-wide hive is not the program's to delete.
    WriteFile(LmHive(), ReadFile(LmHive()) + "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n");
    // Without a terminal to ask, only --yes deletes.
    CliResult r = Run({"reset"});
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, HasSubstr("Nothing is deleted"));
    EXPECT_TRUE(fs::exists(CuHive()));
    r = Run({"reset", "--yes"});
    EXPECT_EQ(r.code, 0);
    EXPECT_THAT(r.err, EndsWith("?\nNodescan Notice: Nodescan Registry settings deleted.\n"));
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(CuHive()));
    EXPECT_EQ(ReadFile(LmHive()), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n\r\n");

    // The next run is a first run again and searches.
    r = Run({"check"});
    EXPECT_EQ(r.code, 0);
    EXPECT_THAT(r.err, HasSubstr("Searching for Counter Strike...."));

    // Nothing to delete: the same notice.
    EXPECT_THAT(Run({"reset", "--yes"}).err, EndsWith("Nodescan Registry settings deleted.\n"));

    // A settings file that cannot be removed: said so, exit 1.
    MakeDirs(CuHive());
    r = Run({"reset", "--yes"});
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, HasSubstr("Error!: The Nodescan settings could not be deleted"));
    EXPECT_THAT(r.err, Not(HasSubstr("settings deleted.")));
}

TEST_F(CliTest, BotsAndConfigShowTheComputedDirectoriesAndConfigSetStoresThem) {
    GameTree tree{games.path()};
    std::string c = tree.cstrike();
    tree.Add("PODBot/PodBot.cfg", "wptfolder mine\n");
    // Nothing stored: shown so, without a search, and nothing written.
    for (const std::string cmd : {"config", "bots", "sites"}) {
        CliResult r = Run({cmd});
        EXPECT_EQ(std::to_string(r.code) + r.err, "0") << cmd;
        EXPECT_THAT(r.out, HasSubstr(cmd == "sites" ? "Brimlock" : "(not set")) << cmd;
        EXPECT_THAT(Tree(home), ElementsAre()) << cmd;
    }
    EXPECT_THAT(Run({"config"}).out, HasSubstr("directory: (not set: nodescan-cli config set"));

    CliResult r = Run({"bots", "--game-dir", c});
    EXPECT_EQ(r.code, 0) << r.err;
    auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 12u) << r.out;
    EXPECT_THAT(lines[0], MatchesRegex("Index +Name +Ext +Waypoint directory"));
    EXPECT_THAT(lines[1], MatchesRegex("0 +Pod Bot +pwf +" + c + "PODBot/mine"));
    EXPECT_EQ(RunJson({"bots", "--json", "--game-dir", c})[0]["waypoint_dir"], c + "PODBot/mine");

    roots = home;  // nowhere to find the game: config set game-dir needs no search
    EXPECT_EQ(Run({"config", "set", "game-dir", c}).code, 0);
    EXPECT_EQ(Run({"config", "set", "bot", "10", "ext", "Ag2"}).code, 0);
    EXPECT_EQ(Run({"config", "set", "map-dir", c + "./maps/..//"}).code, 0);
    cwd = c;  // stored absolute and normalised, no trailing '/' added
    EXPECT_EQ(Run({"config", "set", "bot", "4", "dir", "./x/../hpb"}).code, 0);
    Json doc = RunJson({"config", "--json"});
    EXPECT_EQ(doc["bots"][4]["dir"], c + "hpb");
    EXPECT_EQ(doc["game_dir"].get<std::string>() + " " + doc["map_dir"].get<std::string>(),
              c + " " + c);
    ASSERT_EQ(doc["bots"].size(), 11u);
    EXPECT_EQ(doc["bots"][10], Json({{"index", 10},
                                     {"name", "AgroBot"},
                                     {"ext", "Ag2"},
                                     {"dir", games / "Half-Life/agrobot/cstrike/maps"}}));
}

// The README's cron line: each run appends whole lines to one log; a note
// only for the run's bot; --quiet keeps only what tells why a run failed.
TEST_F(CliTest, RunsAppendWholeLinesToOneLog) {
    GameTree tree{games.path()};
    tree.AddMap("de_dust.bsp");
    std::string c = tree.cstrike();
    roots = scratch / "nowhere";
    appendErr = true;
    EXPECT_EQ(Run({"-q", "check"}).code, 254);
    EXPECT_EQ(Run({"--bot", "4", "--game-dir", c, "mapcycle"}).code, 0);
    EXPECT_EQ(Run({"config", "set", "game-dir", c}).code, 0);
    EXPECT_EQ(Run({"--quiet", "--bot", "0", "mapcycle"}).code, 1);
    CliResult r = Run({"-q", "--bot", "4", "mapcycle"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, c + "mapcycle.txt\n");
    EXPECT_THAT(
        Lines(r.err),
        ElementsAre("FATAL ERROR!: Counter-Strike not found!! Cannot continue!!",
                    "Tell nodescan-cli where the game is: 'nodescan-cli config set game-dir "
                    "DIR' stores it, --game-dir DIR uses it for one run",
                    c + "maps", "Mapcycle.txt written",
                    "Note: Map Directory Not Found.  Defaulting to maps",
                    "Note: PODBot Config File not found.  Defaulting waypoint dir to "
                    "wptdefault",
                    "Cannot read directory " + c +
                        "PoDBot/wptdefault: No such file or "
                        "directory",
                    "The check is incomplete: mapcycle.txt is left as it is"));
    EXPECT_EQ(r.err.back(), '\n');
}

TEST_F(CliTest, PlainCheckPrintsCaptionsColumnsAndCounters) {
    GameTree tree{games.path()};
    for (const char* map : {"de_dust.bsp", "cs_italy.bsp", "as_oilrig.bsp"}) tree.AddMap(map);
    tree.AddPodWaypoint("de_dust.pwf", 7, "Mapper");
    SetLocalMTime(tree.cstrike() + "PODBot/wptdefault/de_dust.pwf", 2003, 4, 5, 12, 0);
    std::string wpts = tree.cstrike() + "PODBot/wptdefault";

    CliResult r = Run({"check"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(Lines(r.out),
                ElementsAre("Bot: Pod Bot (.pwf)", "Waypoint directory: " + wpts, "",
                            "Missing Waypoints", "as_oilrig.bsp", "cs_italy.bsp", "",
                            "Have Waypoints", "Map Name     Last Edited  Version  Created By",
                            "de_dust.bsp  05/04/2003   v2       Mapper", "",
                            "Waypoints Missing: 2  Out of: 3"));
    // Status lines go to standard error, not into the tables.
    EXPECT_EQ(Lines(r.err).back(), wpts);
}

TEST_F(CliTest, ListCommandsWriteSortAndDeleteAsTheButtonsDo) {
    GameTree tree{games.path()};
    std::string c = tree.cstrike(), wpts = c + "PODBot/wptdefault/", out = scratch / "list.txt";
    for (const char* map : {"de_dust.bsp", "cs_town.final.bsp", "tr_a.bsp", "as_x.bsp"})
        tree.AddMap(map);
    tree.AddPodWaypoint("de_dust.pwf", 7, "B");
    tree.AddPodWaypoint("cs_town.pwf", 9, "A");
    tree.AddPodWaypoint("tr_a.pwf", 8, "C");
    for (const char* wp : {"extra1.pwf", "extra2.pwf"}) tree.AddPodWaypoint(wp, 7, "D");
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string out, err;
    } cases[] = {
        {{"mapcycle", "--sort", "version"}, 0, c + "mapcycle.txt\n", "Mapcycle.txt written"},
        {{"export", "right", out, "--sort", "name"}, 0, out + "\n", ""},
        {{"export", "left"}, 0, home + "/data/NoWaypoints.txt\n", ""},
        {{"export", "right", "/nonexistent/x.txt"}, 1, "", "Whoops!: Error Opening File!"},
        {{"delete-redundant", "nosuch", "--yes"}, 2, "", "No redundant waypoint is listed as"},
        {{"delete-redundant"}, 1, "", "delete **ALL** displayed redundant maps?"},
        {{"delete-redundant", "EXTRA1.PWF", "--yes"},
         0,
         wpts + "extra1.pwf\n",
         "Deleted: " + wpts + "extra1.pwf"},
        {{"delete-redundant", "extra2.pwf", "--yes", "--trash"},
         0,
         wpts + "extra2.pwf\n",
         // On Windows the drive may have no Recycle Bin: then deleted.
         (kWindows ? "" : "Moved to the trash: ") + wpts + "extra2.pwf"},
    };
    for (auto& k : cases) {
        k.args.insert(k.args.end(), {"--game-dir", c});
        CliResult r = Run(k.args);
        EXPECT_EQ(r.code, k.code) << k.args[0] << "\n" << r.err;
        EXPECT_EQ(r.out, k.out) << k.args[0];
        EXPECT_THAT(r.err, HasSubstr(k.err)) << k.args[0];
    }
    EXPECT_EQ(ReadFile(c + "mapcycle.txt"), "cs_town.final\r\nde_dust\r\n");
    EXPECT_EQ(Lines(ReadFile(out)).size(), 2u);
    EXPECT_THAT(ReadFile(out), ::testing::StartsWith("cs_town.bsp         "));
    EXPECT_EQ(ReadFile(home + "/data/NoWaypoints.txt"), "as_x.bsp            \r\n");
    EXPECT_FALSE(fs::exists(wpts + "extra1.pwf"));
#ifndef _WIN32  // the desktop's trash (the Recycle Bin on Windows)
    EXPECT_TRUE(fs::exists(home + "/.local/share/Trash/files/extra2.pwf"));
#endif
    // Two clicks on a header: the JSON rows come in display order.
    Json doc =
        RunJson({"--json", "--sort", "author", "--sort", "author", "check", "--game-dir", c});
    EXPECT_THAT(Names(doc["right"]), ElementsAre("tr_a.bsp", "de_dust.bsp", "cs_town.bsp"));
}
