#include "Streams.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "Resources.h"

namespace elo {

// ---- TStream ----------------------------------------------------------------------

void TStream::SetSize(int64_t) {
    throw EStreamError("Stream cannot change its size");
}

int64_t TStream::Size() {
    const int64_t position = Seek(0, soCurrent);
    const int64_t size = Seek(0, soEnd);
    Seek(position, soBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, int32_t count) {
    if (count > 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
    if (count > 0 && Write(buffer, count) != count) throw EWriteError();
}

// ---- THandleStream ------------------------------------------------------------------

THandleStream::~THandleStream() {
    if (FHandle >= 0) ::close(FHandle);
}

int32_t THandleStream::Read(void* buffer, int32_t count) {
    int32_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(FHandle, static_cast<char*>(buffer) + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<int32_t>(n);
    }
    return done;
}

int32_t THandleStream::Write(const void* buffer, int32_t count) {
    int32_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(FHandle, static_cast<const char*>(buffer) + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<int32_t>(n);
    }
    return done;
}

int64_t THandleStream::Seek(int64_t offset, uint16_t origin) {
    const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    const off_t result = ::lseek(FHandle, static_cast<off_t>(offset), whence);
    if (result < 0) throw EStreamError(SysErrorMessage(errno));
    return result;
}

void THandleStream::SetSize(int64_t newSize) {
    if (::ftruncate(FHandle, static_cast<off_t>(newSize)) != 0) throw EStreamError(SysErrorMessage(errno));
    if (Position() > newSize) Seek(newSize, soBeginning);
}

// ---- TFileStream ----------------------------------------------------------------------

namespace {
int OpenFile(const std::string& fileName, uint32_t mode) {
    int flags = O_CLOEXEC;
    const bool create = (mode & 0xFF00) == fmCreate;
    const uint32_t access = mode & 0x3;
    if (create)
        flags |= O_RDWR | O_CREAT | O_TRUNC;
    else if (access == fmOpenWrite)
        flags |= O_WRONLY;
    else if (access == fmOpenReadWrite)
        flags |= O_RDWR;
    else
        flags |= O_RDONLY;
    // Opened without waiting: a FIFO would wait for a writer forever.
    const int fd = ::open(fileName.c_str(), flags | O_NONBLOCK, 0666);
    if (fd < 0) throw create ? EFOpenError::CannotCreate(fileName, errno) : EFOpenError::CannotOpen(fileName, errno);
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw EFOpenError::CannotOpen(fileName, EISDIR);
    }
    if (!create && !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EFOpenError::NotAFile(fileName);
    }
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const uint32_t share = create ? fmShareExclusive : (mode & 0xF0);
    int lock = 0;
    if (create || access != fmOpenRead || share == fmShareExclusive || share == fmShareDenyRead)
        lock = LOCK_EX;
    else if (share == fmShareDenyWrite)
        lock = LOCK_SH;
    if (lock != 0 && ::flock(fd, lock | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        throw create ? EFOpenError::CannotCreate(fileName, error) : EFOpenError::CannotOpen(fileName, error);
    }
    return fd;
}
} // namespace

TFileStream::TFileStream(const std::string& fileName, uint32_t mode)
    : THandleStream(OpenFile(fileName, mode)), FFileName(fileName) {}

// ---- TTempStream ----------------------------------------------------------------------

namespace {
int OpenTemporary() {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/elo-temp-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) throw EFOpenError::CannotCreate(pattern, errno);
    ::unlink(pattern.c_str()); // gone from the directory; freed with the stream
    return fd;
}
} // namespace

TTempStream::TTempStream() : THandleStream(OpenTemporary()) {}

// ---- memory streams ----------------------------------------------------------------------

int32_t TCustomMemoryStream::Read(void* buffer, int32_t count) {
    if (count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
    const auto n = static_cast<int32_t>(std::min<int64_t>(count, FSize - FPosition));
    std::memcpy(buffer, FMemory + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int32_t TCustomMemoryStream::Write(const void*, int32_t) {
    return 0;
}

int64_t TCustomMemoryStream::Seek(int64_t offset, uint16_t origin) {
    switch (origin) {
    case soBeginning:
        FPosition = offset;
        break;
    case soCurrent:
        FPosition += offset;
        break;
    case soEnd:
        FPosition = FSize + offset;
        break;
    default:
        break;
    }
    return FPosition;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
    if (count <= 0 || FPosition < 0) return 0;
    const int64_t end = FPosition + count;
    if (end > FSize) SetSize(end);
    std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
    FPosition = end;
    return count;
}

void TMemoryStream::SetSize(int64_t newSize) {
    if (newSize < 0) throw EStreamError("Invalid stream size");
    FData.resize(static_cast<size_t>(newSize));
    SetPointer(FData.data(), newSize);
    if (FPosition > newSize) FPosition = newSize;
}

void TMemoryStream::Clear() {
    FData.clear();
    FData.shrink_to_fit();
    SetPointer(nullptr, 0);
    FPosition = 0;
}

TResourceStream::TResourceStream(const std::string& type, const std::string& name) {
    const TResource* resource = FindResource(type, name);
    if (!resource) throw EResNotFound("Resource " + name + " not found");
    SetPointer(resource->Data, static_cast<int64_t>(resource->Size));
}

TFileStamp FileStampOfHandle(int handle) {
    struct stat st {};
    if (fstat(handle, &st) != 0) throw EInOutError::FromErrno(errno);
    return {static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, static_cast<uint64_t>(st.st_dev),
            static_cast<uint64_t>(st.st_ino), static_cast<int64_t>(st.st_size)};
}

int64_t FileDateOfHandle(int handle) {
    struct stat st {};
    if (fstat(handle, &st) != 0) throw EInOutError::FromErrno(errno);
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace elo
