// Context help: a topic for every control of the two help tables, F1, the
// right click's "What's This?" and the contents of the Help! button.
#include "platform/help.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTextBrowser>

#include "app/window.h"
#include "harness.h"
#include "platform/qt/host.h"

using namespace gui;

namespace {
// The configuration dialog's table: its controls with template 300.
const std::uint32_t kConfigIds[] = {301, (301u << 16) | 300,
                                    303, (303u << 16) | 300,
                                    305, (305u << 16) | 300,
                                    309, (309u << 16) | 300,
                                    0,   0};

QString Page(std::uint32_t context) {
    return QString("ctx-%1-%2.html").arg(context >> 16).arg(context & 0xFFFF);
}

QString Shown() {
    QTextBrowser* b = qthost::HelpBrowser();
    return b && b->window()->isVisible() ? b->source().fileName() : QString();
}

QString Read(const QString& page) {
    QFile f(":/help/" + page);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}

class Help : public ::testing::Test {
  protected:
    void SetUp() override {
        if (QTextBrowser* b = qthost::HelpBrowser()) b->window()->hide();
    }
    testenv::TempDir games;
    Game game{games.path()};
};
}  // namespace

TEST_F(Help, EveryControlOfBothTablesHasATopicAndTheContentsLinkAll) {
    QString contents = Read("contents.html");
    ASSERT_FALSE(contents.isEmpty());
    QSet<QString> linked;
    QRegularExpression href("href=\"([^\"#]+)");
    for (auto it = href.globalMatch(contents); it.hasNext();) linked.insert(it.next().captured(1));

    int topics = 0;
    for (const std::uint32_t* table : {aIDs, kConfigIds}) {
        for (const std::uint32_t* p = table; p[0] || p[1]; p += 2) {
            EXPECT_EQ(p[1] >> 16, p[0]);
            QString page = Page(p[1]);
            QString text = Read(page);
            EXPECT_FALSE(text.isEmpty()) << page.toStdString();
            EXPECT_TRUE(text.contains("<h1>")) << page.toStdString();
            EXPECT_TRUE(linked.contains(page)) << page.toStdString() << " not in the contents";
            ++topics;
        }
    }
    EXPECT_EQ(topics, 35);
    // Every link of every page leads to a page of the bundle.
    for (const QString& page : linked) EXPECT_FALSE(Read(page).isEmpty()) << page.toStdString();
}

TEST_F(Help, F1ShowsTheTopicOfTheFocusedControl) {
    Program program(games.path());
    program.StoreSettings(game.cstrike());
    program.Run([] {
        W(134)->setFocus();
        QTest::keyClick(W(134), Qt::Key_F1);
        EXPECT_EQ(Shown(), QString("ctx-134-100.html"));
        EXPECT_TRUE(qthost::HelpBrowser()->toPlainText().contains("Auto Start"));

        // "Go! Go! Go!" has no entry in the table: nothing is shown.
        qthost::HelpBrowser()->window()->hide();
        W(1)->setFocus();
        QTest::keyClick(W(1), Qt::Key_F1);
        EXPECT_EQ(Shown(), QString());
    });
}

TEST_F(Help, TheHelpButtonShowsTheContentsAndItsLinksLead) {
    Program program(games.path());
    program.StoreSettings(game.cstrike());
    program.Run([] {
        Click(146);
        EXPECT_EQ(Shown(), QString("contents.html"));
        QTextBrowser* b = qthost::HelpBrowser();
        b->setSource(QUrl("ctx-150-100.html"));
        EXPECT_EQ(Shown(), QString("ctx-150-100.html"));
        EXPECT_TRUE(b->toPlainText().contains("site"));
        b->backward();
        EXPECT_EQ(Shown(), QString("contents.html"));
        // The window is reused.
        Click(146);
        EXPECT_EQ(qthost::HelpBrowser(), b);
    });
}

TEST_F(Help, ARightClickOffersWhatsThis) {
    Program program(games.path());
    program.StoreSettings(game.cstrike());
    program.Run([] {
        QWidget* list = W(123);
        QWidget* viewport = list->findChild<QWidget*>("qt_scrollarea_viewport");
        ASSERT_NE(viewport, nullptr);
        AnswerNextMenu("What's This?");
        QContextMenuEvent event(QContextMenuEvent::Mouse, viewport->rect().center(),
                                viewport->mapToGlobal(viewport->rect().center()));
        QApplication::sendEvent(viewport, &event);
        EXPECT_EQ(Shown(), QString("ctx-123-100.html"));

        // Declining the menu shows nothing.
        qthost::HelpBrowser()->window()->hide();
        AnswerNextMenu("");
        QContextMenuEvent again(QContextMenuEvent::Mouse, QPoint(5, 5),
                                W(103)->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(W(103), &again);
        EXPECT_EQ(Shown(), QString());

        // An edit keeps its own menu and adds "What's This?".
        AnswerNextMenu("What's This?");
        QContextMenuEvent edit(QContextMenuEvent::Mouse, QPoint(5, 5),
                               W(110)->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(W(110), &edit);
        EXPECT_EQ(Shown(), QString("ctx-110-100.html"));
    });
}

TEST_F(Help, AnUnknownBundleOrTopicIsReported) {
    Program program;
    // No window: the viewer works on its own, with a box of its own.
    EXPECT_FALSE(WinHelp(0, "other.hlp", HELP_FINDER, nullptr, 0));
    const std::uint32_t missing[] = {7, (7u << 16) | 100, 0, 0};
    EXPECT_FALSE(WinHelp(0, "nodescan.hlp", HELP_WM_HELP, missing, 7));
    ASSERT_EQ(program.Boxes().size(), 2u);
    EXPECT_THAT(program.Boxes()[0].text, ::testing::HasSubstr("other.hlp"));
    EXPECT_THAT(program.Boxes()[1].text, ::testing::HasSubstr("ctx-7-100.html"));
    EXPECT_TRUE(WinHelp(0, "nodescan.hlp", HELP_FINDER, nullptr, 0));
    EXPECT_EQ(Shown(), QString("contents.html"));
}
