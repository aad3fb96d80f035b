// gui_download: a waypoint download in the desktop program's window on the
// offscreen platform, counting how often the progress bar changes.
//
//   gui_download CSTRIKE_DIR HOST DIR
//
// CSTRIKE_DIR is a game directory (ending in '/') with one map that has no
// waypoint; HOST (127.0.0.1:PORT) serves DIR/<map>.pwf. Uses the settings of
// NODESCAN_HOME. Checks, selects the map in the left list, presses
// "Download Waypoint" (answering Yes to the question about a large file) and
// waits until the download thread ended and its calls reached the window.
// Prints
//   updates=.. seconds=.. updates_per_s=.. value=..
// the progress bar's value changes, the time from the press to the end,
// their quotient and the bar's last value. Exit 2 when the waypoint was not installed.
#include <QApplication>
#include <QEventLoop>
#include <QItemSelectionModel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <chrono>
#include <cstdio>
#include <string>

#include "check/scanrunner.h"
#include "core/state.h"
#include "download/sites.h"
#include "download/worker.h"
#include "gui_common.h"
#include "platform/memory.h"
#include "platform/qt/host.h"
#include "platform/threads.h"
#include "resources/ids.h"

namespace {
using Clock = std::chrono::steady_clock;

// Runs the event loop until done() holds (checked every millisecond) or a
// minute passed; whether it holds.
template <class F>
bool WaitFor(F done) {
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(1);
    const Clock::time_point start = Clock::now();
    bool ok = false;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        ok = done();
        if (ok || Clock::now() - start > std::chrono::seconds(60)) loop.quit();
    });
    tick.start();
    loop.exec();
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    InitBlockHeap();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc != 4) {
        std::fprintf(stderr, "usage: gui_download CSTRIKE_DIR HOST DIR\n");
        return 2;
    }
    guibench::StoreSettings(argv[1]);
    guibench::AnswerMessageBoxes(true);  // Yes to the question about a large file
    int updates = 0, value = 0;
    double seconds = 0;
    bool ok = false;
    qthost::SetDialogRunningHook([&](Hwnd w) {
        if (w != 100) return;
        SetSiteField(0, "host", argv[2]);
        SetSiteField(0, "dir", argv[3]);
        SetSiteInfo(SB_THUMBPOSITION, 0);
        qobject_cast<QPushButton*>(qthost::Control(100, kGoButton))->click();
        auto* left = qobject_cast<QTreeView*>(qthost::Control(100, kLeftList));
        if (WaitFor([&] { return !ScanRunning() && left->model()->rowCount() == 1; })) {
            left->selectionModel()->select(left->model()->index(0, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
            auto* bar = qobject_cast<QProgressBar*>(qthost::Control(100, kProgressBar));
            QObject::connect(bar, &QProgressBar::valueChanged, [&] { ++updates; });
            const Clock::time_point start = Clock::now();
            qobject_cast<QPushButton*>(qthost::Control(100, kDownloadButton))->click();
            WaitFor([] { return !ThreadRunning(DThread) && qthost::PendingCalls() == 0; });
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
            value = bar->value();
            // The check runs again once the waypoint is in place.
            ok = WaitFor([&] { return !ScanRunning() && left->model()->rowCount() == 0; });
        }
        qthost::Window(100)->close();
    });
    guibench::RunWindow("gui_download");
    if (!ok) {
        std::fprintf(stderr, "gui_download: the waypoint was not installed\n");
        ExitProcess(2);
    }
    std::printf("updates=%d seconds=%.2f updates_per_s=%.1f value=%d\n", updates, seconds,
                seconds > 0 ? updates / seconds : 0, value);
    std::fflush(stdout);
    ExitProcess(0);
}
