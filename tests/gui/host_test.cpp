// The Qt host on its own: the dialogs built from their templates, and the
// user's actions and the program's calls as a dialog procedure sees them.
// A recording procedure stands in for the program.
#include "platform/qt/host.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QThread>
#include <QTreeView>
#include <atomic>
#include <chrono>
#include <functional>
#include <set>

#include "harness.h"
#include "platform/qt/listmodel.h"
#include "platform/threads.h"
#include "resources/dialogs.h"

using namespace gui;

namespace {

struct Message {
    Hwnd w;
    unsigned msg;
    unsigned id;    // command: control id; notify/help/context menu: the control
    unsigned code;  // command: notification code; hscroll: scroll code; notify: -code
    int extra;      // notify: column; hscroll: thumb position
    bool shown;     // the dialog's window was visible
    bool onGui;     // received on the window's thread
};

std::vector<Message> messages;
std::function<std::intptr_t(Hwnd, unsigned, std::uintptr_t, std::intptr_t)> behaviour;

std::intptr_t RecordingProc(Hwnd w, unsigned msg, std::uintptr_t wp, std::intptr_t lp) {
    Message m{w, msg, 0, 0, 0, false, QThread::currentThread() == qApp->thread()};
    QWidget* window = qthost::Window(w);
    m.shown = window && window->isVisible();
    switch (msg) {
        case WM_COMMAND:
            m.id = LoWord(wp);
            m.code = HiWord(wp);
            break;
        case WM_NOTIFY: {
            auto* n = reinterpret_cast<const ListNotify*>(lp);
            m.id = static_cast<unsigned>(n->idFrom);
            m.code = static_cast<unsigned>(-n->code);
            m.extra = n->subItem;
            break;
        }
        case WM_HELP:
            m.id = static_cast<unsigned>(reinterpret_cast<const HelpRequest*>(lp)->ctrlId);
            break;
        case WM_CONTEXTMENU:
            m.id = static_cast<unsigned>(wp);
            break;
        case WM_HSCROLL:
            m.id = static_cast<unsigned>(lp);
            m.code = LoWord(wp);
            m.extra = static_cast<int>(HiWord(wp));
            break;
        default:
            break;
    }
    messages.push_back(m);
    if (behaviour) return behaviour(w, msg, wp, lp);
    return msg == WM_INITDIALOG ? 1 : 0;
}

std::vector<Message> Of(unsigned msg) {
    std::vector<Message> out;
    for (const Message& m : messages)
        if (m.msg == msg) out.push_back(m);
    return out;
}

std::vector<std::pair<unsigned, unsigned>> Commands() {
    std::vector<std::pair<unsigned, unsigned>> out;
    for (const Message& m : Of(WM_COMMAND)) out.emplace_back(m.id, m.code);
    return out;
}

int Count(unsigned msg) {
    return static_cast<int>(Of(msg).size());
}

// Runs dialog templateId with the recording procedure; body runs once the
// dialog's loop runs, then the dialog is ended with 7 unless body ended it.
int RunDialog(int templateId, const std::function<void()>& body) {
    messages.clear();
    bool ran = false;
    qthost::SetDialogRunningHook([&](Hwnd w) {
        if (w != templateId || ran) return;
        ran = true;
        WaitUntil([w] { return QApplication::activeWindow() == qthost::Window(w); }, 2000);
        body();
        if (qthost::DialogRunning(templateId)) EndDialog(templateId, 7);
    });
    int result = DialogBox(templateId, kNoWindow, RecordingProc);
    qthost::SetDialogRunningHook(nullptr);
    behaviour = nullptr;
    return result;
}

template <class T>
T* As(int id, Hwnd w = 100) {
    return qobject_cast<T*>(qthost::Control(w, id));
}

class Host : public ::testing::Test {
  protected:
    void SetUp() override {
        messages.clear();
        behaviour = nullptr;
    }
    void TearDown() override {
        behaviour = nullptr;
        qthost::SetDialogRunningHook(nullptr);
    }
};

}  // namespace

