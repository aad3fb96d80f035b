// The game locator: the search of the roots, the stored game and map
// directories, the caches and research, the old settings file.
#include "settings/locator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/nodescan.h"
#include "app/state.h"
#include "bots/bots.h"
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
const char* const kReSearchText =
    "Counter-Strike not found in specified directory!!!\n RE-SEARCHING for Counter-Strike";
const char* const kMapDefaultText = "Map Directory Not Found.  Defaulting to maps";

int Count(const std::vector<std::string>& v, const std::string& s) {
    return static_cast<int>(std::count(v.begin(), v.end(), s));
}

// A value of the machine-wide key as the hive file on disk holds it: the
// loaded hives are forgotten first, so that the file is read again.
std::string StoredDir(const char* name) {
    RegistryUnload();
    RegKey key = RegKey::Open(Hive::LocalMachine, false);
    std::string value;
    if (!key.ReadString(name, &value, 4096)) return "<missing>";
    return value;
}

void StoreDir(const char* name, const std::string& dir) {
    RegKey key = RegKey::Open(Hive::LocalMachine, true);
    ASSERT_TRUE(key.WriteString(name, dir));
    ASSERT_TRUE(key.Close());
    RegistryUnload();
}

// An existing directory whose path, trailing '/' included, is len characters.
std::string DirOfLength(const std::string& base, std::size_t len) {
    std::string p = base + "/";
    char fill = 'a';
    while (p.size() < len) {
        std::size_t room = len - p.size();  // a name and its '/'
        std::size_t n = room - 1 <= 100 ? room - 1 : 50;
        p += std::string(n, fill++) + "/";
    }
    MakeDirs(p);
    return p;
}

bool NoDoubleSlash(const std::string& path) {
    return path.find("//") == std::string::npos;
}
}  // namespace

TEST(Locator, FirstStartSearchesStoresAndUsesTheDirectories) {
    TempDir games;
    GameTree tree{games.path()};
    {
        ProgramRun run{games.path()};
        run.Start();

        auto boxes = headless::MessageBoxes();
        ASSERT_GE(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].caption, "Directory ERROR!");
        EXPECT_EQ(boxes[0].text, kReSearchText);
        EXPECT_EQ(boxes[0].owner, md.load());
        EXPECT_EQ(boxes[1].caption, "ERROR!");
        EXPECT_EQ(boxes[1].text, kMapDefaultText);

        auto status = run.Status();
        ASSERT_GE(status.size(), 2u);
        EXPECT_EQ(status[0], kSearching);
        EXPECT_EQ(status[1], "Counter Strike Found at " + tree.cstrike());
        EXPECT_EQ(Count(status, kNextDrive), 0);
        EXPECT_EQ(Count(status, kSearching), 1);

        EXPECT_EQ(std::string(GetCdir()), tree.cstrike());
        EXPECT_EQ(std::string(GetMdir()), tree.cstrike() + "maps");

        std::string hive = ReadFile(HiveFilePath(Hive::LocalMachine));
        EXPECT_THAT(hive, HasSubstr("\"CSDir\"=\"" + tree.cstrike() + "\"\r\n"));
        EXPECT_THAT(hive, HasSubstr("\"MapDir\"=\"" + tree.cstrike() + "maps\"\r\n"));
        EXPECT_EQ(StoredDir("CSDir"), tree.cstrike());
        EXPECT_EQ(StoredDir("MapDir"), tree.cstrike() + "maps");

        // The next start takes both from the settings: no search, no message.
        run.Restart();
        run.Start();
        EXPECT_EQ(Count(run.Status(), kSearching), 0);
        EXPECT_EQ(Count(run.Captions(), "Directory ERROR!"), 0);
        EXPECT_EQ(Count(run.Captions(), "ERROR!"), 0);
        EXPECT_EQ(std::string(GetCdir()), tree.cstrike());
        EXPECT_EQ(std::string(GetMdir()), tree.cstrike() + "maps");
    }
}

TEST(Locator, RootsAreSearchedInOrderWithOneLinePerRootThatFails) {
    TempDir games;
    MakeDirs(games / "first/deep/er");
    WriteFile(games / "first/deep/readme.txt", "no game here");
    GameTree third{games / "third"};
    GameTree fourth{games / "fourth"};  // never reached: the third one wins
    ProgramRun run{games / "first" + ":" + games / "missing" + ":" + games / "third" + ":" +
                   games / "fourth"};
    run.Start();

    auto status = run.Status();
    ASSERT_GE(status.size(), 4u);
    EXPECT_THAT(std::vector<std::string>(status.begin(), status.begin() + 4),
                ElementsAre(kSearching, kNextDrive, kNextDrive,
                            "Counter Strike Found at " + third.cstrike()));
    EXPECT_EQ(Count(status, kNextDrive), 2);
    EXPECT_EQ(StoredDir("CSDir"), third.cstrike());
}

