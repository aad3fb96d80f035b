// The update check (job 1 of the worker): the update server's version.txt
// against the program's version, and the release archive when it is newer.
#pragma once

#include <atomic>
#include <string>

// Whether a downloaded release ends the program (the window); nodescan-cli
// only reports where it was saved.
extern std::atomic<bool> updateEndsProgram;

// The update server: NODESCAN_UPDATE_HOST when set, else the host of preset site 0.
std::string UpdateHost();
// True when the program is up to date or the release was saved.
bool UpdateNodescan();

// What the last update check found, for a report: the versions (web "" when
// none was read), how it ended ("up to date", "saved", "declined", "failed"),
// and the saved release ("" when none).
struct UpdateReport {
    std::string local, web, outcome, archive;
};
UpdateReport LastUpdateReport();
// Forgets the last report and lets an installed update end the program
// again (tests: a new run).
void ResetUpdate();
