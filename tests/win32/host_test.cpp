// The Win32 window host keeps the contract of every host on a dialog 100 of
// the system's dialog manager (run under Wine on a display by
// scripts/windows-smoke.sh).
#include "platform/win32/host.h"

#include <gtest/gtest.h>

#include <thread>

#include "native.h"
#include "platform/ui.h"
#include "support/contract.h"

namespace {
constexpr int kRun = 9000;  // a command no control of the template has

std::intptr_t RunContract(Hwnd w, unsigned msg, std::uintptr_t wParam, std::intptr_t) {
    if (msg == WM_INITDIALOG) PostCommand(w, kRun);
    if (msg == WM_COMMAND && LoWord(wParam) == kRun) {
        RunHostContract(ShownBarPos);
        EndDialog(w, 7);
    }
    return msg == WM_INITDIALOG;
}
}  // namespace

TEST(Win32Host, KeepsTheHostContract) {
    win32host::Start();
    volatile bool stop = false;
    std::thread closer(CloseQuestionBoxes, &stop);
    EXPECT_EQ(DialogBox(100, kNoWindow, RunContract), 7);
    stop = true;
    closer.join();
}
