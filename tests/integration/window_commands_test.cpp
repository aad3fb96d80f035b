// The main window's own commands through the headless host: help and the
// bot's home page.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/state.h"
#include "platform/help.h"
#include "support/run.h"

using namespace testenv;

TEST(WindowCommands, HelpNamesTheControlsContextAndTheWebPageNeedsAConnection) {
    TempDir games;
    GameTree tree{games.path()};
    ProgramRun run{games.path()};
    run.Start();
    HelpRequest onAutoStart{134}, onGo{1};
    headless::Send(md, WM_HELP, 0, reinterpret_cast<std::intptr_t>(&onAutoStart));
    headless::Send(md, WM_HELP, 0, reinterpret_cast<std::intptr_t>(&onGo));
    headless::Send(md, WM_CONTEXTMENU, 150, 0);
    headless::SendCommand(md, 146);
    auto calls = headless::HelpCalls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].command, HELP_WM_HELP);
    EXPECT_EQ(calls[0].contextId, (134u << 16) | 100u);
    EXPECT_EQ(calls[1].contextId, 0u);  // "Go! Go! Go!" has no topic
    EXPECT_EQ(calls[2].command, HELP_CONTEXTMENU);
    EXPECT_EQ(calls[2].contextId, (150u << 16) | 100u);
    EXPECT_EQ(calls[3].command, HELP_FINDER);

    run.ChooseBot(9);
    for (const char* online : {"0", "1"}) {
        ScopedEnv env("NODESCAN_ONLINE", online);
        headless::SendCommand(md, 105);
    }
    EXPECT_EQ(run.Captions().back(), "Connection Error");
    EXPECT_THAT(headless::ShellRequests(), ::testing::ElementsAre("http://www.realbot.example/"));
}
