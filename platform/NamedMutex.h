// A mutex shared by every process of the user that opens the same name, kept
// with flock on a lock file in a directory of the user's own:
// $XDG_RUNTIME_DIR/NAME.lock when that is the user's and private, else
// $TMPDIR/elo-UID, else (another user took that name) $XDG_CACHE_HOME/elo or
// ~/.cache/elo. Re-entrant for the owning thread; the kernel releases it when
// the holding process dies. Making one never fails: a mutex without a
// directory of the user's own raises when it is taken.
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
    // Empty when there is no directory of the user's own to hold it.
    const std::string& LockPath() const { return FPath; }
    bool HeldByThisThread();

private:
    bool AcquireImpl(int timeoutMs); // timeoutMs < 0: no limit
    void OpenLockFiles();

    std::string FPath;
    std::string FError; // why there is no lock file
    int FFd = -1;
    int FTurnstile = -1;
    std::mutex FMutex;
    std::condition_variable FFree;
    std::thread::id FOwner;
    int FCount = 0;
};

} // namespace elo
