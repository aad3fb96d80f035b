#include "resources/dialogs.h"

namespace {
using K = ControlKind;

constexpr unsigned kEditBox = kBorder | kAutoHScroll | kTabStop;
constexpr unsigned kCounter = kBorder | kReadOnly | kNumber;
constexpr unsigned kList = kReport | kShowSelAlways | kBorder | kTabStop;

const ControlTemplate kMainControls[] = {
    {1, K::DefPushButton, "Go! Go! Go!", 11, 203, 64, 15, kTabStop},
    {2, K::PushButton, "Exit", 361, 216, 51, 13, kTabStop},
    {103, K::Static, nullptr, 6, 52, 67, 36, kBorder},
    {101, K::ListView, nullptr, 78, 16, 90, 167, kList},
    {22222, K::Static, "Nodescan by Brimlock.  Use this to check which maps have waypoints.", 9,
     143, 66, 42, 0},
    {177, K::GroupBox, "Bot Selection", 6, 1, 67, 51, 0},
    {130, K::Static, "Ext Used", 12, 28, 20, 18, 0},
    {112, K::Edit, nullptr, 46, 100, 26, 12, kCounter},
    {113, K::Static, "Waypoints Missing", 6, 98, 33, 18, kAlignRight},
    {114, K::Static, "Out of", 18, 114, 20, 10, 0},
    {115, K::Edit, nullptr, 46, 112, 26, 12, kCounter},
    {116, K::PushButton, "Copy to TXT", 79, 186, 51, 14, kTabStop},
    {123, K::ListView, nullptr, 172, 16, 239, 167, kList},
    {125, K::Static, "Maps MISSING waypoints", 78, 7, 91, 9, 0},
    {141, K::Static, "111111111", 172, 7, 90, 9, 0},
    {122, K::PushButton, "Copy to TXT", 362, 185, 50, 14, kTabStop},
    {126, K::ListBox, nullptr, 148, 201, 205, 24, kVScroll | kHScroll | kBorder | kTabStop},
    {127, K::Static, "Status Messages", 148, 189, 60, 9, 0},
    {129, K::PushButton, "Check For Update", 11, 186, 64, 15, kTabStop},
    {102, K::ComboBox, nullptr, 12, 10, 55, 87, kVScroll | kTabStop},
    {105, K::PushButton, "Goto Bot Web Page", 6, 88, 67, 9, kTabStop},
    {106, K::PushButton, "Write mapcycle.txt", 291, 185, 67, 14, kTabStop},
    {109, K::PushButton, "Download Waypoint", 8, 128, 68, 14, kTabStop},
    {110, K::Edit, nullptr, 424, 96, 69, 12, kEditBox},
    {131, K::Edit, nullptr, 424, 108, 69, 12, kEditBox},
    {132, K::Edit, nullptr, 424, 84, 27, 12, kEditBox},
    {133, K::Static, "Extension", 451, 84, 42, 12, 0},
    {134, K::CheckBox, "Auto Start", 422, 131, 47, 10, kTabStop},
    {136, K::GroupBox, "Options", 419, 121, 66, 37, 0},
    {139, K::PushButton, "Check Redundant Waypoints", 419, 163, 65, 18, kMultiLine | kTabStop},
    {140, K::PushButton, "Delete Redundant Waypoints", 419, 182, 65, 18, kMultiLine | kTabStop},
    {142, K::PushButton, "Advanced Config.", 419, 201, 65, 14, kTabStop},
    {143, K::PushButton, "Advanced --->", 361, 201, 51, 14, kTabStop},
    {144, K::Static, "Start Advanced Box", 346, 4, 74, 12, kHidden},
    {145, K::Static, "Advanced Box", 418, 5, 66, 9, kAlignCenter},
    {146, K::PushButton, "Help!", 79, 203, 39, 14, kTabStop},
    {149, K::Edit, nullptr, 424, 48, 69, 12, kEditBox},
    {148, K::Edit, nullptr, 38, 29, 28, 12, kReadOnly | kMultiLine},
    {150, K::ScrollBar, nullptr, 424, 40, 69, 8, 0},
    {151, K::Static, "Select Site to Download From:", 424, 23, 75, 18, 0},
    {152, K::Edit, nullptr, 424, 60, 27, 12, kEditBox},
    {153, K::Static, "Start text", 451, 60, 48, 12, 0},
    {111, K::CheckBox, "Search All", 422, 142, 57, 10, kTabStop},
    {154, K::Edit, nullptr, 424, 72, 27, 12, kEditBox},
    {156, K::Static, "End Text", 451, 72, 44, 12, 0},
    {157, K::Progress, nullptr, 148, 222, 205, 10, kHidden},
};
static_assert(sizeof(kMainControls) / sizeof(kMainControls[0]) == 46);

const ControlTemplate kConfigControls[] = {
    {1, K::PushButton, "OK", 44, 106, 40, 14, kTabStop},
    {2, K::PushButton, "Cancel", 99, 106, 40, 14, kTabStop},
    {301, K::ComboBox, nullptr, 7, 63, 66, 60, kDropDownList | kVScroll | kTabStop},
    {303, K::Edit, nullptr, 6, 87, 168, 12, kEditBox | kMultiLine},
    {304, K::Static, "Bot Waypoint Directory:", 6, 76, 89, 9, kGroup},
    {305, K::Edit, nullptr, 6, 16, 168, 12, kEditBox},
    {306, K::Static, "Counter Strike directory", 6, 6, 144, 9, kGroup},
    {308, K::Static, "Counter Strike map directory", 6, 28, 141, 9, kGroup},
    {309, K::Edit, nullptr, 6, 37, 168, 12, kEditBox},
    {302, K::Static, "Waypoint Extension", 90, 63, 33, 19, kGroup},
    {310, K::Edit, nullptr, 123, 66, 32, 12, kEditBox},
};

const DialogTemplate kMain = {100,  "Waypoint Checker", 30, 12, 499, 232, "Helv", 8,
                              true, kMainControls};
const DialogTemplate kConfig = {300,
                                "NodeScan Advanced Configuration",
                                72,
                                21,
                                180,
                                126,
                                "MS Sans Serif",
                                8,
                                true,
                                kConfigControls};
}  // namespace

const DialogTemplate& MainDialogTemplate() {
    return kMain;
}
const DialogTemplate& ConfigDialogTemplate() {
    return kConfig;
}

const DialogTemplate* FindDialogTemplate(int id) {
    if (id == kMain.id) return &kMain;
    if (id == kConfig.id) return &kConfig;
    return nullptr;
}

const ControlTemplate* FindControlTemplate(const DialogTemplate& dialog, int id) {
    for (const auto& c : dialog.controls)
        if (c.id == id) return &c;
    return nullptr;
}
