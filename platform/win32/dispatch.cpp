// Carrying the window calls of worker threads over to the window's thread:
// a queue that the window's thread runs in turns when its message-only
// window is told, from whatever message loop runs (the dialogs', a message
// box's). The Win32 counterpart of platform/qt/dispatch.cpp.
#include "platform/win32/dispatch.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/win32/host.h"
#include "platform/win32/win32.h"

// After <windows.h>.
#include <commctrl.h>

namespace win32host {
namespace {

// Messages of the host's message-only window.
constexpr UINT kDrainMessage = WM_APP + 1;  // calls of workers are queued
constexpr UINT kQuitMessage = WM_APP + 2;   // wParam: the code

// The calls of worker threads, carried out on the window's thread in the
// order they were made: those that return nothing are queued and the caller
// goes on, those that return a value wait for it. The window's thread runs
// them in turns of up to kTurn, waiting kLinger for a busy worker's next call
// before it goes back to input and painting (a turn for each call would
// repaint the window for each).
using Clock = std::chrono::steady_clock;
constexpr auto kTurn = std::chrono::milliseconds(10);
constexpr auto kLinger = std::chrono::milliseconds(1);

struct Waiter {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::exception_ptr error;
};

struct Task {
    std::function<void()> fn;
    std::shared_ptr<Waiter> waiter;  // null: the caller went on
};

// Guards the queue, wakePosted, and the changes of the live set (with
// liveMutex inside it): a call is queued only for a dialog that lives, and
// when one ends what was queued for it is run out.
std::mutex queueMutex;
std::deque<Task> queue;
bool wakePosted = false;     // a drain message is on its way or a turn is running
std::atomic<int> queued{0};  // queue.size(), readable without the lock
bool draining = false;       // window's thread only: a queued call is being carried out

DWORD windowThread = 0;
HWND hostWindow = nullptr;  // the message-only window that is told of queued calls

// Any thread: the dialogs' windows.
std::mutex liveMutex;
std::map<int, HWND> live;

// Runs one queued call; false when none is left.
bool RunOne() {
    Task task;
    {
        std::lock_guard lock(queueMutex);
        if (queue.empty()) return false;
        task = std::move(queue.front());
        queue.pop_front();
        queued = static_cast<int>(queue.size());
    }
    std::exception_ptr error;
    bool was = std::exchange(draining, true);
    try {
        task.fn();
    } catch (...) {
        error = std::current_exception();
    }
    draining = was;
    if (task.waiter) {
        std::lock_guard lock(task.waiter->m);
        task.waiter->done = true;
        task.waiter->error = error;
        task.waiter->cv.notify_all();
    }
    return true;
}

// One turn of queued calls from the message loop.
void DrainTurn() {
    if (draining) return;  // a queued call's box or dialog: its turn goes on after it
    auto start = Clock::now();
    while (Clock::now() - start < kTurn) {
        if (RunOne()) continue;
        auto lingerEnd = Clock::now() + kLinger;
        while (queued == 0 && Clock::now() < lingerEnd) std::this_thread::yield();
        if (queued != 0) continue;
        {
            std::lock_guard lock(queueMutex);
            if (!queue.empty()) continue;
            wakePosted = false;
        }
        EndOfTurn();
        return;
    }
    EndOfTurn();
    PostMessageW(hostWindow, kDrainMessage, 0, 0);  // the rest after input and painting
}

// Queues fn for the window's thread unless w does not live (or, for 0, no
// dialog does).
bool Enqueue(int w, std::function<void()> fn, std::shared_ptr<Waiter> waiter) {
    std::lock_guard lock(queueMutex);
    if (!Live(w)) return false;
    queue.push_back(Task{std::move(fn), std::move(waiter)});
    queued = static_cast<int>(queue.size());
    if (!wakePosted) {
        wakePosted = true;
        PostMessageW(hostWindow, kDrainMessage, 0, 0);
    }
    return true;
}

LRESULT CALLBACK HostWindowProcedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kDrainMessage) {
        DrainTurn();
        return 0;
    }
    if (msg == kQuitMessage) {
        Quit(static_cast<int>(wp));
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

void SetLive(int w, void* hwnd) {
    std::lock_guard queueLock(queueMutex);
    std::lock_guard lock(liveMutex);
    if (hwnd) {
        live[w] = static_cast<HWND>(hwnd);
    } else {
        live.erase(w);
    }
}

// Everything queued so far, before a call of the window's thread itself (a
// worker sees its own writes in order); nothing while a queued call runs
// (its own notifications must not overtake what its thread queued after it).
void Flush() {
    if (draining || queued == 0) return;
    while (RunOne()) {
    }
    EndOfTurn();
}

bool InQueuedCall() {
    return draining;
}

void PostQuit(int code) {
    PostMessageW(hostWindow, kQuitMessage, static_cast<WPARAM>(code), 0);
}

void Start() {
    windowThread = GetCurrentThreadId();
    INITCOMMONCONTROLSEX icc{sizeof icc,
                             ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSW wc{};
    wc.lpfnWndProc = HostWindowProcedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"NodescanHost";
    RegisterClassW(&wc);
    hostWindow = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, nullptr);
}

bool OnWindowThreadNow() {
    return !hostWindow || GetCurrentThreadId() == windowThread;
}

bool Call(int w, const std::function<void()>& fn) {
    if (OnWindowThreadNow()) {
        Flush();
        fn();
        return true;
    }
    auto waiter = std::make_shared<Waiter>();
    if (!Enqueue(w, fn, waiter)) return false;
    std::unique_lock lock(waiter->m);
    waiter->cv.wait(lock, [&] { return waiter->done; });
    if (waiter->error) std::rethrow_exception(waiter->error);
    return true;
}

void Queue(int w, std::function<void()> fn) {
    if (OnWindowThreadNow()) {
        Flush();
        fn();
        return;
    }
    Enqueue(w, std::move(fn), nullptr);
}

bool Live(int w) {
    std::lock_guard lock(liveMutex);
    return w == 0 ? !live.empty() : live.count(w) != 0;
}

void* WindowHandle(int w) {
    std::lock_guard lock(liveMutex);
    auto it = live.find(w);
    return it == live.end() ? nullptr : it->second;
}

void Post(int w, int id) {
    std::lock_guard lock(liveMutex);
    auto it = live.find(w);
    if (it != live.end())
        PostMessageW(it->second, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
}

}  // namespace win32host