TEST_F(Host, BuildsEveryControlOfTheMainTemplate) {
    RunDialog(100, [] {
        QWidget* window = qthost::Window(100);
        ASSERT_NE(window, nullptr);
        const DialogTemplate& t = MainDialogTemplate();
        qthost::PixelRect frame = qthost::TemplateRect(100, 0);
        EXPECT_EQ(window->size(), QSize(frame.width, frame.height));
        EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "the user cannot resize it";
        EXPECT_EQ(window->windowTitle(), QString("Waypoint Checker"));

        int made = 0;
        for (const ControlTemplate& c : t.controls) {
            QWidget* w = qthost::Control(100, c.id);
            ASSERT_NE(w, nullptr) << c.id;
            ++made;
            qthost::PixelRect r = qthost::TemplateRect(100, c.id);
            EXPECT_EQ(w->x(), r.x) << c.id;
            EXPECT_EQ(w->y(), r.y) << c.id;
            EXPECT_EQ(w->width(), r.width) << c.id;
            if (c.kind != ControlKind::ComboBox) {
                EXPECT_EQ(w->height(), r.height) << c.id;
            }
            EXPECT_EQ(w->isVisible(), !(c.style & kHidden)) << c.id;
        }
        EXPECT_EQ(made, 46);

        EXPECT_TRUE(As<QPushButton>(1)->isDefault());
        EXPECT_TRUE(As<QTreeView>(101) && As<QTreeView>(123));
        EXPECT_TRUE(As<QListWidget>(126));
        EXPECT_EQ(As<QScrollBar>(150)->orientation(), Qt::Horizontal);
        EXPECT_FALSE(As<QComboBox>(102)->isEditable());
        EXPECT_TRUE(As<QCheckBox>(134) && As<QCheckBox>(111));
        EXPECT_TRUE(As<QGroupBox>(177) && As<QGroupBox>(136));
        EXPECT_TRUE(As<QLineEdit>(112)->isReadOnly());
        EXPECT_TRUE(As<QLineEdit>(148)->isReadOnly());
        EXPECT_FALSE(As<QLineEdit>(148)->hasFrame());
        EXPECT_TRUE(As<QLineEdit>(110)->hasFrame());
        EXPECT_FALSE(As<QLineEdit>(110)->isReadOnly());
        EXPECT_TRUE(As<QProgressBar>(157)->isHidden());
        EXPECT_EQ(As<QLabel>(113)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        EXPECT_EQ(As<QLabel>(145)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        EXPECT_EQ(Text(125), "Maps MISSING waypoints");
        EXPECT_EQ(Text(141), "111111111");
        EXPECT_EQ(Text(139), "Check Redundant Waypoints");

        // Group boxes lie behind the controls they frame.
        QObjectList order = window->children();
        EXPECT_LT(order.indexOf(qthost::Control(100, 177)),
                  order.indexOf(qthost::Control(100, 102)));
        EXPECT_LT(order.indexOf(qthost::Control(100, 136)),
                  order.indexOf(qthost::Control(100, 134)));

        // The tab order is the template order of the controls with a tab stop.
        std::vector<QWidget*> expected;
        for (const ControlTemplate& c : t.controls)
            if (c.style & kTabStop) expected.push_back(qthost::Control(100, c.id));
        std::set<QWidget*> tabbed(expected.begin(), expected.end());
        std::vector<QWidget*> chain;
        QWidget* w = expected.front();
        do {
            if (tabbed.count(w)) chain.push_back(w);
            w = w->nextInFocusChain();
        } while (w != expected.front() && chain.size() <= expected.size());
        EXPECT_EQ(chain, expected);
        // The initialisation's nonzero result gives the first tab stop the focus.
        EXPECT_EQ(QApplication::focusWidget(), qthost::Control(100, 1));
    });
}

TEST_F(Host, BuildsTheConfigurationTemplateOwnedByTheMainWindow) {
    behaviour = [](Hwnd w, unsigned msg, std::uintptr_t wp, std::intptr_t) -> std::intptr_t {
        if (msg == WM_INITDIALOG) return 1;
        if (w == 100 && msg == WM_COMMAND && LoWord(wp) == 142) DialogBox(300, 100, RecordingProc);
        if (w == 300 && msg == WM_COMMAND && (LoWord(wp) == IDOK || LoWord(wp) == IDCANCEL))
            EndDialog(300, 0);
        return 0;
    };
    bool checked = false;
    qthost::SetDialogRunningHook(nullptr);
    messages.clear();
    qthost::SetDialogRunningHook([&](Hwnd w) {
        WaitUntil([w] { return QApplication::activeWindow() == qthost::Window(w); }, 2000);
        if (w == 100) {
            Click(142);  // opens 300 modally; returns when 300 has ended
            EndDialog(100, 0);
            return;
        }
        QWidget* config = qthost::Window(300);
        ASSERT_NE(config, nullptr);
        EXPECT_EQ(config->parentWidget(), qthost::Window(100));
        EXPECT_TRUE(config->isModal());
        for (const ControlTemplate& c : ConfigDialogTemplate().controls)
            EXPECT_NE(qthost::Control(300, c.id), nullptr) << c.id;
        EXPECT_FALSE(As<QComboBox>(301, 300)->isEditable());
        qthost::PixelRect frame = qthost::TemplateRect(300, 0);
        EXPECT_EQ(config->size(), QSize(frame.width, frame.height));
        // The user picks an entry: the selection changes, then it is confirmed.
        ComboAddString(300, 301, "Pod Bot");
        ComboAddString(300, 301, "Joe Bot");
        ComboSetCurSel(300, 301, 0);
        messages.clear();
        auto* combo = As<QComboBox>(301, 300);
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Down);
        // The focus leaves an edit: the edit is told.
        As<QLineEdit>(303, 300)->setFocus();
        QTest::mouseClick(qthost::Control(300, 2), Qt::LeftButton);
        checked = true;
    });
    DialogBox(100, kNoWindow, RecordingProc);
    qthost::SetDialogRunningHook(nullptr);
    behaviour = nullptr;
    ASSERT_TRUE(checked);
    std::vector<std::pair<unsigned, unsigned>> config;
    for (const Message& m : Of(WM_COMMAND))
        if (m.w == 300) config.emplace_back(m.id, m.code);
    // The choice, the kill focus of 303 when the button takes the focus, the click.
    std::vector<std::pair<unsigned, unsigned>> expected = {
        {301, CBN_SELCHANGE}, {301, CBN_SELENDOK}, {303, EN_KILLFOCUS}, {2, 0}};
    EXPECT_EQ(config, expected);
}

TEST_F(Host, UserActionsBecomeMessages) {
    RunDialog(100, [] {
        QWidget* window = qthost::Window(100);
        // A click on a button.
        messages.clear();
        Click(129);
        EXPECT_EQ(Commands(), (std::vector<std::pair<unsigned, unsigned>>{{129, 0}}));

        // Typing into an edit: one change notice per change.
        messages.clear();
        auto* host = As<QLineEdit>(110);
        host->setFocus();
        QTest::keyClicks(host, "ab");
        EXPECT_EQ(Commands(),
                  (std::vector<std::pair<unsigned, unsigned>>{{110, EN_CHANGE}, {110, EN_CHANGE}}));
        EXPECT_EQ(Text(110), "ab");

        // Enter in an edit presses the default button; on a focused button, that button.
        messages.clear();
        QTest::keyClick(host, Qt::Key_Return);
        auto* copy = As<QPushButton>(116);
        copy->setFocus();
        QTest::keyClick(copy, Qt::Key_Return);
        // The edit is told when the button takes its focus.
        EXPECT_EQ(Commands(), (std::vector<std::pair<unsigned, unsigned>>{
                                  {1, 0}, {110, EN_KILLFOCUS}, {116, 0}}));

        // A completed choice in the bot selector: code 9 from 102, also for the
        // same entry again; a selection by the program says nothing.
        ComboAddString(100, 102, "Pod Bot");
        ComboAddString(100, 102, "Swat Bot");
        EXPECT_EQ(ComboGetCurSel(100, 102), -1) << "adding items selects none";
        ComboSetCurSel(100, 102, 0);
        messages.clear();
        auto* combo = As<QComboBox>(102);
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Down);
        EXPECT_EQ(ComboGetCurSel(100, 102), 1);
        emit combo->activated(1);  // the same entry chosen again from the list
        EXPECT_EQ(Commands(), (std::vector<std::pair<unsigned, unsigned>>{
                                  {102, CBN_SELCHANGE}, {102, CBN_SELENDOK}, {102, CBN_SELENDOK}}));

        // An automatic check box toggles and tells.
        messages.clear();
        Click(134);
        EXPECT_TRUE(IsDlgButtonChecked(100, 134));
        EXPECT_EQ(Commands(), (std::vector<std::pair<unsigned, unsigned>>{{134, 0}}));

        // A header click names the list and the column.
        ListInsertColumn(100, 123, 0, "Map Name", 118);
        ListInsertColumn(100, 123, 1, "Last Edited", 70);
        ListInsertColumn(100, 123, 2, "Version", 55);
        messages.clear();
        auto* header = As<QTreeView>(123)->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(header->sectionViewportPosition(2) + 10, header->height() / 2));
        auto notes = Of(WM_NOTIFY);
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_EQ(notes[0].id, 123u);
        EXPECT_EQ(static_cast<int>(-notes[0].code), LVN_COLUMNCLICK);
        EXPECT_EQ(notes[0].extra, 2);

        // A right click on a control names it; F1 asks about the focused one.
        messages.clear();
        QWidget* credit = qthost::Control(100, 103);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, credit->rect().center(),
                               credit->mapToGlobal(credit->rect().center()));
        QApplication::sendEvent(credit, &menu);
        auto menus = Of(WM_CONTEXTMENU);
        ASSERT_EQ(menus.size(), 1u);
        EXPECT_EQ(menus[0].id, 103u);
        qthost::Control(100, 134)->setFocus();
        QTest::keyClick(qthost::Control(100, 134), Qt::Key_F1);
        auto helps = Of(WM_HELP);
        ASSERT_EQ(helps.size(), 1u);
        EXPECT_EQ(helps[0].id, 134u);

        // Escape and the close box ask the procedure to close; this one
        // does not end the dialog, so it gets Cancel as well.
        messages.clear();
        QTest::keyClick(window, Qt::Key_Escape);
        window->close();
        EXPECT_EQ(Count(WM_CLOSE), 2);
        EXPECT_EQ(Commands(), (std::vector<std::pair<unsigned, unsigned>>{{2, 0}, {2, 0}}));
        EXPECT_TRUE(qthost::DialogRunning(100));
    });
}

