#include "MainThread.h"

#include <chrono>
#include <deque>
#include <exception>
#include <memory>

namespace elo {

namespace {

struct TCall {
    std::function<void()> fn;
    std::exception_ptr error;
    bool done = false;
};

struct TQueue {
    std::mutex mutex;
    std::condition_variable queued; // a call came in
    std::condition_variable ran;    // calls ran
    std::deque<std::shared_ptr<TCall>> calls;
    std::function<void()> wakeup;
    std::thread::id mainThread;
    bool mainThreadSet = false;
};

TQueue& Queue() {
    static TQueue queue;
    return queue;
}

} // namespace

void SetMainThread() {
    TQueue& q = Queue();
    std::lock_guard lock(q.mutex);
    q.mainThread = std::this_thread::get_id();
    q.mainThreadSet = true;
}

bool HasMainThread() {
    TQueue& q = Queue();
    std::lock_guard lock(q.mutex);
    return q.mainThreadSet;
}

bool IsMainThread() {
    TQueue& q = Queue();
    std::lock_guard lock(q.mutex);
    return q.mainThreadSet && q.mainThread == std::this_thread::get_id();
}

void SetSynchronizeWakeup(std::function<void()> wakeup) {
    TQueue& q = Queue();
    std::lock_guard lock(q.mutex);
    q.wakeup = std::move(wakeup);
}

void Synchronize(std::function<void()> fn) {
    if (IsMainThread()) {
        fn();
        return;
    }
    TQueue& q = Queue();
    {
        // Without a main thread nobody would ever run the call: it is dropped.
        std::lock_guard lock(q.mutex);
        if (!q.mainThreadSet) return;
    }
    auto call = std::make_shared<TCall>();
    call->fn = std::move(fn);
    std::function<void()> wakeup;
    {
        std::lock_guard lock(q.mutex);
        q.calls.push_back(call);
        wakeup = q.wakeup;
    }
    q.queued.notify_all();
    if (wakeup) wakeup();
    std::unique_lock lock(q.mutex);
    q.ran.wait(lock, [&] { return call->done; });
    if (call->error) std::rethrow_exception(call->error);
}

int CheckSynchronize(int timeoutMs) {
    TQueue& q = Queue();
    std::unique_lock lock(q.mutex);
    if (q.calls.empty() && timeoutMs > 0)
        q.queued.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !q.calls.empty(); });
    int ran = 0;
    while (!q.calls.empty()) {
        std::shared_ptr<TCall> call = q.calls.front();
        q.calls.pop_front();
        lock.unlock();
        try {
            call->fn();
        } catch (...) {
            call->error = std::current_exception();
        }
        lock.lock();
        call->done = true;
        ++ran;
        q.ran.notify_all();
    }
    return ran;
}

// ---- TThread ------------------------------------------------------------------------

TThread::~TThread() {
    if (FThread.joinable()) {
        // Freed while running: ask it to end and wait (a thread must not
        // outlive the object it runs in).
        Terminate();
        FThread.join();
    }
}

void TThread::Start() {
    FThread = std::thread([this] { Run(); });
}

void TThread::Run() {
    try {
        Execute();
    } catch (...) {
        // An exception that leaves Execute ends the thread; there is nobody to
        // hand it to.
    }
    bool freeSelf = false;
    {
        std::lock_guard lock(FMutex);
        FFinished = true;
        freeSelf = FFreeOnEnd;
    }
    FEnded.notify_all();
    if (freeSelf) delete this;
}

bool TThread::Finished() {
    std::lock_guard lock(FMutex);
    return FFinished;
}

bool TThread::WaitFor(int timeoutMs) {
    {
        std::unique_lock lock(FMutex);
        if (timeoutMs < 0)
            FEnded.wait(lock, [&] { return FFinished; });
        else if (!FEnded.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return FFinished; }))
            return false;
    }
    if (FThread.joinable()) FThread.join();
    return true;
}

bool TThread::Abandon() {
    std::lock_guard lock(FMutex);
    if (FFinished) return false;
    FFreeOnEnd = true;
    if (FThread.joinable()) FThread.detach();
    return true;
}

bool WaitForThreadEnd(TThread& thread, int timeoutMs) {
    if (!IsMainThread()) return thread.WaitFor(timeoutMs);
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (thread.WaitFor(1)) return true;
        if (CheckSynchronize(0) > 0) deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        if (Clock::now() >= deadline) return false;
    }
}

} // namespace elo
