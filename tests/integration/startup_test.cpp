// Start-up, the status list, the command line "reset" and the window's own commands.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "app/nodescan.h"
#include "bots/bots.h"
#include "check/scan.h"
#include "check/scanrunner.h"
#include "core/state.h"
#include "core/status.h"
#include "platform/help.h"
#include "platform/registry.h"
#include "support/contract.h"
#include "support/run.h"

using namespace testenv;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {
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

TEST(HeadlessHost, KeepsTheHostContract) {
    ProgramRun run;
    headless::CreateDialog(100, nullptr);
    RunHostContract([] { return headless::Progress(100, 157).pos; });
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
        EXPECT_THAT(run.Captions(), Not(Contains("Nodescan Notice"))) << '"' << cmd << '"';
        // The window's start-up ran instead, on the stored settings.
        EXPECT_THAT(headless::Title(100), HasSubstr("v2.50")) << '"' << cmd << '"';
        RegistryUnload();
        EXPECT_TRUE(RegKey::Open(Hive::CurrentUser, false).HasValue("Marker")) << cmd;
    }
}

// The window's own commands: help with each control's context, and the bot's
// web page only when connected; Exit ends the dialog.
TEST(WindowCommands, HelpWebPageAndExit) {
    TempDir games;
    GameTree tree{games.path()};
    ProgramRun run{games.path()};
    run.Start();
    HelpRequest onAutoStart{134};
    headless::Send(md, WM_HELP, 0, reinterpret_cast<std::intptr_t>(&onAutoStart));
    headless::Send(md, WM_CONTEXTMENU, 1, 0);  // "Go! Go! Go!" has no topic
    headless::SendCommand(md, 146);
    std::vector<std::pair<unsigned, std::uint32_t>> calls;
    for (const auto& c : headless::HelpCalls()) calls.emplace_back(c.command, c.contextId);
    EXPECT_THAT(calls, ElementsAre(std::pair{HELP_WM_HELP, (134u << 16) | 100u},
                                   std::pair{HELP_CONTEXTMENU, 0u}, std::pair{HELP_FINDER, 0u}));
    for (const char* online : {"0", "1"}) {
        ScopedEnv env("NODESCAN_ONLINE", online);
        headless::SendCommand(md, 105);
    }
    EXPECT_EQ(run.Captions().back(), "Connection Error");
    EXPECT_THAT(headless::ShellRequests(), ElementsAre(GetBotUrl(0)));
    headless::SendCommand(md, 2);
    EXPECT_EQ(headless::PumpPostedCommands(md), 0);
    EXPECT_TRUE(headless::DialogEnded(md, nullptr));
}
