// The process-wide state every part of the program shares. Variables that
// more than one thread touches are atomic; the tables document their owners.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/threads.h"
#include "platform/ui.h"
#include "resources/ids.h"

// The program version: shown as 2.50, stored as 250.
inline constexpr double kProgramVersion = 2.5;

inline constexpr int kMaxMaps = 4000;          // slots of the map name list
inline constexpr int kMapNameSize = 64;        // bytes per slot, terminator included
inline constexpr int kMaxResults = 4000;       // result records
inline constexpr std::size_t kPathSize = 260;  // the path buffers of the stored format

// One row of the right result list.
struct ResultRecord {
    char name[32];
    std::uint32_t dosDate;
    std::uint32_t version;
    char author[32];
    std::uint32_t flag;
    std::uint32_t index;
    char dir[260];
};
static_assert(sizeof(ResultRecord) == 340);

extern void* hInst;                       // the program's instance (unused on this platform)
extern std::atomic<Hwnd> md;              // the main window
extern std::atomic<std::uint32_t> sbot;   // selected bot row, 0 to 10
extern std::atomic<std::uint32_t> ssite;  // selected download site row, 0 to 5
extern std::atomic<int> checkredway;      // 0 missing-waypoint check, 1 redundant-waypoint check
extern std::atomic<int> research;         // 1: look the directories up again at their next use
extern std::atomic<int> AppStart;         // 1: typed site fields are copied into the site table
extern ThreadHandle hThread;              // the scan thread (user-interface thread only)
extern std::atomic<std::uint32_t> ec;     // the scan thread's last queried exit code
extern std::atomic<std::uint32_t> dwThreadId;
extern ThreadHandle DThread;          // the download worker
extern std::atomic<int> dfunc;        // the download worker's job: 0 waypoint, 1 update
extern std::atomic<int> col;          // sort slot of the most recent sort
extern int order[8];                  // sort direction per sort slot (user-interface thread)
extern char* maps[kMaxMaps];          // the map name list, 64-byte blocks
extern ResultRecord MY[kMaxResults];  // one record per right-list row
extern char tdir[4096];               // the temporary directory
extern int statusLines;  // lines put into the status list since it was last emptied (window thread)
