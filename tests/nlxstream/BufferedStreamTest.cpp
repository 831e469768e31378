#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "nlxstream/nlxStream.h"
#include "support/CountingStream.h"

using namespace elo;
using elo::test::CountingStream;
using elo::test::Pattern;

namespace {

// A buffered stream with no stream of its own that obtains `under` on demand.
struct OnDemand {
    explicit OnDemand(std::vector<char> data, int32_t bufferSize = 8196, std::string cls = "TFileStream")
        : stream(nullptr, bufferSize) {
        stream.OnGetStream = [this, data, cls](TnlxBufferedStream&, TStream*& s) {
            ++requests;
            auto* c = new CountingStream(data, cls);
            last = c;
            s = c;
        };
        stream.OwnsStream = true;
    }
    TnlxBufferedStream stream;
    CountingStream* last = nullptr;
    int requests = 0;
};

} // namespace

TEST(BufferedStream, SeekingNeverTouchesTheUnderlyingStream) {
    auto* under = new CountingStream(Pattern(100));
    TnlxBufferedStream s(under, 8196);
    s.OwnsStream = true;
    EXPECT_EQ(s.Seek(-4, soEnd), 96);
    EXPECT_EQ(s.Seek(3, 3), 96); // an unknown origin leaves the position
    EXPECT_EQ(s.Seek(10, soCurrent), 106);
    EXPECT_EQ(s.Size(), 100);
    EXPECT_EQ(s.Position(), 106);
    EXPECT_EQ(under->Reads, 0);
}

TEST(BufferedStream, ForwardWindowPlacementAndOneReadPerWindow) {
    OnDemand d(Pattern(10000));
    TnlxBufferedStream& s = d.stream;
    char buf[200];
    s.ReadBuffer(buf, 8);
    EXPECT_EQ(d.last->Reads, 1);
    EXPECT_EQ(d.last->BytesRead, 8196);
    EXPECT_EQ(s.Size(), 10000);
    s.SetPosition(8000);
    s.ReadBuffer(buf, 100);
    EXPECT_EQ(d.last->Reads, 1); // served from the window
    EXPECT_EQ(std::memcmp(buf, Pattern(10000).data() + 8000, 100), 0);
    s.SetPosition(8150);
    s.ReadBuffer(buf, 100); // ends past 8196: the window moves to 8150
    EXPECT_EQ(d.last->Reads, 2);
    EXPECT_EQ(d.last->BytesRead, 8196 + 1850);
    EXPECT_EQ(s.BufStart(), 8150);
    EXPECT_EQ(s.BufLen(), 1850);
    EXPECT_EQ(std::memcmp(buf, Pattern(10000).data() + 8150, 100), 0);
}

TEST(BufferedStream, BackwardWindowPlacement) {
    OnDemand d(Pattern(20000));
    d.stream.ReadForward = false;
    char b;
    d.stream.SetPosition(9000);
    d.stream.ReadBuffer(&b, 1);
    EXPECT_EQ(d.stream.BufStart(), 9000 - 2732);
    d.stream.SetPosition(1000);
    d.stream.ReadBuffer(&b, 1);
    EXPECT_EQ(d.stream.BufStart(), 0);
    EXPECT_EQ(b, Pattern(20000)[1000]);
}

TEST(BufferedStream, LargeReadsGoDirect) {
    OnDemand d(Pattern(50000));
    std::vector<char> big(20000);
    d.stream.SetPosition(100);
    d.stream.ReadBuffer(big.data(), 20000);
    EXPECT_EQ(d.stream.Position(), 20100);
    EXPECT_EQ(d.last->Reads, 2); // the refill at 100, then the direct read
    EXPECT_EQ(std::memcmp(big.data(), Pattern(50000).data() + 100, 20000), 0);
}

TEST(BufferedStream, ReadsPastTheEndFailInsteadOfReturningStaleBytes) {
    OnDemand d(Pattern(100));
    char buf[16];
    d.stream.SetPosition(95);
    EXPECT_THROW(d.stream.ReadBuffer(buf, 10), EReadError);
    d.stream.SetPosition(5000); // a refill beyond the end asks for nothing
    EXPECT_THROW(d.stream.ReadBuffer(buf, 1), EReadError);
    EXPECT_EQ(d.stream.BufLen(), 0);
    d.stream.SetPosition(-3);
    EXPECT_THROW(d.stream.ReadBuffer(buf, 2), EReadError);
    // A negative count copies nothing and changes nothing.
    d.stream.SetPosition(7);
    EXPECT_EQ(d.stream.Read(buf, -5), 0);
    EXPECT_EQ(d.stream.Write(buf, -5), 0);
    EXPECT_EQ(d.stream.Position(), 7);
}

