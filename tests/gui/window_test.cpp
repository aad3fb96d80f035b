// The desktop program in its real window: start-up, checks, the bot
// selector, the two layouts and the options a run leaves for the next, the
// bot's web page and the context help.
#include "app/window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include "app/nodescan.h"
#include "bots/bots.h"
#include "bots/config.h"
#include "check/scanrunner.h"
#include "core/state.h"
#include "download/sites.h"
#include "download/worker.h"
#include "harness.h"
#include "platform/help.h"
#include "platform/registry.h"
#include "settings/locator.h"
#include "support/servers.h"

using namespace gui;
using ::testing::Contains;
using ::testing::ElementsAre;

namespace {
// A completed choice of the user in the bot selector.
void ChooseBot(int index) {
    As<QComboBox>(102)->setCurrentIndex(index);
    emit As<QComboBox>(102)->activated(index);
}

bool Refused() {
    auto lines = StatusLines();
    return std::count(lines.begin(), lines.end(), "Please Wait! Executing operation!") > 0;
}

bool ListsHold(std::size_t right, std::size_t left) {
    return ScanDone() && Names(123).size() == right && Names(101).size() == left;
}

// The page the help window shows; empty when it is not shown.
std::string Shown() {
    QTextBrowser* b = qthost::HelpBrowser();
    return b && b->window()->isVisible() ? b->source().fileName().toStdString() : "";
}

// Right-clicks widget and, on the menu that opens, chooses "What's This?"
// or closes the menu.
void RightClick(QWidget* widget, bool whatsThis) {
    QTimer::singleShot(0, [whatsThis] {  // runs in the menu's loop
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* a : menu->actions())
            if (whatsThis && a->text() == "What's This?") menu->setActiveAction(a);
        whatsThis ? QTest::keyClick(menu, Qt::Key_Return) : void(menu->close());
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            widget->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(widget, &event);
}

// A game installation, and a program that finds it and whose settings name it.
struct Window : ::testing::Test {
    testenv::TempDir games;
    testenv::GameTree game{games.path()};
    Program program{games.path()};
    void Seed(std::vector<std::pair<std::string, std::uint32_t>> dwords = {}) {
        dwords.insert(dwords.begin(), {"Version", 250});
        testenv::StoreSettings(game.cstrike(), dwords);
    }
};
}  // namespace

// The configuration dialog keeps each bot's fields: a choice of another bot
// or a field left stores them in the table, OK also what is typed last and
// writes every row, Cancel writes nothing.
TEST_F(Window, FirstRunAsksItsQuestionsAndOpensTheConfigurationBeforeTheWindowShows) {
    auto type = [](int id, const char* text) {
        As<QLineEdit>(id, 300)->setFocus();
        As<QLineEdit>(id, 300)->selectAll();
        QTest::keyClicks(W(id, 300), text);
    };
    int opened = 0;
    program.config = [&] {
        if (opened++ == 0) {
            EXPECT_FALSE(W(0)->isVisible());
            EXPECT_EQ(GetDlgItemText(300, 305), game.cstrike());
            EXPECT_EQ(GetDlgItemText(300, 303), game.cstrike() + "podbot/WptDefault");
            type(310, "XYZ12");  // at most 4 characters
            W(301, 300)->setFocus();
            QTest::keyClick(W(301, 300), Qt::Key_Down);  // Swat Bot
            EXPECT_EQ(GetDlgItemText(300, 310), GetBotExt(1));
            type(303, "/typed/./x/..");  // stored normalised
            type(310, ".wp1");           // no extension: refused, kept for correction
            QTest::keyClick(W(310, 300), Qt::Key_Return);
            EXPECT_TRUE(W(310, 300)->isVisible());
            EXPECT_EQ(GetDlgItemText(300, 310), ".wp1");
            type(310, "wp1");
            QTest::keyClick(W(303, 300), Qt::Key_Return);  // OK, the focus still there
        } else {
            type(303, "/run-only");
            W(305, 300)->setFocus();
            Click(IDCANCEL, 300);
        }
    };
    testenv::MakeDirs(game.cstrike() +
                      "podbot/WptDefault");  // shown; the row keeps the computed name
    EXPECT_EQ(RunWindow([&] {
                  EXPECT_TRUE(W(0)->isVisible());
                  EXPECT_THAT(StatusLines(), Contains("Counter Strike Found at " + game.cstrike()));
                  EXPECT_EQ(Text(148), "pwf") << "until the bot is shown again";
                  Click(142);
                  EXPECT_EQ(GetBotDir(kPodBot), "/run-only");
              }),
              0);
    EXPECT_EQ(opened, 2);
    ASSERT_FALSE(program.boxes.empty());
    EXPECT_EQ(program.boxes[0].caption, "Directory ERROR!");
    std::string texts;
    for (const Box& b : program.boxes) {
        EXPECT_FALSE(b.windowShown) << b.caption;
        texts += b.text;
    }
    EXPECT_THAT(texts,
                ::testing::HasSubstr("digits: \".wp1\" is not taken (without the dot: wp1)."));
    RegistryUnload();
    BotRecord rows[2]{};
    for (int bot : {0, 1})
        RegKey::Open(Hive::CurrentUser, false)
            .ReadBinary("Bots" + std::to_string(bot), &rows[bot], sizeof(BotRecord));
    EXPECT_EQ(std::string(rows[0].ext) + " " + rows[0].dir + " " + rows[1].ext + " " + rows[1].dir,
              "XYZ1 " + game.cstrike() + "PoDBot/wptdefault wp1 /typed");

    EXPECT_EQ(research, 1);
}

TEST_F(Window, HeaderClicksAsAScanStartsSortOnlyWholeRecords) {
    for (int i = 0; i < 300; ++i) {
        game.AddMap("m" + std::to_string(i) + ".bsp");
        game.AddPodWaypoint("m" + std::to_string(i) + ".pwf", 7, std::to_string(i % 7));
    }
    Seed();
    RunWindow([] {
        auto* header = As<QTreeView>(123)->header();
        for (int round = 0; round < 6; ++round) {
            Click(1);
            for (int c = 0; c < 8; ++c) emit header->sectionClicked(c % 4);
            ASSERT_TRUE(WaitUntil([] { return ListsHold(300, 0); }));
        }
        // A last click sorts the whole list; the selected row goes along.
        auto* selection = As<QTreeView>(123)->selectionModel();
        selection->select(List(123)->index(0, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        std::string selected = List(123)->Cell(0, 0);
        emit header->sectionClicked(0);
        auto names = Names(123);
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end()) ||
                    std::is_sorted(names.rbegin(), names.rend()));
        ASSERT_EQ(selection->selectedRows().size(), 1);
        EXPECT_EQ(names.at(static_cast<std::size_t>(selection->selectedRows()[0].row())), selected);
        // The narrow Version column shows its direction by the arrow: the
        // highest first (12 clicks before, so this is the first direction).
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(2) + 4, 4));
        EXPECT_TRUE(header->isSortIndicatorShown());
        EXPECT_EQ(std::pair(header->sortIndicatorSection(), header->sortIndicatorOrder()),
                  std::pair(2, Qt::DescendingOrder));
        EXPECT_EQ(List(123)->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
                  "Version [9-0]");
    });
}

