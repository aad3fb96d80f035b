// The advanced configuration dialog: what it shows, how it keeps the bot
// fields, and what OK and Cancel leave in memory and in the settings.
#include "bots/config.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/state.h"
#include "bots/bots.h"
#include "platform/help.h"
#include "platform/registry.h"
#include "support/run.h"

using namespace testenv;

namespace {
constexpr Hwnd kConfig = 300;

struct ConfigDialog : ::testing::Test {
    TempDir games;
    GameTree tree{games.path()};
    ProgramRun run{games.path()};

    void Pick(int bot) {
        ComboSetCurSel(kConfig, 301, bot);
        headless::SendCommand(kConfig, 301, CBN_SELENDOK);
        headless::SendCommand(kConfig, 301, CBN_SELCHANGE);
    }
    // Opens the dialog with button 142; act runs while it is open.
    void Open(const std::function<void()>& act) {
        headless::SetDialogHook([&](Hwnd w) {
            if (w == kConfig) act();
        });
        headless::SendCommand(md, 142);
    }
    std::string StoredRowDir(int bot) {
        RegistryUnload();
        BotRecord row{};
        RegKey::Open(Hive::CurrentUser, false)
            .ReadBinary("Bots" + std::to_string(bot), &row, sizeof row);
        return row.dir;
    }
};
}  // namespace

TEST_F(ConfigDialog, KeepsEachBotsFieldsAndStoresThemWithOk) {
    StoreSettings(tree.cstrike(), {{"Version", 250}});
    run.Start();
    run.ChooseBot(kJoeBot);
    Open([&] {
        // Pod Bot's fields, whatever bot the window has selected.
        EXPECT_EQ(GetDlgItemText(kConfig, 305), tree.cstrike());
        EXPECT_EQ(GetDlgItemText(kConfig, 309), tree.maps());
        EXPECT_EQ(headless::ComboItems(kConfig, 301).size(), 11u);
        EXPECT_EQ(GetDlgItemText(kConfig, 303), GetBotDir(kPodBot));
        EXPECT_EQ(GetDlgItemText(kConfig, 310), "pwf");
        headless::TypeText(kConfig, 310, "abcde");
        EXPECT_EQ(GetDlgItemText(kConfig, 310), "abcd");
        Pick(10);  // AgroBot: Pod Bot keeps the typed extension
        headless::TypeText(kConfig, 310, "xy");
        Pick(9);  // RealBot: AgroBot keeps "xy"
        EXPECT_EQ(GetDlgItemText(kConfig, 310), "rbr");
        headless::TypeText(kConfig, 303, "/srv/realbot");  // then Enter: no focus change
        headless::TypeText(kConfig, 305, "/srv/cs/");
        headless::SendCommand(kConfig, IDOK);
    });
    EXPECT_EQ(GetBotExt(kPodBot), "abcd");
    EXPECT_EQ(GetBotExt(10), "xy");
    EXPECT_EQ(GetBotDir(9), "/srv/realbot");
    EXPECT_EQ(StoredRowDir(9), "/srv/realbot");
    EXPECT_EQ(research, 1);
    std::string cs;
    RegKey::Open(Hive::LocalMachine, false).ReadString("CSDir", &cs, 4096);
    EXPECT_EQ(cs, "/srv/cs/");
    EXPECT_EQ(GetDlgItemText(md, 148), "wpj") << "the window shows the old extension until asked";
}

TEST_F(ConfigDialog, CancelKeepsLeftFieldsForTheRunOnlyAndHelpNamesItsControls) {
    StoreSettings(tree.cstrike(), {{"Version", 250}});
    run.Start();
    std::string stored = StoredRowDir(kPodBot);
    Open([&] {
        headless::TypeText(kConfig, 303, "/elsewhere");
        headless::SendCommand(kConfig, 303, EN_KILLFOCUS);
        HelpRequest help{303};
        headless::Send(kConfig, WM_HELP, 0, reinterpret_cast<std::intptr_t>(&help));
        headless::Send(kConfig, WM_CONTEXTMENU, 310, 0);
        headless::SendCommand(kConfig, IDCANCEL);
    });
    EXPECT_EQ(GetBotDir(kPodBot), "/elsewhere");
    EXPECT_EQ(StoredRowDir(kPodBot), stored);
    EXPECT_EQ(research, 0);
    auto calls = headless::HelpCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].contextId, 0x012F012Cu);
    EXPECT_EQ(calls[1].command, HELP_CONTEXTMENU);
    EXPECT_EQ(calls[1].contextId, 0u);
}
