// The Qt definitions of platform/ui.h and the host's own interface.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QEventLoop>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QScrollBar>
#include <QTreeView>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <optional>

#include "platform/qt/dialog.h"
#include "platform/qt/dispatch.h"
#include "platform/qt/host.h"
#include "platform/qt/listmodel.h"
#include "platform/qt/text.h"
#include "platform/text.h"
#include "platform/threads.h"
#include "platform/ui.h"

using qthost::DialogWindow;

namespace {

// Window's thread only.
std::map<Hwnd, DialogWindow*> dialogs;
std::optional<std::uint32_t> pendingExit;  // a ThreadExit on its way out
int dialogDepth = 0;                       // DialogBox calls running
std::function<void(Hwnd)> runningHook;

DialogWindow* Dlg(Hwnd w) {
    auto it = dialogs.find(w);
    return it == dialogs.end() ? nullptr : it->second;
}

DialogWindow::Control* Ctl(Hwnd w, int id) {
    DialogWindow* d = Dlg(w);
    return d ? d->Find(id) : nullptr;
}

template <class T>
T* Widget(Hwnd w, int id) {
    DialogWindow::Control* c = Ctl(w, id);
    return c ? qobject_cast<T*>(c->widget) : nullptr;
}

ReportModel* Model(Hwnd w, int id) {
    DialogWindow::Control* c = Ctl(w, id);
    return c ? c->model : nullptr;
}

void EndAll(int result) {
    for (auto& [w, d] : dialogs) {
        if (!d->ended) {
            d->ended = true;
            d->result = result;
        }
        if (d->loop) d->loop->quit();
    }
}

// Posted commands and quit requests, in the order they were posted. A
// command waits until its dialog's loop runs; one for a dialog that is gone
// is dropped.
struct Posted {
    Hwnd w;
    int id;
};
std::mutex postedMutex;
std::deque<Posted> posted;       // guarded by postedMutex
std::optional<int> quitRequest;  // guarded by postedMutex

const QEvent::Type kDeliverEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kRunningEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class RunningEvent : public QEvent {
  public:
    explicit RunningEvent(Hwnd window) : QEvent(kRunningEvent), w(window) {}
    Hwnd w;
};

class Sink : public QObject {
  public:
    bool event(QEvent* e) override {
        bool deliver;
        {
            // A worker may have made the event: look at it under the lock
            // it was posted under.
            std::lock_guard lock(postedMutex);
            deliver = e->type() == kDeliverEvent;
        }
        if (deliver) {
            DeliverOne();
            return true;
        }
        if (e->type() == kRunningEvent) {
            Hwnd w = static_cast<RunningEvent*>(e)->w;
            DialogWindow* d = Dlg(w);
            if (d && d->running && !d->ended && runningHook) runningHook(w);
            return true;
        }
        return QObject::event(e);
    }

  private:
    static void DeliverOne() {
        std::optional<Posted> next;
        std::optional<int> quit;
        {
            std::lock_guard lock(postedMutex);
            quit = quitRequest;
            quitRequest.reset();
            for (auto it = posted.begin(); it != posted.end();) {
                DialogWindow* d = Dlg(it->w);
                if (!d || d->ended) {
                    it = posted.erase(it);
                    continue;
                }
                if (d->running) {
                    next = *it;
                    posted.erase(it);
                    break;
                }
                ++it;
            }
        }
        if (quit) EndAll(*quit);
        if (next)
            qthost::Send(next->w, WM_COMMAND, MakeWParam(static_cast<unsigned>(next->id), 0), 0);
    }
};

// Made on the window's thread before the first dialog; lives as long as the process.
std::atomic<Sink*> sink{nullptr};

void EnsureSink() {
    if (!sink.load() && QCoreApplication::instance()) sink = new Sink;
}

void WakeSink() {
    std::lock_guard lock(postedMutex);
    if (Sink* s = sink.load()) QCoreApplication::postEvent(s, new QEvent(kDeliverEvent));
}

int ShowMessageBox(Hwnd owner, const std::string& text, const std::string& caption, unsigned type) {
    QWidget* parent = nullptr;
    if (owner != kNoWindow) {
        DialogWindow* d = Dlg(owner);
        if (!d) return UnansweredBoxResult(type);
        parent = d;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type & 0xF0) {
        case MB_ICONERROR:
            icon = QMessageBox::Critical;
            break;
        case MB_ICONQUESTION:
            icon = QMessageBox::Question;
            break;
        case MB_ICONWARNING:
            icon = QMessageBox::Warning;
            break;
        case MB_ICONINFORMATION:
            icon = QMessageBox::Information;
            break;
        default:
            break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (type & 0xF) {
        case MB_OKCANCEL:
            buttons = QMessageBox::Ok | QMessageBox::Cancel;
            break;
        case MB_YESNO:
            buttons = QMessageBox::Yes | QMessageBox::No;
            break;
        default:
            break;
    }
    QMessageBox box(icon, qttext::ToQ(caption), qttext::ToQ(text), buttons, parent);
    // Texts carry file names and what servers sent: never markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    switch (box.exec()) {
        case QMessageBox::Ok:
            return IDOK;
        case QMessageBox::Cancel:
            return IDCANCEL;
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        default:
            return UnansweredBoxResult(type);
    }
}

void DestroyDialog(DialogWindow* d) {
    Hwnd w = d->hwnd();
    d->hide();
    dialogs.erase(w);
    // From here on, calls for the dialog return at once; those already
    // queued run out against a dialog that is gone.
    qtdispatch::SetDialogLive(w, false);
    delete d;
}

}  // namespace

