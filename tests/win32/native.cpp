#include "native.h"

#include "platform/win32/host.h"
#include "platform/win32/win32.h"

// After <windows.h>.
#include <commctrl.h>

int ShownBarPos() {
    HWND dialog = static_cast<HWND>(win32host::WindowHandle(100));
    return static_cast<int>(SendDlgItemMessageW(dialog, 157, PBM_GETPOS, 0, 0));
}

void CloseQuestionBoxes(const volatile bool* stop) {
    while (!*stop) {
        if (HWND box = FindWindowW(L"#32770", L"Question")) {
            if (GetDlgItem(box, IDNO) && !GetDlgItem(box, IDCANCEL)) {
                PostMessageW(box, WM_COMMAND, IDNO, 0);
            } else {
                PostMessageW(box, WM_CLOSE, 0, 0);
            }
        }
        Sleep(20);
    }
}
