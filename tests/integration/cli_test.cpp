// nodescan-cli as a user runs it: the built program in a process of its own,
// with its own NODESCAN_HOME and search roots.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "support/run.h"

extern char** environ;

using namespace testenv;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using Json = nlohmann::json;
namespace fs = std::filesystem;

namespace {
struct CliResult {
    int code = -1;
    std::string out;
    std::string err;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The names in dir, recursively, relative to it ("" entries for none).
std::vector<std::string> Tree(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
         it.increment(ec))
        names.push_back(fs::relative(it->path(), dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

class CliTest : public ::testing::Test {
  protected:
    TempDir scratch;  // the program's home and its captured output
    TempDir games;
    std::string home = scratch / "home";
    std::string roots = games.path();

    void SetUp() override { MakeDirs(home); }

    std::string ConfigDir() const { return home + "/config"; }
    std::string CuHive() const { return ConfigDir() + "/HKEY_CURRENT_USER.reg"; }
    std::string LmHive() const { return ConfigDir() + "/HKEY_LOCAL_MACHINE.reg"; }

    // Runs nodescan-cli with args, stdin from /dev/null, in an environment
    // of its own; ends it after a minute.
    CliResult Run(const std::vector<std::string>& args) {
        std::vector<std::string> env = {"HOME=" + home, "NODESCAN_HOME=" + home,
                                        "NODESCAN_SEARCH_ROOTS=" + roots};
        for (char** e = environ; *e; ++e) {
            std::string v = *e;
            for (const char* keep : {"PATH=", "TZ=", "ASAN_OPTIONS=", "UBSAN_OPTIONS=",
                                     "LSAN_OPTIONS=", "TSAN_OPTIONS="})
                if (v.rfind(keep, 0) == 0) env.push_back(v);
        }
        std::string outPath = scratch / "stdout", errPath = scratch / "stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        std::vector<std::string> argStrings = {NODESCAN_CLI_PATH};
        argStrings.insert(argStrings.end(), args.begin(), args.end());
        std::vector<char*> argv, envp;
        for (auto& a : argStrings) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);

        CliResult result;
        pid_t pid;
        int rc = posix_spawn(&pid, NODESCAN_CLI_PATH, &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            ADD_FAILURE() << "cannot start " << NODESCAN_CLI_PATH << ": " << std::strerror(rc);
            return result;
        }
        int status = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                ADD_FAILURE() << "nodescan-cli did not end";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = ReadFile(outPath);
        result.err = ReadFile(errPath);
        return result;
    }

    Json RunJson(const std::vector<std::string>& args, int expectedCode = 0) {
        CliResult r = Run(args);
        EXPECT_EQ(r.code, expectedCode) << r.err;
        Json doc = Json::parse(r.out, nullptr, false);
        EXPECT_FALSE(doc.is_discarded()) << "not one JSON document:\n" << r.out;
        return doc;
    }
};

std::vector<std::string> Keys(const Json& object) {
    std::vector<std::string> keys;
    for (auto it = object.begin(); it != object.end(); ++it) keys.push_back(it.key());
    std::sort(keys.begin(), keys.end());
    return keys;
}
}  // namespace

TEST_F(CliTest, CheckJsonHasTheDocumentedShapeAndContent) {
    GameTree tree{games.path()};
    tree.AddMap("de_dust.bsp");
    tree.AddMap("cs_italy.bsp");
    tree.AddPodWaypoint("de_dust.pwf", 7, "Mapper");
    SetLocalMTime(tree.cstrike() + "PODBot/wptdefault/de_dust.pwf", 2003, 4, 5, 12, 0);

    Json doc = RunJson({"check", "--json", "--game-dir", tree.cstrike()});
    ASSERT_TRUE(doc.is_object());
    EXPECT_THAT(Keys(doc), ElementsAre("bot", "counts", "game_dir", "left", "map_dir", "messages",
                                       "mode", "right", "status", "waypoint_dir"));
    EXPECT_EQ(doc["mode"], "missing");
    EXPECT_EQ(doc["bot"], Json({{"index", 0}, {"name", "Pod Bot"}, {"ext", "pwf"}}));
    EXPECT_EQ(doc["game_dir"], tree.cstrike());
    EXPECT_EQ(doc["map_dir"], tree.cstrike() + "maps");
    EXPECT_EQ(doc["waypoint_dir"], tree.cstrike() + "PODBot/wptdefault");
    EXPECT_EQ(doc["counts"], Json({{"listed", 2}, {"unmatched", 1}}));

    EXPECT_THAT(Keys(doc["left"]), ElementsAre("caption", "rows"));
    EXPECT_EQ(doc["left"]["caption"], "Missing Waypoints");
    EXPECT_EQ(doc["left"]["rows"], Json::parse(R"([{"name":"cs_italy.bsp","key":0}])"));

    EXPECT_THAT(Keys(doc["right"]), ElementsAre("caption", "rows"));
    EXPECT_EQ(doc["right"]["caption"], "Have Waypoints");
    ASSERT_EQ(doc["right"]["rows"].size(), 1u);
    Json row = doc["right"]["rows"][0];
    EXPECT_THAT(Keys(row), ElementsAre("author", "key", "last_edited", "name", "version"));
    EXPECT_EQ(row["name"], "de_dust.bsp");
    EXPECT_EQ(row["key"], 0);
    EXPECT_EQ(row["last_edited"], "05/04/2003");
    EXPECT_EQ(row["version"], "v2");
    EXPECT_EQ(row["author"], "Mapper");

    ASSERT_TRUE(doc["status"].is_array());
    EXPECT_THAT(doc["status"].get<std::vector<std::string>>(),
                ElementsAre(tree.cstrike() + "PODBot/wptdefault"));
    EXPECT_EQ(doc["messages"], Json::array());

    // Typed without its trailing '/': every name is joined with one.
    std::string typed = tree.cstrike().substr(0, tree.cstrike().size() - 1);
    doc = RunJson({"check", "--json", "--game-dir", typed});
    EXPECT_EQ(doc["game_dir"], typed);
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
    EXPECT_EQ(doc["left"]["caption"], "Existing Waypoints");
    EXPECT_EQ(doc["right"]["caption"], "Redundant Waypoints");
    EXPECT_EQ(doc["left"]["rows"], Json::parse(R"([{"name":"de_dust.pwf","key":0}])"));
    ASSERT_EQ(doc["right"]["rows"].size(), 1u);
    EXPECT_EQ(doc["right"]["rows"][0]["name"], "oldmap.pwf");
    EXPECT_EQ(doc["right"]["rows"][0]["author"], "B");
    EXPECT_EQ(doc["counts"], Json({{"listed", 2}, {"unmatched", 1}}));

    // A message box of the run is part of the document.
    fs::remove(tree.cstrike() + "PODBot/PodBot.cfg");
    doc = RunJson({"check", "--json", "--game-dir", tree.cstrike()});
    ASSERT_EQ(doc["messages"].size(), 1u);
    EXPECT_EQ(doc["messages"][0],
              Json({{"caption", "Error!"},
                    {"text",
                     "PODBot Config File not found.  Defaulting waypoint dir to "
                     "wptdefault"}}));
}

TEST_F(CliTest, BotByNameOrIndex) {
    GameTree tree{games.path()};
    tree.AddMap("de_dust.bsp");
    tree.AddMap("cs_italy.bsp");
    tree.Add("maps/de_dust.wpt", VersionHeader(4));
    for (const std::string bot : {"hpb bot", "HPB Bot", "4"}) {
        Json doc = RunJson({"check", "--json", "--bot", bot, "--game-dir", tree.cstrike()});
        EXPECT_EQ(doc["bot"], Json({{"index", 4}, {"name", "HPB Bot"}, {"ext", "wpt"}})) << bot;
        EXPECT_EQ(doc["waypoint_dir"], tree.cstrike() + "maps") << bot;
        ASSERT_EQ(doc["right"]["rows"].size(), 1u) << bot;
        EXPECT_EQ(doc["right"]["rows"][0]["name"], "de_dust.bsp") << bot;
        EXPECT_EQ(doc["left"]["rows"][0]["name"], "cs_italy.bsp") << bot;
    }
}

TEST_F(CliTest, GivenDirectoriesWriteNothing) {
    GameTree tree{games.path()};
    tree.AddMap("de_dust.bsp");
    tree.AddPodWaypoint("de_dust.pwf", 7, "Mapper");
    roots = scratch / "nowhere";  // a search would fail

    // A first run: nothing at all appears under the program's home.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"check", "--game-dir", tree.cstrike()},
          {"check", "--redundant", "--bot", "3", "--game-dir", tree.cstrike()},
          {"bots", "--game-dir", tree.cstrike()},
          {"check", "--game-dir", tree.cstrike(), "--map-dir", tree.maps()}}) {
        CliResult r = Run(args);
        EXPECT_EQ(r.code, 0) << args[0] << '\n' << r.err;
        EXPECT_THAT(Tree(home), ElementsAre()) << args[0];
    }

