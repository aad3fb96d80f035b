#include "fuzz/fuzz_env.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/memory.h"
#include "platform/paths.h"
#include "settings/locator.h"

namespace fuzzenv {
namespace {
void RemovePrivateDir() {
    std::error_code ec;
    std::filesystem::remove_all(PrivateDir(), ec);
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz setup: %s\n", what.c_str());
    std::abort();
}
}  // namespace

const std::string& PrivateDir() {
    static const std::string dir = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/nodescan-fuzz-XXXXXX";
        if (!mkdtemp(tmpl.data())) Fail("mkdtemp " + tmpl);
        return tmpl;
    }();
    static const bool cleanup = std::atexit(RemovePrivateDir) == 0;
    (void)cleanup;
    return dir;
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) Fail("cannot write " + path);
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok) Fail("cannot write " + path);
}

void MakeDirs(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) Fail("cannot create " + dir + ": " + ec.message());
}

void Expect(bool ok, const char* property) {
    if (ok) return;
    std::fprintf(stderr, "\nproperty broken: %s\n", property);
    std::abort();
}

std::string SetUpProgram() {
    const std::string& root = PrivateDir();
    setenv("NODESCAN_HOME", (root + "/home").c_str(), 1);
    setenv("NODESCAN_SEARCH_ROOTS", (root + "/no-games").c_str(), 1);
    setenv("NODESCAN_ONLINE", "0", 1);
    MakeDirs(root + "/no-games");
    MakeDirs(ConfigDir());
    MakeDirs(TempDirPath());
    InitBlockHeap();

    std::string game = root + "/game/";
    MakeDirs(game + "maps");
    // A given game directory is never looked up nor searched for.
    SetDirectoryOverride(game, game + "maps");
    return game;
}

}  // namespace fuzzenv
