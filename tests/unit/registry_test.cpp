// The registry's hive files: formats and encodings, the cache, read-only
// hives, files that cannot be read, links, deletion and backup of the key,
// and threads and programs that save at once. Each test works in its own
// NODESCAN_HOME; RegistryUnload() stands for the start of a new run.
#include "platform/registry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string_view>
#include <thread>

#include "download/sites.h"
#include "platform/paths.h"
#include "support/testenv.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
constexpr Hive kCU = Hive::CurrentUser;
constexpr Hive kLM = Hive::LocalMachine;
const char* const kCuKey = "[HKEY_CURRENT_USER\\Software\\Nodescan]";
const char* const kOther = "[HKEY_CURRENT_USER\\Software\\Other]";
const std::string kV5 = "Windows Registry Editor Version 5.00";
std::vector<std::string> g_notices;

// Lines joined with CR LF, each one ended.
std::string CrLf(std::initializer_list<const char*> lines) {
    std::string s;
    for (const char* l : lines) s += std::string(l) + "\r\n";
    return s;
}

// UTF-16LE text with its byte-order mark.
std::string Utf16(std::u16string_view text) {
    std::string out = "\xFF\xFE";
    for (char16_t c : text) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return out;
}

// What a read of the value gives: a number (-1 when it fails); a text, or
// "-" and what it left of "untouched" when it fails; the bytes it put into
// a buffer of size dots, with "-" before them when it fails.
std::int64_t Dword(Hive hive, const std::string& name) {
    std::uint32_t d = 0;
    return RegKey::Open(hive, false).ReadDword(name, &d) ? std::int64_t{d} : -1;
}
std::string String(Hive hive, const std::string& name, std::size_t limit = 100) {
    std::string s = "untouched";
    return RegKey::Open(hive, false).ReadString(name, &s, limit) ? s : "-" + s;
}
std::string Binary(const std::string& name, std::size_t size) {
    std::string buf(size, '.');
    return RegKey::Open(kCU, false).ReadBinary(name, buf.data(), size) ? buf : "-" + buf;
}

// Writes dwords to the hive's key, created when missing; what Close says.
bool Store(Hive hive, std::initializer_list<std::pair<const char*, std::uint32_t>> dwords) {
    RegKey key = RegKey::Open(hive, true);
    for (auto [name, value] : dwords) EXPECT_TRUE(key.WriteDword(name, value)) << name;
    return key.Close();
}

class RegistryTest : public ::testing::Test {
  protected:
    RegistryTest() {
        Reset();
        RegistrySetNoticeSink([](const std::string& line) { g_notices.push_back(line); });
    }
    ~RegistryTest() override {
        Reset();
        RegistrySetNoticeSink(nullptr);
    }
    static void Reset() {
        RegistryUnload();
        RegistrySetReadOnly(false);
        g_notices.clear();
    }

    testenv::TempDir tmp_;
    testenv::ScopedEnv env_{"NODESCAN_HOME", tmp_.path()};
    const std::string cu_ = HiveFilePath(kCU), lm_ = HiveFilePath(kLM);
};

