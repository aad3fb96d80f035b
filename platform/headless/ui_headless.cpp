// The headless definitions of platform/ui.h and the host's own interface.
#include <algorithm>
#include <deque>
#include <map>
#include <unordered_map>

#include "platform/common/helptopics.h"
#include "platform/files.h"
#include "platform/headless/host.h"
#include "platform/help.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "resources/dialogs.h"

namespace {
// Dialog units to pixels with the base units of an 8-point sans-serif font.
constexpr int kBaseX = 6;
constexpr int kBaseY = 13;
constexpr int kDefaultEditLimit = 30000;

struct Control {
    ControlKind kind = ControlKind::Static;
    bool announcesSetText = false;  // AnnouncesSetText of its template
    std::string text;
    bool checked = false;
    int limit = kDefaultEditLimit;
    std::vector<std::pair<std::string, std::int32_t>> items;  // combo box
    int curSel = -1;
    int scrollMin = 0, scrollMax = 100, scrollPos = 0;
    std::vector<std::string> lines;  // list box
    std::vector<headless::ListColumn> columns;
    std::vector<headless::ListRow> rows;
    RGB color = 0;
    std::unordered_map<std::string, int> index;  // folded first-column text -> first row
    bool indexStale = false;
    Rect rect{};  // relative to the dialog, in pixels
    bool visible = true;
    headless::ProgressState progress;
};

struct Dialog {
    int templateId = 0;
    DialogProc proc = nullptr;
    std::string title;
    Rect rect{};
    std::unordered_map<int, Control> controls;
    bool ended = false;
    bool destroyed = false;  // WM_DESTROY was sent
    int result = 0;
};

std::recursive_mutex mu;
std::map<Hwnd, Dialog> dialogs;
std::deque<std::pair<Hwnd, int>> posted;
std::vector<headless::MessageBoxCall> boxes;
std::function<int(const headless::MessageBoxCall&)> responder;
std::function<void(const headless::ProgressState&)> progressListener;
bool busyCursor = false;
std::vector<headless::HelpCall> helpCalls;
std::vector<std::string> shellRequests;
bool quitRequested = false;
int quitCode = 0;

Control* Find(Hwnd w, int id) {
    auto d = dialogs.find(w);
    if (d == dialogs.end()) return nullptr;
    auto c = d->second.controls.find(id);
    return c == d->second.controls.end() ? nullptr : &c->second;
}

void Notify(Hwnd w, int id, unsigned code) {
    auto d = dialogs.find(w);
    if (d != dialogs.end() && d->second.proc)
        d->second.proc(w, WM_COMMAND, MakeWParam(static_cast<unsigned>(id), code), 0);
}

void Reindex(Control& c) {
    c.index.clear();
    for (int i = 0; i < static_cast<int>(c.rows.size()); ++i)
        c.index.emplace(FoldCase(c.rows[i].cells.empty() ? "" : c.rows[i].cells[0]), i);
    c.indexStale = false;
}

// Sets an edit control's text as the program does: the limit does not apply,
// and the change is notified where AnnouncesSetText says so.
void SetText(Hwnd w, int id, const std::string& text) {
    Control* c = Find(w, id);
    if (!c) return;
    c->text = text;
    if (c->announcesSetText) Notify(w, id, EN_CHANGE);
}
}  // namespace

// ---- platform/ui.h ----

void RunOnWindowThread(const std::function<void()>& fn) {
    std::lock_guard lock(mu);
    fn();
}

void SetDlgItemText(Hwnd w, int id, const std::string& text) {
    std::lock_guard lock(mu);
    SetText(w, id, text);
}

std::string GetDlgItemText(Hwnd w, int id) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (!c) return "";
    // A combo box shows the text of its selected item.
    if (c->kind == ControlKind::ComboBox) return c->curSel < 0 ? "" : c->items[c->curSel].first;
    return c->text;
}

void SetDlgItemInt(Hwnd w, int id, int value) {
    SetDlgItemText(w, id, std::to_string(value));
}

void SetWindowTitle(Hwnd w, const std::string& text) {
    std::lock_guard lock(mu);
    auto d = dialogs.find(w);
    if (d != dialogs.end()) d->second.title = text;
}

