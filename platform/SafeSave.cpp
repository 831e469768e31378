#include "SafeSave.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "Exceptions.h"
#include "MessageHook.h"
#include "Text.h"

namespace elo {

int FileLockWaitMs = 30000;

namespace {

class TFd {
public:
    explicit TFd(int fd = -1) : fd(fd) {}
    ~TFd() { Reset(); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    void Reset(int other = -1) {
        if (fd >= 0) ::close(fd);
        fd = other;
    }
    int Release() { return std::exchange(fd, -1); }
    int fd;
};

[[noreturn]] void Fail(int error, const std::string& name) {
    throw EInOutError::FromErrno(error, name);
}

// Another file, or a link, took the place of the file a save inspected.
[[noreturn]] void Replaced(const std::string& name) {
    throw EInOutError("The file was replaced while it was being saved: " + FileNameText(name), EBUSY);
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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

std::string TempDirectory() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

// A directory a save works in, held open: what it creates, renames and
// inspects there stays there, whatever happens to the path meanwhile.
struct TDirectory {
    TDirectory(std::string path, const std::string& fileName)
        : Path(std::move(path)), Fd(::open(Path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {
        if (Fd.fd < 0) Fail(errno, fileName);
    }
    std::string Path;
    TFd Fd;
};

void SyncDirectory(int dirFd) {
    TFd directory(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.fd >= 0) (void)::fsync(directory.fd); // a failure here loses nothing
}

// ---- the save's own files ---------------------------------------------------------
//
// Beside the target: ".NAME.elo-N" while new content is written (only where the
// file system has no anonymous files), and ".NAME.elo-backup" (then "-1" to
// "-9") holding the old content of a file written in place. A name too long to
// take these gets ".elo-HASH-N" and ".elo-backup-HASH". A copy of the old
// content made in the temporary directory (the file's own takes no new file)
// is ".elo-backup-DEVICE-INODE".

constexpr int kBackupSlots = 10;

uint64_t NameHash(std::string_view s) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (const unsigned char c : s) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

// ".NAME.KIND", or ".KIND-HASH" when that and a number would not fit in a name.
std::string OwnName(const std::string& base, const char* kind) {
    std::string name = "." + base + "." + kind;
    if (name.size() + 12 <= NAME_MAX) return name;
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(NameHash(base)));
    return std::string(".") + kind + "-" + hash;
}

std::string Numbered(std::string name, int k) {
    return k == 0 ? name : name + "-" + std::to_string(k);
}

std::string BackupBeside(const std::string& base, int k) {
    return Numbered(OwnName(base, "elo-backup"), k);
}

std::string BackupInTemp(const struct stat& st, int k) {
    return Numbered(".elo-backup-" + std::to_string(st.st_dev) + "-" + std::to_string(st.st_ino), k);
}

// ---- terminating signals --------------------------------------------------------------

// Named files of saves under way, removed when a signal ends the program.
constexpr int kTempSlots = 8;
char gTempPaths[kTempSlots][PATH_MAX];
// 0 free, 1 being written, 2 a path the signal handler removes.
std::atomic<int> gTempState[kTempSlots];
// Saves writing a file in place: a terminating signal waits for them to put
// the old content back (gSignal holds it meanwhile).
std::atomic<int> gInPlace{0};
std::atomic<int> gSignal{0};

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
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(signal);
}

extern "C" void OnTerminatingSignal(int signal) {
    gSignal.store(signal);
    if (gInPlace.load() > 0) return; // the save in place ends the program once the old content is back
    RemoveTempsAndDie(signal);
}

// Raised inside a save in place that a terminating signal interrupted.
struct TInterrupted {};

// The part of a save in place during which the file holds neither its old
// nor its new content: a terminating signal waits until it is left.
class TInPlaceRegion {
public:
    TInPlaceRegion() { gInPlace.fetch_add(1); }
    ~TInPlaceRegion() { Leave(); }
    TInPlaceRegion(const TInPlaceRegion&) = delete;
    TInPlaceRegion& operator=(const TInPlaceRegion&) = delete;
    // A signal that came meanwhile ends the program now.
    void Leave() {
        if (std::exchange(FLeft, true)) return;
        if (gInPlace.fetch_sub(1) == 1)
            if (const int signal = gSignal.load()) RemoveTempsAndDie(signal);
    }

private:
    bool FLeft = false;
};

// ---- temporary files ------------------------------------------------------------------

bool AnonymousFilesWork() {
    // Anonymous files get their name through their /proc entry.
    static const bool works = ::access("/proc/self/fd", X_OK) == 0;
    return works;
}

// Gives the anonymous file fd the name name in dirFd; 0 or the error.
int LinkAnonymous(int fd, int dirFd, const std::string& name) {
    char proc[32];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, proc, dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    const int error = errno;
    if (error == EEXIST) return error;
    if (::linkat(fd, "", dirFd, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
    return error;
}

std::string RandomNumber() {
    thread_local std::random_device random;
    return std::to_string(random() % 1000000000u);
}

// A file of the save's own in a directory: anonymous until it is placed, where
// the file system allows it, else named after the target (".NAME.elo-N") and
// removed by a terminating signal. Locked while it lives, so that a later save
// tells what a killed save left from what a running one holds.
class TTempFile {
public:
    // Mode 0600, or 0666 less the umask for a new file.
    TTempFile(int dirFd, std::string dirPath, const std::string& base, mode_t mode)
        : FDirFd(dirFd), FDirPath(std::move(dirPath)), FBase(base) {
        if (AnonymousFilesWork()) {
            FFd.fd = ::openat(dirFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
            if (FFd.fd >= 0) {
                (void)::flock(FFd.fd, LOCK_EX | LOCK_NB);
                return;
            }
            if (errno == EACCES || errno == EPERM || errno == EROFS || errno == ENOSPC || errno == EDQUOT) {
                FError = errno; // a named file would fare no better
                return;
            }
        }
        for (int attempt = 0; FFd.fd < 0; ++attempt) {
            FName = OwnName(base, "elo") + "-" + RandomNumber();
            FFd.fd = ::openat(dirFd, FName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
            if (FFd.fd < 0) {
                if (errno == EEXIST && attempt < 100) continue;
                FError = errno;
                FName.clear();
                return;
            }
            FSlot = RegisterTemp(FDirPath + "/" + FName);
            if (::flock(FFd.fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK && attempt < 100) {
                Remove(); // a save cleaning up took it for a dead one's: another name
                FFd.Reset();
            }
        }
    }
    ~TTempFile() { Remove(); }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    bool Ok() const { return FError == 0; }
    int Error() const { return FError; }
    int Fd() const { return FFd.fd; }
    int DirFd() const { return FDirFd; }

    // Puts it in the place of name in its directory (renamed over it), closed.
    void ReplaceOnto(const std::string& name, const std::string& fileName) {
        if (FName.empty()) { // anonymous: a name of its own first
            for (int attempt = 0;; ++attempt) {
                const std::string temp = OwnName(FBase, "elo") + "-" + RandomNumber();
                const int error = LinkAnonymous(FFd.fd, FDirFd, temp);
                if (error == 0) {
                    FName = temp;
                    FSlot = RegisterTemp(FDirPath + "/" + FName);
                    break;
                }
                if (error != EEXIST || attempt > 100) Fail(error, fileName);
            }
        }
        if (::close(FFd.Release()) != 0) Fail(errno, fileName);
        if (::renameat(FDirFd, FName.c_str(), FDirFd, name.c_str()) != 0) Fail(errno, fileName);
        Forget();
    }
    // Gives it the first name of nameOf(0), nameOf(1) ... that is free; it
    // stays open and is removed with this object unless kept. Returns its path.
    template <typename NameOf> std::string PlaceAsFirstFree(NameOf&& nameOf, const std::string& fileName) {
        for (int k = 0; k < kBackupSlots; ++k) {
            const std::string name = nameOf(k);
            int error = 0;
            if (FName.empty()) {
                error = LinkAnonymous(FFd.fd, FDirFd, name);
            } else if (::renameat2(FDirFd, FName.c_str(), FDirFd, name.c_str(), RENAME_NOREPLACE) != 0) {
                error = errno;
                if (error == EINVAL || error == ENOSYS) { // no such renaming here: saves of the file take turns
                    struct stat there {};
                    error = ::fstatat(FDirFd, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 ? EEXIST : 0;
                    if (error == 0 && ::renameat(FDirFd, FName.c_str(), FDirFd, name.c_str()) != 0) error = errno;
                }
            }
            if (error == EEXIST) continue;
            if (error != 0) Fail(error, fileName);
            UnregisterTemp(FSlot);
            FName = name;
            FSlot = RegisterTemp(FDirPath + "/" + FName);
            return FDirPath + "/" + FName;
        }
        throw EInOutError("Too many copies left by interrupted saves of " + FileNameText(fileName), EEXIST);
    }
    // Stays where it is: neither this object nor a signal removes it.
    void Keep() { Forget(); }
    void Remove() {
        if (!FName.empty()) ::unlinkat(FDirFd, FName.c_str(), 0);
        Forget();
    }

private:
    void Forget() {
        FName.clear();
        UnregisterTemp(FSlot);
    }
    int FDirFd;
    std::string FDirPath, FBase;
    std::string FName; // empty while anonymous, or once placed or removed
    TFd FFd;
    int FError = 0;
    int FSlot = -1;
};

// Removes the temporaries of saves of base in dirFd that no save holds any
// more (a killed save's); mineOnly: only the user's own.
void RemoveStaleTemporaries(int dirFd, const std::string& base, bool mineOnly) {
    const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0) return;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return;
    }
    const std::string prefix = OwnName(base, "elo") + "-";
    std::vector<std::string> candidates;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix &&
            name.find_first_not_of("0123456789", prefix.size()) == std::string_view::npos)
            candidates.emplace_back(name);
    }
    ::closedir(dir);
    for (const std::string& name : candidates) {
        TFd file(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat held {
        }, now{};
        if (file.fd < 0 || ::fstat(file.fd, &held) != 0 || !S_ISREG(held.st_mode)) continue;
        if (mineOnly && held.st_uid != ::geteuid()) continue;
        if (::flock(file.fd, LOCK_EX | LOCK_NB) != 0) continue; // a save under way holds it
        if (::fstatat(dirFd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(held, now))
            ::unlinkat(dirFd, name.c_str(), 0);
    }
}

// Says where the copies of a file's old content are that killed saves left
// (the file dirPath/base, of identity st).
void NoticeInterruptedSaves(const std::string& dirPath, const std::string& base, const struct stat& st,
                            const std::string& fileName) {
    std::string found;
    auto look = [&](const std::string& path, bool mineOnly) {
        struct stat copy {};
        if (::lstat(path.c_str(), &copy) != 0 || !S_ISREG(copy.st_mode)) return;
        if (mineOnly && copy.st_uid != ::geteuid()) return;
        found += (found.empty() ? "" : ", ") + FileNameText(path);
    };
    for (int k = 0; k < kBackupSlots; ++k) look(dirPath + "/" + BackupBeside(base, k), false);
    const std::string temp = TempDirectory();
    for (int k = 0; k < kBackupSlots; ++k) look(temp + "/" + BackupInTemp(st, k), true);
    if (found.empty()) return;
    ShowMessageBox("Um salvamento interrompido de " + FileNameText(fileName) +
                       " deixou o conte\xFA"
                       "do anterior do arquivo em " +
                       found + ". Confira o arquivo; a c\xF3pia fica at\xE9 que voc\xEA a apague.",
                   "");
}

// Takes a flock (LOCK_SH or LOCK_EX) on fd, waiting at most FileLockWaitMs for
// the save that holds it. A file system without locks goes without.
void LockFile(int fd, int operation, const std::string& fileName) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, FileLockWaitMs));
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0) return;
        if (errno == EINTR) continue;
        if (errno == ENOLCK || errno == EINVAL || errno == EOPNOTSUPP) return;
        if (errno != EWOULDBLOCK) Fail(errno, fileName);
        if (Clock::now() >= deadline)
            throw EInOutError("The process cannot access the file because it is being used by another process: " +
                                  FileNameText(fileName),
                              EWOULDBLOCK);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// The file a save writes, open and locked.
struct TTarget {
    TFd Fd;
    struct stat St {};
    bool Readable = true;
};

// Opens base in dirFd without following a link, checks that it is the file
// inspected (inspected), and locks it. A file that another save put in its
// place while this one waited for the lock is taken instead.
void OpenTarget(int dirFd, const std::string& base, const struct stat& inspected, const std::string& fileName,
                TTarget& target) {
    struct stat expected = inspected;
    for (int attempt = 0;; ++attempt) {
        target.Readable = true;
        target.Fd.Reset(::openat(dirFd, base.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (target.Fd.fd < 0 && errno == EACCES) {
            target.Readable = false; // written, never read (a file of mode 0200)
            target.Fd.Reset(::openat(dirFd, base.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        }
        if (target.Fd.fd < 0) {
            if (errno == ELOOP || errno == ENOENT || errno == ENXIO) Replaced(fileName);
            Fail(errno, fileName);
        }
        if (::fstat(target.Fd.fd, &target.St) != 0) Fail(errno, fileName);
        if (!S_ISREG(target.St.st_mode) || !SameFile(target.St, expected)) Replaced(fileName);
        LockFile(target.Fd.fd, LOCK_EX, fileName);
        struct stat now {};
        if (::fstatat(dirFd, base.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) Replaced(fileName);
        if (SameFile(now, target.St)) {
            // What it is now that it is ours (links, size).
            if (::fstat(target.Fd.fd, &target.St) != 0) Fail(errno, fileName);
            return;
        }
        // A save that ended while this one waited put a new file in its place.
        if (!S_ISREG(now.st_mode) || attempt >= 100) Replaced(fileName);
        expected = now;
    }
}

void Produce(int fd, const std::string& name, const std::function<void(TFileWriter&)>& produce) {
    TFileWriter writer(fd, name);
    produce(writer);
    writer.Flush();
    if (::fsync(fd) != 0) Fail(errno, name);
}

// Copies the whole of from (from its start) into to, from to's start. A set
// stop ends it early (TInterrupted).
off_t CopyAll(int from, int to, const std::string& name, const std::atomic<int>* stop = nullptr) {
    if (::lseek(from, 0, SEEK_SET) < 0 || ::lseek(to, 0, SEEK_SET) < 0) Fail(errno, name);
    std::vector<char> buffer(1 << 20);
    off_t total = 0;
    for (;;) {
        if (stop && stop->load()) throw TInterrupted();
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

// Copies the extended attributes of from to to (access lists too: they are
// the attribute "system.posix_acl_access"). False when one cannot be copied.
bool CopyAttributes(int from, int to) {
    std::vector<char> names(1024);
    ssize_t length = 0;
    for (;;) {
        length = ::flistxattr(from, names.data(), names.size());
        if (length >= 0) break;
        if (errno == ENOTSUP) return true; // none on this file system
        if (errno != ERANGE) return false;
        const ssize_t needed = ::flistxattr(from, nullptr, 0);
        if (needed < 0) return false;
        names.resize(static_cast<size_t>(needed) + 1);
    }
    std::vector<char> value(4096);
    for (size_t at = 0; at < static_cast<size_t>(length); at += std::strlen(names.data() + at) + 1) {
        const char* name = names.data() + at;
        ssize_t size = 0;
        for (;;) {
            size = ::fgetxattr(from, name, value.data(), value.size());
            if (size >= 0 || errno == ENODATA) break; // ENODATA: removed meanwhile
            if (errno != ERANGE) return false;
            const ssize_t needed = ::fgetxattr(from, name, nullptr, 0);
            if (needed < 0) return false;
            value.resize(static_cast<size_t>(needed) + 1);
        }
        if (size < 0) continue;
        if (::fsetxattr(to, name, value.data(), static_cast<size_t>(size), 0) != 0) return false;
    }
    return true;
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

// A new file, or one a new file replaces: a temporary file renamed over base.
// old is null for a new file. False (nothing written) when the new file could
// not keep the old one's owner, group, mode or attributes, or the directory
// takes no new file.
bool ReplaceByRename(TDirectory& dir, const std::string& base, const TTarget* old, const std::string& fileName,
                     const std::function<void(TFileWriter&)>& produce) {
    TTempFile temp(dir.Fd.fd, dir.Path, base, old ? 0600 : 0666);
    if (!temp.Ok()) {
        const int e = temp.Error();
        if (old && (e == EACCES || e == EPERM)) return false;
        Fail(e, fileName);
    }
    if (old) {
        struct stat mine {};
        if (::fstat(temp.Fd(), &mine) != 0) Fail(errno, fileName);
        if ((mine.st_uid != old->St.st_uid || mine.st_gid != old->St.st_gid) &&
            ::fchown(temp.Fd(), old->St.st_uid, old->St.st_gid) != 0)
            return false; // another owner: written in place instead
        if (::fchmod(temp.Fd(), old->St.st_mode & 07777) != 0) return false;
        if (!CopyAttributes(old->Fd.fd, temp.Fd())) return false;
    }
    Produce(temp.Fd(), fileName, produce);
    temp.ReplaceOnto(base, fileName);
    SyncDirectory(dir.Fd.fd);
    return true;
}

// A file that must stay the same file: the new content is made complete in a
// temporary file, the old content is copied aside durably, then the new
// content is copied over the file. A failure or a terminating signal there
// puts the old content back first.
void WriteInPlace(TDirectory& dir, const std::string& base, TTarget& file, const std::string& fileName,
                  const std::function<void(TFileWriter&)>& produce) {
    if (!file.Readable) Fail(EACCES, fileName); // its old content cannot be kept aside
    std::unique_ptr<TDirectory> temporary;      // when the file's own directory takes no new file
    auto make = [&]() {
        auto temp = std::make_unique<TTempFile>(dir.Fd.fd, dir.Path, base, 0600);
        if (temp->Ok()) return temp;
        if (!temporary) {
            temporary = std::make_unique<TDirectory>(TempDirectory(), fileName);
            RemoveStaleTemporaries(temporary->Fd.fd, base, true);
        }
        temp = std::make_unique<TTempFile>(temporary->Fd.fd, temporary->Path, base, 0600);
        if (!temp->Ok()) Fail(temp->Error(), fileName);
        return temp;
    };
    auto fresh = make();
    Produce(fresh->Fd(), fileName, produce);

    auto backup = make();
    const off_t oldSize = CopyAll(file.Fd.fd, backup->Fd(), fileName);
    if (::fsync(backup->Fd()) != 0) Fail(errno, fileName);
    const bool beside = backup->DirFd() == dir.Fd.fd;
    const std::string backupPath = backup->PlaceAsFirstFree(
        [&](int k) { return beside ? BackupBeside(base, k) : BackupInTemp(file.St, k); }, fileName);
    SyncDirectory(backup->DirFd());

    TInPlaceRegion region;
    try {
        if (gSignal.load()) throw TInterrupted();
        const off_t newSize = CopyAll(fresh->Fd(), file.Fd.fd, fileName, &gSignal);
        if (::ftruncate(file.Fd.fd, newSize) != 0) Fail(errno, fileName);
        if (::fsync(file.Fd.fd) != 0) Fail(errno, fileName);
    } catch (...) {
        bool restored = false;
        try {
            CopyAll(backup->Fd(), file.Fd.fd, fileName);
            if (::ftruncate(file.Fd.fd, oldSize) != 0 || ::fsync(file.Fd.fd) != 0) Fail(errno, fileName);
            restored = true;
        } catch (const EInOutError&) {
        }
        if (restored)
            backup->Remove();
        else
            backup->Keep();
        if (gSignal.load()) {
            const std::string note = "Salvamento de " + FileNameText(fileName) + " interrompido por um sinal; " +
                                     (restored ? std::string("o conte\xFA"
                                                             "do anterior foi restaurado")
                                               : "o conte\xFA"
                                                 "do anterior est\xE1 em " +
                                                     FileNameText(backupPath));
            std::fputs((Cp1252ToUtf8(note) + "\n").c_str(), stderr);
        }
        region.Leave(); // a signal that interrupted the save ends the program here
        if (restored) throw;
        try {
            throw;
        } catch (const EInOutError& e) {
            throw EInOutError(e.Message + " (the old content is in " + FileNameText(backupPath) + ")", e.ErrorCode);
        }
    }
    backup->Remove();
    region.Leave();
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
    // As many links as the system itself follows (40), then the file.
    for (int hops = 0; hops <= 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        if (hops == 40) break;
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
        const std::string target = FinalTarget(fileName);
        TDirectory dir(DirectoryOf(target), fileName);
        ReplaceByRename(dir, BaseOf(target), nullptr, fileName, produce);
        return;
    }
    if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
        WriteDirect(fileName, produce);
        return;
    }
    if (S_ISDIR(st.st_mode)) Fail(EISDIR, fileName);
    if (!S_ISREG(st.st_mode)) throw EInOutError("Not a regular file: " + FileNameText(fileName), EINVAL);
    const std::string target = FinalTarget(fileName);
    TDirectory dir(DirectoryOf(target), fileName);
    const std::string base = BaseOf(target);
    // Write protection counts, whatever the directory allows: the file is
    // opened for writing here.
    TTarget file;
    OpenTarget(dir.Fd.fd, base, st, fileName, file);
    NoticeInterruptedSaves(dir.Path, base, file.St, fileName);
    RemoveStaleTemporaries(dir.Fd.fd, base, false);
    if (file.St.st_nlink == 1 && ReplaceByRename(dir, base, &file, fileName, produce)) return;
    WriteInPlace(dir, base, file, fileName, produce);
}

void LockForReading(int fd, const std::string& fileName) {
    LockFile(fd, LOCK_SH, fileName);
    try {
        struct stat st {};
        if (::fstat(fd, &st) != 0) return;
        const std::string target = FinalTarget(fileName);
        NoticeInterruptedSaves(DirectoryOf(target), BaseOf(target), st, fileName);
    } catch (const Exception&) {
        // Only a notice: the reading goes on.
    }
}

void InstallSaveSignalHandlers() {
    std::signal(SIGXFSZ, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = OnTerminatingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_NODEFER; // the handler ends the program with the signal itself
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous {};
        // A signal the program was told to ignore stays ignored.
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace elo
