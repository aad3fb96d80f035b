#include "app/nodescan.h"

#include <cstdio>

#include "app/window.h"
#include "bots/bots.h"
#include "bots/config.h"
#include "check/export.h"
#include "check/lists.h"
#include "check/redundant.h"
#include "check/scan.h"
#include "check/scanrunner.h"
#include "check/sort.h"
#include "core/layout.h"
#include "core/state.h"
#include "core/status.h"
#include "download/sites.h"
#include "download/worker.h"
#include "platform/help.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/threads.h"
#include "resources/ids.h"
#include "settings/locator.h"
#include "settings/settings.h"

namespace {
constexpr const char* kHelpFile = "nodescan.hlp";
}  // namespace

int WinMain(void* /*instance*/, void* /*prevInstance*/, const char* cmdLine, int /*showCmd*/) {
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
    return DialogBox(kMainDialog, kNoWindow, DialogFunc);
}

std::intptr_t InitializeApp(Hwnd window, std::uintptr_t, std::intptr_t) {
    SetGameMovedHandler(RebaseBotDirs);
    AppStart = 0;
    md = window;
    int first = IsFirstRun();
    CreateNoWaypointColumns(md);
    SetColumnNames(kRightList, ColumnSetup::Insert);
    SetSize(SizeMode::Measure);
    SetNodescanWindowText();
    LoadSettings();
    AddBotNames(md);
    SetBotInfo(BotFrom::Sbot);
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
        SetBotInfo(BotFrom::Selector);
        PostCommand(md, kGoButton);
    } else if (code == EN_CHANGE) {
        SiteInfoChanged();
    }
    switch (id) {
        case kGoButton:
            StartThread(ScanKind::MissingWaypoints);
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
            InitDownload(DownloadTask::Waypoint);
            break;
        case kCheckUpdateButton:
            InitDownload(DownloadTask::UpdateCheck);
            break;
        case kCheckRedundantButton:
            StartThread(ScanKind::RedundantWaypoints);
            break;
        case kDeleteRedundantButton:
            DeleteRedundantWaypoints(true);  // the desktop keeps what a click threw away
            break;
        case kAdvancedConfigButton:
            DoConfigBox(md);
            break;
        case kAdvancedButton:
            AdvButtonPressed(LayoutRequest::Toggle);
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
