// The waypoint header reader on real files in the Pod Bot and other layouts.
#include "check/header.h"

#include <gtest/gtest.h>

#include <optional>

#include "bots/bots.h"
#include "support/testenv.h"

using namespace testenv;

namespace {
struct Case {
    int bot;
    std::optional<std::string> content;  // of the file W.PWF, looked up as w.pwf; none: missing
    std::string dir;                     // below the test's directory
    std::uint32_t version;
    std::string versionText, author;
};

const Case kCases[] = {
    {kPodBot, PodBotHeader(5, "Someone"), "", 5, "Pre v1.4", "Someone"},
    {kPodBot, PodBotHeader(6, "Someone"), "", 6, "v1.4", "Someone"},
    {kPodBot, PodBotHeader(7, "Someone"), "", 7, "v2", "Someone"},
    {kPodBot, PodBotHeader(300, "Someone"), "", 300, "v295", "Someone"},
    // An author that fills its field without a terminator is cut to 31.
    {kPodBot, PodBotHeader(7, std::string(32, 'A')), "", 7, "v2", std::string(31, 'A')},
    // Short and empty files read as if padded with zeros; a missing one has no header.
    {kPodBot, PodBotHeader(6, "Cut Off", 20), "", 6, "v1.4", ""},
    {kPodBot, "", "", 0, "Pre v1.4", ""},
    {kPodBot, std::nullopt, "", 0, "", "N/A"},
    // The other bots: the raw number up to 260, no author.
    {4, VersionHeader(260), "", 260, "260", "N/A"},
    {4, VersionHeader(261), "", 261, "Unkown!", "N/A"},
    {10, PodBotHeader(7, "Ignored"), "", 7, "7", "N/A"},
    // Joe Bot: the author is the waypoint set, "std" being the standard one.
    {kJoeBot, VersionHeader(3), "wpjs/std", 3, "3", "Standard"},
    {kJoeBot, VersionHeader(3), "wpjs/STD", 3, "3", "STD"},
    {kJoeBot, VersionHeader(3), "wpjs/" + std::string(40, 's'), 3, "3", std::string(29, 's')},
};

class Header : public ::testing::TestWithParam<Case> {};

TEST_P(Header, VersionAndAuthor) {
    const Case& c = GetParam();
    TempDir t;
    if (c.content) WriteFile(t / c.dir + "/W.PWF", *c.content);
    HeaderInfo h = CheckHeader(c.bot, "w.pwf", t / c.dir);
    EXPECT_EQ(h.version, c.version);
    EXPECT_EQ(h.versionText, c.versionText);
    EXPECT_EQ(h.author, c.author);
}
INSTANTIATE_TEST_SUITE_P(Files, Header, ::testing::ValuesIn(kCases));
}  // namespace