TEST_F(Window, GoFillsBothListsAndBothCounters) {
    for (const char* map : {"de_dust.bsp", "cs_office.bsp", "as_oilrig.bsp", "de_aztec.bsp"})
        game.AddMap(map);
    game.AddPodWaypoint("de_dust.pwf", 7, "Alice");
    game.AddPodWaypoint("as_oilrig.pwf", 7, "Bob");
    Seed();
    RunWindow([this] {
        Click(1);
        ASSERT_TRUE(WaitUntil([] { return ListsHold(2, 2); }));
        EXPECT_THAT(Names(123), ElementsAre("as_oilrig.bsp", "de_dust.bsp"));
        EXPECT_THAT(Names(101), ElementsAre("cs_office.bsp", "de_aztec.bsp"));
        EXPECT_EQ(List(123)->Cell(1, 2) + " " + List(123)->Cell(1, 3), "v2 Alice");
        EXPECT_EQ(List(123)->RowColor(0), MakeRGB(0, 0, 255));
        EXPECT_EQ(List(101)->RowColor(0), MakeRGB(255, 0, 0));
        EXPECT_THAT((std::vector{Text(115), Text(112), Text(141), Text(125)}),
                    ElementsAre("4", "2", "Have Waypoints", "Missing Waypoints"));
        // Enter runs the check again: the lists are refilled, not doubled.
        game.AddMap("de_new.bsp");
        QTest::keyClick(W(0), Qt::Key_Return);
        ASSERT_TRUE(WaitUntil([] { return ListsHold(2, 3); }));
        // A list file with no program to open it: said, not silent.
        qthost::SetShellHook([](const std::string&) { return false; });
        Click(116);
        EXPECT_TRUE(WaitUntil([] { return StatusLines().back().starts_with("Cannot open"); }));
        qthost::SetShellHook(nullptr);
    });
    EXPECT_TRUE(program.boxes.empty());
}

