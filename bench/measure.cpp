// measure: run a command several times and report its median wall-clock time
// and the largest peak resident set size of any run.
//
//   measure [-n RUNS] [-w WARMUPS] [-q] [--] COMMAND [ARGS...]
//
// Each run is a fork/execvp of COMMAND with standard output sent to
// /dev/null (standard error stays attached unless -q). The time of a run is
// taken from just before fork to the return of wait4; the peak RSS comes from
// the rusage that wait4 reports for that child. Warm-up runs are timed but
// not counted in the median; their peak RSS counts.
//
// Output, one line on standard output:
//   runs=15 median_ms=12.345 min_ms=11.002 max_ms=14.870 peak_rss_mb=6.42
// Exit status: 0 when every run exited with status 0, 1 when a run failed,
// 2 on a usage error or when the command cannot be started.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct RunResult {
    double ms = 0;
    long maxrss_kb = 0;
    int status = 0;
};

void Usage() {
    std::fprintf(stderr, "usage: measure [-n RUNS] [-w WARMUPS] [-q] [--] COMMAND [ARGS...]\n");
    std::exit(2);
}

int ParseCount(const char* text, int min) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < min || v > 100000) Usage();
    return static_cast<int>(v);
}

// Start argv[0] with stdout on /dev/null, wait for it, and fill in the result.
// Returns false when the child could not be created.
bool RunOnce(char* const argv[], bool quiet, RunResult& out) {
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0) {
        std::perror("measure: fork");
        return false;
    }
    if (pid == 0) {
        int devnull = open("/dev/null", O_WRONLY);
        if (devnull < 0) _exit(127);
        dup2(devnull, STDOUT_FILENO);
        if (quiet) dup2(devnull, STDERR_FILENO);
        if (devnull > STDERR_FILENO) close(devnull);
        execvp(argv[0], argv);
        // Only reached when exec fails; stderr may be /dev/null under -q.
        std::fprintf(stderr, "measure: cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    struct rusage ru {};
    pid_t r;
    do {
        r = wait4(pid, &status, 0, &ru);
    } while (r < 0 && errno == EINTR);
    auto end = std::chrono::steady_clock::now();
    if (r < 0) {
        std::perror("measure: wait4");
        return false;
    }
    out.ms = std::chrono::duration<double, std::milli>(end - start).count();
    out.maxrss_kb = ru.ru_maxrss;  // kilobytes on Linux
    out.status = status;
    return true;
}

std::string Describe(int status) {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 15;
    int warmups = 2;
    bool quiet = false;
    int i = 1;
    for (; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--") {
            ++i;
            break;
        }
        if (a == "-n" && i + 1 < argc) {
            runs = ParseCount(argv[++i], 1);
        } else if (a == "-w" && i + 1 < argc) {
            warmups = ParseCount(argv[++i], 0);
        } else if (a == "-q") {
            quiet = true;
        } else if (!a.empty() && a[0] == '-') {
            Usage();
        } else {
            break;
        }
    }
    if (i >= argc) Usage();
    char* const* command = argv + i;

    std::vector<double> times;
    long peak_kb = 0;
    int failures = 0;
    for (int k = 0; k < warmups + runs; ++k) {
        RunResult r;
        if (!RunOnce(command, quiet, r)) return 2;
        if (WIFEXITED(r.status) && WEXITSTATUS(r.status) == 127) {
            std::fprintf(stderr, "measure: %s could not be started (exit status 127)\n",
                         command[0]);
            return 2;
        }
        if (!WIFEXITED(r.status) || WEXITSTATUS(r.status) != 0) {
            ++failures;
            std::fprintf(stderr, "measure: run %d of %s ended with %s\n", k + 1, command[0],
                         Describe(r.status).c_str());
        }
        peak_kb = std::max(peak_kb, r.maxrss_kb);
        if (k >= warmups) times.push_back(r.ms);
    }

    std::sort(times.begin(), times.end());
    size_t n = times.size();
    double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    std::printf("runs=%zu median_ms=%.3f min_ms=%.3f max_ms=%.3f peak_rss_mb=%.2f\n", n, median,
                times.front(), times.back(), static_cast<double>(peak_kb) / 1024.0);
    return failures ? 1 : 0;
}
