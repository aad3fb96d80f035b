// The main window's own commands through the headless host: help, the bot's
// home page and the connection test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/state.h"
#include "platform/help.h"
#include "support/run.h"

using namespace testenv;

namespace {
struct WindowCommands : ::testing::Test {
    TempDir games;
    GameTree tree{games.path()};
    ProgramRun run{games.path()};
};
}  // namespace

TEST_F(WindowCommands, HelpNamesTheControlsContext) {
    run.Start();
    HelpRequest onAutoStart{134};
    headless::Send(md, WM_HELP, 0, reinterpret_cast<std::intptr_t>(&onAutoStart));
    HelpRequest onGo{1};
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
}

TEST_F(WindowCommands, BotWebPageNeedsAConnection) {
    run.Start();
    run.ChooseBot(9);
    headless::TakePostedCommands();
    {
        ScopedEnv offline("NODESCAN_ONLINE", "0");
        headless::SendCommand(md, 105);
    }
    EXPECT_TRUE(headless::ShellRequests().empty());
    auto box = headless::MessageBoxes().back();
    EXPECT_EQ(box.caption, "Connection Error");
    EXPECT_EQ(box.text, "No Internet Connection Found! ABORTING");

    ScopedEnv online("NODESCAN_ONLINE", "1");
    headless::SendCommand(md, 105);
    EXPECT_THAT(headless::ShellRequests(), ::testing::ElementsAre("http://www.realbot.example/"));
}

TEST_F(WindowCommands, ExitClosesTheScanHandleAndEndsTheDialog) {
    run.Start();
    headless::SendCommand(md, 2);
    EXPECT_TRUE(headless::QuitRequested());
    headless::PumpPostedCommands(md);
    EXPECT_TRUE(headless::DialogEnded(md, nullptr));
    EXPECT_EQ(hThread, nullptr);
}
