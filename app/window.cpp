#include "app/window.h"

#include "bots/bots.h"
#include "core/state.h"
#include "platform/net.h"
#include "platform/shell.h"

namespace {
constexpr std::uint32_t Context(std::uint32_t id) {
    return (id << 16) | 100;
}

int layoutState = 1;  // 1 simple, 2 advanced

struct LayoutSizes {
    int simpleWidth = 0, simpleHeight = 0, fullWidth = 0, fullHeight = 0;
} sizes;
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

int AdvButtonPressed(int query) {
    if (query != 0) return layoutState;
    if (layoutState == 1) {
        SetSize(2);
        SetDlgItemText(md, 143, "<--- Simple");
        layoutState = 2;
    } else {
        SetSize(1);
        SetDlgItemText(md, 143, "Advanced --->");
        layoutState = 1;
    }
    return 0;
}

void SetSize(int mode) {
    Rect marker = GetControlRect(md, 144);
    Rect window = GetWindowRect(md);
    switch (mode) {
        case 0:
            sizes.simpleWidth = marker.right - window.left;
            sizes.simpleHeight = sizes.fullHeight = window.bottom - window.top;
            sizes.fullWidth = window.right - window.left;
            break;
        case 1:
            MoveWindow(md, window.left, window.top, sizes.simpleWidth, sizes.simpleHeight);
            break;
        case 2:
            MoveWindow(md, window.left, window.top, sizes.fullWidth, sizes.fullHeight);
            break;
        default:
            break;
    }
}

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

int IsConnected() {
    if (!InternetConnected()) {
        MessageBox(md, "No Internet Connection Found! ABORTING", "Connection Error",
                   MB_OK | MB_ICONERROR);
        return 0;
    }
    return 1;
}

void ResetWindowState() {
    layoutState = 1;
    sizes = {};
}
