// The never-freed blocks survive collections forced during and after scans.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/state.h"
#include "platform/memory.h"
#include "settings/locator.h"
#include "support/run.h"

using namespace testenv;

TEST(Blocks, SurviveCollectionsDuringAndAfterScans) {
    TempDir games;
    GameTree tree{games.path()};
    std::vector<std::string> names;
    for (int i = 0; i < 600; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "map_%04d.bsp", i);
        names.push_back(name);
        tree.AddMap(name);
        if (i % 2) tree.AddPodWaypoint(std::string(name, 8) + ".pwf", 7, "Collector");
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
    run.PressAndWait(1);

    // Churn the heap so that any block wrongly freed gets reused and overwritten.
    for (int i = 0; i < 20000; ++i) std::memset(AllocBlock(64), 0xAA, 64);
    CollectBlocks();
    for (int i = 0; i < 20000; ++i) std::memset(AllocBlock(64), 0x55, 64);

    for (std::size_t i = 0; i < names.size(); ++i) ASSERT_STREQ(maps[i], names[i].c_str()) << i;
    for (int i = static_cast<int>(names.size()); i < kMaxMaps; ++i) {
        ASSERT_NE(maps[i], nullptr);
        ASSERT_EQ(maps[i][0], 0) << i;
    }
    EXPECT_EQ(CachedCdir(), cdir);
    EXPECT_EQ(std::string(heldBlock), cdir);
    EXPECT_EQ(run.RightNames().size(), 300u);
    EXPECT_EQ(run.LeftNames().size(), 300u);
}
