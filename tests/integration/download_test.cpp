// Downloads against servers on 127.0.0.1 only: the HTTP client against
// scripted replies, whole waypoint downloads from python3's http.server with
// archives made by the zip tool, and the update check.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "app/state.h"
#include "download/http.h"
#include "download/sites.h"
#include "download/update.h"
#include "platform/threads.h"
#include "settings/locator.h"
#include "support/cli.h"
#include "support/run.h"
#include "support/servers.h"

using namespace testenv;
using ::testing::Contains;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {
struct Downloads : ::testing::Test {
    TempDir games;
    GameTree tree{games.path()};
    ProgramRun run{games.path()};
    ScopedEnv online{"NODESCAN_ONLINE", "1"}, timeout{"NODESCAN_NET_TIMEOUT_MS", "400"};
    std::string wpt = tree.cstrike() + "PODBot/wptdefault/";

    void SetUp() override {
        StoreSettings(tree.cstrike(), {{"Version", 250}});
        AddPodFolder(tree);
        run.Start();
        fs::create_directories(GetTempDir());
    }
    // Every site on host (so that nothing but 127.0.0.1 is ever asked),
    // each with its directory, extension and prefix.
    void Sites(const std::string& host, std::vector<std::vector<std::string>> fields) {
        for (int site = 0; site < kSiteCount; ++site) {
            SetSiteField(site, "host", host);
            auto f = site < static_cast<int>(fields.size()) ? fields[site] : fields.back();
            SetSiteField(site, "dir", f[0]);
            SetSiteField(site, "ext", f[1]);
            SetSiteField(site, "start", f.size() > 2 ? f[2] : "");
        }
        Show(0);
    }
    // Selects a site as the site selector does, showing it in the site boxes.
    void Show(int site) { SetSiteInfo(SB_THUMBPOSITION, static_cast<unsigned>(site)); }
    // Runs a job of the worker for the left-list row map as its button does.
    int Job(int button, const std::string& map = "") {
        run.PressAndWait(1);
        for (int row = 0; row < ListGetItemCount(md, kLeftList); ++row)
            headless::SelectRow(md, kLeftList, row, ListGetItemText(md, kLeftList, row, 0) == map);
        headless::SendCommand(md, button);
        WaitForThread(DThread);
        std::uint32_t code = 9;
        GetExitCodeThread(DThread, &code);
        return static_cast<int>(code);
    }
    std::string Status() {
        std::string all;
        for (const auto& line : run.Status()) all += line + "\n";
        return all;
    }
};
}  // namespace

