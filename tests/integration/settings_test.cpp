// The settings store and the site editor, through the headless main window.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "app/window.h"
#include "bots/bots.h"
#include "core/state.h"
#include "download/sites.h"
#include "platform/registry.h"
#include "support/run.h"

using namespace testenv;
using ::testing::Contains;
using ::testing::Not;

namespace {
struct SettingsTest : ::testing::Test {
    TempDir games;
    GameTree tree{games.path()};
    ProgramRun run{games.path()};

    // Stores values as an earlier run (or an older version) left them.
    void Store(const std::function<void(RegKey&)>& write) {
        {
            RegKey key = RegKey::Open(Hive::CurrentUser, true);
            write(key);
        }
        run.Restart();
    }
    std::uint32_t Dword(const char* name) {
        RegistryUnload();
        RegKey key = RegKey::Open(Hive::CurrentUser, false);
        std::uint32_t v = 0xDEADBEEF;
        EXPECT_TRUE(key.ReadDword(name, &v)) << name;
        return v;
    }
    // Ends the window as the Exit button does.
    void Exit() {
        headless::SendCommand(md, 2);
        headless::PumpPostedCommands(md);
    }
};
}  // namespace

TEST_F(SettingsTest, FirstStartTakesDefaultsAndCloseStoresEverything) {
    run.Start();
    EXPECT_THAT(run.Captions(), Not(Contains(">>>Incompatible Registry Settings Detected<<<")));
    EXPECT_EQ(run.Text(149), "Brimlock Wpts");
    {
        RegKey key = RegKey::Open(Hive::CurrentUser, false);
        for (int n = 0; n < 6; ++n) EXPECT_TRUE(key.HasValue("Site" + std::to_string(n)));
        for (int n = 0; n < 11; ++n) EXPECT_TRUE(key.HasValue("Bots" + std::to_string(n)));
        EXPECT_FALSE(key.HasValue("Version"));
    }
    Exit();
    EXPECT_EQ(Dword("Version"), 250u);
    EXPECT_EQ(Dword("Default Site"), 0u);
}

TEST_F(SettingsTest, OldSettingsAreReplaced) {
    Store([](RegKey& key) {
        key.WriteDword("Default Bot", 4);
        key.WriteDword("Auto Start", 1);
        key.WriteBinary("Site2", "garbage", 7);
    });
    run.Start();
    auto boxes = headless::MessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].caption, ">>>Incompatible Registry Settings Detected<<<");
    // The deleted values are kept in a dated copy, and the message says where.
    std::string prefix = "I have deleted site settings\nA copy of them is kept in ";
    ASSERT_EQ(boxes[0].text.rfind(prefix, 0), 0u) << boxes[0].text;
    std::string copy = boxes[0].text.substr(prefix.size());
    EXPECT_EQ(copy.rfind(run.configDir() + "/HKEY_CURRENT_USER.reg.", 0), 0u);
    EXPECT_THAT(ReadFile(copy), ::testing::HasSubstr("\"Default Bot\"=dword:00000004"));
    EXPECT_EQ(sbot, 0u);
    EXPECT_FALSE(IsDlgButtonChecked(md, 134));
    EXPECT_EQ(GetSite(2).name, "Outpost Wpts");
    EXPECT_EQ(Dword("Version"), 0x40200000u);
    Exit();
    EXPECT_EQ(Dword("Version"), 250u);
}

TEST_F(SettingsTest, StoredOptionsComeBack) {
    Store([](RegKey& key) {
        key.WriteDword("Version", 250);
        key.WriteDword("Default Bot", 4);
        key.WriteDword("Default Site", 9);
        key.WriteDword("Check All", 1);
        key.WriteDword("Auto Start", 1);
    });
    run.Start();
    EXPECT_EQ(ComboGetCurSel(md, 102), 4);
    EXPECT_EQ(run.Text(148), "wpt");
    EXPECT_EQ(ScrollGetPos(md, 150), 5);  // a stored site past the table shows the last one
    EXPECT_EQ(run.Text(132), "zip");
    EXPECT_EQ(headless::EditLimit(md, 149) + headless::ScrollRange(md, 150).second, 51 + 5);
    EXPECT_TRUE(IsDlgButtonChecked(md, 111));
    EXPECT_TRUE(IsDlgButtonChecked(md, 134));
    EXPECT_THAT(run.Status(), Contains("Auto Start Initiated"));
    // The check starts from the event loop, as if Go! Go! Go! was pressed.
    EXPECT_EQ(headless::TakePostedCommands(), std::vector<int>{1});
    EXPECT_EQ(run.Text(141), "Have Waypoints");
    Exit();
    EXPECT_EQ(Dword("Default Site"), 5u);
    EXPECT_EQ(Dword("Default Bot"), 4u);
}

