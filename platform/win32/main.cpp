// The desktop program on Windows: the program's entry point on the window
// host of platform/win32/dialog.cpp. Built with -municode: the command line
// comes as UTF-16 and goes to the program as UTF-8 ("nodescan reset").
#include "app/nodescan.h"
#include "platform/memory.h"
#include "platform/threads.h"
#include "platform/win32/host.h"
#include "platform/win32/text.h"

// <windows.h> stays out of this unit (host.h says why): the entry point's
// handles are opaque here.
extern "C" int __stdcall wWinMain(void* instance, void* prevInstance, wchar_t* cmdLine,
                                  int showCmd) {
    (void)instance;
    (void)prevInstance;
    InitBlockHeap();
    win32host::Start();
    std::string args = NarrowText(cmdLine ? cmdLine : L"");
    // Blanks around the system's command line are not part of a word.
    args.erase(0, args.find_first_not_of(' '));
    args.erase(args.find_last_not_of(' ') + 1);
    unsigned result;
    try {
        result = static_cast<unsigned>(WinMain(nullptr, nullptr, args.c_str(), showCmd));
    } catch (const ThreadExit& e) {
        result = e.code;
    }
    // Workers still running are not waited for.
    ExitProcess(result);
}