TEST_F(Host, ProgramTextsAndLimits) {
    RunDialog(100, [] {
        // Text set by the program is announced, even when it is the same.
        messages.clear();
        SetDlgItemText(100, 149, "Brimlock Wpts");
        SetDlgItemText(100, 149, "Brimlock Wpts");
        EXPECT_EQ(Commands(),
                  (std::vector<std::pair<unsigned, unsigned>>{{149, EN_CHANGE}, {149, EN_CHANGE}}));

        // The limit holds for typing, not for the program's own text.
        SetEditLimit(100, 132, 5);
        SetDlgItemText(100, 132, "abcdefgh");
        EXPECT_EQ(Text(132), "abcdefgh");
        auto* ext = As<QLineEdit>(132);
        SetDlgItemText(100, 132, "");
        ext->setFocus();
        QTest::keyClicks(ext, "uvwxyz");
        EXPECT_EQ(Text(132), "uvwxy");
        SetEditLimit(100, 132, 0);
        QTest::keyClicks(ext, "z");
        EXPECT_EQ(Text(132), "uvwxyz");

        // 8-bit texts come back byte for byte; a label never reads markup.
        SetDlgItemText(100, 110, "caf\xe9 \xff");
        EXPECT_EQ(Text(110), "caf\xe9 \xff");
        SetDlgItemText(100, 131, "/wpts/\xc3\xa9t\xc3\xa9");
        EXPECT_EQ(As<QLineEdit>(131)->text(), QString::fromUtf8("/wpts/\xc3\xa9t\xc3\xa9"));
        SetDlgItemText(100, 103, "<b>Pod Bot</b> & <i>co</i>");
        EXPECT_EQ(As<QLabel>(103)->textFormat(), Qt::PlainText);
        EXPECT_EQ(Text(103), "<b>Pod Bot</b> & <i>co</i>");
        SetDlgItemInt(100, 115, -42);
        EXPECT_EQ(Text(115), "-42");

        // A multi-line button wraps its text to its width.
        auto* button = As<QPushButton>(140);
        QStringList lines = button->text().split('\n');
        EXPECT_GE(lines.size(), 2);
        for (const QString& line : lines)
            EXPECT_LE(button->fontMetrics().horizontalAdvance(line), button->width())
                << line.toStdString();
        EXPECT_EQ(Text(140), "Delete Redundant Waypoints");

        SetWindowTitle(100, "NodeScan FINAL v2.50");
        EXPECT_EQ(qthost::Window(100)->windowTitle(), QString("NodeScan FINAL v2.50"));
        CheckDlgButton(100, 111, true);
        EXPECT_TRUE(IsDlgButtonChecked(100, 111));
        EXPECT_FALSE(IsDlgButtonChecked(100, 1));

        ComboAddString(100, 102, "Pod Bot");
        int second = ComboAddString(100, 102, "Joe Bot");
        EXPECT_EQ(second, 1);
        ComboSetItemData(100, 102, second, 3);
        EXPECT_EQ(ComboGetItemData(100, 102, 1), 3);
        EXPECT_EQ(ComboGetItemData(100, 102, 5), -1);
        ComboSetCurSel(100, 102, 9);
        EXPECT_EQ(ComboGetCurSel(100, 102), -1);

        ListBoxAddString(100, 126, "one");
        ListBoxAddString(100, 126, "two");
        ListBoxSetCurSel(100, 126, 1);
        EXPECT_EQ(As<QListWidget>(126)->currentRow(), 1);
        ListBoxResetContent(100, 126);
        EXPECT_EQ(As<QListWidget>(126)->count(), 0);
    });
}

