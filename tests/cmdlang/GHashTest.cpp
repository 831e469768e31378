#include <gtest/gtest.h>

#include <cstdlib>

#include "cmdlang/GHash.h"
#include "platform/Exceptions.h"
#include "platform/Object.h"

using namespace elo;

TEST(HashList, TableSizeIsTheNextPrimeOfOnePointTwoTimesTheKeys) {
    EXPECT_EQ(THashList::TableSizeFor(0), 2);
    EXPECT_EQ(THashList::TableSizeFor(1), 2);
    EXPECT_EQ(THashList::TableSizeFor(5), 7);
    EXPECT_EQ(THashList::TableSizeFor(10), 13);
    EXPECT_EQ(THashList::TableSizeFor(100), 127);
    for (int n : {2, 3, 5, 7, 11, 13, 23, 25, 29, 49, 121, 169, 7919})
        EXPECT_EQ(THashList::IsPrime(n), n != 25 && n != 49 && n != 121 && n != 169) << n;
    EXPECT_FALSE(THashList::IsPrime(0));
    EXPECT_FALSE(THashList::IsPrime(1));
    EXPECT_EQ(THashList(10).TableSize(), 13);
}

TEST(HashList, OneAtATimeHash) {
    // Reference values of Jenkins' one-at-a-time hash.
    EXPECT_EQ(THashList::Hash("a", false), 0xCA2E9442u);
    EXPECT_EQ(THashList::Hash("The quick brown fox jumps over the lazy dog", false), 0x519E91F5u);
    EXPECT_EQ(THashList::Hash("abc", true), THashList::Hash("ABC", false));
}

TEST(HashList, AddFindDuplicatesAndChains) {
    THashList table(3);
    table.CaseInsensitive = true;
    for (int i = 0; i < 50; ++i) table.Add("key" + std::to_string(i), i);
    EXPECT_EQ(table.Count(), 50);
    EXPECT_GT(table.Collisions(), 0); // 50 keys in 5 buckets chain
    for (int i = 0; i < 50; ++i) {
        THashValue v = -1;
        ASSERT_TRUE(table.Find("KEY" + std::to_string(i), v));
        EXPECT_EQ(v, i);
    }
    THashValue v = 0;
    EXPECT_FALSE(table.Find("nokey", v));
    EXPECT_THROW(table.Add("Key7", 1), Exception);
    table.IgnoreDuplicates = true;
    table.Add("Key7", 99);
    ASSERT_TRUE(table.Find("key7", v));
    EXPECT_EQ(v, 7);
    table.Clear();
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(table.Collisions(), 0);
    EXPECT_FALSE(table.Find("key7", v));
    EXPECT_EQ(table.TableSize(), 5);
}

TEST(HashList, CaseSensitiveKeysDiffer) {
    THashList table(2);
    table.Add("a", 1);
    table.Add("A", 2);
    THashValue v = 0;
    ASSERT_TRUE(table.Find("A", v));
    EXPECT_EQ(v, 2);
}

namespace {
struct Counted : TObject {
    explicit Counted(int* c) : counter(c) {}
    ~Counted() override { ++*counter; }
    int* counter;
};
} // namespace

TEST(HashList, ClearReleasesOwnedValues) {
    int destroyed = 0;
    {
        THashList objects(4);
        objects.Ownership = THashOwnership::FreeObject;
        for (int i = 0; i < 6; ++i)
            objects.Add("o" + std::to_string(i), reinterpret_cast<THashValue>(new Counted(&destroyed)));
        objects.Add("zero", 0); // a zero value is skipped
        objects.Clear();
        EXPECT_EQ(destroyed, 6);
        objects.Add("again", reinterpret_cast<THashValue>(new Counted(&destroyed)));
    } // the destructor clears too
    EXPECT_EQ(destroyed, 7);
    THashList blocks(2);
    blocks.Ownership = THashOwnership::FreeMemory;
    blocks.Add("m", reinterpret_cast<THashValue>(std::malloc(16))); // freed by Clear (ASan checks)
}
