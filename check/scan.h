// The scan of the map directory against the selected bot's waypoint files.
#pragma once

#include <atomic>
#include <string>

#include "core/state.h"

// The map name list: kMaxMaps blocks of kMapNameSize bytes, filled by
// FileCount from the map directory.
extern char* maps[kMaxMaps];

// Allocates the blocks of maps; ends the program when memory runs out.
void AllocateListMemory();

// Runs one scan for sbot in the mode checkredway.
void BotFind();
// False when the last scan could not read a directory it needed (each one
// is named in a status line), or could not run at all for its bot.
bool ScanComplete();
int NormalBotFind(int bot, const std::string& mapDir, const std::string& wptDir);
int JoeBotFind(int bot, const std::string& mapDir, const std::string& wptDir);
enum class FindMode {
    Start,         // a scan's pass: counts from 0, then lists what has no counterpart
    AddTestDir,    // one more test directory of a running scan (a Joe Bot set)
    ResetCounter,  // only sets the key counter of the found rows back to 0
};
// The waypoint pass over the listing of L, testing counterparts in T.
int FindFiles(int bot, const std::string& L, const std::string& T, FindMode mode,
              const std::string& mask);
// The second pass: every listed name without a row gets one. A redundant
// waypoint's row names its file in L, which is given under the names on disk.
int FindNotFoundFiles(const std::string& mask, int bot, const std::string& L);
// Fills maps with the names of dir that match mask; returns their number.
int FileCount(const std::string& dir, const std::string& mask);
// Forgets the map list and the last scan's outcome (tests: a new run).
void ResetScan();
