// Downloads against servers on 127.0.0.1 (and ::1) only: the HTTP client
// against scripted replies, whole waypoint downloads from nginx, Apache and
// python3's http.server with archives made by the zip tool, and the update check.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

#include "bots/bots.h"
#include "core/state.h"
#include "download/http.h"
#include "download/sites.h"
#include "download/update.h"
#include "download/worker.h"
#include "download/zip.h"
#include "platform/threads.h"
#include "settings/locator.h"
#include "support/cli.h"
#include "support/run.h"
#include "support/servers.h"

using namespace testenv;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using Json = nlohmann::json;
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
        {"GET", "HTTP/1.1 302 Found\r\n\r\n", 0, "has moved (302 Found)", ""},  // to nowhere
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

    // The request: eight lines ending in CR LF; host:port as typed; the path
    // from the root, its bytes other than unreserved ones and '/' percent-encoded.
    ScriptedServer server({ok + "\r\n"});
    Download(server.host(), "de_dust.pwf", "", "GET");
    Download(server.host(), "d~e.pwf", "a b?c#d%41\xE9-_.", "HEAD");
    EXPECT_EQ(server.requests().at(0),
              "GET /de_dust.pwf HTTP/1.0\r\nHost: " + server.host() +
                  "\r\nRange: bytes=0-\r\nUser-Agent: Nodescan/2.500000\r\n"
                  "Accept: *.*, */*\r\nCookie: CookieStatus=COOKIE_OK\r\nReferer: http://" +
                  server.host() + "/de_dust.pwf\r\n\r\n");
    const std::string path = "/a%20b%3Fc%23d%2541%E9-_./d~e.pwf";
    EXPECT_THAT(server.requests().at(1),
                AllOf(StartsWith("HEAD " + path + " HTTP/1.0\r\n"),
                      HasSubstr("Referer: http://" + server.host() + path + "\r\n\r\n")));
    for (const std::string bad : {"bad host", "::1", "[::1", "[::1]8080", "[127.0.0.1]:80"}) {
        Download(bad, "de_dust.pwf", "", "GET");
        EXPECT_EQ(run.Status().back(), "Refused: '" + bad + "' is not a host name (or host:port)");
    }
    Download(server.host(), std::string(400, '\xE9'), "", "GET");  // 1200 bytes encoded
    EXPECT_THAT(run.Status().back(), HasSubstr("would have a line longer than 1021 bytes"));
    EXPECT_EQ(server.requests().size(), 2u);
}

