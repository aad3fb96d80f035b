#include "app/window.h"

#include "bots/bots.h"
#include "core/state.h"
#include "download/http.h"
#include "platform/shell.h"
#include "resources/ids.h"

namespace {
constexpr std::uint32_t Context(std::uint32_t id) {
    return (id << 16) | kMainDialog;
}
}  // namespace

#define NODESCAN_HELP_ID(id) id, Context(id)
const std::uint32_t aIDs[] = {
    NODESCAN_HELP_ID(kOutOfCount),
    NODESCAN_HELP_ID(kCheckRedundantButton),
    NODESCAN_HELP_ID(kLeftCopyButton),
    NODESCAN_HELP_ID(kDeleteRedundantButton),
    NODESCAN_HELP_ID(kAdvancedConfigButton),
    NODESCAN_HELP_ID(kAdvancedButton),
    NODESCAN_HELP_ID(kAboutText),
    NODESCAN_HELP_ID(kRightCopyButton),
    NODESCAN_HELP_ID(kHelpButton),
    NODESCAN_HELP_ID(kRightList),
    NODESCAN_HELP_ID(kLeftList),
    NODESCAN_HELP_ID(kBotCombo),
    NODESCAN_HELP_ID(kSiteNameField),
    NODESCAN_HELP_ID(kStatusList),
    NODESCAN_HELP_ID(kBotInfoText),
    NODESCAN_HELP_ID(kSiteScrollBar),
    NODESCAN_HELP_ID(kBotWebPageButton),
    NODESCAN_HELP_ID(kSiteStartField),
    NODESCAN_HELP_ID(kCheckUpdateButton),
    NODESCAN_HELP_ID(kMapcycleButton),
    NODESCAN_HELP_ID(kBotSelectionGroup),
    NODESCAN_HELP_ID(kSiteEndField),
    NODESCAN_HELP_ID(kSiteDirField),
    NODESCAN_HELP_ID(kSiteExtField),
    NODESCAN_HELP_ID(kDownloadButton),
    NODESCAN_HELP_ID(kSiteExtLabel),
    NODESCAN_HELP_ID(kSiteHostField),
    NODESCAN_HELP_ID(kAutoStartCheck),
    NODESCAN_HELP_ID(kSearchAllCheck),
    NODESCAN_HELP_ID(kMissingCount),
    NODESCAN_HELP_ID(kOptionsGroup),
    0,
    0,
};
#undef NODESCAN_HELP_ID

void AddBotNames(Hwnd window) {
    for (int i = 0; i < kBotCount; ++i) {
        std::string name = GetBotName(i);
        if (name.empty()) break;
        int item = ComboAddString(window, kBotCombo, name);
        ComboSetItemData(window, kBotCombo, item, GetBotID(i));
    }
}

void GotoBotWebPageFunc() {
    if (IsConnected() == 0) return;
    ShellOpen(md, GetBotUrl(static_cast<int>(sbot.load())));
}
