// The Qt host on its own: the dialogs built from their templates, and the
// user's actions and the program's calls as a dialog procedure sees them.
// A recording procedure stands in for the program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>

#include "harness.h"
#include "platform/threads.h"
#include "resources/dialogs.h"
#include "support/contract.h"

using namespace gui;
using ::testing::ElementsAre;

namespace {
// What the procedure received since the last Take(), a line a message:
// "cmd ID/CODE", "scroll CODE/POS", "close", "destroy" (others empty);
// prefixed with the dialog unless 100, and marked when received off the
// window's thread or, a command, while hidden.
std::vector<std::string> received;
std::function<std::intptr_t(Hwnd, unsigned, std::uintptr_t, std::intptr_t)> behaviour;

std::intptr_t RecordingProc(Hwnd w, unsigned msg, std::uintptr_t wp, std::intptr_t lp) {
    auto n = [](auto v) { return std::to_string(static_cast<int>(v)); };
    std::string m = (w == 100 ? "" : n(w) + " ") + (msg == WM_CLOSE ? "close" : "") +
                    (msg == WM_DESTROY ? "destroy" : "");
    if (msg == WM_COMMAND || msg == WM_HSCROLL)
        m += (msg == WM_COMMAND ? "cmd " : "scroll ") + n(LoWord(wp)) + "/" + n(HiWord(wp));
    if (QThread::currentThread() != qApp->thread()) m += " off-thread";
    if (msg == WM_COMMAND && !(W(0, w) && W(0, w)->isVisible())) m += " hidden";
    if (msg != WM_INITDIALOG) received.push_back(m);
    return behaviour ? behaviour(w, msg, wp, lp) : msg == WM_INITDIALOG;
}

std::vector<std::string> Take() {
    return std::exchange(received, {});
}

// Runs dialog 100 with the recording procedure as RunWindow runs the
// program; the dialog is ended with 7 unless body ended it.
int RunHost(const std::function<void()>& body) {
    received.clear();
    return RunWindow(
        [&] {
            body();
            if (qthost::DialogRunning(100)) EndDialog(100, 7);
        },
        [] { return DialogBox(100, kNoWindow, RecordingProc); });
}

QSize FrameSize(Hwnd w) {
    qthost::PixelRect frame = qthost::TemplateRect(w, 0);
    return {frame.width, frame.height};
}

struct Host : ::testing::Test {
    ~Host() override { behaviour = nullptr; }
};
}  // namespace

TEST_F(Host, BuildsBothTemplatesTheConfigurationModalOverTheMainWindow) {
    behaviour = [](Hwnd w, unsigned msg, std::uintptr_t, std::intptr_t) -> std::intptr_t {
        if (w == 300 && msg == WM_INITDIALOG) {
            EXPECT_TRUE(W(0, 300)->parentWidget() == W(0) && W(0, 300)->isModal());
            EXPECT_EQ(W(0, 300)->size(), FrameSize(300));
            for (const ControlTemplate& c : ConfigDialogTemplate().controls)
                EXPECT_NE(W(c.id, 300), nullptr) << c.id;
            EndDialog(300, 4);
        }
        return msg == WM_INITDIALOG;
    };
    RunHost([] {
        EXPECT_EQ(W(0)->size(), FrameSize(100));
        EXPECT_EQ(W(0)->minimumSize(), W(0)->maximumSize()) << "the user cannot resize it";
        std::vector<QWidget*> tabStops;
        for (const ControlTemplate& c : MainDialogTemplate().controls) {
            QWidget* w = W(c.id);
            ASSERT_NE(w, nullptr) << c.id;
            qthost::PixelRect r = qthost::TemplateRect(100, c.id);
            int height = c.kind == ControlKind::ComboBox ? w->height() : r.height;
            EXPECT_EQ(w->geometry(), QRect(r.x, r.y, r.width, height)) << c.id;
            EXPECT_EQ(w->isVisible(), !(c.style & kHidden)) << c.id;
            if (c.style & kTabStop) tabStops.push_back(w);
        }
        EXPECT_EQ(QApplication::focusWidget(), W(1));  // the first tab stop
        EXPECT_EQ(Text(140), "Delete Redundant Waypoints");
        EXPECT_EQ(DialogBox(300, 100, RecordingProc), 4);
    });
    EXPECT_THAT(received, ElementsAre("300 destroy", "destroy"));
}