void SetEditLimit(Hwnd w, int id, int chars) {
    std::lock_guard lock(mu);
    if (Control* c = Find(w, id)) c->limit = chars > 0 ? chars : kDefaultEditLimit;
}

void CheckDlgButton(Hwnd w, int id, bool checked) {
    std::lock_guard lock(mu);
    if (Control* c = Find(w, id)) c->checked = checked;
}

bool IsDlgButtonChecked(Hwnd w, int id) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    return c && c->checked;
}

int ComboAddString(Hwnd w, int id, const std::string& text) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (!c) return -1;
    c->items.emplace_back(text, 0);
    return static_cast<int>(c->items.size()) - 1;
}

void ComboSetItemData(Hwnd w, int id, int index, std::int32_t data) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (c && index >= 0 && index < static_cast<int>(c->items.size())) c->items[index].second = data;
}

std::int32_t ComboGetItemData(Hwnd w, int id, int index) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (!c || index < 0 || index >= static_cast<int>(c->items.size())) return -1;
    return c->items[index].second;
}

void ComboSetCurSel(Hwnd w, int id, int index) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (c) c->curSel = (index >= 0 && index < static_cast<int>(c->items.size())) ? index : -1;
}

int ComboGetCurSel(Hwnd w, int id) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    return c ? c->curSel : -1;
}

void ScrollSetRange(Hwnd w, int id, int min, int max) {
    std::lock_guard lock(mu);
    if (Control* c = Find(w, id)) {
        c->scrollMin = min;
        c->scrollMax = std::max(min, max);
        c->scrollPos = std::clamp(c->scrollPos, min, c->scrollMax);
    }
}

void ScrollSetPos(Hwnd w, int id, int pos) {
    std::lock_guard lock(mu);
    if (Control* c = Find(w, id)) c->scrollPos = std::clamp(pos, c->scrollMin, c->scrollMax);
}

int ScrollGetPos(Hwnd w, int id) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    return c ? c->scrollPos : 0;
}

void ListBoxAddString(Hwnd w, int id, const std::string& text) {
    std::lock_guard lock(mu);
    if (Control* c = Find(w, id)) c->lines.push_back(text);
}

void ListBoxResetContent(Hwnd w, int id) {
    std::lock_guard lock(mu);
    if (Control* c = Find(w, id)) {
        c->lines.clear();
        c->curSel = -1;
    }
}

void ListBoxSetCurSel(Hwnd w, int id, int index) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (c) c->curSel = (index >= 0 && index < static_cast<int>(c->lines.size())) ? index : -1;
}

void ListInsertColumn(Hwnd w, int id, int column, const std::string& text, int width) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (!c) return;
    column = std::clamp(column, 0, static_cast<int>(c->columns.size()));
    c->columns.insert(c->columns.begin() + column, {text, width});
}

bool ListSetColumn(Hwnd w, int id, int column, const std::string& text, int width) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (!c || column < 0 || column >= static_cast<int>(c->columns.size())) return false;
    c->columns[column] = {text, width < 0 ? c->columns[column].width : width};
    return true;
}

void ListSetTextColor(Hwnd w, int id, RGB color) {
    std::lock_guard lock(mu);
    if (Control* c = Find(w, id)) c->color = color;
}

int ListInsertItem(Hwnd w, int id, int index, const std::string& text, std::uint32_t key) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (!c) return -1;
    int count = static_cast<int>(c->rows.size());
    index = (index < 0 || index > count) ? count : index;
    // Room for every column at once: the caller sets the other cells next.
    headless::ListRow row{{}, key, c->color};
    row.cells.reserve(std::max<std::size_t>(1, c->columns.size()));
    row.cells.push_back(text);
    c->rows.insert(c->rows.begin() + index, std::move(row));
    if (index == count && !c->indexStale) {
        c->index.emplace(FoldCase(text), index);
    } else {
        c->indexStale = true;
    }
    return index;
}

void ListSetItemText(Hwnd w, int id, int row, int column, const std::string& text) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (!c || row < 0 || row >= static_cast<int>(c->rows.size()) || column < 0) return;
    auto& cells = c->rows[row].cells;
    if (static_cast<int>(cells.size()) <= column) cells.resize(column + 1);
    cells[column] = text;
    if (column == 0) c->indexStale = true;
}

