#include "SafeSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "Exceptions.h"
#include "Text.h"

namespace elo {

namespace {

class TFd {
public:
    explicit TFd(int fd = -1) : fd(fd) {}
    ~TFd() {
        if (fd >= 0) ::close(fd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Release() { return std::exchange(fd, -1); }
    int fd;
};

[[noreturn]] void Fail(int error, const std::string& name) {
    throw EInOutError::FromErrno(error, name);
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ---- temporary files a terminating signal removes ---------------------------------

constexpr int kTempSlots = 8;
char gTempPaths[kTempSlots][PATH_MAX];
// 0 free, 1 being written, 2 a path the signal handler removes.
std::atomic<int> gTempState[kTempSlots];

int RegisterTemp(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < kTempSlots; ++i) {
        int expected = 0;
        if (!gTempState[i].compare_exchange_strong(expected, 1)) continue;
        std::memcpy(gTempPaths[i], path.c_str(), path.size() + 1);
        gTempState[i] = 2;
        return i;
    }
    return -1;
}

void UnregisterTemp(int& slot) {
    if (slot >= 0) gTempState[slot] = 0;
    slot = -1;
}

extern "C" void RemoveTempsAndDie(int signal) {
    for (int i = 0; i < kTempSlots; ++i)
        if (gTempState[i].load() == 2) ::unlink(gTempPaths[i]);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// A temporary file of the save, removed again unless the save keeps it.
class TTempFile {
public:
    // Creates it in dir (mode 0600, or 0666 less the umask for a new file).
    TTempFile(const std::string& dir, const std::string& base, const char* kind, mode_t mode) {
        std::random_device random;
        for (int attempt = 0; FFd.fd < 0; ++attempt) {
            FPath = dir + "/." + base + "." + kind + "-" + std::to_string(random() % 1000000000u);
            FFd.fd = ::open(FPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (FFd.fd < 0 && (errno != EEXIST || attempt > 100)) {
                FError = errno;
                return;
            }
        }
        FSlot = RegisterTemp(FPath);
    }
    ~TTempFile() {
        if (!FKept && FError == 0 && !FPath.empty()) ::unlink(FPath.c_str());
        UnregisterTemp(FSlot);
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    bool Ok() const { return FError == 0; }
    int Error() const { return FError; }
    int Fd() const { return FFd.fd; }
    const std::string& Path() const { return FPath; }
    void CloseChecked(const std::string& name) {
        if (::close(FFd.Release()) != 0) Fail(errno, name);
    }
    // It became the file itself (renamed), or must stay (a copy of the old
    // content): neither its owner nor a signal removes it.
    void Keep() {
        FKept = true;
        UnregisterTemp(FSlot);
    }

private:
    std::string FPath;
    TFd FFd;
    int FError = 0;
    int FSlot = -1;
    bool FKept = false;
};

void SyncDirectory(const std::string& dir) {
    TFd directory(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.fd >= 0) (void)::fsync(directory.fd); // a failure here loses nothing
}

void Produce(int fd, const std::string& name, const std::function<void(TFileWriter&)>& produce) {
    TFileWriter writer(fd, name);
    produce(writer);
    writer.Flush();
    if (::fsync(fd) != 0) Fail(errno, name);
}

// Copies the whole of from (from its start) into to, from to's start.
off_t CopyAll(int from, int to, const std::string& name) {
    if (::lseek(from, 0, SEEK_SET) < 0 || ::lseek(to, 0, SEEK_SET) < 0) Fail(errno, name);
    std::vector<char> buffer(1 << 20);
    off_t total = 0;
    for (;;) {
        const ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail(errno, name);
        if (n == 0) return total;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) Fail(w < 0 ? errno : ENOSPC, name);
            done += w;
        }
        total += n;
    }
}

// A FIFO or a character device: written as it is.
void WriteDirect(const std::string& fileName, const std::function<void(TFileWriter&)>& produce) {
    // Without a reader a FIFO refuses at once instead of waiting for one.
    TFd file(::open(fileName.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.fd < 0) Fail(errno, fileName);
    const int flags = ::fcntl(file.fd, F_GETFL);
    if (flags >= 0) (void)::fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK);
    TFileWriter writer(file.fd, fileName);
    produce(writer);
    writer.Flush();
    if (::close(file.Release()) != 0) Fail(errno, fileName);
}

// A new file, or one a new file replaces: a temporary file renamed over the
// target. old is null for a new file. False (nothing written) when the new
// file could not keep the old one's owner and group, or the directory takes
// no new file.
bool ReplaceByRename(const std::string& fileName, const std::string& target, const struct stat* old,
                     const std::function<void(TFileWriter&)>& produce) {
    const std::string dir = DirectoryOf(target);
    TTempFile temp(dir, BaseOf(target), "elo", old ? 0600 : 0666);
    if (!temp.Ok()) {
        const int e = temp.Error();
        if (old && (e == EACCES || e == EPERM || e == EROFS)) return false;
        Fail(e, fileName);
    }
    if (old) {
        struct stat mine {};
        if (::fstat(temp.Fd(), &mine) != 0) Fail(errno, fileName);
        if ((mine.st_uid != old->st_uid || mine.st_gid != old->st_gid) &&
            ::fchown(temp.Fd(), old->st_uid, old->st_gid) != 0)
            return false; // another owner: written in place instead
        if (::fchmod(temp.Fd(), old->st_mode & 07777) != 0) return false;
    }
    Produce(temp.Fd(), fileName, produce);
    temp.CloseChecked(fileName);
    if (::rename(temp.Path().c_str(), target.c_str()) != 0) Fail(errno, fileName);
    temp.Keep();
    SyncDirectory(dir);
    return true;
}

// A file that must stay the same file: the new content is made complete in a
// temporary file, the old content is copied aside durably, then the new
// content is copied over the file. A failure there puts the old content back.
void WriteInPlace(const std::string& fileName, const std::string& target,
                  const std::function<void(TFileWriter&)>& produce) {
    std::string dir = DirectoryOf(target);
    const std::string base = BaseOf(target);
    auto tempBeside = [&](const char* kind) {
        auto temp = std::make_unique<TTempFile>(dir, base, kind, 0600);
        if (!temp->Ok()) {
            // A directory that takes no new file: the temporary directory.
            const char* tmp = std::getenv("TMPDIR");
            temp = std::make_unique<TTempFile>(tmp && *tmp ? tmp : "/tmp", base, kind, 0600);
            if (!temp->Ok()) Fail(temp->Error(), fileName);
        }
        return temp;
    };
    auto fresh = tempBeside("elo");
    Produce(fresh->Fd(), fileName, produce);

    TFd file(::open(target.c_str(), O_RDWR | O_CLOEXEC));
    if (file.fd < 0) Fail(errno, fileName);
    auto backup = tempBeside("elo-backup");
    const off_t oldSize = CopyAll(file.fd, backup->Fd(), fileName);
    if (::fsync(backup->Fd()) != 0) Fail(errno, fileName);
    backup->Keep(); // until the new content is in

    try {
        const off_t newSize = CopyAll(fresh->Fd(), file.fd, fileName);
        if (::ftruncate(file.fd, newSize) != 0) Fail(errno, fileName);
        if (::fsync(file.fd) != 0) Fail(errno, fileName);
    } catch (const EInOutError& e) {
        try {
            CopyAll(backup->Fd(), file.fd, fileName);
            if (::ftruncate(file.fd, oldSize) != 0 || ::fsync(file.fd) != 0) Fail(errno, fileName);
        } catch (const EInOutError&) {
            throw EInOutError(e.Message + " (the old content is in " + backup->Path() + ")", e.ErrorCode);
        }
        ::unlink(backup->Path().c_str());
        throw;
    }
    ::unlink(backup->Path().c_str());
}

} // namespace

// ---- TFileWriter ------------------------------------------------------------------

namespace {
constexpr size_t kWriteBuffer = size_t{1} << 20;
constexpr off_t kSyncAhead = off_t{8} << 20;
} // namespace

TFileWriter::TFileWriter(int fd, std::string name) : FFd(fd), FName(std::move(name)) {
    FBuffer.reserve(kWriteBuffer);
}

TFileWriter::~TFileWriter() {
    if (!FThread.joinable()) return;
    {
        std::lock_guard lock(FMutex);
        FQuit = true;
        FWork.notify_one();
    }
    FThread.join();
}

void TFileWriter::Append(std::string_view bytes) {
    if (FBuffer.size() + bytes.size() > kWriteBuffer) HandOver();
    if (bytes.size() <= kWriteBuffer) {
        FBuffer += bytes;
        return;
    }
    Wait(); // what was handed over goes first
    if (const int error = WriteAll(bytes.data(), bytes.size())) Fail(error, FName);
}

void TFileWriter::Flush() {
    HandOver();
    Wait();
}

void TFileWriter::HandOver() {
    Wait();
    if (FBuffer.empty()) return;
    std::swap(FBuffer, FWriting);
    FBuffer.clear();
    if (!FThread.joinable()) FThread = std::thread([this] { Run(); });
    std::lock_guard lock(FMutex);
    FPending = true;
    FWork.notify_one();
}

void TFileWriter::Wait() {
    std::unique_lock lock(FMutex);
    FDone.wait(lock, [&] { return !FPending; });
    if (const int error = std::exchange(FError, 0)) {
        lock.unlock();
        Fail(error, FName);
    }
}

void TFileWriter::Run() {
    for (;;) {
        {
            std::unique_lock lock(FMutex);
            FWork.wait(lock, [&] { return FPending || FQuit; });
            if (!FPending) return;
        }
        const int error = WriteAll(FWriting.data(), FWriting.size());
        std::lock_guard lock(FMutex);
        FError = error;
        FPending = false;
        FDone.notify_one();
    }
}

int TFileWriter::WriteAll(const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(FFd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) return errno;
        if (w == 0) return ENOSPC;
        p += w;
        n -= static_cast<size_t>(w);
        FWritten += static_cast<off_t>(w);
    }
    // Start the disk writing of what is complete while the rest is produced,
    // so that the final sync has little left to wait for.
    if (FWritten - FSynced >= kSyncAhead) {
        (void)::sync_file_range(FFd, FSynced, FWritten - FSynced, SYNC_FILE_RANGE_WRITE);
        FSynced = FWritten;
    }
    return 0;
}

// ---- saving ---------------------------------------------------------------------------

std::string FinalTarget(const std::string& fileName) {
    std::string path = fileName;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
        if (n < 0) Fail(errno, fileName);
        const std::string link(buffer, static_cast<size_t>(n));
        path = link.front() == '/' ? link : DirectoryOf(path) + "/" + link;
    }
    Fail(ELOOP, fileName);
}

void SaveFileSafely(const std::string& fileName, const std::function<void(TFileWriter&)>& produce) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) {
        if (errno != ENOENT) Fail(errno, fileName);
        // A new file, or one a dangling symbolic link names.
        ReplaceByRename(fileName, FinalTarget(fileName), nullptr, produce);
        return;
    }
    if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
        WriteDirect(fileName, produce);
        return;
    }
    if (S_ISDIR(st.st_mode)) Fail(EISDIR, fileName);
    if (!S_ISREG(st.st_mode)) throw EInOutError("Not a regular file: " + FileNameText(fileName), EINVAL);
    const std::string target = FinalTarget(fileName);
    // Write protection counts, whatever the directory allows.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) Fail(errno, fileName);
    if (st.st_nlink == 1 && ReplaceByRename(fileName, target, &st, produce)) return;
    WriteInPlace(fileName, target, produce);
}

void InstallSaveSignalHandlers() {
    std::signal(SIGXFSZ, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = RemoveTempsAndDie;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous {};
        // A signal the program was told to ignore stays ignored.
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace elo
