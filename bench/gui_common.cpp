#include "gui_common.h"

#include <time.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/nodescan.h"
#include "platform/registry.h"
#include "platform/threads.h"

namespace guibench {

void StoreSettings(const std::string& cstrike) {
    {
        RegKey lm = RegKey::Open(Hive::LocalMachine, true);
        lm.WriteString("CSDir", cstrike);
        lm.WriteString("MapDir", cstrike + "maps");
    }
    {
        RegKey cu = RegKey::Open(Hive::CurrentUser, true);
        cu.WriteDword("Version", 250);
    }
    RegistryUnload();
}

void AnswerMessageBoxes(bool yes) {
    auto* timer = new QTimer(QApplication::instance());
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [yes] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(top);
            if (!box || !box->isVisible() || box->property("answered").toBool()) continue;
            box->setProperty("answered", true);
            std::fprintf(stderr, "warning: message box \"%s\": %s\n",
                         box->windowTitle().toLocal8Bit().constData(),
                         box->text().toLocal8Bit().constData());
            for (auto b : {yes ? QMessageBox::Yes : QMessageBox::Ok, QMessageBox::Ok,
                           QMessageBox::No, QMessageBox::Cancel}) {
                if (QAbstractButton* button = box->button(b)) {
                    QTimer::singleShot(0, button, &QAbstractButton::click);
                    break;
                }
            }
        }
    });
    timer->start();
}

double SecondsSinceProcessStart() {
    // Field 22 of /proc/self/stat: the start time in clock ticks since boot.
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    for (int i = 3; i < 22 && rest >> field; ++i) {
    }
    unsigned long long startTicks = 0;
    if (!(rest >> startTicks)) return -1;
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 -
           static_cast<double>(startTicks) / ticks;
}

void RunWindow(const char* program) {
    try {
        WinMain(nullptr, nullptr, "", 0);
    } catch (const ThreadExit& e) {
        std::fprintf(stderr, "%s: the program ended with code %u\n", program, e.code);
        ExitProcess(2);
    }
}

}  // namespace guibench
