#include "app/scanrunner.h"

#include "check/lists.h"
#include "check/scan.h"
#include "core/state.h"
#include "core/status.h"

void StartThread(int code) {
    std::uint32_t exitCode;
    if (GetExitCodeThread(hThread, &exitCode)) ec = exitCode;
    if (ec == STILL_ACTIVE) {
        sout("Please Wait! Executing operation!");
        return;
    }
    if (code == 1) {
        SetDlgItemText(md, 141, "Have Waypoints");
        SetDlgItemText(md, 125, "Missing Waypoints");
        checkredway = 0;
    } else {
        SetDlgItemText(md, 141, "Redundant Waypoints");
        SetDlgItemText(md, 125, "Existing Waypoints");
        checkredway = 1;
    }
    hThread = nullptr;
    std::uint32_t id = 0;
    hThread = CreateThread([] { return ThreadFunc(nullptr); }, &id);
    dwThreadId = id;
    if (!hThread) {
        sout("CreateThread failed.");
    } else {
        dout("Thread Created\n");
    }
}

std::uint32_t ThreadFunc(void*) {
    ClearLists(md);
    BotFind();
    research = 0;
    return 0;
}
