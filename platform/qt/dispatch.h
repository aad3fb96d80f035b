// Carrying the window calls of worker threads over to the window's thread.
//
// Every call of platform/ui.h is carried out on the window's (GUI) thread.
// A call made there runs at once. A call from another thread joins one FIFO:
// calls that return nothing are queued and the caller goes on; calls that
// return a value wait until the window's thread has run everything queued
// before them and then the call itself. So a worker sees its own writes, the
// window sees the calls of each thread in the order they were made, and the
// cost of a round trip is only paid where a value comes back.
//
// Calls for a dialog that does not exist (never created, or ended) are not
// queued: they return at once with their fallback value. When a dialog ends,
// the queue is run out, so no worker stays blocked on a window that is gone.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

#include "platform/ui.h"

namespace qtdispatch {

// True on the thread that owns the application object.
bool OnGuiThread();

// Runs everything queued so far. On the window's thread only; does nothing
// while a queued call is being carried out (a call's own notifications must
// not overtake the calls that its thread queued after it).
void Flush();

// Dialogs that accept calls from workers: added when a dialog is created,
// removed when it ends (the queue is then run out).
void SetDialogLive(Hwnd w, bool live);
bool AnyDialogLive();
// Calls queued and not yet carried out.
int Pending();

namespace detail {
// Shared by the caller and the queue, so that neither side can outlive it.
struct Waiter {
    std::atomic<bool> done{false};
};
// Queues fn for the window's thread unless w is neither live nor kNoWindow
// with some dialog live. waiter: null for a call that returns nothing.
bool Enqueue(Hwnd w, std::function<void()> fn, std::shared_ptr<Waiter> waiter);
void Wait(Waiter& waiter);
}  // namespace detail

// A call that returns nothing.
template <class F>
void Post(Hwnd w, F&& fn) {
    if (OnGuiThread()) {
        Flush();
        fn();
        return;
    }
    detail::Enqueue(w, std::function<void()>(std::forward<F>(fn)), nullptr);
}

// A call that returns a value: fallback when the dialog is gone.
template <class R, class F>
R Call(Hwnd w, R fallback, F&& fn) {
    if (OnGuiThread()) {
        Flush();
        return fn();
    }
    R result = fallback;
    auto waiter = std::make_shared<detail::Waiter>();
    if (!detail::Enqueue(
            w, [&result, &fn] { result = fn(); }, waiter))
        return fallback;
    detail::Wait(*waiter);
    return result;
}

}  // namespace qtdispatch
