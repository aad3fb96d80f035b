#include "core/layout.h"

#include "core/state.h"
#include "resources/ids.h"

namespace {
int layoutState = 1;  // 1 simple, 2 advanced

struct LayoutSizes {
    int simpleWidth = 0, simpleHeight = 0, fullWidth = 0, fullHeight = 0;
} sizes;
}  // namespace

int AdvButtonPressed(LayoutRequest request) {
    if (request == LayoutRequest::ReadState) return layoutState;
    if (layoutState == 1) {
        SetSize(SizeMode::Advanced);
        SetDlgItemText(md, kAdvancedButton, "<--- Simple");
        layoutState = 2;
    } else {
        SetSize(SizeMode::Simple);
        SetDlgItemText(md, kAdvancedButton, "Advanced --->");
        layoutState = 1;
    }
    return 0;
}

void SetSize(SizeMode mode) {
    Rect marker = GetControlRect(md, kAdvancedMarker);
    Rect window = GetWindowRect(md);
    switch (mode) {
        case SizeMode::Measure:
            sizes.simpleWidth = marker.right - window.left;
            sizes.simpleHeight = sizes.fullHeight = window.bottom - window.top;
            sizes.fullWidth = window.right - window.left;
            break;
        case SizeMode::Simple:
            MoveWindow(md, window.left, window.top, sizes.simpleWidth, sizes.simpleHeight);
            break;
        case SizeMode::Advanced:
            MoveWindow(md, window.left, window.top, sizes.fullWidth, sizes.fullHeight);
            break;
        default:  // a stored value that names no mode
            break;
    }
}

void ResetLayout() {
    layoutState = 1;
    sizes = {};
}
