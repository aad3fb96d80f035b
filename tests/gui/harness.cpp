#include "harness.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <chrono>
#include <cstring>

#include "app/nodescan.h"
#include "app/state.h"
#include "app/window.h"
#include "bots/bots.h"
#include "download/sites.h"
#include "platform/qt/host.h"
#include "platform/qt/listmodel.h"
#include "platform/registry.h"
#include "platform/threads.h"
#include "settings/locator.h"
#include "support/newrun.h"

namespace gui {
namespace {

QString nextMenuAction;
bool menuAnswerPending = false;
Program* current = nullptr;  // the program whose boxes are answered

void AnswerMenus() {
    if (!menuAnswerPending) return;
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu || !menu->isVisible()) return;
    menuAnswerPending = false;
    for (QAction* a : menu->actions()) {
        if (!nextMenuAction.isEmpty() && a->text() == nextMenuAction) {
            menu->setActiveAction(a);
            QTest::keyClick(menu, Qt::Key_Return);
            return;
        }
    }
    menu->close();
}
}  // namespace

// ---- Program ----

Program::Program(const std::string& searchRoots)
    : homeEnv_("NODESCAN_HOME", home_.path()),
      rootsEnv_("NODESCAN_SEARCH_ROOTS", searchRoots.empty() ? home_ / "no-game" : searchRoots),
      onlineEnv_("NODESCAN_ONLINE", "0") {
    testenv::ResetProgramState();
    current = this;
}

Program::~Program() {
    qthost::SetDialogRunningHook(nullptr);
    testenv::ResetProgramState();
    if (current == this) current = nullptr;
}

std::string Program::hiveFile() const {
    return HiveFilePath(Hive::CurrentUser);
}

void Program::Restart() {
    testenv::ResetProgramState();
}

void Program::SetAnswer(std::function<QMessageBox::StandardButton(const Box&)> answer) {
    answer_ = std::move(answer);
}

std::vector<std::string> Program::Captions() const {
    std::vector<std::string> out;
    for (const Box& b : boxes_) out.push_back(b.caption);
    return out;
}

void Program::StoreSettings(const std::string& cstrike,
                            const std::vector<std::pair<std::string, std::uint32_t>>& dwords) {
    auto values = dwords;
    values.insert(values.begin(), {"Version", 250});
    testenv::StoreSettings(cstrike, values);
}

void Program::AnswerBoxes() {
    AnswerMessageBoxes(&boxes_, answer_);
}

void AnswerMessageBoxes(std::vector<Box>* boxes,
                        const std::function<QMessageBox::StandardButton(const Box&)>& answer) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(top);
        if (!box || !box->isVisible() || box->property("answered").toBool()) continue;
        box->setProperty("answered", true);
        QWidget* main = qthost::Window(100);
        Box shown{box->windowTitle().toStdString(), box->text().toStdString(),
                  main && main->isVisible()};
        boxes->push_back(shown);
        QMessageBox::StandardButton button = QMessageBox::NoButton;
        if (answer) button = answer(shown);
        if (button == QMessageBox::NoButton || !box->button(button)) {
            for (auto b : {QMessageBox::Ok, QMessageBox::No, QMessageBox::Cancel})
                if (box->button(b)) button = b;
        }
        QPointer<QAbstractButton> target = box->button(button);
        QTimer::singleShot(0, box, [target] {
            if (target) target->click();
        });
    }
}

int Program::Run(const std::function<void()>& body, const std::string& cmdLine) {
    bool ran = false;
    qthost::SetDialogRunningHook([&](Hwnd w) {
        if (w == 300) {
            // The configuration dialog (first run): closed as the user would.
            QTimer::singleShot(0, [] {
                if (QWidget* config = qthost::Window(300)) config->close();
            });
            return;
        }
        if (w != 100 || ran) return;
        ran = true;
        WaitUntil([] { return QApplication::activeWindow() == qthost::Window(100); }, 2000);
        body();
        if (qthost::DialogRunning(100)) qthost::Window(100)->close();
    });
    int result;
    try {
        result = WinMain(nullptr, nullptr, cmdLine.c_str(), 0);
    } catch (const ThreadExit& e) {
        result = static_cast<int>(e.code);
    }
    qthost::SetDialogRunningHook(nullptr);
    return result;
}

// ---- waiting and looking ----

void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        Pump(2);
    }
    return true;
}

bool ScanRunning() {
    std::uint32_t code = 0;
    return hThread && GetExitCodeThread(hThread, &code) && code == STILL_ACTIVE;
}

bool ScanDone() {
    return !ScanRunning() && qthost::PendingCalls() == 0;
}

QWidget* MainWindow() {
    return qthost::Window(100);
}
QWidget* W(int id) {
    return qthost::Control(100, id);
}
std::string Text(int id) {
    return GetDlgItemText(100, id);
}

ReportModel* List(int id) {
    auto* view = qobject_cast<QTreeView*>(W(id));
    return view ? static_cast<ReportModel*>(view->model()) : nullptr;
}

std::vector<std::string> Names(int list) {
    std::vector<std::string> out;
    if (ReportModel* m = List(list))
        for (int i = 0; i < m->Count(); ++i) out.push_back(m->Cell(i, 0));
    return out;
}

std::vector<std::string> Row(int list, int row) {
    std::vector<std::string> out;
    if (ReportModel* m = List(list))
        for (int c = 0; c < m->columnCount(); ++c) out.push_back(m->Cell(row, c));
    return out;
}

std::vector<std::string> StatusLines() {
    std::vector<std::string> out;
    if (auto* l = qobject_cast<QListWidget*>(W(126)))
        for (int i = 0; i < l->count(); ++i) out.push_back(l->item(i)->text().toStdString());
    return out;
}

void Click(int id) {
    QWidget* w = W(id);
    if (w) QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
}

void ClickScrollPart(QScrollBar* bar, int subControl) {
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.subControls = QStyle::SC_All;
    opt.orientation = bar->orientation();
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = bar->sliderPosition();
    opt.sliderValue = bar->value();
    opt.singleStep = bar->singleStep();
    opt.pageStep = bar->pageStep();
    opt.upsideDown = false;
    if (opt.orientation == Qt::Horizontal) opt.state |= QStyle::State_Horizontal;
    QRect r = bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt,
                                           static_cast<QStyle::SubControl>(subControl), bar);
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, r.center());
}

void StartAnswering() {
    static QTimer* timer = nullptr;
    if (timer) return;
    timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [] {
        static std::vector<Box> strayBoxes;
        if (current) {
            current->AnswerBoxes();
        } else {
            AnswerMessageBoxes(&strayBoxes, nullptr);
        }
        AnswerMenus();
    });
    timer->start();
}

void AnswerNextMenu(const QString& action) {
    nextMenuAction = action;
    menuAnswerPending = true;
}

}  // namespace gui
