// The missing- and redundant-waypoint checks on real directory trees.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <optional>

#include "app/state.h"
#include "support/run.h"

using namespace testenv;
using ::testing::ElementsAre;

namespace {
struct ScanTest : ::testing::Test {
    TempDir games;
    GameTree tree{games.path()};
    ProgramRun run{games.path()};

    std::uint32_t RightKey(int row) { return headless::Rows(md, 123).at(row).key; }
    std::uint32_t LeftKey(int row) { return headless::Rows(md, 101).at(row).key; }
};
}  // namespace

TEST_F(ScanTest, MissingCheckSplitsMapsByWaypoint) {
    tree.AddMap("de_dust.bsp");
    tree.AddMap("cs_italy.bsp");
    tree.AddPodWaypoint("de_dust.pwf", 7, "Mapper");
    run.Start();
    run.PressAndWait(1);

    EXPECT_THAT(run.RightNames(), ElementsAre("de_dust.bsp"));
    EXPECT_EQ(RightKey(0), 0u);
    EXPECT_THAT(run.LeftNames(), ElementsAre("cs_italy.bsp"));
    EXPECT_EQ(LeftKey(0), 0u);  // its place in the map list (listing order)
    EXPECT_EQ(run.Text(112), "1");
    EXPECT_EQ(run.Text(115), "2");
    EXPECT_EQ(run.Text(141), "Have Waypoints");
    EXPECT_EQ(run.Text(125), "Missing Waypoints");

    auto row = headless::Rows(md, 123).at(0);
    EXPECT_EQ(row.cells.at(2), "v2");
    EXPECT_EQ(row.cells.at(3), "Mapper");
    EXPECT_EQ(row.color, MakeRGB(0, 0, 255));
    EXPECT_EQ(headless::Rows(md, 101).at(0).color, MakeRGB(255, 0, 0));
    EXPECT_STREQ(MY[0].name, "de_dust.bsp");
    EXPECT_STREQ(MY[0].author, "Mapper");
    EXPECT_EQ(std::string(MY[0].dir), tree.cstrike() + "PODBot/wptdefault");
}

TEST_F(ScanTest, RedundantCheckListsWaypointsWithoutMaps) {
    tree.AddMap("de_dust.bsp");
    tree.AddPodWaypoint("de_dust.pwf", 6, "A");
    tree.AddPodWaypoint("oldmap.pwf", 5, "B");
    run.Start();
    run.PressAndWait(139);

    EXPECT_EQ(run.Text(141), "Redundant Waypoints");
    EXPECT_EQ(run.Text(125), "Existing Waypoints");
    EXPECT_EQ(checkredway, 1);
    EXPECT_THAT(run.LeftNames(), ElementsAre("de_dust.pwf"));
    EXPECT_THAT(run.RightNames(), ElementsAre("oldmap.pwf"));
    EXPECT_EQ(RightKey(0), 0u);
    EXPECT_EQ(headless::Rows(md, 123).at(0).cells.at(2), "Pre v1.4");
    EXPECT_EQ(run.Text(112), "1");
    EXPECT_EQ(run.Text(115), "2");

    // And back: the captions and the mode follow the new check.
    run.PressAndWait(1);
    EXPECT_EQ(run.Text(141), "Have Waypoints");
    EXPECT_EQ(checkredway, 0);
    EXPECT_THAT(run.RightNames(), ElementsAre("de_dust.bsp"));
}

TEST_F(ScanTest, NamesThatDifferInCaseBelongTogether) {
    tree.AddMap("de_dust.bsp");
    tree.AddMap("De_Train.BSP");
    tree.AddPodWaypoint("DE_DUST.PWF", 7, "X");
    tree.AddPodWaypoint("de_train.pwf", 7, "Y");
    run.Start();
    run.PressAndWait(1);
    EXPECT_THAT(run.RightNames(), ElementsAre("de_dust.bsp", "De_Train.bsp"));
    EXPECT_TRUE(run.LeftNames().empty());

    run.PressAndWait(139);
    EXPECT_THAT(run.LeftNames(), ElementsAre("DE_DUST.pwf", "de_train.pwf"));
    EXPECT_TRUE(run.RightNames().empty());
}

TEST_F(ScanTest, MultiDotNamesUseTheTextBeforeTheFirstDot) {
    tree.AddMap("cs_town.final.bsp");
    tree.AddMap("de_x.bsp");
    tree.AddPodWaypoint("cs_town.pwf", 7, "T");
    tree.AddPodWaypoint("de_x.old.pwf", 8, "U");
    run.Start();
    run.PressAndWait(1);
    EXPECT_THAT(run.RightNames(), ElementsAre("cs_town.bsp"));
    EXPECT_THAT(run.LeftNames(), ElementsAre("de_x.bsp"));

    // cs_town.pwf serves cs_town.final.bsp, so it is not redundant;
    // de_x.old.pwf is tested as de_x.bsp and shown as de_x.pwf.
    run.PressAndWait(139);
    EXPECT_THAT(run.LeftNames(), ElementsAre("cs_town.pwf", "de_x.pwf"));
    EXPECT_TRUE(run.RightNames().empty());
}

