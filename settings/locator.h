// Finds the game directory (the one that holds cstrike.wad) and the map
// directory, keeps both in the machine-wide settings, and hands out the
// temporary directory.
#pragma once

#include <atomic>
#include <string>

#include "platform/ui.h"

// 1: the directories are looked up again at their next use (set when the
// advanced configuration changed them, cleared when a scan has ended).
extern std::atomic<int> research;

// The game directory, looked up at the first use and again while research
// is 1, under the names on disk (the settings keep it as given). Ends the
// calling thread with code 255 when it cannot be determined. The block stays
// valid for the whole run.
const char* GetCdir();
// The map directory, likewise.
const char* GetMdir();

// The stored game directory, or the one a search finds (then stored). False
// when the search reports failure.
bool GetCStrikeDirectory(std::string* out);
// The stored map directory, or the default: the game directory + "maps".
void GetMapDirectory(std::string* out);
// Searches the roots in order for cstrike.wad; out gets its directory with a
// trailing '/'. Ends the calling thread with code 254 when no root has it.
int FindCStrike(Hwnd owner, std::string* out);
// Called after a search found the game installation elsewhere and stored it,
// with the old and the new game directory: start-up installs what moves
// along (the bot table's directories inside the installation).
void SetGameMovedHandler(void (*moved)(const std::string& oldDir, const std::string& newDir));
// Deletes the settings file of an old version, telling the user.
void CheckForOld();
const char* GetTempDir();

// For this run only: use these directories instead of the stored ones. A
// given game directory is never searched for; an empty map directory means
// the game directory + "maps". An empty game directory leaves the game
// directory to the settings (and the search), even when a map directory is
// given.
void SetDirectoryOverride(const std::string& gameDir, const std::string& mapDir);
// For this run only (on) or again (off): the stored directories are used as
// they are, nothing is searched for, replaced or stored, and a game directory
// that is not stored is "". Directories given for the run still count.
void SetStoredDirectoriesOnly(bool on);
// The cached directories without a lookup ("" before the first).
std::string CachedCdir();
std::string CachedMdir();
// Forgets the cached directories, research, the handler, the override and
// the stored-only mode (tests: a new run).
void ResetLocator();