TEST_F(Host, ListViewsKeepRowsKeysAndColours) {
    RunDialog(100, [] {
        ListInsertColumn(100, 123, 0, "Map Name", 118);
        ListInsertColumn(100, 123, 1, "Version", 55);
        EXPECT_EQ(As<QTreeView>(123)->header()->sectionSize(0), 118);
        EXPECT_TRUE(ListSetColumn(100, 123, 1, "Ver.", 60));
        EXPECT_FALSE(ListSetColumn(100, 123, 4, "None", 10));
        EXPECT_EQ(As<QTreeView>(123)->header()->sectionSize(1), 60);

        ListSetTextColor(100, 123, MakeRGB(0, 0, 255));
        EXPECT_EQ(ListInsertItem(100, 123, 0, "de_dust.bsp", 10), 0);
        EXPECT_EQ(ListInsertItem(100, 123, 99, "cs_office.bsp", 11), 1);
        ListSetTextColor(100, 123, MakeRGB(255, 0, 0));
        EXPECT_EQ(ListInsertItem(100, 123, 0, "AS_OILRIG.bsp", 12), 0);
        ListSetItemText(100, 123, 1, 1, "7");
        EXPECT_EQ(ListGetItemCount(100, 123), 3);
        EXPECT_EQ(ListGetItemText(100, 123, 1, 0), "de_dust.bsp");
        EXPECT_EQ(ListGetItemText(100, 123, 1, 1), "7");
        EXPECT_EQ(ListGetItemText(100, 123, 1, 3), "");
        EXPECT_EQ(ListGetItemKey(100, 123, 2), 11u);
        EXPECT_EQ(ListFindItem(100, 123, "as_oilrig.BSP"), 0);
        EXPECT_EQ(ListFindItem(100, 123, "CS_OFFICE.bsp"), 2);
        EXPECT_EQ(ListFindItem(100, 123, "cs_office"), -1);
        ListSetItemText(100, 123, 2, 0, "cs_italy.bsp");
        EXPECT_EQ(ListFindItem(100, 123, "cs_office.bsp"), -1);
        EXPECT_EQ(ListFindItem(100, 123, "cs_italy.bsp"), 2);

        ReportModel* model = List(123);
        EXPECT_EQ(model->RowColor(0), MakeRGB(255, 0, 0));
        EXPECT_EQ(model->RowColor(1), MakeRGB(0, 0, 255));
        EXPECT_EQ(model->data(model->index(1, 0), Qt::ForegroundRole).value<QColor>(),
                  QColor(0, 0, 255));
        EXPECT_EQ(model->data(model->index(1, 1), Qt::DisplayRole).toString(), QString("7"));

        ListDeleteAllItems(100, 123);
        EXPECT_EQ(ListGetItemCount(100, 123), 0);
        EXPECT_EQ(ListFindItem(100, 123, "de_dust.bsp"), -1);
    });
}

