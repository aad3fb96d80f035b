// libFuzzer target for the reading of PODBot/PodBot.cfg: the input is
// written as the game's Pod Bot configuration and Pod Bot's waypoint
// directory is computed from it, as on a first run. The directory is the
// game's PODBot directory followed by the "wptfolder" line's value, or
// empty when no such line exists; it holds no line end, and the bot row
// keeps it whole.
#include <cstddef>
#include <cstdint>
#include <string>

#include "bots/bots.h"
#include "fuzz/fuzz_env.h"
#include "platform/files.h"
#include "platform/headless/host.h"

namespace {
std::string podBot;  // the game's PODBot directory, ending in '/'
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string game = fuzzenv::SetUpProgram();
    fuzzenv::MakeDirs(game + "PODBot");
    podBot = JoinPath(game, "PODBot/");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    headless::Reset();  // the status lines and message boxes of the last input
    fuzzenv::WriteFile(podBot + "PodBot.cfg", data, size);
    SetBotDir(kPodBot, "");  // not known yet: computed from the file
    std::string dir = GetBotWaypointDir(kPodBot);
    fuzzenv::Expect(dir.empty() || dir.compare(0, podBot.size(), podBot) == 0,
                    "the directory lies in the game's PODBot directory");
    fuzzenv::Expect(dir.find('\n') == std::string::npos, "the directory holds no line end");
    fuzzenv::Expect(GetBotDir(kPodBot) == dir, "the bot row keeps the directory whole");
    return 0;
}
