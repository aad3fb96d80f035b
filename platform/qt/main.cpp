// The desktop program: the Qt application around the program's entry point.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <string>

#include "app/nodescan.h"
#include "platform/memory.h"
#include "platform/threads.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("%s\n", VersionText().c_str());
        return 0;
    }
    InitBlockHeap();
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