TEST(BufferedStream, BufferedWritesPastTheEndReachTheStreamOnFlush) {
    auto d = std::make_unique<OnDemand>(std::vector<char>{});
    const char text[] = "0123456789";
    d->stream.Write(text, 10);
    d->stream.SetSize(10);
    EXPECT_EQ(d->requests, 0); // no stream touched
    EXPECT_EQ(d->stream.Size(), 10);
    EXPECT_EQ(d->stream.BufLen(), 10);
    d->stream.SetPosition(50);
    char back[10] = {};
    // Writing at 50 leaves a gap after the window: the window is written back
    // first, through a stream obtained on demand.
    d->stream.Write(text, 10);
    EXPECT_EQ(d->requests, 1);
    EXPECT_GE(d->stream.Size(), 60);
    d->stream.SetPosition(50);
    d->stream.ReadBuffer(back, 10);
    EXPECT_EQ(std::memcmp(back, text, 10), 0);
    CountingStream* under = d->last;
    EXPECT_EQ(std::string(under->Data.begin(), under->Data.begin() + 10), "0123456789");
    // The rest reaches the stream on destruction; keep a copy of what it holds.
    auto* keep = new std::vector<char>;
    d->stream.OnGetStream = nullptr;
    struct Spy : CountingStream {
        std::vector<char>* out;
        ~Spy() override { *out = Data; }
    };
    d->stream.CloseStream();
    d->stream.OnGetStream = [&](TnlxBufferedStream&, TStream*& s) {
        auto* spy = new Spy;
        spy->Data = std::vector<char>(10, 'x');
        spy->out = keep;
        s = spy;
    };
    d.reset();
    ASSERT_GE(keep->size(), 60u);
    EXPECT_EQ(std::string(keep->begin() + 50, keep->begin() + 60), "0123456789");
    delete keep;
}

TEST(BufferedStream, SetSizeBranches) {
    // Growing inside a window at 0 without a stream: zeros, and no stream.
    OnDemand d(std::vector<char>{});
    d.stream.SetSize(20);
    EXPECT_EQ(d.requests, 0);
    char z[20];
    d.stream.ReadBuffer(z, 20);
    EXPECT_EQ(std::count(z, z + 20, 0), 20);
    d.stream.SetPosition(30);
    d.stream.SetSize(5); // shrinking moves the position back
    EXPECT_EQ(d.stream.Position(), 5);
    EXPECT_THROW(d.stream.SetSize(-1), EStreamError);

    // With a stream held, shrinking writes a dirty window back first.
    auto* under = new CountingStream(Pattern(1000));
    TnlxBufferedStream s(under, 512);
    s.OwnsStream = true;
    s.SetPosition(10);
    s.Write("abc", 3);
    s.SetSize(2000); // growing: the window stays dirty
    EXPECT_TRUE(s.Dirty());
    EXPECT_EQ(under->Writes, 0);
    EXPECT_EQ(s.Size(), 2000);
    s.SetSize(500);
    EXPECT_FALSE(s.Dirty());
    EXPECT_EQ(s.BufLen(), 0);
    EXPECT_EQ(std::string(under->Data.begin() + 10, under->Data.begin() + 13), "abc");
    EXPECT_EQ(under->Data.size(), 500u);
}

TEST(BufferedStream, CloseStreamKeepsTheWindow) {
    OnDemand d(Pattern(30000));
    char b[4];
    d.stream.ReadBuffer(b, 4);
    d.stream.CloseStream();
    EXPECT_EQ(d.stream.HeldStream(), nullptr);
    d.stream.SetPosition(100);
    d.stream.ReadBuffer(b, 4); // inside the window: no input
    EXPECT_EQ(d.requests, 1);
    d.stream.SetPosition(20000);
    d.stream.ReadBuffer(b, 4); // outside: a new stream
    EXPECT_EQ(d.requests, 2);
    EXPECT_EQ(b[0], Pattern(30000)[20000]);
}

TEST(BufferedStream, WindowSizeDependsOnTheStreamClass) {
    auto memory = new TMemoryStream;
    memory->Write("hello", 5);
    TnlxBufferedStream overMemory(memory, 8196);
    overMemory.OwnsStream = true;
    EXPECT_EQ(overMemory.BufferSize(), 0);
    overMemory.SetPosition(1);
    char c;
    overMemory.ReadBuffer(&c, 1);
    EXPECT_EQ(c, 'e');

    TnlxBufferedStream unbuffered(new CountingStream(Pattern(10), "TFileStream"), 0);
    unbuffered.OwnsStream = true;
    EXPECT_EQ(unbuffered.BufferSize(), 0);
    TnlxBufferedStream other(new CountingStream(Pattern(10), "TResourceStream"), 100);
    other.OwnsStream = true;
    EXPECT_EQ(other.BufferSize(), 512);
    TnlxBufferedStream file(new CountingStream(Pattern(10), "TFileStream"), 100);
    file.OwnsStream = true;
    EXPECT_EQ(file.BufferSize(), 100);
    TnlxBufferedStream descendant(new CountingStream(Pattern(10), "TMyFileStream"), 100);
    descendant.OwnsStream = true;
    EXPECT_EQ(descendant.BufferSize(), 512); // other names do not count

    // DefaultBufferSize applies only to a file stream whose wanted size is 0.
    DefaultBufferSize = 3000;
    TnlxBufferedStream forced(nullptr, 0);
    forced.ForcedBufferSize = -1;
    forced.OnGetStream = [](TnlxBufferedStream&, TStream*& s) { s = new CountingStream(Pattern(10)); };
    forced.OwnsStream = true;
    forced.GetStream();
    EXPECT_EQ(forced.BufferSize(), 3000);

    // A library's stream keeps its 8196 bytes when its stream arrives.
    OnDemand library(Pattern(10), 8196, "TResourceStream");
    library.stream.GetStream();
    EXPECT_EQ(library.stream.BufferSize(), 8196);
    EXPECT_EQ(library.stream.Buffer().Item, kPrivateBufferItem);
}

