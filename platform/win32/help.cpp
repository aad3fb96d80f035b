// The help viewer: the HTML topics installed beside the program, in a folder
// help (<program's folder>\help\*.html), shown in the user's web browser.
#include "platform/help.h"

#include <string>

#include "platform/common/helptopics.h"
#include "platform/shell.h"
#include "platform/win32/text.h"
#include "platform/win32/win32.h"

namespace {

void Tell(const std::string& text) {
    MessageBoxW(GetActiveWindow(), WideText(text).c_str(), WideText(kHelpCaption).c_str(),
                MB_OK | MB_ICONWARNING);
}

// The folder of the help pages, with its trailing backslash.
std::wstring HelpFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return L"help\\";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"help\\";
}

// Shows a page of the bundle; tells the user when it is missing.
bool ShowPage(const std::string& page) {
    std::wstring path = HelpFolder() + WideText(page);
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Tell(MissingHelpTopicText(page));
        return false;
    }
    if (ShellOpen(kNoWindow, NarrowText(path))) return true;
    Tell("No program could be started to show the help topic " + page + ".");
    return false;
}

// Offers "What's This?" at the mouse pointer; true when it was chosen.
bool WhatsThis() {
    HWND owner = GetActiveWindow();
    HMENU menu = CreatePopupMenu();
    if (!owner || !menu || !AppendMenuW(menu, MF_STRING, 1, L"What's This?")) {
        if (menu) DestroyMenu(menu);
        return false;
    }
    POINT at;
    GetCursorPos(&at);
    int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0,
                                owner, nullptr);
    DestroyMenu(menu);
    return chosen == 1;
}

}  // namespace

bool WinHelp(int owner, const char* file, unsigned command, const std::uint32_t* ids, int ctrlId) {
    (void)owner;
    if (!file || std::string(file) != kHelpBundle) {
        Tell(MissingHelpFileText(file));
        return false;
    }
    switch (command) {
        case HELP_FINDER:
            return ShowPage(kHelpContents);
        case HELP_WM_HELP: {
            // A control without a topic gets nothing.
            std::uint32_t context = HelpContext(ids, ctrlId);
            return context != 0 && ShowPage(HelpTopicPage(context));
        }
        case HELP_CONTEXTMENU: {
            std::uint32_t context = HelpContext(ids, ctrlId);
            if (context == 0) return false;
            return !WhatsThis() || ShowPage(HelpTopicPage(context));
        }
        default:
            return false;
    }
}
