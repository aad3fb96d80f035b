// The registry's hive files: format, cache, read-only mode, corrupt files,
// key deletion and threads. Each test works in its own NODESCAN_HOME;
// RegistryUnload() stands for the start of a new run.
#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <latch>
#include <thread>
#include <vector>

#include "platform/paths.h"
#include "platform/posix/regfile.h"
#include "support/testenv.h"

namespace {

std::vector<std::string> g_notices;
void CollectNotice(const std::string& line) {
    g_notices.push_back(line);
}

// Lines joined with CR LF, each one ended.
std::string CrLf(std::initializer_list<const char*> lines) {
    std::string s;
    for (const char* l : lines) s += std::string(l) + "\r\n";
    return s;
}

unsigned Mode(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// The files of the config directory whose names begin with prefix.
std::vector<std::string> FilesStartingWith(const std::string& prefix) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(ConfigDir(), ec))
        if (e.path().filename().string().rfind(prefix, 0) == 0) found.push_back(e.path().string());
    return found;
}

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegistryUnload();
        RegistrySetReadOnly(false);
        g_notices.clear();
        RegistrySetNoticeSink(&CollectNotice);
    }
    void TearDown() override {
        RegistryUnload();
        RegistrySetReadOnly(false);
        RegistrySetNoticeSink(nullptr);
    }

    testenv::TempDir tmp_;
    testenv::ScopedEnv env_{"NODESCAN_HOME", tmp_.path()};
};

TEST_F(RegistryTest, MissingHiveDoesNotOpenWithoutCreate) {
    EXPECT_FALSE(RegKey::Open(Hive::CurrentUser, false).ok());
    EXPECT_FALSE(Exists(HiveFilePath(Hive::CurrentUser)));
    EXPECT_TRUE(g_notices.empty());
}

TEST_F(RegistryTest, CreatedKeyIsWrittenOnClose) {
    RegKey key = RegKey::Open(Hive::CurrentUser, true);
    ASSERT_TRUE(key.ok());
    EXPECT_TRUE(RegKey::Open(Hive::CurrentUser, false).ok());  // seen by the cache at once
    EXPECT_FALSE(Exists(HiveFilePath(Hive::CurrentUser)));
    EXPECT_TRUE(key.Close());
    EXPECT_EQ(testenv::ReadFile(HiveFilePath(Hive::CurrentUser)),
              CrLf({"REGEDIT4", "", "[HKEY_CURRENT_USER\\Software\\Nodescan]", ""}));
    EXPECT_EQ(Mode(HiveFilePath(Hive::CurrentUser)), 0600u);
    EXPECT_EQ(Mode(ConfigDir()), 0700u);
    RegistryUnload();
    EXPECT_TRUE(RegKey::Open(Hive::CurrentUser, false).ok());
    EXPECT_FALSE(RegKey::Open(Hive::LocalMachine, false).ok());
}

TEST_F(RegistryTest, AllThreeTypesSurviveAReload) {
    std::vector<unsigned char> row(536);
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<unsigned char>(i * 7 + 3);
    {
        RegKey key = RegKey::Open(Hive::CurrentUser, true);
        EXPECT_TRUE(key.WriteDword("Default Bot", 0xDEADBEEF));
        EXPECT_TRUE(key.WriteString("Name", "C:\\Sierra\\Half-Life\\cstrike\\"));
        EXPECT_TRUE(key.WriteBinary("Bots0", row.data(), row.size()));
        EXPECT_TRUE(key.Close());
    }
    RegistryUnload();
    RegKey key = RegKey::Open(Hive::CurrentUser, false);
    ASSERT_TRUE(key.ok());
    std::uint32_t d = 0;
    EXPECT_TRUE(key.ReadDword("Default Bot", &d));
    EXPECT_EQ(d, 0xDEADBEEFu);
    std::string s;
    EXPECT_TRUE(key.ReadString("Name", &s, 259));
    EXPECT_EQ(s, "C:\\Sierra\\Half-Life\\cstrike\\");
    std::vector<unsigned char> back(536, 0);
    EXPECT_TRUE(key.ReadBinary("Bots0", back.data(), back.size()));
    EXPECT_EQ(back, row);

    // Regedit's wrapping keeps every line within 80 columns.
    std::string text = testenv::ReadFile(HiveFilePath(Hive::CurrentUser));
    std::size_t start = 0, end;
    while ((end = text.find("\r\n", start)) != std::string::npos) {
        EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
        start = end + 2;
    }
    EXPECT_EQ(start, text.size());
}

