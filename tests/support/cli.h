// nodescan-cli as a user runs it: the built program in a process of its own,
// with its own NODESCAN_HOME and search roots.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/testenv.h"

namespace testenv {

struct CliResult {
    int code = -1;
    std::string out;
    std::string err;
};

std::vector<std::string> Lines(const std::string& text);

// PodBot.cfg naming an empty waypoint directory, so that Pod Bot's check of
// tree is complete.
void AddPodFolder(const GameTree& tree);

class CliTest : public ::testing::Test {
  protected:
    TempDir scratch;  // the program's home and its captured output
    TempDir games;
    std::string home = scratch / "home";
    std::string roots = games.path();
    std::string cwd;               // the run's working directory ("" the test's)
    std::vector<std::string> env;  // further NAME=value entries
    int uid = -1;                  // run as this user (and its group) when >= 0
    bool appendErr = false;        // standard error appended to one log, err all of it

    void SetUp() override {
        MakeDirs(home);
        ForgetSettings();
    }

    std::string ConfigDir() const { return home + "/config"; }
    std::string CuHive() const { return ConfigDir() + "/HKEY_CURRENT_USER.reg"; }
    std::string LmHive() const { return ConfigDir() + "/HKEY_LOCAL_MACHINE.reg"; }

    // Runs nodescan-cli with args, stdin from /dev/null; ends it after a minute.
    CliResult Run(const std::vector<std::string>& args);
    // Runs it and parses standard output as one JSON document.
    nlohmann::json RunJson(const std::vector<std::string>& args, int expectedCode = 0);
};

}  // namespace testenv
