// libFuzzer target for installing a downloaded waypoint archive. The input is
// saved as the download of de_dust.zip and installed for Pod Bot, whose
// waypoint directory is a private one. Whatever the archive holds, only the
// waypoint, its .pxp file and readme.txt may appear in that directory (no
// temporary file is left behind), each one InstalledFiles names, and an
// install that fails writes nothing.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

#include "bots/bots.h"
#include "core/state.h"
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
    bool installed = ExtractFiles(kRemote, kRemote, kPodBot);

    namespace fs = std::filesystem;
    std::set<std::string> listed;
    for (const std::string& path : InstalledFiles()) listed.insert(fs::path(path).filename());
    std::size_t files = 0;
    for (const fs::directory_entry& e : fs::directory_iterator(wptDir)) {
        std::string name = e.path().filename().string();
        fuzzenv::Expect(kInstallable.count(name) != 0,
                        "only the waypoint, its .pxp file and readme.txt are installed");
        fuzzenv::Expect(listed.count(name) != 0, "every file installed is listed");
        ++files;
    }
    fuzzenv::Expect(files == listed.size(), "every file listed is installed");
    fuzzenv::Expect(installed || files == 0, "a failed install writes nothing");
    for (const std::string& name : kInstallable) fs::remove(wptDir + "/" + name);
    return 0;
}
