// One dialog of resources/dialogs.h as a Qt window: its controls built from
// the template, and the user's actions turned into the messages of the
// dialog procedure. Window's thread only.
#pragma once

#include <QWidget>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/progress.h"
#include "platform/ui.h"
#include "resources/dialogs.h"

class QEventLoop;
class QLineEdit;
class QScrollBar;
class ReportModel;

namespace qthost {

// Sends a message to a dialog's procedure on the window's thread: the calls
// that workers queued run first. A ThreadExit thrown by the procedure ends
// every running dialog and is thrown again by the outermost DialogBox.
std::intptr_t Send(Hwnd w, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);

// The dialog font and its base units.
QFont DialogFont();

class DialogWindow : public QWidget {
  public:
    struct Control {
        const ControlTemplate* tmpl = nullptr;
        QWidget* widget = nullptr;
        ReportModel* model = nullptr;  // list views
        std::string text;              // as the program set it
        QString shown;                 // what the widget showed for text
        int limit = 0;                 // edits: characters the user may type, 0 no limit
        ProgressBar progress;          // progress bars: what the widget shows
    };

    DialogWindow(const DialogTemplate& tmpl, DialogProc proc, QWidget* owner);
    ~DialogWindow() override;

    Hwnd hwnd() const { return tmpl_.id; }
    DialogProc proc() const { return proc_; }
    const DialogTemplate& tmpl() const { return tmpl_; }
    Control* Find(int id);
    // The control that holds widget (or one of its parts), 0 for none.
    int ControlIdOf(const QObject* widget) const;

    // Texts as the program sets and reads them.
    void SetText(int id, const std::string& text);
    std::string Text(int id);
    void SetLimit(int id, int chars);

    // The first control with a tab stop gets the focus.
    void FocusFirst();

    // Modal loop state, managed by DialogBox and EndDialog.
    bool ended = false;
    bool running = false;
    int result = 0;
    QEventLoop* loop = nullptr;
    std::vector<int> held;  // commands posted before the loop ran

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Build();
    QWidget* Make(const ControlTemplate& c, Control& control);
    void Watch(QWidget* widget);
    void Command(int id, unsigned code);
    void ScrollAction(QScrollBar* bar, int id, int action);
    void EditMenu(QLineEdit* edit, int id, const QPoint& at);

    const DialogTemplate& tmpl_;
    DialogProc proc_;
    std::map<int, Control> controls_;
    std::map<const QObject*, int> ids_;  // widget and its parts -> control id
    int lastThumb_ = 0;
};

}  // namespace qthost
