// Threads with the exit-code protocol: 259 while a thread runs, then its code.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

inline constexpr std::uint32_t STILL_ACTIVE = 259;

struct ThreadState;
using ThreadHandle = std::shared_ptr<ThreadState>;

// Starts fn on a new thread at once. Null when the thread could not start.
// The thread is registered with the block collector for its whole life.
ThreadHandle CreateThread(std::function<std::uint32_t()> fn, std::uint32_t* threadId);

// The thread's exit code, STILL_ACTIVE while it runs; false for a null handle.
bool GetExitCodeThread(const ThreadHandle& thread, std::uint32_t* code);

// Whether the thread still runs; false for a null handle.
inline bool ThreadRunning(const ThreadHandle& thread) {
    std::uint32_t code;
    return GetExitCodeThread(thread, &code) && code == STILL_ACTIVE;
}

// Waits until the thread has ended; true at once for a null handle.
void WaitForThread(const ThreadHandle& thread);

// Ends the calling thread with code. On a thread of CreateThread the code
// becomes its exit code; elsewhere the ThreadExit propagates to the caller's
// entry point, which ends the program with that code.
struct ThreadExit {
    std::uint32_t code;
};
[[noreturn]] void ExitThread(std::uint32_t code);

// Ends the process at once with code, without tearing anything down (but for
// the running transfer's files, see below). A code that an exit status cannot
// carry (above 255) becomes 1. Under AddressSanitizer the leak check runs first.
[[noreturn]] void ExitProcess(unsigned code);

// The files of the transfer running now (one at a time), set before they are
// created and cleared when the transfer has ended: an end of the process
// in between, through ExitProcess or a signal of EndOnSignals, removes them.
// A path of 4096 bytes or more is not kept.
void SetRunningTransfer(const std::string& first, const std::string& second);
void ClearRunningTransfer();
// From now on SIGINT and SIGTERM (on Windows the console's Ctrl+C and close
// events) remove the running transfer's files and end the process with 128 +
// the signal's number. first, when given, runs before: from a signal handler,
// so it may only make calls such as WriteErrorNow (platform/console.h).
void EndOnSignals(void (*first)() = nullptr);