TEST_F(RegistryTest, WritesTheExactRegeditTextOnClose) {
    std::string site;
    for (int i = 0; i < 50; ++i) site += static_cast<char>(i);
    RegKey key = RegKey::Open(kCU, true);
    EXPECT_TRUE(RegKey::Open(kCU, false).ok());  // seen by the cache at once
    key.WriteDword("Auto Start", 10);
    key.WriteString("CSDir", "C:\\Games\\\"cs\"\\");
    key.WriteString("Say \"hi\"", "caf\xE9");
    key.WriteBinary("Site0", site.data(), site.size());
    key.WriteString("Empty", "");
    key.WriteDword("auto START", 11);  // same value, its first spelling and place stay
    EXPECT_FALSE(fs::exists(cu_));
    EXPECT_TRUE(key.Close());
    EXPECT_EQ(fs::status(cu_).permissions(), fs::perms(0600));
    EXPECT_EQ(fs::status(ConfigDir()).permissions(), fs::perms(0700));
    EXPECT_EQ(
        testenv::ReadFile(cu_),
        CrLf({"REGEDIT4", "", kCuKey, "\"Auto Start\"=dword:0000000b",
              "\"CSDir\"=\"C:\\\\Games\\\\\\\"cs\\\"\\\\\"",
              "\"Say \\\"hi\\\"\"=hex(1):63,61,66,e9",
              "\"Site0\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\",
              "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\",
              "  2f,30,31", "\"Empty\"=\"\"", ""}));
    // Strings within a limit of bytes; any value as its bytes, as
    // RegQueryValueEx gives them, into a buffer that holds them.
    EXPECT_THAT((std::vector{String(kCU, "CSDir", 13), String(kCU, "Auto Start"),
                             String(kCU, "CSDir", 14)}),
                ElementsAre("-untouched", "-untouched", "C:\\Games\\\"cs\"\\"));
    EXPECT_THAT((std::vector{Binary("Site0", 6), Binary("Auto Start", 6), Binary("Say \"hi\"", 6)}),
                ElementsAre("-......", std::string("\x0b\0\0\0..", 6), "caf\xE9.."));
}

// A hive file as a program or a person left it, and what it reads as: texts
// and numbers (-1: fails).
struct FileCase {
    const char* what;
    Hive hive;
    std::string text;
    std::vector<std::pair<const char*, const char*>> strings;
    std::vector<std::pair<const char*, std::int64_t>> dwords;
};

// A hive file of one key [K] holding line.
std::string InKey(const char* line) {
    return CrLf({"REGEDIT4", "[K]", line});
}

// clang-format off
const FileCase kFileCases[] = {
    {"REGEDIT4, CR LF", kCU,
     CrLf({"REGEDIT4", "", kCuKey, "\"S\"=\"a\\\\b\\\"c\"", "\"H\"=hex(1):63,e9,00,64",
           "\"Version\"=hex:fa,00", "\"V1\"=hex:fa", "\"V4\"=hex:01,02,03,04",
           "\"V5\"=hex:01,02,03,04,05", "\"E\"=hex:", "\"T\"=\"ab\""}),
     {{"S", "a\\b\"c"}, {"H", "c\xE9"}},
     {{"Version", 250}, {"V1", 250}, {"V4", 0x04030201}, {"V5", -1}, {"E", 0}, {"T", 0x6261}}},
    {"REGEDIT4 by hand, UTF-8 byte-order mark, LF", kLM,
     "\xEF\xBB\xBF" "REGEDIT4\n\n; by hand\n[HKEY_LOCAL_MACHINE\\Software\\Other]\n"
     "\"X\"=hex(2):41,00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\NODESCAN]  \n\"CSDir\"=\"/cs\"\n"
     "\"Blob\"=hex:01,02,\\\n    03 ,\\\n  04\n@=\"default\"\n\"Count\" = dword:1F\n",
     {{"csdir", "/cs"}, {"", "default"}}, {{"COUNT", 31}, {"Blob", 0x04030201}}},
    {"names given twice", kCU,
     CrLf({"REGEDIT4", kCuKey, "\"A\"=dword:1", "[hkey_current_user\\software\\nodescan]",
           "\"a\"=\"two\"", "\"\\n\\r\"=hex(0):", "@=hex(4):01,02"}),
     {{"A", "two"}}, {{"\n\r", 0}, {"", 0x0201}}},
    {"version 5, UTF-16LE", kCU,
     Utf16(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Nodescan]"
           u"\r\n\"S\"=\"caf\u00e9 \u20ac\U0001F600\"\r\n\"H\"=hex(1):63,00,e9,00,00,00\r\n"
           u"\"D\"=dword:2\r\n"),
     {{"S", "caf\xC3\xA9 \xE2\x82\xAC\xF0\x9F\x98\x80"}, {"H", "c\xC3\xA9"}}, {{"D", 2}}},
    {"version 5, UTF-8 byte-order mark", kCU,
     "\xEF\xBB\xBF" + CrLf({kV5.c_str(), kCuKey, "\"S\"=\"caf\xC3\xA9\"",
                            "\"H\"=hex(1):3d,d8,00,de,00,00"}),
     {{"S", "caf\xC3\xA9"}, {"H", "\xF0\x9F\x98\x80"}}, {}},
    {"version 5, UTF-8, LF", kCU, kV5 + "\n" + kCuKey + "\n\"H\"=hex(1):41,00,42,00\n",
     {{"H", "AB"}}, {}},
    {"32-bit key of a 64-bit Windows", kLM,
     CrLf({"REGEDIT4", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Nodescan]",
           "\"CSDir\"=\"/w\""}),
     {{"CSDir", "/w"}}, {}},
};

