#include "check/scanrunner.h"

#include "check/lists.h"
#include "check/scan.h"
#include "core/state.h"
#include "core/status.h"
#include "resources/ids.h"
#include "settings/locator.h"

ThreadHandle hThread;

bool ScanRunning() {
    return ThreadRunning(hThread);
}

void StartThread(ScanKind kind) {
    if (ScanRunning()) {
        sout("Please Wait! Executing operation!");
        return;
    }
    if (kind == ScanKind::MissingWaypoints) {
        SetDlgItemText(md, kRightListLabel, "Have Waypoints");
        SetDlgItemText(md, kLeftListLabel, "Missing Waypoints");
        checkredway = 0;
    } else {
        SetDlgItemText(md, kRightListLabel, "Redundant Waypoints");
        SetDlgItemText(md, kLeftListLabel, "Existing Waypoints");
        checkredway = 1;
    }
    hThread = nullptr;
    std::uint32_t id = 0;
    hThread = CreateThread([] { return ThreadFunc(nullptr); }, &id);
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

void ResetScanRunner() {
    WaitForThread(hThread);
    hThread = nullptr;
}
