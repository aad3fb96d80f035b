// Writes into directories that other accounts share: links planted at the
// destination, modes and owners kept, a directory that takes no new file;
// and the names and texts that users and directory owners choose.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "platform/files.h"
#include "support/cli.h"

using namespace testenv;
using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

namespace {
constexpr uid_t kOther = 65534;  // nobody

struct stat Stat(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

void Own(const std::string& path, uid_t uid) {
    ASSERT_EQ(::lchown(path.c_str(), uid, uid), 0) << path;
}

bool IsRoot() {
    return ::geteuid() == 0;
}
}  // namespace

TEST(SafeWrite, LinksOfOtherUsersAreNeverFollowedAndModesAreKept) {
    const uid_t self = ::geteuid();
    struct Case {
        const char* what;
        std::function<void(const TempDir&)> make;
        bool needsRoot;
        const char* written;  // the file that holds the new data, "" when refused
        mode_t mode;
        uid_t owner;
        const char* why;
    } cases[] = {
        {"a new file", [](const TempDir&) {}, false, "dest", 0640, self, ""},
        {"a file of mode 0604",
         [](const TempDir& d) {
             WriteFile(d / "dest", "old"), fs::permissions(d / "dest", fs::perms(0604));
         },
         false, "dest", 0604, self, ""},
        {"a file of another user",
         [](const TempDir& d) {
             WriteFile(d / "dest", "old"), fs::permissions(d / "dest", fs::perms(0660));
             Own(d / "dest", kOther);
         },
         true, "dest", 0660, kOther, ""},
        {"our link to a file",
         [](const TempDir& d) {
             WriteFile(d / "sub/target", "old"), fs::permissions(d / "sub/target", fs::perms(0600));
             fs::create_symlink("sub/target", d / "dest");
         },
         false, "sub/target", 0600, self, ""},
        {"our dangling link", [](const TempDir& d) { fs::create_symlink("new", d / "dest"); },
         false, "new", 0640, self, ""},
        {"a link of another user",
         [](const TempDir& d) {
             WriteFile(d / "target", "old"), fs::permissions(d / "target", fs::perms(0600));
             fs::create_symlink("target", d / "dest");
             Own(d / "dest", kOther);
         },
         true, "", 0, 0, "/dest is a symbolic link owned by nobody, not by the user running"},
        {"our link to a link of another user",
         [](const TempDir& d) {
             WriteFile(d / "target", "old");
             fs::create_symlink("target", d / "mid");
             Own(d / "mid", kOther);
             fs::create_symlink("mid", d / "dest");
         },
         true, "", 0, 0, "/mid is a symbolic link owned by nobody"},
        {"a loop of links", [](const TempDir& d) { fs::create_symlink("dest", d / "dest"); }, false,
         "", 0, 0, "Too many levels of symbolic links"},
    };
    mode_t mask = ::umask(027);
    for (const Case& c : cases) {
        if (c.needsRoot && !IsRoot()) continue;  // only root can give a file away
        TempDir dir;
        c.make(dir);
        std::string why;
        bool ok = WriteFileAtomic(dir / "dest", "new", 0666, &why);
        EXPECT_EQ(ok, *c.written != 0) << c.what << ": " << why;
        if (ok) {
            struct stat st = Stat(dir / c.written);
            EXPECT_EQ(ReadFile(dir / c.written), "new") << c.what;
            EXPECT_EQ(st.st_mode & 07777, c.mode) << c.what;
            EXPECT_EQ(st.st_uid, c.owner) << c.what;
        } else {
            EXPECT_THAT(why, HasSubstr(c.why)) << c.what;
            EXPECT_EQ(ReadFile(dir / "target"), fs::exists(dir / "target") ? "old" : "") << c.what;
        }
        for (const auto& e : fs::recursive_directory_iterator(dir.path()))
            EXPECT_THAT(e.path().filename().string(), Not(HasSubstr(".tmp-"))) << c.what;
    }
    ::umask(mask);
}

// The README's cron job runs as root in a game directory of another account.
TEST_F(CliTest, MapcycleAndSettingsAreNeverWrittenThroughAPlantedLink) {
    if (!IsRoot()) GTEST_SKIP() << "only root can plant a link of another user";
    GameTree tree{games.path()};
    tree.AddMap("de_dust.bsp");
    tree.AddPodWaypoint("de_dust.pwf", 7, "x");
    // A file root may write, which a settings file could be too.
    std::string secret = games / "important.conf", keep = "REGEDIT4\r\n";
    WriteFile(secret, keep);
    fs::permissions(secret, fs::perms(0600));
    fs::create_symlink(secret, tree.cstrike() + "mapcycle.txt");
    Own(tree.cstrike() + "mapcycle.txt", kOther);
    MakeDirs(ConfigDir());
    fs::create_symlink(secret, CuHive());
    Own(CuHive(), kOther);

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--game-dir", tree.cstrike(), "mapcycle"},
          {"sites", "set", "2", "host", "127.0.0.1"}}) {
        CliResult r = Run(args);
        EXPECT_EQ(r.code, 1) << args[0];
        EXPECT_THAT(r.err, HasSubstr("is a symbolic link owned by nobody")) << args[0];
        EXPECT_EQ(ReadFile(secret), keep);
        EXPECT_EQ(Stat(secret).st_mode & 07777, 0600u);
    }
}