TEST_F(Host, ScrollBarShowsWhatTheProgramSets) {
    int answer = -1;  // the position the procedure sets; -1 none
    behaviour = [&answer](Hwnd w, unsigned msg, std::uintptr_t, std::intptr_t lp) -> std::intptr_t {
        if (msg == WM_HSCROLL && lp == 150 && answer >= 0) ScrollSetPos(w, 150, answer);
        return msg == WM_INITDIALOG ? 1 : 0;
    };
    RunDialog(100, [&answer] {
        auto* bar = As<QScrollBar>(150);
        ScrollSetRange(100, 150, 0, 5);
        ScrollSetPos(100, 150, 2);
        EXPECT_EQ(ScrollGetPos(100, 150), 2);
        ScrollSetPos(100, 150, 9);
        EXPECT_EQ(ScrollGetPos(100, 150), 5) << "kept within the range";
        ScrollSetPos(100, 150, 2);

        // A procedure that does not move the thumb: it stays.
        messages.clear();
        ClickScrollPart(bar, QStyle::SC_ScrollBarAddLine);
        ClickScrollPart(bar, QStyle::SC_ScrollBarSubLine);
        ClickScrollPart(bar, QStyle::SC_ScrollBarAddPage);
        EXPECT_EQ(bar->value(), 2);
        EXPECT_EQ(bar->sliderPosition(), 2);
        auto scrolls = Of(WM_HSCROLL);
        ASSERT_EQ(scrolls.size(), 3u);
        EXPECT_EQ(scrolls[0].code, SB_LINEDOWN);
        EXPECT_EQ(scrolls[1].code, SB_LINEUP);
        EXPECT_EQ(scrolls[2].code, SB_PAGEDOWN);
        EXPECT_EQ(scrolls[0].id, 150u);

        // A procedure that puts it elsewhere: it shows there.
        answer = 4;
        ClickScrollPart(bar, QStyle::SC_ScrollBarSubLine);
        EXPECT_EQ(bar->value(), 4);
        EXPECT_EQ(bar->sliderPosition(), 4);

        // Dragging the thumb: its positions while tracking, then where it was let go.
        answer = -1;
        messages.clear();
        QStyleOptionSlider opt;
        opt.initFrom(bar);
        opt.orientation = Qt::Horizontal;
        opt.minimum = 0;
        opt.maximum = 5;
        opt.sliderPosition = opt.sliderValue = bar->value();
        opt.pageStep = bar->pageStep();
        opt.singleStep = 1;
        opt.state |= QStyle::State_Horizontal;
        QRect thumb = bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt,
                                                   QStyle::SC_ScrollBarSlider, bar);
        QRect groove = bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt,
                                                    QStyle::SC_ScrollBarGroove, bar);
        QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, thumb.center());
        QTest::mouseMove(bar, QPoint(groove.left() + 1, thumb.center().y()));
        QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier,
                            QPoint(groove.left() + 1, thumb.center().y()));
        scrolls = Of(WM_HSCROLL);
        ASSERT_GE(scrolls.size(), 2u);
        EXPECT_EQ(scrolls.front().code, SB_THUMBTRACK);
        EXPECT_EQ(scrolls.front().extra, 0);
        EXPECT_EQ(scrolls.back().code, SB_THUMBPOSITION);
        EXPECT_EQ(scrolls.back().extra, 0);
        EXPECT_EQ(bar->value(), 4) << "the procedure did not move it";
    });
}

