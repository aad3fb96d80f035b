// The desktop program: the Qt application around the program's entry point.
#include <QApplication>
#include <QIcon>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

#include "app/nodescan.h"
#include "platform/memory.h"
#include "platform/text.h"
#include "platform/threads.h"

namespace {
constexpr const char* kUsage =
    "Usage: nodescan [reset | --version | --help] [Qt options]\n"
    "Nodescan checks which Counter-Strike maps lack bot waypoints and which\n"
    "waypoints belong to no map, in a window; nodescan-cli does the same for\n"
    "servers and scripts.\n"
    "\n"
    "  reset        delete all Nodescan settings\n"
    "  --version    print the version\n"
    "  -h, --help   print this help\n"
    "\n"
    "Environment:\n"
    "  NODESCAN_HOME            one directory for the settings, lists and downloads\n"
    "  NODESCAN_SEARCH_ROOTS    colon-separated directories to search for the game\n"
    "  NODESCAN_ONLINE          1 or 0: take the machine as online or offline\n"
    "  NODESCAN_UPDATE_HOST     host[:port] of the update server\n"
    "  NODESCAN_NET_TIMEOUT_MS  how long a download waits for the server (ms)\n"
    "  NODESCAN_NET_DEADLINE_MS how long a whole download may take (ms)\n"
    "See nodescan(1).\n";

// Qt's own options that take a value, written with one dash or two.
bool TakesValue(const std::string& option) {
    static const char* const options[] = {
        "platform",    "platformpluginpath", "platformtheme", "plugin",     "qwindowgeometry",
        "qwindowicon", "qwindowtitle",       "style",         "stylesheet", "session",
        "display",     "geometry",           "name",          "title",      "visual"};
    std::string name = option.substr(option.rfind('-', 1) + 1);
    for (const char* o : options)
        if (name == o) return true;
    return false;
}

// Answers --help and --version, and refuses what neither Qt nor the program
// takes, before anything needs a display. -1 when the program goes on;
// *reset tells whether the command is "reset".
int CheckArguments(int argc, char** argv, bool* reset) {
    static const char* const flags[] = {"-reverse", "--reverse", "-widgetcount", "--widgetcount",
                                        "-nograb",  "-dograb",   "-sync"};
    int words = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("%s\n", VersionText().c_str());
            return 0;
        }
        bool known = arg == "reset" ? ++words == 1
                                    : arg.rfind("-qmljsdebugger=", 0) == 0 ||
                                          std::find(std::begin(flags), std::end(flags), arg) !=
                                              std::end(flags);
        if (!known && arg.size() > 1 && arg[0] == '-' && TakesValue(arg) && i + 1 < argc) {
            known = true;
            ++i;
        }
        if (!known) {
            std::fprintf(stderr, "nodescan: unknown argument '%s'\n%s", EscapedText(arg).c_str(),
                         kUsage);
            return 2;
        }
    }
    *reset = words == 1;
    return -1;
}

// Whether Qt has a display to open: an X or Wayland one, or one chosen with
// QT_QPA_PLATFORM, -platform or -display.
bool HasDisplay(int argc, char** argv) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* value = std::getenv(name); value && *value) return true;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i], name = arg.substr(arg.rfind('-', 1) + 1);
        if (arg[0] == '-' && (name == "platform" || name == "display")) return true;
    }
    return false;
}
}  // namespace

int main(int argc, char** argv) {
    bool reset = false;
    if (int rc = CheckArguments(argc, argv, &reset); rc >= 0) return rc;
    InitBlockHeap();
    if (!HasDisplay(argc, argv)) {
        if (!reset) {
            std::fputs(
                "nodescan: no display to open the window on (neither DISPLAY nor "
                "WAYLAND_DISPLAY is set); nodescan-cli needs none\n",
                stderr);
            return 1;
        }
        // Deleting the settings needs no window: its message goes to standard error.
        ExitProcess(static_cast<unsigned>(WinMain(nullptr, nullptr, "reset", 0)));
    }
    // The end of a session or a kill leaves no file of a download behind.
    EndOnSignals();
    QApplication app(argc, argv);
    // The dialogs run their own loops; closing a window never quits by itself.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("nodescan"));
    QApplication::setDesktopFileName(QStringLiteral("nodescan"));
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/nodescan-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    // The command line as the program knows it: the arguments that Qt left,
    // joined by single blanks ("nodescan reset").
    std::string cmdLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) cmdLine += ' ';
        cmdLine += argv[i];
    }

    unsigned result;
    try {
        result = static_cast<unsigned>(WinMain(nullptr, nullptr, cmdLine.c_str(), 0));
    } catch (const ThreadExit& e) {
        result = e.code;
    }
    // Workers still running are not waited for.
    ExitProcess(result);
}
