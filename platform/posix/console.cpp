#include "platform/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

std::vector<std::string> PrepareConsole(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

bool IsTerminal(Stream s) {
    return ::isatty(s == Stream::In    ? STDIN_FILENO
                    : s == Stream::Out ? STDOUT_FILENO
                                       : STDERR_FILENO);
}

std::size_t TerminalColumns() {
    winsize ws{};
    return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 ? ws.ws_col : 0;
}

void WriteErrorNow(const char* text) {
    (void)!::write(STDERR_FILENO, text, std::strlen(text));
}