TEST_F(Host, PostedCommandsArriveFromTheLoopInOrder) {
    std::vector<int> deliveredShown;
    bool insidePost = false;
    behaviour = [&](Hwnd w, unsigned msg, std::uintptr_t wp, std::intptr_t) -> std::intptr_t {
        if (msg == WM_INITDIALOG) {
            PostCommand(w, 143);
            PostCommand(w, 1);
            // A box shown during the initialisation runs a loop of its own;
            // the posted commands still wait for the window.
            MessageBox(w, "starting", "Note", MB_OK);
            PostCommand(w, 105);
            return 1;
        }
        if (msg == WM_COMMAND && LoWord(wp) == 129) {
            insidePost = true;
            PostCommand(w, 146);
            EXPECT_EQ(Count(WM_COMMAND), 1) << "not delivered inside the post";
            insidePost = false;
        }
        if (msg == WM_COMMAND) {
            EXPECT_FALSE(insidePost);
        }
        return 0;
    };
    RunDialog(100, [&] {
        // The hook runs after the commands posted during the start.
        std::vector<unsigned> ids;
        for (const Message& m : Of(WM_COMMAND)) {
            ids.push_back(m.id);
            EXPECT_TRUE(m.shown) << m.id;
        }
        EXPECT_EQ(ids, (std::vector<unsigned>{143, 1, 105}));
        messages.clear();
        Click(129);
        ASSERT_TRUE(WaitUntil([] { return Count(WM_COMMAND) == 2; }, 5000));
        EXPECT_EQ(Commands().back(), (std::pair<unsigned, unsigned>{146, 0}));
    });
}

