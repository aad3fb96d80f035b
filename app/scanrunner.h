// The runner of the scan thread: one scan at a time.
#pragma once

#include <cstdint>

// Starts a scan: code kGoButton the missing-waypoint check, any other code the
// redundant-waypoint check. Refused with a status line while a scan runs.
void StartThread(int code);
std::uint32_t ThreadFunc(void* parameter);
