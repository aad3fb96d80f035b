#include "settings/settings.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "bots/bots.h"
#include "core/layout.h"
#include "core/state.h"
#include "core/status.h"
#include "download/sites.h"
#include "platform/registry.h"
#include "resources/ids.h"

namespace {
constexpr std::uint32_t kStoredVersion = 250;
constexpr std::uint32_t kOldSettingsVersion = 0x40200000;  // the bytes of the float 2.5

std::string SiteValueName(int n) {
    char name[16];
    std::snprintf(name, sizeof name, "Site%d", n);
    return name;
}

void WriteSites(RegKey& key) {
    for (int n = 0; n < kSiteCount; ++n) {
        SiteRecord row = GetSiteRow(n);
        key.WriteBinary(SiteValueName(n), &row, sizeof row);
    }
}

// Reports a failed save once: closing saves twice (close, then destroy), and
// the same failure needs no second box.
bool ReportIfFailed(bool ok) {
    static std::atomic<bool> reported{false};
    if (ok) {
        reported = false;
    } else if (!reported.exchange(true)) {
        MessageBox(md,
                   "The settings could not be saved to " + HiveFilePath(Hive::CurrentUser) +
                       ".\nYour changes of this session are lost.",
                   "Error!", MB_OK | MB_ICONERROR);
    }
    return ok;
}

bool DwordIs(const RegKey& key, const char* name, std::uint32_t value) {
    std::uint32_t v;
    return key.ReadDword(name, &v) && v == value;
}
}  // namespace

void LoadSettings() {
    RegKey key = RegKey::Open(Hive::CurrentUser, true);

    std::uint32_t value;
    if (key.ReadDword("Default Bot", &value) && !key.ReadDword("Version", &value)) {
        // The old values are kept in a dated copy beside the settings file;
        // a run that saves nothing leaves them where they are.
        std::string copy = RegBackupKey(Hive::CurrentUser);
        std::string text =
            RegistryIsReadOnly(Hive::CurrentUser)
                ? "The settings in " + HiveFilePath(Hive::CurrentUser) +
                      " are incompatible: this run uses the defaults and leaves them as they are"
            : copy.empty() ? "I have deleted site settings"
                           : "I have deleted site settings\nA copy of them is kept in " + copy;
        MessageBox(kNoWindow, text, ">>>Incompatible Registry Settings Detected<<<", MB_OK);
        key.Close();
        RegDeleteKey(Hive::CurrentUser);
        key = RegKey::Open(Hive::CurrentUser, true);
        key.WriteDword("Version", kOldSettingsVersion);
    }

    // A stored bot outside the table selects the first bot. Read before the
    // rows are computed: a row's note of a default concerns the selected bot.
    sbot = key.ReadDword("Default Bot", &value) && value < kBotCount ? value : 0;
    ssite = key.ReadDword("Default Site", &value) ? value : 0;
    LoadBots();

    SetEditLimit(md, kSiteEndField, 6);
    SetEditLimit(md, kSiteStartField, 5);
    SetEditLimit(md, kSiteExtField, 5);
    SetEditLimit(md, kSiteHostField, 51);
    SetEditLimit(md, kSiteDirField, 51);
    SetEditLimit(md, kSiteNameField, 51);

    for (int n = 0; n < kSiteCount; ++n) {
        SiteRecord row = GetSiteRow(n);
        if (!key.ReadBinary(SiteValueName(n), &row, sizeof row)) {
            row = GetSiteRow(n);
            key.WriteBinary(SiteValueName(n), &row, sizeof row);
            key.ReadBinary(SiteValueName(n), &row, sizeof row);
        }
        SetSiteRow(n, row);
    }

    SetSiteInfo(SB_THUMBPOSITION, ssite);
    SetDlgItemText(md, kRightListLabel, "Have Waypoints");
    SetDlgItemText(md, kLeftListLabel, "Missing Waypoints");
    ScrollSetRange(md, kSiteScrollBar, 0, kSiteCount - 1);
    ScrollSetPos(md, kSiteScrollBar, static_cast<int>(ssite.load()));

    if (DwordIs(key, "Check All", 1)) CheckDlgButton(md, kSearchAllCheck, true);
    if (DwordIs(key, "Auto Start", 1)) {
        CheckDlgButton(md, kAutoStartCheck, true);
        sprogress("Auto Start Initiated");
        PostCommand(md, kGoButton);
    }
    if (DwordIs(key, "Disable Verify", 1)) CheckDlgButton(md, kDisableVerifyCheck, true);

    std::uint32_t layout = 1;
    key.ReadDword("Difficulty", &layout);
    SetSize(static_cast<SizeMode>(layout));  // the stored layout state is its mode
    if (layout == 2) {
        PostCommand(md, kAdvancedButton);
    }
    key.Close();
    AppStart = 1;
}

bool SaveSites() {
    RegKey key = RegKey::Open(Hive::CurrentUser, true);
    WriteSites(key);
    return key.Close();
}

bool SaveOptions() {
    RegKey key = RegKey::Open(Hive::CurrentUser, true);
    key.WriteDword("Auto Start", IsDlgButtonChecked(md, kAutoStartCheck) ? 1 : 0);
    key.WriteDword("Check All", IsDlgButtonChecked(md, kSearchAllCheck) ? 1 : 0);
    key.WriteDword("Disable Verify", IsDlgButtonChecked(md, kDisableVerifyCheck) ? 1 : 0);
    key.WriteDword("Default Bot", sbot);
    key.WriteDword("Default Site", ssite);
    key.WriteDword("Difficulty",
                   static_cast<std::uint32_t>(AdvButtonPressed(LayoutRequest::ReadState)));
    key.WriteDword("Version", kStoredVersion);
    WriteSites(key);
    return ReportIfFailed(key.Close());
}
