// The runner of the scan thread: one scan at a time.
#pragma once

#include <cstdint>

enum class ScanKind {
    MissingWaypoints,    // maps without a waypoint file ("Go! Go! Go!", a bot choice)
    RedundantWaypoints,  // waypoint files without a map ("Check Redundant Waypoints")
};
// Starts a scan of that kind. Refused with a status line while a scan runs.
void StartThread(ScanKind kind);
std::uint32_t ThreadFunc(void* parameter);
