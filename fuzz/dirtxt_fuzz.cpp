// libFuzzer target for the reading of Joe Bot's dir.txt, which names the
// waypoint sets (directories below Joe Bot's waypoint directory) that a
// missing-waypoint check looks through. The input is written as dir.txt and
// the check runs over a small game: four maps, and two sets holding
// waypoints for three of them. Whatever the file names, every map is listed
// exactly once, either as having a waypoint (right list) or as missing one
// (left list), and the map that no set has a waypoint for is always missing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/nodescan.h"
#include "bots/bots.h"
#include "check/lists.h"
#include "check/scan.h"
#include "core/state.h"
#include "fuzz/fuzz_env.h"
#include "platform/headless/host.h"

namespace {
std::string mapDir, wptDir;
// The rows as the lists show them: the map's name up to its first dot, then "bsp".
const std::vector<std::string> kMaps = {"cs_italy.bsp", "cs_office.bsp", "de_aztec.bsp",
                                        "de_dust.bsp"};
const char kUnwaypointed[] = "cs_italy.bsp";

// A Joe Bot waypoint's header: its file type, then the version at offset 8.
void AddWaypoint(const std::string& path, std::uint8_t version) {
    std::uint8_t bytes[84] = {'H', 'P', 'B', '_', 'b', 'o', 't', 0, version};
    fuzzenv::WriteFile(path, bytes, sizeof bytes);
}

std::vector<std::string> FirstCells(int list) {
    std::vector<std::string> out;
    for (const headless::ListRow& row : headless::Rows(md, list))
        out.push_back(row.cells.empty() ? "" : row.cells[0]);
    return out;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string game = fuzzenv::SetUpProgram();
    mapDir = game + "maps";
    wptDir = game + "JoeBot/wpjs";
    const std::uint8_t bsp[4] = {30, 0, 0, 0};
    for (const std::string& map : kMaps) fuzzenv::WriteFile(mapDir + "/" + map, bsp, sizeof bsp);
    fuzzenv::MakeDirs(wptDir + "/std");
    fuzzenv::MakeDirs(wptDir + "/team1");
    AddWaypoint(wptDir + "/std/de_aztec.wpj", 5);
    AddWaypoint(wptDir + "/std/de_dust.wpj", 5);
    AddWaypoint(wptDir + "/team1/cs_office.wpj", 6);
    AddWaypoint(wptDir + "/team1/de_dust.wpj", 6);
    AllocateListMemory();
    checkredway = 0;
    sbot = kJoeBot;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A fresh main window: empty lists, no status lines or message boxes kept.
    headless::Reset();
    md = headless::CreateDialog(100, nullptr);
    fuzzenv::WriteFile(wptDir + "/dir.txt", data, size);
    JoeBotFind(kJoeBot, mapDir, wptDir);

    std::vector<std::string> found = FirstCells(kRightList), missing = FirstCells(kLeftList);
    fuzzenv::Expect(std::find(missing.begin(), missing.end(), kUnwaypointed) != missing.end(),
                    "the map without any waypoint is listed as missing");
    std::vector<std::string> all = found;
    all.insert(all.end(), missing.begin(), missing.end());
    std::sort(all.begin(), all.end());
    fuzzenv::Expect(all == kMaps, "every map is listed exactly once");
    return 0;
}