// Redirects from a scripted server over plain HTTP (its replies in turn)
// to a TLS server; certificates that do not verify.
TEST_F(Downloads, RedirectsAreFollowedAndCertificatesVerified) {
    Certificates certs;
    ScopedEnv ca("NODESCAN_CA_FILE", certs.ca());
    TempDir web;
    WriteFile(web / "w/f.pwf", "over tls");
    WebServer tls(web.path(), WebServer::kPythonTls, false, certs.pem("good"));
    auto moved = [](const std::string& to, const std::string& status = "301 Moved") {
        return "HTTP/1.1 " + status + "\r\nLocation: " + to + "\r\n\r\n";
    };
    const std::string back = tls.host() + "/to/", file = tls.host() + "/w/f.pwf";
    struct Case {
        std::vector<std::string> replies;
        const char* method;
        int result;
        std::string said;                  // the last status line has it
        std::vector<std::string> asked{};  // the request lines the scripted server got
    } cases[] = {
        {{moved(file)}, "GET", 1, "f.pwf moved to " + file},
        {{moved(file)}, "HEAD", 1, "f.pwf moved to " + file},
        {{moved("../r/2", "303 See Other"), moved("../s/3?x#y", "307 Temporary Redirect"),
          moved("a b", "308 Permanent Redirect"), moved(back + file)},
         "GET",
         1,
         "f.pwf moved to " + file,
         {"/w/f.pwf", "/r/2", "/s/3?x", "/s/a%20b"}},
        {{moved("/1"), moved("/2"), moved("/3"), moved("/4"), moved("/5"), moved("/6")},
         "GET",
         0,
         "/6): at most 5 redirects are followed"},
        {{moved("/a"), moved("/w/f.pwf")}, "GET", 0, "/w/f.pwf: the redirects go round in a loop"},
        {{moved(back + "http://127.0.0.1:1/f")}, "GET", 0, "from https to plain http (http://"},
        {{moved("ftp://127.0.0.1/f.pwf")}, "HEAD", 0, "which is no http or https address"},
    };
    for (const Case& k : cases) {
        ScriptedServer server(k.replies);
        EXPECT_EQ(Download(server.host(), "f.pwf", "/w", k.method), k.result) << k.said;
        EXPECT_THAT(run.Status().back(), HasSubstr(k.said));
        if (k.result == 1 && k.method == std::string("GET")) {
            EXPECT_EQ(ReadFile(SavedPath("f.pwf")), "over tls");
        } else if (k.result == 1) {
            EXPECT_EQ(FindSize("f.pwf", 0), 8u);
        }
        for (std::size_t i = 0; i < k.asked.size(); ++i)
            EXPECT_THAT(server.requests().at(i), StartsWith("GET " + k.asked[i] + " HTTP/1.0\r\n"));
    }
    // Each certificate that does not verify fails the request, saying why
    // ("good" without the test CA).
    std::pair<const char*, std::string> refused[] = {{"expired", "expired"},
                                                     {"wrong", "does not match the expected"},
                                                     {"self", "issuer is unknown"},
                                                     {"good", "issuer is unknown"}};
    for (auto& [pem, why] : refused) {
        WebServer bad(web.path(), WebServer::kPythonTls, false, certs.pem(pem));
        ScopedEnv noCa("NODESCAN_CA_FILE", pem == std::string("good") ? "" : certs.ca());
        EXPECT_EQ(Download(bad.host(), "f.pwf", "/w", "GET"), 0) << pem;
        EXPECT_THAT(
            run.Status().back(),
            AllOf(StartsWith("No secure connection to " + bad.host() + ": "), HasSubstr(why)));
    }
    EXPECT_TRUE(fs::is_empty(GetTempDir()));
}

