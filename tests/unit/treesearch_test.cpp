// The tree search for a file name: where it looks, what counts as a match,
// which match wins.
#include "platform/posix/treesearch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/files.h"
#include "support/testenv.h"

namespace {

using testenv::MakeDirs;
using testenv::TempDir;
using testenv::WriteFile;

std::string Find(const std::string& root, const std::string& name = "cstrike.wad") {
    std::string found;
    if (!SearchTreeForFile(root, name, &found)) return "<none>";
    return found;
}

void Symlink(const std::string& target, const std::string& link) {
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0) << link;
}

// ---- Where the file is found, and the path handed back ----

TEST(TreeSearchFinds, FileAtTopOfRoot) {
    TempDir t;
    WriteFile(t / "cstrike.wad", "w");
    EXPECT_EQ(Find(t.path()), t / "cstrike.wad");
}

TEST(TreeSearchFinds, FileDeepBelowRoot) {
    TempDir t;
    WriteFile(t / "a/b/c/d/e/Half-Life/cstrike/cstrike.wad", "w");
    WriteFile(t / "a/b/other.txt", "x");
    EXPECT_EQ(Find(t.path()), t / "a/b/c/d/e/Half-Life/cstrike/cstrike.wad");
}

TEST(TreeSearchFinds, NameIgnoringCaseAndKeepsTheNameOnDisk) {
    TempDir t;
    WriteFile(t / "games/CStrike/CStrike.WAD", "w");
    EXPECT_EQ(Find(t.path()), t / "games/CStrike/CStrike.WAD");
    EXPECT_EQ(Find(t.path(), "CSTRIKE.wad"), t / "games/CStrike/CStrike.WAD");
}

TEST(TreeSearchFinds, OnlyTheWholeName) {
    TempDir t;
    WriteFile(t / "cstrike.wad.bak", "w");
    WriteFile(t / "old_cstrike.wad", "w");
    WriteFile(t / "cstrike.wa", "w");
    MakeDirs(t / "cstrike.wad.d");
    EXPECT_EQ(Find(t.path()), "<none>");
}

TEST(TreeSearchFinds, RootWithOrWithoutTrailingSlash) {
    TempDir t;
    WriteFile(t / "hl/cstrike/cstrike.wad", "w");
    EXPECT_EQ(Find(t.path()), t.path() + "/hl/cstrike/cstrike.wad");
    EXPECT_EQ(Find(t.path() + "/"), t.path() + "/hl/cstrike/cstrike.wad");
    EXPECT_EQ(Find(t / "hl/"), t.path() + "/hl/cstrike/cstrike.wad");
}

TEST(TreeSearchFinds, RootThatIsASymbolicLink) {
    // A search root named by the user (a library folder) may be a link.
    TempDir t;
    WriteFile(t / "real/cstrike/cstrike.wad", "w");
    Symlink(t / "real", t / "library");
    EXPECT_EQ(Find(t / "library"), t / "library/cstrike/cstrike.wad");
}

TEST(TreeSearchFinds, NothingForMissingOrUnusableRoots) {
    TempDir t;
    WriteFile(t / "cstrike.wad", "w");
    std::string found = "unchanged";
    EXPECT_FALSE(SearchTreeForFile(t / "no-such-dir", "cstrike.wad", &found));
    EXPECT_FALSE(SearchTreeForFile(t / "cstrike.wad", "cstrike.wad", &found));  // a file
    EXPECT_FALSE(SearchTreeForFile("", "cstrike.wad", &found));
    EXPECT_FALSE(SearchTreeForFile(t.path(), "", &found));
    EXPECT_EQ(found, "unchanged");
}

TEST(TreeSearchFinds, NothingInAnEmptyOrFileOnlyTree) {
    TempDir t;
    EXPECT_EQ(Find(t.path()), "<none>");
    WriteFile(t / "a/b/readme.txt", "x");
    MakeDirs(t / "a/c/d");
    EXPECT_EQ(Find(t.path()), "<none>");
}

// ---- Which match wins ----