std::string ListGetItemText(Hwnd w, int id, int row, int column) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (!c || row < 0 || row >= static_cast<int>(c->rows.size()) || column < 0) return "";
    const auto& cells = c->rows[row].cells;
    return column < static_cast<int>(cells.size()) ? cells[column] : "";
}

std::uint32_t ListGetItemKey(Hwnd w, int id, int row) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (!c || row < 0 || row >= static_cast<int>(c->rows.size())) return 0;
    return c->rows[row].key;
}

int ListGetItemCount(Hwnd w, int id) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    return c ? static_cast<int>(c->rows.size()) : 0;
}

void ListDeleteAllItems(Hwnd w, int id) {
    std::lock_guard lock(mu);
    if (Control* c = Find(w, id)) {
        c->rows.clear();
        c->index.clear();
        c->indexStale = false;
    }
}

int ListFindItem(Hwnd w, int id, const std::string& text) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (!c) return -1;
    if (c->indexStale) Reindex(*c);
    auto it = c->index.find(FoldCase(text));
    return it == c->index.end() ? -1 : it->second;
}

bool ListIsItemSelected(Hwnd w, int id, int row) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    return c && row >= 0 && row < static_cast<int>(c->rows.size()) && c->rows[row].selected;
}

int ListGetSelectedCount(Hwnd w, int id) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (!c) return 0;
    return static_cast<int>(std::count_if(c->rows.begin(), c->rows.end(),
                                          [](const headless::ListRow& r) { return r.selected; }));
}

void ListSortItems(Hwnd w, int id, ListCompare compare, std::intptr_t param) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (!c) return;
    std::stable_sort(c->rows.begin(), c->rows.end(),
                     [&](const headless::ListRow& a, const headless::ListRow& b) {
                         return compare(a.key, b.key, param) < 0;
                     });
    c->indexStale = true;
}

void ListSetSortMark(Hwnd, int, int, bool) {}  // the header texts carry the direction

namespace {
// Changes the progress state of a control and tells the listener.
void ChangeProgress(Hwnd w, int id, const std::function<void(headless::ProgressState&)>& change) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (!c) return;
    change(c->progress);
    c->progress.visible = c->visible;
    if (progressListener) progressListener(c->progress);
}
}  // namespace

void ShowControl(Hwnd w, int id, bool shown) {
    std::lock_guard lock(mu);
    if (Control* c = Find(w, id)) c->visible = shown;
    ChangeProgress(w, id, [](headless::ProgressState&) {});
}

void ProgressSetRange(Hwnd w, int id, int min, int max) {
    ChangeProgress(w, id, [&](headless::ProgressState& p) {
        p.SetRange(min, max);
        p.reached = p.pos;
    });
}

void ProgressSetStep(Hwnd w, int id, int step) {
    ChangeProgress(w, id, [&](headless::ProgressState& p) { p.step = step; });
}

void ProgressSetPos(Hwnd w, int id, int pos) {
    ChangeProgress(w, id, [&](headless::ProgressState& p) {
        p.SetPos(pos);
        p.reached = p.pos;
    });
}

void ProgressStepIt(Hwnd w, int id, int times) {
    ChangeProgress(w, id, [times](headless::ProgressState& p) {
        p.reached += static_cast<long long>(p.step) * std::max(times, 0);
        p.StepIt(times);
    });
}

void SetBusyCursor(bool busy) {
    std::lock_guard lock(mu);
    busyCursor = busy;
}

int MessageBox(Hwnd owner, const std::string& text, const std::string& caption, unsigned type) {
    std::function<int(const headless::MessageBoxCall&)> answer;
    headless::MessageBoxCall call{owner, text, caption, type};
    {
        std::lock_guard lock(mu);
        boxes.push_back(call);
        answer = responder;
    }
    return answer ? answer(call) : UnansweredBoxResult(type);
}

void PostCommand(Hwnd w, int id) {
    std::lock_guard lock(mu);
    posted.emplace_back(w, id);
}

Rect GetWindowRect(Hwnd w) {
    std::lock_guard lock(mu);
    auto d = dialogs.find(w);
    return d == dialogs.end() ? Rect{} : d->second.rect;
}