TEST_F(SettingsTest, SiteRowsAreReadWithBoundsAndSavedByteForByte) {
    SiteRecord odd = PresetSite(1);
    std::memset(odd.name, 'n', sizeof odd.name);  // no terminator
    std::memcpy(odd.host, "host.example\0leftover", 21);
    std::string tooLong(181, 'x');
    Store([&](RegKey& key) {
        key.WriteDword("Version", 250);
        key.WriteBinary("Site1", &odd, sizeof odd);
        key.WriteBinary("Site3", tooLong.data(), tooLong.size());
    });
    run.Start();
    EXPECT_EQ(GetSite(1).name, std::string(50, 'n'));
    EXPECT_EQ(GetSite(1).host, "host.example");
    EXPECT_EQ(GetSite(3).name, "Trench Wpts");  // replaced by the compiled-in row
    Exit();
    RegistryUnload();
    RegKey key = RegKey::Open(Hive::CurrentUser, false);
    SiteRecord back{};
    ASSERT_TRUE(key.ReadBinary("Site1", &back, sizeof back));
    EXPECT_EQ(std::memcmp(&back, &odd, sizeof back), 0);
    ASSERT_TRUE(key.ReadBinary("Site3", &back, sizeof back));
    EXPECT_EQ(std::memcmp(&back, &PresetSite(3), sizeof back), 0);
}

TEST_F(SettingsTest, SiteEditorWritesTheSelectedRowOnly) {
    run.Start();
    headless::Send(md, WM_HSCROLL, MakeWParam(SB_THUMBPOSITION, 4), 150);
    headless::TypeText(md, 149, "My Site");
    headless::TypeText(md, 132, "abcdef");  // the box takes five, the row four
    EXPECT_EQ(run.Text(132), "abcde");
    EXPECT_EQ(GetSite(4).name, "My Site");
    EXPECT_EQ(GetSite(4).ext, "abcd");

    // Switching shows the other site without copying texts between rows.
    headless::Send(md, WM_HSCROLL, MakeWParam(SB_LINEDOWN, 0), 150);
    EXPECT_EQ(run.Text(149), "Enter a name");
    EXPECT_EQ(GetSite(5).name, "Enter a name");
    EXPECT_EQ(GetSite(4).name, "My Site");
    headless::Send(md, WM_HSCROLL, MakeWParam(SB_LINEUP, 0), 150);
    EXPECT_EQ(run.Text(149), "My Site");

    // Any edit box's change rewrites the selected row from the six boxes,
    // but for a multi-line box's text set by the program: Win32 announces none.
    SetSiteField(4, "host", "changed.example");
    SetDlgItemText(md, 148, "pwf");
    EXPECT_EQ(GetSite(4).host, "changed.example");
    SetDlgItemInt(md, 115, 3);
    EXPECT_EQ(GetSite(4).host, "Enter Host name");
}

TEST_F(SettingsTest, FailureToSaveIsReported) {
    LINUX_ONLY("a settings file that cannot be written (the registry on Windows)");
    tree.Add("PODBot/PodBot.cfg", "wptfolder w\n");
    run.Start();
    // A directory where the settings file belongs cannot be replaced.
    std::string hive = run.configDir() + "/HKEY_CURRENT_USER.reg";
    std::remove(hive.c_str());
    MakeDirs(hive);
    run.Restart();
    run.Start();
    Exit();  // saves on close and again on destroy: one box
    auto boxes = headless::MessageBoxes();
    ASSERT_EQ(run.Captions(), std::vector<std::string>{"Error!"});
    EXPECT_THAT(boxes.back().text, ::testing::HasSubstr("could not be saved"));
}
