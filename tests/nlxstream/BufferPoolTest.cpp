#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "nlxstream/SharedMon.h"
#include "platform/Exceptions.h"

using namespace elo;

namespace {

class CountingMon : public ISharedMon {
public:
    int RegisterCounter(const std::string& name) override {
        names.push_back(name);
        return static_cast<int>(names.size()) - 1;
    }
    void SetCounter(int id, int value) override { values[id] = value; }
    void IncCounter(int id) override { ++values[id]; }
    void DecCounter(int id) override { --values[id]; }
    int Used() { return values[0]; }
    int Total() { return values[1]; }
    std::vector<std::string> names;
    std::map<int, int> values;
};

struct Monitored : ::testing::Test {
    void SetUp() override {
        SetSharedMon(mon);
        RegisterNlxStreamCounters();
    }
    void TearDown() override { SetSharedMon(nullptr); }
    std::shared_ptr<CountingMon> mon = std::make_shared<CountingMon>();
};

} // namespace

TEST_F(Monitored, FirstAcquireCreatesAndReleaseKeepsForReuse) {
    EXPECT_EQ(mon->names, (std::vector<std::string>{"NLXSTREAM.USEDBUFFERS", "NLXSTREAM.TOTALBUFFERS"}));
    TBufferManager pool;
    TBufferRec a;
    pool.Acquire(a);
    EXPECT_EQ(a.Size, 4096);
    EXPECT_EQ(a.InUse, 1u);
    EXPECT_NE(a.Memory, nullptr);
    EXPECT_EQ(mon->Used(), 1);
    EXPECT_EQ(mon->Total(), 1);
    pool.Release(a);
    EXPECT_EQ(mon->Used(), 0);
    EXPECT_EQ(pool.Count(), 1);
    TBufferRec b;
    pool.Acquire(b);
    EXPECT_EQ(b.Memory, a.Memory);
    EXPECT_EQ(mon->Used(), 1);
    EXPECT_EQ(mon->Total(), 1);
    pool.Release(b);
}

TEST_F(Monitored, KeepsAtMost255IdleRecords) {
    TBufferManager pool;
    std::vector<TBufferRec> out(256);
    for (auto& r : out) pool.Acquire(r);
    EXPECT_EQ(mon->Total(), 256);
    pool.Release(out[0]); // 256 records: this one is freed
    EXPECT_EQ(pool.Count(), 255);
    EXPECT_EQ(mon->Total(), 255);
    pool.Release(out[1]); // 255 records: kept
    EXPECT_EQ(pool.Count(), 255);
    for (size_t i = 2; i < out.size(); ++i) pool.Release(out[i]);
    EXPECT_EQ(mon->Used(), 0);
    pool.Clear();
    EXPECT_EQ(mon->Total(), 0);
}

TEST_F(Monitored, ClearStopsAtARecordInUse) {
    TBufferManager pool;
    TBufferRec a, b, c;
    pool.Acquire(a);
    pool.Acquire(b);
    pool.Acquire(c);
    pool.Release(a);
    pool.Release(c);
    try {
        pool.Clear();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message, "There are used items in BufferManager list");
    }
    EXPECT_EQ(pool.Count(), 2); // the first went, the second and third stay
    pool.Release(b);
}

TEST_F(Monitored, FreeWhenIdleWaitsForTheLastRelease) {
    auto* pool = new TBufferManager;
    TBufferRec a, b;
    pool->Acquire(a);
    pool->Acquire(b);
    pool->FreeWhenIdle();
    EXPECT_EQ(pool->Count(), 2); // still alive
    pool->Release(a);
    EXPECT_EQ(pool->Count(), 2);
    pool->Release(b); // frees the pool (the sanitizers check that it is freed once)
    auto* idle = new TBufferManager;
    idle->FreeWhenIdle(); // nothing out: freed at once
}

TEST(BufferPool, NullMonitorAndStartup) {
    TVoidSharedMon null;
    EXPECT_EQ(null.RegisterCounter("x"), -1);
    EXPECT_EQ(DefaultBufferSizeFor(64u << 20), 8388);
    EXPECT_EQ(DefaultBufferSizeFor(1000), 1024);
    EXPECT_EQ(DefaultBufferSizeFor(0xFFFFFFFFu), 536870);
    NlxStreamStartup();
    ASSERT_NE(BufferManager, nullptr);
    ASSERT_NE(CurrentSharedMon(), nullptr);
    EXPECT_FALSE(UseBufferPool);
    EXPECT_GE(DefaultBufferSize, 1024);
    TBufferRec r;
    BufferManager->Acquire(r); // reports to counter -1 without effect
    TBufferManager* pool = BufferManager;
    NlxStreamShutdown(); // the pool waits for its buffer
    EXPECT_EQ(BufferManager, nullptr);
    EXPECT_EQ(CurrentSharedMon(), nullptr);
    pool->Release(r); // and frees itself now
}
