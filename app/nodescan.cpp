#include "app/nodescan.h"

#include <cstdio>

#include "app/scanrunner.h"
#include "app/window.h"
#include "bots/bots.h"
#include "bots/config.h"
#include "check/export.h"
#include "check/lists.h"
#include "check/redundant.h"
#include "check/sort.h"
#include "core/layout.h"
#include "core/state.h"
#include "core/status.h"
#include "download/sites.h"
#include "download/worker.h"
#include "platform/help.h"
#include "platform/memory.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/threads.h"
#include "resources/ids.h"
#include "settings/locator.h"
#include "settings/settings.h"

namespace {
constexpr const char* kHelpFile = "nodescan.hlp";
}  // namespace

int WinMain(void* instance, void* /*prevInstance*/, const char* cmdLine, int /*showCmd*/) {
    RegistrySetNoticeSink(sout);
    if (std::string(cmdLine ? cmdLine : "") == "reset") {
        bool user = RegDeleteKey(Hive::CurrentUser);
        bool machine = RegDeleteKey(Hive::LocalMachine);
        if (!user || !machine) {
            MessageBox(kNoWindow,
                       "The Nodescan settings could not be deleted from " + ConfigDir() + ".",
                       "Error!", MB_OK | MB_ICONERROR);
            return 1;
        }
        ProgressBox(kNoWindow, "Nodescan Registry settings deleted.", "Nodescan Notice", MB_OK);
        return 0;
    }
    hInst = instance;
    return DialogBox(kMainDialog, kNoWindow, DialogFunc);
}

std::intptr_t InitializeApp(Hwnd window, std::uintptr_t, std::intptr_t) {
    SetGameMovedHandler(RebaseBotDirs);
    AppStart = 0;
    md = window;
    int first = IsFirstRun();
    CreateNoWaypointColumns(md);
    SetColumnNames(kRightList, 0);
    SetSize(0);
    SetNodescanWindowText();
    LoadSettings();
    AddBotNames(md);
    SetBotInfo(1);
    AllocateListMemory();
    // A first run shows the directories found before the window opens.
    if (first == 1) DoConfigBox(md);
    return 1;
}

std::intptr_t DialogFunc(Hwnd window, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
    if (DialogHelp(window, msg, wParam, lParam, aIDs)) return 0;
    switch (msg) {
        case WM_INITDIALOG:
            return InitializeApp(window, wParam, lParam);
        case WM_CLOSE:
        case WM_DESTROY:
            SaveOptions();
            EndDialog(window, 0);
            return 0;
        case WM_NOTIFY:
            if (lParam && reinterpret_cast<const ListNotify*>(lParam)->code == LVN_COLUMNCLICK)
                ColumnClicked(reinterpret_cast<const ListNotify*>(lParam));
            return 0;
        case WM_HSCROLL:
            if (lParam == kSiteScrollBar) SetSiteInfo(LoWord(wParam), HiWord(wParam));
            return 0;
        case WM_COMMAND:
            break;
        default:
            return 0;
    }
    unsigned code = HiWord(wParam);
    unsigned id = LoWord(wParam);
    if (code == CBN_SELENDOK && id == kBotCombo) {
        SetBotInfo(0);
        while (!PostCommand(md, kGoButton)) {
        }
    } else if (code == EN_CHANGE) {
        SiteInfoChanged();
    }
    switch (id) {
        case kGoButton:
            StartThread(kGoButton);
            break;
        case kExitButton:
            hThread = nullptr;
            PostQuitMessage(0);
            break;
        case kBotWebPageButton:
            GotoBotWebPageFunc();
            break;
        case kMapcycleButton:
        case kRightCopyButton:
            WriteList(kRightList, static_cast<int>(id));
            break;
        case kLeftCopyButton:
            WriteList(kLeftList, kLeftCopyButton);
            break;
        case kDownloadButton:
            InitDownload(0);
            break;
        case kCheckUpdateButton:
            InitDownload(1);
            break;
        case kCheckRedundantButton:
            StartThread(kCheckRedundantButton);
            break;
        case kDeleteRedundantButton:
            DeleteRedundantWaypoints(true);  // the desktop keeps what a click threw away
            break;
        case kAdvancedConfigButton:
            DoConfigBox(md);
            break;
        case kAdvancedButton:
            AdvButtonPressed(0);
            break;
        case kHelpButton:
            WinHelp(md, kHelpFile, HELP_FINDER, nullptr, 0);
            break;
        default:
            break;
    }
    return 0;
}

int IsFirstRun() {
    RegKey key = RegKey::Open(Hive::CurrentUser, false);
    return key.ok() ? 0 : 1;
}

void AllocateListMemory() {
    // The result tables hold texts and numbers only: the block heap's
    // collections need not read their 1.7 MB (said once a process).
    static const bool told =
        (KeepNoBlocksIn(MY, sizeof MY), KeepNoBlocksIn(MYSource, sizeof MYSource), true);
    (void)told;
    for (auto& slot : maps) {
        slot = AllocBlock(kMapNameSize);
        if (!slot) {
            MessageBox(kNoWindow, "Error Allocating Memory!", "Error!", MB_OK);
            ExitProcess(555);
        }
    }
}

std::string NodescanWindowText() {
    char title[100];
    std::snprintf(title, sizeof title, "NodeScan FINAL v%.2f by Brimlock - %s", kProgramVersion,
                  kContactAddress);
    return title;
}

std::string VersionText() {
    char text[32];
    std::snprintf(text, sizeof text, "nodescan %.2f", kProgramVersion);
    return text;
}

void SetNodescanWindowText() {
    SetWindowTitle(md, NodescanWindowText());
}
