// nodescan_screenshot: the desktop program on the game installation that the
// environment names (NODESCAN_HOME, NODESCAN_SEARCH_ROOTS), a missing-waypoint
// check, and a picture of the window in each layout:
//
//   nodescan_screenshot OUTDIR     writes OUTDIR/screenshot-simple.png and
//                                  OUTDIR/screenshot-advanced.png
//
// Message boxes of a first run are answered with OK (or No), and a
// configuration dialog that opens by itself is closed, as a user would.
// Used by scripts/screenshots.sh.
#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QIcon>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <string>

#include "app/nodescan.h"
#include "app/state.h"
#include "platform/memory.h"
#include "platform/qt/host.h"
#include "platform/threads.h"

namespace {
void Wait(const std::function<bool()>& done, int timeoutMs) {
    QEventLoop loop;
    QTimer tick;
    int waited = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        waited += 5;
        if (done() || waited > timeoutMs) loop.quit();
    });
    tick.start(5);
    loop.exec();
}

bool ScanDone() {
    std::uint32_t code = 0;
    bool running = hThread && GetExitCodeThread(hThread, &code) && code == STILL_ACTIVE;
    return !running && qthost::PendingCalls() == 0;
}
}  // namespace

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

    QTimer boxes;
    QObject::connect(&boxes, &QTimer::timeout, [] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(top);
            if (!box || !box->isVisible() || box->property("answered").toBool()) continue;
            box->setProperty("answered", true);
            std::fprintf(stderr, "%s: %s\n", box->windowTitle().toLocal8Bit().constData(),
                         box->text().toLocal8Bit().constData());
            for (auto b : {QMessageBox::Ok, QMessageBox::No, QMessageBox::Cancel}) {
                if (QAbstractButton* button = box->button(b)) {
                    QTimer::singleShot(0, button, &QAbstractButton::click);
                    break;
                }
            }
        }
    });
    boxes.start(10);

    bool ok = false;
    qthost::SetDialogRunningHook([&](Hwnd w) {
        if (w == 300) {
            QTimer::singleShot(0, [] {
                if (QWidget* config = qthost::Window(300)) config->close();
            });
            return;
        }
        if (w != 100) return;
        QWidget* window = qthost::Window(100);
        qobject_cast<QPushButton*>(qthost::Control(100, 1))->click();
        Wait([] { return ScanDone() && ListGetItemCount(100, 123) > 0; }, 30000);
        qthost::Control(100, 1)->setFocus();
        Wait([] { return false; }, 100);  // let it paint
        bool simple = window->grab().save(out + "/screenshot-simple.png");
        qobject_cast<QPushButton*>(qthost::Control(100, 143))->click();
        Wait([] { return false; }, 100);
        bool advanced = window->grab().save(out + "/screenshot-advanced.png");
        ok = simple && advanced;
        // Back to the simple layout, so the settings are left as they were.
        qobject_cast<QPushButton*>(qthost::Control(100, 143))->click();
        window->close();
    });
    try {
        WinMain(nullptr, nullptr, "", 0);
    } catch (const ThreadExit& e) {
        std::fprintf(stderr, "nodescan_screenshot: the program ended with code %u\n", e.code);
        ExitProcess(1);
    }
    if (!ok)
        std::fprintf(stderr, "nodescan_screenshot: could not write the pictures to %s\n", argv[1]);
    ExitProcess(ok ? 0 : 1);
}
