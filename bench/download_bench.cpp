// download_bench HOST DIR FILE [RUNS]: fetches DIR/FILE from HOST as a
// waypoint download does (HEAD and size, GET and header stripping), RUNS
// times (default 9), in a fresh NODESCAN_HOME under /tmp, and prints
//   runs=.. median_ms=.. bytes=..
// Exit 1 when a fetch failed.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "download/http.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "settings/locator.h"

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: download_bench HOST DIR FILE [RUNS]\n");
        return 2;
    }
    InitBlockHeap();
    char home[] = "/tmp/nodescan-download-bench.XXXXXX";
    if (!mkdtemp(home)) return 2;
    setenv("NODESCAN_HOME", home, 1);
    MakeDirPath(GetTempDir(), 0700);
    const std::string host = argv[1], dir = argv[2], file = argv[3];
    const int runs = argc == 5 ? std::max(1, std::atoi(argv[4])) : 9;
    std::vector<double> times;
    std::uint32_t size = 0;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        bool ok = Download(host, file, dir, "HEAD") == 1 &&
                  (size = FindSize(file, 0)) != 0xFFFFFFFFu &&
                  Download(host, file, dir, "GET") == 1 && CheckFile(file) == 1;
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        if (!ok) {
            std::fprintf(stderr, "download_bench: fetching %s%s/%s failed\n", host.c_str(),
                         dir.c_str(), file.c_str());
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("runs=%d median_ms=%.2f bytes=%u\n", runs, times[times.size() / 2], size);
    DeleteFile(SavedPath(file));
    std::string rm = std::string("rm -rf -- ") + home;
    return std::system(rm.c_str()) == 0 ? 0 : 2;
}
