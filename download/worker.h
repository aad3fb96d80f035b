// The download worker: one network job at a time, beside the scan thread.
#pragma once

#include <cstdint>

// The numbers are those kept in dfunc.
enum class DownloadTask {
    Waypoint = 0,     // "Download Waypoint": the selected maps' waypoints
    UpdateCheck = 1,  // "Check For Update"
};
// Starts the job on the worker, unless a job still runs.
void InitDownload(DownloadTask job);
// The worker's procedure for a job; its exit code is 0 when the job did its
// work, 1 otherwise.
std::uint32_t DownloadThread(DownloadTask job);
