#include "support/cli.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace testenv {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void AddPodFolder(const GameTree& tree) {
    tree.Add("PODBot/PodBot.cfg", "wptfolder wptdefault\n");
    MakeDirs(tree.cstrike() + "PODBot/wptdefault");
}

namespace {
// s as one word of the shell, whatever bytes it holds.
std::string Quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}
}  // namespace

CliResult CliTest::Run(const std::vector<std::string>& args) {
    // A clean environment but for what the sanitizers and the clock need (a
    // ThreadSanitizer build would otherwise wait a second at every exit).
    std::string cmd =
        (cwd.empty() ? "" : "cd " + Quoted(cwd) + " && ") +
        "env -i PATH=\"$PATH\" ${TZ+TZ=\"$TZ\"} ${ASAN_OPTIONS+ASAN_OPTIONS=\"$ASAN_OPTIONS\"} "
        "${UBSAN_OPTIONS+UBSAN_OPTIONS=\"$UBSAN_OPTIONS\"} "
        "TSAN_OPTIONS=\"$TSAN_OPTIONS:atexit_sleep_ms=0\" " +
        Quoted("HOME=" + home) + " " + Quoted("NODESCAN_HOME=" + home) + " " +
        Quoted("NODESCAN_SEARCH_ROOTS=" + roots);
    for (const auto& e : env) cmd += " " + Quoted(e);
    std::string program = NODESCAN_CLI_PATH;
    if (uid >= 0) {
        // A copy the other user can reach (a build under /root is private).
        program = scratch / "nodescan-cli";
        std::filesystem::copy_file(NODESCAN_CLI_PATH, program,
                                   std::filesystem::copy_options::overwrite_existing);
        std::string id = std::to_string(uid);
        cmd += " setpriv --reuid=" + id + " --regid=" + id + " --clear-groups";
    }
    cmd += " timeout -s KILL 60 " + Quoted(program);
    for (const auto& a : args) cmd += " " + Quoted(a);
    std::string outPath = scratch / "stdout", errPath = scratch / "stderr";
    cmd += " </dev/null >" + Quoted(outPath) + (appendErr ? " 2>>" : " 2>") + Quoted(errPath);

    CliResult result;
    int status = std::system(cmd.c_str());
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    EXPECT_NE(result.code, 128 + 9) << "nodescan-cli did not end";
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    // A sanitizer's report fails the run even where its exit code, 1, is expected.
    EXPECT_EQ(result.err.find("Sanitizer:"), std::string::npos) << result.err;
    return result;
}

nlohmann::json CliTest::RunJson(const std::vector<std::string>& args, int expectedCode) {
    CliResult r = Run(args);
    EXPECT_EQ(r.code, expectedCode) << r.err;
    nlohmann::json doc = nlohmann::json::parse(r.out, nullptr, false);
    EXPECT_FALSE(doc.is_discarded()) << "not one JSON document:\n" << r.out;
    return doc;
}

}  // namespace testenv