// ---- the host's own interface ----

namespace qthost {

std::intptr_t Send(Hwnd w, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
    qtdispatch::Flush();
    if (pendingExit) return 0;
    DialogWindow* d = Dlg(w);
    if (!d || !d->proc()) return 0;
    try {
        return d->proc()(w, msg, wParam, lParam);
    } catch (const ThreadExit& e) {
        // Ending the window's thread ends the program: every dialog ends and
        // the outermost DialogBox throws it on to the entry point.
        pendingExit = e.code;
        EndAll(0);
        return 0;
    }
}

QWidget* Window(Hwnd w) {
    return Dlg(w);
}

QWidget* Control(Hwnd w, int id) {
    DialogWindow::Control* c = Ctl(w, id);
    return c ? c->widget : nullptr;
}

void SetDialogRunningHook(std::function<void(Hwnd)> hook) {
    runningHook = std::move(hook);
}

bool DialogRunning(Hwnd w) {
    DialogWindow* d = Dlg(w);
    return d && d->running && !d->ended;
}

int PendingCalls() {
    return qtdispatch::Pending();
}

}  // namespace qthost

// ---- platform/ui.h ----

void RunOnWindowThread(const std::function<void()>& fn) {
    qtdispatch::Call(kNoWindow, false, [&fn] {
        fn();
        return true;
    });
}

void SetDlgItemText(Hwnd w, int id, const std::string& text) {
    qtdispatch::Post(w, [w, id, text] {
        if (DialogWindow* d = Dlg(w)) d->SetText(id, text);
    });
}

std::string GetDlgItemText(Hwnd w, int id) {
    return qtdispatch::Call(w, std::string(), [&] {
        DialogWindow* d = Dlg(w);
        return d ? d->Text(id) : std::string();
    });
}

void SetDlgItemInt(Hwnd w, int id, int value) {
    SetDlgItemText(w, id, std::to_string(value));
}

void SetWindowTitle(Hwnd w, const std::string& text) {
    qtdispatch::Post(w, [w, text] {
        if (DialogWindow* d = Dlg(w)) d->setWindowTitle(qttext::ToQ(text));
    });
}

void SetEditLimit(Hwnd w, int id, int chars) {
    qtdispatch::Post(w, [w, id, chars] {
        if (DialogWindow* d = Dlg(w)) d->SetLimit(id, chars);
    });
}

void CheckDlgButton(Hwnd w, int id, bool checked) {
    qtdispatch::Post(w, [w, id, checked] {
        if (auto* b = Widget<QCheckBox>(w, id)) {
            QSignalBlocker block(b);
            b->setChecked(checked);
        }
    });
}

bool IsDlgButtonChecked(Hwnd w, int id) {
    return qtdispatch::Call(w, false, [&] {
        auto* b = Widget<QCheckBox>(w, id);
        return b && b->isChecked();
    });
}

int ComboAddString(Hwnd w, int id, const std::string& text) {
    return qtdispatch::Call(w, -1, [&] {
        auto* b = Widget<QComboBox>(w, id);
        if (!b) return -1;
        QSignalBlocker block(b);
        int before = b->currentIndex();
        b->addItem(qttext::ToQ(text), QVariant(static_cast<qint32>(0)));
        // Adding an item selects nothing.
        if (before < 0) b->setCurrentIndex(-1);
        return b->count() - 1;
    });
}

