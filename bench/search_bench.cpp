// Times the tree search for a file over the roots given, in order, as the
// game locator tries its search roots: the first root that holds the file
// ends the search.
//
//   search_bench NAME ROOT...
//
// Prints the path found (or "not found") and the elapsed milliseconds.
#include <chrono>
#include <cstdio>
#include <string>

#include "platform/files.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s NAME ROOT...\n", argv[0]);
        return 2;
    }
    const std::string name = argv[1];
    auto start = std::chrono::steady_clock::now();
    std::string found;
    bool ok = false;
    for (int i = 2; i < argc && !ok; ++i) ok = SearchTreeForFile(argv[i], name, &found);
    std::chrono::duration<double, std::milli> ms = std::chrono::steady_clock::now() - start;
    std::printf("%s\n%.1f ms\n", ok ? found.c_str() : "not found", ms.count());
    return ok ? 0 : 1;
}