TEST_F(Downloads, WaypointsComeBareOrZippedFromTheSitesThatHaveThem) {
    for (const char* map : {"de_a.bsp", "de_b.bsp", "de_c.bsp", "de_d.bsp", "de_h.bsp"})
        tree.AddMap(map);
    TempDir web;
    WriteFile(web / "s2/wpde_a.pwf", PodBotHeader(7, "Web"));
    WriteFile(web / "notzip/de_c.zip", "not an archive");
    WriteFile(web / "z/de_b.pwf", PodBotHeader(8, "Zip"));
    WriteFile(web / "z/de_b.pxp", "pxp");
    WriteFile(web / "z/readme.txt", "read me");
    WriteFile(web / "a b#c/de_a.pwf", PodBotHeader(9, "Real"));
    MakeDirs(web / "zips");
    ASSERT_EQ(Shell("cd " + web / "z" + " && zip -q ../zips/de_b.zip de_b.pwf de_b.pxp " +
                    "readme.txt && zip -q ../zips/de_d.ZIP de_b.pwf && " +
                    "zip -q '../a b#c/de_b.zip' de_b.pwf"),
              0);
    // nginx and Apache (and nginx on ::1): a bare waypoint and an archive from
    // a directory whose name must be percent-encoded.
    std::pair<WebServer::Kind, bool> servers[] = {
        {WebServer::kNginx, false}, {WebServer::kApache, false}, {WebServer::kNginx, true}};
    for (auto [kind, ipv6] : servers) {
        if (ipv6 && !HasIPv6Loopback()) {
            std::cout << "Note: ::1 cannot be bound here: the IPv6 row is left out\n";
            continue;
        }
        WebServer real(web.path(), kind, ipv6);
        Sites(real.host(),
              {{"/a b#c", "pwf"}, {"/a b#c", "pwf"}, {"/a b#c", "pwf"}, {"/a b#c", "zip"}});
        for (int site : {0, 3}) {
            Show(site);
            EXPECT_EQ(Job(109, site ? "de_b.bsp" : "de_a.bsp"), 0) << real.host() << Status();
        }
        EXPECT_EQ(ReadFile(wpt + "de_a.pwf"), PodBotHeader(9, "Real")) << real.host();
        EXPECT_EQ(ReadFile(wpt + "de_b.pwf"), PodBotHeader(8, "Zip")) << real.host();
        fs::remove(wpt + "de_a.pwf"), fs::remove(wpt + "de_b.pwf");
    }
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
    // Hostile archives de_h.zip, made in a folder holding de_h.pwf (1032
    // bytes), de_h.pxp and readme.txt ($W: the waypoint directory, emptied
    // first); the bare download wpde_h.pwf of site 2.
    struct Hostile {
        int site;
        std::string make, said;               // shell commands; a status line they cause
        std::vector<std::string> files = {};  // installed, in order
        std::string shown = "";               // the read-me opened
    } hostile[] = {
        {3, "zip -q0X $Z de_h.pwf && printf y | dd of=$Z bs=1 seek=40 conv=notrunc",
         "The archive's entry de_h.pwf is damaged (its CRC-32 does not match): not installed"},
        {3, "zip -q0X $Z de_h.pwf && printf '\\12\\0' | dd of=$Z bs=1 seek=1094 conv=notrunc",
         "de_h.pwf is damaged (its local header does not match the directory): not installed"},
        {3, "zip -q0X $Z de_h.pwf && printf '\\377\\377' | dd of=$Z bs=1 seek=26 conv=notrunc",
         "de_h.pwf is damaged (its data lie outside the archive): not installed"},
        {3, "zip -q0X -P x $Z de_h.pwf", "de_h.pwf is encrypted: not installed"},
        {3, "zip -qZ bzip2 $Z de_h.pwf",
         "de_h.pwf cannot be unpacked (compression method 12 is not supported): not installed"},
        {3, ": >de_h.pwf && zip -q $Z de_h.pwf readme.txt", "de_h.pwf is empty: not installed"},
        {2, ": >../s2/wpde_h.pwf", "wpde_h.pwf is empty: nothing was installed"},
        // Names ignoring case, in any folder; the first of two wins.
        {3,
         "mkdir d e && mv de_h.pwf d/DE_H.PWF && : >e/de_h.pwf && mv de_h.pxp 'W\\de_h.PXP' && "
         "mv readme.txt README.TXT && zip -q $Z d/DE_H.PWF 'W\\de_h.PXP' README.TXT e/de_h.pwf",
         "",
         {"de_h.pwf", "de_h.pxp", "readme.txt"},
         "readme.txt"},
        {3,
         "head -c 33M /dev/zero >de_h.pwf && cp de_h.pwf de_h.pxp && zip -q $Z de_h.p* readme.txt",
         "The archive's entries unpack to 69206023 bytes together, more than 64 MB: not installed"},
        {3,
         "head -c 1048577 /dev/zero >readme.txt && zip -q $Z de_h.pwf readme.txt",
         "readme.txt unpacks to 1048577 bytes, more than 1 MB: not installed",
         {"de_h.pwf"}},
        {3,
         "echo own >$W/README.txt && zip -q $Z de_h.pwf readme.txt",
         "The waypoint directory has another readme.txt: this one is installed as de_h.readme.txt",
         {"de_h.pwf", "de_h.readme.txt"},
         "de_h.readme.txt"},
        {3, "cp readme.txt $W && zip -q $Z de_h.pwf readme.txt", "", {"de_h.pwf"}, "readme.txt"},
        {3, "zip -q - de_h.pwf | cat >$Z", "", {"de_h.pwf"}},  // sizes after the data
    };
    for (const Hostile& k : hostile) {
        fs::remove_all(wpt);
        fs::remove_all(web / "h");
        fs::remove(web / "zips/de_h.zip");
        WriteFile(web / "h/de_h.pwf", std::string(1032, 'x'));
        WriteFile(web / "h/de_h.pxp", "pxp");
        WriteFile(web / "h/readme.txt", "read me");
        MakeDirs(wpt);
        ASSERT_EQ(Shell("cd " + web / "h" + " && Z=../zips/de_h.zip W=" + wpt + " && (" + k.make +
                        ") 2>/dev/null"),
                  0)
            << k.make;
        Show(k.site);
        std::size_t lines = run.Status().size(), shown = headless::ShellRequests().size();
        EXPECT_EQ(Job(109, "de_h.bsp"), k.files.empty() ? 1 : 0) << k.make;
        std::vector<std::string> said = run.Status(), files;
        said.erase(said.begin(), said.begin() + static_cast<long>(lines));
        EXPECT_THAT(said, Contains(HasSubstr(k.said))) << k.make;
        for (const std::string& f : k.files) files.push_back(wpt + f);
        EXPECT_EQ(InstalledFiles(), files) << k.make;  // and nothing else is there
        EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(wpt), {})),
                  files.size() + (k.make.find("$W") != std::string::npos));
        auto requests = headless::ShellRequests();
        EXPECT_EQ(requests.size() > shown ? requests.back() : "",
                  k.shown.empty() ? "" : wpt + k.shown);
    }
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