Rect GetControlRect(Hwnd w, int id) {
    std::lock_guard lock(mu);
    auto d = dialogs.find(w);
    Control* c = Find(w, id);
    if (d == dialogs.end() || !c) return {};
    const Rect& o = d->second.rect;
    return {o.left + c->rect.left, o.top + c->rect.top, o.left + c->rect.right,
            o.top + c->rect.bottom};
}

void MoveWindow(Hwnd w, int left, int top, int width, int height) {
    std::lock_guard lock(mu);
    auto d = dialogs.find(w);
    if (d != dialogs.end()) d->second.rect = {left, top, left + width, top + height};
}

int DialogBox(int templateId, Hwnd owner, DialogProc proc) {
    (void)owner;
    Hwnd w = headless::CreateDialog(templateId, proc);
    if (w == kNoWindow) return -1;
    headless::Send(w, WM_INITDIALOG, 0, 0);
    // Runs the posted commands until the dialog ends or nothing is left to
    // do; then the window is destroyed.
    headless::PumpPostedCommands(w);
    int result = 0;
    bool destroyed;
    {
        std::lock_guard lock(mu);
        Dialog& d = dialogs[w];
        if (!d.ended) {
            d.ended = true;
            d.result = 0;
        }
        result = d.result;
        destroyed = d.destroyed;
        d.destroyed = true;
    }
    if (!destroyed) headless::Send(w, WM_DESTROY, 0, 0);
    return result;
}

void PostQuitMessage(int code) {
    std::lock_guard lock(mu);
    quitRequested = true;
    quitCode = code;
}

bool WinHelp(int owner, const char* file, unsigned command, const std::uint32_t* ids, int ctrlId) {
    (void)owner;
    (void)file;
    std::lock_guard lock(mu);
    helpCalls.push_back({command, ctrlId, HelpContext(ids, ctrlId)});
    return true;
}

bool ShellOpen(int owner, const std::string& target) {
    (void)owner;
    std::lock_guard lock(mu);
    shellRequests.push_back(target);
    return true;
}

void EndDialog(Hwnd w, int result) {
    std::lock_guard lock(mu);
    auto d = dialogs.find(w);
    if (d != dialogs.end() && !d->second.ended) {
        d->second.ended = true;
        d->second.result = result;
    }
}

// ---- the host's own interface ----

namespace headless {

Hwnd CreateDialog(int templateId, DialogProc proc) {
    const DialogTemplate* t = FindDialogTemplate(templateId);
    if (!t) return kNoWindow;
    std::lock_guard lock(mu);
    Dialog d;
    d.templateId = templateId;
    d.proc = proc;
    d.title = t->caption;
    d.rect = {t->x * kBaseX / 4, t->y * kBaseY / 8, (t->x + t->cx) * kBaseX / 4,
              (t->y + t->cy) * kBaseY / 8};
    for (const auto& ct : t->controls) {
        Control c;
        c.kind = ct.kind;
        c.announcesSetText = AnnouncesSetText(ct);
        c.visible = !(ct.style & kHidden);
        c.text = ct.text ? ct.text : "";
        c.rect = {ct.x * kBaseX / 4, ct.y * kBaseY / 8, (ct.x + ct.cx) * kBaseX / 4,
                  (ct.y + ct.cy) * kBaseY / 8};
        d.controls[ct.id] = std::move(c);
    }
    dialogs[templateId] = std::move(d);
    return templateId;
}

void Reset() {
    std::lock_guard lock(mu);
    dialogs.clear();
    posted.clear();
    boxes.clear();
    responder = nullptr;
    progressListener = nullptr;
    busyCursor = false;
    helpCalls.clear();
    shellRequests.clear();
    quitRequested = false;
    quitCode = 0;
}

std::intptr_t Send(Hwnd w, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
    std::lock_guard lock(mu);
    auto d = dialogs.find(w);
    if (d == dialogs.end() || !d->second.proc) return 0;
    return d->second.proc(w, msg, wParam, lParam);
}

std::intptr_t SendCommand(Hwnd w, int id, unsigned code) {
    return Send(w, WM_COMMAND, MakeWParam(static_cast<unsigned>(id), code), 0);
}

std::vector<int> TakePostedCommands() {
    std::lock_guard lock(mu);
    std::vector<int> out;
    for (auto& p : posted) out.push_back(p.second);
    posted.clear();
    return out;
}

int PumpPostedCommands(Hwnd w) {
    int n = 0;
    while (true) {
        std::pair<Hwnd, int> next;
        {
            std::lock_guard lock(mu);
            auto d = dialogs.find(w);
            if (d == dialogs.end() || d->second.ended) return n;
            if (posted.empty()) {
                if (!quitRequested) return n;
                quitRequested = false;
                d->second.ended = true;
                d->second.destroyed = true;
                d->second.result = quitCode;
                next = {kNoWindow, 0};
            } else {
                next = posted.front();
                posted.pop_front();
            }
        }
        if (next.first == kNoWindow) {
            Send(w, WM_DESTROY, 0, 0);
            return n;
        }
        SendCommand(next.first, next.second);
        ++n;
    }
}

void SetMessageBoxResponder(std::function<int(const MessageBoxCall&)> r) {
    std::lock_guard lock(mu);
    responder = std::move(r);
}

std::vector<MessageBoxCall> MessageBoxes() {
    std::lock_guard lock(mu);
    return boxes;
}

void SelectRow(Hwnd w, int id, int row, bool selected) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (c && row >= 0 && row < static_cast<int>(c->rows.size())) c->rows[row].selected = selected;
}

