// The waypoint header reader on real files in the Pod Bot and other layouts.
#include "check/header.h"

#include <gtest/gtest.h>

#include "bots/bots.h"
#include "support/testenv.h"

using namespace testenv;

namespace {
struct HeaderTest : ::testing::Test {
    TempDir dir;
    HeaderInfo Read(int bot, const std::string& content, const std::string& sub = "") {
        std::string d = sub.empty() ? dir.path() : dir / sub;
        WriteFile(d + "/w.pwf", content);
        return CheckHeader(bot, "w.pwf", d);
    }
};
}  // namespace

TEST_F(HeaderTest, PodBotVersionTexts) {
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0, "Pre v1.4"}, {5, "Pre v1.4"}, {6, "v1.4"}, {7, "v2"}, {12, "v7"}, {300, "v295"}};
    for (auto [version, text] : cases) {
        HeaderInfo h = Read(kPodBot, PodBotHeader(version, "Someone"));
        EXPECT_EQ(h.version, version);
        EXPECT_STREQ(h.versionText, text) << version;
        EXPECT_STREQ(h.author, "Someone");
    }
}

TEST_F(HeaderTest, OtherBotsShowTheRawNumberUpTo260) {
    EXPECT_STREQ(Read(4, VersionHeader(4)).versionText, "4");
    EXPECT_STREQ(Read(4, VersionHeader(260)).versionText, "260");
    EXPECT_STREQ(Read(4, VersionHeader(261)).versionText, "Unkown!");
    EXPECT_STREQ(Read(4, VersionHeader(0xFFFFFFFF)).versionText, "Unkown!");
    for (int bot : {1, 2, 4, 5, 6, 7, 8, 9, 10})
        EXPECT_STREQ(Read(bot, PodBotHeader(7, "Ignored")).author, "N/A") << bot;
}

TEST_F(HeaderTest, JoeBotAuthorIsTheWaypointSet) {
    EXPECT_STREQ(Read(kJoeBot, VersionHeader(3), "wpjs/std").author, "Standard");
    EXPECT_STREQ(Read(kJoeBot, VersionHeader(3), "wpjs/STD").author, "STD");
    std::string longSet(40, 's');
    EXPECT_STREQ(Read(kJoeBot, VersionHeader(3), "wpjs/" + longSet).author,
                 longSet.substr(0, 29).c_str());
    EXPECT_STREQ(Read(kJoeBot, VersionHeader(3), "wpjs/std").versionText, "3");
}

TEST_F(HeaderTest, ShortAndEmptyFilesReadAsZeroPadded) {
    HeaderInfo h = Read(kPodBot, PodBotHeader(6, "Cut Off", 20));
    EXPECT_STREQ(h.versionText, "v1.4");
    EXPECT_STREQ(h.author, "");
    h = Read(kPodBot, "");
    EXPECT_EQ(h.version, 0u);
    EXPECT_STREQ(h.versionText, "Pre v1.4");
    EXPECT_STREQ(h.author, "");
}

TEST_F(HeaderTest, AuthorWithoutTerminatorIsCutTo31Characters) {
    std::string author(32, 'A');  // fills the field, no NUL inside it
    std::string content = PodBotHeader(7, author);
    HeaderInfo h = Read(kPodBot, content);
    EXPECT_EQ(std::string(h.author), std::string(31, 'A'));
}

TEST_F(HeaderTest, UnreadableFileGivesNoVersionAndNA) {
    HeaderInfo h = CheckHeader(kPodBot, "missing.pwf", dir.path());
    EXPECT_EQ(h.version, 0u);
    EXPECT_STREQ(h.versionText, "");
    EXPECT_STREQ(h.author, "N/A");
}

TEST_F(HeaderTest, NameIsMatchedIgnoringCase) {
    WriteFile(dir / "DE_DUST.PWF", PodBotHeader(8, "Caps"));
    HeaderInfo h = CheckHeader(kPodBot, "de_dust.pwf", dir.path());
    EXPECT_STREQ(h.versionText, "v3");
    EXPECT_STREQ(h.author, "Caps");
}
