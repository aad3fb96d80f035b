// The ids of the two dialog templates and of their controls. Each control is
// named after what it shows (its caption in the template) and its kind.
#pragma once

// The dialog templates.
inline constexpr int kMainDialog = 100;    // the main window
inline constexpr int kConfigDialog = 300;  // the advanced configuration dialog

// The main window (template 100).
inline constexpr int kGoButton = 1;  // "Go! Go! Go!": the missing-waypoint check
inline constexpr int kExitButton = 2;
inline constexpr int kLeftList = 101;  // maps missing waypoints (or redundant ones)
inline constexpr int kBotCombo = 102;
inline constexpr int kBotInfoText = 103;  // the selected bot's description
inline constexpr int kBotWebPageButton = 105;
inline constexpr int kMapcycleButton = 106;  // "Write mapcycle.txt"
inline constexpr int kDownloadButton = 109;  // "Download Waypoint"
inline constexpr int kSiteHostField = 110;
inline constexpr int kSearchAllCheck = 111;
inline constexpr int kMissingCount = 112;  // "Waypoints Missing"
inline constexpr int kMissingLabel = 113;
inline constexpr int kOutOfLabel = 114;
inline constexpr int kOutOfCount = 115;       // "Out of": the maps listed
inline constexpr int kLeftCopyButton = 116;   // "Copy to TXT" under the left list
inline constexpr int kRightCopyButton = 122;  // "Copy to TXT" under the right list
inline constexpr int kRightList = 123;        // maps that have waypoints (or existing ones)
inline constexpr int kLeftListLabel = 125;    // "Maps MISSING waypoints"
inline constexpr int kStatusList = 126;       // "Status Messages"
inline constexpr int kStatusLabel = 127;
inline constexpr int kCheckUpdateButton = 129;  // "Check For Update"
inline constexpr int kExtUsedLabel = 130;
inline constexpr int kSiteDirField = 131;
inline constexpr int kSiteExtField = 132;
inline constexpr int kSiteExtLabel = 133;  // "Extension"
inline constexpr int kAutoStartCheck = 134;
inline constexpr int kOptionsGroup = 136;
// The "Disable Verify" option is stored, but the template has no such control.
inline constexpr int kDisableVerifyCheck = 138;
inline constexpr int kCheckRedundantButton = 139;
inline constexpr int kDeleteRedundantButton = 140;
inline constexpr int kRightListLabel = 141;        // "Have Waypoints"
inline constexpr int kAdvancedConfigButton = 142;  // "Advanced Config.": template 300
inline constexpr int kAdvancedButton = 143;        // "Advanced --->" / "<--- Simple"
inline constexpr int kAdvancedMarker = 144;        // hidden: where the advanced box starts
inline constexpr int kAdvancedBoxLabel = 145;
inline constexpr int kHelpButton = 146;
inline constexpr int kExtUsedField = 148;  // the selected bot's waypoint extension
inline constexpr int kSiteNameField = 149;
inline constexpr int kSiteScrollBar = 150;
inline constexpr int kSiteLabel = 151;  // "Select Site to Download From:"
inline constexpr int kSiteStartField = 152;
inline constexpr int kSiteStartLabel = 153;  // "Start text"
inline constexpr int kSiteEndField = 154;
inline constexpr int kSiteEndLabel = 156;  // "End Text"
inline constexpr int kProgressBar = 157;
inline constexpr int kBotSelectionGroup = 177;
inline constexpr int kAboutText = 22222;  // "Nodescan by Brimlock. ..."

// The advanced configuration dialog (template 300); OK and Cancel are IDOK
// and IDCANCEL.
inline constexpr int kConfigBotCombo = 301;
inline constexpr int kBotExtLabel = 302;  // "Waypoint Extension"
inline constexpr int kBotDirField = 303;
inline constexpr int kBotDirLabel = 304;  // "Bot Waypoint Directory:"
inline constexpr int kGameDirField = 305;
inline constexpr int kGameDirLabel = 306;  // "Counter Strike directory"
inline constexpr int kMapDirLabel = 308;   // "Counter Strike map directory"
inline constexpr int kMapDirField = 309;
inline constexpr int kBotExtField = 310;