// Files that are moved aside: not a hive, malformed UTF-16 (an odd count, a
// lone surrogate, in hex(1)), a value before any key, bad keys, and a key's
// bad lines (numbers, hex, continued past the end, strings, a deletion).
const std::string kBadFiles[] = {
    "garbage\n", "REGEDIT5\r\n", "Windows Registry Editor Version 4.00\r\n",
    Utf16(u"Windows Registry Editor Version 5.00\r\n") + "x",
    Utf16(u"Windows Registry Editor Version 5.00\r\n\xDC00"),
    CrLf({kV5.c_str(), kCuKey, "\"H\"=hex(1):41"}), CrLf({"REGEDIT4", "\"A\"=dword:1"}),
    CrLf({"REGEDIT4", "[-K]"}), CrLf({"REGEDIT4", "[K"}), CrLf({"REGEDIT4", "[]"}),
    InKey("\"A\"=dword:123456789"), InKey("\"A\"=dword:"), InKey("\"A\"=hex:1,,2"),
    InKey("\"A\"=hex:123"), InKey("\"A\"=hex:0g"), InKey("\"A\"=hex:01,\\"),
    InKey("\"A\"=hex(zz):01"), InKey("\"A\"=\"open"), InKey("\"A\"=\"x\" trailing"),
    InKey("\"A\"=\"bad \\q\""), InKey("\"A\"=-"), InKey("\"A\""), InKey("A=dword:1")};
// clang-format on

TEST_F(RegistryTest, ReadsHiveFilesOfEveryFormatOrMovesThemAside) {
    for (const FileCase& c : kFileCases) {
        SCOPED_TRACE(c.what);
        RegistryUnload();
        testenv::WriteFile(HiveFilePath(c.hive), c.text);
        // Read as written, and again once this program has added a value.
        for (int pass = 0; pass < 2; ++pass, RegistryUnload()) {
            for (auto [name, text] : c.strings) EXPECT_EQ(String(c.hive, name), text) << name;
            for (auto [name, number] : c.dwords) EXPECT_EQ(Dword(c.hive, name), number) << name;
            EXPECT_TRUE(Store(c.hive, {{"Added", 1}}));
        }
        EXPECT_EQ(testenv::ReadFile(HiveFilePath(c.hive)).rfind("REGEDIT4\r\n", 0), 0u);
    }
    EXPECT_TRUE(g_notices.empty());
    std::set<std::string> moved;
    for (const std::string& text : kBadFiles) {
        SCOPED_TRACE(text);
        Reset();
        testenv::WriteFile(cu_, text);
        // A read-only run leaves it, and never overwrites it, not even once
        // writing is allowed again; a writable run moves it aside.
        RegistrySetReadOnly(true);
        EXPECT_TRUE(Store(kCU, {{"A", 1}}));
        RegistrySetReadOnly(false);
        EXPECT_FALSE(Store(kCU, {{"A", 2}}));
        EXPECT_EQ(testenv::ReadFile(cu_), text);
        RegistryUnload();
        EXPECT_FALSE(RegKey::Open(kCU, false).ok());
        ASSERT_EQ(g_notices.size(), 2u);
        std::string to = g_notices[1].substr(g_notices[1].find(" to ") + 4);
        EXPECT_THAT(
            g_notices,
            ElementsAre("Settings file " + cu_ + " could not be read; settings will not be saved",
                        "Settings file could not be read; moved aside to " + to));
        EXPECT_EQ(testenv::ReadFile(to), text);
        EXPECT_TRUE(moved.insert(to).second);  // a name of its own, also within one second
        EXPECT_TRUE(Store(kCU, {{"A", 1}}));   // goes on as missing, written afresh
    }
}

