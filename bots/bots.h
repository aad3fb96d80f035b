// The table of supported bots: each bot's name, waypoint extension and
// waypoint directory, kept in the settings as one binary row per bot.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/ui.h"

// One bot. The byte layout is also the stored format of a row.
struct BotRecord {
    char name[32];
    std::int32_t id;
    char ext[5];
    char info[100];
    char url[100];
    char dll[32];
    char dir[260];
    char pad[3];
};
static_assert(sizeof(BotRecord) == 536);
static_assert(offsetof(BotRecord, id) == 32);
static_assert(offsetof(BotRecord, ext) == 36);
static_assert(offsetof(BotRecord, info) == 41);
static_assert(offsetof(BotRecord, url) == 141);
static_assert(offsetof(BotRecord, dll) == 241);
static_assert(offsetof(BotRecord, dir) == 273);
static_assert(offsetof(BotRecord, pad) == 533);

inline constexpr int kBotCount = 11;  // rows 0 to 10; row 11 ends the table
inline constexpr int kPodBot = 0;
inline constexpr int kJoeBot = 3;

// The selected bot row, 0 to 10.
extern std::atomic<std::uint32_t> sbot;

// Rows 0 to 10 and the terminating row. Guarded by the accessors below; read
// it directly only while no other thread runs.
extern BotRecord Bots[kBotCount + 1];

// The table's text fields, each cut at its width when it has no terminator.
std::string GetBotName(int bot);
int GetBotID(int bot);
std::string GetBotExt(int bot);
std::string GetBotInfo(int bot);
std::string GetBotUrl(int bot);
void SetBotExtA(int bot, const std::string& text);
// Why text may not be a waypoint extension, as the user is told; "" when it
// may: 1 to 4 ASCII letters or digits (it becomes part of file names, so no
// separator, dot or control character).
std::string BotExtRefusal(const std::string& text);
// Sets the row's waypoint directory. One too long for the row's field is
// used whole for this run and leaves the field empty (computed again).
void SetBotDir(int bot, const std::string& text);
// The row's waypoint directory without computing it, under the names on disk
// as far as they exist (the row keeps the text as typed or computed).
std::string GetBotDir(int bot);
void DisplayBotDir(Hwnd window, int control, int bot);
// Shows the selected bot's extension in control kExtUsedField and returns it.
std::string DisplayBotExt(int bot);

enum class BotFrom {
    Selector,  // takes the selector's choice into sbot
    Sbot,      // first selects row sbot in the selector
};
// Shows the selected bot in the main window.
void SetBotInfo(BotFrom from);
// Makes row bot the selected bot and shows its extension and credit line.
void ShowBot(int bot);

// The bot's waypoint directory, computed and kept in the row when not yet
// known; under the names on disk as far as they exist, as GetBotDir.
std::string GetBotWaypointDir(int bot);
// The game directory followed by sub.
std::string MakeBotDirA(const std::string& sub, const std::string& cdir);
// The game base directory (cdir without its last component) followed by sub.
std::string MakeBotDirB(const std::string& sub, const std::string& cdir);

// After the game directory moved from oldCdir to newCdir: waypoint
// directories that lay under the old game or base directory are moved along
// (and stored, where the rows are stored); others stay.
void RebaseBotDirs(const std::string& oldCdir, const std::string& newCdir);

void LoadBots();
// Store one row, or all rows; false when the settings file could not be written.
bool SaveBot(int bot);
bool SaveBots();
// A copy of one row's bytes, taken under the table's lock.
BotRecord GetBotRow(int bot);
// Gives every row its compiled-in content again and selects row 0 (tests: a
// new run).
void ResetBots();