TEST_F(Window, TheLayoutAndAutoStartComeBackWithTheNextStart) {
    game.AddMap("de_dust.bsp");
    Seed();
    // The layouts' sizes: the simple one up to control 144, the full one the template's.
    qthost::PixelRect frame = qthost::TemplateRect(100, 0), marker = qthost::TemplateRect(100, 144);
    const QSize simple(marker.x + marker.width, frame.height), full(frame.width, frame.height);
    // The layout toggle keeps the window's top left corner.
    auto toggle = [](const char* label, QSize size) {
        QPoint corner = W(0)->pos();
        Click(143);
        EXPECT_EQ(Text(143), label);
        EXPECT_EQ(W(0)->size(), size);
        EXPECT_EQ(W(0)->pos(), corner);
    };
    EXPECT_EQ(RunWindow([&] {
                  EXPECT_EQ(W(0)->size(), simple);
                  toggle("<--- Simple", full);
                  Click(134);
                  Click(2);  // Exit
                  ASSERT_TRUE(WaitUntil([] { return !qthost::DialogRunning(100); }));
              }),
              0);
    program.Restart();
    RunWindow([&] {
        // The posted toggle and start have run by the time the window runs.
        EXPECT_EQ(W(0)->size(), full);
        EXPECT_THAT(StatusLines(), Contains("Auto Start Initiated"));
        ASSERT_TRUE(WaitUntil([] { return ListsHold(0, 1); }));
        toggle("Advanced --->", simple);
    });
}

TEST_F(Window, WhileACheckWaitsForAnAnswerABotChoiceMustWaitAndClosingEndsAtOnce) {
    for (int i = 0; i < 50; ++i) game.AddMap("map_" + std::to_string(i) + ".bsp");
    Seed();
    // Pod Bot's row with its waypoint directory unset, and no PodBot.cfg:
    // its check holds with a box. While the box shows, another bot is
    // chosen, whose check is refused; then the window is closed.
    RegKey::Open(Hive::CurrentUser, true).WriteBinary("Bots0", &Bots[0], sizeof(BotRecord));
    RegistryUnload();
    bool chosen = false, closed = false;
    program.answer = [&](const Box&) {
        if (!std::exchange(chosen, true)) ChooseBot(kJoeBot);
        if (closed || !Refused()) return closed ? QMessageBox::Ok : QMessageBox::NoButton;
        // The choice took effect at once.
        EXPECT_EQ(sbot.load(), static_cast<unsigned>(kJoeBot));
        EXPECT_EQ(Text(148) + " " + Text(103), GetBotExt(kJoeBot) + " " + GetBotInfo(kJoeBot));
        EXPECT_TRUE(ScanRunning());
        closed = true;
        W(0)->close();
        return QMessageBox::Ok;
    };
    RunWindow([&] {
        Click(143);
        Click(1);
        ASSERT_TRUE(WaitUntil([&] { return closed; }));
    });
    EXPECT_EQ(W(0), nullptr);
    std::uint32_t layout = 0;
    RegistryUnload();
    RegKey::Open(Hive::CurrentUser, false).ReadDword("Difficulty", &layout);
    EXPECT_EQ(layout, 2u) << "the options were saved";
    // The check goes on against a window that is gone: its calls return at
    // once, so it ends by itself.
    for (int ms = 0; ScanRunning() && ms < 60000; ms += 5) QThread::msleep(5);
    EXPECT_FALSE(ScanRunning());
}

