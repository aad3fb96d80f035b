// The game locator: the search of the roots, the stored game and map
// directories, research and the never-freed blocks it hands out, the old
// settings file.
#include "settings/locator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "app/nodescan.h"
#include "check/scan.h"
#include "check/scanrunner.h"
#include "core/state.h"
#include "platform/memory.h"
#include "platform/registry.h"
#include "platform/threads.h"
#include "support/run.h"

using namespace testenv;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {
const char* const kSearching = "Searching for Counter Strike....";
const char* const kNextDrive = "Searching Next Drive...";

void StoreDir(const char* name, const std::string& dir) {
    RegKey::Open(Hive::LocalMachine, true).WriteString(name, dir);
    RegistryUnload();
}
}  // namespace

TEST(Locator, TheRootsAreSearchedInOrderAndTheGameIsStoredForTheNextStart) {
    // A game at the top of a root is the root itself, spelled with one '/'.
    TempDir games;
    WriteFile(games / "first/deep/readme.txt", "no game here");
    WriteFile(games / "third/cstrike.wad", "WAD3");
    GameTree fourth{games / "fourth"};  // never reached: the third one wins
    const char sep = kRootSeparator;
    ProgramRun run{games / "first" + sep + games / "missing" + sep + games / "third/" + sep +
                   games / "fourth"};
    run.Start();
    EXPECT_THAT(run.Captions(), ElementsAre("Directory ERROR!", "ERROR!", "Error!"));
    EXPECT_THAT(run.Status(), ElementsAre(kSearching, kNextDrive, kNextDrive,
                                          "Counter Strike Found at " + games / "third/"));
    RegistryUnload();  // read as the next start reads them
    std::string cs, maps;
    RegKey lm = RegKey::Open(Hive::LocalMachine, false);
    EXPECT_TRUE(lm.ReadString("CSDir", &cs, 4096) && lm.ReadString("MapDir", &maps, 4096));
    EXPECT_EQ(cs + "|" + maps, games / "third/|" + games / "third/maps");
    // The next start takes both from the settings: no search, no message.
    run.Restart();
    run.Start();
    EXPECT_TRUE(run.Status().empty() && run.Captions().empty());
    EXPECT_EQ(std::string(GetMdir()), games / "third/maps");
}

TEST(Locator, ResearchLooksTheDirectoriesUpAgain) {
    TempDir games;
    GameTree tree{games.path()};
    GameTree other{games / "Half-Life/other"};
    ProgramRun run{games.path()};
    run.Start();
    const char* c1 = GetCdir();
    EXPECT_EQ(GetCdir(), c1) << "cached while research is 0";
    research = 1;  // each lookup reads the settings again, into a new block
    EXPECT_NE(GetCdir(), GetCdir());
    EXPECT_NE(GetMdir(), GetMdir());
    CollectBlocks();
    EXPECT_STREQ(c1, tree.cstrike().c_str()) << "blocks handed out earlier stay intact";
    StoreDir("CSDir", other.cstrike());
    EXPECT_EQ(std::string(GetCdir()), other.cstrike());
    // A scan that ends normally clears research; one ended by the search
    // (the game is gone from every root) keeps it.
    StoreDir("CSDir", tree.cstrike());
    run.PressAndWait(1);
    EXPECT_EQ(research, 0);
    research = 1;
    std::filesystem::remove_all(games / "Half-Life");
    run.PressAndWait(1);
    EXPECT_EQ(research, 1);
    EXPECT_EQ(run.Captions().back(), "FATAL ERROR!");
}

TEST(Locator, AnOldSettingsFileIsDeletedWithANotice) {
    TempDir games;
    GameTree tree{games.path()};
    ProgramRun run{games.path()};
    std::string ini = run.configDir() + "/NodeScan.INI";
    WriteFile(ini, "[Nodescan]\nbot=0\n");
    run.Start();
    research = 1;  // looked for at every lookup, but gone now: no second notice
    GetCdir();
    auto captions = run.Captions();
    EXPECT_EQ(std::count(captions.begin(), captions.end(), "OLD version files found!"), 1);
    EXPECT_EQ(headless::MessageBoxes()[0].text,
              "INI file from old version found! I will now delete it....");
    EXPECT_THAT(run.Status(), ::testing::Contains("Deleting old INI file"));
    EXPECT_FALSE(std::filesystem::exists(ini));
    LINUX_ONLY("the settings files (the registry on Windows)");
    EXPECT_TRUE(std::filesystem::exists(HiveFilePath(Hive::LocalMachine)));
    // The temporary directory lies under the program's home too.
    EXPECT_EQ(std::string(GetTempDir()), run.home() + "/temp");
}

TEST(Locator, BlocksSurviveCollectionsDuringAndAfterScans) {
    TempDir games;
    GameTree tree{games.path()};
    for (int i = 0; i < 600; ++i) {
        tree.AddMap("map_" + std::to_string(1000 + i) + ".bsp");
        if (i % 2) tree.AddPodWaypoint("map_" + std::to_string(1000 + i) + ".pwf", 7, "Collector");
    }
    ProgramRun run{games.path()};
    run.Start();
    const std::string cdir = GetCdir();
    const char* heldBlock = GetCdir();
    for (int scan = 0; scan < 3; ++scan) {
        research = 1;  // every lookup hands out fresh blocks
        headless::SendCommand(md, scan == 1 ? 139 : 1);
        std::uint32_t code = STILL_ACTIVE;
        while (GetExitCodeThread(hThread, &code) && code == STILL_ACTIVE) CollectBlocks();
        ASSERT_EQ(code, 0u);
    }
    // Churn the heap so that any block wrongly freed gets reused and overwritten.
    for (int i = 0; i < 20000; ++i) std::memset(AllocBlock(64), 0xAA, 64);
    CollectBlocks();
    for (int i = 0; i < 20000; ++i) std::memset(AllocBlock(64), 0x55, 64);
    for (int i = 0; i < kMaxMaps; ++i)
        ASSERT_EQ(std::string(maps[i]), i < 600 ? "map_" + std::to_string(1000 + i) + ".bsp" : "")
            << i;
    EXPECT_EQ(CachedCdir(), cdir);
    EXPECT_EQ(std::string(heldBlock), cdir);
    EXPECT_EQ(run.RightNames().size(), 300u);
    EXPECT_EQ(run.LeftNames().size(), 300u);
}
