#include "platform/console.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>

#include "platform/win32/text.h"
#include "platform/win32/win32.h"
// After <windows.h>, whose types it uses.
#include <shellapi.h>

namespace {
HANDLE Handle(Stream s) {
    return GetStdHandle(s == Stream::In    ? STD_INPUT_HANDLE
                        : s == Stream::Out ? STD_OUTPUT_HANDLE
                                           : STD_ERROR_HANDLE);
}
}  // namespace

std::vector<std::string> PrepareConsole(int argc, char** argv) {
    // UTF-8 in the console's code pages; the streams binary, so that a list
    // or a JSON document has the bytes it has on Linux.
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
    for (FILE* f : {stdin, stdout, stderr}) _setmode(_fileno(f), _O_BINARY);
    for (Stream s : {Stream::Out, Stream::Err}) {
        DWORD mode = 0;
        if (GetConsoleMode(Handle(s), &mode))
            SetConsoleMode(Handle(s), mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
    // argv holds the arguments in the ANSI code page: the command line is
    // read again in UTF-16.
    int n = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wide) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < n; ++i) args.push_back(NarrowText(wide[i]));
    LocalFree(wide);
    return args;
}

bool IsTerminal(Stream s) {
    DWORD mode = 0;
    return GetConsoleMode(Handle(s), &mode) != 0;
}

std::size_t TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(Handle(Stream::Out), &info)) return 0;
    return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

void WriteErrorNow(const char* text) {
    DWORD written = 0;
    WriteFile(Handle(Stream::Err), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}
