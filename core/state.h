// What every part of the program shares: the program version, the sizes of
// the design's tables and the main window. Each other piece of state lives in
// the module that owns it, with that module's reset.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/ui.h"
#include "resources/ids.h"

// The program version: shown as 2.50, stored as 250.
inline constexpr double kProgramVersion = 2.5;

inline constexpr int kMaxMaps = 4000;          // slots of the map name list
inline constexpr int kMapNameSize = 64;        // bytes per slot, terminator included
inline constexpr int kMaxResults = 4000;       // result records
inline constexpr std::size_t kPathSize = 260;  // the path buffers of the stored format

extern std::atomic<Hwnd> md;  // the main window, kNoWindow before it opens

// Forgets the main window (tests: a new run).
void ResetSharedState();
