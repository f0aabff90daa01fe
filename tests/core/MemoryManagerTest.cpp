// The memory pool: first fit with whole/split/skip, the merge cases, failures
// with consistent counters, hooks, and the free index choosing exactly what
// the linear walk chooses.
#include "core/Exceptions.h"
#include "core/MemoryManager.h"
#include "support/EngineFixture.h"
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using testsupport::EngineCore;
using testsupport::StderrCapture;

namespace {

const char* TAG = "core::PoolUser::make";

struct Counters {
    int live, total, used, freeB, peak;
    explicit Counters(const MemoryManager& m)
        : live(m.getLiveAllocations()), total(m.getTotalAllocations()), used(m.getUsedBytes()),
          freeB(m.getFreeBytes()), peak(m.getPeakUsedBytes()) {}
    bool operator==(const Counters& o) const {
        return live == o.live && total == o.total && used == o.used && freeB == o.freeB && peak == o.peak;
    }
};

std::vector<std::pair<uintptr_t, int>> freeList(const MemoryManager& m) {
    int n = m.freeBlocks(nullptr, nullptr, 0);
    std::vector<const void*> a((size_t)n);
    std::vector<int> s((size_t)n);
    m.freeBlocks(a.data(), s.data(), n);
    std::vector<std::pair<uintptr_t, int>> out;
    for (int i = 0; i < n; ++i) out.push_back({(uintptr_t)a[(size_t)i] - (uintptr_t)m.poolStart(), s[(size_t)i]});
    return out;
}

uintptr_t offsetIn(const MemoryManager& m, const void* p) { return (uintptr_t)p - (uintptr_t)m.poolStart(); }

const unsigned char* header(const void* p) { return static_cast<const unsigned char*>(p) - 16; }

} // namespace

TEST(MemoryManager, FirstFitTakesWholeSplitsOrSkips) {
    EngineCore core(2000);
    MemoryManager& m = core.pool();
    // Holes of 64, 48 and 96 bytes between used separators, in address order.
    void* h64 = m.hwMemAlloc(48, TAG, 1);
    void* s1 = m.hwMemAlloc(16, TAG, 1);
    void* h48 = m.hwMemAlloc(32, TAG, 1);
    void* s2 = m.hwMemAlloc(16, TAG, 1);
    void* h96 = m.hwMemAlloc(80, TAG, 1);
    void* s3 = m.hwMemAlloc(16, TAG, 1);
    m.hwMemFree(h64, TAG, 2);
    m.hwMemFree(h48, TAG, 2);
    m.hwMemFree(h96, TAG, 2);
    ASSERT_EQ(4, m.freeBlocks(nullptr, nullptr, 0));

    // A 48-byte block: the 64-byte hole is only 16 larger and is passed over;
    // the 48-byte hole is taken whole.
    void* p = m.hwMemAlloc(32, TAG, 3);
    EXPECT_EQ(h48, p);
    EXPECT_EQ(3, m.freeBlocks(nullptr, nullptr, 0));
    // Another 48: the 64 is passed over again, the 96 is split (48 + 48 left free).
    void* q = m.hwMemAlloc(20, TAG, 3);
    EXPECT_EQ(h96, q);
    auto fl = freeList(m);
    ASSERT_EQ(3u, fl.size());
    EXPECT_EQ(64, fl[0].second);
    EXPECT_EQ(offsetIn(m, header(h96)) + 48, fl[1].first);
    EXPECT_EQ(48, fl[1].second);
    // 64 exactly: the first hole fits now.
    EXPECT_EQ(h64, m.hwMemAlloc(33, TAG, 4));
    for (void* x : {p, q, h64, s1, s2, s3}) m.hwMemFree(x, TAG, 5);
    EXPECT_EQ(1, m.freeBlocks(nullptr, nullptr, 0));
    EXPECT_EQ(0, m.getLiveAllocations());
}