    // Settings of an earlier run, and an old settings file: all left as they are.
    roots = games.path();
    ASSERT_EQ(Run({"check"}).code, 0);
    WriteFile(ConfigDir() + "/nodescan.ini", "[old]\n");
    std::string cu = ReadFile(CuHive()), lm = ReadFile(LmHive());
    auto before = Tree(home);
    CliResult r = Run({"check", "--bot", "HPB Bot", "--game-dir", tree.cstrike()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadFile(CuHive()), cu);
    EXPECT_EQ(ReadFile(LmHive()), lm);
    EXPECT_EQ(Tree(home), before);
}

TEST_F(CliTest, GivenDirectoriesOverrideWhatTheSettingsHold) {
    GameTree stored{games / "stored"};
    GameTree other{games / "other"};
    stored.AddMap("de_stored.bsp");
    other.AddMap("de_other.bsp");
    other.AddPodWaypoint("de_other.pwf", 7, "Other");
    other.Add("maps/de_other.wpt", VersionHeader(4));
    roots = games / "stored";
    ASSERT_EQ(Run({"check"}).code, 0);  // stores the first installation and the bot rows

    // Every directory of the run follows the given game directory.
    Json doc = RunJson({"check", "--json", "--game-dir", other.cstrike()});
    EXPECT_EQ(doc["game_dir"], other.cstrike());
    EXPECT_EQ(doc["waypoint_dir"], other.cstrike() + "PODBot/wptdefault");
    ASSERT_EQ(doc["right"]["rows"].size(), 1u);
    EXPECT_EQ(doc["right"]["rows"][0]["name"], "de_other.bsp");
    doc = RunJson({"check", "--json", "--bot", "4", "--game-dir", other.cstrike()});
    EXPECT_EQ(doc["waypoint_dir"], other.cstrike() + "maps");
    EXPECT_EQ(doc["right"]["rows"].size(), 1u);

    // A map directory alone: the game directory stays the stored one.
    doc = RunJson({"check", "--json", "--bot", "4", "--map-dir", other.maps()});
    EXPECT_EQ(doc["game_dir"], stored.cstrike());
    EXPECT_EQ(doc["map_dir"], other.maps());
    EXPECT_EQ(doc["waypoint_dir"], other.maps());
    EXPECT_EQ(doc["right"]["rows"].size(), 1u);

    // And the settings still name the first installation.
    doc = RunJson({"check", "--json"});
    EXPECT_EQ(doc["game_dir"], stored.cstrike());
    EXPECT_EQ(doc["map_dir"], stored.cstrike() + "maps");
    EXPECT_EQ(doc["left"]["rows"][0]["name"], "de_stored.bsp");
}

TEST_F(CliTest, SearchFindsStoresAndIsNotRepeated) {
    MakeDirs(games / "empty/sub");
    GameTree tree{games / "steam"};
    tree.AddMap("de_dust.bsp");
    roots = games / "empty" + ":" + games / "steam";

    CliResult r = Run({"check"});
    EXPECT_EQ(r.code, 0) << r.err;
    auto err = Lines(r.err);
    EXPECT_THAT(err, Contains(std::string("Searching for Counter Strike....")));
    EXPECT_THAT(err, Contains(std::string("Searching Next Drive...")));
    EXPECT_THAT(err, Contains("Counter Strike Found at " + tree.cstrike()));
    EXPECT_THAT(r.err, HasSubstr("Directory ERROR!: Counter-Strike not found in specified "
                                 "directory!!!\n RE-SEARCHING for Counter-Strike\n"));
    EXPECT_THAT(r.err, HasSubstr("ERROR!: Map Directory Not Found.  Defaulting to maps\n"));
    ASSERT_TRUE(fs::exists(CuHive()));
    ASSERT_TRUE(fs::exists(LmHive()));
    EXPECT_THAT(ReadFile(LmHive()), HasSubstr("\"CSDir\"=\"" + tree.cstrike() + "\""));

    r = Run({"check"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.err, Not(HasSubstr("Searching")));
    EXPECT_THAT(r.err, Not(HasSubstr("ERROR!")));
    EXPECT_THAT(r.out, HasSubstr("de_dust.bsp"));
}

TEST_F(CliTest, GameFoundNowhereEnds254) {
    MakeDirs(games / "empty");
    roots = games / "empty";
    // During start-up.
    CliResult r = Run({"check"});
    EXPECT_EQ(r.code, 254);
    EXPECT_THAT(r.err, HasSubstr("FATAL ERROR!: Counter-Strike not found!! Cannot continue!!\n"));
    EXPECT_THAT(Lines(r.err), Contains(std::string("Searching Next Drive...")));
    EXPECT_EQ(Run({"bots"}).code, 254);

    // On the scan thread: the stored game has gone since the last run.
    GameTree tree{games / "gone"};
    roots = games / "gone";
    ASSERT_EQ(Run({"check"}).code, 0);
    fs::remove_all(games / "gone");
    r = Run({"check"});
    EXPECT_EQ(r.code, 254);
    EXPECT_THAT(r.err, HasSubstr("FATAL ERROR!: Counter-Strike not found!! Cannot continue!!"));
}

TEST_F(CliTest, UsageErrorsEnd2) {
    GameTree tree{games.path()};
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"check", "--frobnicate"},
          {"--frobnicate", "check"},
          {},
          {"--json"},
          {"frob"},
          {"check", "--bot", "NoSuchBot", "--game-dir", tree.cstrike()},
          {"check", "--bot", "11", "--game-dir", tree.cstrike()},
          {"check", "--yes", "--no", "--game-dir", tree.cstrike()},
          {"bots", "--game-dir"},
          {"check", "--game-dir", games / "no/such/cstrike/"},
          {"check", "--game-dir", tree.cstrike(), "--map-dir", games / "nomaps"},
          {"check", "--map-dir", tree.cstrike() + "cstrike.wad"}}) {
        CliResult r = Run(args);
        std::string shown = args.empty() ? "(none)" : args[0] + " " + args.back();
        EXPECT_EQ(r.code, 2) << shown << '\n' << r.err;
        EXPECT_FALSE(r.err.empty()) << shown;
        EXPECT_EQ(r.out, "") << shown;
        EXPECT_THAT(Tree(home), ElementsAre()) << shown;
    }
    CliResult r = Run({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_THAT(r.out, HasSubstr("check"));
}

TEST_F(CliTest, ResetDeletesTheSettings) {
    GameTree tree{games.path()};
    ASSERT_EQ(Run({"check"}).code, 0);
    ASSERT_TRUE(fs::exists(CuHive()));

    CliResult r = Run({"reset"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "Nodescan Notice: Nodescan Registry settings deleted.\n");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(CuHive()));
    EXPECT_FALSE(fs::exists(LmHive()));

    // The next run is a first run again and searches.
    r = Run({"check"});
    EXPECT_EQ(r.code, 0);
    EXPECT_THAT(r.err, HasSubstr("Searching for Counter Strike...."));

    // Nothing to delete: the same notice.
    Run({"reset"});
    r = Run({"reset"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "Nodescan Notice: Nodescan Registry settings deleted.\n");
}

TEST_F(CliTest, BotsTableWithComputedDirectories) {
    GameTree tree{games.path()};
    std::string c = tree.cstrike();
    std::string base = games / "Half-Life";
    tree.Add("PODBot/PodBot.cfg", "wptfolder mine\n");

    CliResult r = Run({"bots", "--game-dir", c});
    EXPECT_EQ(r.code, 0) << r.err;
    auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 12u) << r.out;
    EXPECT_THAT(lines[0], HasSubstr("Waypoint directory"));
    for (int i = 0; i < 11; ++i) EXPECT_EQ(lines[i + 1].rfind(std::to_string(i) + " ", 0), 0u);
    EXPECT_THAT(lines[1], HasSubstr("Pod Bot"));
    EXPECT_THAT(lines[1], HasSubstr(c + "PODBot/mine"));
    EXPECT_THAT(lines[11], HasSubstr(base + "/agrobot/cstrike/maps"));

    Json doc = RunJson({"bots", "--json", "--game-dir", c});
    ASSERT_TRUE(doc.is_array());
    ASSERT_EQ(doc.size(), 11u);
    for (int i = 0; i < 11; ++i) {
        EXPECT_THAT(Keys(doc[i]), ElementsAre("ext", "index", "name", "waypoint_dir"));
        EXPECT_EQ(doc[i]["index"], i);
    }
    EXPECT_EQ(doc[0], Json({{"index", 0},
                            {"name", "Pod Bot"},
                            {"ext", "pwf"},
                            {"waypoint_dir", c + "PODBot/mine"}}));
    EXPECT_EQ(doc[3]["waypoint_dir"], c + "JoeBot/wpjs");
    EXPECT_EQ(doc[4]["waypoint_dir"], c + "maps");
    EXPECT_EQ(doc[6]["waypoint_dir"], base + "/nnbot/nwps");
    EXPECT_EQ(doc[9]["waypoint_dir"], c + "realbot/learned/rbr");
    EXPECT_EQ(doc[10], Json({{"index", 10},
                             {"name", "AgroBot"},
                             {"ext", "agro"},
                             {"waypoint_dir", base + "/agrobot/cstrike/maps"}}));
}

TEST_F(CliTest, PlainCheckPrintsCaptionsColumnsAndCounters) {
    GameTree tree{games.path()};
    tree.AddMap("de_dust.bsp");
    tree.AddMap("cs_italy.bsp");
    tree.AddMap("as_oilrig.bsp");
    tree.AddPodWaypoint("de_dust.pwf", 7, "Mapper");

    CliResult r = Run({"check"});
    EXPECT_EQ(r.code, 0) << r.err;
    auto out = Lines(r.out);
    EXPECT_THAT(out, Contains(std::string("Missing Waypoints")));
    EXPECT_THAT(out, Contains(std::string("Have Waypoints")));
    EXPECT_THAT(out,
                Contains(::testing::MatchesRegex("Map Name +Last Edited +Version +Created By")));
    EXPECT_THAT(out, Contains(::testing::MatchesRegex("de_dust\\.bsp +[0-9/]+ +v2 +Mapper")));
    EXPECT_THAT(out, Contains(std::string("as_oilrig.bsp")));
    EXPECT_THAT(out, Contains(std::string("cs_italy.bsp")));
    EXPECT_THAT(out, Contains(std::string("Waypoints Missing: 2  Out of: 3")));
    // Status lines go to standard error, not into the tables.
    EXPECT_THAT(Lines(r.err), Contains(tree.cstrike() + "PODBot/wptdefault"));
    EXPECT_THAT(r.out, Not(HasSubstr("Searching")));

    r = Run({"check", "--redundant"});
    EXPECT_EQ(r.code, 0) << r.err;
    out = Lines(r.out);
    EXPECT_THAT(out, Contains(std::string("Existing Waypoints")));
    EXPECT_THAT(out, Contains(std::string("Redundant Waypoints")));
    EXPECT_THAT(out, Contains(std::string("Waypoints Missing: 0  Out of: 1")));
}
