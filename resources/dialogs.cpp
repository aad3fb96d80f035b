#include "resources/dialogs.h"

#include "platform/ui.h"
#include "resources/ids.h"

namespace {
using K = ControlKind;

constexpr unsigned kEditBox = kBorder | kAutoHScroll | kTabStop;
constexpr unsigned kCounter = kBorder | kReadOnly | kNumber;
constexpr unsigned kList = kReport | kShowSelAlways | kBorder | kTabStop;

const ControlTemplate kMainControls[] = {
    {kGoButton, K::DefPushButton, "Go! Go! Go!", 11, 203, 64, 15, kTabStop},
    {kExitButton, K::PushButton, "Exit", 361, 216, 51, 13, kTabStop},
    {kBotInfoText, K::Static, nullptr, 6, 52, 67, 36, kBorder},
    {kLeftList, K::ListView, nullptr, 78, 16, 90, 167, kList},
    {kAboutText, K::Static, "Nodescan by Brimlock.  Use this to check which maps have waypoints.",
     9, 143, 66, 42, 0},
    {kBotSelectionGroup, K::GroupBox, "Bot Selection", 6, 1, 67, 51, 0},
    {kExtUsedLabel, K::Static, "Ext Used", 12, 28, 20, 18, 0},
    {kMissingCount, K::Edit, nullptr, 46, 100, 26, 12, kCounter},
    {kMissingLabel, K::Static, "Waypoints Missing", 6, 98, 33, 18, kAlignRight},
    {kOutOfLabel, K::Static, "Out of", 18, 114, 20, 10, 0},
    {kOutOfCount, K::Edit, nullptr, 46, 112, 26, 12, kCounter},
    {kLeftCopyButton, K::PushButton, "Copy to TXT", 79, 186, 51, 14, kTabStop},
    {kRightList, K::ListView, nullptr, 172, 16, 239, 167, kList},
    {kLeftListLabel, K::Static, "Maps MISSING waypoints", 78, 7, 91, 9, 0},
    {kRightListLabel, K::Static, "111111111", 172, 7, 90, 9, 0},
    {kRightCopyButton, K::PushButton, "Copy to TXT", 362, 185, 50, 14, kTabStop},
    {kStatusList, K::ListBox, nullptr, 148, 201, 205, 24, kVScroll | kHScroll | kBorder | kTabStop},
    {kStatusLabel, K::Static, "Status Messages", 148, 189, 60, 9, 0},
    {kCheckUpdateButton, K::PushButton, "Check For Update", 11, 186, 64, 15, kTabStop},
    {kBotCombo, K::ComboBox, nullptr, 12, 10, 55, 87, kVScroll | kTabStop},
    {kBotWebPageButton, K::PushButton, "Goto Bot Web Page", 6, 88, 67, 9, kTabStop},
    {kMapcycleButton, K::PushButton, "Write mapcycle.txt", 291, 185, 67, 14, kTabStop},
    {kDownloadButton, K::PushButton, "Download Waypoint", 8, 128, 68, 14, kTabStop},
    {kSiteHostField, K::Edit, nullptr, 424, 96, 69, 12, kEditBox},
    {kSiteDirField, K::Edit, nullptr, 424, 108, 69, 12, kEditBox},
    {kSiteExtField, K::Edit, nullptr, 424, 84, 27, 12, kEditBox},
    {kSiteExtLabel, K::Static, "Extension", 451, 84, 42, 12, 0},
    {kAutoStartCheck, K::CheckBox, "Auto Start", 422, 131, 47, 10, kTabStop},
    {kOptionsGroup, K::GroupBox, "Options", 419, 121, 66, 37, 0},
    {kCheckRedundantButton, K::PushButton, "Check Redundant Waypoints", 419, 163, 65, 18,
     kMultiLine | kTabStop},
    {kDeleteRedundantButton, K::PushButton, "Delete Redundant Waypoints", 419, 182, 65, 18,
     kMultiLine | kTabStop},
    {kAdvancedConfigButton, K::PushButton, "Advanced Config.", 419, 201, 65, 14, kTabStop},
    {kAdvancedButton, K::PushButton, "Advanced --->", 361, 201, 51, 14, kTabStop},
    {kAdvancedMarker, K::Static, "Start Advanced Box", 346, 4, 74, 12, kHidden},
    {kAdvancedBoxLabel, K::Static, "Advanced Box", 418, 5, 66, 9, kAlignCenter},
    {kHelpButton, K::PushButton, "Help!", 79, 203, 39, 14, kTabStop},
    {kSiteNameField, K::Edit, nullptr, 424, 48, 69, 12, kEditBox},
    {kExtUsedField, K::Edit, nullptr, 38, 29, 28, 12, kReadOnly | kMultiLine},
    {kSiteScrollBar, K::ScrollBar, nullptr, 424, 40, 69, 8, 0},
    {kSiteLabel, K::Static, "Select Site to Download From:", 424, 23, 75, 18, 0},
    {kSiteStartField, K::Edit, nullptr, 424, 60, 27, 12, kEditBox},
    {kSiteStartLabel, K::Static, "Start text", 451, 60, 48, 12, 0},
    {kSearchAllCheck, K::CheckBox, "Search All", 422, 142, 57, 10, kTabStop},
    {kSiteEndField, K::Edit, nullptr, 424, 72, 27, 12, kEditBox},
    {kSiteEndLabel, K::Static, "End Text", 451, 72, 44, 12, 0},
    {kProgressBar, K::Progress, nullptr, 148, 222, 205, 10, kHidden},
};
static_assert(sizeof(kMainControls) / sizeof(kMainControls[0]) == 46);

const ControlTemplate kConfigControls[] = {
    {IDOK, K::PushButton, "OK", 44, 106, 40, 14, kTabStop},
    {IDCANCEL, K::PushButton, "Cancel", 99, 106, 40, 14, kTabStop},
    {kConfigBotCombo, K::ComboBox, nullptr, 7, 63, 66, 60, kDropDownList | kVScroll | kTabStop},
    {kBotDirField, K::Edit, nullptr, 6, 87, 168, 12, kEditBox | kMultiLine},
    {kBotDirLabel, K::Static, "Bot Waypoint Directory:", 6, 76, 89, 9, kGroup},
    {kGameDirField, K::Edit, nullptr, 6, 16, 168, 12, kEditBox},
    {kGameDirLabel, K::Static, "Counter Strike directory", 6, 6, 144, 9, kGroup},
    {kMapDirLabel, K::Static, "Counter Strike map directory", 6, 28, 141, 9, kGroup},
    {kMapDirField, K::Edit, nullptr, 6, 37, 168, 12, kEditBox},
    {kBotExtLabel, K::Static, "Waypoint Extension", 90, 63, 33, 19, kGroup},
    {kBotExtField, K::Edit, nullptr, 123, 66, 32, 12, kEditBox},
};

const DialogTemplate kMain = {kMainDialog, "Waypoint Checker", 30, 12, 499, 232, "Helv", 8,
                              true,        kMainControls};
const DialogTemplate kConfig = {
    kConfigDialog,  "NodeScan Advanced Configuration", 72, 21, 180, 126, "MS Sans Serif", 8, true,
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
