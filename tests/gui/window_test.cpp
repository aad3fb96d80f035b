// The desktop program in its real window: start-up, checks, the bot
// selector, the two layouts and the options a run leaves for the next, the
// bot's web page and the context help.
#include "app/window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>
#include <QThread>
#include <QTreeView>
#include <tuple>

#include "app/nodescan.h"
#include "app/state.h"
#include "bots/bots.h"
#include "harness.h"
#include "platform/help.h"
#include "platform/registry.h"

using namespace gui;
using ::testing::Contains;
using ::testing::ElementsAre;

namespace {
// The window's size in the simple layout (up to control 144) and the full one.
QSize Simple() {
    qthost::PixelRect marker = qthost::TemplateRect(100, 144);
    return {marker.x + marker.width, qthost::TemplateRect(100, 0).height};
}
QSize Full() {
    return {qthost::TemplateRect(100, 0).width, qthost::TemplateRect(100, 0).height};
}

// A completed choice of the user in the bot selector.
void ChooseBot(int index) {
    As<QComboBox>(102)->setCurrentIndex(index);
    emit As<QComboBox>(102)->activated(index);
}

bool Refused() {
    auto lines = StatusLines();
    return std::count(lines.begin(), lines.end(), "Please Wait! Executing operation!") > 0;
}

std::vector<std::uint32_t> Stored(const std::vector<std::string>& names) {
    RegistryUnload();
    std::vector<std::uint32_t> out(names.size(), 0xDEADBEEF);
    for (std::size_t i = 0; i < names.size(); ++i)
        RegKey::Open(Hive::CurrentUser, false).ReadDword(names[i], &out[i]);
    return out;
}

bool ListsHold(std::size_t right, std::size_t left) {
    return ScanDone() && Names(123).size() == right && Names(101).size() == left;
}

// The page the help window shows; empty when it is not shown.
QString Shown() {
    QTextBrowser* b = qthost::HelpBrowser();
    return b && b->window()->isVisible() ? b->source().fileName() : QString();
}

struct Window : ::testing::Test {
    testenv::TempDir games;
    testenv::GameTree game{games.path()};
};
}  // namespace

TEST_F(Window, FirstRunAsksItsQuestionsBeforeTheWindowShows) {
    Program program(games.path());
    bool visible = false;
    EXPECT_EQ(program.Run([&] {
        visible = W(0)->isVisible();
        EXPECT_THAT(StatusLines(), Contains("Counter Strike Found at " + game.cstrike()));
    }),
              0);
    EXPECT_TRUE(visible);
    ASSERT_FALSE(program.boxes.empty());
    EXPECT_EQ(program.boxes[0].caption, "Directory ERROR!");
    for (const Box& b : program.boxes) EXPECT_FALSE(b.windowShown) << b.caption;
    // The first run leaves complete settings behind.
    EXPECT_THAT(Stored({"Version", "Difficulty", "Auto Start"}), ElementsAre(250u, 1u, 0u));
}

TEST_F(Window, GoFillsBothListsAndBothCounters) {
    for (const char* map : {"de_dust.bsp", "cs_office.bsp", "as_oilrig.bsp", "de_aztec.bsp"})
        game.AddMap(map);
    game.AddPodWaypoint("de_dust.pwf", 7, "Alice");
    game.AddPodWaypoint("as_oilrig.pwf", 7, "Bob");
    Program program(games.path());
    program.StoreSettings(game.cstrike());
    program.Run([this] {
        EXPECT_EQ(W(0)->windowTitle().toStdString(), NodescanWindowText());
        EXPECT_EQ(As<QComboBox>(102)->count(), kBotCount);
        EXPECT_EQ(As<QComboBox>(102)->currentText(), "Pod Bot");
        EXPECT_EQ(As<QTreeView>(123)->header()->sectionSize(3), 95);
        EXPECT_FALSE(ScanRunning()) << "no Auto Start";
        Click(1);
        ASSERT_TRUE(WaitUntil([] { return ListsHold(2, 2); }));
        EXPECT_THAT(Names(123), ElementsAre("as_oilrig.bsp", "de_dust.bsp"));
        EXPECT_THAT(Names(101), ElementsAre("cs_office.bsp", "de_aztec.bsp"));
        EXPECT_THAT(List(123)->Cell(1, 1), ::testing::MatchesRegex("[0-9]{2}/[0-9]{2}/[0-9]{4}"));
        EXPECT_EQ(List(123)->Cell(1, 2) + " " + List(123)->Cell(1, 3), "v2 Alice");
        EXPECT_EQ(List(123)->RowColor(0), MakeRGB(0, 0, 255));
        EXPECT_EQ(List(101)->RowColor(0), MakeRGB(255, 0, 0));
        EXPECT_THAT((std::vector{Text(115), Text(112), Text(141), Text(125)}),
                    ElementsAre("4", "2", "Have Waypoints", "Missing Waypoints"));
        // Enter runs the check again: the lists are refilled, not doubled.
        game.AddMap("de_new.bsp");
        QTest::keyClick(W(0), Qt::Key_Return);
        ASSERT_TRUE(WaitUntil([] { return ListsHold(2, 3); }));
    });
    EXPECT_TRUE(program.boxes.empty());
}

