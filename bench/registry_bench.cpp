// Times the registry on large hive files: the load of a hive (read, parse,
// index) and the save of one changed value (lock, read again, parse, merge,
// write, fsync), for a hive of VALUES dword values written as regedit does.
//
//   registry_bench [VALUES...]    (default: 80000 1420000, about 2.5 and 44 MB)
//
// Each hive is generated in a fresh NODESCAN_HOME under /tmp, removed at the
// end. Prints one line per hive: values=.. file_mb=.. load_ms=.. save_ms=..
// (the median of 3 runs each).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/registry.h"

namespace {

double Ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The hive file of count dword values "Value0000000".. in the program's key.
std::string HiveText(long count) {
    std::string text = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Nodescan]\r\n";
    text.reserve(static_cast<std::size_t>(count) * 37 + 64);
    char line[64];
    for (long i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "\"Value%07ld\"=dword:%08lx\r\n", i,
                      i * 2654435761 % 0xFFFFFFFF);
        text += line;
    }
    return text + "\r\n";
}

// Loads and saves a hive of count values; false when something failed.
bool Run(long count) {
    std::string text = HiveText(count);
    const std::string path = HiveFilePath(Hive::CurrentUser);
    std::filesystem::create_directories(ConfigDir());
    std::vector<double> loads, saves;
    for (int run = 0; run < 3; ++run) {
        std::ofstream(path, std::ios::binary) << text;
        RegistryUnload();
        auto start = std::chrono::steady_clock::now();
        RegKey key = RegKey::Open(Hive::CurrentUser, false);
        std::uint32_t last = 0;
        char last_name[32];
        std::snprintf(last_name, sizeof last_name, "Value%07ld", count - 1);
        if (!key.ok() || !key.ReadDword(last_name, &last)) return false;
        loads.push_back(Ms(start));
        start = std::chrono::steady_clock::now();
        if (!key.WriteDword("Value0000000", last + 1) || !key.Close()) return false;
        saves.push_back(Ms(start));
    }
    std::printf("values=%ld file_mb=%.1f load_ms=%.0f save_ms=%.0f\n", count,
                static_cast<double>(text.size()) / 1e6, Median(loads), Median(saves));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<long> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(std::atol(argv[i]));
    if (counts.empty()) counts = {80000, 1420000};
    char home[] = "/tmp/registry_bench.XXXXXX";
    if (!mkdtemp(home)) return 1;
    setenv("NODESCAN_HOME", home, 1);
    bool ok = true;
    for (long count : counts) ok = count > 0 && Run(count) && ok;
    RegistryUnload();
    std::filesystem::remove_all(home);
    return ok ? 0 : 1;
}