TEST_F(Downloads, EachReplyIsReadForWhatItIs) {
    const std::string ok = "HTTP/1.1 200 OK\r\n",
                      chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
    const std::string& silent = ScriptedServer::kSilent;  // the connection stays open
    ScopedEnv deadline("NODESCAN_NET_DEADLINE_MS", "600");
    struct Case {
        const char* method;
        std::string reply;
        std::int64_t result;  // FindSize, or CheckFile; -2 Download failed
        std::string said, body;
        std::uint64_t maxBody = kMaxWaypointBody;
    } cases[] = {
        {"HEAD", ok + "Content-Type: text/plain\r\nContent-Length: 4711\r\n\r\n" + silent, 4711, "",
         ""},
        {"HEAD", "HTTP/1.0 200 OK\ncontent-length: 4711\n\n", 4711, "", ""},
        {"HEAD", "HTTP/1.1 404 Not Found\r\n\r\n", -1, "File not found on 'Brimlock Wpts'", ""},
        {"HEAD", "HTTP/1.1 400 Bad Request\r\n\r\n", -1, "Bad Request (400) from 'Brimlock Wpts'",
         ""},
        {"HEAD", "HTTP/1.1 301 Moved\r\n\r\n", -1, "f.pwf has moved (301 Moved)", ""},
        {"HEAD", ok + "\r\n", 0, "", ""},  // no size: the GET follows, its limit holds
        {"HEAD", "", -1, "Could NOT determine file size", ""},
        {"GET", ok + "Content-Length: 5\r\n\r\nhello and more" + silent, 1, "", "hello"},
        {"GET", ok + "Content-Length: 10\r\n\r\nhello", -2, "was cut off: 5 of 10 bytes", ""},
        {"GET", ok + "Content-Length: 65\r\n\r\n", -2,
         "is larger than 64 bytes: the download is given up", "", 64},
        {"GET", ok + "\r\n" + std::string(65, 'x'), -2, "is larger than 64 bytes", "", 64},
        {"GET", ok + "X: " + std::string(65536, 'x') + "\r\n\r\n", -2,
         "header of the reply of 127.0.0.1:", ""},
        {"GET", ok + "\r\nhello" + ScriptedServer::kReset, -2, "broke while receiving", ""},
        {"GET", chunked + "5;a=b\r\nhello\r\n6 \r\n world\r\n0\r\nT: 1\r\n\r\n" + silent, 1, "",
         "hello world"},
        {"GET", chunked + "5\r\nhello\r\n", -2, "ended before its last chunk", ""},
        {"GET", chunked + "5\r\nhello!\r\n0\r\n\r\n", -2, "malformed (a chunk's data is longer",
         ""},
        {"GET", chunked + "x\r\n", -2, "malformed (a chunk size is no hexadecimal number)", ""},
        {"GET", chunked + "5\r\nhello\r\n5\r\n", -2, "larger than 8 bytes", "", 8},
        {"GET", ok + "Transfer-Encoding: gzip\r\n\r\n", -2, "in the transfer coding 'gzip'", ""},
        {"GET", "HTTP/1.1 302 Found\r\nLocation: /x\r\n\r\n", 0, "has moved (302 Found)", ""},
        {"GET", "<html>hello</html>\r\n\r\nbody", 0, "No HTTP reply for f.pwf", ""},
        {"GET", ok + "Content-Length: 5\r\n", 0, "ended inside its header", ""},
        {"GET", ok + "\r\r\nbody", 0, "ended inside its header", ""},  // CR CR LF: no empty line
        {"GET", "HTTP/1.1 404 Not Found\r\n\r\nnope", 0, "", ""},
        {"GET", silent, -2, "sent nothing for 0.4 seconds", ""},
        {"GET", ok + "\r\n" + ScriptedServer::kDrip + std::string(20, 'x'), -2,
         " did not send its whole reply within 0.6 seconds: the request is given up", ""},
    };
    for (const Case& k : cases) {
        ScriptedServer server({k.reply});
        Sites(server.host(), {{"/wpts", "pwf"}});
        std::size_t before = run.Status().size();
        int got = Download(server.host(), "f.pwf", "/wpts", k.method, k.maxBody);
        std::int64_t result = -2;
        if (got == 1 && std::string(k.method) == "GET") result = CheckFile("f.pwf");
        if (got == 1 && std::string(k.method) == "HEAD") result = FindSize("f.pwf", 0);
        if (result == 0xFFFFFFFF) result = -1;
        EXPECT_EQ(result, k.result) << k.reply;
        std::string said = run.Status().size() > before ? run.Status().back() : "";
        EXPECT_THAT(said, HasSubstr(k.said)) << k.reply;
        if (k.result == 1) {
            EXPECT_EQ(ReadFile(SavedPath("f.pwf")), k.body);
        }
        EXPECT_EQ(fs::exists(HeadPath("f.pwf")), got == 1) << k.reply;  // a failure leaves nothing
    }
    EXPECT_EQ(headless::MessageBoxes().back().text, "Error Downloading - CODE= 404 Not Found");

    // The request: eight lines ending in a line feed; host:port as typed.
    ScriptedServer server({ok + "\r\n"});
    Download(server.host(), "de_dust.pwf", "", "GET");
    Download("bad host", "de_dust.pwf", "", "GET");
    EXPECT_EQ(server.requests().at(0), "GET /de_dust.pwf HTTP/1.0\nHost: " + server.host() +
                                           "\nRange: bytes=0-\nUser-Agent: Nodescan/2.500000\n"
                                           "Accept: *.*, */*\nCookie: CookieStatus=COOKIE_OK\n"
                                           "Referer: http://" +
                                           server.host() + "/de_dust.pwf\n\n");
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(run.Status().back(), "Refused: 'bad host' is not a host name (or host:port)");
}