TEST_F(Host, TheDialogEndsWithDestroyBeforeDialogBoxReturns) {
    int result = RunDialog(100, [] { EndDialog(100, 3); });
    EXPECT_EQ(result, 3);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().msg, static_cast<unsigned>(WM_DESTROY));
    EXPECT_EQ(qthost::Window(100), nullptr);

    // A quit request ends the running dialog with its code, destroy included.
    result = RunDialog(100, [] {
        PostQuitMessage(5);
        WaitUntil([] { return !qthost::DialogRunning(100); }, 5000);
    });
    EXPECT_EQ(result, 5);
    EXPECT_EQ(messages.back().msg, static_cast<unsigned>(WM_DESTROY));
    EXPECT_EQ(Count(WM_DESTROY), 1);
}

TEST_F(Host, ExitDuringInitialisationEndsTheProgramWithItsCode) {
    behaviour = [](Hwnd, unsigned msg, std::uintptr_t, std::intptr_t) -> std::intptr_t {
        if (msg == WM_INITDIALOG) ExitThread(254);
        return 0;
    };
    bool ran = false;
    try {
        RunDialog(100, [&ran] { ran = true; });
        ADD_FAILURE() << "DialogBox returned";
    } catch (const ThreadExit& e) {
        EXPECT_EQ(e.code, 254u);
    }
    EXPECT_FALSE(ran);
    EXPECT_EQ(qthost::Window(100), nullptr);
    EXPECT_EQ(Count(WM_DESTROY), 0);
    // The host is usable again afterwards.
    behaviour = nullptr;
    EXPECT_EQ(RunDialog(100, [] {}), 7);

    // On the window's thread later on, it ends every dialog just the same.
    behaviour = [](Hwnd, unsigned msg, std::uintptr_t wp, std::intptr_t) -> std::intptr_t {
        if (msg == WM_COMMAND && LoWord(wp) == 129) ExitThread(255);
        return msg == WM_INITDIALOG ? 1 : 0;
    };
    try {
        RunDialog(100, [] { Click(129); });
        ADD_FAILURE() << "DialogBox returned";
    } catch (const ThreadExit& e) {
        EXPECT_EQ(e.code, 255u);
    }
    EXPECT_EQ(qthost::Window(100), nullptr);
}