void ComboSetItemData(Hwnd w, int id, int index, std::int32_t data) {
    qtdispatch::Post(w, [w, id, index, data] {
        auto* b = Widget<QComboBox>(w, id);
        if (b && index >= 0 && index < b->count())
            b->setItemData(index, QVariant(static_cast<qint32>(data)));
    });
}

std::int32_t ComboGetItemData(Hwnd w, int id, int index) {
    return qtdispatch::Call(w, std::int32_t{-1}, [&] {
        auto* b = Widget<QComboBox>(w, id);
        if (!b || index < 0 || index >= b->count()) return std::int32_t{-1};
        return static_cast<std::int32_t>(b->itemData(index).toInt());
    });
}

void ComboSetCurSel(Hwnd w, int id, int index) {
    qtdispatch::Post(w, [w, id, index] {
        auto* b = Widget<QComboBox>(w, id);
        if (!b) return;
        QSignalBlocker block(b);
        b->setCurrentIndex(index >= 0 && index < b->count() ? index : -1);
    });
}

int ComboGetCurSel(Hwnd w, int id) {
    return qtdispatch::Call(w, -1, [&] {
        auto* b = Widget<QComboBox>(w, id);
        return b ? b->currentIndex() : -1;
    });
}

void ScrollSetRange(Hwnd w, int id, int min, int max) {
    qtdispatch::Post(w, [w, id, min, max] {
        auto* s = Widget<QScrollBar>(w, id);
        if (!s) return;
        QSignalBlocker block(s);
        s->setRange(min, std::max(min, max));
    });
}

void ScrollSetPos(Hwnd w, int id, int pos) {
    qtdispatch::Post(w, [w, id, pos] {
        auto* s = Widget<QScrollBar>(w, id);
        if (!s) return;
        QSignalBlocker block(s);
        s->setValue(std::clamp(pos, s->minimum(), s->maximum()));
    });
}

int ScrollGetPos(Hwnd w, int id) {
    return qtdispatch::Call(w, 0, [&] {
        auto* s = Widget<QScrollBar>(w, id);
        return s ? s->value() : 0;
    });
}

void ListBoxAddString(Hwnd w, int id, const std::string& text) {
    qtdispatch::Post(w, [w, id, text] {
        if (auto* l = Widget<QListWidget>(w, id)) l->addItem(qttext::ToQ(text));
    });
}

void ListBoxResetContent(Hwnd w, int id) {
    qtdispatch::Post(w, [w, id] {
        if (auto* l = Widget<QListWidget>(w, id)) l->clear();
    });
}

void ListBoxSetCurSel(Hwnd w, int id, int index) {
    qtdispatch::Post(w, [w, id, index] {
        auto* l = Widget<QListWidget>(w, id);
        if (!l) return;
        if (index >= 0 && index < l->count()) {
            l->setCurrentRow(index);
            l->scrollToItem(l->item(index));
        } else {
            l->setCurrentRow(-1);
            l->clearSelection();
        }
    });
}

namespace {
void ApplyColumnWidths(Hwnd w, int id) {
    ReportModel* m = Model(w, id);
    auto* v = Widget<QTreeView>(w, id);
    if (!m || !v) return;
    const auto& columns = m->Columns();
    for (int i = 0; i < static_cast<int>(columns.size()); ++i)
        v->header()->resizeSection(i, std::max(0, columns[static_cast<std::size_t>(i)].width));
}
}  // namespace

void ListInsertColumn(Hwnd w, int id, int column, const std::string& text, int width) {
    qtdispatch::Post(w, [w, id, column, text, width] {
        if (ReportModel* m = Model(w, id)) {
            m->InsertColumn(column, text, width);
            ApplyColumnWidths(w, id);
        }
    });
}

bool ListSetColumn(Hwnd w, int id, int column, const std::string& text, int width) {
    return qtdispatch::Call(w, false, [&] {
        ReportModel* m = Model(w, id);
        if (!m || !m->SetColumn(column, text, width)) return false;
        ApplyColumnWidths(w, id);
        return true;
    });
}

void ListSetTextColor(Hwnd w, int id, RGB color) {
    qtdispatch::Post(w, [w, id, color] {
        if (ReportModel* m = Model(w, id)) m->SetTextColor(color);
    });
}

int ListInsertItem(Hwnd w, int id, int index, const std::string& text, std::uint32_t key) {
    return qtdispatch::Call(w, -1, [&] {
        ReportModel* m = Model(w, id);
        return m ? m->InsertRow(index, text, key) : -1;
    });
}

