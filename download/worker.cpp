#include "download/worker.h"

#include "core/state.h"
#include "core/status.h"
#include "download/update.h"
#include "download/waypoint.h"
#include "platform/threads.h"

void InitDownload(DownloadTask job) {
    std::uint32_t code;
    if (DThread && GetExitCodeThread(DThread, &code) && code == STILL_ACTIVE) {
        sout("Download already in progress!");
        return;
    }
    // Stored only now, and handed to the thread itself: a press while a job
    // runs changes nothing of it.
    dfunc = static_cast<int>(job);
    DThread = nullptr;
    std::uint32_t id = 0;
    DThread = CreateThread([job] { return DownloadThread(job); }, &id);
    dwThreadId = id;
    if (!DThread) {
        // "Donwload": kept as the original program spells it.
        sout("Donwload CreateThread failed.");
    } else {
        dout("Download Thread Created\n");
    }
}

std::uint32_t DownloadThread(DownloadTask job) {
    bool done = job == DownloadTask::Waypoint ? DownloadWaypoint() : UpdateNodescan();
    return done ? 0 : 1;
}
