// The commands on the result lists: header sorts, deletion of redundant
// waypoints, mapcycle.txt and the list files, on real game trees.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "check/lists.h"
#include "check/scanrunner.h"
#include "core/state.h"
#include "platform/paths.h"
#include "support/run.h"

using namespace testenv;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;
namespace fs = std::filesystem;

namespace {
struct ListCommands : ::testing::Test {
    TempDir games;
    GameTree tree{games.path()};
    ProgramRun run{games.path()};
    std::string wpt = tree.cstrike() + "PODBot/wptdefault/";

    void SetUp() override { StoreSettings(tree.cstrike(), {{"Version", 250}}); }

    // A map and its Pod Bot waypoint, last written at noon of that day.
    void Pair(const std::string& map, const std::string& wp, std::uint32_t version,
              const std::string& author, int year, int month, int day) {
        tree.AddMap(map);
        tree.AddPodWaypoint(wp, version, author);
        SetLocalMTime(wpt + wp, year, month, day, 12, 0);
    }
    void ClickHeader(int list, int column) {
        ListNotify n{md, list, LVN_COLUMNCLICK, column};
        headless::Send(md, WM_NOTIFY, static_cast<std::uintptr_t>(list),
                       reinterpret_cast<std::intptr_t>(&n));
    }
    void Select(std::initializer_list<int> rows) {
        for (int row = 0; row < ListGetItemCount(md, 123); ++row)
            headless::SelectRow(md, 123, row, std::count(rows.begin(), rows.end(), row) > 0);
    }
    int Press(int id) { return static_cast<int>(headless::SendCommand(md, id)); }
};
}  // namespace

TEST_F(ListCommands, HeaderClicksSortEachColumnInItsOwnDirection) {
    Pair("de_b.bsp", "de_b.pwf", 7, "zed", 2020, 1, 5);
    Pair("de_A.bsp", "de_A.pwf", 2, "Bob", 2021, 3, 1);
    Pair("cs_c.bsp", "cs_c.pwf", 2, "", 2020, 1, 5);  // the day of de_b, the version of de_A
    Pair("tr_x.bsp", "tr_x.pwf", 5, "alice", 2019, 6, 1);
    Pair("cs_town.final.bsp", "cs_town.pwf", 9, "Town", 2022, 7, 7);
    for (const char* map : {"de_zz.bsp", "as_m.bsp", "tr_left.bsp"}) tree.AddMap(map);
    run.Start();
    run.PressAndWait(1);
    // Each step is one click: the rows after it (rows that compare equal
    // keep the order they had) and the clicked header; the others are plain.
    struct Step {
        int list, column;
        const char *rows, *header;
    } steps[] = {
        {123, 0, "cs_c cs_town de_A de_b tr_x", "Map Name [a-z]"},
        {123, 0, "tr_x de_b de_A cs_town cs_c", "Map Name [z-a]"},
        {123, 1, "cs_town de_A de_b cs_c tr_x", "Last Edited [9-0]"},
        {123, 2, "cs_town de_b tr_x de_A cs_c", "Version [9-0]"},
        {123, 0, "cs_c cs_town de_A de_b tr_x", "Map Name [a-z]"},
        {123, 1, "tr_x cs_c de_b de_A cs_town", "Last Edited [0-9]"},
        {123, 3, "cs_c tr_x de_A cs_town de_b", "Created By [a-z]"},
        {101, 0, "as_m de_zz tr_left", "Map Name [a-z]"},
        {123, 2, "cs_c de_A tr_x de_b cs_town", "Version [0-9]"},
    };
    for (const Step& s : steps) {
        ClickHeader(s.list, s.column);
        std::string shown;
        for (const std::string& name : s.list == 123 ? run.RightNames() : run.LeftNames())
            shown += (shown.empty() ? "" : " ") + name.substr(0, name.find('.'));
        EXPECT_EQ(shown, s.rows) << s.header;
        auto columns = headless::Columns(md, s.list);
        for (int c = 0; c < static_cast<int>(columns.size()); ++c)
            EXPECT_EQ(columns[c].text, c == s.column ? s.header : Cols[c].text) << s.header;
    }
    EXPECT_EQ(headless::Columns(md, 101)[0].text, "Map Name [a-z]") << "kept by right-list clicks";

    // mapcycle.txt: the rows in display order, each as the game loads the
    // listed map; "tr_" rows never. The list files: "%-20s" fields, CR LF.
    Select({1, 4});
    Press(122);
    EXPECT_EQ(
        ReadFile(DataDir() + "/GoodWayPoints.txt"),
        "de_A.bsp            01/03/2021          Pre v1.4            Bob                 \r\n"
        "cs_town.bsp         07/07/2022          v4                  Town                \r\n");
    Select({});
    Press(116);
    EXPECT_EQ(ReadFile(DataDir() + "/NoWaypoints.txt"),
              "as_m.bsp            \r\nde_zz.bsp           \r\n");
    EXPECT_THAT(run.Status(), Contains("Written: " + DataDir() + "/NoWaypoints.txt"));
    EXPECT_EQ(headless::ShellRequests(),
              std::vector<std::string>(
                  {DataDir() + "/GoodWayPoints.txt", DataDir() + "/NoWaypoints.txt"}));
    // A mapcycle.txt made by hand is kept in mapcycle.txt.bak, with its mode
    // (not the umask's); where it cannot be, nothing is written.
    std::string cycle = tree.cstrike() + "mapcycle.txt",
                cycled = "cs_c\r\nde_A\r\nde_b\r\ncs_town.final\r\n";
    WriteFile(cycle, "mine\r\n");
    fs::permissions(cycle, fs::perms(0666));
    MakeDirs(cycle + ".bak");
    Press(106);
    EXPECT_EQ(run.Status().back(), "Cannot write " + cycle +
                                       ": the previous version could not be kept as " + cycle +
                                       ".bak (Is a directory)");
    fs::remove(cycle + ".bak");
    Press(106);
    Press(106);  // the same list: the copy stays
    EXPECT_EQ(ReadFile(cycle) + ReadFile(cycle + ".bak"), cycled + "mine\r\n");
#ifndef _WIN32  // a POSIX mode
    EXPECT_EQ(fs::status(cycle + ".bak").permissions(), fs::perms(0666));
#endif
    EXPECT_THAT(run.Status(), Contains("Mapcycle.txt written"));

    // An empty author writes three fields; a redundant check's list
    // refuses mapcycle.txt, which stays as it was.
    Press(122);
    EXPECT_THAT(ReadFile(DataDir() + "/GoodWayPoints.txt"),
                HasSubstr("cs_c.bsp            05/01/2020          Pre v1.4            \r\n"));
    run.PressAndWait(139);
    Press(106);
    EXPECT_EQ(headless::MessageBoxes().back().text,
              "What do you think you're doing? Trying to ruin your Counter-Strike?!");
    EXPECT_EQ(ReadFile(cycle), cycled);
}