void ListSetItemText(Hwnd w, int id, int row, int column, const std::string& text) {
    qtdispatch::Post(w, [w, id, row, column, text] {
        if (ReportModel* m = Model(w, id)) m->SetCell(row, column, text);
    });
}

std::string ListGetItemText(Hwnd w, int id, int row, int column) {
    return qtdispatch::Call(w, std::string(), [&] {
        ReportModel* m = Model(w, id);
        return m ? m->Cell(row, column) : std::string();
    });
}

std::uint32_t ListGetItemKey(Hwnd w, int id, int row) {
    return qtdispatch::Call(w, std::uint32_t{0}, [&] {
        ReportModel* m = Model(w, id);
        return m ? m->Key(row) : std::uint32_t{0};
    });
}

int ListGetItemCount(Hwnd w, int id) {
    return qtdispatch::Call(w, 0, [&] {
        ReportModel* m = Model(w, id);
        return m ? m->Count() : 0;
    });
}

void ListDeleteAllItems(Hwnd w, int id) {
    qtdispatch::Post(w, [w, id] {
        if (ReportModel* m = Model(w, id)) m->Clear();
    });
}

int ListFindItem(Hwnd w, int id, const std::string& text) {
    return qtdispatch::Call(w, -1, [&] {
        ReportModel* m = Model(w, id);
        return m ? m->Find(text) : -1;
    });
}

bool ListIsItemSelected(Hwnd w, int id, int row) {
    return qtdispatch::Call(w, false, [&] {
        auto* v = Widget<QTreeView>(w, id);
        return v && v->selectionModel() && v->selectionModel()->isRowSelected(row, QModelIndex());
    });
}

int ListGetSelectedCount(Hwnd w, int id) {
    return qtdispatch::Call(w, 0, [&] {
        auto* v = Widget<QTreeView>(w, id);
        return v && v->selectionModel()
                   ? static_cast<int>(v->selectionModel()->selectedRows().size())
                   : 0;
    });
}

void ListSortItems(Hwnd w, int id, ListCompare compare, std::intptr_t param) {
    // Waits: the comparator may read what its caller keeps only until it returns.
    qtdispatch::Call(w, 0, [&] {
        if (ReportModel* m = Model(w, id)) m->Sort(compare, param);
        return 0;
    });
}

void ListSetSortMark(Hwnd w, int id, int column, bool ascending) {
    qtdispatch::Post(w, [w, id, column, ascending] {
        auto* v = Widget<QTreeView>(w, id);
        if (!v) return;
        v->header()->setSortIndicatorShown(column >= 0);
        v->header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    });
}

void ShowControl(Hwnd w, int id, bool shown) {
    qtdispatch::Post(w, [w, id, shown] {
        if (DialogWindow::Control* c = Ctl(w, id)) c->widget->setVisible(shown);
    });
}

namespace {
// Changes a progress bar's state and shows it: QProgressBar itself would
// ignore a position outside the range and reset on a range that leaves it out.
template <class F>
void ChangeProgress(Hwnd w, int id, F change) {
    qtdispatch::Post(w, [w, id, change] {
        DialogWindow::Control* c = Ctl(w, id);
        auto* p = c ? qobject_cast<QProgressBar*>(c->widget) : nullptr;
        if (!p) return;
        change(c->progress);
        p->setRange(c->progress.min, c->progress.max);
        p->setValue(c->progress.pos);
    });
}
}  // namespace

void ProgressSetRange(Hwnd w, int id, int min, int max) {
    ChangeProgress(w, id, [min, max](ProgressBar& b) { b.SetRange(min, max); });
}

void ProgressSetStep(Hwnd w, int id, int step) {
    ChangeProgress(w, id, [step](ProgressBar& b) { b.step = step; });
}

void ProgressSetPos(Hwnd w, int id, int pos) {
    ChangeProgress(w, id, [pos](ProgressBar& b) { b.SetPos(pos); });
}

void ProgressStepIt(Hwnd w, int id, int times) {
    ChangeProgress(w, id, [times](ProgressBar& b) { b.StepIt(times); });
}

void SetBusyCursor(bool busy) {
    qtdispatch::Post(kNoWindow, [busy] {
        if (busy) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
        } else {
            while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
        }
    });
}

