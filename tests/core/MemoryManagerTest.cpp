// The memory pool: first fit, merging, failures with consistent counters, hooks,
// and the free index choosing exactly what the linear walk chooses.
#include "core/MemoryManager.h"
#include "support/EngineFixture.h"
#include "support/ErrorText.h"
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using namespace testsupport;

namespace {

const char* TAG = "core::PoolUser::make";

std::tuple<int, int, int, int, int> counters(const MemoryManager& m) {
    return {m.getLiveAllocations(), m.getTotalAllocations(), m.getUsedBytes(), m.getFreeBytes(),
            m.getPeakUsedBytes()};
}

std::vector<std::pair<uintptr_t, int>> freeList(const MemoryManager& m) {
    int n = m.freeBlocks(nullptr, nullptr, 0);
    std::vector<const void*> a((size_t)n);
    std::vector<int> s((size_t)n);
    m.freeBlocks(a.data(), s.data(), n);
    std::vector<std::pair<uintptr_t, int>> out;
    for (int i = 0; i < n; ++i)
        out.push_back({(uintptr_t)a[(size_t)i] - (uintptr_t)m.poolStart(), s[(size_t)i]});
    return out;
}

uintptr_t offsetIn(const MemoryManager& m, const void* p) {
    return (uintptr_t)p - (uintptr_t)m.poolStart();
}

int g_hookCalls = 0;
void* hookAlloc(int size) {
    ++g_hookCalls;
    return std::malloc((size_t)size);
}
void hookFree(void* p) {
    ++g_hookCalls;
    std::free(p);
}
alignas(16) unsigned char g_hostPool[4096 + 32];
void* hostPool(int size) {
    return size == (int)sizeof g_hostPool ? g_hostPool : nullptr;
}

// The block, or null when the pool refuses the request.
void* allocOrNull(MemoryManager& m, int size, int step) {
    try {
        return m.hwMemAlloc(size, TAG, step);
    } catch (core::MemoryManagerException&) {
        return nullptr;
    }
}

// Runs a long random sequence on an indexed and a linear pool side by side: the same offset for
// every allocation, the same free list after every free, the same failures. `scale` multiplies
// the larger requests, so that a larger pool fills as well.
void replayAgainstTheWalk(int poolSize, int scale) {
    MemoryManagerConfig ci, cl;
    ci.poolSize = cl.poolSize = poolSize;
    cl.indexedFreeList = false;
    MemoryManager indexed(ci);
    MemoryManager linear(cl);
    ASSERT_TRUE(indexed.isIndexed() && !linear.isIndexed());
    std::mt19937 rng(1234);
    std::vector<std::pair<void*, void*>> live;
    int fails = 0;
    StderrCapture quiet; // the memory-full lines
    for (int step = 0; step < 200000; ++step) {
        // Phases that fill and drain, so the pool runs full now and then.
        bool filling = (step / 5000) % 2 == 0;
        if (live.empty() || (rng() % 100) < (filling ? 62u : 38u)) {
            // Exact-size reuse, holes just 16 larger, then larger requests.
            unsigned kind = rng() % 4;
            int size = kind == 0   ? (int)(rng() % 64)
                       : kind == 1 ? 16 * (int)(1 + rng() % 8) - 16
                                   : scale * (int)(rng() % (kind == 2 ? 1024 : 8192));
            void* a = allocOrNull(indexed, size, step);
            void* b = allocOrNull(linear, size, step);
            ASSERT_EQ(b == nullptr, a == nullptr) << "step " << step;
            if (!a) {
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
            ASSERT_TRUE(indexed.validate() && linear.validate()) << "step " << step;
        }
    }
    EXPECT_GT(fails, 0) << "the sequence never filled the pool";
    EXPECT_EQ(counters(linear), counters(indexed));
    for (auto& p : live) {
        indexed.hwMemFree(p.first, TAG, 0);
        linear.hwMemFree(p.second, TAG, 0);
    }
    EXPECT_EQ(freeList(linear), freeList(indexed));
    EXPECT_EQ(0, indexed.getUsedBytes());
}
} // namespace

TEST(MemoryManager, FirstFitTakesWholeSplitsOrSkips) {
    EngineCore core(2000);
    MemoryManager& m = core.pool();
    // Holes of 64, 48 and 96 bytes between used separators, in address order.
    void* h64 = m.hwMemAlloc(48, TAG, 1);
    m.hwMemAlloc(16, TAG, 1);
    void* h48 = m.hwMemAlloc(32, TAG, 1);
    m.hwMemAlloc(16, TAG, 1);
    void* h96 = m.hwMemAlloc(80, TAG, 1);
    m.hwMemAlloc(16, TAG, 1);
    m.hwMemFree(h64, TAG, 2);
    m.hwMemFree(h48, TAG, 2);
    m.hwMemFree(h96, TAG, 2);

    // A 48-byte block passes over the 64-byte hole (only 16 larger) and takes the 48 whole.
    void* p = m.hwMemAlloc(32, TAG, 3);
    EXPECT_EQ(h48, p);
    // Another 48: the 64 is passed over again, the 96 is split (48 + 48 left free).
    void* q = m.hwMemAlloc(20, TAG, 3);
    EXPECT_EQ(h96, q);
    auto fl = freeList(m);
    ASSERT_EQ(3u, fl.size());
    EXPECT_EQ(64, fl[0].second);
    EXPECT_EQ(std::make_pair(offsetIn(m, h96) + 32, 48), fl[1]);
    // 64 exactly: the first hole fits now.
    EXPECT_EQ(h64, m.hwMemAlloc(33, TAG, 4));
}

TEST(MemoryManager, MergesNeighboursAndLogsEachConnection) {
    EngineCore core(4000, 0x200000); // any bit of 0xE00000 shows the merge trace
    MemoryManager& m = core.pool();
    void* x = m.hwMemAlloc(16, TAG, 1);
    void* y = m.hwMemAlloc(32, TAG, 1);
    void* z = m.hwMemAlloc(48, TAG, 1);
    void* w = m.hwMemAlloc(16, TAG, 1); // keeps z away from the free tail
    StderrCapture cap;
    m.hwMemFree(x, TAG, 2);
    m.hwMemFree(z, TAG, 2);
    m.hwMemFree(y, TAG, 2); // middle last: both neighbours join
    std::string out = cap.finish();
    EXPECT_NE(std::string::npos, out.find("(new size:80 + 64 = 144)\nMemoryManager: double connection!!\n"))
        << out;
    ASSERT_EQ(2u, freeList(m).size());

    // A freed block absorbs the free block above it and takes its place, also below the lowest one.
    void* a = m.hwMemAlloc(16, TAG, 3); // takes the front of the 144-byte hole
    void* b = m.hwMemAlloc(16, TAG, 3);
    m.hwMemFree(b, TAG, 4);
    EXPECT_EQ(112, freeList(m)[0].second);
    m.hwMemFree(a, TAG, 4);
    EXPECT_EQ((std::pair<uintptr_t, int>(offsetIn(m, x) - 16, 144)), freeList(m)[0]);
    m.hwMemFree(w, TAG, 5);
    EXPECT_EQ(m.getUsableSize(), m.getFreeBytes());
}

TEST(MemoryManager, FailedFreesAndAllocationsThrowAndKeepCounters) {
    EngineCore core(2000);
    MemoryManager& m = core.pool();
    void* a = m.hwMemAlloc(40, TAG, 1);
    void* b = m.hwMemAlloc(40, TAG, 1);
    void* c = m.hwMemAlloc(40, TAG, 1);
    m.hwMemFree(b, TAG, 2);
    StderrCapture quiet;
    auto expectFails = [&](void* p) {
        auto before = counters(m);
        EXPECT_EQ("MemoryManager:free failed", messageOf([&] { m.hwMemFree(p, TAG, 3); }));
        EXPECT_EQ(before, counters(m));
        EXPECT_TRUE(m.validate());
    };
    auto forge = [](unsigned char* at, int32_t size) {
        uint32_t header[4] = {MemoryManager::MAGIC, (uint32_t)size, 0, 0};
        std::memcpy(at, header, sizeof header);
        return at + 16;
    };
    expectFails(b);
    // Freed again after it was merged into a neighbour: refused as well.
    m.hwMemFree(a, TAG, 4);
    expectFails(b);
    int onStack[8] = {};
    expectFails(onStack + 4);
    // Forged sizes in a live block: below the minimum, not a multiple of 16, past the end, negative.
    unsigned char* inside = static_cast<unsigned char*>(c) + 16;
    for (int32_t size : {16, 40, 0x7FFFFFF0, -32})
        expectFails(forge(inside, size));
    // Blocks in the last bytes before the end guard, with the pool's tail in use.
    void* last = m.hwMemAlloc(freeList(m).back().second - 16, TAG, 7);
    unsigned char* guard = const_cast<unsigned char*>(m.poolStart()) + 16 + m.getUsableSize();
    expectFails(forge(guard - 16, 32));
    expectFails(forge(guard - 32, 48));
    m.hwMemFree(last, TAG, 8);
    m.hwMemFree(c, TAG, 5);
    m.hwMemFree(nullptr, TAG, 6); // ignored

    const int usable = m.getUsableSize();
    a = m.hwMemAlloc(600, TAG, 1);
    auto before = counters(m);
    StderrCapture cap;
    EXPECT_EQ("MemoryManager: memory full", messageOf([&] { m.hwMemAlloc(usable - 600, TAG, 2); }));
    // The whole usable size or more: the too-big line, then memory full.
    EXPECT_THROW(m.hwMemAlloc(usable, "core::Image::create", 77), core::MemoryManagerException);
    EXPECT_EQ(" ERROR  | ** MEMORY FULL ** \n"
              " ERROR  |hwMemAlloc failed (too big block size) FUNC:core::Image::create LINE:77 (size = " +
                  std::to_string(usable) + ")\n ERROR  | ** MEMORY FULL ** \n",
              cap.finish());
    EXPECT_EQ(before, counters(m));
    // The rest still serves requests that fit, to the last byte.
    m.hwMemFree(m.hwMemAlloc(usable - 624 - 16, TAG, 3), TAG, 4);
    m.hwMemFree(a, TAG, 4);
    EXPECT_EQ(usable, m.getPeakUsedBytes());
}

TEST(MemoryManager, HostHooksProvideThePoolOrEveryBlock) {
    EngineCore core(1000, 0x10);
    MemoryManagerConfig config;
    config.poolSize = 4096;
    config.poolAllocateHook = hostPool;
    StderrCapture cap;
    // Host memory is cleared unless the host says it already is: then it is left
    // untouched (its pages are faulted in only when blocks are carved from them).
    std::memset(g_hostPool, 0xAB, sizeof g_hostPool);
    {
        MemoryManager m(config);
        const unsigned char* start = m.poolStart() + 16 + MemoryManager::HEADER;
        EXPECT_TRUE(std::all_of(start, start + 4000, [](unsigned char c) { return c == 0; }));
        void* p = m.hwMemAlloc(10, TAG, 1);
        EXPECT_EQ(g_hostPool + 32, p);
        m.hwMemFree(p, TAG, 1);
    }
    g_hostPool[2000] = 0x5A; // stands for a page nobody has touched yet
    config.poolMemoryZeroed = true;
    {
        MemoryManager m(config);
        EXPECT_EQ(0x5A, g_hostPool[2000]);
        m.hwMemFree(m.hwMemAlloc(100, TAG, 1), TAG, 2);
        EXPECT_TRUE(m.validate());
    }
    config.poolSize = 8192;
    EXPECT_EQ("MemoryManager:init failed. can not alloc memory pool.",
              messageOf([&] { MemoryManager m(config); }));

    // A hook for every block: no pool at all, so no second line.
    config = MemoryManagerConfig();
    config.allocateHook = hookAlloc;
    config.freeHook = hookFree;
    MemoryManager m(config);
    m.hwMemFree(m.hwMemAlloc(100, TAG, 1), TAG, 2);
    EXPECT_EQ(2, g_hookCalls);
    std::string pooled = "START: MemoryManager init\nSTART: MemoryManager pool allocated\n";
    EXPECT_EQ(pooled + pooled + "START: MemoryManager init\nSTART: MemoryManager init\n", cap.finish());
}

TEST(MemoryManager, FunctionNamesComeFromPrettySignatures) {
    const struct {
        const char *pretty, *name;
    } cases[] = {
        {"core::Ref<render::Mesh> render::Graphics3D::createMesh(int, float)",
         "render::Graphics3D::createMesh"},
        {"int Lua_appearance_create(lua_State*)", "Lua_appearance_create"},
        {"core::Object::operator new", "core::Object::operator new"},
        {"void Foo::operator()(int)", "Foo::operator()"},
        {"T* core::Vec<T>::get() [with T = int]", "core::Vec<T>::get"},
    };
    char buf[128];
    for (const auto& c : cases)
        EXPECT_STREQ(c.name, core::functionName(c.pretty, buf, 128));
    EXPECT_STREQ("core::Str", core::functionName("core::String::f(int)", buf, 10));
}

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
