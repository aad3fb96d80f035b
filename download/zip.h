// Installing a downloaded waypoint for the selected bot: the entries of a
// ZIP archive, or a bare waypoint file copied into the waypoint directory.
#pragma once

#include <string>
#include <vector>

struct zzip_dir;

// Installs the download saved in the temporary directory as remote; local
// is the map's base name with the site's extension. Every installed file is
// named after the map's base name and the bot's extension. False (after a
// status line saying why) when nothing was installed.
bool ExtractFiles(const std::string& remote, const std::string& local);
// The files that the last ExtractFiles wrote, as full paths, in order.
std::vector<std::string> InstalledFiles();

// Writes the archive's entry name (stored exactly so) into directory: 1
// written (an empty entry writes no file), 0 no such entry, -1 it could not
// be read whole or written (a status line says why).
int Extract(zzip_dir* archive, const std::string& name, const std::string& directory);