int MessageBox(Hwnd owner, const std::string& text, const std::string& caption, unsigned type) {
    if (!QCoreApplication::instance()) {
        // No display to show it on ("nodescan reset" without one): told on
        // standard error, a question answered as an unanswered box is.
        std::fprintf(stderr, "%s\n", EscapedText(caption + ": " + text, true).c_str());
        return UnansweredBoxResult(type);
    }
    if (qtdispatch::OnGuiThread()) {
        qtdispatch::Flush();
        return ShowMessageBox(owner, text, caption, type);
    }
    return qtdispatch::Call(owner, UnansweredBoxResult(type), [&] {
        // A box asked for by a worker after the last window has gone is not shown.
        if (!qtdispatch::AnyDialogLive()) return UnansweredBoxResult(type);
        return ShowMessageBox(owner, text, caption, type);
    });
}

void PostCommand(Hwnd w, int id) {
    {
        std::lock_guard lock(postedMutex);
        posted.push_back(Posted{w, id});
    }
    if (qtdispatch::OnGuiThread()) EnsureSink();
    WakeSink();
}

Rect GetWindowRect(Hwnd w) {
    return qtdispatch::Call(w, Rect{}, [&] {
        DialogWindow* d = Dlg(w);
        if (!d) return Rect{};
        QRect g = d->geometry();
        return Rect{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
    });
}

Rect GetControlRect(Hwnd w, int id) {
    return qtdispatch::Call(w, Rect{}, [&] {
        DialogWindow* d = Dlg(w);
        DialogWindow::Control* c = d ? d->Find(id) : nullptr;
        if (!c) return Rect{};
        QPoint at = d->geometry().topLeft() + c->widget->mapTo(d, QPoint(0, 0));
        QSize size = c->widget->size();
        return Rect{at.x(), at.y(), at.x() + size.width(), at.y() + size.height()};
    });
}

void MoveWindow(Hwnd w, int left, int top, int width, int height) {
    qtdispatch::Post(w, [w, left, top, width, height] {
        DialogWindow* d = Dlg(w);
        if (!d || width <= 0 || height <= 0) return;
        d->setFixedSize(width, height);
        d->setGeometry(left, top, width, height);
        d->update();
    });
}

int DialogBox(int templateId, Hwnd owner, DialogProc proc) {
    if (!qtdispatch::OnGuiThread() || !QApplication::instance()) return -1;
    const DialogTemplate* t = FindDialogTemplate(templateId);
    if (!t || Dlg(templateId) || pendingExit) return -1;
    EnsureSink();

    auto* d = new DialogWindow(*t, proc, Dlg(owner));
    dialogs[templateId] = d;
    qtdispatch::SetDialogLive(templateId, true);
    ++dialogDepth;
    struct DepthGuard {
        ~DepthGuard() {
            if (--dialogDepth == 0) pendingExit.reset();
        }
    } depthGuard;

    std::intptr_t focusDefault = 0;
    try {
        focusDefault = proc(templateId, WM_INITDIALOG, 0, 0);
    } catch (const ThreadExit&) {
        DestroyDialog(d);
        throw;
    }

    QEventLoop loop;
    if (!d->ended && !pendingExit) {
        d->show();
        d->activateWindow();
        if (focusDefault) d->FocusFirst();
        d->running = true;
        // Commands posted during the initialisation are delivered now, from
        // the loop, in the order they were posted; then the window runs.
        std::size_t waiting;
        {
            std::lock_guard lock(postedMutex);
            waiting = posted.size();
        }
        for (std::size_t i = 0; i < waiting; ++i) WakeSink();
        QCoreApplication::postEvent(sink.load(), new RunningEvent(templateId));
        d->loop = &loop;
        if (!d->ended && !pendingExit) loop.exec();
        d->loop = nullptr;
        d->running = false;
    }
    d->hide();

    if (pendingExit) {
        std::uint32_t code = *pendingExit;
        DestroyDialog(d);
        throw ThreadExit{code};
    }
    qthost::Send(templateId, WM_DESTROY, 0, 0);
    int result = d->result;
    DestroyDialog(d);
    if (pendingExit) throw ThreadExit{*pendingExit};
    return result;
}

void EndDialog(Hwnd w, int result) {
    qtdispatch::Post(w, [w, result] {
        DialogWindow* d = Dlg(w);
        if (!d || d->ended) return;
        d->ended = true;
        d->result = result;
        if (d->loop) d->loop->quit();
    });
}

void PostQuitMessage(int code) {
    {
        std::lock_guard lock(postedMutex);
        quitRequest = code;
    }
    if (qtdispatch::OnGuiThread()) EnsureSink();
    WakeSink();
}