TEST_F(RegistryTest, WrittenFileHasTheExactRegeditText) {
    std::vector<unsigned char> site(30);
    for (std::size_t i = 0; i < site.size(); ++i) site[i] = static_cast<unsigned char>(i);
    RegKey key = RegKey::Open(Hive::CurrentUser, true);
    key.WriteDword("Auto Start", 10);
    key.WriteString("CSDir", "C:\\Games\\\"cs\"\\");
    key.WriteString("Say \"hi\"", "caf\xE9");
    key.WriteBinary("Site0", site.data(), site.size());
    key.WriteString("Empty", "");
    key.WriteDword("auto START", 11);  // same value, its first spelling and place stay
    EXPECT_TRUE(key.Close());
    EXPECT_EQ(
        testenv::ReadFile(HiveFilePath(Hive::CurrentUser)),
        CrLf({"REGEDIT4", "", "[HKEY_CURRENT_USER\\Software\\Nodescan]",
              "\"Auto Start\"=dword:0000000b", "\"CSDir\"=\"C:\\\\Games\\\\\\\"cs\\\"\\\\\"",
              "\"Say \\\"hi\\\"\"=hex(1):63,61,66,e9",
              "\"Site0\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\",
              "  16,17,18,19,1a,1b,1c,1d", "\"Empty\"=\"\"", ""}));
}

TEST_F(RegistryTest, ReadsAHandWrittenLfFileAndKeepsItsOtherKeys) {
    testenv::WriteFile(HiveFilePath(Hive::LocalMachine),
                       "REGEDIT4\n"
                       "\n"
                       "; written by hand\n"
                       "[HKEY_LOCAL_MACHINE\\Software\\Other]\n"
                       "\"X\"=hex(2):41,00\n"
                       "\n"
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\NODESCAN]  \n"
                       "\"CSDir\"=\"/games/cs\\\\\"\n"
                       "\"Blob\"=hex:01,02,03,\\\n"
                       "    04,05 ,FF,\\\n"
                       "  10\n"
                       "@=\"default\"\n"
                       "\"Count\" = dword:1F\n");
    RegKey key = RegKey::Open(Hive::LocalMachine, false);
    ASSERT_TRUE(key.ok());
    std::string s;
    EXPECT_TRUE(key.ReadString("csdir", &s, 100));
    EXPECT_EQ(s, "/games/cs\\");
    unsigned char blob[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_TRUE(key.ReadBinary("Blob", blob, sizeof blob));
    const unsigned char want[8] = {1, 2, 3, 4, 5, 0xFF, 0x10, 0xAA};
    EXPECT_EQ(std::memcmp(blob, want, 8), 0);
    std::uint32_t d = 0;
    EXPECT_TRUE(key.ReadDword("Count", &d));
    EXPECT_EQ(d, 31u);
    EXPECT_TRUE(key.ReadString("", &s, 100));
    EXPECT_EQ(s, "default");

    EXPECT_TRUE(key.WriteString("MapDir", "/games/cs/maps"));
    EXPECT_TRUE(key.Close());
    EXPECT_EQ(testenv::ReadFile(HiveFilePath(Hive::LocalMachine)),
              CrLf({"REGEDIT4", "", "[HKEY_LOCAL_MACHINE\\Software\\Other]", "\"X\"=hex(2):41,00",
                    "", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\NODESCAN]", "\"CSDir\"=\"/games/cs\\\\\"",
                    "\"Blob\"=hex:01,02,03,04,05,ff,10", "@=\"default\"",
                    "\"Count\"=dword:0000001f", "\"MapDir\"=\"/games/cs/maps\"", ""}));
    EXPECT_TRUE(g_notices.empty());
}

