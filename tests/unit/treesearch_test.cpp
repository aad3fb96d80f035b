// The tree search for a file name: where it looks, what counts as a match,
// which match wins, and which directories it leaves out.
#include "platform/posix/treesearch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "support/testenv.h"

namespace {

// Makes a tree below t from entries: "a/b" a file, "a/l@t" a symbolic link
// a/l to t, "a/f|" a named pipe, "a/d%444" directory a/d given that mode.
void Build(const testenv::TempDir& t, const std::vector<std::string>& entries) {
    for (const std::string& e : entries) {
        std::size_t at = e.find('@'), mode = e.find('%');
        if (at != std::string::npos) {
            testenv::MakeDirs(t / (e.substr(0, e.rfind('/', at) + 1)));
            ASSERT_EQ(::symlink(e.substr(at + 1).c_str(), (t / e.substr(0, at)).c_str()), 0) << e;
        } else if (mode != std::string::npos) {
            auto bits = static_cast<mode_t>(std::stoi(e.substr(mode + 1), nullptr, 8));
            ASSERT_EQ(::chmod((t / e.substr(0, mode)).c_str(), bits), 0) << e;
        } else if (e.back() == '|') {
            ASSERT_EQ(::mkfifo((t / e.substr(0, e.size() - 1)).c_str(), 0600), 0) << e;
        } else {
            testenv::WriteFile(t / e, "w");
        }
    }
}

// Enough directories for the search to share them among threads.
std::vector<std::string> ManyDirectories() {
    std::vector<std::string> out;
    for (int i = 0; i < 300; ++i)
        out.push_back("d" + std::to_string(1000 + i) + (i % 7 == 3 ? "/sub/x.wad" : "/sub/f"));
    return out;
}

struct Case {
    std::vector<std::string> entries;
    std::string root;      // below the tree
    std::string expected;  // below the tree; empty: nothing found
    std::string name = "x.wad";
    std::vector<std::string> skipped = {};  // below the tree; none: the system's
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
    {ManyDirectories(), "", "d1003/sub/x.wad"},
    // Links to directories are not followed, so loops end; a link to a file
    // is the file; dangling links, links to directories and pipes are not.
    {{"out/x.wad", "in/ln@../out", "in/r/deep/x.wad", "in/a/up@.."}, "in", "in/r/deep/x.wad"},
    {{"store/data.bin", "game/x.wad@../store/data.bin"}, "game", "game/x.wad"},
    {{"a/x.wad@none", "t/x", "X.wad@t", "x.wad|", "b/c/x.wad"}, "", "b/c/x.wad"},
    // Directories that cannot be read or entered are left out, and skipped
    // ones however the root is spelled, unless one is the root (a drive
    // mounted below /run/media).
    {{"locked/x.wad", "locked%0", "open/x/y/x.wad"}, "", "open/x/y/x.wad"},
    {{"locked/x.wad", "locked%444", "open/x/y/x.wad"}, "", "open/x/y/x.wad"},
    {{"sys/x.wad", "other/sys/x.wad"}, "other/..//", "other/..//other/sys/x.wad", "x.wad", {"sys"}},
    {{"run/media/disk/x.wad"}, "run/media/disk", "run/media/disk/x.wad", "x.wad", {"run"}},
    // Roots that are missing or a file, and an empty name, find nothing.
    {{"x.wad"}, "no-such-dir", ""},
    {{"x.wad"}, "x.wad", ""},
    {{"x.wad"}, "", "", ""},
};

class TreeSearch : public ::testing::TestWithParam<Case> {};

TEST_P(TreeSearch, FindsTheFirstMatchEveryTime) {
    const Case& c = GetParam();
    for (const std::string& e : c.entries)
        if (e.find('%') != std::string::npos && ::geteuid() == 0)
            GTEST_SKIP() << "permissions do not hold back root";
    testenv::TempDir t;
    Build(t, c.entries);
    std::vector<std::string> skipped;
    for (const std::string& s : c.skipped) skipped.push_back(t / s);
    for (int round = 0; round < 10; ++round) {
        std::string found = "<none>";
        bool ok = skipped.empty() ? SearchTreeForFile(t / c.root, c.name, &found)
                                  : treesearch::Search(t / c.root, c.name, skipped, &found);
        ASSERT_EQ(found, ok ? t / c.expected : "<none>") << "round " << round;
        ASSERT_EQ(ok, !c.expected.empty());
    }
}
INSTANTIATE_TEST_SUITE_P(Trees, TreeSearch, ::testing::ValuesIn(kCases));

}  // namespace
