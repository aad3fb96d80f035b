#include "support/newrun.h"

#include <cstring>

#include "app/state.h"
#include "app/window.h"
#include "bots/bots.h"
#include "download/sites.h"
#include "platform/registry.h"
#include "settings/locator.h"

namespace testenv {
namespace {
// The bot table as compiled in, taken before any run changed it.
const struct CompiledBots {
    BotRecord rows[kBotCount + 1];
    CompiledBots() { std::memcpy(rows, Bots, sizeof rows); }
} compiledBots;
}  // namespace

void ResetProgramState() {
    WaitForThread(hThread);
    RegistryUnload();
    RegistrySetReadOnly(false);
    ResetDirectoryCache();
    std::memcpy(Bots, compiledBots.rows, sizeof Bots);
    for (int bot = 0; bot < kBotCount; ++bot) SetBotDir(bot, compiledBots.rows[bot].dir);
    md = kNoWindow;
    sbot = 0;
    ssite = 0;
    checkredway = 0;
    research = 0;
    AppStart = 0;
    hThread = nullptr;
    ec = 0;
    col = 0;
    statusLines = 0;
    ResetWindowState();
    for (int n = 0; n < kSiteCount; ++n) SetSiteRow(n, PresetSite(n));
}

}  // namespace testenv