TEST_F(RegistryTest, ValueNamesIgnoreCase) {
    RegKey key = RegKey::Open(Hive::CurrentUser, true);
    EXPECT_TRUE(key.WriteDword("Check All", 1));
    std::uint32_t d = 0;
    EXPECT_TRUE(key.ReadDword("CHECK ALL", &d));
    EXPECT_EQ(d, 1u);
    EXPECT_TRUE(key.HasValue("check all"));
    EXPECT_TRUE(key.WriteDword("check ALL", 0));
    EXPECT_TRUE(key.ReadDword("Check All", &d));
    EXPECT_EQ(d, 0u);
    EXPECT_FALSE(key.HasValue("Check"));
    EXPECT_TRUE(key.Close());
    std::string text = testenv::ReadFile(HiveFilePath(Hive::CurrentUser));
    EXPECT_NE(text.find("\"Check All\"=dword:00000000\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("check ALL"), std::string::npos) << text;
}

TEST_F(RegistryTest, TypesAndSizesOfReads) {
    RegKey key = RegKey::Open(Hive::CurrentUser, true);
    key.WriteString("Str", "abc");
    key.WriteDword("Num", 0x01020304);
    const unsigned char five[5] = {9, 8, 7, 6, 5};
    key.WriteBinary("Five", five, 5);
    std::uint32_t d = 7;
    EXPECT_FALSE(key.ReadDword("Str", &d));
    EXPECT_FALSE(key.ReadDword("Five", &d));
    EXPECT_FALSE(key.ReadDword("Missing", &d));
    EXPECT_EQ(d, 7u);
    std::string s = "untouched";
    EXPECT_FALSE(key.ReadString("Num", &s, 100));
    EXPECT_FALSE(key.ReadString("Missing", &s, 100));
    EXPECT_EQ(s, "untouched");

    unsigned char buf[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_FALSE(key.ReadBinary("Five", buf, 4));  // longer than the buffer: untouched
    EXPECT_EQ(buf[0], 0xEE);
    EXPECT_TRUE(key.ReadBinary("Five", buf, 6));  // shorter: only its own bytes
    const unsigned char want[6] = {9, 8, 7, 6, 5, 0xEE};
    EXPECT_EQ(std::memcmp(buf, want, 6), 0);
    // Any value reads as its bytes, as RegQueryValueEx gives them.
    EXPECT_TRUE(key.ReadBinary("Num", buf, 4));
    const unsigned char le[4] = {4, 3, 2, 1};
    EXPECT_EQ(std::memcmp(buf, le, 4), 0);
    EXPECT_TRUE(key.ReadBinary("Str", buf, 3));
    EXPECT_EQ(std::memcmp(buf, "abc", 3), 0);
}

TEST_F(RegistryTest, StringLimitCountsTheValuesBytes) {
    RegKey key = RegKey::Open(Hive::LocalMachine, true);
    key.WriteString("Long", std::string(260, 'x'));
    key.WriteString("Fits", std::string(259, 'y'));
    std::string s;
    EXPECT_FALSE(key.ReadString("Long", &s, 259));
    EXPECT_TRUE(key.ReadString("Long", &s, 260));
    EXPECT_EQ(s, std::string(260, 'x'));
    EXPECT_TRUE(key.ReadString("Fits", &s, 259));
    EXPECT_EQ(s, std::string(259, 'y'));
}

TEST_F(RegistryTest, ReadOnlyModeWritesNoFile) {
    RegistrySetReadOnly(true);
    RegKey key = RegKey::Open(Hive::CurrentUser, true);
    EXPECT_TRUE(key.WriteDword("Version", 250));
    EXPECT_TRUE(key.Close());
    EXPECT_FALSE(Exists(HiveFilePath(Hive::CurrentUser)));
    EXPECT_FALSE(Exists(ConfigDir()));
    RegKey again = RegKey::Open(Hive::CurrentUser, false);  // the cache has it
    std::uint32_t d = 0;
    EXPECT_TRUE(again.ReadDword("Version", &d));
    EXPECT_EQ(d, 250u);
    EXPECT_TRUE(RegDeleteKey(Hive::CurrentUser));
    again.Close();
    RegistryUnload();
    EXPECT_FALSE(RegKey::Open(Hive::CurrentUser, false).ok());
}

TEST_F(RegistryTest, CorruptFileIsMovedAsideWithANotice) {
    const std::string path = HiveFilePath(Hive::CurrentUser);
    const std::string bad =
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Nodescan]\r\n\"A\"=hex:0g\r\n";
    testenv::WriteFile(path, bad);
    EXPECT_FALSE(RegKey::Open(Hive::CurrentUser, false).ok());
    ASSERT_EQ(g_notices.size(), 1u);
    std::vector<std::string> moved = FilesStartingWith("HKEY_CURRENT_USER.reg.bad-");
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(g_notices[0], "Settings file could not be read; moved aside to " + moved[0]);
    EXPECT_EQ(testenv::ReadFile(moved[0]), bad);
    EXPECT_FALSE(Exists(path));

    // The hive goes on as missing and is written afresh.
    RegKey key = RegKey::Open(Hive::CurrentUser, true);
    EXPECT_FALSE(key.HasValue("A"));
    key.WriteDword("A", 1);
    EXPECT_TRUE(key.Close());
    EXPECT_TRUE(RegKey::Open(Hive::CurrentUser, false).ok());
    EXPECT_EQ(g_notices.size(), 1u);

    // A second bad file in the same second gets a name of its own.
    testenv::WriteFile(path, "Windows Registry Editor Version 5.00\r\n");
    RegistryUnload();
    EXPECT_FALSE(RegKey::Open(Hive::CurrentUser, false).ok());
    EXPECT_EQ(g_notices.size(), 2u);
    EXPECT_EQ(FilesStartingWith("HKEY_CURRENT_USER.reg.bad-").size(), 2u);
    EXPECT_EQ(testenv::ReadFile(moved[0]), bad);
}

TEST_F(RegistryTest, CorruptFileStaysInPlaceWhenReadOnly) {
    const std::string path = HiveFilePath(Hive::LocalMachine);
    testenv::WriteFile(path, "garbage\n");
    RegistrySetReadOnly(true);
    RegKey key = RegKey::Open(Hive::LocalMachine, true);
    EXPECT_TRUE(key.WriteString("CSDir", "/x"));
    EXPECT_TRUE(key.Close());
    EXPECT_EQ(g_notices.size(), 1u);
    EXPECT_EQ(testenv::ReadFile(path), "garbage\n");
    // Even with writing allowed again, that file is not overwritten.
    RegistrySetReadOnly(false);
    key = RegKey::Open(Hive::LocalMachine, true);
    EXPECT_TRUE(key.WriteString("CSDir", "/y"));
    EXPECT_FALSE(key.Close());
    EXPECT_EQ(testenv::ReadFile(path), "garbage\n");
}

TEST_F(RegistryTest, DeleteKeyRemovesItsSectionOrTheFile) {
    EXPECT_TRUE(RegDeleteKey(Hive::CurrentUser));  // missing: fine
    {
        RegKey key = RegKey::Open(Hive::CurrentUser, true);
        key.WriteDword("Default Bot", 3);
    }
    ASSERT_TRUE(Exists(HiveFilePath(Hive::CurrentUser)));
    EXPECT_TRUE(RegDeleteKey(Hive::CurrentUser));
    EXPECT_FALSE(Exists(HiveFilePath(Hive::CurrentUser)));
    EXPECT_FALSE(RegKey::Open(Hive::CurrentUser, false).ok());

    testenv::WriteFile(
        HiveFilePath(Hive::LocalMachine),
        CrLf({"REGEDIT4", "", "[HKEY_LOCAL_MACHINE\\Software\\Nodescan]", "\"CSDir\"=\"/a\"", "",
              "[HKEY_LOCAL_MACHINE\\Software\\Nodescan\\Sub]", "\"S\"=dword:00000001", "",
              "[HKEY_LOCAL_MACHINE\\Software\\Keep]", "\"K\"=\"k\"", ""}));
    RegistryUnload();
    EXPECT_TRUE(RegDeleteKey(Hive::LocalMachine));
    EXPECT_EQ(testenv::ReadFile(HiveFilePath(Hive::LocalMachine)),
              CrLf({"REGEDIT4", "", "[HKEY_LOCAL_MACHINE\\Software\\Keep]", "\"K\"=\"k\"", ""}));
    RegistryUnload();
    EXPECT_FALSE(RegKey::Open(Hive::LocalMachine, false).ok());
}

TEST_F(RegistryTest, ConfigDirChangeReloads) {
    {
        RegKey key = RegKey::Open(Hive::CurrentUser, true);
        key.WriteDword("Here", 1);
    }
    testenv::TempDir other;
    testenv::ScopedEnv env("NODESCAN_HOME", other.path());
    EXPECT_FALSE(RegKey::Open(Hive::CurrentUser, false).ok());
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
    constexpr int kCount = 40;
    auto writer = [](Hive hive, const std::string& prefix) {
        for (int i = 0; i < kCount; ++i) {
            RegKey key = RegKey::Open(hive, true);
            EXPECT_TRUE(key.WriteDword(prefix + std::to_string(i), static_cast<std::uint32_t>(i)));
            std::uint32_t d;
            EXPECT_TRUE(key.ReadDword(prefix + std::to_string(i), &d));
            EXPECT_TRUE(key.Close());
        }
    };
    std::thread a([&] { writer(Hive::CurrentUser, "A"); });
    std::thread b([&] {
        writer(Hive::LocalMachine, "B");
        writer(Hive::CurrentUser, "C");
    });
    a.join();
    b.join();
    RegistryUnload();
    for (auto [hive, prefix] :
         {std::pair{Hive::CurrentUser, "A"}, std::pair{Hive::LocalMachine, "B"},
          std::pair{Hive::CurrentUser, "C"}}) {
        RegKey key = RegKey::Open(hive, false);
        ASSERT_TRUE(key.ok());
        for (int i = 0; i < kCount; ++i) {
            std::uint32_t d = 9999;
            EXPECT_TRUE(key.ReadDword(prefix + std::to_string(i), &d)) << prefix << i;
            EXPECT_EQ(d, static_cast<std::uint32_t>(i));
        }
    }
    EXPECT_TRUE(FilesStartingWith("HKEY_CURRENT_USER.reg.tmp").empty());
}

// Two closes of one hive at the same moment: the file ends with both values.
TEST_F(RegistryTest, SimultaneousClosesOfOneHiveKeepTheNewerFile) {
    for (int round = 0; round < 30; ++round) {
        std::latch start(2);
        auto writer = [&](const std::string& name) {
            RegKey key = RegKey::Open(Hive::CurrentUser, true);
            start.arrive_and_wait();
            key.WriteDword(name, static_cast<std::uint32_t>(round));
            EXPECT_TRUE(key.Close());
        };
        std::thread a(writer, "A" + std::to_string(round));
        std::thread b(writer, "B" + std::to_string(round));
        a.join();
        b.join();
        RegistryUnload();
        RegKey key = RegKey::Open(Hive::CurrentUser, false);
        EXPECT_TRUE(key.HasValue("A" + std::to_string(round))) << round;
        EXPECT_TRUE(key.HasValue("B" + std::to_string(round))) << round;
    }
}

TEST(RegFile, RejectsMalformedText) {
    std::vector<regfile::Key> keys;
    for (const char* text : {
             "REGEDIT5\r\n",
             "\xEF\xBB\xBFREGEDIT4\r\n",
             "REGEDIT4\r\n\"A\"=dword:1\r\n",                 // value before a key
             "REGEDIT4\r\n[K]\r\n\"A\"=dword:123456789\r\n",  // nine digits
             "REGEDIT4\r\n[K]\r\n\"A\"=dword:\r\n",
             "REGEDIT4\r\n[K]\r\n\"A\"=hex:1,,2\r\n",
             "REGEDIT4\r\n[K]\r\n\"A\"=hex:123\r\n",
             "REGEDIT4\r\n[K]\r\n\"A\"=hex:01,\\\r\n",  // continued past the end
             "REGEDIT4\r\n[K]\r\n\"A\"=hex(zz):01\r\n",
             "REGEDIT4\r\n[K]\r\n\"A\"=\"open\r\n",
             "REGEDIT4\r\n[K]\r\n\"A\"=\"x\" trailing\r\n",
             "REGEDIT4\r\n[K]\r\n\"A\"=\"bad \\q escape\"\r\n",
             "REGEDIT4\r\n[K]\r\n\"A\"=-\r\n",
             "REGEDIT4\r\n[K]\r\n\"A\"\r\n",
             "REGEDIT4\r\n[K]\r\nA=dword:1\r\n",
             "REGEDIT4\r\n[-K]\r\n",
             "REGEDIT4\r\n[K\r\n",
             "REGEDIT4\r\n[]\r\n",
         }) {
        EXPECT_FALSE(regfile::Parse(text, &keys)) << text;
    }
}

TEST(RegFile, MergesRepeatsAndRoundTrips) {
    std::vector<regfile::Key> keys;
    ASSERT_TRUE(
        regfile::Parse("REGEDIT4\n[K]\n\"a\"=dword:1\n[k]\n\"A\"=\"two\"\n\"\\n\\0\\r\"=hex(0):\n"
                       "[L]\n\"x\"=\"tab\there\"\n@=hex(4):01,02\n",
                       &keys));
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].path, "K");
    ASSERT_EQ(keys[0].values.size(), 2u);
    EXPECT_EQ(keys[0].values[0], (regfile::Value{"a", regfile::kRegSz, "two"}));
    EXPECT_EQ(keys[0].values[1], (regfile::Value{std::string("\n\0\r", 3), 0, ""}));
    std::vector<regfile::Key> again;
    ASSERT_TRUE(regfile::Parse(regfile::Format(keys), &again));
    EXPECT_EQ(again, keys);
    EXPECT_TRUE(regfile::Parse("", &keys));
    EXPECT_TRUE(keys.empty());
}

}  // namespace
