#include "nlxStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/DebugOutput.h"
#include "platform/Text.h"

namespace elo {

namespace {
// Positions are 32-bit: a sum that leaves the range wraps as the platform's
// 32-bit arithmetic does, instead of being undefined.
int32_t Add32(int64_t a, int64_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a + b));
}
} // namespace

TnlxBufferedStream::TnlxBufferedStream(TStream* stream, int32_t bufferSize) : FBufferSize(bufferSize), FStream(stream) {
    if (stream) {
        FSize = static_cast<int32_t>(stream->Size());
        FPosition = static_cast<int32_t>(stream->Position());
    }
    AllocateBuffer();
}

TnlxBufferedStream::~TnlxBufferedStream() {
    if (FlushOnDestroy) {
        try {
            FlushWindow(FPosition);
        } catch (const Exception& e) {
            // A destructor cannot raise: the failure is reported to the developer.
            DebugOutput("TnlxBufferedStream: window lost on destruction: " + e.Message);
        }
    }
    FreeBuffer();
    if (OwnsStream && FStream) delete FStream;
}

// ---- the underlying stream --------------------------------------------------------

TStream* TnlxBufferedStream::DoGetStream() {
    TStream* stream = nullptr;
    if (OnGetStream) OnGetStream(*this, stream);
    return stream;
}

TStream* TnlxBufferedStream::GetStream() {
    if (!FStream) {
        FStream = DoGetStream();
        if (FStream) {
            if (FSize == 0) FSize = static_cast<int32_t>(FStream->Size());
            AllocateBuffer();
        }
    }
    return FStream;
}

TStream& TnlxBufferedStream::NeedStream() {
    TStream* stream = GetStream();
    if (!stream) throw EStreamError("TnlxBufferedStream has no stream to read or write");
    return *stream;
}

void TnlxBufferedStream::CloseStream() {
    delete FStream;
    FStream = nullptr;
}

void TnlxBufferedStream::WriteToStream(const void* buffer, int32_t count) {
    FStream->WriteBuffer(buffer, count);
}

void TnlxBufferedStream::ReadFromStream(void* buffer, int32_t count) {
    FStream->ReadBuffer(buffer, count);
}

// ---- the window ---------------------------------------------------------------------

void TnlxBufferedStream::FlushWindow(int32_t newStart) {
    if (FBufLen > 0 && FDirty) {
        TStream& stream = NeedStream();
        stream.SetPosition(FBufStart);
        WriteToStream(Window(), FBufLen);
        FDirty = false;
    }
    FBufLen = 0;
    FBufStart = newStart;
}

void TnlxBufferedStream::FillWindow(int32_t pos) {
    FlushWindow(pos);
    int32_t start = ReadForward ? pos : Add32(pos, -(FBufferSize / 3));
    if (start < 0) start = 0;
    FBufStart = start;
    TStream& stream = NeedStream();
    stream.SetPosition(FBufStart);
    // A refill at or beyond the end of the data reads nothing: never a negative count.
    const int64_t available = stream.Size() - FBufStart;
    const auto length = static_cast<int32_t>(std::clamp<int64_t>(available, 0, FBufferSize));
    // The window holds the bytes only once they were read: a read that fails
    // (a file cut short under the reader) leaves it empty.
    FBufLen = 0;
    if (length > 0) ReadFromStream(Window(), length);
    FBufLen = length;
}

void TnlxBufferedStream::DirectRead(int32_t pos, void* buffer, int32_t n) {
    if (pos < 0) throw EReadError();
    TStream& stream = NeedStream();
    stream.SetPosition(pos);
    ReadFromStream(buffer, n);
    FPosition = Add32(pos, n);
}

void TnlxBufferedStream::DirectWrite(int32_t pos, const void* buffer, int32_t n) {
    if (pos < 0) throw EWriteError();
    TStream& stream = NeedStream();
    stream.SetPosition(pos);
    WriteToStream(buffer, n);
    FPosition = Add32(pos, n);
    FSize = static_cast<int32_t>(std::max<int64_t>(stream.Size(), FSize));
}

int32_t TnlxBufferedStream::ReadOutsideWindow(void* buffer, int32_t n) {
    if (n <= 0) return 0; // a negative count copies nothing and changes nothing
    const int32_t pos = FPosition;
    if (FBufferSize == 0 || !(Options & boRead)) {
        DirectRead(pos, buffer, n);
        return n;
    }
    if (!Covers(pos, n)) FillWindow(pos);
    if (Fits(pos, n)) {
        if (Inside(pos, n)) {
            // The window must really hold the bytes: a read past the end of the
            // data fails instead of returning whatever the window memory holds.
            if (!Covers(pos, n)) throw EReadError();
            CopyBytes(buffer, Window() + (pos - FBufStart), static_cast<size_t>(n));
            FPosition = Add32(pos, n);
            return n;
        }
        FlushWindow(pos);
    }
    DirectRead(pos, buffer, n);
    return n;
}