TEST_F(Window, ABotChoiceStartsACheckAndASecondWhileItRunsMustWait) {
    game.AddMap("de_dust.bsp");
    Program program(games.path());
    program.StoreSettings(game.cstrike());
    // Joe Bot without dir.txt holds its check with a box until the box is
    // answered: the second choice is made while the box shows.
    bool chosen = false;
    program.answer = [&](const Box& box) {
        if (box.text.rfind("JoeBot", 0) != 0) return QMessageBox::Ok;
        if (!std::exchange(chosen, true)) ChooseBot(1);
        return Refused() ? QMessageBox::Ok : QMessageBox::NoButton;
    };
    program.Run([&] {
        ChooseBot(kJoeBot);
        ASSERT_TRUE(WaitUntil([&] { return chosen && ScanDone(); }));
        // The second choice took effect at once; its check was refused.
        EXPECT_EQ(sbot.load(), 1u);
        EXPECT_EQ(Text(148), GetBotExt(1));
        EXPECT_EQ(Text(103), GetBotInfo(1));
        EXPECT_TRUE(Refused());
        Click(1);
        ASSERT_TRUE(WaitUntil([] { return ListsHold(0, 1); }));
    });
}

TEST_F(Window, TheLayoutAndAutoStartComeBackWithTheNextStart) {
    game.AddMap("de_dust.bsp");
    Program program(games.path());
    program.StoreSettings(game.cstrike());
    EXPECT_EQ(program.Run([] {
        // The layout toggle keeps the window's top left corner.
        QPoint corner = W(0)->pos();
        EXPECT_EQ(W(0)->size(), Simple());
        Click(143);
        EXPECT_EQ(W(0)->size(), Full());
        EXPECT_EQ(W(0)->pos(), corner);
        Click(134);
        Click(2);  // Exit
        ASSERT_TRUE(WaitUntil([] { return !qthost::DialogRunning(100); }));
    }),
              0);
    EXPECT_THAT(Stored({"Difficulty", "Auto Start"}), ElementsAre(2u, 1u));
    program.Restart();
    program.Run([] {
        // The posted toggle and start have run by the time the window runs.
        EXPECT_EQ(Text(143), "<--- Simple");
        EXPECT_EQ(W(0)->size(), Full());
        EXPECT_THAT(StatusLines(), Contains("Auto Start Initiated"));
        ASSERT_TRUE(WaitUntil([] { return ListsHold(0, 1); }));
        QPoint corner = W(0)->pos();
        Click(143);
        EXPECT_EQ(Text(143), "Advanced --->");
        EXPECT_EQ(W(0)->size(), Simple());
        EXPECT_EQ(W(0)->pos(), corner);
    });
}

TEST_F(Window, ClosingWhileACheckRunsEndsAtOnceAndSaves) {
    for (int i = 0; i < 50; ++i) game.AddMap("map_" + std::to_string(i) + ".bsp");
    Program program(games.path());
    program.StoreSettings(game.cstrike());
    // Pod Bot's row with its waypoint directory unset, and no PodBot.cfg:
    // its check holds with a box, and the window is closed while it shows.
    RegKey::Open(Hive::CurrentUser, true).WriteBinary("Bots0", &Bots[0], sizeof(BotRecord));
    RegistryUnload();
    bool runningAtClose = false, closed = false;
    program.answer = [&](const Box&) {
        runningAtClose = ScanRunning();
        if (!std::exchange(closed, true)) W(0)->close();
        return QMessageBox::Ok;
    };
    program.Run([&] {
        Click(143);
        Click(1);
        ASSERT_TRUE(WaitUntil([&] { return closed; }));
    });
    EXPECT_TRUE(runningAtClose);
    EXPECT_EQ(W(0), nullptr);
    EXPECT_THAT(Stored({"Difficulty"}), ElementsAre(2u)) << "the options were saved";
    // The check goes on against a window that is gone: its calls return at
    // once, so it ends by itself.
    for (int ms = 0; ScanRunning() && ms < 60000; ms += 5) QThread::msleep(5);
    EXPECT_FALSE(ScanRunning());
}