TEST(MemoryManager, MergesNeighboursAndLogsEachConnection) {
    EngineCore core(4000, 0x200000); // any bit of 0xE00000 shows the merge trace
    MemoryManager& m = core.pool();
    void* x = m.hwMemAlloc(16, TAG, 1);
    void* y = m.hwMemAlloc(32, TAG, 1);
    void* z = m.hwMemAlloc(48, TAG, 1);
    void* w = m.hwMemAlloc(16, TAG, 1); // keeps z away from the free tail
    {
        StderrCapture cap;
        m.hwMemFree(x, TAG, 2);
        m.hwMemFree(z, TAG, 2);
        m.hwMemFree(y, TAG, 2); // middle last: both neighbours join
        std::string out = cap.finish();
        EXPECT_NE(std::string::npos, out.find("(new size:80 + 64 = 144)\nMemoryManager: double connection!!\n"))
            << out;
    }
    auto fl = freeList(m);
    ASSERT_EQ(2u, fl.size());
    EXPECT_EQ(144, fl[0].second);

    // The freed block absorbs the free block above it and takes its place,
    // and so does one below the lowest free block and touching it.
    void* a = m.hwMemAlloc(16, TAG, 3); // takes the front of the 144-byte hole
    void* b = m.hwMemAlloc(16, TAG, 3);
    m.hwMemFree(b, TAG, 4);
    EXPECT_EQ(112, freeList(m)[0].second);
    m.hwMemFree(a, TAG, 4);
    EXPECT_EQ(144, freeList(m)[0].second);
    EXPECT_EQ(offsetIn(m, header(x)), freeList(m)[0].first);
    m.hwMemFree(w, TAG, 5);
    EXPECT_EQ(1, m.freeBlocks(nullptr, nullptr, 0));
    EXPECT_EQ(m.getUsableSize(), m.getFreeBytes());
}

TEST(MemoryManager, DoubleFreeThrowsAndKeepsCounters) {
    EngineCore core(2000);
    MemoryManager& m = core.pool();
    void* a = m.hwMemAlloc(40, TAG, 1);
    void* b = m.hwMemAlloc(40, TAG, 1);
    void* c = m.hwMemAlloc(40, TAG, 1);
    m.hwMemFree(b, TAG, 2);
    Counters before(m);
    auto expectFails = [&](void* p) {
        try {
            m.hwMemFree(p, TAG, 3);
            ADD_FAILURE() << "no exception";
        } catch (core::MemoryManagerException& e) {
            EXPECT_STREQ("MemoryManager:free failed", e.getMessage());
            EXPECT_STREQ("UNKNOWN", e.getFile());
            EXPECT_EQ(0, e.getLine());
        }
        EXPECT_TRUE(before == Counters(m));
        EXPECT_TRUE(m.validate());
    };
    StderrCapture cap;
    expectFails(b); // twice in a row
    // Freed again after it was merged into a neighbour: refused as well.
    m.hwMemFree(a, TAG, 4);
    before = Counters(m);
    expectFails(b);
    // Not a block of this pool at all.
    int onStack[8] = {};
    expectFails(onStack + 4);
    // Forged headers inside a live block: a size below the minimum, one that
    // is not a multiple of 16, one that runs past the pool's end, and a block
    // in the last 16 bytes before the end guard.
    auto forge = [](unsigned char* at, int32_t size) {
        uint32_t header[4] = {MemoryManager::MAGIC, (uint32_t)size, 0, 0};
        std::memcpy(at, header, sizeof header);
        return at + 16;
    };
    unsigned char* inside = static_cast<unsigned char*>(c) + 16;
    expectFails(forge(inside, 16));
    expectFails(forge(inside, 40));
    expectFails(forge(inside, 0x7FFFFFF0));
    expectFails(forge(inside, -32));
    const void* blocks[8];
    int sizes[8];
    int n = m.freeBlocks(blocks, sizes, 8);
    ASSERT_GE(n, 1);
    void* last = m.hwMemAlloc(sizes[n - 1] - 16, TAG, 7); // the free block that ends at the guard
    before = Counters(m);
    unsigned char* guard = const_cast<unsigned char*>(m.poolStart()) + 16 + m.getUsableSize();
    expectFails(forge(guard - 16, 32));
    expectFails(forge(guard - 32, 48));
    m.hwMemFree(last, TAG, 8);
    cap.finish();
    m.hwMemFree(c, TAG, 5);
    m.hwMemFree(nullptr, TAG, 6); // ignored
    EXPECT_EQ(0, m.getLiveAllocations());
}