// A hive that is a symbolic link is written through it (the link stays, the
// file keeps its mode); one
// that is no regular file (the open must not block) is never overwritten.
TEST_F(RegistryTest, HiveThatIsALinkOrNoRegularFile) {
    testenv::TempDir dots;  // a dotfiles repository
    const std::string target = dots / "cu.reg", link = dots / "link";
    auto fifo = [&] { ::mkfifo(cu_.c_str(), 0600); };
    const std::tuple<const char*, bool, std::function<void()>> cases[] = {
        // afterLoad: made
        {"link", false,
         [&] { fs::create_symlink(target, cu_); }},  // after the load, before the save
        {"relative link", false,
         [&] { fs::create_symlink(fs::relative(target, ConfigDir()), cu_); }},
        {"chain", false,
         [&] { fs::create_symlink("cu.reg", link), fs::create_symlink(link, cu_); }},
        {"dangling link", false, [&] { fs::remove(target), fs::create_symlink(target, cu_); }},
        {"named pipe", false, fifo},
        {"directory", false, [&] { fs::create_directory(cu_); }},
        {"link to a device", false, [&] { fs::create_symlink("/dev/null", cu_); }},
        {"named pipe after the load", true, fifo}};
    testenv::MakeDirs(ConfigDir());
    for (const auto& [what, afterLoad, make] : cases) {
        SCOPED_TRACE(what);
        Reset();
        fs::remove_all(cu_), fs::remove(link);
        testenv::WriteFile(target, CrLf({"REGEDIT4", kCuKey, "\"Old\"=dword:1"}));
        fs::permissions(target, fs::perms(0640));
        if (!afterLoad) make();
        bool saves = fs::is_symlink(cu_) && fs::status(cu_).type() != fs::file_type::character;
        bool old = saves && fs::exists(target);
        RegKey::Open(kCU, false);  // loads the hive
        if (afterLoad) make();
        fs::file_type type = fs::symlink_status(cu_).type();
        EXPECT_EQ(Store(kCU, {{"New", 1}}), saves);
        EXPECT_EQ(fs::symlink_status(cu_).type(), type);  // a link stays a link
        if (saves) {
            RegistryUnload();
            EXPECT_EQ(Dword(kCU, "New"), 1);
            EXPECT_EQ(Dword(kCU, "Old"), old ? 1 : -1);
            EXPECT_EQ(fs::status(target).permissions(), fs::perms(old ? 0640 : 0600));  // kept
            EXPECT_TRUE(fs::exists(target + ".lock") && !fs::exists(cu_ + ".lock"));
            continue;
        }
        EXPECT_FALSE(RegDeleteKey(kCU));
        EXPECT_THAT(g_notices, ElementsAre("Settings file " + cu_ +
                                           " could not be read (not a regular file); "
                                           "settings will not be saved"));
    }
}

