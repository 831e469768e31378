// The platform's streams: an abstract stream with position, size, read, write,
// seek and the exact-count reads and writes built on them, and its file,
// temporary-file, memory and resource streams.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Exceptions.h"

namespace elo {

// Seek origins.
enum : uint16_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
public:
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
    virtual ~TStream() = default;

    // Reads up to count bytes at the position; returns how many were read.
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    // Writes up to count bytes at the position; returns how many were written.
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    // Moves the position (origin soBeginning, soCurrent or soEnd); returns it.
    virtual int64_t Seek(int64_t offset, uint16_t origin) = 0;
    virtual void SetSize(int64_t newSize);
    // The class name, as the buffered stream asks it to size its window.
    virtual const char* ClassName() const = 0;

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t position) { Seek(position, soBeginning); }
    // Built on Seek: the position is kept.
    int64_t Size();
    // Exactly count bytes or "Stream read error" / "Stream write error".
    void ReadBuffer(void* buffer, int32_t count);
    void WriteBuffer(const void* buffer, int32_t count);
};

// A stream over an open file descriptor.
class THandleStream : public TStream {
public:
    explicit THandleStream(int handle) : FHandle(handle) {}
    ~THandleStream() override;
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, uint16_t origin) override;
    void SetSize(int64_t newSize) override;
    const char* ClassName() const override { return "THandleStream"; }
    int Handle() const { return FHandle; }

protected:
    int FHandle;
};

// File open modes and sharing modes, combined with "|".
enum : uint32_t {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareCompat = 0x0000,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyRead = 0x0030,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFF00,
};

// A file. Sharing modes are kept with advisory locks (flock), which bind every
// program that takes them, Elo's own processes and threads included, but not a
// program that opens the file without asking for a lock:
// - a file opened for reading with writers denied (fmShareDenyWrite) holds a
//   shared lock, so a writer that asks for its exclusive lock is kept out
//   ("Cannot open file"), while other readers come in;
// - a file opened for writing (fmOpenWrite, fmOpenReadWrite, fmCreate) or with
//   fmShareExclusive holds an exclusive lock while it is open, so readers that
//   deny writers are kept out until it is closed;
// - fmShareDenyNone and fmShareCompat take no lock. fmShareDenyRead is kept as
//   fmShareExclusive (a lock cannot let writers in and keep readers out).
class TFileStream : public THandleStream {
public:
    TFileStream(const std::string& fileName, uint32_t mode);
    const char* ClassName() const override { return "TFileStream"; }
    const std::string& FileName() const { return FFileName; }

private:
    std::string FFileName;
};

// A temporary file that disappears when the stream is freed.
class TTempStream : public THandleStream {
public:
    TTempStream();
    const char* ClassName() const override { return "TTempStream"; }
};

// A stream over memory it does not grow.
class TCustomMemoryStream : public TStream {
public:
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, uint16_t origin) override;
    const char* ClassName() const override { return "TCustomMemoryStream"; }
    const void* Memory() const { return FMemory; }

protected:
    void SetPointer(const void* memory, int64_t size) {
        FMemory = static_cast<const char*>(memory);
        FSize = size;
    }
    const char* FMemory = nullptr;
    int64_t FSize = 0;
    int64_t FPosition = 0;
};

// A stream over memory of its own that grows as it is written.
class TMemoryStream : public TCustomMemoryStream {
public:
    int32_t Write(const void* buffer, int32_t count) override;
    void SetSize(int64_t newSize) override;
    const char* ClassName() const override { return "TMemoryStream"; }
    void Clear();
    // Room for size bytes without moving the data again (address space only:
    // memory is used as the data grows).
    void Reserve(int64_t size) { FData.reserve(static_cast<size_t>(size)); }
    char* Memory() { return FData.data(); }

private:
    std::vector<char> FData;
};

// A read-only stream over a resource embedded in the program.
class TResourceStream : public TCustomMemoryStream {
public:
    // Raises EResNotFound when the program has no such resource.
    TResourceStream(const std::string& type, const std::string& name);
    const char* ClassName() const override { return "TResourceStream"; }
};

class EResNotFound : public Exception {
public:
    using Exception::Exception;
};

// The modification time of an open file, in nanoseconds, at full resolution.
int64_t FileDateOfHandle(int handle);

// What tells one state of a file from another: besides the modification time
// (which the kernel keeps at clock-tick resolution, so two writes a moment
// apart can share it), the file's identity and size. A file replaced by a new
// one (written elsewhere, renamed over it) has a new identity.
struct TFileStamp {
    int64_t Date = 0;
    uint64_t Device = 0, Inode = 0;
    int64_t Size = 0;
    bool operator==(const TFileStamp&) const = default;
};
TFileStamp FileStampOfHandle(int handle);

} // namespace elo