TEST_F(Host, UserActionsBecomeMessages) {
    RunHost([] {
        // Typing: a change notice per change. Enter in an edit presses the
        // default button, on a focused button that button; an edit that
        // loses the focus is told.
        W(110)->setFocus();
        QTest::keyClicks(W(110), "ab");
        QTest::keyClick(W(110), Qt::Key_Return);
        W(116)->setFocus();
        QTest::keyClick(W(116), Qt::Key_Return);
        EXPECT_EQ(Text(110), "ab");
        EXPECT_THAT(Take(), ElementsAre("cmd 110/768", "cmd 110/768", "cmd 1/0", "cmd 110/512",
                                        "cmd 116/0"));
        // A completed choice is confirmed, then announced as a change; the
        // same entry again is only confirmed; a selection by the program
        // says nothing. Escape asks to close, and as this
        // procedure does not end the dialog, Cancel follows.
        ComboAddString(100, 102, "Pod Bot");
        ComboAddString(100, 102, "Swat Bot");
        EXPECT_EQ(ComboGetCurSel(100, 102), -1) << "adding items selects none";
        ComboSetCurSel(100, 102, 0);
        Take();
        W(102)->setFocus();
        QTest::keyClick(W(102), Qt::Key_Down);
        emit As<QComboBox>(102)->activated(1);
        QTest::keyClick(W(0), Qt::Key_Escape);
        EXPECT_THAT(Take(), ElementsAre("cmd 102/9", "cmd 102/1", "cmd 102/9", "close", "cmd 2/0"));
        EXPECT_TRUE(qthost::DialogRunning(100));
    });
}

TEST_F(Host, ProgramCallsChangeTheControls) {
    RunHost([] {
        // Text set by the program is announced, even the same again.
        SetDlgItemText(100, 149, "Brimlock Wpts");
        SetDlgItemText(100, 149, "Brimlock Wpts");
        EXPECT_THAT(Take(), ElementsAre("cmd 149/768", "cmd 149/768"));
        // The limit holds for typing, not for the program's own text.
        SetEditLimit(100, 132, 5);
        SetDlgItemText(100, 132, "abcdefgh");
        EXPECT_EQ(Text(132), "abcdefgh");
        SetDlgItemText(100, 132, "");
        QTest::keyClicks(W(132), "uvwxyz");
        EXPECT_EQ(Text(132), "uvwxy");
        // 8-bit texts come back byte for byte, UTF-8 shows as such; a label
        // never reads markup.
        SetDlgItemText(100, 110, "caf\xe9 \xff");
        SetDlgItemText(100, 131, "/wpts/\xc3\xa9t\xc3\xa9");
        SetDlgItemText(100, 103, "<b>Pod Bot</b>");
        EXPECT_EQ(Text(110), "caf\xe9 \xff");
        EXPECT_EQ(As<QLineEdit>(131)->text(), QString::fromUtf8("/wpts/\xc3\xa9t\xc3\xa9"));
        EXPECT_EQ(As<QLabel>(103)->textFormat(), Qt::PlainText);
    });
}

TEST_F(Host, KeepsTheHostContract) {
    Program program;
    program.answer = [](const Box&) {  // closes the box as its close box does
        QTimer::singleShot(0, [] {
            if (auto* box = QApplication::activeModalWidget()) box->close();
        });
        return QMessageBox::NoButton;
    };
    RunHost([] { RunHostContract([] { return As<QProgressBar>(157)->value(); }); });
}