TEST_F(RegistryTest, ReadOnlyHiveWritesNothing) {
    RegistrySetReadOnly(true);
    EXPECT_TRUE(Store(kCU, {{"Version", 250}}));
    EXPECT_FALSE(fs::exists(ConfigDir()));
    EXPECT_EQ(Dword(kCU, "Version"), 250);  // the cache has it
    EXPECT_TRUE(RegDeleteKey(kCU));
    EXPECT_EQ(Dword(kCU, "Version"), -1);

    // A write while the hive was read-only never reaches the file, not even
    // with a later save; the other hive is saved meanwhile.
    RegistrySetReadOnly(false);
    EXPECT_TRUE(Store(kCU, {{"Kept", 1}}));
    RegistrySetReadOnly(kCU, true);
    EXPECT_TRUE(Store(kCU, {{"Kept", 2}, {"Start", 3}}));
    EXPECT_EQ(Dword(kCU, "Kept"), 2);
    EXPECT_TRUE(Store(kLM, {{"M", 1}}));
    RegistrySetReadOnly(kCU, false);
    EXPECT_TRUE(Store(kCU, {{"Later", 4}}));
    RegistryUnload();
    EXPECT_THAT((std::vector{Dword(kCU, "Kept"), Dword(kCU, "Start"), Dword(kCU, "Later"),
                             Dword(kLM, "M")}),
                ElementsAre(1, -1, 4, 1));
    // Unlike a run that changes nothing on disk, a read-only hive's damaged
    // file is still moved aside.
    RegistrySetReadOnly(kCU, true);
    testenv::WriteFile(cu_, "garbage\n");
    RegistryUnload();
    EXPECT_EQ(Dword(kCU, "Kept"), -1);
    EXPECT_FALSE(fs::exists(cu_));
}

TEST_F(RegistryTest, SaveKeepsWhatAnotherProgramWroteMeanwhile) {
    EXPECT_TRUE(Store(kCU, {{"Mine", 1}, {"Same", 1}}));
    RegistryUnload();
    RegKey key = RegKey::Open(kCU, false);
    testenv::WriteFile(cu_, CrLf({"REGEDIT4", kCuKey, "\"Mine\"=dword:1", "\"Same\"=dword:7",
                                  "\"Theirs\"=dword:5", kOther, "\"O\"=\"o\""}));
    EXPECT_TRUE(key.WriteDword("Mine", 2));
    EXPECT_TRUE(key.WriteDword("Same", 1));  // as this program read it: no change
    EXPECT_TRUE(key.Close());
    EXPECT_EQ(Dword(kCU, "Theirs"), 5);  // this program sees the merged hive
    RegistryUnload();
    EXPECT_THAT((std::vector{Dword(kCU, "Mine"), Dword(kCU, "Same"), Dword(kCU, "Theirs")}),
                ElementsAre(2, 7, 5));
    // A key that another program deleted meanwhile is saved whole.
    testenv::WriteFile(cu_, CrLf({"REGEDIT4", kOther, "\"O\"=\"o\""}));
    EXPECT_TRUE(Store(kCU, {{"Mine", 3}}));
    RegistryUnload();
    EXPECT_EQ(Dword(kCU, "Theirs"), 5);
    // A deletion of the key takes what another program added meanwhile too.
    testenv::WriteFile(cu_, CrLf({"REGEDIT4", kCuKey, "\"Late\"=dword:1", kOther, "\"O\"=\"o\""}));
    EXPECT_TRUE(RegDeleteKey(kCU));
    EXPECT_EQ(testenv::ReadFile(cu_), CrLf({"REGEDIT4", "", kOther, "\"O\"=\"o\"", ""}));
}