// A server's game directory of another account, with a mapcycle.txt that
// the operator's group may write: the file is written where it is.
TEST_F(CliTest, MapcycleIsWrittenInPlaceWhereTheDirectoryTakesNoNewFile) {
    GameTree tree{games.path()};
    for (const char* map : {"de_dust2.bsp", "de_dust_2.bsp", "de_x1.bsp", "de_x[1].bsp", "TR_a.bsp",
                            "de_n\n* * * * * root cmd.bsp"}) {
        tree.AddMap(map);
        std::string name = map;
        tree.AddPodWaypoint(name.substr(0, name.size() - 3) + "pwf", 7, "x");
    }
    std::string file = tree.cstrike() + "mapcycle.txt";
    WriteFile(file, "old\r\n");
    fs::permissions(file, fs::perms(0666));
    ino_t inode = Stat(file).st_ino;
    if (IsRoot()) {
        // Everything stays root's; the program runs as another user.
        fs::permissions(games.path(), fs::perms(0755));
        fs::permissions(scratch.path(), fs::perms(0755));
        Own(home, kOther);
        uid = static_cast<int>(kOther);
    } else {
        fs::permissions(tree.cstrike(), fs::perms(0555));
    }
    CliResult r = Run({"--game-dir", tree.cstrike(), "--sort", "name", "mapcycle"});
    fs::permissions(tree.cstrike(), fs::perms(0755));
    EXPECT_EQ(r.code, 0) << r.err;
    // Punctuation before digits; no "tr_" map; no name that would add a line.
    EXPECT_EQ(ReadFile(file), "de_dust_2\r\nde_dust2\r\nde_x[1]\r\nde_x1\r\n");
    EXPECT_EQ(Stat(file).st_ino, inode);
    EXPECT_EQ(Stat(file).st_mode & 07777, 0666u);
    EXPECT_THAT(r.err, HasSubstr("The map de_n\\n* * * * * root cmd has a control character in "
                                 "its name: left out of mapcycle.txt"));
}

TEST_F(CliTest, TypedTextIsCheckedBeforeAnythingIsStoredAndShownEscaped) {
    GameTree tree{games.path()};
    struct {
        std::vector<std::string> args;
        const char* err;
    } refused[] = {
        {{"config", "set", "bot", "0", "ext", "a/b"}, "1 to 4 letters or digits, not \"a/b\""},
        {{"config", "set", "bot", "0", "ext", "../x"}, "1 to 4 letters or digits"},
        {{"config", "set", "bot", "0", "ext", "p\nw"}, "not \"p\\nw\""},
        {{"config", "set", "bot", "0", "ext", "\xff"}, "1 to 4 letters or digits"},
        {{"config", "set", "bot", "0", "ext", ""}, "1 to 4 letters or digits"},
        {{"config", "set", "bot", "0", "ext", "pwf12"}, "1 to 4 letters or digits"},
        {{"sites", "set", "1", "dir", "/w\r\nX-Evil: 1"}, "holds no control character"},
        {{"sites", "set", "1", "host", "a\tb"}, "holds no control character"},
        {{"--bot", "\x1b[2J", "check"}, "Unknown bot: \\x1b[2J"},
        {{"--game-dir", "/no\x1b[2J", "check"}, "no such directory: /no\\x1b[2J"},
        {{"--sort", "\x1b[2J", "check"}, "\\x1b[2J"},
        {{"config", "set", "bot", "\x1b[2J", "dir", "/x"}, "Unknown bot: \\x1b[2J"},
    };
    for (const auto& c : refused) {
        CliResult r = Run(c.args);
        EXPECT_EQ(r.code, 2) << c.err;
        EXPECT_THAT(r.err, HasSubstr(c.err));
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << c.err;
    }
    EXPECT_FALSE(fs::exists(CuHive())) << "nothing stored";
    EXPECT_EQ(Run({"config", "set", "bot", "0", "ext", "Wp2"}).code, 0);
    EXPECT_EQ(RunJson({"bots", "--json"})[0]["ext"], "Wp2");
}
