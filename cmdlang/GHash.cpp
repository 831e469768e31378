#include "GHash.h"

#include <cmath>
#include <cstdlib>

#include "platform/Exceptions.h"
#include "platform/Object.h"
#include "platform/Text.h"

namespace elo {

THashList::THashList(int capacity) {
    SetCapacity(capacity);
}

THashList::~THashList() {
    Clear();
}

bool THashList::IsPrime(int n) {
    if (n < 4) return n == 2 || n == 3;
    if (n % 6 != 1 && n % 6 != 5) return false;
    const int limit = static_cast<int>(std::lround(std::sqrt(static_cast<double>(n))));
    for (int i = 5; i <= limit; i += 6)
        if (n % i == 0 || n % (i + 2) == 0) return false;
    return true;
}

int THashList::TableSizeFor(int n) {
    int size = static_cast<int>(std::lround(1.2 * (n < 0 ? 0 : n)));
    while (!IsPrime(size)) ++size;
    return size;
}

uint32_t THashList::Hash(std::string_view key, bool caseInsensitive) {
    uint32_t h = 0;
    for (char c : key) {
        const auto b = static_cast<unsigned char>(caseInsensitive ? UpperAscii(c) : c);
        h += b;
        h += h << 10;
        h ^= h >> 6;
    }
    h += h << 3;
    h ^= h >> 11;
    h += h << 15;
    return h;
}

int THashList::BucketOf(std::string_view key) const {
    const auto h = static_cast<int32_t>(Hash(key, CaseInsensitive));
    int index = h % static_cast<int32_t>(FBuckets.size());
    if (index < 0) index = -index;
    return index;
}

bool THashList::SameKey(std::string_view a, std::string_view b) const {
    return CaseInsensitive ? SameTextAscii(a, b) : a == b;
}

void THashList::SetCapacity(int n) {
    Clear();
    FBuckets.clear();
    FBuckets.resize(static_cast<size_t>(TableSizeFor(n)));
}

void THashList::Add(std::string_view key, THashValue value) {
    THashRec& home = FBuckets[static_cast<size_t>(BucketOf(key))];
    if (!home.Used) {
        home.Used = true;
        home.Key.assign(key);
        home.Value = value;
        ++FCount;
        return;
    }
    ++FCollisions;
    THashRec* rec = &home;
    for (;;) {
        if (SameKey(rec->Key, key)) {
            if (IgnoreDuplicates) return;
            throw Exception("Duplicated item: " + std::string(key));
        }
        if (!rec->Next) break;
        rec = rec->Next;
    }
    auto* added = new THashRec;
    added->Used = true;
    added->Key.assign(key);
    added->Value = value;
    rec->Next = added;
    ++FCount;
}

bool THashList::Find(std::string_view key, THashValue& value) const {
    if (FBuckets.empty()) return false;
    const THashRec* rec = &FBuckets[static_cast<size_t>(BucketOf(key))];
    if (!rec->Used) return false;
    for (; rec; rec = rec->Next) {
        if (SameKey(rec->Key, key)) {
            value = rec->Value;
            return true;
        }
    }
    return false;
}

void THashList::ReleaseValue(THashValue value) const {
    if (value == 0) return;
    switch (Ownership) {
    case THashOwnership::None:
        break;
    case THashOwnership::FreeMemory:
        std::free(reinterpret_cast<void*>(value));
        break;
    case THashOwnership::FreeObject:
        delete reinterpret_cast<TObject*>(value);
        break;
    }
}

void THashList::Clear() {
    for (THashRec& bucket : FBuckets) {
        if (!bucket.Used) continue;
        ValueNotify(bucket);
        ReleaseValue(bucket.Value);
        THashRec* rec = bucket.Next;
        while (rec) {
            THashRec* next = rec->Next;
            ValueNotify(*rec);
            ReleaseValue(rec->Value);
            delete rec;
            rec = next;
        }
        bucket = THashRec{};
    }
    FCount = 0;
    FCollisions = 0;
}

} // namespace elo