TEST_F(Downloads, WaypointsComeBareOrZippedFromTheSitesThatHaveThem) {
    for (const char* map : {"de_a.bsp", "de_b.bsp", "de_c.bsp", "de_d.bsp", "de_e.bsp"})
        tree.AddMap(map);
    TempDir web;
    WriteFile(web / "s2/wpde_a.pwf", PodBotHeader(7, "Web"));
    WriteFile(web / "notzip/de_c.zip", "not an archive");
    WriteFile(web / "z/de_b.pwf", PodBotHeader(8, "Zip"));
    WriteFile(web / "z/de_b.pxp", "pxp");
    WriteFile(web / "z/readme.txt", "read me");
    MakeDirs(web / "zips");
    ASSERT_EQ(
        std::system(("cd " + web / "z" + " && zip -q ../zips/de_b.zip de_b.pwf de_b.pxp " +
                     "readme.txt && zip -q ../zips/de_d.ZIP de_b.pwf && head -c 65M /dev/zero " +
                     ">de_e.pwf && zip -q ../zips/de_e.zip de_e.pwf && rm de_e.pwf")
                        .c_str()),
        0);
    WebServer server(web.path());
    Sites(server.host(), {{"/s0", "pwf"},
                          {"/s1", "pwf"},
                          {"/s2", "pwf", "wp"},
                          {"/zips", "zip"},
                          {"/notzip", "zip"},
                          {"/zips", "ZIP"}});
    // Search All: the first site cannot be reached, the second lacks the
    // file, the third has it under its prefix: installed under the map's name.
    SetSiteField(0, "host", "127.0.0.1:1");
    Show(0);
    CheckDlgButton(md, 111, true);
    EXPECT_EQ(Job(109, "de_a.bsp"), 0) << Status();
    EXPECT_EQ(ReadFile(wpt + "de_a.pwf"), PodBotHeader(7, "Web"));
    EXPECT_THAT(Status(), HasSubstr("Error Connecting to 'Brimlock Wpts'\n"
                                    "File not found on 'Bunker Wpts'\nDownloading Waypoint file\n"
                                    "Success....\n"));
    EXPECT_TRUE(fs::is_empty(GetTempDir()));  // neither the failed sites' nor the installed file
    CheckDlgButton(md, 111, false);
    Show(3);
    EXPECT_EQ(Job(109, "de_b.bsp"), 0) << Status();
    for (const char* f : {"de_b.pwf", "de_b.pxp", "readme.txt"}) EXPECT_TRUE(fs::exists(wpt + f));
    EXPECT_EQ(headless::ShellRequests().back(), wpt + "readme.txt");
    EXPECT_EQ(Job(109, "de_e.bsp"), 1);  // 65 MB of zeros: not unpacked
    EXPECT_EQ(run.Status().back(), "Error Extracting waypoint from ZIP");
    EXPECT_THAT(Status(), HasSubstr("de_e.pwf unpacks to 68157440 bytes: not installed"));
    Show(4);  // called zip, but no archive: nothing installed
    EXPECT_EQ(Job(109, "de_c.bsp"), 1);
    EXPECT_EQ(run.Status().back(), "de_c.zip is no ZIP archive: nothing was installed");
    EXPECT_FALSE(fs::exists(wpt + "de_c.pwf"));
    WriteFile(web / "notzip/de_c.zip", "PK\x03\x04 but no archive");
    EXPECT_EQ(Job(109, "de_c.bsp"), 1);
    EXPECT_THAT(run.Status().back(), HasSubstr("Cannot open the archive"));
    SetSiteField(4, "start", "../");
    Show(4);  // a name that leaves the directory: refused before any request
    EXPECT_EQ(Job(109, "de_c.bsp"), 1);
    EXPECT_EQ(run.Status().back(),
              "Refused: '../de_c.zip' from the fields of 'Enter a name' is not a plain file name");
    Show(5);  // ZIP in capitals: an archive all the same, without de_d.pwf in it
    EXPECT_EQ(Job(109, "de_d.bsp"), 1);
    EXPECT_EQ(run.Status().back(), "Error Extracting waypoint from ZIP");
    fs::remove_all(wpt);  // a waypoint directory that is a file: nothing can be installed
    WriteFile(tree.cstrike() + "PODBot/wptdefault", "");
    Show(2);
    EXPECT_EQ(Job(109, "de_a.bsp"), 1);
    EXPECT_EQ(run.Status().back(), "Cannot install " + wpt + "de_a.pwf: Not a directory");
    EXPECT_TRUE(fs::is_empty(GetTempDir()));
}

