#include "NamedMutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "Exceptions.h"

namespace elo {

namespace {
// The lock files live where only their user can make them: the session's
// runtime directory, else a directory of the user's own in the temporary
// directory. A name any user could take first would let anyone hold the lock
// hostage.
std::string LockFileFor(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && ::access(runtime, W_OK) == 0) return std::string(runtime) + "/" + name + ".lock";
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/elo-" + std::to_string(::getuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) throw EInOutError::FromErrno(errno, dir);
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) throw EInOutError::FromErrno(errno, dir);
    if (S_ISLNK(st.st_mode) || !S_ISDIR(st.st_mode))
        throw EInOutError("The lock directory " + dir + " is not a directory of its own", EPERM);
    if (st.st_uid != ::getuid()) throw EInOutError("The lock directory " + dir + " belongs to another user", EPERM);
    if ((st.st_mode & 077) != 0) (void)::chmod(dir.c_str(), 0700);
    return dir + "/" + name + ".lock";
}
} // namespace

TNamedMutex::TNamedMutex(std::string name) : FPath(LockFileFor(name)) {}

TNamedMutex::~TNamedMutex() {
    if (FFd >= 0) ::close(FFd); // closing releases a lock still held
    if (FTurnstile >= 0) ::close(FTurnstile);
}

void TNamedMutex::OpenLockFiles() {
    if (FFd < 0) {
        FFd = ::open(FPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (FFd < 0) throw EInOutError::FromErrno(errno, FPath);
    }
    if (FTurnstile < 0) {
        const std::string turnstile = FPath + ".turnstile";
        FTurnstile = ::open(turnstile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (FTurnstile < 0) throw EInOutError::FromErrno(errno, turnstile);
    }
}

namespace {
// Takes an exclusive flock on fd: without limit (deadline unset) or until
// the deadline. False when the deadline passed.
bool LockUntil(int fd, const std::chrono::steady_clock::time_point* deadline, const std::string& path) {
    for (;;) {
        if (::flock(fd, LOCK_EX | (deadline ? LOCK_NB : 0)) == 0) return true;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) throw EInOutError::FromErrno(errno, path);
        if (std::chrono::steady_clock::now() >= *deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}
} // namespace

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
    try {
        OpenLockFiles();
    } catch (...) {
        FFree.notify_one();
        throw;
    }
    FOwner = me;
    FCount = 1;
    lock.unlock();
    // Then among processes: through the turnstile to the lock itself.
    bool taken = false;
    try {
        const Clock::time_point* limit = timeoutMs < 0 ? nullptr : &deadline;
        if (LockUntil(FTurnstile, limit, FPath)) {
            taken = LockUntil(FFd, limit, FPath);
            ::flock(FTurnstile, LOCK_UN);
        }
    } catch (...) {
        lock.lock();
        FCount = 0;
        FOwner = {};
        FFree.notify_one();
        throw;
    }
    if (!taken) {
        lock.lock();
        FCount = 0;
        FOwner = {};
        FFree.notify_one();
    }
    return taken;
}

void TNamedMutex::Acquire() {
    AcquireImpl(-1);
}

bool TNamedMutex::TryAcquireFor(int timeoutMs) {
    return AcquireImpl(timeoutMs < 0 ? 0 : timeoutMs);
}

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
