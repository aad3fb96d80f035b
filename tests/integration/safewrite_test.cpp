// Writes into directories that other accounts share: links planted at the
// destination, modes and owners kept, a directory that takes no new file,
// and map names chosen by the directory's owner.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

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
    struct {
        const char *what, *make;  // shell commands in the directory
        const char* written;      // the file that holds the new data, "" when refused
        mode_t mode;
        uid_t owner;
        const char* why;
    } cases[] = {
        {"a new file", "", "dest", 0640, self, ""},
        {"a file of mode 0604", "echo old >dest; chmod 604 dest", "dest", 0604, self, ""},
        {"a file of another user", "echo old >dest; chmod 660 dest; chown 65534:65534 dest", "dest",
         0660, kOther, ""},
        {"our link to a file", "mkdir sub; echo >sub/f; chmod 600 sub/f; ln -s sub/f dest", "sub/f",
         0600, self, ""},
        {"our dangling link", "ln -s new dest", "new", 0640, self, ""},
        {"a link of another user", "echo old >target; ln -s target dest; chown -h 65534 dest", "",
         0, 0, "/dest is a symbolic link owned by nobody, not by the user running"},
        {"our link to a link of another user",
         "echo old >target; ln -s target mid; chown -h 65534 mid; ln -s mid dest", "", 0, 0,
         "/mid is a symbolic link owned by nobody"},
        {"a loop of links", "ln -s dest dest", "", 0, 0, "Too many levels of symbolic links"},
    };
    mode_t mask = ::umask(027);
    for (const auto& c : cases) {
        if (std::strstr(c.make, "chown") && !IsRoot()) continue;  // only root gives files away
        TempDir dir;
        ASSERT_EQ(std::system(("cd " + dir.path() + " && : ; " + c.make).c_str()), 0);
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
            EXPECT_EQ(ReadFile(dir / "target"), fs::exists(dir / "target") ? "old\n" : "")
                << c.what;
        }
        for (const auto& e : fs::recursive_directory_iterator(dir.path()))
            EXPECT_THAT(e.path().filename().string(), Not(HasSubstr(".tmp-"))) << c.what;
    }
    ::umask(mask);
}

// The README's cron job runs as root in a game directory of another account,
// whose mapcycle.txt the operator may write.
TEST_F(CliTest, MapcycleInAGameDirectoryOfAnotherAccount) {
    GameTree tree{games.path()};
    for (const char* map : {"de_dust2.bsp", "de_dust_2.bsp", "de_x1.bsp", "de_x[1].bsp", "TR_a.bsp",
                            "de_n\n* * * * * root cmd.bsp"}) {
        tree.AddMap(map);
        std::string name = map;
        tree.AddPodWaypoint(name.substr(0, name.size() - 3) + "pwf", 7, "x");
    }
    std::string file = tree.cstrike() + "mapcycle.txt";
    if (IsRoot()) {
        // Links planted by the account: to a file root may write, which a
        // settings file could be too.
        std::string secret = games / "important.conf", keep = "REGEDIT4\r\n";
        WriteFile(secret, keep);
        fs::permissions(secret, fs::perms(0600));
        MakeDirs(ConfigDir());
        for (const std::string& link : {file, CuHive()}) {
            fs::create_symlink(secret, link);
            Own(link, kOther);
        }
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"--game-dir", tree.cstrike(), "mapcycle"},
              {"sites", "set", "2", "host", "127.0.0.1"}}) {
            CliResult r = Run(args);
            EXPECT_EQ(r.code, 1) << args[0];
            EXPECT_THAT(r.err, HasSubstr("is a symbolic link owned by nobody")) << args[0];
            EXPECT_EQ(ReadFile(secret), keep);
            EXPECT_EQ(Stat(secret).st_mode & 07777, 0600u);
            EXPECT_FALSE(fs::exists(file + ".bak")) << "nothing read through the link";
        }
        fs::remove(file);
        fs::remove_all(ConfigDir());
        // Everything stays root's; the program runs as another user.
        fs::permissions(games.path(), fs::perms(0755));
        fs::permissions(scratch.path(), fs::perms(0755));
        Own(home, kOther);
        uid = static_cast<int>(kOther);
    } else {
        fs::permissions(tree.cstrike(), fs::perms(0555));
    }
    // A directory that takes no new file: the file is written where it is,
    // and its previous content into the mapcycle.txt.bak the operator made.
    WriteFile(file, "old\r\n");
    WriteFile(file + ".bak", "");
    fs::permissions(file, fs::perms(0666));
    fs::permissions(file + ".bak", fs::perms(0666));
    ino_t inode = Stat(file).st_ino;
    CliResult r = Run({"--game-dir", tree.cstrike(), "--sort", "name", "mapcycle"});
    fs::permissions(tree.cstrike(), fs::perms(0755));
    EXPECT_EQ(r.code, 0) << r.err;
    // Punctuation before digits; no "tr_" map; no name that would add a line.
    EXPECT_EQ(ReadFile(file), "de_dust_2\r\nde_dust2\r\nde_x[1]\r\nde_x1\r\n");
    EXPECT_EQ(Stat(file).st_ino, inode);
    EXPECT_EQ(Stat(file).st_mode & 07777, 0666u);
    EXPECT_EQ(ReadFile(file + ".bak"), "old\r\n");
    EXPECT_THAT(r.err, HasSubstr("The map de_n\\n* * * * * root cmd has a control character in "
                                 "its name: left out of mapcycle.txt"));
}