// Two maps selected: each fetched in turn, a summary line, and the check
// that runs again by itself lists them as having waypoints.
TEST_F(Window, DownloadWaypointFetchesTheSelectedMapsAndCheckForUpdateAnswers) {
    for (const char* map : {"de_a.bsp", "de_c.bsp"}) game.AddMap(map);
    game.AddPodWaypoint("de_b.pwf", 7, "");  // the waypoint directory
    testenv::TempDir web;
    testenv::WriteFile(web / "w/de_a.pwf", testenv::PodBotHeader(7, "Web", 300000));
    testenv::WriteFile(web / "w/de_c.pwf", testenv::PodBotHeader(7, "Web", 300000));
    testenv::WriteFile(web / "programs/version.txt", "version 2.5\n");
    // Over TLS, the site's server through a redirect from plain HTTP.
    testenv::Certificates certs;
    testenv::WebServer server(web.path(), testenv::WebServer::kPythonTls, false, certs.pem("good"));
    std::vector<std::string> moved;  // HEAD and GET of each map
    for (const char* map : {"de_a", "de_a", "de_c"})
        moved.push_back("HTTP/1.1 301 Moved\r\nLocation: " + server.host() + "/w/" + map +
                        ".pwf\r\n\r\n");
    testenv::ScriptedServer redirect(moved);
    testenv::ScopedEnv online("NODESCAN_ONLINE", "1"), ca("NODESCAN_CA_FILE", certs.ca()),
        update("NODESCAN_UPDATE_HOST", server.host());
    Seed();
    RunWindow([&] {
        for (int site = 0; site < 6; ++site) SetSiteField(site, "host", redirect.host());
        SetSiteField(0, "dir", "/w");
        SetSiteInfo(SB_THUMBPOSITION, 0);
        Click(1);
        ASSERT_TRUE(WaitUntil([] { return ListsHold(0, 2); }));
        As<QTreeView>(101)->selectionModel()->select(
            QItemSelection(List(101)->index(0, 0), List(101)->index(1, 0)),
            QItemSelectionModel::Select | QItemSelectionModel::Rows);
        Click(109);
        ASSERT_TRUE(WaitUntil([] { return ListsHold(2, 0); }));
        EXPECT_THAT(StatusLines(), Contains("2 installed"));
        EXPECT_THAT(StatusLines(), Contains("de_c.pwf moved to " + server.host() + "/w/de_c.pwf"));
        WaitForThread(DThread);  // a press while it runs is refused
        ASSERT_TRUE(WaitUntil([] { return qthost::PendingCalls() == 0; }));
        auto* bar = As<QProgressBar>(157);
        EXPECT_FALSE(bar->isVisible());
        EXPECT_EQ(bar->maximum(), 300000 / 1024);
        EXPECT_GT(bar->value(), 0);  // a step for each piece received (past the end: again)
        Click(129);
        // No box for each map fetched: the status lines tell.
        ASSERT_TRUE(WaitUntil([&] { return program.boxes.size() == 1; }));
        EXPECT_EQ(program.boxes[0].text, "Your version of Nodescan is UP TO DATE!");
        ASSERT_TRUE(WaitUntil([] { return QApplication::overrideCursor() == nullptr; }));
    });
    for (const char* map : {"de_a.pwf", "de_c.pwf"})
        EXPECT_EQ(testenv::ReadFile(game.cstrike() + "PODBot/wptdefault/" + map).size(), 300000u);
}

