#include "download/worker.h"

#include "core/status.h"
#include "download/update.h"
#include "download/waypoint.h"
#include "platform/threads.h"

ThreadHandle DThread;

void InitDownload(DownloadTask job) {
    if (ThreadRunning(DThread)) {
        sout("Download already in progress!");
        return;
    }
    // The job is handed to the thread itself: a press while a job runs
    // changes nothing of it.
    DThread = nullptr;
    std::uint32_t id = 0;
    DThread = CreateThread([job] { return DownloadThread(job); }, &id);
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

void ResetWorker() {
    WaitForThread(DThread);
    DThread = nullptr;
}
