// The download worker: one network job at a time, beside the scan thread.
#pragma once

#include <cstdint>

#include "platform/threads.h"

// The worker thread of the last job (user-interface thread only).
extern ThreadHandle DThread;

enum class DownloadTask {
    Waypoint,     // "Download Waypoint": the selected maps' waypoints
    UpdateCheck,  // "Check For Update"
};
// Starts the job on the worker, unless a job still runs.
void InitDownload(DownloadTask job);
// The worker's procedure for a job; its exit code is 0 when the job did its
// work, 1 otherwise.
std::uint32_t DownloadThread(DownloadTask job);
// Waits for a running job and forgets its thread (tests: a new run).
void ResetWorker();
