// A zero-filled array for large, short-lived tables (hash tables of a million
// entries). Large ones come straight from the operating system, already zeroed
// and asked to be backed by huge pages: fewer page faults and TLB misses than
// heap memory of small pages.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>

namespace elo {

template <typename T> class TLargeArray {
    static_assert(std::is_trivially_copyable_v<T>, "the array holds plain records that are zero when empty");

public:
    TLargeArray() = default;
    // Huge pages help tables read at random; bytes read in order (a file's
    // text) do without them: gathering huge pages can stall the allocation.
    enum class TPages { Huge, Small };
    explicit TLargeArray(size_t count, TPages pages = TPages::Huge) : FCount(count) {
        if (count == 0) return;
        FBytes = count * sizeof(T);
        if (FBytes >= kMapThreshold) {
            void* p = ::mmap(nullptr, FBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p == MAP_FAILED) throw std::bad_alloc();
            if (pages == TPages::Huge) (void)::madvise(p, FBytes, MADV_HUGEPAGE); // a hint; refused is fine
            FData = static_cast<T*>(p);
            FMapped = true;
        } else {
            FData = static_cast<T*>(std::calloc(count, sizeof(T)));
            if (!FData) throw std::bad_alloc();
        }
    }
    ~TLargeArray() { Release(); }
    TLargeArray(const TLargeArray&) = delete;
    TLargeArray& operator=(const TLargeArray&) = delete;
    TLargeArray(TLargeArray&& other) noexcept { *this = std::move(other); }
    TLargeArray& operator=(TLargeArray&& other) noexcept {
        if (this != &other) {
            Release();
            FData = std::exchange(other.FData, nullptr);
            FCount = std::exchange(other.FCount, 0);
            FBytes = std::exchange(other.FBytes, 0);
            FMapped = std::exchange(other.FMapped, false);
        }
        return *this;
    }

    size_t size() const { return FCount; }
    bool empty() const { return FCount == 0; }
    T& operator[](size_t i) { return FData[i]; }
    const T& operator[](size_t i) const { return FData[i]; }
    T* begin() { return FData; }
    T* end() { return FData + FCount; }
    const T* begin() const { return FData; }
    const T* end() const { return FData + FCount; }

private:
    static constexpr size_t kMapThreshold = size_t{1} << 20;
    void Release() {
        if (!FData) return;
        if (FMapped)
            ::munmap(FData, FBytes);
        else
            std::free(FData);
        FData = nullptr;
    }
    T* FData = nullptr;
    size_t FCount = 0;
    size_t FBytes = 0;
    bool FMapped = false;
};

} // namespace elo