TEST(Locator, GameOnNoRootEndsTheCallingThread) {
    TempDir games;
    MakeDirs(games / "a/b");
    std::string roots = games / "a" + ":" + games / "nothing" + ":" + games / "a/b";

    // On a worker thread: the thread ends with 254 after one line per root.
    {
        ProgramRun run{roots};
        md = headless::CreateDialog(100, DialogFunc);
        ThreadHandle t = CreateThread(
            [] {
                GetCdir();
                return 0u;
            },
            nullptr);
        ASSERT_TRUE(t);
        WaitForThread(t);
        std::uint32_t code = 0;
        ASSERT_TRUE(GetExitCodeThread(t, &code));
        EXPECT_EQ(code, 254u);

        auto status = run.Status();
        EXPECT_THAT(status, ElementsAre(kSearching, kNextDrive, kNextDrive, kNextDrive));
        auto boxes = headless::MessageBoxes();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].caption, "Directory ERROR!");
        EXPECT_EQ(boxes[1].caption, "FATAL ERROR!");
        EXPECT_EQ(boxes[1].text, "Counter-Strike not found!! Cannot continue!!\n");
        EXPECT_EQ(boxes[1].type & 0xF0u, static_cast<unsigned>(MB_ICONERROR));
        // Nothing was found, so nothing is stored and nothing is cached.
        EXPECT_EQ(StoredDir("CSDir"), "<missing>");
        EXPECT_EQ(CachedCdir(), "");
    }

    // On the window's thread, during the first start-up: the program ends.
    {
        ProgramRun run{roots};
        try {
            run.Start();
            ADD_FAILURE() << "the start-up went on without a game";
        } catch (const ThreadExit& e) {
            EXPECT_EQ(e.code, 254u);
        }
        EXPECT_EQ(Count(run.Status(), kNextDrive), 3);
        EXPECT_EQ(run.Captions().back(), "FATAL ERROR!");
    }
}

TEST(Locator, GameAtTheTopOfARootYieldsTheRootItself) {
    TempDir games;
    for (const std::string& root : {games / "top", games / "slash/"}) {
        WriteFile(root + "/cstrike.wad", "WAD3");
        ProgramRun run{root};
        run.Start();
        std::string expected = root.back() == '/' ? root : root + "/";
        EXPECT_EQ(std::string(GetCdir()), expected);
        EXPECT_EQ(std::string(GetMdir()), expected + "maps");
        EXPECT_EQ(StoredDir("CSDir"), expected);
        EXPECT_EQ(run.Status().at(1), "Counter Strike Found at " + expected);
    }
}

TEST(Locator, StoredGameDirectoryIsReadUpToAPathBuffer) {
    TempDir games;
    GameTree tree{games.path()};
    // Read as they are: the 100-byte limit of old would have lost these.
    for (std::size_t len : {150u, 259u}) {
        ProgramRun run;  // searching would fail: the game must come from the settings
        std::string dir = DirOfLength(games / "long", len);
        ASSERT_EQ(dir.size(), len);
        StoreDir("CSDir", dir);
        StoreDir("MapDir", dir + "maps");
        MakeDirs(dir + "maps");
        run.Start();
        EXPECT_EQ(Count(run.Status(), kSearching), 0) << len;
        EXPECT_EQ(Count(run.Captions(), "Directory ERROR!"), 0) << len;
        EXPECT_EQ(std::string(GetCdir()), dir) << len;
        EXPECT_EQ(std::string(GetMdir()), dir + "maps") << len;
    }
    // Longer than a path buffer: treated as missing, searched and replaced.
    for (std::size_t len : {260u, 300u}) {
        ProgramRun run{games.path()};
        std::string dir = DirOfLength(games / "longer", len);
        ASSERT_EQ(dir.size(), len);
        StoreDir("CSDir", dir);
        run.Start();
        EXPECT_EQ(Count(run.Captions(), "Directory ERROR!"), 1) << len;
        EXPECT_EQ(Count(run.Status(), kSearching), 1) << len;
        EXPECT_EQ(std::string(GetCdir()), tree.cstrike()) << len;
        EXPECT_EQ(StoredDir("CSDir"), tree.cstrike()) << len;
    }
}

