#include "app/window.h"

#include "bots/bots.h"
#include "core/state.h"
#include "download/http.h"
#include "platform/shell.h"

namespace {
constexpr std::uint32_t Context(std::uint32_t id) {
    return (id << 16) | 100;
}
}  // namespace

#define NODESCAN_HELP_ID(id) id, Context(id)
const std::uint32_t aIDs[] = {
    NODESCAN_HELP_ID(115),
    NODESCAN_HELP_ID(139),
    NODESCAN_HELP_ID(116),
    NODESCAN_HELP_ID(140),
    NODESCAN_HELP_ID(142),
    NODESCAN_HELP_ID(143),
    NODESCAN_HELP_ID(22222),
    NODESCAN_HELP_ID(122),
    NODESCAN_HELP_ID(146),
    NODESCAN_HELP_ID(123),
    NODESCAN_HELP_ID(101),
    NODESCAN_HELP_ID(102),
    NODESCAN_HELP_ID(149),
    NODESCAN_HELP_ID(126),
    NODESCAN_HELP_ID(103),
    NODESCAN_HELP_ID(150),
    NODESCAN_HELP_ID(105),
    NODESCAN_HELP_ID(152),
    NODESCAN_HELP_ID(129),
    NODESCAN_HELP_ID(106),
    NODESCAN_HELP_ID(177),
    NODESCAN_HELP_ID(154),
    NODESCAN_HELP_ID(131),
    NODESCAN_HELP_ID(132),
    NODESCAN_HELP_ID(109),
    NODESCAN_HELP_ID(133),
    NODESCAN_HELP_ID(110),
    NODESCAN_HELP_ID(134),
    NODESCAN_HELP_ID(111),
    NODESCAN_HELP_ID(112),
    NODESCAN_HELP_ID(136),
    0,
    0,
};
#undef NODESCAN_HELP_ID

void AddBotNames(Hwnd window) {
    for (int i = 0; i < kBotCount; ++i) {
        std::string name = GetBotName(i);
        if (name.empty()) break;
        int item = ComboAddString(window, 102, name);
        ComboSetItemData(window, 102, item, GetBotID(i));
    }
}

void GotoBotWebPageFunc() {
    if (IsConnected() == 0) return;
    ShellOpen(md, GetBotUrl(static_cast<int>(sbot.load())));
}
