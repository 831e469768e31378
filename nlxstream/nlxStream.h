// TnlxBufferedStream: a stream in front of another stream (the underlying
// stream) that serves reads and writes from one in-memory window. Position and
// size are its own, so seeks cost no input or output; the underlying stream is
// optional, can be given up at any moment (CloseStream) and is obtained again
// through OnGetStream when real input or output is needed.
#pragma once

#include <cstdint>
#include <functional>

#include "SharedMon.h"
#include "platform/Streams.h"

namespace elo {

enum TBufferOption : uint8_t { boRead = 1, boWrite = 2 };

// Copies between the window and the caller: the library reader's reads are
// mostly 1 to 20 bytes, which overlapping word moves copy without a call.
inline void CopyBytes(void* to, const void* from, size_t n) {
    auto* d = static_cast<unsigned char*>(to);
    const auto* s = static_cast<const unsigned char*>(from);
    if (n <= 16) {
        if (n >= 8) {
            uint64_t a, b;
            __builtin_memcpy(&a, s, 8);
            __builtin_memcpy(&b, s + n - 8, 8);
            __builtin_memcpy(d, &a, 8);
            __builtin_memcpy(d + n - 8, &b, 8);
        } else if (n >= 4) {
            uint32_t a, b;
            __builtin_memcpy(&a, s, 4);
            __builtin_memcpy(&b, s + n - 4, 4);
            __builtin_memcpy(d, &a, 4);
            __builtin_memcpy(d + n - 4, &b, 4);
        } else if (n > 0) {
            d[0] = s[0];
            d[n / 2] = s[n / 2];
            d[n - 1] = s[n - 1];
        }
        return;
    }
    __builtin_memcpy(d, s, n);
}
using TBufferOptions = uint8_t;

class TnlxBufferedStream;
// Supplies an underlying stream; stream comes preset to null. The buffered
// stream takes the stream it is given (see OwnsStream and CloseStream).
using TGetStreamEvent = std::function<void(TnlxBufferedStream& sender, TStream*& stream)>;

class TnlxBufferedStream : public TStream {
public:
    TnlxBufferedStream(TStream* stream, int32_t bufferSize);
    ~TnlxBufferedStream() override;

    // Reads that the window covers are served here without a call out.
    int32_t Read(void* buffer, int32_t count) override {
        const int64_t offset = int64_t{FPosition} - FBufStart;
        if (count > 0 && offset >= 0 && offset + count <= FBufLen && FBufferSize != 0 && (Options & boRead)) {
            CopyBytes(buffer, Window() + offset, static_cast<size_t>(count));
            FPosition += count;
            return count;
        }
        return ReadOutsideWindow(buffer, count);
    }
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, uint16_t origin) override;
    void SetSize(int64_t newSize) override;
    const char* ClassName() const override { return "TnlxBufferedStream"; }

    // The underlying stream, obtained through OnGetStream when none is held
    // (null when none can be had).
    TStream* GetStream();
    // Frees the held stream, whatever OwnsStream says. The window stays and
    // keeps serving reads; it is not written back.
    void CloseStream();
    TStream* HeldStream() const { return FStream; }

    TBufferOptions Options = boRead | boWrite;
    TGetStreamEvent OnGetStream;
    bool OwnsStream = false;
    bool ReadForward = true;
    bool FlushOnDestroy = true;
    // When positive, the size of a private window reallocated on every set-up.
    int32_t ForcedBufferSize = 0;

    int32_t BufferSize() const { return FBufferSize; }
    int32_t BufStart() const { return FBufStart; }
    int32_t BufLen() const { return FBufLen; }
    bool Dirty() const { return FDirty; }
    const TBufferRec& Buffer() const { return FBuffer; }

protected:
    virtual void WriteToStream(const void* buffer, int32_t count);
    virtual void ReadFromStream(void* buffer, int32_t count);
    virtual TStream* DoGetStream();

private:
    // The window predicates; computed in 64 bits so that no position overflows.
    bool Covers(int64_t pos, int64_t n) const { return FBufStart <= pos && pos + n <= int64_t{FBufStart} + FBufLen; }
    bool Touches(int64_t pos) const { return FBufStart <= pos && pos <= int64_t{FBufStart} + FBufLen; }
    bool Fits(int64_t pos, int64_t n) const { return pos + n - FBufStart <= FBufferSize; }
    bool Appendable(int64_t pos, int64_t n) const { return Fits(pos, n) && n + FBufLen <= FBufferSize; }
    bool Inside(int64_t pos, int64_t n) const {
        const int64_t off = pos - FBufStart;
        return off >= 0 && off <= FBufferSize && off + n <= FBufferSize;
    }
    int32_t ReadOutsideWindow(void* buffer, int32_t count);
    TStream& NeedStream();
    void FlushWindow(int32_t newStart);
    void FillWindow(int32_t pos);
    void DirectRead(int32_t pos, void* buffer, int32_t n);
    void DirectWrite(int32_t pos, const void* buffer, int32_t n);
    void AllocateBuffer();
    void FreeBuffer();
    char* Window() const { return static_cast<char*>(FBuffer.Memory); }

    TBufferRec FBuffer;
    // The pool the buffer came from: it goes back there even after shut-down
    // cleared BufferManager (a closing pool lives until its last buffer is back).
    TBufferManager* FBufferOwner = nullptr;
    int32_t FPosition = 0;
    int32_t FSize = 0;
    int32_t FBufStart = 0;
    int32_t FBufferSize = 0;
    int32_t FBufLen = 0;
    bool FDirty = false;
    TStream* FStream = nullptr;
};

} // namespace elo
