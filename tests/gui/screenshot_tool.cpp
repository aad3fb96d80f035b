// nodescan_screenshot OUTDIR: the desktop program on the game installation
// that the environment names (NODESCAN_HOME, NODESCAN_SEARCH_ROOTS), a
// missing-waypoint check, and OUTDIR/screenshot-simple.png and
// OUTDIR/screenshot-advanced.png of the window in each layout. Boxes of a
// first run are answered as the GUI tests answer them. Used by
// scripts/screenshots.sh.
#include <QApplication>
#include <QTest>
#include <cstdio>

#include "harness.h"
#include "platform/memory.h"

using namespace gui;

int main(int argc, char** argv) {
    InitBlockHeap();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc != 2) return std::fprintf(stderr, "usage: nodescan_screenshot OUTDIR\n"), 2;
    StartAnswering();
    // Each layout after the check; back to the simple one, as the settings were.
    const QString out = QString::fromLocal8Bit(argv[1]);
    bool ok = true;
    int code = RunWindow([&] {
        Click(1);
        WaitUntil([] { return ScanDone() && List(123)->Count() > 0; });
        W(1)->setFocus();
        for (const char* name : {"/screenshot-simple.png", "/screenshot-advanced.png"}) {
            QTest::qWait(100);  // let it paint
            ok = W(0)->grab().save(out + name) && ok;
            Click(143);
        }
    });
    if (!ok) std::fprintf(stderr, "nodescan_screenshot: no pictures written (code %d)\n", code);
    return ok ? 0 : 1;
}