TEST_F(ScanTest, RedundantRowReadsTheListedFile) {
    tree.AddPodWaypoint("gone.v2.pwf", 9, "Reader");
    run.Start();
    run.PressAndWait(139);
    ASSERT_THAT(run.RightNames(), ElementsAre("gone.pwf"));
    auto row = headless::Rows(md, 123).at(0);
    EXPECT_EQ(row.cells.at(2), "v4");
    EXPECT_EQ(row.cells.at(3), "Reader");
}

TEST_F(ScanTest, ListsFollowTheListingOrder) {
    for (const char* m : {"dea.bsp", "de_dust.bsp", "Cs_b.bsp", "cs_a.bsp"}) tree.AddMap(m);
    run.Start();
    run.PressAndWait(1);
    // Upper-case folding puts '_' (0x5F) after letters.
    EXPECT_THAT(run.LeftNames(), ElementsAre("cs_a.bsp", "Cs_b.bsp", "dea.bsp", "de_dust.bsp"));
}

TEST_F(ScanTest, EmptyMapDirectoryGivesEmptyListsAndZeroCounters) {
    run.Start();
    run.PressAndWait(1);
    EXPECT_TRUE(run.LeftNames().empty());
    EXPECT_TRUE(run.RightNames().empty());
    EXPECT_EQ(run.Text(112), "0");
    EXPECT_EQ(run.Text(115), "0");
}

TEST_F(ScanTest, UnreadableWaypointIsStillListed) {
    tree.AddMap("de_dust.bsp");
    tree.AddPodWaypoint("placeholder.pwf", 7, "x");
    // A directory of the waypoint's name: it exists but cannot be read as a file.
    MakeDirs(tree.cstrike() + "PODBot/wptdefault/de_dust.pwf");
    run.Start();
    run.PressAndWait(1);
    ASSERT_THAT(run.RightNames(), ElementsAre("de_dust.bsp"));
    auto row = headless::Rows(md, 123).at(0);
    EXPECT_EQ(row.cells.at(2), "");
    EXPECT_EQ(row.cells.at(3), "N/A");
}

TEST_F(ScanTest, SecondScanStartsFromEmptyListsAndRecords) {
    tree.AddMap("a.bsp");
    tree.AddMap("b.bsp");
    tree.AddPodWaypoint("a.pwf", 7, "x");
    tree.AddPodWaypoint("b.pwf", 7, "y");
    run.Start();
    run.PressAndWait(1);
    ASSERT_EQ(run.RightNames().size(), 2u);
    std::remove((tree.cstrike() + "PODBot/wptdefault/b.pwf").c_str());
    run.PressAndWait(1);
    EXPECT_THAT(run.RightNames(), ElementsAre("a.bsp"));
    EXPECT_EQ(MY[1].name[0], 0);
    EXPECT_THAT(run.LeftNames(), ElementsAre("b.bsp"));
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
    EXPECT_EQ(run.LeftNames().size(), 4000u);
    EXPECT_EQ(run.LeftNames().back(), "m03999.bsp");
    bool reported = false;
    for (const auto& line : run.Status()) reported |= line.rfind("4 names not checked", 0) == 0;
    EXPECT_TRUE(reported);
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
    EXPECT_EQ(rows[0].cells.at(3), "team1");
    EXPECT_EQ(rows[0].cells.at(2), "4");
    EXPECT_EQ(rows[1].cells.at(3), "team2");
    EXPECT_EQ(RightKey(1), 1u);
    EXPECT_THAT(run.LeftNames(), ElementsAre("as_oil.bsp", "cs_italy.bsp"));
    EXPECT_EQ(LeftKey(1), 1u);
    EXPECT_EQ(run.Text(112), "2");
    EXPECT_EQ(run.Text(115), "4");
}

TEST_F(JoeBotTest, StandardSetAndLastLineWithoutBreak) {
    tree.Add("JoeBot/wpjs/dir.txt", "std");
    run.Start();
    run.ChooseBot(3);
    run.PressAndWait(1);
    EXPECT_THAT(run.RightNames(), ElementsAre("cs_italy.bsp"));
    EXPECT_EQ(headless::Rows(md, 123).at(0).cells.at(3), "Standard");
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
}

TEST_F(JoeBotTest, MissingDirTxtAndRedundantCheckStopEarly) {
    run.Start();
    run.ChooseBot(3);
    run.PressAndWait(1);
    EXPECT_THAT(run.Captions(), ::testing::Contains("Error!"));
    EXPECT_EQ(headless::MessageBoxes().back().text,
              "JoeBot Waypoint Dir File not FOUND! Cannot Continue");
    EXPECT_TRUE(run.LeftNames().empty());

    tree.Add("JoeBot/wpjs/dir.txt", "team1\n");
    run.PressAndWait(139);
    EXPECT_EQ(run.Status().back(), "JoeBot not supported yet..");
    EXPECT_TRUE(run.LeftNames().empty());
    EXPECT_TRUE(run.RightNames().empty());
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