TEST(MemoryManager, ExhaustionThrowsWithConsistentCounters) {
    EngineCore core(1000);
    MemoryManager& m = core.pool();
    void* a = m.hwMemAlloc(600, TAG, 1);
    Counters before(m);
    {
        StderrCapture cap;
        try {
            m.hwMemAlloc(400, TAG, 2);
            ADD_FAILURE() << "no exception";
        } catch (core::MemoryManagerException& e) {
            EXPECT_STREQ("MemoryManager: memory full", e.getMessage());
        }
        EXPECT_EQ(" ERROR  | ** MEMORY FULL ** \n", cap.finish());
    }
    EXPECT_TRUE(before == Counters(m));
    EXPECT_EQ(1, core.log().getErrorCount());
    {
        // The whole usable size or more: the too-big line, then memory full.
        StderrCapture cap;
        EXPECT_THROW(m.hwMemAlloc(992, "core::Image::create", 77), core::MemoryManagerException);
        EXPECT_THROW(m.hwMemAlloc(-5, "core::Image::create", 78), core::MemoryManagerException);
        EXPECT_EQ(" ERROR  |hwMemAlloc failed (too big block size) FUNC:core::Image::create LINE:77 (size = 992)\n"
                  " ERROR  | ** MEMORY FULL ** \n"
                  " ERROR  |hwMemAlloc failed (too big block size) FUNC:core::Image::create LINE:78 (size = -5)\n"
                  " ERROR  | ** MEMORY FULL ** \n",
                  cap.finish());
    }
    EXPECT_TRUE(before == Counters(m));
    // The rest still serves requests that fit.
    void* b = m.hwMemAlloc(992 - 624 - 16, TAG, 3);
    EXPECT_EQ(0, m.getFreeBytes());
    m.hwMemFree(a, TAG, 4);
    m.hwMemFree(b, TAG, 4);
    EXPECT_EQ(992, m.getPeakUsedBytes());
}

namespace {
int g_hookAllocs = 0;
int g_hookFrees = 0;
void* hookAlloc(int size) {
    ++g_hookAllocs;
    return std::malloc((size_t)size);
}
void hookFree(void* p) {
    ++g_hookFrees;
    std::free(p);
}
alignas(16) unsigned char g_hostPool[4096 + 32];
int g_poolRequested = 0;
void* hostPool(int size) {
    g_poolRequested = size;
    return size <= (int)sizeof g_hostPool ? g_hostPool : nullptr;
}
void* noPool(int) { return nullptr; }
} // namespace

TEST(MemoryManager, HooksReplaceThePool) {
    EngineCore core(1000, 0x10);
    MemoryManagerConfig config;
    config.allocateHook = hookAlloc;
    config.freeHook = hookFree;
    StderrCapture cap;
    MemoryManager m(config);
    EXPECT_EQ("START: MemoryManager init\n", cap.finish()); // no pool, so no second line
    EXPECT_TRUE(m.isDisabled());
    void* p = m.hwMemAlloc(100, TAG, 1);
    ASSERT_NE(nullptr, p);
    m.hwMemFree(p, TAG, 2);
    EXPECT_EQ(1, g_hookAllocs);
    EXPECT_EQ(1, g_hookFrees);
    EXPECT_EQ(0, m.getLiveAllocations());
}

