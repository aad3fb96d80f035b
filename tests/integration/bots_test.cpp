// The bot table: extension rule, waypoint directory rules and stored rows.
#include "bots/bots.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "check/lists.h"
#include "core/state.h"
#include "platform/registry.h"
#include "settings/locator.h"
#include "support/run.h"

using namespace testenv;

namespace {
struct BotsTest : ::testing::Test {
    TempDir games;
    GameTree tree{games.path()};
    ProgramRun run{games.path()};

    int BoxesWithCaption(const std::string& caption) {
        int n = 0;
        for (const auto& c : run.Captions()) n += c == caption;
        return n;
    }
    BotRecord StoredRow(int bot) {
        BotRecord row{};
        RegKey key = RegKey::Open(Hive::CurrentUser, false);
        EXPECT_TRUE(key.ReadBinary("Bots" + std::to_string(bot), &row, sizeof row));
        return row;
    }
};
}  // namespace

TEST_F(BotsTest, ExtensionRuleReplacesEverythingAfterTheFirstDot) {
    struct {
        const char *name, *result;
        int redundant;
        ExtFor target;
    } cases[] = {{"de_dust.bsp", "de_dust.pwf", 0, ExtFor::Counterpart},
                 {"cs_town.final.bsp", "cs_town.pwf", 0, ExtFor::Counterpart},
                 {"de_dust.pwf", "de_dust.bsp", 1, ExtFor::Counterpart},
                 {"de_dust.bsp", "de_dust.pwf", 1, ExtFor::Waypoint}};
    for (const auto& c : cases) {
        checkredway = c.redundant;
        std::string name = c.name;
        EXPECT_EQ(SetBotExt(name, kPodBot, c.target), name.find('.') + 1);
        EXPECT_EQ(name, c.result);
    }
}

TEST_F(BotsTest, DirectoryRulesFollowTheGameDirectory) {
    EXPECT_EQ(MakeBotDirB("/agrobot/cstrike/maps", "/x/HL/cstrike"), "/x/HL/agrobot/cstrike/maps");
    EXPECT_EQ(MakeBotDirB("/nnbot/nwps", "/cstrike/"), "/nnbot/nwps");
    run.Start();
    std::string c = tree.cstrike(), base = games.path() + "/Half-Life";
    std::pair<int, std::string> rules[] = {
        {3, c + "JoeBot/wpjs"},         {4, c + "maps"},
        {6, base + "/nnbot/nwps"},      {7, base + "/teambot/cstrike"},
        {9, c + "realbot/learned/rbr"}, {10, base + "/agrobot/cstrike/maps"}};
    for (const auto& [bot, dir] : rules) EXPECT_EQ(GetBotWaypointDir(bot), dir) << bot;
}

TEST_F(BotsTest, MissingPodBotConfigDefaultsOnceWithAMessage) {
    run.Start();  // the first run computes every row, Pod Bot's included
    EXPECT_EQ(BoxesWithCaption("Error!"), 1);
    EXPECT_EQ(GetBotWaypointDir(kPodBot), tree.cstrike() + "PoDBot/wptdefault");
    EXPECT_EQ(BoxesWithCaption("Error!"), 1);
    // A later run takes the stored row and asks nothing.
    run.Restart();
    run.Start();
    EXPECT_EQ(GetBotWaypointDir(kPodBot), tree.cstrike() + "PoDBot/wptdefault");
    EXPECT_EQ(BoxesWithCaption("Error!"), 0);
}

TEST_F(BotsTest, PodBotConfigVariants) {
    struct Case {
        const char* cfg;
        const char* dir;  // after the game directory, in the folder on disk; nullptr: empty
    } cases[] = {
        {"; comment\nWPTFOLDER   mywpts\n", "podbot/mywpts"},
        {"bots 5\r\nwptfolder wpt cr\r\nwptfolder other\r\n", "podbot/wpt cr"},
        {"WptFolder  trailing  \n", "podbot/trailing  "},
        {"wptfolder last-line-without-break", "podbot/last-line-without-break"},
        {"# nothing here\n", nullptr},
    };
    run.Start();
    for (const auto& c : cases) {
        tree.Add("podbot/podbot.cfg", c.cfg);
        SetBotDir(kPodBot, "");
        std::string expected = c.dir ? tree.cstrike() + c.dir : "";
        EXPECT_EQ(GetBotWaypointDir(kPodBot), expected) << c.cfg;
    }
    // An empty result is not kept: the next call reads the file run.
    tree.Add("podbot/podbot.cfg", "wptfolder again\n");
    EXPECT_EQ(GetBotWaypointDir(kPodBot), tree.cstrike() + "podbot/again");
}

// The first run stores every row; later runs read them back with bounds.
TEST_F(BotsTest, FirstRunStoresEveryRowAndLaterRunsReadThem) {
    tree.Add("PODBot/PodBot.cfg", "wptfolder first\n");
    run.Start();
    BotRecord memory[kBotCount];
    std::memcpy(memory, Bots, sizeof memory);
    RegistryUnload();
    for (int i = 0; i < kBotCount; ++i) {
        BotRecord stored = StoredRow(i);
        EXPECT_EQ(std::memcmp(&stored, &memory[i], sizeof stored), 0) << i;
    }
    EXPECT_EQ(std::string(Bots[0].dir), tree.cstrike() + "PODBot/first");

    BotRecord row = Bots[4];
    std::memset(row.name, 'N', sizeof row.name);
    std::memset(row.ext, 'e', sizeof row.ext);
    row.id = 99;
    {
        RegKey key = RegKey::Open(Hive::CurrentUser, true);
        key.WriteBinary("Bots4", &row, sizeof row);
        key.WriteBinary("Bots5", "Short", 5);  // replaces only the first bytes of its row
    }
    tree.Add("PODBot/PodBot.cfg", "wptfolder second\n");
    run.Restart();
    run.Start();
    EXPECT_EQ(GetBotWaypointDir(kPodBot), tree.cstrike() + "PODBot/first");  // nothing computed
    EXPECT_EQ(GetBotName(4), std::string(32, 'N'));
    EXPECT_EQ(GetBotName(5), "Shortid Bot");
    run.ChooseBot(4);  // a row whose id is no row index still selects its own row
    EXPECT_EQ(run.Text(148), "eeeee");
}

TEST_F(BotsTest, StoredExtensionIsUsedByTheScan) {
    for (const char* map : {"de_dust.bsp", "de_nuke.bsp"}) tree.AddMap(map);
    tree.Add("JoeBot/wpjs/dir.txt", "std\n");
    tree.Add("JoeBot/wpjs/std/de_dust.wp2", VersionHeader(2));
    tree.Add("JoeBot/wpjs/std/de_nuke.wpj", VersionHeader(2));
    run.Start();
    SetBotExtA(kJoeBot, "wp2");
    SaveBot(kJoeBot);
    run.Restart();
    run.Start();
    run.ChooseBot(kJoeBot);
    run.PressAndWait(1);
    EXPECT_THAT(run.RightNames(), ::testing::ElementsAre("de_dust.bsp"));
    EXPECT_THAT(run.LeftNames(), ::testing::ElementsAre("de_nuke.bsp"));
}
