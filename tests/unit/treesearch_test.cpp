// The tree search for a file name: where it looks, what counts as a match,
// which match wins.
#include "platform/posix/treesearch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "support/testenv.h"

using testenv::TempDir;

namespace {

// Makes a tree from entries: "a/b" a file, "a/l@t" a symbolic link a/l to
// t, "a/f|" a named pipe.
void Build(const TempDir& t, const std::vector<std::string>& entries) {
    for (const std::string& e : entries) {
        std::size_t at = e.find('@');
        if (at != std::string::npos) {
            testenv::MakeDirs(t / (e.substr(0, e.rfind('/', at) + 1)));
            ASSERT_EQ(::symlink(e.substr(at + 1).c_str(), (t / e.substr(0, at)).c_str()), 0) << e;
        } else if (e.back() == '|') {
            ASSERT_EQ(::mkfifo((t / e.substr(0, e.size() - 1)).c_str(), 0600), 0) << e;
        } else {
            testenv::WriteFile(t / e, "w");
        }
    }
}

struct Case {
    std::vector<std::string> entries;
    std::string root;      // below the tree
    std::string expected;  // below the tree; empty: nothing found
    std::string name = "x.wad";
};

const Case kCases[] = {
    {{"x.wad"}, "", "x.wad"},
    {{"a/b/c/d/x.wad", "a/b/other.txt"}, "", "a/b/c/d/x.wad"},
    // Any case matches; the name on disk comes back. Only the whole name.
    {{"g/X.Wad"}, "", "g/X.Wad", "X.wAD"},
    {{"x.wad.bak", "old_x.wad", "x.wa", "x.wad.d/x"}, "", ""},
    // A root with a trailing '/', a root that is a link (a library folder).
    {{"hl/cs/x.wad"}, "hl/", "hl/cs/x.wad"},
    {{"real/cs/x.wad", "lib@real"}, "lib", "lib/cs/x.wad"},
    // The shallowest match wins; a tie goes to the first in the listing
    // order, which folds letters to upper case and compares by components.
    {{"a/a/x.wad", "a/b/x.wad", "zzz/x.wad", "~X.WAD"}, "", "zzz/x.wad"},
    {{"de_x/x.wad", "dea/x.wad"}, "", "dea/x.wad"},
    {{"B/x.wad", "a/x.wad"}, "", "a/x.wad"},
    {{"a-/x/x.wad", "a/x/x.wad"}, "", "a/x/x.wad"},
    {{"g/x.wad", "g/X.wad", "g/X.WAD"}, "", "g/X.WAD"},
    // Links to directories are not followed, so loops end; a link to a file
    // is the file; dangling links, links to directories and pipes are not.
    {{"out/x.wad", "in/ln@../out", "in/r/deep/x.wad", "in/a/up@.."}, "in", "in/r/deep/x.wad"},
    {{"store/data.bin", "game/x.wad@../store/data.bin"}, "game", "game/x.wad"},
    {{"a/x.wad@none", "t/x", "X.wad@t", "x.wad|", "b/c/x.wad"}, "", "b/c/x.wad"},
    // Roots that are missing or a file, and an empty name, find nothing.
    {{"x.wad"}, "no-such-dir", ""},
    {{"x.wad"}, "x.wad", ""},
    {{"x.wad"}, "", "", ""},
};

class TreeSearch : public ::testing::TestWithParam<Case> {};

TEST_P(TreeSearch, FindsTheFirstMatch) {
    TempDir t;
    Build(t, GetParam().entries);
    std::string found = "<none>";
    bool ok = SearchTreeForFile(t / GetParam().root, GetParam().name, &found);
    EXPECT_EQ(found, ok ? t / GetParam().expected : "<none>");
    EXPECT_EQ(ok, !GetParam().expected.empty());
}
INSTANTIATE_TEST_SUITE_P(Trees, TreeSearch, ::testing::ValuesIn(kCases));

TEST(TreeSearchRoots, DirectoriesThatCannotBeReadOrEnteredAreSkipped) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not hold back root";
    for (mode_t mode : {0000, 0444}) {
        TempDir t;
        Build(t, {"locked/x.wad", "open/x/y/x.wad"});
        ASSERT_EQ(::chmod((t / "locked").c_str(), mode), 0);
        std::string found;
        EXPECT_TRUE(SearchTreeForFile(t.path(), "x.wad", &found));
        EXPECT_EQ(found, t / "open/x/y/x.wad") << mode;
    }
}

TEST(TreeSearchRoots, SameWinnerEveryTimeAcrossManyDirectories) {
    // Enough directories for the search to share them among threads.
    TempDir t;
    for (int i = 0; i < 300; ++i)
        Build(t, {"d" + std::to_string(1000 + i) + (i % 7 == 3 ? "/sub/x.wad" : "/sub/f")});
    for (int round = 0; round < 10; ++round) {
        std::string found;
        ASSERT_TRUE(SearchTreeForFile(t.path(), "x.wad", &found));
        ASSERT_EQ(found, t / "d1003/sub/x.wad") << "round " << round;
    }
}

TEST(TreeSearchRoots, SkippedDirectoriesAreLeftOutUnlessGivenAsTheRoot) {
    TempDir t;
    Build(t, {"sys/x.wad", "other/sys/x.wad", "run/media/disk/x.wad"});
    const std::vector<std::string> skipped = {t / "sys", t / "run"};
    std::string found;
    // However the root is spelled, the skipped directory is recognised.
    ASSERT_TRUE(treesearch::Search(t / "other/..//", "x.wad", skipped, &found));
    EXPECT_EQ(found, t / "other/..//other/sys/x.wad");
    // A drive mounted below /run/media is a root of its own.
    ASSERT_TRUE(treesearch::Search(t / "run/media/disk", "x.wad", skipped, &found));
    EXPECT_EQ(found, t / "run/media/disk/x.wad");
}

}  // namespace