void SetProgressListener(std::function<void(const ProgressState&)> listener) {
    std::lock_guard lock(mu);
    progressListener = std::move(listener);
}

bool BusyCursor() {
    std::lock_guard lock(mu);
    return busyCursor;
}

std::string Title(Hwnd w) {
    std::lock_guard lock(mu);
    auto d = dialogs.find(w);
    return d == dialogs.end() ? "" : d->second.title;
}

int EditLimit(Hwnd w, int id) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    return c ? c->limit : 0;
}

std::vector<std::string> ComboItems(Hwnd w, int id) {
    std::lock_guard lock(mu);
    std::vector<std::string> out;
    if (Control* c = Find(w, id))
        for (auto& item : c->items) out.push_back(item.first);
    return out;
}

std::pair<int, int> ScrollRange(Hwnd w, int id) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    return c ? std::pair{c->scrollMin, c->scrollMax} : std::pair{0, 0};
}

ProgressState Progress(Hwnd w, int id) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    return c ? c->progress : ProgressState{};
}

std::vector<std::string> ListBoxLines(Hwnd w, int id) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    return c ? c->lines : std::vector<std::string>{};
}

int ListBoxCurSel(Hwnd w, int id) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    return c ? c->curSel : -1;
}

std::vector<ListColumn> Columns(Hwnd w, int id) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    return c ? c->columns : std::vector<ListColumn>{};
}

const std::vector<ListRow>& RowsInPlace(Hwnd w, int id) {
    static const std::vector<ListRow> none;
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    return c ? c->rows : none;
}

std::vector<ListRow> Rows(Hwnd w, int id) {
    std::lock_guard lock(mu);  // held while the rows are copied
    return RowsInPlace(w, id);
}

RGB TextColor(Hwnd w, int id) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    return c ? c->color : 0;
}

bool DialogExists(Hwnd w) {
    std::lock_guard lock(mu);
    return dialogs.count(w) != 0;
}

bool DialogEnded(Hwnd w, int* result) {
    std::lock_guard lock(mu);
    auto d = dialogs.find(w);
    if (d == dialogs.end() || !d->second.ended) return false;
    if (result) *result = d->second.result;
    return true;
}

std::vector<HelpCall> HelpCalls() {
    std::lock_guard lock(mu);
    return helpCalls;
}

std::vector<std::string> ShellRequests() {
    std::lock_guard lock(mu);
    return shellRequests;
}

bool QuitRequested() {
    std::lock_guard lock(mu);
    return quitRequested;
}

void TypeText(Hwnd w, int id, const std::string& text) {
    std::lock_guard lock(mu);
    Control* c = Find(w, id);
    if (!c) return;
    c->text = FirstChars(text, static_cast<std::size_t>(c->limit));
    Notify(w, id, EN_CHANGE);
}

}  // namespace headless
