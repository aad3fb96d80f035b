// gui_check: the missing-waypoint check in the desktop program's window on
// the offscreen platform, timed from the press of "Go! Go! Go!" until both
// lists hold every row and the scan thread's calls are all carried out.
//
//   gui_check CSTRIKE_DIR RIGHT LEFT [RUNS]
//
// CSTRIKE_DIR is a game directory (ending in '/') with a Pod Bot waypoint for
// RIGHT of its RIGHT + LEFT maps. Uses the settings of NODESCAN_HOME. Prints
// one line per run and a summary:
//   runs=5 median_ms=.. max_ms=.. max_stall_ms=..
// max_stall_ms is the longest time the window's event loop went without
// turning during the checks (how long the window was unresponsive). Exit 1
// when the median is above 1000 ms, 2 when a check did not fill the lists.
#include <QApplication>
#include <QEventLoop>
#include <QHeaderView>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "check/scanrunner.h"
#include "core/state.h"
#include "gui_common.h"
#include "platform/memory.h"
#include "platform/qt/host.h"
#include "platform/threads.h"

namespace {
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    double m = v[v.size() / 2];
    return v.size() % 2 == 0 ? (v[v.size() / 2 - 1] + m) / 2 : m;
}

bool Complete(int right, int left) {
    if (ScanRunning()) return false;
    if (qthost::PendingCalls() != 0) return false;
    return ListGetItemCount(100, 123) == right && ListGetItemCount(100, 101) == left &&
           GetDlgItemText(100, 115) == std::to_string(right + left);
}
}  // namespace

int main(int argc, char** argv) {
    InitBlockHeap();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: gui_check CSTRIKE_DIR RIGHT LEFT [RUNS]\n");
        return 2;
    }
    const int right = std::atoi(argv[2]);
    const int left = std::atoi(argv[3]);
    const int runs = argc == 5 ? std::max(1, std::atoi(argv[4])) : 5;
    guibench::StoreSettings(argv[1]);
    guibench::AnswerMessageBoxes();

    std::vector<double> times;
    double maxStall = 0;
    double sortMs = 0;
    bool failed = false;
    qthost::SetDialogRunningHook([&](Hwnd w) {
        if (w != 100) return;
        auto* go = qobject_cast<QPushButton*>(qthost::Control(100, 1));
        for (int i = 0; i < runs && !failed; ++i) {
            QEventLoop loop;
            QTimer tick;
            tick.setInterval(1);
            Clock::time_point last = Clock::now();
            const Clock::time_point start = last;
            QObject::connect(&tick, &QTimer::timeout, [&] {
                Clock::time_point now = Clock::now();
                maxStall = std::max(maxStall, Ms(now - last));
                last = now;
                if (Complete(right, left)) {
                    loop.quit();
                } else if (now - start > std::chrono::seconds(60)) {
                    failed = true;
                    loop.quit();
                }
            });
            tick.start();
            go->click();
            loop.exec();
            double ms = Ms(Clock::now() - start);
            times.push_back(ms);
            std::fprintf(stderr, "run %d: %.1f ms%s\n", i + 1, ms, failed ? " (incomplete)" : "");
        }
        // Header clicks on the full list, each with the repaint it causes.
        auto* view = qobject_cast<QTreeView*>(qthost::Control(100, 123));
        for (int column = 0; column < 4 && !failed; ++column) {
            std::vector<double> clicks;
            for (int i = 0; i < runs; ++i) {
                const Clock::time_point start = Clock::now();
                emit view->header()->sectionClicked(column);
                view->viewport()->repaint();
                view->header()->viewport()->repaint();
                clicks.push_back(Ms(Clock::now() - start));
            }
            sortMs = std::max(sortMs, Median(clicks));
            std::fprintf(stderr, "sort by column %d: median %.1f ms\n", column, Median(clicks));
        }
        qthost::Window(100)->close();
    });
    guibench::RunWindow("gui_check");
    if (times.empty() || failed) {
        std::fprintf(stderr, "gui_check: the lists were not filled with %d and %d rows\n", right,
                     left);
        ExitProcess(2);
    }
    double median = Median(times);
    std::printf("runs=%zu median_ms=%.1f max_ms=%.1f max_stall_ms=%.1f sort_ms=%.1f\n",
                times.size(), median, *std::max_element(times.begin(), times.end()), maxStall,
                sortMs);
    std::fflush(stdout);
    ExitProcess(median <= 1000 && sortMs <= 100 ? 0 : 1);
}
