#include "platform/qt/dispatch.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

namespace qtdispatch {
namespace {

using Clock = std::chrono::steady_clock;

// How long one turn of the event loop may spend on queued calls before
// input, timers and painting get their turn again: under a third of a frame
// at 60 Hz. The rest of the frame goes to the list view's layout and paint
// of the rows just added, which take several milliseconds of their own once
// the list is long.
constexpr auto kTurnBudget = std::chrono::milliseconds(5);
// How long the window's thread keeps waiting for the next call of a busy
// worker before it goes back to the event loop.
constexpr auto kLinger = std::chrono::microseconds(200);
// How long a worker spins for its answer before it sleeps.
constexpr int kWorkerSpins = 4000;

struct Task {
    std::function<void()> fn;
    std::shared_ptr<detail::Waiter> waiter;
};

const QEvent::Type kDrainEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class Pump : public QObject {
  public:
    Pump();
    bool event(QEvent* e) override;
    // The next turn of a queue left undrained: a zero timer, which comes
    // after the loop's pending timers, where a posted event would come
    // before them (posted events keep Qt's timers waiting).
    QTimer resume;
};

std::mutex mu;
std::deque<Task> queue;  // guarded by mu
std::set<Hwnd> live;     // guarded by mu
// Guarded by mu: a drain event is on its way, or the queue is being drained
// or has its next turn due; workers then post no drain event.
bool wakePosted = false;
std::atomic<int> queued{0};  // queue.size(), readable without the lock
int taskDepth = 0;           // window's thread only: queued calls being carried out
Pump* pump = nullptr;        // window's thread only

void WakeLocked() {
    // The pump is made on the window's thread when the first dialog goes
    // live; a worker can only queue after that.
    if (wakePosted || !pump) return;
    wakePosted = true;
    QCoreApplication::postEvent(pump, new QEvent(kDrainEvent));
}

void EnsurePump() {
    if (!pump && QCoreApplication::instance()) pump = new Pump;
}

// Runs one queued call; false when the queue is empty.
bool RunOne() {
    Task task;
    {
        std::lock_guard lock(mu);
        if (queue.empty()) return false;
        task = std::move(queue.front());
        queue.pop_front();
        queued.store(static_cast<int>(queue.size()), std::memory_order_relaxed);
    }
    ++taskDepth;
    try {
        task.fn();
    } catch (...) {
        // A call must always release its waiter; nothing thrown by the
        // window's side may cross into a worker.
    }
    --taskDepth;
    if (task.waiter) {
        task.waiter->done.store(true, std::memory_order_release);
        task.waiter->done.notify_one();
    }
    return true;
}

// One turn of draining from the event loop.
void DrainTurn() {
    auto start = Clock::now();
    while (Clock::now() - start <= kTurnBudget) {
        if (RunOne()) continue;
        // A busy worker calls again at once: wait a moment for it instead of
        // paying a turn of the loop (and a repaint) for every call.
        auto lingerEnd = Clock::now() + kLinger;
        while (queued.load(std::memory_order_relaxed) == 0 && Clock::now() < lingerEnd) {
            std::this_thread::yield();
        }
        if (queued.load(std::memory_order_relaxed) == 0) {
            // Drained: the next call posts a drain event again.
            std::lock_guard lock(mu);
            if (queue.empty()) {
                wakePosted = false;
                return;
            }
        }
    }
    // Out of time with work left: let input, timers and painting in, then
    // go on.
    pump->resume.start();
}

Pump::Pump() {
    resume.setSingleShot(true);
    resume.setInterval(0);
    QObject::connect(&resume, &QTimer::timeout, [] { DrainTurn(); });
}

bool Pump::event(QEvent* e) {
    {
        // The event was made by the thread that queued under the lock: take
        // the lock before looking at it.
        std::lock_guard lock(mu);
        if (e->type() != kDrainEvent) return QObject::event(e);
    }
    DrainTurn();
    return true;
}

thread_local int onGui = -1;  // -1 unknown, 0 no, 1 yes

}  // namespace

bool OnGuiThread() {
    if (onGui < 0) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return true;  // no application yet: only the main thread runs
        onGui = QThread::currentThread() == app->thread() ? 1 : 0;
    }
    return onGui == 1;
}

void Flush() {
    if (taskDepth > 0 || queued.load(std::memory_order_relaxed) == 0) return;
    while (RunOne()) {
    }
}

void SetDialogLive(Hwnd w, bool isLive) {
    EnsurePump();
    {
        std::lock_guard lock(mu);
        if (isLive) {
            live.insert(w);
        } else {
            live.erase(w);
        }
    }
    if (!isLive) {
        // Run out what was queued for the dialog: the calls find it gone and
        // return their fallbacks, so no worker stays blocked.
        while (RunOne()) {
        }
    }
}

bool AnyDialogLive() {
    std::lock_guard lock(mu);
    return !live.empty();
}

int Pending() {
    return queued.load(std::memory_order_relaxed);
}

namespace detail {

bool Enqueue(Hwnd w, std::function<void()> fn, std::shared_ptr<Waiter> waiter) {
    std::lock_guard lock(mu);
    bool accepted = w == kNoWindow ? !live.empty() : live.count(w) != 0;
    if (!accepted) return false;
    queue.push_back(Task{std::move(fn), std::move(waiter)});
    queued.store(static_cast<int>(queue.size()), std::memory_order_relaxed);
    WakeLocked();
    return true;
}

void Wait(Waiter& waiter) {
    for (int i = 0; i < kWorkerSpins; ++i) {
        if (waiter.done.load(std::memory_order_acquire)) return;
        std::this_thread::yield();
    }
    while (!waiter.done.load(std::memory_order_acquire))
        waiter.done.wait(false, std::memory_order_acquire);
}

}  // namespace detail
}  // namespace qtdispatch
