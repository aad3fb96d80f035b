// The desktop shell: "open" of a web address or a file with the user's program.
#include "platform/shell.h"

#include "platform/win32/text.h"
#include "platform/win32/win32.h"
// After <windows.h>.
#include <objbase.h>
#include <shellapi.h>

bool ShellOpen(int owner, const std::string& target) {
    (void)owner;
    if (target.empty()) return false;
    // Some handlers of the verb are COM objects: the calling thread (a worker
    // as well as the window's) needs COM for them.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    HINSTANCE done =
        ShellExecuteW(nullptr, L"open", WideText(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (SUCCEEDED(com)) CoUninitialize();
    // Values up to 32 are the reasons nothing was started.
    return reinterpret_cast<INT_PTR>(done) > 32;
}