TEST(MemoryManager, PoolFromTheHostHookOrInitFailure) {
    EngineCore core(1000, 0x10);
    MemoryManagerConfig config;
    config.poolSize = 4096;
    config.poolAllocateHook = hostPool;
    {
        StderrCapture cap;
        MemoryManager m(config);
        EXPECT_EQ("START: MemoryManager init\nSTART: MemoryManager pool allocated\n", cap.finish());
        EXPECT_EQ(4096 + 32, g_poolRequested);
        EXPECT_EQ(g_hostPool, m.poolStart());
        void* p = m.hwMemAlloc(10, TAG, 1);
        EXPECT_EQ(g_hostPool + 32, p);
        m.hwMemFree(p, TAG, 1);
    }
    config.poolAllocateHook = noPool;
    StderrCapture cap;
    try {
        MemoryManager m(config);
        ADD_FAILURE() << "no exception";
    } catch (core::MemoryManagerException& e) {
        EXPECT_STREQ("MemoryManager:init failed. can not alloc memory pool.", e.getMessage());
    }
}

// The pool starts zero-filled: host memory is cleared unless the host says it
// already is, and memory said to be clear is left untouched (its pages are
// faulted in only when blocks are carved from them).
TEST(MemoryManager, PoolIsClearedUnlessTheHookSaysItIsZeroFilled) {
    EngineCore core(1000, 0x10);
    MemoryManagerConfig config;
    config.poolSize = 4096;
    config.poolAllocateHook = hostPool;
    auto block = [](const MemoryManager& m) { return m.poolStart() + 16 + MemoryManager::HEADER; };
    std::memset(g_hostPool, 0xAB, sizeof g_hostPool);
    {
        MemoryManager m(config);
        const unsigned char* p = block(m);
        EXPECT_TRUE(std::all_of(p, p + 4000, [](unsigned char c) { return c == 0; }));
        EXPECT_TRUE(m.validate());
    }
    std::memset(g_hostPool, 0, sizeof g_hostPool);
    g_hostPool[2000] = 0x5A; // stands for a page nobody has touched yet
    config.poolMemoryZeroed = true;
    {
        MemoryManager m(config);
        EXPECT_EQ(0x5A, g_hostPool[2000]);
        EXPECT_TRUE(m.validate());
        void* p = m.hwMemAlloc(100, TAG, 1);
        m.hwMemFree(p, TAG, 2);
        EXPECT_TRUE(m.validate());
    }
}

TEST(MemoryManager, FunctionNamesComeFromPrettySignatures) {
    char buf[128];
    EXPECT_STREQ("core::String::String", core::functionName("core::String::String(const char*)", buf, 128));
    EXPECT_STREQ("render::Graphics3D::createMesh",
                 core::functionName("core::Ref<render::Mesh> render::Graphics3D::createMesh(int, float)", buf, 128));
    EXPECT_STREQ("Lua_appearance_create", core::functionName("int Lua_appearance_create(lua_State*)", buf, 128));
    EXPECT_STREQ("core::Object::operator new", core::functionName("core::Object::operator new", buf, 128));
    EXPECT_STREQ("Foo::operator()", core::functionName("void Foo::operator()(int)", buf, 128));
    EXPECT_STREQ("core::Vec<T>::get", core::functionName("T* core::Vec<T>::get() [with T = int]", buf, 128));
    EXPECT_STREQ("core::Str", core::functionName("core::String::f(int)", buf, 10));
}

