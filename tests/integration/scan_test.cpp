// The missing- and redundant-waypoint checks on real directory trees.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <sstream>

#include "bots/bots.h"
#include "check/lists.h"
#include "core/state.h"
#include "settings/locator.h"
#include "support/run.h"

using namespace testenv;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::StartsWith;

namespace {
struct ScanTest : ::testing::Test {
    TempDir games;
    GameTree tree{games.path()};
    ProgramRun run{games.path()};

    std::uint32_t RightKey(int row) { return headless::Rows(md, 123).at(row).key; }
    std::uint32_t LeftKey(int row) { return headless::Rows(md, 101).at(row).key; }
};
}  // namespace

TEST_F(ScanTest, RowsCarryKeysAndRecordsOfTheWaypointFile) {
    for (const char* map : {"de_dust.bsp", "cs_italy.bsp"}) tree.AddMap(map);
    tree.AddPodWaypoint("de_dust.pwf", 7, "Mapper");
    tree.AddPodWaypoint("gone.v2.pwf", 9, "Reader");
    run.Start();
    run.PressAndWait(1);
    EXPECT_THAT(run.RightNames(), ElementsAre("de_dust.bsp"));
    EXPECT_EQ(RightKey(0), 0u);
    EXPECT_THAT(run.LeftNames(), ElementsAre("cs_italy.bsp"));
    EXPECT_EQ(LeftKey(0), 0u);  // its place in the map list (listing order)
    EXPECT_STREQ(MY[0].name, "de_dust.bsp");
    EXPECT_STREQ(MY[0].author, "Mapper");
    EXPECT_EQ(std::string(MY[0].dir), tree.cstrike() + "PODBot/wptdefault");
    // A redundant row reads the file as listed, and shows it under the bot's extension.
    run.PressAndWait(139);
    ASSERT_THAT(run.RightNames(), ElementsAre("gone.pwf"));
    auto row = headless::Rows(md, 123).at(0);
    EXPECT_EQ(row.cells.at(2) + " " + row.cells.at(3), "v4 Reader");
    EXPECT_EQ(run.Text(141), "Redundant Waypoints");
}

// Which list each name goes to, under which shown name, in which order.
// Names are separated by blanks; counters are "missing of listed".
TEST_F(ScanTest, BothChecksSortNamesIntoTheTwoLists) {
    struct Case {
        const char *maps, *waypoints;
        int button;
        const char *left, *right, *counters;
    } cases[] = {
        {"de_dust.bsp", "de_dust.pwf oldmap.pwf", 139, "de_dust.pwf", "oldmap.pwf", "1 of 2"},
        // Names that differ in case belong together.
        {"de_dust.bsp De_Train.BSP", "DE_DUST.PWF de_train.pwf", 1, "", "de_dust.bsp De_Train.bsp",
         "0 of 2"},
        {"de_dust.bsp De_Train.BSP", "DE_DUST.PWF de_train.pwf", 139, "DE_DUST.pwf de_train.pwf",
         "", "0 of 2"},
        // Everything after the first dot is replaced; cs_town.pwf serves
        // cs_town.final.bsp, so it is not redundant.
        {"cs_town.final.bsp de_x.bsp", "cs_town.pwf de_x.old.pwf", 1, "de_x.bsp", "cs_town.bsp",
         "1 of 2"},
        {"cs_town.final.bsp de_x.bsp", "cs_town.pwf de_x.old.pwf", 139, "cs_town.pwf de_x.pwf", "",
         "0 of 2"},
        // Upper-case folding puts '_' (0x5F) after letters.
        {"dea.bsp de_dust.bsp Cs_b.bsp cs_a.bsp", "", 1, "cs_a.bsp Cs_b.bsp dea.bsp de_dust.bsp",
         "", "4 of 4"},
        {"", "", 1, "", "", "0 of 0"},
    };
    auto join = [](const std::vector<std::string>& names) {
        std::string out;
        for (const auto& n : names) out += (out.empty() ? "" : " ") + n;
        return out;
    };
    run.Start();
    for (const auto& c : cases) {
        TempDir dir;
        GameTree t{dir.path()};
        t.Add("PODBot/PodBot.cfg", "wptfolder wpts\n");
        MakeDirs(t.cstrike() + "PODBot/wpts");
        std::istringstream maps(c.maps), waypoints(c.waypoints);
        for (std::string m; maps >> m;) t.AddMap(m);
        for (std::string w; waypoints >> w;) t.Add("PODBot/wpts/" + w, PodBotHeader(7, "x"));
        SetDirectoryOverride(t.cstrike(), "");
        SetBotDir(kPodBot, "");
        research = 1;
        run.PressAndWait(c.button);
        EXPECT_EQ(join(run.LeftNames()), c.left) << c.maps;
        EXPECT_EQ(join(run.RightNames()), c.right) << c.maps;
        EXPECT_EQ(run.Text(112) + " of " + run.Text(115), c.counters) << c.maps;
    }
}

