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
    auto lines = headless::ListBoxLines(md, kStatusList);
    ASSERT_EQ(lines.size(), 101u);
    EXPECT_EQ(lines.front(), "line 0");
    EXPECT_EQ(lines.back(), "line 100");
    EXPECT_EQ(headless::ListBoxCurSel(md, kStatusList), 100);

    // The 102nd empties the list and becomes its only line.
    sout("line 101");
    EXPECT_THAT(headless::ListBoxLines(md, kStatusList), ElementsAre("line 101"));
    EXPECT_EQ(headless::ListBoxCurSel(md, kStatusList), 0);

    EXPECT_EQ(run.Status().size(), 102u);
}

TEST(Startup, FillsTheWindowBeforeItIsShown) {
    TempDir games;
    GameTree tree{games.path()};
    ProgramRun run{games.path()};
    {
        RegKey key = RegKey::Open(Hive::CurrentUser, true);
        key.WriteDword("Version", 250);
        key.WriteDword("Default Bot", 4);
    }
    RegistryUnload();
    Hwnd w = run.Start();

    EXPECT_EQ(md.load(), w);
    EXPECT_EQ(headless::Title(w),
              std::string("NodeScan FINAL v2.50 by Brimlock - ") + kContactAddress);

    EXPECT_THAT(headless::ComboItems(w, 102),
                ElementsAre("Pod Bot", "Swat Bot", "Ram Bot", "Joe Bot", "HPB Bot", "Android Bot",
                            "NNBot", "TeamBot", "FreedomBot", "RealBot", "AgroBot"));
    for (int i = 0; i < kBotCount; ++i) EXPECT_EQ(ComboGetItemData(w, 102, i), i);
    EXPECT_EQ(ComboGetCurSel(w, 102), 4);
    EXPECT_EQ(sbot, 4u);
    EXPECT_EQ(GetDlgItemText(w, 148), "wpt");
    EXPECT_EQ(GetDlgItemText(w, 103), "HPB Bot by Henry Parker Bell");

    using Col = std::pair<std::string, int>;
    EXPECT_THAT(Columns(w, kRightList), ElementsAre(Col{"Map Name", 118}, Col{"Last Edited", 70},
                                                    Col{"Version", 55}, Col{"Created By", 95}));
    EXPECT_THAT(Columns(w, kLeftList), ElementsAre(Col{"Map Name", 118}));

    // The map name list is allocated once, every slot an empty 64-byte block.
    for (char* slot : maps) {
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(slot[0], 0);
    }
    // The start-up starts no scan of its own.
    EXPECT_FALSE(hThread);
}

