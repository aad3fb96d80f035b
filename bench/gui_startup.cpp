// gui_startup: the desktop program's start-up, up to its main window shown
// and painted on the offscreen platform; then the process ends at once.
//
//   gui_startup --seed CSTRIKE_DIR   store settings for the game and run the
//                                    program once, closing it (settings complete)
//   gui_startup                      start with the settings of NODESCAN_HOME,
//                                    exit 0 once the window is painted
//
// Started under bench/measure by bench/gui_bench.sh. Prints to stderr the
// seconds from the process's start to the painted window.
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/nodescan.h"
#include "gui_common.h"
#include "platform/memory.h"
#include "platform/qt/host.h"
#include "platform/threads.h"

int main(int argc, char** argv) {
    InitBlockHeap();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/nodescan-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    bool seed = argc == 3 && std::strcmp(argv[1], "--seed") == 0;
    if (!seed && argc != 1) {
        std::fprintf(stderr, "usage: gui_startup [--seed CSTRIKE_DIR]\n");
        return 2;
    }
    if (seed) guibench::StoreSettings(argv[2]);
    guibench::AnswerMessageBoxes();

    qthost::SetDialogRunningHook([seed](Hwnd w) {
        if (w != 100) return;
        QWidget* window = qthost::Window(100);
        if (seed) {
            window->close();
            return;
        }
        window->repaint();
        std::fprintf(stderr, "shown after %.1f ms\n", guibench::SecondsSinceProcessStart() * 1000);
        ExitProcess(0);
    });
    int result;
    try {
        result = WinMain(nullptr, nullptr, "", 0);
    } catch (const ThreadExit& e) {
        result = static_cast<int>(e.code);
    }
    // Seeding ends here; a measured run that gets here never showed the window.
    ExitProcess(seed ? static_cast<unsigned>(result) : 3u);
}