TEST_F(Window, TheBotWebPageOpensInTheBrowserOnlyWhenConnected) {
    game.AddPodWaypoint("de_dust.pwf", 7, "Mapper");
    Program program(games.path());
    program.StoreSettings(game.cstrike(), {{"Default Bot", 4}});
    std::vector<std::string> opened;
    qthost::SetShellHook([&opened](const std::string& target) {
        opened.push_back(target);
        return true;
    });
    program.Run([] { Click(105); });
    ASSERT_EQ(program.boxes.size(), 1u);
    EXPECT_EQ(program.boxes[0].caption + ": " + program.boxes[0].text,
              "Connection Error: No Internet Connection Found! ABORTING");
    EXPECT_TRUE(program.boxes[0].windowShown);
    EXPECT_TRUE(opened.empty());
    program.Restart();
    testenv::ScopedEnv online("NODESCAN_ONLINE", "1");
    program.Run([] { Click(105); });
    qthost::SetShellHook(nullptr);
    EXPECT_THAT(opened, ElementsAre(GetBotUrl(4)));
}

TEST(Help, EveryControlOfBothTablesHasATopicAndTheContentsLinkAll) {
    auto read = [](const QString& page) {
        QFile f(":/help/" + page);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    QStringList linked;
    QRegularExpression href("href=\"([^\"#]+)");
    for (auto it = href.globalMatch(read("contents.html")); it.hasNext();)
        linked << it.next().captured(1);
    // The configuration dialog's table: its controls with template 300.
    const std::uint32_t configIds[] = {301, (301u << 16) | 300,
                                       303, (303u << 16) | 300,
                                       305, (305u << 16) | 300,
                                       309, (309u << 16) | 300,
                                       0,   0};
    int topics = 0;
    for (const std::uint32_t* table : {aIDs, configIds}) {
        for (const std::uint32_t* p = table; p[0] || p[1]; p += 2, ++topics) {
            QString page = QString("ctx-%1-%2.html").arg(p[0]).arg(p[1] & 0xFFFF);
            EXPECT_EQ(p[1] >> 16, p[0]);
            EXPECT_TRUE(read(page).contains("<h1>")) << page.toStdString();
            EXPECT_TRUE(linked.contains(page)) << page.toStdString() << " not in the contents";
        }
    }
    EXPECT_EQ(topics, 35);
    for (const QString& page : linked) EXPECT_FALSE(read(page).isEmpty()) << page.toStdString();
}

TEST_F(Window, F1TheRightClickAndTheHelpButtonShowTheirHelp) {
    Program program(games.path());
    program.StoreSettings(game.cstrike());
    program.Run([] {
        // F1 on a control with a topic and on one without ("Go! Go! Go!").
        W(134)->setFocus();
        QTest::keyClick(W(134), Qt::Key_F1);
        EXPECT_EQ(Shown(), "ctx-134-100.html");
        EXPECT_TRUE(qthost::HelpBrowser()->toPlainText().contains("Auto Start"));
        qthost::HelpBrowser()->window()->hide();
        W(1)->setFocus();
        QTest::keyClick(W(1), Qt::Key_F1);
        EXPECT_EQ(Shown(), "");
        // "What's This?" of a list, declined on a label, added to an edit's own menu.
        const std::tuple<QWidget*, QString, QString> clicks[] = {
            {W(123)->findChild<QWidget*>("qt_scrollarea_viewport"), "What's This?",
             "ctx-123-100.html"},
            {W(103), "", ""},
            {W(110), "What's This?", "ctx-110-100.html"}};
        for (auto [widget, action, page] : clicks) {
            qthost::HelpBrowser()->window()->hide();
            AnswerNextMenu(action);
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                    widget->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(widget, &event);
            EXPECT_EQ(Shown(), page);
        }
        // The contents, whose links lead on; the window is reused.
        QTextBrowser* b = qthost::HelpBrowser();
        Click(146);
        EXPECT_EQ(Shown(), "contents.html");
        b->setSource(QUrl("ctx-150-100.html"));
        EXPECT_TRUE(b->toPlainText().contains("site"));
        b->backward();
        EXPECT_EQ(Shown(), "contents.html");
        EXPECT_EQ(qthost::HelpBrowser(), b);
    });
}

TEST(Help, AnUnknownBundleOrTopicIsReported) {
    Program program;
    // No window: the viewer works on its own, with a box of its own.
    EXPECT_FALSE(WinHelp(0, "other.hlp", HELP_FINDER, nullptr, 0));
    const std::uint32_t missing[] = {7, (7u << 16) | 100, 0, 0};
    EXPECT_FALSE(WinHelp(0, "nodescan.hlp", HELP_WM_HELP, missing, 7));
    ASSERT_EQ(program.boxes.size(), 2u);
    EXPECT_THAT(program.boxes[0].text, ::testing::HasSubstr("other.hlp"));
    EXPECT_THAT(program.boxes[1].text, ::testing::HasSubstr("ctx-7-100.html"));
    EXPECT_TRUE(WinHelp(0, "nodescan.hlp", HELP_FINDER, nullptr, 0));
    EXPECT_EQ(Shown(), "contents.html");
}
