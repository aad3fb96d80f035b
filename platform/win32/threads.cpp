#include "platform/threads.h"

#include "platform/common/transfer.h"
#include "platform/win32/text.h"
#include "platform/win32/win32.h"

namespace {
// The exit codes of a process that the terminal's signals end on POSIX
// (128 + SIGINT, 128 + SIGTERM), so that scripts see the same codes.
constexpr unsigned kInterrupted = 130;
constexpr unsigned kTerminated = 143;

void (*g_first)() = nullptr;  // EndOnSignals' first step

// Runs on a thread of its own that the system starts for the event;
// ExitProcess removes the running transfer's files.
BOOL WINAPI EndOnConsoleEvent(DWORD event) {
    if (g_first) g_first();
    ExitProcess(event == CTRL_C_EVENT ? kInterrupted : kTerminated);
}
}  // namespace

// On Windows the console handler runs on a thread of its own: it may convert.
void RemoveFileNow(const char* path) {
    DeleteFileW(WideText(path).c_str());
}

void EndOnSignals(void (*first)()) {
    g_first = first;
    SetConsoleCtrlHandler(EndOnConsoleEvent, TRUE);
}
