// Writing a result list to a text file: the right list as the game's
// mapcycle.txt (kMapcycleButton), either list as a list file (kLeftCopyButton and
// kRightCopyButton).
#pragma once

#include <string>

// Where kMapcycleButton (mapcycle.txt in the game directory), kLeftCopyButton or
// kRightCopyButton (the list files) writes; "" for another button.
std::string ListFilePath(int button);

// Writes list (kLeftList or kRightList) for button, as that button does:
// the selected rows (every row when none is selected) in display order,
// "tr_" rows left out. kMapcycleButton is refused after a redundant-waypoint check. A
// written list file is named in a status line and opened with the user's
// program. False when refused or the file could not be written (after
// telling the user).
bool WriteList(int list, int button);

// The writing itself, into path: true when it is in place. For kMapcycleButton the
// previous file is kept as path.bak when it held something else; when it
// cannot be, nothing is written.
bool WriteListFile(int list, int button, const std::string& path);