TEST_F(Host, TheScrollBarShowsWhatTheProgramSets) {
    static int answer;  // the position the procedure sets; -1 none
    behaviour = [](Hwnd w, unsigned msg, std::uintptr_t, std::intptr_t) -> std::intptr_t {
        if (msg == WM_HSCROLL && answer >= 0) ScrollSetPos(w, 150, answer);
        return msg == WM_INITDIALOG;
    };
    RunHost([] {
        auto* bar = As<QScrollBar>(150);
        ScrollSetRange(100, 150, 0, 5);
        ScrollSetPos(100, 150, 2);
        // A procedure that does not move the thumb: it stays; one that puts
        // it elsewhere: it shows there.
        answer = -1;
        using A = QAbstractSlider::SliderAction;
        for (A a : {A::SliderSingleStepAdd, A::SliderSingleStepSub, A::SliderPageStepAdd,
                    A::SliderPageStepSub, A::SliderToMinimum})
            bar->triggerAction(a);
        EXPECT_EQ(bar->sliderPosition(), 2);
        answer = 4;
        bar->triggerAction(A::SliderToMaximum);
        EXPECT_EQ(bar->sliderPosition(), 4);
        // Dragging the thumb: its positions while tracking, then where it was let go.
        answer = -1;
        bar->setSliderDown(true);
        bar->setSliderPosition(0);
        bar->setSliderDown(false);
        EXPECT_EQ(bar->sliderPosition(), 4) << "the procedure did not move it";
        EXPECT_THAT(Take(), ElementsAre("scroll 1/0", "scroll 0/0", "scroll 3/0", "scroll 2/0",
                                        "scroll 6/0", "scroll 7/0", "scroll 5/0", "scroll 4/0"));
    });
}

TEST_F(Host, TheDialogEndsWithItsResultOrTheThreadsExit) {
    // EndDialog's result or a quit request's code, after destroy.
    EXPECT_EQ(RunHost([] { EndDialog(100, 3); }), 3);
    EXPECT_THAT(received, ElementsAre("destroy"));
    auto quit = [] { PostQuitMessage(5), WaitUntil([] { return !qthost::DialogRunning(100); }); };
    EXPECT_EQ(RunHost(quit), 5);
    EXPECT_THAT(received, ElementsAre("destroy"));
    EXPECT_EQ(W(0), nullptr);
    // The thread's exit, during the initialisation or later, ends every
    // dialog at once without destroy; the host is usable again afterwards.
    for (bool duringInit : {true, false}) {
        behaviour = [duringInit](Hwnd, unsigned msg, std::uintptr_t wp, std::intptr_t) {
            if (msg == WM_INITDIALOG ? duringInit : LoWord(wp) == 129) ExitThread(254);
            return std::intptr_t{msg == WM_INITDIALOG};
        };
        EXPECT_EQ(RunHost([] { Click(129); }), 254);
        EXPECT_EQ(W(0), nullptr);
        EXPECT_EQ(received, std::vector<std::string>(!duringInit, "cmd 129/0"));
    }
    behaviour = nullptr;
    EXPECT_EQ(RunHost([] {}), 7);
}

TEST_F(Host, WorkerCallsRunOnTheWindowThreadInOrderAndItsBoxesWait) {
    Program program;
    program.answer = [](const Box&) { return QMessageBox::Yes; };
    std::atomic<int> mismatches{0}, answer{0};
    RunHost([&] {
        ListInsertColumn(100, 101, 0, "Map Name", 118);
        ThreadHandle worker = CreateThread(
            [&]() -> std::uint32_t {
                for (int i = 0; i < 1000; ++i) {
                    std::string text = "site " + std::to_string(i), map = std::to_string(i);
                    SetDlgItemText(100, 149, text);
                    mismatches += i % 3 == 0 && GetDlgItemText(100, 149) != text;
                    mismatches += ListInsertItem(100, 101, -1, "map" + map, i) != i;
                    mismatches += i % 7 == 0 && ListFindItem(100, 101, "MAP" + map) != i;
                }
                answer = MessageBox(100, "Download?", "Warning", MB_YESNO | MB_ICONQUESTION);
                return 0;
            },
            nullptr);
        ASSERT_TRUE(WaitUntil([&] { return answer && !qthost::PendingCalls(); }, 120000));
        WaitForThread(worker);
        EXPECT_EQ(ListGetItemCount(100, 101), 1000);
        EXPECT_EQ(Text(149), "site 999");
    });
    EXPECT_EQ(mismatches.load(), 0);
    // Every change notice reached the procedure on the window's thread.
    EXPECT_EQ(std::count(received.begin(), received.end(), "cmd 149/768"), 1000);
    EXPECT_EQ(answer.load(), IDYES);
    ASSERT_EQ(program.boxes.size(), 1u);
    EXPECT_TRUE(program.boxes[0].caption == "Warning" && program.boxes[0].windowShown);
}