// Another bot chosen while several maps are fetched (here at the size
// question): every map still goes to the bot the job began with.
TEST_F(Downloads, SeveralMapsGoToTheBotTheJobBeganWith) {
    TempDir web;
    for (const char* map : {"de_a", "de_b"}) {
        tree.AddMap(std::string(map) + ".bsp");
        WriteFile(web / "w/" + map + ".pwf", PodBotHeader(7, "W", 300001));
    }
    WebServer server(web.path());
    Sites(server.host(), {{"/w", "pwf"}});
    run.PressAndWait(1);
    headless::SetMessageBoxResponder([](const headless::MessageBoxCall&) {
        sbot = 1;
        return IDYES;
    });
    for (int row = 0; row < 2; ++row) headless::SelectRow(md, kLeftList, row, true);
    headless::SendCommand(md, 109);
    WaitForThread(DThread);
    EXPECT_EQ(run.Status().back(), "2 installed");
    EXPECT_EQ(std::distance(fs::directory_iterator(wpt), {}), 2);
}

TEST_F(Downloads, TheUpdateCheckComparesVersionsRoundedAndSavesTheRelease) {
    updateEndsProgram = false;
    auto version = [](const std::string& v) {
        return "HTTP/1.1 200 OK\r\n\r\nNodescan\r\nversion " + v + "\r\n";
    };
    TempDir web;  // a real release and its digest as sha256sum writes it
    WriteFile(web / "a.txt", "release");
    std::string make = "cd " + web.path() + " && zip -q r.zip a.txt && sha256sum r.zip >r.sum";
    ASSERT_EQ(Shell(make), 0);
    const std::string ok = "HTTP/1.1 200 OK\r\n\r\n", none = "HTTP/1.1 404 Not Found\r\n\r\n";
    const std::string zip = ok + ReadFile(web / "r.zip"), sum = ok + ReadFile(web / "r.sum");
    struct Case {
        std::vector<std::string> replies;  // version.txt, nodescan.zip, nodescan.zip.sha256
        int answer, code;
        const char* caption;  // of the last box: the only one after the question
        std::string said;     // in the last box or status line
    } cases[] = {
        {{version("2.50")}, IDNO, 0, "Hey!!", ""},
        {{version("002.504")}, IDNO, 0, "Hey!!", ""},
        {{version("2.51")}, IDNO, 1, "Update Avaliable!", "WEB Version: 2.51\n"},
        {{version("400")}, IDNO, 1, "Update Avaliable!", ""},
        {{version("2.6") + " \r\n\t\r\n"}, IDNO, 1, "Update Avaliable!", "WEB Version: 2.60\n"},
        {{version("9999999999999999999.995")}, IDNO, 1, "Update Avaliable!", "00000.00\n"},
        {{none + "version 9"}, IDNO, 1, "Error!!", "version.txt from the update server: 404"},
        {{version("1e17")}, IDNO, 1, "Sorry!", "on: \"version 1e17\""},
        {{version("1e308")}, IDNO, 1, "Sorry!", ""},
        {{version("0x10")}, IDNO, 1, "Sorry!", ""},
        {{version("2.6abc")}, IDNO, 1, "Sorry!", ""},
        {{version("x")}, IDNO, 1, "Sorry!", ""},
        {{ok + "v 3\n"}, IDNO, 1, "Sorry!", ""},
        {{version("3"), none}, IDYES, 1, "Error!!", "CODE= 404 Not Found"},
        {{version("3"), ok + "PK\x03\x04release"}, IDYES, 1, "Error!", "no ZIP archive: the"},
        {{version("3"), zip, ok + std::string(64, '0') + "  x\n"}, IDYES, 1, "Error!", "not match"},
        {{version("3"), zip, ok + "<html>"}, IDYES, 1, "Error!", "holds no SHA-256 digest"},
        {{version("3"), zip, sum}, IDYES, 0, "Cool Again!!", "matches its SHA-256 digest"},
        {{version("3"), zip, none}, IDYES, 0, "Cool Again!!", "could not be verified"},
    };
    for (const Case& k : cases) {
        ScriptedServer server(k.replies);
        ScopedEnv host("NODESCAN_UPDATE_HOST", server.host());
        headless::SetMessageBoxResponder([&](const headless::MessageBoxCall&) { return k.answer; });
        std::size_t boxes = headless::MessageBoxes().size();
        EXPECT_EQ(Job(129), k.code) << k.caption;
        EXPECT_EQ(headless::MessageBoxes().size() - boxes, k.answer == IDYES ? 2u : 1u)
            << k.caption;
        EXPECT_EQ(headless::MessageBoxes().back().caption, k.caption);
        EXPECT_THAT(headless::MessageBoxes().back().text + "|" + run.Status().back(),
                    HasSubstr(k.said));
        EXPECT_EQ(server.requests().size(), k.replies.size()) << k.said;
        EXPECT_EQ(fs::exists(SavedPath("nodescan.zip")), k.code == 0 && k.answer == IDYES);
        EXPECT_FALSE(headless::BusyCursor());
    }
    EXPECT_EQ(ReadFile(SavedPath("nodescan.zip")), ReadFile(web / "r.zip"));
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

// Pod Bot's folder, and the game directory given, spelled otherwise than on
// disk: every command shows and uses the folders on disk and makes no second
// one; a folder not made yet is shown as computed.
TEST_F(CliTest, WaypointCommandsUseTheFolderOnDisk) {
    GameTree tree{games.path()};
    std::string c = tree.cstrike();
    for (const char* map : {"de_a.bsp", "de_b.bsp"}) tree.AddMap(map);
    TempDir web;
    WriteFile(web / "w/de_a.pwf", PodBotHeader(7, "Web"));
    WebServer server(web.path());
    env = {"NODESCAN_ONLINE=1"};
    for (int site = 0; site < kSiteCount; ++site)
        Run({"sites", "set", std::to_string(site), "host", server.host()});
    Run({"sites", "set", "2", "dir", "/w"});
    struct {
        const char *cfg, *made, *used;  // PoDBot/PodBot.cfg (none: nullptr); the folder made
    } cases[] = {{"wptfolder wptdefault\n", "PoDBot/WPTDefault", "PoDBot/WPTDefault"},
                 {nullptr, "podbot/WptDefault", "podbot/WptDefault"},  // PoDBot/wptdefault
                 {"wptfolder new\n", "PoDBot", "PoDBot/new"}};
    auto in = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"--game-dir", games / "half-life/CSTRIKE"});
        return args;
    };
    for (const auto& k : cases) {
        fs::remove_all(c + "PoDBot"), fs::remove_all(c + "podbot");
        if (k.cfg) tree.Add("PoDBot/PodBot.cfg", k.cfg);
        for (const char* wp : {"/de_b.pwf", "/extra.pwf"}) WriteFile(c + k.made + wp, "x");
        std::string dir = c + k.used;
        bool made = k.used == std::string(k.made);
        EXPECT_EQ(RunJson(in({"--json", "bots"}))[0]["waypoint_dir"], dir);
        Json check = RunJson(in({"--json", "check"}), made ? 0 : 1);
        EXPECT_EQ(check["waypoint_dir"], dir);
        EXPECT_EQ(check["right"]["rows"].size(), made ? 1u : 0u);
        CliResult r = Run(in({"download", "de_a.bsp", "--site", "2"}));
        EXPECT_THAT(made ? r.out : r.err,
                    HasSubstr(made ? dir + "/de_a.pwf\n" : "Cannot install " + dir + "/de_a.pwf"));
        EXPECT_EQ(Run(in({"delete-redundant", "extra.pwf", "--yes"})).out,
                  made ? dir + "/extra.pwf\n" : "");
        EXPECT_EQ(Run(in({"mapcycle"})).out, made ? c + "mapcycle.txt\n" : "");
        // de_a.pwf came, extra.pwf went; cstrike.wad, maps, mapcycle.txt and
        // the bot's folder: no second one was made.
        EXPECT_EQ(std::distance(fs::directory_iterator(c + k.made), {}), made ? 2 : 3) << k.made;
        EXPECT_EQ(std::distance(fs::directory_iterator(c), {}), 4) << k.made;
    }
}