TEST_F(Downloads, TheUpdateCheckComparesVersionsRoundedAndSavesTheRelease) {
    updateEndsProgram = false;
    auto version = [](const char* v) {
        return "HTTP/1.1 200 OK\r\n\r\nNodescan\r\nversion " + std::string(v) + "\r\n";
    };
    struct Case {
        std::vector<std::string> replies;
        int answer, code;
        const char* caption;
    } cases[] = {
        {{version("2.50")}, IDNO, 0, "Hey!!"},
        {{version("2.51")}, IDNO, 1, "Update Avaliable!"},
        {{version("400")}, IDNO, 1, "Update Avaliable!"},
        {{"HTTP/1.1 404 Not Found\r\n\r\nversion 9"}, IDNO, 1, "Error!!"},
        {{version("x")}, IDNO, 1, "Error!!"},
        {{version("3"), "HTTP/1.1 200 OK\r\n\r\nPK\x03\x04release"}, IDYES, 0, "Cool Again!!"},
    };
    for (const Case& k : cases) {
        ScriptedServer server(k.replies);
        ScopedEnv host("NODESCAN_UPDATE_HOST", server.host());
        headless::SetMessageBoxResponder([&](const headless::MessageBoxCall&) { return k.answer; });
        EXPECT_EQ(Job(129), k.code) << k.caption;
        EXPECT_EQ(headless::MessageBoxes().back().caption, k.caption);
        EXPECT_FALSE(headless::BusyCursor());
    }
    EXPECT_EQ(ReadFile(SavedPath("nodescan.zip")), "PK\x03\x04release");
    EXPECT_FALSE(fs::exists(SavedPath("version.txt")));
    EXPECT_EQ(headless::ShellRequests().back(), SavedPath("nodescan.zip"));
    // One job at a time: a press while one waits for its server is refused.
    ScriptedServer silent({ScriptedServer::kSilent});
    ScopedEnv host("NODESCAN_UPDATE_HOST", silent.host());
    headless::SendCommand(md, 129);
    headless::SendCommand(md, 109);
    WaitForThread(DThread);
    EXPECT_THAT(run.Status(), Contains("Download already in progress!"));
}

TEST_F(CliTest, DownloadAndUpdateFromTheCommandLine) {
    GameTree tree{games.path()};
    tree.AddMap("de_a.bsp");
    AddPodFolder(tree);
    TempDir web;
    WriteFile(web / "w/de_a.pwf", PodBotHeader(7, "Web"));
    WriteFile(web / "programs/version.txt", "version 2.60\n");
    WriteFile(web / "programs/nodescan.zip", "PK\x03\x04");
    WebServer server(web.path());
    env = {"NODESCAN_ONLINE=1", "NODESCAN_UPDATE_HOST=" + server.host()};
    for (int site = 0; site < kSiteCount; ++site)
        Run({"sites", "set", std::to_string(site), "host", server.host()});
    Run({"sites", "set", "2", "dir", "/w"});
    EXPECT_EQ(Run({"download", "de_x.bsp", "--site", "2"}).code, 2);
    CliResult r = Run({"download", "DE_A.BSP", "--site", "2"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs::exists(tree.cstrike() + "PODBot/wptdefault/de_a.pwf"));
    // Ended by SIGTERM while a download waits for its server: 143, and nothing
    // of the download stays.
    tree.AddMap("de_b.bsp");
    ScriptedServer silent({ScriptedServer::kSilent});
    Run({"sites", "set", "3", "host", silent.host()});
    std::vector<std::string> plain = env;
    env.insert(env.end(), {"timeout", "--preserve-status", "-s", "TERM", "3"});  // runs the CLI
    EXPECT_EQ(Run({"download", "de_b.bsp", "--site", "3"}).code, 143);
    EXPECT_EQ(silent.requests().size(), 1u);
    EXPECT_TRUE(fs::is_empty(home + "/temp"));
    env = plain;
    r = Run({"update", "--yes"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, home + "/temp/nodescan.zip\n");
}