TEST(BufferedStream, WindowWrittenWithoutAStreamReachesTheStreamThatArrives) {
    TMemoryStream* target = nullptr;
    auto* s = new TnlxBufferedStream(nullptr, 64);
    s->OwnsStream = true;
    s->OnGetStream = [&](TnlxBufferedStream&, TStream*& out) { out = target = new TMemoryStream; };
    s->Write("abcdef", 6);
    s->SetPosition(100); // beyond the window: it is written back
    s->Write("Z", 1);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(s->BufferSize(), 64); // a window is never made smaller
    EXPECT_EQ(std::string(target->Memory(), 6), "abcdef");
    char c;
    s->SetPosition(2);
    s->ReadBuffer(&c, 1); // the refill writes the "Z" window back first
    EXPECT_EQ(c, 'c');
    ASSERT_EQ(target->Size(), 101);
    EXPECT_EQ(target->Memory()[100], 'Z');
    delete s;
}

TEST(BufferedStream, PoolWindows) {
    NlxStreamStartup();
    UseBufferPool = true;
    {
        OnDemand d(Pattern(10000));
        EXPECT_EQ(d.stream.BufferSize(), 4096);
        EXPECT_NE(d.stream.Buffer().Item, kPrivateBufferItem);
        EXPECT_EQ(BufferManager->InUseCount(), 1);
        char b[8];
        d.stream.SetPosition(5000);
        d.stream.ReadBuffer(b, 8);
        EXPECT_EQ(b[0], Pattern(10000)[5000]);
    }
    EXPECT_EQ(BufferManager->InUseCount(), 0);
    EXPECT_EQ(BufferManager->Count(), 1);
    UseBufferPool = false;
    NlxStreamShutdown();
}

namespace {
// Claims more bytes than it holds, as a file cut short under its reader.
struct ShortStream : CountingStream {
    ShortStream(std::vector<char> data, int64_t claimed) : CountingStream(std::move(data)), Claimed(claimed) {}
    int64_t Seek(int64_t offset, uint16_t origin) override {
        if (origin == soEnd) return Position_ = Claimed + offset;
        return CountingStream::Seek(offset, origin);
    }
    int64_t Claimed;
};
} // namespace

TEST(BufferedStream, AFailedRefillLeavesNothingInTheWindow) {
    auto* under = new ShortStream(Pattern(50), 100);
    TnlxBufferedStream s(under, 8196);
    s.OwnsStream = true;
    char buf[10];
    s.SetPosition(60);
    EXPECT_THROW(s.ReadBuffer(buf, 10), EReadError);
    s.SetPosition(60); // bytes the refill never read are not served from the window
    EXPECT_THROW(s.ReadBuffer(buf, 10), EReadError);
    under->Data = Pattern(100); // whole again: the next read refills
    s.SetPosition(60);
    s.ReadBuffer(buf, 10);
    EXPECT_EQ(std::memcmp(buf, Pattern(100).data() + 60, 10), 0);
}

TEST(BufferedStream, AStreamThatOutlivesThePoolStillGivesItsBufferBack) {
    struct Used : ISharedMon {
        int RegisterCounter(const std::string&) override { return 0; }
        void SetCounter(int, int) override {}
        void IncCounter(int) override { ++used; }
        void DecCounter(int) override { --used; }
        int used = 0;
    };
    NlxStreamStartup();
    UseBufferPool = true;
    auto monitor = std::make_shared<Used>();
    {
        OnDemand d(Pattern(100));
        EXPECT_NE(d.stream.Buffer().Item, kPrivateBufferItem);
        UseBufferPool = false;
        NlxStreamShutdown(); // the pool closes when its last buffer comes back
        SetSharedMon(monitor);
    }
    EXPECT_EQ(monitor->used, -1); // the buffer went back: the pool could go
    SetSharedMon(nullptr);
}
