// The process-wide services behind the buffered stream: a thread-safe pool of
// fixed-size buffers, the shared counter monitor it reports to, and the start-up
// and shut-down steps that create them.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace elo {

// A buffer descriptor, handed out by value. Item points at the pool's own
// record; the buffered stream marks a buffer it allocated itself with
// kPrivateBufferItem instead.
struct TBufferRec {
    uint32_t InUse = 0;
    void* Item = nullptr;
    int32_t Size = 0;
    void* Memory = nullptr;
};

inline void* const kPrivateBufferItem = reinterpret_cast<void*>(uintptr_t{0xFFFF});

// The shared counter monitor (reference counted through shared_ptr).
class ISharedMon {
public:
    virtual ~ISharedMon() = default;
    virtual int RegisterCounter(const std::string& name) = 0;
    virtual void SetCounter(int id, int value) = 0;
    virtual void IncCounter(int id) = 0;
    virtual void DecCounter(int id) = 0;
    // Operations that the system never calls.
    virtual void UnregisterCounter(int /*id*/) {}
    virtual void Lock() {}
    virtual void Unlock() {}
    virtual std::shared_ptr<ISharedMon> Clone() { return nullptr; }
};

// The null monitor: ignores every report.
class TVoidSharedMon : public ISharedMon {
public:
    int RegisterCounter(const std::string&) override { return -1; }
    void SetCounter(int, int) override {}
    void IncCounter(int) override {}
    void DecCounter(int) override {}
};

inline constexpr const char* kUsedBuffersCounter = "NLXSTREAM.USEDBUFFERS";
inline constexpr const char* kTotalBuffersCounter = "NLXSTREAM.TOTALBUFFERS";

// Replaces the current monitor (null clears it).
void SetSharedMon(std::shared_ptr<ISharedMon> monitor);
std::shared_ptr<ISharedMon> CurrentSharedMon();

class TBufferManager {
public:
    TBufferManager();
    ~TBufferManager(); // Clear, then frees the list
    TBufferManager(const TBufferManager&) = delete;
    TBufferManager& operator=(const TBufferManager&) = delete;

    // Fills rec with the first idle buffer, or a new one.
    void Acquire(TBufferRec& rec);
    // Takes back the buffer rec describes; frees it when the pool holds more
    // than MaxItems records. A pool marked by FreeWhenIdle frees itself when
    // its last buffer comes back.
    void Release(const TBufferRec& rec);
    // Frees every record; raises "There are used items in BufferManager list"
    // at the first one in use, keeping it and those after it.
    void Clear();
    // Marks the pool for destruction and frees it at once if no buffer is out.
    // The pool must have been created with new.
    void FreeWhenIdle();

    int32_t BufferSize = 4096;
    int32_t MaxItems = 255;
    int Count() const;
    int InUseCount() const;

private:
    bool AnyInUseLocked() const;
    std::vector<TBufferRec*> FItems;
    mutable std::mutex FLock;
    bool FDestroyWhenIdle = false;
    bool FDestroying = false; // decided under the lock: exactly one caller frees
};

// Process-wide values, set by start-up.
extern int32_t DefaultBufferSize;
extern bool UseBufferPool;
extern TBufferManager* BufferManager;

// Total physical memory in bytes, capped at 32 bits as the platform's field.
uint32_t TotalPhysicalMemory();
// DefaultBufferSize for a given memory size: div 8000 on the NT family (the
// family Linux counts as), at least 1024.
int32_t DefaultBufferSizeFor(uint32_t totalPhysical);

// Start-up, in order: the null monitor, DefaultBufferSize, the two counters,
// the pool. Shut-down: the pool frees itself when idle, the monitor is cleared.
void NlxStreamStartup();
void NlxStreamShutdown();
// Start-up's counter step on its own: registers the two counters with the
// monitor installed now (for a monitor installed after start-up).
void RegisterNlxStreamCounters();

} // namespace elo