namespace {
// Runs a long random sequence on an indexed pool and a linear one side by
// side: every allocation must land at the same offset, every free must leave
// the same free list, and both must agree on what fails. `scale` multiplies
// the larger requests, so that a larger pool fills as well.
void replayAgainstTheWalk(int poolSize, int scale) {
    MemoryManagerConfig ci, cl;
    ci.poolSize = cl.poolSize = poolSize;
    cl.indexedFreeList = false;
    MemoryManager indexed(ci);
    MemoryManager linear(cl);
    ASSERT_TRUE(indexed.isIndexed());
    ASSERT_FALSE(linear.isIndexed());
    std::mt19937 rng(1234);
    std::vector<std::pair<void*, void*>> live;
    int fails = 0;
    StderrCapture quiet; // the memory-full lines
    for (int step = 0; step < 200000; ++step) {
        // Phases that fill and drain, so the pool runs full now and then.
        bool filling = (step / 5000) % 2 == 0;
        bool alloc = live.empty() || (rng() % 100) < (filling ? 62u : 38u);
        if (alloc) {
            int size;
            switch (rng() % 4) {
            case 0: size = (int)(rng() % 64); break;           // exact-size reuse
            case 1: size = 16 * (int)(1 + rng() % 8) - 16; break; // just-16-larger holes
            case 2: size = scale * (int)(rng() % 1024); break;
            default: size = scale * (int)(rng() % 8192); break;
            }
            void* a = nullptr;
            void* b = nullptr;
            bool fa = false, fb = false;
            try {
                a = indexed.hwMemAlloc(size, TAG, step);
            } catch (core::MemoryManagerException&) {
                fa = true;
            }
            try {
                b = linear.hwMemAlloc(size, TAG, step);
            } catch (core::MemoryManagerException&) {
                fb = true;
            }
            ASSERT_EQ(fb, fa) << "step " << step;
            if (fa) {
                ++fails;
                continue;
            }
            ASSERT_EQ(offsetIn(linear, b), offsetIn(indexed, a)) << "step " << step << " size " << size;
            ASSERT_EQ(0u, (uintptr_t)a % 16);
            std::memset(a, 0xA5, (size_t)size); // the caller owns every byte asked for
            live.push_back({a, b});
        } else {
            size_t i = rng() % live.size();
            indexed.hwMemFree(live[i].first, TAG, step);
            linear.hwMemFree(live[i].second, TAG, step);
            live[i] = live.back();
            live.pop_back();
        }
        if (step % 97 == 0) {
            ASSERT_EQ(freeList(linear), freeList(indexed)) << "step " << step;
        }
        if (step % 2000 == 0) {
            ASSERT_TRUE(indexed.validate()) << "step " << step;
            ASSERT_TRUE(linear.validate()) << "step " << step;
        }
        // Now and then a double free: both refuse it.
        if (step % 1009 == 0 && !live.empty()) {
            void* a = live.back().first;
            void* b = live.back().second;
            live.pop_back();
            indexed.hwMemFree(a, TAG, step);
            linear.hwMemFree(b, TAG, step);
            EXPECT_THROW(indexed.hwMemFree(a, TAG, step), core::MemoryManagerException);
            EXPECT_THROW(linear.hwMemFree(b, TAG, step), core::MemoryManagerException);
        }
    }
    EXPECT_GT(fails, 0) << "the sequence never filled the pool";
    EXPECT_TRUE(Counters(indexed) == Counters(linear));
    for (auto& p : live) {
        indexed.hwMemFree(p.first, TAG, 0);
        linear.hwMemFree(p.second, TAG, 0);
    }
    EXPECT_EQ(freeList(linear), freeList(indexed));
    EXPECT_TRUE(indexed.validate());
    EXPECT_EQ(0, indexed.getUsedBytes());
}
} // namespace

TEST(MemoryManager, IndexedSearchChoosesWhatTheLinearWalkChooses) {
    EngineCore core(1000);
    {
        SCOPED_TRACE("a pool of 586 chunks: the index has two levels");
        replayAgainstTheWalk(600000, 1);
    }
    if (HasFatalFailure()) return;
    // Over 1,024 chunks the index has a third level, so searches climb it.
    SCOPED_TRACE("a pool of 4,688 chunks: the index has three levels");
    replayAgainstTheWalk(4800000, 8);
}