TEST_F(ScanTest, TooManyOrTooLongNamesAreCountedNotOverrun) {
    for (int i = 0; i < kMaxMaps + 3; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "m%05d.bsp", i);
        tree.AddMap(name);
    }
    tree.AddMap(std::string(64, 'z') + ".bsp");
    run.Start();
    run.PressAndWait(1);
    EXPECT_EQ(run.Text(115), "4000");
    EXPECT_EQ(run.LeftNames().back(), "m03999.bsp");
    EXPECT_THAT(run.Status(), Contains(StartsWith("4 names not checked")));
}

namespace {
struct JoeBotTest : ScanTest {
    void SetUp() override {
        for (const char* m : {"de_dust.bsp", "cs_italy.bsp", "de_nuke.bsp", "as_oil.bsp"})
            tree.AddMap(m);
        tree.Add("JoeBot/wpjs/team1/de_dust.wpj", VersionHeader(4));
        tree.Add("JoeBot/wpjs/team2/de_dust.wpj", VersionHeader(5));
        tree.Add("JoeBot/wpjs/team2/de_nuke.wpj", VersionHeader(6));
        tree.Add("JoeBot/wpjs/std/cs_italy.wpj", VersionHeader(7));
    }
};
}  // namespace

TEST_F(JoeBotTest, SetsAreTestedInDirTxtOrder) {
    tree.Add("JoeBot/wpjs/dir.txt", "# sets\r\n\r\nteam1\r\nteam2\r\n");
    run.Start();
    run.ChooseBot(3);
    run.PressAndWait(1);
    // de_dust's row comes from team1, the first set that has it.
    EXPECT_THAT(run.RightNames(), ElementsAre("de_dust.bsp", "de_nuke.bsp"));
    auto rows = headless::Rows(md, 123);
    EXPECT_EQ(rows[0].cells.at(2) + " " + rows[0].cells.at(3) + " " + rows[1].cells.at(3),
              "4 team1 team2");
    EXPECT_EQ(RightKey(1) + LeftKey(1), 2u);
    EXPECT_THAT(run.LeftNames(), ElementsAre("as_oil.bsp", "cs_italy.bsp"));
    EXPECT_EQ(run.Text(112) + " of " + run.Text(115), "2 of 4");
}

// The set is named as dir.txt names it; only "std" itself is the standard set.
TEST_F(JoeBotTest, StandardSetAndLastLineWithoutBreak) {
    run.Start();
    run.ChooseBot(3);
    for (auto [line, author] : {std::pair{"std", "Standard"}, std::pair{"STD", "STD"}}) {
        tree.Add("JoeBot/wpjs/dir.txt", line);
        run.PressAndWait(1);
        EXPECT_THAT(run.RightNames(), ElementsAre("cs_italy.bsp"));
        EXPECT_EQ(headless::Rows(md, 123).at(0).cells.at(3), author);
    }
}

TEST_F(JoeBotTest, DirTxtWithoutSetsReportsEveryMapMissing) {
    tree.Add("JoeBot/wpjs/dir.txt", "# no sets yet\n\n");
    run.Start();
    run.ChooseBot(3);
    run.PressAndWait(1);
    EXPECT_TRUE(run.RightNames().empty());
    EXPECT_THAT(run.LeftNames(),
                ElementsAre("as_oil.bsp", "cs_italy.bsp", "de_dust.bsp", "de_nuke.bsp"));
    EXPECT_EQ(run.Text(112), "4");
    EXPECT_EQ(run.Text(115), "4");
    // Both counters are set by every check, also one of no maps.
    std::filesystem::remove_all(tree.maps());
    MakeDirs(tree.maps());
    run.PressAndWait(1);
    EXPECT_EQ(run.Text(112), "0");
    EXPECT_EQ(run.Text(115), "0");
}

TEST_F(ScanTest, LastEditedIsTheLocalDayAndTheSortKeyTheUtcDay) {
    struct LocalZone {  // five hours behind UTC, no summer time
        std::optional<ScopedEnv> tz{std::in_place, "TZ", "EST5"};
        LocalZone() { tzset(); }
        ~LocalZone() {
            tz.reset();
            tzset();
        }
    } zone;
    tree.AddMap("de_dust.bsp");
    tree.AddPodWaypoint("de_dust.pwf", 7, "Late");
    SetLocalMTime(tree.cstrike() + "PODBot/wptdefault/de_dust.pwf", 2001, 12, 4, 23, 30);
    run.Start();
    run.PressAndWait(1);
    EXPECT_EQ(headless::Rows(md, 123).at(0).cells.at(1), "04/12/2001");
    EXPECT_EQ(MY[0].dosDate, (2001u - 1980u) * 512u + 12u * 32u + 5u);  // 04:30 UTC on the 5th
}
