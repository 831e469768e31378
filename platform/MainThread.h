// Threads and the synchronised call into the main (user-interface) thread.
// Synchronize(fn) from any thread blocks until the main thread has run fn; the
// main thread runs queued calls from its event loop (the application installs
// a wake-up hook; tests pump CheckSynchronize), and a main-thread wait for a
// thread's end keeps running them, so a call already started can finish.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace elo {

// Makes the calling thread the main thread (start-up does this once).
void SetMainThread();
bool IsMainThread();
bool HasMainThread();

// Runs fn in the main thread and waits for it; an exception fn raises is
// raised again in the caller. Called in the main thread, fn runs at once.
// Before a main thread is set there is nobody to run fn, and it is dropped.
void Synchronize(std::function<void()> fn);
// In the main thread: runs the queued calls, waiting up to timeoutMs for a
// first one; returns how many ran.
int CheckSynchronize(int timeoutMs = 0);
// Called (from the calling thread) whenever a call is queued, so that the main
// thread's event loop can wake up and run CheckSynchronize.
void SetSynchronizeWakeup(std::function<void()> wakeup);

// A thread with the platform thread's life: created not running, started,
// told to terminate, waited for; Execute is its body.
class TThread {
public:
    TThread() = default;
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Start();
    void Terminate() { FTerminated = true; }
    bool Terminated() const { return FTerminated; }
    bool Finished();
    // Waits up to timeoutMs for the thread to end (negative: without limit).
    bool WaitFor(int timeoutMs);
    // Gives up on a thread that has not ended: it is left to run to its end and
    // then frees this object itself. False when it has ended already (the
    // caller frees the object as usual).
    bool Abandon();

protected:
    virtual void Execute() = 0;

private:
    void Run();
    std::thread FThread;
    std::atomic<bool> FTerminated{false};
    std::mutex FMutex;
    std::condition_variable FEnded;
    bool FFinished = false;
    bool FFreeOnEnd = false;
};

// Waits for thread to end, up to timeoutMs. In the main thread the queued
// synchronised calls keep running meanwhile, and each one restarts the full
// timeout. True unless a wait timed out.
bool WaitForThreadEnd(TThread& thread, int timeoutMs);

} // namespace elo
