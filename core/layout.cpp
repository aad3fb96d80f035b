#include "core/layout.h"

#include "core/state.h"
#include "resources/ids.h"

namespace {
int layoutState = 1;  // 1 simple, 2 advanced

struct LayoutSizes {
    int simpleWidth = 0, simpleHeight = 0, fullWidth = 0, fullHeight = 0;
} sizes;
}  // namespace

int AdvButtonPressed(int query) {
    if (query != 0) return layoutState;
    if (layoutState == 1) {
        SetSize(2);
        SetDlgItemText(md, kAdvancedButton, "<--- Simple");
        layoutState = 2;
    } else {
        SetSize(1);
        SetDlgItemText(md, kAdvancedButton, "Advanced --->");
        layoutState = 1;
    }
    return 0;
}

void SetSize(int mode) {
    Rect marker = GetControlRect(md, kAdvancedMarker);
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

void ResetLayout() {
    layoutState = 1;
    sizes = {};
}
