// The help viewer: the topics of the help bundle, one per context id (the
// control id in the high 16 bits, the dialog's template id in the low 16).
#pragma once

#include <cstdint>

#include "platform/ui.h"

enum : unsigned {
    HELP_CONTEXTMENU = 0x000A,  // offer "What's This?" for the control, then show its topic
    HELP_FINDER = 0x000B,       // show the contents
    HELP_WM_HELP = 0x000C,      // show the control's topic at once
};

// file names the bundle ("nodescan.hlp"). ids is a table of (control id,
// context id) pairs ended by a pair of zeros; ctrlId the control asked about.
// False when the bundle or the topic is missing (the viewer has told the user).
bool WinHelp(int owner, const char* file, unsigned command, const std::uint32_t* ids, int ctrlId);

// A dialog procedure's answer to a help request (WM_HELP: the control's
// topic; WM_CONTEXTMENU: "What's This?" for the control clicked) with the
// bundle "nodescan.hlp" and the dialog's table ids. False for any other message.
inline bool DialogHelp(Hwnd w, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam,
                       const std::uint32_t* ids) {
    if (msg == WM_HELP && lParam) {
        WinHelp(w, "nodescan.hlp", HELP_WM_HELP, ids,
                reinterpret_cast<const HelpRequest*>(lParam)->ctrlId);
    } else if (msg == WM_CONTEXTMENU) {
        WinHelp(w, "nodescan.hlp", HELP_CONTEXTMENU, ids, static_cast<int>(wParam));
    }
    return msg == WM_HELP || msg == WM_CONTEXTMENU;
}