TEST(TreeSearchOrder, ShallowerMatchWinsWhateverTheNames) {
    TempDir t;
    WriteFile(t / "a/a/a/cstrike.wad", "w");
    WriteFile(t / "a/b/cstrike.wad", "w");
    WriteFile(t / "zzz/cstrike.wad", "w");
    EXPECT_EQ(Find(t.path()), t / "zzz/cstrike.wad");
    WriteFile(t / "~CSTRIKE.WAD", "w");  // a near miss at the top changes nothing
    EXPECT_EQ(Find(t.path()), t / "zzz/cstrike.wad");
    WriteFile(t / "CSTRIKE.WAD", "w");
    EXPECT_EQ(Find(t.path()), t / "CSTRIKE.WAD");
}

TEST(TreeSearchOrder, TiesGoToTheFirstInListingOrder) {
    TempDir t;
    // Listing order folds letters to upper case: "a" before "B", and "dea"
    // before "de_" ('_' sorts after the upper-case letters).
    WriteFile(t / "de_x/cstrike.wad", "w");
    WriteFile(t / "dea/cstrike.wad", "w");
    EXPECT_EQ(Find(t.path()), t / "dea/cstrike.wad");
    WriteFile(t / "B/cstrike.wad", "w");
    EXPECT_EQ(Find(t.path()), t / "B/cstrike.wad");
    WriteFile(t / "a/cstrike.wad", "w");
    EXPECT_EQ(Find(t.path()), t / "a/cstrike.wad");
}

TEST(TreeSearchOrder, TiesCompareComponentByComponent) {
    TempDir t;
    // As whole strings "a-/x" comes before "a/x" ('-' < '/'); by components
    // "a" is a prefix of "a-" and comes first.
    WriteFile(t / "a-/x/cstrike.wad", "w");
    WriteFile(t / "a/x/cstrike.wad", "w");
    EXPECT_EQ(Find(t.path()), t / "a/x/cstrike.wad");
}

TEST(TreeSearchOrder, NamesDifferingOnlyInCaseTakeTheFirstInByteOrder) {
    TempDir t;
    WriteFile(t / "g/cstrike.wad", "w");
    WriteFile(t / "g/CStrike.wad", "w");
    WriteFile(t / "g/CSTRIKE.WAD", "w");
    EXPECT_EQ(Find(t.path()), t / "g/CSTRIKE.WAD");
}

TEST(TreeSearchOrder, SameWinnerEveryTimeAcrossManyDirectories) {
    // Enough directories at each depth for the search to share them among
    // threads; the winner must not depend on which thread got there first.
    TempDir t;
    for (int i = 0; i < 300; ++i) {
        std::string dir = t / ("d" + std::to_string(1000 + i));
        MakeDirs(dir + "/sub");
        WriteFile(dir + "/sub/file.txt", "x");
        if (i % 7 == 3) WriteFile(dir + "/sub/cstrike.wad", "w");
    }
    WriteFile(t / "d1299/deeper/still/cstrike.wad", "w");
    for (int round = 0; round < 20; ++round)
        ASSERT_EQ(Find(t.path()), t / "d1003/sub/cstrike.wad") << "round " << round;
}

// ---- What is entered and what counts as a file ----

TEST(TreeSearchLinks, LinkToADirectoryIsNotFollowed) {
    TempDir outside;
    WriteFile(outside / "game/cstrike.wad", "w");
    TempDir t;
    Symlink(outside / "game", t / "link");
    EXPECT_EQ(Find(t.path()), "<none>");
    // Nor does a link shadow a real directory deeper down.
    WriteFile(t / "real/deep/cstrike.wad", "w");
    EXPECT_EQ(Find(t.path()), t / "real/deep/cstrike.wad");
}

TEST(TreeSearchLinks, LinkLoopEndsTheSearch) {
    TempDir t;
    MakeDirs(t / "a/b");
    Symlink(t / "a", t / "a/b/up");
    Symlink("..", t / "a/b/parent");
    EXPECT_EQ(Find(t.path()), "<none>");
}

