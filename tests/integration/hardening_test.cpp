// Hostile input met as users meet it, through nodescan-cli and the headless
// window: odd bytes, files that are not regular files, directories that are
// missing or have no path, a moved installation, long paths, shared and
// damaged settings.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <sstream>

#include "app/nodescan.h"
#include "bots/bots.h"
#include "core/state.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "support/cli.h"
#include "support/run.h"

using namespace testenv;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using Json = nlohmann::json;
namespace fs = std::filesystem;

namespace {
void Fifo(const std::string& path) {
    MakeDirs(fs::path(path).parent_path().string());
    ASSERT_EQ(Shell("mkfifo -m 600 " + ShellWord(path)), 0) << path;
}

std::vector<std::string> Names(const Json& list) {
    std::vector<std::string> names;
    for (const auto& row : list["rows"]) names.push_back(row["name"]);
    return names;
}

bool AnyLineHas(const Json& lines, const std::string& part) {
    for (const auto& l : lines)
        if (l.get<std::string>().find(part) != std::string::npos) return true;
    return false;
}
}  // namespace

TEST(ShownText, ValidUtf8StaysOtherBytesAreWindows1252AndCutsKeepCharacters) {
    struct {
        std::string bytes, shown;
    } cases[] = {
        {"J\xc3\xb6rg", "J\xc3\xb6rg"},                    // UTF-8 already
        {"J\xf6rg", "J\xc3\xb6rg"},                        // Latin-1 ö
        {"\x80 \x9f", "\xe2\x82\xac \xc5\xb8"},            // € and Ÿ
        {"\x81", "\xc2\x81"},                              // unassigned: its C1 control
        {"\xc0\xaf", "\xc3\x80\xc2\xaf"},                  // overlong: not UTF-8
        {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\xe2\x82\xac"},  // a surrogate: not UTF-8
        {"\xe2\x82", "\xc3\xa2\xe2\x80\x9a"},              // cut sequence
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShownText(c.bytes), c.shown) << c.bytes;
        EXPECT_TRUE(IsValidUtf8(ShownText(c.bytes))) << c.bytes;
    }
    std::string oe = "\xc3\xb6";
    EXPECT_EQ(FitText(oe + oe + oe, 5), 4u);    // never half an ö
    EXPECT_EQ(FitText("\xf6\xf6\xf6", 2), 2u);  // 8-bit text: bytes are characters
    EXPECT_EQ(FirstChars(oe + oe + "x", 2), oe + oe);
}

TEST_F(CliTest, NamesAndAuthorsOfAnyBytesAreShownAndNeverBreakTheOutput) {
    LINUX_ONLY("file names with control characters, which Windows does not allow");
    GameTree tree{games.path()};
    for (const char* map : {"de_caf\xe9.bsp", "de_a\nb.bsp", "de_\x1b[31mred.bsp"})
        tree.AddMap(map);
    tree.AddPodWaypoint("de_caf\xe9.pwf", 7, "J\xf6rg \x80");

    Json doc = RunJson({"check", "--json", "--game-dir", tree.cstrike()});
    ASSERT_EQ(doc["right"]["rows"].size(), 1u);
    EXPECT_EQ(doc["right"]["rows"][0]["name"], "de_caf\xc3\xa9.bsp");
    EXPECT_EQ(doc["right"]["rows"][0]["author"], "J\xc3\xb6rg \xe2\x82\xac");
    EXPECT_THAT(Names(doc["left"]), ElementsAre("de_\x1b[31mred.bsp", "de_a\nb.bsp"));

    CliResult r = Run({"check", "--game-dir", tree.cstrike()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("de_caf\xc3\xa9.bsp"));
    EXPECT_THAT(Lines(r.out), Contains("de_a\\nb.bsp"));
    EXPECT_THAT(Lines(r.out), Contains("de_\\x1b[31mred.bsp"));
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);

    // Typed text is kept as UTF-8 and cut only between characters.
    std::string oe = "\xc3\xb6", thirty, kept;
    for (int i = 0; i < 30; ++i) thirty += oe;
    for (int i = 0; i < 24; ++i) kept += oe;
    r = Run({"sites", "set", "2", "name", thirty});
    EXPECT_EQ(r.code, 0) << r.err;
    doc = RunJson({"sites", "--json"});
    EXPECT_EQ(doc[2]["name"], kept);
}

