// THashList: a hash table of text keys with integer values, separate chaining
// whose first record lies in the bucket array itself. The scanner keeps its
// keyword table in one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace elo {

// Values are 32-bit in the keyword table; they are held in a pointer-wide
// integer so that a table may own memory blocks or objects as its values.
using THashValue = std::intptr_t;

enum class THashOwnership {
    None,       // values are plain numbers
    FreeMemory, // values are memory blocks from malloc, freed with free
    FreeObject  // values are TObject pointers, deleted
};

struct THashRec {
    bool Used = false;
    std::string Key;
    THashValue Value = 0;
    THashRec* Next = nullptr; // owned chain of further records
};

class THashList {
public:
    explicit THashList(int capacity = 0);
    virtual ~THashList();
    THashList(const THashList&) = delete;
    THashList& operator=(const THashList&) = delete;

    // Clears, then sizes the table for n keys, all buckets empty.
    void SetCapacity(int n);
    // Stores key with value. A key already held raises "Duplicated item: " + key,
    // or keeps the old value silently when IgnoreDuplicates is on.
    void Add(std::string_view key, THashValue value);
    bool Find(std::string_view key, THashValue& value) const;
    // Removes every key, releasing values as the ownership says; the size stays.
    void Clear();

    bool CaseInsensitive = false;
    bool IgnoreDuplicates = false;
    THashOwnership Ownership = THashOwnership::None;

    int Count() const { return FCount; }
    int Collisions() const { return FCollisions; }
    int TableSize() const { return static_cast<int>(FBuckets.size()); }

    // The number of buckets for n keys: the smallest prime not below 1.2 * n,
    // rounded to the nearest integer.
    static int TableSizeFor(int n);
    static bool IsPrime(int n);
    // Bob Jenkins' one-at-a-time hash; upper-cases ASCII letters first when asked.
    static uint32_t Hash(std::string_view key, bool caseInsensitive);

protected:
    // Called for every record before its value is released by Clear.
    virtual void ValueNotify(THashRec& /*record*/) {}

private:
    int BucketOf(std::string_view key) const;
    bool SameKey(std::string_view a, std::string_view b) const;
    void ReleaseValue(THashValue value) const;

    std::vector<THashRec> FBuckets;
    int FCount = 0;
    int FCollisions = 0;
};

} // namespace elo
