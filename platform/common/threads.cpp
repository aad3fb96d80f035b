#include "platform/threads.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/common/collector.h"
#include "platform/common/transfer.h"

// AddressSanitizer's leak check runs at exit, which std::_Exit skips.
#if defined(__SANITIZE_ADDRESS__)
#define NODESCAN_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NODESCAN_LEAK_CHECK 1
#endif
#endif
#ifdef NODESCAN_LEAK_CHECK
#include <sanitizer/lsan_interface.h>

// What the check reports that is not the program's. fontconfig, which the
// window's toolkit loads, keeps its configuration for the life of the process
// and gives it back only in FcFini, which _exit skips; the check reports it
// although fontconfig still holds it. The library has no frame pointers, so
// the recorded allocation stacks end inside it: it is named by its file.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
#endif

struct ThreadState {
    std::atomic<std::uint32_t> code{STILL_ACTIVE};
    std::mutex m;
    std::condition_variable done;
    bool ended = false;
};

namespace {
std::atomic<std::uint32_t> nextThreadId{1};

// The running transfer's paths, for a signal handler: fixed buffers, and the
// number of the slot in use. A new transfer writes the other slot, never the
// one that a handler may be reading.
constexpr std::size_t kPathBytes = 4096;
char transferPaths[2][2][kPathBytes];
int lastSlot = 1;
std::atomic<int> transferSlot{-1};
static_assert(std::atomic<int>::is_always_lock_free, "read by a signal handler");

// Keeps the collector aware of the thread's stack while it runs.
struct CollectorRegistration {
    CollectorRegistration() {
        GC_stack_base sb;
        registered =
            GC_get_stack_base(&sb) == GC_SUCCESS && GC_register_my_thread(&sb) == GC_SUCCESS;
    }
    ~CollectorRegistration() {
        if (registered) GC_unregister_my_thread();
    }
    bool registered = false;
};
}  // namespace

void RemoveRunningTransfer() {
    int slot = transferSlot.load();
    if (slot < 0) return;
    for (const char* path : transferPaths[slot])
        if (*path) RemoveFileNow(path);
}

ThreadHandle CreateThread(std::function<std::uint32_t()> fn, std::uint32_t* threadId) {
    auto state = std::make_shared<ThreadState>();
    try {
        std::thread([state, fn = std::move(fn)] {
            std::uint32_t code = 0;
            {
                CollectorRegistration registration;
                try {
                    code = fn();
                } catch (const ThreadExit& e) {
                    code = e.code;
                }
            }
            std::lock_guard lock(state->m);
            state->code = code;
            state->ended = true;
            state->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return nullptr;
    }
    if (threadId) *threadId = nextThreadId++;
    return state;
}

bool GetExitCodeThread(const ThreadHandle& thread, std::uint32_t* code) {
    if (!thread) return false;
    *code = thread->code.load();
    return true;
}

void WaitForThread(const ThreadHandle& thread) {
    if (!thread) return;
    std::unique_lock lock(thread->m);
    thread->done.wait(lock, [&] { return thread->ended; });
}

void ExitThread(std::uint32_t code) {
    throw ThreadExit{code};
}

void SetRunningTransfer(const std::string& first, const std::string& second) {
    transferSlot = -1;
    if (first.size() >= kPathBytes || second.size() >= kPathBytes) return;
    lastSlot ^= 1;
    std::memcpy(transferPaths[lastSlot][0], first.c_str(), first.size() + 1);
    std::memcpy(transferPaths[lastSlot][1], second.c_str(), second.size() + 1);
    transferSlot = lastSlot;
}

void ClearRunningTransfer() {
    transferSlot = -1;
}

void ExitProcess(unsigned code) {
    RemoveRunningTransfer();
    std::fflush(nullptr);
#ifdef NODESCAN_LEAK_CHECK
    // A leak ends the process here, after the check's report, with exit code 1.
    __lsan_do_leak_check();
#endif
    std::_Exit(code > 255 ? 1 : static_cast<int>(code));
}