// A pipe where a file belongs is unreadable, never waited for.
TEST_F(CliTest, FilesThatAreNotRegularFilesNeverHang) {
    LINUX_ONLY("Windows has no named pipes in its file systems");
    struct {
        const char *pipe, *bot;
        int code;
        const char* err;
    } cases[] = {
        {"PODBot/wptdefault/de_aztec.pwf", "0", 0, ""},  // listed, its header unread
        {"PODBot/PodBot.cfg", "0", 1, "Note: PODBot Config File not found."},
        {"JoeBot/wpjs/dir.txt", "3", 1,
         "Error!: JoeBot Waypoint Dir File not FOUND! Cannot Continue\nCannot read "},
        {"maps/de_pipe.bsp", "0", 1, ""},
    };
    for (const auto& c : cases) {
        TempDir dir;
        GameTree tree{dir.path()};
        tree.AddMap("de_aztec.bsp");
        if (c.code == 0) tree.AddPodWaypoint("other.pwf", 7, "x");
        Fifo(tree.cstrike() + c.pipe);
        CliResult r = Run({"check", "--json", "--bot", c.bot, "--game-dir", tree.cstrike()});
        EXPECT_EQ(r.code, c.code) << c.pipe << '\n' << r.err;
        EXPECT_THAT(r.err, HasSubstr(c.err)) << c.pipe;
        Json doc = Json::parse(r.out, nullptr, false);
        if (c.code == 0) {
            ASSERT_EQ(doc["right"]["rows"].size(), 1u);
            EXPECT_EQ(doc["right"]["rows"][0]["author"], "N/A");
            EXPECT_EQ(doc["right"]["rows"][0]["version"], "");
        }
    }
}

// A check that could not look is never taken for one that found nothing.
TEST_F(CliTest, IncompleteChecksNameWhatTheyCouldNotRead) {
    struct Case {
        const char *args, *status;  // the status line that names it; "" for a complete check
        std::function<void(const GameTree&)> make;
    } cases[] = {
        {"check", "The waypoint directory of Pod Bot is not set",
         [](const GameTree& t) { t.Add("PODBot/PodBot.cfg", "# no wptfolder line\n"); }},
        {"check", "PODBot/nowhere: No such file or directory",
         [](const GameTree& t) { t.Add("PODBot/PodBot.cfg", "wptfolder nowhere\n"); }},
        {"check", "maps: Not a directory",
         [](const GameTree& t) { fs::remove_all(t.maps()), t.Add("maps", ""); }},
        {"check --redundant", "maps: No such file or directory",
         [](const GameTree& t) {
             t.AddPodWaypoint("de_dust.pwf", 7, "x");
             fs::remove_all(t.maps());
         }},
        {"check --bot 3", "JoeBot/wpjs/dir.txt: No such file", [](const GameTree&) {}},
        {"check --redundant --bot 3", "JoeBot not supported yet..",
         [](const GameTree& t) { t.Add("JoeBot/wpjs/dir.txt", "std\n"); }},
        {"check", "", [](const GameTree& t) { MakeDirs(t.cstrike() + "PODBot/mine"); }},
    };
    for (const auto& c : cases) {
        TempDir dir;
        GameTree tree{dir.path()};
        tree.AddMap("de_dust.bsp");
        tree.Add("PODBot/PodBot.cfg", "wptfolder mine\n");
        c.make(tree);
        // Waypoints in the current directory never count.
        cwd = dir.path();
        WriteFile(dir / "de_dust.pwf", PodBotHeader(7, "cwd"));
        std::istringstream words(c.args);
        std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
        args.insert(args.end(), {"--json", "--game-dir", tree.cstrike()});
        Json doc = RunJson(args, *c.status ? 1 : 0);
        EXPECT_EQ(doc["complete"], !*c.status) << c.status;
        EXPECT_TRUE(doc["right"]["rows"].empty()) << c.status;
        EXPECT_TRUE(!*c.status || AnyLineHas(doc["status"], c.status)) << c.status;
    }
}

