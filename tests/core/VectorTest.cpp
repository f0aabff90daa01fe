// core::Vector: the growth rule, release order of core::Ref elements and
// storage release.
#include "core/Ref.h"
#include "core/Vector.h"
#include "support/EngineFixture.h"
#include <vector>

using testsupport::CoreTest;

namespace {
std::vector<int> g_released;
class Tracked : public core::Object {
public:
    explicit Tracked(int id) : id(id) {}
    ~Tracked() override { g_released.push_back(id); }
    int id;
};
} // namespace

using VectorTest = CoreTest;

TEST_F(VectorTest, AppendKeepsValuesAcrossGrowthAndFromItself) {
    core::Vector<int> v;
    for (int i = 0; i < 100; ++i)
        v.append(i * 3);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(i * 3, v[i]);
    // Appending an element of the vector itself when the append must grow it.
    while (v.size() < v.capacity())
        v.append(0);
    v.append(v[1]);
    EXPECT_EQ(3, v[v.size() - 1]);
    // Fill values and copies.
    core::Vector<int> r;
    r.resize(3, 5);
    core::Vector<int> copy = r;
    copy[0] = 9;
    EXPECT_EQ(5, r[0]);
    EXPECT_EQ(5, copy[2]);
}

TEST_F(VectorTest, RefElementsKeepTheirCountsAcrossGrowthAndAreReleasedLastFirst) {
    {
        core::Vector<core::Ref<Tracked>> v;
        for (int i = 0; i < 40; ++i)
            v.append(core::Ref<Tracked>(M3D_NEW Tracked(i)));
        core::Vector<core::Ref<Tracked>> w;
        w = v;
        EXPECT_EQ(2, v[0]->getReferenceCount());
        w.clear();
        EXPECT_EQ(1, v[0]->getReferenceCount());
        v.resize(3);
        EXPECT_EQ(37u, g_released.size());
        EXPECT_EQ((std::vector<int>{39, 38, 37}),
                  std::vector<int>(g_released.begin(), g_released.begin() + 3));
        // Growing again gives null slots, not the released objects.
        v.resize(5);
        EXPECT_FALSE(v[4]);
        g_released.clear();
        v.clear();
        EXPECT_EQ((std::vector<int>{2, 1, 0}), g_released);
        v.append(core::Ref<Tracked>(M3D_NEW Tracked(9)));
        g_released.clear();
    }
    EXPECT_EQ(std::vector<int>{9}, g_released); // the destructor releases too
    EXPECT_EQ(0, core.pool().getLiveAllocations());
}

TEST_F(VectorTest, StorageComesFromThePoolAndGoesBack) {
    MemoryManager& m = core.pool();
    {
        core::Vector<double> v;
        v.resize(10);
        EXPECT_EQ(1, m.getLiveAllocations());
        EXPECT_EQ(0u, (uintptr_t)v.data() % 16);
        v.resize(100); // new storage, old freed
        EXPECT_EQ(1, m.getLiveAllocations());
    }
    EXPECT_EQ(0, m.getLiveAllocations());
    // A request beyond the pool throws and leaves the vector as it was.
    core::Vector<int> v;
    v.resize(4);
    v[3] = 8;
    testsupport::StderrCapture quiet;
    EXPECT_THROW(v.resize(20000000), core::MemoryManagerException);
    EXPECT_EQ(4, v.size());
    EXPECT_EQ(8, v[3]);
}
