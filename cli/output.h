// What nodescan-cli prints: the check's lists and counters, the bot table,
// as plain tables or one JSON document.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

void PrintCheck(std::ostream& out, bool redundant, bool json);
void PrintBots(std::ostream& out, bool json);
void PrintSites(std::ostream& out, bool json);
// The game and map directories and each bot's waypoint directory and extension.
void PrintConfig(std::ostream& out, bool json);
// The path of a written file.
void PrintWritten(std::ostream& out, const std::string& path, bool json);
// What the last waypoint download did: the files it installed. JSON: each
// map's sites tried, files and outcome under "maps" (a single map's also at
// the top), the counts of each outcome, the bot, status lines and messages.
// ran false: there was nothing to download, and no job ran.
void PrintDownload(std::ostream& out, bool json, bool ran = true);
// What the last update check did: the saved release's path (JSON: the
// versions, outcome, archive and messages).
void PrintUpdate(std::ostream& out, bool json);
// The files that the deletion removed (the right list's rows marked deleted).
void PrintDeleted(std::ostream& out, bool json);

// Keeps a status line for the JSON documents. Callable from any thread.
void RecordStatusLine(const std::string& line);
// Leaves the message boxes of that text out of the JSON messages (a note
// for another bot than the run's). Callable from any thread.
void LeaveOutMessage(const std::string& text);

struct SiteInfo;
// The text of one field (name, start, end, ext, host, dir) of a site.
std::string SiteFieldText(const SiteInfo& site, const std::string& field);
