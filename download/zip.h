// Installing a downloaded waypoint for the selected bot: the entries of a
// ZIP archive, or a bare waypoint file copied into the waypoint directory.
#pragma once

#include <string>
#include <vector>

// Installs the download saved in the temporary directory as remote for bot
// (a row of the bot table); local is the map's base name with the site's
// extension. Every installed file is named after the map's base name and the
// bot's extension. False (after a status line saying why) when the waypoint
// was not installed.
//
// An archive's entries are found by their name without its folder part,
// ignoring case (the first in the archive's order wins). Each entry is
// checked against its local header, its size limit and its CRC-32 before
// its file is put in place; an encrypted, damaged, empty or oversized entry
// or one of an unsupported compression method writes nothing. A readme.txt
// never replaces another file: beside a different one it is installed as
// <map>.readme.txt. successBox: a bare waypoint's copy ends with a box
// saying so (one of several maps leaves that to the status lines).
bool ExtractFiles(const std::string& remote, const std::string& local, int bot,
                  bool successBox = true);
// The files that the last ExtractFiles wrote, as full paths, in order.
std::vector<std::string> InstalledFiles();
