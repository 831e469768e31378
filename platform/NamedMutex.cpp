#include "NamedMutex.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "Exceptions.h"
#include "Text.h"

namespace elo {

namespace {

// A directory that is the user's own: a directory (not a link to one) that
// the user owns. private0700: its mode must also be exactly 0700 (one made by
// someone else's session is not taken); otherwise it is made so.
bool OwnDirectory(const std::string& dir, bool private0700) {
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return false;
    if ((st.st_mode & 0777) == 0700) return true;
    return !private0700 && ::chmod(dir.c_str(), 0700) == 0;
}

// Makes dir (mode 0700) and the directories above it that are missing.
void MakeDirectories(const std::string& dir) {
    for (size_t slash = dir.find('/', 1); slash != std::string::npos; slash = dir.find('/', slash + 1))
        (void)::mkdir(dir.substr(0, slash).c_str(), 0700);
    (void)::mkdir(dir.c_str(), 0700);
}

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home == '/') return home;
    std::vector<char> buffer(16384);
    passwd entry{}, *found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        *found->pw_dir == '/')
        return found->pw_dir;
    return {};
}

// The lock files live where only their user can make them: the session's
// runtime directory when it is the user's own and private; else a directory
// of the user's own in the temporary directory; else, when another user took
// that name first, one in the user's cache directory. A name any user could
// take first must not hold the lock hostage. Empty when there is none (why
// says what was tried).
std::string LockDirectory(std::string& why) {
    const uid_t uid = ::geteuid();
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/' && OwnDirectory(runtime, true))
        return runtime;
    const char* tmp = std::getenv("TMPDIR");
    const std::string temp = std::string(tmp && *tmp ? tmp : "/tmp") + "/elo-" + std::to_string(uid);
    (void)::mkdir(temp.c_str(), 0700);
    if (OwnDirectory(temp, false)) return temp;
    std::string cache;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/')
        cache = std::string(xdg) + "/elo";
    else if (const std::string home = HomeDirectory(); !home.empty())
        cache = home + "/.cache/elo";
    if (!cache.empty()) {
        MakeDirectories(cache);
        if (OwnDirectory(cache, false)) return cache;
    }
    why = "Sem diret\xF3rio pr\xF3prio para as travas das bibliotecas: " + FileNameText(temp) +
          (cache.empty() ? std::string() : " e " + FileNameText(cache)) + " n\xE3o s\xE3o do usu\xE1rio";
    return {};
}

} // namespace

TNamedMutex::TNamedMutex(std::string name) {
    const std::string dir = LockDirectory(FError);
    if (!dir.empty()) FPath = dir + "/" + name + ".lock";
}

TNamedMutex::~TNamedMutex() {
    if (FFd >= 0) ::close(FFd); // closing releases a lock still held
    if (FTurnstile >= 0) ::close(FTurnstile);
}

void TNamedMutex::OpenLockFiles() {
    if (FPath.empty()) throw EInOutError(FError, EPERM);
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
