// libFuzzer target for installing a downloaded waypoint archive. The input is
// saved as the download of de_dust.zip and installed for Pod Bot, whose
// waypoint directory is a private one. Whatever the archive holds, only the
// waypoint, its .pxp file and readme.txt may appear in that directory (no
// temporary file is left behind), and an install that fails leaves no
// waypoint there.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

#include "app/state.h"
#include "bots/bots.h"
#include "download/http.h"
#include "download/zip.h"
#include "fuzz/fuzz_env.h"
#include "platform/headless/host.h"

namespace {
const char kRemote[] = "de_dust.zip";
const std::set<std::string> kInstallable = {"de_dust.pwf", "de_dust.pxp", "readme.txt"};
std::string wptDir;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzenv::SetUpProgram();
    wptDir = fuzzenv::PrivateDir() + "/waypoints";
    fuzzenv::MakeDirs(wptDir);
    // A row whose directory is known is used as it is: nothing is computed.
    SetBotDir(kPodBot, wptDir);
    sbot = kPodBot;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    headless::Reset();  // the status lines, message boxes and shell requests of the last input
    fuzzenv::WriteFile(SavedPath(kRemote), data, size);
    bool installed = ExtractFiles(kRemote, kRemote);

    namespace fs = std::filesystem;
    bool waypoint = false;
    for (const fs::directory_entry& e : fs::directory_iterator(wptDir)) {
        std::string name = e.path().filename().string();
        fuzzenv::Expect(kInstallable.count(name) != 0,
                        "only the waypoint, its .pxp file and readme.txt are installed");
        if (name == "de_dust.pwf") waypoint = true;
    }
    fuzzenv::Expect(installed || !waypoint, "a failed install leaves no waypoint");
    for (const std::string& name : kInstallable) fs::remove(wptDir + "/" + name);
    return 0;
}
