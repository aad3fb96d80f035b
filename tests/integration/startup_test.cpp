// Start-up, the status list, the command line "reset" and the scan runner.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "app/nodescan.h"
#include "app/state.h"
#include "bots/bots.h"
#include "platform/registry.h"
#include "platform/threads.h"
#include "settings/locator.h"
#include "support/run.h"

using namespace testenv;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {
const char* const kPleaseWait = "Please Wait! Executing operation!";

int Count(const std::vector<std::string>& v, const std::string& s) {
    return static_cast<int>(std::count(v.begin(), v.end(), s));
}

std::vector<std::pair<std::string, int>> Columns(Hwnd w, int list) {
    std::vector<std::pair<std::string, int>> out;
    for (const auto& c : headless::Columns(w, list)) out.emplace_back(c.text, c.width);
    return out;
}
}  // namespace

TEST(StatusList, HoldsAtMost101LinesWithTheLastSelected) {
    ProgramRun run;
    md = headless::CreateDialog(100, DialogFunc);
    for (int i = 0; i < 101; ++i) sout("line " + std::to_string(i));
    EXPECT_EQ(headless::ListBoxLines(md, kStatusList).size(), 101u);
    EXPECT_EQ(headless::ListBoxCurSel(md, kStatusList), 100);
    sout("line 101");  // the 102nd empties the list and becomes its only line
    EXPECT_THAT(headless::ListBoxLines(md, kStatusList), ElementsAre("line 101"));
    EXPECT_EQ(headless::ListBoxCurSel(md, kStatusList), 0);
}

TEST(Startup, FillsTheWindowBeforeItIsShown) {
    TempDir games;
    GameTree tree{games.path()};
    ProgramRun run{games.path()};
    Hwnd w = run.Start();

    EXPECT_EQ(md.load(), w);
    EXPECT_EQ(headless::Title(w),
              std::string("NodeScan FINAL v2.50 by Brimlock - ") + kContactAddress);

    EXPECT_THAT(headless::ComboItems(w, 102),
                ElementsAre("Pod Bot", "Swat Bot", "Ram Bot", "Joe Bot", "HPB Bot", "Android Bot",
                            "NNBot", "TeamBot", "FreedomBot", "RealBot", "AgroBot"));
    for (int i = 0; i < kBotCount; ++i) EXPECT_EQ(ComboGetItemData(w, 102, i), i);
    EXPECT_EQ(GetDlgItemText(w, 103), "Pod Bot 2.6 by Marten Kessel and the Pod Team");

    using Col = std::pair<std::string, int>;
    EXPECT_THAT(Columns(w, kRightList), ElementsAre(Col{"Map Name", 118}, Col{"Last Edited", 70},
                                                    Col{"Version", 55}, Col{"Created By", 95}));
    EXPECT_THAT(Columns(w, kLeftList), ElementsAre(Col{"Map Name", 118}));

    EXPECT_TRUE(std::all_of(maps, maps + kMaxMaps, [](char* slot) { return slot && !*slot; }));
    // The start-up starts no scan of its own.
    EXPECT_FALSE(hThread);
}

TEST(Startup, OnlyTheExactWordResets) {
    TempDir games;
    GameTree tree{games.path()};
    for (const char* cmd : {"Reset", "RESET", "reset ", " reset", "resets", "reset x", ""}) {
        ProgramRun run{games.path()};
        StoreSettings(tree.cstrike(), {{"Marker", 42}});

        WinMain(nullptr, nullptr, cmd, 0);
        EXPECT_EQ(Count(run.Captions(), "Nodescan Notice"), 0) << '"' << cmd << '"';
        // The window's start-up ran instead, on the stored settings.
        EXPECT_THAT(headless::Title(100), HasSubstr("v2.50")) << '"' << cmd << '"';
        RegistryUnload();
        EXPECT_TRUE(RegKey::Open(Hive::CurrentUser, false).HasValue("Marker")) << cmd;
    }
}