TEST_F(ListCommands, DeletionRemovesTheListedFilesOfTheChosenRows) {
    tree.AddMap("de_dust.bsp");
    for (const char* wp :
         {"de_dust.pwf", "gone.final.pwf", "old 1%.pwf", "tr_r.pwf", "TR_S.pwf", "vanished.pwf"})
        tree.AddPodWaypoint(wp, 7, "x");
    MakeDirs(tree.cstrike() + "MAPCYCLE.TXT");  // the file's name, in another case, is taken
    int answer = IDNO;
    headless::SetMessageBoxResponder(
        [&](const headless::MessageBoxCall& box) { return box.type == MB_YESNO ? answer : IDOK; });
    run.Start();
    // Refused while a scan runs, and before any redundant check.
    std::atomic<bool> release{false};
    hThread = CreateThread([&] { return release.wait(false), 0u; }, nullptr);
    Press(140);
    release = true;
    release.notify_all();
    WaitForThread(hThread);
    EXPECT_EQ(run.Status().back(), "Please wait... Thread Executing");
    run.PressAndWait(1);
    Press(140);
    EXPECT_EQ(headless::MessageBoxes().back().text,
              "You havn't searched for any redundant maps yet!");
    Press(106);  // a file that cannot be written: no "written"
    EXPECT_EQ(headless::MessageBoxes().back().text, "Error Opening File!");
    EXPECT_EQ(run.Status().back(),
              "Cannot write " + tree.cstrike() + "MAPCYCLE.TXT: Is a directory");

    run.PressAndWait(139);
    ASSERT_THAT(run.RightNames(),
                ElementsAre("gone.pwf", "old 1%.pwf", "tr_r.pwf", "TR_S.pwf", "vanished.pwf"));
    std::string trash = run.home() + "/share/Trash/";
    WriteFile(trash + "info/old 1%.pwf.trashinfo", "");  // the name is taken
    Select({1, 2});
    Press(140);  // answered No
    answer = IDYES;
    Press(140);
    EXPECT_EQ(headless::MessageBoxes().back().text,
              "Are you sure you wish to delete the selected redundant maps?");
    fs::remove(wpt + "vanished.pwf");
    Select({});
    Press(140);
    EXPECT_EQ(headless::MessageBoxes().back().text,
              "Are you sure you wish to delete **ALL** displayed redundant maps?");
    // The row shown as gone.pwf deleted the file listed for it; a file that
    // could not be deleted keeps its row's name and is reported.
    EXPECT_THAT(run.RightNames(),
                ElementsAre("Deleted....", "Deleted....", "tr_r.pwf", "TR_S.pwf", "vanished.pwf"));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(wpt)) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_THAT(left, ElementsAre("TR_S.pwf", "de_dust.pwf", "tr_r.pwf"));
    // The window's deletions went to the trash, each with what restores it.
    LINUX_ONLY("the desktop's trash (the Recycle Bin on Windows)");
    EXPECT_TRUE(fs::exists(trash + "files/gone.final.pwf"));
    EXPECT_THAT(ReadFile(trash + "info/old 1%.pwf.2.trashinfo"),
                MatchesRegex("\\[Trash Info\\]\nPath=" + wpt +
                             "old%201%25.pwf\nDeletionDate=[-0-9]{10}T[:0-9]{8}\n"));
    EXPECT_THAT(run.Status(), Contains("Moved to the trash: " + wpt + "old 1%.pwf"));
    auto status = run.Status();
    EXPECT_EQ(std::count_if(status.begin(), status.end(),
                            [](const std::string& l) { return l.rfind("Cannot delete", 0) == 0; }),
              1)
        << "rows marked deleted are passed over";
    EXPECT_EQ(status.back(), "Cannot delete " + wpt + "vanished.pwf: No such file or directory");
    Press(122);
    EXPECT_EQ(ReadFile(DataDir() + "/GoodWayPoints.txt").substr(0, 20), "Deleted....         ");
}
