#include "support/cli.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

extern char** environ;

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

CliResult CliTest::Run(const std::vector<std::string>& args) {
    std::vector<std::string> envs = {"HOME=" + home, "NODESCAN_HOME=" + home,
                                     "NODESCAN_SEARCH_ROOTS=" + roots};
    envs.insert(envs.end(), env.begin(), env.end());
    for (char** e = environ; *e; ++e) {
        std::string v = *e;
        for (const char* keep :
             {"PATH=", "TZ=", "ASAN_OPTIONS=", "UBSAN_OPTIONS=", "LSAN_OPTIONS=", "TSAN_OPTIONS="})
            if (v.rfind(keep, 0) == 0) envs.push_back(v);
    }
    std::string outPath = scratch / "stdout", errPath = scratch / "stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<std::string> argStrings = {NODESCAN_CLI_PATH};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : envs) envp.push_back(e.data());
    envp.push_back(nullptr);

    CliResult result;
    pid_t pid;
    int rc = posix_spawn(&pid, NODESCAN_CLI_PATH, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        ADD_FAILURE() << "cannot start " << NODESCAN_CLI_PATH << ": " << std::strerror(rc);
        return result;
    }
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "nodescan-cli did not end";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
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
