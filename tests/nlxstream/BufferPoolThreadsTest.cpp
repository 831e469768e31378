// The pool from several threads at once (run under ThreadSanitizer too).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "nlxstream/SharedMon.h"

using namespace elo;

namespace {
class AtomicMon : public ISharedMon {
public:
    int RegisterCounter(const std::string&) override { return next++; }
    void SetCounter(int id, int value) override { counters[id] = value; }
    void IncCounter(int id) override { ++counters[id]; }
    void DecCounter(int id) override { --counters[id]; }
    std::atomic<int> counters[2] = {0, 0};
    int next = 0;
};
} // namespace

TEST(BufferPoolThreads, ConcurrentAcquireAndRelease) {
    auto mon = std::make_shared<AtomicMon>();
    SetSharedMon(mon);
    RegisterNlxStreamCounters();
    TBufferManager pool;
    pool.MaxItems = 8; // exercise freeing under contention too
    std::vector<std::thread> threads;
    std::atomic<int> corrupt{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                TBufferRec a, b;
                pool.Acquire(a);
                pool.Acquire(b);
                std::memset(a.Memory, t, 4096);
                std::memset(b.Memory, t + 100, 4096);
                if (static_cast<unsigned char*>(a.Memory)[4095] != t) ++corrupt;
                pool.Release(b);
                pool.Release(a);
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(corrupt, 0);
    EXPECT_EQ(mon->counters[0], 0);
    EXPECT_EQ(mon->counters[1], pool.Count());
    EXPECT_LE(pool.Count(), 9);
    SetSharedMon(nullptr);
}

TEST(BufferPoolThreads, TheLastOfConcurrentReleasesFreesAClosingPoolOnce) {
    for (int round = 0; round < 50; ++round) {
        auto* pool = new TBufferManager;
        std::vector<TBufferRec> out(4);
        for (auto& r : out) pool->Acquire(r);
        pool->FreeWhenIdle();
        std::vector<std::thread> threads;
        for (auto& r : out) threads.emplace_back([pool, r] { pool->Release(r); });
        for (auto& th : threads) th.join();
    }
}