TEST_F(Host, WorkerCallsRunOnTheWindowThreadInOrder) {
    std::atomic<int> mismatches{0};
    std::atomic<bool> done{false};
    RunDialog(100, [&] {
        ListInsertColumn(100, 101, 0, "Map Name", 118);
        messages.clear();
        ThreadHandle worker = CreateThread(
            [&]() -> std::uint32_t {
                for (int i = 0; i < 3000; ++i) {
                    std::string text = "site " + std::to_string(i);
                    SetDlgItemText(100, 149, text);
                    if (i % 3 == 0 && GetDlgItemText(100, 149) != text) ++mismatches;
                    int row = ListInsertItem(100, 101, -1, "map" + std::to_string(i) + ".bsp", i);
                    if (row != i) ++mismatches;
                    if (i % 7 == 0 &&
                        ListFindItem(100, 101, "MAP" + std::to_string(i) + ".BSP") != i)
                        ++mismatches;
                }
                RunOnWindowThread([&] {
                    if (QThread::currentThread() != qApp->thread()) ++mismatches;
                });
                done = true;
                return 0;
            },
            nullptr);
        ASSERT_TRUE(worker);
        ASSERT_TRUE(WaitUntil([&] { return done.load() && qthost::PendingCalls() == 0; }));
        WaitForThread(worker);
        EXPECT_EQ(mismatches.load(), 0);
        EXPECT_EQ(ListGetItemCount(100, 101), 3000);
        EXPECT_EQ(Text(149), "site 2999");
        // Every change notice reached the procedure on the window's thread, in order.
        auto changes = Of(WM_COMMAND);
        ASSERT_EQ(changes.size(), 3000u);
        for (const Message& m : changes) EXPECT_TRUE(m.onGui);
    });
}

TEST_F(Host, AWorkersMessageBoxWaitsForTheAnswer) {
    Program program;  // answers the boxes
    program.SetAnswer([](const Box&) { return QMessageBox::Yes; });
    std::atomic<int> answer{0};
    RunDialog(100, [&] {
        ThreadHandle worker = CreateThread(
            [&]() -> std::uint32_t {
                answer = MessageBox(100, "Download 400000 bytes?", "Warning",
                                    MB_YESNO | MB_ICONQUESTION);
                return 0;
            },
            nullptr);
        ASSERT_TRUE(WaitUntil([&] { return answer.load() != 0; }));
        WaitForThread(worker);
    });
    EXPECT_EQ(answer.load(), IDYES);
    ASSERT_EQ(program.Boxes().size(), 1u);
    EXPECT_EQ(program.Boxes()[0].caption, "Warning");
    EXPECT_TRUE(program.Boxes()[0].windowShown);
}

TEST_F(Host, CallsAfterTheDialogEndedReturnAtOnce) {
    std::atomic<bool> stop{false};
    std::atomic<int> afterEnd{0};
    std::atomic<int> wrongAnswers{0};
    std::atomic<bool> ended{false};
    ThreadHandle worker;
    RunDialog(100, [&] {
        ListInsertColumn(100, 101, 0, "Map Name", 118);
        worker = CreateThread(
            [&]() -> std::uint32_t {
                int i = 0;
                while (!stop) {
                    bool gone = ended.load();
                    SetDlgItemText(100, 110, "x" + std::to_string(i));
                    std::string t = GetDlgItemText(100, 110);
                    ListInsertItem(100, 101, -1, "m.bsp", static_cast<std::uint32_t>(i));
                    if (gone) {
                        if (!t.empty()) ++wrongAnswers;
                        if (MessageBox(100, "late", "Late", MB_YESNO) != IDNO) ++wrongAnswers;
                        if (MessageBox(kNoWindow, "late", "Late", MB_OK) != IDOK) ++wrongAnswers;
                        ++afterEnd;
                    }
                    ++i;
                }
                return 0;
            },
            nullptr);
        Pump(50);
        qthost::Window(100)->close();  // this procedure does not end the dialog
        EndDialog(100, 0);
    });
    ended = true;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (afterEnd < 1000 && std::chrono::steady_clock::now() < deadline) QThread::msleep(1);
    stop = true;
    WaitForThread(worker);
    EXPECT_GE(afterEnd.load(), 1000) << "calls after the end must not block";
    EXPECT_EQ(wrongAnswers.load(), 0);
}