TEST(Help, EveryControlHasATopicAndTheContentsLinkEveryPage) {
    auto read = [](const QString& page) {
        QFile f(":/help/" + page);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    for (const std::uint32_t* p = aIDs; p[0] || p[1]; p += 2)
        EXPECT_TRUE(read(QString("ctx-%1-100.html").arg(p[0])).contains("<h1>")) << p[0];
    for (const std::uint32_t* p = aConfigHelpIDs; p[0] || p[1]; p += 2)
        EXPECT_TRUE(read(QString("ctx-%1-300.html").arg(p[0])).contains("<h1>")) << p[0];
    const QString contents = read("contents.html");
    QRegularExpression href("href=\"([^\"#]+)");
    for (auto it = href.globalMatch(contents); it.hasNext();)
        EXPECT_FALSE(read(it.next().captured(1)).isEmpty());
    for (const QString& page : QDir(":/help").entryList({"ctx-*.html"})) {
        EXPECT_TRUE(read(page).contains("<h1>")) << page.toStdString();
        EXPECT_TRUE(contents.contains("href=\"" + page + "\"")) << page.toStdString();
    }
}

TEST_F(Window, F1TheRightClickAndTheHelpButtonShowTheirHelp) {
    Seed();
    RunWindow([] {
        // F1 on a control with a topic and on one without ("Go! Go! Go!").
        W(134)->setFocus();
        QTest::keyClick(W(134), Qt::Key_F1);
        EXPECT_EQ(Shown(), "ctx-134-100.html");
        EXPECT_TRUE(qthost::HelpBrowser()->toPlainText().contains("Auto Start"));
        qthost::HelpBrowser()->window()->hide();
        W(1)->setFocus();
        QTest::keyClick(W(1), Qt::Key_F1);
        EXPECT_EQ(Shown(), "");
        // "What's This?" of a list and added to an edit's own menu; a menu
        // closed without a choice shows nothing.
        RightClick(W(123)->findChild<QWidget*>("qt_scrollarea_viewport"), true);
        EXPECT_EQ(Shown(), "ctx-123-100.html");
        RightClick(W(110), true);
        EXPECT_EQ(Shown(), "ctx-110-100.html");
        qthost::HelpBrowser()->window()->hide();
        RightClick(W(103), false);
        EXPECT_EQ(Shown(), "");
        // The contents, whose links lead on.
        Click(146);
        EXPECT_EQ(Shown(), "contents.html");
        qthost::HelpBrowser()->setSource(QUrl("ctx-150-100.html"));
        EXPECT_TRUE(qthost::HelpBrowser()->toPlainText().contains("site"));
    });
}

TEST(Help, AnUnknownBundleOrTopicIsReported) {
    Program program;  // no window: the viewer works on its own, with boxes of its own
    EXPECT_FALSE(WinHelp(0, "other.hlp", HELP_FINDER, nullptr, 0));
    const std::uint32_t missing[] = {7, (7u << 16) | 100, 0, 0};
    EXPECT_FALSE(WinHelp(0, "nodescan.hlp", HELP_WM_HELP, missing, 7));
    ASSERT_EQ(program.boxes.size(), 2u);
    EXPECT_THAT(program.boxes[1].text, ::testing::HasSubstr("ctx-7-100.html"));
}

// --help, a wrong argument and reset are answered without a display.
TEST(Arguments, HelpAndUnknownArgumentsNeedNoDisplay) {
    testenv::TempDir home;
    testenv::WriteFile(home / "config/HKEY_CURRENT_USER.reg",
                       "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Nodescan]\r\n");
    struct {
        const char* args;
        int code;
        const char* out;  // the start of standard output and error
    } cases[] = {{"--help", 0, "Usage: nodescan"},
                 {"-h", 0, "Usage: nodescan"},
                 {"--bogus", 2, "nodescan: unknown argument '--bogus'\nUsage: nodescan"},
                 {"reset now", 2, "nodescan: unknown argument 'now'"},
                 {"-platform", 2, "nodescan: unknown argument '-platform'"},
                 {"reset", 0, "Nodescan Notice: Nodescan Registry settings deleted.\n"},
                 {"", 1, "nodescan: no display to open the window on"}};
    for (const auto& c : cases) {
        QProcess p;
        QProcessEnvironment env;  // no display of any kind
        env.insert("NODESCAN_HOME", QString::fromStdString(home.path()));
        p.setProcessEnvironment(env);
        p.start(NODESCAN_GUI_PATH, QString(c.args).split(' ', Qt::SkipEmptyParts));
        ASSERT_TRUE(p.waitForFinished(10000)) << c.args;
        EXPECT_EQ(p.exitCode(), c.code) << c.args;
        QByteArray text = p.readAllStandardOutput() + p.readAllStandardError();
        EXPECT_TRUE(text.startsWith(c.out)) << c.args << ": " << text.toStdString();
    }
    EXPECT_FALSE(QDir(QString::fromStdString(home.path())).exists("config/HKEY_CURRENT_USER.reg"));
}