TEST_F(CliTest, DownloadAndUpdateFromTheCommandLine) {
    GameTree tree{games.path()};
    for (const char* map : {"de_a.bsp", "de_b.bsp"}) tree.AddMap(map);
    AddPodFolder(tree);
    TempDir web;
    WriteFile(web / "w/de_a.pwf", PodBotHeader(7, "Web"));
    WriteFile(web / "w/de_b.pwf", PodBotHeader(7, "Web"));
    WriteFile(web / "programs/version.txt", "version 2.60\n");
    std::string make = "cd " + web / "programs" + " && zip -q nodescan.zip version.txt";
    ASSERT_EQ(Shell(make + " && sha256sum nodescan.zip >nodescan.zip.sha256"), 0);
    WebServer server(web.path());
    // Offline, yet servers on this machine are reached.
    env = {"NODESCAN_ONLINE=0", "NODESCAN_UPDATE_HOST=" + server.host()};
    for (int site = 0; site < kSiteCount; ++site)
        Run({"sites", "set", std::to_string(site), "host", server.host()});
    Run({"sites", "set", "2", "dir", "/w"});
    EXPECT_EQ(Run({"download", "de_x.bsp", "--site", "2"}).code, 2);
    auto doc = RunJson({"--json", "download", "de_a.bsp", "--site", "0"}, 1);
    EXPECT_EQ(doc["outcome"], "not found");
    std::string wpt = tree.cstrike() + "PODBot/wptdefault/";
    doc = RunJson({"--json", "download", "de_a.bsp", "--all"});
    EXPECT_EQ(doc["sites"].size(), 3u);
    EXPECT_EQ(doc["installed"], nlohmann::json::array({wpt + "de_a.pwf"}));
    EXPECT_EQ(doc["outcome"], "installed");
    EXPECT_EQ(doc["messages"].back()["caption"], wpt + "de_a.pwf");  // the box of a copy
    CliResult r = Run({"download", "DE_B.BSP", "--site", "2"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, wpt + "de_b.pwf\n");
    // Ended by SIGTERM while a download waits for its server: 143, and nothing
    // of the download stays.
    tree.AddMap("de_c.bsp");
    ScriptedServer silent({ScriptedServer::kSilent});
    Run({"sites", "set", "3", "host", silent.host()});
    std::vector<std::string> plain = env;
    env.insert(env.end(), {"timeout", "--preserve-status", "-s", "TERM", "3"});  // runs the CLI
    EXPECT_EQ(Run({"download", "de_c.bsp", "--site", "3"}).code, 143);
    EXPECT_EQ(silent.requests().size(), 1u);
    EXPECT_TRUE(fs::is_empty(home + "/temp"));
    env = plain;
    doc = RunJson({"update", "--yes", "--json"});
    EXPECT_EQ(doc["local_version"].dump() + doc["web_version"].dump() + doc["outcome"].dump() +
                  doc["archive"].dump(),
              "\"2.50\"\"2.60\"\"saved\"\"" + home + "/temp/nodescan.zip\"");
    EXPECT_EQ(doc["messages"].back()["text"], "Success!");
    Run({"sites", "set", "5", "host", "waypoints.example"});
    EXPECT_THAT(Run({"download", "de_c.bsp", "--all"}).err, HasSubstr("No Internet Connection"));
}

// Over TLS, a bare waypoint (through an http -> https redirect) and an
// archive; Search All goes past a site whose certificate does not verify.
TEST_F(CliTest, DownloadOverTls) {
    GameTree tree{games.path()};
    for (const char* map : {"de_a.bsp", "de_b.bsp", "de_c.bsp"}) tree.AddMap(map);
    AddPodFolder(tree);
    Certificates certs;
    TempDir web;
    for (const char* f : {"w/de_a.pwf", "w/de_c.pwf", "z/de_b.pwf"})
        WriteFile(web / f, PodBotHeader(7, "Tls"));
    ASSERT_EQ(Shell("cd " + web / "z" + " && zip -q de_b.zip de_b.pwf"), 0);
    WebServer good(web.path(), WebServer::kPythonTls, false, certs.pem("good")),
        wrong(web.path(), WebServer::kPythonTls, false, certs.pem("wrong"));
    ScriptedServer redirect(
        {"HTTP/1.1 302 Found\r\nLocation: " + good.host() + "/w/de_a.pwf\r\n\r\n"});
    env = {"NODESCAN_ONLINE=0", "NODESCAN_CA_FILE=" + certs.ca()};
    std::string hosts[] = {wrong.host(), good.host()};
    for (int site = 0; site < kSiteCount; ++site) {
        Run({"sites", "set", std::to_string(site), "host", hosts[std::min(site, 1)]});
        Run({"sites", "set", std::to_string(site), "dir", "/w"});
    }
    Run({"sites", "set", "2", "host", redirect.host()});
    Run({"sites", "set", "3", "dir", "/z"});
    Run({"sites", "set", "3", "ext", "zip"});
    Run({"sites", "set", "3", "start", ""});
    std::string wpt = tree.cstrike() + "PODBot/wptdefault/";
    CliResult r = Run({"download", "de_a.bsp", "--site", "2"});
    EXPECT_EQ(r.out, wpt + "de_a.pwf\n") << r.err;
    EXPECT_THAT(r.err, HasSubstr("de_a.pwf moved to " + good.host() + "/w/de_a.pwf"));
    EXPECT_EQ(Run({"download", "de_b.bsp", "--site", "3"}).out, wpt + "de_b.pwf\n");
    r = Run({"download", "de_c.bsp", "--all"});
    EXPECT_EQ(r.out, wpt + "de_c.pwf\n") << r.err;
    EXPECT_THAT(r.err, HasSubstr("No secure connection to " + wrong.host()));
    for (const char* f : {"de_a.pwf", "de_b.pwf", "de_c.pwf"})
        EXPECT_EQ(ReadFile(wpt + f), PodBotHeader(7, "Tls"));
}

// Several maps in one run, in the left list's order: each installed that a
// site has, a summary line, one JSON document; exit 0 only when all came.
TEST_F(CliTest, DownloadFetchesSeveralMapsAndSumsUp) {
    GameTree tree{games.path()};
    for (const char* map : {"de_n.bsp", "de_a.bsp", "de_big.bsp", "de_b.bsp"}) tree.AddMap(map);
    AddPodFolder(tree);
    TempDir web;
    for (const char* map : {"de_a", "de_b"})
        WriteFile(web / "w/" + map + ".pwf", PodBotHeader(7, "W"));
    WriteFile(web / "w/de_big.pwf", PodBotHeader(7, "Big", 300001));
    WebServer server(web.path());
    env = {"NODESCAN_ONLINE=1"};
    for (int site = 0; site < kSiteCount; ++site)
        Run({"sites", "set", std::to_string(site), "host", server.host()});
    Run({"sites", "set", "2", "dir", "/w"});
    std::string wpt = tree.cstrike() + "PODBot/wptdefault/";
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string out, err;
    } cases[] = {
        {{"download"}, 2, "", "download needs MAP... or --missing"},
        {{"download", "de_a.bsp", "--missing"}, 2, "", "MAP excludes --missing"},
        {{"download", "de_a.bsp", "de_x.bsp"}, 2, "", "de_x.bsp is no map missing a waypoint"},
        // 300001 bytes, asked without a terminal: No. No site has de_n.
        {{"--json", "download", "--missing", "--all"},
         1,
         "de_a.bsp installed,de_b.bsp installed,"
         "de_big.bsp declined,de_n.bsp not found,",
         "2 installed, 1 not found on any site (de_n.bsp), 1 declined (de_big.bsp)\n"},
        {{"download", "de_n.bsp", "de_big.bsp", "--site", "2", "--yes"},
         0,
         wpt + "de_big.pwf\n" + wpt + "de_n.pwf\n",
         "2 installed\n"},
        {{"download", "--missing"}, 0, "", "No map is missing a waypoint: nothing to download\n"},
    };
    for (const Case& k : cases) {
        if (k.code == 0) WriteFile(web / "w/de_n.pwf", PodBotHeader(7, "N"));
        CliResult r = Run(k.args);
        EXPECT_EQ(r.code, k.code) << r.err;
        EXPECT_THAT(r.err, HasSubstr(k.err));
        std::string out = r.out;
        if (k.args[0] == "--json") {
            Json doc = Json::parse(r.out);
            out.clear();
            for (const auto& m : doc["maps"])
                out += m["map"].get<std::string>() + " " + m["outcome"].get<std::string>() + ",";
            EXPECT_EQ(doc["maps"][1]["installed"], Json::array({wpt + "de_b.pwf"}));
            EXPECT_EQ(doc["counts"]["installed"].dump() + doc["outcome"].dump(),
                      "2\"not all installed\"");
            // No box for each copy, nor for the map no site has: the summary tells.
            EXPECT_EQ(doc["messages"].back()["caption"], "File to large?");
        }
        EXPECT_EQ(out, k.out);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(wpt), {}), 4);
}

TEST(Loopback, OnlyHostsOnThisMachineNeedNoNetwork) {
    for (const char* host : {"127.0.0.1", "127.9.8.7:8080", "[::1]:80", "LocalHost",
                             "[::ffff:7f00:1]", "https://127.0.0.1:8443", "HTTP://[::1]/"})
        EXPECT_TRUE(OnlyLoopback({host})) << host;
    for (const char* host : {"128.0.0.1", "192.0.2.17", "localhost.example", "[::2]", "::1", "",
                             "https://", "ftp://127.0.0.1"})
        EXPECT_FALSE(OnlyLoopback({host})) << host;
    EXPECT_FALSE(OnlyLoopback({"127.0.0.1", "waypoints.example"}));
}
