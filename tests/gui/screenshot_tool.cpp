// nodescan_screenshot OUTDIR: the desktop program on the game installation
// that the environment names (NODESCAN_HOME, NODESCAN_SEARCH_ROOTS), a
// missing-waypoint check, and OUTDIR/screenshot-simple.png and
// OUTDIR/screenshot-advanced.png of the window in each layout. Boxes of a
// first run are answered as the GUI tests answer them. Used by
// scripts/screenshots.sh.
#include <QApplication>
#include <QIcon>
#include <QTest>
#include <cstdio>

#include "harness.h"
#include "platform/memory.h"

using namespace gui;

int main(int argc, char** argv) {
    InitBlockHeap();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc != 2) {
        std::fprintf(stderr, "usage: nodescan_screenshot OUTDIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/nodescan-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    StartAnswering();

    bool ok = false;
    int code = RunWindow([&] {
        Click(1);
        WaitUntil([] { return ScanDone() && List(123)->Count() > 0; });
        W(1)->setFocus();
        QTest::qWait(100);  // let it paint
        ok = W(0)->grab().save(out + "/screenshot-simple.png");
        Click(143);
        QTest::qWait(100);
        ok = W(0)->grab().save(out + "/screenshot-advanced.png") && ok;
        Click(143);  // back to the simple layout, so the settings are left as they were
    });
    if (!ok) std::fprintf(stderr, "nodescan_screenshot: no pictures written (code %d)\n", code);
    return ok ? 0 : 1;
}