TEST(MovedInstallation, StoredBotDirectoriesMoveWithTheGame) {
    TempDir games;
    GameTree old{games / "old"};
    old.AddMap("de_dust.bsp");
    old.AddPodWaypoint("de_dust.pwf", 7, "Mapper");
    ProgramRun run{games.path()};
    run.Start();  // a first run: stores every bot row with its directory
    SetBotDir(4, "/srv/hpb");
    SaveBot(4);

    fs::rename(games / "old", games / "new");
    std::string game = games / "new/Half-Life/cstrike/";
    run.Restart();
    run.Start();
    run.PressAndWait(1);
    EXPECT_THAT(run.Status(), Contains("Counter Strike Found at " + game));
    EXPECT_THAT(run.RightNames(), ElementsAre("de_dust.bsp"));
    EXPECT_EQ(GetBotDir(0), game + "PODBot/wptdefault");
    EXPECT_EQ(GetBotDir(6), games / "new/Half-Life/nnbot/nwps");
    EXPECT_EQ(GetBotDir(4), "/srv/hpb");  // set elsewhere: stays

    run.Restart();  // and the stored rows say so
    run.Start();
    EXPECT_EQ(GetBotDir(0), game + "PODBot/wptdefault");
}

TEST_F(CliTest, LongPathsAreUsedWholeAndNeverStoredCut) {
    std::string deep = games / (std::string(150, 'a') + "/" + std::string(120, 'b'));
    GameTree tree{deep};
    tree.AddMap("de_dust.bsp");
    tree.AddPodWaypoint("de_dust.pwf", 7, "Mapper");
    tree.Add("JoeBot/wpjs/dir.txt", "std\n");
    tree.Add("JoeBot/wpjs/std/de_dust.wpj", VersionHeader(3));
    ASSERT_GT(tree.cstrike().size(), 259u);

    for (const std::string bot : {"0", "3"}) {
        Json doc = RunJson({"check", "--json", "--bot", bot});
        EXPECT_EQ(doc["game_dir"], tree.cstrike());
        EXPECT_THAT(Names(doc["right"]), ElementsAre("de_dust.bsp")) << bot;
    }
    // The stored game directory is read back whole: no second search.
    EXPECT_THAT(Run({"check"}).err, Not(HasSubstr("Searching")));

    // The window stores its bot rows: a directory that does not fit is left
    // to be computed again, never cut.
    ProgramRun run{games.path()};
    run.Start();
    run.PressAndWait(1);
    EXPECT_THAT(run.RightNames(), ElementsAre("de_dust.bsp"));
    RegistryUnload();
    BotRecord row{};
    ASSERT_TRUE(RegKey::Open(Hive::CurrentUser, false).ReadBinary("Bots0", &row, sizeof row));
    EXPECT_EQ(row.dir[0], 0);
}

TEST_F(CliTest, SettingsNoticesReachTheUserAndAFirstRunStaysOne) {
    LINUX_ONLY("the settings files (the registry on Windows)");
    GameTree tree{games.path()};
    tree.AddPodWaypoint("de_dust.pwf", 7, "x");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"check"}, {"bots"}, {"sites"}, {"check", "--redundant"}}) {
        EXPECT_EQ(Run(args).code, 0);
        EXPECT_FALSE(fs::exists(CuHive())) << args[0];
    }
    EXPECT_EQ(Run({"sites", "set", "2", "host", "mirror.example"}).code, 0);
    EXPECT_THAT(ReadFile(CuHive()), HasSubstr("\"Site2\""));
    EXPECT_THAT(ReadFile(CuHive()), Not(HasSubstr("\"Bots0\"")));

    // A damaged settings file is moved aside, and the user is told.
    WriteFile(CuHive(), "not a settings file");
    CliResult r = Run({"check", "--json"});
    EXPECT_THAT(r.err, HasSubstr("moved aside"));
    Json doc = Json::parse(r.out, nullptr, false);
    EXPECT_TRUE(AnyLineHas(doc["status"], "moved aside"));

    // Old settings: a read-only run says so and leaves them as they are.
    std::string old =
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Nodescan]\r\n"
        "\"Default Bot\"=dword:00000004\r\n";
    WriteFile(CuHive(), old);
    r = Run({"bots"});
    EXPECT_THAT(r.err, HasSubstr("HKEY_CURRENT_USER.reg are incompatible: this run uses the "
                                 "defaults and leaves them as they are"));
    EXPECT_EQ(ReadFile(CuHive()), old);

    // A relative search root stores an absolute game directory.
    fs::remove_all(ConfigDir());
    roots = ".";
    cwd = games.path();
    EXPECT_EQ(Run({"check"}).code, 0);
    EXPECT_THAT(ReadFile(LmHive()), HasSubstr("\"CSDir\"=\"" + tree.cstrike() + "\""));
}
