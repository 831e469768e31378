// A mutex shared by every process of the user that opens the same name, kept
// with flock on a lock file ($XDG_RUNTIME_DIR/NAME.lock, else the temporary
// directory with the user id in the name). Re-entrant for the owning thread;
// the kernel releases it when the holding process dies.
//
// flock alone is not fair: a process that releases and takes the lock again in
// a loop can keep a waiting process out indefinitely. A second lock file, the
// turnstile, is held by the process waiting for the lock, so whoever releases
// queues behind it: the lock goes to the waiter next.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace elo {

class TNamedMutex {
public:
    explicit TNamedMutex(std::string name);
    ~TNamedMutex();
    TNamedMutex(const TNamedMutex&) = delete;
    TNamedMutex& operator=(const TNamedMutex&) = delete;

    // Waits without a time limit.
    void Acquire();
    // Waits at most timeoutMs milliseconds; false when the mutex stayed taken.
    bool TryAcquireFor(int timeoutMs);
    void Release();
    const std::string& LockPath() const { return FPath; }
    bool HeldByThisThread();

private:
    bool AcquireImpl(int timeoutMs); // timeoutMs < 0: no limit
    void OpenLockFiles();

    std::string FPath;
    int FFd = -1;
    int FTurnstile = -1;
    std::mutex FMutex;
    std::condition_variable FFree;
    std::thread::id FOwner;
    int FCount = 0;
};

} // namespace elo
