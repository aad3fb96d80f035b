#include "harness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QListWidget>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <chrono>

#include "app/nodescan.h"
#include "check/scanrunner.h"
#include "core/state.h"
#include "platform/threads.h"

namespace gui {
namespace {
Program* current = nullptr;  // the program whose boxes are answered

// Records each box once in boxes and clicks the button that answer names.
void AnswerBoxes(std::vector<Box>& boxes, const decltype(Program::answer)& answer) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(top);
        if (!box || !box->isVisible() || box->property("answered").toBool()) continue;
        if (!box->property("record").isValid()) {
            box->setProperty("record", static_cast<int>(boxes.size()));
            boxes.push_back({box->windowTitle().toStdString(), box->text().toStdString(),
                             W(0) && W(0)->isVisible()});
        }
        auto button = answer ? answer(boxes[box->property("record").toUInt()]) : QMessageBox::Ok;
        if (button == QMessageBox::NoButton) continue;
        if (!answer || !box->button(button))
            for (auto b : {QMessageBox::Ok, QMessageBox::No, QMessageBox::Cancel})
                if (box->button(b)) button = b;
        box->setProperty("answered", true);
        QTimer::singleShot(0, box, [target = QPointer(box->button(button))] {
            if (target) target->click();
        });
    }
}
}  // namespace

Program::Program(const std::string& searchRoots)
    : homeEnv("NODESCAN_HOME", home.path()),
      rootsEnv("NODESCAN_SEARCH_ROOTS", searchRoots.empty() ? home / "no-game" : searchRoots),
      onlineEnv("NODESCAN_ONLINE", "0"),
      dataEnv("XDG_DATA_HOME", home / "share") {
    Restart();
    current = this;
}

Program::~Program() {
    Restart();
    current = nullptr;
}

int RunWindow(const std::function<void()>& body, std::function<int()> start) {
    qthost::SetDialogRunningHook([&, ran = false](Hwnd w) mutable {
        if (w == 300) {
            WaitUntil([] { return QApplication::activeWindow() == W(0, 300); }, 2000);
            if (current && current->config) {
                current->config();
            } else {
                Click(IDCANCEL, 300);
            }
            return;
        }
        if (w != 100 || std::exchange(ran, true)) return;
        WaitUntil([] { return QApplication::activeWindow() == W(0); }, 2000);
        body();
        if (qthost::DialogRunning(100)) W(0)->close();
    });
    int result;
    try {
        result = start ? start() : WinMain(nullptr, nullptr, "", 0);
    } catch (const ThreadExit& e) {
        result = static_cast<int>(e.code);
    }
    qthost::SetDialogRunningHook(nullptr);
    return result;
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QEventLoop loop;
        QTimer::singleShot(2, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

bool ScanDone() {
    return !ScanRunning() && qthost::PendingCalls() == 0;
}

QWidget* W(int id, Hwnd w) {
    return id ? qthost::Control(w, id) : qthost::Window(w);
}

std::string Text(int id) {
    return GetDlgItemText(100, id);
}

ReportModel* List(int id) {
    return static_cast<ReportModel*>(As<QTreeView>(id)->model());
}

std::vector<std::string> Names(int list) {
    std::vector<std::string> out;
    for (int i = 0; i < List(list)->Count(); ++i) out.push_back(List(list)->Cell(i, 0));
    return out;
}

std::vector<std::string> StatusLines() {
    std::vector<std::string> out;
    for (int i = 0; i < As<QListWidget>(126)->count(); ++i)
        out.push_back(As<QListWidget>(126)->item(i)->text().toStdString());
    return out;
}

void Click(int id, Hwnd w) {
    QTest::mouseClick(W(id, w), Qt::LeftButton, Qt::NoModifier, W(id, w)->rect().center());
}

void StartAnswering() {
    auto* timer = new QTimer(qApp);  // ends with the application
    QObject::connect(timer, &QTimer::timeout, [] {
        static std::vector<Box> stray;
        AnswerBoxes(current ? current->boxes : stray, current ? current->answer : nullptr);
    });
    timer->start(5);
}

}  // namespace gui
