// The desktop program in its real window: start-up, checks, the bot
// selector, the two layouts, the site selector and editor, the options and
// the settings that a run leaves for the next.
#include "app/window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QThread>
#include <QTreeView>
#include <chrono>
#include <cstring>

#include "app/nodescan.h"
#include "app/state.h"
#include "bots/bots.h"
#include "download/sites.h"
#include "harness.h"
#include "platform/qt/host.h"
#include "platform/qt/listmodel.h"
#include "platform/registry.h"
#include "platform/threads.h"

using namespace gui;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {
const char* const kPleaseWait = "Please Wait! Executing operation!";

int SimpleWidth() {
    qthost::PixelRect marker = qthost::TemplateRect(100, 144);
    return marker.x + marker.width;
}
int FullWidth() {
    return qthost::TemplateRect(100, 0).width;
}
int FullHeight() {
    return qthost::TemplateRect(100, 0).height;
}

QScrollBar* SiteBar() {
    return qobject_cast<QScrollBar*>(W(150));
}
QLineEdit* Edit(int id) {
    return qobject_cast<QLineEdit*>(W(id));
}

// Replaces the text of an edit as the user does: select all, then type.
void TypeInto(int id, const QString& text) {
    QLineEdit* e = Edit(id);
    e->setFocus();
    QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(e, text);
}

// Chooses the next entry of the bot selector with the keyboard.
void ChooseNextBot() {
    auto* combo = qobject_cast<QComboBox*>(W(102));
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
}

// Chooses an entry of the bot selector as a completed choice of the user.
void ChooseBot(int index) {
    auto* combo = qobject_cast<QComboBox*>(W(102));
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

std::string SiteBytes(int site) {
    SiteRecord row = GetSiteRow(site);
    return std::string(reinterpret_cast<const char*>(&row), sizeof row);
}

std::string StoredSite(int site) {
    RegistryUnload();
    RegKey key = RegKey::Open(Hive::CurrentUser, false);
    SiteRecord row{};
    if (!key.ReadBinary("Site" + std::to_string(site), &row, sizeof row)) return "";
    return std::string(reinterpret_cast<const char*>(&row), sizeof row);
}

std::uint32_t StoredDword(const char* name) {
    RegistryUnload();
    RegKey key = RegKey::Open(Hive::CurrentUser, false);
    std::uint32_t v = 0xDEADBEEF;
    key.ReadDword(name, &v);
    return v;
}

bool ListsHold(std::size_t right, std::size_t left) {
    return ScanDone() && Names(123).size() == right && Names(101).size() == left;
}

class Window : public ::testing::Test {
  protected:
    testenv::TempDir games;
    Game game{games.path()};
};
}  // namespace

TEST_F(Window, FirstRunAsksItsQuestionsBeforeTheWindowShows) {
    game.AddMap("de_dust.bsp");
    game.AddPodWaypoint("de_dust.pwf", 7, "Mapper");
    Program program(games.path());
    bool visible = false;
    int result = program.Run([&] {
        visible = MainWindow()->isVisible();
        EXPECT_THAT(StatusLines(), Contains("Counter Strike Found at " + game.cstrike()));
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(visible);
    ASSERT_FALSE(program.Boxes().empty());
    EXPECT_EQ(program.Boxes().front().caption, "Directory ERROR!");
    for (const Box& b : program.Boxes()) EXPECT_FALSE(b.windowShown) << b.caption;

    // The first run leaves complete settings behind.
    EXPECT_EQ(StoredDword("Version"), 250u);
    EXPECT_EQ(StoredDword("Difficulty"), 1u);
    EXPECT_EQ(StoredDword("Auto Start"), 0u);
    for (int n = 0; n < kSiteCount; ++n) EXPECT_EQ(StoredSite(n).size(), 180u) << n;
}

TEST_F(Window, SavedSettingsStartWithoutQuestions) {
    game.AddMap("de_dust.bsp");
    game.AddPodWaypoint("de_dust.pwf", 7, "Mapper");
    Program program(games.path());
    program.StoreSettings(game.cstrike(), {{"Default Bot", 4}});
    program.Run([] {
        QWidget* window = MainWindow();
        EXPECT_EQ(window->windowTitle().toStdString(), NodescanWindowText());
        auto* combo = qobject_cast<QComboBox*>(W(102));
        ASSERT_EQ(combo->count(), kBotCount);
        EXPECT_EQ(combo->itemText(0), QString("Pod Bot"));
        EXPECT_EQ(combo->itemText(10), QString("AgroBot"));
        EXPECT_EQ(combo->currentIndex(), 4);
        EXPECT_EQ(Text(148), "wpt");
        EXPECT_EQ(Text(103), "HPB Bot by Henry Parker Bell");
        EXPECT_EQ(Text(141), "Have Waypoints");
        EXPECT_EQ(Text(125), "Missing Waypoints");
        EXPECT_EQ(Text(149), "Brimlock Wpts");
        EXPECT_EQ(SiteBar()->minimum(), 0);
        EXPECT_EQ(SiteBar()->maximum(), 5);
        EXPECT_EQ(SiteBar()->value(), 0);

        auto* right = qobject_cast<QTreeView*>(W(123));
        ASSERT_EQ(right->model()->columnCount(), 4);
        EXPECT_EQ(right->model()->headerData(3, Qt::Horizontal).toString(), QString("Created By"));
        EXPECT_EQ(right->header()->sectionSize(0), 118);
        EXPECT_EQ(right->header()->sectionSize(3), 95);
        EXPECT_EQ(qobject_cast<QTreeView*>(W(101))->model()->columnCount(), 1);

        // The simple layout: cut at the right edge of control 144.
        EXPECT_EQ(window->width(), SimpleWidth());
        EXPECT_EQ(window->height(), FullHeight());
        EXPECT_EQ(Text(143), "Advanced --->");
        EXPECT_FALSE(ScanRunning()) << "no Auto Start";
    });
    for (const Box& b : program.Boxes()) ADD_FAILURE() << b.caption << ": " << b.text;
}

TEST_F(Window, GoFillsBothListsAndBothCounters) {
    for (const char* map : {"de_dust.bsp", "cs_office.bsp", "as_oilrig.bsp", "de_aztec.bsp"})
        game.AddMap(map);
    game.AddPodWaypoint("de_dust.pwf", 7, "Alice");
    game.AddPodWaypoint("as_oilrig.pwf", 7, "Bob");
    Program program(games.path());
    program.StoreSettings(game.cstrike());
    program.Run([] {
        Click(1);
        ASSERT_TRUE(WaitUntil([] { return ListsHold(2, 2); }));
        EXPECT_THAT(Names(123), ElementsAre("as_oilrig.bsp", "de_dust.bsp"));
        EXPECT_THAT(Names(101), ElementsAre("cs_office.bsp", "de_aztec.bsp"));
        std::vector<std::string> row = Row(123, 1);
        ASSERT_EQ(row.size(), 4u);
        EXPECT_THAT(row[1], ::testing::MatchesRegex("[0-9]{2}/[0-9]{2}/[0-9]{4}"));
        EXPECT_EQ(row[2], "v2");
        EXPECT_EQ(row[3], "Alice");
        EXPECT_EQ(List(123)->RowColor(0), MakeRGB(0, 0, 255));
        EXPECT_EQ(List(101)->RowColor(0), MakeRGB(255, 0, 0));
        EXPECT_EQ(Text(115), "4");
        EXPECT_EQ(Text(112), "2");
        EXPECT_EQ(Edit(115)->text(), QString("4"));
        EXPECT_EQ(Text(141), "Have Waypoints");
        EXPECT_EQ(Text(125), "Missing Waypoints");

        // Enter runs the check again: the lists are refilled, not doubled.
        QTest::keyClick(MainWindow(), Qt::Key_Return);
        ASSERT_TRUE(WaitUntil([] { return ScanRunning() || ListsHold(2, 2); }));
        ASSERT_TRUE(WaitUntil([] { return ListsHold(2, 2); }));
        EXPECT_THAT(Names(101), ElementsAre("cs_office.bsp", "de_aztec.bsp"));
    });
}

TEST_F(Window, ABotChoiceStartsACheckAndASecondWhileItRunsMustWait) {
    game.AddMaps(4000, 0);
    Program program(games.path());
    program.StoreSettings(game.cstrike());
    program.Run([] {
        auto refusals = [] {
            auto lines = StatusLines();
            return std::count(lines.begin(), lines.end(), std::string(kPleaseWait));
        };
        // The second choice must reach the window while the first check
        // runs; on a loaded machine the check may end first, so try again.
        // Swat Bot and Ram Bot both keep their waypoints in the map directory.
        bool refused = false;
        for (int attempt = 0; attempt < 10 && !refused; ++attempt) {
            ASSERT_TRUE(WaitUntil([] { return ScanDone(); }, 120000));
            auto before = refusals();
            ChooseBot(1);
            if (!WaitUntil([] { return ScanRunning(); }, 5000)) continue;
            ChooseBot(2);  // while the check of Swat Bot runs
            // The choice itself takes effect at once ...
            EXPECT_EQ(sbot.load(), 2u);
            EXPECT_EQ(Text(148), GetBotExt(2));
            EXPECT_EQ(Text(103), GetBotInfo(2));
            // ... and its check is refused while the first one runs.
            WaitUntil([] { return ScanDone(); }, 120000);
            Pump(50);
            refused = refusals() > before;
        }
        EXPECT_TRUE(refused);
        ASSERT_TRUE(WaitUntil([] { return ListsHold(0, 4000); }, 120000));
        EXPECT_EQ(Text(115), "4000");
        EXPECT_EQ(Text(112), "4000");
    });
}

TEST_F(Window, TheLayoutToggleKeepsTheTopLeftCorner) {
    Program program(games.path());
    program.StoreSettings(game.cstrike());
    program.Run([] {
        QWidget* window = MainWindow();
        QPoint corner = window->geometry().topLeft();
        ASSERT_EQ(window->width(), SimpleWidth());
        EXPECT_LT(SimpleWidth(), FullWidth());

        Click(143);
        EXPECT_EQ(Text(143), "<--- Simple");
        EXPECT_EQ(window->width(), FullWidth());
        EXPECT_EQ(window->height(), FullHeight());
        EXPECT_EQ(window->geometry().topLeft(), corner);
        EXPECT_EQ(AdvButtonPressed(1), 2);
        EXPECT_TRUE(W(145)->isVisible());

        Click(143);
        EXPECT_EQ(Text(143), "Advanced --->");
        EXPECT_EQ(window->width(), SimpleWidth());
        EXPECT_EQ(window->geometry().topLeft(), corner);
        EXPECT_EQ(window->minimumSize(), window->maximumSize());
    });
}

TEST_F(Window, TheSiteSelectorAndEditor) {
    Program program(games.path());
    program.StoreSettings(game.cstrike());
    const SiteRecord preset5 = PresetSite(5);
    program.Run([&] {
        Click(143);
        QScrollBar* bar = SiteBar();

        // Scrolling left on the first site stays on it.
        ClickScrollPart(bar, QStyle::SC_ScrollBarSubLine);
        EXPECT_EQ(bar->value(), 0);
        EXPECT_EQ(ssite.load(), 0u);
        EXPECT_EQ(Text(149), "Brimlock Wpts");

        // Right to the end and beyond: the sixth site, and no further.
        for (int i = 0; i < 7; ++i) ClickScrollPart(bar, QStyle::SC_ScrollBarAddLine);
        EXPECT_EQ(bar->value(), 5);
        EXPECT_EQ(bar->sliderPosition(), 5);
        EXPECT_EQ(ssite.load(), 5u);
        EXPECT_EQ(Text(149), "Enter a name");
        ClickScrollPart(bar, QStyle::SC_ScrollBarAddPage);
        EXPECT_EQ(bar->value(), 5);
        ClickScrollPart(bar, QStyle::SC_ScrollBarSubPage);
        EXPECT_EQ(bar->value(), 4);
        EXPECT_EQ(ssite.load(), 4u);

        // The extension box takes five characters; the table keeps four.
        TypeInto(132, "abcdef");
        EXPECT_EQ(Edit(132)->text(), QString("abcde"));
        EXPECT_EQ(GetSite(4).ext, "abcd");
        TypeInto(149, "My Site");
        EXPECT_EQ(GetSite(4).name, "My Site");
        TypeInto(152, "wpt_x_long");
        EXPECT_EQ(GetSite(4).start, "wpt_x");

        // Switching sites never carries one site's texts into another.
        ClickScrollPart(bar, QStyle::SC_ScrollBarAddLine);
        EXPECT_EQ(ssite.load(), 5u);
        EXPECT_EQ(Text(149), "Enter a name");
        EXPECT_EQ(Text(132), "zip");
        EXPECT_EQ(SiteBytes(5),
                  std::string(reinterpret_cast<const char*>(&preset5), sizeof preset5));
        ClickScrollPart(bar, QStyle::SC_ScrollBarSubLine);
        EXPECT_EQ(Text(149), "My Site");
        EXPECT_EQ(Text(132), "abcd");
        EXPECT_EQ(GetSite(4).name, "My Site");
    });
}

TEST_F(Window, AutoStartAndTheAdvancedLayoutComeWithTheStart) {
    game.AddMap("de_dust.bsp");
    game.AddMap("cs_italy.bsp");
    game.AddPodWaypoint("de_dust.pwf", 7, "Mapper");
    Program program(games.path());
    program.StoreSettings(game.cstrike(), {{"Auto Start", 1}, {"Difficulty", 2}});
    program.Run([] {
        // The posted toggle and start have run by the time the window runs.
        EXPECT_EQ(Text(143), "<--- Simple");
        EXPECT_EQ(MainWindow()->width(), FullWidth());
        EXPECT_TRUE(IsDlgButtonChecked(100, 134));
        EXPECT_THAT(StatusLines(), Contains("Auto Start Initiated"));
        ASSERT_TRUE(WaitUntil([] { return ListsHold(1, 1); }));
        EXPECT_THAT(Names(123), ElementsAre("de_dust.bsp"));
        EXPECT_THAT(Names(101), ElementsAre("cs_italy.bsp"));
    });
    EXPECT_TRUE(program.Boxes().empty());
}

TEST_F(Window, SettingsAreWrittenOnCloseAndReadBackOnTheNextStart) {
    game.AddMap("de_dust.bsp");
    Program program(games.path());
    program.StoreSettings(game.cstrike());
    std::string rows[kSiteCount];
    program.Run([&] {
        for (int i = 0; i < 4; ++i) {
            ChooseNextBot();
            WaitUntil([] { return ScanDone(); });
        }
        ASSERT_TRUE(WaitUntil([] { return ScanDone(); }));
        EXPECT_EQ(sbot.load(), 4u);
        Click(143);
        Click(134);
        Click(111);
        ClickScrollPart(SiteBar(), QStyle::SC_ScrollBarAddLine);
        ClickScrollPart(SiteBar(), QStyle::SC_ScrollBarAddLine);
        TypeInto(152, "pre");
        TypeInto(131, "/waypoints/x");
        for (int n = 0; n < kSiteCount; ++n) rows[n] = SiteBytes(n);
        // Closed with the close box.
    });
    EXPECT_EQ(StoredDword("Default Bot"), 4u);
    EXPECT_EQ(StoredDword("Default Site"), 2u);
    EXPECT_EQ(StoredDword("Difficulty"), 2u);
    EXPECT_EQ(StoredDword("Auto Start"), 1u);
    EXPECT_EQ(StoredDword("Check All"), 1u);
    EXPECT_EQ(StoredDword("Version"), 250u);
    for (int n = 0; n < kSiteCount; ++n) EXPECT_EQ(StoredSite(n), rows[n]) << "Site" << n;
    EXPECT_EQ(GetSite(2).start, "pre");

    program.Restart();
    EXPECT_EQ(SiteBytes(2), std::string(reinterpret_cast<const char*>(&PresetSite(2)), 180))
        << "a new process starts from the compiled-in rows";
    program.Run([&] {
        EXPECT_EQ(qobject_cast<QComboBox*>(W(102))->currentIndex(), 4);
        EXPECT_EQ(Text(148), "wpt");
        EXPECT_EQ(Text(143), "<--- Simple");
        EXPECT_TRUE(IsDlgButtonChecked(100, 134));
        EXPECT_TRUE(IsDlgButtonChecked(100, 111));
        EXPECT_EQ(SiteBar()->value(), 2);
        EXPECT_EQ(Text(152), "pre");
        EXPECT_EQ(Text(131), "/waypoints/x");
        for (int n = 0; n < kSiteCount; ++n) EXPECT_EQ(SiteBytes(n), rows[n]) << "Site" << n;
        ASSERT_TRUE(WaitUntil([] { return ScanDone(); }));  // Auto Start
    });
    for (int n = 0; n < kSiteCount; ++n) EXPECT_EQ(StoredSite(n), rows[n]) << "Site" << n;
}

TEST_F(Window, EscapeAndExitEndTheProgramAndSaveTheOptions) {
    Program program(games.path());
    program.StoreSettings(game.cstrike());
    int result = program.Run([] {
        Click(134);
        QTest::keyClick(MainWindow(), Qt::Key_Escape);
        EXPECT_FALSE(qthost::DialogRunning(100));
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(StoredDword("Auto Start"), 1u);

    program.Restart();
    result = program.Run([] {
        Click(111);
        Click(134);  // Auto Start off again
        WaitUntil([] { return ScanDone(); });
        Click(2);
        ASSERT_TRUE(WaitUntil([] { return !qthost::DialogRunning(100); }, 5000));
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(StoredDword("Auto Start"), 0u);
    EXPECT_EQ(StoredDword("Check All"), 1u);
}

TEST_F(Window, ClosingWhileACheckRunsEndsAtOnceAndSaves) {
    game.AddMaps(4000, 2000);
    Program program(games.path());
    program.StoreSettings(game.cstrike());
    bool runningAtClose = false;
    program.Run([&] {
        Click(143);
        Click(1);
        ASSERT_TRUE(WaitUntil([] { return ScanRunning() && ListGetItemCount(100, 123) > 0; }));
        runningAtClose = ScanRunning();
        MainWindow()->close();
        EXPECT_FALSE(qthost::DialogRunning(100));
    });
    EXPECT_TRUE(runningAtClose);
    EXPECT_EQ(qthost::Window(100), nullptr);
    EXPECT_EQ(StoredDword("Difficulty"), 2u) << "the options were saved";
    // The scan goes on against a window that is gone: its calls return at
    // once, so it ends by itself.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ScanRunning() && std::chrono::steady_clock::now() < deadline) QThread::msleep(5);
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
    EXPECT_TRUE(opened.empty());
    ASSERT_EQ(program.Boxes().size(), 1u)
        << program.Boxes()[0].caption << ": " << program.Boxes()[0].text;
    EXPECT_EQ(program.Boxes()[0].caption, "Connection Error");
    EXPECT_EQ(program.Boxes()[0].text, "No Internet Connection Found! ABORTING");
    EXPECT_TRUE(program.Boxes()[0].windowShown);

    program.Restart();
    testenv::ScopedEnv online("NODESCAN_ONLINE", "1");
    program.Run([] { Click(105); });
    qthost::SetShellHook(nullptr);
    EXPECT_THAT(opened, ElementsAre(GetBotUrl(4)));
}
