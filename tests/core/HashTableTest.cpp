// core::HashTable: prime sizes, node pool growth and rehash, the warnings.
#include "core/HashTable.h"
#include "support/EngineFixture.h"
#include <string>

using namespace testsupport;

using HashTableTest = CoreTest;

TEST_F(HashTableTest, NegativeKeysHashAsUnsigned) {
    core::HashTable<int, short> t(10, 0.75f);
    EXPECT_EQ(4294967295u % 13u, t.bucketIndex(-1));
    ASSERT_TRUE(t.insert(-1, 5));
    ASSERT_TRUE(t.insert(int(4294967295u % 13u), 6)); // same bucket, other key
    short v = 0;
    EXPECT_TRUE(t.get(-1, v));
    EXPECT_EQ(5, v);
}

TEST_F(HashTableTest, DuplicatesAndMissingKeysWarnAndChangeNothing) {
    core::HashTable<int, core::Vector<char>> t(3, 1.0f);
    core::Vector<char> a;
    a.append('a');
    core::Vector<char> b;
    b.append('b');
    b.append('c');
    ASSERT_TRUE(t.insert(7, a));
    StderrCapture cap;
    EXPECT_FALSE(t.insert(7, b));
    EXPECT_FALSE(t.set(8, b));
    core::Vector<char> out;
    EXPECT_FALSE(t.get(8, out));
    EXPECT_EQ("WARNING |Key is already inserted to the hash table!\n"
              "WARNING |Key is not found from the hash table!\n",
              cap.finish());
    ASSERT_TRUE(t.get(7, out));
    EXPECT_EQ(1, out.size());
    // set replaces the value, resized to the new one's size.
    EXPECT_TRUE(t.set(7, b));
    ASSERT_TRUE(t.get(7, out));
    ASSERT_EQ(2, out.size());
    EXPECT_EQ('c', out[1]);
}

TEST_F(HashTableTest, ManyEntriesSurviveRepeatedGrowthAndFreeEverything) {
    {
        core::HashTable<unsigned short, short> t(3, 0.75f);
        for (int k = 0; k < 5000; ++k)
            ASSERT_TRUE(t.insert((unsigned short)(k * 7), (short)k));
        for (int k = 0; k < 5000; ++k) {
            short v;
            ASSERT_TRUE(t.get((unsigned short)(k * 7), v));
            ASSERT_EQ((short)k, v);
        }
    }
    EXPECT_EQ(0, core.pool().getLiveAllocations());
}