TEST(Locator, ResearchLooksTheDirectoriesUpAgain) {
    TempDir games;
    GameTree tree{games.path()};
    GameTree other{games / "other"};
    ProgramRun run{games.path()};
    run.Start();

    // Cached while research is 0.
    const char* c1 = GetCdir();
    EXPECT_EQ(GetCdir(), c1);
    const char* m1 = GetMdir();
    EXPECT_EQ(GetMdir(), m1);

    research = 1;
    const char* a = GetCdir();
    const char* b = GetCdir();
    EXPECT_NE(a, b);
    EXPECT_STREQ(a, b);
    EXPECT_STREQ(a, tree.cstrike().c_str());
    const char* ma = GetMdir();
    const char* mb = GetMdir();
    EXPECT_NE(ma, mb);
    EXPECT_STREQ(ma, mb);
    CollectBlocks();
    EXPECT_STREQ(c1, tree.cstrike().c_str());  // blocks handed out earlier stay intact

    // Each lookup reads the settings again.
    StoreDir("CSDir", other.cstrike());
    EXPECT_EQ(std::string(GetCdir()), other.cstrike());
    StoreDir("CSDir", tree.cstrike());
    EXPECT_EQ(std::string(GetCdir()), tree.cstrike());

    // A scan that ends normally clears research.
    run.PressAndWait(1);
    std::uint32_t code = 1;
    ASSERT_TRUE(GetExitCodeThread(hThread, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(research, 0);
    const char* c2 = GetCdir();
    EXPECT_EQ(GetCdir(), c2);

    // A scan ended by the search keeps it: the game is gone from every root.
    research = 1;
    std::filesystem::remove_all(games / "Half-Life");
    std::filesystem::remove_all(games / "other");
    run.PressAndWait(1);
    ASSERT_TRUE(GetExitCodeThread(hThread, &code));
    EXPECT_EQ(code, 254u);
    EXPECT_EQ(research, 1);
    EXPECT_EQ(run.Captions().back(), "FATAL ERROR!");
}

TEST(Locator, GameDirectoryWithoutTrailingSlashIsJoinedWithOne) {
    TempDir games;
    GameTree tree{games.path()};
    tree.AddMap("de_dust.bsp");
    tree.AddPodWaypoint("de_dust.pwf", 7, "Mapper");
    std::string game = tree.cstrike().substr(0, tree.cstrike().size() - 1);
    std::string base = games / "Half-Life";
    ProgramRun run;
    StoreDir("CSDir", game);
    run.Start();

    EXPECT_EQ(Count(run.Status(), kSearching), 0);
    EXPECT_EQ(std::string(GetCdir()), game);
    EXPECT_EQ(std::string(GetMdir()), game + "/maps");
    EXPECT_EQ(StoredDir("MapDir"), game + "/maps");
    EXPECT_EQ(GetBotWaypointDir(kPodBot), game + "/PODBot/wptdefault");
    EXPECT_EQ(GetBotWaypointDir(kJoeBot), game + "/JoeBot/wpjs");
    EXPECT_EQ(GetBotWaypointDir(4), game + "/maps");
    EXPECT_EQ(GetBotWaypointDir(6), base + "/nnbot/nwps");
    EXPECT_EQ(GetBotWaypointDir(9), game + "/realbot/learned/rbr");
    EXPECT_EQ(GetBotWaypointDir(10), base + "/agrobot/cstrike/maps");
    for (int bot = 0; bot < kBotCount; ++bot)
        EXPECT_TRUE(NoDoubleSlash(GetBotWaypointDir(bot))) << GetBotWaypointDir(bot);

    run.PressAndWait(1);
    EXPECT_THAT(run.RightNames(), ElementsAre("de_dust.bsp"));
    EXPECT_TRUE(run.LeftNames().empty());
}

TEST(Locator, OldSettingsFileIsDeletedWithANotice) {
    TempDir games;
    GameTree tree{games.path()};
    for (const char* name : {"nodescan.ini", "NodeScan.INI"}) {
        ProgramRun run{games.path()};
        std::string ini = run.configDir() + "/" + name;
        WriteFile(ini, "[Nodescan]\nbot=0\n");
        run.Start();

        auto boxes = headless::MessageBoxes();
        auto old = std::find_if(boxes.begin(), boxes.end(), [](const auto& b) {
            return b.caption == "OLD version files found!";
        });
        ASSERT_NE(old, boxes.end()) << name;
        EXPECT_EQ(old->text, "INI file from old version found! I will now delete it....");
        EXPECT_EQ(Count(run.Captions(), "OLD version files found!"), 1) << name;
        EXPECT_EQ(Count(run.Status(), "Deleting old INI file"), 1) << name;
        EXPECT_FALSE(std::filesystem::exists(ini)) << name;
        // The rest of the config directory is left alone.
        EXPECT_TRUE(std::filesystem::exists(HiveFilePath(Hive::LocalMachine))) << name;

        // Looked for at every lookup, but gone now: no second notice.
        research = 1;
        GetCdir();
        EXPECT_EQ(Count(run.Captions(), "OLD version files found!"), 1) << name;
    }
}

TEST(Locator, TemporaryDirectoryIsUnderTheProgramHome) {
    ProgramRun run;
    const char* dir = GetTempDir();
    EXPECT_EQ(dir, tdir);
    EXPECT_EQ(std::string(dir), run.home() + "/temp");
}
