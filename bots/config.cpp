#include "bots/config.h"

#include "bots/bots.h"
#include "core/state.h"
#include "platform/files.h"
#include "platform/help.h"
#include "platform/registry.h"
#include "resources/ids.h"
#include "settings/locator.h"

std::atomic<int> cbot{0};

namespace {
constexpr std::uint32_t Context(std::uint32_t id) {
    return (id << 16) | kConfigDialog;
}
}  // namespace

#define NODESCAN_HELP_ID(id) id, Context(id)
const std::uint32_t aConfigHelpIDs[] = {
    NODESCAN_HELP_ID(kConfigBotCombo),
    NODESCAN_HELP_ID(kBotDirField),
    NODESCAN_HELP_ID(kGameDirField),
    NODESCAN_HELP_ID(kMapDirField),
    0,
    0,
};
#undef NODESCAN_HELP_ID

namespace {
constexpr int kExtChars = 4;

// The two bot fields as they stand, into the row they belong to. Paths are
// taken whole: a path may be longer than the field of a stored row. An
// extension that is no valid one is not taken; false then, and told when
// tell (the field keeps it for correction).
bool KeepBotFields(Hwnd w, bool tell) {
    int bot = cbot;
    // The field shows the directory under the names on disk: the row keeps
    // its own text until another is typed.
    if (std::string dir = NormalPath(GetDlgItemText(w, kBotDirField)); dir != GetBotDir(bot))
        SetBotDir(bot, dir);
    std::string ext = GetDlgItemText(w, kBotExtField), refusal = BotExtRefusal(ext);
    if (refusal.empty()) {
        SetBotExtA(bot, ext);
        return true;
    }
    if (tell) MessageBox(w, refusal + ".", "Error!", MB_OK | MB_ICONERROR);
    return false;
}

void ShowBotFields(Hwnd w) {
    DisplayBotDir(w, kBotDirField, cbot);
    SetDlgItemText(w, kBotExtField, GetBotExt(cbot));
}

void Open(Hwnd w) {
    SetDlgItemText(w, kGameDirField, GetCdir());
    SetDlgItemText(w, kMapDirField, GetMdir());
    for (int i = 0; i < kBotCount; ++i) {
        int item = ComboAddString(w, kConfigBotCombo, GetBotName(i));
        ComboSetItemData(w, kConfigBotCombo, item, GetBotID(i));
    }
    cbot = 0;
    ComboSetCurSel(w, kConfigBotCombo, 0);
    ShowBotFields(w);
    SetEditLimit(w, kBotExtField, kExtChars);
}
}  // namespace

int DoConfigBox(Hwnd owner) {
    return DialogBox(kConfigDialog, owner, ConfigDialogFunc);
}

bool SaveConfig(const std::string& gameDir, const std::string& mapDir) {
    RegKey key = RegKey::Open(Hive::LocalMachine, true);
    key.WriteString("CSDir", NormalPath(gameDir));
    key.WriteString("MapDir", NormalPath(mapDir));
    bool ok = SaveBots();
    ok = key.Close() && ok;
    research = 1;
    return ok;
}

std::intptr_t ConfigDialogFunc(Hwnd w, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
    if (DialogHelp(w, msg, wParam, lParam, aConfigHelpIDs)) return 0;
    switch (msg) {
        case WM_INITDIALOG:
            Open(w);
            return 1;
        case WM_COMMAND:
            break;
        default:
            return 0;
    }
    unsigned code = HiWord(wParam);
    int id = static_cast<int>(LoWord(wParam));
    if (id == kConfigBotCombo && code == CBN_SELENDOK) {
        KeepBotFields(w, true);
    } else if (id == kConfigBotCombo && code == CBN_SELCHANGE) {
        int sel = ComboGetCurSel(w, kConfigBotCombo);
        if (sel >= 0 && sel < kBotCount) cbot = sel;
        ShowBotFields(w);
    } else if (code == EN_KILLFOCUS) {
        KeepBotFields(w, false);
    }
    if (code != 0) return 0;
    if (id == IDOK) {
        // A change typed just before Enter has not left its field yet.
        if (!KeepBotFields(w, true)) return 0;
        if (!SaveConfig(GetDlgItemText(w, kGameDirField), GetDlgItemText(w, kMapDirField)))
            MessageBox(w,
                       "The settings could not be saved to " + HiveFilePath(Hive::LocalMachine) +
                           " and " + HiveFilePath(Hive::CurrentUser) + ".",
                       "Error!", MB_OK | MB_ICONERROR);
        EndDialog(w, 0);
    } else if (id == IDCANCEL) {
        EndDialog(w, 0);
    }
    return 0;
}