TEST(TreeSearchLinks, LinkToAFileCountsAsTheFile) {
    TempDir t;
    WriteFile(t / "store/data.bin", "w");
    MakeDirs(t / "game");
    Symlink(t / "store/data.bin", t / "game/cstrike.wad");
    EXPECT_EQ(Find(t / "game"), t / "game/cstrike.wad");
}

TEST(TreeSearchLinks, DanglingLinkOrLinkNamedLikeTheFileToADirectoryIsNoMatch) {
    TempDir t;
    MakeDirs(t / "a");
    MakeDirs(t / "target");
    Symlink(t / "nowhere", t / "a/cstrike.wad");
    Symlink(t / "target", t / "CStrike.wad");
    EXPECT_EQ(Find(t.path()), "<none>");
    WriteFile(t / "b/c/cstrike.wad", "w");
    EXPECT_EQ(Find(t.path()), t / "b/c/cstrike.wad");
}

TEST(TreeSearchLinks, UnreadableDirectoryIsSkipped) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not hold back root";
    TempDir t;
    WriteFile(t / "locked/cstrike.wad", "w");
    WriteFile(t / "open/x/y/cstrike.wad", "w");
    ASSERT_EQ(::chmod((t / "locked").c_str(), 0), 0);
    EXPECT_EQ(Find(t.path()), t / "open/x/y/cstrike.wad");
    ::chmod((t / "locked").c_str(), 0755);
}

TEST(TreeSearchLinks, DirectoryThatCannotBeEnteredIsSkipped) {
    // Readable but not searchable (no x bit) also holds back only non-root.
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not hold back root";
    TempDir t;
    WriteFile(t / "a/inner/cstrike.wad", "w");
    WriteFile(t / "b/inner/deeper/cstrike.wad", "w");
    ASSERT_EQ(::chmod((t / "a").c_str(), 0444), 0);
    EXPECT_EQ(Find(t.path()), t / "b/inner/deeper/cstrike.wad");
    ::chmod((t / "a").c_str(), 0755);
}

TEST(TreeSearchLinks, SpecialFilesNamedLikeTheFileAreNoMatch) {
    TempDir t;
    ASSERT_EQ(::mkfifo((t / "cstrike.wad").c_str(), 0600), 0);
    WriteFile(t / "x/cstrike.wad", "w");
    EXPECT_EQ(Find(t.path()), t / "x/cstrike.wad");
}

// ---- Pseudo file systems ----

TEST(TreeSearchSkips, PseudoFileSystemsAreTheKernelOnes) {
    EXPECT_EQ(treesearch::PseudoFileSystems(),
              (std::vector<std::string>{"/proc", "/sys", "/dev", "/run"}));
}

TEST(TreeSearchSkips, SkippedDirectoryIsLeftOutHoweverReached) {
    TempDir t;
    WriteFile(t / "sys/cstrike.wad", "w");
    WriteFile(t / "other/sys/cstrike.wad", "w");  // same name, another directory
    std::vector<std::string> skipped = {t / "sys"};
    std::string found;
    ASSERT_TRUE(treesearch::Search(t.path(), "cstrike.wad", skipped, &found));
    EXPECT_EQ(found, t / "other/sys/cstrike.wad");
    // Reached through a root spelled differently, it is still left out.
    ASSERT_TRUE(treesearch::Search(t / "other/..//", "cstrike.wad", skipped, &found));
    EXPECT_EQ(found, t / "other/..//other/sys/cstrike.wad");
}

TEST(TreeSearchSkips, SkippedDirectoryGivenAsRootIsSearched) {
    // A drive mounted below /run/media is a root of its own.
    TempDir t;
    WriteFile(t / "run/media/disk/cstrike.wad", "w");
    std::vector<std::string> skipped = {t / "run"};
    std::string found;
    EXPECT_FALSE(treesearch::Search(t.path(), "cstrike.wad", skipped, &found));
    ASSERT_TRUE(treesearch::Search(t / "run/media/disk", "cstrike.wad", skipped, &found));
    EXPECT_EQ(found, t / "run/media/disk/cstrike.wad");
}

}  // namespace