TEST(Startup, ResetDeletesBothKeysAndEnds) {
    TempDir games;
    GameTree tree{games.path()};
    ProgramRun run{games.path()};
    StoreSettings(tree.cstrike(), {{"Marker", 42}});
    // Another key of the machine-wide hive is not the program's to delete.
    std::string lmFile = HiveFilePath(Hive::LocalMachine);
    WriteFile(lmFile,
              ReadFile(lmFile) +
                  "\r\n[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n\"Keep\"=dword:00000001\r\n");
    RegistryUnload();
    ASSERT_EQ(IsFirstRun(), 0);

    EXPECT_EQ(WinMain(nullptr, nullptr, "reset", 0), 0);
    auto boxes = headless::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Nodescan Registry settings deleted.");
    EXPECT_EQ(boxes[0].owner, kNoWindow);
    EXPECT_FALSE(headless::DialogExists(100));  // no window was created

    EXPECT_FALSE(std::filesystem::exists(HiveFilePath(Hive::CurrentUser)));
    std::string lm = ReadFile(lmFile);
    EXPECT_THAT(lm, Not(HasSubstr("Nodescan")));
    EXPECT_THAT(lm, HasSubstr("Software\\Other"));
    RegistryUnload();
    EXPECT_EQ(IsFirstRun(), 1);
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

namespace {
// Holds the next scan in the Pod Bot question until the object goes or
// Release() is called, so that a test acts while a scan surely runs.
class ScanGate {
  public:
    ScanGate() {
        auto window = std::this_thread::get_id();
        headless::SetMessageBoxResponder([this, window](const headless::MessageBoxCall&) {
            if (std::this_thread::get_id() != window && !entered_.exchange(true)) {
                enteredSignal_.set_value();
                release_.wait();
            }
            return IDOK;
        });
    }
    ~ScanGate() {
        Release();
        WaitForThread(hThread);
        headless::SetMessageBoxResponder(nullptr);
    }
    bool WaitEntered() {
        return enteredSignal_.get_future().wait_for(std::chrono::seconds(30)) ==
               std::future_status::ready;
    }
    void Release() {
        if (!released_.exchange(true)) releaseSignal_.set_value();
    }

  private:
    std::promise<void> enteredSignal_, releaseSignal_;
    std::shared_future<void> release_ = releaseSignal_.get_future().share();
    std::atomic<bool> entered_{false}, released_{false};
};
}  // namespace

TEST(ScanRunner, OneScanAtATime) {
    TempDir games;
    GameTree tree{games.path()};
    tree.AddMap("de_dust.bsp");
    ProgramRun run{games.path()};
    run.Start();
    SetBotDir(kPodBot, "");  // the scan computes it again: PodBot.cfg is missing
    ScanGate gate;

    headless::SendCommand(md, 139);
    ASSERT_TRUE(hThread);
    ASSERT_TRUE(gate.WaitEntered());
    ThreadHandle first = hThread;
    std::uint32_t code = 0;
    ASSERT_TRUE(GetExitCodeThread(hThread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);

    // "Go! Go! Go!" while it runs: refused, the first scan's mode kept.
    headless::SendCommand(md, 1);
    EXPECT_EQ(Count(run.Status(), kPleaseWait), 1);
    EXPECT_EQ(run.Text(141), "Redundant Waypoints");
    EXPECT_EQ(checkredway, 1);
    EXPECT_EQ(ec, STILL_ACTIVE);

    // Another bot: shown at once; its posted start is refused the same way.
    run.ChooseBot(4);
    EXPECT_EQ(run.Text(148), "wpt");
    auto posted = headless::TakePostedCommands();
    ASSERT_THAT(posted, ElementsAre(1));
    headless::SendCommand(md, posted[0]);
    EXPECT_EQ(Count(run.Status(), kPleaseWait), 2);
    EXPECT_EQ(checkredway, 1);
    EXPECT_EQ(hThread, first);

    gate.Release();
    WaitForThread(hThread);
    ASSERT_TRUE(GetExitCodeThread(hThread, &code));
    EXPECT_EQ(code, 0u);

    // Once it has ended the next press starts a scan.
    run.PressAndWait(1);
    EXPECT_NE(hThread, first);
    EXPECT_EQ(ec, 0u);
    EXPECT_EQ(Count(run.Status(), kPleaseWait), 2);
    EXPECT_EQ(run.Text(125), "Missing Waypoints");
}

namespace {
// A window procedure that reports every command on the status list, as the
// program's own commands do ("Please Wait! Executing operation!").
std::intptr_t ReportingProc(Hwnd, unsigned msg, std::uintptr_t wParam, std::intptr_t) {
    if (msg == WM_COMMAND) sout("command " + std::to_string(LoWord(wParam)));
    return 0;
}
}  // namespace

TEST(StatusList, WindowAndWorkerReportAtTheSameTime) {
    ProgramRun run;
    md = headless::CreateDialog(100, ReportingProc);
    constexpr int kLines = 5000;
    ThreadHandle worker = CreateThread(
        [] {
            for (int i = 0; i < kLines; ++i) sout("worker " + std::to_string(i));
            return 0u;
        },
        nullptr);
    for (int i = 0; i < kLines; ++i) headless::SendCommand(md, 1);
    WaitForThread(worker);
    EXPECT_EQ(run.Status().size(), 2u * kLines);
    EXPECT_LE(headless::ListBoxLines(md, kStatusList).size(), 101u);
}
