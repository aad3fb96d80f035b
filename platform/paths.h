// Where the program keeps its files, and where it looks for the game.
#pragma once

#include <string>
#include <vector>

// $NODESCAN_HOME/config, else $XDG_CONFIG_HOME/nodescan (~/.config/nodescan).
std::string ConfigDir();
// $NODESCAN_HOME/temp, else $XDG_CACHE_HOME/nodescan/temp (~/.cache/nodescan/temp).
std::string TempDirPath();
// $NODESCAN_HOME/data, else $XDG_DATA_HOME/nodescan (~/.local/share/nodescan).
std::string DataDir();

// The ordered roots of the game search: $NODESCAN_SEARCH_ROOTS (colon
// separated) when set; else the Steam library folders, $HOME, the mount
// points under /mnt, /media and /run/media/$USER, then /.
std::vector<std::string> SearchRoots();