int32_t TnlxBufferedStream::Write(const void* buffer, int32_t n) {
    if (n <= 0) return 0;
    const int32_t pos = FPosition;
    if (FBufferSize == 0 || !(Options & boWrite)) {
        DirectWrite(pos, buffer, n);
        return n;
    }
    if (!Touches(pos) || !Appendable(pos, n)) FlushWindow(pos);
    if (Fits(pos, n)) {
        if (Inside(pos, n)) {
            CopyBytes(Window() + (pos - FBufStart), buffer, static_cast<size_t>(n));
            FDirty = true;
            FBufLen = std::max(FBufLen, pos - FBufStart + n);
            FSize = static_cast<int32_t>(std::max<int64_t>(FSize, int64_t{pos} + n));
            FPosition = Add32(pos, n);
            return n;
        }
        FlushWindow(pos);
    }
    DirectWrite(pos, buffer, n);
    return n;
}

int64_t TnlxBufferedStream::Seek(int64_t offset, uint16_t origin) {
    switch (origin) {
    case soBeginning:
        FPosition = static_cast<int32_t>(offset);
        break;
    case soCurrent:
        FPosition = Add32(FPosition, offset);
        break;
    case soEnd:
        FPosition = Add32(offset, FSize);
        break;
    default:
        break; // any other origin leaves the position
    }
    return FPosition;
}

void TnlxBufferedStream::SetSize(int64_t size) {
    if (size < 0 || size > INT32_MAX) throw EStreamError("Invalid stream size");
    const auto newSize = static_cast<int32_t>(size);
    if (FStream || newSize > FBufferSize || FBufStart != 0) {
        if (newSize < FSize) FlushWindow(FPosition);
        TStream& stream = NeedStream();
        stream.SetSize(newSize);
        FSize = static_cast<int32_t>(stream.Size());
    } else {
        // The whole data lies in a window that starts at 0: no stream is touched.
        // Bytes the window gains are zeros, and they are data to write back.
        if (newSize > FBufLen) {
            std::memset(Window() + FBufLen, 0, static_cast<size_t>(newSize - FBufLen));
            FDirty = true;
        }
        FSize = newSize;
        FBufLen = newSize;
    }
    if (FSize < FPosition) FPosition = FSize;
}

// ---- buffer set-up ----------------------------------------------------------------------

void TnlxBufferedStream::FreeBuffer() {
    if (!FBuffer.Memory) return;
    if (FBuffer.Item == kPrivateBufferItem)
        std::free(FBuffer.Memory);
    else if (FBufferOwner)
        FBufferOwner->Release(FBuffer);
    FBuffer = TBufferRec{};
    FBufferOwner = nullptr;
}

void TnlxBufferedStream::AllocateBuffer() {
    if (FBufferSize == 0 && ForcedBufferSize == 0) return; // unbuffered

    auto keepWindowData = [&](int32_t newCapacity) {
        // A window about to move to smaller memory keeps nothing it has not
        // written back: dirty bytes go to the stream first.
        if (FBufLen > newCapacity) {
            if (FDirty && FStream) {
                FStream->SetPosition(FBufStart);
                WriteToStream(Window(), FBufLen);
                FDirty = false;
            }
            FBufLen = 0;
        }
    };

    if (UseBufferPool && ForcedBufferSize == 0 && BufferManager) {
        if (FBuffer.Item == kPrivateBufferItem && FBuffer.Memory) {
            TBufferRec pooled;
            BufferManager->Acquire(pooled);
            keepWindowData(pooled.Size);
            std::memcpy(pooled.Memory, FBuffer.Memory, static_cast<size_t>(std::max(FBufLen, 0)));
            std::free(FBuffer.Memory);
            FBuffer = pooled;
            FBufferOwner = BufferManager;
        } else if (!FBuffer.Memory) {
            BufferManager->Acquire(FBuffer);
            FBufferOwner = BufferManager;
        }
        FBufferSize = FBuffer.Size;
        return;
    }

    int32_t wanted = ForcedBufferSize > 0 ? ForcedBufferSize : FBufferSize;
    if (FStream) {
        const char* name = FStream->ClassName();
        if (SameTextAscii(name, "TFileStream") || SameTextAscii(name, "TTempStream")) {
            if (wanted == 0) wanted = DefaultBufferSize;
        } else if (dynamic_cast<TMemoryStream*>(FStream)) {
            wanted = 0;
        } else if (wanted < 512) {
            wanted = 512;
        }
    }
    if (wanted <= FBufferSize && FBuffer.Memory && ForcedBufferSize <= 0) return; // keep it
    keepWindowData(wanted);
    void* memory = nullptr;
    if (wanted > 0) {
        memory = std::malloc(static_cast<size_t>(wanted));
        if (!memory) throw EOutOfMemory();
        if (FBufLen > 0 && FBuffer.Memory) std::memcpy(memory, FBuffer.Memory, static_cast<size_t>(FBufLen));
    }
    FreeBuffer();
    FBufferOwner = nullptr;
    FBuffer.Item = kPrivateBufferItem;
    FBuffer.Memory = memory;
    FBuffer.Size = wanted;
    FBufferSize = wanted;
}

} // namespace elo
