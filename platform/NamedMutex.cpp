#include "NamedMutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "Exceptions.h"

namespace elo {

namespace {
std::string LockFileFor(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && ::access(runtime, W_OK) == 0) return std::string(runtime) + "/" + name + ".lock";
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + "-" + std::to_string(::getuid()) + ".lock";
}
} // namespace

TNamedMutex::TNamedMutex(std::string name) : FPath(LockFileFor(name)) {}

TNamedMutex::~TNamedMutex() {
    if (FFd >= 0) ::close(FFd); // closing releases a lock still held
}

void TNamedMutex::OpenLockFile() {
    if (FFd >= 0) return;
    FFd = ::open(FPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (FFd < 0) throw EInOutError::FromErrno(errno, FPath);
}

bool TNamedMutex::HeldByThisThread() {
    std::lock_guard lock(FMutex);
    return FCount > 0 && FOwner == std::this_thread::get_id();
}

bool TNamedMutex::AcquireImpl(int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    std::unique_lock lock(FMutex);
    const auto me = std::this_thread::get_id();
    if (FCount > 0 && FOwner == me) {
        ++FCount;
        return true;
    }
    // First among the threads of this process: one open lock file serves them
    // all, so the process-level lock is taken by one thread at a time.
    if (timeoutMs < 0) {
        FFree.wait(lock, [&] { return FCount == 0; });
    } else if (!FFree.wait_until(lock, deadline, [&] { return FCount == 0; })) {
        return false;
    }
    OpenLockFile();
    FOwner = me;
    FCount = 1;
    lock.unlock();
    // Then among processes.
    for (;;) {
        if (::flock(FFd, LOCK_EX | (timeoutMs < 0 ? 0 : LOCK_NB)) == 0) return true;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK || Clock::now() >= deadline) {
            const int error = errno;
            lock.lock();
            FCount = 0;
            FOwner = {};
            FFree.notify_one();
            if (error == EWOULDBLOCK) return false;
            throw EInOutError::FromErrno(error, FPath);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void TNamedMutex::Acquire() { AcquireImpl(-1); }

bool TNamedMutex::TryAcquireFor(int timeoutMs) { return AcquireImpl(timeoutMs < 0 ? 0 : timeoutMs); }

void TNamedMutex::Release() {
    std::lock_guard lock(FMutex);
    if (FCount == 0 || FOwner != std::this_thread::get_id()) return; // not held by this thread
    if (--FCount == 0) {
        ::flock(FFd, LOCK_UN);
        FOwner = {};
        FFree.notify_one();
    }
}

} // namespace elo
