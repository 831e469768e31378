#include "SharedMon.h"

#include <unistd.h>

#include <cstdlib>
#include <new>

#include "platform/DebugOutput.h"
#include "platform/Exceptions.h"

namespace elo {

int32_t DefaultBufferSize = 1024;
bool UseBufferPool = false;
TBufferManager* BufferManager = nullptr;

namespace {
std::shared_ptr<ISharedMon> gMonitor;
int gUsedId = -1;
int gTotalId = -1;

// Reports go to the monitor only while one is installed.
template <typename F> void Report(F&& f) {
    if (gMonitor) f(*gMonitor);
}
} // namespace

void SetSharedMon(std::shared_ptr<ISharedMon> monitor) {
    gMonitor = std::move(monitor);
}
std::shared_ptr<ISharedMon> CurrentSharedMon() {
    return gMonitor;
}

TBufferManager::TBufferManager() = default;

TBufferManager::~TBufferManager() {
    try {
        Clear();
    } catch (const Exception& e) {
        // Freed with buffers still out: those stay with their borrowers.
        DebugOutput(e.Message);
    }
}

int TBufferManager::Count() const {
    std::lock_guard lock(FLock);
    return static_cast<int>(FItems.size());
}

int TBufferManager::InUseCount() const {
    std::lock_guard lock(FLock);
    int n = 0;
    for (const TBufferRec* r : FItems) n += r->InUse ? 1 : 0;
    return n;
}

bool TBufferManager::AnyInUseLocked() const {
    for (const TBufferRec* r : FItems)
        if (r->InUse) return true;
    return false;
}

void TBufferManager::Acquire(TBufferRec& rec) {
    std::lock_guard lock(FLock);
    rec.Memory = nullptr;
    for (TBufferRec* r : FItems) {
        if (r->InUse == 0) {
            Report([](ISharedMon& m) { m.IncCounter(gUsedId); });
            r->InUse = 1;
            rec = *r;
            return;
        }
    }
    void* memory = std::malloc(static_cast<size_t>(BufferSize));
    if (!memory) throw EOutOfMemory();
    auto* r = new (std::nothrow) TBufferRec{1, nullptr, BufferSize, memory};
    if (!r) {
        std::free(memory);
        throw EOutOfMemory();
    }
    r->Item = r;
    try {
        FItems.push_back(r);
    } catch (...) {
        std::free(memory);
        delete r;
        throw EOutOfMemory();
    }
    rec = *r;
    Report([](ISharedMon& m) {
        m.IncCounter(gUsedId);
        m.IncCounter(gTotalId);
    });
}

void TBufferManager::Release(const TBufferRec& rec) {
    bool destroy = false;
    {
        std::lock_guard lock(FLock);
        auto* r = static_cast<TBufferRec*>(rec.Item);
        r->InUse = 0;
        Report([](ISharedMon& m) { m.DecCounter(gUsedId); });
        if (static_cast<int>(FItems.size()) > MaxItems) {
            for (size_t i = 0; i < FItems.size(); ++i) {
                if (FItems[i] == r) {
                    FItems.erase(FItems.begin() + static_cast<ptrdiff_t>(i));
                    break;
                }
            }
            std::free(r->Memory);
            delete r;
            Report([](ISharedMon& m) { m.DecCounter(gTotalId); });
        }
        // Whether this release ends a closing pool is decided here, under the
        // lock, so that of two last releases on two threads only one frees it.
        if (FDestroyWhenIdle && !FDestroying && !AnyInUseLocked()) destroy = FDestroying = true;
    }
    if (destroy) delete this;
}

void TBufferManager::Clear() {
    std::lock_guard lock(FLock);
    size_t i = 0;
    for (; i < FItems.size(); ++i) {
        if (FItems[i]->InUse) {
            FItems.erase(FItems.begin(), FItems.begin() + static_cast<ptrdiff_t>(i));
            throw Exception("There are used items in BufferManager list");
        }
        std::free(FItems[i]->Memory);
        delete FItems[i];
    }
    FItems.clear();
    Report([](ISharedMon& m) { m.SetCounter(gTotalId, 0); });
}

void TBufferManager::FreeWhenIdle() {
    {
        std::lock_guard lock(FLock);
        FDestroyWhenIdle = true;
        if (FDestroying || AnyInUseLocked()) return; // the last Release comes back here
        FDestroying = true;
    }
    delete this;
}

uint32_t TotalPhysicalMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    const unsigned long long total = static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(pageSize);
    return total > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(total);
}

int32_t DefaultBufferSizeFor(uint32_t totalPhysical) {
    // Linux counts as the NT family of the platform: the divisor is 8000.
    const auto size = static_cast<int32_t>(totalPhysical / 8000u);
    return size < 1024 ? 1024 : size;
}

void NlxStreamStartup() {
    SetSharedMon(std::make_shared<TVoidSharedMon>());
    DefaultBufferSize = DefaultBufferSizeFor(TotalPhysicalMemory());
    RegisterNlxStreamCounters();
    BufferManager = new TBufferManager;
}

void NlxStreamShutdown() {
    if (BufferManager) BufferManager->FreeWhenIdle();
    BufferManager = nullptr;
    SetSharedMon(nullptr);
}

void RegisterNlxStreamCounters() {
    if (!gMonitor) return;
    gUsedId = gMonitor->RegisterCounter(kUsedBuffersCounter);
    gTotalId = gMonitor->RegisterCounter(kTotalBuffersCounter);
}

} // namespace elo
