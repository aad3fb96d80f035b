// The Win32 window host keeps the contract of every host on a dialog 100 of
// the system's dialog manager (run under Wine on a display by
// scripts/windows-smoke.sh).
#include "platform/win32/host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "native.h"
#include "platform/memory.h"
#include "platform/threads.h"
#include "platform/ui.h"
#include "support/contract.h"

namespace {
constexpr int kRun = 9000;  // a command no control of the template has

std::function<void(Hwnd)> action;  // run from the dialog's loop
int destroyed = 0, changes = 0;    // WM_DESTROY and EN_CHANGE of controls 148 and 149 received

std::intptr_t Proc(Hwnd w, unsigned msg, std::uintptr_t wParam, std::intptr_t) {
    if (msg == WM_INITDIALOG) PostCommand(w, kRun);
    if (msg == WM_COMMAND && LoWord(wParam) == kRun) action(w);
    destroyed += msg == WM_DESTROY;
    changes += msg == WM_COMMAND && HiWord(wParam) == EN_CHANGE && LoWord(wParam) >= 148;
    return msg == WM_INITDIALOG;
}

int RunDialog(std::function<void(Hwnd)> fn) {
    action = std::move(fn);
    destroyed = changes = 0;
    return DialogBox(100, kNoWindow, Proc);
}

struct Win32Host : testing::Test {
    void SetUp() override {
        static bool started = (InitBlockHeap(), win32host::Start(), true);
        (void)started;
    }
    void TearDown() override {
        stop = true;
        closer.join();
    }
    volatile bool stop = false;
    std::thread closer{CloseQuestionBoxes, &stop};
};
}  // namespace

TEST_F(Win32Host, KeepsTheHostContract) {
    EXPECT_EQ(RunDialog([](Hwnd w) { RunHostContract(ShownBarPos), EndDialog(w, 7); }), 7);
    // Text the program sets is announced as AnnouncesSetText says: not for
    // the multi-line field 148.
    RunDialog([](Hwnd w) {
        SetDlgItemText(w, 148, "wpt"), SetDlgItemText(w, 149, "x"), EndDialog(w, 0);
    });
    EXPECT_EQ(changes, 1);
}

TEST_F(Win32Host, EndsWithItsResultAQuitsCodeOrTheThreadsExit) {
    EXPECT_EQ(RunDialog([](Hwnd w) { EndDialog(w, 3); }) * 10 + destroyed, 31);
    EXPECT_EQ(RunDialog([](Hwnd) { PostQuitMessage(5); }) * 10 + destroyed, 51);
    // The thread's exit ends the dialog without destroy, and is thrown on.
    try {
        RunDialog([](Hwnd) { ExitThread(254); });
        ADD_FAILURE() << "no exit";
    } catch (const ThreadExit& e) {
        EXPECT_EQ(e.code * 10 + destroyed, 2540);
    }
    EXPECT_EQ(RunDialog([](Hwnd w) { EndDialog(w, 7); }), 7) << "usable again";
}

TEST_F(Win32Host, WorkerCallsRunOnTheWindowThreadAndItsBoxesWait) {
    std::atomic<int> mismatches{0}, answer{0};
    RunDialog([&](Hwnd) {
        ListInsertColumn(100, 101, 0, "Map Name", 118);
        CreateThread(
            [&]() -> std::uint32_t {
                for (int i = 0; i < 300; ++i) {
                    std::string text = "site " + std::to_string(i);
                    SetDlgItemText(100, 149, text);
                    mismatches += GetDlgItemText(100, 149) != text;
                    mismatches += ListInsertItem(100, 101, -1, "map" + text, i) != i;
                }
                answer = MessageBox(100, "Download?", "Question", MB_YESNO);
                PostCommand(100, IDCANCEL), EndDialog(100, 0);
                return 0;
            },
            nullptr);
    });
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(changes, 300) << "each change told on the window's thread";
    EXPECT_EQ(answer.load(), IDNO);
}