TEST_F(RegistryTest, DeleteAndBackUpTheKey) {
    EXPECT_TRUE(RegDeleteKey(kCU));  // missing: fine, and nothing is made
    EXPECT_EQ(RegBackupKey(kCU), "");
    EXPECT_FALSE(fs::exists(ConfigDir()));
    const char* const key = "[HKEY_LOCAL_MACHINE\\Software\\Nodescan]";
    const char* const keep = "[HKEY_LOCAL_MACHINE\\Software\\Keep]";
    testenv::WriteFile(lm_,
                       CrLf({"REGEDIT4", key, "\"CSDir\"=\"/a\"",
                             "[HKEY_LOCAL_MACHINE\\Software\\Nodescan\\Sub]", keep, "@=\"k\""}));
    const std::string copy = RegBackupKey(kLM);
    EXPECT_EQ(copy.rfind(lm_ + ".backup-2", 0), 0u) << copy;
    EXPECT_EQ(testenv::ReadFile(copy), CrLf({"REGEDIT4", "", key, "\"CSDir\"=\"/a\"", ""}));
    EXPECT_EQ(fs::status(copy).permissions(), fs::perms(0600));
    EXPECT_NE(RegBackupKey(kLM), copy);  // a name of its own, also within one second
    EXPECT_TRUE(RegDeleteKey(kLM));      // with the key below it
    EXPECT_EQ(testenv::ReadFile(lm_), CrLf({"REGEDIT4", "", keep, "@=\"k\"", ""}));
    EXPECT_TRUE(Store(kCU, {{"Default Bot", 3}}));
    EXPECT_TRUE(RegDeleteKey(kCU));  // the last key gone, the file goes
    EXPECT_FALSE(fs::exists(cu_));

    // A file that cannot be rewritten: a directory where its lock belongs.
    EXPECT_TRUE(Store(kCU, {{"Default Bot", 3}}));
    fs::remove(cu_ + ".lock");
    fs::create_directory(cu_ + ".lock");
    EXPECT_EQ(RegBackupKey(kCU), "");
    EXPECT_FALSE(RegDeleteKey(kCU));
    EXPECT_NE(testenv::ReadFile(cu_).find("Default Bot"), std::string::npos);
}

// The window's threads and two nodescan-cli runs save at once: the threads
// add values to both hives while each run changes one site row (A rows 0, 2,
// 4 in turn, B rows 1, 3, 5), saving only that row. Every value remains.
TEST_F(RegistryTest, ThreadsAndProgramsSavingAtOnceLoseNothing) {
    testenv::TempDir games;
    testenv::GameTree tree(games.path());
    testenv::ScopedEnv roots("NODESCAN_SEARCH_ROOTS", games.path()), online("NODESCAN_ONLINE", "0"),
        cli("CLI", NODESCAN_CLI_PATH);
    // A ThreadSanitizer build of the program would wait a second at each exit.
    const char* tsan = std::getenv("TSAN_OPTIONS");
    testenv::ScopedEnv quick("TSAN_OPTIONS", std::string(tsan ? tsan : "") + ":atexit_sleep_ms=0");
    const std::string put = "put() { \"$CLI\" sites set $1 name $2 </dev/null >/dev/null 2>&1; }\n";
    ASSERT_EQ(std::system((put + "put 0 Seed").c_str()), 0);  // the first run writes every row
    const std::string runs =
        put +
        "runs() { for i in $(seq 1 21); do put $(((i - 1) % 3 * 2 + $1)) $2$i "
        "|| return 1; done; }\nruns 0 A & a=$!; runs 1 B; b=$?; wait $a && exit $b";
    std::thread programs([&] { EXPECT_EQ(std::system(runs.c_str()), 0); });
    auto writer = [](Hive hive, const std::string& prefix) {
        for (int i = 0; i < 30; ++i)
            EXPECT_TRUE(Store(hive, {{(prefix + std::to_string(i)).c_str(), i}}));
    };
    std::thread a(writer, kCU, "A"), b(writer, kLM, "B"), c(writer, kCU, "C");
    for (std::thread* t : {&a, &b, &c}) t->join();
    programs.join();
    RegistryUnload();
    for (int i = 0; i < 30; ++i)
        for (auto [hive, prefix] : {std::pair{kCU, "A"}, {kLM, "B"}, {kCU, "C"}})
            EXPECT_EQ(Dword(hive, prefix + std::to_string(i)), i) << prefix << i;
    for (int row = 0; row < 6; ++row) {
        SiteRecord site{};
        EXPECT_TRUE(RegKey::Open(kCU, false).ReadBinary("Site" + std::to_string(row), &site, 180));
        EXPECT_EQ(site.name, (row % 2 ? "B" : "A") + std::to_string(19 + row / 2));
    }
}

}  // namespace
